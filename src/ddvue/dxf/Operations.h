#pragma once
// Edits as operations. Every change the program makes to a drawing is an
// Operation: applied once, it knows which records it replaced and what they
// held before, and puts them back when reverted, byte for byte (the document
// keeps the file's bytes, so a drawing whose every operation is reverted
// saves as the file it was read from). A document's History runs the
// operations and keeps them for undo and redo.

#include "ddvue/dxf/AttributeSync.h"
#include "ddvue/dxf/Document.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ddvue::dxf {

class Operation {
public:
    virtual ~Operation();
    // What the operation does, for the person ("Delete object").
    virtual std::string label() const = 0;
    // Applies the operation. The first time it makes the change; false when
    // the drawing refused it, and then nothing changed. Applied again after
    // revert(), it puts back what the first time wrote.
    virtual bool apply(Document& doc) = 0;
    virtual void revert(Document& doc) = 0;
    // True when applying left every record as it was (a value written over
    // itself): nothing to undo.
    virtual bool changesNothing() const = 0;
};

// An operation on some records: applying it the first time runs perform()
// while the document notes every record it touches; from then on apply and
// revert put the records' states after and before back.
class RecordOperation : public Operation {
public:
    bool apply(Document& doc) final;
    void revert(Document& doc) final;
    bool changesNothing() const final;

protected:
    virtual bool perform(Document& doc) = 0;

private:
    struct Step {
        Document::Touched before;
        Document::RecordState after;
    };
    void put(Document& doc, const Step& step, const Document::RecordState& state) const;
    std::vector<Step> steps_;
    bool performed_ = false;
    bool unchanged_ = false;
};

// The value of a block attribute (and of the multi-line text it embeds).
class SetAttributeValue final : public RecordOperation {
public:
    SetAttributeValue(std::uint32_t record, std::string utf8) : record_(record), utf8_(std::move(utf8)) {}
    std::string label() const override { return "Edit attribute"; }

private:
    bool perform(Document& doc) override;
    std::uint32_t record_;
    std::string utf8_;
};

// The value of a single-line or multi-line text.
class SetTextValue final : public RecordOperation {
public:
    SetTextValue(std::uint32_t record, std::string utf8) : record_(record), utf8_(std::move(utf8)) {}
    std::string label() const override { return "Edit text"; }

private:
    bool perform(Document& doc) override;
    std::uint32_t record_;
    std::string utf8_;
};

// An object's color number (0 by block .. 256 by layer).
class SetEntityColor final : public RecordOperation {
public:
    SetEntityColor(std::uint32_t record, int color) : record_(record), color_(color) {}
    std::string label() const override { return "Color object"; }

private:
    bool perform(Document& doc) override;
    std::uint32_t record_;
    int color_;
};

// Whether a layer is shown.
class SetLayerDisplay final : public RecordOperation {
public:
    SetLayerDisplay(std::uint32_t layer, bool on) : layer_(layer), on_(on) {}
    std::string label() const override { return "Layer display"; }

private:
    bool perform(Document& doc) override;
    std::uint32_t layer_;
    bool on_;
};

// A layer's color number (1..255).
class SetLayerColor final : public RecordOperation {
public:
    SetLayerColor(std::uint32_t layer, int color) : layer_(layer), color_(color) {}
    std::string label() const override { return "Color layer"; }

private:
    bool perform(Document& doc) override;
    std::uint32_t layer_;
    int color_;
};

// An object with what belongs to it (see deleteEntity).
class DeleteEntity final : public RecordOperation {
public:
    explicit DeleteEntity(std::uint32_t record) : record_(record) {}
    std::string label() const override { return "Delete object"; }

private:
    bool perform(Document& doc) override;
    std::uint32_t record_;
};

