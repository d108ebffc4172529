#pragma once
// The edits of a drawing's layers and blocks that the main window offers
// beside the grid: a layer renamed, a layer merged into another, and the
// attributes of block references synchronized with their blocks'
// definitions. Each is one step of the drawing's history, so that one undo
// takes it back whole. A refused edit changes nothing and says why; an edit
// done says what it did, in a line for the status bar.

#include <QString>
#include <QStringList>

namespace ddvue {
class DDVue;
class DDVueEngine;
}  // namespace ddvue

namespace edit {

struct StructureEdit {
    bool done = false;
    // What was done, for the status line; or why nothing was (empty when
    // there was nothing to do, such as a layer renamed to its own name).
    QString message;
    // The layer the grid's current row lists afterwards: the renamed layer
    // under its new name as the drawing stores it, the layer merged into.
    QString layer;
};

// The layers that `layer` may be merged into, in the order the drawing
// lists them, never `layer` itself; when there is none, `refusal` says why.
struct MergeTargets {
    QStringList layers;
    // The one a choice starts on: layer 0, where drawings gather what has
    // no layer of its own; else the layer listed after `layer`.
    qsizetype preferred = 0;
    QString refusal;
};
MergeTargets mergeTargets(const ddvue::DDVueEngine& engine, const QString& layer);

StructureEdit renameLayer(ddvue::DDVue& view, const QString& layer, const QString& newName);
StructureEdit mergeLayer(ddvue::DDVue& view, const QString& from, const QString& into);
// The references of `block`, or of every block when it is empty; with
// `removeOrphaned`, attributes whose definition is gone are removed.
StructureEdit syncAttributes(ddvue::DDVue& view, const QString& block, bool removeOrphaned);

}  // namespace edit
