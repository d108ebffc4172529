// The platform's seams: what the program's own implementations do, and that
// a test can stand in for each.

#include "Doubles.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace platform;

TEST(Settings, KeptInTheUsersIniFileUnderOptions)
{
    IniSettingsStore store;
    store.setValue(QStringLiteral("Dir"), QStringLiteral("/home/x/drawings, old"));
    store.setValue(QStringLiteral("Data"), QStringLiteral("3"));
    EXPECT_EQ(store.value(QStringLiteral("Dir")), QStringLiteral("/home/x/drawings, old"));
    EXPECT_EQ(store.value(QStringLiteral("Paths"), QStringLiteral("none")), QStringLiteral("none"));

    // The test main points XDG_CONFIG_HOME at a folder of its own.
    const QString file = IniSettingsStore::fileName();
    EXPECT_TRUE(file.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME"))) << file.toStdString();
    EXPECT_TRUE(file.endsWith(QStringLiteral("Tessilux/Tessilux.ini"))) << file.toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("[Options]"));
    EXPECT_TRUE(text.contains("Data=3"));

    MemorySettingsStore memory;
    {
        Installed guard(memory);
        settings().setValue(QStringLiteral("Data"), QStringLiteral("4"));
        EXPECT_EQ(settings().value(QStringLiteral("Data")), QStringLiteral("4"));
    }
    EXPECT_EQ(settings().value(QStringLiteral("Data")), QStringLiteral("3"));  // the file's store is back
}

TEST(Shell, FailuresAre32OrLess)
{
    RecordingShellOpener opener;
    Installed guard(opener);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("korvane.pdf"));
    QFile(pdf).open(QIODevice::WriteOnly);

    EXPECT_GT(shellOpen(pdf), 32);
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0], QUrl::fromLocalFile(pdf));
    EXPECT_GT(shellOpen(QStringLiteral("https://example.org/page?a=1")), 32);
    EXPECT_EQ(opener.opened[1].toString(), QStringLiteral("https://example.org/page?a=1"));

    EXPECT_LE(shellOpen(dir.filePath(QStringLiteral("missing.pdf"))), 32);
    EXPECT_LE(shellOpen(QString()), 32);
    EXPECT_EQ(opener.opened.size(), 2u);  // neither was handed on
    opener.result = false;
    EXPECT_LE(shellOpen(pdf), 32);
}

TEST(Messages, ScriptedAnswersAndTheProgramTitle)
{
    ScriptedMessageBoxes boxes;
    Installed guard(boxes);
    boxes.answers = {MsgResult::No};
    EXPECT_EQ(msgBox(QStringLiteral("Do you want to save your changes?"), MsgButtons::YesNo, MsgIcon::Question),
              MsgResult::No);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Tessilux"));
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Question);
    // Unanswered: the default button, counted.
    EXPECT_EQ(msgBox(QStringLiteral("Delete?"), MsgButtons::YesNo, MsgIcon::Question, programTitle(), 1), MsgResult::No);
    EXPECT_EQ(boxes.unexpected, 1);
}

// The program's own message box shows the text, title, icon and buttons
// asked for, and answers the button pressed.
TEST(Messages, TheQtBoxShowsWhatIsAsked)
{
    QtMessageBoxes qt;
    Installed guard(qt);
    QString seenTitle, seenText;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    int buttons = 0;
    QAbstractButton* seenDefault = nullptr;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        seenDefault = box->defaultButton();
        box->button(QMessageBox::No)->click();
    });
    MsgResult r = msgBox(QStringLiteral("Delete all objects in data grid from drawing?"), MsgButtons::YesNo,
                         MsgIcon::Question, programTitle(), 1);
    EXPECT_EQ(r, MsgResult::No);
    EXPECT_EQ(seenTitle, QStringLiteral("Tessilux"));
    EXPECT_EQ(seenText, QStringLiteral("Delete all objects in data grid from drawing?"));
    EXPECT_EQ(seenIcon, QMessageBox::Question);
    EXPECT_EQ(buttons, 2);
    ASSERT_NE(seenDefault, nullptr);
    EXPECT_EQ(seenDefault->text().remove(QLatin1Char('&')), QStringLiteral("No"));

    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_EQ(msgBox(QStringLiteral("Invalid filter."), MsgButtons::Ok, MsgIcon::Exclamation), MsgResult::Ok);
}

TEST(Screens, ATestWorksTheScreenInsteadOfAPerson)
{
    ScriptedScreenRunner runner;
    Installed guard(runner);
    QDialog screen;
    screen.setObjectName(QStringLiteral("frmFilter"));
    auto* text = new QLineEdit(&screen);
    text->setObjectName(QStringLiteral("txtFilter"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &screen);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &screen, &QDialog::accept);

    runner.handlers.push_back([](QDialog& d) {
        d.findChild<QLineEdit*>(QStringLiteral("txtFilter"))->setText(QStringLiteral("Block = 'A'"));
        d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(showModal(screen), QDialog::Accepted);
    EXPECT_EQ(text->text(), QStringLiteral("Block = 'A'"));
    runner.handlers.push_back([](QDialog&) {});  // left open: closed as if dismissed
    EXPECT_EQ(showModal(screen), QDialog::Rejected);
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(showModal(screen), QDialog::Rejected);  // nobody to work it
    EXPECT_EQ(runner.unexpected, 1);
    EXPECT_EQ(runner.shown, std::vector<QString>(3, QStringLiteral("frmFilter")));
}
