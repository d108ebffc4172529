#pragma once
// Which part of the drawing a view shows: the drawing point at the middle of
// the view and the scale in pixels per drawing unit. Screen y runs down,
// drawing y up. A pixel (x, y) stands for its middle, (x + 0.5, y + 0.5).

#include "ddvue/render/Primitive.h"

#include <QPointF>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace ddvue::render {

class ViewTransform {
public:
    void setViewport(int width, int height)
    {
        width_ = width > 0 ? width : 0;
        height_ = height > 0 ? height : 0;
    }
    int width() const { return width_; }
    int height() const { return height_; }
    double scale() const { return scale_; }
    QPointF center() const { return {cx_, cy_}; }
    void setCenter(QPointF c) { cx_ = c.x(), cy_ = c.y(); }
    void setScale(double s)
    {
        if (s > 0 && std::isfinite(s)) scale_ = s;
    }

    // Shows the whole of `b` with a margin around it; an empty box keeps
    // the drawing origin in the middle.
    void zoomToExtents(const Bounds& b, double margin = 0.03)
    {
        if (b.isEmpty()) {
            cx_ = cy_ = 0;
            scale_ = 1;
            return;
        }
        cx_ = (b.x0 + b.x1) / 2;
        cy_ = (b.y0 + b.y1) / 2;
        double w = std::max(width_, 1) * (1 - 2 * margin);
        double h = std::max(height_, 1) * (1 - 2 * margin);
        double bw = b.width(), bh = b.height();
        double s = 0;
        if (bw > 0) s = w / bw;
        if (bh > 0) s = s > 0 ? std::min(s, h / bh) : h / bh;
        if (!(s > 0) || !std::isfinite(s)) {
            // A single point, or a box too thin to measure: one unit per pixel,
            // or as much as keeps the numbers sane.
            double size = std::max({std::abs(cx_), std::abs(cy_), 1.0});
            s = std::min(1.0, 1e6 / size);
        }
        scale_ = s;
    }

    // Zooms by `factor` keeping the drawing point under `screen` in place.
    void zoomAt(QPointF screen, double factor)
    {
        if (!(factor > 0) || !std::isfinite(factor)) return;
        QPointF fixed = toWorld(screen);
        scale_ *= factor;
        QPointF moved = toWorld(screen);
        cx_ += fixed.x() - moved.x();
        cy_ += fixed.y() - moved.y();
    }

    // Moves the view with the pointer: the picture follows by (dx, dy) pixels.
    void panBy(double dx, double dy)
    {
        cx_ -= dx / scale_;
        cy_ += dy / scale_;
    }

    QPointF toScreen(QPointF world) const
    {
        return {(world.x() - cx_) * scale_ + width_ / 2.0, height_ / 2.0 - (world.y() - cy_) * scale_};
    }
    QPointF toWorld(QPointF screen) const
    {
        return {cx_ + (screen.x() - width_ / 2.0) / scale_, cy_ - (screen.y() - height_ / 2.0) / scale_};
    }
    // The drawing point that pixel (x, y) shows.
    QPointF pixelToWorld(double x, double y) const { return toWorld(QPointF(x + 0.5, y + 0.5)); }

    QTransform worldToScreen() const
    {
        return QTransform(scale_, 0, 0, -scale_, width_ / 2.0 - cx_ * scale_, height_ / 2.0 + cy_ * scale_);
    }

    // The drawing area the view shows, widened by `pixels` on every side.
    Bounds visibleWorld(double pixels = 0) const
    {
        Bounds b;
        QPointF a = toWorld(QPointF(-pixels, -pixels));
        QPointF c = toWorld(QPointF(width_ + pixels, height_ + pixels));
        b.add(a.x(), a.y());
        b.add(c.x(), c.y());
        return b;
    }

private:
    int width_ = 0, height_ = 0;
    double cx_ = 0, cy_ = 0;
    double scale_ = 1;
};

}  // namespace ddvue::render
