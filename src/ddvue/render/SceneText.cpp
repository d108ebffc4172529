// SceneBuilder: single-line texts, attributes and multi-line texts.
#include "ddvue/render/SceneBuilderParts.h"

#include <algorithm>
#include <cmath>

namespace ddvue::render {

void SceneBuilder::emitText(const Context& ctx, const TextBlock& block, const QTransform& frame)
{
    const Scene::Style base = style_;
    // A color of part of the text: its own, or by layer or by block.
    auto colorOf = [&](std::uint32_t c) {
        if (c == 0) return base.color;
        if (c == TextFormat::kByLayer) return color::ofLayer(base.layer);
        if (c == TextFormat::kByBlock) return ctx.color;
        return c;
    };
    for (const PlacedRun& run : block.runs) {
        if (run.text.trimmed().isEmpty()) continue;
        std::shared_ptr<const ShapedText> shaped = measure_->shape(run.text, run.format);
        double advance = shaped->advance;
        if (!(advance > 0) || shaped->runs.empty()) continue;
        double s = measure_->unitScale(run.format);
        double slant = std::tan(std::clamp(run.format.oblique, -85.0, 85.0) * kDeg);
        QTransform toRun(s * run.format.widthFactor, 0, -s * slant, -s, run.x, run.y);
        TextData t{toRun * frame, std::move(shaped), static_cast<float>(advance),
                   static_cast<float>(measure_->capHeight())};
        Scene::Style st = base;
        st.color = colorOf(run.format.color);
        scene_.addText(std::move(t), static_cast<float>(measure_->ascent()), static_cast<float>(measure_->descent()),
                       st);
    }
    for (std::size_t i = 0; i < block.rules.size(); ++i) {
        Scene::Style st = base;
        st.color = colorOf(block.ruleColors[i]);
        scene_.addLine(frame.map(block.rules[i].p1()), frame.map(block.rules[i].p2()), st);
    }
}

template <class T>
void SceneBuilder::text(const Context& ctx, const View<T>& v, const QString& value)
{
    // ATTRIB and ATTDEF: an attribute, visible or not, and perhaps a
    // multi-line one, which carries its layout in an embedded text object.
    constexpr bool attribute = !std::is_same_v<T, def::Text>;
    if constexpr (attribute) {
        if (v.flag(T::flags, T::kInvisible)) return;
        if (auto embedded = v.embedded()) return mtext(ctx, *embedded, value);
    }
    double height = v.get(T::height);
    if (!(height > 0) || !std::isfinite(height)) return;
    TextFormat fmt;
    fmt.height = height;
    double wf = v.get(T::widthFactor);
    fmt.widthFactor = (wf > 0 && std::isfinite(wf)) ? wf : 1;
    fmt.oblique = v.get(T::oblique);
    if (fmt.oblique > 180) fmt.oblique -= 360;
    std::vector<TextPiece> pieces = parseText(value, fmt);
    TextBlock block = layoutLine(pieces, *measure_);
    const double w = block.width;

    // The vertical alignment is where the type keeps it: a TEXT in its
    // second text part, an attribute in its attribute part.
    int h = static_cast<int>(v.get(T::halign));
    int vj = static_cast<int>(v.get(T::valign));
    int gen = static_cast<int>(v.get(T::generation));
    Vec3 p1 = vec(v.get(T::insert));
    bool hasSecond = v.has(T::alignPoint);
    QPointF first(p1.x, p1.y), second = hasSecond ? pointOf(v, T::alignPoint) : first;
    double rot = v.get(T::rotation) * kDeg;

    // The text's frame: local x along the baseline, y up, before the
    // alignment moves it.
    QTransform local;
    QPointF anchor = first;
    double sx = 1, sy = 1;
    if ((h == T::kAligned || h == T::kFit) && hasSecond && w > 0 && second != first) {
        // Aligned (scaled) or fitted (stretched) between the two points.
        QPointF d = second - first;
        rot = std::atan2(d.y(), d.x());
        double factor = std::hypot(d.x(), d.y()) / w;
        sx = factor;
        if (h == T::kAligned) sy = factor;
    } else {
        if (h != 0 || vj != 0) anchor = second;
        double dx = 0, dy = 0;
        double hh = height * sy;
        if (h == T::kCenter || h == T::kMiddle) dx = -w / 2;
        else if (h == T::kRight) dx = -w;
        if (h == T::kMiddle && vj == 0) dy = -hh / 2;
        else if (vj == T::kBottom) dy = measure_->descent() * measure_->unitScale(fmt);
        else if (vj == T::kVMiddle) dy = -hh / 2;
        else if (vj == T::kTop) dy = -hh;
        local = QTransform::fromTranslate(dx, dy);
    }
    local *= QTransform::fromScale(sx, sy);
    // Backward and upside-down text mirror about the alignment point.
    local *= QTransform::fromScale((gen & T::kBackward) ? -1 : 1, (gen & T::kUpsideDown) ? -1 : 1);
    QTransform frame = local * QTransform().rotateRadians(rot) * QTransform::fromTranslate(anchor.x(), anchor.y()) *
                       ocsToWorld(extrusionOf(v), p1.z) * ctx.m;
    emitText(ctx, block, frame);
}

template void SceneBuilder::text(const Context&, const View<def::Text>&, const QString&);
template void SceneBuilder::text(const Context&, const View<def::Attrib>&, const QString&);
template void SceneBuilder::text(const Context&, const View<def::Attdef>&, const QString&);

void SceneBuilder::mtext(const Context& ctx, const View<def::MText>& v, const QString& value)
{
    // `v` is an MTEXT record, or the embedded MTEXT object of a multi-line attribute.
    double height = v.get(def::MText::height);
    if (!(height > 0) || !std::isfinite(height)) return;
    TextFormat fmt;
    fmt.height = height;
    MTextFrame frame;
    frame.width = std::max(0.0, v.get(def::MText::width));
    if (!std::isfinite(frame.width)) frame.width = 0;
    int attach = static_cast<int>(v.get(def::MText::attachment));
    frame.attachment = (attach >= 1 && attach <= 9) ? attach : 1;
    double spacing = v.get(def::MText::lineSpacing);
    frame.lineSpacing = (spacing > 0.05 && spacing < 20) ? spacing : 1;

    Vec3 ins = vec(v.get(def::MText::insert));
    Vec3 n = normalized(extrusionOf(v));
    Vec3 xdir;
    if (v.has(def::MText::direction)) {
        xdir = normalized(vec(v.get(def::MText::direction)));
    } else {
        // Without a direction the rotation turns the world x axis when the
        // text lies flat (a text seen from below, extrusion -z, then reads
        // mirrored top to bottom), else the x axis of its own plane.
        double a = v.get(def::MText::rotation) * kDeg;
        if (std::abs(n.x) < 1e-9 && std::abs(n.y) < 1e-9) {
            xdir = {std::cos(a), std::sin(a), 0};
        } else {
            Ocs o = ocsOf(n);
            xdir = {o.ax.x * std::cos(a) + o.ay.x * std::sin(a), o.ax.y * std::cos(a) + o.ay.y * std::sin(a),
                    o.ax.z * std::cos(a) + o.ay.z * std::sin(a)};
        }
    }
    placeMText(ctx, value, fmt, frame, ins, xdir, n);
}

void SceneBuilder::placeMText(const Context& ctx, const QString& value, const TextFormat& fmt, const MTextFrame& frame,
                              Vec3 ins, Vec3 xdir, Vec3 n)
{
    std::vector<TextParagraph> paragraphs = parseMText(value, fmt);
    TextBlock block = layoutMText(paragraphs, frame, *measure_);
    Vec3 ydir = normalized(cross(n, xdir));
    QTransform place = frameOf(QPointF(ins.x, ins.y), QPointF(xdir.x, xdir.y), QPointF(ydir.x, ydir.y)) * ctx.m;
    emitText(ctx, block, place);
}

void SceneBuilder::multileader(const Context& ctx, const View<def::MLeader>& v)
{
    // What a multileader shows is in its context data: its text, and its
    // leaders, each a landing point, a dogleg and lines of vertices.
    using L = def::MLeader;
    struct Line {
        std::vector<QPointF> points;
    };
    struct Leader {
        QPointF landing;
        bool hasLanding = false;
        QPointF dogleg;
        double doglegLength = 0;
        std::vector<Line> lines;
    };
    std::vector<Leader> leaders;
    QString content;
    Vec3 ins{0, 0, 0}, xdir{1, 0, 0};
    double height = 0, width = 0;
    int alignment = 1;
    bool inContext = false, inLeader = false, inLine = false, dogleg = true;
    auto point = [&](std::uint32_t i, const dxf::Point2Attr<dxf::sub::AcDbMLeader>& a) {
        // A point's y follows its x.
        double y = i + 1 < v.size() && v.code(i + 1) == a.y() ? v.real(i + 1) : 0;
        return QPointF(v.real(i), y);
    };
    v.forEachOf<dxf::sub::AcDbMLeader>([&](std::uint32_t i, int c) {
        if (c == L::contextOpen.code) inContext = v.str(i) == L::kContext;
        else if (c == L::contextClose.code) inContext = inLeader = inLine = false;
        else if (!inContext) {
            if (c == L::hasDogleg.code) dogleg = v.integer(i) != 0;
        } else if (c == L::leaderOpen.code && v.str(i) == L::kLeader) {
            inLeader = true;
            leaders.emplace_back();
        } else if (c == L::leaderClose.code) {
            inLeader = inLine = false;
        } else if (inLeader && c == L::lineOpen.code && v.str(i) == L::kLine) {
            inLine = true;
            leaders.back().lines.emplace_back();
        } else if (c == L::lineClose.code) {
            inLine = false;
        } else if (inLine) {
            if (c == L::lineVertex.code) leaders.back().lines.back().points.push_back(point(i, L::lineVertex));
        } else if (inLeader) {
            Leader& l = leaders.back();
            if (c == L::landing.code) l.landing = point(i, L::landing), l.hasLanding = true;
            else if (c == L::doglegDirection.code) l.dogleg = point(i, L::doglegDirection);
            else if (c == L::doglegLength.code) l.doglegLength = v.real(i);
        } else if (c == L::textContent.code) {
            content = QString::fromStdString(v.text(i));
        } else if (c == L::textLocation.code) {
            QPointF p = point(i, L::textLocation);
            ins = {p.x(), p.y(), 0};
        } else if (c == L::textDirection.code) {
            QPointF p = point(i, L::textDirection);
            if (p.x() != 0 || p.y() != 0) xdir = normalized(Vec3{p.x(), p.y(), 0});
        } else if (c == L::textHeight.code) {
            height = v.real(i);
        } else if (c == L::textWidth.code) {
            width = v.real(i);
        } else if (c == L::textAlignment.code) {
            alignment = static_cast<int>(v.integer(i));
        }
    });

    for (const Leader& l : leaders) {
        QPointF tail;
        double len = std::hypot(l.dogleg.x(), l.dogleg.y());
        bool withDogleg = dogleg && l.hasLanding && len > 0 && l.doglegLength > 0 && std::isfinite(l.doglegLength);
        if (withDogleg) tail = l.landing + l.dogleg * (l.doglegLength / len);
        for (const Line& line : l.lines) {
            std::vector<QPointF> pts = line.points;
            if (l.hasLanding) pts.push_back(l.landing);
            if (withDogleg) pts.push_back(tail);
            if (pts.size() >= 2) scene_.addPolyline(mapped(pts, ctx.m), false, style_);
        }
    }
    if (content.isEmpty() || !(height > 0) || !std::isfinite(height)) return;
    TextFormat fmt;
    fmt.height = height;
    MTextFrame frame;
    frame.width = std::isfinite(width) ? std::max(0.0, width) : 0;
    // Left, centred or right: attached at the top left, top centre or top right.
    frame.attachment = (alignment >= 1 && alignment <= 3) ? alignment : 1;
    placeMText(ctx, content, fmt, frame, ins, xdir, Vec3{0, 0, 1});
}

}  // namespace ddvue::render
