#include "data/XmlRecords.h"

#include <array>
#include <cstring>
#include <string>
#include <unordered_map>

namespace data {

namespace {

// The document is not well-formed; `offset` is where reading stopped.
struct Malformed {
    const char* what;
    std::size_t offset;
};

// The piece ends inside something that the next piece completes.
struct NeedMore {};

enum class Encoding { Utf8, Latin1, Ascii };

bool isXmlSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isNameStartChar(char32_t c)
{
    if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c)
{
    return isNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void appendChar(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

}  // namespace

// Reading goes construct by construct (a tag, a run of text, a reference, a
// comment). `mark_` is where the construct being read began; when a piece
// ends inside one, reading stops there and the rest of the piece waits for
// the next. Nothing is changed until a construct has been read whole, except
// text, whose mark moves along with what it has taken.
class XmlRecordReader::Reader {
public:
    explicit Reader(RecordTable& table) : table_(table)
    {
        for (int b = 0; b < 128; ++b) {
            asciiNameStart_[static_cast<std::size_t>(b)] = isNameStartChar(static_cast<char32_t>(b));
            asciiName_[static_cast<std::size_t>(b)] = isNameChar(static_cast<char32_t>(b));
        }
        setEncoding(Encoding::Utf8);
    }

    bool feed(QByteArrayView piece, bool last)
    {
        if (failed_) return false;
        if (phase_ == Phase::Done) return true;
        last_ = last;
        if (!pending_.empty()) {
            pending_.append(piece.data(), static_cast<std::size_t>(piece.size()));
            begin_ = reinterpret_cast<const unsigned char*>(pending_.data());
            end_ = begin_ + pending_.size();
        } else {
            begin_ = reinterpret_cast<const unsigned char*>(piece.data());
            end_ = begin_ + piece.size();
        }
        p_ = mark_ = begin_;
        try {
            run();
            consumed_ += static_cast<std::size_t>(end_ - begin_);
            pending_.clear();
            if (last_) phase_ = Phase::Done;
        } catch (const NeedMore&) {
            std::string rest(reinterpret_cast<const char*>(mark_), static_cast<std::size_t>(end_ - mark_));
            consumed_ += static_cast<std::size_t>(mark_ - begin_);
            pending_ = std::move(rest);
        } catch (const Malformed& m) {
            failed_ = true;
            error_ = QStringLiteral("at byte %1: %2").arg(m.offset).arg(QLatin1StringView(m.what));
            table_.clear();
            pending_.clear();
            return false;
        }
        return true;
    }

    const QString& error() const { return error_; }
    void expectText(std::size_t characters) { table_.reserveText(characters); }

private:
    enum class Phase { Start, Prolog, Content, Epilogue, Done };

    [[noreturn]] void fail(const char* what) const
    {
        throw Malformed{what, consumed_ + static_cast<std::size_t>(p_ - begin_)};
    }

    // The piece ended too early: wait for the next one, or, when none comes,
    // the document is malformed.
    [[noreturn]] void needMore(const char* what) const
    {
        if (!last_) throw NeedMore{};
        fail(what);
    }

    std::size_t available() const { return static_cast<std::size_t>(end_ - p_); }

    bool startsWith(const char* s) const
    {
        std::size_t n = std::strlen(s);
        return available() >= n && std::memcmp(p_, s, n) == 0;
    }

    // startsWith for a construct's opening, which a piece may cut.
    bool opens(const char* s) const
    {
        std::size_t n = std::strlen(s);
        if (available() >= n) return std::memcmp(p_, s, n) == 0;
        if (std::memcmp(p_, s, available()) == 0) needMore("the document ends too early");
        return false;
    }

    // Where `s` next stands from `from`, waiting for more when it is not there.
    const unsigned char* find(const unsigned char* from, const char* s, const char* what) const
    {
        std::size_t n = std::strlen(s);
        for (const unsigned char* q = from; q + n <= end_; ++q) {
            q = static_cast<const unsigned char*>(std::memchr(q, s[0], static_cast<std::size_t>(end_ - q)));
            if (!q || q + n > end_) break;
            if (std::memcmp(q, s, n) == 0) return q;
        }
        needMore(what);
    }

    void skipSpace()
    {
        while (p_ < end_ && isXmlSpace(*p_)) ++p_;
    }

    void setEncoding(Encoding e)
    {
        encoding_ = e;
        for (int b = 0; b < 256; ++b) {
            bool plain = b >= 0x20 && b != '&' && b != '<' && b != ']';
            if (b >= 0x80 && e != Encoding::Latin1) plain = false;
            plainText_[static_cast<std::size_t>(b)] = plain;
        }
    }

    // One character of markup or text in the document's encoding.
    char32_t nextChar()
    {
        if (p_ >= end_) needMore("the document ends too early");
        unsigned char b = *p_;
        if (b < 0x80 || encoding_ == Encoding::Latin1) {
            ++p_;
            return b;
        }
        if (encoding_ == Encoding::Ascii) fail("a byte outside US-ASCII");
        int extra = 0;
        char32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF) extra = 1, c = b & 0x1F;
        else if (b >= 0xE0 && b <= 0xEF) extra = 2, c = b & 0x0F;
        else if (b >= 0xF0 && b <= 0xF4) extra = 3, c = b & 0x07;
        else fail("invalid UTF-8");
        if (available() <= static_cast<std::size_t>(extra)) needMore("invalid UTF-8");
        for (int i = 1; i <= extra; ++i) {
            unsigned char t = p_[i];
            if ((t & 0xC0) != 0x80) fail("invalid UTF-8");
            c = (c << 6) | (t & 0x3F);
        }
        if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF))
            fail("invalid UTF-8");
        p_ += extra + 1;
        return c;
    }

