#pragma once
// The DWG reader's answer, parsed: a read-only JSON tree held in two flat
// vectors, its strings left in the text until one is asked for. It is
// built, searched and freed many times faster than Qt's JSON classes, whose
// value per value storage and key searches took most of the time of turning
// a drawing into DXF. Values answer as QJsonValue does (a number read as
// an integer or not, a missing key as undefined, toString of a non-string
// as an empty string), so that the DXF written from them stays the same.

#include <QLatin1String>
#include <QString>

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace ddvue::dwg {

class JsonDocument;
class JsonObject;
class JsonArray;

namespace detail {
enum class JsonKind : std::uint8_t { Null, False, True, Number, String, Array, Object };

// A key's tag, kept beside it so that a search compares keys' texts only
// where their tags agree: its length and three of its bytes.
inline std::uint32_t jsonKeyTag(std::string_view key)
{
    if (key.empty()) return 0;
    return static_cast<std::uint32_t>(key.size()) ^ static_cast<std::uint32_t>(static_cast<unsigned char>(key[0])) << 8 ^
           static_cast<std::uint32_t>(static_cast<unsigned char>(key[key.size() / 2])) << 16 ^
           static_cast<std::uint32_t>(static_cast<unsigned char>(key.back())) << 24;
}
}  // namespace detail

class JsonValue {
public:
    JsonValue() = default;

    bool isUndefined() const { return !doc_; }
    bool isNull() const { return is(Kind::Null); }
    bool isBool() const { return is(Kind::True) || is(Kind::False); }
    bool isDouble() const { return is(Kind::Number); }
    bool isString() const { return is(Kind::String); }
    bool isArray() const { return is(Kind::Array); }
    bool isObject() const { return is(Kind::Object); }

    double toDouble(double fallback = 0) const;
    bool toBool(bool fallback = false) const;
    // The string, escapes resolved; an empty string for any other value.
    QString toString() const;
    // A string as the text holds it, when it has no escapes (what a
    // handle, a type or a name of letters is); empty otherwise.
    std::string_view plainString() const;
    // True when the value is the string `s`.
    bool is(std::string_view s) const;
    // The value as a yes or no the way QVariant::toBool takes it: a number
    // that rounds to a whole number other than 0, a string other than "",
    // "0" and "false".
    bool truthy() const;
    JsonObject toObject() const;
    JsonArray toArray() const;

private:
    friend class JsonDocument;
    friend class JsonObject;
    friend class JsonArray;
    using Kind = detail::JsonKind;
    JsonValue(const JsonDocument* doc, std::uint32_t node) : doc_(doc), node_(node) {}
    bool is(Kind kind) const;
    const JsonDocument* doc_ = nullptr;
    std::uint32_t node_ = 0;
};

class JsonObject {
public:
    JsonObject() = default;

    std::size_t size() const { return count_; }
    bool isEmpty() const { return count_ == 0; }
    JsonValue value(std::string_view key) const;
    JsonValue value(QLatin1String key) const { return value(std::string_view(key.data(), static_cast<std::size_t>(key.size()))); }
    bool contains(std::string_view key) const { return !value(key).isUndefined(); }
    bool contains(QLatin1String key) const { return !value(key).isUndefined(); }

    class const_iterator {
    public:
        QString key() const;
        // The key as written, when it has no escapes.
        std::string_view plainKey() const;
        JsonValue value() const;
        const_iterator& operator++()
        {
            kid_ += 3;
            return *this;
        }
        bool operator==(const const_iterator& o) const { return kid_ == o.kid_; }
        bool operator!=(const const_iterator& o) const { return kid_ != o.kid_; }

    private:
        friend class JsonObject;
        const_iterator(const JsonDocument* doc, const std::uint32_t* kid) : doc_(doc), kid_(kid) {}
        const JsonDocument* doc_;
        const std::uint32_t* kid_;
    };
    const_iterator begin() const;
    const_iterator end() const;

private:
    friend class JsonValue;
    friend class JsonDocument;
    const JsonDocument* doc_ = nullptr;
    std::uint32_t first_ = 0;  // in the document's list of members: key's tag, key, value, tag, ...
    std::uint32_t count_ = 0;
};

class JsonArray {
public:
    JsonArray() = default;

    std::size_t size() const { return count_; }
    bool isEmpty() const { return count_ == 0; }
    JsonValue at(std::size_t i) const;
    JsonValue operator[](std::size_t i) const { return at(i); }

    class const_iterator {
    public:
        JsonValue operator*() const;
        const_iterator& operator++()
        {
            ++kid_;
            return *this;
        }
        bool operator==(const const_iterator& o) const { return kid_ == o.kid_; }
        bool operator!=(const const_iterator& o) const { return kid_ != o.kid_; }

    private:
        friend class JsonArray;
        const_iterator(const JsonDocument* doc, const std::uint32_t* kid) : doc_(doc), kid_(kid) {}
        const JsonDocument* doc_;
        const std::uint32_t* kid_;
    };
    const_iterator begin() const;
    const_iterator end() const;

private:
    friend class JsonValue;
    friend class JsonDocument;
    const JsonDocument* doc_ = nullptr;
    std::uint32_t first_ = 0;
    std::uint32_t count_ = 0;
};

// Owns the texts it parsed and the tree made of them. Values point into
// it: they live as long as the document, which is neither copied nor moved.
class JsonDocument {
public:
    JsonDocument() = default;
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;

    // Parses one JSON text and keeps it. False, with the reason and where
    // it was found in `error`, when the text is not JSON; the document is
    // then as it was.
    bool parse(std::string text, std::string* error = nullptr);
    // The value of the text parsed last.
    JsonValue root() const { return root_; }

    // An array of values of this document, made after their texts were
    // parsed (the pieces of a drawing that came one by one).
    JsonValue makeArray(const std::vector<JsonValue>& items);
    // `object` with one more member, `key`: `value` (all of this document).
    JsonValue withMember(const JsonValue& object, std::string_view key, const JsonValue& value);

private:
    friend class JsonValue;
    friend class JsonObject;
    friend class JsonArray;
    friend class JsonParser;

    using Type = JsonValue::Kind;
    struct Node {
        Type type = Type::Null;
        bool escaped = false;  // a string with backslash escapes
        std::uint32_t count = 0;  // a string's length in bytes; an array's items; an object's members
        union {
            double number;
            const char* text;     // a string's first byte, in one of texts_
            std::uint32_t first;  // an array's or object's first entry in kids_
        };
        Node() : number(0) {}
    };

    std::uint32_t addString(std::string_view s);
    std::uint32_t tagOfKey(std::uint32_t key) const;

    std::deque<std::string> texts_;  // a deque: its strings do not move as it grows
    std::vector<Node> nodes_;
    std::vector<std::uint32_t> kids_;
    JsonValue root_;
};

// The lookups every value read makes, here so that they are inlined.

inline bool JsonValue::is(Kind kind) const { return doc_ && doc_->nodes_[node_].type == kind; }

inline double JsonValue::toDouble(double fallback) const { return isDouble() ? doc_->nodes_[node_].number : fallback; }

inline std::string_view JsonValue::plainString() const
{
    if (!isString() || doc_->nodes_[node_].escaped) return {};
    return std::string_view(doc_->nodes_[node_].text, doc_->nodes_[node_].count);
}

inline JsonObject JsonValue::toObject() const
{
    JsonObject o;
    if (isObject()) {
        o.doc_ = doc_;
        o.first_ = doc_->nodes_[node_].first;
        o.count_ = doc_->nodes_[node_].count;
    }
    return o;
}

inline JsonArray JsonValue::toArray() const
{
    JsonArray a;
    if (isArray()) {
        a.doc_ = doc_;
        a.first_ = doc_->nodes_[node_].first;
        a.count_ = doc_->nodes_[node_].count;
    }
    return a;
}

inline JsonValue JsonObject::value(std::string_view key) const
{
    if (!count_) return {};
    const std::uint32_t tag = detail::jsonKeyTag(key);
    const std::uint32_t* kid = doc_->kids_.data() + first_;
    const std::uint32_t* end = kid + 3 * count_;
    for (; kid != end; kid += 3) {
        if (kid[0] != tag) continue;
        const JsonDocument::Node& k = doc_->nodes_[kid[1]];
        if (k.escaped) {
            if (JsonValue(doc_, kid[1]).is(key)) return JsonValue(doc_, kid[2]);
        } else if (k.count == key.size() && std::memcmp(k.text, key.data(), key.size()) == 0) {
            return JsonValue(doc_, kid[2]);
        }
    }
    return {};
}

}  // namespace ddvue::dwg
