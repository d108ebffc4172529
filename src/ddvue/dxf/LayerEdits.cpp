#include "ddvue/dxf/LayerEdits.h"

#include "ddvue/dxf/DocumentParts.h"
#include "ddvue/dxf/Entity.h"

#include <algorithm>
#include <unordered_set>

namespace ddvue::dxf {

using detail::nameKey;

namespace {

constexpr std::string_view kNotInNames = "<>/\\\":;?*|=`";

// Extended symbol names (long, any case, spaces) came with 2000, and a
// drawing may still turn them off.
bool extendedNames(const Document& doc)
{
    if (Document::versionCode(doc.acadVersion()) < Document::versionCode("AC1015")) return false;
    auto at = doc.headerValue(def::header::extNames.name);
    return !at || doc.headerView().integer(*at) != 0;
}

bool isLayerZero(std::string_view name) { return name == "0"; }
bool isDefpoints(std::string_view name) { return nameKey(name) == "DEFPOINTS"; }

bool isXrefDependent(const Document& doc, std::uint32_t layer)
{
    const LayerEntry& l = doc.layers()[layer];
    if (l.name.find(def::Layer::kXrefSeparator) != std::string::npos) return true;
    auto v = View<def::Layer>::of(doc, l.record);
    return v && v->flag(def::Layer::flags, def::Layer::kXrefDependent);
}

std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

// ---- Walking the drawing's records

// Calls f(record, view) for every record that is not deleted.
template <typename F>
void forEachLive(const Document& doc, F&& f)
{
    for (std::uint32_t r = 0, n = doc.recordCount(); r < n; ++r)
        if (!doc.isDeleted(r)) f(r, doc.view(r));
}

bool isEntity(const Record& r) { return r.section == Section::Entities || r.section == Section::Blocks; }

// The index of the first group of extended data, or the record's size.
std::uint32_t extendedDataStart(const RecordView& v)
{
    for (std::uint32_t i = 1; i < v.size(); ++i)
        if (v.code(i) == code::kExtendedData) return i;
    return v.size();
}

// The handles of the layer-state dictionaries (named ACAD_LAYERSTATES in
// another dictionary, the layer table's extension dictionary).
std::unordered_set<std::uint64_t> layerStateDictionaries(const Document& doc)
{
    std::unordered_set<std::uint64_t> out;
    using D = def::Dictionary;
    forEachLive(doc, [&](std::uint32_t r, const RecordView& record) {
        if (doc.record(r).section != Section::Objects) return;
        auto v = View<D>::of(record);
        if (!v) return;
        v->forEachOf<sub::AcDbDictionary>([&](std::uint32_t i, int c) {
            if (c != D::entryName.code || v->text(i) != D::kLayerStates) return;
            if (i + 1 < v->size() && (v->code(i + 1) == D::entry.code || v->code(i + 1) == D::ownedEntry.code))
                if (auto h = Document::parseHandle(v->str(i + 1))) out.insert(*h);
        });
    });
    return out;
}

template <class T>
bool ownedBy(const View<T>& v, const std::unordered_set<std::uint64_t>& owners)
{
    auto h = Document::parseHandle(v.get(T::owner));
    return h && owners.count(*h);
}

// What a reference to the layer becomes: its new name (a rename), or the
// layer it is merged into.
struct Retarget {
    std::string fromKey;     // the old name's key (nameKey)
    std::uint64_t fromHandle = 0;
    std::string to;          // the name references get, as stored
    std::uint64_t toHandle = 0;
    bool merge = false;
    std::unordered_set<std::uint64_t> layerStates;

