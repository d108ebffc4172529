#include "extract/FlatDocument.h"

#include "platform/FileRoutines.h"
#include "ddvue/AtomicFile.h"
#include "ddvue/FileNames.h"
#include "extract/XmlScan.h"
#include "extract/clsConcat.h"

#include <QFile>

#include <array>
#include <cstring>
#include <vector>

namespace extract {

namespace {

constexpr std::string_view CrLf = "\r\n";

using namespace xmlscan;

bool has(unsigned set, Tag t) { return set & (1u << t); }

// The text after "<name>" in a line, with every "</name>" taken out.
std::string nameIn(std::string_view line)
{
    std::size_t at = findNoCase(line, "<name>");
    if (at == std::string_view::npos) return {};
    return replaceAllNoCase(line.substr(at + 6), "</name>", "");
}

// Appends a line with "handle" and "elementid" inside its element names
// given their attribute names; the text between the tags stays as it is.
void appendRenamed(std::string& out, std::string_view line, std::string& scratch)
{
    // The usual lines, "<Handle>text</Handle>" and "<ElementId>text</ElementId>",
    // are renamed at once.
    for (auto [tag, renamed] : {std::pair<std::string_view, std::string_view>{"handle", "AttributeHandle"},
                                {"elementid", "AttributeElementId"}}) {
        const std::size_t n = tag.size();
        if (line.size() < 2 * n + 5 || line[0] != '<' || line[n + 1] != '>' || !equalsNoCase(line.substr(1, n), tag))
            continue;
        std::string_view end = line.substr(line.size() - (n + 3));
        if (end[0] != '<' || end[1] != '/' || end.back() != '>' || !equalsNoCase(end.substr(2, n), tag)) continue;
        std::string_view text = line.substr(n + 2, line.size() - (2 * n + 5));
        if (findChar(text, '<') != std::string_view::npos) continue;
        out.push_back('<');
        out.append(renamed);
        out.push_back('>');
        out.append(text);
        out.append("</");
        out.append(renamed);
        out.push_back('>');
        return;
    }
    std::size_t from = 0, lt;
    while ((lt = findChar(line, '<', from)) != std::string_view::npos) {
        std::size_t start = lt + 1;
        if (start < line.size() && line[start] == '/') ++start;
        std::size_t stop = start;
        while (stop < line.size() && line[stop] != '>' && line[stop] != ' ' && line[stop] != '/' &&
               line[stop] != '<')
            ++stop;
        out.append(line.substr(from, start - from));
        std::string_view name = line.substr(start, stop - start);
        if (name.size() == 6 && equalsNoCase(name, "handle")) {
            out.append("AttributeHandle");
        } else if (name.size() == 9 && equalsNoCase(name, "elementid")) {
            out.append("AttributeElementId");
        } else if (findNoCase(name, "handle") == std::string_view::npos &&
            findNoCase(name, "elementid") == std::string_view::npos) {
            out.append(name);  // the usual case: nothing to rename
        } else {
            scratch.clear();
            appendReplacedNoCase(scratch, name, "handle", "AttributeHandle");
            appendReplacedNoCase(out, scratch, "elementid", "AttributeElementId");
        }
        from = stop;
    }
    out.append(line.substr(from));
}

// Appends text with every "&quot;" made a double quote and every "&apos;" an
// apostrophe, letter case ignored.
void appendUnquoted(std::string& out, std::string_view text)
{
    std::size_t from = 0, amp;
    while ((amp = findChar(text, '&', from)) != std::string_view::npos) {
        std::string_view rest = text.substr(amp);
        char c = 0;
        if (rest.size() >= 6 && equalsNoCase(rest.substr(0, 6), "&quot;")) c = '"';
        else if (rest.size() >= 6 && equalsNoCase(rest.substr(0, 6), "&apos;")) c = '\'';
        if (c) {
            out.append(text.substr(from, amp - from));
            out.push_back(c);
            from = amp + 6;
        } else {
            out.append(text.substr(from, amp + 1 - from));
            from = amp + 1;
        }
    }
    out.append(text.substr(from));
}

// The normal form of one line of the content document: 0 when the line
// stays as it is; 1 when it becomes `first` (a self-closing element, made a
// start tag directly followed by its end tag); 2 when it becomes `first` and
// `second` (an element with a name attribute, made its bare start tag and a
// Name element holding the name). The " />" test comes first.
int normalizeLine(std::string_view line, std::string& first, std::string& second)
{
    // " />" is found by its "/", which most lines hold once (their end tag).
    for (std::size_t slash = line.find('/'); slash != std::string_view::npos; slash = line.find('/', slash + 1)) {
        if (slash >= 1 && line[slash - 1] == ' ' && slash + 1 < line.size() && line[slash + 1] == '>') {
            std::string name;
            for (char c : line.substr(0, slash - 1))
                if (c != '<') name.push_back(c);
            first = "<" + name + "></" + name + ">";
            return 1;
        }
    }
    // " name=" ends in the line's first "=" preceded by " name".
    for (std::size_t eq = line.find('='); eq != std::string_view::npos; eq = line.find('=', eq + 1)) {
        if (eq >= 5 && equalsNoCase(line.substr(eq - 5, 5), " name")) {
            first.assign(line.substr(0, eq - 5));
            first.push_back('>');
            second = "<Name>";
            for (char c : line.substr(eq + 1))
                if (c != '"' && c != '\'' && c != '>') second.push_back(c);
            second += "</Name>";
            return 2;
        }
    }
    return 0;
}

// The lines of the normal form of a content document, made as they are read:
// the same lines as those of normalizeExportXml's text, without building it.
class NormalizingLines {
public:
    explicit NormalizingLines(std::string_view content) : raw_(content) {}

