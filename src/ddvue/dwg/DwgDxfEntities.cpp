// The DWG reader's DXF writer: the BLOCKS and ENTITIES sections.
#include "ddvue/dwg/DwgDxfBuilder.h"

namespace ddvue::dwg::detail {

void Builder::blocks()
{
    Writer& o = w();
    o.raw(dxf::code::kType, "SECTION");
    o.raw(dxf::code::kName, "BLOCKS");
    for (const BlockInfo& b : blocksOut_) {
        blockMarker("BLOCK", b.begin, b, "AcDbBlockBegin");
        o.text(def::Block::name.code, b.name);
        o.integer(def::Block::flags.code, intOf(b.json, "flags") & 0x3F);
        o.point(def::Block::base.code, pointOf(b.json, "basePoint"));
        o.text(kBlockName2, b.name);
        o.text(def::Block::xrefPath.code, str(b.json, "xrefPath"));
        if (!str(b.json, "description").isEmpty()) o.text(4, str(b.json, "description"));
        // Model space and the active paper space keep their entities in
        // the ENTITIES section.
        if (!b.isModel && !b.isActivePaper)
            for (const EntityInfo& e : b.entities) entity(e, b, false);
        blockMarker("ENDBLK", b.end, b, "AcDbBlockEnd");
    }
    o.raw(dxf::code::kType, "ENDSEC");
}

void Builder::blockMarker(const char* type, std::uint64_t handle, const BlockInfo& b, const char* subclass)
{
    Writer& o = w();
    o.raw(dxf::code::kType, type);
    o.handle(def::Common::handle.code, handle);
    o.handle(def::Common::owner.code, b.record);
    o.raw(def::Common::subclass, "AcDbEntity");
    if (b.isLayout && !b.isModel) o.integer(def::Entity::paperSpace.code, 1);
    o.raw(def::Entity::layer.code, "0");
    o.raw(def::Common::subclass, subclass);
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

void Builder::common(const char* type, std::uint64_t handle, std::uint64_t owner, const JsonObject& e, bool paper)
{
    Writer& o = w();
    o.raw(dxf::code::kType, type);
    o.handle(def::Entity::handle.code, handle);
    o.handle(def::Entity::owner.code, owner);
    o.raw(def::Entity::subclass, "AcDbEntity");
    if (paper) o.integer(def::Entity::paperSpace.code, 1);
    o.raw(def::Entity::layer.code, layerText(e));
    if (const std::optional<std::string>& lt = linetypeText(e)) o.raw(def::Entity::linetype.code, *lt);
    JsonValue trueColor = e.value(QLatin1String("color"));
    long long color = intOf(e, "colorIndex", 256);
    if (trueColor.isDouble()) {
        o.integer(def::Entity::color.code, color >= 1 && color <= 255
                                               ? color
                                               : nearestColorIndex(static_cast<std::uint32_t>(integer(trueColor))));
        o.integer(def::Entity::trueColor.code, integer(trueColor) & 0xFFFFFF);
    } else if (color >= 0 && color < 256) {
        o.integer(def::Entity::color.code, color);
    }
    if (e.contains(QLatin1String("lineweight"))) {
        int lw = lineWeight(intOf(e, "lineweight", 29));
        if (lw != -1) o.integer(370, lw);
    }
    double scale = real(e, "lineTypeScale", 1);
    if (scale != 1 && scale > 0) o.real(48, scale);
    if (e.value(QLatin1String("isVisible")).isBool() && !e.value(QLatin1String("isVisible")).toBool())
        o.integer(def::Entity::invisible.code, 1);
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
    Writer& o = w();
    double thickness = real(e, "thickness");
    auto thick = [&]() {
        if (thickness != 0) o.real(kThickness, thickness);
    };
    if (type == "LINE") {
        common("LINE", h, owner, e, paper);
        o.raw(def::Entity::subclass, "AcDbLine");
        thick();
        o.point(def::Line::start.code, pointOf(e, "startPoint"));
        o.point(def::Line::end.code, pointOf(e, "endPoint"));
        o.extrusion(ext);
    } else if (type == "POINT") {
        common("POINT", h, owner, e, paper);
        o.raw(def::Entity::subclass, "AcDbPoint");
        o.point(def::Point::location.code, pointOf(e, "position"));
        thick();
        o.extrusion(ext);
        if (real(e, "angle") != 0) o.real(kPointAngle, real(e, "angle") * kDegrees);
    } else if (type == "CIRCLE" || type == "ARC") {
        bool arc = type == "ARC";
        common(arc ? "ARC" : "CIRCLE", h, owner, e, paper);
        o.raw(def::Entity::subclass, "AcDbCircle");
        thick();
        o.point(def::Circle::center.code, pointOf(e, "center"));
        o.real(def::Circle::radius.code, real(e, "radius"));
        o.extrusion(ext);
        if (arc) {
            o.raw(def::Entity::subclass, "AcDbArc");
            o.real(def::Arc::startAngle.code, real(e, "startAngle") * kDegrees);
            o.real(def::Arc::endAngle.code, real(e, "endAngle") * kDegrees);
        }
    } else if (type == "ELLIPSE") {
        common("ELLIPSE", h, owner, e, paper);
        o.raw(def::Entity::subclass, "AcDbEllipse");
        o.point(def::Ellipse::center.code, pointOf(e, "center"));
        o.point(def::Ellipse::majorAxis.code, pointOf(e, "majorAxisEndPoint"));
        o.extrusion(ext);
        double ratio = real(e, "axisRatio", 1);
        o.real(def::Ellipse::ratio.code, ratio > 0 && ratio <= 1 ? ratio : 1);
        o.real(def::Ellipse::startParam.code, real(e, "startAngle"));
        o.real(def::Ellipse::endParam.code, real(e, "endAngle", 2 * std::numbers::pi));
    } else if (type == "SOLID" || type == "TRACE" || type == "3DFACE") {
        // SOLID and TRACE keep their corners in their plane at the elevation;
        // a 3DFACE's are in the world.
        bool face = type == "3DFACE";
        common(face ? "3DFACE" : type == "SOLID" ? "SOLID" : "TRACE", h, owner, e, paper);
        o.raw(def::Entity::subclass, face ? "AcDbFace" : "AcDbTrace");
        double z = face ? 0 : real(e, "elevation");
        o.point(def::Solid::corner0.code, pointOf(e, "corner1", z));
        o.point(def::Solid::corner1.code, pointOf(e, "corner2", z));
        o.point(def::Solid::corner2.code, pointOf(e, "corner3", z));
        o.point(def::Solid::corner3.code,
                e.contains(QLatin1String("corner4")) ? pointOf(e, "corner4", z) : pointOf(e, "corner3", z));
        if (face) {
            if (intOf(e, "flag") != 0) o.integer(def::Face3d::hiddenEdges.code, intOf(e, "flag") & 15);
        } else {
            thick();
            o.extrusion(ext);
        }
    } else if (type == "XLINE" || type == "RAY") {
        bool ray = type == "RAY";
        common(ray ? "RAY" : "XLINE", h, owner, e, paper);
        o.raw(def::Entity::subclass, ray ? "AcDbRay" : "AcDbXline");
        o.point(10, pointOf(e, "firstPoint"));
        o.point(11, pointOf(e, "unitDirection"));
    } else {
        return false;
    }
    return true;
}

void Builder::text(const EntityInfo& info, std::uint64_t owner, bool paper)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    if (e.value("type").is("TEXT")) {
        common("TEXT", info.handle, owner, e, paper);
        textBody(e, "text");
        o.raw(def::Entity::subclass, "AcDbText");
        if (intOf(e, "valign") != 0) o.integer(def::Text::valign.code, intOf(e, "valign"));
        return;
    }
    common("ATTDEF", info.handle, owner, e, paper);
    textBody(e, "text");
    o.raw(def::Entity::subclass, "AcDbAttributeDefinition");
    o.text(kAttdefPrompt, str(e, "prompt"));
    o.text(def::Attdef::tag.code, str(e, "tag"));
    o.integer(def::Attdef::flags.code, intOf(e, "flags"));
    if (intOf(e, "fieldLength") != 0) o.integer(kAttdefFieldLength, intOf(e, "fieldLength"));
    if (intOf(e, "valign") != 0) o.integer(def::Attdef::valign.code, intOf(e, "valign"));
}

void Builder::textBody(const JsonObject& e, const char* valueKey)
{
    Writer& o = w();
    double z = real(e, "elevation");
    o.raw(def::Entity::subclass, "AcDbText");
    if (real(e, "thickness") != 0) o.real(kThickness, real(e, "thickness"));
    o.point(def::Text::insert.code, pointOf(e, "startPoint", z));
    double height = real(e, "textHeight", 1);
    o.real(def::Text::height.code, height > 0 ? height : 1);
    o.text(def::Text::value.code, str(e, valueKey));
    if (real(e, "rotation") != 0) o.real(def::Text::rotation.code, real(e, "rotation") * kDegrees);
    double width = real(e, "xScale", 1);
    if (width != 1 && width > 0) o.real(def::Text::widthFactor.code, width);
    if (real(e, "obliqueAngle") != 0) o.real(def::Text::oblique.code, real(e, "obliqueAngle") * kDegrees);
    QString style = str(e, "styleName");
    if (!style.isEmpty() && styleNames_.count(upperKey(style))) o.text(def::Text::style.code, style);
    if (intOf(e, "generationFlag") != 0) o.integer(def::Text::generation.code, intOf(e, "generationFlag"));
    if (intOf(e, "halign") != 0) o.integer(def::Text::halign.code, intOf(e, "halign"));
    if (intOf(e, "halign") != 0 || intOf(e, "valign") != 0) o.point(def::Text::alignPoint.code, pointOf(e, "endPoint", z));
    o.extrusion(pointOf(e, "extrusionDirection", 1));
}

void Builder::lwpolyline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    common("LWPOLYLINE", info.handle, owner, e, paper);
    o.raw(def::Entity::subclass, "AcDbPolyline");
    JsonArray vertices = arr(e, "vertices");
    o.integer(kVertexCount, vertices.size());
    long long flag = intOf(e, "flag");
    o.integer(def::LwPolyline::flags.code, ((flag & 512) ? 1 : 0) | ((flag & 256) ? 128 : 0));
    if (real(e, "constantWidth") != 0) o.real(def::LwPolyline::constantWidth.code, real(e, "constantWidth"));
    if (real(e, "elevation") != 0) o.real(def::LwPolyline::elevation.code, real(e, "elevation"));
    if (real(e, "thickness") != 0) o.real(kThickness, real(e, "thickness"));
    for (const JsonValue& v : vertices) {
        JsonObject p = v.toObject();
        o.real(def::LwPolyline::vertex.code, real(p, "x"));
        o.real(def::LwPolyline::vertex.code + 10, real(p, "y"));
        if (p.contains(QLatin1String("startWidth")) || p.contains(QLatin1String("endWidth"))) {
            o.real(def::LwPolyline::startWidth.code, real(p, "startWidth"));
            o.real(def::LwPolyline::endWidth.code, real(p, "endWidth"));
        }
        if (real(p, "bulge") != 0) o.real(def::LwPolyline::bulge.code, real(p, "bulge"));
    }
    o.extrusion(ext);
}

