#pragma once
// The table model between a recordset and the grid: one row per row in the
// recordset's view, one column per grid column. A grid column shows one
// field; columns can be removed, captioned and locked without touching the
// recordset. With no fields to show, the model can hold a single locked
// cell with a text of its own (the grid's "No data").

#include "data/Recordset.h"

#include <QAbstractTableModel>
#include <QPointer>

#include <vector>

namespace data {

class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordsetModel(QObject* parent = nullptr);

    // Binds the model to a recordset (nullptr: none): one column per field,
    // captioned with the field's name, none locked.
    void setRecordset(Recordset* recordset);
    Recordset* recordset() const { return recordset_; }

    // The single cell shown instead of the recordset's rows; "" hides it.
    void setPlaceholder(const QString& text);
    bool hasPlaceholder() const { return placeholder_; }
    const QString& placeholderText() const { return placeholderText_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Grid columns.
    void removeGridColumn(int column);
    int fieldOfColumn(int column) const;
    QString caption(int column) const;
    void setCaption(int column, const QString& caption);
    bool isLocked(int column) const;
    void setLocked(int column, bool locked);

private:
    struct Column {
        int field;
        QString caption;
        bool locked;
    };

    void resetColumns();
    bool validColumn(int column) const { return column >= 0 && column < static_cast<int>(columns_.size()); }

    QPointer<Recordset> recordset_;
    std::vector<Column> columns_;
    bool placeholder_ = false;
    QString placeholderText_;
    QString placeholderCaption_;
    bool placeholderLocked_ = true;
    std::vector<QMetaObject::Connection> connections_;
};

}  // namespace data
