#pragma once
// A spreadsheet's edits back into a drawing: the CSV that the grid's view
// exports (see extract/Csv.h), as a spreadsheet program saves it again,
// applied row by row to the drawing open in an engine. A row names its
// object by the category's key field (AttributeHandle or Handle, a layer by
// its Name) and carries the value column (AttributeValue or Value; Display
// and Color for layers); other columns, and the columns' order, do not
// matter. A row whose value differs from what the drawing lists is written
// with the grid's rules (see ValueEdit.h).

#include "extract/Categories.h"

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace ddvue {
class DDVueEngine;
}

namespace edit {

struct ImportRow {
    enum class Outcome {
        Changed,    // the drawing took the row's value
        Unchanged,  // the drawing already holds it
        NotFound,   // the drawing lists no object (or layer) of the category by that key
        Rejected,   // the value is not one the drawing takes; `reason` says why
        Malformed,  // the row cannot be read as one of the view's; `reason` says why
    };
    Outcome outcome = Outcome::Unchanged;
    int line = 0;     // the line of the file the row begins on
    QString key;      // the handle or layer name, as the file gives it
    QString change;   // what changed: the old and the new value of each column
    QString reason;
};

struct ImportOptions {
    // The view the file was exported from; none to tell by its columns
    // (single- and multi-line texts, whose columns are alike, both).
    std::optional<extract::Category> category;
    // Applies the well-formed rows even when others are malformed.
    bool skipMalformed = false;
};

struct ImportReport {
    // Why the file cannot be applied at all (not text, no key or value
    // column, the drawing's listing not made); empty otherwise.
    QString error;
    // Every row of the file but the header, in order; only the malformed
    // ones when they stopped the import.
    std::vector<ImportRow> rows;
    // The rows were applied: false when malformed rows stopped the import
    // (the drawing is then as it was).
    bool applied = false;
    long count(ImportRow::Outcome outcome) const;
};

// Applies the CSV `bytes` to the drawing open in `engine`. Nothing is
// applied when the file cannot be read as the category's view, nor when a
// row is malformed unless `options.skipMalformed`.
ImportReport importCsv(ddvue::DDVueEngine& engine, QByteArrayView bytes, const ImportOptions& options);

// The outcome's name for a summary: "changed", "not found", ...
QString outcomeName(ImportRow::Outcome outcome);

}  // namespace edit
