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

// Inserts the text chunks of a multi-line value at `at`: a chunk group for
// every full piece, the last as the text group.
void insertChunks(Document& doc, Document::Edit& e, std::uint32_t at, const std::string& utf8)
{
    std::vector<std::string> chunks = splitChunks(doc, utf8);  // already in the file's encoding
    for (std::size_t k = 0; k < chunks.size(); ++k)
        e.insertEncoded(at + static_cast<std::uint32_t>(k),
                        k + 1 == chunks.size() ? def::MText::text.code : def::MText::chunk.code, std::move(chunks[k]));
}

// Removes an embedded multi-line text's text and chunk groups, which run
// from `from` to the end of the record or its extended data, and returns
// where the first stood (the end when there were none).
std::uint32_t removeEmbeddedText(Document::Edit& e, std::uint32_t from)
{
    std::uint32_t first = UINT32_MAX, i = from;
    while (i < e.size() && e.code(i) != code::kExtendedData) {
        if (e.code(i) == def::MText::text.code || e.code(i) == def::MText::chunk.code) {
            if (first == UINT32_MAX) first = i;
            e.remove(i);
        } else {
            ++i;
        }
    }
    return first == UINT32_MAX ? i : first;
}

// Sets a color group, or adds one where CAD programs put it: after the
// group `after` stands at (and a line type right after it).
template <class T, class S>
void setOrInsertColor(TypedEdit<T>& e, const IntAttr<S>& color, int value, bool keepSign, int after)
{
    int at = e.find(color);
    if (at >= 0) {
        std::int64_t old = e.groups().integer(static_cast<std::uint32_t>(at));
        e.groups().setInteger(static_cast<std::uint32_t>(at), keepSign && old < 0 ? -value : value);
        return;
    }
    e.set(color, value, after >= 0 ? after + 1 : -1);
}

