// Reading text codes and laying text out.

#include "ddvue/render/Palette.h"
#include "ddvue/render/Primitive.h"
#include "ddvue/render/TextLayout.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

using namespace ddvue::render;

namespace {

QString plain(const QString& raw) { return plainText(parseMText(raw, TextFormat())); }

QString joined(const std::vector<TextPiece>& pieces)
{
    QString s;
    for (const TextPiece& p : pieces) s += p.text;
    return s;
}

}  // namespace

TEST(MTextCodes, WhatAReaderSeesAndNothingOfTheCodes)
{
    struct Case {
        const char* raw;
        const char* seen;
    } cases[] = {
        {"First line\\PSecond line", "First line\nSecond line"},
        {"{\\C1;red} and {\\H2.5x;big}", "red and big"},
        {"\\fArial|b1|i0|c0|p34;Bold\\Ftxt.shx;plain", "Boldplain"},
        {"a\\~b \\\\ \\{c\\}", "a\u00A0b \\ {c}"},
        {"\\pxi-3,l4,t4,qc;centred", "centred"},
        {"\\A1;\\W0.8;\\Q15;\\T1.1;\\LU\\l\\OO\\o\\KK\\k", "UOK"},
        {"1\\S1/2; and \\S+0.1^ -0.2;", "11/2 and +0.1^-0.2"},
        {"%%c50 %%d %%p1 100%%%", "\u00D850 \u00B0 \u00B11 100%"},
        {"tab^Ihere^Jnext ^ caret", "tab    here\nnext ^caret"},
        {"\\U+00E9t\\U+00E9", "\u00E9t\u00E9"},
        {"unknown \\Zcode", "unknown code"},
        {"path C:\\:x", "path C:\\:x"},  // a backslash before no letter stays
        {"unbalanced }} braces {{", "unbalanced  braces "},
        {"\\H", ""},  // a code cut off at the end
        {"trailing backslash\\", "trailing backslash\\"},  // a lone backslash is only a character
    };
    for (const Case& c : cases)
        EXPECT_EQ(plain(QString::fromUtf8(c.raw)), QString::fromUtf8(c.seen)) << c.raw;
}

TEST(MTextCodes, FormatsApplyToTheirGroupOnly)
{
    TextFormat base;
    base.height = 2;
    auto paras = parseMText(QStringLiteral("a{\\H3x;\\C1;\\fX|b1|i1;b}c\\H0.5;d\\Pe"), base);
    ASSERT_EQ(paras.size(), 2u);
    const auto& p = paras[0].pieces;
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].format.height, 2);
    EXPECT_EQ(p[1].format.height, 6);
    EXPECT_TRUE(p[1].format.bold);
    EXPECT_TRUE(p[1].format.italic);
    EXPECT_EQ(p[1].format.color, color::fixed(aciColor(1)));
    EXPECT_EQ(p[2].format.height, 2);  // the group ended
    EXPECT_FALSE(p[2].format.bold);
    EXPECT_EQ(p[3].format.height, 0.5);  // absolute
    EXPECT_EQ(paras[1].pieces[0].format.height, 0.5);  // paragraphs keep the format in force

    auto colors = parseMText(QStringLiteral("{\\C0;a}{\\C256;b}{\\C7;c}{\\c255;d}"), base)[0].pieces;
    EXPECT_EQ(colors[0].format.color, TextFormat::kByBlock);
    EXPECT_EQ(colors[1].format.color, TextFormat::kByLayer);
    EXPECT_EQ(colors[2].format.color, color::kForeground);
    EXPECT_EQ(colors[3].format.color, color::fixed(qRgb(255, 0, 0)));  // red in the lowest byte

    auto bad = parseMText(QStringLiteral("\\H-2;\\Hx;\\W0;x"), base)[0].pieces;
    EXPECT_EQ(bad[0].format.height, 2);  // no height below zero, nothing unreadable
    EXPECT_EQ(bad[0].format.widthFactor, 1);
}

TEST(TextCodes, SwitchesAndSpecialCharacters)
{
    TextFormat base;
    auto pieces = parseText(QStringLiteral("%%uunder%%u plain %%ko%%k 45%%d %%130x"), base);
    EXPECT_EQ(joined(pieces), QStringLiteral(" plain o 45\u00B0 \u0082x").prepend(QStringLiteral("under")));
    ASSERT_GE(pieces.size(), 3u);
    EXPECT_TRUE(pieces[0].format.underline);
    EXPECT_FALSE(pieces[1].format.underline);
    EXPECT_TRUE(pieces[2].format.strike);
    EXPECT_EQ(joined(parseText(QStringLiteral("50%% and %%z"), base)), QStringLiteral("50%% and %%z"));
}

