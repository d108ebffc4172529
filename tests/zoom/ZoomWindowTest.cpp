// The zoom editor as a person uses it, on real drawings: the value of the
// grid's current cell in the editor, OK writing it into the drawing and the
// grid, layer values checked, case buttons, find and replace, the spelling
// dialog and the color picker, all through key and mouse events. With
// TESSILUX_SCREENSHOT_DIR set, the screens are saved there as pictures.

#include "TestPaths.h"
#include "colors/frmColors.h"
#include "edit/CellText.h"
#include "edit/GridEditor.h"
#include "edit/UnsavedChanges.h"
#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/Operations.h"
#include "ddvue/render/Palette.h"
#include "extract/CategoryContent.h"
#include "Doubles.h"
#include "platform/Spelling.h"
#include "zoom/frmSpelling.h"
#include "zoom/frmZoom.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace zoom;
using extract::Category;
using platform::MsgResult;

namespace {

void screenshot(QWidget* w, const char* name)
{
    QString dir = qEnvironmentVariable("TESSILUX_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    w->grab().save(QDir(dir).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
}

// The widget that has the focus once `window` is active.
QWidget* focused(QWidget* window)
{
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window; }, 5000));
    QWidget* w = QApplication::focusWidget();
    EXPECT_NE(w, nullptr);
    return w ? w : window;
}

// The parts of the main window the zoom editor works with: the drawing's
// view, the grid over one category and the Save button.
struct Workspace {
    QTemporaryDir dir;
    QString path;
    QWidget window;
    ddvue::DDVue* viewer;
    data::DataGrid* grid;
    QToolButton* save;
    data::Recordset rs;
    Category category;
    std::unique_ptr<edit::GridEditor> editor;
    std::unique_ptr<edit::UnsavedChanges> unsaved;

    Workspace(const QString& drawing, Category c) : category(c)
    {
        path = dir.filePath(QFileInfo(drawing).fileName());
        EXPECT_TRUE(QFile::copy(drawing, path));
        viewer = new ddvue::DDVue(&window);
        grid = new data::DataGrid(&window);
        save = new QToolButton(&window);
        save->hide();
        auto* layout = new QHBoxLayout(&window);
        layout->addWidget(viewer, 1);
        layout->addWidget(grid, 2);
        layout->addWidget(save);
        window.resize(1000, 500);
        QString p = path;
        EXPECT_TRUE(viewer->OpenDrawing(p)) << viewer->engine().lastError().toStdString();
        extract::loadCategory(viewer->engine(), c, rs);
        EXPECT_TRUE(extract::showCategory(*grid, rs, c));
        // The grid's write-back, as the main window has it.
        edit::GridHost h;
        h.category = [this] { return std::optional<Category>(category); };
        h.recordset = [this] { return &rs; };
        h.editBegan = [this] { unsaved->editBegan(); };
        h.parent = &window;
        editor = std::make_unique<edit::GridEditor>(*viewer, std::move(h));
        // The Save button follows the drawing's history, as in the main window.
        unsaved = std::make_unique<edit::UnsavedChanges>([this](bool u) { save->setVisible(u); });
        unsaved->setDrawing([this] { return viewer->engine().differsFromDisk(); });
        QObject::connect(viewer, &ddvue::DDVue::historyChanged, [this] { unsaved->refresh(); });
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    ~Workspace() { grid->setRecordset(nullptr); }

    bool changed() const { return save->isVisibleTo(&window); }
    ZoomHost host()
    {
        ZoomHost h;
        std::optional<edit::GridCell> cell = editor->currentCell(grid->currentColumn());
        EXPECT_TRUE(cell);
        if (cell) h.cell = *cell;
        h.recordset = &rs;
        h.viewer = viewer;
        h.drawingChanged = [this] { return changed(); };
        h.writeCell = [this](const edit::GridCell& c, const QString& v) { return editor->writeCell(c, v); };
        return h;
    }
    // Makes the row whose `field` is `value` current, and `column` the current column.
    void go(const QString& field, const QString& value, int column)
    {
        int f = rs.fieldIndex(field);
        for (int row = 0; row < rs.rowCount(); ++row)
            if (rs.cell(row, f) == value) {
                rs.setCurrentRow(row);
                grid->setCurrentColumn(column);
                return;
            }
        ADD_FAILURE() << "no row with " << field.toStdString() << " " << value.toStdString();
    }
    // The text of an object as the drawing now holds it.
    QString stored(const QString& handle)
    {
        const ddvue::dxf::Document* doc = viewer->engine().document();
        auto rec = doc->findHandle(handle.toStdString());
        return rec ? QString::fromStdString(ddvue::dxf::entityText(*doc, *rec)) : QString();
    }
    int colorOf(const QString& handle)
    {
        const ddvue::dxf::Document* doc = viewer->engine().document();
        auto rec = doc->findHandle(handle.toStdString());
        return rec ? static_cast<int>(doc->view(*rec).integerOf(62, 256)) : -1;
    }
};

// Shows the editor over the workspace and waits until it can be typed into.
std::unique_ptr<frmZoom> openZoom(Workspace& ws)
{
    auto z = std::make_unique<frmZoom>(ws.host(), &ws.window);
    z->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(z.get()));
    return z;
}

