#pragma once
// The field picker of the record filter: the category's fields and buttons
// for the operators, connectives and a quoted value; each appends its piece
// to the end of the filter screen's text box.

#include "extract/Categories.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace filter {

class frmField : public QDialog {
    Q_OBJECT
public:
    // `target` is the filter screen's text box that the pieces go to.
    frmField(QLineEdit* target, std::optional<extract::Category> category, QWidget* parent = nullptr);

    QListWidget* lstFields;
    QLabel* lblFields;
    QLineEdit* txtValue;
    QPushButton* cmdAdd;
    QPushButton* cmdEquals;
    QPushButton* cmdNotEquals;
    QPushButton* cmdLike;
    QPushButton* cmdAnd;
    QPushButton* cmdOr;
    QPushButton* cmdClose;

    // The caption for a category: "Block Attribute Field List" and so on.
    static QString captionFor(std::optional<extract::Category> category);

private:
    void append(const QString& piece);
    QLineEdit* target_;
};

}  // namespace filter