    bool atEnd() const { return raw_.atEnd() && !pending_ && endGiven_; }

    std::string_view next(const TagSet& tags, LineInfo& info)
    {
        info = LineInfo();
        if (pending_) {
            pending_ = false;
            scanLine(second_, 0, tags, info);
            return second_;
        }
        if (raw_.atEnd()) {
            // The normal form ends with one more line end: an empty last line.
            endGiven_ = true;
            return {};
        }
        std::string_view line = raw_.next(tags, info);
        int parts = info.unusual ? normalizeLine(line, first_, second_) : 0;
        if (parts == 0) return line;
        pending_ = parts == 2;
        info = LineInfo();
        scanLine(first_, 0, tags, info);
        return first_;
    }

private:
    Lines raw_;
    std::string first_, second_;
    bool pending_ = false;
    bool endGiven_ = false;
};

// Where the flattener's text goes: one builder for the whole document...
class WholeOutput {
public:
    explicit WholeOutput(std::size_t expectedSize) { text_.reserve(expectedSize); }
    void append(std::string_view text) { text_.SConcat(text); }
    void itemDone() {}
    std::string finish() { return text_.GetString(); }

private:
    clsConcat text_;
};

// ...or pieces of about a quarter megabyte handed on as they fill, each
// ending at a line end, so that the reader takes them while they are fresh.
class StreamOutput {
public:
    explicit StreamOutput(const FlatSink& sink) : sink_(sink) { text_.reserve(PieceSize + 64 * 1024); }
    void append(std::string_view text) { text_.append(text); }
    void itemDone()
    {
        if (text_.size() >= PieceSize) {
            sink_(text_, false);
            text_.clear();
        }
    }
    std::string finish()
    {
        sink_(text_, true);
        return {};
    }

private:
    static constexpr std::size_t PieceSize = 256 * 1024;
    const FlatSink& sink_;
    std::string text_;
};

template <typename LineSource, typename Output>
class Flattener {
public:
    Flattener(std::string_view text, int code, Output& out)
        : lines_(text), code_(code), group_(flatGroupName(code)), tags_(group_), out_(out)
    {
        if (!group_.empty()) groupEnd_ = "/" + std::string(group_);
        for (auto& line : stored_) line.reserve(64);
    }

