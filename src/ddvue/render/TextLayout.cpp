#include "ddvue/render/TextLayout.h"

#include "ddvue/render/Palette.h"
#include "ddvue/render/Primitive.h"

#include <QFontMetricsF>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace ddvue::render {

namespace {

const QString kTab = QStringLiteral("    ");

// The character a %% code stands for, or a null QChar.
QChar specialCharacter(QChar code)
{
    switch (code.toLower().unicode()) {
    case 'd': return QChar(0x00B0);  // degree
    case 'p': return QChar(0x00B1);  // plus-minus
    case 'c': return QChar(0x00D8);  // diameter, drawn as CAD fonts draw it
    case '%': return QChar('%');
    default: return QChar();
    }
}

// Reads "%%nnn" at i (just after the %%): up to three digits, a character
// number. Returns the number of digits read, 0 when none.
int characterNumber(const QString& s, int i, char32_t& cp)
{
    int n = 0;
    cp = 0;
    while (n < 3 && i + n < s.size() && s[i + n].isDigit()) {
        cp = cp * 10 + static_cast<char32_t>(s[i + n].digitValue());
        ++n;
    }
    return n;
}

// The character a "%%" code at i stands for (%%d, %%p, %%c, %%%, %%nnn),
// appended to `buf`. Returns how many characters the code takes, 0 when
// there is none at i.
int percentCharacter(const QString& s, int i, QString& buf)
{
    if (i + 2 >= s.size() || s[i] != QLatin1Char('%') || s[i + 1] != QLatin1Char('%')) return 0;
    QChar special = specialCharacter(s[i + 2]);
    if (!special.isNull()) {
        buf += special;
        return 3;
    }
    char32_t cp = 0;
    int digits = characterNumber(s, i + 2, cp);
    if (digits == 0) return 0;
    buf += QChar(static_cast<char16_t>(cp));
    return 2 + digits;
}

// A caret pair ("^J") names a control character; "^ " is the caret itself.
// Returns the character meant, with a null QChar for ones that show nothing.
QChar caretCharacter(QChar next)
{
    if (next == QChar(' ')) return QChar('^');
    int c = next.unicode() - 0x40;
    if (c < 0 || c > 0x7F) return QChar();
    return QChar(c);
}

bool parseNumber(QString arg, double& value, bool& relative)
{
    arg = arg.trimmed();
    relative = arg.endsWith(QLatin1Char('x'), Qt::CaseInsensitive);
    if (relative) arg.chop(1);
    bool ok = false;
    double v = arg.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return false;
    value = v;
    return true;
}

std::uint32_t aciTextColor(int index)
{
    if (index == 0) return TextFormat::kByBlock;
    if (index == 7) return color::kForeground;
    if (index < 1 || index > 255) return TextFormat::kByLayer;
    return color::fixed(aciColor(index));
}

}  // namespace

// ------------------------------------------------------------------ parsing

namespace {

// Reads MTEXT's inline codes: paragraphs, formatting that lasts to the end
// of its {group}, stacked fractions, special characters.
class MTextParser {
public:
    MTextParser(const QString& raw, const TextFormat& base) : raw_(raw), n_(static_cast<int>(raw.size())), cur_(base) {}

