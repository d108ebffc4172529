#include "extract/FlatDocument.h"

#include "app/FileRoutines.h"
#include "ddvue/AtomicFile.h"
#include "ddvue/FileNames.h"
#include "extract/clsConcat.h"

#include <QFile>

#include <array>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <vector>

namespace extract {

namespace {

constexpr std::string_view CrLf = "\r\n";

inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The first `c` in `text` at or after `from`. The lines searched are short,
// where a plain loop beats a library call.
inline std::size_t findChar(std::string_view text, char c, std::size_t from = 0)
{
    for (std::size_t i = from; i < text.size(); ++i)
        if (text[i] == c) return i;
    return std::string_view::npos;
}

inline bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::size_t findNoCase(std::string_view text, std::string_view what, std::size_t from = 0)
{
    if (what.empty()) return from <= text.size() ? from : std::string_view::npos;
    if (text.size() < what.size()) return std::string_view::npos;
    const char first = lower(what[0]);
    for (std::size_t i = from; i + what.size() <= text.size(); ++i)
        if (lower(text[i]) == first && equalsNoCase(text.substr(i, what.size()), what)) return i;
    return std::string_view::npos;
}

// True when the text holds "<" + name + ">", letter case ignored. Since the
// name holds neither "<" nor ">", that is: the text between some "<" and the
// first ">" after it is the name.
bool hasTag(std::string_view text, std::string_view name)
{
    std::size_t at = 0;
    while ((at = findChar(text, '<', at)) != std::string_view::npos) {
        ++at;
        if (text.size() - at > name.size() && text[at + name.size()] == '>' &&
            equalsNoCase(text.substr(at, name.size()), name))
            return true;
    }
    return false;
}

std::string replaceAllNoCase(std::string_view text, std::string_view what, std::string_view with)
{
    std::string out;
    std::size_t from = 0, at;
    while ((at = findNoCase(text, what, from)) != std::string_view::npos) {
        out.append(text.substr(from, at - from));
        out.append(with);
        from = at + what.size();
    }
    out.append(text.substr(from));
    return out;
}

std::string_view trimSpaces(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
}

// The tags the rules look for. One pass over a line finds which of them it
// holds, so that each rule's test is a bit test.
enum Tag : unsigned {
    TagCustom,
    TagCustomEnd,
    TagDrawingInformation,
    TagBlock,
    TagLayoutName,
    TagName,
    TagHandle,
    TagElementId,
    TagLayerName,
    TagX,
    TagY,
    TagZ,
    TagNumberAttributes,
    TagNumberConstantAttributes,
    TagRows,
    TagColumns,
    TagAttribute,
    TagText,
    TagMText,
    TagGroup,
    TagGroupEnd,
    TagCount
};

// The eleven insert properties, in the order their lines go into a record.
constexpr std::array<Tag, 11> InsertProperties = {
    TagName, TagHandle,           TagElementId,           TagLayerName, TagX,       TagY,
    TagZ,    TagNumberAttributes, TagNumberConstantAttributes, TagRows, TagColumns,
};

class TagSet {
public:
    explicit TagSet(std::string_view group)
    {
        static constexpr std::array<std::string_view, TagGroup> names = {
            "custom",    "/custom",   "drawinginformation", "block", "layoutname",       "name",
            "handle",    "elementid", "layername",          "x",     "y",                "z",
            "numberattributes",       "numberconstantattributes",    "rows", "columns", "attribute",
            "text",      "mtext"};
        for (unsigned t = 0; t < names.size(); ++t) add(names[t], t);
        if (!group.empty()) {
            groupEnd_ = "/" + std::string(group);
            add(group, TagGroup);
            add(groupEnd_, TagGroupEnd);
        }
    }

    unsigned of(std::string_view line) const
    {
        // Every "<" starts a token that ends at the first ">" after it.
        unsigned found = 0;
        std::array<std::size_t, 8> open;
        std::size_t opened = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (c == '<') {
                if (opened < open.size()) open[opened++] = i + 1;
                else found |= tokenAt(line.substr(i));  // many "<" without ">": rare
            } else if (c == '>' && opened) {
                for (std::size_t k = 0; k < opened; ++k) found |= match(line.substr(open[k], i - open[k]));
                opened = 0;
            }
        }
        return found;
    }

    // The tag a token (the text between "<" and ">") is.
    unsigned match(std::string_view token) const
    {
        if (token.empty() || token.size() >= byLength_.size()) return 0;
        const char first = lower(token[0]);
        unsigned found = 0;
        for (const auto& [name, tag] : byLength_[token.size()]) {
            if (name[0] != first) continue;
            std::size_t i = 1;
            while (i < token.size() && lower(token[i]) == name[i]) ++i;
            if (i == token.size()) found |= 1u << tag;
        }
        return found;
    }