struct Seams {
    platform::ScriptedMessageBoxes boxes;
    platform::ScriptedScreenRunner screens;
    platform::Installed<platform::MessageBoxes> b{boxes};
    platform::Installed<platform::ScreenRunner> r{screens};
};

const QString Studio = testpaths::samples(QStringLiteral("studio-floor-plan-2018.dxf"));

}  // namespace

TEST(frmZoom, OkWritesTheEditedValueIntoTheDrawingAndTheGrid)
{
    Seams seams;
    Workspace ws(Studio, Category::SingleText);
    ws.go(QStringLiteral("Handle"), ws.rs.cell(3, ws.rs.fieldIndex(QStringLiteral("Handle"))).toString(), 2);
    const QString handle = ws.rs.value(QStringLiteral("Handle"));
    const QString before = ws.grid->text();
    auto z = openZoom(ws);
    EXPECT_EQ(z->windowTitle(), QStringLiteral("Field: Value   Record: 4"));
    EXPECT_EQ(z->txtValue->toPlainText(), before);
    EXPECT_EQ(z->InitialValue(), before);
    EXPECT_TRUE(z->ValueChanged());  // filled at load
    EXPECT_EQ(z->ZoomColumn(), 2);
    EXPECT_TRUE(z->cmdColor->isVisible());
    EXPECT_TRUE(z->cmdSpellCheck->isVisible());
    EXPECT_EQ(z->cmdSpellCheck->toolTip(), QStringLiteral("Spell Check"));
    EXPECT_EQ(z->cmdColor->toolTip(), QStringLiteral("Color Palette"));

    // Typed at the end, then Enter: OK.
    QWidget* box = focused(z.get());
    ASSERT_EQ(box, z->txtValue);
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(box, " (nord)");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_FALSE(z->isVisible());
    EXPECT_EQ(ws.stored(handle), before + QStringLiteral(" (nord)"));
    EXPECT_EQ(ws.grid->text(), before + QStringLiteral(" (nord)"));
    EXPECT_TRUE(ws.changed());
    EXPECT_TRUE(seams.boxes.shown.empty());
}