    std::vector<TextParagraph> parse()
    {
        while (i_ < n_) {
            QChar c = raw_[i_];
            if (c == QLatin1Char('\\') && i_ + 1 < n_) {
                QChar k = raw_[i_ + 1];
                i_ += 2;
                code(k);
            } else if (c == QLatin1Char('{')) {
                flushPiece();
                saved_.emplace_back(cur_, align_);
                ++i_;
            } else if (c == QLatin1Char('}')) {
                flushPiece();
                if (!saved_.empty()) {
                    cur_ = saved_.back().first;
                    align_ = saved_.back().second;
                    saved_.pop_back();
                }
                ++i_;
            } else if (int taken = percentCharacter(raw_, i_, buf_)) {
                i_ += taken;
            } else if (c == QLatin1Char('^') && i_ + 1 < n_) {
                QChar meant = caretCharacter(raw_[i_ + 1]);
                i_ += 2;
                if (meant == QChar('\n')) newParagraph();
                else if (meant == QChar('\t')) buf_ += kTab;
                else if (!meant.isNull() && meant.unicode() >= 0x20) buf_ += meant;
            } else {
                ++i_;
                if (c == QLatin1Char('\n')) newParagraph();
                else if (c == QLatin1Char('\t')) buf_ += kTab;
                else if (c.unicode() >= 0x20) buf_ += c;
            }
        }
        flushPiece();
        out_.back().endFormat = cur_;
        return std::move(out_);
    }

private:
    void flushPiece()
    {
        if (buf_.isEmpty()) return;
        out_.back().pieces.push_back(TextPiece{buf_, cur_, {}, 0});
        buf_.clear();
    }
    void newParagraph()
    {
        flushPiece();
        out_.back().endFormat = cur_;
        out_.emplace_back();
        out_.back().align = align_;
    }
    // The argument of a code: up to its ';' (or the end).
    QString argument()
    {
        int semi = static_cast<int>(raw_.indexOf(QLatin1Char(';'), i_));
        QString a = semi < 0 ? raw_.mid(i_) : raw_.mid(i_, semi - i_);
        i_ = semi < 0 ? n_ : semi + 1;
        return a;
    }
    void number(double& target, bool positive)
    {
        double v = 0;
        bool rel = false;
        if (!parseNumber(argument(), v, rel)) return;
        double value = rel ? target * v : v;
        if (positive && !(value > 0)) return;
        flushPiece();
        target = value;
    }
    void switchTo(bool TextFormat::*flag, bool on)
    {
        flushPiece();
        cur_.*flag = on;
    }

    // The code after a backslash.
    void code(QChar k)
    {
        switch (k.unicode()) {
        case 'P':
        case 'N':
        case 'X': newParagraph(); break;
        case '~': buf_ += QChar(0x00A0); break;
        case '\\':
        case '{':
        case '}': buf_ += k; break;
        case 'L':
        case 'l': switchTo(&TextFormat::underline, k == QLatin1Char('L')); break;
        case 'O':
        case 'o': switchTo(&TextFormat::overline, k == QLatin1Char('O')); break;
        case 'K':
        case 'k': switchTo(&TextFormat::strike, k == QLatin1Char('K')); break;
        case 'H': number(cur_.height, true); break;
        case 'W': number(cur_.widthFactor, true); break;
        case 'T': number(cur_.tracking, true); break;
        case 'Q': {
            double v = cur_.oblique;
            number(v, false);
            if (std::abs(v) <= 85) cur_.oblique = v;
            break;
        }
        case 'A': argument(); break;
        case 'C':
        case 'c': color(k == QLatin1Char('c')); break;
        case 'f':
        case 'F': font(); break;
        case 'p': paragraph(); break;
        case 'S': stack(); break;
        case 'U': unicode(); break;
        case 'M':
            // \M+NXXXX: a double-byte character the reader could not
            // convert; it has no Unicode form here.
            if (i_ + 5 < n_ && raw_[i_] == QLatin1Char('+')) i_ += 6;
            break;
        default:
            // An unknown letter code goes; a backslash before anything
            // else is just a backslash.
            if (!((k >= QLatin1Char('a') && k <= QLatin1Char('z')) || (k >= QLatin1Char('A') && k <= QLatin1Char('Z')))) {
                buf_ += QLatin1Char('\\');
                --i_;
            }
            break;
        }
    }

    // \C: a color index; \c: a true color, stored with red in the lowest byte.
    void color(bool trueColor)
    {
        QString a = argument().trimmed();
        bool ok = false;
        if (trueColor) {
            qint64 v = a.toLongLong(&ok);
            if (!ok) return;
            flushPiece();
            cur_.color = color::fixed(qRgb(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)));
        } else {
            int index = a.toInt(&ok);
            if (!ok) return;
            flushPiece();
            cur_.color = aciTextColor(index);
        }
    }

    void font()
    {
        QString a = argument();
        flushPiece();
        cur_.bold = cur_.italic = false;
        for (const QString& part : a.split(QLatin1Char('|'))) {
            if (part.size() < 2) continue;
            if (part[0] == QLatin1Char('b')) cur_.bold = part[1] == QLatin1Char('1');
            if (part[0] == QLatin1Char('i')) cur_.italic = part[1] == QLatin1Char('1');
        }
    }

    void paragraph()
    {
        QString a = argument();
        for (const QString& part : a.split(QLatin1Char(','))) {
            int q = static_cast<int>(part.indexOf(QLatin1Char('q')));
            if (q < 0 || q + 1 >= part.size()) continue;
            switch (part[q + 1].unicode()) {
            case 'l':
            case 'j':
            case 'd': align_ = 0; break;
            case 'c': align_ = 1; break;
            case 'r': align_ = 2; break;
            case '*': align_ = -1; break;
            }
        }
        out_.back().align = align_;
    }

