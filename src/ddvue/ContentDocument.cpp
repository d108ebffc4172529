#include "ddvue/ContentDocument.h"

#include "ddvue/dxf/Entities.h"

#include <array>
#include <charconv>
#include <cmath>

namespace ddvue {

using namespace dxf;

namespace {

// The bytes that stand in the content document as they are.
constexpr auto plainBytes = [] {
    std::array<bool, 256> plain{};
    for (int b = 0x20; b < 0x7F; ++b) plain[static_cast<std::size_t>(b)] = true;
    for (char c : {'&', '<', '>', '"', '\'', '='}) plain[static_cast<unsigned char>(c)] = false;
    return plain;
}();

// The character that stands for `cp` in the content document.
char32_t listedCharacter(char32_t cp)
{
    // Control characters other than tab and line breaks cannot stand in
    // XML at all; they travel as their control pictures (U+2400 + c),
    // which writing a value back turns into the characters again.
    if (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') return cp + 0x2400;
    if (cp == 0xFFFE || cp == 0xFFFF) return 0xFFFD;
    return cp;
}

}  // namespace

std::string listedText(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b >= 0x20 && b < 0x7F) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        dxf::appendUtf8(out, listedCharacter(dxf::nextUtf8(utf8, i)));
    }
    return out;
}

void appendEscaped(std::string& out, std::string_view utf8)
{
    std::size_t i = 0;
    char ref[16];
    while (i < utf8.size()) {
        // Most text is plain: take it a run at a time.
        std::size_t run = i;
        while (run < utf8.size() && plainBytes[static_cast<unsigned char>(utf8[run])]) ++run;
        if (run > i) {
            out.append(utf8.data() + i, run - i);
            i = run;
            if (i == utf8.size()) break;
        }
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b >= 0x20 && b < 0x7F) {
            ++i;
            switch (b) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            case '=': out += "&#61;"; break;
            default: out.push_back(static_cast<char>(b)); break;
            }
            continue;
        }
        char32_t cp = listedCharacter(nextUtf8(utf8, i));
        if (cp >= 0xA0 && cp <= 0xFF) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        auto [p, ec] = std::to_chars(ref, ref + sizeof ref, static_cast<std::uint32_t>(cp));
        out += "&#";
        out.append(ref, p);
        out.push_back(';');
    }
}

std::string formatNumber(double v)
{
    if (!std::isfinite(v)) return "0";
    if (v == 0) return "0";  // also -0
    char buf[32];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, p);
}

namespace {


class Writer {
public:
    // With a sink, the document goes to it whenever a megabyte has gathered;
    // without one, it gathers whole in out().
    explicit Writer(const Document& doc, const ContentSink* sink = nullptr) : doc_(doc), sink_(sink)
    {
        out_.reserve(sink ? kPiece + 4096 : 1 << 20);
    }

    void line(std::string_view s)
    {
        out_ += s;
        out_ += "\r\n";
        if (sink_ && out_.size() >= kPiece) flush();
    }

    // Hands what has gathered to the sink; false once it said stop.
    bool flush()
    {
        if (sink_ && ok_ && !out_.empty()) ok_ = (*sink_)(out_);
        out_.clear();
        return ok_;
    }
    void element(std::string_view name, std::string_view utf8)
    {
        out_ += '<';
        out_ += name;
        out_ += '>';
        appendEscaped(out_, utf8);
        out_ += "</";
        out_ += name;
        out_ += ">\r\n";
    }
    void named(std::string_view name, std::string_view utf8)
    {
        out_ += '<';
        out_ += name;
        out_ += " name=\"";
        appendEscaped(out_, utf8);
        out_ += "\">\r\n";
    }
    void number(std::string_view name, double v) { element(name, formatNumber(v)); }

    std::string& out() { return out_; }

    void point(const Point3& p)
    {
        number("X", p.x);
        number("Y", p.y);
        number("Z", p.z);
    }