TEST(frmZoom, CaseButtonsUndoAndUnchangedValues)
{
    Seams seams;
    Workspace ws(Studio, Category::Attributes);
    // A single-line value in mixed letter case.
    const int valueField = ws.rs.fieldIndex(QStringLiteral("AttributeValue"));
    for (int row = 0; row < ws.rs.rowCount(); ++row) {
        QString v = ws.rs.cell(row, valueField).toString();
        if (v != v.toUpper() && v != v.toLower() && !v.contains(QLatin1Char('\\'))) {
            ws.rs.setCurrentRow(row);
            break;
        }
    }
    ws.grid->setCurrentColumn(7);
    const QString handle = ws.rs.value(QStringLiteral("AttributeHandle"));
    const QString value = ws.grid->text();
    ASSERT_NE(value, value.toUpper());
    {
        // OK without a change: nothing written, Save stays hidden.
        auto z = openZoom(ws);
        EXPECT_EQ(z->windowTitle(),
                  QStringLiteral("Field: AttributeValue   Record: %1").arg(ws.rs.AbsolutePosition()));
        QTest::mouseClick(z->cmdOK, Qt::LeftButton);
        EXPECT_FALSE(ws.changed());
        EXPECT_FALSE(ws.viewer->engine().document()->modified());
    }
    {
        // Upper case, then Undo All Changes, then OK: nothing written.
        auto z = openZoom(ws);
        QTest::mouseClick(z->Command3, Qt::LeftButton);
        EXPECT_EQ(z->txtValue->toPlainText(), value.toUpper());
        QTest::mouseClick(z->Command5, Qt::LeftButton);
        EXPECT_EQ(z->txtValue->toPlainText(), value);
        QTest::mouseClick(z->cmdOK, Qt::LeftButton);
        EXPECT_FALSE(ws.changed());
    }
    {
        // Only the letter case changed: written. Esc is Cancel.
        auto z = openZoom(ws);
        QTest::mouseClick(z->Command4, Qt::LeftButton);
        EXPECT_EQ(z->txtValue->toPlainText(), value.toLower());
        QTest::mouseClick(z->Command2, Qt::LeftButton);
        EXPECT_EQ(z->txtValue->toPlainText(), edit::properCase(value));
        QTest::keyClick(focused(z.get()), Qt::Key_Escape);
        EXPECT_FALSE(z->isVisible());
        EXPECT_FALSE(ws.changed());
        z = openZoom(ws);
        QTest::mouseClick(z->Command3, Qt::LeftButton);
        QTest::mouseClick(z->cmdOK, Qt::LeftButton);
        EXPECT_EQ(ws.stored(handle), value.toUpper());
        EXPECT_EQ(ws.grid->text(), value.toUpper());
        EXPECT_TRUE(ws.changed());
    }
    {
        // Emptied: one space.
        auto z = openZoom(ws);
        QWidget* box = focused(z.get());
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(ws.stored(handle), QStringLiteral(" "));
        EXPECT_EQ(ws.grid->text(), QStringLiteral(" "));
    }
    EXPECT_TRUE(seams.boxes.shown.empty());
}

TEST(frmZoom, MultiLineAttributeShowsParagraphsAsLines)
{
    Seams seams;
    Workspace ws(Studio, Category::Attributes);
    ws.go(QStringLiteral("AttributeHandle"), QStringLiteral("B6"), 7);
    ASSERT_EQ(ws.grid->text(), QString::fromUtf8("Estúdio Alfama\\PPlanta do piso térreo"));
    auto z = openZoom(ws);
    EXPECT_EQ(z->txtValue->toPlainText(), QString::fromUtf8("Estúdio Alfama\nPlanta do piso térreo"));
    QWidget* box = focused(z.get());
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);  // a new line, not OK
    EXPECT_TRUE(z->isVisible());
    QTest::keyClicks(box, "Escala 1:50");
    screenshot(z.get(), "frmZoom");
    QTest::keyClick(box, Qt::Key_Return);
    const QString expected = QString::fromUtf8("Estúdio Alfama\\PPlanta do piso térreo\\PEscala 1:50");
    EXPECT_EQ(ws.stored(QStringLiteral("B6")), expected);
    EXPECT_EQ(ws.grid->text(), expected);
}

TEST(frmZoom, LayerValuesAreCheckedWithWarnings)
{
    Seams seams;
    Workspace ws(Studio, Category::Layers);
    auto layer = [&](const char* name) {
        const ddvue::dxf::Document* doc = ws.viewer->engine().document();
        return ddvue::dxf::layerState(*doc, *doc->findLayer(name));
    };
    auto edit = [&](const char* layerName, int column, const char* typed) {
        ws.go(QStringLiteral("Name"), QString::fromLatin1(layerName), column);
        auto z = openZoom(ws);
        QWidget* box = focused(z.get());
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, QString::fromLatin1(typed));
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_FALSE(z->isVisible());
        return ws.grid->text();
    };
    {
        // Display: no color button, no spell check.
        ws.go(QStringLiteral("Name"), QStringLiteral("A-WALL"), 1);
        auto z = openZoom(ws);
        EXPECT_EQ(z->windowTitle(), QStringLiteral("Field: Display   Record: 3"));
        EXPECT_FALSE(z->cmdColor->isVisible());
        EXPECT_FALSE(z->cmdSpellCheck->isVisible());
    }
    EXPECT_EQ(edit("A-WALL", 1, "Of"), QStringLiteral("On"));
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, QStringLiteral("Layer not changed. Value must be 'On' or 'Off'."));
    EXPECT_EQ(seams.boxes.shown[0].icon, platform::MsgIcon::Exclamation);
    EXPECT_FALSE(ws.changed());  // a rejected value is no change
    EXPECT_EQ(edit("A-WALL", 1, "oFF"), QStringLiteral("Off"));
    EXPECT_FALSE(layer("A-WALL").on);
    EXPECT_TRUE(ws.changed());

    EXPECT_EQ(edit("A-DOOR", 2, "7.5"), QStringLiteral("8"));
    EXPECT_EQ(layer("A-DOOR").color, 8);
    EXPECT_EQ(edit("A-DOOR", 2, "2.5"), QStringLiteral("2"));
    EXPECT_EQ(edit("A-DOOR", 2, "256"), QStringLiteral("2"));
    EXPECT_EQ(seams.boxes.shown.back().text, QStringLiteral("Layer not changed. Value must be between 1 and 255."));
    EXPECT_EQ(edit("A-DOOR", 2, "abc"), QStringLiteral("2"));
    EXPECT_EQ(seams.boxes.shown.back().text, QStringLiteral("Layer not changed. Value must be numeric."));
    EXPECT_EQ(layer("A-DOOR").color, 2);
    EXPECT_EQ(seams.boxes.shown.size(), 3u);
}

