#include "ddvue/dxf/Entities.h"

#include "ddvue/dxf/Entity.h"

#include <cstdlib>

namespace ddvue::dxf {

namespace {

bool isGraphical(const Record& r)
{
    if (r.section != Section::Entities && r.section != Section::Blocks) return false;
    switch (r.kind) {
    case Kind::SectionStart:
    case Kind::SectionEnd:
    case Kind::BlockStart:
    case Kind::BlockEnd:
    case Kind::SeqEnd:
    case Kind::Vertex:
    case Kind::Eof: return false;
    default: return true;
    }
}

// Characters a value cannot hold as they are: line breaks become MTEXT
// paragraph breaks in multi-line text and DXF's caret form elsewhere, so no
// line of the file is ever split; other control characters (which only a
// value that held them already brings back) take the caret form too.
std::string sanitize(const std::string& utf8, bool multiline)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = nextUtf8(utf8, i);
        if (cp == '\r' || cp == '\n') {
            if (multiline) {
                if (cp == '\r' && i < utf8.size() && utf8[i] == '\n') ++i;
                out += "\\P";
            } else {
                out += cp == '\r' ? "^M" : "^J";
            }
            continue;
        }
        if (cp < 0x20 && cp != '\t') {
            out.push_back('^');
            out.push_back(static_cast<char>(cp + 0x40));
            continue;
        }
        appendUtf8(out, cp);
    }
    return out;
}

// Inserts the text chunks of a multi-line value at `at`: 3 groups for every
// full chunk, the last as group 1.
void insertChunks(Document& doc, Document::Edit& e, std::uint32_t at, const std::string& utf8)
{
    std::vector<std::string> chunks = splitChunks(doc, utf8);  // already in the file's encoding
    for (std::size_t k = 0; k < chunks.size(); ++k)
        e.insertEncoded(at + static_cast<std::uint32_t>(k), k + 1 == chunks.size() ? def::MText::text : def::MText::chunk,
                        std::move(chunks[k]));
}

// Removes the 1 and 3 groups in [from, to) and returns where the first stood
// (or `fallback` when there were none); `to` shrinks as groups go.
std::uint32_t removeTextGroups(Document::Edit& e, std::uint32_t from, std::uint32_t& to, std::uint32_t fallback)
{
    std::uint32_t first = UINT32_MAX;
    for (std::uint32_t i = from; i < to;) {
        if (e.code(i) == def::MText::text || e.code(i) == def::MText::chunk) {
            if (first == UINT32_MAX) first = i;
            e.remove(i);
            --to;
        } else {
            ++i;
        }
    }
    return first == UINT32_MAX ? fallback : first;
}

// The end of an edit's main part: the first embedded object (101) or extended
// data (1001) group, or the end.
std::uint32_t mainEnd(const Document::Edit& e)
{
    for (std::uint32_t i = 1; i < e.size(); ++i)
        if (e.code(i) == def::Common::embeddedObject || e.code(i) == def::Common::extendedData) return i;
    return e.size();
}

void setOrInsertColor(Document::Edit& e, int color, bool keepSign)
{
    int at = e.findMain(def::Entity::color.code);
    if (at >= 0) {
        std::int64_t old = e.integer(static_cast<std::uint32_t>(at));
        e.setInteger(static_cast<std::uint32_t>(at), keepSign && old < 0 ? -color : color);
        return;
    }
    // Where CAD programs put it: after the layer (and the line type that
    // follows it), or after the flags of a table entry.
    int after = e.findMain(def::Entity::layer.code);
    if (after >= 0 && static_cast<std::uint32_t>(after) + 1 < e.size() &&
        e.code(static_cast<std::uint32_t>(after) + 1) == def::Entity::linetype.code)
        ++after;
    if (after < 0) after = e.findMain(def::TableEntry::flags.code);
    if (after < 0) after = e.findMain(def::TableEntry::name.code);
    if (after < 0) after = 0;
    e.insertInteger(static_cast<std::uint32_t>(after) + 1, def::Entity::color.code, color);
}

void removeTrueColor(Document::Edit& e)
{
    for (int code : {def::Entity::trueColor.code, def::Entity::colorName.code}) {
        int at;
        while ((at = e.findMain(code)) >= 0) e.remove(static_cast<std::uint32_t>(at));
    }
}

}  // namespace

