#include "ddvue/dwg/DwgDxfBuilder.h"

#include <QJsonDocument>

namespace ddvue::dwg::detail {

namespace {

std::array<std::uint32_t, 256> buildPalette()
{
    std::array<std::uint32_t, 256> p{};
    const std::uint32_t fixed[10] = {0x000000, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF,
                                     0x0000FF, 0xFF00FF, 0xFFFFFF, 0x808080, 0xC0C0C0};
    for (int i = 0; i < 10; ++i) p[static_cast<std::size_t>(i)] = fixed[i];
    // 10 to 249: 24 hues 15 degrees apart, each in five shades, every shade
    // saturated and then half-way to its grey.
    const double shades[5] = {255, 165, 127, 76, 38};
    for (int i = 10; i < 250; ++i) {
        double hue = (i - 10) / 10 * 15.0 / 60.0;
        int variant = (i - 10) % 10;
        double value = shades[variant / 2];
        double x = 1 - std::fabs(std::fmod(hue, 2.0) - 1);
        double rgb[3];
        switch (static_cast<int>(hue) % 6) {
        case 0: rgb[0] = 1, rgb[1] = x, rgb[2] = 0; break;
        case 1: rgb[0] = x, rgb[1] = 1, rgb[2] = 0; break;
        case 2: rgb[0] = 0, rgb[1] = 1, rgb[2] = x; break;
        case 3: rgb[0] = 0, rgb[1] = x, rgb[2] = 1; break;
        case 4: rgb[0] = x, rgb[1] = 0, rgb[2] = 1; break;
        default: rgb[0] = 1, rgb[1] = 0, rgb[2] = x; break;
        }
        std::uint32_t c = 0;
        for (double ch : rgb) {
            double v = ch * value;
            if (variant % 2) v += (value - v) / 2;
            c = (c << 8) | static_cast<std::uint32_t>(std::floor(v));
        }
        p[static_cast<std::size_t>(i)] = c;
    }
    const std::uint32_t greys[6] = {0x333333, 0x505050, 0x696969, 0x828282, 0xBEBEBE, 0xFFFFFF};
    for (int i = 0; i < 6; ++i) p[static_cast<std::size_t>(250 + i)] = greys[i];
    return p;
}

}  // namespace

DxfFromDwg Builder::build()
{
    collect();
    Writer w(codec_);
    w_ = &w;
    // Everything that needs a handle gets it before the header is
    // written, so that the handle seed stands above all of them.
    assignHandles();
    std::string body;
    {
        // Room for the whole drawing at once (about 200 bytes an entity),
        // header included: growing it step by step would copy it and touch
        // fresh memory again and again.
        std::size_t count = 0;
        for (const BlockInfo& block : blocksOut_) count += block.entities.size();
        Writer b(codec_, (count + 1024) * 256);
        w_ = &b;
        classes();
        tables();
        blocks();
        entities();
        objects();
        b.raw(dxf::code::kType, "EOF");
        body = std::move(b.out());
    }
    w_ = &w;
    header();
    body.insert(0, w.out());
    DxfFromDwg result;
    result.dxf = std::move(body);
    result.skippedEntities = skipped_;
    result.version = dwgVersion_;
    return result;
}

std::uint64_t Builder::handleOf(const JsonValue& v)
{
    std::string_view plain = v.plainString();
    auto h = !plain.empty() || !v.isString() ? Document::parseHandle(plain)
                                             : Document::parseHandle(v.toString().toStdString());
    return h ? *h : 0;
}

std::uint64_t Builder::own(const JsonValue& v)
{
    std::uint64_t h = handleOf(v);
    if (h == 0 || !used_.insert(h).second) {
        h = fresh();
        used_.insert(h);
    }
    return h;
}

void Builder::collect()
{
    for (const JsonValue& v : arr(d_, "layers")) layerNames_.insert(upperKey(str(v.toObject(), "name")));
    for (const JsonValue& v : arr(d_, "linetypes")) linetypeNames_.insert(upperKey(str(v.toObject(), "name")));
    for (const JsonValue& v : arr(d_, "styles")) styleNames_.insert(upperKey(str(v.toObject(), "name")));
    for (const JsonValue& v : arr(d_, "dimstyles")) dimstyleNames_.insert(upperKey(str(v.toObject(), "name")));
    for (const JsonValue& v : arr(d_, "blocks")) blockNames_.insert(upperKey(str(v.toObject(), "name")));
    JsonObject skipped = d_.value(QLatin1String("skipped")).toObject();
    for (auto it = skipped.begin(); it != skipped.end(); ++it) skipped_ += static_cast<int>(integer(it.value()));
}

void Builder::assignHandles()
{
    // Reserve every handle the drawing brings, so that new ones never
    // collide with them.
    // Handles live in the tables, the blocks, their entities and the
    // entities' attributes and vertices; points and the like hold none.
    static const std::set<std::string_view> holders = {"layers", "linetypes", "styles", "dimstyles", "appids",
                                                       "vports", "blocks", "entities", "attribs", "vertices",
                                                       "layouts", "imageDefinitions"};
    std::function<void(const JsonObject&)> reserve = [&](const JsonObject& o) {
        for (auto it = o.begin(); it != o.end(); ++it) {
            const std::string_view k = it.plainKey();
            if (k == "handle" || k == "seqend" || k == "begin" || k == "end") {
                if (std::uint64_t h = handleOf(it.value())) reserved_.insert(h);
            } else if (it.value().isArray() && holders.count(k)) {
                for (const JsonValue& e : it.value().toArray())
                    if (e.isObject()) reserve(e.toObject());
            }
        }
    };
    reserve(d_);
    JsonObject controls = d_.value(QLatin1String("controls")).toObject();
    for (auto it = controls.begin(); it != controls.end(); ++it)
        if (std::uint64_t h = handleOf(it.value())) reserved_.insert(h);
    for (const char* k : {"rootDictionary", "groupDictionary", "layoutDictionary", "imageDictionary"})
        if (std::uint64_t h = handleOf(d_.value(QLatin1String(k)))) reserved_.insert(h);
    for (std::uint64_t h : reserved_) next_ = std::max(next_, h + 1);

    for (Table& t : tables_) t.handle = ownControl(t.name);
    root_ = own(d_.value(QLatin1String("rootDictionary")));
    groups_ = own(d_.value(QLatin1String("groupDictionary")));
    layoutDict_ = own(d_.value(QLatin1String("layoutDictionary")));
    assignBlockHandles();
    assignEntityHandles();
}

void Builder::assignBlockHandles()
{
    // Block records, their BLOCK and ENDBLK, and the layouts of the spaces.
    for (const JsonValue& v : arr(d_, "blocks")) {
        JsonObject b = v.toObject();
        BlockInfo info;
        info.json = b;
        info.name = str(b, "name");
        info.record = own(b.value(QLatin1String("handle")));
        info.begin = own(b.value(QLatin1String("begin")));
        info.end = own(b.value(QLatin1String("end")));
        QString key = upperKey(info.name);
        info.isModel = key == QLatin1String("*MODEL_SPACE");
        info.isActivePaper = key == QLatin1String("*PAPER_SPACE");
        info.isLayout = info.isModel || key.startsWith(QLatin1String("*PAPER_SPACE"));
        byRecord_[info.record] = blocksOut_.size();
        blocksOut_.push_back(std::move(info));
    }
    for (const JsonValue& v : arr(d_, "layouts")) {
        JsonObject l = v.toObject();
        auto it = byRecord_.find(handleOf(l.value(QLatin1String("paperSpaceTableId"))));
        if (it == byRecord_.end() || blocksOut_[it->second].layout) continue;
        LayoutInfo info{own(l.value(QLatin1String("handle"))), str(l, "layoutName"), it->second, l};
        blocksOut_[it->second].layout = info.handle;
        layouts_.push_back(std::move(info));
    }
    // Drawings from before layouts (R14 and older) get one for model
    // space and one for each paper space.
    int paperCount = 0;
    for (std::size_t i = 0; i < blocksOut_.size(); ++i) {
        BlockInfo& b = blocksOut_[i];
        if (!b.isLayout || b.layout) continue;
        QString name = b.isModel ? QStringLiteral("Model") : QStringLiteral("Layout%1").arg(++paperCount);
        b.layout = fresh();
        layouts_.push_back(LayoutInfo{b.layout, name, i, JsonObject()});
    }
    // Images need their definitions.
    for (const JsonValue& v : arr(d_, "imageDefinitions")) {
        JsonObject o = v.toObject();
        std::uint64_t h = handleOf(o.value(QLatin1String("handle")));
        if (h && used_.insert(h).second) imageDefs_.push_back({h, o});
    }
    if (!imageDefs_.empty()) imageDict_ = own(d_.value(QLatin1String("imageDictionary")));
}

void Builder::assignEntityHandles()
{
    // Entities: their own handles, new ones for what has none.
    for (BlockInfo& b : blocksOut_) {
        for (const JsonValue& v : arr(b.json, "entities")) {
            JsonObject e = v.toObject();
            EntityInfo info;
            info.json = e;
            info.handle = own(e.value(QLatin1String("handle")));
            const std::string_view type = e.value("type").plainString();
            types_.insert(type);
            if (type == "INSERT") {
                for (const JsonValue& a : arr(e, "attribs"))
                    info.children.push_back(own(a.toObject().value(QLatin1String("handle"))));
                if (!info.children.empty()) info.seqend = own(e.value(QLatin1String("seqend")));
            } else if (type == "POLYLINE2D" || type == "POLYLINE3D") {
                for (const JsonValue& vx : arr(e, "vertices"))
                    info.children.push_back(own(vx.toObject().value(QLatin1String("handle"))));
                info.seqend = own(e.value(QLatin1String("seqend")));
            }
            b.entities.push_back(std::move(info));
        }
    }
}

std::uint64_t Builder::ownControl(const char* table)
{
    return own(d_.value(QLatin1String("controls")).toObject().value(QLatin1String(table)));
}

void Builder::header()
{
    Writer& o = w();
    JsonObject h = d_.value(QLatin1String("header")).toObject();
    o.raw(dxf::code::kType, "SECTION");
    o.raw(dxf::code::kName, "HEADER");
    namespace var = def::header;
    auto pt = [&](const auto& v, const char* key) {
        if (h.contains(QLatin1String(key))) o.variable(v, point(h.value(QLatin1String(key))));
    };
    auto number = [&](const auto& v, const char* key) {
        if (h.value(QLatin1String(key)).isDouble()) o.variable(v, num(h.value(QLatin1String(key))));
    };
    auto integer = [&](const auto& v, const char* key) {
        if (h.value(QLatin1String(key)).isDouble()) o.variable(v, detail::integer(h.value(QLatin1String(key))));
    };
    // A name the drawing's table holds, else the fallback.
    auto name = [&](const auto& v, const char* key, const std::set<QString>& known, const char* fallback) {
        QString n = h.value(QLatin1String(key)).toString();
        if (!known.count(upperKey(n))) n = QLatin1String(fallback);
        o.variable(v, n);
    };
    o.variable(var::acadver, std::string_view(version_));
    o.variable(var::dwgCodePage, codePage_);
    pt(var::insBase, "INSBASE");
    pt(var::extMin, "EXTMIN");
    pt(var::extMax, "EXTMAX");
    pt(var::limMin, "LIMMIN");
    pt(var::limMax, "LIMMAX");
    integer(var::orthoMode, "ORTHOMODE");
    integer(var::fillMode, "FILLMODE");
    integer(var::mirrText, "MIRRTEXT");
    number(var::ltScale, "LTSCALE");
    integer(var::attMode, "ATTMODE");
    number(var::textSize, "TEXTSIZE");
    name(var::textStyle, "TEXTSTYLE", styleNames_, "Standard");
    name(var::cLayer, "CLAYER", layerNames_, "0");
    name(var::cELType, "CELTYPE", linetypeNames_, "ByLayer");
    name(var::dimStyle, "DIMSTYLE", dimstyleNames_, "Standard");
    number(var::dimScale, "DIMSCALE");
    integer(var::lUnits, "LUNITS");
    integer(var::luPrec, "LUPREC");
    integer(var::aUnits, "AUNITS");
    integer(var::auPrec, "AUPREC");
    integer(var::angDir, "ANGDIR");
    integer(var::pdMode, "PDMODE");
    number(var::pdSize, "PDSIZE");
    number(var::plineWid, "PLINEWID");
    integer(var::tileMode, "TILEMODE");
    integer(var::psLtScale, "PSLTSCALE");
    integer(var::insUnits, "INSUNITS");
    integer(var::measurement, "MEASUREMENT");
    integer(var::lwDisplay, "LWDISPLAY");
    o.variable(var::handSeed, next_);
    o.raw(dxf::code::kType, "ENDSEC");
}

void Builder::classes()
{
    Writer& o = w();
    o.raw(dxf::code::kType, "SECTION");
    o.raw(dxf::code::kName, "CLASSES");
    auto cls = [&](const char* dxfName, const char* cppName, const char* app, int flags, bool entity) {
        using C = def::Class;
        start<C>(o)
            .put(C::dxfName, dxfName)
            .put(C::cppName, cppName)
            .put(C::application, app)
            .put(C::flags, flags)
            .put(C::wasProxy, 0)
            .put(C::isEntity, entity ? 1 : 0);
    };
    cls("LAYOUT", "AcDbLayout", "ObjectDBX Classes", 0, false);
    if (uses("IMAGE")) {
        cls("IMAGE", "AcDbRasterImage", "ISM", 127, true);
        cls("IMAGEDEF", "AcDbRasterImageDef", "ISM", 0, false);
    }
    if (uses("WIPEOUT")) cls("WIPEOUT", "AcDbWipeout", "WipeOut|AutoCAD Express Tool|expresstools@autodesk.com", 127, true);
    o.raw(dxf::code::kType, "ENDSEC");
}

bool Builder::uses(const char* type)
{
    return types_.count(type) != 0;
}

}  // namespace ddvue::dwg::detail

