// The drawing window shown and worked through its menu's shortcuts, typed to
// the widget that has the focus: the drawing read beside the window, the
// pointer status line, copy, save as BMP (and a cancelled save), print
// through the print dialog (to a PDF file here, where no printer is
// installed) and its preview, open in the associated program, exit; and the
// status line's numbers. With TESSILUX_SCREENSHOT_DIR set, the print dialog
// and the preview are saved there as pictures.

#include "QtPrint.h"
#include "TestPaths.h"
#include "ViewDriver.h"
#include "drawing/PointerStatus.h"
#include "drawing/frmDrawing.h"

#include "Doubles.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QtEndian>
#include <QClipboard>
#include <QMimeData>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using drawing::frmDrawing;

namespace {

struct Seams {
    platform::MemorySettingsStore settings;
    platform::ScriptedMessageBoxes boxes;
    platform::ScriptedFileDialogs dialogs;
    platform::RecordingShellOpener shell;
    platform::Installed<platform::SettingsStore> s{settings};
    platform::Installed<platform::MessageBoxes> b{boxes};
    platform::Installed<platform::FileDialogs> d{dialogs};
    platform::Installed<platform::ShellOpener> o{shell};
};

void screenshot(QWidget& w, const char* name)
{
    QString dir = qEnvironmentVariable("TESSILUX_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    w.grab().save(QDir(dir).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
}

// What the pages of a PDF draw: its streams, unpacked.
QByteArray pdfDrawing(const QByteArray& pdf)
{
    QByteArray all;
    for (qsizetype at = pdf.indexOf(">>\nstream"); at >= 0; at = pdf.indexOf(">>\nstream", at)) {
        qsizetype from = pdf.indexOf('\n', at + 3) + 1;
        qsizetype to = pdf.indexOf("endstream", from);
        if (to < 0) break;
        const qsizetype object = pdf.lastIndexOf(" obj", at);
        if (object >= 0 && pdf.mid(object, at - object).contains("/FlateDecode")) {
            QByteArray packed(4, '\0');
            qToBigEndian<quint32>(1u << 24, packed.data());  // room to unpack into
            all += qUncompress(packed + pdf.mid(from, to - from));
        } else {
            all += pdf.mid(from, to - from);
        }
        at = to;
    }
    return all;
}

// Pixels of `image` in a clear color (not white, black or gray): the
// drawing's colored lines on the paper.
int coloredPixels(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            QColor c = image.pixelColor(x, y);
            n += c.hsvSaturation() > 120 && c.value() > 80;
        }
    return n;
}

// Shows the window and waits until its drawing is read and painted.
void showAndSettle(frmDrawing& w)
{
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_TRUE(viewdriver::waitFor([&] { return !w.isOpening(); }));
    w.DDVue1->scene();
    viewdriver::PaintCounter paints(w.DDVue1);
    w.DDVue1->update();
    ASSERT_TRUE(viewdriver::waitFor([&] { return paints.paints > 0; }));
}

// A shortcut typed where the focus is, as a person types it (the window
// active again, as it is when a screen over it has closed).
void press(QWidget& window, int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
{
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : &window, static_cast<Qt::Key>(key), modifiers);
}

}  // namespace

