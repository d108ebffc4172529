// The DWG reader's DXF writer: the TABLES section.
#include "ddvue/dwg/DwgDxfBuilder.h"

namespace ddvue::dwg::detail {

void Builder::tableStart(const Table& t, int count)
{
    using T = def::TableHead;
    auto o = start<T>(w());
    o.put(T::name, t.name).put(T::handle, t.handle).put(T::owner, 0);
    o.marker<sub::AcDbSymbolTable>().put(sub::AcDbSymbolTable::count, count);
    if (std::string_view(t.name) == "DIMSTYLE") o.marker<sub::AcDbDimStyleTable>().put(sub::AcDbDimStyleTable::count, 0);
}

template <class T, class S>
Out<T> Builder::entryStart(std::uint64_t handle, const Table& t)
{
    auto o = start<T>(w());
    o.put(T::handle, handle).put(T::owner, t.handle);
    o.template marker<sub::AcDbSymbolTableRecord>().template marker<S>();
    return o;
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
        using V = def::VPort;
        auto e = entryStart<V, sub::AcDbViewportTableRecord>(own(v.value(QLatin1String("handle"))), vport);
        e.put(V::name, "*Active").put(V::flags, 0);
        e.put(V::lowerLeft, Point{0, 0, 0}).put(V::upperRight, Point{1, 1, 0});
        e.put(V::center, pointOf(v, "center")).put(V::snapBase, pointOf(v, "snapBasePoint"));
        e.put(V::snapSpacing, v.contains(QLatin1String("snapSpacing")) ? pointOf(v, "snapSpacing") : Point{0.5, 0.5, 0});
        e.put(V::gridSpacing, v.contains(QLatin1String("gridSpacing")) ? pointOf(v, "gridSpacing") : Point{0.5, 0.5, 0});
        Point dir = v.contains(QLatin1String("viewDirectionFromTarget")) ? pointOf(v, "viewDirectionFromTarget")
                                                                          : Point{0, 0, 1};
        if (dir.x == 0 && dir.y == 0 && dir.z == 0) dir.z = 1;
        e.put(V::direction, dir).put(V::target, pointOf(v, "viewTarget"));
        double height = real(v, "viewHeight", 10);
        e.put(V::height, height > 0 ? height : 10);
        double aspect = real(v, "aspectRatio", 1);
        e.put(V::aspectRatio, aspect > 0 ? aspect : 1).put(V::lensLength, real(v, "lensLength", 50));
        e.put(V::frontClip, 0.0).put(V::backClip, 0.0).put(V::snapRotation, 0.0).put(V::twist, 0.0);
        e.put(V::viewMode, 0).put(V::circleZoom, 1000).put(V::fastZoom, 1).put(V::ucsIcon, 3);
        e.put(V::snapOn, 0).put(V::gridOn, 0).put(V::snapStyle, 0).put(V::snapIsopair, 0);
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
        using L = def::LineType;
        auto e = entryStart<L, sub::AcDbLinetypeTableRecord>(own(l.value(QLatin1String("handle"))), ltype);
        e.put(L::name, str(l, "name")).put(L::flags, intOf(l, "standardFlag") & 0x3F);
        e.put(L::description, str(l, "description")).put(L::alignment, 'A');
        JsonArray pattern = arr(l, "pattern");
        e.put(L::elementCount, pattern.size());
        double total = 0;
        for (const JsonValue& p : pattern) total += std::fabs(real(p.toObject(), "elementLength"));
        e.put(L::patternLength, l.contains(QLatin1String("totalPatternLength")) ? real(l, "totalPatternLength") : total);
        for (const JsonValue& p : pattern) e.put(L::elementLength, real(p.toObject(), "elementLength")).put(L::elementType, 0);
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
        using L = def::Layer;
        auto e = entryStart<L, sub::AcDbLayerTableRecord>(own(l.value(QLatin1String("handle"))), layer);
        const QString name = str(l, "name");
        // The reader's flags carry bits (16, 32) that in DXF mark a layer of
        // an external reference; only such a layer (named "ref|layer") keeps them.
        long long flags = intOf(l, "standardFlag") & 0x7F & ~64;
        if (!name.contains(QLatin1Char('|'))) flags &= ~(16 | 32);
        e.put(L::name, name).put(L::flags, flags);
        // A true colour goes with the colour number the drawing keeps
        // for it, else the nearest one.
        int color = static_cast<int>(intOf(l, "colorIndex", 0));
        JsonValue trueColor = l.value(QLatin1String("trueColor"));
        if (trueColor.isDouble() && (color < 1 || color > 255))
            color = nearestColorIndex(static_cast<std::uint32_t>(integer(trueColor)));
        if (color < 1 || color > 255) color = 7;
        e.put(L::color, l.value(QLatin1String("off")).toBool() ? -color : color);
        if (trueColor.isDouble()) e.put(L::trueColor, integer(trueColor) & 0xFFFFFF);
        QString lt = str(l, "lineType");
        if (!linetypeNames_.count(upperKey(lt)) || upperKey(lt) == QLatin1String("BYLAYER") ||
            upperKey(lt) == QLatin1String("BYBLOCK"))
            lt = QStringLiteral("Continuous");
        e.put(L::linetype, lt);
        if (l.value(QLatin1String("plot")).isDouble() && integer(l.value(QLatin1String("plot"))) == 0) e.put(L::plot, 0);
        if (l.contains(QLatin1String("lineweight"))) e.put(L::lineweight, lineWeight(intOf(l, "lineweight", 29)));
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
        using S = def::TextStyle;
        auto e = entryStart<S, sub::AcDbTextStyleTableRecord>(own(s.value(QLatin1String("handle"))), style);
        e.put(S::name, str(s, "name")).put(S::flags, intOf(s, "standardFlag") & 0x3F & ~16 & ~32);
        e.put(S::fixedHeight, real(s, "fixedTextHeight"));
        double width = real(s, "widthFactor", 1);
        e.put(S::widthFactor, width > 0 ? width : 1).put(S::oblique, real(s, "obliqueAngle") * kDegrees);
        e.put(S::generation, intOf(s, "textGenerationFlag")).put(S::lastHeight, real(s, "lastHeight", 2.5));
        QString font = str(s, "font");
        e.put(S::font, font.isEmpty() && !(intOf(s, "standardFlag") & 1) ? QStringLiteral("txt") : font);
        e.put(S::bigFont, str(s, "bigFont"));
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
        using A = def::AppId;
        entryStart<A, sub::AcDbRegAppTableRecord>(own(a.value(QLatin1String("handle"))), appid)
            .put(A::name, str(a, "name"))
            .put(A::flags, intOf(a, "flags") & 0x3F);
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
        using D = def::DimStyle;
        auto e = entryStart<D, sub::AcDbDimStyleTableRecord>(own(s.value(QLatin1String("handle"))), dimstyle);
        e.put(D::name, str(s, "name")).put(D::flags, 0);
        auto dimReal = [&](const auto& attr, const char* key) {
            if (s.value(QLatin1String(key)).isDouble()) e.put(attr, real(s, key));
        };
        auto dimInt = [&](const auto& attr, const char* key) {
            if (s.value(QLatin1String(key)).isDouble()) e.put(attr, intOf(s, key));
        };
        dimReal(D::dimscale, "DIMSCALE");
        dimReal(D::dimasz, "DIMASZ");
        dimReal(D::dimexo, "DIMEXO");
        dimReal(D::dimexe, "DIMEXE");
        dimReal(D::dimtxt, "DIMTXT");
        dimReal(D::dimlfac, "DIMLFAC");
        dimReal(D::dimgap, "DIMGAP");
        dimInt(D::dimtih, "DIMTIH");
        dimInt(D::dimtoh, "DIMTOH");
        dimInt(D::dimtad, "DIMTAD");
        dimInt(D::dimdec, "DIMDEC");
    }
    o.raw(dxf::code::kType, "ENDTAB");
}

void Builder::blockRecordTable()
{
    Writer& o = w();
    const Table& record = tables_[kBlockRecordTable];
    tableStart(record, static_cast<int>(blocksOut_.size()));
    for (const BlockInfo& b : blocksOut_) {
        using R = def::BlockRecord;
        entryStart<R, sub::AcDbBlockTableRecord>(b.record, record)
            .put(R::name, b.name)
            .put(R::layout, b.layout)
            .put(R::units, intOf(b.json, "insertionUnits"))
            .put(R::explodability, b.json.contains(QLatin1String("explodability")) ? intOf(b.json, "explodability") : 1)
            .put(R::scalability, intOf(b.json, "scalability"));
    }
    o.raw(dxf::code::kType, "ENDTAB");
}

}  // namespace ddvue::dwg::detail
