// The main window's file browser, start-up and opening, driven through the
// real widgets: keys typed into the control that has the focus, clicks where
// the controls stand.

#include "WindowKit.h"
#include "app/FileBrowser.h"
#include "app/MainWindowLogic.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>

using namespace app;
using windowkit::open;
using windowkit::Seams;

namespace {

struct Shown {
    QTemporaryDir dir;
    Seams seams;
    std::unique_ptr<frmMain> w;

    explicit Shown(const QString& data = QStringLiteral("1"))
    {
        for (const char* name : {"office-floor-plan-2000.dxf", "workshop-plan-R12.dxf"})
            QFile::copy(testpaths::samples(name), dir.filePath(name));
        QFile broken(dir.filePath("broken.dxf"));
        broken.open(QIODevice::WriteOnly);
        broken.write("  0\nSECTION\n  2\nHEADER\n");
        broken.close();
        seams.settings.values[QStringLiteral("Dir")] = dir.path();
        seams.settings.values[QStringLiteral("Data")] = data;
        w = std::make_unique<frmMain>();
        w->screenWidth = [] { return 1280; };
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }

    // Types into whatever has the focus.
    void type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }
    void key(Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k); }
    void focusPattern()
    {
        QTest::mouseClick(w->Combo2, Qt::LeftButton, {}, QPoint(10, w->Combo2->height() / 2));
        ASSERT_TRUE(viewdriver::waitFor([&] { return w->Combo2->hasFocus(); }, 5000));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);  // select all
    }
};

}  // namespace

TEST(Browser, ThePeriodTypedIntoThePatternBoxCompletesABareNameAndIsNeverTyped)
{
    Shown s;
    s.focusPattern();
    s.type("A1");
    s.type(".");
    EXPECT_EQ(s.w->Combo2->currentText(), "A1.dwg");
    s.type(".");
    EXPECT_EQ(s.w->Combo2->currentText(), "A1.dwg");

    s.focusPattern();
    s.type("*.");
    EXPECT_EQ(s.w->Combo2->currentText(), "*.dwg");
    s.type(".");
    EXPECT_EQ(s.w->Combo2->currentText(), "*.dwg") << "a pattern with a period keeps it";
    EXPECT_EQ(s.w->Label2->text(), "") << "no DWG in the folder";
}

TEST(Browser, LeavingThePatternBoxKeepsATypedPatternInItsListOnce)
{
    Shown s;
    s.focusPattern();
    s.type("plan.");
    s.key(Qt::Key_Tab);
    ASSERT_FALSE(s.w->Combo2->hasFocus());
    ASSERT_EQ(s.w->Combo2->count(), 1);
    EXPECT_EQ(s.w->Combo2->itemText(0), "plan.dwg");

    s.focusPattern();
    s.type("PLAN.");
    s.key(Qt::Key_Tab);
    EXPECT_EQ(s.w->Combo2->count(), 1) << "the same pattern in other letters is there already";

    // A kept pattern can be picked again, and picking lists its matches.
    s.focusPattern();
    s.type("*");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Period);
    s.key(Qt::Key_Tab);
    ASSERT_EQ(s.w->Combo2->count(), 2);
    s.w->Combo2->setEditText("*.dxf");
    s.w->Combo2_Change();
    EXPECT_EQ(s.w->List3->count(), 3);
}

TEST(StartUp, AStoredFolderThatIsGoneLeavesTheBrowserWhereItStarted)
{
    Seams seams;
    seams.settings.values[QStringLiteral("Drive")] = QStringLiteral("/");
    seams.settings.values[QStringLiteral("Dir")] = QStringLiteral("/no/such/folder/anywhere");
    frmMain w;
    EXPECT_EQ(QDir(w.Dir1->path()), QDir(QDir::currentPath()))
        << "the stored drive is the one already shown: no change of drive, so the starting folder stays";
}

TEST(StartUp, TheCategorySettingIsReadAsTheNumberItIs)
{
    struct Case {
        const char* text;
        std::optional<int> number;
    };
    for (Case c : std::initializer_list<Case>{{"4", 4},    {"4.0", 4},    {"+4", 4},     {" 4 ", 4},  {"4e0", 4},
                                              {"3.5", 4},  {"4.5", 4},    {"2.51", 3},   {"&H4", 4},  {"&o3", 3},
                                              {"255", 255}, {"255.5", std::nullopt}, {"-1", std::nullopt},
                                              {"-0.4", 0}, {"abc", std::nullopt}, {"", std::nullopt}, {"4x", std::nullopt}})
        EXPECT_EQ(byteNumber(QString::fromLatin1(c.text)), c.number) << c.text;

    for (const char* layers : {"4.0", "+4"}) {
        Shown s{QString::fromLatin1(layers)};
        EXPECT_TRUE(s.w->optLayer->isChecked()) << layers;
    }
    Shown s{QStringLiteral("7")};
    EXPECT_TRUE(s.w->optAttribute->isChecked());
}

