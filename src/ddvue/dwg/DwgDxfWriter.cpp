#include "ddvue/dwg/DwgDxfWriter.h"

#include "ddvue/ContentDocument.h"
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/TextCodec.h"

#include <QJsonArray>
#include <QJsonValue>

#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace ddvue::dwg {

using dxf::Document;

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

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

// The stored form of a text value: control characters in DXF's caret form,
// so that no value spans lines.
std::string caretForm(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    std::string out;
    out.reserve(static_cast<std::size_t>(utf8.size()));
    for (char c : utf8) {
        auto b = static_cast<unsigned char>(c);
        if (b == 0) continue;
        if (b < 0x20) {
            out.push_back('^');
            out.push_back(static_cast<char>(b + 0x40));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

double num(const QJsonValue& v, double fallback = 0)
{
    if (v.isDouble()) {
        double d = v.toDouble();
        return std::isfinite(d) ? d : fallback;
    }
    if (v.isBool()) return v.toBool() ? 1 : 0;
    return fallback;
}

long long integer(const QJsonValue& v, long long fallback = 0)
{
    if (v.isDouble()) {
        double d = v.toDouble();
        if (std::isfinite(d) && std::fabs(d) < 9e15) return static_cast<long long>(d);
    }
    if (v.isBool()) return v.toBool() ? 1 : 0;
    return fallback;
}

struct Point {
    double x = 0, y = 0, z = 0;
};

Point point(const QJsonValue& v, double z = 0)
{
    QJsonObject o = v.toObject();
    Point p{num(o.value(QLatin1String("x"))), num(o.value(QLatin1String("y"))), z};
    if (o.contains(QLatin1String("z"))) p.z = num(o.value(QLatin1String("z")), z);
    return p;
}

bool isUnitZ(const Point& p) { return p.x == 0 && p.y == 0 && (p.z == 1 || p.z == 0); }

// Line weights as DWG stores them (an index) and as DXF writes them (1/100 mm).
int lineWeight(long long index)
{
    static const int table[] = {0, 5, 9, 13, 15, 18, 20, 25, 30, 35, 40, 50,
                                53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
    if (index >= 0 && index < 24) return table[index];
    if (index == 30) return -2;  // by block
    if (index == 31) return -3;  // default
    return -1;                   // by layer
}

class Writer {
public:
    explicit Writer(std::shared_ptr<const dxf::TextCodec> codec) : codec_(std::move(codec)) { out_.reserve(1 << 20); }

    // A group code right-aligned in three places, as CAD programs write it.
    void code(int c)
    {
        char buf[16];
        char* end = buf + sizeof buf;
        char* p = end;
        *--p = '\n';
        *--p = '\r';
        bool negative = c < 0;
        unsigned v = negative ? 0u - static_cast<unsigned>(c) : static_cast<unsigned>(c);
        do {
            *--p = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v);
        if (negative) *--p = '-';
        while (end - p < 5) *--p = ' ';
        out_.append(p, static_cast<std::size_t>(end - p));
    }
    void raw(int c, std::string_view value)
    {
        code(c);
        out_ += value;
        out_ += "\r\n";
    }
    void text(int c, const QString& value) { raw(c, codec_->encode(caretForm(value))); }
    void real(int c, double v) { raw(c, formatNumber(v)); }
    void integer(int c, long long v) { raw(c, std::to_string(v)); }
    void handle(int c, std::uint64_t h) { raw(c, Document::formatHandle(h)); }
    void point(int c, const Point& p, bool withZ = true)
    {
        real(c, p.x);
        real(c + 10, p.y);
        if (withZ) real(c + 20, p.z);
    }
    void extrusion(const Point& p)
    {
        if (!isUnitZ(p)) point(210, p);
    }
    // Multi-line text: 250-byte pieces, every full one as 3, the last as 1.
    void chunks(const QString& value)
    {
        std::vector<std::string> pieces = dxf::splitChunks(*codec_, caretForm(value));
        for (std::size_t k = 0; k < pieces.size(); ++k) raw(k + 1 == pieces.size() ? 1 : 3, pieces[k]);
    }

    std::string& out() { return out_; }

private:
    std::shared_ptr<const dxf::TextCodec> codec_;
    std::string out_;
};

QString str(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }
double real(const QJsonObject& o, const char* key, double fallback = 0) { return num(o.value(QLatin1String(key)), fallback); }
long long intOf(const QJsonObject& o, const char* key, long long fallback = 0)
{
    return integer(o.value(QLatin1String(key)), fallback);
}
Point pointOf(const QJsonObject& o, const char* key, double z = 0) { return point(o.value(QLatin1String(key)), z); }
QJsonArray arr(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toArray(); }

QString upperKey(const QString& s) { return s.toUpper(); }

class Builder {
public:
    explicit Builder(const QJsonObject& d) : d_(d)
    {
        dwgVersion_ = str(d, "version").toStdString();
        version_ = dxfVersionFor(dwgVersion_);
        codePage_ = str(d, "codePage");
        if (codePage_.isEmpty()) codePage_ = QStringLiteral("ANSI_1252");
        codec_ = dxf::TextCodec::forDrawing(version_, codePage_.toStdString());
        next_ = handleOf(d.value(QLatin1String("maxHandle"))) + 1;
    }

    DxfFromDwg build()
    {
        collect();
        Writer w(codec_);
        w_ = &w;
        // Everything that needs a handle gets it before the header is
        // written, so that the handle seed stands above all of them.
        assignHandles();
        std::string body;
        {
            Writer b(codec_);
            w_ = &b;
            classes();
            tables();
            blocks();
            entities();
            objects();
            b.raw(0, "EOF");
            body = std::move(b.out());
        }
        w_ = &w;
        header();
        w.out() += body;
        DxfFromDwg result;
        result.dxf = std::move(w.out());
        result.skippedEntities = skipped_;
        result.version = dwgVersion_;
        return result;
    }

private:
    struct EntityInfo {
        QJsonObject json;
        std::uint64_t handle = 0;
        std::vector<std::uint64_t> children;  // ATTRIBs or VERTEXes
        std::uint64_t seqend = 0;
    };
    struct BlockInfo {
        QJsonObject json;
        QString name;
        std::uint64_t record = 0, begin = 0, end = 0, layout = 0;
        bool isModel = false, isActivePaper = false, isLayout = false;
        std::vector<EntityInfo> entities;
    };
    struct LayoutInfo {
        std::uint64_t handle;
        QString name;
        std::size_t block;
        QJsonObject json;
    };

    struct Table {
        const char* name;
        std::uint64_t handle = 0;
    };

    std::uint64_t handleOf(const QJsonValue& v)
    {
        auto h = Document::parseHandle(v.toString().toStdString());
        return h ? *h : 0;
    }
    std::uint64_t fresh() { return next_++; }
    // The DWG's handle for an object, or a new one when it has none or one
    // that is already taken.
    std::uint64_t own(const QJsonValue& v)
    {
        std::uint64_t h = handleOf(v);
        if (h == 0 || !used_.insert(h).second) {
            h = fresh();
            used_.insert(h);
        }
        return h;
    }

    Writer& w() { return *w_; }

    void collect()
    {
        for (const QJsonValue& v : arr(d_, "layers")) layerNames_.insert(upperKey(str(v.toObject(), "name")));
        for (const QJsonValue& v : arr(d_, "linetypes")) linetypeNames_.insert(upperKey(str(v.toObject(), "name")));
        for (const QJsonValue& v : arr(d_, "styles")) styleNames_.insert(upperKey(str(v.toObject(), "name")));
        for (const QJsonValue& v : arr(d_, "dimstyles")) dimstyleNames_.insert(upperKey(str(v.toObject(), "name")));
        for (const QJsonValue& v : arr(d_, "blocks")) blockNames_.insert(upperKey(str(v.toObject(), "name")));
        QJsonObject skipped = d_.value(QLatin1String("skipped")).toObject();
        for (auto it = skipped.begin(); it != skipped.end(); ++it) skipped_ += static_cast<int>(integer(it.value()));
    }

    void assignHandles()
    {
        // Reserve every handle the drawing brings, so that new ones never
        // collide with them.
        // Handles live in the tables, the blocks, their entities and the
        // entities' attributes and vertices; points and the like hold none.
        static const std::set<QString> holders = {
            QStringLiteral("layers"), QStringLiteral("linetypes"), QStringLiteral("styles"),
            QStringLiteral("dimstyles"), QStringLiteral("appids"), QStringLiteral("vports"),
            QStringLiteral("blocks"), QStringLiteral("entities"), QStringLiteral("attribs"),
            QStringLiteral("vertices"), QStringLiteral("layouts"), QStringLiteral("imageDefinitions")};
        std::function<void(const QJsonValue&)> reserve = [&](const QJsonValue& v) {
            if (v.isObject()) {
                QJsonObject o = v.toObject();
                for (auto it = o.begin(); it != o.end(); ++it) {
                    const QString k = it.key();
                    if (k == QLatin1String("handle") || k == QLatin1String("seqend") || k == QLatin1String("begin") ||
                        k == QLatin1String("end")) {
                        if (std::uint64_t h = handleOf(it.value())) reserved_.insert(h);
                    } else if (it.value().isArray() && holders.count(k)) {
                        reserve(it.value());
                    }
                }
            } else if (v.isArray()) {
                for (const QJsonValue& e : v.toArray())
                    if (e.isObject()) reserve(e);
            }
        };
        reserve(d_);
        QJsonObject controls = d_.value(QLatin1String("controls")).toObject();
        for (auto it = controls.begin(); it != controls.end(); ++it)
            if (std::uint64_t h = handleOf(it.value())) reserved_.insert(h);
        for (const char* k : {"rootDictionary", "groupDictionary", "layoutDictionary", "imageDictionary"})
            if (std::uint64_t h = handleOf(d_.value(QLatin1String(k)))) reserved_.insert(h);
        for (std::uint64_t h : reserved_) next_ = std::max(next_, h + 1);

        for (Table& t : tables_) t.handle = ownControl(t.name);
        root_ = own(d_.value(QLatin1String("rootDictionary")));
        groups_ = own(d_.value(QLatin1String("groupDictionary")));
        layoutDict_ = own(d_.value(QLatin1String("layoutDictionary")));

        // Block records, their BLOCK and ENDBLK, and the layouts of the spaces.
        for (const QJsonValue& v : arr(d_, "blocks")) {
            QJsonObject b = v.toObject();
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
        for (const QJsonValue& v : arr(d_, "layouts")) {
            QJsonObject l = v.toObject();
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
            layouts_.push_back(LayoutInfo{b.layout, name, i, QJsonObject()});
        }
        // Images need their definitions.
        for (const QJsonValue& v : arr(d_, "imageDefinitions")) {
            QJsonObject o = v.toObject();
            std::uint64_t h = handleOf(o.value(QLatin1String("handle")));
            if (h && used_.insert(h).second) imageDefs_.push_back({h, o});
        }
        if (!imageDefs_.empty()) imageDict_ = own(d_.value(QLatin1String("imageDictionary")));

        // Entities: their own handles, new ones for what has none.
        for (BlockInfo& b : blocksOut_) {
            for (const QJsonValue& v : arr(b.json, "entities")) {
                QJsonObject e = v.toObject();
                EntityInfo info;
                info.json = e;
                info.handle = own(e.value(QLatin1String("handle")));
                QString type = str(e, "type");
                if (type == QLatin1String("INSERT")) {
                    for (const QJsonValue& a : arr(e, "attribs"))
                        info.children.push_back(own(a.toObject().value(QLatin1String("handle"))));
                    if (!info.children.empty()) info.seqend = own(e.value(QLatin1String("seqend")));
                } else if (type == QLatin1String("POLYLINE2D") || type == QLatin1String("POLYLINE3D")) {
                    for (const QJsonValue& vx : arr(e, "vertices"))
                        info.children.push_back(own(vx.toObject().value(QLatin1String("handle"))));
                    info.seqend = own(e.value(QLatin1String("seqend")));
                }
                b.entities.push_back(std::move(info));
            }
        }
    }

    std::uint64_t ownControl(const char* table)
    {
        return own(d_.value(QLatin1String("controls")).toObject().value(QLatin1String(table)));
    }

    // ------------------------------------------------------------ header

    void header()
    {
        Writer& o = w();
        QJsonObject h = d_.value(QLatin1String("header")).toObject();
        o.raw(0, "SECTION");
        o.raw(2, "HEADER");
        auto var = [&](const char* name) { o.raw(9, name); };
        auto pt = [&](const char* name, const char* key, bool withZ) {
            if (!h.contains(QLatin1String(key))) return;
            var(name);
            o.point(10, point(h.value(QLatin1String(key))), withZ);
        };
        auto intVar = [&](const char* name, const char* key, int code = 70) {
            if (!h.value(QLatin1String(key)).isDouble()) return;
            var(name);
            o.integer(code, integer(h.value(QLatin1String(key))));
        };
        auto realVar = [&](const char* name, const char* key) {
            if (!h.value(QLatin1String(key)).isDouble()) return;
            var(name);
            o.real(40, num(h.value(QLatin1String(key))));
        };
        auto nameVar = [&](const char* name, const char* key, int code, const std::set<QString>& known,
                           const char* fallback) {
            QString v = h.value(QLatin1String(key)).toString();
            if (!known.count(upperKey(v))) v = QLatin1String(fallback);
            var(name);
            o.text(code, v);
        };
        var("$ACADVER");
        o.raw(1, version_);
        var("$DWGCODEPAGE");
        o.text(3, codePage_);
        pt("$INSBASE", "INSBASE", true);
        pt("$EXTMIN", "EXTMIN", true);
        pt("$EXTMAX", "EXTMAX", true);
        pt("$LIMMIN", "LIMMIN", false);
        pt("$LIMMAX", "LIMMAX", false);
        intVar("$ORTHOMODE", "ORTHOMODE");
        intVar("$FILLMODE", "FILLMODE");
        intVar("$MIRRTEXT", "MIRRTEXT");
        realVar("$LTSCALE", "LTSCALE");
        intVar("$ATTMODE", "ATTMODE");
        realVar("$TEXTSIZE", "TEXTSIZE");
        nameVar("$TEXTSTYLE", "TEXTSTYLE", 7, styleNames_, "Standard");
        nameVar("$CLAYER", "CLAYER", 8, layerNames_, "0");
        nameVar("$CELTYPE", "CELTYPE", 6, linetypeNames_, "ByLayer");
        nameVar("$DIMSTYLE", "DIMSTYLE", 2, dimstyleNames_, "Standard");
        realVar("$DIMSCALE", "DIMSCALE");
        intVar("$LUNITS", "LUNITS");
        intVar("$LUPREC", "LUPREC");
        intVar("$AUNITS", "AUNITS");
        intVar("$AUPREC", "AUPREC");
        intVar("$ANGDIR", "ANGDIR");
        intVar("$PDMODE", "PDMODE");
        realVar("$PDSIZE", "PDSIZE");
        realVar("$PLINEWID", "PLINEWID");
        intVar("$TILEMODE", "TILEMODE");
        intVar("$PSLTSCALE", "PSLTSCALE");
        intVar("$INSUNITS", "INSUNITS");
        intVar("$MEASUREMENT", "MEASUREMENT");
        intVar("$LWDISPLAY", "LWDISPLAY", 290);
        var("$HANDSEED");
        o.handle(5, next_);
        o.raw(0, "ENDSEC");
    }

    // ------------------------------------------------------------ classes

    void classes()
    {
        Writer& o = w();
        o.raw(0, "SECTION");
        o.raw(2, "CLASSES");
        auto cls = [&](const char* dxfName, const char* cppName, const char* app, int flags, bool entity) {
            o.raw(0, "CLASS");
            o.raw(1, dxfName);
            o.raw(2, cppName);
            o.raw(3, app);
            o.integer(90, flags);
            o.integer(280, 0);
            o.integer(281, entity ? 1 : 0);
        };
        cls("LAYOUT", "AcDbLayout", "ObjectDBX Classes", 0, false);
        if (uses("IMAGE")) {
            cls("IMAGE", "AcDbRasterImage", "ISM", 127, true);
            cls("IMAGEDEF", "AcDbRasterImageDef", "ISM", 0, false);
        }
        if (uses("WIPEOUT")) cls("WIPEOUT", "AcDbWipeout", "WipeOut|AutoCAD Express Tool|expresstools@autodesk.com", 127, true);
        o.raw(0, "ENDSEC");
    }

    bool uses(const char* type)
    {
        for (const BlockInfo& b : blocksOut_)
            for (const EntityInfo& e : b.entities)
                if (str(e.json, "type") == QLatin1String(type)) return true;
        return false;
    }

    // ------------------------------------------------------------ tables

    void tableStart(const Table& t, int count)
    {
        Writer& o = w();
        o.raw(0, "TABLE");
        o.raw(2, t.name);
        o.handle(5, t.handle);
        o.handle(330, 0);
        o.raw(100, "AcDbSymbolTable");
        o.integer(70, count);
        if (std::string_view(t.name) == "DIMSTYLE") {
            o.raw(100, "AcDbDimStyleTable");
            o.integer(71, 0);
        }
    }
    void entryStart(const char* type, std::uint64_t handle, const Table& t, const char* subclass)
    {
        Writer& o = w();
        o.raw(0, type);
        o.handle(std::string_view(type) == "DIMSTYLE" ? 105 : 5, handle);
        o.handle(330, t.handle);
        o.raw(100, "AcDbSymbolTableRecord");
        o.raw(100, subclass);
    }

    // Entries of a table: the drawing's, plus the ones every DXF must have.
    std::vector<QJsonObject> entries(const char* key, std::initializer_list<const char*> required)
    {
        std::vector<QJsonObject> out;
        std::set<QString> names;
        for (const QJsonValue& v : arr(d_, key)) {
            QJsonObject o = v.toObject();
            QString name = str(o, "name");
            if (name.isEmpty() || !names.insert(upperKey(name)).second) continue;
            out.push_back(o);
        }
        for (const char* r : required) {
            if (names.count(upperKey(QLatin1String(r)))) continue;
            QJsonObject o;
            o.insert(QLatin1String("name"), QLatin1String(r));
            out.push_back(o);
            if (std::string_view(key) == "layers") layerNames_.insert(upperKey(QLatin1String(r)));
            if (std::string_view(key) == "linetypes") linetypeNames_.insert(upperKey(QLatin1String(r)));
            if (std::string_view(key) == "styles") styleNames_.insert(upperKey(QLatin1String(r)));
            if (std::string_view(key) == "dimstyles") dimstyleNames_.insert(upperKey(QLatin1String(r)));
        }
        return out;
    }

    void tables()
    {
        Writer& o = w();
        o.raw(0, "SECTION");
        o.raw(2, "TABLES");
        auto& vport = tables_[0];
        auto& ltype = tables_[1];
        auto& layer = tables_[2];
        auto& style = tables_[3];
        auto& view = tables_[4];
        auto& ucs = tables_[5];
        auto& appid = tables_[6];
        auto& dimstyle = tables_[7];
        auto& record = tables_[8];

        // Viewports: the active one, which sets the initial view.
        std::vector<QJsonObject> vports;
        for (const QJsonValue& v : arr(d_, "vports"))
            if (str(v.toObject(), "name").compare(QLatin1String("*Active"), Qt::CaseInsensitive) == 0) {
                vports.push_back(v.toObject());
                break;
            }
        if (vports.empty()) vports.emplace_back();
        tableStart(vport, static_cast<int>(vports.size()));
        for (const QJsonObject& v : vports) {
            entryStart("VPORT", own(v.value(QLatin1String("handle"))), vport, "AcDbViewportTableRecord");
            o.raw(2, "*Active");
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
        o.raw(0, "ENDTAB");

        std::vector<QJsonObject> ltypes = entries("linetypes", {"ByBlock", "ByLayer", "Continuous"});
        tableStart(ltype, static_cast<int>(ltypes.size()));
        for (const QJsonObject& l : ltypes) {
            entryStart("LTYPE", own(l.value(QLatin1String("handle"))), ltype, "AcDbLinetypeTableRecord");
            o.text(2, str(l, "name"));
            o.integer(70, intOf(l, "standardFlag") & 0x3F);
            o.text(3, str(l, "description"));
            o.integer(72, 65);
            QJsonArray pattern = arr(l, "pattern");
            o.integer(73, pattern.size());
            double total = 0;
            for (const QJsonValue& p : pattern) total += std::fabs(real(p.toObject(), "elementLength"));
            o.real(40, l.contains(QLatin1String("totalPatternLength")) ? real(l, "totalPatternLength") : total);
            for (const QJsonValue& p : pattern) {
                o.real(49, real(p.toObject(), "elementLength"));
                o.integer(74, 0);
            }
        }
        o.raw(0, "ENDTAB");

        std::vector<QJsonObject> layers = entries("layers", {"0"});
        tableStart(layer, static_cast<int>(layers.size()));
        for (const QJsonObject& l : layers) {
            entryStart("LAYER", own(l.value(QLatin1String("handle"))), layer, "AcDbLayerTableRecord");
            o.text(2, str(l, "name"));
            o.integer(70, intOf(l, "standardFlag") & 0x7F & ~64);
            // A true colour goes with the colour number the drawing keeps
            // for it, else the nearest one.
            int color = static_cast<int>(intOf(l, "colorIndex", 0));
            QJsonValue trueColor = l.value(QLatin1String("trueColor"));
            if (trueColor.isDouble() && (color < 1 || color > 255))
                color = nearestColorIndex(static_cast<std::uint32_t>(integer(trueColor)));
            if (color < 1 || color > 255) color = 7;
            o.integer(62, l.value(QLatin1String("off")).toBool() ? -color : color);
            if (trueColor.isDouble()) o.integer(420, integer(trueColor) & 0xFFFFFF);
            QString lt = str(l, "lineType");
            if (!linetypeNames_.count(upperKey(lt)) || upperKey(lt) == QLatin1String("BYLAYER") ||
                upperKey(lt) == QLatin1String("BYBLOCK"))
                lt = QStringLiteral("Continuous");
            o.text(6, lt);
            if (l.value(QLatin1String("plot")).isDouble() && integer(l.value(QLatin1String("plot"))) == 0) o.integer(290, 0);
            if (l.contains(QLatin1String("lineweight"))) o.integer(370, lineWeight(intOf(l, "lineweight", 29)));
        }
        o.raw(0, "ENDTAB");

        std::vector<QJsonObject> styles = entries("styles", {"Standard"});
        tableStart(style, static_cast<int>(styles.size()));
        for (const QJsonObject& s : styles) {
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
        o.raw(0, "ENDTAB");

        tableStart(view, 0);
        o.raw(0, "ENDTAB");
        tableStart(ucs, 0);
        o.raw(0, "ENDTAB");

        std::vector<QJsonObject> appids = entries("appids", {"ACAD"});
        tableStart(appid, static_cast<int>(appids.size()));
        for (const QJsonObject& a : appids) {
            entryStart("APPID", own(a.value(QLatin1String("handle"))), appid, "AcDbRegAppTableRecord");
            o.text(2, str(a, "name"));
            o.integer(70, intOf(a, "flags") & 0x3F);
        }
        o.raw(0, "ENDTAB");

        std::vector<QJsonObject> dimstyles = entries("dimstyles", {"Standard"});
        tableStart(dimstyle, static_cast<int>(dimstyles.size()));
        for (const QJsonObject& s : dimstyles) {
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
        o.raw(0, "ENDTAB");

        tableStart(record, static_cast<int>(blocksOut_.size()));
        for (const BlockInfo& b : blocksOut_) {
            entryStart("BLOCK_RECORD", b.record, record, "AcDbBlockTableRecord");
            o.text(2, b.name);
            o.handle(340, b.layout);
            o.integer(70, intOf(b.json, "insertionUnits"));
            o.integer(280, b.json.contains(QLatin1String("explodability")) ? intOf(b.json, "explodability") : 1);
            o.integer(281, intOf(b.json, "scalability"));
        }
        o.raw(0, "ENDTAB");
        o.raw(0, "ENDSEC");
    }

    // ------------------------------------------------------------ blocks

    void blocks()
    {
        Writer& o = w();
        o.raw(0, "SECTION");
        o.raw(2, "BLOCKS");
        for (const BlockInfo& b : blocksOut_) {
            o.raw(0, "BLOCK");
            o.handle(5, b.begin);
            o.handle(330, b.record);
            o.raw(100, "AcDbEntity");
            if (b.isLayout && !b.isModel) o.integer(67, 1);
            o.raw(8, "0");
            o.raw(100, "AcDbBlockBegin");
            o.text(2, b.name);
            o.integer(70, intOf(b.json, "flags") & 0x3F);
            o.point(10, pointOf(b.json, "basePoint"));
            o.text(3, b.name);
            o.text(1, str(b.json, "xrefPath"));
            if (!str(b.json, "description").isEmpty()) o.text(4, str(b.json, "description"));
            // Model space and the active paper space keep their entities in
            // the ENTITIES section.
            if (!b.isModel && !b.isActivePaper)
                for (const EntityInfo& e : b.entities) entity(e, b, false);
            o.raw(0, "ENDBLK");
            o.handle(5, b.end);
            o.handle(330, b.record);
            o.raw(100, "AcDbEntity");
            if (b.isLayout && !b.isModel) o.integer(67, 1);
            o.raw(8, "0");
            o.raw(100, "AcDbBlockEnd");
        }
        o.raw(0, "ENDSEC");
    }

    void entities()
    {
        Writer& o = w();
        o.raw(0, "SECTION");
        o.raw(2, "ENTITIES");
        for (const BlockInfo& b : blocksOut_)
            if (b.isModel)
                for (const EntityInfo& e : b.entities) entity(e, b, false);
        for (const BlockInfo& b : blocksOut_)
            if (b.isActivePaper)
                for (const EntityInfo& e : b.entities) entity(e, b, true);
        o.raw(0, "ENDSEC");
    }

    // ------------------------------------------------------------ entities

    QString layerOf(const QJsonObject& e)
    {
        QString l = str(e, "layer");
        return layerNames_.count(upperKey(l)) ? l : QStringLiteral("0");
    }

    // The groups every entity starts with, up to and including its layer,
    // line type, colour and the other common properties.
    void common(const char* type, std::uint64_t handle, std::uint64_t owner, const QJsonObject& e, bool paper)
    {
        Writer& o = w();
        o.raw(0, type);
        o.handle(5, handle);
        o.handle(330, owner);
        o.raw(100, "AcDbEntity");
        if (paper) o.integer(67, 1);
        o.text(8, layerOf(e));
        QString lt = str(e, "lineType");
        if (!lt.isEmpty() && linetypeNames_.count(upperKey(lt)) && upperKey(lt) != QLatin1String("BYLAYER")) o.text(6, lt);
        QJsonValue trueColor = e.value(QLatin1String("color"));
        long long color = intOf(e, "colorIndex", 256);
        if (trueColor.isDouble()) {
            o.integer(62, color >= 1 && color <= 255 ? color
                                                    : nearestColorIndex(static_cast<std::uint32_t>(integer(trueColor))));
            o.integer(420, integer(trueColor) & 0xFFFFFF);
        } else if (color >= 0 && color < 256) {
            o.integer(62, color);
        }
        if (e.contains(QLatin1String("lineweight"))) {
            int lw = lineWeight(intOf(e, "lineweight", 29));
            if (lw != -1) o.integer(370, lw);
        }
        double scale = real(e, "lineTypeScale", 1);
        if (scale != 1 && scale > 0) o.real(48, scale);
        if (e.value(QLatin1String("isVisible")).isBool() && !e.value(QLatin1String("isVisible")).toBool()) o.integer(60, 1);
    }

    void entity(const EntityInfo& info, const BlockInfo& block, bool paper)
    {
        const QJsonObject& e = info.json;
        QString type = str(e, "type");
        std::uint64_t h = info.handle;
        std::uint64_t owner = block.record;
        Writer& o = w();
        Point ext = e.contains(QLatin1String("extrusionDirection")) ? pointOf(e, "extrusionDirection") : Point{0, 0, 1};
        double thickness = real(e, "thickness");
        auto thick = [&]() {
            if (thickness != 0) o.real(39, thickness);
        };

        if (type == QLatin1String("LINE")) {
            common("LINE", h, owner, e, paper);
            o.raw(100, "AcDbLine");
            thick();
            o.point(10, pointOf(e, "startPoint"));
            o.point(11, pointOf(e, "endPoint"));
            o.extrusion(ext);
        } else if (type == QLatin1String("POINT")) {
            common("POINT", h, owner, e, paper);
            o.raw(100, "AcDbPoint");
            o.point(10, pointOf(e, "position"));
            thick();
            o.extrusion(ext);
            if (real(e, "angle") != 0) o.real(50, real(e, "angle") * kDegrees);
        } else if (type == QLatin1String("CIRCLE") || type == QLatin1String("ARC")) {
            bool arc = type == QLatin1String("ARC");
            common(arc ? "ARC" : "CIRCLE", h, owner, e, paper);
            o.raw(100, "AcDbCircle");
            thick();
            o.point(10, pointOf(e, "center"));
            o.real(40, real(e, "radius"));
            o.extrusion(ext);
            if (arc) {
                o.raw(100, "AcDbArc");
                o.real(50, real(e, "startAngle") * kDegrees);
                o.real(51, real(e, "endAngle") * kDegrees);
            }
        } else if (type == QLatin1String("ELLIPSE")) {
            common("ELLIPSE", h, owner, e, paper);
            o.raw(100, "AcDbEllipse");
            o.point(10, pointOf(e, "center"));
            o.point(11, pointOf(e, "majorAxisEndPoint"));
            o.extrusion(ext);
            double ratio = real(e, "axisRatio", 1);
            o.real(40, ratio > 0 && ratio <= 1 ? ratio : 1);
            o.real(41, real(e, "startAngle"));
            o.real(42, real(e, "endAngle", 2 * std::numbers::pi));
        } else if (type == QLatin1String("LWPOLYLINE")) {
            lwpolyline(info, owner, paper, ext);
        } else if (type == QLatin1String("POLYLINE2D") || type == QLatin1String("POLYLINE3D")) {
            polyline(info, owner, paper, ext);
        } else if (type == QLatin1String("SPLINE")) {
            spline(info, owner, paper, ext);
        } else if (type == QLatin1String("SOLID") || type == QLatin1String("TRACE")) {
            common(type == QLatin1String("SOLID") ? "SOLID" : "TRACE", h, owner, e, paper);
            o.raw(100, "AcDbTrace");
            double z = real(e, "elevation");
            o.point(10, pointOf(e, "corner1", z));
            o.point(11, pointOf(e, "corner2", z));
            o.point(12, pointOf(e, "corner3", z));
            o.point(13, e.contains(QLatin1String("corner4")) ? pointOf(e, "corner4", z) : pointOf(e, "corner3", z));
            thick();
            o.extrusion(ext);
        } else if (type == QLatin1String("3DFACE")) {
            common("3DFACE", h, owner, e, paper);
            o.raw(100, "AcDbFace");
            o.point(10, pointOf(e, "corner1"));
            o.point(11, pointOf(e, "corner2"));
            o.point(12, pointOf(e, "corner3"));
            o.point(13, e.contains(QLatin1String("corner4")) ? pointOf(e, "corner4") : pointOf(e, "corner3"));
            if (intOf(e, "flag") != 0) o.integer(70, intOf(e, "flag") & 15);
        } else if (type == QLatin1String("XLINE") || type == QLatin1String("RAY")) {
            bool ray = type == QLatin1String("RAY");
            common(ray ? "RAY" : "XLINE", h, owner, e, paper);
            o.raw(100, ray ? "AcDbRay" : "AcDbXline");
            o.point(10, pointOf(e, "firstPoint"));
            o.point(11, pointOf(e, "unitDirection"));
        } else if (type == QLatin1String("TEXT")) {
            common("TEXT", h, owner, e, paper);
            textBody(e, "text");
            o.raw(100, "AcDbText");
            if (intOf(e, "valign") != 0) o.integer(73, intOf(e, "valign"));
        } else if (type == QLatin1String("ATTDEF")) {
            common("ATTDEF", h, owner, e, paper);
            textBody(e, "text");
            o.raw(100, "AcDbAttributeDefinition");
            o.text(3, str(e, "prompt"));
            o.text(2, str(e, "tag"));
            o.integer(70, intOf(e, "flags"));
            if (intOf(e, "fieldLength") != 0) o.integer(73, intOf(e, "fieldLength"));
            if (intOf(e, "valign") != 0) o.integer(74, intOf(e, "valign"));
        } else if (type == QLatin1String("MTEXT")) {
            mtext(info, owner, paper, ext);
        } else if (type == QLatin1String("INSERT")) {
            insert(info, owner, paper, ext);
        } else if (type == QLatin1String("DIMENSION")) {
            dimension(info, owner, paper, ext);
        } else if (type == QLatin1String("HATCH")) {
            hatch(info, owner, paper, ext);
        } else if (type == QLatin1String("LEADER")) {
            leader(info, owner, paper);
        } else if (type == QLatin1String("IMAGE") || type == QLatin1String("WIPEOUT")) {
            image(info, owner, paper, type == QLatin1String("WIPEOUT"));
        } else if (type == QLatin1String("VIEWPORT")) {
            viewport(info, owner, paper);
        } else {
            ++skipped_;
        }
    }

    // TEXT, ATTRIB and ATTDEF share the text part; `valueKey` names the value.
    void textBody(const QJsonObject& e, const char* valueKey)
    {
        Writer& o = w();
        double z = real(e, "elevation");
        o.raw(100, "AcDbText");
        if (real(e, "thickness") != 0) o.real(39, real(e, "thickness"));
        o.point(10, pointOf(e, "startPoint", z));
        double height = real(e, "textHeight", 1);
        o.real(40, height > 0 ? height : 1);
        o.text(1, str(e, valueKey));
        if (real(e, "rotation") != 0) o.real(50, real(e, "rotation") * kDegrees);
        double width = real(e, "xScale", 1);
        if (width != 1 && width > 0) o.real(41, width);
        if (real(e, "obliqueAngle") != 0) o.real(51, real(e, "obliqueAngle") * kDegrees);
        QString style = str(e, "styleName");
        if (!style.isEmpty() && styleNames_.count(upperKey(style))) o.text(7, style);
        if (intOf(e, "generationFlag") != 0) o.integer(71, intOf(e, "generationFlag"));
        if (intOf(e, "halign") != 0) o.integer(72, intOf(e, "halign"));
        if (intOf(e, "halign") != 0 || intOf(e, "valign") != 0) o.point(11, pointOf(e, "endPoint", z));
        o.extrusion(pointOf(e, "extrusionDirection", 1));
    }

    void lwpolyline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
    {
        const QJsonObject& e = info.json;
        Writer& o = w();
        common("LWPOLYLINE", info.handle, owner, e, paper);
        o.raw(100, "AcDbPolyline");
        QJsonArray vertices = arr(e, "vertices");
        o.integer(90, vertices.size());
        long long flag = intOf(e, "flag");
        o.integer(70, ((flag & 512) ? 1 : 0) | ((flag & 256) ? 128 : 0));
        if (real(e, "constantWidth") != 0) o.real(43, real(e, "constantWidth"));
        if (real(e, "elevation") != 0) o.real(38, real(e, "elevation"));
        if (real(e, "thickness") != 0) o.real(39, real(e, "thickness"));
        for (const QJsonValue& v : vertices) {
            QJsonObject p = v.toObject();
            o.real(10, real(p, "x"));
            o.real(20, real(p, "y"));
            if (p.contains(QLatin1String("startWidth")) || p.contains(QLatin1String("endWidth"))) {
                o.real(40, real(p, "startWidth"));
                o.real(41, real(p, "endWidth"));
            }
            if (real(p, "bulge") != 0) o.real(42, real(p, "bulge"));
        }
        o.extrusion(ext);
    }

    void polyline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
    {
        const QJsonObject& e = info.json;
        Writer& o = w();
        bool is3d = str(e, "type") == QLatin1String("POLYLINE3D");
        common("POLYLINE", info.handle, owner, e, paper);
        o.raw(100, is3d ? "AcDb3dPolyline" : "AcDb2dPolyline");
        o.integer(66, 1);
        o.point(10, Point{0, 0, is3d ? 0 : real(e, "elevation")});
        if (real(e, "thickness") != 0) o.real(39, real(e, "thickness"));
        long long flag = intOf(e, "flag") & ~(16 | 32 | 64);
        if (is3d) flag |= 8;
        else flag &= ~8;
        o.integer(70, flag);
        if (!is3d) {
            if (real(e, "startWidth") != 0) o.real(40, real(e, "startWidth"));
            if (real(e, "endWidth") != 0) o.real(41, real(e, "endWidth"));
        }
        if (intOf(e, "smoothType") != 0) o.integer(75, intOf(e, "smoothType"));
        o.extrusion(ext);
        QJsonArray vertices = arr(e, "vertices");
        for (qsizetype i = 0; i < vertices.size(); ++i) {
            QJsonObject v = vertices[i].toObject();
            common("VERTEX", info.children[static_cast<std::size_t>(i)], info.handle, e, paper);
            o.raw(100, "AcDbVertex");
            o.raw(100, is3d ? "AcDb3dPolylineVertex" : "AcDb2dVertex");
            o.point(10, Point{real(v, "x"), real(v, "y"), real(v, "z")});
            if (!is3d) {
                if (real(v, "startWidth") != 0) o.real(40, real(v, "startWidth"));
                if (real(v, "endWidth") != 0) o.real(41, real(v, "endWidth"));
                if (real(v, "bulge") != 0) o.real(42, real(v, "bulge"));
            }
            long long vflag = intOf(v, "flag");
            o.integer(70, is3d ? (vflag | 32) & ~(64 | 128) : vflag & ~(32 | 64 | 128));
            if (!is3d && (vflag & 2) && real(v, "tangentDirection") != 0)
                o.real(50, real(v, "tangentDirection") * kDegrees);
        }
        seqend(info, e, paper);
    }

    void seqend(const EntityInfo& info, const QJsonObject& e, bool paper)
    {
        Writer& o = w();
        o.raw(0, "SEQEND");
        o.handle(5, info.seqend);
        o.handle(330, info.handle);
        o.raw(100, "AcDbEntity");
        if (paper) o.integer(67, 1);
        o.text(8, layerOf(e));
    }

    void spline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
    {
        const QJsonObject& e = info.json;
        Writer& o = w();
        common("SPLINE", info.handle, owner, e, paper);
        o.raw(100, "AcDbSpline");
        if (!isUnitZ(ext)) o.point(210, ext);
        QJsonArray knots = arr(e, "knots");
        QJsonArray control = arr(e, "controlPoints");
        QJsonArray fit = arr(e, "fitPoints");
        QJsonArray weights = arr(e, "weights");
        long long flag = intOf(e, "flag") & 0x7FF;
        if (!weights.isEmpty()) flag |= 4;
        o.integer(70, flag);
        o.integer(71, intOf(e, "degree", 3));
        o.integer(72, knots.size());
        o.integer(73, control.size());
        o.integer(74, fit.size());
        o.real(42, real(e, "knotTolerance", 1e-10));
        o.real(43, real(e, "controlTolerance", 1e-10));
        if (!fit.isEmpty()) o.real(44, real(e, "fitTolerance", 1e-10));
        Point start = pointOf(e, "startTangent"), end = pointOf(e, "endTangent");
        if (!fit.isEmpty() && (start.x != 0 || start.y != 0 || start.z != 0)) o.point(12, start);
        if (!fit.isEmpty() && (end.x != 0 || end.y != 0 || end.z != 0)) o.point(13, end);
        for (const QJsonValue& k : knots) o.real(40, num(k));
        if (!weights.isEmpty() && weights.size() == control.size())
            for (const QJsonValue& k : weights) o.real(41, num(k, 1));
        for (const QJsonValue& p : control) o.point(10, point(p));
        for (const QJsonValue& p : fit) o.point(11, point(p));
    }

    void mtext(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
    {
        const QJsonObject& e = info.json;
        Writer& o = w();
        common("MTEXT", info.handle, owner, e, paper);
        o.raw(100, "AcDbMText");
        o.point(10, pointOf(e, "insertionPoint"));
        double height = real(e, "textHeight", 1);
        o.real(40, height > 0 ? height : 1);
        o.real(41, real(e, "rectWidth"));
        if (real(e, "rectHeight") > 0) o.real(46, real(e, "rectHeight"));
        long long attach = intOf(e, "attachmentPoint", 1);
        o.integer(71, attach >= 1 && attach <= 9 ? attach : 1);
        long long flow = intOf(e, "drawingDirection", 1);
        o.integer(72, flow == 1 || flow == 3 || flow == 5 ? flow : 1);
        o.chunks(str(e, "text"));
        QString style = str(e, "styleName");
        if (!style.isEmpty() && styleNames_.count(upperKey(style))) o.text(7, style);
        o.extrusion(ext);
        Point dir = pointOf(e, "direction");
        if (dir.x != 0 || dir.y != 0 || dir.z != 0) o.point(11, dir);
        long long spacingStyle = intOf(e, "lineSpacingStyle", 1);
        o.integer(73, spacingStyle == 2 ? 2 : 1);
        double spacing = real(e, "lineSpacing", 1);
        o.real(44, spacing >= 0.25 && spacing <= 4 ? spacing : 1);
    }

    void insert(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
    {
        const QJsonObject& e = info.json;
        Writer& o = w();
        QString name = str(e, "name");
        if (!blockNames_.count(upperKey(name))) {
            ++skipped_;  // a reference to a block the drawing does not hold
            return;
        }
        QJsonArray attribs = arr(e, "attribs");
        common("INSERT", info.handle, owner, e, paper);
        o.raw(100, "AcDbBlockReference");
        if (!attribs.isEmpty()) o.integer(66, 1);
        o.text(2, name);
        o.point(10, pointOf(e, "insertionPoint"));
        for (auto [code, key] : {std::pair{41, "xScale"}, {42, "yScale"}, {43, "zScale"}}) {
            double s = real(e, key, 1);
            if (s != 1 && s != 0) o.real(code, s);
        }
        if (real(e, "rotation") != 0) o.real(50, real(e, "rotation") * kDegrees);
        long long columns = intOf(e, "columnCount", 1), rows = intOf(e, "rowCount", 1);
        if (columns > 1) o.integer(70, columns);
        if (rows > 1) o.integer(71, rows);
        if (columns > 1 && real(e, "columnSpacing") != 0) o.real(44, real(e, "columnSpacing"));
        if (rows > 1 && real(e, "rowSpacing") != 0) o.real(45, real(e, "rowSpacing"));
        o.extrusion(ext);
        for (qsizetype i = 0; i < attribs.size(); ++i) {
            QJsonObject a = attribs[i].toObject();
            common("ATTRIB", info.children[static_cast<std::size_t>(i)], info.handle, a, paper);
            textBody(a, "text");
            o.raw(100, "AcDbAttribute");
            o.text(2, str(a, "tag"));
            o.integer(70, intOf(a, "flags") & 15);
            if (intOf(a, "fieldLength") != 0) o.integer(73, intOf(a, "fieldLength"));
            if (intOf(a, "valign") != 0) o.integer(74, intOf(a, "valign"));
        }
        if (!attribs.isEmpty()) seqend(info, e, paper);
    }

    void dimension(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
    {
        const QJsonObject& e = info.json;
        Writer& o = w();
        QString block = str(e, "name");
        QString kind = str(e, "kind");
        common("DIMENSION", info.handle, owner, e, paper);
        o.raw(100, "AcDbDimension");
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
            o.raw(100, "AcDbAlignedDimension");
            o.point(13, pointOf(e, "subDefinitionPoint1"));
            o.point(14, pointOf(e, "subDefinitionPoint2"));
            if (kind == QLatin1String("linear")) {
                o.real(50, real(e, "rotationAngle") * kDegrees);
                if (real(e, "obliqueAngle") != 0) o.real(52, real(e, "obliqueAngle") * kDegrees);
                o.raw(100, "AcDbRotatedDimension");
            }
        } else if (kind == QLatin1String("angular3")) {
            o.raw(100, "AcDb3PointAngularDimension");
            o.point(13, pointOf(e, "subDefinitionPoint1"));
            o.point(14, pointOf(e, "subDefinitionPoint2"));
            o.point(15, pointOf(e, "centerPoint"));
        } else if (kind == QLatin1String("angular2")) {
            o.raw(100, "AcDb2LineAngularDimension");
            o.point(13, pointOf(e, "subDefinitionPoint1"));
            o.point(14, pointOf(e, "subDefinitionPoint2"));
            o.point(15, pointOf(e, "centerPoint"));
            o.point(16, pointOf(e, "arcPoint"));
        } else if (kind == QLatin1String("radius") || kind == QLatin1String("diameter")) {
            o.raw(100, kind == QLatin1String("radius") ? "AcDbRadialDimension" : "AcDbDiametricDimension");
            o.point(15, pointOf(e, "centerPoint"));
            o.real(40, real(e, "leaderLength"));
        } else if (kind == QLatin1String("ordinate")) {
            o.raw(100, "AcDbOrdinateDimension");
            o.point(13, pointOf(e, "subDefinitionPoint1"));
            o.point(14, pointOf(e, "subDefinitionPoint2"));
        }
    }

    void hatch(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext)
    {
        const QJsonObject& e = info.json;
        Writer& o = w();
        common("HATCH", info.handle, owner, e, paper);
        o.raw(100, "AcDbHatch");
        o.point(10, Point{0, 0, real(e, "elevation")});
        o.point(210, isUnitZ(ext) ? Point{0, 0, 1} : ext);
        bool solid = intOf(e, "solidFill") == 1;
        QString pattern = str(e, "patternName");
        if (pattern.isEmpty()) pattern = solid ? QStringLiteral("SOLID") : QStringLiteral("ANSI31");
        o.text(2, pattern);
        o.integer(70, solid ? 1 : 0);
        o.integer(71, 0);  // the boundary objects do not come along
        QJsonArray paths = arr(e, "boundaryPaths");
        o.integer(91, paths.size());
        for (const QJsonValue& pv : paths) {
            QJsonObject p = pv.toObject();
            long long flag = intOf(p, "boundaryPathTypeFlag", 1);
            o.integer(92, flag & ~(4 | 8 | 0x100));
            if (flag & 2) {
                QJsonArray vs = arr(p, "vertices");
                bool bulges = false;
                for (const QJsonValue& v : vs) bulges = bulges || real(v.toObject(), "bulge") != 0;
                o.integer(72, bulges ? 1 : 0);
                o.integer(73, p.value(QLatin1String("isClosed")).toBool(true) ? 1 : 0);
                o.integer(93, vs.size());
                for (const QJsonValue& v : vs) {
                    o.point(10, point(v), false);
                    if (bulges) o.real(42, real(v.toObject(), "bulge"));
                }
            } else {
                QJsonArray edges = arr(p, "edges");
                o.integer(93, edges.size());
                for (const QJsonValue& ev : edges) edge(ev.toObject());
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
            QJsonArray lines = arr(e, "definitionLines");
            o.integer(78, lines.size());
            for (const QJsonValue& lv : lines) {
                QJsonObject l = lv.toObject();
                o.real(53, real(l, "angle") * kDegrees);
                Point base = pointOf(l, "base"), offset = pointOf(l, "offset");
                o.real(43, base.x);
                o.real(44, base.y);
                o.real(45, offset.x);
                o.real(46, offset.y);
                QJsonArray dashes = arr(l, "dashLengths");
                o.integer(79, dashes.size());
                for (const QJsonValue& dv : dashes) o.real(49, num(dv));
            }
        }
        QJsonArray seeds = arr(e, "seedPoints");
        o.integer(98, seeds.size());
        for (const QJsonValue& s : seeds) o.point(10, point(s), false);
    }

    void edge(const QJsonObject& edge)
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
            o.integer(73, edge.value(QLatin1String("isCCW")).toVariant().toBool() ? 1 : 0);
            break;
        case 3:
            o.point(10, pointOf(edge, "center"), false);
            o.point(11, pointOf(edge, "end"), false);
            o.real(40, real(edge, "lengthOfMinorAxis", 1));
            o.real(50, real(edge, "startAngle") * kDegrees);
            o.real(51, real(edge, "endAngle") * kDegrees);
            o.integer(73, edge.value(QLatin1String("isCCW")).toVariant().toBool() ? 1 : 0);
            break;
        default: {
            QJsonArray knots = arr(edge, "knots"), control = arr(edge, "controlPoints"), fit = arr(edge, "fitDatum");
            bool rational = edge.value(QLatin1String("isRational")).toVariant().toBool();
            o.integer(94, intOf(edge, "degree", 3));
            o.integer(73, rational ? 1 : 0);
            o.integer(74, edge.value(QLatin1String("isPeriodic")).toVariant().toBool() ? 1 : 0);
            o.integer(95, knots.size());
            o.integer(96, control.size());
            for (const QJsonValue& k : knots) o.real(40, num(k));
            for (const QJsonValue& p : control) {
                o.point(10, point(p), false);
                if (rational) o.real(42, num(p.toObject().value(QLatin1String("w")), 1));
            }
            o.integer(97, fit.size());
            for (const QJsonValue& p : fit) o.point(11, point(p), false);
            if (!fit.isEmpty()) {
                o.point(12, pointOf(edge, "startTangent"), false);
                o.point(13, pointOf(edge, "endTangent"), false);
            }
            break;
        }
        }
    }

    void leader(const EntityInfo& info, std::uint64_t owner, bool paper)
    {
        const QJsonObject& e = info.json;
        Writer& o = w();
        QJsonArray vertices = arr(e, "vertices");
        if (vertices.size() < 2) {
            ++skipped_;
            return;
        }
        common("LEADER", info.handle, owner, e, paper);
        o.raw(100, "AcDbLeader");
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
        for (const QJsonValue& v : vertices) o.point(10, point(v));
        Point normal = pointOf(e, "normal");
        o.point(210, isUnitZ(normal) ? Point{0, 0, 1} : normal);
        Point horizontal = pointOf(e, "horizontalDirection");
        if (horizontal.x == 0 && horizontal.y == 0 && horizontal.z == 0) horizontal.x = 1;
        o.point(211, horizontal);
        o.point(212, pointOf(e, "offsetFromBlock"));
        o.point(213, pointOf(e, "offsetFromAnnotation"));
    }

    void image(const EntityInfo& info, std::uint64_t owner, bool paper, bool wipeout)
    {
        const QJsonObject& e = info.json;
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
        o.raw(100, wipeout ? "AcDbWipeout" : "AcDbRasterImage");
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
        QJsonArray clip = arr(e, "clippingBoundaryPath");
        long long clipType = intOf(e, "clippingBoundaryType", 1);
        std::vector<Point> corners;
        for (const QJsonValue& v : clip) corners.push_back(point(v));
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

    void viewport(const EntityInfo& info, std::uint64_t owner, bool paper)
    {
        const QJsonObject& e = info.json;
        Writer& o = w();
        common("VIEWPORT", info.handle, owner, e, paper);
        o.raw(100, "AcDbViewport");
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

    // ------------------------------------------------------------ objects

    void dictionary(std::uint64_t handle, std::uint64_t owner, const std::vector<std::pair<QString, std::uint64_t>>& items)
    {
        Writer& o = w();
        o.raw(0, "DICTIONARY");
        o.handle(5, handle);
        if (owner) {
            o.raw(102, "{ACAD_REACTORS");
            o.handle(330, owner);
            o.raw(102, "}");
        }
        o.handle(330, owner);
        o.raw(100, "AcDbDictionary");
        o.integer(281, 1);
        for (const auto& [name, h] : items) {
            o.text(3, name);
            o.handle(350, h);
        }
    }

    void objects()
    {
        Writer& o = w();
        o.raw(0, "SECTION");
        o.raw(2, "OBJECTS");
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
                o.raw(0, "IMAGEDEF");
                o.handle(5, handle);
                o.raw(102, "{ACAD_REACTORS");
                o.handle(330, imageDict_);
                o.raw(102, "}");
                o.handle(330, imageDict_);
                o.raw(100, "AcDbRasterImageDef");
                o.integer(90, 0);
                o.text(1, str(json, "fileName"));
                o.point(10, pointOf(json, "size"), false);
                Point pixel = pointOf(json, "sizeOfOnePixel");
                o.point(11, Point{pixel.x > 0 ? pixel.x : 1, pixel.y > 0 ? pixel.y : 1, 0}, false);
                o.integer(280, intOf(json, "isLoaded", 1));
                o.integer(281, intOf(json, "resolutionUnits"));
            }
        }
        o.raw(0, "ENDSEC");
    }

    void layout(const LayoutInfo& l, int tab)
    {
        Writer& o = w();
        const QJsonObject& j = l.json;
        const BlockInfo& b = blocksOut_[l.block];
        o.raw(0, "LAYOUT");
        o.handle(5, l.handle);
        o.raw(102, "{ACAD_REACTORS");
        o.handle(330, layoutDict_);
        o.raw(102, "}");
        o.handle(330, layoutDict_);
        o.raw(100, "AcDbPlotSettings");
        o.raw(1, "");
        o.raw(2, "none_device");
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
        o.raw(100, "AcDbLayout");
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
        o.handle(330, b.record);
    }

    const QJsonObject& d_;
    std::string dwgVersion_, version_;
    QString codePage_;
    std::shared_ptr<const dxf::TextCodec> codec_;
    Writer* w_ = nullptr;
    std::uint64_t next_ = 1;
    std::unordered_set<std::uint64_t> reserved_, used_;
    std::set<QString> layerNames_, linetypeNames_, styleNames_, dimstyleNames_, blockNames_;
    std::array<Table, 9> tables_ = {Table{"VPORT"}, Table{"LTYPE"}, Table{"LAYER"}, Table{"STYLE"}, Table{"VIEW"},
                                    Table{"UCS"},   Table{"APPID"}, Table{"DIMSTYLE"}, Table{"BLOCK_RECORD"}};
    std::uint64_t root_ = 0, groups_ = 0, layoutDict_ = 0, imageDict_ = 0;
    std::vector<BlockInfo> blocksOut_;
    std::unordered_map<std::uint64_t, std::size_t> byRecord_;
    std::vector<LayoutInfo> layouts_;
    std::vector<std::pair<std::uint64_t, QJsonObject>> imageDefs_;
    int skipped_ = 0;
};

}  // namespace

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

DxfFromDwg writeDxfFromDwg(const QJsonObject& drawing) { return Builder(drawing).build(); }

}  // namespace ddvue::dwg