    std::string run()
    {
        out_.append("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
        out_.append(CrLf);
        out_.append(CrLf);
        bool inside = false;
        while (!lines_.atEnd()) {
            out_.itemDone();
            LineInfo info;
            std::string_view line = trimSpaces(lines_.next(tags_, info));
            const unsigned tags = info.tags;
            if (has(tags, TagCustom)) {
                // A section of the component's own; a one-line section ends on its own line.
                if (!has(tags, TagCustomEnd)) {
                    for (int i = 0; i < 20 && !lines_.atEnd(); ++i) {
                        lines_.next(tags_, info);
                        if (has(info.tags, TagCustomEnd)) break;
                    }
                }
                continue;  // the line becomes empty
            }
            if (inside && !has(tags, TagDrawingInformation)) {
                // A line a rule drops becomes empty; a line a rule rewrites
                // has been collected (the group is open), and may close it.
                Outcome outcome = applyRules(line, tags);
                if (outcome == Dropped) continue;
                if (outcome == Collected) {
                    if (has(collectedTags_, TagGroupEnd)) break;
                    continue;
                }
            }
            if (has(tags, TagGroup)) inside = true;
            if (inside && !line.empty()) collect(line);
            if (has(tags, TagGroupEnd)) break;
        }
        return out_.finish();
    }

    bool truncated() const { return truncated_; }

private:
    enum Outcome { Unchanged, Dropped, Collected };

    void collect(std::string_view item)
    {
        out_.append(item);
        out_.append(CrLf);
    }

    // Collects an item made of pieces joined by CR LF, whose tags are known.
    void collectPiece(std::string_view piece, unsigned tags)
    {
        out_.append(piece);
        out_.append(CrLf);
        collectedTags_ |= tags;
    }

    Outcome applyRules(std::string_view line, unsigned tags)
    {
        collectedTags_ = 0;
        if (code_ == FlatAttributes) return attributeRules(line, tags);
        if (code_ == FlatSingleText || code_ == FlatMultiText) return textRules(line, tags);
        return Unchanged;
    }

    // The group end tag's bit when `text` holds it. Only that tag matters in
    // a line a rule rewrote: the group is already open.
    unsigned endsGroup(std::string_view text) const
    {
        return !groupEnd_.empty() && hasTag(text, groupEnd_) ? 1u << TagGroupEnd : 0;
    }

    // A line that a rule needs; past the end of the document it is empty and
    // the document counts as cut short.
    std::string_view nextLine(LineInfo& info)
    {
        if (lines_.atEnd()) {
            truncated_ = true;
            info = LineInfo();
            return {};
        }
        return lines_.next(tags_, info);
    }

    void readBlockOrLayout(unsigned tags)
    {
        LineInfo info;
        std::string name = nameIn(nextLine(info));
        prefixStale_ = true;
        if (has(tags, TagBlock)) {
            block_ = "<Block>" + name + "</Block>";
            blockTags_ = endsGroup(block_);
        } else {
            layout_ = "<Layout>" + name + "</Layout>";
            layoutTags_ = endsGroup(layout_);
        }
    }

    Outcome attributeRules(std::string_view line, unsigned tags)
    {
        if (line == "</Block>" || line == "</LayoutName>" || line == "<Insert>" || line == "</Insert>" ||
            line == "<InsertionPoint>" || line == "</InsertionPoint>")
            return Dropped;
        if (has(tags, TagBlock) || has(tags, TagLayoutName)) {
            readBlockOrLayout(tags);
            return Dropped;
        }
        for (std::size_t i = 0; i < InsertProperties.size(); ++i) {
            if (has(tags, InsertProperties[i])) {
                stored_[i].assign(line);
                storedTags_[i] = tags;
                prefixStale_ = true;
                return Dropped;
            }
        }
        if (!has(tags, TagAttribute)) return Unchanged;
        // The record: the attribute's start line, its block and layout, the
        // insert's properties, then the attribute's own four lines. The
        // lines before the attribute's own are the same for every attribute
        // of an insert, so they are put together once per insert.
        if (prefixStale_) {
            static const std::string_view start = "<Attribute>";
            prefix_.clear();
            prefixTags_ = endsGroup(start) | blockTags_ | layoutTags_;
            for (std::string_view piece : {start, std::string_view(block_), std::string_view(layout_)}) {
                prefix_.append(piece);
                prefix_.append(CrLf);
            }
            for (std::size_t i = 0; i < stored_.size(); ++i) {
                prefix_.append(stored_[i]);
                prefix_.append(CrLf);
                prefixTags_ |= storedTags_[i];
            }
            prefixStale_ = false;
        }
        out_.append(prefix_);
        collectedTags_ |= prefixTags_;
        unquoted_.clear();
        for (int i = 0; i < 4; ++i) {
            LineInfo info;
            std::string_view part = nextLine(info);
            // Neither renaming element names nor turning "&quot;" and
            // "&apos;" into characters can make or unmake the group's end tag,
            // so the line's own tags tell whether the record holds it.
            collectedTags_ |= info.tags & (1u << TagGroupEnd);
            if (i < 3) {
                renamed_.clear();
                appendRenamed(renamed_, part, scratch_);
                part = renamed_;
            }
            if (info.ampersand) appendUnquoted(unquoted_, part);
            else unquoted_.append(part);
            unquoted_.append(CrLf);
        }
        out_.append(unquoted_);
        return Collected;
    }

    Outcome textRules(std::string_view line, unsigned tags)
    {
        if (line == "</Block>" || line == "</LayoutName>") return Dropped;
        if (has(tags, TagBlock) || has(tags, TagLayoutName)) {
            readBlockOrLayout(tags);
            return Dropped;
        }
        const bool single = code_ == FlatSingleText;
        const Tag kept = single ? TagText : TagMText;
        const Tag skipped = single ? TagMText : TagText;
        if (has(tags, kept)) {
            collectPiece(line, tags);
            collectPiece(block_, blockTags_);
            collectPiece(layout_, layoutTags_);
            return Collected;
        }
        if (has(tags, skipped)) {
            // The other kind of text, up to its end line; the end of the
            // document ends the skip as well.
            const std::string_view end = single ? "</MText>" : "</Text>";
            for (;;) {
                if (lines_.atEnd()) {
                    truncated_ = true;
                    break;
                }
                LineInfo info;
                if (lines_.next(tags_, info) == end) break;
            }
            return Dropped;
        }
        return Unchanged;
    }

    LineSource lines_;
    int code_;
    std::string_view group_;
    std::string groupEnd_;
    TagSet tags_;
    Output& out_;
    unsigned collectedTags_ = 0;
    std::string block_, layout_;
    unsigned blockTags_ = 0, layoutTags_ = 0;
    std::array<std::string, 11> stored_;
    std::array<unsigned, 11> storedTags_{};
    std::string renamed_, unquoted_, scratch_;
    std::string prefix_;
    unsigned prefixTags_ = 0;
    bool prefixStale_ = true;
    bool truncated_ = false;
};

bool readFile(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

bool writeFile(const QString& path, std::string_view bytes)
{
    std::string why;
    return ddvue::writeFileAtomically(ddvue::encodeFileName(path), bytes, why);
}

}  // namespace

std::string_view flatGroupName(int code)
{
    switch (code) {
    case FlatLayers: return "Layers";
    case FlatAttributes: return "Attributes";
    case FlatExternalReferences: return "ExternalReferences";
    case FlatSingleText:
    case FlatMultiText: return "TextLiterals";
    default: return {};
    }
}

std::string normalizeExportXml(std::string_view content)
{
    clsConcat text;
    text.reserve(content.size() + content.size() / 8 + 4096);
    Lines lines(content);
    std::string first, second;
    while (!lines.atEnd()) {
        std::string_view line = lines.next();
        switch (normalizeLine(line, first, second)) {
        case 0: text.SConcat(line); break;
        case 1: text.SConcat(first); break;
        default:
            text.SConcat(first);
            text.SConcat(CrLf);
            text.SConcat(second);
            break;
        }
        text.SConcat(CrLf);
    }
    text.SConcat(CrLf);
    return text.GetString();
}

// The whole flat document, read with `Reader` (normalised lines, or a
// content document normalised on the way).
template <typename Reader>
std::string wholeFlatDocument(std::string_view text, int code, bool* truncated)
{
    // Block attributes come out about twice as long as they go in: each
    // carries its insert's properties.
    WholeOutput out(text.size() * (code == FlatAttributes ? 5 : 3) / 2 + 4096);
    Flattener<Reader, WholeOutput> flattener(text, code, out);
    std::string flat = flattener.run();
    if (truncated) *truncated = flattener.truncated();
    return flat;
}

std::string flatDocument(std::string_view normalized, int code, bool* truncated)
{
    return wholeFlatDocument<Lines>(normalized, code, truncated);
}

std::string flatDocumentOfContent(std::string_view content, int code, bool* truncated)
{
    return wholeFlatDocument<NormalizingLines>(content, code, truncated);
}

void streamFlatDocument(std::string_view content, int code, const FlatSink& sink, bool* truncated)
{
    StreamOutput out(sink);
    Flattener<NormalizingLines, StreamOutput> flattener(content, code, out);
    flattener.run();
    if (truncated) *truncated = flattener.truncated();
}

bool NormalizeExportXml(const QString& path)
{
    QByteArray content;
    if (!readFile(path, content)) return false;
    return writeFile(path, normalizeExportXml(std::string_view(content.constData(), content.size())));
}

short WriteFlatXml(const QString& sourcePath, const QString& flatPath, int code)
{
    if (!platform::FileExists(sourcePath)) return -1;
    bool failed = !NormalizeExportXml(sourcePath);
    QByteArray normalized;
    if (!readFile(sourcePath, normalized)) failed = true;
    bool truncated = false;
    std::string flat = flatDocument(std::string_view(normalized.constData(), normalized.size()), code, &truncated);
    if (truncated) failed = true;
    if (!writeFile(flatPath, flat)) failed = true;
    return failed ? -2 : 1;
}

}  // namespace extract
