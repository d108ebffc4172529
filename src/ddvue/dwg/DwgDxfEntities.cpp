// The DWG reader's DXF writer: the BLOCKS and ENTITIES sections.
#include "ddvue/dwg/DwgDxfBuilder.h"

namespace ddvue::dwg::detail {

template <class T, class S>
Out<T> Builder::blockMarker(std::uint64_t handle, const BlockInfo& b)
{
    Out<T> o = start<T>(w());
    o.put(T::handle, handle).put(T::owner, b.record).template marker<sub::AcDbEntity>();
    if (b.isLayout && !b.isModel) o.put(T::paperSpace, 1);
    o.put(T::layer, "0").template marker<S>();
    return o;
}

void Builder::blocks()
{
    Writer& o = w();
    o.raw(dxf::code::kType, "SECTION");
    o.raw(dxf::code::kName, "BLOCKS");
    for (const BlockInfo& b : blocksOut_) {
        using B = def::Block;
        blockMarker<B, sub::AcDbBlockBegin>(b.begin, b)
            .put(B::name, b.name)
            .put(B::flags, intOf(b.json, "flags") & 0x3F)
            .put(B::base, pointOf(b.json, "basePoint"))
            .put(B::name2, b.name)
            .put(B::xrefPath, str(b.json, "xrefPath"));
        if (!str(b.json, "description").isEmpty()) Out<B>(o).put(B::description, str(b.json, "description"));
        // Model space and the active paper space keep their entities in
        // the ENTITIES section.
        if (!b.isModel && !b.isActivePaper)
            for (const EntityInfo& e : b.entities) entity(e, b, false);
        blockMarker<def::EndBlk, sub::AcDbBlockEnd>(b.end, b);
    }
    o.raw(dxf::code::kType, "ENDSEC");
}


void Builder::entities()
{
    Writer& o = w();
    o.raw(dxf::code::kType, "SECTION");
    o.raw(dxf::code::kName, "ENTITIES");
    for (const BlockInfo& b : blocksOut_)
        if (b.isModel)
            for (const EntityInfo& e : b.entities) entity(e, b, false);
    for (const BlockInfo& b : blocksOut_)
        if (b.isActivePaper)
            for (const EntityInfo& e : b.entities) entity(e, b, true);
    o.raw(dxf::code::kType, "ENDSEC");
}

const std::string& Builder::layerText(const JsonObject& e)
{
    const JsonValue v = e.value("layer");
    auto make = [&] {
        QString l = v.toString();
        return w().encoded(layerNames_.count(upperKey(l)) ? l : QStringLiteral("0"));
    };
    const std::string_view raw = v.plainString();
    if (raw.empty()) return oneOff_ = make();
    auto it = layerTexts_.find(raw);
    if (it == layerTexts_.end()) it = layerTexts_.emplace(raw, make()).first;
    return it->second;
}

const std::optional<std::string>& Builder::linetypeText(const JsonObject& e)
{
    const JsonValue v = e.value("lineType");
    auto make = [&]() -> std::optional<std::string> {
        QString lt = v.toString();
        if (!lt.isEmpty() && linetypeNames_.count(upperKey(lt)) && upperKey(lt) != QLatin1String("BYLAYER"))
            return w().encoded(lt);
        return std::nullopt;
    };
    const std::string_view raw = v.plainString();
    if (raw.empty()) return oneOffLinetype_ = make();
    auto it = linetypeTexts_.find(raw);
    if (it == linetypeTexts_.end()) it = linetypeTexts_.emplace(raw, make()).first;
    return it->second;
}

void Builder::commonGroups(Out<def::AnyEntity> o, std::uint64_t handle, std::uint64_t owner, const JsonObject& e,
                           bool paper)
{
    using E = def::AnyEntity;
    o.put(E::handle, handle).put(E::owner, owner).marker<sub::AcDbEntity>();
    if (paper) o.put(E::paperSpace, 1);
    o.put(E::layer, std::string_view(layerText(e)));
    if (const std::optional<std::string>& lt = linetypeText(e)) o.put(E::linetype, std::string_view(*lt));
    JsonValue trueColor = e.value(QLatin1String("color"));
    long long color = intOf(e, "colorIndex", 256);
    if (trueColor.isDouble()) {
        o.put(E::color, color >= 1 && color <= 255 ? color
                                                   : nearestColorIndex(static_cast<std::uint32_t>(integer(trueColor))));
        o.put(E::trueColor, integer(trueColor) & 0xFFFFFF);
    } else if (color >= 0 && color < 256) {
        o.put(E::color, color);
    }
    if (e.contains(QLatin1String("lineweight"))) {
        int lw = lineWeight(intOf(e, "lineweight", 29));
        if (lw != -1) o.put(E::lineweight, lw);
    }
    double scale = real(e, "lineTypeScale", 1);
    if (scale != 1 && scale > 0) o.put(E::linetypeScale, scale);
    if (e.value(QLatin1String("isVisible")).isBool() && !e.value(QLatin1String("isVisible")).toBool())
        o.put(E::invisible, 1);
}

void Builder::entity(const EntityInfo& info, const BlockInfo& block, bool paper)
{
    const JsonObject& e = info.json;
    // Types are plain names: compared as the text holds them.
    const std::string_view type = e.value("type").plainString();
    std::uint64_t owner = block.record;
    Point ext = e.contains(QLatin1String("extrusionDirection")) ? pointOf(e, "extrusionDirection") : Point{0, 0, 1};
    if (geometry(info, owner, paper, ext)) return;
    if (type == "TEXT" || type == "ATTDEF") {
        text(info, owner, paper);
    } else if (type == "LWPOLYLINE") {
        lwpolyline(info, owner, paper, ext);
    } else if (type == "POLYLINE2D" || type == "POLYLINE3D") {
        polyline(info, owner, paper, ext);
    } else if (type == "SPLINE") {
        spline(info, owner, paper, ext);
    } else if (type == "MTEXT") {
        mtext(info, owner, paper, ext);
    } else if (type == "INSERT") {
        insert(info, owner, paper, ext);
    } else if (type == "DIMENSION") {
        dimension(info, owner, paper, ext);
    } else if (type == "HATCH") {
        hatch(info, owner, paper, ext);
    } else if (type == "LEADER") {
        leader(info, owner, paper);
    } else if (type == "IMAGE" || type == "WIPEOUT") {
        image(info, owner, paper, type == "WIPEOUT");
    } else if (type == "VIEWPORT") {
        viewport(info, owner, paper);
    } else {
        ++skipped_;
    }
}

bool Builder::geometry(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    const JsonObject& e = info.json;
    // Types are plain names: compared as the text holds them.
    const std::string_view type = e.value("type").plainString();
    std::uint64_t h = info.handle;
    double thickness = real(e, "thickness");
    auto thick = [&](auto& o, const auto& attr) {
        if (thickness != 0) o.put(attr, thickness);
    };
    if (type == "LINE") {
        using L = def::Line;
        auto o = common<L>(h, owner, e, paper);
        o.marker<sub::AcDbLine>();
        thick(o, L::thickness);
        o.put(L::start, pointOf(e, "startPoint")).put(L::end, pointOf(e, "endPoint")).extrusion(L::extrusion, ext);
    } else if (type == "POINT") {
        using P = def::Point;
        auto o = common<P>(h, owner, e, paper);
        o.marker<sub::AcDbPoint>().put(P::location, pointOf(e, "position"));
        thick(o, P::thickness);
        o.extrusion(P::extrusion, ext);
        if (real(e, "angle") != 0) o.put(P::angle, real(e, "angle") * kDegrees);
    } else if (type == "CIRCLE") {
        using C = def::Circle;
        auto o = common<C>(h, owner, e, paper);
        o.marker<sub::AcDbCircle>();
        thick(o, C::thickness);
        o.put(C::center, pointOf(e, "center")).put(C::radius, real(e, "radius")).extrusion(C::extrusion, ext);
    } else if (type == "ARC") {
        using A = def::Arc;
        auto o = common<A>(h, owner, e, paper);
        o.marker<sub::AcDbCircle>();
        thick(o, A::thickness);
        o.put(A::center, pointOf(e, "center")).put(A::radius, real(e, "radius")).extrusion(A::extrusion, ext);
        o.marker<sub::AcDbArc>()
            .put(A::startAngle, real(e, "startAngle") * kDegrees)
            .put(A::endAngle, real(e, "endAngle") * kDegrees);
    } else if (type == "ELLIPSE") {
        using E = def::Ellipse;
        auto o = common<E>(h, owner, e, paper);
        o.marker<sub::AcDbEllipse>()
            .put(E::center, pointOf(e, "center"))
            .put(E::majorAxis, pointOf(e, "majorAxisEndPoint"))
            .extrusion(E::extrusion, ext);
        double ratio = real(e, "axisRatio", 1);
        o.put(E::ratio, ratio > 0 && ratio <= 1 ? ratio : 1)
            .put(E::startParam, real(e, "startAngle"))
            .put(E::endParam, real(e, "endAngle", 2 * std::numbers::pi));
    } else if (type == "SOLID" || type == "TRACE") {
        // SOLID and TRACE keep their corners in their plane at the elevation.
        using S = def::Solid;
        auto o = common<S>(h, owner, e, paper, type == "SOLID" ? S::kSolid : S::kTrace);
        double z = real(e, "elevation");
        o.marker<sub::AcDbTrace>()
            .put(S::corner0, pointOf(e, "corner1", z))
            .put(S::corner1, pointOf(e, "corner2", z))
            .put(S::corner2, pointOf(e, "corner3", z))
            .put(S::corner3, e.contains(QLatin1String("corner4")) ? pointOf(e, "corner4", z) : pointOf(e, "corner3", z));
        thick(o, S::thickness);
        o.extrusion(S::extrusion, ext);
    } else if (type == "3DFACE") {
        // A 3DFACE's corners are in the world.
        using F = def::Face3d;
        auto o = common<F>(h, owner, e, paper);
        o.marker<sub::AcDbFace>()
            .put(F::corner0, pointOf(e, "corner1"))
            .put(F::corner1, pointOf(e, "corner2"))
            .put(F::corner2, pointOf(e, "corner3"))
            .put(F::corner3, e.contains(QLatin1String("corner4")) ? pointOf(e, "corner4") : pointOf(e, "corner3"));
        if (intOf(e, "flag") != 0) o.put(F::hiddenEdges, intOf(e, "flag") & 15);
    } else if (type == "XLINE") {
        using X = def::XLine;
        common<X>(h, owner, e, paper)
            .marker<sub::AcDbXline>()
            .put(X::start, pointOf(e, "firstPoint"))
            .put(X::direction, pointOf(e, "unitDirection"));
    } else if (type == "RAY") {
        using R = def::Ray;
        common<R>(h, owner, e, paper)
            .marker<sub::AcDbRay>()
            .put(R::start, pointOf(e, "firstPoint"))
            .put(R::direction, pointOf(e, "unitDirection"));
    } else {
        return false;
    }
    return true;
}

void Builder::text(const EntityInfo& info, std::uint64_t owner, bool paper)
{
    const JsonObject& e = info.json;
    if (e.value("type").is("TEXT")) {
        auto o = common<def::Text>(info.handle, owner, e, paper);
        textBody(o, e, "text");
        o.marker<sub::AcDbTextAlign>();
        if (intOf(e, "valign") != 0) o.put(def::Text::valign, intOf(e, "valign"));
        return;
    }
    using A = def::Attdef;
    auto o = common<A>(info.handle, owner, e, paper);
    textBody(o, e, "text");
    o.marker<sub::AcDbAttributeDefinition>().put(A::prompt, str(e, "prompt")).put(A::tag, str(e, "tag"));
    o.put(A::flags, intOf(e, "flags"));
    if (intOf(e, "fieldLength") != 0) o.put(A::fieldLength, intOf(e, "fieldLength"));
    if (intOf(e, "valign") != 0) o.put(A::valign, intOf(e, "valign"));
}

template <class T>
void Builder::textBody(Out<T>& o, const JsonObject& e, const char* valueKey)
{
    double z = real(e, "elevation");
    o.template marker<sub::AcDbText>();
    if (real(e, "thickness") != 0) o.put(T::thickness, real(e, "thickness"));
    o.put(T::insert, pointOf(e, "startPoint", z));
    double height = real(e, "textHeight", 1);
    o.put(T::height, height > 0 ? height : 1);
    o.put(T::value, str(e, valueKey));
    if (real(e, "rotation") != 0) o.put(T::rotation, real(e, "rotation") * kDegrees);
    double width = real(e, "xScale", 1);
    if (width != 1 && width > 0) o.put(T::widthFactor, width);
    if (real(e, "obliqueAngle") != 0) o.put(T::oblique, real(e, "obliqueAngle") * kDegrees);
    QString style = str(e, "styleName");
    if (!style.isEmpty() && styleNames_.count(upperKey(style))) o.put(T::style, style);
    if (intOf(e, "generationFlag") != 0) o.put(T::generation, intOf(e, "generationFlag"));
    if (intOf(e, "halign") != 0) o.put(T::halign, intOf(e, "halign"));
    if (intOf(e, "halign") != 0 || intOf(e, "valign") != 0) o.put(T::alignPoint, pointOf(e, "endPoint", z));
    o.extrusion(T::extrusion, pointOf(e, "extrusionDirection", 1));
}

void Builder::lwpolyline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    using L = def::LwPolyline;
    const JsonObject& e = info.json;
    auto o = common<L>(info.handle, owner, e, paper);
    o.marker<sub::AcDbPolyline>();
    JsonArray vertices = arr(e, "vertices");
    o.put(L::vertexCount, vertices.size());
    long long flag = intOf(e, "flag");
    o.put(L::flags, ((flag & 512) ? L::kClosed : 0) | ((flag & 256) ? L::kPlinegen : 0));
    if (real(e, "constantWidth") != 0) o.put(L::constantWidth, real(e, "constantWidth"));
    if (real(e, "elevation") != 0) o.put(L::elevation, real(e, "elevation"));
    if (real(e, "thickness") != 0) o.put(L::thickness, real(e, "thickness"));
    for (const JsonValue& v : vertices) {
        JsonObject p = v.toObject();
        o.put(L::vertex, Point{real(p, "x"), real(p, "y"), 0});
        if (p.contains(QLatin1String("startWidth")) || p.contains(QLatin1String("endWidth")))
            o.put(L::startWidth, real(p, "startWidth")).put(L::endWidth, real(p, "endWidth"));
        if (real(p, "bulge") != 0) o.put(L::bulge, real(p, "bulge"));
    }
    o.extrusion(L::extrusion, ext);
}