void Builder::polyline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    bool is3d = e.value("type").is("POLYLINE3D");
    common("POLYLINE", info.handle, owner, e, paper);
    o.raw(def::Entity::subclass, is3d ? "AcDb3dPolyline" : "AcDb2dPolyline");
    o.integer(kEntitiesFollow, 1);
    o.point(def::Polyline::elevation.code, Point{0, 0, is3d ? 0 : real(e, "elevation")});
    if (real(e, "thickness") != 0) o.real(kThickness, real(e, "thickness"));
    long long flag = intOf(e, "flag") & ~(16 | 32 | 64);
    if (is3d) flag |= 8;
    else flag &= ~8;
    o.integer(def::Polyline::flags.code, flag);
    if (!is3d) {
        if (real(e, "startWidth") != 0) o.real(def::Polyline::startWidth.code, real(e, "startWidth"));
        if (real(e, "endWidth") != 0) o.real(def::Polyline::endWidth.code, real(e, "endWidth"));
    }
    if (intOf(e, "smoothType") != 0) o.integer(75, intOf(e, "smoothType"));
    o.extrusion(ext);
    JsonArray vertices = arr(e, "vertices");
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        JsonObject v = vertices[i].toObject();
        common("VERTEX", info.children[static_cast<std::size_t>(i)], info.handle, e, paper);
        o.raw(def::Entity::subclass, "AcDbVertex");
        o.raw(def::Entity::subclass, is3d ? "AcDb3dPolylineVertex" : "AcDb2dVertex");
        o.point(def::Vertex::location.code, Point{real(v, "x"), real(v, "y"), real(v, "z")});
        if (!is3d) {
            if (real(v, "startWidth") != 0) o.real(def::Vertex::startWidth.code, real(v, "startWidth"));
            if (real(v, "endWidth") != 0) o.real(def::Vertex::endWidth.code, real(v, "endWidth"));
            if (real(v, "bulge") != 0) o.real(def::Vertex::bulge.code, real(v, "bulge"));
        }
        long long vflag = intOf(v, "flag");
        o.integer(def::Vertex::flags.code, is3d ? (vflag | 32) & ~(64 | 128) : vflag & ~(32 | 64 | 128));
        if (!is3d && (vflag & 2) && real(v, "tangentDirection") != 0)
            o.real(50, real(v, "tangentDirection") * kDegrees);
    }
    seqend(info, e, paper);
}

