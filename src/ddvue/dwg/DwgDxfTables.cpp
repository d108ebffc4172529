// The DWG reader's DXF writer: the TABLES section.
#include "ddvue/dwg/DwgDxfBuilder.h"

namespace ddvue::dwg::detail {

void Builder::tableStart(const Table& t, int count)
{
    Writer& o = w();
    o.raw(dxf::code::kType, "TABLE");
    o.raw(dxf::code::kName, t.name);
    o.handle(dxf::code::kHandle, t.handle);
    o.handle(dxf::code::kOwner, 0);
    o.raw(dxf::code::kSubclass, "AcDbSymbolTable");
    o.integer(70, count);
    if (std::string_view(t.name) == "DIMSTYLE") {
        o.raw(dxf::code::kSubclass, "AcDbDimStyleTable");
        o.integer(71, 0);
    }
}

void Builder::entryStart(const char* type, std::uint64_t handle, const Table& t, const char* subclass)
{
    Writer& o = w();
    o.raw(dxf::code::kType, type);
    o.handle(std::string_view(type) == "DIMSTYLE" ? 105 : 5, handle);
    o.handle(dxf::code::kOwner, t.handle);
    o.raw(dxf::code::kSubclass, "AcDbSymbolTableRecord");
    o.raw(dxf::code::kSubclass, subclass);
}

std::vector<JsonObject> Builder::entries(const char* key, std::initializer_list<const char*> required)
{
    std::vector<JsonObject> out;
    std::set<QString> names;
    for (const JsonValue& v : arr(d_, key)) {
        JsonObject o = v.toObject();
        QString name = str(o, "name");
        if (name.isEmpty() || !names.insert(upperKey(name)).second) continue;
        out.push_back(o);
    }
    for (const char* r : required) {
        if (names.count(upperKey(QLatin1String(r)))) continue;
        // An entry of that name only; documents of its own, kept while the
        // builder lives.
        auto& made = made_.emplace_back();
        made.parse(std::string("{\"name\":\"") + r + "\"}");
        out.push_back(made.root().toObject());
        if (std::string_view(key) == "layers") layerNames_.insert(upperKey(QLatin1String(r)));
        if (std::string_view(key) == "linetypes") linetypeNames_.insert(upperKey(QLatin1String(r)));
        if (std::string_view(key) == "styles") styleNames_.insert(upperKey(QLatin1String(r)));
        if (std::string_view(key) == "dimstyles") dimstyleNames_.insert(upperKey(QLatin1String(r)));
    }
    return out;
}

void Builder::tables()
{
    Writer& o = w();
    o.raw(dxf::code::kType, "SECTION");
    o.raw(dxf::code::kName, "TABLES");
    vportTable();
    linetypeTable();
    layerTable();
    styleTable();
    tableStart(tables_[kViewTable], 0);
    o.raw(dxf::code::kType, "ENDTAB");
    tableStart(tables_[kUcsTable], 0);
    o.raw(dxf::code::kType, "ENDTAB");
    appidTable();
    dimstyleTable();
    blockRecordTable();
    o.raw(dxf::code::kType, "ENDSEC");
}

void Builder::vportTable()
{
    Writer& o = w();
    const Table& vport = tables_[kVportTable];
    // Viewports: the active one, which sets the initial view.
    std::vector<JsonObject> vports;
    for (const JsonValue& v : arr(d_, "vports"))
        if (str(v.toObject(), "name").compare(QLatin1String("*Active"), Qt::CaseInsensitive) == 0) {
            vports.push_back(v.toObject());
            break;
        }
    if (vports.empty()) vports.emplace_back();
    tableStart(vport, static_cast<int>(vports.size()));
    for (const JsonObject& v : vports) {
        entryStart("VPORT", own(v.value(QLatin1String("handle"))), vport, "AcDbViewportTableRecord");
        o.raw(dxf::code::kName, "*Active");
        o.integer(70, 0);
        o.point(10, Point{0, 0, 0}, false);
        o.point(11, Point{1, 1, 0}, false);
        o.point(12, pointOf(v, "center"), false);
        o.point(13, pointOf(v, "snapBasePoint"), false);
        o.point(14, v.contains(QLatin1String("snapSpacing")) ? pointOf(v, "snapSpacing") : Point{0.5, 0.5, 0}, false);
        o.point(15, v.contains(QLatin1String("gridSpacing")) ? pointOf(v, "gridSpacing") : Point{0.5, 0.5, 0}, false);
        Point dir = v.contains(QLatin1String("viewDirectionFromTarget")) ? pointOf(v, "viewDirectionFromTarget")
                                                                          : Point{0, 0, 1};
        if (dir.x == 0 && dir.y == 0 && dir.z == 0) dir.z = 1;
        o.point(16, dir);
        o.point(17, pointOf(v, "viewTarget"));
        double height = real(v, "viewHeight", 10);
        o.real(40, height > 0 ? height : 10);
        double aspect = real(v, "aspectRatio", 1);
        o.real(41, aspect > 0 ? aspect : 1);
        o.real(42, real(v, "lensLength", 50));
        o.real(43, 0);
        o.real(44, 0);
        o.real(50, 0);
        o.real(51, 0);
        o.integer(71, 0);
        o.integer(72, 1000);
        o.integer(73, 1);
        o.integer(74, 3);
        o.integer(75, 0);
        o.integer(76, 0);
        o.integer(77, 0);
        o.integer(78, 0);
    }
    o.raw(dxf::code::kType, "ENDTAB");
}

void Builder::linetypeTable()
{
    Writer& o = w();
    const Table& ltype = tables_[kLinetypeTable];
    std::vector<JsonObject> ltypes = entries("linetypes", {"ByBlock", "ByLayer", "Continuous"});
    tableStart(ltype, static_cast<int>(ltypes.size()));
    for (const JsonObject& l : ltypes) {
        entryStart("LTYPE", own(l.value(QLatin1String("handle"))), ltype, "AcDbLinetypeTableRecord");
        o.text(2, str(l, "name"));
        o.integer(70, intOf(l, "standardFlag") & 0x3F);
        o.text(3, str(l, "description"));
        o.integer(72, 65);
        JsonArray pattern = arr(l, "pattern");
        o.integer(73, pattern.size());
        double total = 0;
        for (const JsonValue& p : pattern) total += std::fabs(real(p.toObject(), "elementLength"));
        o.real(40, l.contains(QLatin1String("totalPatternLength")) ? real(l, "totalPatternLength") : total);
        for (const JsonValue& p : pattern) {
            o.real(49, real(p.toObject(), "elementLength"));
            o.integer(74, 0);
        }
    }
    o.raw(dxf::code::kType, "ENDTAB");
}

void Builder::layerTable()
{
    Writer& o = w();
    const Table& layer = tables_[kLayerTable];
    std::vector<JsonObject> layers = entries("layers", {"0"});
    tableStart(layer, static_cast<int>(layers.size()));
    for (const JsonObject& l : layers) {
        entryStart("LAYER", own(l.value(QLatin1String("handle"))), layer, "AcDbLayerTableRecord");
        const QString name = str(l, "name");
        o.text(def::Layer::name.code, name);
        // The reader's flags carry bits (16, 32) that in DXF mark a layer of
        // an external reference; only such a layer (named "ref|layer") keeps them.
        int flags = static_cast<int>(intOf(l, "standardFlag")) & 0x7F & ~64;
        if (!name.contains(QLatin1Char('|'))) flags &= ~(16 | 32);
        o.integer(def::Layer::flags.code, flags);
        // A true colour goes with the colour number the drawing keeps
        // for it, else the nearest one.
        int color = static_cast<int>(intOf(l, "colorIndex", 0));
        JsonValue trueColor = l.value(QLatin1String("trueColor"));
        if (trueColor.isDouble() && (color < 1 || color > 255))
            color = nearestColorIndex(static_cast<std::uint32_t>(integer(trueColor)));
        if (color < 1 || color > 255) color = 7;
        o.integer(def::Layer::color.code, l.value(QLatin1String("off")).toBool() ? -color : color);
        if (trueColor.isDouble()) o.integer(def::Layer::trueColor.code, integer(trueColor) & 0xFFFFFF);
        QString lt = str(l, "lineType");
        if (!linetypeNames_.count(upperKey(lt)) || upperKey(lt) == QLatin1String("BYLAYER") ||
            upperKey(lt) == QLatin1String("BYBLOCK"))
            lt = QStringLiteral("Continuous");
        o.text(def::Layer::linetype.code, lt);
        if (l.value(QLatin1String("plot")).isDouble() && integer(l.value(QLatin1String("plot"))) == 0) o.integer(290, 0);
        if (l.contains(QLatin1String("lineweight"))) o.integer(370, lineWeight(intOf(l, "lineweight", 29)));
    }
    o.raw(dxf::code::kType, "ENDTAB");
}

void Builder::styleTable()
{
    Writer& o = w();
    const Table& style = tables_[kStyleTable];
    std::vector<JsonObject> styles = entries("styles", {"Standard"});
    tableStart(style, static_cast<int>(styles.size()));
    for (const JsonObject& s : styles) {
        entryStart("STYLE", own(s.value(QLatin1String("handle"))), style, "AcDbTextStyleTableRecord");
        o.text(2, str(s, "name"));
        o.integer(70, intOf(s, "standardFlag") & 0x3F & ~16 & ~32);
        o.real(40, real(s, "fixedTextHeight"));
        double width = real(s, "widthFactor", 1);
        o.real(41, width > 0 ? width : 1);
        o.real(50, real(s, "obliqueAngle") * kDegrees);
        o.integer(71, intOf(s, "textGenerationFlag"));
        o.real(42, real(s, "lastHeight", 2.5));
        QString font = str(s, "font");
        o.text(3, font.isEmpty() && !(intOf(s, "standardFlag") & 1) ? QStringLiteral("txt") : font);
        o.text(4, str(s, "bigFont"));
    }
    o.raw(dxf::code::kType, "ENDTAB");
}

void Builder::appidTable()
{
    Writer& o = w();
    const Table& appid = tables_[kAppidTable];
    std::vector<JsonObject> appids = entries("appids", {"ACAD"});
    tableStart(appid, static_cast<int>(appids.size()));
    for (const JsonObject& a : appids) {
        entryStart("APPID", own(a.value(QLatin1String("handle"))), appid, "AcDbRegAppTableRecord");
        o.text(2, str(a, "name"));
        o.integer(70, intOf(a, "flags") & 0x3F);
    }
    o.raw(dxf::code::kType, "ENDTAB");
}

void Builder::dimstyleTable()
{
    Writer& o = w();
    const Table& dimstyle = tables_[kDimstyleTable];
    std::vector<JsonObject> dimstyles = entries("dimstyles", {"Standard"});
    tableStart(dimstyle, static_cast<int>(dimstyles.size()));
    for (const JsonObject& s : dimstyles) {
        entryStart("DIMSTYLE", own(s.value(QLatin1String("handle"))), dimstyle, "AcDbDimStyleTableRecord");
        o.text(2, str(s, "name"));
        o.integer(70, 0);
        auto dimReal = [&](int code, const char* key) {
            if (s.value(QLatin1String(key)).isDouble()) o.real(code, real(s, key));
        };
        auto dimInt = [&](int code, const char* key) {
            if (s.value(QLatin1String(key)).isDouble()) o.integer(code, intOf(s, key));
        };
        dimReal(40, "DIMSCALE");
        dimReal(41, "DIMASZ");
        dimReal(42, "DIMEXO");
        dimReal(44, "DIMEXE");
        dimReal(140, "DIMTXT");
        dimReal(144, "DIMLFAC");
        dimReal(147, "DIMGAP");
        dimInt(73, "DIMTIH");
        dimInt(74, "DIMTOH");
        dimInt(77, "DIMTAD");
        dimInt(271, "DIMDEC");
    }
    o.raw(dxf::code::kType, "ENDTAB");
}

void Builder::blockRecordTable()
{
    Writer& o = w();
    const Table& record = tables_[kBlockRecordTable];
    tableStart(record, static_cast<int>(blocksOut_.size()));
    for (const BlockInfo& b : blocksOut_) {
        entryStart("BLOCK_RECORD", b.record, record, "AcDbBlockTableRecord");
        o.text(2, b.name);
        o.handle(340, b.layout);
        o.integer(70, intOf(b.json, "insertionUnits"));
        o.integer(280, b.json.contains(QLatin1String("explodability")) ? intOf(b.json, "explodability") : 1);
        o.integer(281, intOf(b.json, "scalability"));
    }
    o.raw(dxf::code::kType, "ENDTAB");
}

}  // namespace ddvue::dwg::detail
