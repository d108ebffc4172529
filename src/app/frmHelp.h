#pragma once
// The help screen: the function keys of the main window and what each does,
// printed on the screen's surface, and an OK button that Enter and Esc both
// press.

#include <QDialog>
#include <QStringList>

class QPushButton;

namespace app {

class frmHelp : public QDialog {
    Q_OBJECT
public:
    explicit frmHelp(QWidget* parent = nullptr);

    // The lines printed, from the top left corner, one per line.
    static QStringList keyTable();

    QPushButton* cmdOK;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace app
