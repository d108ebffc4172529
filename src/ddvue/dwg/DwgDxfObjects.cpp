// The DWG reader's DXF writer: hatches, leaders, images, viewports, and the
// OBJECTS section with its dictionaries and layouts.
#include "ddvue/dwg/DwgDxfBuilder.h"

namespace ddvue::dwg::detail {

void Builder::hatch(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    common("HATCH", info.handle, owner, e, paper);
    o.raw(dxf::code::kSubclass, "AcDbHatch");
    o.point(10, Point{0, 0, real(e, "elevation")});
    o.point(210, isUnitZ(ext) ? Point{0, 0, 1} : ext);
    bool solid = intOf(e, "solidFill") == 1;
    QString pattern = str(e, "patternName");
    if (pattern.isEmpty()) pattern = solid ? QStringLiteral("SOLID") : QStringLiteral("ANSI31");
    o.text(2, pattern);
    o.integer(70, solid ? 1 : 0);
    o.integer(71, 0);  // the boundary objects do not come along
    JsonArray paths = arr(e, "boundaryPaths");
    o.integer(91, paths.size());
    for (const JsonValue& pv : paths) {
        JsonObject p = pv.toObject();
        long long flag = intOf(p, "boundaryPathTypeFlag", 1);
        o.integer(92, flag & ~(4 | 8 | 0x100));
        if (flag & 2) {
            JsonArray vs = arr(p, "vertices");
            bool bulges = false;
            for (const JsonValue& v : vs) bulges = bulges || real(v.toObject(), "bulge") != 0;
            o.integer(72, bulges ? 1 : 0);
            o.integer(73, p.value(QLatin1String("isClosed")).toBool(true) ? 1 : 0);
            o.integer(93, vs.size());
            for (const JsonValue& v : vs) {
                o.point(10, point(v), false);
                if (bulges) o.real(42, real(v.toObject(), "bulge"));
            }
        } else {
            JsonArray edges = arr(p, "edges");
            o.integer(93, edges.size());
            for (const JsonValue& ev : edges) edge(ev.toObject());
        }
        o.integer(97, 0);
    }
    o.integer(75, std::clamp<long long>(intOf(e, "hatchStyle"), 0, 2));
    o.integer(76, std::clamp<long long>(intOf(e, "patternType", 1), 0, 2));
    if (!solid) {
        o.real(52, real(e, "patternAngle") * kDegrees);
        double scale = real(e, "patternScale", 1);
        o.real(41, scale > 0 ? scale : 1);
        o.integer(77, 0);
        JsonArray lines = arr(e, "definitionLines");
        o.integer(78, lines.size());
        for (const JsonValue& lv : lines) {
            JsonObject l = lv.toObject();
            o.real(53, real(l, "angle") * kDegrees);
            Point base = pointOf(l, "base"), offset = pointOf(l, "offset");
            o.real(43, base.x);
            o.real(44, base.y);
            o.real(45, offset.x);
            o.real(46, offset.y);
            JsonArray dashes = arr(l, "dashLengths");
            o.integer(79, dashes.size());
            for (const JsonValue& dv : dashes) o.real(49, num(dv));
        }
    }
    JsonArray seeds = arr(e, "seedPoints");
    o.integer(98, seeds.size());
    for (const JsonValue& s : seeds) o.point(10, point(s), false);
}

void Builder::edge(const JsonObject& edge)
{
    Writer& o = w();
    long long type = intOf(edge, "type", 1);
    o.integer(72, type);
    switch (type) {
    case 1:
        o.point(10, pointOf(edge, "start"), false);
        o.point(11, pointOf(edge, "end"), false);
        break;
    case 2:
        o.point(10, pointOf(edge, "center"), false);
        o.real(40, real(edge, "radius"));
        o.real(50, real(edge, "startAngle") * kDegrees);
        o.real(51, real(edge, "endAngle") * kDegrees);
        o.integer(73, edge.value(QLatin1String("isCCW")).truthy() ? 1 : 0);
        break;
    case 3:
        o.point(10, pointOf(edge, "center"), false);
        o.point(11, pointOf(edge, "end"), false);
        o.real(40, real(edge, "lengthOfMinorAxis", 1));
        o.real(50, real(edge, "startAngle") * kDegrees);
        o.real(51, real(edge, "endAngle") * kDegrees);
        o.integer(73, edge.value(QLatin1String("isCCW")).truthy() ? 1 : 0);
        break;
    default: {
        JsonArray knots = arr(edge, "knots"), control = arr(edge, "controlPoints"), fit = arr(edge, "fitDatum");
        bool rational = edge.value(QLatin1String("isRational")).truthy();
        o.integer(94, intOf(edge, "degree", 3));
        o.integer(73, rational ? 1 : 0);
        o.integer(74, edge.value(QLatin1String("isPeriodic")).truthy() ? 1 : 0);
        o.integer(95, knots.size());
        o.integer(96, control.size());
        for (const JsonValue& k : knots) o.real(40, num(k));
        for (const JsonValue& p : control) {
            o.point(10, point(p), false);
            if (rational) o.real(42, num(p.toObject().value(QLatin1String("w")), 1));
        }
        o.integer(97, fit.size());
        for (const JsonValue& p : fit) o.point(11, point(p), false);
        if (!fit.isEmpty()) {
            o.point(12, pointOf(edge, "startTangent"), false);
            o.point(13, pointOf(edge, "endTangent"), false);
        }
        break;
    }
    }
}

void Builder::leader(const EntityInfo& info, std::uint64_t owner, bool paper)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    JsonArray vertices = arr(e, "vertices");
    if (vertices.size() < 2) {
        ++skipped_;
        return;
    }
    common("LEADER", info.handle, owner, e, paper);
    o.raw(dxf::code::kSubclass, "AcDbLeader");
    QString style = str(e, "styleName");
    o.text(3, dimstyleNames_.count(upperKey(style)) ? style : QStringLiteral("Standard"));
    o.integer(71, e.value(QLatin1String("isArrowheadEnabled")).toBool(true) ? 1 : 0);
    o.integer(72, e.value(QLatin1String("isSpline")).toBool() ? 1 : 0);
    o.integer(73, 3);  // the annotation does not come along
    o.integer(74, e.value(QLatin1String("isHooklineSameDirection")).toBool() ? 1 : 0);
    o.integer(75, e.value(QLatin1String("isHooklineExists")).toBool() ? 1 : 0);
    o.real(40, real(e, "textHeight"));
    o.real(41, real(e, "textWidth"));
    o.integer(76, vertices.size());
    for (const JsonValue& v : vertices) o.point(10, point(v));
    Point normal = pointOf(e, "normal");
    o.point(210, isUnitZ(normal) ? Point{0, 0, 1} : normal);
    Point horizontal = pointOf(e, "horizontalDirection");
    if (horizontal.x == 0 && horizontal.y == 0 && horizontal.z == 0) horizontal.x = 1;
    o.point(211, horizontal);
    o.point(212, pointOf(e, "offsetFromBlock"));
    o.point(213, pointOf(e, "offsetFromAnnotation"));
}