void Builder::seqend(const EntityInfo& info, const JsonObject& e, bool paper)
{
    Writer& o = w();
    o.raw(dxf::code::kType, "SEQEND");
    o.handle(def::Common::handle.code, info.seqend);
    o.handle(def::Common::owner.code, info.handle);
    o.raw(def::Entity::subclass, "AcDbEntity");
    if (paper) o.integer(def::Entity::paperSpace.code, 1);
    o.raw(def::Entity::layer.code, layerText(e));
}

void Builder::spline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    common("SPLINE", info.handle, owner, e, paper);
    o.raw(def::Entity::subclass, "AcDbSpline");
    if (!isUnitZ(ext)) o.point(def::Entity::extrusion.code, ext);
    JsonArray knots = arr(e, "knots");
    JsonArray control = arr(e, "controlPoints");
    JsonArray fit = arr(e, "fitPoints");
    JsonArray weights = arr(e, "weights");
    long long flag = intOf(e, "flag") & 0x7FF;
    if (!weights.isEmpty()) flag |= 4;
    o.integer(def::Spline::flags.code, flag);
    o.integer(def::Spline::degree.code, intOf(e, "degree", 3));
    o.integer(72, knots.size());
    o.integer(73, control.size());
    o.integer(74, fit.size());
    o.real(42, real(e, "knotTolerance", 1e-10));
    o.real(43, real(e, "controlTolerance", 1e-10));
    if (!fit.isEmpty()) o.real(44, real(e, "fitTolerance", 1e-10));
    Point start = pointOf(e, "startTangent"), end = pointOf(e, "endTangent");
    if (!fit.isEmpty() && (start.x != 0 || start.y != 0 || start.z != 0)) o.point(12, start);
    if (!fit.isEmpty() && (end.x != 0 || end.y != 0 || end.z != 0)) o.point(13, end);
    for (const JsonValue& k : knots) o.real(def::Spline::knot.code, num(k));
    if (!weights.isEmpty() && weights.size() == control.size())
        for (const JsonValue& k : weights) o.real(def::Spline::weight.code, num(k, 1));
    for (const JsonValue& p : control) o.point(def::Spline::control.code, point(p));
    for (const JsonValue& p : fit) o.point(def::Spline::fit.code, point(p));
}

