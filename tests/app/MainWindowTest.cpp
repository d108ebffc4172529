// The main window driven as a person would, without a display: start-up and
// shutdown with their settings, the file browser, opening drawings (with the
// prompts and failures on the way) and the grid's categories.

#include "TestPaths.h"
#include "WindowKit.h"
#include "app/FileBrowser.h"
#include "app/MainWindowLogic.h"
#include "app/frmMain.h"
#include "app/frmPassword.h"

#include "Oracle.h"
#include "ddvue/FileNames.h"
#include "ddvue/dxf/Entities.h"
#include "extract/CategoryContent.h"
#include "Doubles.h"
#include "filter/frmFilter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QMimeData>
#include <QUrl>
#include <QDragEnterEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace app;
using platform::MsgResult;

namespace {

// A folder of drawings the tests may change: copies of bundled samples,
// a broken drawing, and a drawing whose name is in capitals.
struct Folder {
    QTemporaryDir dir;
    Folder()
    {
        for (const char* name : {"office-floor-plan-2000.dxf", "studio-floor-plan-2018.dxf", "workshop-plan-R12.dxf"})
            QFile::copy(testpaths::samples(name), dir.filePath(name));
        QFile::copy(testpaths::samples("apartment-floor-plan-2007.dxf"), dir.filePath("PLAN.DXF"));
        QFile broken(dir.filePath("broken.dxf"));
        broken.open(QIODevice::WriteOnly);
        broken.write("  0\nSECTION\n  2\nHEADER\n");
    }
    QString path(const QString& name = QString()) const { return name.isEmpty() ? dir.path() : dir.filePath(name); }
};

using windowkit::Seams;

void click(QListWidget* list, const QString& name)
{
    auto items = list->findItems(name, Qt::MatchExactly);
    ASSERT_FALSE(items.isEmpty()) << name.toStdString();
    list->scrollToItem(items.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(items.first()).center());
}

// Waits until the drawing being read (if any) is open and listed.
void settle(frmMain& w)
{
    QElapsedTimer clock;
    clock.start();
    while (w.isOpening() && clock.elapsed() < 60000) QTest::qWait(5);
    ASSERT_FALSE(w.isOpening()) << "the drawing is still being read after a minute";
}

// Clicks a drawing in the file list and waits until it is open.
void open(frmMain& w, const QString& name)
{
    click(w.List3, name);
    settle(w);
}

// The window becomes the active one, so that the keys typed go to the
// widget that has its focus.
void activate(QWidget& w)
{
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

// Clicks a cell of the grid.
void clickCell(data::DataGrid* grid, int row, int column)
{
    QModelIndex index = grid->model()->index(row, column);
    ASSERT_TRUE(index.isValid()) << row << "," << column;
    grid->scrollTo(index);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
}

// Types into whatever widget has the focus, a key at a time (the first key
// typed into the grid opens the cell's editor, which takes the focus).
void typeIn(const QString& text)
{
    for (QChar c : text) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_TRUE(focus) << "no widget has the focus";
        if (c.unicode() < 0x80)
            QTest::keyClicks(focus, QString(c));
        else  // a character no key of the test's keyboard types: its text alone
            QTest::sendKeyEvent(QTest::Click, focus, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus) << "no widget has the focus";
    QTest::keyClick(focus, key, modifiers);
    QApplication::processEvents();  // an editor closes on the next turn of the event loop
}

// Clicks a cell, types a value and presses Enter, as a person edits.
void editCell(frmMain& w, int row, int column, const QString& text)
{
    activate(w);
    clickCell(w.dtgDrawing, row, column);
    typeIn(text);
    pressKey(Qt::Key_Return);
}

// The grid row whose key field (handle or layer name) is `key`; -1 when none.
int rowOf(frmMain& w, const QString& field, const QString& key)
{
    data::Recordset* rs = w.recordset();
    int f = rs->fieldIndex(field);
    for (int r = 0; r < rs->rowCount(); ++r)
        if (rs->cell(r, f) == key) return r;
    return -1;
}

QString cellText(frmMain& w, int row, int column)
{
    return w.dtgDrawing->model()->index(row, column).data().toString();
}

QStringList listed(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

QStringList captions(const data::DataGrid* grid)
{
    QStringList out;
    for (int c = 0; c < grid->columnCount(); ++c) out << grid->columnCaption(c);
    return out;
}

std::unique_ptr<frmMain> startIn(Seams& seams, const QString& folder, const QString& data = QStringLiteral("1"))
{
    seams.settings.values[QStringLiteral("Dir")] = folder;
    seams.settings.values[QStringLiteral("Drive")] = QStringLiteral("/");
    seams.settings.values[QStringLiteral("Data")] = data;
    auto w = std::make_unique<frmMain>();
    w->screenWidth = [] { return 1280; };
    w->Combo2->setEditText(QStringLiteral("*.dxf"));
    w->Combo2_Change();
    w->show();
    return w;
}

// Starts in the folder with one of its drawings open, the window on the screen.
std::unique_ptr<frmMain> startWith(Seams& seams, const Folder& folder, const QString& drawing)
{
    auto w = startIn(seams, folder.path());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    open(*w, drawing);
    return w;
}

QByteArray contentsOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Switches layer 0 off in the grid: the Layers view, its Display cell,
// "off" typed and Enter.
void change(frmMain& w)
{
    QTest::mouseClick(w.optLayer, Qt::LeftButton);
    int row = rowOf(w, QStringLiteral("Name"), QStringLiteral("0"));
    ASSERT_GE(row, 0);
    editCell(w, row, 1, QStringLiteral("off"));
    ASSERT_EQ(cellText(w, row, 1), "Off");
    ASSERT_TRUE(w.DrawingChanged());
}

bool layerZeroIsOff(const QString& path)
{
    ddvue::DDVueEngine e;
    QString p = path;
    if (!e.OpenDrawing(p)) return false;
    return !ddvue::dxf::layerState(*e.document(), *e.document()->findLayer("0")).on;
}

}  // namespace

TEST(MainWindowLogic, SettingsCategoryInformationLineAndProgress)
{
    EXPECT_EQ(categoryFromDataSetting("4"), CategoryOption::Layers);
    EXPECT_EQ(categoryFromDataSetting(" 2 "), CategoryOption::SingleText);
    EXPECT_FALSE(categoryFromDataSetting("7"));
    EXPECT_FALSE(categoryFromDataSetting("abc"));
    EXPECT_FALSE(categoryFromDataSetting("256"));

    platform::MemorySettingsStore store;
    StartupSettings first = readStartupSettings(store, "/opt/tessilux/", "/", "/opt/tessilux/samples");
    EXPECT_TRUE(first.firstRun);
    EXPECT_EQ(first.dir, "/opt/tessilux/samples");
    EXPECT_EQ(first.bitmapFolder, "/opt/tessilux/");
    EXPECT_EQ(first.data, "1");
    EXPECT_EQ(first.paths, "");
    EXPECT_EQ(first.pattern, "*.dwg");
    writeShutdownSettings(store, "/", "/home/x", "/home/x/bmp", CategoryOption::MultiText, "*.dxf");
    StartupSettings again = readStartupSettings(store, "/opt/tessilux/", "/", "/opt/tessilux/samples");
    EXPECT_EQ(again.pattern, "*.dxf") << "a folder of DXF drawings lists them again on the next start";
    EXPECT_FALSE(again.firstRun);
    EXPECT_EQ(again.dir, "/home/x");
    EXPECT_EQ(store.values["Data"], "3");

    QTemporaryDir dir;
    QFile f(dir.filePath("a.dxf"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(1234567, 'x'));
    f.close();
    QString line = fileInformationLine("R14", QFileInfo(f.fileName()), QLocale(QLocale::English));
    EXPECT_TRUE(line.startsWith("R14  ")) << line.toStdString();
    EXPECT_TRUE(line.endsWith("  1,234,567")) << line.toStdString();
    EXPECT_EQ(fileInformationLine("R14", QFileInfo(dir.filePath("gone.dxf"))), "");

    QStringList shown;
    int repaints = 0;
    ProgressReport quiet([&](const QString& t) { shown << t; }, [&] { ++repaints; }, 60000);
    quiet.report("Opening", 10);
    EXPECT_TRUE(shown.isEmpty()) << "short work shows nothing";
    ProgressReport slow([&](const QString& t) { shown << t; }, [&] { ++repaints; }, 0);
    slow.report("Opening plan.dxf", 45);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], "Opening plan.dxf... 45%");
    EXPECT_EQ(repaints, 1);
}

TEST(MainWindowLogic, BrowserRules)
{
    EXPECT_TRUE(patternRelists("*.DWG"));
    EXPECT_TRUE(patternRelists("plan*.dxf"));
    EXPECT_FALSE(patternRelists("*.dw"));
    EXPECT_FALSE(patternRelists("*.*"));
    EXPECT_TRUE(patternRelists("*.dxfb"));
    EXPECT_TRUE(patternRelists("PLAN.DXF"));
    EXPECT_FALSE(patternRelists("*.dxfbak"));
    EXPECT_EQ(patternAfterPeriod("A1"), "A1.dwg");
    EXPECT_EQ(patternAfterPeriod("*.dwg"), "*.dwg");
    EXPECT_EQ(fileCountText(0), "");
    EXPECT_EQ(fileCountText(1), "1 file.");
    EXPECT_EQ(fileCountText(12), "12 files.");
    Folder folder;
    EXPECT_EQ(listDrawingFiles(folder.path(), "*.dxf"),
              (QStringList{"broken.dxf", "office-floor-plan-2000.dxf", "PLAN.DXF", "studio-floor-plan-2018.dxf",
                           "workshop-plan-R12.dxf"}));
    EXPECT_EQ(listDrawingFiles(folder.path(), "*.dwg"), QStringList());
}

TEST(MainWindow, ControlsStandWhereTheDesignPutsThem)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    EXPECT_EQ(w->windowTitle(), "Tessilux");
    EXPECT_EQ(w->objectName(), "frmMain");
    struct Expected {
        const char* name;
        int l, t, wd, h;
        bool visible;
    } expected[] = {
        {"frmFile", 120, 120, 4455, 5055, true},   {"Drive1", 120, 360, 4215, 315, true},
        {"Dir1", 120, 720, 4215, 1440, true},      {"Combo2", 120, 2280, 2175, 315, true},
        {"Command3", 2280, 2280, 375, 255, true},  {"List3", 120, 2640, 4215, 2010, true},
        {"cmdPrint", 3960, 4640, 375, 375, false}, {"cmdOpen", 3720, 4760, 375, 375, false},
        {"cmdPrintPreview", 3345, 4760, 375, 375, false},
        {"frmInfo", 4680, 120, 4335, 975, true},   {"optLayer", 2280, 600, 975, 255, true},
        {"DDVue1", 4680, 1320, 4335, 3615, true},  {"dtgDrawing", 120, 5280, 8895, 1935, true},
        {"Adodc1", 6480, 7200, 2535, 330, true},   {"cmdSave", 120, 7320, 615, 615, false},
        {"lblWelcome", 120, 7320, 6255, 255, true}, {"cmdDeleteAll", 4680, 7680, 1095, 255, false},
        {"chkWholeWord", 6480, 7785, 2100, 225, false}, {"cmdHelp", 8640, 7560, 375, 375, true},
        {"optImage", 2280, 600, 975, 255, false},  {"optExtRef", 240, 600, 1695, 255, false},
    };
    for (const auto& e : expected) {
        QWidget* c = w->findChild<QWidget*>(e.name);
        ASSERT_TRUE(c) << e.name;
        EXPECT_EQ(c->geometry(), QRect(px(e.l), px(e.t), px(e.wd), px(e.h))) << e.name;
        EXPECT_EQ(c->isVisibleTo(w.get()), e.visible) << e.name;
    }
    EXPECT_EQ(w->Combo2->toolTip(), " Specify or select file pattern ");
    EXPECT_EQ(w->cmdOpen->toolTip(), "Open Drawing");
    EXPECT_EQ(w->Command3->text(), "All");
    EXPECT_EQ(w->lblWelcome->text(), "Welcome to Tessilux. Press the F1 key for help.");
    EXPECT_TRUE(w->optAttribute->isChecked());
    EXPECT_EQ(w->frmInfo->title(), "Drawing Information");

