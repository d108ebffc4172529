#pragma once
// The means by which the program declares what it knows of DXF records.
//
// A record type (LINE, ATTRIB, LAYER, LAYOUT...) is a layout: its subclasses
// in the order the file writes them, each opened by a subclass marker (100
// AcDbEntity, 100 AcDbText...), the first one without a marker (the groups
// every object starts with). Each subclass declares its attributes once: the
// group code, what the value is (a number, an integer, a text, a handle, a
// point), the value the attribute has when the record leaves it out, and the
// DXF versions that have it. An attribute belongs to its subclass: it is
// looked for among the groups of that subclass only, so a code that two
// subclasses use (71 is the text generation flags in AcDbText and the
// attribute type in AcDbAttribute) is read from the right one.
//
// Drawings of Release 12 have no subclass markers: a record without any is
// read as that release lays the type out, all groups in one run, where an
// attribute that shares its code with an older one of the type (declared
// `flat` false) is not looked for.
//
// The declarations themselves are in EntityTypes.h and ObjectTypes.h; typed
// views and edits of records through them in Entity.h.

#include <array>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace ddvue::dxf {

struct Point3 {
    double x = 0, y = 0, z = 0;
};

// DXF versions, by the release that introduced each.
enum class Version : std::uint8_t { R12, R13, R14, R2000, R2004, R2007, R2010, R2013, R2018 };
inline constexpr Version kNewest = Version::R2018;

// The version a $ACADVER value names ("AC1015" is R2000); R12 for older
// ones and for none, newest for one not known yet.
Version versionOf(std::string_view acadver);
// The $ACADVER value of a version.
std::string_view acadverOf(Version v);

// The versions that have an attribute: from `since` to `until`, both
// included; `flat` false when a record without subclass markers cannot have
// it (its code means an older attribute there).
struct Versions {
    Version since = Version::R12;
    Version until = kNewest;
    bool flat = true;
    constexpr bool has(Version v) const { return since <= v && v <= until; }
};
constexpr Versions since(Version v) { return {v, kNewest}; }
constexpr Versions markedSince(Version v) { return {v, kNewest, false}; }

// The attributes, by what their value is. `Sub` is the subclass that holds
// the attribute; a view or an edit of a record takes only attributes of the
// subclasses its type has.
template <class Sub>
struct RealAttr {
    std::int16_t code;
    double fallback = 0;
    Versions in = {};
};
template <class Sub>
struct IntAttr {
    std::int16_t code;
    std::int64_t fallback = 0;
    Versions in = {};
};
template <class Sub>
struct TextAttr {
    std::int16_t code;
    std::string_view fallback = {};
    Versions in = {};
};
// A reference to another object by its handle (hex digits).
template <class Sub>
struct HandleAttr {
    std::int16_t code;
    Versions in = {};
};
// A point or vector: x in `code`, y in the code 10 above it, z in the one 20
// above; each coordinate the record leaves out takes the fallback's.
template <class Sub>
struct PointAttr {
    std::int16_t code;
    Point3 fallback = {};
    Versions in = {};
    constexpr int y() const { return code + 10; }
    constexpr int z() const { return code + 20; }
};
// The same in the plane: x and y only.
template <class Sub>
struct Point2Attr {
    std::int16_t code;
    Point3 fallback = {};
    Versions in = {};
    constexpr int y() const { return code + 10; }
};

// The subclass an attribute belongs to.
template <class A>
struct SubclassOf;
template <template <class> class A, class S>
struct SubclassOf<A<S>> {
    using type = S;
};

// A subclass: `Self` names it, so that its attributes know where they
// belong. Each declares `markers`, the names its marker may have (none for
// the groups before the first marker).
//
// Files from some writers put groups in the wrong part, and CAD programs
// read them all the same: a subclass whose marker a record lacks has its
// groups in the part before where it would stand (an ELLIPSE without its
// AcDbEllipse marker keeps its centre after AcDbEntity's); and the second
// subclass, when it declares kGathersStrays (AcDbEntity), takes a group of
// its own that its part lacks from a later one (a layer or color after the
// AcDbText marker), except from parts named in kOwnColorParts.
template <class Self>
struct Subclass {
    using Real = RealAttr<Self>;
    using Int = IntAttr<Self>;
    using Text = TextAttr<Self>;
    using Handle = HandleAttr<Self>;
    using Point = PointAttr<Self>;
    using Point2 = Point2Attr<Self>;
};

template <class... S>
constexpr std::array<std::string_view, sizeof...(S)> markers(S... names)
{
    return {std::string_view(names)...};
}
template <class... S>
constexpr std::array<std::string_view, sizeof...(S)> typeNames(S... names)
{
    return {std::string_view(names)...};
}

// The parts whose groups of a color's codes are their own (a table's cells'):
// no misplaced entity groups are looked for there.
inline constexpr std::string_view kOwnColorParts[] = {"AcDbTable"};

// A subclass marker of a record type, and the subclass it opens.
struct Marker {
    std::string_view name;
    std::uint8_t subclass = 0;
};

// What the lookup needs to know of a record type at run time.
struct Shape {
    const Marker* markers;
    std::uint8_t count;
    // Whether groups of the second subclass may stand in later parts (see Subclass).
    bool strays = false;
};

namespace detail {

template <class... Subs>
constexpr auto markerTable()
{
    constexpr std::size_t n = (Subs::markers.size() + ... + 0);
    std::array<Marker, n> out{};
    std::size_t k = 0;
    std::uint8_t s = 0;
    (
        [&] {
            for (std::string_view m : Subs::markers) out[k++] = Marker{m, s};
            ++s;
        }(),
        ...);
    return out;
}

// The position among `Subs` of the subclass that declares `Sub`'s
// attributes (Sub itself, or a subclass built on it); -1 when none.
template <class S, class = void>
struct GathersStrays : std::false_type {};
template <class S>
struct GathersStrays<S, std::void_t<decltype(S::kGathersStrays)>> : std::bool_constant<S::kGathersStrays> {};

template <class... Subs>
constexpr bool gathersStrays()
{
    constexpr bool gathers[] = {GathersStrays<Subs>::value..., false, false};
    return gathers[1];
}

template <class Sub, class... Subs>
constexpr int indexOf()
{
    int at = -1, k = 0;
    ((at = (at < 0 && std::is_base_of_v<Sub, Subs>) ? k : at, ++k), ...);
    return at;
}

}  // namespace detail

// A record type: its subclasses in order. A type's declaration derives from
// it, which makes every subclass's attributes the type's own names
// (def::Text::height), and adds `names`, the record type names it stands for
// (none: any record), and, for a type newer than Release 12, the version that
// introduced it.
template <class... Subs>
struct RecordType : Subs... {
    static constexpr auto kMarkers = detail::markerTable<Subs...>();
    static constexpr std::size_t kSubclasses = sizeof...(Subs);
    static constexpr bool kStrays = detail::gathersStrays<Subs...>();
    static constexpr Version since = Version::R12;
    template <class Sub>
    static constexpr int indexOf = detail::indexOf<Sub, Subs...>();
};

template <class T>
constexpr Shape shapeOf()
{
    return Shape{T::kMarkers.data(), static_cast<std::uint8_t>(T::kMarkers.size()), T::kStrays};
}

// Whether records of type T hold attribute `A`.
template <class T, class A>
inline constexpr bool kHolds = T::template indexOf<typename SubclassOf<A>::type> >= 0;

}  // namespace ddvue::dxf
