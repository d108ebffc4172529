// The DDVue widget: its view, its pointer, its pictures and its printing.

#include "TinyDxf.h"
#include "ViewDriver.h"
#include "ddvue/DDVue.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <type_traits>

using namespace ddvue;
using namespace tinydxf;

namespace {

class Viewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        d.layer("FRAME", 1);
        d.add(line(0, 0, 100, 0, "FRAME"));
        d.add(line(100, 0, 100, 50, "FRAME"));
        d.add(line(100, 50, 0, 50, "FRAME"));
        d.add(line(0, 50, 0, 0, "FRAME"));
        frameLine = d.lastHandle();
        d.add(point(37.25, 12.5, "0", 3));
        path = d.save(dir.path(), QStringLiteral("v.dxf"));
        view.resize(400, 300);
        ASSERT_TRUE(view.OpenDrawing(path));
    }

    // Pixels of a color in the current view.
    int count(QRgb c)
    {
        QImage img = view.viewImage();
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == c;
        return n;
    }

    QPointF toDrawing(QPointF screen)
    {
        double x = 0, y = 0;
        view.ScreenToDrawing(screen.x(), screen.y(), x, y);
        return {x, y};
    }

    QTemporaryDir dir;
    Drawing d;
    QString path;
    DDVue view;
    std::string frameLine;
};

}  // namespace

TEST_F(Viewer, OpensZoomedToTheExtents)
{
    QPointF a = view.view().toScreen({0, 0}), b = view.view().toScreen({100, 50});
    EXPECT_GE(a.x(), 0);
    EXPECT_LE(b.x(), 400);
    EXPECT_GE(b.y(), 0);
    EXPECT_LE(a.y(), 300);
    EXPECT_GT(b.x() - a.x(), 0.9 * 400);  // the width fills the view
    EXPECT_GT(count(qRgb(255, 0, 0)), 600);
}

TEST_F(Viewer, ScreenToDrawingIsExact)
{
    // A pixel's drawing point lies in that pixel.
    for (QPoint px : {QPoint(0, 0), QPoint(17, 250), QPoint(399, 299), QPoint(200, 150)}) {
        QPointF w = toDrawing(px);
        QPointF back = view.view().toScreen(w);
        EXPECT_EQ(int(std::floor(back.x())), px.x());
        EXPECT_EQ(int(std::floor(back.y())), px.y());
    }
    // And the point drawn in green is where ScreenToDrawing says.
    QImage img = view.viewImage();
    QPoint found(-1, -1);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == qRgb(0, 255, 0)) found = QPoint(x, y);
    ASSERT_NE(found, QPoint(-1, -1));
    QPointF w = toDrawing(found);
    double pixel = 1 / view.view().scale();
    EXPECT_NEAR(w.x(), 37.25, pixel);
    EXPECT_NEAR(w.y(), 12.5, pixel);
}

TEST_F(Viewer, WheelZoomsAboutThePointerAndDraggingPans)
{
    QPointF at(120, 80);
    QPointF under = toDrawing(at);
    double scale = view.view().scale();
    QWheelEvent wheel(at, view.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &wheel);
    EXPECT_NEAR(view.view().scale(), scale * 1.2, scale * 1e-9);
    QPointF still = toDrawing(at);
    EXPECT_NEAR(still.x(), under.x(), 1e-9 * 100);
    EXPECT_NEAR(still.y(), under.y(), 1e-9 * 100);

    QSignalSpy moved(&view, &DDVue::PointerMoved);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QTest::mouseMove(&view, QPoint(130, 120));
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(130, 120));
    QPointF followed = toDrawing(QPointF(130, 120));
    ASSERT_FALSE(moved.isEmpty());
    EXPECT_EQ(moved.last().at(0).toInt(), 130);
    EXPECT_EQ(moved.last().at(1).toInt(), 120);
    // The picture moved with the pointer: the point under (130,120) is the
    // one that was under (100,100).
    QPointF expected(still.x() + (100 - at.x()) / view.view().scale(), still.y() - (100 - at.y()) / view.view().scale());
    EXPECT_NEAR(followed.x(), expected.x(), 1e-6);
    EXPECT_NEAR(followed.y(), expected.y(), 1e-6);

    // Zoom stays within reach of the drawing.
    for (int i = 0; i < 400; ++i) QCoreApplication::sendEvent(&view, &wheel);
    EXPECT_LT(view.view().scale(), scale * 1e8);
}

TEST_F(Viewer, DoubleClickAsksForTheDrawingWindow)
{
    QSignalSpy asked(&view, &DDVue::DrawingWindowRequest);
    QTest::mouseDClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_EQ(asked.count(), 1);
}

TEST_F(Viewer, EditsShowAtTheNextPaint)
{
    // The engine the view offers only reads; changes go through edit(),
    // which first waits for a scene being built (just after the open here).
    static_assert(std::is_const_v<std::remove_reference_t<decltype(view.engine())>>);
    int red = count(qRgb(255, 0, 0));
    ASSERT_TRUE(view.edit().SetEntityColor(QString::fromStdString(frameLine), 5));
    EXPECT_LT(count(qRgb(255, 0, 0)), red);
    EXPECT_GT(count(qRgb(0, 0, 255)), 50);

    ASSERT_TRUE(view.edit().SetLayerColor(QStringLiteral("FRAME"), 6));
    EXPECT_EQ(count(qRgb(255, 0, 0)), 0);
    EXPECT_GT(count(qRgb(255, 0, 255)), 300);

    QString off = QStringLiteral("Off");
    ASSERT_TRUE(view.edit().SetLayerDisplay(QStringLiteral("FRAME"), off));
    EXPECT_EQ(count(qRgb(255, 0, 255)), 0);
    EXPECT_EQ(count(qRgb(0, 0, 255)), 0);  // the line with a color of its own is on the layer too
    EXPECT_GT(count(qRgb(0, 255, 0)), 0);  // the point on layer 0 stays
}