    // Proportional scaling from the design, and the size limits.
    QRect list = w->List3->geometry();
    float listFont = static_cast<float>(w->List3->font().pointSizeF());
    EXPECT_EQ(w->minimumSize(), QSize(px(9135), px(8025)));
    EXPECT_LE(w->maximumWidth(), 4000) << "no larger than the screen";
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    w->resize(px(9135) * 2, px(8025) * 2);
    EXPECT_NEAR(w->List3->geometry().width(), list.width() * 2, 1);
    EXPECT_NEAR(w->List3->geometry().y(), list.y() * 2, 1);
    EXPECT_NEAR(w->List3->font().pointSizeF(), listFont * 2, 0.01);
    w->resize(px(9135) * 2, px(8025));
    EXPECT_NEAR(w->List3->geometry().width(), list.width() * 2, 1);
    EXPECT_NEAR(w->List3->geometry().height(), list.height(), 1);
    EXPECT_NEAR(w->List3->font().pointSizeF(), listFont, 0.01) << "the smaller ratio keeps the fonts";
}

// What a control needs to show its text whole: its text's height, and its
// width beside a check box's or option's indicator; "" for a control that
// needs nothing checked here.
QString clippedText(const QWidget* c)
{
    const QFontMetrics fm = c->fontMetrics();
    QString text;
    int room = c->width();
    int indicator = 0;
    if (auto* label = qobject_cast<const QLabel*>(c)) {
        text = label->text();
    } else if (auto* check = qobject_cast<const QAbstractButton*>(c); check && (qobject_cast<const QCheckBox*>(c) ||
                                                                               qobject_cast<const QRadioButton*>(c))) {
        text = check->text();
        const bool box = qobject_cast<const QCheckBox*>(c);
        indicator = c->style()->pixelMetric(box ? QStyle::PM_IndicatorHeight : QStyle::PM_ExclusiveIndicatorHeight);
        room -= indicator + c->style()->pixelMetric(box ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing);
    } else if (auto* button = qobject_cast<const QPushButton*>(c)) {
        text = button->text();
        room -= 4;  // the button's frame
    } else if (qobject_cast<const QLineEdit*>(c)) {
        text = "Xg";
    } else {
        return {};
    }
    text.remove('&');  // the Alt key's mark, shown as an underline
    if (text.isEmpty()) return {};
    if (std::max(fm.height(), indicator) > c->height() || fm.horizontalAdvance(text) > room)
        return QStringLiteral("%1 \"%2\": %3x%4 for text %5x%6").arg(c->objectName(), text).arg(c->width()).arg(c->height())
            .arg(fm.horizontalAdvance(text)).arg(fm.height());
    return {};
}

// From the design size to a 4K screen, and wider or taller than the design's
// proportions: every caption, label and check box shows its text whole and
// inside the window, the grid's rows are as high as its font, and its columns
// keep their share of its width, so that the coordinates still read whole.
TEST(MainWindow, EveryTextShowsWholeFromTheDesignSizeToAFourKScreen)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    open(*w, "office-floor-plan-2000.dxf");
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QSize design(px(9135), px(8025));
    const int tagWidth = w->dtgDrawing->columnWidth(6);
    for (QSize size : {design, QSize(800, 700), QSize(1400, 1000), QSize(1600, 1200), QSize(2400, 900),
                       QSize(1000, 1400), QSize(3840, 2160), design}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        w->resize(size);
        QCoreApplication::processEvents();
        for (QWidget* c : w->findChildren<QWidget*>()) {
            if (!c->isVisibleTo(w.get()) || c->property("tessiluxControl").isNull()) continue;
            EXPECT_EQ(clippedText(c).toStdString(), "");
            QRect inWindow(c->mapTo(w.get(), QPoint(0, 0)), c->size());
            EXPECT_TRUE(w->rect().contains(inWindow)) << c->objectName().toStdString();
        }
        data::DataGrid* grid = w->dtgDrawing;
        const QFontMetrics fm = grid->fontMetrics();
        EXPECT_GE(grid->rowHeight(0), fm.height() + 2) << "rows as high as the grid's font";
        const double widthRatio = static_cast<double>(size.width()) / design.width();
        EXPECT_NEAR(grid->columnWidth(6), tagWidth * widthRatio, 1.5) << "columns keep their share";
        EXPECT_EQ(grid->columnWidthTwips(6), 2100) << "the design width stays the column's own";
        EXPECT_GE(grid->columnWidth(4), px(500) * widthRatio - 1);
        for (int column : {4, 5}) {  // X, Y
            for (int row = 0; row < grid->model()->rowCount(); ++row) {
                QString text = grid->model()->index(row, column).data().toString();
                EXPECT_LE(fm.horizontalAdvance(text) + 6, grid->columnWidth(column)) << text.toStdString();
            }
        }
        EXPECT_GE(w->cmdSave->iconSize().height(), 16 * std::min(widthRatio, static_cast<double>(size.height()) /
                                                                                design.height()) - 1)
            << "the picture buttons' icons grow with the fonts";
    }
}

