#include "ddvue/render/Palette.h"

#include <array>
#include <cmath>

namespace ddvue::render {

namespace {

// Indexes 10..249 run through 24 hues in steps of 15 degrees. Each hue has
// five brightness levels; the even index of a pair is fully saturated, the
// odd one half saturated. Indexes 250..255 are grays.
QRgb computeColor(int index)
{
    switch (index) {
    case 1: return qRgb(255, 0, 0);
    case 2: return qRgb(255, 255, 0);
    case 3: return qRgb(0, 255, 0);
    case 4: return qRgb(0, 255, 255);
    case 5: return qRgb(0, 0, 255);
    case 6: return qRgb(255, 0, 255);
    case 7: return qRgb(255, 255, 255);
    case 8: return qRgb(128, 128, 128);
    case 9: return qRgb(192, 192, 192);
    default: break;
    }
    if (index >= 250) {
        static constexpr std::array<int, 6> grays{51, 91, 132, 173, 214, 255};
        int g = grays[static_cast<std::size_t>(index - 250)];
        return qRgb(g, g, g);
    }
    static constexpr std::array<double, 5> levels{1.0, 0.65, 0.5, 0.3, 0.15};
    int hue = (index - 10) / 10 * 15;
    int digit = index % 10;
    double v = 255.0 * levels[static_cast<std::size_t>(digit / 2)];
    double m = (digit % 2) ? v / 2 : 0.0;
    double f = (hue % 60) / 60.0;
    int hi = static_cast<int>(v);
    int lo = static_cast<int>(m);
    int rising = static_cast<int>(m + (v - m) * f);
    int falling = static_cast<int>(v - (v - m) * f);
    switch (hue / 60) {
    case 0: return qRgb(hi, rising, lo);
    case 1: return qRgb(falling, hi, lo);
    case 2: return qRgb(lo, hi, rising);
    case 3: return qRgb(lo, falling, hi);
    case 4: return qRgb(rising, lo, hi);
    default: return qRgb(hi, lo, falling);
    }
}

const std::array<QRgb, 256>& palette()
{
    static const std::array<QRgb, 256> table = [] {
        std::array<QRgb, 256> t{};
        t[0] = qRgb(0, 0, 0);
        for (int i = 1; i < 256; ++i) t[static_cast<std::size_t>(i)] = computeColor(i);
        return t;
    }();
    return table;
}

}  // namespace

QRgb aciColor(int index)
{
    if (index < 1 || index > 255) return qRgb(255, 255, 255);
    return palette()[static_cast<std::size_t>(index)];
}

}  // namespace ddvue::render
