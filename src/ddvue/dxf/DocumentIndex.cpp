// Document: the index over the records: sections, header variables,
// layers, blocks, the owners of attributes and vertices, handles, spaces;
// and the look-ups into it.
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/DocumentParts.h"
#include "ddvue/dxf/Entity.h"

#include <algorithm>
#include <unordered_set>

namespace ddvue::dxf {

using namespace detail;

namespace {

Section sectionOf(std::string_view name)
{
    if (is(name, "HEADER")) return Section::Header;
    if (is(name, "CLASSES")) return Section::Classes;
    if (is(name, "TABLES")) return Section::Tables;
    if (is(name, "BLOCKS")) return Section::Blocks;
    if (is(name, "ENTITIES")) return Section::Entities;
    if (is(name, "OBJECTS")) return Section::Objects;
    return Section::Other;
}

// The kinds that a record's type name keeps among entities (a BLOCK there is
// no block definition, a LAYER no layer).
Kind asEntity(Kind named)
{
    switch (named) {
    case Kind::Insert:
    case Kind::Attrib:
    case Kind::Attdef:
    case Kind::Text:
    case Kind::MText:
    case Kind::Polyline:
    case Kind::Vertex:
    case Kind::SeqEnd: return named;
    default: return Kind::Other;
    }
}

// "3 sections have", "1 section has": a count and its noun, one or many.
std::string counted(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + (n == 1 ? one : many);
}

}  // namespace

// What the pass over the records gathers besides the document's own tables.
struct Document::StructureScan {
    std::string tableName;
    std::int32_t currentBlock = -1;
    std::int32_t owner = -1;  // the INSERT or POLYLINE whose ATTRIBs or VERTEXes may follow
    std::unordered_map<std::uint64_t, std::string> blockRecordNames;
    std::unordered_set<std::uint64_t> paperSpaceRecords;  // block records of paper spaces
    std::unordered_set<std::uint32_t> paperSpaceLow;      // the low 32 bits of their handles
    std::vector<std::pair<std::string, std::uint64_t>> layouts;  // layout name, block record handle
    std::uint64_t maxHandle = 0;
    std::size_t unreadableHandles = 0;
};

bool Document::buildStructure()
{
    if (!readSections()) return false;
    readEncoding();
    StructureScan scan;
    if (!indexRecords(scan)) return false;
    std::vector<std::uint32_t>().swap(badHandles_);
    indexHandles(scan.maxHandle, scan.unreadableHandles);
    buildSpaces(scan);
    return true;
}

std::string_view Document::groupText(std::uint32_t g) const
{
    return std::string_view(file_.data() + groups_[g].val, lengthOf(groups_[g]));
}

std::size_t Document::readVariables(std::uint32_t from, std::uint32_t count, bool inHeader)
{
    // Header variables: "9 $NAME" and the value group after it. The first
    // of a name counts.
    std::size_t stray = 0;
    for (std::uint32_t g = from; g + 1 < from + count; ++g) {
        if (groups_[g].code != code::kHeaderVariable) continue;
        int next = groups_[g + 1].code;
        if (next == code::kHeaderVariable || next == code::kType) continue;
        if (headerVars_.emplace(upper(trim(groupText(g))), g + 1).second && !inHeader) ++stray;
    }
    return stray;
}

bool Document::readSections()
{
    // Which record belongs to which section, and the header variables,
    // wherever they stand. Files that some programs write break the rules:
    // a header cut by a stray ENDSEC with more variables after it, variables
    // or records before the first section, a section without its ENDSEC.
    // Such files are read as CAD programs read them; the bytes stay as they are.
    const std::uint32_t n = recordCount();
    Section section = Section::None;
    std::string sectionName;
    std::size_t strayEnds = 0, unclosed = 0, outsideRecords = 0;
    std::string firstOutside;
    std::size_t strayVariables = readVariables(0, n ? records_[0].first : 0, false);
    for (std::uint32_t i = 0; i < n; ++i) {
        Record& r = records_[i];
        // The kind here is still the one the type names (RecordMaker).
        if (r.kind == Kind::SectionStart) {
            if (section != Section::None) ++unclosed;
            sectionName.clear();
            for (std::uint32_t g = r.first + 1, end = r.first + groupCount(i); g < end; ++g) {
                if (groups_[g].code == def::Section::name.code) {
                    sectionName = std::string(trim(groupText(g)));
                    break;
                }
            }
            section = sectionOf(sectionName);
            r.kind = Kind::SectionStart;
            r.section = section;
            if (section == Section::Header) {
                if (headerRecord_ == UINT32_MAX) headerRecord_ = i;
                readVariables(r.first, groupCount(i), true);
            }
            continue;
        }
        if (r.kind == Kind::SectionEnd) {
            if (section == Section::None) ++strayEnds;
            r.kind = Kind::SectionEnd;
            r.section = section;
            section = Section::None;
            // Groups after an ENDSEC belong to no record; header variables
            // among them still count.
            strayVariables += readVariables(r.first, groupCount(i), false);
            continue;
        }
        if (r.kind == Kind::Eof) {
            // The end of the file closes a section whose ENDSEC a writer
            // left out: the file itself is whole.
            r.kind = Kind::Eof;
            section = Section::None;
            continue;
        }
        r.section = section;
        if (section == Section::Header) {
            readVariables(r.first, groupCount(i), true);
        } else if (section == Section::None) {
            if (outsideRecords++ == 0) firstOutside = std::string(trim(groupText(r.first)).substr(0, 32));
            strayVariables += readVariables(r.first, groupCount(i), false);
        }
    }
    if (section != Section::None) {
        error_ = "The drawing ends inside its " + sectionName + " section; the file is truncated.";
        return false;
    }
    if (strayEnds)
        repairs_.push_back(counted(strayEnds, " ENDSEC stands", " ENDSECs stand") + " outside any section; ignored.");
    if (unclosed)
        repairs_.push_back(counted(unclosed, " section has", " sections have") +
                           " no ENDSEC; each ends where the next begins.");
    if (strayVariables)
        repairs_.push_back(counted(strayVariables, " header variable stands", " header variables stand") +
                           " outside the HEADER section; read as part of it.");
    if (outsideRecords)
        repairs_.push_back(counted(outsideRecords, " record", " records") + " (the first " + firstOutside + ") " +
                           (outsideRecords == 1 ? "stands" : "stand") + " outside any section; kept in the file, not listed.");
    return true;
}

void Document::readEncoding()
{
    auto headerText = [&](std::string_view name) -> std::string {
        auto at = headerValue(name);
        return at ? std::string(trim(groupText(*at))) : std::string();
    };
    acadver_ = headerText("$ACADVER");
    codec_ = TextCodec::forDrawing(acadver_.empty() ? std::string("AC1009") : acadver_, headerText("$DWGCODEPAGE"));

    // Integer style for groups the editor adds: AutoCAD right-aligns them in six columns.
    if (format_ == Format::Ascii && headerRecord_ != UINT32_MAX) {
        RecordView h = view(headerRecord_);
        for (std::uint32_t g = 0; g < h.size(); ++g) {
            if (valueTypeOf(h.code(g)) == ValueType::Int16) {
                std::string_view v = h.raw(g);
                style_.intWidth = (!v.empty() && v[0] == ' ') ? static_cast<int>(v.size()) : 0;
                break;
            }
        }
    }
}

bool Document::indexRecords(StructureScan& scan)
{
    // Each record's kind, handle, paper space flag and owner were noted as
    // it was read (RecordMaker): here they are kept where its section gives
    // them a meaning, and the records are tied to their tables, blocks and
    // owners.
    const std::uint32_t n = recordCount();
    std::size_t nextBad = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (progress_ && (i & 0xFFFF) == 0 && !report(70 + static_cast<int>(30ull * i / n))) return false;
        Record& r = records_[i];
        const auto ownerLow = static_cast<std::uint32_t>(r.parent);  // see Record::parent
        r.parent = -1;
        const bool badHandle = nextBad < badHandles_.size() && badHandles_[nextBad] == i;
        if (badHandle) ++nextBad;
        const Section section = r.section;
        const bool marker = r.kind == Kind::SectionStart || r.kind == Kind::SectionEnd || r.kind == Kind::Eof;
        if (marker || section == Section::None || section == Section::Header || section == Section::Classes) {
            // Not an object: no handle, nothing to index.
            r.handle = 0;
            r.paperSpace = false;
            if (!marker) {
                r.kind = Kind::Other;
                continue;
            }
            scan.owner = -1;
            if (r.kind != Kind::SectionStart) scan.currentBlock = -1;
            continue;
        }
        if (r.handle) scan.maxHandle = std::max(scan.maxHandle, r.handle);
        else if (badHandle) ++scan.unreadableHandles;
        if (section == Section::Blocks || section == Section::Entities) {
            indexEntityRecord(scan, i, ownerLow);
            continue;
        }
        r.paperSpace = false;
        if (section == Section::Tables) indexTableRecord(scan, i);
        else if (section == Section::Objects && r.kind == Kind::Layout) indexLayout(scan, i);
        else r.kind = Kind::Other;
    }
    return true;
}