TEST(MainWindow, StartUpRestoresSettingsAndShutdownStoresThem)
{
    Seams seams;
    Folder folder;
    seams.settings.values["BMPDir"] = "/tmp/pictures/";
    seams.settings.values["Paths"] = "/srv/fonts;/srv/xrefs";
    {
        auto w = startIn(seams, folder.path(), "4");
        EXPECT_EQ(QDir(w->Dir1->path()), QDir(folder.path()));
        EXPECT_TRUE(w->optLayer->isChecked());
        EXPECT_EQ(w->BitmapFolder(), "/tmp/pictures/");
        EXPECT_EQ(w->DDVue1->engine().searchPaths(), "/srv/fonts;/srv/xrefs");
        EXPECT_TRUE(w->AppFolder().endsWith('/'));
        EXPECT_EQ(w->CurrentDrawingPath(), "");
        w->optMultipleText->setChecked(true);
        w->close();
    }
    EXPECT_EQ(seams.settings.values["Data"], "3");
    EXPECT_EQ(QDir(seams.settings.values["Dir"]), QDir(folder.path()));
    EXPECT_EQ(seams.settings.values["BMPDir"], "/tmp/pictures/");
    EXPECT_EQ(seams.settings.values["Paths"], "/srv/fonts;/srv/xrefs") << "only the options screen stores the paths";
    EXPECT_EQ(seams.boxes.shown.size(), 0u);

    // A setting that names no category leaves Block Attributes; a folder that
    // is gone leaves the list where it was.
    seams.settings.values["Data"] = "abc";
    seams.settings.values["Dir"] = folder.path("gone");
    frmMain w2;
    EXPECT_TRUE(w2.optAttribute->isChecked());
    EXPECT_NE(QDir(w2.Dir1->path()), QDir(folder.path("gone")));
}

TEST(MainWindow, TheFirstRunShowsTheBundledSamplesWithADrawingOpen)
{
    Seams seams;  // no settings at all
    frmMain w;
    settle(w);
    EXPECT_EQ(QDir(w.Dir1->path()).dirName(), "samples");
    EXPECT_GT(w.List3->count(), 3);
    EXPECT_FALSE(w.CurrentDrawingPath().isEmpty());
    EXPECT_TRUE(w.DDVue1->engine().isOpen());
    EXPECT_TRUE(w.Adodc1->caption().startsWith("1 of "));
    EXPECT_EQ(seams.boxes.shown.size(), 0u);
}

TEST(MainWindow, TheCommandLineNamesAFolderOrADrawing)
{
    Seams seams;
    Folder folder;
    seams.settings.values["Dir"] = "/";
    {
        frmMain w(frmMain::Start{folder.path(), QString()});
        EXPECT_EQ(QDir(w.Dir1->path()), QDir(folder.path()));
        EXPECT_FALSE(w.DDVue1->engine().isOpen());
    }
    frmMain w(frmMain::Start{QString(), folder.path("PLAN.DXF")});
    settle(w);
    EXPECT_EQ(QDir(w.Dir1->path()), QDir(folder.path()));
    ASSERT_TRUE(w.List3->currentItem());
    EXPECT_EQ(w.List3->currentItem()->text(), "PLAN.DXF");
    EXPECT_EQ(w.Combo2->currentText(), "*.dxf") << "the drawing's own kind is listed";
    EXPECT_EQ(w.CurrentDrawingPath(), folder.path("PLAN.DXF"));
    EXPECT_TRUE(w.DDVue1->engine().isOpen());
    EXPECT_GT(w.recordset()->RecordCount(), 0);
}

TEST(MainWindow, ABinaryDxfNamedDxfbOpensAtStartUp)
{
    Seams seams;
    Folder folder;
    seams.settings.values["Dir"] = "/";
    QFile::copy(testpaths::sourceDir() + "/tests/data/odd/binary-2010.dxf", folder.path("plan.dxfb"));
    frmMain w(frmMain::Start{QString(), folder.path("plan.dxfb")});
    settle(w);
    ASSERT_TRUE(w.List3->currentItem());
    EXPECT_EQ(w.List3->currentItem()->text(), "plan.dxfb");
    EXPECT_EQ(w.Combo2->currentText(), "*.dxfb") << "the drawing's own kind is listed";
    EXPECT_TRUE(w.DDVue1->engine().isOpen());
    ASSERT_TRUE(w.recordset());
    EXPECT_GT(w.recordset()->RecordCount(), 0);
    EXPECT_EQ(seams.boxes.shown.size(), 0u);
}

TEST(MainWindow, TheStatusLineSaysWhatReadingRepaired)
{
    Seams seams;
    Folder folder;
    seams.settings.values["Dir"] = "/";
    QFile::copy(testpaths::sourceDir() + "/tests/data/odd/header-cut-by-endsec-R12.dxf", folder.path("cut.dxf"));
    frmMain w(frmMain::Start{QString(), folder.path("cut.dxf")});
    settle(w);
    ASSERT_TRUE(w.DDVue1->engine().isOpen());
    EXPECT_TRUE(w.lblStatus->text().startsWith("Repaired on reading: ")) << w.lblStatus->text().toStdString();
    EXPECT_TRUE(w.lblStatus->text().contains("ENDSEC")) << w.lblStatus->text().toStdString();
    EXPECT_EQ(seams.boxes.shown.size(), 0u);
}

TEST(MainWindow, TheBrowserListsByPattern)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    EXPECT_EQ(listed(w->List3).size(), 5);
    EXPECT_TRUE(listed(w->List3).contains("PLAN.DXF")) << "names match without regard to case";
    EXPECT_EQ(w->Label2->text(), "5 files.");

    // Editing the pattern (a period cannot be typed, so pasted here)
    // relists only when it ends in .dwg or .dxf.
    QLineEdit* pattern = w->Combo2->lineEdit();
    pattern->selectAll();
    pattern->insert("office*.dx");
    EXPECT_EQ(listed(w->List3).size(), 5) << "*.dx relists nothing yet";
    QTest::keyClicks(pattern, "F");
    EXPECT_EQ(listed(w->List3), QStringList{"office-floor-plan-2000.dxf"});
    EXPECT_EQ(w->Label2->text(), "1 file.");

    // The period completes a bare name to a DWG pattern and is never typed.
    pattern->selectAll();
    QTest::keyClicks(pattern, "office");
    QTest::keyClick(pattern, '.');
    EXPECT_EQ(w->Combo2->currentText(), "office.dwg");
    EXPECT_TRUE(w->List3->count() == 0);
    EXPECT_EQ(w->Label2->text(), "");
    QTest::keyClick(pattern, '.');
    EXPECT_EQ(w->Combo2->currentText(), "office.dwg");

    // Leaving the box keeps the pattern in its list, once.
    w->Combo2_LostFocus();
    w->Combo2->setEditText("OFFICE.DWG");
    w->Combo2_LostFocus();
    EXPECT_EQ(w->Combo2->count(), 1);

    // The completed kind stands selected, so that another is typed over it.
    pattern->selectAll();
    QTest::keyClicks(pattern, "*.dxf");
    EXPECT_EQ(w->Combo2->currentText(), "*.dxf");
    EXPECT_EQ(listed(w->List3).size(), 5);

    // "All" goes back to *.dwg; picking from the list relists whatever it is.
    w->Command3_Click();
    EXPECT_EQ(w->Combo2->currentText(), "*.dwg");
    w->Combo2->addItem("*.*");
    w->Combo2->setCurrentIndex(w->Combo2->count() - 1);
    w->Combo2_Click();
    EXPECT_EQ(listed(w->List3).size(), 5);
}

// Ways to a drawing besides the file list: a drawing dropped on the window
// opens with its folder shown; letters typed in the folder list go to the
// first folder so named; the next start lists with the pattern of the last.
TEST(MainWindow, DropsTypedFolderNamesAndTheLastPatternLeadToDrawings)
{
    Seams seams;
    Folder folder;
    QTemporaryDir other;
    for (const char* sub : {"alpha", "beta", "bravo"}) QDir(other.path()).mkdir(sub);
    {
        auto w = startIn(seams, other.path());
        activate(*w);
        w->Dir1->setFocus();
        QTest::keyClicks(w->Dir1, "br");
        ASSERT_TRUE(w->Dir1->currentItem());
        EXPECT_EQ(w->Dir1->currentItem()->text().trimmed(), "bravo");
        QTest::keyClick(w->Dir1, Qt::Key_Return);
        EXPECT_EQ(w->Dir1->path(), QDir(other.path()).filePath("bravo"));

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(folder.path("workshop-plan-R12.dxf"))});
        QPoint over = w->DDVue1->geometry().center();
        QDragEnterEvent enter(over, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(over), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.get(), &drop);
        settle(*w);
        EXPECT_EQ(w->CurrentDrawingPath(), folder.path("workshop-plan-R12.dxf"));
        EXPECT_EQ(w->Dir1->path(), folder.path());
        EXPECT_EQ(w->List3->currentItem()->text(), "workshop-plan-R12.dxf");

        QMimeData text;
        text.setText("not a drawing");
        QDragEnterEvent refused(over, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        refused.setAccepted(false);
        QApplication::sendEvent(w.get(), &refused);
        EXPECT_FALSE(refused.isAccepted());
        w->close();
    }
    EXPECT_EQ(seams.settings.values["Pattern"], "*.dxf");
    frmMain again;
    EXPECT_EQ(again.Combo2->currentText(), "*.dxf");
    EXPECT_EQ(listed(again.List3).size(), 5) << "the folder's DXF drawings, as the last run listed them";
}