TEST(frmZoom, AWriteTheDrawingRefusesIsToldAndTheOldValueStays)
{
    Seams seams;
    Workspace ws(Studio, Category::SingleText);
    ws.rs.setCurrentRow(0);
    ws.grid->setCurrentColumn(2);
    const QString handle = ws.rs.value(QStringLiteral("Handle"));
    const QString before = ws.grid->text();
    auto z = openZoom(ws);
    // The object goes from the drawing behind the editor's back.
    ASSERT_TRUE(ws.viewer->edit().DeleteEntity(handle));
    QWidget* box = focused(z.get());
    QTest::keyClicks(box, "x");
    seams.boxes.answers = {MsgResult::Ok};
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].icon, platform::MsgIcon::Exclamation);
    EXPECT_TRUE(seams.boxes.shown[0].text.startsWith(QStringLiteral("The drawing did not take the new value")));
    EXPECT_TRUE(seams.boxes.shown[0].text.contains(handle)) << seams.boxes.shown[0].text.toStdString();
    EXPECT_EQ(ws.grid->text(), before);
    EXPECT_EQ(ws.viewer->engine().document()->history().undoLabel(), "Delete object")
        << "the deletion is the drawing's last change: the refused value is none";
    EXPECT_FALSE(z->isVisible());
}

TEST(frmZoom, FindAndReplaceInTheValue)
{
    Seams seams;
    Workspace ws(Studio, Category::SingleText);
    ws.rs.setCurrentRow(0);
    ws.grid->setCurrentColumn(2);
    auto z = openZoom(ws);
    z->txtValue->setPlainText(QStringLiteral("abab"));
    QTest::keyClicks(z->txtFindWhat, "ab");
    QTest::mouseClick(z->Command1, Qt::LeftButton);
    EXPECT_EQ(z->lblMsg->text(), QStringLiteral("Text found at position 1."));
    EXPECT_EQ(z->txtValue->textCursor().selectedText(), QStringLiteral("ab"));
    EXPECT_EQ(QApplication::focusWidget(), z->txtValue);
    EXPECT_EQ(z->FindStart(), 4);
    QTest::mouseClick(z->cmdFind, Qt::LeftButton);
    EXPECT_EQ(z->lblMsg->text(), QStringLiteral("Text not found."));
    EXPECT_EQ(z->lblMsg->palette().color(QPalette::WindowText), QColor(192, 0, 0));

    // Replace the selection found, Replace All, and what each asks for.
    QTest::mouseClick(z->Command1, Qt::LeftButton);
    QTest::keyClicks(z->txtReplaceWith, "X");
    QTest::mouseClick(z->cmdReplace, Qt::LeftButton);
    EXPECT_EQ(z->txtValue->toPlainText(), QStringLiteral("Xab"));
    EXPECT_EQ(z->lblMsg->text(), QStringLiteral("Text not found."));  // Find Next from 4
    QTest::mouseClick(z->cmdReplaceAll, Qt::LeftButton);
    EXPECT_EQ(z->txtValue->toPlainText(), QStringLiteral("XX"));
    EXPECT_EQ(z->lblMsg->text(), QStringLiteral("Text found and replaced."));
    z->txtReplaceWith->clear();
    QTest::mouseClick(z->cmdReplaceAll, Qt::LeftButton);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, QStringLiteral("Enter replacement text."));
    EXPECT_EQ(seams.boxes.shown[0].icon, platform::MsgIcon::Information);
    EXPECT_EQ(QApplication::focusWidget(), z->txtReplaceWith);
    z->txtFindWhat->clear();
    QTest::mouseClick(z->cmdFind, Qt::LeftButton);
    EXPECT_EQ(seams.boxes.shown.back().text, QStringLiteral("Enter text to find."));
    EXPECT_EQ(QApplication::focusWidget(), z->txtFindWhat);

    // Whole word at the end of the value, found again and again.
    z->txtValue->setPlainText(QStringLiteral("seafoo"));
    QTest::keyClicks(z->txtFindWhat, "foo");
    QTest::mouseClick(z->chkWholeWord, Qt::LeftButton);
    QTest::mouseClick(z->Command1, Qt::LeftButton);
    EXPECT_EQ(z->lblMsg->text(), QStringLiteral("Text found at position 4."));
    QTest::mouseClick(z->cmdFind, Qt::LeftButton);
    EXPECT_EQ(z->lblMsg->text(), QStringLiteral("Text found at position 4."));

    // The panel changes only the editor: the drawing waits for OK.
    EXPECT_FALSE(ws.viewer->engine().document()->modified());
}

