#include "ddvue/dxf/AttributeSync.h"

#include "ddvue/dxf/DocumentParts.h"
#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/Entity.h"

#include <cmath>
#include <unordered_map>
#include <unordered_set>

namespace ddvue::dxf {

using detail::nameKey;

namespace {

constexpr double kDegree = 3.141592653589793 / 180;

Point3 direction(double degrees) { return {std::cos(degrees * kDegree), std::sin(degrees * kDegree), 0}; }
double degreesOf(const Point3& v) { return std::atan2(v.y, v.x) / kDegree; }
double normalizedDegrees(double a)
{
    a = std::fmod(a, 360);
    return a < 0 ? a + 360 : a;
}

// An attribute definition of a block.
struct Definition {
    std::uint32_t record;
    std::string key;  // its tag, as names compare
    bool constant;
};

bool isLayoutBlock(const std::string& name)
{
    const std::string key = nameKey(name);
    return key == "*MODEL_SPACE" || key == "$MODEL_SPACE" || key.rfind("*PAPER_SPACE", 0) == 0 ||
           key.rfind("$PAPER_SPACE", 0) == 0;
}

std::vector<Definition> definitionsOf(const Document& doc, const BlockDef& block)
{
    std::vector<Definition> out;
    for (std::uint32_t e : block.entities) {
        if (doc.record(e).kind != Kind::Attdef || doc.isDeleted(e)) continue;
        const EntityView v(doc, e);
        out.push_back({e, nameKey(v.get(def::Attdef::tag)), v.flag(def::Attdef::flags, def::Attdef::kConstant)});
    }
    return out;
}

Placement placementOf(const Document& doc, std::uint32_t insert, const BlockDef& block)
{
    const EntityView v(doc, insert);
    const Point3 scale{v.get(def::Insert::xscale), v.get(def::Insert::yscale), v.get(def::InsertScale::zscale)};
    return blockPlacement(v.get(def::Insert::insert), scale, v.get(def::Insert::rotation), v.get(def::Entity::extrusion),
                          EntityView(doc, block.begin).get(def::Block::base));
}

// A group of the reference copied as it is stored, when it has one.
void copyFrom(Document::Edit& e, const RecordView& from, int code)
{
    const int at = from.findMain(code);
    if (at >= 0) e.append(from, static_cast<std::uint32_t>(at));
}

// The groups a new entity owned by `insert` starts with: its type, handle
// and owner, the entity subclass where the drawing writes subclasses, and
// the reference's paper space and layout.
void beginEntity(Document& doc, Document::Edit& e, std::uint32_t made, const RecordView& insert, std::string_view type)
{
    e.insertText(0, code::kType, type);
    if (doc.writesHandles()) e.insertText(e.size(), def::Common::handle.code, Document::formatHandle(doc.record(made).handle));
    const int owner = insert.findMain(def::Common::owner.code);
    if (owner >= 0) e.insertText(e.size(), def::Common::owner.code, Document::formatHandle(doc.record(doc.record(made).parent).handle));
}

// A new ATTRIB of `insert`, made from the definition `attdef` at `where`.
std::uint32_t addAttribute(Document& doc, std::uint32_t insert, std::uint32_t attdef, const Placement& m,
                           Document::Place where)
{
    Record like = doc.record(insert);
    like.kind = Kind::Attrib;
    like.parent = static_cast<std::int32_t>(insert);
    const std::uint32_t made = doc.create(where, like);
    const RecordView ref = doc.view(insert);
    const EntityView d(doc, attdef);

    TextPlacement t;
    t.insert = d.get(def::Attdef::insert);
    const bool aligned = d.has(def::Attdef::alignPoint);
    t.align = aligned ? d.get(def::Attdef::alignPoint) : t.insert;
    t.extrusion = d.get(def::Entity::extrusion);
    t.height = d.get(def::Attdef::height);
    t.width = d.get(def::Attdef::widthFactor);
    t.rotation = d.get(def::Attdef::rotation);
    t.oblique = d.get(def::Attdef::oblique);
    const TextPlacement p = placeText(t, m);
    const double xs = length(m.ux), ys = length(m.uy);

    // The values the placement changes, by group code: the text's, and those
    // of the multi-line text it may embed (in world coordinates).
    using A = def::Attdef;
    using T = def::EmbeddedText;
    std::vector<std::pair<int, const double*>> mainValues{
        {A::insert.code, &p.insert.x}, {A::insert.y(), &p.insert.y}, {A::insert.z(), &p.insert.z},
        {A::height.code, &p.height},   {A::widthFactor.code, &p.width}, {A::rotation.code, &p.rotation},
        {A::oblique.code, &p.oblique}, {def::Entity::extrusion.code, &p.extrusion.x},
        {def::Entity::extrusion.y(), &p.extrusion.y}, {def::Entity::extrusion.z(), &p.extrusion.z}};
    if (aligned)
        mainValues.insert(mainValues.end(), {{A::alignPoint.code, &p.align.x}, {A::alignPoint.y(), &p.align.y},
                                             {A::alignPoint.z(), &p.align.z}});
    Point3 at, dir;
    double sizes[3] = {};
    std::vector<std::pair<int, const double*>> embeddedValues;
    if (auto inner = d.embedded()) {
        at = m.point(inner->get(T::insert));
        dir = normalized(m.direction(inner->get(T::direction)));
        sizes[0] = inner->get(T::height) * ys;
        sizes[1] = inner->get(T::width) * xs;
        sizes[2] = inner->get(T::definedHeight) * ys;
        embeddedValues = {{T::insert.code, &at.x},    {T::insert.y(), &at.y},    {T::insert.z(), &at.z},
                          {T::direction.code, &dir.x}, {T::direction.y(), &dir.y}, {T::direction.z(), &dir.z},
                          {T::height.code, &sizes[0]}, {T::width.code, &sizes[1]}, {T::definedHeight.code, &sizes[2]}};
    }

    Document::Edit e = doc.edit(made);
    beginEntity(doc, e, made, ref, "ATTRIB");
    bool inBracket = false, inDefinition = false, embedded = false;
    int heightAt = -1;
    for (std::uint32_t i = 1; i < d.size(); ++i) {
        const int c = d.code(i);
        if (c == def::Common::extendedData) break;  // the definition's own application data stays with it
        if (c == def::Common::embeddedObject) embedded = true;
        if (!embedded && c == def::Common::appGroup) {
            inBracket = detail::isBracketOpen(d.str(i));
            continue;
        }
        if (inBracket || c == def::Common::handle.code || c == def::Entity::paperSpace.code) continue;
        if (!embedded && c == def::Common::owner.code) continue;
        if (!embedded && c == def::Entity::layer.code) {
            copyFrom(e, ref, def::Entity::paperSpace.code);
            copyFrom(e, ref, def::EntityLayout::layout.code);
        }
        if (c == def::Common::subclass) {
            inDefinition = detail::trim(d.str(i)) == def::AttdefPrompt::kSubclass;
            e.insertText(e.size(), c, inDefinition ? def::AttdefPrompt::kAttribSubclass : std::string(d.str(i)));
            continue;
        }
        if (!embedded && c == def::AttdefPrompt::prompt.code) continue;
        const double* value = nullptr;
        for (const auto& [code, v] : embedded ? embeddedValues : mainValues)
            if (code == c) value = v;
        if (!embedded && c == A::height.code) heightAt = static_cast<int>(e.size());
        if (value) e.insertReal(e.size(), c, *value);
        else e.append(d, i);
    }
    // What the definition leaves at its default but the placement changes.
    if (heightAt >= 0) {
        const auto after = static_cast<std::uint32_t>(heightAt) + 1;
        const bool upright = p.extrusion.x == 0 && p.extrusion.y == 0 && p.extrusion.z == 1;
        if (!d.has(def::Entity::extrusion) && !upright) {
            e.insertReal(after, def::Entity::extrusion.z(), p.extrusion.z);
            e.insertReal(after, def::Entity::extrusion.y(), p.extrusion.y);
            e.insertReal(after, def::Entity::extrusion.code, p.extrusion.x);
        }
        if (!d.has(def::Attdef::oblique) && p.oblique != 0) e.insertReal(after, def::Attdef::oblique.code, p.oblique);
        if (!d.has(def::Attdef::widthFactor) && p.width != 1) e.insertReal(after, def::Attdef::widthFactor.code, p.width);
        if (!d.has(def::Attdef::rotation) && p.rotation != 0) e.insertReal(after, def::Attdef::rotation.code, p.rotation);
    }
    e.commit();
    return made;
}

// The SEQEND that closes a reference's attributes.
std::uint32_t addSeqend(Document& doc, std::uint32_t insert, Document::Place where)
{
    Record like = doc.record(insert);
    like.kind = Kind::SeqEnd;
    like.parent = static_cast<std::int32_t>(insert);
    const std::uint32_t made = doc.create(where, like);
    const RecordView ref = doc.view(insert);
    Document::Edit e = doc.edit(made);
    beginEntity(doc, e, made, ref, "SEQEND");
    if (ref.findMain(def::Common::subclass) >= 0) e.insertText(e.size(), def::Common::subclass, "AcDbEntity");
    copyFrom(e, ref, def::Entity::paperSpace.code);
    copyFrom(e, ref, def::EntityLayout::layout.code);
    if (ref.findMain(def::Entity::layer.code) >= 0) copyFrom(e, ref, def::Entity::layer.code);
    else e.insertText(e.size(), def::Entity::layer.code, def::Entity::layer.fallback);
    e.commit();
    return made;
}

// Tells that attributes follow the reference (group 66), before its block name.
void announceAttributes(Document& doc, std::uint32_t insert)
{
    Document::Edit e = doc.edit(insert);
    const int flag = e.findMain(def::Insert::attribsFollow.code);
    if (flag >= 0) {
        if (e.integer(static_cast<std::uint32_t>(flag)) == 1) return;
        e.setInteger(static_cast<std::uint32_t>(flag), 1);
    } else {
        const int name = e.findMain(def::Insert::block.code);
        e.insertInteger(name >= 0 ? static_cast<std::uint32_t>(name) : e.size(), def::Insert::attribsFollow.code, 1);
    }
    e.commit();
}

void syncReference(Document& doc, std::uint32_t insert, const BlockDef& block, const std::vector<Definition>& defs,
                   bool removeOrphaned, SyncCounts& counts)
{
    std::unordered_set<std::string> has, defined;
    std::vector<std::uint32_t> orphans;
    for (const Definition& d : defs)
        if (!d.constant) defined.insert(d.key);
    for (std::uint32_t a : attributesOf(doc, insert)) {
        std::string key = nameKey(attributeTag(doc, a));
        if (removeOrphaned && !defined.count(key)) orphans.push_back(a);
        has.insert(std::move(key));
    }
    std::vector<std::uint32_t> missing;
    for (const Definition& d : defs)
        if (!d.constant && has.insert(d.key).second) missing.push_back(d.record);
    if (missing.empty() && orphans.empty()) return;
    ++counts.references;

    if (!missing.empty()) {
        // After the reference's last attribute, before its SEQEND; with no
        // SEQEND left, after whatever followed it, closed by a new SEQEND.
        std::optional<std::uint32_t> seqend;
        std::uint32_t last = insert;
        doc.forEachChild(insert, [&](std::uint32_t c) {
            last = c;
            if (doc.record(c).kind == Kind::SeqEnd && !doc.isDeleted(c)) seqend = c;
        });
        const Placement m = placementOf(doc, insert, block);
        Document::Place where = seqend ? Document::Place::before(*seqend) : Document::Place::behind(last);
        for (std::uint32_t d : missing) {
            const std::uint32_t made = addAttribute(doc, insert, d, m, where);
            if (!seqend) where = Document::Place::behind(made);
            ++counts.added;
        }
        if (!seqend) addSeqend(doc, insert, where);
        announceAttributes(doc, insert);
    }
    for (std::uint32_t a : orphans)
        if (deleteEntity(doc, a)) ++counts.removed;
}

}  // namespace

TextPlacement placeText(const TextPlacement& text, const Placement& m)
{
    // The text's own coordinate system carried along: the new extrusion is
    // square to its carried x and y axes; points and directions go from the
    // old system through the world into the new one.
    const Ocs old = ocsOf(text.extrusion);
    const Point3 nx = m.direction(old.ax), ny = m.direction(old.ay);
    const double lx = length(nx), ly = length(ny);
    const bool uniform = std::abs(lx * lx - ly * ly) <= 1e-9;
    TextPlacement p = text;
    p.extrusion = normalized(cross(nx, ny));
    const Ocs now = ocsOf(p.extrusion);
    auto point = [&](const Point3& v) { return now.fromWorld(m.point(old.toWorld(v))); };
    auto carried = [&](const Point3& v) { return m.direction(old.toWorld(v)); };
    p.insert = point(text.insert);
    p.align = point(text.align);
    const double rotation = degreesOf(now.fromWorld(carried(direction(text.rotation))));
    const double xs = length(carried(direction(text.rotation)));
    double ys = length(carried(direction(text.rotation + 90)));
    if (!uniform) {
        const Point3 slant = now.fromWorld(carried(direction(text.rotation + 90 - text.oblique)));
        p.oblique = rotation + 90 - degreesOf(slant);
        ys *= std::cos(p.oblique * kDegree);
    }
    if (ys != 0) p.width = text.width * xs / ys;
    p.height = text.height * ys;
    p.rotation = normalizedDegrees(rotation);
    return p;
}

std::string syncRefusal(const Document& doc, std::string_view block)
{
    if (block.empty()) return {};
    auto b = doc.findBlock(block);
    if (!b) return "No block named \"" + std::string(block) + "\".";
    const BlockDef& def = doc.blocks()[*b];
    if (isLayoutBlock(def.name)) return "\"" + def.name + "\" is a layout, not a block.";
    if (isExternalReference(doc, def)) return "\"" + def.name + "\" is an external reference; its attributes are its drawing's.";
    return {};
}

bool syncAttributes(Document& doc, std::string_view block, bool removeOrphaned, SyncCounts* counts)
{
    if (!syncRefusal(doc, block).empty()) return false;
    // The blocks to bring in line, by name, with their definitions.
    std::unordered_map<std::string, std::pair<std::uint32_t, std::vector<Definition>>> wanted;
    for (std::uint32_t b = 0; b < doc.blocks().size(); ++b) {
        const BlockDef& def = doc.blocks()[b];
        if (!block.empty() && nameKey(def.name) != nameKey(block)) continue;
        if (isLayoutBlock(def.name) || isExternalReference(doc, def)) continue;
        std::vector<Definition> defs = definitionsOf(doc, def);
        if (defs.empty() && !removeOrphaned) continue;
        wanted.emplace(nameKey(def.name), std::make_pair(b, std::move(defs)));
    }
    SyncCounts n;
    const std::uint32_t records = doc.recordCount();  // the references there are; those made below are none
    for (std::uint32_t r = 0; r < records && !wanted.empty(); ++r) {
        const Record& rec = doc.record(r);
        if (rec.kind != Kind::Insert || doc.isDeleted(r)) continue;
        if (rec.section != Section::Entities && rec.section != Section::Blocks) continue;
        auto it = wanted.find(nameKey(EntityView(doc, r).get(def::Insert::block)));
        if (it == wanted.end()) continue;
        syncReference(doc, r, doc.blocks()[it->second.first], it->second.second, removeOrphaned, n);
    }
    if (counts) *counts = n;
    return true;
}

}  // namespace ddvue::dxf
