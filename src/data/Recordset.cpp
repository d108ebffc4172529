#include "data/Recordset.h"

#include "data/XmlRecords.h"

#include <QFile>

#include <algorithm>

namespace data {

Recordset::Recordset(QObject* parent) : QObject(parent) {}

Recordset::~Recordset() = default;

void Recordset::open(RecordTable table)
{
    emit aboutToReset();
    table_ = std::move(table);
    deleted_.assign(static_cast<std::size_t>(table_.rowCount()), false);
    filterText_.clear();
    filter_ = RowFilter();
    open_ = true;
    rebuildView();
    current_ = 0;
    emit reset(true);
    emit currentChanged(currentRow());
}

bool Recordset::openXml(QByteArrayView document, QString* error)
{
    RecordTable table;
    if (!readXmlRecords(document, table, error)) {
        Close();
        return false;
    }
    open(std::move(table));
    return true;
}

bool Recordset::openXmlFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        Close();
        return false;
    }
    // Mapped rather than read: a large document is not copied first.
    qint64 size = file.size();
    if (size > 0) {
        if (uchar* mapped = file.map(0, size))
            return openXml(QByteArrayView(reinterpret_cast<const char*>(mapped), size), error);
    }
    QByteArray bytes = file.readAll();
    return openXml(bytes, error);
}

void Recordset::Close()
{
    emit aboutToReset();
    table_.clear();
    view_.clear();
    deleted_.clear();
    filterText_.clear();
    filter_ = RowFilter();
    open_ = false;
    current_ = 0;
    emit reset(true);
    emit currentChanged(-1);
}

void Recordset::requireOpen() const
{
    if (!open_) throw RecordsetError(RecordsetError::Kind::Closed, QStringLiteral("The recordset is not open."));
}

qsizetype Recordset::currentRecord() const
{
    requireOpen();
    if (isBOF() || isEOF())
        throw RecordsetError(RecordsetError::Kind::NoCurrentRecord,
                             QStringLiteral("There is no current record (BOF or EOF)."));
    return view_[static_cast<std::size_t>(current_)];
}

int Recordset::requireField(QStringView name) const
{
    requireOpen();
    int field = table_.fieldIndex(name);
    if (field < 0)
        throw RecordsetError(RecordsetError::Kind::UnknownField, QStringLiteral("There is no field %1.").arg(name));
    return field;
}

QString Recordset::fieldName(int field) const
{
    if (field < 0 || field >= fieldCount())
        throw RecordsetError(RecordsetError::Kind::UnknownField, QStringLiteral("There is no field %1.").arg(field));
    return table_.fieldName(field);
}

QString Recordset::value(int field) const
{
    qsizetype row = currentRecord();
    fieldName(field);  // checks the index
    return table_.value(row, field).toString();
}

QString Recordset::value(QStringView name) const
{
    int field = requireField(name);
    return table_.value(currentRecord(), field).toString();
}

void Recordset::setValue(int field, const QString& text)
{
    currentRecord();
    fieldName(field);
    setCell(static_cast<int>(current_), field, text);
}

void Recordset::setValue(QStringView name, const QString& text) { setValue(requireField(name), text); }

void Recordset::setCell(int row, int field, const QString& text)
{
    requireOpen();
    if (row < 0 || row >= rowCount() || field < 0 || field >= fieldCount())
        throw RecordsetError(RecordsetError::Kind::BadPosition, QStringLiteral("No such cell."));
    table_.setValue(view_[static_cast<std::size_t>(row)], field, text);
    if (updating_ > 0) changedWhileUpdating_ = true;
    else emit cellChanged(row, field);
}

void Recordset::endUpdate()
{
    if (updating_ == 0 || --updating_ > 0) return;
    if (changedWhileUpdating_) {
        changedWhileUpdating_ = false;
        emit cellsChanged();
    }
}

void Recordset::Delete()
{
    qsizetype record = currentRecord();
    int row = static_cast<int>(current_);
    emit rowAboutToBeRemoved(row);
    deleted_[static_cast<std::size_t>(record)] = true;
    view_.erase(view_.begin() + row);
    emit rowRemoved(row);
    // The following record takes the deleted one's place (whatever a view
    // did with the current record while the row went).
    qsizetype next = row;
    if (next >= static_cast<qsizetype>(view_.size()) && !view_.empty()) next = static_cast<qsizetype>(view_.size()) - 1;
    current_ = next;
    emit currentChanged(currentRow());
}

long Recordset::AbsolutePosition() const
{
    if (view_.empty()) return PosUnknown;
    if (current_ < 0) return PosBOF;
    if (current_ >= static_cast<qsizetype>(view_.size())) return PosEOF;
    return static_cast<long>(current_) + 1;
}

void Recordset::setAbsolutePosition(long position)
{
    requireOpen();
    if (position < 1 || position > RecordCount())
        throw RecordsetError(RecordsetError::Kind::BadPosition,
                             QStringLiteral("There is no record at position %1.").arg(position));
    moveTo(position - 1);
}

qint64 Recordset::Bookmark() const { return currentRecord() + 1; }

void Recordset::setBookmark(qint64 bookmark)
{
    requireOpen();
    qsizetype record = static_cast<qsizetype>(bookmark - 1);
    auto it = std::lower_bound(view_.begin(), view_.end(), record);
    if (bookmark < 1 || it == view_.end() || *it != record)
        throw RecordsetError(RecordsetError::Kind::BadBookmark,
                             QStringLiteral("The bookmark %1 names no record in view.").arg(bookmark));
    moveTo(it - view_.begin());
}

void Recordset::moveTo(qsizetype position)
{
    position = std::clamp<qsizetype>(position, -1, static_cast<qsizetype>(view_.size()));
    if (position == current_) return;
    current_ = position;
    emit currentChanged(currentRow());
}

void Recordset::MoveFirst()
{
    requireOpen();
    moveTo(0);
}

void Recordset::MoveLast()
{
    requireOpen();
    moveTo(view_.empty() ? 0 : static_cast<qsizetype>(view_.size()) - 1);
}

void Recordset::MoveNext()
{
    requireOpen();
    if (!isEOF()) moveTo(current_ + 1);
}

void Recordset::MovePrevious()
{
    requireOpen();
    if (!isBOF()) moveTo(current_ - 1);
}

void Recordset::setCurrentRow(int row)
{
    requireOpen();
    moveTo(row < 0 ? -1 : row);
}

void Recordset::rebuildView()
{
    view_.clear();
    view_.reserve(static_cast<std::size_t>(table_.rowCount()));
    bool filtered = !filterText_.isEmpty();
    for (qsizetype r = 0; r < table_.rowCount(); ++r) {
        if (deleted_[static_cast<std::size_t>(r)]) continue;
        if (filtered && !filter_.matches(table_, r)) continue;
        view_.push_back(r);
    }
}

void Recordset::setFilter(const QString& text)
{
    requireOpen();
    QString trimmed = text.trimmed();
    RowFilter parsed;
    if (!trimmed.isEmpty())
        parsed = RowFilter::parse(trimmed, [this](QStringView name) { return table_.fieldIndex(name); });
    emit aboutToReset();
    filter_ = std::move(parsed);
    filterText_ = trimmed.isEmpty() ? QString() : text;
    rebuildView();
    current_ = 0;
    emit reset(false);
    emit currentChanged(currentRow());
}

}  // namespace data
