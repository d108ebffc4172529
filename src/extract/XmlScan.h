#pragma once
// The line scanning under the flat document (FlatDocument.cpp): letter-case
// free searches, the tags one pass over a line finds, and the lines of a
// document split at CR LF. Inline: the flattener calls them for every line
// of large documents. Not for use outside src/extract.

#include <array>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace extract::xmlscan {

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

inline std::size_t findNoCase(std::string_view text, std::string_view what, std::size_t from = 0)
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
inline bool hasTag(std::string_view text, std::string_view name)
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

// Appends `text` with every `what` in it (letter case ignored) replaced by `with`.
inline void appendReplacedNoCase(std::string& out, std::string_view text, std::string_view what, std::string_view with)
{
    std::size_t from = 0, at;
    while ((at = findNoCase(text, what, from)) != std::string_view::npos) {
        out.append(text.substr(from, at - from));
        out.append(with);
        from = at + what.size();
    }
    out.append(text.substr(from));
}

inline std::string replaceAllNoCase(std::string_view text, std::string_view what, std::string_view with)
{
    std::string out;
    appendReplacedNoCase(out, text, what, with);
    return out;
}

inline std::string_view trimSpaces(std::string_view s)
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
inline constexpr std::array<Tag, 11> InsertProperties = {
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
inline std::size_t scanLine(std::string_view text, std::size_t from, const TagSet& tags, LineInfo& info)
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

}  // namespace extract::xmlscan