void Builder::polyline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    using P = def::Polyline;
    const JsonObject& e = info.json;
    bool is3d = e.value("type").is("POLYLINE3D");
    auto o = common<P>(info.handle, owner, e, paper);
    o.marker<sub::PolylineKind>(is3d ? P::k3d : P::k2d);
    o.put(P::entitiesFollow, 1);
    o.put(P::elevation, Point{0, 0, is3d ? 0 : real(e, "elevation")});
    if (real(e, "thickness") != 0) o.put(P::thickness, real(e, "thickness"));
    long long flag = intOf(e, "flag") & ~(P::k3dMesh | P::kMeshClosedN | P::kPolyface);
    if (is3d) flag |= P::k3dPolyline;
    else flag &= ~P::k3dPolyline;
    o.put(P::flags, flag);
    if (!is3d) {
        if (real(e, "startWidth") != 0) o.put(P::startWidth, real(e, "startWidth"));
        if (real(e, "endWidth") != 0) o.put(P::endWidth, real(e, "endWidth"));
    }
    if (intOf(e, "smoothType") != 0) o.put(P::smoothType, intOf(e, "smoothType"));
    o.extrusion(P::extrusion, ext);
    JsonArray vertices = arr(e, "vertices");
    for (std::size_t i = 0; i < vertices.size(); ++i) vertex(info, i, e, vertices[i].toObject(), paper, is3d);
    seqend(info, e, paper);
}