TEST_F(Viewer, PicturesOfTheView)
{
    QString bmp = dir.filePath(QStringLiteral("view.bmp"));
    ASSERT_TRUE(view.SaveAsBitmap(bmp));
    QFile f(bmp);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(2), QByteArray("BM"));
    QImage back(bmp);
    EXPECT_EQ(back.size(), QSize(400, 300));
    QString nowhere = dir.filePath(QStringLiteral("no/such/folder/view.bmp"));
    EXPECT_FALSE(view.SaveAsBitmap(nowhere));
    QString empty;
    EXPECT_FALSE(view.SaveAsBitmap(empty));

    view.CopyToClipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(400, 300));
}

TEST_F(Viewer, PrintsFittedToThePageThroughTheDialogWhereNoPrinterIs)
{
    int asked = 0;
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // No printer: even a print without a dialog asks, offering a PDF
        // file named after the drawing beside it. Cancelling is no failure.
        view.setPrintDialog([&](QPrinter& p, QWidget*) {
            ++asked;
            EXPECT_EQ(p.outputFormat(), QPrinter::PdfFormat);
            EXPECT_EQ(p.outputFileName(), dir.filePath(QStringLiteral("v.pdf")));
            return false;
        });
        QString why;
        EXPECT_FALSE(view.PrintDrawing(false, why));
        EXPECT_FALSE(view.PrintDrawing(true, why));
        EXPECT_EQ(asked, 2);
        EXPECT_TRUE(why.isEmpty());
        asked = 0;
    }
    QString pdf = dir.filePath(QStringLiteral("print.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    view.setPrintDialog([&](QPrinter&, QWidget*) { return ++asked > 1; });  // cancel, then print
    EXPECT_FALSE(view.printTo(printer, true));
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_TRUE(view.printTo(printer, true));
    EXPECT_EQ(asked, 2);
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(4) == QByteArray("%PDF"));
}

TEST_F(Viewer, NothingToShowDrawsAnEmptyView)
{
    view.CloseDrawing();
    EXPECT_EQ(count(qRgb(0, 0, 0)), 400 * 300);
    QString garbage = dir.filePath(QStringLiteral("garbage.dxf"));
    QFile g(garbage);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write("this is not a drawing\n0\nSECTION\n");
    g.close();
    EXPECT_FALSE(view.OpenDrawing(garbage));
    EXPECT_EQ(count(qRgb(0, 0, 0)), 400 * 300);
    double x = 1, y = 1;
    view.ScreenToDrawing(10, 10, x, y);  // still answers
    EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
}

TEST_F(Viewer, MoveTakesANegativeHeightAsNone)
{
    view.Move(0, 0, 300, -67);
    EXPECT_EQ(view.Height(), 0);
    EXPECT_TRUE(view.viewImage().size() == QSize(800, 600));  // a picture even without a size
}

// Text painted by the shown widget through its own paint events, after the
// thread that built the scene has ended: the glyphs must come from fonts of
// the painting thread, whatever built the scene.
TEST(ViewerOnScreen, TextPaintsLargeAfterTheBuildingThreadHasEnded)
{
    QTemporaryDir dir;
    Drawing d;
    d.add(text("HELLO WORLD", 0, 0, 10));
    d.add(mtext("{\\fArial|b1;Bold} \\C1;red\\Pnext line \u4E2D\u6587 %%c50", 0, -30, 5));
    d.add(line(-10, -60, 120, 20));
    QString path = d.save(dir.path(), QStringLiteral("t.dxf"));

    DDVue view;
    view.resize(500, 400);
    viewdriver::PaintCounter counter(&view);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QString p = path;
    ASSERT_TRUE(view.OpenDrawing(p));
    // The scene is built on a thread of its own; once built, that thread
    // ends and the view paints on its own.
    ASSERT_TRUE(viewdriver::waitFor([&] { return counter.paints > 1 && !view.scene().texts().empty(); }));
    QTest::qWait(50);

    int before = counter.paints;
    ASSERT_TRUE(viewdriver::zoomOnLargestText(view, 60));
    ASSERT_TRUE(viewdriver::waitFor([&] { return counter.paints > before; }));
    auto spot = viewdriver::largestText(view.scene());
    ASSERT_TRUE(spot);
    EXPECT_GE(spot->capHeight * view.view().scale(), 60);

    // Letters, not strokes: around the text, many pixels are lit, and many
    // stay dark between and inside the letters.
    QImage shown = view.grab().toImage();
    QPointF at = view.view().toScreen(spot->centre);
    int lit = 0, dark = 0;
    for (int y = int(at.y()) - 30; y < int(at.y()) + 30; ++y)
        for (int x = int(at.x()) - 100; x < int(at.x()) + 100; ++x) {
            if (!shown.rect().contains(x, y)) continue;
            (qGray(shown.pixel(x, y)) > 96 ? lit : dark)++;
        }
    EXPECT_GT(lit, 500);
    EXPECT_GT(dark, 500);

    // Out again, and painted at every step.
    before = counter.paints;
    for (int i = 0; i < 30; ++i) {
        viewdriver::wheel(&view, QPointF(250, 200), -1);
        QTest::qWait(1);
    }
    EXPECT_TRUE(viewdriver::waitFor([&] { return counter.paints > before; }));
}