void Builder::mtext(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    common("MTEXT", info.handle, owner, e, paper);
    o.raw(def::Entity::subclass, "AcDbMText");
    o.point(def::MText::insert.code, pointOf(e, "insertionPoint"));
    double height = real(e, "textHeight", 1);
    o.real(def::MText::height.code, height > 0 ? height : 1);
    o.real(def::MText::width.code, real(e, "rectWidth"));
    if (real(e, "rectHeight") > 0) o.real(46, real(e, "rectHeight"));
    long long attach = intOf(e, "attachmentPoint", 1);
    o.integer(def::MText::attachment.code, attach >= 1 && attach <= 9 ? attach : 1);
    long long flow = intOf(e, "drawingDirection", 1);
    o.integer(72, flow == 1 || flow == 3 || flow == 5 ? flow : 1);
    o.chunks(str(e, "text"));
    QString style = str(e, "styleName");
    if (!style.isEmpty() && styleNames_.count(upperKey(style))) o.text(def::MText::style.code, style);
    o.extrusion(ext);
    Point dir = pointOf(e, "direction");
    if (dir.x != 0 || dir.y != 0 || dir.z != 0) o.point(def::MText::direction.code, dir);
    long long spacingStyle = intOf(e, "lineSpacingStyle", 1);
    o.integer(73, spacingStyle == 2 ? 2 : 1);
    double spacing = real(e, "lineSpacing", 1);
    o.real(def::MText::lineSpacing.code, spacing >= 0.25 && spacing <= 4 ? spacing : 1);
}