    // A name; returns its bytes.
    std::pair<const unsigned char*, std::size_t> name()
    {
        const unsigned char* start = p_;
        if (p_ >= end_) needMore("a name is missing");
        if (*p_ < 0x80) {
            if (!asciiNameStart_[*p_]) fail("a name is expected");
            ++p_;
        } else if (!isNameStartChar(nextChar())) {
            p_ = start;
            fail("a name is expected");
        }
        for (;;) {
            if (p_ >= end_) needMore("the document ends inside a name");
            if (*p_ < 0x80) {
                if (!asciiName_[*p_]) break;
                ++p_;
                continue;
            }
            const unsigned char* here = p_;
            if (!isNameChar(nextChar())) {
                p_ = here;
                break;
            }
        }
        return {start, static_cast<std::size_t>(p_ - start)};
    }

    QString decodeName(const unsigned char* s, std::size_t n) const
    {
        if (encoding_ == Encoding::Latin1)
            return QString::fromLatin1(reinterpret_cast<const char*>(s), static_cast<qsizetype>(n));
        return QString::fromUtf8(reinterpret_cast<const char*>(s), static_cast<qsizetype>(n));
    }

    // An entity or character reference after its "&"; appends what it
    // stands for.
    void reference(std::u16string& out)
    {
        const unsigned char* amp = p_;
        const void* semi = std::memchr(amp + 1, ';', static_cast<std::size_t>(end_ - amp - 1));
        if (!semi) needMore("an unterminated reference");
        const unsigned char* stop = static_cast<const unsigned char*>(semi);
        const unsigned char* q = amp + 1;
        if (q < stop && *q == '#') {
            ++q;
            bool hex = q < stop && *q == 'x';
            if (hex) ++q;
            if (q == stop) fail("a malformed character reference");
            char32_t c = 0;
            for (; q < stop; ++q) {
                unsigned char d = *q;
                int v;
                if (d >= '0' && d <= '9') v = d - '0';
                else if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
                else fail("a malformed character reference");
                c = c * (hex ? 16 : 10) + static_cast<char32_t>(v);
                if (c > 0x10FFFF) fail("a character reference out of range");
            }
            if (!isXmlChar(c)) fail("a character reference to a character XML does not allow");
            appendChar(out, c);
            p_ = stop + 1;
            return;
        }
        static const struct {
            const char* name;
            char16_t c;
        } entities[] = {{"lt", u'<'}, {"gt", u'>'}, {"amp", u'&'}, {"apos", u'\''}, {"quot", u'"'}};
        const std::size_t n = static_cast<std::size_t>(stop - q);
        for (const auto& e : entities) {
            if (std::strlen(e.name) == n && std::memcmp(q, e.name, n) == 0) {
                out.push_back(e.c);
                p_ = stop + 1;
                return;
            }
        }
        fail("an unknown entity reference");
    }

