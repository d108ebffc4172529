#include "ddvue/render/SpatialIndex.h"

#include <algorithm>
#include <cmath>

namespace ddvue::render {

void SpatialIndex::clear()
{
    levels_ = 0;
    levelStart_.clear();
    levelCount_.clear();
    cellStart_.clear();
    ids_.clear();
    late_.clear();
}

void SpatialIndex::build(const std::vector<Primitive>& prims)
{
    clear();
    Bounds all;
    std::size_t live = 0;
    for (const Primitive& p : prims) {
        if (p.dead()) continue;
        all.add(p.x0, p.y0);
        all.add(p.x1, p.y1);
        ++live;
    }
    if (live == 0) return;
    ox_ = all.x0;
    oy_ = all.y0;
    size_ = std::max(all.width(), all.height());
    if (!(size_ > 0) || !std::isfinite(size_)) size_ = 1;

    // The finest grid has at most a quarter as many cells as there are
    // primitives, and at most 2^11 cells a side.
    int finest = 0;
    while (finest < 11 && (std::size_t(1) << (2 * (finest + 1))) * 4 <= live) ++finest;
    levels_ = finest + 1;
    levelStart_.resize(static_cast<std::size_t>(levels_));
    levelCount_.assign(static_cast<std::size_t>(levels_), 0);
    std::uint32_t cells = 0;
    for (int l = 0; l < levels_; ++l) {
        levelStart_[static_cast<std::size_t>(l)] = cells;
        cells += std::uint32_t(1) << (2 * l);
    }

    // The cell of every primitive, then a counting sort by cell.
    std::vector<std::uint32_t> cellOf(prims.size(), UINT32_MAX);
    cellStart_.assign(static_cast<std::size_t>(cells) + 1, 0);
    for (std::size_t id = 0; id < prims.size(); ++id) {
        const Primitive& p = prims[id];
        if (p.dead()) continue;
        double extent = std::max(double(p.x1) - p.x0, double(p.y1) - p.y0);
        int l = finest;
        if (extent > 0) {
            double ratio = size_ / extent;
            l = ratio >= 1 ? std::min(finest, static_cast<int>(std::floor(std::log2(ratio)))) : 0;
            l = std::max(l, 0);
            while (l > 0 && extent > size_ / (1 << l)) --l;  // rounding of log2
        }
        const int n = 1 << l;
        const double cell = size_ / n;
        auto index = [n, cell](double v, double origin) {
            double c = (v - origin) / cell;
            if (!(c > 0)) return 0;
            return c >= n - 1 ? n - 1 : static_cast<int>(c);
        };
        int i = index((double(p.x0) + p.x1) / 2, ox_);
        int j = index((double(p.y0) + p.y1) / 2, oy_);
        std::uint32_t c = levelStart_[static_cast<std::size_t>(l)] + static_cast<std::uint32_t>(j * n + i);
        cellOf[id] = c;
        ++cellStart_[c + 1];
        ++levelCount_[static_cast<std::size_t>(l)];
    }
    for (std::size_t c = 1; c < cellStart_.size(); ++c) cellStart_[c] += cellStart_[c - 1];
    ids_.resize(live);
    std::vector<std::uint32_t> fill(cellStart_.begin(), cellStart_.end() - 1);
    for (std::size_t id = 0; id < prims.size(); ++id)
        if (cellOf[id] != UINT32_MAX) ids_[fill[cellOf[id]]++] = static_cast<std::uint32_t>(id);
}

}  // namespace ddvue::render
