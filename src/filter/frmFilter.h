#pragma once
// The record filter screen: a help text with the form of a filter and the
// category's fields, the filter text, and OK, Clear Filter, Cancel and ".."
// (the field picker).

#include "filter/RecordFilter.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace filter {

class frmFilter : public QDialog {
    Q_OBJECT
public:
    explicit frmFilter(FilterHost& host, QWidget* parent = nullptr);

    QLineEdit* txtFilter;
    QPushButton* cmdFields;
    QPushButton* cmdOK;
    QPushButton* cmdClear;
    QPushButton* cmdCancel;

    void cmdOK_Click();
    void cmdClear_Click();
    void cmdFields_Click();

    // The text printed on the screen's surface.
    QString helpText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FilterHost& host_;
    QRect helpArea_;
};

}  // namespace filter