void Document::indexTableRecord(StructureScan& scan, std::uint32_t i)
{
    Record& r = records_[i];
    switch (r.kind) {
    case Kind::TableStart: {
        EntityView v = view(i);
        int at = v.find(def::TableEntry::name.code);
        scan.tableName = at < 0 ? std::string() : std::string(trim(v.str(static_cast<std::uint32_t>(at))));
        tables_.push_back(TableDef{upper(scan.tableName), i, i});
        break;
    }
    case Kind::TableEnd:
        if (!tables_.empty() && tables_.back().end == tables_.back().begin) tables_.back().end = i;
        break;
    case Kind::Layer: {
        std::string name = EntityView(view(i)).get(def::Layer::name);
        layerIndex_.emplace(nameKey(name), static_cast<std::uint32_t>(layers_.size()));
        layers_.push_back(LayerEntry{std::move(name), i});
        layerRecords_.push_back(i);
        break;
    }
    case Kind::BlockRecord:
        if (r.handle) {
            std::string name = EntityView(view(i)).get(def::TableEntry::name);
            if (nameKey(name).rfind("*PAPER_SPACE", 0) == 0) {
                scan.paperSpaceRecords.insert(r.handle);
                scan.paperSpaceLow.insert(static_cast<std::uint32_t>(r.handle));
            }
            scan.blockRecordNames[r.handle] = std::move(name);
        }
        break;
    default: r.kind = Kind::Other;
    }
}

