#pragma once
// Text encoding of a drawing's string values. Drawings before 2007 store text
// in the code page named by $DWGCODEPAGE, with characters outside it written
// as \U+XXXX (and, from old Asian versions, \M+NXXXX); 2007 and later store
// UTF-8, and may still hold \U+XXXX escapes, which are read as characters
// there too. Inside the program all text is UTF-8.

#include <memory>
#include <string>
#include <string_view>

namespace ddvue::dxf {

class TextCodec {
public:
    // The codec for a drawing of the given $ACADVER and $DWGCODEPAGE.
    static std::shared_ptr<const TextCodec> forDrawing(std::string_view acadver,
                                                       std::string_view dwgCodePage);
    static std::shared_ptr<const TextCodec> utf8();

    virtual ~TextCodec() = default;

    // Raw file bytes of a string value to UTF-8, escapes decoded.
    virtual std::string decode(std::string_view raw) const = 0;
    // UTF-8 to file bytes: UTF-8 for 2007 and later; for older drawings
    // their code page, with \U+XXXX for the characters it cannot hold.
    virtual std::string encode(std::string_view utf8) const = 0;
    // The character set's name, for the content document's information.
    virtual std::string name() const = 0;

    static bool isAscii(std::string_view s) noexcept
    {
        for (unsigned char c : s)
            if (c >= 0x80) return false;
        return true;
    }
};

// Appends the UTF-8 form of a code point.
void appendUtf8(std::string& out, char32_t cp);
// Decodes one UTF-8 sequence at s[i]; advances i. Invalid bytes come back as
// their Latin-1 code point, so nothing is dropped.
char32_t nextUtf8(std::string_view s, std::size_t& i) noexcept;

}  // namespace ddvue::dxf
