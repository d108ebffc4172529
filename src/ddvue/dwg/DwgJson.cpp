#include "ddvue/dwg/DwgJson.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

namespace ddvue::dwg {

namespace {

constexpr int kMaxDepth = 512;


// QString of a JSON string's text between its quotes: UTF-8 as it is, each
// escape as the UTF-16 unit it names, so that a pair of \u escapes makes one
// character and a lone one stays as it is, as Qt's parser does.
QString unescape(std::string_view s)
{
    QString out;
    out.reserve(static_cast<qsizetype>(s.size()));
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t j = s.find('\\', i);
        if (j == std::string_view::npos) j = s.size();
        if (j > i) out += QString::fromUtf8(s.data() + i, static_cast<qsizetype>(j - i));
        if (j + 1 >= s.size()) break;
        char c = s[j + 1];
        i = j + 2;
        switch (c) {
        case 'b': out += QChar(0x08); break;
        case 'f': out += QChar(0x0C); break;
        case 'n': out += QChar(0x0A); break;
        case 'r': out += QChar(0x0D); break;
        case 't': out += QChar(0x09); break;
        case 'u': {
            char16_t unit = 0;
            for (std::size_t k = 0; k < 4 && i < s.size(); ++k, ++i) {
                char h = s[i];
                unit = static_cast<char16_t>(unit * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10));
            }
            out += QChar(unit);
            break;
        }
        default: out += QChar::fromLatin1(c); break;  // " \ /
        }
    }
    return out;
}

}  // namespace

class JsonParser {
public:
    JsonParser(JsonDocument& doc, const std::string& text)
        : doc_(doc), begin_(text.data()), p_(text.data()), end_(text.data() + text.size())
    {
    }

    bool run(std::uint32_t& root, std::string* error)
    {
        skip();
        bool ok = value(root, 0);
        if (ok) {
            skip();
            if (p_ != end_) ok = fail("text after the end of the value");
        }
        if (!ok && error) *error = why_ + " at offset " + std::to_string(p_ - begin_);
        return ok;
    }

private:
    using Node = JsonDocument::Node;
    using Type = JsonDocument::Type;

    bool fail(const char* why)
    {
        if (why_.empty()) why_ = why;
        return false;
    }
    void skip()
    {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
    }
    std::uint32_t add(const Node& n)
    {
        doc_.nodes_.push_back(n);
        return static_cast<std::uint32_t>(doc_.nodes_.size() - 1);
    }

    bool value(std::uint32_t& out, int depth)
    {
        if (p_ == end_) return fail("unexpected end");
        switch (*p_) {
        case '{': return object(out, depth);
        case '[': return array(out, depth);
        case '"': return string(out);
        case 't': return word("true", Type::True, out);
        case 'f': return word("false", Type::False, out);
        case 'n': return word("null", Type::Null, out);
        default: return number(out);
        }
    }

    bool word(std::string_view w, Type type, std::uint32_t& out)
    {
        if (static_cast<std::size_t>(end_ - p_) < w.size() || std::memcmp(p_, w.data(), w.size()) != 0)
            return fail("illegal value");
        p_ += w.size();
        Node n;
        n.type = type;
        out = add(n);
        return true;
    }