std::vector<std::string> splitChunks(const Document& doc, const std::string& utf8, std::size_t limit)
{
    return splitChunks(doc.codec(), utf8, limit);
}

std::vector<std::string> splitChunks(const TextCodec& codec, const std::string& utf8, std::size_t limit)
{
    std::vector<std::string> chunks;
    std::string chunk, encoded;
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t start = i;
        nextUtf8(utf8, i);
        std::string_view ch(utf8.data() + start, i - start);
        encoded = ch.size() == 1 ? std::string(ch) : codec.encode(ch);
        if (chunk.size() + encoded.size() > limit && !chunk.empty()) {
            chunks.push_back(std::move(chunk));
            chunk.clear();
        }
        chunk += encoded;
    }
    chunks.push_back(std::move(chunk));
    return chunks;
}

std::string entityText(const Document& doc, std::uint32_t record)
{
    EntityView v(doc, record);
    // Multi-line text, an MTEXT's own or the one a multi-line attribute
    // embeds: its chunks and final piece joined.
    auto joined = [&doc](const EntityView& m) {
        std::string raw;
        bool any = false;
        m.forEach([&](std::uint32_t i, int c) {
            if (c != def::MText::text && c != def::MText::chunk) return;
            raw += m.str(i);
            any = true;
        });
        return any ? std::optional<std::string>(doc.codec().decode(raw)) : std::nullopt;
    };
    Kind kind = doc.record(record).kind;
    if (kind == Kind::MText) return joined(v).value_or(std::string());
    // A multi-line attribute's value is its embedded text, whole: group 1
    // holds the same text where AutoCAD wrote it, but only the first line
    // (without its formatting) where ezdxf did.
    if (kind == Kind::Attrib || kind == Kind::Attdef)
        if (auto embedded = v.embedded())
            if (auto text = joined(*embedded)) return *text;
    return v.get(def::Text::value);
}

std::string attributeTag(const Document& doc, std::uint32_t record)
{
    return EntityView(doc, record).get(def::Attrib::tag);
}

std::string entityLayer(const Document& doc, std::uint32_t record)
{
    return EntityView(doc, record).get(def::Entity::layer);
}

LayerState layerState(const Document& doc, std::uint32_t layerIndex)
{
    LayerState s;
    EntityView v(doc, doc.layers()[layerIndex].record);
    int c = static_cast<int>(v.get(def::Layer::color));
    s.on = c >= 0;
    s.color = std::abs(c);
    s.frozen = v.flag(def::Layer::flags, def::Layer::kFrozen);
    s.locked = v.flag(def::Layer::flags, def::Layer::kLocked);
    if (v.has(def::Layer::trueColor))
        s.trueColor = static_cast<std::uint32_t>(v.get(def::Layer::trueColor)) & 0xFFFFFF;
    return s;
}

bool setAttributeValue(Document& doc, std::uint32_t record, const std::string& utf8)
{
    if (record >= doc.recordCount() || doc.isDeleted(record) || doc.record(record).kind != Kind::Attrib) return false;
    // A multi-line attribute carries its text twice: in group 1 and in its
    // embedded multi-line text. Both get the whole value, line breaks as
    // paragraph breaks, as AutoCAD keeps them; so a reader that knows nothing
    // of the embedded text still sees every line (ezdxf's writer, which puts
    // only the first line into group 1, reads the embedded text itself).
    const bool multiline = isMultilineAttribute(doc, record);
    std::string value = sanitize(utf8, multiline);
    Document::Edit e = doc.edit(record);
    int at = e.findMain(def::Attrib::value.code);
    if (at >= 0) {
        e.setText(static_cast<std::uint32_t>(at), value);
    } else {
        int tag = e.findMain(def::Attrib::tag.code);
        e.insertText(tag >= 0 ? static_cast<std::uint32_t>(tag) : mainEnd(e), def::Attrib::value.code, value);
    }
    int embedded = multiline ? e.find(def::Common::embeddedObject) : -1;
    if (embedded >= 0) {
        std::uint32_t from = static_cast<std::uint32_t>(embedded) + 1;
        std::uint32_t to = from;
        while (to < e.size() && e.code(to) != def::Common::extendedData) ++to;
        std::uint32_t pos = removeTextGroups(e, from, to, to);
        insertChunks(doc, e, pos, value);
    }
    e.commit();
    return true;
}

