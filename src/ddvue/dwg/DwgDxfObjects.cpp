// The DWG reader's DXF writer: hatches, leaders, images, viewports, and the
// OBJECTS section with its dictionaries and layouts.
#include "ddvue/dwg/DwgDxfBuilder.h"

namespace ddvue::dwg::detail {

void Builder::hatch(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    using H = def::Hatch;
    const JsonObject& e = info.json;
    auto o = common<H>(info.handle, owner, e, paper);
    o.marker<sub::AcDbHatch>();
    o.put(H::elevation, Point{0, 0, real(e, "elevation")}).put(H::extrusion, isUnitZ(ext) ? Point{0, 0, 1} : ext);
    bool solid = intOf(e, "solidFill") == 1;
    QString pattern = str(e, "patternName");
    if (pattern.isEmpty()) pattern = solid ? QStringLiteral("SOLID") : QStringLiteral("ANSI31");
    o.put(H::pattern, pattern).put(H::solid, solid ? 1 : 0);
    o.put(H::associative, 0);  // the boundary objects do not come along
    JsonArray paths = arr(e, "boundaryPaths");
    o.put(H::pathCount, paths.size());
    for (const JsonValue& pv : paths) {
        JsonObject p = pv.toObject();
        long long flag = intOf(p, "boundaryPathTypeFlag", 1);
        o.put(H::pathType, flag & ~(4 | 8 | 0x100));
        if (flag & H::kPolylinePath) {
            JsonArray vs = arr(p, "vertices");
            bool bulges = false;
            for (const JsonValue& v : vs) bulges = bulges || real(v.toObject(), "bulge") != 0;
            o.put(H::hasBulge, bulges ? 1 : 0);
            o.put(H::isClosed, p.value(QLatin1String("isClosed")).toBool(true) ? 1 : 0);
            o.put(H::pathItems, vs.size());
            for (const JsonValue& v : vs) {
                o.put(H::pathVertex, point(v));
                if (bulges) o.put(H::bulge, real(v.toObject(), "bulge"));
            }
        } else {
            JsonArray edges = arr(p, "edges");
            o.put(H::pathItems, edges.size());
            for (const JsonValue& ev : edges) edge(ev.toObject());
        }
        o.put(H::sourceCount, 0);
    }
    o.put(H::style, std::clamp<long long>(intOf(e, "hatchStyle"), 0, 2));
    o.put(H::patternType, std::clamp<long long>(intOf(e, "patternType", 1), 0, 2));
    if (!solid) {
        o.put(H::patternAngle, real(e, "patternAngle") * kDegrees);
        double scale = real(e, "patternScale", 1);
        o.put(H::patternScale, scale > 0 ? scale : 1).put(H::patternDouble, 0);
        JsonArray lines = arr(e, "definitionLines");
        o.put(H::patternLineCount, lines.size());
        for (const JsonValue& lv : lines) {
            JsonObject l = lv.toObject();
            o.put(H::lineAngle, real(l, "angle") * kDegrees);
            Point base = pointOf(l, "base"), offset = pointOf(l, "offset");
            o.put(H::lineBaseX, base.x).put(H::lineBaseY, base.y);
            o.put(H::lineOffsetX, offset.x).put(H::lineOffsetY, offset.y);
            JsonArray dashes = arr(l, "dashLengths");
            o.put(H::dashCount, dashes.size());
            for (const JsonValue& dv : dashes) o.put(H::dash, num(dv));
        }
    }
    JsonArray seeds = arr(e, "seedPoints");
    o.put(H::seedCount, seeds.size());
    for (const JsonValue& sv : seeds) o.put(H::seed, point(sv));
}

void Builder::edge(const JsonObject& edge)
{
    using H = def::Hatch;
    Out<H> o(w());
    long long type = intOf(edge, "type", H::kLineEdge);
    o.put(H::edgeType, type);
    switch (type) {
    case H::kLineEdge: o.put(H::edgePoint, pointOf(edge, "start")).put(H::edgePoint2, pointOf(edge, "end")); break;
    case H::kArcEdge:
        o.put(H::edgePoint, pointOf(edge, "center"))
            .put(H::radius, real(edge, "radius"))
            .put(H::startAngle, real(edge, "startAngle") * kDegrees)
            .put(H::endAngle, real(edge, "endAngle") * kDegrees)
            .put(H::ccw, edge.value(QLatin1String("isCCW")).truthy() ? 1 : 0);
        break;
    case H::kEllipseEdge:
        o.put(H::edgePoint, pointOf(edge, "center"))
            .put(H::edgePoint2, pointOf(edge, "end"))
            .put(H::radius, real(edge, "lengthOfMinorAxis", 1))
            .put(H::startAngle, real(edge, "startAngle") * kDegrees)
            .put(H::endAngle, real(edge, "endAngle") * kDegrees)
            .put(H::ccw, edge.value(QLatin1String("isCCW")).truthy() ? 1 : 0);
        break;
    default: {
        JsonArray knots = arr(edge, "knots"), control = arr(edge, "controlPoints"), fit = arr(edge, "fitDatum");
        bool rational = edge.value(QLatin1String("isRational")).truthy();
        o.put(H::splineDegree, intOf(edge, "degree", 3)).put(H::rational, rational ? 1 : 0);
        o.put(H::periodic, edge.value(QLatin1String("isPeriodic")).truthy() ? 1 : 0);
        o.put(H::knotCount, knots.size()).put(H::controlCount, control.size());
        for (const JsonValue& k : knots) o.put(H::knot, num(k));
        for (const JsonValue& p : control) {
            o.put(H::control, point(p));
            if (rational) o.put(H::weight, num(p.toObject().value(QLatin1String("w")), 1));
        }
        o.put(H::fitCount, fit.size());
        for (const JsonValue& p : fit) o.put(H::fit, point(p));
        if (!fit.isEmpty()) o.put(H::startTangent, pointOf(edge, "startTangent")).put(H::endTangent, pointOf(edge, "endTangent"));
        break;
    }
    }
}

void Builder::leader(const EntityInfo& info, std::uint64_t owner, bool paper)
{
    using L = def::Leader;
    const JsonObject& e = info.json;
    JsonArray vertices = arr(e, "vertices");
    if (vertices.size() < 2) {
        ++skipped_;
        return;
    }
    auto o = common<L>(info.handle, owner, e, paper);
    o.marker<sub::AcDbLeader>();
    QString style = str(e, "styleName");
    o.put(L::dimstyle, dimstyleNames_.count(upperKey(style)) ? style : QStringLiteral("Standard"));
    o.put(L::arrowhead, e.value(QLatin1String("isArrowheadEnabled")).toBool(true) ? 1 : 0);
    o.put(L::pathType, e.value(QLatin1String("isSpline")).toBool() ? 1 : 0);
    o.put(L::annotationType, 3);  // the annotation does not come along
    o.put(L::hooklineDirection, e.value(QLatin1String("isHooklineSameDirection")).toBool() ? 1 : 0);
    o.put(L::hasHookline, e.value(QLatin1String("isHooklineExists")).toBool() ? 1 : 0);
    o.put(L::textHeight, real(e, "textHeight")).put(L::textWidth, real(e, "textWidth"));
    o.put(L::vertexCount, vertices.size());
    for (const JsonValue& v : vertices) o.put(L::vertex, point(v));
    Point normal = pointOf(e, "normal");
    o.put(L::normal, isUnitZ(normal) ? Point{0, 0, 1} : normal);
    Point horizontal = pointOf(e, "horizontalDirection");
    if (horizontal.x == 0 && horizontal.y == 0 && horizontal.z == 0) horizontal.x = 1;
    o.put(L::horizontalDirection, horizontal);
    o.put(L::blockOffset, pointOf(e, "offsetFromBlock")).put(L::annotationOffset, pointOf(e, "offsetFromAnnotation"));
}

void Builder::image(const EntityInfo& info, std::uint64_t owner, bool paper, bool wipeout)
{
    using I = def::Image;
    const JsonObject& e = info.json;
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
    auto o = common<I>(info.handle, owner, e, paper, wipeout ? I::kWipeout : I::kImage);
    o.marker<sub::AcDbRasterImage>(wipeout ? I::kWipeout : I::kImage);
    o.put(I::classVersion, 0);
    o.put(I::origin, pointOf(e, "position")).put(I::uPixel, pointOf(e, "uPixel")).put(I::vPixel, pointOf(e, "vPixel"));
    o.put(I::size, pointOf(e, "imageSize"));
    if (def) o.put(I::imageDef, def);
    o.put(I::flags, intOf(e, "flags", 7)).put(I::clipping, intOf(e, "clipping"));
    o.put(I::brightness, intOf(e, "brightness", 50)).put(I::contrast, intOf(e, "contrast", 50));
    o.put(I::fade, intOf(e, "fade"));
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
    o.put(I::clipType, clipType == 2 ? 2 : 1);
    o.put(I::clipCount, static_cast<long long>(corners.size()));
    for (const Point& p : corners) o.put(I::clipVertex, p);
}

void Builder::viewport(const EntityInfo& info, std::uint64_t owner, bool paper)
{
    using V = def::Viewport;
    const JsonObject& e = info.json;
    auto o = common<V>(info.handle, owner, e, paper);
    o.marker<sub::AcDbViewport>();
    o.put(V::center, pointOf(e, "viewportCenter")).put(V::width, real(e, "width")).put(V::height, real(e, "height"));
    o.put(V::status, intOf(e, "status", 1)).put(V::id, intOf(e, "viewportId", 1));
    o.put(V::viewCenter, pointOf(e, "displayCenter")).put(V::snapBase, pointOf(e, "snapBase"));
    o.put(V::snapSpacing, e.contains(QLatin1String("snapSpacing")) ? pointOf(e, "snapSpacing") : Point{0.5, 0.5, 0});
    o.put(V::gridSpacing, e.contains(QLatin1String("gridSpacing")) ? pointOf(e, "gridSpacing") : Point{0.5, 0.5, 0});
    Point dir = pointOf(e, "viewDirection");
    if (dir.x == 0 && dir.y == 0 && dir.z == 0) dir.z = 1;
    o.put(V::viewDirection, dir).put(V::viewTarget, pointOf(e, "targetPoint"));
    o.put(V::lensLength, real(e, "perspectiveLensLength", 50));
    o.put(V::frontClip, real(e, "frontClipZ")).put(V::backClip, real(e, "backClipZ"));
    double viewHeight = real(e, "viewHeight", real(e, "height", 1));
    o.put(V::viewHeight, viewHeight > 0 ? viewHeight : 1);
    o.put(V::snapAngle, real(e, "snapAngle") * kDegrees).put(V::twistAngle, real(e, "viewTwistAngle") * kDegrees);
    o.put(V::circleZoom, intOf(e, "circleZoomPercent", 1000));
    o.put(V::flags, intOf(e, "statusBitFlags") & 0x7FFFFFFF);
    o.put(V::plotStyleSheet, "");
    o.put(V::renderMode, intOf(e, "renderMode")).put(V::ucsPerViewport, intOf(e, "ucsPerViewport"));
    o.put(V::ucsIcon, 0);
    o.put(V::ucsOrigin, pointOf(e, "ucsOrigin"));
    o.put(V::ucsXAxis, e.contains(QLatin1String("ucsXAxis")) ? pointOf(e, "ucsXAxis") : Point{1, 0, 0});
    o.put(V::ucsYAxis, e.contains(QLatin1String("ucsYAxis")) ? pointOf(e, "ucsYAxis") : Point{0, 1, 0});
    o.put(V::ucsOrthoType, intOf(e, "orthographicType")).put(V::elevation, real(e, "elevation"));
}

void Builder::dictionary(std::uint64_t handle, std::uint64_t owner, const std::vector<std::pair<QString, std::uint64_t>>& items)
{
    using D = def::Dictionary;
    auto o = start<D>(w());
    o.put(D::handle, handle);
    if (owner) o.writer().reactors(owner);
    o.put(D::owner, owner).marker<sub::AcDbDictionary>().put(D::cloning, 1);
    for (const auto& [name, h] : items) o.put(D::entryName, name).put(D::entry, h);
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
            using I = def::ImageDef;
            auto d = start<I>(o);
            d.put(I::handle, handle);
            o.reactors(imageDict_);
            d.put(I::owner, imageDict_).marker<sub::AcDbRasterImageDef>();
            d.put(I::classVersion, 0).put(I::fileName, str(json, "fileName")).put(I::size, pointOf(json, "size"));
            Point pixel = pointOf(json, "sizeOfOnePixel");
            d.put(I::pixelSize, Point{pixel.x > 0 ? pixel.x : 1, pixel.y > 0 ? pixel.y : 1, 0});
            d.put(I::loaded, intOf(json, "isLoaded", 1)).put(I::resolutionUnits, intOf(json, "resolutionUnits"));
        }
    }
    o.raw(dxf::code::kType, "ENDSEC");
}

