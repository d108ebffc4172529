// The main window's function keys, its Print and About buttons and its
// view's events, pressed and moved as a person would: keys typed to the
// widget that has the focus, the screens they open worked through the
// modal-screen seam.

#include "QtPrint.h"
#include "WindowKit.h"
#include "app/frmHelp.h"

#include "drawing/PointerStatus.h"
#include "drawing/frmDrawing.h"
#include "filter/frmField.h"
#include "filter/frmFilter.h"
#include "Doubles.h"
#include "screens/frmAbout.h"
#include "screens/frmOptions.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using app::frmMain;
using platform::MsgResult;

namespace {

struct Seams {
    platform::MemorySettingsStore settings;
    platform::ScriptedMessageBoxes boxes;
    platform::ScriptedScreenRunner screens;
    platform::ScriptedFileDialogs dialogs;
    platform::RecordingShellOpener shell;
    platform::Installed<platform::SettingsStore> s{settings};
    platform::Installed<platform::MessageBoxes> b{boxes};
    platform::Installed<platform::ScreenRunner> r{screens};
    platform::Installed<platform::FileDialogs> d{dialogs};
    platform::Installed<platform::ShellOpener> o{shell};
};

// A folder with copies of two bundled samples.
struct Folder {
    QTemporaryDir dir;
    Folder()
    {
        for (const char* name : {"office-floor-plan-2000.dxf", "workshop-plan-R12.dxf"})
            QFile::copy(testpaths::samples(name), dir.filePath(name));
    }
    QString path(const QString& name = QString()) const { return name.isEmpty() ? dir.path() : dir.filePath(name); }
};

std::unique_ptr<frmMain> startIn(Seams& seams, const QString& folder)
{
    seams.settings.values["Dir"] = folder;
    seams.settings.values["Drive"] = "/";
    auto w = std::make_unique<frmMain>();
    w->screenWidth = [] { return 1280; };
    w->Combo2->setEditText("*.dxf");
    w->Combo2_Change();
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
}

// A key typed where the focus is in the window, the window active as it is
// under a person's hands.
void key(frmMain& w, int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    ASSERT_TRUE(windowkit::activate(&w));
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus && focus->window() == &w ? focus : static_cast<QWidget*>(&w), static_cast<Qt::Key>(k),
                    modifiers);
}

void open(frmMain& w, const QString& name)
{
    windowkit::open(w, name);
    ASSERT_TRUE(w.DDVue1->engine().isOpen());
}

// The tutorial beside the program, which F9 hands to the desktop; put there
// for the test when the build has not put it there.
struct TutorialBesideTheProgram {
    QString path = QCoreApplication::applicationDirPath() + "/korvane.pdf";
    bool made = false;
    TutorialBesideTheProgram()
    {
        if (QFile::exists(path)) return;
        QFile f(path);
        made = f.open(QIODevice::WriteOnly);
    }
    ~TutorialBesideTheProgram()
    {
        if (made) QFile::remove(path);
    }
};

}  // namespace

