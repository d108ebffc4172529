#include "ddvue/render/Scene.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace ddvue::render {

namespace {

constexpr double kTwoPi = 6.283185307179586;

float down(double v)
{
    float f = static_cast<float>(v);
    return static_cast<double>(f) > v ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
}

float up(double v)
{
    float f = static_cast<float>(v);
    return static_cast<double>(f) < v ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
}

// Coordinates beyond this are treated as broken input, not drawn.
constexpr double kFar = 1e30;

bool usable(const Bounds& b)
{
    return !b.isEmpty() && std::isfinite(b.x0) && std::isfinite(b.y0) && std::isfinite(b.x1) && std::isfinite(b.y1) &&
           std::abs(b.x0) < kFar && std::abs(b.y0) < kFar && std::abs(b.x1) < kFar && std::abs(b.y1) < kFar;
}

}  // namespace

std::uint64_t Scene::nextGeneration()
{
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

void Scene::clear()
{
    generation_ = nextGeneration();
    prims_.clear();
    points_.clear();
    arcs_.clear();
    texts_.clear();
    layers_.clear();
    lineStyles_.assign(1, LineStyle{});
    clips_.clear();
    clipping_ = false;
    lineStyleIndex_.clear();
    chains_.assign(1, Chain{0, 0, {}});
    chainIndex_.clear();
    entities_.clear();
    parts_.clear();
    part_ = UINT32_MAX;
    ++revision_;
    current_ = UINT32_MAX;
    deadCount_ = 0;
    layersDirty_ = extentsDirty_ = true;
    index_.clear();
    indexBuilt_ = false;
}

void Scene::beginEntity(std::uint32_t record)
{
    current_ = record;
    currentFirst_ = static_cast<std::uint32_t>(prims_.size());
}

void Scene::endEntity()
{
    auto end = static_cast<std::uint32_t>(prims_.size());
    if (current_ != UINT32_MAX && end > currentFirst_) entities_[current_] = Range{currentFirst_, end - currentFirst_};
    current_ = UINT32_MAX;
}

std::uint32_t Scene::push(PrimitiveType type, const Bounds& whole, std::uint32_t data, std::uint32_t count,
                          const Style& s, std::uint8_t flags)
{
    Bounds b = whole;
    if (clipping_) {
        // Only the part within the clip shows: the bounds shrink to it, and
        // what lies wholly outside is let go with its data.
        const Bounds& c = clips_.back().box;
        b.x0 = std::max(b.x0, c.x0), b.y0 = std::max(b.y0, c.y0);
        b.x1 = std::min(b.x1, c.x1), b.y1 = std::min(b.y1, c.y1);
        if (b.isEmpty()) {
            if (type == PrimitiveType::Arc) arcs_.pop_back();
            else if (type == PrimitiveType::Text) texts_.pop_back();
            else points_.resize(data);
            return UINT32_MAX;
        }
    }
    Primitive p;
    p.x0 = down(b.x0);
    p.y0 = down(b.y0);
    p.x1 = up(b.x1);
    p.y1 = up(b.y1);
    p.data = data;
    p.count = count;
    p.color = s.color;
    p.layer = s.layer;
    p.chain = s.chain;
    p.type = type;
    p.flags = flags;
    p.line = s.line;
    auto id = static_cast<std::uint32_t>(prims_.size());
    prims_.push_back(p);
    ++revision_;
    if (indexBuilt_) index_.addLate(id);
    if (!extentsDirty_) {
        extents_.add(b);
    }
    return id;
}

void Scene::addLine(QPointF a, QPointF b, const Style& s)
{
    Bounds bb;
    bb.add(a.x(), a.y());
    bb.add(b.x(), b.y());
    if (!usable(bb)) return;
    auto first = static_cast<std::uint32_t>(points_.size());
    points_.push_back(a);
    points_.push_back(b);
    push(PrimitiveType::Line, bb, first, 2, s, 0);
}

void Scene::addPolyline(const std::vector<QPointF>& pts, bool closed, const Style& s)
{
    if (pts.size() < 2) {
        if (pts.size() == 1) addDot(pts[0], s);
        return;
    }
    Bounds bb;
    for (const QPointF& p : pts) bb.add(p.x(), p.y());
    if (!usable(bb)) return;
    auto first = static_cast<std::uint32_t>(points_.size());
    points_.insert(points_.end(), pts.begin(), pts.end());
    push(PrimitiveType::Polyline, bb, first, static_cast<std::uint32_t>(pts.size()), s,
         closed ? Primitive::Closed : 0);
}

void Scene::addFill(const std::vector<std::vector<QPointF>>& rings, const Style& s, bool light, bool outlined)
{
    Bounds bb;
    std::size_t total = 0;
    for (const auto& ring : rings) {
        if (ring.size() < 3) continue;
        for (const QPointF& p : ring) bb.add(p.x(), p.y());
        total += ring.size() + 1;
    }
    if (total == 0 || !usable(bb)) return;
    auto first = static_cast<std::uint32_t>(points_.size());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& ring : rings) {
        if (ring.size() < 3) continue;
        if (points_.size() > first) points_.emplace_back(nan, nan);
        points_.insert(points_.end(), ring.begin(), ring.end());
    }
    auto count = static_cast<std::uint32_t>(points_.size() - first);
    std::uint8_t flags = (light ? Primitive::Light : 0) | (outlined ? Primitive::Outlined : 0);
    push(PrimitiveType::Fill, bb, first, count, s, flags);
}