// Enter presses the button that has the focus; it is OK only in the value
// box and where no button has the focus. Tab moves the focus as a person
// moves it, and every key goes to the widget that has the focus.
TEST(frmZoom, EnterPressesTheFocusedButtonAndIsOkElsewhere)
{
    Seams seams;
    platform::WordListService noDictionary;
    noDictionary.failure = QStringLiteral("No spelling dictionary was found.");
    platform::Installed<platform::SpellingService> s(noDictionary);
    Workspace ws(Studio, Category::SingleText);
    ws.rs.setCurrentRow(0);
    ws.grid->setCurrentColumn(2);
    const QString handle = ws.rs.value(QStringLiteral("Handle"));
    auto z = openZoom(ws);
    z->txtValue->setPlainText(QStringLiteral("abab"));
    ASSERT_EQ(focused(z.get()), z->txtValue);
    auto tabTo = [&](QWidget* target) {
        for (int i = 0; i < 40 && QApplication::focusWidget() != target; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), target) << target->objectName().toStdString();
    };
    auto enter = [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); };

    ASSERT_NO_FATAL_FAILURE(tabTo(z->txtFindWhat));
    QTest::keyClicks(QApplication::focusWidget(), "ab");
    ASSERT_NO_FATAL_FAILURE(tabTo(z->txtReplaceWith));
    QTest::keyClicks(QApplication::focusWidget(), "X");
    ASSERT_NO_FATAL_FAILURE(tabTo(z->Command1));
    enter();
    EXPECT_EQ(z->lblMsg->text(), QStringLiteral("Text found at position 1."));
    EXPECT_EQ(QApplication::focusWidget(), z->txtValue);  // where the match is selected
    ASSERT_NO_FATAL_FAILURE(tabTo(z->cmdReplace));
    enter();
    EXPECT_EQ(z->txtValue->toPlainText(), QStringLiteral("Xab"));
    EXPECT_EQ(z->lblMsg->text(), QStringLiteral("Text not found."));  // Replace's own Find Next
    ASSERT_NO_FATAL_FAILURE(tabTo(z->cmdFind));
    enter();
    EXPECT_EQ(z->lblMsg->text(), QStringLiteral("Text found at position 2."));
    ASSERT_NO_FATAL_FAILURE(tabTo(z->cmdReplaceAll));
    enter();
    EXPECT_EQ(z->txtValue->toPlainText(), QStringLiteral("XX"));
    EXPECT_EQ(z->lblMsg->text(), QStringLiteral("Text found and replaced."));
    ASSERT_NO_FATAL_FAILURE(tabTo(z->Command4));  // Lower Case
    enter();
    EXPECT_EQ(z->txtValue->toPlainText(), QStringLiteral("xx"));
    // A picture button as well: the spelling check, which says it has no dictionary.
    ASSERT_NO_FATAL_FAILURE(tabTo(z->cmdSpellCheck));
    enter();
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_TRUE(seams.boxes.shown[0].text.startsWith(QStringLiteral("Unable to spell check.")));
    // Space toggles a check box.
    ASSERT_NO_FATAL_FAILURE(tabTo(z->chkMatchCase));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(z->chkMatchCase->isChecked());
    ASSERT_TRUE(z->isVisible());
    EXPECT_FALSE(ws.viewer->engine().document()->modified());

    // Where no button has the focus, Enter is OK: in the value box, after
    // Ctrl+Enter started a line there, or on a check box.
    ASSERT_NO_FATAL_FAILURE(tabTo(z->txtValue));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(z->txtValue->toPlainText(), QStringLiteral("xx\n"));
    ASSERT_TRUE(z->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    ASSERT_NO_FATAL_FAILURE(tabTo(z->chkWholeWord));
    enter();
    EXPECT_FALSE(z->isVisible());
    EXPECT_EQ(z->result(), QDialog::Accepted);
    EXPECT_EQ(ws.stored(handle), QStringLiteral("xx"));
}

