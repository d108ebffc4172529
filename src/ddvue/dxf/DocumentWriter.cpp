// Document: the writer. A record's groups rewritten in the file's own
// formatting (DocumentEdit.h), and the drawing written whole: the file's
// bytes, with every replaced record's bytes in its place.
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/DocumentParts.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace ddvue::dxf {

using namespace detail;

Document::Edit Document::edit(std::uint32_t record) { return Edit(*this, record); }

std::string Document::serialize() const
{
    if (replaced_.empty()) return std::string(file_);
    std::string out;
    out.reserve(file_.size() + 4096);
    serialize([&out](std::string_view piece) {
        out.append(piece);
        return true;
    });
    return out;
}

bool Document::serialize(const std::function<bool(std::string_view piece)>& sink) const
{
    if (replaced_.empty()) return sink(file_);
    // The file records that change, or that records made since reading
    // stand before, in order; the file's bytes between them as they are.
    std::vector<std::uint32_t> marks;
    marks.reserve(replaced_.size() + placed_.size());
    for (auto& [i, rep] : replaced_)
        if (!isCreated(i)) marks.push_back(i);
    for (auto& [anchor, list] : placed_)
        if (!list.empty()) marks.push_back(anchor);
    std::sort(marks.begin(), marks.end());
    marks.erase(std::unique(marks.begin(), marks.end()), marks.end());

    auto startOf = [&](std::uint32_t i) -> std::uint32_t { return i < fileRecords_ ? recordBegin(i) : tailBegin_; };
    auto put = [&sink](std::string_view piece) { return piece.empty() || sink(piece); };
    std::uint32_t runStart = 0;
    for (std::uint32_t i : marks) {
        const std::uint32_t begin = startOf(i);
        if (!put(file_.substr(runStart, begin - runStart))) return false;
        runStart = begin;
        if (auto it = placed_.find(i); it != placed_.end())
            for (std::uint32_t made : it->second)
                if (const Replacement* rep = replacement(made); rep && !rep->deleted && !put(rep->bytes)) return false;
        if (i >= fileRecords_) continue;
        if (const Replacement* rep = replacement(i)) {
            if (!rep->deleted && !put(rep->bytes)) return false;
            runStart = startOf(i + 1);
        }
    }
    return put(file_.substr(runStart));
}

Document::Edit::Edit(Document& doc, std::uint32_t record) : doc_(doc), record_(record)
{
    RecordView v = doc.view(record);
    items_.reserve(v.size() + 4);
    for (std::uint32_t i = 0; i < v.size(); ++i) {
        const Group& g = v.group(i);
        std::string_view all = v.rawGroup(i);
        const std::uint32_t head = g.val - v.start(i);
        std::string_view codePart = all.substr(0, head);
        if (doc.format_ == Format::Ascii) {
            while (!codePart.empty() && (codePart.back() == '\n' || codePart.back() == '\r')) codePart.remove_suffix(1);
        } else if (valueTypeOf(g.code) == ValueType::Binary && !codePart.empty()) {
            codePart.remove_suffix(1);  // the length byte is part of the value
        }
        items_.push_back(Item{g.code, std::string(codePart), std::string(v.raw(i)), true, std::string(all), head});
    }
}

int Document::Edit::find(int code, std::uint32_t from) const
{
    for (std::uint32_t i = from; i < items_.size(); ++i) {
        if (items_[i].code == code::kExtendedData) return -1;
        if (items_[i].code == code) return static_cast<int>(i);
    }
    return -1;
}

int Document::Edit::findMain(int code, std::uint32_t from) const
{
    bool inBracket = false;
    for (std::uint32_t i = 1; i < items_.size(); ++i) {
        int c = items_[i].code;
        if (c == code::kAppGroup) {
            inBracket = isBracketOpen(items_[i].value);
            continue;
        }
        if (inBracket) continue;
        if (c == code::kExtendedData || c == code::kEmbeddedObject) return -1;
        if (i >= from && c == code) return static_cast<int>(i);
    }
    return -1;
}

std::string_view Document::Edit::rawValue(std::uint32_t i) const { return items_[i].value; }

std::int64_t Document::Edit::integer(std::uint32_t i) const
{
    const Item& it = items_[i];
    if (doc_.format_ == Format::Ascii) return asciiInteger(it.value);
    ValueType t = valueTypeOf(it.code);
    if (t == ValueType::String) return asciiInteger(it.value);
    return binaryInteger(t, it.value.data(), static_cast<std::uint32_t>(it.value.size()));
}

std::string Document::Edit::formatInteger(int code, std::int64_t v, std::string_view like) const
{
    if (doc_.format_ == Format::Binary) {
        std::string out;
        switch (valueTypeOf(code)) {
        case ValueType::Int16: {
            auto x = static_cast<std::int16_t>(v);
            out.assign(reinterpret_cast<const char*>(&x), 2);
            break;
        }
        case ValueType::Int32: {
            auto x = static_cast<std::int32_t>(v);
            out.assign(reinterpret_cast<const char*>(&x), 4);
            break;
        }
        case ValueType::Int64: out.assign(reinterpret_cast<const char*>(&v), 8); break;
        case ValueType::Bool: out.assign(1, static_cast<char>(v != 0)); break;
        default: out = std::to_string(v); break;
        }
        return out;
    }
    std::string s = std::to_string(v);
    std::size_t width = 0;
    if (!like.empty()) width = (like[0] == ' ') ? like.size() : 0;
    else width = static_cast<std::size_t>(doc_.style_.intWidth);
    if (s.size() < width) s.insert(0, width - s.size(), ' ');
    return s;
}

Document::Edit::Item Document::Edit::make(int code, std::string value) const
{
    std::string codeText;
    if (doc_.format_ == Format::Ascii) {
        codeText = std::to_string(code);
        if (codeText.size() < static_cast<std::size_t>(doc_.style_.codeWidth))
            codeText.insert(0, static_cast<std::size_t>(doc_.style_.codeWidth) - codeText.size(), ' ');
    } else if (doc_.style_.binaryCodeBytes == 1) {
        if (code < 255) {
            codeText.assign(1, static_cast<char>(code));
        } else {
            codeText.assign(1, static_cast<char>(255));
            auto c = static_cast<std::uint16_t>(code);
            codeText.append(reinterpret_cast<const char*>(&c), 2);
        }
    } else {
        auto c = static_cast<std::int16_t>(code);
        codeText.assign(reinterpret_cast<const char*>(&c), 2);
    }
    return Item{code, std::move(codeText), std::move(value), false, {}, 0};
}

void Document::Edit::setText(std::uint32_t i, std::string_view utf8)
{
    Item& it = items_[i];
    it.value = doc_.encodeText(utf8);
    it.kept = false;
}

void Document::Edit::setInteger(std::uint32_t i, std::int64_t v)
{
    Item& it = items_[i];
    it.value = formatInteger(it.code, v, doc_.format_ == Format::Ascii ? std::string_view(it.value) : std::string_view());
    it.kept = false;
}

void Document::Edit::setEncoded(std::uint32_t i, std::string bytes)
{
    Item& it = items_[i];
    it.value = std::move(bytes);
    it.kept = false;
}

void Document::Edit::setReal(std::uint32_t i, double v)
{
    Item& it = items_[i];
    it.value = formatReal(v);
    it.kept = false;
}

void Document::Edit::insertReal(std::uint32_t at, int code, double v)
{
    items_.insert(items_.begin() + at, make(code, formatReal(v)));
}

void Document::Edit::append(const RecordView& from, std::uint32_t group)
{
    items_.push_back(make(from.code(group), std::string(from.raw(group))));
}

std::string Document::Edit::formatReal(double v) const
{
    if (v == 0) v = 0;  // no negative zero
    if (doc_.format_ == Format::Binary) return std::string(reinterpret_cast<const char*>(&v), sizeof v);
    // The shortest text that reads back as the same number, with a decimal
    // point as CAD programs write reals.
    char buf[32];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, ec == std::errc() ? p : buf);
    if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
    return s;
}