    void stack()
    {
        QString a = argument();
        // The first unescaped '^', '/' or '#' divides the two parts.
        QString top, bottom;
        char kind = 0;
        for (int j = 0; j < a.size(); ++j) {
            QChar ch = a[j];
            if (ch == QLatin1Char('\\') && j + 1 < a.size()) {
                (kind ? bottom : top) += a[++j];
                continue;
            }
            if (!kind && (ch == QLatin1Char('^') || ch == QLatin1Char('/') || ch == QLatin1Char('#'))) {
                kind = static_cast<char>(ch.unicode());
                continue;
            }
            (kind ? bottom : top) += ch;
        }
        flushPiece();
        if (!kind) out_.back().pieces.push_back(TextPiece{top, cur_, {}, 0});
        else out_.back().pieces.push_back(TextPiece{top.trimmed(), cur_, bottom.trimmed(), kind});
    }

    // \U+XXXX, when the drawing's reader left one.
    void unicode()
    {
        bool ok = false;
        uint cp = 0;
        if (i_ + 4 < n_ && raw_[i_] == QLatin1Char('+')) cp = raw_.mid(i_ + 1, 4).toUInt(&ok, 16);
        if (!ok) return;
        buf_ += QChar(static_cast<char16_t>(cp));
        i_ += 5;
    }

    const QString& raw_;
    const int n_;
    int i_ = 0;
    std::vector<TextParagraph> out_ = std::vector<TextParagraph>(1);
    TextFormat cur_;
    int align_ = -1;
    std::vector<std::pair<TextFormat, int>> saved_;
    QString buf_;
};

}  // namespace

std::vector<TextParagraph> parseMText(const QString& raw, const TextFormat& base)
{
    return MTextParser(raw, base).parse();
}

std::vector<TextPiece> parseText(const QString& raw, const TextFormat& base)
{
    std::vector<TextPiece> out;
    TextFormat cur = base;
    QString buf;
    auto flushPiece = [&] {
        if (buf.isEmpty()) return;
        out.push_back(TextPiece{buf, cur, {}, 0});
        buf.clear();
    };
    const int n = static_cast<int>(raw.size());
    for (int i = 0; i < n;) {
        QChar c = raw[i];
        if (c == QLatin1Char('%') && i + 2 < n && raw[i + 1] == QLatin1Char('%')) {
            QChar k = raw[i + 2].toLower();
            if (k == QLatin1Char('u') || k == QLatin1Char('o') || k == QLatin1Char('k')) {
                flushPiece();
                if (k == QLatin1Char('u')) cur.underline = !cur.underline;
                if (k == QLatin1Char('o')) cur.overline = !cur.overline;
                if (k == QLatin1Char('k')) cur.strike = !cur.strike;
                i += 3;
                continue;
            }
        }
        if (int taken = percentCharacter(raw, i, buf)) {
            i += taken;
            continue;
        }
        if (c == QLatin1Char('^') && i + 1 < n) {
            QChar meant = caretCharacter(raw[i + 1]);
            i += 2;
            if (meant == QChar('\t')) buf += kTab;
            else if (meant == QChar('\n') || meant == QChar('\r')) buf += QLatin1Char(' ');
            else if (!meant.isNull() && meant.unicode() >= 0x20) buf += meant;
            continue;
        }
        ++i;
        if (c == QLatin1Char('\t')) buf += kTab;
        else if (c.unicode() >= 0x20) buf += c;
        else if (c == QLatin1Char('\n')) buf += QLatin1Char(' ');
    }
    flushPiece();
    return out;
}

QString plainText(const std::vector<TextParagraph>& paragraphs)
{
    QString out;
    for (std::size_t p = 0; p < paragraphs.size(); ++p) {
        if (p) out += QLatin1Char('\n');
        for (const TextPiece& piece : paragraphs[p].pieces) {
            out += piece.text;
            if (piece.stack) out += QLatin1Char(piece.stack) + piece.lower;
        }
    }
    return out;
}

// ------------------------------------------------------------------ shaping