TEST(FunctionKeys, WithoutADrawingOnlyTheScreensAndTheTutorialAnswer)
{
    Seams seams;
    Folder folder;
    TutorialBesideTheProgram tutorial;
    auto w = startIn(seams, folder.path());

    for (int k : {Qt::Key_F3, Qt::Key_F4, Qt::Key_F5, Qt::Key_F6}) key(*w, k);
    key(*w, Qt::Key_F1, Qt::ShiftModifier);
    key(*w, Qt::Key_F8, Qt::ControlModifier);
    EXPECT_TRUE(seams.screens.shown.empty());
    EXPECT_TRUE(seams.shell.opened.empty());

    // F1: the help screen, closed with Enter.
    seams.screens.handlers.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Tessilux - Help Screen");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        QTest::keyClick(d.focusWidget(), Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
    });
    key(*w, Qt::Key_F1);
    // F7: the options screen; its paths reach the view.
    seams.screens.handlers.push_back([](QDialog& d) {
        auto& options = static_cast<screens::frmOptions&>(d);
        QTest::keyClicks(options.txtPaths, "/srv/fonts");
        QTest::keyClick(options.txtPaths, Qt::Key_Return);
    });
    key(*w, Qt::Key_F7);
    EXPECT_EQ(seams.settings.values["Paths"], "/srv/fonts");
    EXPECT_EQ(w->DDVue1->engine().searchPaths(), "/srv/fonts");
    // F8 and the About button: the about screen.
    seams.screens.handlers.push_back([](QDialog&) {});
    key(*w, Qt::Key_F8);
    seams.screens.handlers.push_back([](QDialog&) {});
    QTest::mouseClick(w->cmdHelp, Qt::LeftButton);
    EXPECT_EQ(seams.screens.shown, (std::vector<QString>{"frmHelp", "frmOptions", "frmAbout", "frmAbout"}));

    // F9: the tutorial beside the program.
    key(*w, Qt::Key_F9);
    ASSERT_EQ(seams.shell.opened.size(), 1u);
    EXPECT_EQ(seams.shell.opened[0], QUrl::fromLocalFile(w->AppFolder() + "korvane.pdf"));
    EXPECT_TRUE(seams.boxes.shown.empty());
    // Without a program for PDF files F9 says so instead of doing nothing.
    seams.shell.result = false;
    key(*w, Qt::Key_F9);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text,
              "No program to open " + QDir::toNativeSeparators(w->AppFolder() + "korvane.pdf") + " is installed.");
    seams.boxes.shown.clear();
    seams.shell.result = true;

    // The pointer over the empty view changes nothing.
    QTest::mouseMove(w->DDVue1, QPoint(30, 30));
    QTest::qWait(10);
    EXPECT_EQ(w->lblStatus->text(), "");
    EXPECT_EQ(seams.screens.unexpected, 0);
    EXPECT_TRUE(seams.boxes.shown.empty());
}