// The list shows every drawing of the folder, also one whose name is not
// UTF-8 (which opens), and a named pipe named as a drawing, which says why
// it cannot be opened instead of keeping the window waiting.
TEST(MainWindow, TheBrowserListsEveryNameAndAPipeSaysWhyItIsNoDrawing)
{
    Seams seams;
    Folder folder;
    const std::string raw = ddvue::encodeFileName(folder.path()) + "/caf\xE9.dxf";
    ASSERT_TRUE(QFile::copy(testpaths::samples("office-floor-plan-2000.dxf"), folder.path("copy.tmp")));
    ASSERT_EQ(::rename(folder.path("copy.tmp").toUtf8(), raw.c_str()), 0);
    ASSERT_EQ(::mkfifo(folder.path("pipe.dxf").toUtf8(), 0644), 0);
    auto w = startIn(seams, folder.path());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    const QStringList names = listed(w->List3);
    ASSERT_TRUE(names.contains(QString::fromUtf8("caf\uFFFD.dxf"))) << names.join(", ").toStdString();
    ASSERT_TRUE(names.contains("pipe.dxf")) << names.join(", ").toStdString();
    EXPECT_EQ(w->Label2->text(), "7 files.");

    open(*w, QString::fromUtf8("caf\uFFFD.dxf"));
    EXPECT_TRUE(w->DDVue1->engine().isOpen()) << w->DDVue1->engine().lastError().toStdString();
    EXPECT_EQ(ddvue::encodeFileName(w->CurrentDrawingPath()), raw);
    EXPECT_FALSE(w->Label1->text().isEmpty()) << "the file's version, date and size";
    ::unlink(raw.c_str());  // a name the temporary folder's own clean-up cannot spell

    seams.boxes.answers = {MsgResult::Ok};
    open(*w, "pipe.dxf");
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_TRUE(seams.boxes.shown[0].text.contains("not a regular file but a named pipe"))
        << seams.boxes.shown[0].text.toStdString();
    EXPECT_FALSE(w->DDVue1->engine().isOpen());
}

// A DWG whose checksum does not match is shown with the warning in the
// status line; saving it asks first, naming what may be wrong.
TEST(MainWindow, ADamagedDwgIsShownAndSavedOnlyWhenThePersonAgrees)
{
    Seams seams;
    Folder folder;
    QByteArray bytes = contentsOf(testpaths::corpus("sample_2018.dwg"));
    for (qsizetype i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    writeFile(folder.path("site.dwg"), bytes);
    auto w = startIn(seams, folder.path());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    w->Command3_Click();
    open(*w, "site.dwg");
    ASSERT_TRUE(w->DDVue1->engine().isOpen()) << w->DDVue1->engine().lastError().toStdString();
    EXPECT_TRUE(w->lblStatus->text().startsWith("Damaged DWG (a checksum does not match)")) << w->lblStatus->text().toStdString();
    change(*w);

    // No at the question: nothing is written, and the window (asked whether
    // to close all the same) keeps the changes.
    seams.boxes.answers = {MsgResult::Yes, MsgResult::No, MsgResult::No};
    w->close();
    ASSERT_EQ(seams.boxes.shown.size(), 3u);
    EXPECT_TRUE(seams.boxes.shown[1].text.contains("checksum")) << seams.boxes.shown[1].text.toStdString();
    EXPECT_TRUE(seams.boxes.shown[1].text.contains("missing")) << "it names what may be wrong";
    EXPECT_EQ(seams.boxes.shown[1].buttons, platform::MsgButtons::YesNo);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->DrawingChanged());
    EXPECT_FALSE(QFile::exists(folder.path("site.dxf")));

    // Yes: saved as read, as the DXF beside it.
    seams.boxes.shown.clear();
    seams.boxes.answers = {MsgResult::Yes, MsgResult::Yes, MsgResult::Ok};
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(layerZeroIsOff(folder.path("site.dxf")));
    EXPECT_EQ(seams.boxes.unexpected, 0);
}

TEST(MainWindow, ClickingADrawingShowsItAndListsItsContentInEveryCategory)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    open(*w, "office-floor-plan-2000.dxf");
    EXPECT_FALSE(w->lblWelcome->isVisible());
    EXPECT_EQ(w->CurrentDrawingName(), "office-floor-plan-2000.dxf");
    EXPECT_EQ(w->CurrentDrawingPath(), folder.path("office-floor-plan-2000.dxf"));
    EXPECT_EQ(w->lblDrawing->text(), w->CurrentDrawingPath());
    EXPECT_TRUE(w->Label1->text().startsWith("v2000  ")) << w->Label1->text().toStdString();
    EXPECT_TRUE(w->cmdOpen->isVisible());
    EXPECT_TRUE(w->cmdPrint->isVisible());
    EXPECT_FALSE(w->cmdSave->isVisible());
    EXPECT_TRUE(w->txtFindWhat->isVisible());
    EXPECT_TRUE(w->cmdDeleteAll->isVisible());
    EXPECT_TRUE(w->dtgDrawing->isEnabled());
    EXPECT_EQ(captions(w->dtgDrawing), (QStringList{"Block", "Layout", "Name", "LayerName", "X", "Y", "AttributeTag",
                                                    "*AttributeValue"}));
    EXPECT_EQ(w->ValueColumn(), 7);
    EXPECT_EQ(w->Adodc1->caption(), QStringLiteral("1 of %1").arg(w->recordset()->RecordCount()));
    EXPECT_GT(w->recordset()->RecordCount(), 10);

    QTest::mouseClick(w->optSingleText, Qt::LeftButton);
    EXPECT_EQ(captions(w->dtgDrawing), (QStringList{"Block", "Layout", "*Value", "X", "Y"}));
    EXPECT_EQ(w->ValueColumn(), 2);
    EXPECT_TRUE(w->dtgDrawing->isColumnLocked(0));
    EXPECT_FALSE(w->dtgDrawing->isColumnLocked(2));

    QTest::mouseClick(w->optMultipleText, Qt::LeftButton);
    EXPECT_EQ(captions(w->dtgDrawing), (QStringList{"Block", "Layout", "*Value", "X", "Y"}));

    QTest::mouseClick(w->optLayer, Qt::LeftButton);
    EXPECT_EQ(captions(w->dtgDrawing), (QStringList{"Name", "*Display", "*Color"}));
    EXPECT_EQ(w->ValueColumn(), 1);
    EXPECT_FALSE(w->cmdDeleteAll->isVisible()) << "layers are not deleted";
    EXPECT_FALSE(w->dtgDrawing->allowDelete());

    // External references keep the value column of the category before.
    w->optExtRef->setChecked(true);
    w->FillGrid();
    EXPECT_EQ(w->ValueColumn(), 1);
    // Images have no content: "No data", the controls go.
    w->optImage->setChecked(true);
    w->FillGrid();
    EXPECT_TRUE(w->dtgDrawing->showsNoData());
    EXPECT_FALSE(w->dtgDrawing->isEnabled());
    EXPECT_FALSE(w->txtFindWhat->isVisible());

    EXPECT_EQ(seams.boxes.shown.size(), 0u);
}

TEST(MainWindow, LongWorkShowsHowFarItHasCome)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    QStringList shown;
    w->statusShown = [&](const QString& t) { shown << t; };
    w->progressDelayMs = 0;  // as if the drawing took long
    open(*w, "studio-floor-plan-2018.dxf");
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_TRUE(shown.first().startsWith("Opening studio-floor-plan-2018.dxf... ")) << shown.first().toStdString();
    EXPECT_TRUE(shown.join('\n').contains("Filling the grid... 95%")) << shown.join('\n').toStdString();
    EXPECT_EQ(w->lblStatus->text(), "") << "the line is cleared when the work is done";
}

TEST(MainWindow, CategoriesChangeNothingBeforeADrawingIsChosen)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    QTest::mouseClick(w->optLayer, Qt::LeftButton);
    EXPECT_EQ(w->dtgDrawing->columnCount(), 0);
    EXPECT_FALSE(w->DDVue1->engine().isOpen());
}

TEST(MainWindow, UnsavedChangesAreOfferedForSavingBeforeAnotherDrawingOpens)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    QString plan = folder.path("office-floor-plan-2000.dxf");
    auto contents = [](const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    };
    QByteArray before = contents(plan);

    // No: the changes are dropped.
    open(*w, "office-floor-plan-2000.dxf");
    change(*w);
    seams.boxes.answers = {MsgResult::No};
    open(*w, "workshop-plan-R12.dxf");
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, "Do you want to save your changes?");
    EXPECT_EQ(seams.boxes.shown[0].buttons, platform::MsgButtons::YesNoCancel);
    EXPECT_EQ(seams.boxes.shown[0].icon, platform::MsgIcon::Question);
    EXPECT_EQ(contents(plan), before);
    EXPECT_EQ(w->CurrentDrawingName(), "workshop-plan-R12.dxf");

    // Yes: the first drawing is saved to its own file before the next opens.
    open(*w, "office-floor-plan-2000.dxf");
    change(*w);
    seams.boxes.answers = {MsgResult::Yes};
    open(*w, "studio-floor-plan-2018.dxf");
    EXPECT_NE(contents(plan), before);
    EXPECT_FALSE(w->DrawingChanged());
    EXPECT_EQ(w->CurrentDrawingName(), "studio-floor-plan-2018.dxf");

    EXPECT_TRUE(layerZeroIsOff(plan));

    // And again at shutdown.
    change(*w);
    QByteArray studio = contents(folder.path("studio-floor-plan-2018.dxf"));
    seams.boxes.answers = {MsgResult::Yes};
    w->close();
    EXPECT_NE(contents(folder.path("studio-floor-plan-2018.dxf")), studio);
    EXPECT_EQ(seams.boxes.unexpected, 0);
}

