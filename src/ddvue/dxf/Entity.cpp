#include "ddvue/dxf/Entity.h"

namespace ddvue::dxf {

std::optional<EntityView> EntityView::embedded() const
{
    for (std::uint32_t i = 1; i < size(); ++i) {
        int c = code(i);
        if (c == def::Common::extendedData) break;
        if (c == def::Common::embeddedObject) {
            EntityView v = *this;
            v.from_ = i + 1;
            return v;
        }
    }
    return std::nullopt;
}

int EntityView::indexOf(int wanted) const
{
    if (from_ == 0) return findMain(wanted);
    for (std::uint32_t i = from_; i < size(); ++i) {
        int c = code(i);
        if (c == def::Common::extendedData) break;
        if (c == wanted) return static_cast<int>(i);
    }
    return -1;
}

double EntityView::get(const RealAttr& a) const
{
    int i = indexOf(a.code);
    return i < 0 ? a.fallback : real(static_cast<std::uint32_t>(i));
}

std::int64_t EntityView::get(const IntAttr& a) const
{
    int i = indexOf(a.code);
    return i < 0 ? a.fallback : integer(static_cast<std::uint32_t>(i));
}

std::string EntityView::get(const TextAttr& a) const
{
    int i = indexOf(a.code);
    return i < 0 ? std::string(a.fallback) : text(static_cast<std::uint32_t>(i));
}

Point3 EntityView::get(const PointAttr& a) const
{
    return {get(RealAttr{a.code, a.fallback.x}), get(RealAttr{a.y(), a.fallback.y}), get(RealAttr{a.z(), a.fallback.z})};
}

EntityColor entityColor(const EntityView& v)
{
    EntityColor c;
    c.aci = static_cast<int>(v.get(def::Entity::color));
    if (v.has(def::Entity::trueColor)) c.rgb = static_cast<std::uint32_t>(v.get(def::Entity::trueColor)) & 0xFFFFFF;
    return c;
}

namespace {

// Calls f(child) for each child of `record` of this kind that is not deleted.
template <typename F>
void forChildrenOfKind(const Document& doc, std::uint32_t record, Kind kind, F&& f)
{
    doc.forEachChild(record, [&](std::uint32_t c) {
        if (doc.record(c).kind == kind && !doc.isDeleted(c)) f(c);
    });
}

std::vector<std::uint32_t> childrenOfKind(const Document& doc, std::uint32_t record, Kind kind)
{
    std::vector<std::uint32_t> out;
    forChildrenOfKind(doc, record, kind, [&out](std::uint32_t c) { out.push_back(c); });
    return out;
}

}  // namespace

std::vector<std::uint32_t> attributesOf(const Document& doc, std::uint32_t insert)
{
    return childrenOfKind(doc, insert, Kind::Attrib);
}

std::size_t attributeCount(const Document& doc, std::uint32_t insert)
{
    std::size_t n = 0;
    forChildrenOfKind(doc, insert, Kind::Attrib, [&n](std::uint32_t) { ++n; });
    return n;
}

std::vector<std::uint32_t> verticesOf(const Document& doc, std::uint32_t polyline)
{
    return childrenOfKind(doc, polyline, Kind::Vertex);
}

bool isExternalReference(const Document& doc, const BlockDef& block)
{
    return EntityView(doc, block.begin).flag(def::Block::flags, def::Block::kExternal);
}

bool isMultilineAttribute(const Document& doc, std::uint32_t record)
{
    return doc.record(record).kind == Kind::Attrib && EntityView(doc, record).embedded().has_value();
}

}  // namespace ddvue::dxf