template <class T>
void removeTrueColor(TypedEdit<T>& e)
{
    e.removeAll(T::trueColor);
    e.removeAll(T::colorName);
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

namespace {

std::string textOf(const Document& doc, std::uint32_t record, const View<def::Attrib>* attrib)
{
    // Multi-line text, an MTEXT's own or the one a multi-line attribute
    // embeds: its chunks and final piece joined; nullopt when it has neither.
    auto joined = [&doc](const View<def::MText>& m) {
        std::string raw;
        bool any = false;
        m.forEachOf<sub::AcDbMText>([&](std::uint32_t i, int c) {
            if (c != def::MText::text.code && c != def::MText::chunk.code) return;
            raw += m.str(i);
            any = true;
        });
        return any ? std::optional<std::string>(doc.codec().decode(raw)) : std::nullopt;
    };
    // A multi-line attribute's value is its embedded text, whole: the value
    // group holds the same text where AutoCAD wrote it, but only the first
    // line (without its formatting) where ezdxf did.
    auto attribute = [&](const auto& v, const auto& value) {
        if (auto embedded = v->embedded())
            if (auto text = joined(*embedded)) return *text;
        return v->get(value);
    };
    if (attrib) return attribute(attrib, def::Attrib::value);
    RecordView r = doc.view(record);
    switch (doc.record(record).kind) {
    case Kind::MText:
        if (auto v = View<def::MText>::of(r)) return joined(*v).value_or(std::string());
        break;
    case Kind::Text:
        if (auto v = View<def::Text>::of(r)) return v->get(def::Text::value);
        break;
    case Kind::Attrib:
        if (auto v = View<def::Attrib>::of(r)) return attribute(v, def::Attrib::value);
        break;
    case Kind::Attdef:
        if (auto v = View<def::Attdef>::of(r)) return attribute(v, def::Attdef::value);
        break;
    default: break;
    }
    return {};
}

}  // namespace

std::string entityText(const Document& doc, std::uint32_t record) { return textOf(doc, record, nullptr); }

std::string entityText(const Document& doc, const View<def::Attrib>& attrib) { return textOf(doc, 0, &attrib); }

std::string attributeTag(const Document& doc, std::uint32_t record)
{
    const Kind kind = doc.record(record).kind;
    if (kind == Kind::Attrib)
        if (auto v = View<def::Attrib>::of(doc, record)) return v->get(def::Attrib::tag);
    if (kind == Kind::Attdef)
        if (auto v = View<def::Attdef>::of(doc, record)) return v->get(def::Attdef::tag);
    return {};
}

std::string entityLayer(const Document& doc, std::uint32_t record)
{
    return View<def::AnyEntity>::of(doc, record)->get(def::AnyEntity::layer);
}

LayerState layerState(const Document& doc, std::uint32_t layerIndex)
{
    LayerState s;
    auto v = View<def::Layer>::of(doc, doc.layers()[layerIndex].record);
    if (!v) return s;
    int c = static_cast<int>(v->get(def::Layer::color));
    s.on = c >= 0;
    s.color = std::abs(c);
    s.frozen = v->flag(def::Layer::flags, def::Layer::kFrozen);
    s.locked = v->flag(def::Layer::flags, def::Layer::kLocked);
    if (v->has(def::Layer::trueColor)) s.trueColor = static_cast<std::uint32_t>(v->get(def::Layer::trueColor)) & 0xFFFFFF;
    return s;
}

bool setAttributeValue(Document& doc, std::uint32_t record, const std::string& utf8)
{
    if (record >= doc.recordCount() || doc.isDeleted(record) || doc.record(record).kind != Kind::Attrib) return false;
    auto e = TypedEdit<def::Attrib>::of(doc, record);
    if (!e) return false;
    // A multi-line attribute carries its text twice: in its value and in its
    // embedded multi-line text. Both get the whole value, line breaks as
    // paragraph breaks, as AutoCAD keeps them; so a reader that knows nothing
    // of the embedded text still sees every line (ezdxf's writer, which puts
    // only the first line into the value, reads the embedded text itself).
    const bool multiline = isMultilineAttribute(doc, record);
    const std::string value = sanitize(utf8, multiline);
    // A value the record lacks goes at the end of its text part; in a
    // drawing without subclass markers, before the tag, where Release 12
    // writes it.
    int at = e->placeFor(def::Attrib::value);
    int tag = e->find(def::Attrib::tag);
    if (tag >= 0 && tag < at) at = tag;
    e->set(def::Attrib::value, value, at);
    Document::Edit& g = e->groups();
    if (int embedded = multiline ? g.find(code::kEmbeddedObject) : -1; embedded >= 0) {
        std::uint32_t pos = removeEmbeddedText(g, static_cast<std::uint32_t>(embedded) + 1);
        insertChunks(doc, g, pos, value);
    }
    e->commit();
    return true;
}

bool setTextValue(Document& doc, std::uint32_t record, const std::string& utf8)
{
    if (record >= doc.recordCount() || doc.isDeleted(record)) return false;
    Kind kind = doc.record(record).kind;
    if (kind == Kind::Text) {
        auto e = TypedEdit<def::Text>::of(doc, record);
        if (!e || !e->set(def::Text::value, sanitize(utf8, false))) return false;
        e->commit();
        return true;
    }
    if (kind != Kind::MText) return false;
    auto e = TypedEdit<def::MText>::of(doc, record);
    if (!e) return false;
    int first = -1;
    for (int at : {e->removeAll(def::MText::chunk), e->removeAll(def::MText::text)})
        if (at >= 0 && (first < 0 || at < first)) first = at;
    if (first < 0) {
        // Without text groups so far, the text goes where CAD programs write
        // it: before the style, extrusion, direction and rotation groups.
        first = e->placeFor(def::MText::text);
        for (int at : {e->find(def::MText::style), e->find(def::MText::extrusion), e->find(def::MText::direction),
                       e->find(def::MText::rotation), e->find(def::MText::lineSpacingStyle),
                       e->find(def::MText::lineSpacing)})
            if (at >= 0 && at < first) first = at;
        if (first < 0) return false;
    }
    insertChunks(doc, e->groups(), static_cast<std::uint32_t>(first), sanitize(utf8, true));
    e->commit();
    return true;
}

bool setEntityColor(Document& doc, std::uint32_t record, int color)
{
    if (record >= doc.recordCount() || doc.isDeleted(record) || !isGraphical(doc.record(record))) return false;
    if (color < 0 || color > 256) return false;
    auto e = TypedEdit<def::AnyEntity>::of(doc, record);
    removeTrueColor(*e);
    // A color the entity lacks goes after its layer and the line type that
    // follows it.
    int after = e->find(def::AnyEntity::layer);
    if (after >= 0 && static_cast<std::uint32_t>(after) + 1 < e->groups().size() &&
        e->groups().code(static_cast<std::uint32_t>(after) + 1) == def::AnyEntity::linetype.code)
        ++after;
    setOrInsertColor(*e, def::AnyEntity::color, color, false, after);
    e->commit();
    return true;
}

namespace {

// A layer's color, with its sign (on or off); a new one goes after the
// layer's flags or, failing them, its name.
bool setLayerColorGroup(Document& doc, std::uint32_t layerIndex, int color, bool keepSign, bool dropTrueColor)
{
    auto e = TypedEdit<def::Layer>::of(doc, doc.layers()[layerIndex].record);
    if (!e) return false;
    if (dropTrueColor) removeTrueColor(*e);
    int after = e->find(def::Layer::flags);
    if (after < 0) after = e->find(def::Layer::name);
    setOrInsertColor(*e, def::Layer::color, color, keepSign, after);
    e->commit(Change::What::Layer);
    return true;
}

}  // namespace

bool setLayerDisplay(Document& doc, std::uint32_t layerIndex, bool on)
{
    if (layerIndex >= doc.layers().size()) return false;
    LayerState s = layerState(doc, layerIndex);
    int color = s.color == 0 ? 7 : s.color;
    return setLayerColorGroup(doc, layerIndex, on ? color : -color, false, false);
}

bool setLayerColor(Document& doc, std::uint32_t layerIndex, int color)
{
    if (layerIndex >= doc.layers().size() || color < 1 || color > 255) return false;
    return setLayerColorGroup(doc, layerIndex, color, true, true);
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
            if (auto e = TypedEdit<def::Insert>::of(doc, insert)) {
                e->removeAll(def::Insert::attribsFollow);
                e->commit();
            }
        }
        return true;
    }
    for (std::uint32_t c : doc.children(record))
        if (!doc.isDeleted(c)) doc.remove(c);
    doc.remove(record);
    return true;
}

}  // namespace ddvue::dxf
