#pragma once
// The main window: the drawing file browser, the viewer pane, the category
// options and the grid of the open drawing's content, with the controls for
// finding, replacing, deleting and saving. Its controls keep the positions of
// the window's design, scaled with the window.

#include "app/FormLayout.h"
#include "app/MainWindowLogic.h"

#include "data/DataGrid.h"
#include "data/RecordNavigator.h"
#include "data/Recordset.h"
#include "ddvue/DDVue.h"
#include "ddvue/DrawingReader.h"
#include "edit/GridEditor.h"
#include "edit/StructureEdits.h"
#include "edit/UnsavedChanges.h"
#include "extract/Categories.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QShortcut;
class QToolButton;

namespace app {

class DriveList;
class FolderList;

class frmMain : public QWidget {
    Q_OBJECT
public:
    // What the command line asked to start with: a folder, or a drawing.
    struct Start {
        QString folder;
        QString drawing;
    };

    explicit frmMain(const Start& start = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    // Reloads the grid with the selected category of the open drawing.
    void FillGrid();
    void ShowGridControls(bool show);
    QString DrawingVersionName(const QString& path);

    // The shared state of the window.
    const QString& AppFolder() const { return appFolder_; }
    const QString& CurrentDrawingPath() const { return currentDrawingPath_; }
    const QString& CurrentDrawingName() const { return currentDrawingName_; }
    const QString& DrawingPassword() const { return drawingPassword_; }
    const QString& BitmapFolder() const { return bitmapFolder_; }
    const QString& CurrentFilter() const { return currentFilter_; }
    short ValueColumn() const { return editor_->valueColumn(); }
    // Unsaved changes: the drawing differs from its file, or a cell is being
    // edited. The Save button shows exactly while this holds.
    bool DrawingChanged() const;
    // Ends the edit of a grid cell under way as Enter would: what was typed
    // goes into the drawing, with the grid's checks. Every action that
    // saves, closes, opens another drawing, lists another category, filters,
    // undoes or opens another screen does this first.
    void finishCellEdit();
    // A drawing is being read: the window stays usable meanwhile, a click
    // on another drawing or the Esc key stops the reading.
    bool isOpening() const;
    // The category the option buttons select (none for the Images option).
    std::optional<extract::Category> selectedCategory() const;
    data::Recordset* recordset() const { return recordset_.get(); }

    // Editing in the grid: the write-back routine, the searches, Delete All
    // (see edit/GridEditor.h). The zoom editor's OK writes its value with
    // gridEditor().writeCell(cell, value).
    edit::GridEditor& gridEditor() { return *editor_; }
    // The write-back routine: a column of the grid's current row into the drawing.
    edit::WriteResult WriteBack(int column) { return editor_->WriteBack(column); }
    // F2 on an editable cell of the grid (the grid has the focus, no Shift,
    // Ctrl or Alt) opens the zoom editor on that cell, modally: the zoom
    // editor puts itself here. While it is empty, F2 does nothing.
    std::function<void(const edit::GridCell&)> zoomEditor;

    // The screen width in pixels that the screen-size check reads; a test
    // may put another in place.
    std::function<int()> screenWidth;
    // How long opening and filling run before the status line tells how far
    // they have come, and who else is told (a test).
    int progressDelayMs = 500;
    std::function<void(const QString&)> statusShown;
    // Whether a drawing protected by a password is worth a password: only
    // when the drawing component can open such drawings.
    bool askForPasswords = ddvue::DDVueEngine::opensProtectedDrawings();

    // Controls, by their names.
    QGroupBox* frmFile;
    DriveList* Drive1;
    FolderList* Dir1;
    QComboBox* Combo2;
    QPushButton* Command3;
    QLabel* Label2;
    QListWidget* List3;
    QLabel* Label1;
    QToolButton* cmdPrint;
    QToolButton* cmdPrintPreview;
    QToolButton* cmdOpen;
    QGroupBox* frmInfo;
    QRadioButton* optAttribute;
    QRadioButton* optSingleText;
    QRadioButton* optMultipleText;
    QRadioButton* optLayer;
    QRadioButton* optExtRef;
    QRadioButton* optImage;
    QLineEdit* lblDrawing;
    ddvue::DDVue* DDVue1;
    QLabel* lblStatus;
    // The status bar's own part for the drawing point under the pointer.
    QLabel* lblPointer;
    data::DataGrid* dtgDrawing;
    data::RecordNavigator* Adodc1;
    QToolButton* cmdSave;
    QLabel* lblWelcome;
    QLabel* Label4;
    QLineEdit* txtFindWhat;
    QLabel* Label3;
    QLineEdit* txtReplaceWith;
    QPushButton* Command1;
    QPushButton* cmdFind;
    QPushButton* cmdReplace;
    QPushButton* cmdReplaceAll;
    QPushButton* cmdDeleteAll;
    // In the Layers view, where Delete All is not: the current row's layer
    // renamed, or merged into another. In the Block Attributes view: the
    // block references' attributes synchronized with their definitions.
    QPushButton* cmdRenameLayer;
    QPushButton* cmdMergeLayer;
    QPushButton* cmdSyncAttributes;
    QCheckBox* chkMatchCase;
    QCheckBox* chkWholeWord;
    QToolButton* cmdHelp;

    // Event handlers, callable as the events call them.
    void Drive1_Change();
    void Dir1_Change();
    void Combo2_Change();
    void Combo2_Click();
    void Combo2_LostFocus();
    void Command3_Click();
    void List3_Click();
    // The file name a row of the file list stands for, and the row of a name.
    static QString fileNameOf(const QListWidgetItem* item);
    QListWidgetItem* listedItem(const QString& name) const;
    void cmdOpen_Click();
    void Form_Activate();
    void Command1_Click();       // Find First
    void cmdFind_Click();        // Find Next
    void cmdReplace_Click();
    void cmdReplaceAll_Click();
    void cmdDeleteAll_Click();
    void cmdSave_Click();
    void cmdRenameLayer_Click();
    void cmdMergeLayer_Click();
    void cmdSyncAttributes_Click();
    // Ctrl+Z and Ctrl+Y: undo or redo the last change made to the drawing
    // (in the grid, the zoom editor, the color picker, Delete All); the grid
    // lists what the drawing then holds, on the same row where it can.
    void undoChange();
    void redoChange();
    // The function keys F1 and F3 to F9 (pressed wherever the focus is in
    // the window); a key held with Shift, Ctrl or Alt does nothing.
    void Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift);
    void cmdHelp_Click();
    void cmdPrint_Click();
    void cmdPrintPreview_Click();
    void DDVue1_PointerMoved(int x, int y);
    void DDVue1_DrawingWindowRequest();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A drawing dropped on the window opens, its folder shown in the
    // browser; a folder dropped on it is shown in the browser.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class FilterBinding;
    // The design inner size of the window, in twips.
    static constexpr int kDesignWidth = 9135;
    static constexpr int kDesignHeight = 8025;

