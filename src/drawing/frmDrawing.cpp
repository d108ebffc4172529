#include "drawing/frmDrawing.h"

#include "drawing/DrawingPrint.h"
#include "drawing/PointerStatus.h"

#include "platform/FileRoutines.h"
#include "platform/Messages.h"
#include "platform/Printing.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "platform/Twips.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

namespace drawing {

namespace {

using platform::kTwipsPerPixel;
// Below the view: the status line, 50 twips under the view's bottom edge.
constexpr int kStatusGapTwips = 50;

}  // namespace

frmDrawing::frmDrawing(const Drawing& drawing, const QString& bitmapFolder, QWidget* parent)
    : QDialog(parent), drawing_(drawing), bitmapFolder_(bitmapFolder)
{
    setObjectName(QStringLiteral("frmDrawing"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    mnuFile = menuBar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    auto item = [this](QAction*& action, const char* name, const QString& caption, QKeySequence shortcut) {
        action = mnuFile->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(shortcut);
        // Also on the window itself, so that the shortcut works wherever the
        // focus is in it.
        addAction(action);
    };
    item(mnuFilePrint, "mnuFilePrint", QStringLiteral("&Print"), QKeySequence(Qt::CTRL | Qt::Key_P));
    item(mnuFilePrintPreview, "mnuFilePrintPreview", QStringLiteral("Print Pre&view"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    item(mnuFileOpen, "mnuFileOpen", QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O));
    item(mnuFileCopy, "mnuFileCopy", QStringLiteral("&Copy to Clipboard"), QKeySequence(Qt::CTRL | Qt::Key_C));
    item(mnuFileSave, "mnuFileSave", QStringLiteral("&Save as Picture"), QKeySequence(Qt::CTRL | Qt::Key_S));
    item(mnuFileExit, "mnuFileExit", QStringLiteral("&Exit"), QKeySequence(Qt::CTRL | Qt::Key_E));

    // The view's own keys, as a menu too: the whole drawing (Home).
    mnuView = menuBar->addMenu(QStringLiteral("&View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuViewExtents = mnuView->addAction(QStringLiteral("Zoom to &Extents"));
    mnuViewExtents->setObjectName(QStringLiteral("mnuViewExtents"));
    mnuViewExtents->setShortcut(QKeySequence(Qt::Key_Home));
    addAction(mnuViewExtents);

    DDVue1 = new ddvue::DDVue(this);
    DDVue1->setObjectName(QStringLiteral("DDVue1"));
    DDVue1->setPrintDialog([](QPrinter& printer, QWidget* owner) { return platform::printDialog(printer, owner); });
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));

    connect(mnuFilePrint, &QAction::triggered, this, [this] { mnuFilePrint_Click(); });
    connect(mnuFilePrintPreview, &QAction::triggered, this, [this] { mnuFilePrintPreview_Click(); });
    connect(mnuFileOpen, &QAction::triggered, this, [this] { mnuFileOpen_Click(); });
    connect(mnuFileCopy, &QAction::triggered, this, [this] { mnuFileCopy_Click(); });
    connect(mnuFileSave, &QAction::triggered, this, [this] { mnuFileSave_Click(); });
    connect(mnuFileExit, &QAction::triggered, this, [this] { mnuFileExit_Click(); });
    connect(mnuViewExtents, &QAction::triggered, this, [this] { DDVue1->showWholeDrawing(); });
    connect(DDVue1, &ddvue::DDVue::PointerMoved, this, [this](int x, int y) { DDVue1_PointerMoved(x, y); });

    reader_ = new ddvue::DrawingReader(this);
    connect(reader_, &ddvue::DrawingReader::finished, this, [this] { openingFinished(); });
    connect(reader_, &ddvue::DrawingReader::progress, this, [this](int percent) {
        if (reader_->busy()) lblStatus->setText(QStringLiteral("Opening %1 %2%").arg(drawing_.name).arg(percent));
    });

    // A large window on the screen the program shows on.
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    resize(std::max(480, area.width() * 3 / 4), std::max(360, area.height() * 3 / 4));
    Form_Load();
}

frmDrawing::~frmDrawing() { Form_Unload(); }

QString frmDrawing::bitmapFileName(const QString& drawingName)
{
    qsizetype period = drawingName.indexOf(QLatin1Char('.'));
    if (period < 0) return drawingName + QStringLiteral(".bmp");
    return drawingName.left(period + 1) + QStringLiteral("bmp");
}

void frmDrawing::Form_Load()
{
    setWindowTitle(drawing_.path);
    // The drawing is read beside the window, which stays usable meanwhile;
    // the view shows it once read. The password, when one was given, would
    // go with it to a component that can open protected drawings; this one
    // reads none.
    DDVue1->SetSearchPaths(platform::settings().value(QStringLiteral("Paths")));
    if (drawing_.path.isEmpty()) return;
    DDVue1->setCursor(Qt::BusyCursor);
    lblStatus->setText(QStringLiteral("Opening %1").arg(drawing_.name));
    reader_->start(drawing_.path);
}

void frmDrawing::openingFinished()
{
    DDVue1->unsetCursor();
    ddvue::ReadDrawing read = reader_->take();
    if (!read.ok()) {
        // The view stays empty; the status line says why.
        lblStatus->setText(read.error.isEmpty() ? QString()
                                                : QStringLiteral("Unable to open drawing: %1").arg(read.error));
        return;
    }
    DDVue1->adopt(std::move(read), drawing_.path);
    lblStatus->clear();
}

void frmDrawing::Form_Unload()
{
    if (unloaded_) return;
    unloaded_ = true;
    reader_->stop();
    DDVue1->CloseDrawing();
}

void frmDrawing::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void frmDrawing::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    DDVue1->SetFocus();
}

void frmDrawing::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The menu on top, the view under it across the whole window, and the
    // status line under the view.
    int menuHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, width(), menuHeight);
    int gap = kStatusGapTwips / kTwipsPerPixel;
    int statusHeight = lblStatus->sizeHint().height();
    DDVue1->Move(0, menuHeight, width(), height() - menuHeight - statusHeight - 2 * gap);
    lblStatus->setGeometry(4, menuHeight + DDVue1->Height() + gap, std::max(0, width() - 8), statusHeight);
    if (!reader_->busy()) lblStatus->clear();
}

void frmDrawing::DDVue1_PointerMoved(int x, int y)
{
    // While the drawing is read the status line tells how far that has come;
    // until its picture is built the pointer has no drawing position yet.
    if (drawing_.path.isEmpty() || reader_->busy() || DDVue1->isBuilding()) return;
    double dx = 0, dy = 0;
    DDVue1->ScreenToDrawing(x, y, dx, dy);
    lblStatus->setText(pointerStatusText(x, y, dx, dy));
}

void frmDrawing::mnuFileOpen_Click()
{
    if (platform::shellOpen(drawing_.path) <= 32)
        platform::msgBox(QStringLiteral("Unable to open file."), platform::MsgButtons::Ok, platform::MsgIcon::Exclamation,
                         platform::programTitle(), 0, this);
}

void frmDrawing::mnuFilePrint_Click()
{
    DDVue1->SetFocus();
    printDrawing(*DDVue1, true, this);
}

void frmDrawing::mnuFilePrintPreview_Click()
{
    DDVue1->SetFocus();
    previewDrawing(*DDVue1, this);
}

void frmDrawing::mnuFileCopy_Click()
{
    DDVue1->CopyToClipboard();
    platform::msgBox(QStringLiteral("Drawing copied to ClipBoard."), platform::MsgButtons::Ok,
                     platform::MsgIcon::Information, platform::programTitle(), 0, this);
}

void frmDrawing::mnuFileSave_Click()
{
    // The kind of picture follows the name's ending: BMP and PNG pixels,
    // SVG and PDF vectors; any other ending gets a BMP.
    QString filter = QStringLiteral("BMP Files (*.bmp)|*.bmp|PNG Files (*.png)|*.png|SVG Files (*.svg)|*.svg|"
                                    "PDF Files (*.pdf)|*.pdf");
    QString path = platform::ShowSaveFileDialog(this, filter, QStringLiteral("Save Picture"), bitmapFolder_,
                                           bitmapFileName(drawing_.name));
    // A cancelled dialog saves nothing and keeps the folder.
    if (path.isEmpty()) return;
    QString why;
    if (!DDVue1->SaveAsPicture(path, why))
        platform::msgBox(QStringLiteral("The picture could not be saved as %1.\n\n%2").arg(path, why),
                         platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::programTitle(), 0, this);
    if (path.compare(bitmapFolder_, Qt::CaseInsensitive) == 0) return;
    bitmapFolder_ = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

void frmDrawing::mnuFileExit_Click() { close(); }

}  // namespace drawing
