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
    auto at = doc.headerValue("$EXTNAMES");
    return !at || doc.headerView().integer(*at) != 0;
}

bool isLayerZero(std::string_view name) { return name == "0"; }
bool isDefpoints(std::string_view name) { return nameKey(name) == "DEFPOINTS"; }

bool isXrefDependent(const Document& doc, std::uint32_t layer)
{
    const LayerEntry& l = doc.layers()[layer];
    return l.name.find(def::XrefDependent::kSeparator) != std::string::npos ||
           EntityView(doc, l.record).flag(def::TableEntry::flags, def::XrefDependent::kFlag);
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
        if (v.code(i) == def::Common::extendedData) return i;
    return v.size();
}

// The handles of the layer-state dictionaries (named ACAD_LAYERSTATES in
// another dictionary, the layer table's extension dictionary).
std::unordered_set<std::uint64_t> layerStateDictionaries(const Document& doc)
{
    std::unordered_set<std::uint64_t> out;
    forEachLive(doc, [&](std::uint32_t r, const RecordView& v) {
        if (doc.record(r).section != Section::Objects || !detail::is(detail::trim(v.type()), "DICTIONARY")) return;
        v.forEachMain([&](std::uint32_t i, int c) {
            if (c != def::Dictionary::entryName.code || v.text(i) != def::Dictionary::kLayerStates) return;
            if (i + 1 < v.size() &&
                (v.code(i + 1) == def::Dictionary::entry.code || v.code(i + 1) == def::Dictionary::ownedEntry.code))
                if (auto h = Document::parseHandle(v.str(i + 1))) out.insert(*h);
        });
    });
    return out;
}

