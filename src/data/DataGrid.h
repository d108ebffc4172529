#pragma once
// The data grid: shows a recordset's rows, one column per field, and lets a
// person edit the cells of unlocked columns and delete rows. The grid's
// current row is the recordset's current record in both directions: moving
// in the grid moves the recordset, moving the recordset moves the grid.
//
// Events, as signals (arguments a handler may change are pointers):
//   BeforeColEdit(column, keyAscii, cancel*)  an edit of the current cell is
//       about to begin; keyAscii is the character typed to begin it (0 when
//       begun otherwise). Setting *cancel to nonzero keeps the cell unedited.
//   AfterColEdit(column)  an edit was committed to the recordset (not sent
//       when the person leaves the edit with Escape).
//   EditEnded(column)  the edit of a cell ended, however it ended: committed
//       (after AfterColEdit), left with Escape, or cut short because the grid
//       was given other rows.
//   BeforeDelete(cancel*)  the current row is about to be deleted; setting
//       *cancel to nonzero keeps it.
//   KeyDown(keyCode*, shift*)  a key was pressed in the grid (also while a
//       cell is being edited). keyCode is the Qt key (Qt::Key_F2 ...); shift
//       holds 1 for Shift, 2 for Ctrl, 4 for Alt. Setting *keyCode to 0 takes
//       the key away from the grid. F2 never starts an edit here.
//   RowColChange(lastRow*, lastCol)  the current cell moved; lastRow holds
//       the bookmark of the row before (invalid when there was none), lastCol
//       the column before (-1 when none).
//
// Widths are given in twips, 15 to a pixel at the form's design size. A form
// that scales its controls tells the grid its width ratio in the property
// "formScale" (a QSizeF): the columns then keep their share of the grid's
// width, and the rows are as high as the grid's font needs at every size.

#include "data/Recordset.h"
#include "data/RecordsetModel.h"

#include <QPointer>
#include <QTableView>
#include <QVariant>

namespace data {

class DataGrid : public QTableView {
    Q_OBJECT
public:
    // The twips of a pixel: the grid's columns are laid out in the forms'
    // own unit.
    static constexpr int TwipsPerPixel = 15;

    explicit DataGrid(QWidget* parent = nullptr);
    ~DataGrid() override;

    // Binds the grid to a recordset (nullptr: none). Every field becomes a
    // column captioned with its name; the first column becomes current.
    void setRecordset(Recordset* recordset);
    Recordset* recordset() const { return recordset_; }

    // Shows a single locked cell with `text` and an empty caption, for a
    // recordset with nothing to show.
    void showNoData(const QString& text = QStringLiteral("No data"));
    bool showsNoData() const { return model_->hasPlaceholder(); }

    // Columns.
    int columnCount() const { return model_->columnCount(); }
    void removeColumn(int column);
    // A column's width at the design size; on the screen it is scaled with
    // the form. A column the person widens keeps its new share.
    void setColumnWidthTwips(int column, int twips);
    int columnWidthTwips(int column) const;
    // Widens a column, up to `maxTwips`, where its widest value needs more
    // than its width to show whole (coordinates); at every size of the form.
    void fitColumnToValues(int column, int maxTwips);
    void setColumnLocked(int column, bool locked);
    bool isColumnLocked(int column) const { return model_->isLocked(column); }
    void setColumnCaption(int column, const QString& caption);
    QString columnCaption(int column) const { return model_->caption(column); }
    // The field a column shows (-1 for none).
    int columnField(int column) const { return model_->fieldOfColumn(column); }

    // The current cell: its column (-1 when none) and row (the recordset's
    // current record; -1 at BOF or EOF).
    int currentColumn() const { return currentColumn_; }
    void setCurrentColumn(int column);
    int currentRow() const;

    // The text of the current cell ("" when there is none). Setting it writes
    // the value into the recordset's current record.
    QString text() const;
    void setText(const QString& text);

    // A selection of characters inside the current cell (start 0-based), as
    // a search shows what it found. It goes when the current cell moves.
    void setTextSelection(int start, int length);
    int selectionStart() const { return selStart_; }
    int selectionLength() const { return selLength_; }

    // True while a cell is being edited.
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }
    // Ends the edit of a cell as Enter would: what was typed goes into the
    // cell (AfterColEdit follows). Nothing when no cell is being edited.
    void commitEdit();

    void setAllowDelete(bool allow) { allowDelete_ = allow; }
    bool allowDelete() const { return allowDelete_; }
    // Deletes the current row as the Delete key does: asks BeforeDelete,
    // then deletes it from the recordset. False when nothing was deleted.
    bool deleteCurrentRow();

signals:
    void BeforeColEdit(int column, int keyAscii, int* cancel);
    void AfterColEdit(int column);
    void EditEnded(int column);
    void BeforeDelete(int* cancel);
    void KeyDown(int* keyCode, int* shift);
    void RowColChange(QVariant* lastRow, int lastColumn);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    friend class DataGridDelegate;
    // Called by the delegate.
    bool beginEdit(int column);
    void editCommitted(int column);
    void editorCreated(QWidget* editor);
    QWidget* editorOfCurrentCell() const;

    // Tells EditEnded once for the edit under way, if any.
    void endOfEdit();
    // Raises KeyDown; false when the handler took the key.
    bool raiseKeyDown(QKeyEvent* event);
    void followRecordset(int row);
    void moved(const QVariant& lastRow, int lastColumn);
    // The pixels of `twips` at the form's current width ratio.
    int scaledWidth(int twips) const;
    // Every column at its design width scaled, the rows at the font's height.
    void applyScale();
    void fitRowsToFont();
    QVariant currentBookmark() const;

    RecordsetModel* model_;
    QPointer<Recordset> recordset_;
    QMetaObject::Connection followConnection_;
    QMetaObject::Connection removeConnections_[2];
    int currentColumn_ = -1;
    QVariant lastBookmark_;
    bool following_ = false;
    bool allowDelete_ = true;
    int selStart_ = 0, selLength_ = 0;
    int pendingKeyAscii_ = 0;
    int editColumn_ = -1;  // the column of the edit under way; -1 when none
    // Each column's design width in twips (-1: the grid's own default), and
    // the form's width ratio they are shown at. A column fitted to its
    // values also keeps its widest value's width, at the font size it was
    // measured in.
    struct ColumnWidth {
        int twips = -1;
        int maxTwips = 0;
        double valueWidth = 0;
        double measuredAt = 0;
    };
    std::vector<ColumnWidth> designWidths_;
    int pixelWidth(const ColumnWidth& width) const;
    double widthRatio_ = 1.0;
    int defaultWidthTwips_ = 0;
    bool scalingColumns_ = false;
    QPointer<QWidget> editor_;
    const QKeyEvent* editorKey_ = nullptr;  // the key the editor is being given
};

}  // namespace data
