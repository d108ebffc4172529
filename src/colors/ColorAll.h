#pragma once
// Coloring the objects the grid lists: the current row's object, or every
// row's in the recordset's current state (a filter limits it). The current
// row stays where it was.

#include "data/Recordset.h"

#include <QString>

#include <functional>

namespace colors {

struct ColoringResult {
    int colored = 0;
    int failed = 0;
    QString firstError;  // why the first failure failed
};

// Gives `color` to the object named by `keyField` in the current row (or, with
// `allRows`, in every row in view) through `setColor`, which answers false
// (with the reason) when the drawing refuses. A row that fails is passed
// over and the others go on.
ColoringResult colorRows(data::Recordset& recordset, const QString& keyField, long color, bool allRows,
                         const std::function<bool(const QString& handle, long color, QString* error)>& setColor);

}  // namespace colors
