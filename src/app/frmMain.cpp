#include "app/frmMain.h"

#include "app/FileBrowser.h"
#include "app/frmHelp.h"
#include "app/frmPassword.h"
#include "app/ZoomEditor.h"

#include "drawing/DrawingPrint.h"
#include "drawing/PointerStatus.h"
#include "drawing/frmDrawing.h"
#include "filter/frmFilter.h"
#include "screens/frmAbout.h"
#include "screens/frmOptions.h"

#include "ddvue/FileNames.h"
#include "ddvue/dxf/Operations.h"
#include "edit/SaveDrawing.h"
#include "extract/CategoryContent.h"
#include "extract/VersionNames.h"
#include "platform/Messages.h"
#include "platform/Printing.h"
#include "platform/Screens.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "platform/WaitCursor.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <QToolButton>

namespace app {

namespace {

// The local drawing or folder that a drop carries; "" for anything else.
QString droppedPath(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().isEmpty()) return {};
    const QUrl url = mime->urls().first();
    if (!url.isLocalFile()) return {};
    const QFileInfo info(url.toLocalFile());
    if (info.isDir() || (info.isFile() && isDrawingSuffix(info.suffix().toLower()))) return info.absoluteFilePath();
    return {};
}

QString samplesFolder(const QString& appFolder)
{
    QString beside = appFolder + QStringLiteral("samples");
    if (QFileInfo(beside).isDir()) return beside;
    return QStringLiteral(TESSILUX_SAMPLES_DIR);
}

}  // namespace

frmMain::frmMain(const Start& start, QWidget* parent) : QWidget(parent)
{
    screenWidth = [this] {
        QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        return s ? s->geometry().width() : 1024;
    };
    buildControls();
    Form_Load(start);
}

frmMain::~frmMain()
{
    // The grid and navigator go before the recordset they show.
    dtgDrawing->setRecordset(nullptr);
    Adodc1->setRecordset(nullptr);
}

// ------------------------------------------------------------ start and end

void frmMain::Form_Load(const Start& start)
{
    // The data-access components are part of the program, so there is
    // nothing to look for before starting.
    appFolder_ = withSlash(QCoreApplication::applicationDirPath());

    // The browser starts at the current folder, then the settings move it.
    // Showing the starting drive is not a change of drive.
    Dir1->setPath(QDir::currentPath());
    {
        QSignalBlocker quiet(Drive1);
        Drive1->setDrive(QDir::currentPath());
    }
    QString defaultDrive = QStorageInfo(appFolder_).rootPath();
    StartupSettings s = readStartupSettings(platform::settings(), appFolder_, defaultDrive, samplesFolder(appFolder_));
    Drive1->setDrive(s.drive);  // the drive handler runs when this changes the drive
    Dir1->setPath(s.dir);  // a folder that no longer exists leaves the list where it was
    bitmapFolder_ = s.bitmapFolder;
    if (auto option = categoryFromDataSetting(s.data)) {
        QRadioButton* buttons[] = {optAttribute, optSingleText, optMultipleText, optLayer};
        QRadioButton* chosen = buttons[static_cast<int>(*option) - 1];
        chosen->setChecked(true);
        optionClicked(chosen);
    }
    DDVue1->SetSearchPaths(s.paths);
    Combo2->setEditText(s.pattern);
    Dir1_Change();

    layout_.RecordControlLayout(this);
    QRect screenArea = screen() ? screen()->availableGeometry() : QRect(0, 0, 1920, 1080);
    // Qt's limits are on the inner size; the design's inner size is what its
    // outer size of 9255 by 8430 twips holds inside the window frame.
    InstallSizeLimits(this, kDesignWidth, kDesignHeight, screenArea.width() * kTwipsPerPixel,
                      screenArea.height() * kTwipsPerPixel);

    if (!start.drawing.isEmpty()) {
        openChosenDrawing(start.drawing);
    } else if (!start.folder.isEmpty()) {
        Drive1->setDrive(start.folder);
        Dir1->setPath(start.folder);
    } else if (s.firstRun) {
        // The first run shows a drawing at once: the first bundled sample.
        QStringList samples = listDrawingFiles(s.dir, QStringLiteral("*.dxf"));
        if (!samples.isEmpty()) openChosenDrawing(QDir(s.dir).filePath(samples.first()));
    }
}