void Document::indexLayout(StructureScan& scan, std::uint32_t i)
{
    // The layout's name and, in its AcDbLayout part, the block record of its space.
    EntityView v = view(i);
    std::string name;
    std::uint64_t blockRecord = 0;
    bool inLayout = false;
    for (std::uint32_t g = 1; g < v.size(); ++g) {
        if (v.code(g) == def::Common::subclass) inLayout = trim(v.str(g)) == def::Layout::kSubclass;
        else if (inLayout && v.code(g) == def::Layout::name.code && name.empty()) name = v.text(g);
        else if (inLayout && v.code(g) == def::Layout::blockRecord.code) {
            if (auto h = parseHandle(v.str(g))) blockRecord = *h;
        }
    }
    scan.layouts.emplace_back(std::move(name), blockRecord);
}

void Document::indexEntityRecord(StructureScan& scan, std::uint32_t i, std::uint32_t ownerLow)
{
    Record& r = records_[i];
    const Section section = r.section;
    if (section == Section::Blocks && (r.kind == Kind::BlockStart || r.kind == Kind::BlockEnd)) {
        r.paperSpace = false;
        scan.owner = -1;
        if (r.kind == Kind::BlockStart) {
            scan.currentBlock = static_cast<std::int32_t>(blocks_.size());
            BlockDef b;
            b.name = EntityView(view(i)).get(def::Block::name);
            b.begin = b.end = i;
            blockIndex_.emplace(nameKey(b.name), static_cast<std::uint32_t>(blocks_.size()));
            blocks_.push_back(std::move(b));
        } else {
            if (scan.currentBlock >= 0) blocks_[static_cast<std::size_t>(scan.currentBlock)].end = i;
            r.block = scan.currentBlock;
            scan.currentBlock = -1;
        }
        return;
    }
    r.block = section == Section::Blocks ? scan.currentBlock : -1;
    // Some writers leave out the paper space flag and name only the owner:
    // the paper space block record.
    if (!r.paperSpace && section == Section::Entities && scan.paperSpaceLow.count(ownerLow)) {
        const EntityView v = view(i);
        const int at = v.findMain(def::Common::owner.code);
        const auto owner = at < 0 ? std::nullopt : parseHandle(v.str(static_cast<std::uint32_t>(at)));
        r.paperSpace = owner && scan.paperSpaceRecords.count(*owner);
    }
    r.kind = asEntity(r.kind);

    // An INSERT's ATTRIBs and a POLYLINE's VERTEXes follow it up to a SEQEND.
    bool child = false;
    if (scan.owner >= 0) {
        Kind ok = records_[static_cast<std::size_t>(scan.owner)].kind;
        if ((r.kind == Kind::Attrib && ok == Kind::Insert) || (r.kind == Kind::Vertex && ok == Kind::Polyline) ||
            r.kind == Kind::SeqEnd)
            child = true;
    }
    if (child) {
        r.parent = scan.owner;
        if (r.kind == Kind::SeqEnd) scan.owner = -1;
        return;
    }
    scan.owner = (r.kind == Kind::Insert || r.kind == Kind::Polyline) ? static_cast<std::int32_t>(i) : -1;
    if (r.kind == Kind::SeqEnd) return;  // a stray SEQEND belongs to nothing
    if (section == Section::Blocks && scan.currentBlock >= 0)
        blocks_[static_cast<std::size_t>(scan.currentBlock)].entities.push_back(i);
}