void Builder::image(const EntityInfo& info, std::uint64_t owner, bool paper, bool wipeout)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    std::uint64_t def = 0;
    if (!wipeout) {
        std::uint64_t h = handleOf(e.value(QLatin1String("imageDefHandle")));
        for (auto& [handle, json] : imageDefs_)
            if (handle == h) def = h;
        if (!def) {
            ++skipped_;  // an image without its definition cannot be shown
            return;
        }
    }
    common(wipeout ? "WIPEOUT" : "IMAGE", info.handle, owner, e, paper);
    o.raw(dxf::code::kSubclass, wipeout ? "AcDbWipeout" : "AcDbRasterImage");
    o.integer(90, 0);
    o.point(10, pointOf(e, "position"));
    o.point(11, pointOf(e, "uPixel"));
    o.point(12, pointOf(e, "vPixel"));
    o.point(13, pointOf(e, "imageSize"), false);
    if (def) o.handle(340, def);
    o.integer(70, intOf(e, "flags", 7));
    o.integer(280, intOf(e, "clipping"));
    o.integer(281, intOf(e, "brightness", 50));
    o.integer(282, intOf(e, "contrast", 50));
    o.integer(283, intOf(e, "fade"));
    JsonArray clip = arr(e, "clippingBoundaryPath");
    long long clipType = intOf(e, "clippingBoundaryType", 1);
    std::vector<Point> corners;
    for (const JsonValue& v : clip) corners.push_back(point(v));
    if (corners.size() < 2) {
        Point size = pointOf(e, "imageSize");
        corners = {Point{-0.5, -0.5, 0}, Point{size.x - 0.5, size.y - 0.5, 0}};
        clipType = 1;
    }
    // A polygon boundary is written closed: its first corner again at the end.
    if (clipType == 2 && (corners.front().x != corners.back().x || corners.front().y != corners.back().y))
        corners.push_back(corners.front());
    o.integer(71, clipType == 2 ? 2 : 1);
    o.integer(91, static_cast<long long>(corners.size()));
    for (const Point& p : corners) o.point(14, p, false);
}