TEST(frmZoom, SpellingDialogCorrectsAWord)
{
    if (!platform::spelling().open({})) GTEST_SKIP() << "no Hunspell dictionary";
    Seams seams;
    Workspace ws(Studio, Category::Attributes);
    ws.rs.setCurrentRow(0);
    ws.grid->setCurrentColumn(7);
    const QString handle = ws.rs.value(QStringLiteral("AttributeHandle"));
    auto z = openZoom(ws);
    z->txtValue->setPlainText(QStringLiteral("Grund flooor plan\nDWG A-101, 2x4 studs at 16\" %%c50 \\A1;beams"));

    bool sawDialog = false;
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& dialog = dynamic_cast<frmSpelling&>(d);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        sawDialog = true;
        // The first unknown word, in its line, with suggestions.
        EXPECT_EQ(dialog.txtContext->toPlainText(), QStringLiteral("Grund flooor plan"));
        EXPECT_TRUE(dialog.windowTitle().contains(QStringLiteral("en_")));
        const QString first = dialog.txtChangeTo->text();
        EXPECT_FALSE(first.isEmpty());
        screenshot(&dialog, "frmSpelling");
        // Grund: typed over the suggestion, then Change.
        dialog.txtChangeTo->setText(QStringLiteral("Ground"));
        QTest::mouseClick(dialog.cmdChange, Qt::LeftButton);
        // flooor: the suggestion "floor" picked from the list, Change All.
        QList<QListWidgetItem*> floor = dialog.lstSuggestions->findItems(QStringLiteral("floor"), Qt::MatchExactly);
        EXPECT_FALSE(floor.isEmpty());
        if (!floor.isEmpty()) dialog.lstSuggestions->setCurrentItem(floor.first());
        EXPECT_EQ(dialog.txtChangeTo->text(), QStringLiteral("floor"));
        EXPECT_EQ(dialog.cmdCancel->text(), QStringLiteral("Close"));
        QTest::mouseClick(dialog.cmdChangeAll, Qt::LeftButton);
        // DWG is not a dictionary word: ignored; nothing else is flagged.
        if (dialog.isVisible()) {
            EXPECT_EQ(dialog.txtChangeTo->isVisible(), true);
            QTest::mouseClick(dialog.cmdIgnore, Qt::LeftButton);
        }
        EXPECT_FALSE(dialog.isVisible());
    });
    seams.boxes.answers = {MsgResult::Ok};
    QTest::mouseClick(z->cmdSpellCheck, Qt::LeftButton);
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(z->txtValue->toPlainText(),
              QStringLiteral("Ground floor plan\nDWG A-101, 2x4 studs at 16\" %%c50 \\A1;beams"));
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, QStringLiteral("The spelling check is complete."));
    // The drawing gets the corrected value with OK.
    QTest::mouseClick(z->cmdOK, Qt::LeftButton);
    EXPECT_EQ(ws.stored(handle), QStringLiteral("Ground floor plan^JDWG A-101, 2x4 studs at 16\" %%c50 \\A1;beams"));
}

