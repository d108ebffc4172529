#pragma once
// The options screen: the supplemental paths where the drawing component
// looks for the files a drawing needs beside itself (fonts, external
// references), kept as the "Paths" setting.

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace screens {

class frmOptions : public QDialog {
    Q_OBJECT
public:
    // `setSearchPaths` hands the stored paths to the main window's view.
    explicit frmOptions(std::function<void(const QString&)> setSearchPaths, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* txtPaths;
    QLabel* Label2;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    void cmdOK_Click();
    void txtPaths_LostFocus();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QString&)> setSearchPaths_;
};

}  // namespace screens
