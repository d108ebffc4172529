// The main window points out the grid's current row in the drawing's view:
// moving with the arrow keys in the grid of texts or attributes marks the
// row's object (and glides the view to it when it is out of sight or too
// small to see); in the layers grid, the row's layer. Nothing of it changes
// the drawing or reaches the view's pictures.

#include "../ddvue/render/TinyDxf.h"
#include "WindowKit.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace app;
using namespace tinydxf;

namespace {

bool orange(QRgb c) { return qRed(c) > 150 && qGreen(c) > 70 && qGreen(c) < 200 && qBlue(c) < 90; }

int oranges(const QImage& image, const QRect& area)
{
    QRect r = area.intersected(image.rect());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += orange(image.pixel(x, y));
    return n;
}

// The key field of the grid's current row.
QString currentKey(frmMain& w, const char* field)
{
    return w.recordset() && !w.recordset()->isEOF() ? w.recordset()->value(QString::fromLatin1(field)) : QString();
}

// With TESSILUX_HIGHLIGHT_SHOTS set to a folder, the window's look at each
// step is kept there (to look at, not checked).
void shot(QWidget& w, const char* name)
{
    const QString folder = qEnvironmentVariable("TESSILUX_HIGHLIGHT_SHOTS");
    if (!folder.isEmpty()) w.grab().save(QDir(folder).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
}

void pressInGrid(frmMain& w, Qt::Key key)
{
    QWidget* focus = QApplication::focusWidget();
    ASSERT_EQ(focus, w.dtgDrawing) << "the grid has not the focus";
    QTest::keyClick(focus, key);
}

// Shows the window over the folder of DXF drawings that `w`'s settings name,
// with the single-line texts of `name` listed and its view built.
void showTextsOf(frmMain& w, const QString& name)
{
    w.screenWidth = [] { return 1280; };
    w.Combo2->setEditText(QStringLiteral("*.dxf"));
    w.Combo2_Click();  // relists for the pattern
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::mouseClick(w.optSingleText, Qt::LeftButton);
    windowkit::open(w, name);
    ASSERT_TRUE(w.DDVue1->engine().isOpen());
    w.DDVue1->ready();
}

}  // namespace

TEST(HighlightWindow, TheViewFollowsTheGridsRowWithTheArrowKeys)
{
    Drawing d;
    d.layer("NOTES", 5);
    d.layer("TITLE", 3);
    std::vector<std::string> notes;
    for (int i = 0; i < 12; ++i) {
        d.add(text("NOTE " + std::to_string(i), 0, -i * 6.0, 2, 0, 0, "NOTES"));
        notes.push_back(d.lastHandle());
    }
    d.block("TB", {line(0, 0, 60, 0, "TITLE"), line(60, 0, 60, 20, "TITLE")});
    Groups ref = insert("TB", 0, 40, 1, 1, 0, "TITLE");
    ref.push_back({66, "1"});
    d.add(ref);
    d.add(attrib("SHEET", "A-101", 2, 42, 2));
    d.add(attrib("TITLE", "GROUND FLOOR", 2, 50, 2));
    d.add(seqend());
    // Far away and small: out of sight whatever the view shows of the rest.
    d.add(text("FAR AWAY", 4000, -3000, 0.5, 0, 0, "NOTES"));
    const std::string far = d.lastHandle();

    QTemporaryDir dir;
    d.save(dir.path(), QStringLiteral("rows.dxf"));
    const QByteArray bytes = [&] {
        QFile f(dir.filePath(QStringLiteral("rows.dxf")));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    windowkit::Seams seams;
    seams.settings.values[QStringLiteral("Dir")] = dir.path();
    seams.settings.values[QStringLiteral("Drive")] = QStringLiteral("/");
    frmMain w;
    ASSERT_NO_FATAL_FAILURE(showTextsOf(w, QStringLiteral("rows.dxf")));
    ddvue::DDVue& view = *w.DDVue1;

    // The first row is pointed out where the drawing opened, at its extents.
    EXPECT_EQ(view.highlighted(), currentKey(w, "Handle"));
    ASSERT_FALSE(view.highlighted().isEmpty());
    EXPECT_FALSE(view.gliding());
    shot(w, "1-opened");

    // Down: the next text, too small to see at the extents, is glided to.
    w.dtgDrawing->setFocus();
    ASSERT_TRUE(viewdriver::waitFor([&] { return QApplication::focusWidget() == w.dtgDrawing; }, 5000));
    const double extentsScale = view.view().scale();
    pressInGrid(w, Qt::Key_Down);
    EXPECT_EQ(view.highlighted(), currentKey(w, "Handle"));
    EXPECT_EQ(view.highlighted(), QString::fromStdString(notes[1]));
    ASSERT_TRUE(viewdriver::waitFor([&] { return !view.gliding(); }, 5000));
    EXPECT_GT(view.view().scale(), extentsScale * 10);
    shot(w, "2-second-text");
    const QRectF seen(QPointF(0, 0), QSizeF(view.size()));
    auto markShown = [&] {
        QRectF r = view.highlightRect();
        EXPECT_FALSE(r.isEmpty());
        EXPECT_TRUE(seen.contains(r)) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
        EXPECT_GT(oranges(view.grab().toImage(), r.toAlignedRect()), 20);
    };
    markShown();

    // Down and Up through the neighbours: the mark follows, the view stays
    // calm (no glide while they are in sight).
    const QPointF centerBefore = view.view().center();
    pressInGrid(w, Qt::Key_Down);
    EXPECT_EQ(view.highlighted(), QString::fromStdString(notes[2]));
    pressInGrid(w, Qt::Key_Up);
    EXPECT_EQ(view.highlighted(), QString::fromStdString(notes[1]));
    ASSERT_TRUE(viewdriver::waitFor([&] { return !view.gliding(); }, 5000));
    EXPECT_EQ(view.view().center(), centerBefore);
    markShown();

    // Down to the far text: the view goes there.
    for (int i = 0; i < 20 && view.highlighted() != QString::fromStdString(far); ++i) pressInGrid(w, Qt::Key_Down);
    ASSERT_EQ(view.highlighted(), QString::fromStdString(far));
    ASSERT_TRUE(viewdriver::waitFor([&] { return !view.gliding(); }, 5000));
    markShown();
    shot(w, "3-far-text");
    double x = 0, y = 0;
    view.ScreenToDrawing(view.width() / 2.0, view.height() / 2.0, x, y);
    EXPECT_NEAR(x, 4000, 50);
    EXPECT_NEAR(y, -3000, 50);

    // Nothing of it in the view's picture or in the drawing.
    QString bmp = dir.filePath(QStringLiteral("view.bmp"));
    ASSERT_TRUE(view.SaveAsBitmap(bmp));
    QImage picture(bmp);
    EXPECT_EQ(oranges(picture, picture.rect()), 0);
    EXPECT_FALSE(w.DrawingChanged());
    EXPECT_FALSE(w.cmdSave->isVisible());
    QString copy = dir.filePath(QStringLiteral("copy.dxf"));
    ASSERT_TRUE(view.edit().SaveDrawing(copy));
    QFile saved(copy);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), bytes);