TEST(FunctionKeys, TheHelpScreenListsTheKeysAsWritten)
{
    QStringList table = app::frmHelp::keyTable();
    ASSERT_EQ(table.size(), 12);
    EXPECT_EQ(table[0], "");
    EXPECT_EQ(table[1], "   Key   Function");
    EXPECT_EQ(table[3], "   F1     Invoke this screen");
    EXPECT_EQ(table[7], "   F5     Invoke the Zoom Screen for the active AutoCAD drawing");
    EXPECT_EQ(table[11], "   F9     Open the Tessilux Tutorial (PDF file)");
    app::frmHelp help;
    help.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
    QTest::keyClick(help.focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(help.isVisible());
}

TEST(FunctionKeys, WithADrawingTheyOpenPrintAndShowIt)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    ASSERT_NO_FATAL_FAILURE(open(*w, "office-floor-plan-2000.dxf"));
    const QString path = w->CurrentDrawingPath();
    const ddvue::dxf::Document* mainDrawing = w->DDVue1->engine().document();

    key(*w, Qt::Key_F3);
    ASSERT_EQ(seams.shell.opened.size(), 1u);
    EXPECT_EQ(seams.shell.opened[0], QUrl::fromLocalFile(path));
    // F4 prints to the default printer; with none installed (as here) it
    // asks through the print dialog, which offers a PDF file. The Print
    // button always asks, and the preview beside it shows the page.
    const bool noPrinter = QPrinterInfo::availablePrinters().isEmpty();
    if (noPrinter) {
        seams.screens.handlers.push_back([](QDialog& d) {
            EXPECT_EQ(d.objectName(), "dlgPrint");
            d.reject();
        });
        key(*w, Qt::Key_F4);
        ASSERT_EQ(seams.screens.shown, std::vector<QString>{"dlgPrint"});
    }
    const std::size_t screensBefore = seams.screens.shown.size();
    seams.screens.handlers.push_back([](QDialog& d) { d.reject(); });
    QTest::mouseClick(w->cmdPrint, Qt::LeftButton);
    EXPECT_EQ(w->cmdPrintPreview->toolTip(), "Print Preview");
    seams.screens.handlers.push_back(
        [](QDialog& d) { QTest::mouseClick(d.findChild<QPushButton*>("cmdClose"), Qt::LeftButton); });
    QTest::mouseClick(w->cmdPrintPreview, Qt::LeftButton);
    ASSERT_EQ(seams.screens.shown.size(), screensBefore + 2);
    EXPECT_EQ(seams.screens.shown[screensBefore], "dlgPrint");
    EXPECT_EQ(seams.screens.shown[screensBefore + 1], "dlgPrintPreview");
    EXPECT_TRUE(seams.boxes.shown.empty());  // cancelled and closed: nothing said
    seams.screens.shown.clear();

    // F5: the drawing window, on its own reading of the file; a picture saved
    // there leaves its folder for the next one.
    QTemporaryDir pictures;
    seams.dialogs.answers = {pictures.filePath("plan.bmp")};
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& window = static_cast<drawing::frmDrawing&>(d);
        EXPECT_EQ(window.windowTitle(), path);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_TRUE(viewdriver::waitFor([&] { return !window.isOpening(); }));
        ASSERT_TRUE(window.DDVue1->engine().isOpen());
        EXPECT_NE(window.DDVue1->engine().document(), mainDrawing);
        ASSERT_TRUE(viewdriver::zoomOnLargestText(*window.DDVue1, 40));
        ASSERT_TRUE(windowkit::activate(&window));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
        EXPECT_FALSE(window.isVisible());
    });
    key(*w, Qt::Key_F5);
    ASSERT_EQ(seams.screens.shown, std::vector<QString>{"frmDrawing"});
    EXPECT_TRUE(QFile::exists(pictures.filePath("plan.bmp")));
    EXPECT_EQ(w->BitmapFolder(), pictures.path() + "/");
    // The main window's drawing is the one it had, open and whole.
    EXPECT_TRUE(w->DDVue1->engine().isOpen());
    EXPECT_EQ(w->DDVue1->engine().document(), mainDrawing);
    EXPECT_EQ(w->recordset()->RecordCount(), 32);

    // A double-click in the view asks for the same window.
    seams.screens.handlers.push_back([](QDialog& d) { EXPECT_EQ(d.objectName(), "frmDrawing"); });
    QTest::mouseDClick(w->DDVue1, Qt::LeftButton, {}, QPoint(40, 40));
    EXPECT_EQ(seams.screens.shown.size(), 2u);

    // The pointer over the view: screen and drawing positions.
    QPoint at(w->DDVue1->width() / 2, w->DDVue1->height() / 3);
    QTest::mouseMove(w->DDVue1, at);
    // A message on the status line stays where the pointer's position goes
    // to its own part, in drawing units at the drawing's precision.
    w->lblStatus->setText("Repaired on reading: a message");
    ASSERT_TRUE(viewdriver::waitFor([&] { return !w->lblPointer->text().isEmpty(); }, 5000));
    double dx = 0, dy = 0;
    w->DDVue1->ScreenToDrawing(at.x(), at.y(), dx, dy);
    const int decimals = drawing::linearPrecision(w->DDVue1->engine().document()->headerText("$LUPREC"));
    EXPECT_EQ(w->lblPointer->text(), drawing::pointerCoordinates(dx, dy, decimals));
    EXPECT_EQ(w->lblStatus->text(), "Repaired on reading: a message");

    w->close();
    EXPECT_EQ(seams.settings.values["BMPDir"], pictures.path() + "/");
    EXPECT_EQ(seams.screens.unexpected, 0);
    EXPECT_EQ(seams.boxes.unexpected, 0);
}