TEST(frmZoom, SpellingWithoutADictionaryOrText)
{
    Seams seams;
    platform::WordListService none;
    none.failure = QStringLiteral("No spelling dictionary was found.");
    platform::Installed<platform::SpellingService> s(none);
    Workspace ws(Studio, Category::MultiText);
    ws.rs.setCurrentRow(0);
    ws.grid->setCurrentColumn(2);
    auto z = openZoom(ws);
    const QString value = z->txtValue->toPlainText();
    QTest::mouseClick(z->cmdSpellCheck, Qt::LeftButton);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_TRUE(seams.boxes.shown[0].text.startsWith(
        QStringLiteral("Unable to spell check. Spell checking requires Hunspell with the hunspell-en-us dictionary.")));
    EXPECT_EQ(seams.boxes.shown[0].icon, platform::MsgIcon::Information);
    EXPECT_EQ(z->txtValue->toPlainText(), value);
    EXPECT_TRUE(seams.screens.shown.empty());

    z->txtValue->setPlainText(QStringLiteral("   "));
    QTest::mouseClick(z->cmdSpellCheck, Qt::LeftButton);
    EXPECT_EQ(seams.boxes.shown.back().text, QStringLiteral("No text to spell check."));
    EXPECT_EQ(none.opened, 1);
    QTest::mouseClick(z->cmdColor, Qt::LeftButton);
    EXPECT_EQ(seams.boxes.shown.back().text, QStringLiteral("No text to set color for."));
    EXPECT_TRUE(seams.screens.shown.empty());

    // Ignore All, Add (to the personal list) and Cancel in the dialog.
    platform::WordListService words;
    words.words = {QStringLiteral("a"), QStringLiteral("b")};
    platform::Installed<platform::SpellingService> w(words);
    z->txtValue->setPlainText(QStringLiteral("a qq b qq zz b"));
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& dialog = dynamic_cast<frmSpelling&>(d);
        EXPECT_EQ(dialog.lstSuggestions->isEnabled(), false);  // none offered
        EXPECT_EQ(dialog.txtChangeTo->text(), QStringLiteral("qq"));
        QTest::mouseClick(dialog.cmdIgnoreAll, Qt::LeftButton);
        EXPECT_EQ(dialog.txtChangeTo->text(), QStringLiteral("zz"));
        QTest::mouseClick(dialog.cmdAdd, Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible());
    });
    seams.boxes.answers = {MsgResult::Ok};
    QTest::mouseClick(z->cmdSpellCheck, Qt::LeftButton);
    EXPECT_EQ(words.added, QStringList{QStringLiteral("zz")});
    EXPECT_EQ(z->txtValue->toPlainText(), QStringLiteral("a qq b qq zz b"));

    z->txtValue->setPlainText(QStringLiteral("xx yy"));
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& dialog = dynamic_cast<frmSpelling&>(d);
        QTest::mouseClick(dialog.cmdChange, Qt::LeftButton);  // xx stays xx
        dialog.txtChangeTo->setText(QStringLiteral("why"));
        QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
    });
    const std::size_t boxes = seams.boxes.shown.size();
    QTest::mouseClick(z->cmdSpellCheck, Qt::LeftButton);
    EXPECT_EQ(z->txtValue->toPlainText(), QStringLiteral("xx yy"));
    EXPECT_EQ(seams.boxes.shown.size(), boxes);  // stopped: no "complete"
}