TEST(MainWindow, ADrawingThatCannotBeOpenedSaysWhyAndClearsTheGrid)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    open(*w, "office-floor-plan-2000.dxf");
    ASSERT_GT(w->recordset()->RecordCount(), 0);
    open(*w, "broken.dxf");
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_TRUE(seams.boxes.shown[0].text.startsWith("Unable to open drawing."));
    EXPECT_TRUE(seams.boxes.shown[0].text.contains("truncated")) << seams.boxes.shown[0].text.toStdString();
    EXPECT_EQ(seams.boxes.shown[0].icon, platform::MsgIcon::Exclamation);
    EXPECT_TRUE(w->dtgDrawing->showsNoData()) << "the previous drawing's rows are gone";
    EXPECT_FALSE(w->txtFindWhat->isVisible());
    EXPECT_FALSE(w->cmdOpen->isVisible());
    EXPECT_EQ(w->lblDrawing->text(), folder.path("broken.dxf"));
}

TEST(MainWindow, AProtectedDrawingAsksForItsPassword)
{
    Seams seams;
    Folder folder;
    QFile in(testpaths::corpus("sample_2018.dwg"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes[0x18] = 1;  // the header's security flags: encrypted
    QFile out(folder.path("locked.dwg"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    auto w = startIn(seams, folder.path());
    w->askForPasswords = true;  // as with a component that opens protected drawings
    w->Command3_Click();
    ASSERT_EQ(listed(w->List3), QStringList{"locked.dwg"});

    // Cancel: nothing is said, nothing is listed.
    seams.screens.handlers.push_back([](QDialog& d) { static_cast<frmPassword&>(d).cmdCancel->click(); });
    open(*w, "locked.dwg");
    EXPECT_EQ(seams.screens.shown, std::vector<QString>{"frmPassword"});
    EXPECT_EQ(seams.boxes.shown.size(), 0u);
    EXPECT_EQ(w->DrawingPassword(), "");

    // A password that does not open it: "Unable to open drawing."
    seams.screens.handlers.push_back([](QDialog& d) {
        auto& p = static_cast<frmPassword&>(d);
        QTest::keyClicks(p.txtPassword, "secret");
        p.cmdOK->click();
    });
    open(*w, "locked.dwg");
    EXPECT_EQ(w->DrawingPassword(), "secret");
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_TRUE(seams.boxes.shown[0].text.startsWith("Unable to open drawing."));
    EXPECT_TRUE(w->dtgDrawing->showsNoData());
}

TEST(MainWindow, OpenHandsTheDrawingToTheDesktop)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    open(*w, "workshop-plan-R12.dxf");
    QTest::mouseClick(w->cmdOpen, Qt::LeftButton);
    ASSERT_EQ(seams.shell.opened.size(), 1u);
    EXPECT_EQ(seams.shell.opened[0].toLocalFile(), folder.path("workshop-plan-R12.dxf"));
    seams.shell.result = false;
    QTest::mouseClick(w->cmdOpen, Qt::LeftButton);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, "Unable to open file.");
}

TEST(MainWindow, TheScreenSizeCheck)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path());
    w->move(40, 50);
    w->screenWidth = [] { return 1024; };
    w->Form_Activate();
    EXPECT_EQ(seams.boxes.shown.size(), 0u);
    w->screenWidth = [] { return 800; };
    w->Form_Activate();
    EXPECT_EQ(seams.boxes.shown.size(), 0u);
    EXPECT_EQ(w->y(), 0);
    w->screenWidth = [] { return 799; };
    w->Form_Activate();
    w->Form_Activate();
    ASSERT_EQ(seams.boxes.shown.size(), 2u) << "at every activation";
    EXPECT_EQ(seams.boxes.shown[0].text, "Tessilux works best with display settings of 800 by 600 pixels and greater.");
    EXPECT_EQ(seams.boxes.shown[0].icon, platform::MsgIcon::Information);
}

TEST(MainWindow, ADwgIsSavedAsADxfBesideItAndThePersonIsToldOnce)
{
    Seams seams;
    Folder folder;
    QFile::copy(testpaths::corpus("sample_2018.dwg"), folder.path("site.dwg"));
    auto w = startIn(seams, folder.path());
    w->Command3_Click();
    open(*w, "site.dwg");
    ASSERT_TRUE(w->DDVue1->engine().isOpen()) << w->DDVue1->engine().lastError().toStdString();
    EXPECT_TRUE(w->Label1->text().startsWith("v2018  "));
    EXPECT_TRUE(w->lblStatus->text().contains("left out")) << w->lblStatus->text().toStdString();
    change(*w);
    seams.boxes.answers = {MsgResult::Yes};
    w->close();
    ASSERT_EQ(seams.boxes.shown.size(), 2u);
    EXPECT_TRUE(seams.boxes.shown[1].text.contains("site.dxf"));
    EXPECT_TRUE(seams.boxes.shown[1].text.contains("left unchanged"));
    EXPECT_TRUE(QFile::exists(folder.path("site.dxf")));
    EXPECT_EQ(w->CurrentDrawingPath(), folder.path("site.dxf"));
    EXPECT_EQ(w->lblDrawing->text(), folder.path("site.dxf"));
}


TEST(MainWindow, SavingADwgAsksBeforeReplacingTheDxfBesideItAndCanSaveUnderAnotherName)
{
    Seams seams;
    platform::ScriptedFileDialogs dialogs;
    platform::Installed<platform::FileDialogs> d{dialogs};
    Folder folder;
    QFile::copy(testpaths::corpus("sample_2018.dwg"), folder.path("site.dwg"));
    writeFile(folder.path("site.dxf"), "the user's own DXF");
    auto w = startIn(seams, folder.path());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    w->Command3_Click();
    open(*w, "site.dwg");
    ASSERT_TRUE(w->DDVue1->engine().isOpen()) << w->DDVue1->engine().lastError().toStdString();
    change(*w);

    // Cancel at the question: nothing is written, the window and its changes stay.
    seams.boxes.answers = {MsgResult::Yes, MsgResult::Cancel, MsgResult::No};
    w->close();
    ASSERT_EQ(seams.boxes.shown.size(), 3u);
    EXPECT_TRUE(seams.boxes.shown[1].text.contains("already exists")) << seams.boxes.shown[1].text.toStdString();
    EXPECT_EQ(seams.boxes.shown[1].buttons, platform::MsgButtons::YesNoCancel);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->DrawingChanged());
    EXPECT_EQ(contentsOf(folder.path("site.dxf")), "the user's own DXF");

    // No: another name, chosen in the save dialog.
    seams.boxes.shown.clear();
    seams.boxes.answers = {MsgResult::Yes, MsgResult::No, MsgResult::Ok};
    dialogs.answers = {folder.path("site-edited.dxf")};
    w->close();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_TRUE(dialogs.requests[0].directory.endsWith("site.dxf")) << dialogs.requests[0].directory.toStdString();
    EXPECT_TRUE(dialogs.requests[0].filter.contains("*.dxf"));
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(contentsOf(folder.path("site.dxf")), "the user's own DXF");
    EXPECT_TRUE(layerZeroIsOff(folder.path("site-edited.dxf")));
    EXPECT_EQ(w->CurrentDrawingPath(), folder.path("site-edited.dxf"));
    EXPECT_EQ(seams.boxes.unexpected, 0);

    // Yes: the DXF is replaced.
    Seams again;
    auto v = startIn(again, folder.path());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v.get()));
    v->Command3_Click();
    open(*v, "site.dwg");
    change(*v);
    again.boxes.answers = {MsgResult::Yes, MsgResult::Yes, MsgResult::Ok};
    v->close();
    EXPECT_FALSE(v->isVisible());
    EXPECT_TRUE(layerZeroIsOff(folder.path("site.dxf")));
    EXPECT_EQ(again.boxes.unexpected, 0);
}