TEST(FunctionKeys, F6FiltersTheGridWhenItHasRowsAndMoreThanTwoFields)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    ASSERT_NO_FATAL_FAILURE(open(*w, "office-floor-plan-2000.dxf"));
    ASSERT_EQ(w->recordset()->RecordCount(), 32);

    // A filter built with the field picker and applied with OK.
    seams.boxes.answers = {MsgResult::Ok};
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& screen = static_cast<filter::frmFilter&>(d);
        EXPECT_TRUE(screen.helpText().endsWith("AttributeTag, AttributeValue"));
        seams.screens.handlers.push_front([](QDialog& p) {
            auto& picker = static_cast<filter::frmField&>(p);
            picker.lstFields->setCurrentRow(6);
            emit picker.lstFields->itemDoubleClicked(picker.lstFields->currentItem());
            QTest::mouseClick(picker.cmdEquals, Qt::LeftButton);
            QTest::keyClicks(picker.txtValue, "NAME");
            QTest::mouseClick(picker.cmdAdd, Qt::LeftButton);
            QTest::keyClick(picker.txtValue, Qt::Key_Return);
        });
        QTest::mouseClick(screen.cmdFields, Qt::LeftButton);
        EXPECT_EQ(screen.txtFilter->text(), "AttributeTag = 'NAME'");
        QTest::keyClick(screen.txtFilter, Qt::Key_Return);
        EXPECT_FALSE(screen.isVisible());
    });
    key(*w, Qt::Key_F6);
    EXPECT_EQ(w->CurrentFilter(), "AttributeTag = 'NAME'");
    EXPECT_EQ(w->recordset()->RecordCount(), 6);
    EXPECT_EQ(w->dtgDrawing->model()->rowCount(), 6);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, "Filter set.");

    // Unsaved changes (a value typed into the first row), not saved when
    // asked: Clear Filter rebuilds the grid and the changes are still
    // counted as unsaved.
    ASSERT_TRUE(windowkit::activate(w.get()));
    QModelIndex first = w->dtgDrawing->model()->index(0, 7);
    QTest::mouseClick(w->dtgDrawing->viewport(), Qt::LeftButton, {}, w->dtgDrawing->visualRect(first).center());
    QTest::keyClicks(QApplication::focusWidget(), "X");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(w->DrawingChanged());
    seams.boxes.answers = {MsgResult::No, MsgResult::Ok};
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& screen = static_cast<filter::frmFilter&>(d);
        EXPECT_EQ(screen.txtFilter->text(), "AttributeTag = 'NAME'");  // the filter in force
        QTest::mouseClick(screen.cmdClear, Qt::LeftButton);
        EXPECT_FALSE(screen.isVisible());
    });
    key(*w, Qt::Key_F6);
    ASSERT_EQ(seams.boxes.shown.size(), 3u);
    EXPECT_EQ(seams.boxes.shown[1].text, "Do you want to save your changes?");
    EXPECT_EQ(seams.boxes.shown[2].text, "Filter cleared.");
    EXPECT_EQ(w->CurrentFilter(), "");
    EXPECT_EQ(w->recordset()->RecordCount(), 32);
    EXPECT_TRUE(w->DrawingChanged());
    seams.boxes.answers = {MsgResult::No};  // not saved before the next drawing opens

    // No rows: the key does nothing (the R12 drawing has no multi-line text).
    ASSERT_NO_FATAL_FAILURE(open(*w, "workshop-plan-R12.dxf"));
    QTest::mouseClick(w->optMultipleText, Qt::LeftButton);
    ASSERT_EQ(w->recordset()->RecordCount(), 0);
    std::size_t shown = seams.screens.shown.size();
    key(*w, Qt::Key_F6);
    EXPECT_EQ(seams.screens.shown.size(), shown);
    EXPECT_EQ(seams.screens.unexpected, 0);
    EXPECT_EQ(seams.boxes.unexpected, 0);
}

TEST(Tutorial, LiesBesideTheProgramAsAPdfOfSeveralPages)
{
#ifndef TESSILUX_TUTORIAL_PDF
    GTEST_SKIP() << "this build does not write the tutorial";
#else
    const QString pdf = QStringLiteral(TESSILUX_TUTORIAL_PDF);
    EXPECT_EQ(QFileInfo(pdf).absolutePath(), QFileInfo(testpaths::program()).absolutePath());
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << pdf.toStdString();
    QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
    EXPECT_GE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page "), 6);
#endif
}
