#pragma once
// The record filter: narrows the rows of the main window's grid to those
// that meet a condition typed by the person ("Layer LIKE 'A*'"). The screens
// (frmFilter, frmField) only wire their controls to what is here.

#include "extract/Categories.h"

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace data {
class Recordset;
}

namespace filter {

// What the filter needs of the main window.
class FilterHost {
public:
    virtual ~FilterHost() = default;
    // The grid's recordset; nullptr when none is bound.
    virtual data::Recordset* recordset() = 0;
    // The category the option buttons select (none for Images).
    virtual std::optional<extract::Category> category() const = 0;
    // The filter in force on the grid ("" for none).
    virtual QString currentFilter() const = 0;
    virtual void setCurrentFilter(const QString& filter) = 0;
    // The save-changes prompt: asks, and saves on Yes. False when the
    // person cancelled: the filter is then not applied.
    virtual bool offerToSave() = 0;
    // Rebuilds the grid from the drawing, without a filter; the grid's
    // recordset is a new one afterwards.
    virtual void fillGrid() = 0;
};

// The fields a filter may name for a category: the grid's columns for block
// attributes, the two kinds of text and layers; none for the others.
QStringList filterFields(std::optional<extract::Category> category);

// The help text of the filter screen: the form of a filter, three examples
// and the fields of the category, lines separated by CR LF.
QString filterHelpText(std::optional<extract::Category> category);

// What applying a filter came to.
enum class FilterOutcome {
    Unchanged,  // the text is the filter in force: nothing was done
    Cancelled,  // the person cancelled at the save-changes prompt: nothing was done
    Cleared,    // an empty text removed the filter
    Invalid,    // the recordset could not evaluate the text
    Set,        // the filter is in force and leaves rows
    NoRecords,  // the filter left no rows and was taken away again
};

// True when the screen closes after this outcome.
inline bool closesScreen(FilterOutcome outcome)
{
    return outcome == FilterOutcome::Unchanged || outcome == FilterOutcome::Cleared || outcome == FilterOutcome::Set;
}

// Applies `text` (blanks at either end dropped) to the grid's recordset, with
// the save-changes prompt before a new filter and the messages that tell
// the outcome ("Filter set.", "Invalid filter." ...).
FilterOutcome applyFilter(FilterHost& host, const QString& text, QWidget* parent = nullptr);

// Puts a filter that was in force back on a recordset listed anew (after
// an undo, say), silently. False, with no filter left on it, when the
// filter no longer leaves any row or cannot be applied.
bool reapplyFilter(data::Recordset& recordset, const QString& filter);

// Clear Filter: false, after saying "No active filter.", when the recordset
// has no filter; true when the filter is to be cleared.
bool mayClearFilter(FilterHost& host, QWidget* parent = nullptr);

}  // namespace filter