void Document::Edit::remove(std::uint32_t i) { items_.erase(items_.begin() + i); }

void Document::Edit::insertText(std::uint32_t at, int code, std::string_view utf8)
{
    items_.insert(items_.begin() + at, make(code, doc_.encodeText(utf8)));
}

void Document::Edit::insertEncoded(std::uint32_t at, int code, std::string bytes)
{
    items_.insert(items_.begin() + at, make(code, std::move(bytes)));
}

void Document::Edit::insertInteger(std::uint32_t at, int code, std::int64_t v)
{
    items_.insert(items_.begin() + at, make(code, formatInteger(code, v, {})));
}

Document::Replacement Document::Edit::build() const
{
    Replacement rep;
    const bool ascii = doc_.format_ == Format::Ascii;
    for (const Item& it : items_) {
        const auto start = static_cast<std::uint32_t>(rep.bytes.size());
        Group g{0, 0, static_cast<std::int16_t>(it.code)};
        std::size_t len = it.value.size();
        if (it.kept) {
            // The group as it was: same bytes, same value position.
            g.val = start + it.valueOffset;
            rep.bytes += it.original;
        } else if (ascii) {
            rep.bytes += it.codeText;
            rep.bytes += doc_.style_.eol;
            g.val = static_cast<std::uint32_t>(rep.bytes.size());
            rep.bytes += it.value;
            rep.bytes += doc_.style_.eol;
        } else {
            rep.bytes += it.codeText;
            ValueType t = valueTypeOf(it.code);
            if (t == ValueType::Binary) rep.bytes.push_back(static_cast<char>(std::min<std::size_t>(it.value.size(), 255)));
            g.val = static_cast<std::uint32_t>(rep.bytes.size());
            std::string_view value = it.value;
            if (t == ValueType::Binary) value = value.substr(0, 255);
            len = value.size();
            rep.bytes += value;
            if (t == ValueType::String) rep.bytes.push_back('\0');
        }
        g.len = static_cast<std::uint16_t>(len);
        if (len >= kLongValue) {
            rep.longs[g.val] = static_cast<std::uint32_t>(len);
            g.len = kLongValue;
        }
        rep.groups.push_back(g);
    }
    return rep;
}

void Document::Edit::commit(Change::What what)
{
    Replacement rep = build();
    doc_.touching(record_, what);
    doc_.replaced_[record_] = std::move(rep);
    doc_.changed(what, record_);
}

}  // namespace ddvue::dxf