void Builder::viewport(const EntityInfo& info, std::uint64_t owner, bool paper)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    common("VIEWPORT", info.handle, owner, e, paper);
    o.raw(dxf::code::kSubclass, "AcDbViewport");
    o.point(10, pointOf(e, "viewportCenter"));
    o.real(40, real(e, "width"));
    o.real(41, real(e, "height"));
    o.integer(68, intOf(e, "status", 1));
    o.integer(69, intOf(e, "viewportId", 1));
    o.point(12, pointOf(e, "displayCenter"), false);
    o.point(13, pointOf(e, "snapBase"), false);
    o.point(14, e.contains(QLatin1String("snapSpacing")) ? pointOf(e, "snapSpacing") : Point{0.5, 0.5, 0}, false);
    o.point(15, e.contains(QLatin1String("gridSpacing")) ? pointOf(e, "gridSpacing") : Point{0.5, 0.5, 0}, false);
    Point dir = pointOf(e, "viewDirection");
    if (dir.x == 0 && dir.y == 0 && dir.z == 0) dir.z = 1;
    o.point(16, dir);
    o.point(17, pointOf(e, "targetPoint"));
    o.real(42, real(e, "perspectiveLensLength", 50));
    o.real(43, real(e, "frontClipZ"));
    o.real(44, real(e, "backClipZ"));
    double viewHeight = real(e, "viewHeight", real(e, "height", 1));
    o.real(45, viewHeight > 0 ? viewHeight : 1);
    o.real(50, real(e, "snapAngle") * kDegrees);
    o.real(51, real(e, "viewTwistAngle") * kDegrees);
    o.integer(72, intOf(e, "circleZoomPercent", 1000));
    o.integer(90, intOf(e, "statusBitFlags") & 0x7FFFFFFF);
    o.raw(1, "");
    o.integer(281, intOf(e, "renderMode"));
    o.integer(71, intOf(e, "ucsPerViewport"));
    o.integer(74, 0);
    o.point(110, pointOf(e, "ucsOrigin"));
    o.point(111, e.contains(QLatin1String("ucsXAxis")) ? pointOf(e, "ucsXAxis") : Point{1, 0, 0});
    o.point(112, e.contains(QLatin1String("ucsYAxis")) ? pointOf(e, "ucsYAxis") : Point{0, 1, 0});
    o.integer(79, intOf(e, "orthographicType"));
    o.real(146, real(e, "elevation"));
}

void Builder::dictionary(std::uint64_t handle, std::uint64_t owner, const std::vector<std::pair<QString, std::uint64_t>>& items)
{
    Writer& o = w();
    o.raw(dxf::code::kType, "DICTIONARY");
    o.handle(dxf::code::kHandle, handle);
    if (owner) {
        o.reactors(owner);
    }
    o.handle(dxf::code::kOwner, owner);
    o.raw(dxf::code::kSubclass, "AcDbDictionary");
    o.integer(281, 1);
    for (const auto& [name, h] : items) {
        o.text(3, name);
        o.handle(350, h);
    }
}

