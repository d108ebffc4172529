#pragma once
// The about screen: the program's title and version above what it does, and
// four links: e-mail to the project, its web site, its download page and the
// tutorial.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace screens {

class frmAbout : public QDialog {
    Q_OBJECT
public:
    // `appFolder` (ending in "/") is where the tutorial korvane.pdf lies.
    explicit frmAbout(const QString& appFolder, QWidget* parent = nullptr);

    // The title line: the program's title, a space and its version.
    static QString titleLine();
    // The text the screen shows: the title line, an empty line, and what the
    // program does.
    static QString aboutText();
    // What a link label opens: an address, or the tutorial's path.
    QString linkTarget(const QLabel* label) const;

    QPlainTextEdit* Text1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QPushButton* Command1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void setLinkColor(QLabel* label, const QColor& color);
    QString appFolder_;
};

}  // namespace screens