TEST(MainWindow, ADrawingChangedOnDiskIsOverwrittenOnlyWhenThePersonSaysSo)
{
    Seams seams;
    Folder folder;
    QString plan = folder.path("office-floor-plan-2000.dxf");
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");
    change(*w);
    QByteArray theirs = contentsOf(testpaths::samples("clinic-floor-plan-2004.dxf"));
    writeFile(plan, theirs);

    // No: the file keeps the other program's content, the window keeps its changes.
    seams.boxes.answers = {MsgResult::Yes, MsgResult::No};
    open(*w, "workshop-plan-R12.dxf");
    ASSERT_EQ(seams.boxes.shown.size(), 2u);
    EXPECT_TRUE(seams.boxes.shown[1].text.contains("changed by another program")) << seams.boxes.shown[1].text.toStdString();
    EXPECT_EQ(seams.boxes.shown[1].buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(contentsOf(plan), theirs);
    EXPECT_EQ(w->CurrentDrawingName(), "office-floor-plan-2000.dxf");
    EXPECT_TRUE(w->DrawingChanged());

    // Yes: the changes go over it.
    seams.boxes.answers = {MsgResult::Yes, MsgResult::Yes};
    open(*w, "workshop-plan-R12.dxf");
    EXPECT_EQ(w->CurrentDrawingName(), "workshop-plan-R12.dxf");
    EXPECT_NE(contentsOf(plan), theirs);
    EXPECT_TRUE(layerZeroIsOff(plan));
    EXPECT_EQ(seams.boxes.unexpected, 0);
}

TEST(MainWindow, AWriteProtectedDrawingIsNotOverwrittenAndItsChangesStay)
{
    Seams seams;
    Folder folder;
    QString plan = folder.path("office-floor-plan-2000.dxf");
    QFile::setPermissions(plan, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    QByteArray before = contentsOf(plan);
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");
    change(*w);
    seams.boxes.answers = {MsgResult::Yes, MsgResult::Ok};
    open(*w, "workshop-plan-R12.dxf");
    ASSERT_EQ(seams.boxes.shown.size(), 2u);
    EXPECT_TRUE(seams.boxes.shown[1].text.contains("write-protected")) << seams.boxes.shown[1].text.toStdString();
    EXPECT_TRUE(seams.boxes.shown[1].text.contains("kept")) << seams.boxes.shown[1].text.toStdString();
    EXPECT_EQ(contentsOf(plan), before);
    EXPECT_EQ(w->CurrentDrawingName(), "office-floor-plan-2000.dxf");
    EXPECT_TRUE(w->DrawingChanged());
    EXPECT_EQ(seams.boxes.unexpected, 0);
    // Closing offers to save them again.
    seams.boxes.answers = {MsgResult::No};
    w->close();
    EXPECT_FALSE(w->isVisible());
}

// ------------------------------------------------------- editing in the grid

namespace {

QJsonObject attributeByHandle(const QJsonObject& dump, const QString& handle)
{
    for (const QJsonValue& v : dump.value(QLatin1String("attributes")).toArray())
        if (v.toObject().value(QLatin1String("handle")).toString() == handle) return v.toObject();
    return {};
}

}  // namespace

TEST(MainWindowGrid, EditsReplacementsAndDeletionsMadeInTheGridAreSaved)
{
    Seams seams;
    Folder folder;
    const QString plan = folder.path("office-floor-plan-2000.dxf");
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");
    ASSERT_FALSE(w->DrawingChanged());
    data::Recordset* rs = w->recordset();
    const int handleField = rs->fieldIndex(QStringLiteral("AttributeHandle"));

    // A value typed into its cell.
    const QString typed = QStringLiteral("Salle d'été « Ω » <3> & \"x\" = 中文 ✓");
    editCell(*w, 1, 7, typed);
    EXPECT_EQ(cellText(*w, 1, 7), typed);
    EXPECT_TRUE(w->cmdSave->isVisible());
    EXPECT_EQ(w->Adodc1->caption(), QStringLiteral("2 of %1").arg(rs->RecordCount()));
    const QString typedHandle = rs->cell(1, handleField).toString();

    // Replace All through the find boxes and the button.
    QStringList areas;
    for (int r = 0; r < rs->rowCount(); ++r)
        if (rs->cell(r, rs->fieldIndex(QStringLiteral("AttributeValue"))).contains(QStringLiteral("m²")))
            areas << rs->cell(r, handleField).toString();
    ASSERT_GT(areas.size(), 2);
    activate(*w);
    QTest::mouseClick(w->txtFindWhat, Qt::LeftButton);
    typeIn(QStringLiteral("m²"));
    QTest::mouseClick(w->txtReplaceWith, Qt::LeftButton);
    typeIn(QStringLiteral("sq m"));
    seams.boxes.answers = {MsgResult::Ok};
    QTest::mouseClick(w->cmdReplaceAll, Qt::LeftButton);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, QStringLiteral("%1 replacements.").arg(areas.size()));
    EXPECT_EQ(rs->currentRow(), 0);

    // A row chosen by its record selector and deleted with the Delete key.
    const QString deleted = rs->cell(0, handleField).toString();
    const int rows = rs->rowCount();
    QHeaderView* selectors = w->dtgDrawing->verticalHeader();
    QTest::mouseClick(selectors->viewport(), Qt::LeftButton, {},
                      QPoint(selectors->width() / 2, selectors->sectionViewportPosition(0) + selectors->sectionSize(0) / 2));
    pressKey(Qt::Key_Delete);
    EXPECT_EQ(rs->rowCount(), rows - 1);
    EXPECT_FALSE(w->DDVue1->engine().listedValue(deleted));
    EXPECT_EQ(w->Adodc1->caption(), QStringLiteral("%1 of %2").arg(rs->AbsolutePosition()).arg(rows - 1))
        << "the position of the row that is current now";

    // A layer color, halved to even, shown as the drawing holds it.
    QTest::mouseClick(w->optLayer, Qt::LeftButton);
    EXPECT_TRUE(w->DrawingChanged()) << "another category of the same drawing: the changes are still unsaved";
    const int door = rowOf(*w, QStringLiteral("Name"), QStringLiteral("A-DOOR"));
    editCell(*w, door, 2, QStringLiteral("12.5"));
    EXPECT_EQ(cellText(*w, door, 2), "12");
    editCell(*w, door, 1, QStringLiteral("Of"));
    EXPECT_EQ(cellText(*w, door, 1), "On") << "not a display: the old value, silently";

    // Save.
    activate(*w);
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    EXPECT_FALSE(w->cmdSave->isVisible());
    EXPECT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(w->Label1->text(), fileInformationLine(w->DrawingVersionName(plan), QFileInfo(plan)))
        << "the saved file's size and date";

    oracle::Dump dump = oracle::readWithOracle(plan);
    ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
    EXPECT_EQ(attributeByHandle(dump.json, typedHandle).value(QLatin1String("value")).toString(), typed);
    for (const QString& h : areas) {
        if (h == deleted) continue;
        QString value = attributeByHandle(dump.json, h).value(QLatin1String("value")).toString();
        EXPECT_TRUE(value.endsWith(QLatin1String(" sq m"))) << h.toStdString() << " " << value.toStdString();
    }
    EXPECT_TRUE(attributeByHandle(dump.json, deleted).isEmpty());
    for (const QJsonValue& v : dump.json.value(QLatin1String("layers")).toArray())
        if (v.toObject().value(QLatin1String("name")).toString() == QLatin1String("A-DOOR")) {
            EXPECT_EQ(v.toObject().value(QLatin1String("color")).toInt(), 12);
            EXPECT_TRUE(v.toObject().value(QLatin1String("on")).toBool());
        }
    EXPECT_EQ(seams.boxes.unexpected, 0);
}

// The window without a mouse: every Alt key reaches one control, the
// categories and the find boxes among them; Tab goes from a cell being typed
// into on to the next control with the value written; Ctrl+S saves.
TEST(MainWindowGrid, TheKeyboardReachesEveryControlAndSaves)
{
    Seams seams;
    Folder folder;
    const QString plan = folder.path("office-floor-plan-2000.dxf");
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");
    activate(*w);

    QMap<QChar, QString> keys;
    for (QWidget* c : w->findChildren<QWidget*>()) {
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(c)) text = b->text();
        if (auto* l = qobject_cast<QLabel*>(c)) text = l->text();
        const qsizetype amp = text.indexOf('&');
        if (amp < 0 || amp + 1 >= text.size()) continue;
        const QChar key = text[amp + 1].toUpper();
        EXPECT_FALSE(keys.contains(key)) << "Alt+" << QString(key).toStdString() << " for both "
                                         << keys.value(key).toStdString() << " and " << c->objectName().toStdString();
        keys[key] = c->objectName();
    }
    for (QChar key : {'B', 'I', 'U', 'L', 'W', 'P'}) EXPECT_TRUE(keys.contains(key)) << QString(key).toStdString();

    // An option takes its key as a click does, in a moment.
    pressKey(Qt::Key_L, Qt::AltModifier);
    EXPECT_TRUE(viewdriver::waitFor([&] { return w->optLayer->isChecked() && w->ValueColumn() == 1; }, 5000));
    EXPECT_EQ(captions(w->dtgDrawing), (QStringList{"Name", "*Display", "*Color"}));
    pressKey(Qt::Key_B, Qt::AltModifier);
    EXPECT_TRUE(viewdriver::waitFor([&] { return w->optAttribute->isChecked() && w->ValueColumn() == 7; }, 5000));
    pressKey(Qt::Key_W, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), w->txtFindWhat);
    pressKey(Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), w->txtReplaceWith);

    // Typed into a value cell, then Tab: the value is in the drawing and the
    // focus has left the grid.
    const QString handle = w->recordset()->cell(0, w->recordset()->fieldIndex(QStringLiteral("AttributeHandle"))).toString();
    clickCell(w->dtgDrawing, 0, 7);
    typeIn("TABBED");
    pressKey(Qt::Key_Tab);
    EXPECT_EQ(w->DDVue1->engine().listedValue(handle).value_or(QString()), "TABBED");
    QWidget* focus = QApplication::focusWidget();
    EXPECT_TRUE(focus && focus != w->dtgDrawing && !w->dtgDrawing->isAncestorOf(focus))
        << (focus ? focus->objectName().toStdString() + " " + focus->metaObject()->className() : "none");
    EXPECT_TRUE(w->cmdSave->isVisible());

    pressKey(Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(w->DrawingChanged());
    EXPECT_TRUE(contentsOf(plan).contains("TABBED"));
    // With nothing unsaved Ctrl+S writes nothing.
    QFile::remove(plan);
    pressKey(Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(QFileInfo::exists(plan));
}

TEST(MainWindowGrid, FindButtonsSelectWhatTheyFind)
{
    Seams seams;
    Folder folder;
    auto w = startIn(seams, folder.path(), QStringLiteral("2"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    open(*w, "office-floor-plan-2000.dxf");
    activate(*w);

    // Nothing to find: said, and the focus goes to the find box.
    QTest::mouseClick(w->cmdFind, Qt::LeftButton);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, "Enter text to find.");
    EXPECT_EQ(QApplication::focusWidget(), w->txtFindWhat);

    typeIn(QStringLiteral("porte"));
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    const int row = w->recordset()->currentRow();
    ASSERT_GE(row, 0);
    EXPECT_EQ(w->dtgDrawing->currentColumn(), 2);
    EXPECT_EQ(w->dtgDrawing->selectionStart(), 0) << cellText(*w, row, 2).toStdString();
    EXPECT_EQ(w->dtgDrawing->selectionLength(), 5);
    EXPECT_EQ(QApplication::focusWidget(), w->dtgDrawing);

    // Replace the match, then Find Next goes on.
    QTest::mouseClick(w->txtReplaceWith, Qt::LeftButton);
    typeIn(QStringLiteral("Tür"));
    QTest::mouseClick(w->cmdReplace, Qt::LeftButton);
    EXPECT_TRUE(cellText(*w, row, 2).startsWith(QStringLiteral("Tür"))) << cellText(*w, row, 2).toStdString();
    EXPECT_TRUE(w->DrawingChanged());
    const QString handle = w->recordset()->cell(row, w->recordset()->fieldIndex(QStringLiteral("Handle"))).toString();
    EXPECT_EQ(w->DDVue1->engine().listedValue(handle), cellText(*w, row, 2));
    EXPECT_EQ(seams.boxes.shown.size(), 1u);
}

TEST(MainWindowGrid, F2OpensTheZoomEditorOnAnEditableCell)
{
    Seams seams;
    Folder folder;
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");
    std::vector<edit::GridCell> opened;
    w->zoomEditor = [&](const edit::GridCell& cell) { opened.push_back(cell); };
    activate(*w);

    clickCell(w->dtgDrawing, 2, 6);  // AttributeTag: locked
    pressKey(Qt::Key_F2);
    EXPECT_TRUE(opened.empty());
    clickCell(w->dtgDrawing, 2, 7);
    pressKey(Qt::Key_F2, Qt::ShiftModifier);
    EXPECT_TRUE(opened.empty());
    pressKey(Qt::Key_F2);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].column, 7);
    EXPECT_EQ(opened[0].field, "AttributeValue");
    EXPECT_EQ(opened[0].position, 3);
    EXPECT_EQ(opened[0].text, cellText(*w, 2, 7));
    EXPECT_EQ(opened[0].category, extract::Category::Attributes);

    // F2 while the cell is being edited: what was typed is kept and the
    // zoom editor opens on it.
    typeIn(QStringLiteral("abc"));
    pressKey(Qt::Key_F2);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].text, "abc");
    EXPECT_FALSE(w->dtgDrawing->isEditing());
    const QString handle = w->recordset()->cell(2, w->recordset()->fieldIndex(QStringLiteral("AttributeHandle"))).toString();
    EXPECT_EQ(w->DDVue1->engine().listedValue(handle), "abc") << "written back before the zoom editor opens";

    // The zoom editor's OK writes through the same path.
    edit::WriteResult r = w->gridEditor().writeCell(opened[1], QStringLiteral("Zeile 1\nZeile 2"));
    EXPECT_TRUE(r.written());
    EXPECT_EQ(cellText(*w, 2, 7), "Zeile 1^JZeile 2");
    EXPECT_TRUE(w->DrawingChanged());
}

