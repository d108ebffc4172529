#include "data/RecordsetModel.h"

namespace data {

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordsetModel::setRecordset(Recordset* recordset)
{
    beginResetModel();
    for (const auto& c : connections_) disconnect(c);
    connections_.clear();
    recordset_ = recordset;
    placeholder_ = false;
    placeholderText_.clear();
    if (recordset) {
        connections_.push_back(connect(recordset, &Recordset::aboutToReset, this, [this] { beginResetModel(); }));
        connections_.push_back(connect(recordset, &Recordset::reset, this, [this](bool fieldsChanged) {
            if (fieldsChanged) resetColumns();
            endResetModel();
        }));
        connections_.push_back(connect(recordset, &Recordset::rowAboutToBeRemoved, this,
                                       [this](int row) { beginRemoveRows(QModelIndex(), row, row); }));
        connections_.push_back(connect(recordset, &Recordset::rowRemoved, this, [this](int) { endRemoveRows(); }));
        connections_.push_back(connect(recordset, &Recordset::cellChanged, this, [this](int row, int field) {
            for (int c = 0; c < static_cast<int>(columns_.size()); ++c)
                if (columns_[static_cast<std::size_t>(c)].field == field) emit dataChanged(index(row, c), index(row, c));
        }));
        connections_.push_back(connect(recordset, &Recordset::cellsChanged, this, [this] {
            if (rowCount() > 0 && columnCount() > 0)
                emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        }));
        connections_.push_back(connect(recordset, &QObject::destroyed, this, [this] {
            beginResetModel();
            columns_.clear();
            endResetModel();
        }));
    }
    resetColumns();
    endResetModel();
}

void RecordsetModel::resetColumns()
{
    columns_.clear();
    if (!recordset_) return;
    for (int f = 0; f < recordset_->fieldCount(); ++f) columns_.push_back({f, recordset_->fieldNames()[f], false});
}

void RecordsetModel::setPlaceholder(const QString& text)
{
    beginResetModel();
    placeholder_ = !text.isEmpty();
    placeholderText_ = text;
    placeholderCaption_.clear();
    placeholderLocked_ = true;
    endResetModel();
}

int RecordsetModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid()) return 0;
    if (placeholder_) return 1;
    return recordset_ ? recordset_->rowCount() : 0;
}

int RecordsetModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid()) return 0;
    if (placeholder_) return 1;
    return static_cast<int>(columns_.size());
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
    if (placeholder_) return placeholderText_;
    if (!recordset_ || !validColumn(index.column()) || index.row() >= recordset_->rowCount()) return {};
    return recordset_->cell(index.row(), columns_[static_cast<std::size_t>(index.column())].field).toString();
}

bool RecordsetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid()) return false;
    if (placeholder_) {
        placeholderText_ = value.toString();
        emit dataChanged(index, index);
        return true;
    }
    if (!recordset_ || !validColumn(index.column()) || index.row() >= recordset_->rowCount()) return false;
    try {
        recordset_->setCell(index.row(), columns_[static_cast<std::size_t>(index.column())].field, value.toString());
    } catch (const RecordsetError&) {
        return false;
    }
    return true;
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (!isLocked(index.column())) f |= Qt::ItemIsEditable;
    return f;
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return QString();  // record selectors, without numbers
    return caption(section);
}

void RecordsetModel::removeGridColumn(int column)
{
    if (placeholder_ || !validColumn(column)) return;
    beginRemoveColumns(QModelIndex(), column, column);
    columns_.erase(columns_.begin() + column);
    endRemoveColumns();
}

int RecordsetModel::fieldOfColumn(int column) const
{
    return validColumn(column) && !placeholder_ ? columns_[static_cast<std::size_t>(column)].field : -1;
}

QString RecordsetModel::caption(int column) const
{
    if (placeholder_) return column == 0 ? placeholderCaption_ : QString();
    return validColumn(column) ? columns_[static_cast<std::size_t>(column)].caption : QString();
}

void RecordsetModel::setCaption(int column, const QString& caption)
{
    if (placeholder_) {
        if (column != 0) return;
        placeholderCaption_ = caption;
    } else {
        if (!validColumn(column)) return;
        columns_[static_cast<std::size_t>(column)].caption = caption;
    }
    emit headerDataChanged(Qt::Horizontal, column, column);
}

bool RecordsetModel::isLocked(int column) const
{
    if (placeholder_) return placeholderLocked_;
    return validColumn(column) ? columns_[static_cast<std::size_t>(column)].locked : true;
}

void RecordsetModel::setLocked(int column, bool locked)
{
    if (placeholder_) {
        if (column == 0) placeholderLocked_ = locked;
        return;
    }
    if (validColumn(column)) columns_[static_cast<std::size_t>(column)].locked = locked;
}

}  // namespace data
