// Text in drawings of every age comes in as UTF-8 and goes back out in the
// drawing's own encoding, without losing a character.

#include "ddvue/dxf/TextCodec.h"

#include <gtest/gtest.h>

using ddvue::dxf::TextCodec;

TEST(TextCodec, OlderDrawingsUseTheirCodePageAndEscapes)
{
    auto latin = TextCodec::forDrawing("AC1015", "ANSI_1252");
    EXPECT_EQ(latin->decode("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");           // é, €
    EXPECT_EQ(latin->decode("\\U+03A9 \\u+03a9"), "\xCE\xA9 \xCE\xA9");              // Ω either case
    EXPECT_EQ(latin->decode("\\U+D83D\\U+DE00"), "\xF0\x9F\x98\x80");                // a surrogate pair
    EXPECT_EQ(latin->decode("\\U+12 and \\P stay"), "\\U+12 and \\P stay");          // not escapes
    EXPECT_EQ(latin->encode("caf\xC3\xA9 \xCE\xA9 \xF0\x9F\x98\x80"), "caf\xE9 \\U+03A9 \\U+D83D\\U+DE00");
    // A byte the code page leaves undefined comes back as itself.
    std::string undefined = "\x81";
    EXPECT_EQ(latin->encode(latin->decode(undefined)), undefined);
}

TEST(TextCodec, DoubleByteCodePagesAndTheirEscapes)
{
    auto chinese = TextCodec::forDrawing("AC1018", "ANSI_936");
    EXPECT_EQ(chinese->decode("\xD6\xD0\xCE\xC4"), "\xE4\xB8\xAD\xE6\x96\x87");  // 中文
    EXPECT_EQ(chinese->encode("\xE4\xB8\xAD\xE6\x96\x87"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(chinese->decode("\\M+5D6D0"), "\xE4\xB8\xAD");                     // 中 as a double-byte escape
    EXPECT_EQ(chinese->encode("\xCE\xA9\xC5\x91"), "\xA6\xB8\\U+0151");          // Ω in GBK, ő not
    EXPECT_EQ(chinese->encode("\xE2\x82\xAC"), "\\U+20AC");  // not 0x80, which not every reader knows
    auto japanese = TextCodec::forDrawing("AC1015", "ANSI_932");
    // In Shift-JIS the second byte of 表 is a backslash; it starts no escape.
    EXPECT_EQ(japanese->decode("\x95\x5CU+0041"), "\xE8\xA1\xA8U+0041");
}

TEST(TextCodec, NewerDrawingsAreUtf8AndKeepStrayBytes)
{
    auto utf8 = TextCodec::forDrawing("AC1032", "ANSI_1252");
    EXPECT_EQ(utf8->decode("Gr\xC3\xBC\xC3\x9F" "e"), "Gr\xC3\xBC\xC3\x9F" "e");
    // AutoCAD still writes escapes into UTF-8 drawings: they are characters
    // there too, also next to UTF-8 and next to stray bytes.
    EXPECT_EQ(utf8->decode("45\\U+00B0"), "45\xC2\xB0");
    EXPECT_EQ(utf8->decode("\xC3\x9C \\u+03a9 \\U+D83D\\U+DE00"), "\xC3\x9C \xCE\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(utf8->decode("\xE9 \\U+00B0"), "\xC3\xA9 \xC2\xB0");
    EXPECT_EQ(utf8->decode("C:\\Users\\U+XYZ\\"), "C:\\Users\\U+XYZ\\") << "not an escape: kept as it is";
    EXPECT_EQ(utf8->encode("45\xC2\xB0"), "45\xC2\xB0") << "written as UTF-8, not as an escape";
    EXPECT_EQ(utf8->decode("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");  // stray single bytes are read, not dropped
    EXPECT_EQ(utf8->encode("\xE4\xB8\xAD"), "\xE4\xB8\xAD");
    EXPECT_EQ(TextCodec::forDrawing("AC1015", "UTF8")->name(), "UTF-8");
    EXPECT_EQ(TextCodec::forDrawing("AC1009", "")->name(), "CP1252");
}