TEST(MainWindowGrid, DeleteAllDeletesTheRowsShownAndSaveSaysWhenItFails)
{
    Seams seams;
    Folder folder;
    const QString plan = folder.path("office-floor-plan-2000.dxf");
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");
    data::Recordset* rs = w->recordset();
    const int all = rs->rowCount();
    rs->setFilter(QStringLiteral("AttributeTag = 'AREA'"));
    const int areas = rs->rowCount();
    ASSERT_GT(areas, 1);

    activate(*w);
    seams.boxes.answers = {MsgResult::Yes, MsgResult::Ok};
    QTest::mouseClick(w->cmdDeleteAll, Qt::LeftButton);
    ASSERT_EQ(seams.boxes.shown.size(), 2u);
    EXPECT_EQ(seams.boxes.shown[1].text, QStringLiteral("%1 deletions.").arg(areas));
    EXPECT_EQ(w->dtgDrawing->model()->rowCount(), 0);
    EXPECT_EQ(w->Adodc1->caption(), "");
    EXPECT_TRUE(w->DrawingChanged());

    // The drawing has become write-protected: Save says so, and the changes
    // and the Save button stay.
    QFile::setPermissions(plan, QFileDevice::ReadOwner);
    seams.boxes.answers = {MsgResult::Ok};
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    ASSERT_EQ(seams.boxes.shown.size(), 3u);
    EXPECT_TRUE(seams.boxes.shown[2].text.contains("write-protected")) << seams.boxes.shown[2].text.toStdString();
    EXPECT_TRUE(w->cmdSave->isVisible());

    QFile::setPermissions(plan, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    EXPECT_FALSE(w->cmdSave->isVisible());
    ddvue::DDVueEngine saved;
    QString p = plan;
    ASSERT_TRUE(saved.OpenDrawing(p));
    data::Recordset again;
    extract::loadCategory(saved, extract::Category::Attributes, again);
    EXPECT_EQ(again.rowCount(), all - areas);
    EXPECT_EQ(seams.boxes.unexpected, 0);
}

TEST(MainWindowGrid, ReplaceAllShowsHowFarItHasCome)
{
    Seams seams;
    Folder folder;
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");
    QStringList shown;
    w->statusShown = [&](const QString& t) { shown << t; };
    w->progressDelayMs = 0;  // as if the drawing were large
    w->txtReplaceWith->setText(QStringLiteral("x"));
    seams.boxes.answers = {MsgResult::Ok};
    QTest::mouseClick(w->cmdReplaceAll, Qt::LeftButton);
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.first(), "Replacing... 0%");
    EXPECT_EQ(w->lblStatus->text(), "") << "the line is cleared when the work is done";
    EXPECT_EQ(seams.boxes.shown.size(), 1u);
}

TEST(MainWindowGrid, ChangesSurviveAnotherCategoryAndAreOfferedAtClose)
{
    Seams seams;
    Folder folder;
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");
    editCell(*w, 0, 7, QStringLiteral("A-1"));
    const QString handle = w->recordset()->cell(0, w->recordset()->fieldIndex(QStringLiteral("AttributeHandle"))).toString();
    QTest::mouseClick(w->optSingleText, Qt::LeftButton);
    EXPECT_TRUE(w->DrawingChanged());
    seams.boxes.answers = {MsgResult::Yes};
    w->close();
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, "Do you want to save your changes?");
    ddvue::DDVueEngine saved;
    QString path = folder.path("office-floor-plan-2000.dxf");
    ASSERT_TRUE(saved.OpenDrawing(path));
    EXPECT_EQ(saved.listedValue(handle), "A-1");
}

namespace {

// A value typed into a cell and left there, without Enter.
const QString kPending = QStringLiteral("TYPED-NOT-ENTERED");

// What a person may do next while a value is still being typed.
struct PendingEditStep {
    const char* name;
    std::function<void(frmMain&, Seams&)> act;
    bool saves;  // the step saves the drawing to its file
};

void PrintTo(const PendingEditStep& step, std::ostream* os) { *os << step.name; }

class PendingEdit : public ::testing::TestWithParam<PendingEditStep> {};

}  // namespace