void Builder::vertex(const EntityInfo& info, std::size_t i, const JsonObject& e, const JsonObject& v, bool paper,
                     bool is3d)
{
    using V = def::Vertex;
    auto o = common<V>(info.children[i], info.handle, e, paper);
    o.marker<sub::AcDbVertex>().marker<sub::VertexKind>(is3d ? V::k3d : V::k2d);
    o.put(V::location, Point{real(v, "x"), real(v, "y"), real(v, "z")});
    if (!is3d) {
        if (real(v, "startWidth") != 0) o.put(V::startWidth, real(v, "startWidth"));
        if (real(v, "endWidth") != 0) o.put(V::endWidth, real(v, "endWidth"));
        if (real(v, "bulge") != 0) o.put(V::bulge, real(v, "bulge"));
    }
    long long vflag = intOf(v, "flag");
    constexpr long long kMeshKinds = V::kMeshVertex | V::kPolyfaceVertex;
    o.put(V::flags, is3d ? (vflag | V::k3dVertex) & ~kMeshKinds : vflag & ~(V::k3dVertex | kMeshKinds));
    if (!is3d && (vflag & V::kTangent) && real(v, "tangentDirection") != 0)
        o.put(V::tangent, real(v, "tangentDirection") * kDegrees);
}

void Builder::seqend(const EntityInfo& info, const JsonObject& e, bool paper)
{
    using S = def::SeqEnd;
    auto o = start<S>(w());
    o.put(S::handle, info.seqend).put(S::owner, info.handle).marker<sub::AcDbEntity>();
    if (paper) o.put(S::paperSpace, 1);
    o.put(S::layer, std::string_view(layerText(e)));
}