    // The attributes: each row's attribute alone.
    QTest::mouseClick(w.optAttribute, Qt::LeftButton);
    w.dtgDrawing->setFocus();
    ASSERT_TRUE(viewdriver::waitFor([&] { return QApplication::focusWidget() == w.dtgDrawing; }, 5000));
    pressInGrid(w, Qt::Key_Down);
    EXPECT_EQ(view.highlighted(), currentKey(w, "AttributeHandle"));
    ASSERT_TRUE(viewdriver::waitFor([&] { return !view.gliding(); }, 5000));
    markShown();
    shot(w, "4-attribute");

    // The layers: the row's layer, by name.
    QTest::mouseClick(w.optLayer, Qt::LeftButton);
    w.dtgDrawing->setFocus();
    ASSERT_TRUE(viewdriver::waitFor([&] { return QApplication::focusWidget() == w.dtgDrawing; }, 5000));
    const QString firstLayer = view.highlighted();
    EXPECT_EQ(firstLayer, currentKey(w, "Name"));
    pressInGrid(w, Qt::Key_Down);
    EXPECT_EQ(view.highlighted(), currentKey(w, "Name"));
    EXPECT_NE(view.highlighted(), firstLayer);
    EXPECT_TRUE(view.highlightRect().isEmpty());
    // None of it was in sight: the view shows it, its lines and letters aglow.
    ASSERT_TRUE(viewdriver::waitFor([&] { return !view.gliding(); }, 5000));
    EXPECT_GT(oranges(view.grab().toImage(), view.rect()), 4);
    shot(w, "5-layer");

