#include "ddvue/dxf/Entity.h"

namespace ddvue::dxf {

namespace {

// A record's groups as the lookup reads them: from the file or from an edit.
struct FileGroups {
    const RecordView& v;
    std::uint32_t size() const { return v.size(); }
    int code(std::uint32_t i) const { return v.code(i); }
    std::string_view value(std::uint32_t i) const { return v.raw(i); }
};
struct EditGroups {
    const Document::Edit& e;
    std::uint32_t size() const { return e.size(); }
    int code(std::uint32_t i) const { return e.code(i); }
    std::string_view value(std::uint32_t i) const { return e.rawValue(i); }
};

bool isOpen(std::string_view bracket) { return !bracket.empty() && bracket.front() == '{'; }

std::string_view trimmed(std::string_view s);

// Whether a part may hold an entity's groups that a writer misplaced there.
bool holdsStrays(std::string_view marker)
{
    for (std::string_view own : kOwnColorParts)
        if (trimmed(marker) == own) return false;
    return true;
}

// The subclass after `after` that a marker with blanks around it opens; -1 when none.
[[gnu::noinline]] int subclassAfterTrimmed(const Shape& shape, int after, std::string_view marker)
{
    if (std::string_view t = trimmed(marker); t.size() != marker.size()) {
        for (std::uint8_t k = 0; k < shape.count; ++k)
            if (shape.markers[k].subclass > after && shape.markers[k].name == t) return shape.markers[k].subclass;
    }
    return -1;
}

// The subclass after `after` that a marker opens (see detail::nextSubclass):
// the markers as written first, then the marker without blanks around it.
inline int subclassAfter(const Shape& shape, int after, std::string_view marker)
{
    for (std::uint8_t k = 0; k < shape.count; ++k) {
        const Marker& m = shape.markers[k];
        if (m.subclass > after && m.name == marker) return m.subclass;
    }
    return subclassAfterTrimmed(shape, after, marker);
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    return s;
}

// One pass over the groups: the subclass each stands in follows the
// markers, each the next of the type's subclasses that it names (a marker
// the type does not declare opens a part of no subclass). Groups before the
// first marker stand in the first part, which the first subclass with a
// marker shares (some writers put an entity's layer before its AcDbEntity
// marker). A record without markers has one part for all: the first group
// of the code is the one, unless the attribute is newer than the type.
// A subclass whose marker the record lacks has its groups in the part
// before; the second subclass may gather its groups from later parts (see
// Subclass in Declare.h).
template <class G>
int locateIn(const G& g, std::uint32_t from, const Shape& shape, int sub, int code, bool inFlat)
{
    int segment = 0, matched = 0, flat = -1, before = -1, stray = -1;
    bool marked = false, inBracket = false, seen = sub == 0, strayPart = false;
    std::uint32_t strayMarker = 0;  // the marker of the part a stray group would stand in
    const bool main = from == 0;
    const bool strays = sub == 1 && shape.strays;
    // The codes that shape a record (markers, brackets, an embedded object,
    // extended data) are all at or above the marker's: most groups are
    // passed over with one comparison.
    static_assert(code::kSubclass < code::kEmbeddedObject && code::kSubclass < code::kAppGroup &&
                  code::kSubclass < code::kExtendedData);
    for (std::uint32_t i = main ? 1 : from, n = g.size(); i < n; ++i) {
        const int c = g.code(i);
        if (c < code::kSubclass && c != code) continue;
        if (main) {
            if (c == code::kAppGroup) {
                inBracket = isOpen(g.value(i));
                continue;
            }
            if (inBracket) continue;
            if (c == code::kEmbeddedObject) break;
        }
        if (c == code::kExtendedData) break;
        if (c == code::kSubclass) {
            marked = true;
            segment = subclassAfter(shape, matched, g.value(i));
            if (strays) strayPart = segment != sub, strayMarker = i;
            if (segment < 0) continue;
            matched = segment;
            if (segment == sub) seen = true;
            else if (segment < sub) before = -1;  // a later part before the subclass's
            else if (!strays) break;  // past the subclass: markers only go on
            continue;
        }
        if (c != code) continue;
        if (!marked) {
            if (sub <= 1) return static_cast<int>(i);
            if (flat < 0) flat = static_cast<int>(i);
        } else if (segment == sub) {
            return static_cast<int>(i);
        } else if (segment >= 0 && segment < sub) {
            if (before < 0) before = static_cast<int>(i);
        } else if (strayPart && stray < 0 && holdsStrays(g.value(strayMarker))) {
            stray = static_cast<int>(i);
        }
    }
    if (!marked) return inFlat ? flat : -1;
    if (!seen) return before;
    return stray;
}

}  // namespace

namespace detail {

int nextSubclass(const Shape& shape, int after, std::string_view marker)
{
    return subclassAfter(shape, after, marker);
}

void mapMarkers(const RecordView& v, const Shape& shape, std::uint32_t* opens, std::size_t count)
{
    int matched = 0;
    bool inBracket = false;
    const int last = static_cast<int>(count) - 1;
    for (std::uint32_t i = 1, n = v.size(); i < n && matched < last; ++i) {
        const int c = v.code(i);
        if (c < code::kSubclass) continue;
        if (c == code::kAppGroup) {
            inBracket = isOpen(v.raw(i));
            continue;
        }
        if (inBracket) continue;
        if (c == code::kEmbeddedObject || c == code::kExtendedData) break;
        if (c != code::kSubclass) continue;
        const int segment = subclassAfter(shape, matched, v.raw(i));
        if (segment < 0) continue;
        matched = segment;
        opens[segment] = i;
    }
}

int locateAfter(const RecordView& v, std::uint32_t marker, int code)
{
    bool inBracket = false;
    for (std::uint32_t i = marker + 1, n = v.size(); i < n; ++i) {
        const int c = v.code(i);
        if (c < code::kSubclass && c != code) continue;
        if (c == code::kAppGroup) {
            inBracket = isOpen(v.raw(i));
            continue;
        }
        if (inBracket) continue;
        if (c == code::kEmbeddedObject || c == code::kExtendedData || c == code::kSubclass) break;
        if (c == code) return static_cast<int>(i);
    }
    return -1;
}

int partOf(const RecordView& v, std::uint32_t from, const Shape& shape, int sub)
{
    int matched = 0, part = 0;
    bool marked = false, inBracket = false;
    for (std::uint32_t i = from ? from : 1; i < v.size(); ++i) {
        const int c = v.code(i);
        if (c == code::kExtendedData) break;
        if (from == 0) {
            if (c == code::kAppGroup) {
                inBracket = isOpen(v.raw(i));
                continue;
            }
            if (inBracket) continue;
            if (c == code::kEmbeddedObject) break;
        }
        if (c != code::kSubclass) continue;
        marked = true;
        int segment = subclassAfter(shape, matched, v.raw(i));
        if (segment < 0) continue;
        matched = segment;
        if (segment > sub) break;
        part = segment;
    }
    return marked ? part : -1;
}

int locate(const RecordView& v, std::uint32_t from, const Shape& shape, int sub, int code, bool inFlat)
{
    return locateIn(FileGroups{v}, from, shape, sub, code, inFlat);
}

int locate(const Document::Edit& e, std::uint32_t from, const Shape& shape, int sub, int code, bool inFlat)
{
    return locateIn(EditGroups{e}, from, shape, sub, code, inFlat);
}

int placeIn(const Document::Edit& e, const Shape& shape, int sub)
{
    int segment = 0, matched = 0, place = -1, before = -1;
    bool marked = false, inBracket = false, seen = sub == 0;
    std::uint32_t i = 1;
    for (const std::uint32_t n = e.size(); i < n; ++i) {
        const int c = e.code(i);
        if (c == code::kAppGroup) {
            inBracket = isOpen(e.rawValue(i));
            continue;
        }
        if (inBracket) continue;
        if (c == code::kEmbeddedObject || c == code::kExtendedData) break;
        if (c == code::kSubclass) {
            marked = true;
            segment = subclassAfter(shape, matched, e.rawValue(i));
            if (segment < 0) continue;
            matched = segment;
            if (segment > sub) break;
            if (segment == sub) seen = true, place = static_cast<int>(i) + 1;
            else before = static_cast<int>(i) + 1;
            continue;
        }
        if (segment == sub || (!marked && sub == 1)) place = static_cast<int>(i) + 1;
        else if (segment >= 0 && segment < sub) before = static_cast<int>(i) + 1;
    }
    if (!marked) return static_cast<int>(i);
    // Without its marker, the subclass's groups go at the end of the part before.
    return seen ? place : before;
}

bool typeIsLoosely(std::string_view type, const std::string_view* names, std::size_t count)
{
    type = trimmed(type);
    for (std::size_t k = 0; k < count; ++k) {
        std::string_view n = names[k];
        if (n.size() != type.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < n.size() && same; ++i) {
            char c = type[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            same = c == n[i];
        }
        if (same) return true;
    }
    return false;
}

std::uint32_t embeddedStart(const RecordView& v, std::uint32_t after)
{
    for (std::uint32_t i = after + 1; i < v.size(); ++i) {
        int c = v.code(i);
        if (c == code::kExtendedData) break;
        if (c == code::kEmbeddedObject) return i + 1;
    }
    return 0;
}

}  // namespace detail

namespace {

constexpr std::pair<std::string_view, Version> kVersions[] = {
    {"AC1009", Version::R12},   {"AC1012", Version::R13},   {"AC1014", Version::R14},
    {"AC1015", Version::R2000}, {"AC1018", Version::R2004}, {"AC1021", Version::R2007},
    {"AC1024", Version::R2010}, {"AC1027", Version::R2013}, {"AC1032", Version::R2018},
};

}  // namespace

Version versionOf(std::string_view acadver)
{
    acadver = trimmed(acadver);
    for (auto& [name, v] : kVersions)
        if (acadver == name) return v;
    // Before AC1009 (and without one): Release 12's layout; a later one not
    // known yet: the newest's.
    if (acadver.size() == 6 && acadver.substr(0, 2) == "AC" && acadver > "AC1032") return kNewest;
    return Version::R12;
}

std::string_view acadverOf(Version v)
{
    for (auto& [name, version] : kVersions)
        if (version == v) return name;
    return "AC1009";
}

double headerReal(const Document& doc, const HeaderVar<RealAttr<sub::Header>>& var)
{
    auto at = doc.headerValue(var.name);
    if (!at) return var.value.fallback;
    RecordView h = doc.headerView();
    if (h.code(*at) != var.value.code) return var.value.fallback;
    return h.real(*at);
}

EntityColor entityColor(const View<def::AnyEntity>& v)
{
    EntityColor c;
    c.aci = static_cast<int>(v.get(def::AnyEntity::color));
    if (v.has(def::AnyEntity::trueColor))
        c.rgb = static_cast<std::uint32_t>(v.get(def::AnyEntity::trueColor)) & 0xFFFFFF;
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
    auto v = View<def::Block>::of(doc, block.begin);
    return v && v->flag(def::Block::flags, def::Block::kExternal);
}

bool isMultilineAttribute(const Document& doc, std::uint32_t record)
{
    if (doc.record(record).kind != Kind::Attrib) return false;
    auto v = View<def::Attrib>::of(doc, record);
    return v && v->embedded().has_value();
}

}  // namespace ddvue::dxf