TEST(PointerStatus, ShortestGeneralNumbersWithTheLocalesSeparator)
{
    QLocale c = QLocale::c();
    EXPECT_EQ(drawing::pointerStatusText(312, 208, 1520.75, 884.5, c), "312,208  1520.75,884.5");
    EXPECT_EQ(drawing::pointerStatusText(-3, 0, -0.0, 0.1 + 0.2, c), "-3,0  0,0.3");
    EXPECT_EQ(drawing::generalNumber(123456789.25, c), "123456789.25");  // no grouping
    EXPECT_EQ(drawing::generalNumber(1.0 / 3.0, c), "0.333333333333333");  // 15 digits
    EXPECT_EQ(drawing::generalNumber(1e20, c), "1e+20");
    EXPECT_EQ(drawing::generalNumber(std::nan(""), c), "0");
    EXPECT_EQ(drawing::generalNumber(HUGE_VAL, c), "0");
    EXPECT_EQ(drawing::pointerStatusText(120, 45, 10.5, 3.25, QLocale(QLocale::German)), "120,45  10,5,3,25");
    EXPECT_EQ(drawing::generalNumber(12345.5, QLocale(QLocale::German)), "12345,5");

    // The main window's coordinates: drawing units at the drawing's precision.
    EXPECT_EQ(drawing::pointerCoordinates(1520.75, 884.5, 4, c), "1520.7500, 884.5000");
    EXPECT_EQ(drawing::pointerCoordinates(240.67999999999998, -0.00004, 2, c), "240.68, 0.00");
    EXPECT_EQ(drawing::pointerCoordinates(123456.6, std::nan(""), 0, c), "123457, 0");  // no grouping
    EXPECT_EQ(drawing::pointerCoordinates(10.5, 3.26, 1, QLocale(QLocale::German)), "10,5; 3,3");
    EXPECT_EQ(drawing::linearPrecision(std::string("     2")), 2);
    EXPECT_EQ(drawing::linearPrecision(std::nullopt), 4);
    EXPECT_EQ(drawing::linearPrecision(std::string("12")), 4);
    EXPECT_EQ(drawing::linearPrecision(std::string("x")), 4);
}

TEST(DrawingWindow, OffersTheDrawingsNameAsABitmap)
{
    EXPECT_EQ(frmDrawing::bitmapFileName("plan.dwg"), "plan.bmp");
    EXPECT_EQ(frmDrawing::bitmapFileName("plan.v2.dxf"), "plan.bmp");
    EXPECT_EQ(frmDrawing::bitmapFileName("PLAN"), "PLAN.bmp");
}

TEST(DrawingWindow, ShowsTheDrawingWithItsMenuAndFollowsThePointer)
{
    Seams seams;
    seams.settings.values["Paths"] = "/nowhere/fonts";
    const QString path = testpaths::samples("office-floor-plan-2000.dxf");
    frmDrawing w({path, "office-floor-plan-2000.dxf", QString()}, "/tmp/");
    EXPECT_EQ(w.windowTitle(), path);
    ASSERT_NO_FATAL_FAILURE(showAndSettle(w));
    EXPECT_TRUE(w.DDVue1->engine().isOpen());
    EXPECT_EQ(w.DDVue1->engine().searchPaths(), "/nowhere/fonts");
    EXPECT_EQ(QApplication::focusWidget(), w.DDVue1);

    // The menu, in its order, with its shortcuts.
    EXPECT_EQ(w.mnuFile->title(), "&File");
    QStringList items, keys;
    for (QAction* a : w.mnuFile->actions()) {
        items << a->text();
        keys << a->shortcut().toString();
    }
    EXPECT_EQ(items, QStringList({"&Print", "Print Pre&view", "&Open", "&Copy to Clipboard", "&Save as Picture",
                                  "&Exit"}));
    EXPECT_EQ(keys, QStringList({"Ctrl+P", "Ctrl+Shift+P", "Ctrl+O", "Ctrl+C", "Ctrl+S", "Ctrl+E"}));

    // The view across the window under the menu, the status line under it.
    EXPECT_EQ(w.DDVue1->width(), w.width());
    EXPECT_GE(w.DDVue1->y(), w.menuBar->height());
    EXPECT_GT(w.lblStatus->y(), w.DDVue1->y() + w.DDVue1->height());
    EXPECT_LE(w.lblStatus->y() + w.lblStatus->height(), w.height());

    // The pointer over the view.
    QPoint at(w.DDVue1->width() / 3, w.DDVue1->height() / 2);
    QTest::mouseMove(w.DDVue1, at);
    ASSERT_TRUE(viewdriver::waitFor([&] { return !w.lblStatus->text().isEmpty(); }, 5000));
    double dx = 0, dy = 0;
    w.DDVue1->ScreenToDrawing(at.x(), at.y(), dx, dy);
    EXPECT_EQ(w.lblStatus->text(), drawing::pointerStatusText(at.x(), at.y(), dx, dy));

    // Zoomed in, then Exit: the window closes, its drawing with it.
    ASSERT_TRUE(viewdriver::zoomOnLargestText(*w.DDVue1, 40));
    press(w, Qt::Key_E);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.DDVue1->engine().isOpen());
    EXPECT_EQ(seams.boxes.shown.size(), 0u);
}

