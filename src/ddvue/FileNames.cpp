#include "ddvue/FileNames.h"

namespace ddvue {

namespace {

constexpr char16_t kStrayFirst = 0xDC80;  // the stray byte 0x80
constexpr char16_t kStrayLast = 0xDCFF;

bool isStray(char16_t c) { return c >= kStrayFirst && c <= kStrayLast; }

// The length of the valid UTF-8 sequence at `s[i]`, or 0 when there is none
// (a stray byte, an overlong form, a surrogate or a value beyond U+10FFFF).
std::size_t sequenceLength(std::string_view s, std::size_t i)
{
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b = at(i);
    if (b < 0x80) return 1;
    std::size_t n;
    char32_t cp;
    if (b >= 0xC2 && b <= 0xDF) n = 2, cp = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, cp = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, cp = b & 0x07;
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

}  // namespace

QString decodeFileName(std::string_view bytes)
{
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t n = sequenceLength(bytes, i);
        if (n == 0) {
            out += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i])));
            ++i;
        } else {
            out += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(n));
            i += n;
        }
    }
    return out;
}

std::string encodeFileName(const QString& name)
{
    // Most names and messages hold no stray byte: their UTF-8 at once.
    if (!hasStrayBytes(name)) return name.toStdString();
    std::string out;
    out.reserve(static_cast<std::size_t>(name.size()));
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > runStart) out += name.mid(runStart, end - runStart).toStdString();
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        char16_t c = name[i].unicode();
        // A stray byte is a low surrogate on its own, never the second half
        // of a pair.
        if (isStray(c) && !(i > 0 && QChar::isHighSurrogate(name[i - 1].unicode()))) {
            flush(i);
            out += static_cast<char>(c - 0xDC00);
            runStart = i + 1;
        }
    }
    flush(name.size());
    return out;
}

bool hasStrayBytes(const QString& name)
{
    for (qsizetype i = 0; i < name.size(); ++i)
        if (isStray(name[i].unicode()) && !(i > 0 && QChar::isHighSurrogate(name[i - 1].unicode()))) return true;
    return false;
}

QString displayFileName(const QString& name)
{
    if (!hasStrayBytes(name)) return name;
    QString out = name;
    for (qsizetype i = 0; i < out.size(); ++i)
        if (isStray(out[i].unicode()) && !(i > 0 && QChar::isHighSurrogate(out[i - 1].unicode()))) out[i] = QChar(0xFFFD);
    return out;
}

bool isDrawingSuffix(const QString& suffix)
{
    return suffix.compare(QLatin1String("dwg"), Qt::CaseInsensitive) == 0 ||
           suffix.compare(QLatin1String("dxf"), Qt::CaseInsensitive) == 0 ||
           suffix.compare(QLatin1String("dxfb"), Qt::CaseInsensitive) == 0;
}

}  // namespace ddvue