void Builder::insert(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    QString name = str(e, "name");
    if (!blockNames_.count(upperKey(name))) {
        ++skipped_;  // a reference to a block the drawing does not hold
        return;
    }
    JsonArray attribs = arr(e, "attribs");
    common("INSERT", info.handle, owner, e, paper);
    o.raw(def::Entity::subclass, "AcDbBlockReference");
    if (!attribs.isEmpty()) o.integer(def::Insert::attribsFollow.code, 1);
    o.text(def::Insert::block.code, name);
    o.point(def::Insert::insert.code, pointOf(e, "insertionPoint"));
    for (auto [code, key] : {std::pair{def::Insert::xscale.code, "xScale"}, {def::Insert::yscale.code, "yScale"}, {43, "zScale"}}) {
        double s = real(e, key, 1);
        if (s != 1 && s != 0) o.real(code, s);
    }
    if (real(e, "rotation") != 0) o.real(def::Insert::rotation.code, real(e, "rotation") * kDegrees);
    long long columns = intOf(e, "columnCount", 1), rows = intOf(e, "rowCount", 1);
    if (columns > 1) o.integer(def::Insert::columns.code, columns);
    if (rows > 1) o.integer(def::Insert::rows.code, rows);
    if (columns > 1 && real(e, "columnSpacing") != 0) o.real(def::Insert::columnSpacing.code, real(e, "columnSpacing"));
    if (rows > 1 && real(e, "rowSpacing") != 0) o.real(def::Insert::rowSpacing.code, real(e, "rowSpacing"));
    o.extrusion(ext);
    for (std::size_t i = 0; i < attribs.size(); ++i) {
        JsonObject a = attribs[i].toObject();
        common("ATTRIB", info.children[static_cast<std::size_t>(i)], info.handle, a, paper);
        textBody(a, "text");
        o.raw(def::Entity::subclass, "AcDbAttribute");
        o.text(def::Attrib::tag.code, str(a, "tag"));
        o.integer(def::Attrib::flags.code, intOf(a, "flags") & 15);
        if (intOf(a, "fieldLength") != 0) o.integer(kAttdefFieldLength, intOf(a, "fieldLength"));
        if (intOf(a, "valign") != 0) o.integer(def::Attrib::valign.code, intOf(a, "valign"));
    }
    if (!attribs.isEmpty()) seqend(info, e, paper);
}