    bool names(const RecordView& v, std::uint32_t i) const { return nameKey(v.text(i)) == fromKey; }
    bool handles(const RecordView& v, std::uint32_t i) const
    {
        auto h = Document::parseHandle(v.str(i));
        return h && *h == fromHandle;
    }
};

// Groups of one record to change: a value to set, or (a merge into a layer
// the list names already) a run of groups to drop.
struct Changes {
    std::vector<std::pair<std::uint32_t, std::string>> set;  // group, UTF-8 text
    std::vector<std::pair<std::uint32_t, std::uint32_t>> drop;  // [from, to)
    bool empty() const { return set.empty() && drop.empty(); }
};

void apply(Document& doc, std::uint32_t record, Changes& c)
{
    if (c.empty()) return;
    Document::Edit e = doc.edit(record);
    for (auto& [i, text] : c.set) e.setText(i, text);
    std::sort(c.drop.begin(), c.drop.end());
    for (auto d = c.drop.rbegin(); d != c.drop.rend(); ++d)
        for (std::uint32_t i = d->second; i-- > d->first;) e.remove(i);
    e.commit();
}

// A list of layers (a filter's, a viewport's frozen ones): the entry for the
// layer becomes one for its new name, or, merged into a layer the list
// holds already, goes.
template <class T, class A>
void retargetList(const View<T>& v, const Retarget& t, const A& list, Changes& c)
{
    constexpr bool byHandle = std::is_same_v<A, HandleAttr<typename SubclassOf<A>::type>>;
    bool hasTarget = false;
    std::vector<std::uint32_t> hits;
    v.template forEachOf<typename SubclassOf<A>::type>([&](std::uint32_t i, int g) {
        if (g != list.code) return;
        if (byHandle ? t.handles(v, i) : t.names(v, i)) hits.push_back(i);
        else if (t.merge && (byHandle ? Document::parseHandle(v.str(i)) == t.toHandle : nameKey(v.text(i)) == nameKey(t.to)))
            hasTarget = true;
    });
    for (std::uint32_t i : hits) {
        if (hasTarget) c.drop.emplace_back(i, i + 1);
        else c.set.emplace_back(i, byHandle ? Document::formatHandle(t.toHandle) : t.to);
    }
}

// A layer state: its current layer, and the layer's entry, which a merge
// drops (the state then leaves the layer merged into as it finds it).
void retargetLayerState(const View<def::XRecord>& v, const Retarget& t, Changes& c)
{
    using X = def::XRecord;
    std::uint32_t entry = 0;
    bool inEntry = false, entryIsTarget = false;
    auto closeEntry = [&](std::uint32_t at) {
        if (inEntry && entryIsTarget) c.drop.emplace_back(entry, at);
        inEntry = false;
    };
    // The record's data: the groups after its marker (those before it are
    // the object's handle and owner).
    const int marker = v.findMain(code::kSubclass);
    if (marker < 0) return;
    v.forEachOf<sub::AcDbXrecord>([&](std::uint32_t i, int g) {
        if (i <= static_cast<std::uint32_t>(marker)) return;
        if (g == X::currentLayer.code && !inEntry) {
            if (t.names(v, i)) c.set.emplace_back(i, t.to);
        } else if (g == X::layerName.code || g == X::layerHandle.code) {
            closeEntry(i);
            const bool named = g == X::layerName.code ? t.names(v, i) : t.handles(v, i);
            inEntry = true;
            entry = i;
            entryIsTarget = named && t.merge;
            if (named && !t.merge && g == X::layerName.code) c.set.emplace_back(i, t.to);
        }
    });
    closeEntry(extendedDataStart(v));
}

// The layer index: an entry of name, ID buffer and size for each layer.
void retargetLayerIndex(const View<def::LayerIndex>& v, const Retarget& t, Changes& c, std::vector<std::uint64_t>& orphans)
{
    using L = def::LayerIndex;
    bool hasTarget = false;
    std::vector<std::uint32_t> hits;
    v.forEachOf<sub::AcDbLayerIndex>([&](std::uint32_t i, int g) {
        if (g != L::layerName.code) return;
        if (t.names(v, i)) hits.push_back(i);
        else if (t.merge && nameKey(v.text(i)) == nameKey(t.to)) hasTarget = true;
    });
    for (std::uint32_t i : hits) {
        if (!hasTarget) {
            c.set.emplace_back(i, t.to);
            continue;
        }
        // The entry goes, and the ID buffer it owned with it.
        std::uint32_t to = i + 1;
        while (to < v.size() && (v.code(to) == L::buffer.code || v.code(to) == L::entries.code)) {
            if (v.code(to) == L::buffer.code)
                if (auto h = Document::parseHandle(v.str(to))) orphans.push_back(*h);
            ++to;
        }
        c.drop.emplace_back(i, to);
    }
}

// Layer names in extended data (group 1003).
void retargetExtendedData(const RecordView& v, const Retarget& t, Changes& c)
{
    for (std::uint32_t i = extendedDataStart(v); i < v.size(); ++i)
        if (v.code(i) == code::kExtendedLayerName && t.names(v, i)) c.set.emplace_back(i, t.to);
}

// Makes every reference to the layer (not its own entry) follow `t`.
void retargetReferences(Document& doc, const Retarget& t)
{
    std::vector<std::uint64_t> orphans;
    for (std::uint32_t r = 0, n = doc.recordCount(); r < n; ++r) {
        if (doc.isDeleted(r)) continue;
        const RecordView v = doc.view(r);
        const Record& rec = doc.record(r);
        Changes c;
        if (isEntity(rec)) {
            const auto e = View<def::AnyEntity>::of(v);
            const int at = e->find(def::AnyEntity::layer);
            if (at >= 0 && t.names(v, static_cast<std::uint32_t>(at))) c.set.emplace_back(at, t.to);
            if (auto viewport = View<def::Viewport>::of(v); viewport && t.merge)
                retargetList(*viewport, t, def::Viewport::frozenLayer, c);
        } else if (rec.section == Section::Objects) {
            if (auto filter = View<def::LayerFilter>::of(v)) retargetList(*filter, t, def::LayerFilter::layerName, c);
            else if (auto index = View<def::LayerIndex>::of(v)) retargetLayerIndex(*index, t, c, orphans);
            else if (auto x = View<def::XRecord>::of(v); x && ownedBy(*x, t.layerStates)) retargetLayerState(*x, t, c);
        }
        retargetExtendedData(v, t, c);
        apply(doc, r, c);
    }
    for (std::uint64_t h : orphans)
        if (auto r = doc.findHandle(h)) doc.remove(*r);
    if (auto current = doc.headerText(def::header::cLayer.name); current && nameKey(doc.codec().decode(*current)) == t.fromKey)
        doc.setHeaderText(def::header::cLayer.name, doc.encodeText(t.to));
}

// Deletes an object with the objects it owns (its extension dictionary and
// what that holds, and so on).
void removeWithOwned(Document& doc, std::uint32_t record, int depth = 0)
{
    const RecordView v = doc.view(record);
    const std::uint64_t self = doc.record(record).handle;
    std::vector<std::uint32_t> owned;
    for (std::uint32_t i = 1; i < extendedDataStart(v); ++i) {
        if (v.code(i) != code::kHardOwner) continue;
        auto h = Document::parseHandle(v.str(i));
        auto r = h ? doc.findHandle(*h) : std::nullopt;
        if (!r || *r == record) continue;
        const auto o = View<def::AnyObject>::of(doc, *r);
        if (Document::parseHandle(o->get(def::AnyObject::owner)) == self) owned.push_back(*r);
    }
    if (depth < 16)
        for (std::uint32_t r : owned) removeWithOwned(doc, r, depth + 1);
    doc.remove(record);
}

// Changes the count of entries a table's TABLE record gives (where it gives
// one) by `delta`.
void countEntries(Document& doc, std::string_view table, int delta)
{
    auto t = doc.findTable(table);
    if (!t) return;
    constexpr auto count = sub::AcDbSymbolTable::count;
    auto e = TypedEdit<def::TableHead>::of(doc, doc.tables()[*t].begin);
    if (!e || !e->has(count)) return;
    e->set(count, std::max<std::int64_t>(0, e->get(count) + delta));
    e->commit(Change::What::Layer);
}

void setLayerName(Document& doc, std::uint32_t record, const std::string& name)
{
    auto e = TypedEdit<def::Layer>::of(doc, record);
    if (!e) return;
    e->set(def::Layer::name, name);
    e->commit(Change::What::Layer);
}

}  // namespace

std::string layerNameProblem(const Document& doc, std::string_view name)
{
    if (name.empty()) return "A layer name cannot be empty.";
    if (!extendedNames(doc)) {
        const bool fits = name.size() <= 31 && std::all_of(name.begin(), name.end(), [](char ch) {
            return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '$' ||
                   ch == '-' || ch == '_';
        });
        if (!fits)
            return "In a drawing of this version a layer name has at most 31 characters, each a letter, a digit, "
                   "$, - or _: " + quoted(name) + " is not one.";
        return {};
    }
    std::size_t characters = 0;
    bool blank = true;
    for (std::size_t i = 0; i < name.size();) {
        const char32_t cp = nextUtf8(name, i);
        ++characters;
        if (cp < 0x20 || cp == 0x7F) return "A layer name cannot contain a control character or a line break.";
        if (cp < 0x80 && kNotInNames.find(static_cast<char>(cp)) != std::string_view::npos)
            return "A layer name cannot contain any of < > / \\ \" : ; ? * | = `.";
        if (cp != ' ') blank = false;
    }
    if (blank) return "A layer name cannot be only spaces.";
    if (characters > 255) return "A layer name has at most 255 characters.";
    return {};
}

std::string storedLayerName(const Document& doc, std::string_view name)
{
    return extendedNames(doc) ? std::string(name) : detail::upper(name);
}

std::string renameRefusal(const Document& doc, std::uint32_t layer, std::string_view name)
{
    if (layer >= doc.layers().size()) return "There is no such layer.";
    const std::string& old = doc.layers()[layer].name;
    if (isLayerZero(old)) return "Layer 0 cannot be renamed.";
    if (isDefpoints(old)) return "The layer Defpoints cannot be renamed.";
    if (isXrefDependent(doc, layer))
        return "The layer " + quoted(old) + " belongs to an external reference and cannot be renamed.";
    if (std::string why = layerNameProblem(doc, name); !why.empty()) return why;
    auto other = doc.findLayer(storedLayerName(doc, name));
    if (other && *other != layer) return "A layer named " + quoted(doc.layers()[*other].name) + " exists already.";
    return {};
}

bool renameLayer(Document& doc, std::uint32_t layer, std::string_view name)
{
    if (!renameRefusal(doc, layer, name).empty()) return false;
    const LayerEntry old = doc.layers()[layer];
    const std::string stored = storedLayerName(doc, name);
    if (stored == old.name) return true;  // nothing to change
    Retarget t;
    t.fromKey = nameKey(old.name);
    t.fromHandle = doc.record(old.record).handle;
    t.to = stored;
    t.layerStates = layerStateDictionaries(doc);
    setLayerName(doc, old.record, stored);
    retargetReferences(doc, t);
    return true;
}

std::string mergeRefusal(const Document& doc, std::uint32_t from, std::uint32_t into)
{
    if (from >= doc.layers().size() || into >= doc.layers().size()) return "There is no such layer.";
    const std::string& name = doc.layers()[from].name;
    if (from == into || nameKey(name) == nameKey(doc.layers()[into].name))
        return "A layer cannot be merged into itself.";
    if (isLayerZero(name)) return "Layer 0 cannot be merged into another layer: it cannot be removed.";
    if (isDefpoints(name)) return "The layer Defpoints cannot be merged into another layer: it cannot be removed.";
    for (std::uint32_t l : {from, into})
        if (isXrefDependent(doc, l))
            return "The layer " + quoted(doc.layers()[l].name) + " belongs to an external reference and cannot be merged.";
    return {};
}

bool mergeLayer(Document& doc, std::uint32_t from, std::uint32_t into)
{
    if (!mergeRefusal(doc, from, into).empty()) return false;
    const LayerEntry gone = doc.layers()[from], kept = doc.layers()[into];
    Retarget t;
    t.fromKey = nameKey(gone.name);
    t.fromHandle = doc.record(gone.record).handle;
    t.to = kept.name;
    t.toHandle = doc.record(kept.record).handle;
    t.merge = true;
    t.layerStates = layerStateDictionaries(doc);
    retargetReferences(doc, t);
    removeWithOwned(doc, gone.record);
    countEntries(doc, "LAYER", -1);
    return true;
}

std::optional<std::uint32_t> addLayer(Document& doc, std::string_view name, std::string& why)
{
    why = layerNameProblem(doc, name);
    const std::string stored = storedLayerName(doc, name);
    if (why.empty() && doc.findLayer(stored)) why = "A layer named " + quoted(stored) + " exists already.";
    auto table = doc.findTable("LAYER");
    if (why.empty() && (!table || doc.tables()[*table].end == doc.tables()[*table].begin || doc.layers().empty()))
        why = "The drawing has no layer table to add a layer to.";
    if (!why.empty()) return std::nullopt;

    // Made like layer 0 (or the first layer): the groups of the drawing's
    // version, the same owner, with a handle, name, flags and color of its own,
    // without the other's extension dictionary, true color or extended data.
    const std::uint32_t model = doc.layers()[doc.findLayer("0").value_or(0)].record;
    const std::uint32_t made = doc.create(Document::Place::before(doc.tables()[*table].end), doc.record(model));
    using L = def::Layer;
    const RecordView v = doc.view(model);
    Document::Edit e = doc.edit(made);
    bool inBracket = false;
    for (std::uint32_t i = 0; i < v.size(); ++i) {
        const int c = v.code(i);
        if (c == code::kAppGroup) {
            inBracket = detail::isBracketOpen(v.str(i));
            continue;
        }
        if (inBracket) continue;
        if (c == code::kExtendedData) break;
        if (c == L::trueColor.code || c == L::colorName.code) continue;
        const auto at = e.size();
        if (c == L::handle.code) e.insertText(at, c, Document::formatHandle(doc.record(made).handle));
        else if (c == L::name.code) e.insertText(at, c, stored);
        else if (c == L::flags.code) e.insertInteger(at, c, 0);
        else if (c == L::color.code) e.insertInteger(at, c, L::color.fallback);
        else e.append(v, i);
    }
    e.commit(Change::What::Layer);
    countEntries(doc, "LAYER", +1);
    return doc.findLayer(stored);
}

}  // namespace ddvue::dxf