TextFace TextFace::of(const TextFormat& f)
{
    TextFace face;
    face.bold = f.bold;
    face.italic = f.italic;
    face.tracking = static_cast<std::int16_t>(std::lround(std::clamp(f.tracking, 0.1, 10.0) * 100));
    return face;
}

QString textFamily() { return QStringLiteral("DejaVu Sans"); }

QFont textFont(const TextFace& face)
{
    QFont font(textFamily());
    font.setPixelSize(kTextUnits);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setBold(face.bold);
    font.setItalic(face.italic);
    if (face.tracking != 100) font.setLetterSpacing(QFont::PercentageSpacing, face.tracking);
    return font;
}

namespace {

// Lays text out on one unwrapped line whose baseline's start is at (0, 0).
// `layout` must outlive what is read from it.
QTextLine layOut(QTextLayout& layout)
{
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) {
        line.setLineWidth(1e9);
        line.setPosition(QPointF(0, -line.ascent()));
    }
    layout.endLayout();
    return line;
}

constexpr int kShapedKept = 100000;

}  // namespace

QString textKey(const QString& text, const TextFace& face)
{
    QString key = text;
    key += QChar(0);
    key += QChar(u'0' + (face.bold ? 1 : 0) + (face.italic ? 2 : 0));
    key += QString::number(face.tracking);
    return key;
}

struct TextMeasure::Face {
    QFont font;
};

TextMeasure::TextMeasure(ShapeCache* cache) : shaped_(cache ? *cache : own_)
{
    QFontMetricsF metrics(face(TextFace()).font);
    capHeight_ = metrics.capHeight() > 0 ? metrics.capHeight() : kUnits * 0.72;
    ascent_ = metrics.ascent();
    descent_ = metrics.descent();
}

TextMeasure::~TextMeasure() = default;

TextMeasure::Face& TextMeasure::face(const TextFace& f)
{
    for (auto& [key, made] : faces_)
        if (key == f) return *made;
    faces_.emplace_back(f, std::make_unique<Face>(Face{textFont(f)}));
    return *faces_.back().second;
}

quint32 fontChecksum(const QRawFont& font)
{
    // The header table's checksum adjustment, which differs from file to file.
    QByteArray head = font.fontTable("head");
    if (head.size() < 12) return 0;
    auto b = [&head](int i) { return static_cast<quint32>(static_cast<unsigned char>(head[i])); };
    return (b(8) << 24) | (b(9) << 16) | (b(10) << 8) | b(11);
}

std::shared_ptr<const ShapedText> TextMeasure::shape(const QString& text, const TextFormat& f)
{
    TextFace tf = TextFace::of(f);
    QString key = textKey(text, tf);
    auto it = shaped_.constFind(key);
    if (it != shaped_.cend()) return *it;
    auto out = std::make_shared<ShapedText>();
    out->text = text;
    out->face = tf;
    if (!text.isEmpty()) {
        QTextLayout layout(text, face(tf).font);
        QTextLine line = layOut(layout);
        out->advance = line.isValid() ? line.horizontalAdvance() : 0;
        const QList<QGlyphRun> runs = layout.glyphRuns();
        for (const QGlyphRun& run : runs) {
            QRawFont raw = run.rawFont();
            // A script no font on the system covers (Devanagari where none
            // is installed) comes as a run of Qt's stand-in engine, which has
            // no font tables and no family: nothing to draw, and asking it for
            // its family would crash.
            if (!raw.isValid() || raw.fontTable("head").isEmpty()) continue;
            ShapedText::Run r;
            auto known = keys_.constFind(raw);
            if (known == keys_.cend()) {
                FontKey key;
                key.family = raw.familyName();
                key.style = raw.styleName();
                key.weight = raw.weight();
                key.italic = raw.style() != QFont::StyleNormal;
                key.checksum = fontChecksum(raw);
                known = keys_.insert(raw, key);
            }
            r.font = *known;
            r.glyphs = run.glyphIndexes();
            r.positions = run.positions();
            r.flags = static_cast<int>(run.flags());
            out->runs.push_back(std::move(r));
        }
    }
    if (shaped_.size() >= kShapedKept) shaped_.clear();
    shaped_.insert(key, out);
    return out;
}

QList<QGlyphRun> shapeGlyphs(const QString& text, const TextFace& face)
{
    if (text.isEmpty()) return {};
    QTextLayout layout(text, textFont(face));
    layOut(layout);
    return layout.glyphRuns();
}