void Document::buildSpaces(const StructureScan& scan)
{
    // Model space, the paper layouts, then the block definitions.
    const std::uint32_t n = recordCount();
    std::unordered_map<std::string, std::string> layoutOfBlock;  // upper block name -> layout name
    for (auto& [name, brHandle] : scan.layouts) {
        auto it = scan.blockRecordNames.find(brHandle);
        if (it != scan.blockRecordNames.end()) layoutOfBlock[nameKey(it->second)] = name;
    }
    auto layoutName = [&](const std::string& block, const char* fallback) {
        auto it = layoutOfBlock.find(nameKey(block));
        return it != layoutOfBlock.end() ? it->second : std::string(fallback);
    };
    Space model{"*Model_Space", layoutName("*Model_Space", "Model"), {}, true};
    Space paper{"*Paper_Space", layoutName("*Paper_Space", "Layout1"), {}, true};
    model.entities.reserve(n);  // room for every record: only what is used is ever touched
    preferLargePages(model.entities.data(), model.entities.capacity() * sizeof(std::uint32_t));
    for (std::uint32_t i = 0; i < n; ++i) {
        const Record& r = records_[i];
        if (r.section != Section::Entities || r.parent >= 0) continue;
        if (r.kind == Kind::SectionStart || r.kind == Kind::SectionEnd || r.kind == Kind::SeqEnd) continue;
        (r.paperSpace ? paper.entities : model.entities).push_back(i);
    }
    std::vector<Space> layoutsOut, blocksOut;
    for (const BlockDef& b : blocks_) {
        std::string key = nameKey(b.name);
        if (key == "*MODEL_SPACE" || key == "$MODEL_SPACE") {
            model.entities.insert(model.entities.end(), b.entities.begin(), b.entities.end());
        } else if (key == "*PAPER_SPACE" || key == "$PAPER_SPACE") {
            paper.entities.insert(paper.entities.end(), b.entities.begin(), b.entities.end());
        } else if (key.rfind("*PAPER_SPACE", 0) == 0) {
            layoutsOut.push_back(Space{b.name, layoutName(b.name, ""), b.entities, true});
        } else {
            blocksOut.push_back(Space{b.name, std::string(), b.entities, false});
        }
    }
    spaces_.clear();
    spaces_.push_back(std::move(model));
    spaces_.push_back(std::move(paper));
    for (auto& s : layoutsOut) spaces_.push_back(std::move(s));
    for (auto& s : blocksOut) spaces_.push_back(std::move(s));
}