void Builder::spline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    using S = def::Spline;
    const JsonObject& e = info.json;
    auto o = common<S>(info.handle, owner, e, paper);
    o.marker<sub::AcDbSpline>().extrusion(S::normal, ext);
    JsonArray knots = arr(e, "knots");
    JsonArray control = arr(e, "controlPoints");
    JsonArray fit = arr(e, "fitPoints");
    JsonArray weights = arr(e, "weights");
    long long flag = intOf(e, "flag") & 0x7FF;
    if (!weights.isEmpty()) flag |= S::kRational;
    o.put(S::flags, flag).put(S::degree, intOf(e, "degree", 3));
    o.put(S::knotCount, knots.size()).put(S::controlCount, control.size()).put(S::fitCount, fit.size());
    o.put(S::knotTolerance, real(e, "knotTolerance", 1e-10)).put(S::controlTolerance, real(e, "controlTolerance", 1e-10));
    if (!fit.isEmpty()) o.put(S::fitTolerance, real(e, "fitTolerance", 1e-10));
    Point start = pointOf(e, "startTangent"), end = pointOf(e, "endTangent");
    if (!fit.isEmpty() && (start.x != 0 || start.y != 0 || start.z != 0)) o.put(S::startTangent, start);
    if (!fit.isEmpty() && (end.x != 0 || end.y != 0 || end.z != 0)) o.put(S::endTangent, end);
    for (const JsonValue& k : knots) o.put(S::knot, num(k));
    if (!weights.isEmpty() && weights.size() == control.size())
        for (const JsonValue& k : weights) o.put(S::weight, num(k, 1));
    for (const JsonValue& p : control) o.put(S::control, point(p));
    for (const JsonValue& p : fit) o.put(S::fit, point(p));
}