TEST_P(PendingEdit, GoesIntoTheDrawingBeforeTheWindowMovesOn)
{
    Seams seams;
    Folder folder;
    const QString plan = folder.path("office-floor-plan-2000.dxf");
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");
    data::Recordset* rs = w->recordset();
    const QString handle = rs->cell(2, rs->fieldIndex(QStringLiteral("AttributeHandle"))).toString();
    activate(*w);
    clickCell(w->dtgDrawing, 2, 7);
    typeIn(kPending);
    ASSERT_TRUE(w->dtgDrawing->isEditing());
    EXPECT_TRUE(w->cmdSave->isVisible()) << "Save shows as the edit begins";

    GetParam().act(*w, seams);

    for (const platform::Message& m : seams.boxes.shown)
        EXPECT_FALSE(m.text.startsWith(QLatin1String("The drawing did not take"))) << m.text.toStdString();
    if (GetParam().saves) {
        oracle::Dump dump = oracle::readWithOracle(plan);
        ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
        EXPECT_EQ(attributeByHandle(dump.json, handle).value(QLatin1String("value")).toString(), kPending);
    } else {
        EXPECT_EQ(w->DDVue1->engine().listedValue(handle), kPending);
        EXPECT_TRUE(w->DrawingChanged());
    }
    EXPECT_EQ(seams.boxes.unexpected, 0);
    EXPECT_EQ(seams.screens.unexpected, 0);
}

INSTANTIATE_TEST_SUITE_P(
    MainWindowGrid, PendingEdit,
    ::testing::Values(
        PendingEditStep{"SaveButton", [](frmMain& w, Seams&) { QTest::mouseClick(w.cmdSave, Qt::LeftButton); }, true},
        PendingEditStep{"AltS",
                        [](frmMain& w, Seams&) {
                            pressKey(Qt::Key_S, Qt::AltModifier);
                            // The button is pressed by its key, and clicks a moment later.
                            EXPECT_TRUE(QTest::qWaitFor([&w] { return !w.cmdSave->isVisible(); }, 5000));
                        },
                        true},
        PendingEditStep{"CloseBox",
                        [](frmMain& w, Seams& s) {
                            s.boxes.answers = {MsgResult::Yes};
                            w.close();
                        },
                        true},
        PendingEditStep{"AnotherDrawing",
                        [](frmMain& w, Seams& s) {
                            s.boxes.answers = {MsgResult::Yes};
                            open(w, "workshop-plan-R12.dxf");
                        },
                        true},
        PendingEditStep{"RecordFilter",
                        [](frmMain& w, Seams& s) {
                            // The filter screen opens on a drawing that holds the value.
                            s.screens.handlers.push_back([&w](QDialog& d) {
                                EXPECT_FALSE(w.dtgDrawing->isEditing());
                                d.reject();
                            });
                            pressKey(Qt::Key_F6);
                            EXPECT_EQ(s.screens.shown, std::vector<QString>{QStringLiteral("frmFilter")});
                        },
                        false}),
    [](const ::testing::TestParamInfo<PendingEditStep>& info) { return std::string(info.param.name); });

namespace {

// Answers the next message box the program shows on the screen as a person
// would, with `answer`, and notes what it asked and offered.
struct OnScreenBox {
    QString text;
    QStringList buttons;
};

void answerOnScreen(std::function<void(QMessageBox&)> answer, OnScreenBox* seen)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, answer, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(box));
        seen->text = box->text();
        for (QAbstractButton* b : box->buttons()) seen->buttons << b->text().remove(QLatin1Char('&'));
        seen->buttons.sort();
        answer(*box);
    });
    timer->start();
}

}  // namespace

TEST(MainWindow, TheSavePromptsKeepEverythingOnEscAndOnTheirCloseBox)
{
    Seams seams;
    Folder folder;
    const QString plan = folder.path("office-floor-plan-2000.dxf");
    const QByteArray before = contentsOf(plan);
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");
    change(*w);

    // The prompts are the real boxes, on the screen.
    platform::QtMessageBoxes real;
    platform::Installed<platform::MessageBoxes> onScreen(real);
    const std::function<void(QMessageBox&)> escape = [](QMessageBox& box) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus && box.isAncestorOf(focus) ? focus : &box, Qt::Key_Escape);
    };
    const std::function<void(QMessageBox&)> closeBox = [](QMessageBox& box) { box.close(); };
    const QStringList offered = {QStringLiteral("Cancel"), QStringLiteral("No"), QStringLiteral("Yes")};
    for (const auto& answer : {escape, closeBox}) {
        OnScreenBox seen;
        answerOnScreen(answer, &seen);
        w->close();
        EXPECT_EQ(seen.text, "Do you want to save your changes?");
        EXPECT_EQ(seen.buttons, offered);
        EXPECT_TRUE(w->isVisible()) << "the window stays open";
        EXPECT_TRUE(w->DrawingChanged());

        seen = {};
        answerOnScreen(answer, &seen);
        click(w->List3, "workshop-plan-R12.dxf");
        settle(*w);
        EXPECT_EQ(seen.text, "Do you want to save your changes?");
        EXPECT_EQ(w->CurrentDrawingName(), "office-floor-plan-2000.dxf");
        ASSERT_TRUE(w->List3->currentItem());
        EXPECT_EQ(w->List3->currentItem()->text(), "office-floor-plan-2000.dxf") << "the list shows the open drawing";
        EXPECT_TRUE(w->DrawingChanged());
        EXPECT_FALSE(ddvue::dxf::layerState(*w->DDVue1->engine().document(),
                                            *w->DDVue1->engine().document()->findLayer("0"))
                         .on)
            << "the change is still in the drawing";
    }

    // A new filter: nothing is applied, and the filter screen stays open.
    OnScreenBox seen;
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& screen = static_cast<filter::frmFilter&>(d);
        screen.txtFilter->setText(QStringLiteral("Name = '0'"));
        answerOnScreen(escape, &seen);
        QTest::mouseClick(screen.cmdOK, Qt::LeftButton);
        EXPECT_EQ(seen.text, "Do you want to save your changes?");
        EXPECT_EQ(w->CurrentFilter(), "");
        d.reject();
    });
    const long rows = w->recordset()->RecordCount();
    activate(*w);
    pressKey(Qt::Key_F6);
    EXPECT_EQ(w->recordset()->RecordCount(), rows);
    EXPECT_EQ(contentsOf(plan), before) << "nothing was saved";

    // No, at last: closed without saving.
    seen = {};
    answerOnScreen([](QMessageBox& box) { QTest::mouseClick(box.button(QMessageBox::No), Qt::LeftButton); }, &seen);
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(contentsOf(plan), before);
}

TEST(MainWindowGrid, TheSaveButtonShowsExactlyWhileTheDrawingDiffersFromItsFile)
{
    Seams seams;
    Folder folder;
    auto w = startWith(seams, folder, "office-floor-plan-2000.dxf");

    // An edit begun, then left with Esc.
    activate(*w);
    clickCell(w->dtgDrawing, 1, 7);
    typeIn(QStringLiteral("x"));
    EXPECT_TRUE(w->cmdSave->isVisible()) << "Save shows as the edit begins";
    pressKey(Qt::Key_Escape);
    EXPECT_FALSE(w->cmdSave->isVisible());
    // A value typed again as it stands.
    editCell(*w, 1, 7, cellText(*w, 1, 7));
    EXPECT_FALSE(w->cmdSave->isVisible());

    // A layer color that is none is put back silently.
    QTest::mouseClick(w->optLayer, Qt::LeftButton);
    const int door = rowOf(*w, QStringLiteral("Name"), QStringLiteral("A-DOOR"));
    const QString color = cellText(*w, door, 2);
    editCell(*w, door, 2, QStringLiteral("300"));
    EXPECT_EQ(cellText(*w, door, 2), color);
    EXPECT_FALSE(w->cmdSave->isVisible());

    // Replace All with nothing to find and a display that is none: no cell
    // changes, and the count says so.
    activate(*w);
    QTest::mouseClick(w->txtReplaceWith, Qt::LeftButton);
    typeIn(QStringLiteral("Maybe"));
    seams.boxes.answers = {MsgResult::Ok};
    QTest::mouseClick(w->cmdReplaceAll, Qt::LeftButton);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].text, "0 replacements.");
    EXPECT_FALSE(w->cmdSave->isVisible());

    // A change, undone to the file and redone, then saved: nothing to ask at close.
    editCell(*w, door, 2, QStringLiteral("12"));
    EXPECT_TRUE(w->cmdSave->isVisible());
    w->dtgDrawing->setFocus();
    pressKey(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(cellText(*w, door, 2), color);
    EXPECT_FALSE(w->cmdSave->isVisible());
    pressKey(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(w->cmdSave->isVisible());
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    EXPECT_FALSE(w->cmdSave->isVisible());
    w->close();
    EXPECT_EQ(seams.boxes.shown.size(), 1u) << "no save prompt";
    EXPECT_EQ(seams.boxes.unexpected, 0);
}
