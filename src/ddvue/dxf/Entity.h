#pragma once
// The entity layer: records read and changed through the declarations of
// their types (EntityTypes.h, ObjectTypes.h). Everything above the lossless
// document (the renderer, the content document, the edits, the DWG writer)
// reads and writes group codes through them, so a fact about an entity
// (where a TEXT keeps its value, which code holds a true color, how an
// INSERT's attributes follow it) lives in one place.
//
// A view or an edit of a record is typed by the record's type: a View<Line>
// is made only of a LINE, and takes only the attributes of the LINE's
// subclasses (asking it for an ATTRIB's tag does not compile). Each lookup
// is a scan of the record's groups that finds the attribute within its own
// subclass, and allocates nothing.
//
// The layer only reads the document's groups and hands codes to its edits:
// the bytes of the file stay the document's.

#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/ObjectTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ddvue::dxf {

namespace detail {

// Where the first group of `code` in subclass `sub` stands among a
// record's groups from `from` to the end of its main part (outside 102
// brackets, before an embedded object or extended data); -1 when none. In
// a record without subclass markers every group stands in every subclass,
// except that `inFlat` false leaves the attribute out there.
int locate(const RecordView& v, std::uint32_t from, const Shape& shape, int sub, int code, bool inFlat);
int locate(const Document::Edit& e, std::uint32_t from, const Shape& shape, int sub, int code, bool inFlat);
// Where a new group of subclass `sub` goes: after the last group of its
// part (of the main part, in a record without markers; of the part before,
// when the record lacks the subclass's marker).
int placeIn(const Document::Edit& e, const Shape& shape, int sub);
// The subclass after `after` whose marker `marker` is; -1 when none.
int nextSubclass(const Shape& shape, int after, std::string_view marker);
// Notes in opens[k] where the marker that opens subclass k stands among a
// record's main groups (0 when the record lacks it; all 0 for a record
// without markers), in one pass that stops at the last subclass's marker.
void mapMarkers(const RecordView& v, const Shape& shape, std::uint32_t* opens, std::size_t count);
// Where the first group of `code` stands in the part its marker at `marker`
// opens: up to the next marker, outside brackets; -1 when none. What locate
// finds for a subclass after the second, in a record that has its marker.
int locateAfter(const RecordView& v, std::uint32_t marker, int code);
// The part of a record where subclass `sub`'s groups stand: its own, or
// the one before it when the record lacks its marker; -1 for a record
// without markers, whose every group stands in every subclass.
int partOf(const RecordView& v, std::uint32_t from, const Shape& shape, int sub);

// Calls f(index, code) for each group of subclass `sub` of a record, in
// order, from `from` (1 when 0) to the end of its main part.
template <class F>
void forEachOf(const RecordView& v, std::uint32_t from, const Shape& shape, int sub, F&& f)
{
    const int part = partOf(v, from, shape, sub);
    int segment = 0, matched = 0;
    bool inBracket = false;
    for (std::uint32_t i = from ? from : 1; i < v.size(); ++i) {
        const int c = v.code(i);
        if (c == code::kExtendedData) return;
        if (from == 0) {
            if (c == code::kAppGroup) {
                std::string_view b = v.raw(i);
                inBracket = !b.empty() && b.front() == '{';
                continue;
            }
            if (inBracket) continue;
            if (c == code::kEmbeddedObject) return;
        }
        if (c == code::kSubclass && part >= 0) {
            segment = nextSubclass(shape, matched, v.raw(i));
            if (segment >= 0) matched = segment;
            if (segment > part) return;
            continue;
        }
        if (part < 0 || segment == part || (part == 1 && segment == 0)) f(i, c);
    }
}

// Whether a record type name (as stored: in any letter case, blanks around
// it) is one of `names`; any is, when there are none. A name as written, in
// capitals, is decided here; others by typeIsLoosely.
bool typeIsLoosely(std::string_view type, const std::string_view* names, std::size_t count);
inline bool typeIs(std::string_view type, const std::string_view* names, std::size_t count)
{
    if (count == 0) return true;
    for (std::size_t k = 0; k < count; ++k)
        if (names[k] == type) return true;
    return typeIsLoosely(type, names, count);
}
// Where the embedded object of a record starts (after its 101 group); 0 when none.
std::uint32_t embeddedStart(const RecordView& v, std::uint32_t after = 0);

template <class T, class = void>
struct EmbedsText : std::false_type {};
template <class T>
struct EmbedsText<T, std::void_t<decltype(T::kEmbedsText)>> : std::bool_constant<T::kEmbedsText> {};

template <class T, class A>
constexpr int subclassIndex()
{
    constexpr int s = T::template indexOf<typename SubclassOf<A>::type>;
    static_assert(s >= 0, "records of this type have no such attribute");
    return s;
}

}  // namespace detail

// A record read as a T.
template <class T>
class View : public RecordView {
public:
    using Type = T;