void Document::indexHandles(std::uint64_t maxHandle, std::size_t unreadable)
{
    hasHandles_ = maxHandle != 0;
    const std::uint64_t top = maxHandle;  // the largest handle a record has
    if (auto seed = headerValue("$HANDSEED")) {
        const Group& g = groups_[*seed];
        if (auto h = parseHandle(file_.substr(g.val, lengthOf(g)))) {
            maxHandle = std::max(maxHandle, *h);
            nextHandle_ = *h;
        }
    }
    const std::size_t duplicates = sortHandles(top);
    giveHandles(maxHandle);
    if (unreadable)
        repairs_.push_back(std::to_string(unreadable) +
                           (unreadable == 1 ? " object has an empty or unreadable handle; it was"
                                            : " objects have an empty or unreadable handle; they were") +
                           " given one in memory.");
    if (duplicates)
        repairs_.push_back(std::to_string(duplicates) +
                           (duplicates == 1 ? " object repeats the handle of an earlier one; it was"
                                            : " objects repeat the handle of an earlier one; they were") +
                           " given one of its own in memory.");
}

// The records with the handles the file gives, sorted by handle; where two
// records share one, the first in the file keeps it (the others lose theirs,
// and are counted). Four bytes a record: the handle itself is the record's.
// Files give out handles from 1 up with few gaps, which a table by handle
// puts in order fastest. Where they are sparse, they are sorted; written in
// the order of the objects, section by section, they form a few long sorted
// runs, which merging puts in order faster than sorting does. One pass over
// the records finds the runs.
std::size_t Document::sortHandles(std::uint64_t top)
{
    const std::uint32_t n = recordCount();
    std::vector<std::size_t> runs{0};
    byHandle_.reserve(n);
    preferLargePages(byHandle_.data(), byHandle_.capacity() * sizeof(std::uint32_t));
    std::uint64_t previous = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const Record& r = records_[i];
        if (!r.handle) continue;
        if (r.handle < previous && runs.size() <= 32) runs.push_back(byHandle_.size());
        previous = r.handle;
        byHandle_.push_back(i);
    }
    std::size_t duplicates = 0;
    auto repeats = [&](std::uint32_t i) {
        records_[i].handle = 0;  // given one of its own (giveHandles)
        ++duplicates;
    };
    if (top <= 4 * static_cast<std::uint64_t>(byHandle_.size()) + 4096) {
        // Handles given out densely, as files give them: a table by handle
        // puts them in order in one pass, and the first record in the file
        // to claim a handle keeps it.
        std::vector<std::uint32_t> slot(top + 1, UINT32_MAX);
        for (std::uint32_t i : byHandle_) {
            std::uint32_t& s = slot[records_[i].handle];
            if (s == UINT32_MAX) s = i;
            else repeats(i);
        }
        byHandle_.clear();
        for (std::uint32_t i : slot)
            if (i != UINT32_MAX) byHandle_.push_back(i);
        return duplicates;
    }
    auto before = [this](std::uint32_t a, std::uint32_t b) {
        return records_[a].handle < records_[b].handle || (records_[a].handle == records_[b].handle && a < b);
    };
    if (runs.size() > 32 && top <= UINT32_MAX) {
        // Handle and record number in one key: sorted without looking the
        // handles up, ties in file order.
        std::vector<std::uint64_t> keys;
        keys.reserve(byHandle_.size());
        for (std::uint32_t i : byHandle_) keys.push_back(records_[i].handle << 32 | i);
        std::sort(keys.begin(), keys.end());
        for (std::size_t k = 0; k < keys.size(); ++k) byHandle_[k] = static_cast<std::uint32_t>(keys[k]);
    } else if (runs.size() > 32) {
        std::sort(byHandle_.begin(), byHandle_.end(), before);
    } else {
        runs.push_back(byHandle_.size());
        for (std::size_t k = 1; k + 1 < runs.size(); ++k)
            std::inplace_merge(byHandle_.begin(), byHandle_.begin() + static_cast<std::ptrdiff_t>(runs[k]),
                               byHandle_.begin() + static_cast<std::ptrdiff_t>(runs[k + 1]), before);
    }
    std::size_t kept = 0;
    std::uint64_t last = 0;
    for (std::size_t k = 0; k < byHandle_.size(); ++k) {
        const std::uint32_t i = byHandle_[k];
        if (kept > 0 && records_[i].handle == last) {
            repeats(i);
            continue;
        }
        last = records_[i].handle;
        byHandle_[kept++] = i;
    }
    byHandle_.resize(kept);
    return duplicates;
}