    void layers()
    {
        line("<Layers>");
        for (std::uint32_t i = 0; i < doc_.layers().size(); ++i) {
            if (doc_.isDeleted(doc_.layers()[i].record)) continue;
            LayerState s = layerState(doc_, i);
            line("<Layer>");
            element("Name", doc_.layers()[i].name);
            element("Display", s.on ? "On" : "Off");
            element("Color", std::to_string(s.color));
            line("</Layer>");
        }
        line("</Layers>");
    }

    // Lists the spaces' entities that `pick` accepts, each space as a Block
    // and LayoutName pair; spaces without any are left out.
    template <typename Pick, typename Emit>
    void bySpace(Pick pick, Emit emit)
    {
        for (const Space& space : doc_.spaces()) {
            bool opened = false;
            for (std::uint32_t rec : space.entities) {
                if (doc_.isDeleted(rec) || !pick(rec)) continue;
                if (!opened) {
                    named("Block", space.blockName);
                    named("LayoutName", space.layoutName);
                    opened = true;
                }
                emit(rec);
            }
            if (opened) {
                line("</LayoutName>");
                line("</Block>");
            }
        }
    }

    void attributes()
    {
        line("<Attributes>");
        bySpace(
            [&](std::uint32_t rec) {
                return doc_.record(rec).kind == Kind::Insert && !attributesOf(doc_, rec).empty();
            },
            [&](std::uint32_t rec) { insert(rec); });
        line("</Attributes>");
    }

    void insert(std::uint32_t rec)
    {
        auto v = View<def::Insert>::of(doc_, rec);
        if (!v) return;
        std::string blockName = v->get(def::Insert::block);
        std::vector<std::uint32_t> attribs = attributesOf(doc_, rec);
        line("<Insert>");
        element("Name", blockName);
        handle(rec);
        element("LayerName", v->get(def::Insert::layer));
        line("<InsertionPoint>");
        point(v->get(def::Insert::insert));
        line("</InsertionPoint>");
        element("NumberAttributes", std::to_string(attribs.size()));
        element("NumberConstantAttributes", std::to_string(constantAttributes(blockName)));
        element("Rows", std::to_string(std::max<std::int64_t>(1, v->get(def::Insert::rows))));
        element("Columns", std::to_string(std::max<std::int64_t>(1, v->get(def::Insert::columns))));
        for (std::uint32_t a : attribs) {
            line("<Attribute>");
            handle(a);
            // Tag and value through one view, which finds the markers once.
            auto v = View<def::Attrib>::of(doc_, a);
            element("AttributeTag", v ? v->get(def::Attrib::tag) : std::string());
            element("AttributeValue", v ? entityText(doc_, *v) : std::string());
            line("</Attribute>");
        }
        line("</Insert>");
    }

    void handle(std::uint32_t rec)
    {
        std::uint64_t h = doc_.record(rec).handle;
        element("Handle", Document::formatHandle(h));
        element("ElementId", std::to_string(h));
    }

    int constantAttributes(const std::string& blockName)
    {
        auto cached = constants_.find(blockName);
        if (cached != constants_.end()) return cached->second;
        int n = 0;
        if (auto b = doc_.findBlock(blockName)) {
            for (std::uint32_t e : doc_.blocks()[*b].entities) {
                if (doc_.record(e).kind != Kind::Attdef || doc_.isDeleted(e)) continue;
                auto a = View<def::Attdef>::of(doc_, e);
                if (a && a->flag(def::Attdef::flags, def::Attdef::kConstant)) ++n;
            }
        }
        constants_.emplace(blockName, n);
        return n;
    }

    void texts()
    {
        line("<TextLiterals>");
        bySpace(
            [&](std::uint32_t rec) {
                Kind k = doc_.record(rec).kind;
                return k == Kind::Text || k == Kind::MText;
            },
            [&](std::uint32_t rec) {
                bool m = doc_.record(rec).kind == Kind::MText;
                line(m ? "<MText>" : "<Text>");
                element("Value", entityText(doc_, rec));
                element("Handle", Document::formatHandle(doc_.record(rec).handle));
                element("LayerName", entityLayer(doc_, rec));
                if (m) {
                    auto v = View<def::MText>::of(doc_, rec);
                    point(v ? v->get(def::MText::insert) : Point3{});
                } else {
                    auto v = View<def::Text>::of(doc_, rec);
                    point(v ? v->get(def::Text::insert) : Point3{});
                }
                line(m ? "</MText>" : "</Text>");
            });
        line("</TextLiterals>");
    }