void frmMain::Form_Unload()
{
    // The save-changes prompt comes first (see closeEvent); from here on
    // nothing stops the window from closing.
    DDVue1->CloseDrawing();
    CategoryOption option = optAttribute->isChecked()     ? CategoryOption::Attributes
                            : optSingleText->isChecked()  ? CategoryOption::SingleText
                            : optMultipleText->isChecked() ? CategoryOption::MultiText
                                                           : CategoryOption::Layers;
    writeShutdownSettings(platform::settings(), Drive1->drive(), Dir1->path(), bitmapFolder_, option,
                          Combo2->currentText());
}

void frmMain::closeEvent(QCloseEvent* event)
{
    const SaveOffer offer = offerToSave();
    if (offer == SaveOffer::Cancelled) {
        // The window stays open, and the changes with it.
        event->ignore();
        return;
    }
    if (offer == SaveOffer::SaveFailed) {
        // Saving failed: closing now would lose the changes, so ask first.
        auto answer = platform::msgBox(QStringLiteral("The changes could not be saved. Close %1 anyway and lose them?")
                                           .arg(platform::programTitle()),
                                       platform::MsgButtons::YesNo, platform::MsgIcon::Question,
                                       platform::programTitle(), 1, this);
        if (answer != platform::MsgResult::Yes) {
            event->ignore();
            return;
        }
    }
    Form_Unload();
    event->accept();
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layout_.ScaleControlLayout(this);
}

void frmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!activatedOnce_) {
        activatedOnce_ = true;
        Form_Activate();
    }
}

void frmMain::Form_Activate()
{
    int width = screenWidth ? screenWidth() : 1024;
    if (width == 800) {
        move(x(), 0);
    } else if (width < 800) {
        platform::msgBox(platform::programTitle() +
                             QStringLiteral(" works best with display settings of 800 by 600 pixels and greater."),
                         platform::MsgButtons::Ok, platform::MsgIcon::Information, platform::programTitle(), 0, this);
    }
}

// ------------------------------------------------------------- the browser

void frmMain::Drive1_Change()
{
    if (!Dir1->setPath(Drive1->drive())) {
        // A volume that cannot be read: back to the root volume.
        Drive1->setDrive(QStringLiteral("/"));
        Dir1->setPath(QStringLiteral("/"));
    }
}

void frmMain::Dir1_Change() { RefreshFileList(true, true); }

void frmMain::Combo2_Change()
{
    if (patternRelists(Combo2->currentText())) RefreshFileList(true, true);
}

void frmMain::Combo2_Click() { RefreshFileList(false, false); }

void frmMain::Combo2_LostFocus()
{
    QString text = Combo2->currentText();
    if (text.isEmpty()) return;
    platform::WaitCursor wait;
    for (int i = 0; i < Combo2->count(); ++i)
        if (Combo2->itemText(i).compare(text, Qt::CaseInsensitive) == 0) return;
    Combo2->addItem(text);
    Combo2->setEditText(text);
}