// Every object without a handle of its own (none in the file, or one that an
// earlier object has) gets one in memory, above every handle of the file, in
// file order, so that each can be named and edited; it is never written.
void Document::giveHandles(std::uint64_t maxHandle)
{
    auto needsOne = [](const Record& r) {
        bool object = r.section == Section::Entities || r.section == Section::Blocks || r.section == Section::Objects ||
                      (r.section == Section::Tables && r.kind != Kind::TableStart && r.kind != Kind::TableEnd);
        return object && r.kind != Kind::SectionStart && r.kind != Kind::SectionEnd && r.kind != Kind::Eof;
    };
    const std::uint32_t n = recordCount();
    for (std::uint32_t i = 0; i < n; ++i) {
        Record& r = records_[i];
        if (r.handle || !needsOne(r)) continue;
        r.handle = ++maxHandle;
        r.syntheticHandle = true;
        byHandle_.push_back(i);  // above all before: the order holds
    }
}

// ------------------------------------------------------------------ Look-ups

RecordView Document::headerView() const
{
    // Header variables may stand anywhere in a repaired file: the view
    // spans every group as read, and headerValue() indexes into it.
    return RecordView(*this, file_.data(), groups_.data(), static_cast<std::uint32_t>(groups_.size()), firstGroup_,
                      tailBegin_, &longs_);
}