    // Character data up to the next "<" or the end of the piece, appended to
    // `out` with line ends made LF, as XML reads them.
    void text(std::u16string& out)
    {
        while (p_ < end_) {
            const unsigned char* run = p_;
            while (p_ < end_ && plainText_[*p_]) ++p_;
            if (p_ > run) {
                std::size_t n = static_cast<std::size_t>(p_ - run);
                std::size_t at = out.size();
                out.resize(at + n);
                char16_t* dst = out.data() + at;
                for (std::size_t i = 0; i < n; ++i) dst[i] = run[i];
                mark_ = p_;
            }
            if (p_ >= end_) return;
            unsigned char b = *p_;
            if (b == '<') return;
            if (b == '&') {
                reference(out);
            } else if (b == ']') {
                if (available() < 3) needMore("the document ends inside text");
                if (startsWith("]]>")) fail("\"]]>\" in text");
                out.push_back(u']');
                ++p_;
            } else if (b == '\r') {
                if (available() < 2) needMore("the document ends inside text");
                ++p_;
                if (*p_ == '\n') ++p_;
                out.push_back(u'\n');
            } else if (b == '\t' || b == '\n') {
                out.push_back(b);
                ++p_;
            } else if (b >= 0x80) {
                char32_t c = nextChar();
                if (!isXmlChar(c)) fail("a character XML does not allow");
                appendChar(out, c);
            } else {
                fail("a control character XML does not allow");
            }
            mark_ = p_;
        }
    }

    void cdata(std::u16string& out)
    {
        const unsigned char* stop = find(p_ + 9, "]]>", "an unterminated CDATA section");
        p_ += 9;  // "<![CDATA["
        while (p_ < stop) {
            if (*p_ == '\r') {
                ++p_;
                if (p_ < stop && *p_ == '\n') ++p_;
                out.push_back(u'\n');
                continue;
            }
            char32_t c = nextChar();
            if (!isXmlChar(c)) fail("a character XML does not allow");
            appendChar(out, c);
        }
        p_ = stop + 3;
    }

    void comment()
    {
        const unsigned char* stop = find(p_ + 4, "--", "an unterminated comment");
        if (available() < static_cast<std::size_t>(stop - p_) + 3) needMore("an unterminated comment");
        if (stop[2] != '>') {
            p_ = stop;
            fail("\"--\" inside a comment");
        }
        p_ = stop + 3;
    }