    // The record as a T; nullopt when its type is not one of T's.
    static std::optional<View> of(const RecordView& v)
    {
        if (!detail::typeIs(v.type(), T::names.data(), T::names.size())) return std::nullopt;
        return View(v, 0);
    }
    static std::optional<View> of(const Document& doc, std::uint32_t record) { return of(doc.view(record)); }

    // A view of any type (AnyEntity) is made of a view of another.
    template <class U>
        requires(T::names.size() == 0)
    View(const View<U>& other) : RecordView(other), from_(other.from_)  // NOLINT: a view reads as a wider view
    {
    }

    // Where the attribute's (first) group stands; -1 when the record has none.
    template <class A>
    int find(const A& a) const
    {
        constexpr int s = detail::subclassIndex<T, A>();
        // A subclass after the second is looked for within its own part,
        // which the markers found once for the view tell.
        if constexpr (s >= 2) {
            if (from_ == 0) {
                if (!mapped_) {
                    detail::mapMarkers(*this, kShape, opens_.data(), opens_.size());
                    mapped_ = true;
                }
                if (opens_[s] != 0) return detail::locateAfter(*this, opens_[s], a.code);
            }
        }
        return detail::locate(*this, from_, kShape, s, a.code, inFlat(a));
    }
    template <class A>
    bool has(const A& a) const
    {
        return find(a) >= 0;
    }

    template <class S>
    double get(const RealAttr<S>& a) const
    {
        return get(a, a.fallback);
    }
    // The same with a fallback of the caller's (a vertex's width is its polyline's).
    template <class S>
    double get(const RealAttr<S>& a, double fallback) const
    {
        int i = find(a);
        return i < 0 ? fallback : real(static_cast<std::uint32_t>(i));
    }
    template <class S>
    std::int64_t get(const IntAttr<S>& a) const
    {
        int i = find(a);
        return i < 0 ? a.fallback : integer(static_cast<std::uint32_t>(i));
    }
    template <class S>
    std::string get(const TextAttr<S>& a) const
    {
        int i = find(a);
        return i < 0 ? std::string(a.fallback) : text(static_cast<std::uint32_t>(i));
    }
    // A handle as stored (hex digits); empty when the record has none.
    template <class S>
    std::string_view get(const HandleAttr<S>& a) const
    {
        int i = find(a);
        return i < 0 ? std::string_view() : str(static_cast<std::uint32_t>(i));
    }
    template <class S>
    Point3 get(const PointAttr<S>& a) const
    {
        constexpr int s = detail::subclassIndex<T, PointAttr<S>>();
        Point3 p = a.fallback;
        int x = find(a);
        if (x >= 0) p.x = real(static_cast<std::uint32_t>(x));
        int y = coordinate(x, a.y(), s, inFlat(a));
        if (y >= 0) p.y = real(static_cast<std::uint32_t>(y));
        int z = coordinate(y >= 0 ? y : x, a.z(), s, inFlat(a));
        if (z >= 0) p.z = real(static_cast<std::uint32_t>(z));
        return p;
    }
    template <class S>
    Point3 get(const Point2Attr<S>& a) const
    {
        constexpr int s = detail::subclassIndex<T, Point2Attr<S>>();
        Point3 p = a.fallback;
        int x = find(a);
        if (x >= 0) p.x = real(static_cast<std::uint32_t>(x));
        int y = coordinate(x, a.y(), s, inFlat(a));
        if (y >= 0) p.y = real(static_cast<std::uint32_t>(y));
        return p;
    }
    // The bits of a flags attribute.
    template <class S>
    bool flag(const IntAttr<S>& a, std::int64_t bit) const
    {
        return (get(a) & bit) != 0;
    }

    // Calls f(index, code) for each group of subclass S, in order: for
    // attributes that repeat (vertices, knots) and parts read group by
    // group (a hatch's paths).
    template <class S, class F>
    void forEachOf(F&& f) const
    {
        constexpr int s = T::template indexOf<S>;
        static_assert(s >= 0, "records of this type have no such subclass");
        detail::forEachOf(*this, from_, kShape, s, std::forward<F>(f));
    }

    // Calls f(index, code) for each group of the main part (of the embedded
    // object, for an embedded view).
    template <class F>
    void forEach(F&& f) const
    {
        if (from_ == 0) return forEachMain(std::forward<F>(f));
        for (std::uint32_t i = from_; i < size() && code(i) != code::kExtendedData; ++i) f(i, code(i));
    }

    // The MTEXT embedded in a multi-line attribute (ATTRIB, ATTDEF): its
    // text and layout a second time; nullopt when there is none.
    std::optional<View<def::MText>> embedded() const
    {
        static_assert(detail::EmbedsText<T>::value, "records of this type embed no text");
        // After the last marker, when the markers are known.
        std::uint32_t at = detail::embeddedStart(*this, mapped_ ? opens_.back() : 0);
        if (at == 0) return std::nullopt;
        return View<def::MText>(*this, at);
    }

private:
    template <class U>
    friend class View;
    static constexpr Shape kShape = shapeOf<T>();

    View(const RecordView& v, std::uint32_t from) : RecordView(v), from_(from) {}