void Builder::mtext(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    using M = def::MText;
    const JsonObject& e = info.json;
    auto o = common<M>(info.handle, owner, e, paper);
    o.marker<sub::AcDbMText>().put(M::insert, pointOf(e, "insertionPoint"));
    double height = real(e, "textHeight", 1);
    o.put(M::height, height > 0 ? height : 1).put(M::width, real(e, "rectWidth"));
    if (real(e, "rectHeight") > 0) o.put(M::definedHeight, real(e, "rectHeight"));
    long long attach = intOf(e, "attachmentPoint", 1);
    o.put(M::attachment, attach >= 1 && attach <= 9 ? attach : 1);
    long long flow = intOf(e, "drawingDirection", 1);
    o.put(M::flow, flow == 1 || flow == 3 || flow == 5 ? flow : 1);
    o.writer().chunks(str(e, "text"));
    QString style = str(e, "styleName");
    if (!style.isEmpty() && styleNames_.count(upperKey(style))) o.put(M::style, style);
    o.extrusion(M::extrusion, ext);
    Point dir = pointOf(e, "direction");
    if (dir.x != 0 || dir.y != 0 || dir.z != 0) o.put(M::direction, dir);
    long long spacingStyle = intOf(e, "lineSpacingStyle", 1);
    o.put(M::lineSpacingStyle, spacingStyle == 2 ? 2 : 1);
    double spacing = real(e, "lineSpacing", 1);
    o.put(M::lineSpacing, spacing >= 0.25 && spacing <= 4 ? spacing : 1);
}