    bool number(std::uint32_t& out)
    {
        const char* start = p_;
        if (p_ != end_ && *p_ == '-') ++p_;
        auto digits = [&] {
            const char* d = p_;
            while (p_ != end_ && *p_ >= '0' && *p_ <= '9') ++p_;
            return p_ != d;
        };
        if (!digits()) return fail("illegal number");
        bool integral = true;
        if (p_ != end_ && *p_ == '.') {
            ++p_;
            integral = false;
            if (!digits()) return fail("illegal number");
        }
        if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            integral = false;
            if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (!digits()) return fail("illegal number");
        }
        Node n;
        n.type = Type::Number;
        auto [ptr, ec] = std::from_chars(start, p_, n.number);
        if (ptr != p_ || ec != std::errc()) return fail("illegal number");
        // Qt keeps a whole number as an integer, which has no -0.
        if (integral && n.number == 0) n.number = 0;
        out = add(n);
        return true;
    }

    bool string(std::uint32_t& out)
    {
        ++p_;  // the opening quote
        const char* start = p_;
        bool escaped = false;
        while (true) {
            if (p_ == end_) return fail("unterminated string");
            char c = *p_;
            if (c == '"') break;
            if (static_cast<unsigned char>(c) < 0x20) return fail("control character in a string");
            if (c == '\\') {
                escaped = true;
                if (++p_ == end_) return fail("unterminated string");
                char e = *p_;
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k) {
                        if (++p_ == end_ || !std::isxdigit(static_cast<unsigned char>(*p_)))
                            return fail("illegal escape sequence");
                    }
                } else if (!std::strchr("\"\\/bfnrt", e) || e == 0) {
                    return fail("illegal escape sequence");
                }
            }
            ++p_;
        }
        Node n;
        n.type = Type::String;
        n.escaped = escaped;
        n.text = start;
        n.count = static_cast<std::uint32_t>(p_ - start);
        ++p_;  // the closing quote
        out = add(n);
        return true;
    }

    bool array(std::uint32_t& out, int depth)
    {
        if (depth >= kMaxDepth) return fail("too deeply nested");
        ++p_;
        std::size_t mark = scratch_.size();
        skip();
        if (p_ != end_ && *p_ == ']') {
            ++p_;
        } else {
            while (true) {
                std::uint32_t item = 0;
                if (!value(item, depth + 1)) return false;
                scratch_.push_back(item);
                skip();
                if (p_ == end_) return fail("unterminated array");
                if (*p_ == ']') {
                    ++p_;
                    break;
                }
                if (*p_ != ',') return fail("missing value separator");
                ++p_;
                skip();
            }
        }
        out = close(Type::Array, mark, 1);
        return true;
    }

    bool object(std::uint32_t& out, int depth)
    {
        if (depth >= kMaxDepth) return fail("too deeply nested");
        ++p_;
        std::size_t mark = scratch_.size();
        skip();
        if (p_ != end_ && *p_ == '}') {
            ++p_;
        } else {
            while (true) {
                if (p_ == end_ || *p_ != '"') return fail("missing name of a member");
                std::uint32_t key = 0, item = 0;
                if (!string(key)) return false;
                skip();
                if (p_ == end_ || *p_ != ':') return fail("missing name separator");
                ++p_;
                skip();
                if (!value(item, depth + 1)) return false;
                scratch_.push_back(doc_.tagOfKey(key));
                scratch_.push_back(key);
                scratch_.push_back(item);
                skip();
                if (p_ == end_) return fail("unterminated object");
                if (*p_ == '}') {
                    ++p_;
                    break;
                }
                if (*p_ != ',') return fail("missing value separator");
                ++p_;
                skip();
            }
        }
        out = close(Type::Object, mark, 3);
        return true;
    }

    // Moves a container's entries from the scratch list to the document.
    std::uint32_t close(Type type, std::size_t mark, std::size_t per)
    {
        Node n;
        n.type = type;
        n.first = static_cast<std::uint32_t>(doc_.kids_.size());
        n.count = static_cast<std::uint32_t>((scratch_.size() - mark) / per);
        doc_.kids_.insert(doc_.kids_.end(), scratch_.begin() + static_cast<std::ptrdiff_t>(mark), scratch_.end());
        scratch_.resize(mark);
        return add(n);
    }

    JsonDocument& doc_;
    const char* begin_;
    const char* p_;
    const char* end_;
    std::vector<std::uint32_t> scratch_;
    std::string why_;
};

bool JsonDocument::parse(std::string text, std::string* error)
{
    const std::size_t nodes = nodes_.size(), kids = kids_.size();
    texts_.push_back(std::move(text));
    std::uint32_t root = 0;
    if (!JsonParser(*this, texts_.back()).run(root, error)) {
        texts_.pop_back();
        nodes_.resize(nodes);
        kids_.resize(kids);
        return false;
    }
    root_ = JsonValue(this, root);
    return true;
}

std::uint32_t JsonDocument::addString(std::string_view s)
{
    texts_.emplace_back(s);
    Node n;
    n.type = Type::String;
    n.text = texts_.back().data();
    n.count = static_cast<std::uint32_t>(s.size());
    n.escaped = s.find('\\') != std::string_view::npos;
    nodes_.push_back(n);
    return static_cast<std::uint32_t>(nodes_.size() - 1);
}