void Builder::objects()
{
    Writer& o = w();
    o.raw(dxf::code::kType, "SECTION");
    o.raw(dxf::code::kName, "OBJECTS");
    std::vector<std::pair<QString, std::uint64_t>> rootItems = {{QStringLiteral("ACAD_GROUP"), groups_}};
    if (imageDict_) rootItems.emplace_back(QStringLiteral("ACAD_IMAGE_DICT"), imageDict_);
    rootItems.emplace_back(QStringLiteral("ACAD_LAYOUT"), layoutDict_);
    dictionary(root_, 0, rootItems);
    dictionary(groups_, root_, {});
    std::vector<std::pair<QString, std::uint64_t>> layoutItems;
    std::set<QString> layoutNames;
    for (LayoutInfo& l : layouts_) {
        // Layout names are unique; a clash gets a number.
        QString name = l.name.isEmpty() ? QStringLiteral("Layout") : l.name;
        for (int k = 2; layoutNames.count(upperKey(name)); ++k) name = l.name + QString::number(k);
        layoutNames.insert(upperKey(name));
        l.name = name;
        layoutItems.emplace_back(name, l.handle);
    }
    dictionary(layoutDict_, root_, layoutItems);
    int tab = 0;
    for (const LayoutInfo& l : layouts_) layout(l, tab++);
    if (imageDict_) {
        std::vector<std::pair<QString, std::uint64_t>> items;
        std::set<QString> names;
        for (auto& [handle, json] : imageDefs_) {
            QString file = str(json, "fileName");
            QString name = file.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1).section(QLatin1Char('.'), 0, 0);
            if (name.isEmpty()) name = QStringLiteral("image");
            QString unique = name;
            for (int k = 2; names.count(upperKey(unique)); ++k) unique = name + QString::number(k);
            names.insert(upperKey(unique));
            items.emplace_back(unique, handle);
        }
        dictionary(imageDict_, root_, items);
        for (auto& [handle, json] : imageDefs_) {
            o.raw(dxf::code::kType, "IMAGEDEF");
            o.handle(dxf::code::kHandle, handle);
            o.reactors(imageDict_);
            o.handle(dxf::code::kOwner, imageDict_);
            o.raw(dxf::code::kSubclass, "AcDbRasterImageDef");
            o.integer(90, 0);
            o.text(1, str(json, "fileName"));
            o.point(10, pointOf(json, "size"), false);
            Point pixel = pointOf(json, "sizeOfOnePixel");
            o.point(11, Point{pixel.x > 0 ? pixel.x : 1, pixel.y > 0 ? pixel.y : 1, 0}, false);
            o.integer(280, intOf(json, "isLoaded", 1));
            o.integer(281, intOf(json, "resolutionUnits"));
        }
    }
    o.raw(dxf::code::kType, "ENDSEC");
}

void Builder::layout(const LayoutInfo& l, int tab)
{
    Writer& o = w();
    const JsonObject& j = l.json;
    const BlockInfo& b = blocksOut_[l.block];
    o.raw(dxf::code::kType, "LAYOUT");
    o.handle(dxf::code::kHandle, l.handle);
    o.reactors(layoutDict_);
    o.handle(dxf::code::kOwner, layoutDict_);
    o.raw(dxf::code::kSubclass, "AcDbPlotSettings");
    o.raw(1, "");
    o.raw(dxf::code::kName, "none_device");
    o.raw(4, "");
    o.raw(6, "");
    for (int code : {40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 140, 141}) o.real(code, 0);
    o.real(142, 1);
    o.real(143, 1);
    o.integer(70, 688);
    o.integer(72, 0);
    o.integer(73, 0);
    o.integer(74, 5);
    o.raw(7, "");
    o.integer(75, 16);
    o.integer(76, 0);
    o.integer(77, 2);
    o.integer(78, 300);
    o.real(147, 1);
    o.real(148, 0);
    o.real(149, 0);
    o.raw(dxf::code::kSubclass, "AcDbLayout");
    o.text(1, l.name);
    o.integer(70, j.isEmpty() ? (b.isModel ? 1 : 0) : intOf(j, "controlFlag"));
    o.integer(71, j.isEmpty() ? tab : intOf(j, "tabOrder", tab));
    o.point(10, j.contains(QLatin1String("minLimit")) ? pointOf(j, "minLimit") : Point{0, 0, 0}, false);
    o.point(11, j.contains(QLatin1String("maxLimit")) ? pointOf(j, "maxLimit") : Point{12, 9, 0}, false);
    o.point(12, pointOf(j, "insertionPoint"));
    o.point(14, j.contains(QLatin1String("minExtent")) ? pointOf(j, "minExtent") : Point{0, 0, 0});
    o.point(15, j.contains(QLatin1String("maxExtent")) ? pointOf(j, "maxExtent") : Point{0, 0, 0});
    o.real(146, real(j, "elevation"));
    o.point(13, pointOf(j, "ucsOrigin"));
    o.point(16, j.contains(QLatin1String("ucsXAxis")) ? pointOf(j, "ucsXAxis") : Point{1, 0, 0});
    o.point(17, j.contains(QLatin1String("ucsYAxis")) ? pointOf(j, "ucsYAxis") : Point{0, 1, 0});
    o.integer(76, intOf(j, "orthographicType"));
    o.handle(dxf::code::kOwner, b.record);
}

}  // namespace ddvue::dwg::detail
