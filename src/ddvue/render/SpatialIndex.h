#pragma once
// Finds the primitives whose bounds meet a rectangle without looking at the
// others. A stack of grids over the scene's bounds, each twice as fine as the
// one before: a primitive goes into the finest grid whose cells are at least
// as large as it is, into the cell that holds its center. A cell's primitives
// then reach at most half a cell beyond it, so a query visits, in each grid,
// only the cells near the rectangle, and every primitive once.
//
// Primitives added after the index was built wait in a list that every
// query visits; the scene rebuilds the index when that list grows long.

#include "ddvue/render/Primitive.h"

#include <cstdint>
#include <vector>

namespace ddvue::render {

class SpatialIndex {
public:
    void clear();
    // Indexes every live primitive.
    void build(const std::vector<Primitive>& prims);
    // A primitive added since: visited by every query.
    void addLate(std::uint32_t id) { late_.push_back(id); }
    std::size_t lateCount() const { return late_.size(); }
    std::size_t indexedCount() const { return ids_.size(); }

    // Calls visit(id) for every indexed primitive that may meet the
    // rectangle, and for every late one. Removed primitives may come up too;
    // the caller skips them and tests the bounds itself.
    template <typename Visit>
    void query(double x0, double y0, double x1, double y1, Visit&& visit) const;

    // True when the rectangle holds the whole indexed area.
    bool covers(double x0, double y0, double x1, double y1) const
    {
        return levels_ == 0 || (x0 <= ox_ && y0 <= oy_ && x1 >= ox_ + size_ && y1 >= oy_ + size_);
    }

private:
    double ox_ = 0, oy_ = 0, size_ = 1;
    int levels_ = 0;                     // grids 0 .. levels_-1; grid l has 2^l x 2^l cells
    std::vector<std::uint32_t> levelStart_;  // first cell of each grid in cellStart_
    std::vector<std::uint32_t> levelCount_;  // primitives in each grid
    std::vector<std::uint32_t> cellStart_;   // into ids_, one more than there are cells
    std::vector<std::uint32_t> ids_;
    std::vector<std::uint32_t> late_;
};

template <typename Visit>
void SpatialIndex::query(double x0, double y0, double x1, double y1, Visit&& visit) const
{
    for (int l = 0; l < levels_; ++l) {
        if (levelCount_[static_cast<std::size_t>(l)] == 0) continue;
        const int n = 1 << l;
        const double cell = size_ / n;
        auto clampCell = [n](double v) {
            if (!(v > 0)) return 0;
            if (v >= n - 1) return n - 1;
            return static_cast<int>(v);
        };
        int i0 = clampCell((x0 - ox_) / cell - 0.5);
        int i1 = clampCell((x1 - ox_) / cell + 0.5);
        int j0 = clampCell((y0 - oy_) / cell - 0.5);
        int j1 = clampCell((y1 - oy_) / cell + 0.5);
        const std::uint32_t base = levelStart_[static_cast<std::size_t>(l)];
        for (int j = j0; j <= j1; ++j) {
            std::uint32_t row = base + static_cast<std::uint32_t>(j) * static_cast<std::uint32_t>(n);
            std::uint32_t from = cellStart_[row + static_cast<std::uint32_t>(i0)];
            std::uint32_t to = cellStart_[row + static_cast<std::uint32_t>(i1) + 1];
            for (std::uint32_t k = from; k < to; ++k) visit(ids_[k]);
        }
    }
    for (std::uint32_t id : late_) visit(id);
}

}  // namespace ddvue::render