std::optional<std::uint32_t> Document::headerValue(std::string_view name) const
{
    auto it = headerVars_.find(upper(name));
    if (it == headerVars_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::uint64_t> Document::parseHandle(std::string_view hex)
{
    return handleOf(hex);
}

std::string Document::formatHandle(std::uint64_t handle)
{
    char buf[20];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, handle, 16);
    std::string s(buf, p);
    for (auto& c : s)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::optional<std::uint32_t> Document::findHandle(std::uint64_t handle) const
{
    auto it = std::lower_bound(byHandle_.begin(), byHandle_.end(), handle,
                               [this](std::uint32_t i, std::uint64_t h) { return records_[i].handle < h; });
    if (it == byHandle_.end() || records_[*it].handle != handle || isDeleted(*it)) return std::nullopt;
    return *it;
}

std::optional<std::uint32_t> Document::findHandle(std::string_view hex) const
{
    auto h = parseHandle(hex);
    if (!h) return std::nullopt;
    return findHandle(*h);
}

std::optional<std::uint32_t> Document::findLayer(std::string_view name) const
{
    auto it = layerIndex_.find(nameKey(name));
    if (it == layerIndex_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::uint32_t> Document::findBlock(std::string_view name) const
{
    auto it = blockIndex_.find(nameKey(name));
    if (it == blockIndex_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::uint32_t> Document::children(std::uint32_t record) const
{
    std::vector<std::uint32_t> out;
    forEachChild(record, [&out](std::uint32_t c) { out.push_back(c); });
    return out;
}

std::optional<std::uint32_t> Document::findTable(std::string_view name) const
{
    const std::string key = upper(name);
    for (std::uint32_t t = 0; t < tables_.size(); ++t)
        if (tables_[t].name == key) return t;
    return std::nullopt;
}

std::uint32_t Document::recordOfGroup(std::uint32_t group) const
{
    auto end = records_.begin() + fileRecords_;
    auto it = std::upper_bound(records_.begin(), end, group,
                               [](std::uint32_t g, const Record& r) { return g < r.first; });
    if (it == records_.begin()) return kNoRecord;  // before the first record: no record holds it
    return static_cast<std::uint32_t>(it - records_.begin() - 1);
}

std::optional<std::string> Document::headerText(std::string_view name) const
{
    auto at = headerValue(name);
    if (!at) return std::nullopt;
    const std::uint32_t r = recordOfGroup(*at);
    if (r == kNoRecord || !replacement(r)) return std::string(groupText(*at));
    // The record was edited since reading: the variable as it stands there.
    const RecordView v = view(r);
    const std::string key = upper(name);
    for (std::uint32_t g = 0; g + 1 < v.size(); ++g) {
        if (v.code(g) != code::kHeaderVariable || upper(trim(v.str(g))) != key) continue;
        const int next = v.code(g + 1);
        if (next == code::kHeaderVariable || next == code::kType) return std::nullopt;
        return std::string(v.raw(g + 1));
    }
    return std::nullopt;
}

bool Document::setHeaderText(std::string_view name, std::string stored)
{
    auto at = headerValue(name);
    if (!at) return false;
    const std::uint32_t r = recordOfGroup(*at);
    if (r == kNoRecord || isDeleted(r)) return false;
    Edit e = edit(r);
    const std::string key = upper(name);
    for (std::uint32_t g = 0; g + 1 < e.size(); ++g) {
        if (e.code(g) != code::kHeaderVariable || upper(trim(e.rawValue(g))) != key) continue;
        const int next = e.code(g + 1);
        if (next == code::kHeaderVariable || next == code::kType) return false;
        e.setEncoded(g + 1, std::move(stored));
        e.commit();
        return true;
    }
    return false;
}

// ------------------------------------------------------------ Keeping it right

void Document::reindex(std::uint32_t record)
{
    switch (records_[record].kind) {
    case Kind::Layer: indexLayers(); break;
    case Kind::BlockStart:
        for (BlockDef& b : blocks_) {
            if (b.begin != record) continue;
            if (!isDeleted(record)) b.name = EntityView(view(record)).get(def::Block::name);
            blockIndex_.clear();
            for (std::uint32_t k = 0; k < blocks_.size(); ++k)
                blockIndex_.emplace(nameKey(blocks_[k].name), k);
            break;
        }
        break;
    default: break;
    }
}

void Document::indexLayers()
{
    // A layer table holds a few thousand entries at most: listed afresh.
    layers_.clear();
    layerIndex_.clear();
    for (std::uint32_t r : layerRecords_) {
        if (isDeleted(r)) continue;
        std::string name = EntityView(view(r)).get(def::Layer::name);
        layerIndex_.emplace(nameKey(name), static_cast<std::uint32_t>(layers_.size()));
        layers_.push_back(LayerEntry{std::move(name), r});
    }
}

}  // namespace ddvue::dxf