bool ownedBy(const RecordView& v, const std::unordered_set<std::uint64_t>& owners)
{
    const int at = v.findMain(def::Common::owner.code);
    if (at < 0) return false;
    auto h = Document::parseHandle(v.str(static_cast<std::uint32_t>(at)));
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
void retargetList(const RecordView& v, const Retarget& t, int code, bool byHandle, Changes& c)
{
    bool hasTarget = false;
    std::vector<std::uint32_t> hits;
    v.forEachMain([&](std::uint32_t i, int g) {
        if (g != code) return;
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
void retargetLayerState(const RecordView& v, const Retarget& t, Changes& c)
{
    bool data = false;
    std::uint32_t entry = 0;
    bool inEntry = false, entryIsTarget = false;
    const std::uint32_t end = extendedDataStart(v);
    auto closeEntry = [&](std::uint32_t at) {
        if (inEntry && entryIsTarget) c.drop.emplace_back(entry, at);
        inEntry = false;
    };
    for (std::uint32_t i = 1; i < end; ++i) {
        const int g = v.code(i);
        if (g == def::Common::subclass) {
            data = detail::trim(v.str(i)) == def::LayerStateRecord::kSubclass;
            continue;
        }
        if (!data) continue;
        if (g == def::LayerStateRecord::currentLayer.code && !inEntry) {
            if (t.names(v, i)) c.set.emplace_back(i, t.to);
        } else if (g == def::LayerStateRecord::layerName.code || g == def::LayerStateRecord::layerHandle.code) {
            closeEntry(i);
            const bool named = g == def::LayerStateRecord::layerName.code ? t.names(v, i) : t.handles(v, i);
            inEntry = true;
            entry = i;
            entryIsTarget = named && t.merge;
            if (named && !t.merge && g == def::LayerStateRecord::layerName.code) c.set.emplace_back(i, t.to);
        }
    }
    closeEntry(end);
}

// The layer index: an entry of name, ID buffer and size for each layer.
void retargetLayerIndex(Document& doc, const RecordView& v, const Retarget& t, Changes& c,
                        std::vector<std::uint64_t>& orphans)
{
    bool hasTarget = false;
    std::vector<std::uint32_t> hits;
    v.forEachMain([&](std::uint32_t i, int g) {
        if (g != def::LayerIndex::layerName.code) return;
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
        while (to < v.size() && (v.code(to) == def::LayerIndex::buffer.code || v.code(to) == def::LayerIndex::entries.code)) {
            if (v.code(to) == def::LayerIndex::buffer.code)
                if (auto h = Document::parseHandle(v.str(to))) orphans.push_back(*h);
            ++to;
        }
        c.drop.emplace_back(i, to);
    }
    (void)doc;
}

// Layer names in extended data (group 1003).
void retargetExtendedData(const RecordView& v, const Retarget& t, Changes& c)
{
    for (std::uint32_t i = extendedDataStart(v); i < v.size(); ++i)
        if (v.code(i) == def::Ownership::extendedLayerName && t.names(v, i)) c.set.emplace_back(i, t.to);
}

// Makes every reference to the layer (not its own entry) follow `t`.
void retargetReferences(Document& doc, const Retarget& t)
{
    std::vector<std::uint64_t> orphans;
    for (std::uint32_t r = 0, n = doc.recordCount(); r < n; ++r) {
        if (doc.isDeleted(r)) continue;
        const RecordView v = doc.view(r);
        const Record& rec = doc.record(r);
        const std::string_view type = detail::trim(v.type());
        Changes c;
        if (isEntity(rec)) {
            const int at = v.findMain(def::Entity::layer.code);
            if (at >= 0 && t.names(v, static_cast<std::uint32_t>(at))) c.set.emplace_back(at, t.to);
            if (t.merge && detail::is(type, "VIEWPORT"))
                retargetList(v, t, def::FrozenLayers::layerHandle.code, true, c);
        } else if (rec.section == Section::Objects) {
            if (detail::is(type, "LAYER_FILTER")) retargetList(v, t, def::LayerFilter::layerName.code, false, c);
            else if (detail::is(type, "LAYER_INDEX")) retargetLayerIndex(doc, v, t, c, orphans);
            else if (detail::is(type, "XRECORD") && ownedBy(v, t.layerStates)) retargetLayerState(v, t, c);
        }
        retargetExtendedData(v, t, c);
        apply(doc, r, c);
    }
    for (std::uint64_t h : orphans)
        if (auto r = doc.findHandle(h)) doc.remove(*r);
    if (auto current = doc.headerText("$CLAYER"); current && nameKey(doc.codec().decode(*current)) == t.fromKey)
        doc.setHeaderText("$CLAYER", doc.encodeText(t.to));
}

// Deletes an object with the objects it owns (its extension dictionary and
// what that holds, and so on).
void removeWithOwned(Document& doc, std::uint32_t record, int depth = 0)
{
    const RecordView v = doc.view(record);
    const std::uint64_t self = doc.record(record).handle;
    std::vector<std::uint32_t> owned;
    for (std::uint32_t i = 1; i < extendedDataStart(v); ++i) {
        if (v.code(i) != def::Ownership::hardOwner) continue;
        auto h = Document::parseHandle(v.str(i));
        auto r = h ? doc.findHandle(*h) : std::nullopt;
        if (!r || *r == record) continue;
        const RecordView o = doc.view(*r);
        const int at = o.findMain(def::Common::owner.code);
        if (at >= 0 && Document::parseHandle(o.str(static_cast<std::uint32_t>(at))) == self) owned.push_back(*r);
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
    Document::Edit e = doc.edit(doc.tables()[*t].begin);
    const int at = e.findMain(def::Table::count.code);
    if (at < 0) return;
    const auto i = static_cast<std::uint32_t>(at);
    e.setInteger(i, std::max<std::int64_t>(0, e.integer(i) + delta));
    e.commit(Change::What::Layer);
}

void setLayerName(Document& doc, std::uint32_t record, const std::string& name)
{
    Document::Edit e = doc.edit(record);
    const int at = e.findMain(def::Layer::name.code);
    if (at >= 0) e.setText(static_cast<std::uint32_t>(at), name);
    else e.insertText(1, def::Layer::name.code, name);
    e.commit(Change::What::Layer);
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
    const RecordView v = doc.view(model);
    Document::Edit e = doc.edit(made);
    bool inBracket = false;
    for (std::uint32_t i = 0; i < v.size(); ++i) {
        const int c = v.code(i);
        if (c == def::Common::appGroup) {
            inBracket = detail::isBracketOpen(v.str(i));
            continue;
        }
        if (inBracket) continue;
        if (c == def::Common::extendedData) break;
        if (c == def::Entity::trueColor.code || c == def::Entity::colorName.code) continue;
        const auto at = e.size();
        if (c == def::Common::handle.code) e.insertText(at, c, Document::formatHandle(doc.record(made).handle));
        else if (c == def::Layer::name.code) e.insertText(at, c, stored);
        else if (c == def::Layer::flags.code) e.insertInteger(at, c, 0);
        else if (c == def::Layer::color.code) e.insertInteger(at, c, 7);
        else e.append(v, i);
    }
    e.commit(Change::What::Layer);
    countEntries(doc, "LAYER", +1);
    return doc.findLayer(stored);
}

}  // namespace ddvue::dxf