TEST(DrawingWindow, CopiesAndSavesTheViewAndOpensTheFile)
{
    Seams seams;
    QTemporaryDir out;
    const QString path = testpaths::samples("studio-floor-plan-2018.dxf");
    const QString firstFolder = out.filePath("first/");
    frmDrawing w({path, "studio-floor-plan-2018.dxf", QString()}, firstFolder);
    ASSERT_NO_FATAL_FAILURE(showAndSettle(w));

    QGuiApplication::clipboard()->clear();
    press(w, Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), w.DDVue1->size());
    // The vectors too, for programs that take them.
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->data("image/svg+xml").contains("<path"));
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, "Drawing copied to ClipBoard.");
    EXPECT_EQ(seams.boxes.shown[0].icon, platform::MsgIcon::Information);

    // Cancelled: nothing saved, the folder kept.
    press(w, Qt::Key_S);
    ASSERT_EQ(seams.dialogs.requests.size(), 1u);
    EXPECT_EQ(seams.dialogs.requests[0].title, "Save Picture");
    EXPECT_TRUE(seams.dialogs.requests[0].filter.startsWith("BMP Files (*.bmp);;PNG Files (*.png)"))
        << seams.dialogs.requests[0].filter.toStdString();
    EXPECT_EQ(seams.dialogs.requests[0].directory, firstFolder + "studio-floor-plan-2018.bmp");
    EXPECT_EQ(w.BitmapFolder(), firstFolder);

    // Saved elsewhere: the picture reads back, and that folder is offered next.
    QDir(out.path()).mkdir("pictures");
    const QString bmp = out.filePath("pictures/view.bmp");
    seams.dialogs.answers = {bmp};
    press(w, Qt::Key_S);
    QImage saved(bmp, "BMP");
    EXPECT_EQ(saved.size(), w.DDVue1->size());
    EXPECT_EQ(w.BitmapFolder(), out.filePath("pictures/"));
    seams.dialogs.answers = {QString()};
    press(w, Qt::Key_S);
    EXPECT_EQ(seams.dialogs.requests.back().directory, out.filePath("pictures/studio-floor-plan-2018.bmp"));
    // The other kinds, by the name's ending: PNG pixels, SVG and PDF vectors.
    for (const char* name : {"view.png", "view.svg", "view.pdf"}) {
        seams.dialogs.answers = {out.filePath(QStringLiteral("pictures/") + name)};
        press(w, Qt::Key_S);
    }
    EXPECT_EQ(QImage(out.filePath("pictures/view.png"), "PNG").size(), w.DDVue1->size());
    QFile svg(out.filePath("pictures/view.svg")), pdf(out.filePath("pictures/view.pdf"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly) && pdf.open(QIODevice::ReadOnly));
    const QByteArray svgText = svg.readAll();
    EXPECT_TRUE(svgText.contains("<svg") && svgText.trimmed().endsWith("</svg>"));
    EXPECT_GT(svgText.count('L'), 500);  // lines and letters as vectors
    EXPECT_TRUE(pdf.readAll().startsWith("%PDF"));


    // A picture that cannot be written says why.
    seams.dialogs.answers = {out.filePath("no/such/folder/view.bmp")};
    press(w, Qt::Key_S);
    ASSERT_EQ(seams.boxes.shown.size(), 2u);
    EXPECT_TRUE(seams.boxes.shown[1].text.startsWith("The picture could not be saved as ")) << seams.boxes.shown[1].text.toStdString();
    EXPECT_EQ(seams.boxes.shown[1].icon, platform::MsgIcon::Exclamation);
    EXPECT_FALSE(QFile::exists(out.filePath("no/such/folder/view.bmp")));

    // Open hands the drawing to its program; a refusal says so.
    press(w, Qt::Key_O);
    ASSERT_EQ(seams.shell.opened.size(), 1u);
    EXPECT_EQ(seams.shell.opened[0], QUrl::fromLocalFile(path));
    EXPECT_EQ(seams.boxes.shown.size(), 2u);
    seams.shell.result = false;
    press(w, Qt::Key_O);
    ASSERT_EQ(seams.boxes.shown.size(), 3u);
    EXPECT_EQ(seams.boxes.shown[2].text, "Unable to open file.");
    EXPECT_EQ(seams.boxes.shown[2].icon, platform::MsgIcon::Exclamation);
    w.close();
}

