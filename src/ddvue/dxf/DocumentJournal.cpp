// Document: the journal of changes. Each record stands as read, or as an
// edit replaced or deleted it; an operation (Operations.h) notes the state
// of every record it changes, to put it back byte for byte, and listeners
// are told of every change.
#include "ddvue/dxf/Document.h"

#include "ddvue/dxf/DocumentParts.h"
#include "ddvue/dxf/Operations.h"

#include <algorithm>

namespace ddvue::dxf {

int Document::addListener(Listener listener)
{
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void Document::removeListener(int id)
{
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

History& Document::history()
{
    if (!history_) history_ = std::make_unique<History>(*this);
    return *history_;
}

const History& Document::history() const { return const_cast<Document*>(this)->history(); }

Document::RecordState Document::state(std::uint32_t record) const
{
    const Replacement* rep = replacement(record);
    return rep ? RecordState(*rep) : std::nullopt;
}

void Document::restore(std::uint32_t record, const RecordState& state, Change::What what)
{
    if (state) replaced_[record] = *state;
    else replaced_.erase(record);
    changed(what, record);
}

std::string_view Document::bytesIn(std::uint32_t record, const RecordState& state) const
{
    if (state) return state->deleted ? std::string_view() : std::string_view(state->bytes);
    const std::uint32_t begin = recordBegin(record);
    const std::uint32_t end = record + 1 < fileRecords_ ? recordBegin(record + 1) : tailBegin_;
    return file_.substr(begin, end - begin);
}

void Document::touching(std::uint32_t record, Change::What what)
{
    if (!journal_ || !journaled_.insert(record).second) return;
    journal_->push_back(Touched{record, what, state(record)});
}

void Document::changed(Change::What what, std::uint32_t record)
{
    reindex(record);
    notify(what, record);
}

void Document::notify(Change::What what, std::uint32_t record) const
{
    const Change change{what, record};
    for (const auto& [id, listener] : listeners_) listener(change);
}

void Document::remove(std::uint32_t record)
{
    touching(record, Change::What::EntityDeleted);
    Replacement& rep = replaced_[record];
    rep.bytes.clear();
    rep.groups.clear();
    rep.deleted = true;
    changed(Change::What::EntityDeleted, record);
}

void Document::setJournal(std::vector<Touched>* journal)
{
    // Written once for all the handles the changes gave, and noted.
    if (!journal && handseedPending_) writeHandseed();
    journal_ = journal;
    journaled_.clear();
}

// ------------------------------------------------------------- New records

std::uint32_t Document::create(Place where, const Record& like)
{
    Record r = like;  // `like` may be one of records_, which grows below
    const auto n = static_cast<std::uint32_t>(records_.size());
    r.first = static_cast<std::uint32_t>(groups_.size());  // no groups of the file
    r.handle = newHandle();
    r.syntheticHandle = !hasHandles_;

    // Before which file record it stands, and where among the records made
    // before that one.
    std::uint32_t anchor = 0;
    std::size_t at = 0;
    if (isCreated(where.record)) {
        anchor = anchorOf_[where.record - fileRecords_];
        const std::vector<std::uint32_t>& list = placed_[anchor];
        at = static_cast<std::size_t>(std::find(list.begin(), list.end(), where.record) - list.begin()) +
             (where.after ? 1 : 0);
    } else if (where.after) {
        anchor = where.record + 1;  // fileRecords_ itself: at the end, before the file's tail
        at = 0;
    } else {
        anchor = where.record;
        at = placed_[anchor].size();
    }
    records_.push_back(r);
    std::vector<std::uint32_t>& list = placed_[anchor];
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), n);
    anchorOf_.push_back(anchor);
    byHandle_.push_back(n);  // its handle is above all others: the order holds
    if (r.kind == Kind::Layer) layerRecords_.push_back(n);
    Replacement none;
    none.deleted = true;
    replaced_[n] = std::move(none);
    return n;
}

std::uint32_t Document::next(std::uint32_t record) const
{
    if (isCreated(record)) {
        const std::uint32_t anchor = anchorOf_[record - fileRecords_];
        const std::vector<std::uint32_t>& list = placed_.at(anchor);
        auto it = std::find(list.begin(), list.end(), record);
        if (it != list.end() && it + 1 != list.end()) return *(it + 1);
        return anchor < fileRecords_ ? anchor : kNoRecord;
    }
    const std::uint32_t j = record + 1;
    if (j > fileRecords_) return kNoRecord;
    auto it = placed_.find(j);
    if (it != placed_.end() && !it->second.empty()) return it->second.front();
    return j < fileRecords_ ? j : kNoRecord;
}

namespace {

// A handle written as another of the file is: its letter case, and its
// leading zeros where it has them.
std::string handleLike(std::uint64_t handle, std::string_view like)
{
    like = detail::trim(like);
    std::string s = Document::formatHandle(handle);
    if (std::any_of(like.begin(), like.end(), [](char c) { return c >= 'a' && c <= 'f'; }))
        for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    if (like.size() > s.size() && like.front() == '0') s.insert(0, like.size() - s.size(), '0');
    return s;
}

}  // namespace

std::uint64_t Document::newHandle()
{
    const std::uint64_t top = byHandle_.empty() ? 0 : records_[byHandle_.back()].handle;
    const std::uint64_t handle = std::max(nextHandle_, top + 1);
    nextHandle_ = handle + 1;
    if (hasHandles_) {
        handseedPending_ = true;
        if (!journal_) writeHandseed();
    }
    return handle;
}

void Document::writeHandseed()
{
    handseedPending_ = false;
    std::optional<std::string> seed = headerText("$HANDSEED");
    if (!seed) return;  // a drawing without one is left so
    setHeaderText("$HANDSEED", handleLike(nextHandle_, *seed));
}

}  // namespace ddvue::dxf
