#pragma once
// The password dialog for a protected drawing.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace app {

class frmPassword : public QDialog {
    Q_OBJECT
public:
    explicit frmPassword(QWidget* parent = nullptr);

    // The password given: the box's text after OK, "" after Cancel or
    // closing the dialog.
    const QString& DrawingPassword() const { return password_; }

    QLabel* Label1;
    QLineEdit* txtPassword;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    // Shows the dialog modally and returns the password given ("" for none).
    static QString ask(QWidget* parent);

private:
    QString password_;
};

}  // namespace app
