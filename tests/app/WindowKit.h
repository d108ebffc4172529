#pragma once
// What the main window's tests share: the platform seams they answer
// through, and clicks that wait for the drawing read in the background.

#include "TestPaths.h"
#include "ViewDriver.h"
#include "app/frmMain.h"

#include "Doubles.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace windowkit {

// The seams every window test answers through.
struct Seams {
    platform::MemorySettingsStore settings;
    platform::ScriptedMessageBoxes boxes;
    platform::ScriptedScreenRunner screens;
    platform::RecordingShellOpener shell;
    platform::Installed<platform::SettingsStore> s{settings};
    platform::Installed<platform::MessageBoxes> b{boxes};
    platform::Installed<platform::ScreenRunner> r{screens};
    platform::Installed<platform::ShellOpener> o{shell};
};

// Makes a window the active one, as a person's click does, and waits until
// the application has taken note (on a real display that takes a moment).
inline bool activate(QWidget* window)
{
    window->activateWindow();
    return viewdriver::waitFor([&] { return QApplication::activeWindow() == window; }, 5000);
}

// Clicks a row of a list where it stands on the screen.
inline void clickRow(QListWidget* list, int row)
{
    QListWidgetItem* item = list->item(row);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

// Waits until the drawing being read (if any) is open and listed.
inline void settle(app::frmMain& w)
{
    ASSERT_TRUE(viewdriver::waitFor([&] { return !w.isOpening(); }, 180000))
        << "the drawing is still being read after three minutes";
}

// Clicks a drawing in the file list by name and waits until it is open.
inline void open(app::frmMain& w, const QString& name)
{
    auto items = w.List3->findItems(name, Qt::MatchExactly);
    ASSERT_FALSE(items.isEmpty()) << name.toStdString();
    clickRow(w.List3, w.List3->row(items.first()));
    settle(w);
}

}  // namespace windowkit