TEST(TextLayout, WrapsAtTheWidthAndAlignsParagraphs)
{
    TextMeasure shaper;
    TextFormat f;
    f.height = 1;
    auto paras = parseMText(QStringLiteral("one two three four five six seven eight nine ten"), f);
    double word = shaper.width(QStringLiteral("three "), f);
    MTextFrame frame;
    frame.width = word * 3;
    TextBlock block = layoutMText(paras, frame, shaper);
    ASSERT_GT(block.runs.size(), 2u);
    std::set<double> baselines;
    for (const PlacedRun& r : block.runs) {
        baselines.insert(r.y);
        EXPECT_LE(r.x + shaper.width(r.text.trimmed(), r.format), frame.width * 1.0001);
        EXPECT_FALSE(r.text.startsWith(QLatin1Char(' ')));  // wrapped lines begin with a word
    }
    EXPECT_GE(baselines.size(), 3u);
    // The first baseline a capital height below the top; lines 5/3 apart.
    EXPECT_NEAR(*baselines.rbegin(), -1.0, 1e-9);
    auto it = baselines.rbegin();
    double first = *it++;
    EXPECT_NEAR(first - *it, 5.0 / 3.0, 1e-9);

    // Attached at the bottom right: everything left of and above the point.
    frame.attachment = 9;
    TextBlock br = layoutMText(paras, frame, shaper);
    for (const PlacedRun& r : br.runs) {
        EXPECT_LE(r.x + shaper.width(r.text, r.format), 1e-9);
        EXPECT_GE(r.y, -1e-9);
    }

    // A centred paragraph within a left-attached frame.
    auto centred = parseMText(QStringLiteral("\\pxqc;hi"), f);
    frame = MTextFrame{10, 1, 1};
    TextBlock c = layoutMText(centred, frame, shaper);
    ASSERT_EQ(c.runs.size(), 1u);
    EXPECT_NEAR(c.runs[0].x + shaper.width(QStringLiteral("hi"), f) / 2, 5, 1e-9);
}

TEST(TextLayout, RulesFollowTheirText)
{
    TextMeasure shaper;
    TextFormat f;
    f.height = 2;
    TextBlock b = layoutLine(parseText(QStringLiteral("a%%ubc%%ud"), f), shaper);
    ASSERT_EQ(b.rules.size(), 1u);
    double a = shaper.width(QStringLiteral("a"), f), bc = shaper.width(QStringLiteral("bc"), f);
    EXPECT_NEAR(b.rules[0].x1(), a, 1e-9);
    EXPECT_NEAR(b.rules[0].x2(), a + bc, 1e-9);
    EXPECT_LT(b.rules[0].y1(), 0);  // below the baseline
}

// Shaped on one thread, drawn on another: the glyphs travel as plain numbers
// with the keys of their fonts, and come back as the same glyphs of the same
// fonts, fallback fonts included; a key that no longer names the font it was
// made from gives glyphs shaped afresh, never another font's glyph numbers.
TEST(TextShaping, ShapedTextTravelsAsPlainDataAndComesBackAsTheSameGlyphs)
{
    const QString text = QString::fromUtf8("Ground floor \u4E2D\u6587 \u00D850");
    TextFormat f;
    std::shared_ptr<const ShapedText> shaped;
    std::thread([&] {
        TextMeasure measure;
        shaped = measure.shape(text, f);
    }).join();  // the shaping thread and its fonts are gone
    ASSERT_GE(shaped->runs.size(), 2u) << "Latin and Chinese come from two fonts";

    // Runs by font (a layout lists its runs in no fixed order).
    using Glyphs = std::map<QString, std::pair<QList<quint32>, QList<QPointF>>>;
    auto byFont = [](const QList<QGlyphRun>& runs) {
        Glyphs out;
        for (const QGlyphRun& r : runs) out[r.rawFont().familyName()] = {r.glyphIndexes(), r.positions()};
        return out;
    };
    Glyphs here = byFont(shapeGlyphs(text, TextFace::of(f)));
    EXPECT_EQ(here.size(), 2u);
    EXPECT_EQ(byFont(GlyphFonts().glyphRuns(*shaped)), here);

    ShapedText stale = *shaped;
    stale.runs[0].font.checksum ^= 1;  // as if another file now had the family's name,
    stale.runs[0].glyphs.fill(1u);  // whose numbers mean other glyphs
    EXPECT_EQ(byFont(GlyphFonts().glyphRuns(stale)), here);
}

// Text in a script that no installed font covers (here Devanagari, on a
// system without such a font) is measured and laid out without a crash; what
// can be drawn still is.
TEST(TextShaping, AScriptNoFontCoversIsSkippedNotACrash)
{
    const QString text = QString::fromUtf8("Unicode: \u011Bsc\u0939\u093F\u0902\u0926 \u2461 Ab2");
    TextMeasure measure;
    std::shared_ptr<const ShapedText> shaped = measure.shape(text, TextFormat());
    ASSERT_TRUE(shaped);
    EXPECT_FALSE(shaped->runs.empty());
    EXPECT_GT(measure.width(text, TextFormat()), 0);
    for (const ShapedText::Run& r : shaped->runs) EXPECT_FALSE(r.font.family.isEmpty());
}
