#include "ddvue/dxf/Operations.h"

#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/LayerEdits.h"

#include <algorithm>

namespace ddvue::dxf {

Operation::~Operation() = default;

// ------------------------------------------------------------ RecordOperation

bool RecordOperation::apply(Document& doc)
{
    if (performed_) {
        for (const Step& s : steps_) put(doc, s, s.after);
        return true;
    }
    std::vector<Document::Touched> touched;
    doc.setJournal(&touched);
    bool ok = false;
    try {
        ok = perform(doc);
    } catch (...) {
        doc.setJournal(nullptr);
        throw;
    }
    doc.setJournal(nullptr);
    performed_ = true;
    steps_.reserve(touched.size());
    unchanged_ = true;
    for (Document::Touched& t : touched) {
        Document::RecordState after = doc.state(t.record);
        // The same bytes, and deleted or not alike: the record did not change.
        const bool wasDeleted = t.before && t.before->deleted;
        const bool isDeleted = after && after->deleted;
        if (wasDeleted != isDeleted || doc.bytesIn(t.record, t.before) != doc.bytesIn(t.record, after))
            unchanged_ = false;
        steps_.push_back(Step{std::move(t), std::move(after)});
    }
    if (!ok) {
        // A refused change leaves nothing behind, whatever it began.
        revert(doc);
        steps_.clear();
        unchanged_ = true;
    }
    return ok;
}

void RecordOperation::revert(Document& doc)
{
    for (auto s = steps_.rbegin(); s != steps_.rend(); ++s) put(doc, *s, s->before.before);
}

bool RecordOperation::changesNothing() const { return unchanged_; }

void RecordOperation::put(Document& doc, const Step& step, const Document::RecordState& state) const
{
    Change::What what = step.before.what;
    if (what != Change::What::Layer)
        what = state && state->deleted ? Change::What::EntityDeleted : Change::What::Entity;
    doc.restore(step.before.record, state, what);
}

bool SetAttributeValue::perform(Document& doc) { return setAttributeValue(doc, record_, utf8_); }
bool SetTextValue::perform(Document& doc) { return setTextValue(doc, record_, utf8_); }
bool SetEntityColor::perform(Document& doc) { return setEntityColor(doc, record_, color_); }
bool SetLayerDisplay::perform(Document& doc) { return setLayerDisplay(doc, layer_, on_); }
bool SetLayerColor::perform(Document& doc) { return setLayerColor(doc, layer_, color_); }
bool DeleteEntity::perform(Document& doc) { return deleteEntity(doc, record_); }
bool RenameLayer::perform(Document& doc) { return renameLayer(doc, layer_, name_); }
bool MergeLayer::perform(Document& doc) { return mergeLayer(doc, from_, into_); }
bool SyncAttributes::perform(Document& doc)
{
    const bool ok = syncAttributes(doc, block_, removeOrphaned_, report_);
    report_ = nullptr;  // told once: undone and redone, the operation does the same again
    return ok;
}

bool AddLayer::perform(Document& doc)
{
    std::string why;
    return addLayer(doc, name_, why).has_value();
}

// ---------------------------------------------------------------------- Batch

bool Batch::apply(Document& doc)
{
    for (auto& op : parts_) op->apply(doc);
    return true;
}

void Batch::revert(Document& doc)
{
    for (auto op = parts_.rbegin(); op != parts_.rend(); ++op) (*op)->revert(doc);
}

// -------------------------------------------------------------------- History

bool History::perform(std::unique_ptr<Operation> op)
{
    if (!op->apply(doc_)) return false;
    if (op->changesNothing()) return true;
    if (batch_) {
        batch_->add(std::move(op));
        return true;
    }
    push(std::move(op));
    changed();
    return true;
}

void History::push(std::unique_ptr<Operation> op)
{
    // The state last saved was among those undone: no redo brings it back now.
    if (saved_ > static_cast<long>(done_.size())) saved_ = -1;
    undone_.clear();
    done_.push_back(std::move(op));
}

void History::beginBatch(const std::string& label)
{
    if (batchDepth_++ == 0) batch_ = std::make_unique<Batch>(label);
}

void History::endBatch()
{
    if (batchDepth_ == 0 || --batchDepth_ > 0) return;
    std::unique_ptr<Batch> batch = std::move(batch_);
    if (batch->changesNothing()) return;
    push(std::move(batch));
    changed();
}

bool History::undo()
{
    if (done_.empty() || batch_) return false;
    std::unique_ptr<Operation> op = std::move(done_.back());
    done_.pop_back();
    op->revert(doc_);
    undone_.push_back(std::move(op));
    changed();
    return true;
}

bool History::redo()
{
    if (undone_.empty() || batch_) return false;
    std::unique_ptr<Operation> op = std::move(undone_.back());
    undone_.pop_back();
    op->apply(doc_);
    done_.push_back(std::move(op));
    changed();
    return true;
}

void History::markSaved()
{
    saved_ = static_cast<long>(done_.size());
    changed();
}

int History::addListener(std::function<void()> listener)
{
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void History::removeListener(int id)
{
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void History::changed()
{
    // A copy: a listener may add or remove listeners.
    auto listeners = listeners_;
    for (auto& [id, listener] : listeners) listener();
}

}  // namespace ddvue::dxf