void frmMain::Command3_Click()
{
    if (Combo2->currentText() == QLatin1String("*.dwg")) return;
    Combo2->setEditText(QStringLiteral("*.dwg"));
    Combo2_Change();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == List3 && event->type() == QEvent::KeyPress) {
        int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            List3_Click();
            return true;
        }
    }
    // The pattern box: the combo box holds the focus and hands keys on to
    // its line edit itself, so both are watched.
    if (watched == Combo2 || watched == Combo2->lineEdit()) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->text() == QLatin1String(".")) {
            // The period is never typed into the pattern: it completes a
            // bare name to a DWG pattern.
            QString text = Combo2->currentText();
            QString after = patternAfterPeriod(text);
            if (after != text) {
                Combo2->setEditText(after);
                Combo2_Change();
                // The kind it was completed with stands selected, so that
                // typing "*", ".", "dxf" gives *.dxf.
                Combo2->lineEdit()->setSelection(static_cast<int>(text.size()) + 1,
                                                 static_cast<int>(after.size() - text.size()) - 1);
            }
            return true;
        }
        if (event->type() == QEvent::FocusOut && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
            Combo2_LostFocus();
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedPath(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event)
{
    const QString path = droppedPath(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    if (QFileInfo(path).isDir()) {
        Drive1->setDrive(path);
        Dir1->setPath(path);
    } else {
        openChosenDrawing(path);
    }
}

void frmMain::RefreshFileList(bool hideButtons, bool setExtent)
{
    platform::WaitCursor wait;
    if (hideButtons) {
        cmdPrint->hide();
        cmdPrintPreview->hide();
        cmdOpen->hide();
    }
    QString folder = withSlash(Dir1->path());
    Label1->clear();
    List3->clear();
    QStringList names = listDrawingFiles(folder, Combo2->currentText());
    for (const QString& name : names) {
        // A name that is not UTF-8 shows with U+FFFD for its stray bytes;
        // the item keeps the name itself, which opens the file.
        auto* item = new QListWidgetItem(ddvue::displayFileName(name), List3);
        if (ddvue::hasStrayBytes(name)) item->setData(Qt::UserRole, name);
    }
    if (setExtent) List3->setProperty("horizontalExtent", horizontalExtent(names, QFontMetrics(font())));
    Label2->setText(fileCountText(static_cast<int>(names.size())));
}

// --------------------------------------------------------- opening drawings

void frmMain::openChosenDrawing(const QString& path)
{
    QFileInfo file(path);
    Drive1->setDrive(file.absolutePath());
    Dir1->setPath(file.absolutePath());
    // List the drawing with the pattern of its own kind, so that it can be
    // chosen in the list.
    QStringList listed = listDrawingFiles(Dir1->path(), Combo2->currentText());
    if (!listed.contains(file.fileName())) {
        QString suffix = file.suffix().toLower();
        Combo2->setEditText(isDrawingSuffix(suffix) ? QStringLiteral("*.") + suffix : QStringLiteral("*.*"));
        RefreshFileList(true, true);
    }
    QListWidgetItem* item = listedItem(file.fileName());
    if (!item) return;
    List3->setCurrentItem(item);
    List3_Click();
}

bool frmMain::DrawingChanged() const { return unsaved_->unsaved(); }

void frmMain::finishCellEdit() { dtgDrawing->commitEdit(); }

frmMain::SaveOffer frmMain::offerToSave()
{
    finishCellEdit();
    if (!DrawingChanged()) return SaveOffer::Go;
    // Cancel keeps everything as it is: closing the question with Esc or its
    // close button must never throw the changes away.
    auto answer = platform::msgBox(QStringLiteral("Do you want to save your changes?"),
                                   platform::MsgButtons::YesNoCancel, platform::MsgIcon::Question,
                                   platform::programTitle(), 0, this);
    if (answer == platform::MsgResult::No) return SaveOffer::Go;
    if (answer != platform::MsgResult::Yes) return SaveOffer::Cancelled;
    platform::WaitCursor wait;
    return saveDrawing() ? SaveOffer::Go : SaveOffer::SaveFailed;
}

bool frmMain::saveDrawing()
{
    edit::SaveResult saved = edit::saveDrawing(*DDVue1, currentDrawingPath_, this);
    if (!saved.saved) return false;  // the person was told; the changes stay, and so does the Save button
    const QString path = saved.path;
    // The Save button went with the save (the drawing's history says it
    // equals its file now); the file's size and date are new.
    Label1->setText(fileInformationLine(DrawingVersionName(path), path));
    if (path != currentDrawingPath_) {
        // A DWG is never written: its changes went to a DXF beside it.
        QString dwg = currentDrawingPath_;
        currentDrawingPath_ = path;
        currentDrawingName_ = QFileInfo(path).fileName();
        lblDrawing->setText(path);
        if (!dwgSaveTold_) {
            dwgSaveTold_ = true;
            platform::msgBox(QStringLiteral("The changes were saved as the DXF file %1.\n\nThe DWG drawing %2 was left "
                                            "unchanged.")
                                 .arg(path, dwg),
                             platform::MsgButtons::Ok, platform::MsgIcon::Information, platform::programTitle(), 0,
                             this);
        }
    }
    return true;
}

void frmMain::showStatus(const QString& text)
{
    lblStatus->setText(text);
    // A message longer than the line reads whole under the pointer.
    lblStatus->setToolTip(text);
    if (statusShown) statusShown(text);
}

void frmMain::List3_Click()
{
    QListWidgetItem* item = List3->currentItem();
    if (!item) return;
    lblWelcome->hide();
    if (offerToSave() != SaveOffer::Go) {
        // Cancelled, or the changes could not be saved: the drawing they
        // belong to stays open, and the list shows it again.
        QListWidgetItem* open = listedItem(currentDrawingName_);
        const bool listed = !currentDrawingPath_.isEmpty() && open &&
                            withSlash(Dir1->path()) + currentDrawingName_ == currentDrawingPath_;
        List3->setCurrentItem(listed ? open : nullptr);
        return;
    }

    currentDrawingName_ = fileNameOf(item);
    currentDrawingPath_ = withSlash(Dir1->path()) + currentDrawingName_;
    lblDrawing->setText(currentDrawingPath_);
    Label1->setText(fileInformationLine(DrawingVersionName(currentDrawingPath_), currentDrawingPath_));
    dwgSaveTold_ = false;
    drawingPassword_.clear();
    startOpening();
}

QString frmMain::fileNameOf(const QListWidgetItem* item)
{
    const QVariant name = item->data(Qt::UserRole);
    return name.isValid() ? name.toString() : item->text();
}

QListWidgetItem* frmMain::listedItem(const QString& name) const
{
    for (int row = 0; row < List3->count(); ++row)
        if (fileNameOf(List3->item(row)) == name) return List3->item(row);
    return nullptr;
}

bool frmMain::isOpening() const { return reader_->busy(); }

void frmMain::startOpening()
{
    // What was open goes at once, and the grid with it: nothing may be
    // edited in a drawing that is on its way out.
    reader_->stop();
    DDVue1->CloseDrawing();
    clearGrid(false);
    openProgress_ = std::make_unique<ProgressReport>([this](const QString& text) { showStatus(text); },
                                                     [this] { lblStatus->repaint(); }, progressDelayMs);
    openProgress_->setHint(QStringLiteral("Esc stops"));
    if (!busyCursor_) QApplication::setOverrideCursor(Qt::BusyCursor);
    busyCursor_ = true;
    stopShortcut_->setEnabled(true);
    // The password, when one was given, would go with the drawing to a
    // component that can open protected drawings; this one reads none.
    reader_->start(currentDrawingPath_);
}

void frmMain::endOpening()
{
    stopShortcut_->setEnabled(false);
    if (busyCursor_) QApplication::restoreOverrideCursor();
    busyCursor_ = false;
}

void frmMain::stopOpening()
{
    if (!reader_->busy()) return;
    reader_->stop();
    endOpening();
    openProgress_.reset();
    clearGrid();
    showStatus(QStringLiteral("Opening %1 was stopped.").arg(currentDrawingName_));
}

void frmMain::openingFinished()
{
    endOpening();
    ddvue::ReadDrawing read = reader_->take();
    if (!read.ok()) {
        openProgress_.reset();
        if (read.needsPassword && !askForPasswords) {
            // Asking would be in vain: no password opens the drawing here.
            clearGrid();
            platform::msgBox(QStringLiteral("The drawing %1 is protected by a password. Password-protected drawings "
                                            "cannot be opened.")
                                 .arg(currentDrawingName_),
                             platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::programTitle(), 0,
                             this);
            return;
        }
        if (read.needsPassword && drawingPassword_.isEmpty()) {
            drawingPassword_ = frmPassword::ask(this);
            Form_Activate();
            if (drawingPassword_.isEmpty()) {
                clearGrid();
                return;
            }
            startOpening();
            return;
        }
        showOpenFailure(read.error);
        return;
    }
    {
        platform::WaitCursor wait;
        openProgress_->setHint(QString());  // what follows cannot be stopped
        progress_ = openProgress_.get();
        DDVue1->adopt(std::move(read), currentDrawingPath_);
        const auto* doc = DDVue1->engine().document();
        unitDecimals_ = drawing::linearPrecision(doc ? doc->headerText("$LUPREC") : std::nullopt);
        unsaved_->refresh();
        FillGrid();
        progress_ = nullptr;
    }
    openProgress_.reset();
    int skipped = DDVue1->engine().skippedEntities();
    const QString& warnings = DDVue1->engine().readWarnings();
    if (const QString& damage = DDVue1->engine().damage(); !damage.isEmpty())
        // Shown for viewing; saving asks first (edit/SaveDrawing.h).
        showStatus(QStringLiteral("Damaged DWG (%1): what is shown may be wrong or incomplete, and it is saved only "
                                  "if you agree. Read with errors: %2.")
                       .arg(damage, warnings));
    else if (skipped > 0 || !warnings.isEmpty())
        showStatus((skipped > 0 ? QStringLiteral("%1 object(s) of the DWG could not be read and are left out. ").arg(skipped)
                                : QString()) +
                   (warnings.isEmpty() ? QString() : QStringLiteral("Read with errors: %1.").arg(warnings)));
    else if (QString repaired = DDVue1->engine().repairSummary(); !repaired.isEmpty())
        showStatus(repaired);
    else
        lblStatus->clear();
}

void frmMain::showOpenFailure(const QString& reason)
{
    // Nothing is open now; the grid must not go on listing the drawing that
    // was open before as if it were this one.
    clearGrid();
    QString text = QStringLiteral("Unable to open drawing.");
    if (!reason.isEmpty()) text += QStringLiteral("\n\n") + reason;
    platform::msgBox(text, platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::programTitle(), 0,
                     this);
}

void frmMain::clearGrid(bool noData)
{
    dtgDrawing->setRecordset(nullptr);
    Adodc1->setRecordset(nullptr);
    recordset_.reset();
    if (noData) dtgDrawing->showNoData();
    DDVue1->clearHighlight();
    Adodc1->setCaption(QString());
    ShowGridControls(false);
    // The drawing whose changes the Save button stood for is gone.
    unsaved_->refresh();
    cmdOpen->hide();
    cmdPrint->hide();
    cmdPrintPreview->hide();
    lblStatus->clear();
    lblStatus->setToolTip(QString());
    lblPointer->clear();
}

void frmMain::cmdOpen_Click()
{
    finishCellEdit();
    if (platform::shellOpen(currentDrawingPath_) <= 32)
        platform::msgBox(QStringLiteral("Unable to open file."), platform::MsgButtons::Ok, platform::MsgIcon::Exclamation,
                         platform::programTitle(), 0, this);
}

QString frmMain::DrawingVersionName(const QString& path)
{
    return extract::DrawingVersionNameForCode(DDVue1->engine().GetDrawingVersion(path));
}

// ---------------------------------------------------------------- the grid

std::optional<extract::Category> frmMain::selectedCategory() const
{
    if (optAttribute->isChecked()) return extract::Category::Attributes;
    if (optSingleText->isChecked()) return extract::Category::SingleText;
    if (optMultipleText->isChecked()) return extract::Category::MultiText;
    if (optLayer->isChecked()) return extract::Category::Layers;
    if (optExtRef->isChecked()) return extract::Category::ExternalReferences;
    return std::nullopt;
}

void frmMain::optionClicked(QRadioButton* option)
{
    finishCellEdit();
    if (List3->selectedItems().isEmpty()) return;
    if (option == optLayer) cmdDeleteAll->hide();
    if (isOpening()) return;  // the grid is filled with the chosen category once the drawing is read
    FillGrid();
}

void frmMain::FillGrid()
{
    platform::WaitCursor wait;
    filling_ = true;
    struct Done {
        frmMain* w;
        ~Done()
        {
            w->filling_ = false;
            w->showRowObject(false);
        }
    } done{this};
    auto step = [this](const QString& stage, int percent) {
        if (progress_) progress_->report(stage, percent);
    };
    editor_->resetForFill();
    currentFilter_.clear();
    // The Save button stays as it is: listing another category of the same
    // drawing does not save its changes, and hiding the button would let
    // them go unasked when the drawing is closed. A drawing being opened
    // starts without it (clearGrid).
    // Open and Print act on the open drawing: with none (after a failed
    // open) they would hand on a file that is not open.
    bool open = DDVue1->engine().isOpen();
    cmdPrint->setVisible(open);
    cmdPrintPreview->setVisible(open);
    cmdOpen->setVisible(open);

    // The content document and the flat document pass from step to step in
    // memory, byte for byte what the working files would hold: writing and
    // reading them back would cost more than the rest of the fill.
    std::optional<extract::Category> category = selectedCategory();
    const extract::CategorySettings* settings = category ? extract::categorySettings(*category) : nullptr;
    if (settings) {
        if (settings->valueColumn) editor_->setValueColumn(*settings->valueColumn);
        dtgDrawing->setAllowDelete(settings->rowDeletion);
    }
    step(QStringLiteral("Listing the drawing's content"), 65);
    auto recordset = std::make_unique<data::Recordset>();
    QString failure;
    if (category && open) failure = extract::loadFailure(extract::loadCategory(DDVue1->engine(), *category, *recordset));
    step(QStringLiteral("Filling the grid"), 95);
    // The grid lets go of the old recordset before it goes.
    dtgDrawing->setRecordset(nullptr);
    Adodc1->setRecordset(nullptr);
    recordset_ = std::move(recordset);
    Adodc1->setRecordset(recordset_.get());
    if (!category || !extract::showCategory(*dtgDrawing, *recordset_, *category)) {
        dtgDrawing->showNoData();
        // No position to tell: the caption of the rows shown before goes.
        Adodc1->setCaption(QString());
        ShowGridControls(false);
        if (!failure.isEmpty())
            platform::msgBox(QStringLiteral("The drawing's content could not be listed.\n\n%1").arg(failure),
                             platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::programTitle(), 0,
                             this);
        return;
    }
    Adodc1->setCaption(QStringLiteral("1 of %1").arg(recordset_->RecordCount()));
    ShowGridControls(true);
}

void frmMain::ShowGridControls(bool show)
{
    for (QWidget* w : std::initializer_list<QWidget*>{Label4, txtFindWhat, Label3, txtReplaceWith, Command1, cmdFind,
                                                      cmdReplace, cmdReplaceAll})
        w->setVisible(show);
    cmdDeleteAll->setVisible(show && !optLayer->isChecked());
    cmdRenameLayer->setVisible(show && optLayer->isChecked());
    cmdMergeLayer->setVisible(show && optLayer->isChecked());
    // Synchronizing may give attributes to references that have none, so
    // it is offered while a drawing is open, also when none are listed.
    cmdSyncAttributes->setVisible(optAttribute->isChecked() && DDVue1->engine().isOpen());
    chkMatchCase->setVisible(show);
    chkWholeWord->setVisible(show);
    dtgDrawing->setEnabled(show);
    Adodc1->setEnabled(show);
}

// ------------------------------------------------- keys, screens, the view

// The record filter's view of this window.
class frmMain::FilterBinding : public filter::FilterHost {
public:
    explicit FilterBinding(frmMain& w) : w_(w) {}
    data::Recordset* recordset() override { return w_.recordset_.get(); }
    std::optional<extract::Category> category() const override { return w_.selectedCategory(); }
    QString currentFilter() const override { return w_.currentFilter_; }
    void setCurrentFilter(const QString& filter) override { w_.currentFilter_ = filter; }
    // A save that failed leaves the changes in the drawing, where a new
    // filter does not touch them: only Cancel stops the filter.
    bool offerToSave() override { return w_.offerToSave() != SaveOffer::Cancelled; }
    void fillGrid() override { w_.FillGrid(); }

private:
    frmMain& w_;
};

void frmMain::installFunctionKeys()
{
    // The window sees these keys before the control that has the focus.
    for (int key : {Qt::Key_F1, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8, Qt::Key_F9}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, key] { Form_KeyDown(key, Qt::NoModifier); });
    }
}