void Builder::layout(const LayoutInfo& l, int tab)
{
    using L = def::Layout;
    const JsonObject& j = l.json;
    const BlockInfo& b = blocksOut_[l.block];
    auto o = start<L>(w());
    o.put(L::handle, l.handle);
    o.writer().reactors(layoutDict_);
    o.put(L::owner, layoutDict_).marker<sub::AcDbPlotSettings>();
    o.put(L::pageSetup, "").put(L::plotter, "none_device").put(L::paperSize, "").put(L::plotView, "");
    for (const auto& a : {L::marginLeft, L::marginBottom, L::marginRight, L::marginTop, L::paperWidth, L::paperHeight,
                          L::originX, L::originY, L::windowX1, L::windowY1, L::windowX2, L::windowY2})
        o.put(a, 0.0);
    o.put(L::scaleNumerator, 1.0).put(L::scaleDenominator, 1.0);
    o.put(L::plotFlags, 688).put(L::paperUnits, 0).put(L::rotation, 0).put(L::plotType, 5);
    o.put(L::styleSheet, "");
    o.put(L::standardScale, 16).put(L::shadeMode, 0).put(L::shadeResolution, 2).put(L::shadeDpi, 300);
    o.put(L::unitFactor, 1.0).put(L::imageOriginX, 0.0).put(L::imageOriginY, 0.0);
    o.marker<sub::AcDbLayout>().put(L::name, l.name);
    o.put(L::flags, j.isEmpty() ? (b.isModel ? 1 : 0) : intOf(j, "controlFlag"));
    o.put(L::tabOrder, j.isEmpty() ? tab : intOf(j, "tabOrder", tab));
    o.put(L::limitsMin, j.contains(QLatin1String("minLimit")) ? pointOf(j, "minLimit") : Point{0, 0, 0});
    o.put(L::limitsMax, j.contains(QLatin1String("maxLimit")) ? pointOf(j, "maxLimit") : Point{12, 9, 0});
    o.put(L::insertBase, pointOf(j, "insertionPoint"));
    o.put(L::extentsMin, j.contains(QLatin1String("minExtent")) ? pointOf(j, "minExtent") : Point{0, 0, 0});
    o.put(L::extentsMax, j.contains(QLatin1String("maxExtent")) ? pointOf(j, "maxExtent") : Point{0, 0, 0});
    o.put(L::elevation, real(j, "elevation"));
    o.put(L::ucsOrigin, pointOf(j, "ucsOrigin"));
    o.put(L::ucsXAxis, j.contains(QLatin1String("ucsXAxis")) ? pointOf(j, "ucsXAxis") : Point{1, 0, 0});
    o.put(L::ucsYAxis, j.contains(QLatin1String("ucsYAxis")) ? pointOf(j, "ucsYAxis") : Point{0, 1, 0});
    o.put(L::ucsType, intOf(j, "orthographicType")).put(L::blockRecord, b.record);
}

}  // namespace ddvue::dwg::detail
