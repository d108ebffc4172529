#pragma once
// Text as the view draws it: the control codes of single-line text and the
// formatting codes of multi-line text read into pieces of one format each,
// measured with a Qt font, and placed on lines (word wrap, line spacing,
// attachment, paragraph alignment).

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QLineF>
#include <QList>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace ddvue::render {

struct TextFormat {
    double height = 1;       // capital height in drawing units
    double widthFactor = 1;  // horizontal stretch
    double oblique = 0;      // slant to the right, degrees
    double tracking = 1;     // space between characters, 1 = as the font has it
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool overline = false;
    bool strike = false;
    std::uint32_t color = 0;  // 0: the entity's own color; kByBlock, kByLayer, or a scene color
    static constexpr std::uint32_t kByBlock = 0xFFFFFFFEu;
    static constexpr std::uint32_t kByLayer = 0xFFFFFFFDu;

    bool sameLook(const TextFormat& o) const
    {
        return height == o.height && widthFactor == o.widthFactor && oblique == o.oblique && tracking == o.tracking &&
               bold == o.bold && italic == o.italic && underline == o.underline && overline == o.overline &&
               strike == o.strike && color == o.color;
    }
};

// A piece of text in one format. A stacked piece (a fraction or a tolerance)
// stands as `text` over `lower`.
struct TextPiece {
    QString text;
    TextFormat format;
    QString lower;
    char stack = 0;  // 0 plain; '/' fraction with a bar; '^' tolerance; '#' diagonal fraction
};

struct TextParagraph {
    std::vector<TextPiece> pieces;
    TextFormat endFormat;  // the format in force at the paragraph's end (sets an empty line's height)
    int align = -1;        // 0 left, 1 center, 2 right; -1 as the attachment point says
};

// Multi-line text read into paragraphs. Codes that change how the text looks
// (height, width, slant, spacing, bold and italic, color, underline,
// overline, strike-through, stacking, paragraph alignment) are applied; the
// others are removed. Nothing of a code is ever left in the text.
std::vector<TextParagraph> parseMText(const QString& raw, const TextFormat& base);
// Single-line text: the %% codes (underline, overline and strike-through
// switches, degree, plus-minus, diameter, character numbers) applied.
std::vector<TextPiece> parseText(const QString& raw, const TextFormat& base);
// What a reader sees: the pieces' text, paragraphs joined by newlines.
QString plainText(const std::vector<TextParagraph>& paragraphs);

// Measures and shapes text with one font family at a fixed size. Font units:
// the font's pixel size is kUnits; y runs down, the baseline at 0.
class TextShaper {
public:
    static constexpr int kUnits = 100;
    explicit TextShaper(const QString& family = QStringLiteral("DejaVu Sans"));

    struct Shaped {
        QList<QGlyphRun> glyphs;
        double advance = 0;
    };
    Shaped shape(const QString& text, const TextFormat& f);
    double advance(const QString& text, const TextFormat& f);
    double capHeight() const { return capHeight_; }
    double ascent() const { return ascent_; }
    double descent() const { return descent_; }
    // Drawing units per font unit for a format's height.
    double unitScale(const TextFormat& f) const { return f.height / capHeight_; }
    // The width of text in drawing units.
    double width(const QString& text, const TextFormat& f) { return advance(text, f) * unitScale(f) * f.widthFactor; }

private:
    struct Face {
        QFont font;
        QFontMetricsF metrics;
    };
    Face& face(const TextFormat& f);

    QString family_;
    std::map<std::tuple<bool, bool, int>, std::unique_ptr<Face>> faces_;
    // Texts shaped before: drawings repeat their texts (labels, attribute
    // values, the same note in every block), and shaped glyphs are shared.
    QHash<QString, Shaped> shaped_;
    double capHeight_ = 73, ascent_ = 93, descent_ = 24;
};

// A piece placed for drawing, in the text's own frame: drawing units, x along
// the text, y up, the baseline's start at (x, y).
struct PlacedRun {
    QString text;
    TextFormat format;
    double x = 0, y = 0;
};

// What a text draws in its own frame: runs of glyphs and straight rules
// (underlines, overlines, strike-throughs, fraction bars).
struct TextBlock {
    std::vector<PlacedRun> runs;
    std::vector<QLineF> rules;
    std::vector<std::uint32_t> ruleColors;  // one per rule, as TextFormat::color
    double width = 0;   // of the widest line
    double height = 0;  // from the first line's capital top to the last baseline
};

// Lays out one line of pieces from x = 0 along the baseline y = 0.
TextBlock layoutLine(const std::vector<TextPiece>& pieces, TextShaper& shaper);

struct MTextFrame {
    double width = 0;          // wrap width; 0 for none
    int attachment = 1;        // 1..9: top/middle/bottom by left/center/right
    double lineSpacing = 1;    // factor on the normal spacing
};
// Lays out paragraphs so that the attachment point is at (0, 0).
TextBlock layoutMText(const std::vector<TextParagraph>& paragraphs, const MTextFrame& frame, TextShaper& shaper);

}  // namespace ddvue::render