void frmMain::Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift)
{
    if (shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return;
    // Every function key opens a screen or hands the drawing on: what is
    // being typed into a cell goes into the drawing first.
    finishCellEdit();
    const bool drawingChosen = !currentDrawingPath_.isEmpty();
    switch (keyCode) {
    case Qt::Key_F1: {
        frmHelp screen(this);
        platform::showModal(screen);
        Form_Activate();
        break;
    }
    case Qt::Key_F3:
        // Nothing is said when the drawing cannot be handed on.
        if (drawingChosen) platform::shellOpen(currentDrawingPath_);
        break;
    case Qt::Key_F4:
        if (drawingChosen) drawing::printDrawing(*DDVue1, false, this);
        break;
    case Qt::Key_F5:
        if (drawingChosen) showDrawingWindow();
        break;
    case Qt::Key_F6:
        if (recordset_ && recordset_->RecordCount() > 0 && recordset_->fieldCount() > 2) {
            FilterBinding host(*this);
            filter::frmFilter screen(host, this);
            platform::showModal(screen);
            Form_Activate();
        }
        break;
    case Qt::Key_F7: {
        screens::frmOptions screen([this](const QString& paths) { DDVue1->SetSearchPaths(paths); }, this);
        platform::showModal(screen);
        Form_Activate();
        break;
    }
    case Qt::Key_F8:
        cmdHelp_Click();
        break;
    case Qt::Key_F9:
        platform::shellOpenOrSay(appFolder_ + QStringLiteral("korvane.pdf"), this);
        break;
    default:
        break;
    }
}

void frmMain::cmdHelp_Click()
{
    finishCellEdit();
    screens::frmAbout screen(appFolder_, this);
    platform::showModal(screen);
    Form_Activate();
}

void frmMain::cmdPrint_Click()
{
    finishCellEdit();
    drawing::printDrawing(*DDVue1, true, this);
}

void frmMain::cmdPrintPreview_Click()
{
    finishCellEdit();
    drawing::previewDrawing(*DDVue1, this);
}

void frmMain::DDVue1_PointerMoved(int x, int y)
{
    // While a drawing is read the status line tells how far that has come;
    // until its picture is built the pointer has no drawing position yet.
    if (currentDrawingPath_.isEmpty() || isOpening() || DDVue1->isBuilding()) return;
    double dx = 0, dy = 0;
    DDVue1->ScreenToDrawing(x, y, dx, dy);
    lblPointer->setText(drawing::pointerCoordinates(dx, dy, unitDecimals_));
}

void frmMain::DDVue1_DrawingWindowRequest()
{
    finishCellEdit();
    if (!currentDrawingPath_.isEmpty()) showDrawingWindow();
}

void frmMain::showDrawingWindow()
{
    std::unique_ptr<drawing::frmDrawing> window;
    {
        // The hourglass while the window loads; it has its own pointer once shown.
        platform::WaitCursor wait;
        window = std::make_unique<drawing::frmDrawing>(
            drawing::frmDrawing::Drawing{currentDrawingPath_, currentDrawingName_, drawingPassword_}, bitmapFolder_,
            this);
    }
    platform::showModal(*window);
    bitmapFolder_ = window->BitmapFolder();
    window.reset();
    Form_Activate();
}

}  // namespace app
