// The main window on every drawing the project has, shown and driven through
// its event loop as a person would: a click on the drawing in the file list,
// the view painted at its extents, zoomed in with the wheel on its largest
// text until the letters are tens of pixels tall, dragged, zoomed out, the
// four categories chosen in turn, the drawing window opened with F5 on the
// same drawing, painted, zoomed in and closed, then the next drawing. CTest
// runs it on the offscreen platform; the CI script runs it again on a real X
// display (xcb under Xvfb), where fonts, threads and painting behave as on a
// desktop.
//
// TESSILUX_WINDOW_DRAWINGS may name other folders to go through, separated
// by colons.

#include "WindowKit.h"
#include "drawing/frmDrawing.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace app;
using windowkit::clickRow;
using windowkit::Seams;

namespace {

void goThrough(const QString& folder)
{
    Seams seams;
    seams.settings.values[QStringLiteral("Dir")] = folder;
    seams.settings.values[QStringLiteral("Drive")] = QStringLiteral("/");
    frmMain w;
    w.screenWidth = [] { return 1280; };
    w.Combo2->setEditText(QStringLiteral("*.*"));
    w.Combo2_Click();  // relists for any pattern
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ddvue::DDVue& view = *w.DDVue1;
    viewdriver::PaintCounter paints(&view);

    int drawings = 0;
    for (int row = 0; row < w.List3->count(); ++row) {
        QString name = w.List3->item(row)->text();
        QString suffix = QFileInfo(name).suffix().toLower();
        if (suffix != QLatin1String("dxf") && suffix != QLatin1String("dwg")) continue;
        SCOPED_TRACE(name.toStdString());
        ++drawings;
        std::size_t boxesBefore = seams.boxes.shown.size();
        clickRow(w.List3, row);
        windowkit::settle(w);
        ASSERT_EQ(seams.boxes.shown.size(), boxesBefore)
            << "opening said: " << seams.boxes.shown.back().text.toStdString();
        ASSERT_TRUE(view.engine().isOpen());

        // At its extents, painted by the event loop once its scene is built
        // (which scene() waits for).
        view.scene();
        int before = paints.paints;
        view.update();
        ASSERT_TRUE(viewdriver::waitFor([&] { return paints.paints > before; }));

        // In on the largest text, until its letters are tens of pixels tall.
        before = paints.paints;
        if (viewdriver::zoomOnLargestText(view, 40)) {
            ASSERT_TRUE(viewdriver::waitFor([&] { return paints.paints > before; }));
        }
        // A drag, then out beyond the extents.
        QPoint middle(view.width() / 2, view.height() / 2);
        before = paints.paints;
        QTest::mousePress(&view, Qt::LeftButton, {}, middle);
        QTest::mouseMove(&view, middle + QPoint(40, 25));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, middle + QPoint(40, 25));
        for (int i = 0; i < 40; ++i) {
            viewdriver::wheel(&view, QPointF(middle), -1);
            QTest::qWait(1);
        }
        ASSERT_TRUE(viewdriver::waitFor([&] { return paints.paints > before; }));

        // Every category, chosen with the mouse.
        for (QRadioButton* option : {w.optSingleText, w.optMultipleText, w.optLayer, w.optAttribute}) {
            QTest::mouseClick(option, Qt::LeftButton);
            QTest::qWait(1);
            EXPECT_TRUE(option->isChecked());
        }
        EXPECT_TRUE(w.dtgDrawing->isEnabled() || w.dtgDrawing->showsNoData());
        QTest::qWait(20);

        // The drawing window (F5): the same drawing read on its own, painted,
        // zoomed in on its largest text and closed with its menu's shortcut;
        // the main window's drawing stays open and as it was.
        const ddvue::dxf::Document* ownDrawing = view.engine().document();
        const long rows = w.recordset() ? w.recordset()->RecordCount() : -1;
        bool windowShown = false;
        seams.screens.handlers.push_back([&](QDialog& d) {
            auto* window = qobject_cast<drawing::frmDrawing*>(&d);
            ASSERT_TRUE(window) << d.objectName().toStdString();
            windowShown = true;
            ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
            ASSERT_TRUE(viewdriver::waitFor([&] { return !window->isOpening(); }, 180000));
            ASSERT_TRUE(window->DDVue1->engine().isOpen()) << window->lblStatus->text().toStdString();
            ddvue::DDVue& large = *window->DDVue1;
            viewdriver::PaintCounter largePaints(&large);
            large.scene();
            large.update();
            ASSERT_TRUE(viewdriver::waitFor([&] { return largePaints.paints > 0; }));
            int painted = largePaints.paints;
            if (viewdriver::zoomOnLargestText(large, 40)) {
                ASSERT_TRUE(viewdriver::waitFor([&] { return largePaints.paints > painted; }));
            }
            ASSERT_TRUE(windowkit::activate(window));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
            EXPECT_FALSE(window->isVisible());
        });
        ASSERT_TRUE(windowkit::activate(&w));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w, Qt::Key_F5);
        EXPECT_TRUE(windowShown);
        EXPECT_TRUE(view.engine().isOpen());
        EXPECT_EQ(view.engine().document(), ownDrawing);
        EXPECT_EQ(w.recordset() ? w.recordset()->RecordCount() : -1, rows);
    }
    EXPECT_GT(drawings, 0) << "no drawings in " << folder.toStdString();
    EXPECT_EQ(seams.boxes.unexpected, 0);
    EXPECT_EQ(seams.screens.unexpected, 0);
}

}  // namespace

TEST(RealWindow, EveryBundledSample) { goThrough(testpaths::samples()); }

TEST(RealWindow, EveryCorpusDrawingDxfAndDwg) { goThrough(testpaths::corpus()); }

TEST(RealWindow, EveryDrawingFromOtherPrograms) { goThrough(testpaths::corpus(QStringLiteral("more"))); }

TEST(RealWindow, FoldersNamedByTheEnvironment)
{
    const QStringList folders =
        qEnvironmentVariable("TESSILUX_WINDOW_DRAWINGS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (folders.isEmpty()) GTEST_SKIP() << "TESSILUX_WINDOW_DRAWINGS names no folder";
    for (const QString& folder : folders) goThrough(folder);
}