    template <class A>
    static bool inFlat(const A& a)
    {
        return a.in.flat;
    }
    // The group of a point's next coordinate: right after the one before
    // it, as it stands in every file, else wherever it stands in the subclass.
    int coordinate(int before, int code, int sub, bool flat) const
    {
        if (before >= 0 && static_cast<std::uint32_t>(before) + 1 < size() &&
            this->code(static_cast<std::uint32_t>(before) + 1) == code)
            return before + 1;
        return detail::locate(*this, from_, kShape, sub, code, flat);
    }

    std::uint32_t from_ = 0;  // 0: the record's main part; else where an embedded object's groups start
    // Where each subclass's marker stands, once a lookup has needed them.
    mutable std::array<std::uint32_t, T::kSubclasses> opens_{};
    mutable bool mapped_ = false;
};

// A record's groups changed through its type's declarations; commit()
// stores them (see Document::Edit).
template <class T>
class TypedEdit {
public:
    // The record as a T; nullopt when its type is not one of T's.
    static std::optional<TypedEdit> of(Document& doc, std::uint32_t record)
    {
        if (!View<T>::of(doc, record)) return std::nullopt;
        return TypedEdit(doc.edit(record));
    }

    // The groups themselves, for what goes by position (an embedded object).
    Document::Edit& groups() { return e_; }
    const Document::Edit& groups() const { return e_; }

    template <class A>
    int find(const A& a) const
    {
        return detail::locate(e_, 0, kShape, detail::subclassIndex<T, A>(), a.code, a.in.flat);
    }
    template <class A>
    bool has(const A& a) const
    {
        return find(a) >= 0;
    }
    template <class S>
    std::int64_t get(const IntAttr<S>& a) const
    {
        int i = find(a);
        return i < 0 ? a.fallback : e_.integer(static_cast<std::uint32_t>(i));
    }

    // Where a new group of attribute `a` goes: after the last group of its
    // subclass's part.
    template <class A>
    int placeFor(const A&) const
    {
        return detail::placeIn(e_, kShape, detail::subclassIndex<T, A>());
    }

    // Sets the attribute's first group, or adds one at `at` (-1: after the
    // last group of its subclass). False, changing nothing, when it has
    // no group and no place for one.
    template <class S>
    bool set(const IntAttr<S>& a, std::int64_t v, int at = -1)
    {
        int i = find(a);
        if (i >= 0) {
            e_.setInteger(static_cast<std::uint32_t>(i), v);
            return true;
        }
        if (at < 0) at = placeFor(a);
        if (at < 0) return false;
        e_.insertInteger(static_cast<std::uint32_t>(at), a.code, v);
        return true;
    }
    template <class S>
    bool set(const TextAttr<S>& a, std::string_view utf8, int at = -1)
    {
        int i = find(a);
        if (i >= 0) {
            e_.setText(static_cast<std::uint32_t>(i), utf8);
            return true;
        }
        if (at < 0) at = placeFor(a);
        if (at < 0) return false;
        e_.insertText(static_cast<std::uint32_t>(at), a.code, utf8);
        return true;
    }
    // Removes every group of the attribute; where the first stood, or -1.
    template <class A>
    int removeAll(const A& a)
    {
        int first = -1;
        for (int i; (i = find(a)) >= 0;) {
            if (first < 0) first = i;
            e_.remove(static_cast<std::uint32_t>(i));
        }
        return first;
    }

    void commit(Change::What what = Change::What::Entity) { e_.commit(what); }

private:
    static constexpr Shape kShape = shapeOf<T>();
    explicit TypedEdit(Document::Edit e) : e_(std::move(e)) {}
    Document::Edit e_;
};

// Reads a header variable; its fallback when the drawing has none.
double headerReal(const Document& doc, const HeaderVar<RealAttr<sub::Header>>& var);

// The record's view as a T; an unchecked record index is refused as well.
template <class T>
std::optional<View<T>> viewAs(const Document& doc, std::uint32_t record)
{
    if (record >= doc.recordCount()) return std::nullopt;
    return View<T>::of(doc, record);
}

// An entity's own color: a true color when it has one, else its ACI
// (0 by block, 256 by layer, 1..255).
struct EntityColor {
    int aci = sub::AcDbEntity::kByLayer;
    std::optional<std::uint32_t> rgb;  // 0xRRGGBB
};
EntityColor entityColor(const View<def::AnyEntity>& v);

// The children of an INSERT that are its ATTRIBs (deleted ones left out).
std::vector<std::uint32_t> attributesOf(const Document& doc, std::uint32_t insert);
// How many there are, without listing them.
std::size_t attributeCount(const Document& doc, std::uint32_t insert);
// The VERTEX children of a POLYLINE (deleted ones left out).
std::vector<std::uint32_t> verticesOf(const Document& doc, std::uint32_t polyline);
// Whether a block definition stands for an external reference.
bool isExternalReference(const Document& doc, const BlockDef& block);
// Whether an ATTRIB carries an embedded multi-line text.
bool isMultilineAttribute(const Document& doc, std::uint32_t record);

}  // namespace ddvue::dxf
