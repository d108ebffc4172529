#include "edit/GridEditor.h"

#include "edit/CellText.h"

#include "data/Recordset.h"
#include "ddvue/DDVue.h"
#include "platform/Messages.h"
#include "platform/WaitCursor.h"

#include <QSet>

namespace edit {

using extract::Category;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {

// How many rows a long run works through between two progress reports.
constexpr long kReportEvery = 2048;

void setCell(data::Recordset& rs, int row, int field, const QString& text)
{
    try {
        rs.setCell(row, field, text);
    } catch (const data::RecordsetError&) {
    }
}

Qt::CaseSensitivity compareMode(const SearchText& search)
{
    return search.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

// How many different reasons a message names at most.
constexpr int kReasonsShown = 5;

// Keeps the first few different reasons (one more than are shown, so that
// the message can say there were others).
void addReason(QStringList& reasons, const QString& reason)
{
    if (reasons.size() <= kReasonsShown && !reasons.contains(reason)) reasons << reason;
}

}  // namespace

// A grid column of the recordset the grid shows, with what a write-back
// needs of it.
struct GridEditor::Target {
    data::Recordset* rs;
    Category category;
    int column;
    int field;  // the field the column shows
    int key;    // the field that names the row's object: handle or layer name; -1 when none
};

GridEditor::GridEditor(ddvue::DDVue& drawing, GridHost host) : drawing_(drawing), host_(std::move(host)) {}

std::optional<Category> GridEditor::currentCategory() const
{
    if (!host_.category) return std::nullopt;
    return host_.category();
}

data::Recordset* GridEditor::currentRecordset() const { return host_.recordset ? host_.recordset() : nullptr; }

void GridEditor::resetForFill()
{
    findPosition_ = 1;
    findBookmark_ = nullptr;
    findAdvance_ = false;
    cellValueBeforeEdit_.clear();
}

std::optional<GridEditor::Target> GridEditor::target(int column) const
{
    data::Recordset* rs = currentRecordset();
    std::optional<Category> category = currentCategory();
    if (!rs || !rs->isOpen() || !category || rs->fieldCount() == 0) return std::nullopt;
    std::vector<int> fields = extract::arrangedFields(rs->fieldCount(), *category);
    if (column < 0 || column >= static_cast<int>(fields.size())) return std::nullopt;
    const extract::CategorySettings* settings = extract::categorySettings(*category);
    int key = settings ? rs->fieldIndex(settings->keyField) : -1;
    return Target{rs, *category, column, fields[static_cast<std::size_t>(column)], key};
}

// ------------------------------------------------------------ write-back

WriteResult GridEditor::writeRow(const Target& t, int row, const QString& previous)
{
    data::Recordset& rs = *t.rs;
    const QString value = rs.cell(row, t.field).toString();
    const QString key = t.key >= 0 ? rs.cell(row, t.key).toString() : QString();
    WriteResult result = writeValue(drawing_.edit(), t.category, t.column, key, value);
    switch (result.status) {
    case WriteResult::Status::Nothing: return result;
    case WriteResult::Status::Rejected:
        // A layer entry that is not one: the cell shows its old value, silently.
        result.error.clear();
        [[fallthrough]];
    case WriteResult::Status::Failed:
        // The drawing holds what it held: so does the cell.
        setCell(rs, row, t.field, previous);
        result.shown = previous;
        return result;
    case WriteResult::Status::Written:
        // The cell shows what the drawing holds now, which may differ from
        // what was typed (line breaks of a multi-line text, a color's number,
        // a display's letter case).
        if (rs.cell(row, t.field) != result.shown) setCell(rs, row, t.field, result.shown);
        result.shown = rs.cell(row, t.field).toString();
        return result;
    }
    return result;
}

void GridEditor::tellFailure(const WriteResult& r)
{
    platform::msgBox(QStringLiteral("The drawing did not take the new value; the cell shows its old value again.\n\n%1")
                         .arg(r.error),
                     MsgButtons::Ok, MsgIcon::Exclamation, platform::programTitle(), 0, host_.parent);
}

WriteResult GridEditor::WriteBack(int column)
{
    std::optional<Target> t = target(column);
    if (!t || t->rs->currentRow() < 0) return {};
    WriteResult r = writeRow(*t, t->rs->currentRow(), cellValueBeforeEdit_);
    if (r.status == WriteResult::Status::Failed) tellFailure(r);
    return r;
}

WriteResult GridEditor::writeCell(const GridCell& cell, const QString& value)
{
    std::optional<Target> t = target(cell.column);
    if (!t) return {};
    data::Recordset& rs = *t->rs;
    int row = rs.currentRow();
    if (row < 0 || rs.bookmarkOfRow(row) != cell.bookmark) {
        try {
            rs.setBookmark(cell.bookmark);
        } catch (const data::RecordsetError&) {
            return {};  // the row is no longer shown
        }
        row = rs.currentRow();
    }
    const QString previous = rs.cell(row, t->field).toString();
    setCell(rs, row, t->field, value);
    WriteResult r = writeRow(*t, row, previous);
    if (r.status == WriteResult::Status::Failed) tellFailure(r);
    return r;
}

std::optional<GridCell> GridEditor::currentCell(int column) const
{
    std::optional<Target> t = target(column);
    if (!t || t->rs->currentRow() < 0) return std::nullopt;
    const data::Recordset& rs = *t->rs;
    int row = rs.currentRow();
    return GridCell{rs.bookmarkOfRow(row), rs.AbsolutePosition(), column, rs.fieldName(t->field),
                    rs.cell(row, t->field).toString(), t->category};
}

// ----------------------------------------------------------- grid events

void GridEditor::BeforeColEdit(int column)
{
    std::optional<Target> t = target(column);
    if (t && t->rs->currentRow() >= 0) cellValueBeforeEdit_ = t->rs->cell(t->rs->currentRow(), t->field).toString();
    if (host_.editBegan) host_.editBegan();
}

bool GridEditor::BeforeDelete()
{
    data::Recordset* rs = currentRecordset();
    if (!rs || rs->RecordCount() == 0) {
        platform::msgBox(QStringLiteral("There are no records to delete."), MsgButtons::Ok, MsgIcon::Information,
                         platform::programTitle(), 0, host_.parent);
        return false;
    }
    std::optional<Category> category = currentCategory();
    if (!category || (*category != Category::Attributes && *category != Category::SingleText &&
                      *category != Category::MultiText))
        return false;
    int key = rs->fieldIndex(extract::categorySettings(*category)->keyField);
    if (key < 0 || rs->currentRow() < 0) return false;
    const QString handle = rs->cell(rs->currentRow(), key).toString();
    if (drawing_.edit().DeleteEntity(handle)) return false;
    // The object is still in the drawing: the grid keeps listing it.
    platform::msgBox(QStringLiteral("The object could not be deleted from the drawing.\n\n%1")
                         .arg(drawing_.engine().lastError()),
                     MsgButtons::Ok, MsgIcon::Exclamation, platform::programTitle(), 0, host_.parent);
    return true;
}

QString GridEditor::positionCaption() const
{
    data::Recordset* rs = currentRecordset();
    if (!rs) return QString();
    return QStringLiteral("%1 of %2").arg(rs->AbsolutePosition()).arg(rs->RecordCount());
}

// ---------------------------------------------------------------- search

void GridEditor::chooseSearchColumn(const QString& find, bool blankTest)
{
    if (std::optional<Category> category = currentCategory())
        valueColumn_ = searchColumn(*category, find, blankTest, valueColumn_);
}

bool GridEditor::startSearch(const SearchText& search)
{
    if (search.find.isEmpty()) {
        platform::msgBox(QStringLiteral("Enter text to find."), MsgButtons::Ok, MsgIcon::Information,
                         platform::programTitle(), 0, host_.parent);
        if (host_.focusFindWhat) host_.focusFindWhat();
        return false;
    }
    chooseSearchColumn(search.find, true);
    if (host_.setCurrentColumn) host_.setCurrentColumn(valueColumn_);
    return true;
}

void GridEditor::showMatch(data::Recordset& rs, int row, int position, int length)
{
    rs.setCurrentRow(row);
    if (host_.showFound) host_.showFound(position - 1, length);
    findPosition_ = position + length + 1;
    findBookmark_ = rs.bookmarkOfRow(row);
}

bool GridEditor::findInRecord(data::Recordset& rs, int row, int field, const SearchText& search, int start,
                              Qt::CaseSensitivity cs)
{
    const QString text = rs.cell(row, field).toString();
    const int length = static_cast<int>(search.find.size());
    if (search.wholeWord) {
        std::optional<WordMatch> m = findWholeWord(text, search.find, start, cs);
        if (!m) return false;
        findAdvance_ = m->atEnd;
        showMatch(rs, row, m->position, length);
        return true;
    }
    const int p = findIn(text, search.find, start, cs);
    if (!p) return false;
    showMatch(rs, row, p, length);
    return true;
}

void GridEditor::FindFirst(const SearchText& search)
{
    if (!startSearch(search)) return;
    platform::WaitCursor wait;
    std::optional<Target> t = target(valueColumn_);
    if (!t) return;
    data::Recordset& rs = *t->rs;
    const Qt::CaseSensitivity cs = compareMode(search);
    if (search.wholeWord) findAdvance_ = false;
    // The records are tested where they stand; the grid moves once, to the
    // match.
    for (int row = 0; row < rs.rowCount(); ++row)
        if (findInRecord(rs, row, t->field, search, 1, cs)) return;
    // Past the last record: back to the first.
    if (rs.rowCount() > 0) rs.MoveFirst();
    findPosition_ = 1;
    findBookmark_ = nullptr;
}

void GridEditor::FindNext(const SearchText& search)
{
    if (!startSearch(search)) return;
    platform::WaitCursor wait;
    std::optional<Target> t = target(valueColumn_);
    if (!t) return;
    data::Recordset& rs = *t->rs;
    const Qt::CaseSensitivity cs = compareMode(search);
    const int rows = rs.rowCount();
    auto current = [&rs, rows] { return rs.isEOF() ? rows : rs.isBOF() ? -1 : rs.currentRow(); };

    int row;
    if (std::holds_alternative<std::monostate>(findBookmark_)) {
        row = 0;
    } else if (const qint64* bookmark = std::get_if<qint64>(&findBookmark_)) {
        try {
            rs.setBookmark(*bookmark);
        } catch (const data::RecordsetError&) {
            // The record of the last match is gone or filtered out: the
            // search goes on from the current record.
        }
        row = current();
    } else {
        row = current();
    }
    for (;;) {
        if (search.wholeWord && findAdvance_) {
            findAdvance_ = false;
            ++row;
            findPosition_ = 1;
            if (row >= rows) break;
        }
        if (row >= 0 && row < rows && findInRecord(rs, row, t->field, search, findPosition_, cs)) return;
        findPosition_ = 1;
        findBookmark_ = nullptr;
        ++row;
        if (row >= rows) break;
    }
    // Nothing more: the next Find Next starts again at the first record.
    if (rows > 0) rs.MoveFirst();
    findPosition_ = 1;
    findBookmark_ = nullptr;
}

void GridEditor::Replace(const SearchText& search)
{
    chooseSearchColumn(search.find, false);
    if (host_.setCurrentColumn) host_.setCurrentColumn(valueColumn_);
    std::optional<Target> t = target(valueColumn_);
    if (!t || t->rs->currentRow() < 0) return;
    data::Recordset& rs = *t->rs;
    const int row = rs.currentRow();
    const QString before = rs.cell(row, t->field).toString();
    const QString after = replaceIn(before, search.find, search.replace, compareMode(search));
    if (after == before) return;
    setCell(rs, row, t->field, after);
    cellValueBeforeEdit_ = before;
    WriteResult r = writeRow(*t, row, before);
    if (r.status == WriteResult::Status::Failed) tellFailure(r);
}

long GridEditor::ReplaceAll(const SearchText& search)
{
    platform::WaitCursor wait;
    const ReplaceAllRule rule(search);
    chooseSearchColumn(search.find, true);
    if (host_.setCurrentColumn) host_.setCurrentColumn(valueColumn_);
    std::optional<Target> t = target(valueColumn_);
    data::Recordset* rs = t ? t->rs : nullptr;
    if (rs && rs->rowCount() > 0) rs->MoveFirst();

    long count = 0, failed = 0;
    QStringList reasons;
    if (rs) {
        // Undone and redone as one.
        ddvue::DDVueEngine::Batch batch(drawing_.edit(), "Replace All");
        // The grid is told once, at the end, that its cells changed.
        rs->beginUpdate();
        const long rows = rs->rowCount();
        for (int row = 0; row < rows; ++row) {
            if (row % kReportEvery == 0) report(QStringLiteral("Replacing"), row, rows);
            const QString before = rs->cell(row, t->field).toString();
            const QString after = rule.apply(before);
            if (after == before) continue;
            setCell(*rs, row, t->field, after);
            cellValueBeforeEdit_ = before;
            WriteResult r = writeRow(*t, row, before);
            if (r.status == WriteResult::Status::Failed) {
                ++failed;
                addReason(reasons, r.error);
                continue;
            }
            // Only a cell that now shows another value counts: a layer entry
            // that is not one was put back.
            if (r.written() && r.shown != before) ++count;
        }
        rs->endUpdate();
    }
    platform::msgBox(countMessage(count, QStringLiteral(" replacements."), failed,
                                  QStringLiteral("values could not be written to the drawing and keep their old values"),
                                  reasons),
                     MsgButtons::Ok, failed > 0 ? MsgIcon::Exclamation : MsgIcon::Information,
                     platform::programTitle(), 0, host_.parent);
    if (rs && rs->isEOF() && rs->rowCount() > 0) rs->MoveFirst();
    return count;
}

// ------------------------------------------------------------ Delete All

void GridEditor::DeleteAll()
{
    if (platform::msgBox(QStringLiteral("Delete all objects in data grid from drawing?"), MsgButtons::YesNo,
                         MsgIcon::Question, platform::programTitle(), 1, host_.parent) != platform::MsgResult::Yes)
        return;
    platform::WaitCursor wait;
    data::Recordset* rs = currentRecordset();
    std::optional<Category> category = currentCategory();
    long deleted = 0, failed = 0;
    QStringList reasons;
    if (rs && rs->isOpen() && rs->rowCount() > 0 &&
        (category == Category::Attributes || category == Category::SingleText || category == Category::MultiText)) {
        rs->MoveFirst();
        ddvue::DDVueEngine::Batch batch(drawing_.edit(), "Delete All");  // undone and redone as one
        const int key = rs->fieldIndex(extract::categorySettings(*category)->keyField);
        const long rows = rs->rowCount();
        for (int row = 0; row < rows; ++row) {
            if (row % kReportEvery == 0) report(QStringLiteral("Deleting"), row, rows);
            const QString handle = key >= 0 ? rs->cell(row, key).toString() : QString();
            if (drawing_.edit().DeleteEntity(handle)) {
                ++deleted;
            } else {
                ++failed;
                addReason(reasons, drawing_.engine().lastError());
            }
        }
    }
    platform::msgBox(countMessage(deleted, QStringLiteral(" deletions."), failed,
                                  QStringLiteral("objects could not be deleted"), reasons),
                     MsgButtons::Ok, failed > 0 ? MsgIcon::Exclamation : MsgIcon::Information,
                     platform::programTitle(), 0, host_.parent);
    if (rs) rs->Close();
    if (host_.setPosition) host_.setPosition(QString());
}

void GridEditor::report(const QString& stage, long done, long total)
{
    if (host_.progress && total > 0) host_.progress(stage, static_cast<int>(done * 100 / total));
}

QString countMessage(long done, const QString& what, long failed, const QString& failedWhat, const QStringList& reasons)
{
    QString text = QString::number(done) + what;
    if (failed <= 0) return text;
    text += QStringLiteral("\n\n%1 %2").arg(failed).arg(failedWhat);
    if (!reasons.isEmpty()) {
        text += QStringLiteral(":\n") + reasons.mid(0, kReasonsShown).join(QLatin1Char('\n'));
        if (reasons.size() > kReasonsShown) text += QStringLiteral("\n...");
    } else {
        text += QLatin1Char('.');
    }
    return text;
}

}  // namespace edit