// Print (Ctrl+P) always shows the print dialog; where no printer is
// installed it offers a PDF file named after the drawing, and the print
// writes that file, whole, with the drawing on its page. A print that cannot
// be written says why. The preview (Ctrl+Shift+P) shows the drawing on the
// page, and its Print prints in the orientation chosen there.
TEST(DrawingWindow, PrintsThroughTheDialogAndPreviewsThePage)
{
    Seams seams;
    platform::ScriptedScreenRunner screens;
    platform::Installed<platform::ScreenRunner> r{screens};
    QTemporaryDir dir;
    const QString path = dir.filePath("office-floor-plan-2000.dxf");
    ASSERT_TRUE(QFile::copy(testpaths::samples("office-floor-plan-2000.dxf"), path));
    frmDrawing w({path, "office-floor-plan-2000.dxf", QString()}, dir.path() + "/");
    ASSERT_NO_FATAL_FAILURE(showAndSettle(w));
    const bool noPrinter = QPrinterInfo::availablePrinters().isEmpty();

    // The dialog: the PDF file offered where there is no printer; chosen
    // here (the last entry) and printed with the dialog's own Print button.
    const QString pdf = dir.filePath("plan.pdf");
    screens.handlers.push_back([&](QDialog& d) {
        ASSERT_TRUE(qobject_cast<QPrintDialog*>(&d));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        auto* printers = d.findChild<QComboBox*>("printers");
        auto* file = d.findChild<QLineEdit*>("filename");
        ASSERT_TRUE(printers && file);
        if (noPrinter) {
            EXPECT_EQ(printers->currentIndex(), printers->count() - 1);
            EXPECT_EQ(file->text(), dir.filePath("office-floor-plan-2000.pdf"));
        }
        screenshot(d, "print-dialog");
        printers->setCurrentIndex(printers->count() - 1);
        file->setText(pdf);
        QTest::mouseClick(d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    press(w, Qt::Key_P);
    EXPECT_EQ(screens.shown, std::vector<QString>{"dlgPrint"});
    EXPECT_EQ(seams.boxes.shown.size(), 0u);
    QFile printed(pdf);
    ASSERT_TRUE(printed.open(QIODevice::ReadOnly));
    const QByteArray bytes = printed.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
    EXPECT_EQ(bytes.count("/Type /Page\n"), 1);
    const QByteArray page = pdfDrawing(bytes);
    // The floor plan's walls, doors and furniture: many lines, stroked in
    // the layers' colors.
    EXPECT_GT(page.count(" l\n"), 200) << page.left(400).toStdString();
    EXPECT_TRUE(page.contains("\n0 1 1 SCN\n")) << page.left(400).toStdString();

    // Printed where it cannot be written (a folder gone since it was
    // chosen): said, with the reason, and nothing left behind.
    const QString nowhere = dir.filePath("gone/plan.pdf");
    screens.handlers.push_back([&](QDialog& d) {
        d.findChild<QLineEdit*>("filename")->setText(nowhere);
        d.accept();
    });
    press(w, Qt::Key_P);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    const platform::Message& box = seams.boxes.shown[0];
    EXPECT_TRUE(box.text.startsWith("The drawing could not be printed.")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(nowhere)) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("No such file or directory")) << box.text.toStdString();
    EXPECT_EQ(box.icon, platform::MsgIcon::Exclamation);
    EXPECT_EQ(box.title, platform::programTitle());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("gone")));

    // Cancelled: nothing printed, nothing said.
    screens.handlers.push_back([](QDialog& d) { d.reject(); });
    press(w, Qt::Key_P);
    EXPECT_EQ(seams.boxes.shown.size(), 1u);

    // The preview: the drawing on the page; landscape, then Print.
    const QString landscapePdf = dir.filePath("landscape.pdf");
    screens.handlers.push_back([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Print Preview");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        auto* preview = d.findChild<QPrintPreviewWidget*>("preview");
        ASSERT_TRUE(preview);
        EXPECT_EQ(preview->pageCount(), 1);
        QTest::qWait(50);
        EXPECT_GT(coloredPixels(preview->grab().toImage()), 300);
        screenshot(d, "print-preview");
        QTest::mouseClick(d.findChild<QPushButton*>("cmdLandscape"), Qt::LeftButton);
        EXPECT_EQ(preview->orientation(), QPageLayout::Landscape);
        QTest::qWait(50);
        EXPECT_GT(coloredPixels(preview->grab().toImage()), 300);
        screenshot(d, "print-preview-landscape");
        QTest::mouseClick(d.findChild<QPushButton*>("cmdPrint"), Qt::LeftButton);
    });
    screens.handlers.push_back([&](QDialog& d) {
        auto* printers = d.findChild<QComboBox*>("printers");
        printers->setCurrentIndex(printers->count() - 1);
        d.findChild<QLineEdit*>("filename")->setText(landscapePdf);
        QTest::mouseClick(d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    press(w, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(screens.shown.size(), 5u);
    EXPECT_EQ(screens.shown[3], "dlgPrintPreview");
    EXPECT_EQ(screens.unexpected, 0);
    QFile wide(landscapePdf);
    ASSERT_TRUE(wide.open(QIODevice::ReadOnly));
    const QByteArray wideBytes = wide.readAll();
    QRegularExpressionMatch box2 =
        QRegularExpression(R"(/MediaBox \[0 0 ([0-9.]+) ([0-9.]+)\])").match(QString::fromLatin1(wideBytes));
    ASSERT_TRUE(box2.hasMatch());
    EXPECT_GT(box2.captured(1).toDouble(), box2.captured(2).toDouble());  // wider than high
    EXPECT_GT(pdfDrawing(wideBytes).count(" l\n"), 200);
    EXPECT_EQ(seams.boxes.shown.size(), 1u);
    w.close();
}

TEST(DrawingWindow, ADrawingThatCannotBeReadLeavesAnEmptyViewAndSaysWhyBelowIt)
{
    Seams seams;
    QTemporaryDir dir;
    QFile broken(dir.filePath("broken.dxf"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("  0\nSECTION\n  2\nHEADER\n");
    broken.close();
    frmDrawing w({broken.fileName(), "broken.dxf", QString()}, dir.path() + "/");
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_TRUE(viewdriver::waitFor([&] { return !w.isOpening(); }));
    EXPECT_FALSE(w.DDVue1->engine().isOpen());
    EXPECT_TRUE(w.lblStatus->text().startsWith("Unable to open drawing")) << w.lblStatus->text().toStdString();
    EXPECT_EQ(seams.boxes.shown.size(), 0u);
}
