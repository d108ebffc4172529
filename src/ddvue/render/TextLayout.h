#pragma once
// Text as the view draws it: the control codes of single-line text and the
// formatting codes of multi-line text read into pieces of one format each,
// measured with a Qt font, and placed on lines (word wrap, line spacing,
// attachment, paragraph alignment).

#include <QFont>
#include <QGlyphRun>
#include <QRawFont>
#include <QHash>
#include <QLineF>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <utility>
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

// The face a piece of text is drawn in: the family's style and the space
// between its characters. Plain data, so that it may travel with a scene from
// the thread that built it to the one that paints it.
struct TextFace {
    bool bold = false;
    bool italic = false;
    std::int16_t tracking = 100;  // percent of the font's own spacing, 10 to 1000

    static TextFace of(const TextFormat& f);
    bool operator==(const TextFace&) const = default;
};

// The family every text of a drawing is drawn in (CAD fonts are not
// available; characters it lacks come from the system's fallback fonts), and
// the pixel size its glyphs are placed at: font units.
QString textFamily();
constexpr int kTextUnits = 100;
// The Qt font of a face at kTextUnits pixels. Qt ties a font's glyph data to
// the thread that made it, so a font is made on the thread that uses it.
QFont textFont(const TextFace& face);

// Which font a run of glyphs was shaped with, told in plain values: another
// thread finds the same font with them, and the checksum of the font's
// header tells that it is the same font file.
struct FontKey {
    QString family;
    QString style;
    int weight = 400;
    bool italic = false;
    quint32 checksum = 0;
    bool operator==(const FontKey&) const = default;
};

// Text shaped into glyphs, as plain data: runs of glyph indexes of a font
// with their positions in font units (y down, the baseline at 0).
struct ShapedText {
    // The lists are plain numbers, shared with the glyph runs made of them.
    struct Run {
        FontKey font;
        QList<quint32> glyphs;
        QList<QPointF> positions;
        int flags = 0;  // QGlyphRun's flags (right to left, ...)
    };
    QString text;
    TextFace face;
    std::vector<Run> runs;
    double advance = 0;
};

// Texts shaped before, by textKey: plain data that any thread may keep and
// hand to the next thread that shapes (one at a time).
using ShapeCache = QHash<QString, std::shared_ptr<const ShapedText>>;

// Measures and shapes text in the text family at the fixed size of
// kTextUnits font units. It holds Qt fonts, so it is made, used and let go
// on one thread; what it hands out is plain data. Shaped texts go into
// `cache` when one is given, so that they outlive the measure.
class TextMeasure {
public:
    static constexpr int kUnits = kTextUnits;
    explicit TextMeasure(ShapeCache* cache = nullptr);
    ~TextMeasure();
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;

    // The glyphs of text in a format's face. Shaped texts are shared:
    // drawings repeat their texts (labels, attribute values, the same note
    // in every block).
    std::shared_ptr<const ShapedText> shape(const QString& text, const TextFormat& f);
    // The advance of text in font units.
    double advance(const QString& text, const TextFormat& f) { return shape(text, f)->advance; }
    double capHeight() const { return capHeight_; }
    double ascent() const { return ascent_; }
    double descent() const { return descent_; }
    // Drawing units per font unit for a format's height.
    double unitScale(const TextFormat& f) const { return f.height / capHeight_; }
    // The width of text in drawing units.
    double width(const QString& text, const TextFormat& f) { return advance(text, f) * unitScale(f) * f.widthFactor; }

private:
    struct Face;
    Face& face(const TextFace& f);

    std::vector<std::pair<TextFace, std::unique_ptr<Face>>> faces_;
    ShapeCache own_;
    ShapeCache& shaped_;
    QHash<QRawFont, FontKey> keys_;
    double capHeight_ = 73, ascent_ = 93, descent_ = 24;
};

// A key that tells texts in faces apart, for caches of their measures and
// glyphs.
QString textKey(const QString& text, const TextFace& face);

// Glyphs of text in a face, shaped with a font of the calling thread.
QList<QGlyphRun> shapeGlyphs(const QString& text, const TextFace& face);

// The checksum that FontKey keeps of a font.
quint32 fontChecksum(const QRawFont& font);

// Turns shaped text into glyph runs with fonts of the calling thread, found
// again by their keys and kept in `fonts`. Where a font cannot be found as it
// was (another file answers to its name), the text is shaped afresh.
class GlyphFonts {
public:
    QList<QGlyphRun> glyphRuns(const ShapedText& shaped);

private:
    std::vector<std::pair<FontKey, QRawFont>> fonts_;
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
TextBlock layoutLine(const std::vector<TextPiece>& pieces, TextMeasure& measure);

struct MTextFrame {
    double width = 0;          // wrap width; 0 for none
    int attachment = 1;        // 1..9: top/middle/bottom by left/center/right
    double lineSpacing = 1;    // factor on the normal spacing
};
// Lays out paragraphs so that the attachment point is at (0, 0).
TextBlock layoutMText(const std::vector<TextParagraph>& paragraphs, const MTextFrame& frame, TextMeasure& measure);

}  // namespace ddvue::render
