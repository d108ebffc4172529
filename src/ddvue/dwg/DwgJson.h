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
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace ddvue::dwg {

class JsonDocument;
class JsonObject;
class JsonArray;

class JsonValue {
public:
    JsonValue() = default;

    bool isUndefined() const { return !doc_; }
    bool isNull() const;
    bool isBool() const;
    bool isDouble() const;
    bool isString() const;
    bool isArray() const;
    bool isObject() const;

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
    JsonValue(const JsonDocument* doc, std::uint32_t node) : doc_(doc), node_(node) {}
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

    enum class Type : std::uint8_t { Null, False, True, Number, String, Array, Object };
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

}  // namespace ddvue::dwg
