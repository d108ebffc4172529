#pragma once
// The record navigator: a bar with a caption between buttons that move a
// recordset to its first, previous, next and last record. Moving past either
// end stays on the first or the last record.

#include "data/Recordset.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QToolButton;

namespace data {

class RecordNavigator : public QWidget {
    Q_OBJECT
public:
    explicit RecordNavigator(QWidget* parent = nullptr);

    void setRecordset(Recordset* recordset);
    Recordset* recordset() const { return recordset_; }

    QString caption() const;
    void setCaption(const QString& caption);

public slots:
    void moveFirst();
    void movePrevious();
    void moveNext();
    void moveLast();

private:
    template <typename Move>
    void move(Move step);

    QPointer<Recordset> recordset_;
    QLabel* caption_;
};

}  // namespace data