TEST(frmZoom, ColorPickerColorsOneOrAllTextsAndShowsInTheView)
{
    Seams seams;
    Workspace ws(Studio, Category::SingleText);
    ws.rs.setFilter(QStringLiteral("Layout = 'Model'"));
    ASSERT_GT(ws.rs.RecordCount(), 2);
    ws.rs.setCurrentRow(1);
    ws.grid->setCurrentColumn(2);
    const qint64 bookmark = ws.rs.Bookmark();
    const QString current = ws.rs.value(QStringLiteral("Handle"));
    QStringList inView, filteredOut;
    for (int r = 0; r < ws.rs.rowCount(); ++r) inView << ws.rs.cell(r, ws.rs.fieldIndex(QStringLiteral("Handle"))).toString();
    for (qsizetype r = 0; r < ws.rs.table().rowCount(); ++r) {
        QString h = ws.rs.table().value(r, ws.rs.fieldIndex(QStringLiteral("Handle"))).toString();
        if (!inView.contains(h)) filteredOut << h;
    }
    ASSERT_FALSE(filteredOut.isEmpty());

    auto pick = [&](int number) {
        return [&, number](QDialog& d) {
            auto& picker = dynamic_cast<colors::frmColors&>(d);
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&picker));
            for (const colors::Cell& c : colors::cells(colors::Palette::Full))
                if (c.number == number)
                    QTest::mouseClick(picker.PicFull, Qt::LeftButton, {},
                                      QPoint((c.left + c.right) / 30, (c.top + c.bottom) / 30));
            EXPECT_EQ(picker.lblColor->text(), QString::number(number));
            if (number == 10) screenshot(&picker, "frmColors");
            QTest::mouseClick(picker.cmdOK, Qt::LeftButton);
        };
    };
    auto z = openZoom(ws);
    // One text: No to "all".
    seams.screens.handlers.push_back(pick(10));
    seams.boxes.answers = {MsgResult::No};
    QImage before = ws.viewer->viewImage();
    QTest::mouseClick(z->cmdColor, Qt::LeftButton);
    EXPECT_EQ(seams.screens.shown, std::vector<QString>{QStringLiteral("frmColors")});
    EXPECT_EQ(ws.colorOf(current), 10);
    EXPECT_EQ(ws.colorOf(inView.first()), 256);
    EXPECT_EQ(z->lblColor->text(), QStringLiteral("Color: 10"));
    EXPECT_TRUE(ws.changed());
    EXPECT_TRUE(z->isVisible());  // the editor stays open outside the layers view
    // The view paints the text in its new color.
    QImage after = ws.viewer->viewImage();
    // (Text is drawn smoothed: its pixels are near the color, not all on it.)
    auto count = [](const QImage& image, QColor color) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                QColor c = image.pixelColor(x, y);
                n += c.value() > 100 && std::abs(c.hue() - color.hue()) < 10 && c.saturation() > 180;
            }
        return n;
    };
    const QColor red = QColor::fromRgb(ddvue::render::aciColor(10));
    EXPECT_GT(count(after, red), count(before, red) + 5);

    // All texts in view: Yes. The filter limits them; the row stays.
    seams.screens.handlers.push_back(pick(130));
    seams.boxes.answers = {MsgResult::Yes};
    QTest::mouseClick(z->cmdColor, Qt::LeftButton);
    for (const QString& h : inView) EXPECT_EQ(ws.colorOf(h), 130) << h.toStdString();
    for (const QString& h : filteredOut) EXPECT_NE(ws.colorOf(h), 130) << h.toStdString();
    EXPECT_EQ(ws.rs.Bookmark(), bookmark);
    EXPECT_EQ(ws.grid->currentRow(), 1);
    EXPECT_EQ(z->lblColor->text(), QStringLiteral("Color: 130"));
    EXPECT_EQ(seams.boxes.shown.size(), 2u);
}

TEST(frmZoom, ColorPickerSetsALayersColorThroughOk)
{
    Seams seams;
    Workspace ws(Studio, Category::Layers);
    ws.go(QStringLiteral("Name"), QStringLiteral("A-FURN"), 2);
    auto z = openZoom(ws);
    EXPECT_TRUE(z->cmdColor->isVisible());
    EXPECT_FALSE(z->cmdSpellCheck->isVisible());
    seams.screens.handlers.push_back([](QDialog& d) {
        auto& picker = dynamic_cast<colors::frmColors&>(d);
        // The first standard color, with a double click.
        QTest::mouseDClick(picker.picStandard, Qt::LeftButton, {}, QPoint(20, 25));
    });
    QTest::mouseClick(z->cmdColor, Qt::LeftButton);
    EXPECT_FALSE(z->isVisible());  // OK ran
    EXPECT_EQ(ws.grid->text(), QStringLiteral("1"));
    const ddvue::dxf::Document* doc = ws.viewer->engine().document();
    EXPECT_EQ(ddvue::dxf::layerState(*doc, *doc->findLayer("A-FURN")).color, 1);
    EXPECT_TRUE(seams.boxes.shown.empty());

    // Closing the picker without a color while the drawing already has
    // changes still runs OK, which writes nothing.
    ws.go(QStringLiteral("Name"), QStringLiteral("A-DOOR"), 2);
    z = openZoom(ws);
    seams.screens.handlers.push_back([](QDialog& d) { d.reject(); });
    QTest::mouseClick(z->cmdColor, Qt::LeftButton);
    EXPECT_FALSE(z->isVisible());
    EXPECT_EQ(ws.grid->text(), QStringLiteral("3"));
}
