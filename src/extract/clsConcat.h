#pragma once
// The string builder of the content pipeline. It holds a buffer whose length
// is its capacity and a count of the characters at its start that hold text;
// appending grows the buffer in steps of 15000 characters, or by the appended
// text's length when that is larger than the text held so far, so that a
// document of many thousand lines is not copied on every append.
//
// Characters are the bytes of the single-byte documents it builds.

#include <cstddef>
#include <string>
#include <string_view>

class clsConcat {
public:
    static constexpr std::size_t GrowthStep = 15000;

    // Appends text.
    void SConcat(std::string_view text);
    // The text held; the builder is empty afterwards.
    std::string GetString();
    // Empties the builder.
    void ReInit();
    // Replaces the text held by `text`, with 15000 characters of room after it.
    void SetString(std::string_view text);

    // Sets memory aside for `characters` in all, so that a builder whose final
    // size is known roughly is not moved as it grows. The capacity above is
    // not changed by this.
    void reserve(std::size_t characters) { text_.reserve(characters); }

    std::size_t capacity() const { return capacity_; }
    std::size_t used() const { return text_.size(); }

private:
    // The held text. The room after it, which the capacity counts, is never
    // read, so it is not filled in: the string keeps only the text and grows
    // its memory in larger steps of its own.
    std::string text_;
    std::size_t capacity_ = 0;
};