void Builder::insert(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    using I = def::Insert;
    const JsonObject& e = info.json;
    QString name = str(e, "name");
    if (!blockNames_.count(upperKey(name))) {
        ++skipped_;  // a reference to a block the drawing does not hold
        return;
    }
    JsonArray attribs = arr(e, "attribs");
    auto o = common<I>(info.handle, owner, e, paper);
    o.marker<sub::AcDbBlockReference>();
    if (!attribs.isEmpty()) o.put(I::attribsFollow, 1);
    o.put(I::block, name).put(I::insert, pointOf(e, "insertionPoint"));
    for (auto [attr, key] : {std::pair{I::xscale, "xScale"}, {I::yscale, "yScale"}, {I::zscale, "zScale"}}) {
        double s = real(e, key, 1);
        if (s != 1 && s != 0) o.put(attr, s);
    }
    if (real(e, "rotation") != 0) o.put(I::rotation, real(e, "rotation") * kDegrees);
    long long columns = intOf(e, "columnCount", 1), rows = intOf(e, "rowCount", 1);
    if (columns > 1) o.put(I::columns, columns);
    if (rows > 1) o.put(I::rows, rows);
    if (columns > 1 && real(e, "columnSpacing") != 0) o.put(I::columnSpacing, real(e, "columnSpacing"));
    if (rows > 1 && real(e, "rowSpacing") != 0) o.put(I::rowSpacing, real(e, "rowSpacing"));
    o.extrusion(I::extrusion, ext);
    for (std::size_t i = 0; i < attribs.size(); ++i) attribute(info, i, attribs[i].toObject(), paper);
    if (!attribs.isEmpty()) seqend(info, e, paper);
}

void Builder::attribute(const EntityInfo& info, std::size_t i, const JsonObject& a, bool paper)
{
    using A = def::Attrib;
    auto o = common<A>(info.children[i], info.handle, a, paper);
    textBody(o, a, "text");
    o.marker<sub::AcDbAttribute>().put(A::tag, str(a, "tag")).put(A::flags, intOf(a, "flags") & 15);
    if (intOf(a, "fieldLength") != 0) o.put(A::fieldLength, intOf(a, "fieldLength"));
    if (intOf(a, "valign") != 0) o.put(A::valign, intOf(a, "valign"));
}