QList<QGlyphRun> GlyphFonts::glyphRuns(const ShapedText& shaped)
{
    QList<QGlyphRun> out;
    for (const ShapedText::Run& r : shaped.runs) {
        auto it = std::find_if(fonts_.begin(), fonts_.end(), [&r](const auto& f) { return f.first == r.font; });
        if (it == fonts_.end()) {
            QFont font(r.font.family);
            font.setStyleName(r.font.style);
            font.setWeight(static_cast<QFont::Weight>(r.font.weight));
            font.setItalic(r.font.italic);
            font.setPixelSize(kTextUnits);
            font.setHintingPreference(QFont::PreferNoHinting);
            font.setStyleStrategy(QFont::NoFontMerging);
            QRawFont raw = QRawFont::fromFont(font);
            if (!raw.isValid() || fontChecksum(raw) != r.font.checksum) raw = QRawFont();
            fonts_.emplace_back(r.font, raw);
            it = fonts_.end() - 1;
        }
        // Not the font the text was shaped with: its glyph numbers would
        // name other glyphs, so the text is shaped here instead.
        if (!it->second.isValid()) return shapeGlyphs(shaped.text, shaped.face);
        QGlyphRun run;
        run.setRawFont(it->second);
        run.setGlyphIndexes(r.glyphs);
        run.setPositions(r.positions);
        run.setFlags(static_cast<QGlyphRun::GlyphRunFlags>(r.flags));
        out.append(run);
    }
    return out;
}

// ------------------------------------------------------------------- layout

namespace {

// Where the rules of a format stand, relative to the baseline, in units of
// the capital height.
constexpr double kUnderline = -0.2;
constexpr double kOverline = 1.25;
constexpr double kStrike = 0.5;

// The size of the two parts of a stacked piece, and where their baselines sit.
constexpr double kStackSize = 0.7;
constexpr double kStackTop = 0.55;
constexpr double kStackBottom = -0.35;

struct Token {
    const TextPiece* piece;
    QString text;  // for a stacked piece, unused
    double width;
    bool space;
};

double pieceWidth(const TextPiece& piece, TextMeasure& measure)
{
    if (!piece.stack) return measure.width(piece.text, piece.format);
    TextFormat small = piece.format;
    small.height *= kStackSize;
    if (piece.stack == '#') return measure.width(piece.text + QLatin1Char('/') + piece.lower, small);
    return std::max(measure.width(piece.text, small), measure.width(piece.lower, small));
}

void addRules(TextBlock& block, const TextFormat& f, double x0, double x1, double y)
{
    auto rule = [&](double at) {
        block.rules.emplace_back(x0, y + at * f.height, x1, y + at * f.height);
        block.ruleColors.push_back(f.color);
    };
    if (f.underline) rule(kUnderline);
    if (f.overline) rule(kOverline);
    if (f.strike) rule(kStrike);
}

// Places tokens along the baseline y from x; merges neighbours of one look
// into a single run.
double placeTokens(TextBlock& block, const std::vector<Token>& tokens, double x, double y, TextMeasure& measure)
{
    PlacedRun run;
    bool open = false;
    double runStart = x;
    auto close = [&] {
        if (!open) return;
        addRules(block, run.format, runStart, x, y);
        block.runs.push_back(run);
        open = false;
    };
    for (const Token& t : tokens) {
        const TextPiece& p = *t.piece;
        if (p.stack) {
            close();
            TextFormat small = p.format;
            small.height *= kStackSize;
            small.underline = small.overline = small.strike = false;
            if (p.stack == '#') {
                block.runs.push_back(PlacedRun{p.text + QLatin1Char('/') + p.lower, small, x, y});
            } else {
                // Each part centred over the other.
                double top = (t.width - measure.width(p.text, small)) / 2;
                double bottom = (t.width - measure.width(p.lower, small)) / 2;
                block.runs.push_back(PlacedRun{p.text, small, x + top, y + kStackTop * p.format.height});
                block.runs.push_back(PlacedRun{p.lower, small, x + bottom, y + kStackBottom * p.format.height});
                if (p.stack == '/') {
                    double barY = y + (kStackTop + kStackBottom + kStackSize) / 2 * p.format.height;
                    block.rules.emplace_back(x, barY, x + t.width, barY);
                    block.ruleColors.push_back(p.format.color);
                }
            }
            addRules(block, p.format, x, x + t.width, y);
            x += t.width;
            continue;
        }
        if (open && !run.format.sameLook(p.format)) close();
        if (!open) {
            run = PlacedRun{QString(), p.format, x, y};
            runStart = x;
            open = true;
        }
        run.text += t.text;
        x += t.width;
    }
    close();
    return x;
}

}  // namespace

