#pragma once
// The drawing window: the open drawing large, in a view of its own, with a
// status line that follows the pointer and a File menu that opens the
// drawing in its associated program, prints it (or shows its print
// preview), copies the view to the clipboard and saves the view as a
// picture (BMP, PNG, SVG or PDF). It reads the drawing afresh
// from its file, beside the main window's view, and closes it again when it
// closes; the main window's drawing is not touched.

#include "ddvue/DDVue.h"
#include "ddvue/DrawingReader.h"

#include <QDialog>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;

namespace drawing {

class frmDrawing : public QDialog {
    Q_OBJECT
public:
    // The drawing to show: its full path, its file name, and the password it
    // was opened with ("" for none).
    struct Drawing {
        QString path;
        QString name;
        QString password;
    };

    // `bitmapFolder` is the folder the picture save dialog starts in; the window
    // remembers the folder of each picture saved (BitmapFolder()).
    frmDrawing(const Drawing& drawing, const QString& bitmapFolder, QWidget* parent = nullptr);
    ~frmDrawing() override;

    // The folder the next picture save starts in.
    const QString& BitmapFolder() const { return bitmapFolder_; }
    // The drawing is still being read.
    bool isOpening() const { return reader_->busy(); }

    // The file name a picture of `drawingName` is offered under: the name up
    // to and including its first period, then "bmp" ("plan.dwg" gives
    // "plan.bmp"); a name without a period gets ".bmp" added.
    static QString bitmapFileName(const QString& drawingName);

    ddvue::DDVue* DDVue1;
    QLabel* lblStatus;
    QMenuBar* menuBar;
    QMenu* mnuFile;
    QAction* mnuFilePrint;
    QAction* mnuFilePrintPreview;
    QAction* mnuFileOpen;
    QAction* mnuFileCopy;
    QAction* mnuFileSave;
    QAction* mnuFileExit;
    QMenu* mnuView;
    QAction* mnuViewExtents;

    void mnuFileOpen_Click();
    void mnuFilePrint_Click();
    void mnuFilePrintPreview_Click();
    void mnuFileCopy_Click();
    void mnuFileSave_Click();
    void mnuFileExit_Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void Form_Load();
    void Form_Unload();
    void openingFinished();
    void DDVue1_PointerMoved(int x, int y);

    Drawing drawing_;
    QString bitmapFolder_;
    ddvue::DrawingReader* reader_;
    bool unloaded_ = false;
};

}  // namespace drawing
