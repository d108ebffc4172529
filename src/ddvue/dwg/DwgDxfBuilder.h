#pragma once
// What the pieces of the DWG reader's DXF writer share (DwgDxfWriter.cpp,
// DwgDxfTables.cpp, DwgDxfEntities.cpp, DwgDxfObjects.cpp): the JSON helpers,
// the DXF text writer, and the builder that walks the reader's document.
// Not for use outside src/ddvue/dwg.

#include "ddvue/dwg/DwgDxfWriter.h"

#include "ddvue/ContentDocument.h"
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/TextCodec.h"

#include "ddvue/dwg/DwgJson.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace ddvue::dwg::detail {

using dxf::Document;
namespace def = dxf::def;
namespace sub = dxf::sub;

inline constexpr double kDegrees = 180.0 / std::numbers::pi;


// The stored form of a text value: control characters in DXF's caret form,
// so that no value spans lines.
inline std::string caretForm(const QString& text)
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

inline double num(const JsonValue& v, double fallback = 0)
{
    if (v.isDouble()) {
        double d = v.toDouble();
        return std::isfinite(d) ? d : fallback;
    }
    if (v.isBool()) return v.toBool() ? 1 : 0;
    return fallback;
}

inline long long integer(const JsonValue& v, long long fallback = 0)
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

inline Point point(const JsonValue& v, double z = 0)
{
    JsonObject o = v.toObject();
    Point p{num(o.value(QLatin1String("x"))), num(o.value(QLatin1String("y"))), z};
    if (o.contains(QLatin1String("z"))) p.z = num(o.value(QLatin1String("z")), z);
    return p;
}

inline bool isUnitZ(const Point& p) { return p.x == 0 && p.y == 0 && (p.z == 1 || p.z == 0); }

// Line weights as DWG stores them (an index) and as DXF writes them (1/100 mm).
inline int lineWeight(long long index)
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
    explicit Writer(std::shared_ptr<const dxf::TextCodec> codec, std::size_t room = 1 << 16) : codec_(std::move(codec))
    {
        out_.reserve(room);
    }

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
    std::string encoded(const QString& value) const { return codec_->encode(caretForm(value)); }
    void text(int c, const QString& value) { raw(c, encoded(value)); }
    void real(int c, double v) { raw(c, formatNumber(v)); }
    void integer(int c, long long v) { raw(c, std::to_string(v)); }
    void handle(int c, std::uint64_t h) { raw(c, Document::formatHandle(h)); }
    // A header variable and its value.
    template <class A, class V>
    void variable(const dxf::HeaderVar<A>& var, const V& value)
    {
        raw(dxf::code::kHeaderVariable, var.name);
        put(var.value, value);
    }
    // An object's reactors: the one object that owns it and is told of its changes.
    void reactors(std::uint64_t owner)
    {
        raw(dxf::code::kAppGroup, "{ACAD_REACTORS");
        handle(dxf::code::kOwner, owner);
        raw(dxf::code::kAppGroup, "}");
    }
    // Multi-line text: 250-byte pieces, every full one a chunk, the last the text.
    void chunks(const QString& value)
    {
        std::vector<std::string> pieces = dxf::splitChunks(*codec_, caretForm(value));
        for (std::size_t k = 0; k < pieces.size(); ++k)
            put(k + 1 == pieces.size() ? def::MText::text : def::MText::chunk, std::string_view(pieces[k]));
    }

    std::string& out() { return out_; }

    // Groups of declared attributes, in the file's formatting: numbers in
    // their shortest form, texts encoded (or as stored, given as bytes),
    // points as their two or three coordinates.
    template <class S>
    void put(const dxf::RealAttr<S>& a, double v)
    {
        real(a.code, v);
    }
    template <class S>
    void put(const dxf::IntAttr<S>& a, long long v)
    {
        integer(a.code, v);
    }
    template <class S>
    void put(const dxf::TextAttr<S>& a, const QString& v)
    {
        text(a.code, v);
    }
    template <class S>
    void put(const dxf::TextAttr<S>& a, std::string_view stored)
    {
        raw(a.code, stored);
    }
    template <class S>
    void put(const dxf::TextAttr<S>& a, const char* stored)
    {
        raw(a.code, stored);
    }
    template <class S>
    void put(const dxf::HandleAttr<S>& a, std::uint64_t h)
    {
        handle(a.code, h);
    }
    template <class S>
    void put(const dxf::PointAttr<S>& a, const Point& p)
    {
        real(a.code, p.x);
        real(a.y(), p.y);
        real(a.z(), p.z);
    }
    template <class S>
    void put(const dxf::Point2Attr<S>& a, const Point& p)
    {
        real(a.code, p.x);
        real(a.y(), p.y);
    }

