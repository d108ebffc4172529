#pragma once
// The recordset: the rows of one category of a drawing's content, with named
// fields, a current record, bookmarks and a filter. The grid shows it, the
// navigator moves it, and the program's routines read and write its fields
// by name.
//
// Positions. The view is the rows that are neither deleted nor filtered out,
// in document order. The current record is one of them, or BOF (before the
// first) or EOF (after the last); an empty view is both BOF and EOF.
// AbsolutePosition is 1-based on a record, PosBOF / PosEOF before or after
// the rows, PosUnknown when there are none. Moving past either end stops
// there: MoveNext at EOF and MovePrevious at BOF change nothing.
//
// Bookmarks identify rows, not positions: a row keeps its bookmark while
// other rows are deleted or filtered out.
//
// Errors are raised as RecordsetError (see RecordsetError.h).

#include "data/Filter.h"
#include "data/RecordTable.h"
#include "data/RecordsetError.h"

#include <QObject>

namespace data {

class Recordset : public QObject {
    Q_OBJECT
public:
    static constexpr long PosUnknown = -1;
    static constexpr long PosBOF = -2;
    static constexpr long PosEOF = -3;

    explicit Recordset(QObject* parent = nullptr);
    ~Recordset() override;

    // Opens the recordset over a table: every row in view, no filter, the
    // first row current.
    void open(RecordTable table);
    // Opens the recordset over an XML document of records (see XmlRecords.h).
    // False, with the recordset closed and the reason in `error`, when the
    // document cannot be read.
    bool openXml(QByteArrayView document, QString* error = nullptr);
    bool openXmlFile(const QString& path, QString* error = nullptr);
    // Closes the recordset: no fields, no rows.
    void Close();
    bool isOpen() const { return open_; }

    // Fields.
    int fieldCount() const { return table_.fieldCount(); }
    QString fieldName(int field) const;
    const QStringList& fieldNames() const { return table_.fieldNames(); }
    // -1 when the recordset has no such field (letter case is ignored).
    int fieldIndex(QStringView name) const { return table_.fieldIndex(name); }

    // The current record's fields. Raise NoCurrentRecord at BOF or EOF and
    // UnknownField for a field that does not exist.
    QString value(int field) const;
    QString value(QStringView name) const;
    void setValue(int field, const QString& text);
    void setValue(QStringView name, const QString& text);
    // Deletes the current record. The record that followed it becomes
    // current, or the new last record when it was the last; EOF when none
    // is left.
    void Delete();

    // Position and movement.
    long RecordCount() const { return static_cast<long>(view_.size()); }
    long AbsolutePosition() const;
    void setAbsolutePosition(long position);
    qint64 Bookmark() const;
    void setBookmark(qint64 bookmark);
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    // BOF and EOF (the names EOF and BOF themselves are taken by the C library).
    bool isBOF() const { return current_ < 0 || view_.empty(); }
    bool isEOF() const { return current_ >= static_cast<qsizetype>(view_.size()) || view_.empty(); }

    // The filter in force; "" when there is none.
    const QString& Filter() const { return filterText_; }
    // Sets the filter: the view becomes the rows that meet it and the first
    // of them becomes current. "" (or only blanks) removes the filter. A text
    // that cannot be evaluated raises InvalidFilter and leaves the filter in
    // force, the view and the current record as they were.
    void setFilter(const QString& text);

    // The rows in view, by their 0-based place in it; for the grid and the
    // exports. No current record is needed.
    int rowCount() const { return static_cast<int>(view_.size()); }
    QStringView cell(int row, int field) const { return table_.value(view_[static_cast<std::size_t>(row)], field); }
    void setCell(int row, int field, const QString& text);
    // Many cells are about to change (a replacement over every row): until
    // the matching endUpdate, changed cells are not announced one by one;
    // endUpdate announces them once, with cellsChanged, so that a grid
    // repaints once. Calls nest.
    void beginUpdate() { ++updating_; }
    void endUpdate();
    qint64 bookmarkOfRow(int row) const { return view_[static_cast<std::size_t>(row)] + 1; }
    // The place of the current record in the view; -1 at BOF, EOF or when empty.
    int currentRow() const { return (isBOF() || isEOF()) ? -1 : static_cast<int>(current_); }
    // Makes a row of the view current; -1 means BOF.
    void setCurrentRow(int row);

    const RecordTable& table() const { return table_; }

signals:
    // The whole view is about to change and has changed: opening, closing, a
    // filter. `fieldsChanged` tells whether the fields changed as well.
    void aboutToReset();
    void reset(bool fieldsChanged);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void cellChanged(int row, int field);
    // Any cells may have changed; the rows and fields are the same.
    void cellsChanged();
    // The current record moved (row is -1 at BOF, EOF or when empty).
    void currentChanged(int row);

private:
    void requireOpen() const;
    qsizetype currentRecord() const;  // the table row; raises NoCurrentRecord
    int requireField(QStringView name) const;
    void moveTo(qsizetype position);
    void rebuildView();

    RecordTable table_;
    std::vector<qsizetype> view_;  // table rows, ascending
    std::vector<bool> deleted_;
    qsizetype current_ = 0;
    bool open_ = false;
    QString filterText_;
    RowFilter filter_;
    int updating_ = 0;
    bool changedWhileUpdating_ = false;
};

}  // namespace data
