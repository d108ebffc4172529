#include "colors/ColorPalette.h"

#include <QPainter>

#include <cmath>

namespace colors {

namespace {

std::vector<Cell> fullCells()
{
    struct Row {
        int top, bottom, k;
    };
    static const Row rows[] = {{314, 451, 8},   {494, 646, 6},   {674, 826, 4},   {854, 1006, 2},  {1034, 1186, 0},
                               {1289, 1441, 1}, {1469, 1621, 3}, {1649, 1801, 5}, {1829, 1981, 7}, {2009, 2161, 9}};
    std::vector<Cell> out;
    for (const Row& r : rows)
        for (int c = 1; c <= 24; ++c)
            out.push_back({10 * c + r.k, 239 + 204 * (c - 1), r.top, 406 + 204 * (c - 1), r.bottom});
    return out;
}

std::vector<Cell> rowCells(int count, int firstNumber)
{
    std::vector<Cell> out;
    for (int i = 1; i <= count; ++i) out.push_back({firstNumber + i - 1, 209 + 291 * (i - 1), 299, 466 + 291 * (i - 1), 586});
    return out;
}

// Hue in degrees, saturation 0 to 1, value (the largest channel) 0 to 255;
// channels rounded down.
QColor fromHsv(double hue, double saturation, double value)
{
    double chroma = value * saturation;
    double sector = hue / 60.0;
    double x = chroma * (1.0 - std::fabs(std::fmod(sector, 2.0) - 1.0));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(sector) % 6) {
    case 0: r = chroma, g = x; break;
    case 1: r = x, g = chroma; break;
    case 2: g = chroma, b = x; break;
    case 3: g = x, b = chroma; break;
    case 4: r = x, b = chroma; break;
    default: r = chroma, b = x; break;
    }
    double m = value - chroma;
    return QColor(static_cast<int>(std::floor(r + m)), static_cast<int>(std::floor(g + m)),
                  static_cast<int>(std::floor(b + m)));
}

}  // namespace

const std::vector<Cell>& cells(Palette palette)
{
    static const std::vector<Cell> full = fullCells();
    static const std::vector<Cell> gray = rowCells(6, 250);
    static const std::vector<Cell> standard = rowCells(9, 1);
    switch (palette) {
    case Palette::Full: return full;
    case Palette::Gray: return gray;
    case Palette::Standard: return standard;
    }
    return full;
}

int colorAt(Palette palette, int x, int y)
{
    for (const Cell& cell : cells(palette))
        if (cell.contains(x, y)) return cell.number;
    return 0;
}

QColor colorOf(int number)
{
    static const QRgb standard[] = {0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF,
                                    0xFF00FF, 0xFFFFFF, 0x808080, 0xC0C0C0};
    static const QRgb gray[] = {0x333333, 0x5B5B5B, 0x848484, 0xADADAD, 0xD6D6D6, 0xFFFFFF};
    if (number >= 1 && number <= 9) return QColor(standard[number - 1]);
    if (number >= 250 && number <= 255) return QColor(gray[number - 250]);
    if (number < 10 || number > 249) return QColor(Qt::black);
    int column = number / 10;  // 1 to 24
    int k = number % 10;
    static const int values[] = {255, 255, 204, 204, 152, 152, 127, 127, 76, 76};
    return fromHsv((column - 1) * 15.0, k % 2 == 0 ? 1.0 : 0.5, values[k]);
}

QSize pictureSize(Palette palette)
{
    // The cells' extent and as much margin again to the right and bottom as
    // to the left and top.
    int right = 0, bottom = 0, left = 1 << 30, top = 1 << 30;
    for (const Cell& cell : cells(palette)) {
        right = std::max(right, cell.right);
        bottom = std::max(bottom, cell.bottom);
        left = std::min(left, cell.left);
        top = std::min(top, cell.top);
    }
    return QSize((right + left) / TwipsPerPixel + 1, (bottom + top) / TwipsPerPixel + 1);
}

QImage paintPalette(Palette palette, int chosen)
{
    QImage image(pictureSize(palette), QImage::Format_RGB32);
    image.fill(QColor(0xE0, 0xE0, 0xE0));
    // The pixels of a cell: those whose twip position lies strictly inside it.
    auto first = [](int low) { return low / TwipsPerPixel + 1; };
    auto last = [](int high) { return (high - 1) / TwipsPerPixel; };
    QPainter p(&image);
    const Cell* marked = nullptr;
    for (const Cell& cell : cells(palette)) {
        QRect r(QPoint(first(cell.left), first(cell.top)), QPoint(last(cell.right), last(cell.bottom)));
        p.fillRect(r, colorOf(cell.number));
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawRect(r.adjusted(-1, -1, 0, 0));
        if (cell.number == chosen) marked = &cell;
    }
    if (marked) {
        QRect r(QPoint(first(marked->left), first(marked->top)), QPoint(last(marked->right), last(marked->bottom)));
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(r.adjusted(-1, -1, 0, 0));
        p.setPen(QPen(Qt::white, 1));
        p.drawRect(r.adjusted(-2, -2, 1, 1));
    }
    return image;
}

}  // namespace colors