private:

    std::shared_ptr<const dxf::TextCodec> codec_;
    std::string out_;
};

// One record of type T being written: its subclass markers and the groups
// of its attributes, each through the type's declarations.
template <class T>
class Out {
public:
    explicit Out(Writer& w) : w_(w) {}

    // The marker of subclass S (the `which`th of its names).
    template <class S>
    Out& marker(std::size_t which = 0)
    {
        static_assert(T::template indexOf<S> >= 0, "records of this type have no such subclass");
        w_.raw(dxf::code::kSubclass, S::markers[which]);
        return *this;
    }
    template <class A, class V>
    Out& put(const A& a, const V& value)
    {
        static_assert(dxf::kHolds<T, A>, "records of this type have no such attribute");
        w_.put(a, value);
        return *this;
    }
    // The normal of the entity's plane, when it is not the z axis.
    template <class A>
    Out& extrusion(const A& a, const Point& p)
    {
        if (!isUnitZ(p)) put(a, p);
        return *this;
    }
    Writer& writer() { return w_; }

private:
    Writer& w_;
};

// Starts a record of type T: its type (the `which`th of its names).
template <class T>
Out<T> start(Writer& w, std::size_t which = 0)
{
    w.raw(dxf::code::kType, T::names[which]);
    return Out<T>(w);
}

inline QString str(const JsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }
inline double real(const JsonObject& o, const char* key, double fallback = 0) { return num(o.value(QLatin1String(key)), fallback); }
inline long long intOf(const JsonObject& o, const char* key, long long fallback = 0)
{
    return integer(o.value(QLatin1String(key)), fallback);
}
inline Point pointOf(const JsonObject& o, const char* key, double z = 0) { return point(o.value(QLatin1String(key)), z); }
inline JsonArray arr(const JsonObject& o, const char* key) { return o.value(QLatin1String(key)).toArray(); }

inline QString upperKey(const QString& s) { return s.toUpper(); }

class Builder {
public:
    explicit Builder(const JsonObject& d) : d_(d)
    {
        dwgVersion_ = str(d, "version").toStdString();
        version_ = dxfVersionFor(dwgVersion_);
        codePage_ = str(d, "codePage");
        if (codePage_.isEmpty()) codePage_ = QStringLiteral("ANSI_1252");
        codec_ = dxf::TextCodec::forDrawing(version_, codePage_.toStdString());
        next_ = handleOf(d.value(QLatin1String("maxHandle"))) + 1;
    }

    DxfFromDwg build();

private:
    struct EntityInfo {
        JsonObject json;
        std::uint64_t handle = 0;
        std::vector<std::uint64_t> children;  // ATTRIBs or VERTEXes
        std::uint64_t seqend = 0;
    };
    struct BlockInfo {
        JsonObject json;
        QString name;
        std::uint64_t record = 0, begin = 0, end = 0, layout = 0;
        bool isModel = false, isActivePaper = false, isLayout = false;
        std::vector<EntityInfo> entities;
    };
    struct LayoutInfo {
        std::uint64_t handle;
        QString name;
        std::size_t block;
        JsonObject json;
    };

    struct Table {
        const char* name;
        std::uint64_t handle = 0;
    };

    std::uint64_t handleOf(const JsonValue& v);
    std::uint64_t fresh() { return next_++; }
    // The DWG's handle for an object, or a new one when it has none or one
    // that is already taken.
    std::uint64_t own(const JsonValue& v);

    Writer& w() { return *w_; }

    void collect();

    void assignHandles();
    // The pieces of assignHandles: the blocks with their layouts and image
    // definitions, then the entities.
    void assignBlockHandles();
    void assignEntityHandles();

    std::uint64_t ownControl(const char* table);

    // ------------------------------------------------------------ header

    void header();

    // ------------------------------------------------------------ classes

    void classes();

    bool uses(const char* type);

    // ------------------------------------------------------------ tables

    void tableStart(const Table& t, int count);
    // The head of an entry of table `t`: its type, handle, owner and markers,
    // the last that of its own subclass S.
    template <class T, class S>
    Out<T> entryStart(std::uint64_t handle, const Table& t);

    // Entries of a table: the drawing's, plus the ones every DXF must have.
    std::vector<JsonObject> entries(const char* key, std::initializer_list<const char*> required);

    void tables();
    void vportTable();
    void linetypeTable();
    void layerTable();
    void styleTable();
    void appidTable();
    void dimstyleTable();
    void blockRecordTable();

    // ------------------------------------------------------------ blocks

    void blocks();
    // The head of a BLOCK or ENDBLK record of block `b`, up to the marker
    // of its own subclass S.
    template <class T, class S>
    Out<T> blockMarker(std::uint64_t handle, const BlockInfo& b);

    void entities();

    // ------------------------------------------------------------ entities