void Scene::addPattern(const std::vector<std::vector<QPointF>>& rings, const std::vector<QPointF>& segments,
                       double spacing, const Style& s)
{
    Bounds bb;
    for (const auto& ring : rings)
        if (ring.size() >= 3)
            for (const QPointF& p : ring) bb.add(p.x(), p.y());
    if (!usable(bb) || !(spacing > 0) || !std::isfinite(spacing)) return;
    auto first = static_cast<std::uint32_t>(points_.size());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    points_.emplace_back(spacing, 0);
    for (const auto& ring : rings) {
        if (ring.size() < 3) continue;
        if (points_.size() > first + 1) points_.emplace_back(nan, nan);
        points_.insert(points_.end(), ring.begin(), ring.end());
    }
    points_[first].setY(static_cast<double>(points_.size() - first - 1));
    points_.insert(points_.end(), segments.begin(), segments.end());
    push(PrimitiveType::Pattern, bb, first, static_cast<std::uint32_t>(points_.size() - first), s, Primitive::Light);
}

void Scene::addDot(QPointF p, const Style& s)
{
    Bounds bb;
    bb.add(p.x(), p.y());
    if (!usable(bb)) return;
    auto first = static_cast<std::uint32_t>(points_.size());
    points_.push_back(p);
    push(PrimitiveType::Dot, bb, first, 1, s, 0);
}

void Scene::addArc(const QTransform& m, double t0, double t1, const Style& s)
{
    if (!(t1 > t0) || !std::isfinite(t0) || !std::isfinite(t1)) return;
    if (t1 - t0 > kTwoPi) t1 = t0 + kTwoPi;
    double shift = std::floor(t0 / kTwoPi) * kTwoPi;
    t0 -= shift;
    t1 -= shift;
    Bounds bb;
    auto at = [&](double t) {
        QPointF p = m.map(QPointF(std::cos(t), std::sin(t)));
        bb.add(p.x(), p.y());
    };
    at(t0);
    at(t1);
    // Where x and y reach their extremes on the full ellipse; those within
    // the arc's range widen the bounds.
    for (double base : {std::atan2(m.m21(), m.m11()), std::atan2(m.m22(), m.m12())}) {
        for (double t : {base, base + kTwoPi / 2}) {
            double d = std::fmod(t - t0, kTwoPi);
            if (d < 0) d += kTwoPi;
            if (t0 + d <= t1) at(t0 + d);
        }
    }
    if (!usable(bb)) return;
    auto index = static_cast<std::uint32_t>(arcs_.size());
    arcs_.push_back(ArcData{m, t0, t1});
    push(PrimitiveType::Arc, bb, index, 0, s, 0);
}

void Scene::addText(TextData text, float ascent, float descent, const Style& s)
{
    Bounds bb;
    for (QPointF c : {QPointF(0, -ascent), QPointF(text.advance, -ascent), QPointF(0, descent),
                      QPointF(text.advance, descent)}) {
        QPointF p = text.toWorld.map(c);
        bb.add(p.x(), p.y());
    }
    if (!usable(bb)) return;
    auto index = static_cast<std::uint32_t>(texts_.size());
    texts_.push_back(std::move(text));
    push(PrimitiveType::Text, bb, index, 0, s, 0);
}

void Scene::removeEntity(std::uint32_t record)
{
    auto it = entities_.find(record);
    if (it == entities_.end()) return;
    for (std::uint32_t i = it->second.first; i < it->second.first + it->second.count; ++i) {
        Primitive& p = prims_[i];
        if (p.dead()) continue;
        p.flags |= Primitive::Dead;
        ++deadCount_;
    }
    entities_.erase(it);
    extentsDirty_ = true;
    ++revision_;
}

void Scene::beginPart(std::uint32_t record)
{
    part_ = record;
    partFirst_ = static_cast<std::uint32_t>(prims_.size());
}