// A layer's new name, followed by every reference to it (LayerEdits.h).
class RenameLayer final : public RecordOperation {
public:
    RenameLayer(std::uint32_t layer, std::string name) : layer_(layer), name_(std::move(name)) {}
    std::string label() const override { return "Rename layer"; }

private:
    bool perform(Document& doc) override;
    std::uint32_t layer_;
    std::string name_;
};

// One layer merged into another (LayerEdits.h).
class MergeLayer final : public RecordOperation {
public:
    MergeLayer(std::uint32_t from, std::uint32_t into) : from_(from), into_(into) {}
    std::string label() const override { return "Merge layer"; }

private:
    bool perform(Document& doc) override;
    std::uint32_t from_, into_;
};

// A new layer (LayerEdits.h).
class AddLayer final : public RecordOperation {
public:
    explicit AddLayer(std::string name) : name_(std::move(name)) {}
    std::string label() const override { return "New layer"; }

private:
    bool perform(Document& doc) override;
    std::string name_;
};

// Block references' attributes brought in line with their blocks'
// definitions (AttributeSync.h); `report`, when given, is told what changed.
class SyncAttributes final : public RecordOperation {
public:
    SyncAttributes(std::string block, bool removeOrphaned, SyncCounts* report = nullptr)
        : block_(std::move(block)), removeOrphaned_(removeOrphaned), report_(report)
    {
    }
    std::string label() const override { return "Synchronize attributes"; }

private:
    bool perform(Document& doc) override;
    std::string block_;
    bool removeOrphaned_;
    SyncCounts* report_;
};

// Several operations undone and redone as one (Delete All, Replace All, a
// color for every listed text).
class Batch final : public Operation {
public:
    explicit Batch(std::string label) : label_(std::move(label)) {}
    std::string label() const override { return label_; }
    bool apply(Document& doc) override;
    void revert(Document& doc) override;
    bool changesNothing() const override { return parts_.empty(); }
    // Adds an operation applied already.
    void add(std::unique_ptr<Operation> op) { parts_.push_back(std::move(op)); }

private:
    std::string label_;
    std::vector<std::unique_ptr<Operation>> parts_;
};

// The operations applied to one document, to undo and redo. Undo reaches
// back to the document as read; the history also knows the point at which
// the drawing was last saved, and so whether it differs from its file.
class History {
public:
    explicit History(Document& doc) : doc_(doc) {}
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Applies `op` and keeps it for undo; what could be redone is dropped.
    // False when the drawing refused it (nothing is kept then). Inside a
    // batch the operation joins the batch.
    bool perform(std::unique_ptr<Operation> op);
    // Operations performed between beginBatch and endBatch are undone as
    // one; batches may nest (the outermost counts).
    void beginBatch(const std::string& label);
    void endBatch();

    bool canUndo() const { return !done_.empty(); }
    bool canRedo() const { return !undone_.empty(); }
    std::string undoLabel() const { return canUndo() ? done_.back()->label() : std::string(); }
    std::string redoLabel() const { return canRedo() ? undone_.back()->label() : std::string(); }
    // Reverts the last operation (or batch); false when there is none.
    bool undo();
    // Applies again the last operation undone; false when there is none.
    bool redo();

    // The drawing was written as it stands now.
    void markSaved();
    // Whether the drawing differs from what was last read or saved.
    bool differsFromSaved() const { return saved_ != static_cast<long>(done_.size()); }

    // Told after every operation performed, undone or redone and after a
    // save (not for each part of a batch under way).
    int addListener(std::function<void()> listener);
    void removeListener(int id);

private:
    void push(std::unique_ptr<Operation> op);
    void changed();

    Document& doc_;
    std::vector<std::unique_ptr<Operation>> done_;
    std::vector<std::unique_ptr<Operation>> undone_;
    std::unique_ptr<Batch> batch_;
    int batchDepth_ = 0;
    long saved_ = 0;  // done_.size() when last saved; -1 when that state cannot come back
    std::vector<std::pair<int, std::function<void()>>> listeners_;
    int nextListener_ = 0;
};

}  // namespace ddvue::dxf
