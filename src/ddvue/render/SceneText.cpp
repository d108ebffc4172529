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

void SceneBuilder::text(const Context& ctx, std::uint32_t, const dxf::EntityView& v, const QString& value,
                        bool attribute)
{
    if (attribute && v.flag(def::Attrib::flags, def::Attrib::kInvisible)) return;
    // A multi-line attribute carries its layout in an embedded text object.
    if (attribute) {
        if (auto embedded = v.embedded()) return mtext(ctx, *embedded, value);
    }
    double height = v.get(def::Text::height);
    if (!(height > 0) || !std::isfinite(height)) return;
    TextFormat fmt;
    fmt.height = height;
    double wf = v.get(def::Text::widthFactor);
    fmt.widthFactor = (wf > 0 && std::isfinite(wf)) ? wf : 1;
    fmt.oblique = v.get(def::Text::oblique);
    if (fmt.oblique > 180) fmt.oblique -= 360;
    std::vector<TextPiece> pieces = parseText(value, fmt);
    TextBlock block = layoutLine(pieces, *measure_);
    const double w = block.width;

    int h = static_cast<int>(v.get(def::Text::halign));
    int vj = static_cast<int>(v.get(attribute ? def::Attrib::valign : def::Text::valign));
    int gen = static_cast<int>(v.get(def::Text::generation));
    Vec3 p1 = vec(v.get(def::Text::insert));
    bool hasSecond = v.has(def::Text::alignPoint);
    QPointF first(p1.x, p1.y), second = hasSecond ? pointOf(v, def::Text::alignPoint) : first;
    double rot = v.get(def::Text::rotation) * kDeg;

    // The text's frame: local x along the baseline, y up, before the
    // alignment moves it.
    QTransform local;
    QPointF anchor = first;
    double sx = 1, sy = 1;
    if ((h == def::Text::kAligned || h == def::Text::kFit) && hasSecond && w > 0 && second != first) {
        // Aligned (scaled) or fitted (stretched) between the two points.
        QPointF d = second - first;
        rot = std::atan2(d.y(), d.x());
        double factor = std::hypot(d.x(), d.y()) / w;
        sx = factor;
        if (h == def::Text::kAligned) sy = factor;
    } else {
        if (h != 0 || vj != 0) anchor = second;
        double dx = 0, dy = 0;
        double hh = height * sy;
        if (h == 1 || h == def::Text::kMiddle) dx = -w / 2;
        else if (h == 2) dx = -w;
        if (h == def::Text::kMiddle && vj == 0) dy = -hh / 2;
        else if (vj == 1) dy = measure_->descent() * measure_->unitScale(fmt);
        else if (vj == 2) dy = -hh / 2;
        else if (vj == 3) dy = -hh;
        local = QTransform::fromTranslate(dx, dy);
    }
    local *= QTransform::fromScale(sx, sy);
    // Backward and upside-down text mirror about the alignment point.
    local *= QTransform::fromScale((gen & def::Text::kBackward) ? -1 : 1, (gen & def::Text::kUpsideDown) ? -1 : 1);
    QTransform frame = local * QTransform().rotateRadians(rot) * QTransform::fromTranslate(anchor.x(), anchor.y()) *
                       ocsToWorld(extrusionOf(v), p1.z) * ctx.m;
    emitText(ctx, block, frame);
}

void SceneBuilder::mtext(const Context& ctx, const dxf::EntityView& v, const QString& value)
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

void SceneBuilder::multileader(const Context& ctx, const dxf::EntityView& v)
{
    // A multileader keeps what it shows in its context data ("CONTEXT_DATA{"
    // to "}"): its text (304, at 12, along 13, 41 high, 43 wide, aligned by
    // 171) and its leaders ("LEADER{" to "}"), each a landing point (10), a
    // dogleg (11 direction, 40 length) and lines ("LEADER_LINE{" to "}") of
    // vertices (10). Outside the context the same codes mean other things.
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
    auto point = [&](std::uint32_t i) {
        // A point's y follows its x as the group coded 10 more.
        double y = i + 1 < v.size() && v.code(i + 1) == v.code(i) + 10 ? v.real(i + 1) : 0;
        return QPointF(v.real(i), y);
    };
    v.forEach([&](std::uint32_t i, int c) {
        if (c == 300) inContext = v.str(i) == "CONTEXT_DATA{";
        else if (c == 301) inContext = inLeader = inLine = false;
        else if (!inContext) {
            if (c == 291) dogleg = v.integer(i) != 0;
        } else if (c == 302 && v.str(i) == "LEADER{") {
            inLeader = true;
            leaders.emplace_back();
        } else if (c == 303) {
            inLeader = inLine = false;
        } else if (inLeader && c == 304 && v.str(i) == "LEADER_LINE{") {
            inLine = true;
            leaders.back().lines.emplace_back();
        } else if (c == 305) {
            inLine = false;
        } else if (inLine) {
            if (c == 10) leaders.back().lines.back().points.push_back(point(i));
        } else if (inLeader) {
            Leader& l = leaders.back();
            if (c == 10) l.landing = point(i), l.hasLanding = true;
            else if (c == 11) l.dogleg = point(i);
            else if (c == 40) l.doglegLength = v.real(i);
        } else if (c == 304) {
            content = QString::fromStdString(v.text(i));
        } else if (c == 12) {
            QPointF p = point(i);
            ins = {p.x(), p.y(), 0};
        } else if (c == 13) {
            QPointF p = point(i);
            if (p.x() != 0 || p.y() != 0) xdir = normalized(Vec3{p.x(), p.y(), 0});
        } else if (c == 41) {
            height = v.real(i);
        } else if (c == 43) {
            width = v.real(i);
        } else if (c == 171) {
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
