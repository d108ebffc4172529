#pragma once
// Editing in the grid. The grid lists one category of the open drawing
// through a recordset; here a person's edits of its cells, the deletion of
// its rows, the search and replacement in its value column and the deletion
// of every object it lists go on into the drawing, through the DDVue
// operations, keyed by the row's handle ("AttributeHandle" or "Handle") or
// layer name ("Name"). After each change the cell shows what the drawing
// now holds (a layer's state as the drawing lists it, a text as it reads
// back), and a change the drawing refuses puts the old value back and says
// why.
//
// GridEditor is a plain class: the window gives it the drawing and a
// GridHost (what it asks of the window around the grid), and calls it from
// the grid's events and the search buttons.

#include "edit/ValueEdit.h"
#include "extract/Categories.h"

#include <QString>

#include <functional>
#include <optional>
#include <variant>

class QWidget;

namespace data {
class Recordset;
}
namespace ddvue {
class DDVue;
}

namespace edit {

// One cell of the grid: the one the zoom editor opens on (F2), and the one
// its OK writes back.
struct GridCell {
    qint64 bookmark = 0;   // the row, by its recordset bookmark
    long position = 0;     // the row's place among the rows shown, from 1
    int column = -1;       // the grid column, from 0
    QString field;         // the name of the recordset field the column shows (not its caption)
    QString text;          // what the cell shows
    extract::Category category = extract::Category::Attributes;
};

// What the editing asks of the window around the grid. Members left empty
// are passed over.
struct GridHost {
    // The category the option buttons select; none for one without content.
    std::function<std::optional<extract::Category>()> category;
    // The recordset the grid shows; nullptr when none.
    std::function<data::Recordset*()> recordset;
    // Makes a grid column current.
    std::function<void(int column)> setCurrentColumn;
    // Gives the grid the focus and selects characters of its current cell
    // (start from 0), as a search shows what it found.
    std::function<void(int start, int length)> showFound;
    // Puts the focus into the find box.
    std::function<void()> focusFindWhat;
    // An edit of a cell begins: what is typed counts as an unsaved change
    // until the edit ends (the drawing's own changes are told by its history).
    std::function<void()> editBegan;
    // The record navigator's caption.
    std::function<void(const QString& caption)> setPosition;
    // How far a long run has come, in percent.
    std::function<void(const QString& stage, int percent)> progress;
    // The owner of message boxes.
    QWidget* parent = nullptr;
};

class GridEditor {
public:
    GridEditor(ddvue::DDVue& drawing, GridHost host);

    // The grid column of the editable value (7 block attributes, 2 texts,
    // 1 layers); the searches choose the Display or Color column of layers.
    short valueColumn() const { return valueColumn_; }
    void setValueColumn(short column) { valueColumn_ = column; }
    // A grid fill: searches start again from the top, no edit is remembered.
    void resetForFill();

    // ---- The grid's events.
    // An edit of a cell of the current row begins: its text is remembered
    // and the drawing counts as changed while the edit lasts.
    void BeforeColEdit(int column);
    // An edit was committed to the cell: it goes on into the drawing.
    WriteResult AfterColEdit(int column) { return WriteBack(column); }
    // The current row is about to be deleted from the grid: its object is
    // deleted from the drawing. True to keep the row (the drawing did not
    // delete its object; the person is told why).
    bool BeforeDelete();
    // The navigator's caption for the current record: "3 of 120".
    QString positionCaption() const;

    // ---- Writing back.
    // The write-back routine: column `column` of the current row, as the
    // cell holds it now, into the drawing. A layer entry that is not one
    // puts back the value the cell had before the edit, silently; a value
    // the drawing refuses puts it back too, and one message says why.
    WriteResult WriteBack(int column);
    // Writes `value` into a cell of the grid and on into the drawing, the
    // same way: the zoom editor's OK. A layer's display is proper-cased; a layer entry that
    // is not one leaves the cell as it was, without a message (the zoom
    // editor says what is wrong before it writes).
    WriteResult writeCell(const GridCell& cell, const QString& value);
    // The cell of the current row in a grid column; none without a current row.
    std::optional<GridCell> currentCell(int column) const;

    // ---- Find and replace, in the value column.
    void FindFirst(const SearchText& search);
    void FindNext(const SearchText& search);
    void Replace(const SearchText& search);
    // Returns the number of cells whose value changed (as the message
    // reports it): a value the drawing refused, or a layer entry that is not
    // one, leaves its cell as it was and is not counted.
    long ReplaceAll(const SearchText& search);

    // ---- Delete All: after asking, deletes every object the grid lists.
    void DeleteAll();

    // The search state, for the tests: where the next Find Next starts in
    // the cell, the record of the last match, and whether a whole-word match
    // at a cell's end sends the next search on to the next record.
    int findPosition() const { return findPosition_; }
    // Empty before the first fill; nullptr once cleared; else the bookmark.
    std::variant<std::monostate, std::nullptr_t, qint64> findBookmark() const { return findBookmark_; }
    bool findAdvanceRecord() const { return findAdvance_; }
    const QString& cellValueBeforeEdit() const { return cellValueBeforeEdit_; }

private:
    struct Target;
    std::optional<extract::Category> currentCategory() const;
    data::Recordset* currentRecordset() const;
    std::optional<Target> target(int column) const;
    WriteResult writeRow(const Target& t, int row, const QString& previous);
    void tellFailure(const WriteResult& r);
    // The column the searches work on: in the layers view, Display or
    // Color by the text sought.
    void chooseSearchColumn(const QString& find, bool blankTest);
    bool startSearch(const SearchText& search);
    void showMatch(data::Recordset& rs, int row, int position, int length);
    // Tests one record's value from position `start` (1-based) and shows the
    // match. A whole word that ends the value sends the next search on to the
    // next record.
    bool findInRecord(data::Recordset& rs, int row, int field, const SearchText& search, int start,
                      Qt::CaseSensitivity cs);
    void report(const QString& stage, long done, long total);

    ddvue::DDVue& drawing_;
    GridHost host_;
    short valueColumn_ = 7;
    QString cellValueBeforeEdit_;
    int findPosition_ = 1;
    std::variant<std::monostate, std::nullptr_t, qint64> findBookmark_;
    bool findAdvance_ = false;
};

// "N replacements." or "N deletions." and, when some could not be done, how
// many and why; for the messages at the end of Replace All and Delete All.
QString countMessage(long done, const QString& what, long failed, const QString& failedWhat,
                     const QStringList& reasons);

}  // namespace edit
