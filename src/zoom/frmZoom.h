#pragma once
// The zoom editor: the value of the grid's current cell in a large editor,
// with case conversion, undo, its own find and replace, a spelling check and
// the color picker. OK writes the value into the drawing and the cell.
// It works on the cell that was current when it opened.
//
// Multi-line values show one paragraph a line (see ZoomText.h). In the
// editor, Enter is OK, as in every screen with an OK button; Ctrl+Enter (or
// Shift+Enter) starts a new line. Enter presses a button that has the focus
// (Find First, Replace, Upper Case...): it is OK only in the editor and
// where no button has the focus.

#include "data/Recordset.h"
#include "ddvue/DDVue.h"
#include "edit/GridEditor.h"
#include "extract/Categories.h"
#include "zoom/ZoomSearch.h"
#include "zoom/ZoomValue.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace zoom {

// What the zoom editor works on, from the main window.
struct ZoomHost {
    // The cell F2 was pressed on, as it was then.
    edit::GridCell cell;
    data::Recordset* recordset = nullptr;  // the grid's rows
    ddvue::DDVue* viewer = nullptr;        // the drawing
    // Whether the drawing has unsaved changes (the main window's Save button
    // shows them; the drawing's own history decides).
    std::function<bool()> drawingChanged;
    // The grid's write-back of one cell (edit::GridEditor::writeCell): the
    // value into the drawing and the cell; when the drawing refuses, the
    // person is told and the cell keeps its value.
    std::function<edit::WriteResult(const edit::GridCell& cell, const QString& value)> writeCell;
};

class frmZoom : public QDialog {
    Q_OBJECT
public:
    explicit frmZoom(ZoomHost host, QWidget* parent = nullptr);

    QPlainTextEdit* txtValue;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QPushButton* Command2;  // Proper Case
    QPushButton* Command3;  // Upper Case
    QPushButton* Command4;  // Lower Case
    QPushButton* Command5;  // Undo All Changes
    QToolButton* cmdColor;
    QToolButton* cmdSpellCheck;
    QLabel* lblColor;
    QLabel* lblMsg;
    QLabel* Label1;  // "Find What"
    QLineEdit* txtFindWhat;
    QLabel* Label2;  // "Replace With"
    QLineEdit* txtReplaceWith;
    QCheckBox* chkMatchCase;
    QCheckBox* chkWholeWord;
    QPushButton* cmdFind;   // Find Next
    QPushButton* Command1;  // Find First
    QPushButton* cmdReplace;
    QPushButton* cmdReplaceAll;

    // The state fixed at load, and what has happened since.
    short ZoomColumn() const { return zoomColumn_; }
    const QString& InitialValue() const { return value_.initial(); }
    bool ValueChanged() const { return valueChanged_; }
    int FindStart() const { return search_.findStart(); }
    const ZoomValue& value() const { return value_; }

    // Handlers, callable as the events call them.
    void cmdOK_Click();
    void cmdCancel_Click();
    void Command1_Click();  // Find First
    void cmdFind_Click();   // Find Next
    void cmdReplace_Click();
    void cmdReplaceAll_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void cmdColor_Click();
    void cmdSpellCheck_Click();
    // Sets the color label, as the color picker does; the drawing then has
    // unsaved changes.
    void setColorLabel(const QString& caption);
    // Checks the spelling of the box's text in the spelling dialog: 1 when
    // done (the corrections are in the box), -1 when no dictionary could be
    // loaded (the box is unchanged; `why` says what was missing).
    int SpellCheckText(QPlainTextEdit* box, QString* why = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    // Replaces the editor's whole text as an edit that Ctrl+Z takes back.
    void setValueText(const QString& text);
    EditorText editorText() const;
    void apply(const SearchOutcome& outcome, const EditorText& text);
    SearchOptions options() const;

    ZoomHost host_;
    short zoomColumn_ = -1;
    ZoomValue value_;
    bool valueChanged_ = false;
    bool colorChosen_ = false;  // the color picker set a color
    ZoomSearch search_;
};

}  // namespace zoom