    // The layer and the line type an entity names, as written: the
    // drawing's few names, asked for by every entity, are looked up and
    // encoded once each. No line type is written when it names none
    // of the table's, or ByLayer.
    const std::string& layerText(const JsonObject& e);
    const std::optional<std::string>& linetypeText(const JsonObject& e);

    // The groups every entity starts with, up to and including its layer,
    // line type, colour and the other common properties; `which` names the
    // type among T's names.
    template <class T>
    Out<T> common(std::uint64_t handle, std::uint64_t owner, const JsonObject& e, bool paper, std::size_t which = 0);
    void commonGroups(Out<def::AnyEntity> o, std::uint64_t handle, std::uint64_t owner, const JsonObject& e, bool paper);

    void entity(const EntityInfo& info, const BlockInfo& block, bool paper);
    // LINE, POINT, CIRCLE, ARC, ELLIPSE, SOLID, TRACE, 3DFACE, XLINE, RAY;
    // false for any other type.
    bool geometry(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext);
    void text(const EntityInfo& info, std::uint64_t owner, bool paper);  // TEXT and ATTDEF

    // TEXT, ATTRIB and ATTDEF share the text part; `valueKey` names the value.
    template <class T>
    void textBody(Out<T>& o, const JsonObject& e, const char* valueKey);

    void lwpolyline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext);

    void polyline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext);

    void seqend(const EntityInfo& info, const JsonObject& e, bool paper);
    // A VERTEX of a 2D or 3D polyline.
    void vertex(const EntityInfo& info, std::size_t i, const JsonObject& e, const JsonObject& v, bool paper, bool is3d);
    // An ATTRIB of a block reference.
    void attribute(const EntityInfo& info, std::size_t i, const JsonObject& a, bool paper);

    void spline(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext);

    void mtext(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext);

    void insert(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext);

    void dimension(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext);

    void hatch(const EntityInfo& info, std::uint64_t owner, bool paper, const Point& ext);

    void edge(const JsonObject& edge);

    void leader(const EntityInfo& info, std::uint64_t owner, bool paper);

    void image(const EntityInfo& info, std::uint64_t owner, bool paper, bool wipeout);

    void viewport(const EntityInfo& info, std::uint64_t owner, bool paper);

    // ------------------------------------------------------------ objects

    void dictionary(std::uint64_t handle, std::uint64_t owner, const std::vector<std::pair<QString, std::uint64_t>>& items);

    void objects();

    void layout(const LayoutInfo& l, int tab);

    const JsonObject& d_;
    std::string dwgVersion_, version_;
    QString codePage_;
    std::shared_ptr<const dxf::TextCodec> codec_;
    Writer* w_ = nullptr;
    std::uint64_t next_ = 1;
    std::unordered_set<std::uint64_t> reserved_, used_;
    std::set<QString> layerNames_, linetypeNames_, styleNames_, dimstyleNames_, blockNames_;
    enum : std::size_t {
        kVportTable, kLinetypeTable, kLayerTable, kStyleTable, kViewTable,
        kUcsTable, kAppidTable, kDimstyleTable, kBlockRecordTable,
    };
    std::array<Table, 9> tables_ = {Table{"VPORT"}, Table{"LTYPE"}, Table{"LAYER"}, Table{"STYLE"}, Table{"VIEW"},
                                    Table{"UCS"},   Table{"APPID"}, Table{"DIMSTYLE"}, Table{"BLOCK_RECORD"}};
    std::uint64_t root_ = 0, groups_ = 0, layoutDict_ = 0, imageDict_ = 0;
    std::vector<BlockInfo> blocksOut_;
    std::unordered_map<std::uint64_t, std::size_t> byRecord_;
    std::vector<LayoutInfo> layouts_;
    std::vector<std::pair<std::uint64_t, JsonObject>> imageDefs_;
    std::unordered_set<std::string_view> types_;  // of the entities, as the reader's text holds them
    std::unordered_map<std::string_view, std::string> layerTexts_;  // by the name as the reader's text holds it
    std::unordered_map<std::string_view, std::optional<std::string>> linetypeTexts_;
    std::string oneOff_;
    std::optional<std::string> oneOffLinetype_;
    std::deque<JsonDocument> made_;  // table entries every DXF needs that the drawing lacks
    int skipped_ = 0;
};

template <class T>
Out<T> Builder::common(std::uint64_t handle, std::uint64_t owner, const JsonObject& e, bool paper, std::size_t which)
{
    static_assert(T::template indexOf<sub::AcDbEntity> == 1, "an entity type: its common groups first");
    Writer& o = w();
    Out<T> r = start<T>(o, which);
    commonGroups(Out<def::AnyEntity>(o), handle, owner, e, paper);
    return r;
}

}  // namespace ddvue::dwg::detail