    // The tag of the token of the "<" that starts `text`.
    unsigned tokenAt(std::string_view text) const
    {
        std::size_t close = text.find('>');
        return close == std::string_view::npos ? 0 : match(text.substr(1, close - 1));
    }

private:
    void add(std::string_view name, unsigned tag)
    {
        std::string lowered;
        for (char c : name) lowered.push_back(lower(c));
        if (name.size() >= byLength_.size()) byLength_.resize(name.size() + 1);
        byLength_[name.size()].emplace_back(std::move(lowered), tag);
    }

    std::string groupEnd_;
    // The names in lower case, by their length.
    std::vector<std::vector<std::pair<std::string, unsigned>>> byLength_;
};

// What one pass over a line finds out.
struct LineInfo {
    unsigned tags = 0;      // the tags of the TagSet the line holds
    bool unusual = false;   // a "=" or " /": only such lines change when normalised
    bool ampersand = false; // a "&": only such lines can hold "&quot;" or "&apos;"
};

// Reads a line of `text` from `from` up to its CR LF (or the end of the text),
// filling `info`; returns where the line ends (the CR, or the text's size).
// Every "<" starts a token that ends at the first ">" after it.
std::size_t scanLine(std::string_view text, std::size_t from, const TagSet& tags, LineInfo& info)
{
    const char* base = text.data();
    const std::size_t size = text.size();
    std::size_t open[8];
    std::size_t opened = 0;
    // Looks at one character that may matter; true at the line's end.
    auto look = [&](std::size_t at) __attribute__((always_inline)) {
        switch (base[at]) {
        case '<':
            if (opened < 8) open[opened++] = at + 1;
            else info.tags |= tags.tokenAt(text.substr(at));  // many "<" without ">": rare
            return false;
        case '>':
            for (std::size_t k = 0; k < opened; ++k) info.tags |= tags.match(text.substr(open[k], at - open[k]));
            opened = 0;
            return false;
        case '\r': return at + 1 < size && base[at + 1] == '\n';
        case '=': info.unusual = true; return false;
        case '/':
            if (at > from && base[at - 1] == ' ') info.unusual = true;
            return false;
        case '&': info.ampersand = true; return false;
        default: return false;
        }
    };
    std::size_t at = from;
#if defined(__SSE2__)
    // Sixteen characters at a time: most hold nothing that matters.
    const __m128i lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>'), cr = _mm_set1_epi8('\r'),
                  eq = _mm_set1_epi8('='), slash = _mm_set1_epi8('/'), amp = _mm_set1_epi8('&');
    for (; at + 16 <= size; at += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at));
        __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, gt)),
                                   _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, eq)),
                                                _mm_or_si128(_mm_cmpeq_epi8(v, slash), _mm_cmpeq_epi8(v, amp))));
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask; mask &= mask - 1) {
            std::size_t i = at + static_cast<std::size_t>(__builtin_ctz(mask));
            if (look(i)) return i;
        }
    }
#endif
    for (; at < size; ++at)
        if (look(at)) return at;
    return size;
}

// The lines of a document, split at CR LF. A final line without CR LF is a
// line too; the CR LF after the last line does not start another.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }

    // The next line; "" once the document is read to its end.
    std::string_view next()
    {
        if (atEnd()) return {};
        const char* base = text_.data();
        const std::size_t size = text_.size();
        const std::size_t from = pos_;
        std::size_t at = from;
        while (const void* cr = std::memchr(base + at, '\r', size - at)) {
            at = static_cast<std::size_t>(static_cast<const char*>(cr) - base);
            if (at + 1 < size && base[at + 1] == '\n') {
                pos_ = at + 2;
                return text_.substr(from, at - from);
            }
            ++at;
        }
        pos_ = size;
        return text_.substr(from);
    }

    // The next line and, found in the same pass, what `info` tells of it.
    std::string_view next(const TagSet& tags, LineInfo& info)
    {
        info = LineInfo();
        if (atEnd()) return {};
        const std::size_t from = pos_;
        const std::size_t end = scanLine(text_, from, tags, info);
        pos_ = end < text_.size() ? end + 2 : end;
        return text_.substr(from, end - from);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool has(unsigned set, Tag t) { return set & (1u << t); }

// The text after "<name>" in a line, with every "</name>" taken out.
std::string nameIn(std::string_view line)
{
    std::size_t at = findNoCase(line, "<name>");
    if (at == std::string_view::npos) return {};
    return replaceAllNoCase(line.substr(at + 6), "</name>", "");
}

// Appends `text` with every `what` in it (letter case ignored) replaced by `with`.
void appendReplacedNoCase(std::string& out, std::string_view text, std::string_view what, std::string_view with)
{
    std::size_t from = 0, at;
    while ((at = findNoCase(text, what, from)) != std::string_view::npos) {
        out.append(text.substr(from, at - from));
        out.append(with);
        from = at + what.size();
    }
    out.append(text.substr(from));
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
    if (!app::FileExists(sourcePath)) return -1;
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