void Builder::dimension(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    using D = def::Dimension;
    using K = sub::DimensionKind;
    const JsonObject& e = info.json;
    QString block = str(e, "name");
    QString kind = str(e, "kind");
    auto o = common<D>(info.handle, owner, e, paper);
    o.marker<sub::AcDbDimension>();
    if (blockNames_.count(upperKey(block))) o.put(D::block, block);
    double z = real(e, "elevation");
    o.put(D::definitionPoint, pointOf(e, "definitionPoint")).put(D::textPoint, pointOf(e, "textPoint", z));
    static const std::unordered_map<std::string, int> types = {
        {"linear", D::kLinear},     {"aligned", D::kAligned}, {"angular2", D::kAngular}, {"diameter", D::kDiameter},
        {"radius", D::kRadius},     {"angular3", D::kAngular3}, {"ordinate", D::kOrdinate}};
    auto t = types.find(kind.toStdString());
    long long flags = intOf(e, "dimensionType") & ~7;
    flags |= t != types.end() ? t->second : 0;
    if (blockNames_.count(upperKey(block))) flags |= D::kOwnBlock;
    o.put(D::flags, flags & 0xFF);
    long long attach = intOf(e, "attachmentPoint", 5);
    if (attach >= 1 && attach <= 9) o.put(D::attachment, attach);
    o.put(D::lineSpacingStyle, intOf(e, "textLineSpacingStyle", 1) == 2 ? 2 : 1);
    o.put(D::lineSpacing, real(e, "textLineSpacingFactor", 1)).put(D::measurement, real(e, "measurement"));
    if (!str(e, "text").isEmpty()) o.put(D::text, str(e, "text"));
    if (real(e, "textRotation") != 0) o.put(D::textRotation, real(e, "textRotation") * kDegrees);
    o.extrusion(D::extrusion, ext);
    QString style = str(e, "styleName");
    o.put(D::dimstyle, dimstyleNames_.count(upperKey(style)) ? style : QStringLiteral("Standard"));
    if (kind == QLatin1String("linear") || kind == QLatin1String("aligned")) {
        o.marker<K>(K::kAlignedMarker).put(K::point2, pointOf(e, "subDefinitionPoint1")).put(K::point3, pointOf(e, "subDefinitionPoint2"));
        if (kind == QLatin1String("linear")) {
            o.put(K::angle, real(e, "rotationAngle") * kDegrees);
            if (real(e, "obliqueAngle") != 0) o.put(K::oblique, real(e, "obliqueAngle") * kDegrees);
            o.marker<sub::AcDbRotatedDimension>();
        }
    } else if (kind == QLatin1String("angular3")) {
        o.marker<K>(K::k3PointAngularMarker)
            .put(K::point2, pointOf(e, "subDefinitionPoint1"))
            .put(K::point3, pointOf(e, "subDefinitionPoint2"))
            .put(K::point4, pointOf(e, "centerPoint"));
    } else if (kind == QLatin1String("angular2")) {
        o.marker<K>(K::k2LineAngularMarker)
            .put(K::point2, pointOf(e, "subDefinitionPoint1"))
            .put(K::point3, pointOf(e, "subDefinitionPoint2"))
            .put(K::point4, pointOf(e, "centerPoint"))
            .put(K::point5, pointOf(e, "arcPoint"));
    } else if (kind == QLatin1String("radius") || kind == QLatin1String("diameter")) {
        o.marker<K>(kind == QLatin1String("radius") ? K::kRadialMarker : K::kDiametricMarker)
            .put(K::point4, pointOf(e, "centerPoint"))
            .put(K::leaderLength, real(e, "leaderLength"));
    } else if (kind == QLatin1String("ordinate")) {
        o.marker<K>(K::kOrdinateMarker).put(K::point2, pointOf(e, "subDefinitionPoint1")).put(K::point3, pointOf(e, "subDefinitionPoint2"));
    }
}

}  // namespace ddvue::dwg::detail
