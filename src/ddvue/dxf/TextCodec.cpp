#include "ddvue/dxf/TextCodec.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <unordered_map>

namespace ddvue::dxf {

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char32_t nextUtf8(std::string_view s, std::size_t& i) noexcept
{
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
    }
    if (len == 0 || i + len > s.size()) {
        ++i;
        return b0;
    }
    for (int k = 1; k < len; ++k) {
        auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return b0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return b0;
    }
    i += len;
    return cp;
}

namespace {

bool isValidUtf8(std::string_view s) noexcept
{
    std::size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t before = i;
        char32_t cp = nextUtf8(s, i);
        if (i == before + 1 && cp == b) return false;  // an invalid byte
    }
    return true;
}

int hexDigit(char c) noexcept
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int hex4(std::string_view s, std::size_t at) noexcept
{
    if (at + 4 > s.size()) return -1;
    int v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        int d = hexDigit(s[at + k]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// Converts text between a code page and UTF-8 with iconv. A byte sequence the
// code page does not define comes back as the byte's Latin-1 character.
class Iconv {
public:
    explicit Iconv(const std::string& charset)
    {
        toUtf8_ = iconv_open("UTF-8", charset.c_str());
        fromUtf8_ = iconv_open(charset.c_str(), "UTF-8");
    }
    ~Iconv()
    {
        if (valid()) {
            iconv_close(toUtf8_);
            iconv_close(fromUtf8_);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool valid() const { return toUtf8_ != reinterpret_cast<iconv_t>(-1) && fromUtf8_ != reinterpret_cast<iconv_t>(-1); }

    std::string toUtf8(std::string_view in) const
    {
        std::lock_guard lock(mutex_);
        std::string out;
        out.reserve(in.size() * 2);
        iconv(toUtf8_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        std::array<char, 1024> buf;
        while (srcLeft > 0) {
            char* dst = buf.data();
            std::size_t dstLeft = buf.size();
            std::size_t r = iconv(toUtf8_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf.data(), buf.size() - dstLeft);
            if (r == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                // Undefined or incomplete sequence: keep the byte as itself.
                appendUtf8(out, static_cast<unsigned char>(*src));
                ++src;
                --srcLeft;
                iconv(toUtf8_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        char* dst = buf.data();
        std::size_t dstLeft = buf.size();
        iconv(toUtf8_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf.data(), buf.size() - dstLeft);
        return out;
    }

    // One character to the code page; false when the code page lacks it.
    bool fromUtf8(std::string_view ch, std::string& out) const
    {
        std::lock_guard lock(mutex_);
        iconv(fromUtf8_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(ch.data());
        std::size_t srcLeft = ch.size();
        std::array<char, 16> buf;
        char* dst = buf.data();
        std::size_t dstLeft = buf.size();
        std::size_t r = iconv(fromUtf8_, &src, &srcLeft, &dst, &dstLeft);
        if (r == static_cast<std::size_t>(-1) || srcLeft != 0) return false;
        // iconv may transliterate or substitute silently; reject anything
        // that does not read back as the same character.
        if (r > 0) return false;
        iconv(fromUtf8_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf.data(), buf.size() - dstLeft);
        return true;
    }

private:
    iconv_t toUtf8_;
    iconv_t fromUtf8_;
    mutable std::mutex mutex_;
};

void appendEscape(std::string& out, char32_t cp)
{
    char buf[16];
    if (cp > 0xFFFF) {
        char32_t v = cp - 0x10000;
        std::snprintf(buf, sizeof buf, "\\U+%04X", static_cast<unsigned>(0xD800 + (v >> 10)));
        out += buf;
        std::snprintf(buf, sizeof buf, "\\U+%04X", static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
        out += buf;
        return;
    }
    std::snprintf(buf, sizeof buf, "\\U+%04X", static_cast<unsigned>(cp));
    out += buf;
}

// The double-byte code pages that \M+N escapes name.
const char* mifCharset(int n)
{
    switch (n) {
    case 1: return "CP932";
    case 2: return "CP950";
    case 3: return "CP949";
    case 4: return "JOHAB";
    case 5: return "CP936";
    default: return nullptr;
    }
}

// The converter of the double-byte code page that a \M+N escape names.
const Iconv& mifConverter(int page)
{
    static std::mutex mutex;
    static std::unordered_map<int, std::unique_ptr<Iconv>> converters;
    std::lock_guard lock(mutex);
    auto& slot = converters[page];
    if (!slot) slot = std::make_unique<Iconv>(mifCharset(page));
    return *slot;
}

// Decodes the \U+XXXX (and \M+NXXXX) escapes that stand for characters.
std::string decodeEscapes(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\\' && i + 2 < text.size() && text[i + 2] == '+') {
            char kind = text[i + 1];
            if (kind == 'U' || kind == 'u') {
                int v = hex4(text, i + 3);
                if (v >= 0) {
                    char32_t cp = static_cast<char32_t>(v);
                    std::size_t next = i + 7;
                    if (cp >= 0xD800 && cp <= 0xDBFF && next + 7 <= text.size() && text[next] == '\\' &&
                        (text[next + 1] == 'U' || text[next + 1] == 'u') && text[next + 2] == '+') {
                        int lo = hex4(text, next + 3);
                        if (lo >= 0xDC00 && lo <= 0xDFFF) {
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(lo) - 0xDC00);
                            next += 7;
                        }
                    }
                    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
                    appendUtf8(out, cp);
                    i = next;
                    continue;
                }
            } else if ((kind == 'M' || kind == 'm') && i + 8 <= text.size()) {
                int page = text[i + 3] - '0';
                int v = hex4(text, i + 4);
                const char* cs = mifCharset(page);
                if (cs && v >= 0) {
                    char bytes[2] = {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
                    std::string_view sv = (v >> 8) ? std::string_view(bytes, 2) : std::string_view(bytes + 1, 1);
                    out += mifConverter(page).toUtf8(sv);
                    i += 8;
                    continue;
                }
            }
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

class Utf8Codec final : public TextCodec {
public:
    std::string decode(std::string_view raw) const override
    {
        // AutoCAD still writes \U+XXXX escapes into UTF-8 drawings (the
        // degree sign of dimension text, table names): they are characters.
        bool plain = true;
        for (char c : raw) {
            if (static_cast<unsigned char>(c) >= 0x80 || c == '\\') {
                plain = false;
                break;
            }
        }
        if (plain) return std::string(raw);
        if (isAscii(raw) || isValidUtf8(raw)) {
            if (raw.find('\\') == std::string_view::npos) return std::string(raw);
            return decodeEscapes(std::string(raw));
        }
        // Not UTF-8 after all (some writers put single-byte text into newer
        // drawings): read each stray byte as Windows-1252 would.
        static constexpr char32_t cp1252High[32] = {
            0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
            0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
        };
        std::string out;
        std::size_t i = 0;
        while (i < raw.size()) {
            std::size_t before = i;
            char32_t cp = nextUtf8(raw, i);
            bool stray = i == before + 1 && cp >= 0x80;
            if (stray && cp < 0xA0) cp = cp1252High[cp - 0x80];
            appendUtf8(out, cp);
        }
        return out.find('\\') == std::string::npos ? out : decodeEscapes(out);
    }
    std::string encode(std::string_view utf8) const override { return std::string(utf8); }
    std::string name() const override { return "UTF-8"; }
};

class CodePageCodec final : public TextCodec {
public:
    CodePageCodec(std::string charset, bool singleByte)
        : charset_(std::move(charset)), iconv_(charset_), singleByte_(singleByte)
    {
        if (!singleByte_) return;
        for (int b = 0; b < 256; ++b) {
            char c = static_cast<char>(b);
            std::string u = b < 0x80 ? std::string(1, c) : iconv_.toUtf8(std::string_view(&c, 1));
            std::size_t i = 0;
            char32_t cp = u.empty() ? static_cast<char32_t>(b) : nextUtf8(u, i);
            table_[b] = cp;
            if (b >= 0x80) reverse_.emplace(cp, static_cast<unsigned char>(b));
        }
    }

    bool valid() const { return iconv_.valid(); }

    std::string decode(std::string_view raw) const override
    {
        bool ascii = isAscii(raw);
        if (ascii && raw.find('\\') == std::string_view::npos) return std::string(raw);
        std::string text;
        if (ascii) {
            text.assign(raw);
        } else if (singleByte_) {
            text.reserve(raw.size() + raw.size() / 2);
            for (unsigned char c : raw) appendUtf8(text, table_[c]);
        } else {
            text = iconv_.toUtf8(raw);
        }
        if (text.find('\\') == std::string::npos) return text;
        return decodeEscapes(text);
    }

    std::string encode(std::string_view utf8) const override
    {
        if (isAscii(utf8)) return std::string(utf8);
        std::string out;
        out.reserve(utf8.size());
        std::size_t i = 0;
        while (i < utf8.size()) {
            std::size_t start = i;
            char32_t cp = nextUtf8(utf8, i);
            if (cp < 0x80) {
                out.push_back(static_cast<char>(cp));
                continue;
            }
            if (singleByte_) {
                auto it = reverse_.find(cp);
                if (it != reverse_.end()) {
                    out.push_back(static_cast<char>(it->second));
                    continue;
                }
            } else {
                // In a double-byte code page, a single high byte (the euro
                // sign at 0x80 in code page 936) is read differently by
                // different programs; the escape is read the same by all.
                std::string bytes;
                if (iconv_.fromUtf8(utf8.substr(start, i - start), bytes) &&
                    !(bytes.size() == 1 && static_cast<unsigned char>(bytes[0]) >= 0x80)) {
                    out += bytes;
                    continue;
                }
            }
            appendEscape(out, cp);
        }
        return out;
    }

    std::string name() const override { return charset_; }

private:
    std::string charset_;
    Iconv iconv_;
    bool singleByte_;
    std::array<char32_t, 256> table_{};
    std::unordered_map<char32_t, unsigned char> reverse_;
};

std::string upper(std::string_view s)
{
    std::string r(s);
    for (auto& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

// $DWGCODEPAGE to the iconv name and whether it is a single-byte page.
std::pair<std::string, bool> charsetOf(std::string_view codePage)
{
    std::string cp = upper(codePage);
    while (!cp.empty() && (cp.back() == ' ' || cp.back() == '\t')) cp.pop_back();
    auto digits = [&](std::string_view prefix) -> std::string {
        return cp.compare(0, prefix.size(), prefix) == 0 ? cp.substr(prefix.size()) : std::string();
    };
    std::string n = digits("ANSI_");
    if (n.empty()) n = digits("DOS");
    if (n.empty()) n = digits("CP");
    if (!n.empty()) {
        if (n == "932") return {"CP932", false};
        if (n == "936") return {"CP936", false};
        if (n == "949") return {"CP949", false};
        if (n == "950") return {"CP950", false};
        if (n == "1361") return {"JOHAB", false};
        return {"CP" + n, true};
    }
    std::string iso = digits("ISO8859-");
    if (iso.empty()) iso = digits("ISO-8859-");
    if (!iso.empty()) return {"ISO-8859-" + iso, true};
    if (cp == "MACINTOSH" || cp == "MAC_ROMAN") return {"MACINTOSH", true};
    if (cp == "BIG5") return {"BIG5", false};
    if (cp == "GB2312") return {"GB2312", false};
    if (cp == "KSC5601") return {"CP949", false};
    if (cp == "JOHAB") return {"JOHAB", false};
    if (cp == "SJIS" || cp == "SHIFT_JIS") return {"CP932", false};
    return {"CP1252", true};
}

}  // namespace

std::shared_ptr<const TextCodec> TextCodec::utf8()
{
    static auto codec = std::make_shared<const Utf8Codec>();
    return codec;
}

std::shared_ptr<const TextCodec> TextCodec::forDrawing(std::string_view acadver, std::string_view dwgCodePage)
{
    // AC1021 (2007) and later are UTF-8 whatever the code page says.
    if (acadver.size() >= 6 && acadver.substr(0, 2) == "AC" && acadver.substr(2) >= "1021") return utf8();
    std::string cpName = upper(dwgCodePage);
    if (cpName == "UTF8" || cpName == "UTF-8") return utf8();

    static std::mutex mutex;
    static std::unordered_map<std::string, std::shared_ptr<const CodePageCodec>> cache;
    auto [charset, single] = charsetOf(dwgCodePage);
    std::lock_guard lock(mutex);
    auto& slot = cache[charset];
    if (!slot) {
        auto codec = std::make_shared<const CodePageCodec>(charset, single);
        if (!codec->valid()) codec = std::make_shared<const CodePageCodec>("CP1252", true);
        slot = codec;
    }
    return slot;
}

}  // namespace ddvue::dxf