    void externalReferences()
    {
        line("<ExternalReferences>");
        for (const BlockDef& b : doc_.blocks()) {
            if (!isExternalReference(doc_, b)) continue;
            auto v = View<def::Block>::of(doc_, b.begin);
            if (!v) continue;
            line("<ExternalReference>");
            element("Name", b.name);
            element("Path", v->get(def::Block::xrefPath));
            element("Overlay", v->flag(def::Block::flags, def::Block::kOverlay) ? "Yes" : "No");
            line("</ExternalReference>");
        }
        line("</ExternalReferences>");
    }

private:
    static constexpr std::size_t kPiece = 1 << 20;
    const Document& doc_;
    const ContentSink* sink_;
    bool ok_ = true;
    std::string out_;
    std::unordered_map<std::string, int> constants_;
};

}  // namespace

ContentCounts countContent(const Document& doc)
{
    ContentCounts n;
    for (const LayerEntry& l : doc.layers())
        if (!doc.isDeleted(l.record)) ++n.layers;
    for (const Space& space : doc.spaces()) {
        for (std::uint32_t rec : space.entities) {
            if (doc.isDeleted(rec)) continue;
            switch (doc.record(rec).kind) {
            case Kind::Insert: n.attributes += attributeCount(doc, rec); break;
            case Kind::Text: ++n.texts; break;
            case Kind::MText: ++n.multilineTexts; break;
            default: break;
            }
        }
    }
    for (const BlockDef& b : doc.blocks())
        if (isExternalReference(doc, b)) ++n.externalReferences;
    return n;
}

void forEachListed(const Document& doc, ListedKind kind, const std::function<void(std::uint32_t record)>& visit)
{
    const Kind wanted = kind == ListedKind::Attributes ? Kind::Insert
                        : kind == ListedKind::Texts    ? Kind::Text
                                                       : Kind::MText;
    for (const Space& space : doc.spaces()) {
        for (std::uint32_t rec : space.entities) {
            if (doc.record(rec).kind != wanted || doc.isDeleted(rec)) continue;
            if (kind != ListedKind::Attributes) {
                visit(rec);
                continue;
            }
            // An insert's attributes, as attributesOf lists them.
            doc.forEachChild(rec, [&](std::uint32_t child) {
                if (doc.record(child).kind == Kind::Attrib && !doc.isDeleted(child)) visit(child);
            });
        }
    }
}

std::string listedValue(const Document& doc, std::uint32_t record) { return listedText(entityText(doc, record)); }

namespace {

void writeAll(Writer& w, const Document& doc, std::string_view fileName, const ContentSelection& what,
              std::string_view version)
{
    w.line("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
    w.line("<DrawingContent>");
    w.line("<DrawingInformation>");
    w.element("FileName", fileName);
    w.element("Version", version.empty() ? std::string_view(doc.acadVersion()) : version);
    w.element("Format", doc.format() == Format::Binary ? "Binary DXF" : "DXF");
    w.element("Encoding", doc.codec().name());
    w.line("</DrawingInformation>");
    if (what.layers) w.layers();
    if (what.attributes) w.attributes();
    if (what.text) w.texts();
    if (what.externalReferences) w.externalReferences();
    w.line("</DrawingContent>");
}

}  // namespace

std::string writeContentDocument(const Document& doc, std::string_view fileName, const ContentSelection& what,
                                 std::string_view version)
{
    Writer w(doc);
    writeAll(w, doc, fileName, what, version);
    return std::move(w.out());
}

bool writeContentDocument(const Document& doc, std::string_view fileName, const ContentSelection& what,
                          std::string_view version, const ContentSink& sink)
{
    Writer w(doc, &sink);
    writeAll(w, doc, fileName, what, version);
    return w.flush();
}

}  // namespace ddvue