bool setTextValue(Document& doc, std::uint32_t record, const std::string& utf8)
{
    if (record >= doc.recordCount() || doc.isDeleted(record)) return false;
    Kind kind = doc.record(record).kind;
    if (kind == Kind::Text) {
        Document::Edit e = doc.edit(record);
        std::string value = sanitize(utf8, false);
        int at = e.findMain(def::Text::value.code);
        if (at >= 0) e.setText(static_cast<std::uint32_t>(at), value);
        else e.insertText(mainEnd(e), def::Text::value.code, value);
        e.commit();
        return true;
    }
    if (kind != Kind::MText) return false;
    Document::Edit e = doc.edit(record);
    std::uint32_t end = mainEnd(e);
    // Without text groups so far, the text goes where CAD programs write it:
    // before the style, direction and rotation groups.
    std::uint32_t fallback = end;
    for (int code : def::MText::kAfterText) {
        int at = e.findMain(code);
        if (at >= 0 && static_cast<std::uint32_t>(at) < fallback) fallback = static_cast<std::uint32_t>(at);
    }
    std::uint32_t pos = removeTextGroups(e, 1, end, fallback);
    insertChunks(doc, e, pos, sanitize(utf8, true));
    e.commit();
    return true;
}

bool setEntityColor(Document& doc, std::uint32_t record, int color)
{
    if (record >= doc.recordCount() || doc.isDeleted(record) || !isGraphical(doc.record(record))) return false;
    if (color < 0 || color > 256) return false;
    Document::Edit e = doc.edit(record);
    removeTrueColor(e);
    setOrInsertColor(e, color, false);
    e.commit();
    return true;
}

bool setLayerDisplay(Document& doc, std::uint32_t layerIndex, bool on)
{
    if (layerIndex >= doc.layers().size()) return false;
    std::uint32_t record = doc.layers()[layerIndex].record;
    LayerState s = layerState(doc, layerIndex);
    int color = s.color == 0 ? 7 : s.color;
    Document::Edit e = doc.edit(record);
    setOrInsertColor(e, on ? color : -color, false);
    e.commit(Change::What::Layer);
    return true;
}

bool setLayerColor(Document& doc, std::uint32_t layerIndex, int color)
{
    if (layerIndex >= doc.layers().size() || color < 1 || color > 255) return false;
    std::uint32_t record = doc.layers()[layerIndex].record;
    Document::Edit e = doc.edit(record);
    removeTrueColor(e);
    setOrInsertColor(e, color, true);
    e.commit(Change::What::Layer);
    return true;
}

bool deleteEntity(Document& doc, std::uint32_t record)
{
    if (record >= doc.recordCount() || doc.isDeleted(record) || !isGraphical(doc.record(record))) return false;
    const Record& r = doc.record(record);
    if (r.kind == Kind::Attrib && r.parent >= 0) {
        auto insert = static_cast<std::uint32_t>(r.parent);
        doc.remove(record);
        bool othersLeft = false;
        std::optional<std::uint32_t> seqend;
        for (std::uint32_t c : doc.children(insert)) {
            if (doc.isDeleted(c)) continue;
            if (doc.record(c).kind == Kind::Attrib) othersLeft = true;
            if (doc.record(c).kind == Kind::SeqEnd) seqend = c;
        }
        if (!othersLeft) {
            // The INSERT keeps no attributes: it must no longer announce any.
            if (seqend) doc.remove(*seqend);
            Document::Edit e = doc.edit(insert);
            int flag = e.findMain(def::Insert::attribsFollow.code);
            if (flag >= 0) e.remove(static_cast<std::uint32_t>(flag));
            e.commit();
        }
        return true;
    }
    for (std::uint32_t c : doc.children(record))
        if (!doc.isDeleted(c)) doc.remove(c);
    doc.remove(record);
    return true;
}

}  // namespace ddvue::dxf
