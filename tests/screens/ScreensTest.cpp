// The options and about screens, shown and worked with the keyboard and the
// mouse: the paths stored and handed on (or not, after Cancel), the version
// and the links of the about screen.

#include "QtPrint.h"
#include "screens/BuildInfo.h"
#include "screens/frmAbout.h"
#include "screens/frmOptions.h"

#include "Doubles.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using screens::frmAbout;
using screens::frmOptions;

namespace {

void showActive(QWidget& w)
{
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

QColor colorOf(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

// Waits a little for a condition that follows the pointer: on a real display
// the pointer's moves arrive from the display server.
template <typename F>
bool soon(F done)
{
    for (int i = 0; i < 200 && !done(); ++i) QTest::qWait(5);
    return done();
}

}  // namespace

TEST(OptionsScreen, StoresThePathsWithoutOuterBlanksAndHandsThemToTheView)
{
    platform::MemorySettingsStore settings;
    platform::Installed<platform::SettingsStore> s{settings};
    settings.values["Paths"] = "/old/fonts";
    QStringList applied;
    frmOptions screen([&](const QString& p) { applied << p; });
    EXPECT_EQ(screen.windowTitle(), platform::programTitle() + " - Options Screen");
    EXPECT_EQ(screen.Label1->text(), "AutoCAD supplemental file paths (seperate each path with a semi-colon)");
    EXPECT_EQ(screen.Label2->text(), "Note: this is only required for European AutoCAD drawings");
    EXPECT_EQ(screen.txtPaths->text(), "/old/fonts");
    ASSERT_NO_FATAL_FAILURE(showActive(screen));
    EXPECT_EQ(QApplication::focusWidget(), screen.txtPaths);  // first in the tab order

    // Leaving the box drops the blanks at its ends.
    screen.txtPaths->selectAll();
    QTest::keyClicks(screen.txtPaths, "  /a/fonts;/b/xrefs  ");
    QTest::keyClick(screen.txtPaths, Qt::Key_Tab);
    EXPECT_EQ(screen.txtPaths->text(), "/a/fonts;/b/xrefs");
    EXPECT_TRUE(applied.isEmpty());
    screen.txtPaths->setFocus();
    QTest::keyClick(screen.txtPaths, Qt::Key_Return);
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(settings.values["Paths"], "/a/fonts;/b/xrefs");
    EXPECT_EQ(applied, QStringList({"/a/fonts;/b/xrefs"}));
}

TEST(OptionsScreen, CancelStoresNothingAndAnEmptyBoxStoresNothingToo)
{
    platform::MemorySettingsStore settings;
    platform::Installed<platform::SettingsStore> s{settings};
    settings.values["Paths"] = "/kept";
    QStringList applied;
    {
        frmOptions screen([&](const QString& p) { applied << p; });
        ASSERT_NO_FATAL_FAILURE(showActive(screen));
        QTest::keyClicks(screen.txtPaths, "/changed");
        QTest::keyClick(screen.txtPaths, Qt::Key_Escape);
        EXPECT_FALSE(screen.isVisible());
    }
    EXPECT_EQ(settings.values["Paths"], "/kept");
    EXPECT_TRUE(applied.isEmpty());

    frmOptions screen([&](const QString& p) { applied << p; });
    ASSERT_NO_FATAL_FAILURE(showActive(screen));
    screen.txtPaths->clear();
    QTest::keyClicks(screen.txtPaths, "   ");  // Enter keeps the focus in the box: blanks go all the same
    QTest::keyClick(screen.txtPaths, Qt::Key_Enter);
    EXPECT_EQ(settings.values["Paths"], "");
    EXPECT_EQ(applied, QStringList({""}));
}

TEST(AboutScreen, TitleLineCarriesTheBuildsVersion)
{
    EXPECT_EQ(screens::programVersion(), QStringLiteral(TESSILUX_EXPECTED_VERSION));
    EXPECT_EQ(frmAbout::titleLine(), platform::programTitle() + " " + QStringLiteral(TESSILUX_EXPECTED_VERSION));
    frmAbout screen("/opt/tessilux/");
    QStringList lines = screen.Text1->toPlainText().split('\n');
    ASSERT_GT(lines.size(), 3);
    EXPECT_EQ(lines[0], frmAbout::titleLine());
    EXPECT_EQ(lines[1], "");
    EXPECT_FALSE(lines[2].isEmpty());
    EXPECT_TRUE(screen.Text1->isReadOnly());
    EXPECT_TRUE(screen.Text1->font().bold());
    EXPECT_EQ(screen.Label1->text(), "Email us");
    EXPECT_EQ(screen.Label4->text(), "Help File");
}

TEST(AboutScreen, LinksOpenTheirTargetsAndTurnRedUnderThePointer)
{
    platform::RecordingShellOpener shell;
    platform::Installed<platform::ShellOpener> o{shell};
    QTemporaryDir appFolder;
    QFile tutorial(appFolder.filePath("korvane.pdf"));
    ASSERT_TRUE(tutorial.open(QIODevice::WriteOnly));
    tutorial.close();
    frmAbout screen(appFolder.path() + "/");
    ASSERT_NO_FATAL_FAILURE(showActive(screen));

    for (QLabel* link : {screen.Label1, screen.Label2, screen.Label3, screen.Label4}) {
        EXPECT_EQ(colorOf(link), QColor(0, 0, 255));
        QTest::mouseMove(link, link->rect().center());
        EXPECT_TRUE(soon([&] { return colorOf(link) == QColor(255, 0, 0); })) << link->objectName().toStdString();
        QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
    }
    QTest::mouseMove(&screen, QPoint(screen.width() / 2, screen.height() - 5));
    for (QLabel* link : {screen.Label1, screen.Label2, screen.Label3, screen.Label4})
        EXPECT_TRUE(soon([&] { return colorOf(link) == QColor(0, 0, 255); })) << link->objectName().toStdString();

    ASSERT_EQ(shell.opened.size(), 4u);
    EXPECT_EQ(shell.opened[0], QUrl("mailto:" + screens::supportEmail()));
    EXPECT_EQ(shell.opened[1], QUrl(screens::webSite()));
    EXPECT_EQ(shell.opened[2], QUrl(screens::downloadPage()));
    EXPECT_EQ(shell.opened[3], QUrl::fromLocalFile(appFolder.filePath("korvane.pdf")));
    // Unless the build names the project's own, the addresses are of the
    // domain reserved for examples.
    EXPECT_TRUE(screens::supportEmail().endsWith("example.org"));
    EXPECT_TRUE(QUrl(screens::webSite()).host().endsWith("example.org"));
    EXPECT_TRUE(QUrl(screens::downloadPage()).host().endsWith("example.org"));

    // Esc closes it, so does Enter (OK).
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(screen.isVisible());
    ASSERT_NO_FATAL_FAILURE(showActive(screen));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(screen.isVisible());
}