TextBlock layoutLine(const std::vector<TextPiece>& pieces, TextMeasure& measure)
{
    TextBlock block;
    std::vector<Token> tokens;
    for (const TextPiece& p : pieces) tokens.push_back(Token{&p, p.text, pieceWidth(p, measure), false});
    block.width = placeTokens(block, tokens, 0, 0, measure);
    block.height = pieces.empty() ? 0 : pieces.front().format.height;
    for (const TextPiece& p : pieces) block.height = std::max(block.height, p.format.height);
    return block;
}

TextBlock layoutMText(const std::vector<TextParagraph>& paragraphs, const MTextFrame& frame, TextMeasure& measure)
{
    struct Line {
        std::vector<Token> tokens;
        double width = 0;
        double height = 0;
        int align = 0;
    };
    std::vector<Line> lines;
    const int column = (std::clamp(frame.attachment, 1, 9) - 1) % 3;
    const int row = (std::clamp(frame.attachment, 1, 9) - 1) / 3;

    for (const TextParagraph& para : paragraphs) {
        // Words and the spaces between them, each a token.
        std::vector<Token> tokens;
        for (const TextPiece& p : para.pieces) {
            if (p.stack) {
                tokens.push_back(Token{&p, QString(), pieceWidth(p, measure), false});
                continue;
            }
            int start = 0;
            const int n = static_cast<int>(p.text.size());
            while (start < n) {
                bool space = p.text[start] == QLatin1Char(' ');
                int end = start;
                while (end < n && (p.text[end] == QLatin1Char(' ')) == space) ++end;
                QString word = p.text.mid(start, end - start);
                tokens.push_back(Token{&p, word, measure.width(word, p.format), space});
                start = end;
            }
        }
        const int align = para.align >= 0 ? para.align : column;
        Line line;
        line.align = align;
        bool content = false;     // the line holds a word
        bool wrapped = false;     // the line began where the one before was wrapped
        auto finish = [&] {
            while (!line.tokens.empty() && line.tokens.back().space) {
                line.width -= line.tokens.back().width;
                line.tokens.pop_back();
            }
            for (const Token& t : line.tokens) line.height = std::max(line.height, t.piece->format.height);
            if (line.height <= 0) line.height = para.endFormat.height;
            lines.push_back(std::move(line));
            line = Line();
            line.align = align;
            content = false;
        };
        for (const Token& t : tokens) {
            if (t.space && wrapped && !content) continue;  // no blanks at the start of a wrapped line
            if (!t.space && frame.width > 0 && content && line.width + t.width > frame.width * 1.0001) {
                finish();
                wrapped = true;
            }
            line.tokens.push_back(t);
            line.width += t.width;
            content = content || !t.space;
        }
        finish();
    }

    TextBlock block;
    double maxWidth = 0;
    for (const Line& l : lines) maxWidth = std::max(maxWidth, l.width);
    const double boxWidth = frame.width > 0 ? frame.width : maxWidth;
    const double boxLeft = column == 0 ? 0 : column == 1 ? -boxWidth / 2 : -boxWidth;

    // Baselines: the first a capital height below the top; between lines of
    // one height 5/3 of it, between lines of different heights more of the
    // line above than of the line below, never so little that capitals
    // reach into the descenders above.
    std::vector<double> baselines;
    double y = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (k == 0) {
            y = -lines[k].height;
        } else {
            double above = lines[k - 1].height, below = lines[k].height;
            double pitch = std::max(1.2 * above + (5.0 / 3.0 - 1.2) * below, below + 0.45 * above);
            y -= frame.lineSpacing * pitch;
        }
        baselines.push_back(y);
    }
    const double total = baselines.empty() ? 0 : -baselines.back();
    const double shift = row == 0 ? 0 : row == 1 ? total / 2 : total;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const Line& l = lines[k];
        double x = boxLeft + (l.align == 0 ? 0 : l.align == 1 ? (boxWidth - l.width) / 2 : boxWidth - l.width);
        placeTokens(block, l.tokens, x, baselines[k] + shift, measure);
    }
    block.width = maxWidth;
    block.height = total;
    return block;
}

}  // namespace ddvue::render
