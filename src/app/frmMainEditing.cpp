// The main window's editing: the grid's write-back, find and replace,
// Delete All, saving, undo and redo, and the current row shown in the view.
#include "app/frmMain.h"

#include "app/EditDialogs.h"
#include "app/ZoomEditor.h"
#include "ddvue/dxf/Operations.h"
#include "edit/SaveDrawing.h"
#include "filter/RecordFilter.h"
#include "platform/Messages.h"
#include "platform/Screens.h"
#include "platform/WaitCursor.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QToolButton>

#include <algorithm>

namespace app {

void frmMain::connectGrid()
{
    unsaved_ = std::make_unique<edit::UnsavedChanges>([this](bool unsaved) { cmdSave->setVisible(unsaved); });
    unsaved_->setDrawing([this] { return DDVue1->engine().differsFromDisk(); });
    edit::GridHost host;
    host.category = [this] { return selectedCategory(); };
    host.recordset = [this] { return recordset_.get(); };
    host.setCurrentColumn = [this](int column) { dtgDrawing->setCurrentColumn(column); };
    host.showFound = [this](int start, int length) {
        dtgDrawing->setFocus();
        dtgDrawing->setTextSelection(start, length);
    };
    host.focusFindWhat = [this] { txtFindWhat->setFocus(); };
    host.editBegan = [this] { unsaved_->editBegan(); };
    host.setPosition = [this](const QString& caption) { Adodc1->setCaption(caption); };
    host.progress = [this](const QString& stage, int percent) {
        if (progress_) progress_->report(stage, percent);
    };
    host.parent = this;
    editor_ = std::make_unique<edit::GridEditor>(*DDVue1, std::move(host));
    zoomEditor = [this](const edit::GridCell& cell) { showZoomEditor(*this, cell); };

    connect(dtgDrawing, &data::DataGrid::BeforeColEdit, this,
            [this](int column, int, int*) { editor_->BeforeColEdit(column); });
    connect(dtgDrawing, &data::DataGrid::AfterColEdit, this, [this](int column) { editor_->AfterColEdit(column); });
    connect(dtgDrawing, &data::DataGrid::EditEnded, this, [this](int) { unsaved_->editEnded(); });
    connect(dtgDrawing, &data::DataGrid::BeforeDelete, this, [this](int* cancel) {
        if (editor_->BeforeDelete()) *cancel = 1;
    });
    connect(dtgDrawing, &data::DataGrid::RowColChange, this, [this](QVariant*, int) {
        // Beside "No data" there is no position to tell.
        Adodc1->setCaption(dtgDrawing->showsNoData() ? QString() : editor_->positionCaption());
        if (!filling_) showRowObject(true);
    });
    connect(dtgDrawing, &data::DataGrid::KeyDown, this, [this](int* key, int* shift) {
        // F1 and F3 to F9 belong to the window's key handler; the grid's own
        // key is F2, on a cell that can be edited.
        if (*key != Qt::Key_F2 || *shift != 0) return;
        const int column = dtgDrawing->currentColumn();
        if (column < 0 || dtgDrawing->showsNoData() || dtgDrawing->isColumnLocked(column)) return;
        // A cell being edited keeps what was typed: the edit is committed
        // (and written back) before the zoom editor opens on the cell.
        dtgDrawing->commitEdit();
        std::optional<edit::GridCell> cell = editor_->currentCell(column);
        if (cell && zoomEditor) zoomEditor(*cell);
    });

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(cmdFind, &QPushButton::clicked, this, [this] { cmdFind_Click(); });
    connect(cmdReplace, &QPushButton::clicked, this, [this] { cmdReplace_Click(); });
    connect(cmdReplaceAll, &QPushButton::clicked, this, [this] { cmdReplaceAll_Click(); });
    connect(cmdDeleteAll, &QPushButton::clicked, this, [this] { cmdDeleteAll_Click(); });
    connect(cmdSave, &QToolButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdRenameLayer, &QPushButton::clicked, this, [this] { cmdRenameLayer_Click(); });
    connect(cmdMergeLayer, &QPushButton::clicked, this, [this] { cmdMergeLayer_Click(); });
    connect(cmdSyncAttributes, &QPushButton::clicked, this, [this] { cmdSyncAttributes_Click(); });
}

void frmMain::showRowObject(bool bringIntoView)
{
    RowObject row;
    if (!dtgDrawing->showsNoData() && DDVue1->engine().isOpen()) {
        try {
            row = rowObject(recordset_.get(), selectedCategory());
        } catch (const data::RecordsetError&) {
        }
    }
    switch (row.kind) {
    case RowObject::Kind::Object: DDVue1->highlightObject(row.key, bringIntoView); break;
    case RowObject::Kind::Layer: DDVue1->highlightLayer(row.key, bringIntoView); break;
    case RowObject::Kind::None: DDVue1->clearHighlight(); break;
    }
}

edit::SearchText frmMain::searchText() const
{
    return {txtFindWhat->text(), txtReplaceWith->text(), chkMatchCase->isChecked(), chkWholeWord->isChecked()};
}

void frmMain::withProgress(const std::function<void()>& work)
{
    // The status line is painted at once, without running the event loop
    // in the middle of the work.
    ProgressReport report([this](const QString& text) { showStatus(text); }, [this] { lblStatus->repaint(); },
                          progressDelayMs);
    progress_ = &report;
    // The drawing's view paints the changes once, when the work is done, not
    // with every repaint of the status line.
    DDVue1->setUpdatesEnabled(false);
    work();
    DDVue1->setUpdatesEnabled(true);
    progress_ = nullptr;
    if (report.shown()) lblStatus->clear();
}

void frmMain::Command1_Click()
{
    finishCellEdit();
    editor_->FindFirst(searchText());
}

void frmMain::cmdFind_Click()
{
    finishCellEdit();
    editor_->FindNext(searchText());
}

void frmMain::cmdReplace_Click()
{
    finishCellEdit();
    editor_->Replace(searchText());
}

void frmMain::cmdReplaceAll_Click()
{
    finishCellEdit();
    withProgress([this] { editor_->ReplaceAll(searchText()); });
}

void frmMain::cmdDeleteAll_Click()
{
    finishCellEdit();
    withProgress([this] { editor_->DeleteAll(); });
}

void frmMain::cmdSave_Click()
{
    // The Save button and Alt+S leave the focus where it is: a value being
    // typed into a cell goes into the drawing before it is saved.
    finishCellEdit();
    platform::WaitCursor wait;
    saveDrawing();
}

void frmMain::undoChange()
{
    finishCellEdit();
    if (isOpening() || !DDVue1->engine().isOpen()) return;
    platform::WaitCursor wait;
    if (DDVue1->edit().undo()) relist();
}

void frmMain::redoChange()
{
    finishCellEdit();
    if (isOpening() || !DDVue1->engine().isOpen()) return;
    platform::WaitCursor wait;
    if (DDVue1->edit().redo()) relist();
}

QString frmMain::currentField(const QString& name) const
{
    if (!recordset_ || !recordset_->isOpen() || recordset_->currentRow() < 0) return QString();
    const int field = recordset_->fieldIndex(name);
    return field < 0 ? QString() : recordset_->value(field);
}

std::optional<QString> frmMain::layerToEdit(const char* action)
{
    if (!optLayer->isChecked() || isOpening() || !DDVue1->engine().isOpen()) return std::nullopt;
    const bool listed = recordset_ && recordset_->isOpen() && recordset_->RecordCount() > 0;
    if (listed && recordset_->currentRow() >= 0) return currentField(QStringLiteral("Name"));
    QString why = (listed ? QStringLiteral("No layer is chosen to %1: click the row of the layer first.")
                          : QStringLiteral("No layer is listed to %1."))
                      .arg(QLatin1String(action));
    if (!listed && !currentFilter_.isEmpty())
        why += QStringLiteral(" The filter %1 leaves none; clear it to list every layer.").arg(currentFilter_);
    platform::msgBox(why, platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::programTitle(), 0, this);
    return std::nullopt;
}

void frmMain::cmdRenameLayer_Click()
{
    finishCellEdit();
    const std::optional<QString> chosen = layerToEdit("rename");
    if (!chosen) return;
    const QString layer = *chosen;
    // A name the drawing would refuse is not taken: the dialog says why and
    // stays open.
    frmRenameLayer dialog(
        layer, [this, layer](const QString& name) { return DDVue1->engine().renameLayerRefusal(layer, name); }, this);
    const bool ok = platform::showModal(dialog) == QDialog::Accepted;
    Form_Activate();
    if (!ok) return;
    platform::WaitCursor wait;
    finishStructureEdit(edit::renameLayer(*DDVue1, layer, dialog.newName()));
}

void frmMain::cmdMergeLayer_Click()
{
    finishCellEdit();
    const std::optional<QString> chosen = layerToEdit("merge");
    if (!chosen) return;
    const QString layer = *chosen;
    const edit::MergeTargets targets = edit::mergeTargets(DDVue1->engine(), layer);
    if (targets.layers.isEmpty()) {
        finishStructureEdit({false, targets.refusal, {}});
        return;
    }
    frmMergeLayer dialog(layer, targets.layers, targets.preferred, this);
    const bool ok = platform::showModal(dialog) == QDialog::Accepted;
    Form_Activate();
    if (!ok) return;
    platform::WaitCursor wait;
    finishStructureEdit(edit::mergeLayer(*DDVue1, layer, dialog.target()));
}

void frmMain::cmdSyncAttributes_Click()
{
    finishCellEdit();
    if (isOpening() || !DDVue1->engine().isOpen()) return;
    // The block the current row's attribute belongs to, offered beside every block.
    frmSyncAttributes dialog(optAttribute->isChecked() ? currentField(QStringLiteral("Name")) : QString(), this);
    const bool ok = platform::showModal(dialog) == QDialog::Accepted;
    Form_Activate();
    if (!ok) return;
    platform::WaitCursor wait;
    finishStructureEdit(edit::syncAttributes(*DDVue1, dialog.block(), dialog.removeOrphaned()));
}

void frmMain::finishStructureEdit(const edit::StructureEdit& outcome)
{
    if (!outcome.done) {
        if (!outcome.message.isEmpty())
            platform::msgBox(outcome.message, platform::MsgButtons::Ok, platform::MsgIcon::Exclamation,
                             platform::programTitle(), 0, this);
        return;
    }
    // What relisting has to say (a filter that no longer leaves rows) follows
    // what the edit did.
    lblStatus->clear();
    relist(outcome.layer);
    const QString note = lblStatus->text();
    showStatus(note.isEmpty() ? outcome.message : outcome.message + QLatin1Char(' ') + note);
}

void frmMain::relist(const QString& layer)
{
    const bool listed = recordset_ && recordset_->isOpen();
    const long position = listed ? recordset_->AbsolutePosition() : 1;
    RowObject row;
    try {
        row = rowObject(recordset_.get(), selectedCategory());
    } catch (const data::RecordsetError&) {
    }
    if (!layer.isEmpty() && row.kind == RowObject::Kind::Layer) row.key = layer;
    const QString filter = currentFilter_;
    const int column = dtgDrawing->currentColumn();
    const bool focused = dtgDrawing->hasFocus();
    FillGrid();
    if (!recordset_ || !recordset_->isOpen()) return;
    // The filter stays in force where it still leaves rows; where it no
    // longer does, every row is listed and the status line says why.
    if (!filter.isEmpty()) {
        if (filter::reapplyFilter(*recordset_, filter)) currentFilter_ = filter;
        else
            showStatus(QStringLiteral("The filter %1 leaves no rows after the change: every row is listed.").arg(filter));
    }
    if (recordset_->RecordCount() <= 0) return;
    // The row of the same object where it is still listed; else the same place.
    const int found = row.kind == RowObject::Kind::None ? -1 : rowOfObject(*recordset_, *selectedCategory(), row.key);
    if (found >= 0) recordset_->setCurrentRow(found);
    else recordset_->setAbsolutePosition(std::clamp<long>(position, 1, recordset_->RecordCount()));
    if (column >= 0) dtgDrawing->setCurrentColumn(column);
    Adodc1->setCaption(editor_->positionCaption());
    if (focused) dtgDrawing->setFocus();
}

}  // namespace app