void Builder::dimension(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
{
    const JsonObject& e = info.json;
    Writer& o = w();
    QString block = str(e, "name");
    QString kind = str(e, "kind");
    common("DIMENSION", info.handle, owner, e, paper);
    o.raw(dxf::code::kSubclass, "AcDbDimension");
    if (blockNames_.count(upperKey(block))) o.text(2, block);
    double z = real(e, "elevation");
    o.point(10, pointOf(e, "definitionPoint"));
    o.point(11, pointOf(e, "textPoint", z));
    static const std::unordered_map<std::string, int> types = {
        {"linear", 0}, {"aligned", 1}, {"angular2", 2}, {"diameter", 3},
        {"radius", 4}, {"angular3", 5}, {"ordinate", 6}};
    auto t = types.find(kind.toStdString());
    long long flags = intOf(e, "dimensionType") & ~7;
    flags |= t != types.end() ? t->second : 0;
    if (blockNames_.count(upperKey(block))) flags |= 32;
    o.integer(70, flags & 0xFF);
    long long attach = intOf(e, "attachmentPoint", 5);
    if (attach >= 1 && attach <= 9) o.integer(71, attach);
    o.integer(72, intOf(e, "textLineSpacingStyle", 1) == 2 ? 2 : 1);
    o.real(41, real(e, "textLineSpacingFactor", 1));
    o.real(42, real(e, "measurement"));
    if (!str(e, "text").isEmpty()) o.text(1, str(e, "text"));
    if (real(e, "textRotation") != 0) o.real(53, real(e, "textRotation") * kDegrees);
    o.extrusion(ext);
    QString style = str(e, "styleName");
    o.text(3, dimstyleNames_.count(upperKey(style)) ? style : QStringLiteral("Standard"));
    if (kind == QLatin1String("linear") || kind == QLatin1String("aligned")) {
        o.raw(dxf::code::kSubclass, "AcDbAlignedDimension");
        o.point(13, pointOf(e, "subDefinitionPoint1"));
        o.point(14, pointOf(e, "subDefinitionPoint2"));
        if (kind == QLatin1String("linear")) {
            o.real(50, real(e, "rotationAngle") * kDegrees);
            if (real(e, "obliqueAngle") != 0) o.real(52, real(e, "obliqueAngle") * kDegrees);
            o.raw(dxf::code::kSubclass, "AcDbRotatedDimension");
        }
    } else if (kind == QLatin1String("angular3")) {
        o.raw(dxf::code::kSubclass, "AcDb3PointAngularDimension");
        o.point(13, pointOf(e, "subDefinitionPoint1"));
        o.point(14, pointOf(e, "subDefinitionPoint2"));
        o.point(15, pointOf(e, "centerPoint"));
    } else if (kind == QLatin1String("angular2")) {
        o.raw(dxf::code::kSubclass, "AcDb2LineAngularDimension");
        o.point(13, pointOf(e, "subDefinitionPoint1"));
        o.point(14, pointOf(e, "subDefinitionPoint2"));
        o.point(15, pointOf(e, "centerPoint"));
        o.point(16, pointOf(e, "arcPoint"));
    } else if (kind == QLatin1String("radius") || kind == QLatin1String("diameter")) {
        o.raw(dxf::code::kSubclass, kind == QLatin1String("radius") ? "AcDbRadialDimension" : "AcDbDiametricDimension");
        o.point(15, pointOf(e, "centerPoint"));
        o.real(40, real(e, "leaderLength"));
    } else if (kind == QLatin1String("ordinate")) {
        o.raw(dxf::code::kSubclass, "AcDbOrdinateDimension");
        o.point(13, pointOf(e, "subDefinitionPoint1"));
        o.point(14, pointOf(e, "subDefinitionPoint2"));
    }
}

}  // namespace ddvue::dwg::detail