    // No rows to point out: nothing pointed out.
    QTest::mouseClick(w.optExtRef, Qt::LeftButton);
    EXPECT_TRUE(view.highlighted().isEmpty());
}

TEST(HighlightWindow, TheViewZoomsAndPansAsCadUsersExpect)
{
    Drawing d;
    for (int i = 0; i < 6; ++i) d.add(text("NOTE " + std::to_string(i), 0, -i * 6.0, 2));
    d.add(line(-100, -100, 300, 100));
    d.add(text("SMALL", 250, 80, 0.3));
    // On paper: a title and its frame.
    Groups title = text("PAPER TITLE", 10, 10, 3);
    title.insert(title.begin() + 1, {67, "1"});
    d.add(title);
    Groups frame = line(0, 0, 200, 0);
    frame.insert(frame.begin() + 1, {67, "1"});
    d.add(frame);
    QTemporaryDir dir;
    d.save(dir.path(), QStringLiteral("zoom.dxf"));
    windowkit::Seams seams;
    seams.settings.values[QStringLiteral("Dir")] = dir.path();
    seams.settings.values[QStringLiteral("Drive")] = QStringLiteral("/");
    frmMain w;
    ASSERT_NO_FATAL_FAILURE(showTextsOf(w, QStringLiteral("zoom.dxf")));
    ddvue::DDVue& view = *w.DDVue1;
    const double extents = view.view().scale();
    const QPointF middle = view.view().center();
    auto atExtents = [&] {
        return std::abs(view.view().scale() / extents - 1) < 1e-9 &&
               std::hypot(view.view().center().x() - middle.x(), view.view().center().y() - middle.y()) < 1e-6;
    };

    // A click gives the view the focus; the wheel zooms about the pointer.
    const QPoint inside(view.width() / 3, view.height() / 3);
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, inside);
    ASSERT_TRUE(viewdriver::waitFor([&] { return QApplication::focusWidget() == &view; }, 5000));
    const QPointF under = view.view().toWorld(QPointF(inside) + QPointF(0.5, 0.5));
    viewdriver::wheel(&view, QPointF(inside), 3);
    EXPECT_NEAR(view.view().scale(), extents * std::pow(1.2, 3), extents * 1e-6);
    const QPointF still = view.view().toWorld(QPointF(inside) + QPointF(0.5, 0.5));
    EXPECT_NEAR(still.x(), under.x(), 1e-6 * (1 + std::abs(under.x())));
    EXPECT_NEAR(still.y(), under.y(), 1e-6 * (1 + std::abs(under.y())));

    // The arrow keys pan an eighth of the view: Right shows more of the right.
    const double scale = view.view().scale();
    QPointF before = view.view().center();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_NEAR(view.view().center().x() - before.x(), (view.width() / 8) / scale, 1e-9 * (1 + std::abs(before.x())));
    EXPECT_EQ(view.view().center().y(), before.y());
    before = view.view().center();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_NEAR(view.view().center().y() - before.y(), (view.height() / 8) / scale, 1e-9 * (1 + std::abs(before.y())));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_NEAR(view.view().center().x(), still.x() + (view.width() / 2.0 - inside.x() - 0.5) / scale, 1e-6);
    EXPECT_EQ(view.view().scale(), scale);

    // Home shows the whole drawing again.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    EXPECT_TRUE(atExtents());

    // The middle button held pans with the pointer.
    viewdriver::wheel(&view, QPointF(inside), 2);
    const QPointF grabbed = view.view().toWorld(QPointF(inside) + QPointF(0.5, 0.5));
    const QPoint to = inside + QPoint(60, 40);
    QTest::mousePress(&view, Qt::MiddleButton, Qt::NoModifier, inside);
    QTest::mouseMove(&view, inside + QPoint(30, 20));
    QTest::mouseMove(&view, to);
    QTest::mouseRelease(&view, Qt::MiddleButton, Qt::NoModifier, to);
    const QPointF dropped = view.view().toWorld(QPointF(to) + QPointF(0.5, 0.5));
    EXPECT_NEAR(dropped.x(), grabbed.x(), 1e-6 * (1 + std::abs(grabbed.x())));
    EXPECT_NEAR(dropped.y(), grabbed.y(), 1e-6 * (1 + std::abs(grabbed.y())));
    EXPECT_FALSE(atExtents());

    // A double-click of the middle button: the whole drawing, and no drawing
    // window (that is the left button's).
    int windows = 0;
    QObject::connect(&view, &ddvue::DDVue::DrawingWindowRequest, [&] { ++windows; });
    QTest::mouseDClick(&view, Qt::MiddleButton, Qt::NoModifier, inside);
    EXPECT_TRUE(atExtents());
    EXPECT_EQ(windows, 0);

    // Z zooms to the grid's current row: the small text fills the view.
    w.dtgDrawing->setFocus();
    ASSERT_TRUE(viewdriver::waitFor([&] { return QApplication::focusWidget() == w.dtgDrawing; }, 5000));
    for (int i = 0; i < 10 && currentKey(w, "Value") != QStringLiteral("SMALL"); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    ASSERT_EQ(currentKey(w, "Value"), QStringLiteral("SMALL"));
    ASSERT_TRUE(viewdriver::waitFor([&] { return !view.gliding(); }, 5000));
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, inside);
    ASSERT_TRUE(viewdriver::waitFor([&] { return QApplication::focusWidget() == &view; }, 5000));
    ASSERT_EQ(view.highlighted(), currentKey(w, "Handle"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    ASSERT_TRUE(atExtents());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z);
    ASSERT_TRUE(viewdriver::waitFor([&] { return !view.gliding(); }, 5000));
    const QRectF mark = view.highlightRect();
    EXPECT_GT(mark.width(), view.width() * 0.5);
    EXPECT_TRUE(QRectF(view.rect()).contains(mark));
    shot(w, "6-zoomed-to-object");

    // The paper's text: its row shows the paper layout, the text marked.
    EXPECT_EQ(view.layouts(), QStringList({QStringLiteral("Model"), QStringLiteral("Layout1")}));
    EXPECT_EQ(view.currentLayout(), QStringLiteral("Model"));
    w.dtgDrawing->setFocus();
    ASSERT_TRUE(viewdriver::waitFor([&] { return QApplication::focusWidget() == w.dtgDrawing; }, 5000));
    for (int i = 0; i < 10 && currentKey(w, "Value") != QStringLiteral("PAPER TITLE"); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    ASSERT_EQ(currentKey(w, "Value"), QStringLiteral("PAPER TITLE"));
    EXPECT_EQ(view.currentLayout(), QStringLiteral("Layout1"));
    ASSERT_TRUE(viewdriver::waitFor([&] { return !view.gliding(); }, 5000));
    EXPECT_FALSE(view.highlightRect().isEmpty());
    EXPECT_GT(oranges(view.grab().toImage(), view.highlightRect().toAlignedRect()), 20);
    shot(w, "7-paper-layout");
    // A model text's row goes back to model space.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(view.currentLayout(), QStringLiteral("Model"));
    // The tabs under the view choose the layout with a click.
    QTabBar* tabs = view.findChild<QTabBar*>(QStringLiteral("layoutTabs"));
    ASSERT_TRUE(tabs && tabs->isVisible());
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(1).center());
    EXPECT_EQ(view.currentLayout(), QStringLiteral("Layout1"));
    EXPECT_EQ(tabs->currentIndex(), 1);
}
