#pragma once
// What OK in the zoom editor does with the value: which drawing operation it
// calls with what, or which warning it gives instead. The editor works on the
// grid's current cell as it was when the editor opened.

#include "extract/Categories.h"
#include "zoom/ZoomText.h"

#include <QString>

#include <optional>

namespace zoom {

// What the cell being edited holds.
enum class ZoomView {
    Attribute,     // a block attribute's value
    Text,          // a single-line or multi-line text's value
    LayerDisplay,  // the layers view's Display column (On or Off)
    LayerColor,    // the layers view's Color column
    Other,         // anything else: nothing is written to the drawing
};

// The view of a category's column (0-based).
ZoomView zoomView(std::optional<extract::Category> category, int column);

struct OkDecision {
    enum class Action {
        None,             // nothing changed: close without writing
        SetAttribute,     // SetAttributeValue(value, the row's AttributeHandle)
        SetText,          // SetTextValue(the row's Handle, value)
        SetLayerDisplay,  // SetLayerDisplay(the row's Name, value)
        SetLayerColor,    // SetLayerColor(the row's Name, color)
        CellOnly,         // only the grid's cell takes the value
        Rejected,         // the warning is shown; the cell keeps the value it had
    };
    Action action = Action::None;
    QString value;   // what goes into the drawing and the cell, as the drawing stores it
    long color = 0;  // for SetLayerColor
    QString warning;
    // Whether the drawing is to be written and the cell set.
    bool writes() const { return action != Action::None && action != Action::Rejected; }
};

// The value being edited: the cell's text as the drawing stores it, and as
// the editor shows it.
class ZoomValue {
public:
    ZoomValue(ZoomView view, ValueLines lines, QString stored);

    ZoomView view() const { return view_; }
    ValueLines lines() const { return lines_; }
    const QString& stored() const { return stored_; }
    // The editor's text at load.
    const QString& initial() const { return initial_; }

    // What OK does with the editor's text. `changed` tells whether the
    // editor's text was ever set (it is set at load too, unless the cell was
    // empty).
    OkDecision ok(const QString& editorText, bool changed) const;

private:
    ZoomView view_;
    ValueLines lines_;
    QString stored_;
    QString initial_;
};

}  // namespace zoom