void Scene::endPart()
{
    auto end = static_cast<std::uint32_t>(prims_.size());
    if (part_ != UINT32_MAX) {
        // A part rebuilt with its entity replaces what it was.
        if (end > partFirst_) parts_[part_] = Range{partFirst_, end - partFirst_};
        else parts_.erase(part_);
    }
    part_ = UINT32_MAX;
}

Scene::Span Scene::entitySpan(std::uint32_t record) const
{
    auto it = entities_.find(record);
    return it == entities_.end() ? Span{} : Span{it->second.first, it->second.count};
}

Scene::Span Scene::partSpan(std::uint32_t record) const
{
    auto it = parts_.find(record);
    return it == parts_.end() ? Span{} : Span{it->second.first, it->second.count};
}

Bounds Scene::spanBounds(Span span) const
{
    Bounds b;
    const std::size_t end = std::min<std::size_t>(prims_.size(), std::size_t(span.first) + span.count);
    for (std::size_t i = span.first; i < end; ++i) {
        const Primitive& p = prims_[i];
        if (p.dead()) continue;
        b.add(p.x0, p.y0);
        b.add(p.x1, p.y1);
    }
    return b;
}

std::uint32_t Scene::addLayer(SceneLayer layer)
{
    layers_.push_back(std::move(layer));
    layersDirty_ = true;
    ++revision_;
    return static_cast<std::uint32_t>(layers_.size() - 1);
}

void Scene::setLayer(std::uint32_t index, const SceneLayer& layer)
{
    if (index >= layers_.size()) return;
    layers_[index] = layer;
    layersDirty_ = true;
    ++revision_;
}

void Scene::beginClip(const Bounds& box)
{
    endClip();
    Clip c;
    c.first = c.end = static_cast<std::uint32_t>(prims_.size());
    c.box = box;
    clips_.push_back(c);
    clipping_ = true;
}

void Scene::endClip()
{
    if (!clipping_) return;
    clipping_ = false;
    clips_.back().end = static_cast<std::uint32_t>(prims_.size());
    if (clips_.back().end == clips_.back().first) clips_.pop_back();
}

std::uint16_t Scene::addLineStyle(const LineStyle& style)
{
    if (style.pattern.empty() && style.weight == 0) return 0;
    std::string key(reinterpret_cast<const char*>(style.pattern.data()), style.pattern.size() * sizeof(float));
    key.append(reinterpret_cast<const char*>(&style.weight), sizeof style.weight);
    auto it = lineStyleIndex_.find(key);
    if (it != lineStyleIndex_.end()) return it->second;
    if (lineStyles_.size() > UINT16_MAX) return 0;
    auto id = static_cast<std::uint16_t>(lineStyles_.size());
    lineStyles_.push_back(style);
    lineStyleIndex_.emplace(std::move(key), id);
    return id;
}

std::uint32_t Scene::chainWith(std::uint32_t parentChain, std::uint32_t layer)
{
    std::uint64_t key = (std::uint64_t(parentChain) << 32) | layer;
    auto it = chainIndex_.find(key);
    if (it != chainIndex_.end()) return it->second;
    Chain c{parentChain, layer, chains_[parentChain].layers};
    c.layers.push_back(layer);
    chains_.push_back(std::move(c));
    auto id = static_cast<std::uint32_t>(chains_.size() - 1);
    chainIndex_.emplace(key, id);
    layersDirty_ = true;
    return id;
}

const std::vector<char>& Scene::visibleLayers() const
{
    hiddenChains();
    return visible_;
}

const std::vector<char>& Scene::hiddenChains() const
{
    if (layersDirty_) {
        visible_.resize(layers_.size());
        for (std::size_t i = 0; i < layers_.size(); ++i) visible_[i] = layers_[i].on && !layers_[i].frozen;
        hidden_.resize(chains_.size());
        for (std::size_t c = 0; c < chains_.size(); ++c) {
            bool hidden = false;
            for (std::uint32_t l : chains_[c].layers) hidden = hidden || (l < layers_.size() && layers_[l].frozen);
            hidden_[c] = hidden;
        }
        layersDirty_ = false;
    }
    return hidden_;
}

Bounds Scene::extents() const
{
    if (extentsDirty_) {
        extents_ = Bounds();
        for (const Primitive& p : prims_) {
            if (p.dead()) continue;
            extents_.add(p.x0, p.y0);
            extents_.add(p.x1, p.y1);
        }
        extentsDirty_ = false;
    }
    return extents_;
}

const SpatialIndex& Scene::index() const
{
    if (!indexBuilt_ || index_.lateCount() > 1024 + index_.indexedCount() / 8) {
        index_.build(prims_);
        indexBuilt_ = true;
    }
    return index_;
}

}  // namespace ddvue::render