TEST(Opening, OpenPrintAndPreviewAreOfferedOnlyWhileADrawingIsOpen)
{
    Shown s;
    s.w->Combo2->setEditText("*.dxf");
    s.w->Combo2_Change();
    open(*s.w, "office-floor-plan-2000.dxf");
    EXPECT_TRUE(s.w->cmdOpen->isVisible());
    EXPECT_TRUE(s.w->cmdPrint->isVisible());
    EXPECT_TRUE(s.w->cmdPrintPreview->isVisible());

    open(*s.w, "broken.dxf");
    ASSERT_EQ(s.seams.boxes.shown.size(), 1u);
    QTest::mouseClick(s.w->optLayer, Qt::LeftButton);
    EXPECT_TRUE(s.w->optLayer->isChecked());
    EXPECT_FALSE(s.w->cmdOpen->isVisible()) << "Open would hand the file that failed to the desktop";
    EXPECT_FALSE(s.w->cmdPrint->isVisible());
    EXPECT_FALSE(s.w->cmdPrintPreview->isVisible());
    EXPECT_TRUE(s.seams.shell.opened.empty());
}

TEST(Opening, AProtectedDrawingIsRefusedOnceWithoutAskingForAPassword)
{
    Shown s;
    QFile in(testpaths::corpus("sample_2018.dwg"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes[0x18] = 1;  // the header's security flags: encrypted
    QFile out(s.dir.filePath("locked.dwg"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    s.w->Combo2_Click();  // lists the new file
    open(*s.w, "locked.dwg");
    EXPECT_TRUE(s.seams.screens.shown.empty()) << "no password is asked for";
    ASSERT_EQ(s.seams.boxes.shown.size(), 1u);
    EXPECT_TRUE(s.seams.boxes.shown[0].text.contains("protected by a password")) << s.seams.boxes.shown[0].text.toStdString();
    EXPECT_TRUE(s.seams.boxes.shown[0].text.contains("cannot be opened"));
    EXPECT_EQ(s.seams.boxes.shown[0].icon, platform::MsgIcon::Exclamation);
    EXPECT_TRUE(s.w->dtgDrawing->showsNoData());
    EXPECT_FALSE(s.w->cmdOpen->isVisible());
}

TEST(Grid, NoDataLeavesNoPositionCaptionBehind)
{
    Shown s;
    s.w->Combo2->setEditText("*.dxf");
    s.w->Combo2_Change();
    open(*s.w, "workshop-plan-R12.dxf");
    ASSERT_TRUE(s.w->Adodc1->caption().startsWith("1 of ")) << s.w->Adodc1->caption().toStdString();
    QTest::mouseClick(s.w->optMultipleText, Qt::LeftButton);  // R12 has no multi-line text
    EXPECT_TRUE(s.w->dtgDrawing->showsNoData());
    EXPECT_EQ(s.w->Adodc1->caption(), "");
}

// Reading runs beside the window: another click while a drawing is being
// read stops that reading and opens the drawing clicked last; Esc stops it
// and leaves nothing open.
TEST(Opening, AnotherClickOrEscStopsTheDrawingBeingRead)
{
    Shown s;
    QFile::copy(testpaths::corpus("sample_2018.dwg"), s.dir.filePath("site.dwg"));
    s.w->Combo2->setEditText("*.*");
    s.w->Combo2_Click();
    auto row = [&](const char* name) { return s.w->List3->row(s.w->List3->findItems(name, Qt::MatchExactly).first()); };

    windowkit::clickRow(s.w->List3, row("site.dwg"));  // the DWG reader takes a while to start
    ASSERT_TRUE(s.w->isOpening());
    windowkit::clickRow(s.w->List3, row("office-floor-plan-2000.dxf"));
    windowkit::settle(*s.w);
    EXPECT_EQ(s.w->CurrentDrawingName(), "office-floor-plan-2000.dxf");
    EXPECT_TRUE(s.w->DDVue1->engine().path().endsWith("office-floor-plan-2000.dxf"));
    EXPECT_FALSE(s.w->DDVue1->engine().isDwg());
    QTest::qWait(300);  // nothing of the stopped reading arrives later
    EXPECT_TRUE(s.w->DDVue1->engine().path().endsWith("office-floor-plan-2000.dxf"));
    EXPECT_TRUE(s.seams.boxes.shown.empty());

    windowkit::clickRow(s.w->List3, row("site.dwg"));
    ASSERT_TRUE(s.w->isOpening());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(s.w->isOpening());
    EXPECT_FALSE(s.w->DDVue1->engine().isOpen());
    EXPECT_EQ(s.w->lblStatus->text(), "Opening site.dwg was stopped.");
    EXPECT_FALSE(s.w->cmdOpen->isVisible());
    QTest::qWait(300);
    EXPECT_FALSE(s.w->DDVue1->engine().isOpen());
    EXPECT_TRUE(s.seams.boxes.shown.empty());
}