    void buildControls();
    void placeBrowserControls();
    void placeDrawingControls();
    void placeGridControls();
    void connectControls();
    void installFunctionKeys();
    void showDrawingWindow();
    void Form_Load(const Start& start);
    void Form_Unload();
    void RefreshFileList(bool hideButtons, bool setExtent);
    void optionClicked(QRadioButton* option);
    void openChosenDrawing(const QString& path);
    // Opening happens in two steps: the drawing is read off the window's
    // thread, then opened in the view and listed in the grid.
    void startOpening();
    void openingFinished();
    void stopOpening();
    void endOpening();
    // The save-changes prompt, with Yes, No and Cancel (Esc and the box's
    // close button mean Cancel): whether the caller may go on.
    enum class SaveOffer {
        Go,          // nothing unsaved, saved, or the person chose not to save
        Cancelled,   // the person cancelled: everything stays as it is
        SaveFailed,  // the person wanted the changes saved, and saving failed
    };
    SaveOffer offerToSave();
    bool saveDrawing();
    void showOpenFailure(const QString& reason);
    // Empties the grid and hides what works on an open drawing; with
    // `noData`, the grid says there is nothing to list.
    void clearGrid(bool noData = true);
    void showStatus(const QString& text);
    void connectGrid();
    // Points out the current row's object or layer in the view; with
    // `bringIntoView`, the view goes to it (a row the person moved to, not
    // the first row of a fill).
    void showRowObject(bool bringIntoView);
    edit::SearchText searchText() const;
    // After an undo or redo: the category listed again with the filter in
    // force, the current row kept by its object (or place) and its column;
    // or, when `layer` is given, on the row of that layer.
    void relist(const QString& layer = QString());
    // The current row's field, "" without a current row.
    QString currentField(const QString& name) const;
    // The layer of the current row of the Layers view, for `action` ("rename",
    // "merge"); when no row is current, says why nothing can be done and
    // gives none.
    std::optional<QString> layerToEdit(const char* action);
    // An edit of the layers or blocks done: the grid relisted, the status
    // line told what was done. Refused: the reason shown, nothing changed.
    void finishStructureEdit(const edit::StructureEdit& outcome);
    // Runs long work on the grid with its progress on the status line.
    void withProgress(const std::function<void()>& work);

    FormLayout layout_;
    QString appFolder_;
    QString currentDrawingPath_;
    QString currentDrawingName_;
    QString drawingPassword_;
    QString bitmapFolder_;
    QString currentFilter_;
    // Editing in the grid, its search state and value column; reset by every fill.
    std::unique_ptr<edit::GridEditor> editor_;
    // Whether there are unsaved changes; shows and hides the Save button.
    std::unique_ptr<edit::UnsavedChanges> unsaved_;
    bool dwgSaveTold_ = false;
    int unitDecimals_ = 4;  // the open drawing's $LUPREC
    bool activatedOnce_ = false;
    std::unique_ptr<data::Recordset> recordset_;
    ProgressReport* progress_ = nullptr;
    ddvue::DrawingReader* reader_ = nullptr;
    std::unique_ptr<ProgressReport> openProgress_;
    QShortcut* stopShortcut_ = nullptr;
    QShortcut* undoShortcut_ = nullptr;
    QShortcut* redoShortcut_ = nullptr;
    bool busyCursor_ = false;
    bool filling_ = false;  // FillGrid is at work
};

}  // namespace app