    void processingInstruction()
    {
        const unsigned char* stop = find(p_ + 2, "?>", "an unterminated processing instruction");
        p_ += 2;  // "<?"
        auto [target, length] = name();
        if (length == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l')
            fail("an XML declaration where it may not stand");
        if (p_ < stop && !isXmlSpace(*p_)) fail("a malformed processing instruction");
        p_ = stop + 2;
    }

    void doctype()
    {
        const unsigned char* q = p_ + 9;  // "<!DOCTYPE"
        int brackets = 0;
        unsigned char quote = 0;
        for (; q < end_; ++q) {
            unsigned char b = *q;
            if (quote) {
                if (b == quote) quote = 0;
            } else if (b == '"' || b == '\'') {
                quote = b;
            } else if (b == '[') {
                ++brackets;
            } else if (b == ']') {
                --brackets;
            } else if (b == '>' && brackets <= 0) {
                p_ = q + 1;
                return;
            }
        }
        needMore("an unterminated document type declaration");
    }

    void declaration()
    {
        const unsigned char* close = find(p_, "?>", "an unterminated XML declaration");
        std::string decl(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(close - p_));
        std::size_t at = decl.find("encoding");
        if (at != std::string::npos) {
            at = decl.find_first_of("\"'", at);
            if (at == std::string::npos) fail("a malformed XML declaration");
            std::size_t stop = decl.find(decl[at], at + 1);
            if (stop == std::string::npos) fail("a malformed XML declaration");
            std::string name = decl.substr(at + 1, stop - at - 1);
            for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            if (name == "utf-8" || name == "utf8") {
                setEncoding(Encoding::Utf8);
            } else if (name == "iso-8859-1" || name == "iso8859-1" || name == "iso_8859-1" || name == "latin1" ||
                       name == "latin-1" || name == "l1") {
                if (bom_) fail("a UTF-8 byte order mark on a document declared ISO-8859-1");
                setEncoding(Encoding::Latin1);
            } else if (name == "us-ascii" || name == "ascii") {
                setEncoding(Encoding::Ascii);
            } else {
                fail("an encoding this program does not read");
            }
        }
        p_ = close + 2;
    }

    void run()
    {
        if (phase_ == Phase::Start) {
            start();
            phase_ = Phase::Prolog;
        }
        if (phase_ == Phase::Prolog) {
            prolog();
            phase_ = Phase::Content;
        }
        if (phase_ == Phase::Content) {
            content();
            phase_ = Phase::Epilogue;
        }
        if (phase_ == Phase::Epilogue) epilogue();
    }

    // The byte order mark and the XML declaration, which only the very
    // start of the document may hold.
    void start()
    {
        if (available() < 9 && !last_) needMore("the document ends too early");
        bom_ = false;
        if (startsWith("\xEF\xBB\xBF")) {
            p_ += 3;
            bom_ = true;
        }
        if (startsWith("<?xml") && available() > 5 && isXmlSpace(p_[5])) {
            p_ += 5;
            declaration();
        }
        mark_ = p_;
    }

    void prolog()
    {
        for (;;) {
            skipSpace();
            mark_ = p_;
            if (p_ >= end_) needMore("the document has no root element");
            if (opens("<!--")) comment();
            else if (opens("<!DOCTYPE") && !sawDoctype_) doctype(), sawDoctype_ = true;
            else if (opens("<?")) processingInstruction();
            else if (*p_ == '<') return;
            else fail("text before the root element");
        }
    }

    // The attributes of a start tag, checked and passed over; true for "/>".
    bool attributes()
    {
        if (p_ < end_ && *p_ == '>') {  // the usual case: no attributes
            ++p_;
            return false;
        }
        std::array<std::pair<const unsigned char*, std::size_t>, 8> seen;
        std::size_t count = 0;
        for (;;) {
            bool spaced = p_ < end_ && isXmlSpace(*p_);
            skipSpace();
            if (p_ >= end_) needMore("an unterminated tag");
            if (*p_ == '>') {
                ++p_;
                return false;
            }
            if (*p_ == '/') {
                if (p_ + 1 >= end_) needMore("an unterminated tag");
                if (p_[1] == '>') {
                    p_ += 2;
                    return true;
                }
                fail("a malformed tag");
            }
            if (!spaced) fail("attributes must be separated by white space");
            auto attr = name();
            for (std::size_t i = 0; i < count && i < seen.size(); ++i)
                if (seen[i].second == attr.second && std::memcmp(seen[i].first, attr.first, attr.second) == 0)
                    fail("an attribute given twice");
            if (count < seen.size()) seen[count] = attr;
            ++count;
            skipSpace();
            if (p_ >= end_) needMore("an unterminated tag");
            if (*p_ != '=') fail("an attribute without a value");
            ++p_;
            skipSpace();
            if (p_ >= end_) needMore("an unterminated tag");
            if (*p_ != '"' && *p_ != '\'') fail("an attribute value without quotes");
            unsigned char quote = *p_++;
            scratch_.clear();
            for (;;) {
                if (p_ >= end_) needMore("an unterminated attribute value");
                if (*p_ == quote) break;
                if (*p_ == '<') fail("\"<\" in an attribute value");
                if (*p_ == '&') {
                    reference(scratch_);
                    continue;
                }
                if (!isXmlChar(nextChar())) fail("a character XML does not allow");
            }
            ++p_;
        }
    }

    int fieldFor(const unsigned char* s, std::size_t n, std::size_t place)
    {
        if (place < expected_.size()) {
            int guess = expected_[place];
            const std::string& known = fieldBytes_[static_cast<std::size_t>(guess)];
            if (known.size() == n && std::memcmp(known.data(), s, n) == 0) return guess;
        }
        std::string key(reinterpret_cast<const char*>(s), n);
        auto it = fieldIndex_.find(key);
        int field;
        if (it != fieldIndex_.end()) {
            field = it->second;
        } else {
            field = table_.addField(decodeName(s, n));
            fieldIndex_.emplace(key, field);
            fieldBytes_.push_back(std::move(key));
            lastSetRow_.push_back(-1);
        }
        if (place >= expected_.size()) expected_.resize(place + 1, 0);
        expected_[place] = field;
        return field;
    }

    void commitField()
    {
        auto f = static_cast<std::size_t>(field_);
        if (lastSetRow_[f] == row_) return;  // a repeated element keeps its first value
        lastSetRow_[f] = row_;
        table_.setValue(row_, field_, QStringView(value_.data(), static_cast<qsizetype>(value_.size())));
    }

    void startElement(const unsigned char* s, std::size_t n, bool empty)
    {
        const std::size_t depth = stack_.size();
        if (depth == 0) {
            rootSeen_ = true;
        } else if (depth == 1) {
            row_ = table_.appendRow();
            place_ = 0;
        } else if (depth == 2) {
            field_ = fieldFor(s, n, place_++);
            value_.clear();
        }
        if (empty) {
            if (depth == 2) commitField();
            return;
        }
        stack_.push_back({names_.size(), n});
        names_.append(reinterpret_cast<const char*>(s), n);
    }

    void endElement()
    {
        if (stack_.empty()) fail("an end tag without a start tag");
        const auto [offset, n] = stack_.back();
        const char* open = names_.data() + offset;
        const unsigned char* q = p_ + 2;  // "</"
        // The usual case: the start tag's name, then ">".
        if (static_cast<std::size_t>(end_ - q) > n && std::memcmp(q, open, n) == 0 && q[n] == '>') {
            p_ = q + n + 1;
        } else {
            p_ = q;
            auto [s, length] = name();
            skipSpace();
            if (p_ >= end_) needMore("a malformed end tag");
            if (*p_ != '>') fail("a malformed end tag");
            if (length != n || std::memcmp(s, open, n) != 0) {
                p_ = s;
                fail("an end tag that does not match its start tag");
            }
            ++p_;
        }
        stack_.pop_back();
        names_.resize(offset);
        if (stack_.size() == 2) commitField();
    }

    // A field written the plain way, "<Name>text</Name>": an ASCII name
    // without attributes and text without references, line ends or other
    // characters that need a look. Read at once when it is one; otherwise
    // nothing is consumed and the general path reads it.
    bool simpleField()
    {
        const unsigned char* q = p_ + 1;
        const unsigned char* name = q;
        while (q < end_ && *q < 0x80 && asciiName_[*q]) ++q;
        const std::size_t n = static_cast<std::size_t>(q - name);
        if (!n || !asciiNameStart_[*name] || q >= end_ || *q != '>') return false;
        const unsigned char* text = ++q;
        while (q < end_ && plainText_[*q]) ++q;
        const std::size_t length = static_cast<std::size_t>(q - text);
        if (static_cast<std::size_t>(end_ - q) < n + 3 || q[1] != '/' || q[2 + n] != '>' ||
            std::memcmp(q + 2, name, n) != 0)
            return false;
        if (encoding_ != Encoding::Latin1) {
            for (const unsigned char* c = text; c < q; ++c)
                if (*c >= 0x80) return false;
        }
        field_ = fieldFor(name, n, place_++);
        auto f = static_cast<std::size_t>(field_);
        if (lastSetRow_[f] != row_) {
            lastSetRow_[f] = row_;
            table_.setLatin1Value(row_, field_, reinterpret_cast<const char*>(text), length);
        }
        p_ = q + 3 + n;
        return true;
    }

    void content()
    {
        for (;;) {
            if (rootSeen_ && stack_.empty()) return;
            mark_ = p_;
            if (p_ >= end_) needMore("the document ends inside an element");
            if (*p_ != '<') {
                if (stack_.size() >= 3) {
                    text(value_);
                } else if (isXmlSpace(*p_)) {
                    // White space between records and fields: no data.
                    skipSpace();
                } else {
                    text(scratch_);
                    scratch_.clear();
                }
                continue;
            }
            if (available() < 2) needMore("the document ends inside a tag");
            const unsigned char next = p_[1];
            if (next == '/') {
                endElement();
            } else if (next == '!') {
                if (opens("<!--")) {
                    comment();
                } else if (opens("<![CDATA[")) {
                    if (stack_.empty()) fail("a CDATA section outside the root element");
                    cdata(stack_.size() >= 3 ? value_ : scratch_);
                    scratch_.clear();
                } else {
                    fail("a declaration inside an element");
                }
            } else if (next == '?') {
                processingInstruction();
            } else if (stack_.size() == 2 && simpleField()) {
                // read whole
            } else {
                ++p_;
                auto [s, n] = name();
                bool empty = attributes();
                startElement(s, n, empty);
            }
        }
    }

    void epilogue()
    {
        for (;;) {
            skipSpace();
            mark_ = p_;
            if (p_ >= end_) return;
            if (opens("<!--")) comment();
            else if (opens("<?")) processingInstruction();
            else fail("content after the root element");
        }
    }

    RecordTable& table_;
    Phase phase_ = Phase::Start;
    bool failed_ = false;
    QString error_;

    std::string pending_;  // the part of earlier pieces not read yet
    std::size_t consumed_ = 0;
    const unsigned char* begin_ = nullptr;
    const unsigned char* p_ = nullptr;
    const unsigned char* end_ = nullptr;
    const unsigned char* mark_ = nullptr;
    bool last_ = false;

    Encoding encoding_ = Encoding::Utf8;
    bool bom_ = false;
    bool sawDoctype_ = false;
    bool rootSeen_ = false;
    std::array<bool, 256> plainText_{};
    std::array<bool, 128> asciiNameStart_{}, asciiName_{};

    std::vector<std::pair<std::size_t, std::size_t>> stack_;  // open elements: their names in names_
    std::string names_;
    std::u16string value_;    // the text of the field being read
    std::u16string scratch_;  // text that is not data
    qsizetype row_ = -1;
    int field_ = -1;
    std::size_t place_ = 0;
    std::vector<int> expected_;  // the field met at each place of the last row
    std::vector<std::string> fieldBytes_;
    std::unordered_map<std::string, int> fieldIndex_;
    std::vector<qsizetype> lastSetRow_;
};

XmlRecordReader::XmlRecordReader(RecordTable& table) : reader_(std::make_unique<Reader>(table)) { table.clear(); }

XmlRecordReader::~XmlRecordReader() = default;

bool XmlRecordReader::feed(QByteArrayView piece, bool last) { return reader_->feed(piece, last); }

const QString& XmlRecordReader::error() const { return reader_->error(); }

void XmlRecordReader::expectText(std::size_t characters) { reader_->expectText(characters); }

bool readXmlRecords(QByteArrayView xml, RecordTable& table, QString* error)
{
    XmlRecordReader reader(table);
    // The values cannot hold more characters than the document has bytes;
    // setting that much aside (untouched memory costs nothing) spares the
    // table from moving its text while it grows.
    reader.expectText(static_cast<std::size_t>(xml.size()));
    bool ok = reader.feed(xml, true);
    if (!ok && error) *error = reader.error();
    return ok;
}

}  // namespace data