JsonValue JsonDocument::makeArray(const std::vector<JsonValue>& items)
{
    Node n;
    n.type = Type::Array;
    n.first = static_cast<std::uint32_t>(kids_.size());
    n.count = static_cast<std::uint32_t>(items.size());
    for (const JsonValue& v : items) kids_.push_back(v.node_);
    nodes_.push_back(n);
    return JsonValue(this, static_cast<std::uint32_t>(nodes_.size() - 1));
}

std::uint32_t JsonDocument::tagOfKey(std::uint32_t key) const
{
    const Node& n = nodes_[key];
    if (!n.escaped) return detail::jsonKeyTag(std::string_view(n.text, n.count));
    return detail::jsonKeyTag(JsonValue(this, key).toString().toStdString());
}

JsonValue JsonDocument::withMember(const JsonValue& object, std::string_view key, const JsonValue& value)
{
    std::uint32_t keyNode = addString(key);
    JsonObject o = object.toObject();
    Node n;
    n.type = Type::Object;
    n.first = static_cast<std::uint32_t>(kids_.size());
    n.count = static_cast<std::uint32_t>(o.size() + 1);
    // Copied first: kids_ may move as it grows.
    std::vector<std::uint32_t> members(kids_.begin() + o.first_, kids_.begin() + o.first_ + 3 * o.count_);
    kids_.insert(kids_.end(), members.begin(), members.end());
    kids_.push_back(tagOfKey(keyNode));
    kids_.push_back(keyNode);
    kids_.push_back(value.node_);
    nodes_.push_back(n);
    return JsonValue(this, static_cast<std::uint32_t>(nodes_.size() - 1));
}

// ------------------------------------------------------------ values

#define NODE (doc_->nodes_[node_])



bool JsonValue::toBool(bool fallback) const { return isBool() ? NODE.type == JsonDocument::Type::True : fallback; }

QString JsonValue::toString() const
{
    if (!isString()) return QString();
    const auto& n = NODE;
    std::string_view s(n.text, n.count);
    return n.escaped ? unescape(s) : QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}


bool JsonValue::is(std::string_view s) const
{
    if (!isString()) return false;
    if (!NODE.escaped) return std::string_view(NODE.text, NODE.count) == s;
    return toString() == QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

bool JsonValue::truthy() const
{
    if (!doc_) return false;
    switch (NODE.type) {
    case JsonDocument::Type::True: return true;
    case JsonDocument::Type::Number: return std::fabs(NODE.number) >= 0.5;  // rounded to a whole number first
    case JsonDocument::Type::String: {
        QString s = toString().toLower();
        return !(s.isEmpty() || s == QLatin1String("0") || s == QLatin1String("false"));
    }
    default: return false;
    }
}



#undef NODE


JsonObject::const_iterator JsonObject::begin() const
{
    return const_iterator(doc_, count_ ? doc_->kids_.data() + first_ : nullptr);
}

JsonObject::const_iterator JsonObject::end() const
{
    return const_iterator(doc_, count_ ? doc_->kids_.data() + first_ + 3 * count_ : nullptr);
}

QString JsonObject::const_iterator::key() const { return JsonValue(doc_, kid_[1]).toString(); }
std::string_view JsonObject::const_iterator::plainKey() const { return JsonValue(doc_, kid_[1]).plainString(); }
JsonValue JsonObject::const_iterator::value() const { return JsonValue(doc_, kid_[2]); }

JsonValue JsonArray::at(std::size_t i) const
{
    if (i >= count_) return {};
    return JsonValue(doc_, doc_->kids_[first_ + i]);
}

JsonArray::const_iterator JsonArray::begin() const
{
    return const_iterator(doc_, count_ ? doc_->kids_.data() + first_ : nullptr);
}

JsonArray::const_iterator JsonArray::end() const
{
    return const_iterator(doc_, count_ ? doc_->kids_.data() + first_ + count_ : nullptr);
}

JsonValue JsonArray::const_iterator::operator*() const { return JsonValue(doc_, *kid_); }

}  // namespace ddvue::dwg