namespace ddvue::dwg {

using namespace detail;


std::string dxfVersionFor(const std::string& dwgVersion)
{
    if (dwgVersion.size() == 6 && dwgVersion.compare(0, 2, "AC") == 0 && dwgVersion > "AC1015" && dwgVersion <= "AC1032")
        return dwgVersion;
    return "AC1015";
}

int nearestColorIndex(std::uint32_t rgb)
{
    static const std::array<std::uint32_t, 256> palette = buildPalette();
    int r = static_cast<int>((rgb >> 16) & 0xFF), g = static_cast<int>((rgb >> 8) & 0xFF), b = static_cast<int>(rgb & 0xFF);
    int best = 7;
    long bestDistance = -1;
    for (int i = 1; i < 256; ++i) {
        std::uint32_t c = palette[static_cast<std::size_t>(i)];
        int dr = r - static_cast<int>((c >> 16) & 0xFF), dg = g - static_cast<int>((c >> 8) & 0xFF),
            db = b - static_cast<int>(c & 0xFF);
        long d = static_cast<long>(dr) * dr + static_cast<long>(dg) * dg + static_cast<long>(db) * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

DxfFromDwg writeDxfFromDwg(const JsonObject& drawing) { return Builder(drawing).build(); }

DxfFromDwg writeDxfFromDwg(const QJsonObject& drawing)
{
    JsonDocument doc;
    doc.parse(QJsonDocument(drawing).toJson(QJsonDocument::Compact).toStdString());
    return writeDxfFromDwg(doc.root().toObject());
}

}  // namespace ddvue::dwg
