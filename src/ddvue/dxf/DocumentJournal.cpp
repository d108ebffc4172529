// Document: the journal of changes. Each record stands as read, or as an
// edit replaced or deleted it; an operation (Operations.h) notes the state
// of every record it changes, to put it back byte for byte, and listeners
// are told of every change.
#include "ddvue/dxf/Document.h"

#include "ddvue/dxf/Operations.h"

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
    notify(what, record);
}

std::string_view Document::bytesIn(std::uint32_t record, const RecordState& state) const
{
    if (state) return state->deleted ? std::string_view() : std::string_view(state->bytes);
    const std::uint32_t begin = recordBegin(record);
    const std::uint32_t end = record + 1 < records_.size() ? recordBegin(record + 1) : tailBegin_;
    return file_.substr(begin, end - begin);
}

void Document::touching(std::uint32_t record, Change::What what)
{
    if (!journal_) return;
    for (const Touched& t : *journal_)
        if (t.record == record) return;
    journal_->push_back(Touched{record, what, state(record)});
}

const Document::Replacement* Document::replacement(std::uint32_t i) const
{
    if (replaced_.empty()) return nullptr;
    auto it = replaced_.find(i);
    return it == replaced_.end() ? nullptr : &it->second;
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
    notify(Change::What::EntityDeleted, record);
}

}  // namespace ddvue::dxf
