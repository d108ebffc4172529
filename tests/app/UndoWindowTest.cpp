// Ctrl+Z and Ctrl+Y in the main window, pressed on the grid: edits made in
// the grid, the zoom editor, its color picker and Delete All are undone back
// to the drawing as opened (past a save: the file saved then is the original,
// byte for byte) and redone, and the grid and the Save button follow.

#include "Oracle.h"
#include "WindowKit.h"
#include "colors/ColorPalette.h"
#include "colors/frmColors.h"
#include "filter/frmFilter.h"
#include "zoom/frmZoom.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QJsonArray>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

using namespace app;
using platform::MsgResult;

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QWidget* focusIn(QWidget& window)
{
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }, 5000));
    return QApplication::focusWidget();
}

void clickCell(data::DataGrid* grid, int row, int column)
{
    QModelIndex index = grid->model()->index(row, column);
    ASSERT_TRUE(index.isValid()) << row << "," << column;
    grid->scrollTo(index);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
}

// A key pressed on whatever has the focus, as a person presses it.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus) << "no widget has the focus";
    QTest::keyClick(focus, key, modifiers);
    QApplication::processEvents();
}

struct UndoWindow : ::testing::Test {
    windowkit::Seams seams;
    QTemporaryDir dir;
    std::unique_ptr<frmMain> w;
    QString path;
    QByteArray original;

    void SetUp() override
    {
        const QString name = QStringLiteral("office-floor-plan-2000.dxf");
        path = dir.filePath(name);
        ASSERT_TRUE(QFile::copy(testpaths::samples(name), path));
        original = bytesOf(path);
        seams.settings.values[QStringLiteral("Dir")] = dir.path();
        seams.settings.values[QStringLiteral("Drive")] = QStringLiteral("/");
        seams.settings.values[QStringLiteral("Data")] = QStringLiteral("1");
        w = std::make_unique<frmMain>();
        w->screenWidth = [] { return 1280; };
        w->Combo2->setEditText(QStringLiteral("*.dxf"));
        w->Combo2_Change();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        windowkit::open(*w, name);
    }
    QString cell(int row, int column) const { return w->dtgDrawing->model()->index(row, column).data().toString(); }
    QString field(int row, const char* name) const
    {
        return w->recordset()->cell(row, w->recordset()->fieldIndex(QString::fromLatin1(name))).toString();
    }
    // Ctrl+Z or Ctrl+Y on the grid, which has the focus.
    void onGrid(Qt::Key key)
    {
        focusIn(*w);
        w->dtgDrawing->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), w->dtgDrawing);
        press(key, Qt::ControlModifier);
    }
};

}  // namespace

TEST_F(UndoWindow, EditsUndoneToTheFileAsOpenedAndRedone)
{
    const int rows = w->recordset()->rowCount();
    ASSERT_GT(rows, 3);
    const QString first = cell(1, 7), second = cell(2, 7);
    const QString firstHandle = field(1, "AttributeHandle"), secondHandle = field(2, "AttributeHandle");

    // In the grid: a value typed into its cell.
    focusIn(*w);
    clickCell(w->dtgDrawing, 1, 7);
    for (QChar c : QStringLiteral("Typed")) QTest::keyClicks(QApplication::focusWidget(), QString(c));
    press(Qt::Key_Return);
    ASSERT_EQ(cell(1, 7), QStringLiteral("Typed"));

    // In the zoom editor: a color for every listed attribute, then the value.
    seams.screens.handlers.push_back([&](QDialog& d) {
        auto& z = dynamic_cast<zoom::frmZoom&>(d);
        QWidget* box = focusIn(z);
        ASSERT_EQ(box, z.txtValue);
        QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(box, " zoomed");
        QTest::mouseClick(z.cmdColor, Qt::LeftButton);
        QTest::mouseClick(z.cmdOK, Qt::LeftButton);
    });
    seams.screens.handlers.push_back([](QDialog& d) {
        auto& picker = dynamic_cast<colors::frmColors&>(d);
        for (const colors::Cell& c : colors::cells(colors::Palette::Full))
            if (c.number == 30)
                QTest::mouseClick(picker.PicFull, Qt::LeftButton, {},
                                  QPoint((c.left + c.right) / 2 / colors::TwipsPerPixel,
                                         (c.top + c.bottom) / 2 / colors::TwipsPerPixel));
        QTest::mouseClick(picker.cmdOK, Qt::LeftButton);
    });
    seams.boxes.answers = {MsgResult::Yes};  // every listed attribute
    focusIn(*w);
    clickCell(w->dtgDrawing, 2, 7);
    press(Qt::Key_F2);
    ASSERT_EQ(cell(2, 7), second + QStringLiteral(" zoomed"));

    // Saved; then Delete All.
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    ASSERT_FALSE(w->DrawingChanged());
    const QByteArray edited = bytesOf(path);
    ASSERT_NE(edited, original);
    seams.boxes.answers = {MsgResult::Yes, MsgResult::Ok};
    QTest::mouseClick(w->cmdDeleteAll, Qt::LeftButton);
    ASSERT_TRUE(w->DrawingChanged());
    ASSERT_FALSE(w->DDVue1->engine().listedValue(firstHandle));

    // Undone: the deletions first, which is the state saved.
    onGrid(Qt::Key_Z);
    EXPECT_EQ(w->recordset()->rowCount(), rows);
    EXPECT_EQ(cell(2, 7), second + QStringLiteral(" zoomed"));
    EXPECT_FALSE(w->DrawingChanged()) << "as saved";
    // The zoom editor's value, its colors, the typed value: past the save.
    clickCell(w->dtgDrawing, 2, 7);
    onGrid(Qt::Key_Z);
    EXPECT_EQ(cell(2, 7), second);
    EXPECT_EQ(w->recordset()->currentRow(), 2) << "the grid stays on its row";
    EXPECT_TRUE(w->DrawingChanged());
    onGrid(Qt::Key_Z);
    onGrid(Qt::Key_Z);
    EXPECT_EQ(cell(1, 7), first);
    onGrid(Qt::Key_Z);  // nothing left: nothing happens
    EXPECT_EQ(cell(1, 7), first);
    ASSERT_TRUE(w->DrawingChanged()) << "the file holds the edits";
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    EXPECT_FALSE(w->DrawingChanged());
    EXPECT_TRUE(bytesOf(path) == original) << "undone to the drawing as opened, saved: the file as it was";

    // Redone: the edits as saved before, then the deletions.
    onGrid(Qt::Key_Y);
    onGrid(Qt::Key_Y);
    onGrid(Qt::Key_Y);
    EXPECT_EQ(cell(1, 7), QStringLiteral("Typed"));
    EXPECT_EQ(cell(2, 7), second + QStringLiteral(" zoomed"));
    EXPECT_TRUE(w->DrawingChanged());
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    EXPECT_TRUE(bytesOf(path) == edited);
    oracle::Dump dump = oracle::readWithOracle(path, true);
    ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
    QJsonObject entities = dump.json.value(QLatin1String("entities")).toObject();
    auto dxf = [&](const QString& h) { return entities.value(h).toObject().value(QLatin1String("dxf")).toObject(); };
    EXPECT_EQ(dxf(firstHandle).value(QLatin1String("text")).toString(), QStringLiteral("Typed"));
    EXPECT_EQ(dxf(firstHandle).value(QLatin1String("color")).toInt(), 30);
    EXPECT_EQ(dxf(secondHandle).value(QLatin1String("text")).toString(), second + QStringLiteral(" zoomed"));

    onGrid(Qt::Key_Y);
    EXPECT_FALSE(w->DDVue1->engine().listedValue(firstHandle));
    EXPECT_EQ(w->recordset()->rowCount(), 0);
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    dump = oracle::readWithOracle(path);
    ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
    EXPECT_TRUE(dump.json.value(QLatin1String("attributes")).toArray().isEmpty());
    EXPECT_EQ(seams.boxes.unexpected, 0);
    EXPECT_EQ(seams.screens.unexpected, 0);
}

TEST_F(UndoWindow, TheFilterInForceAndTheRowsObjectStay)
{
    // A filter through F6: the rows of one tag.
    auto filterBy = [&](const QString& text) {
        seams.boxes.answers.push_back(MsgResult::Ok);  // "Filter set."
        seams.screens.handlers.push_back([text](QDialog& d) {
            auto& screen = static_cast<filter::frmFilter&>(d);
            screen.txtFilter->setText(text);
            QTest::mouseClick(screen.cmdOK, Qt::LeftButton);
        });
        focusIn(*w);
        press(Qt::Key_F6);
    };
    const int all = w->recordset()->rowCount();
    filterBy(QStringLiteral("AttributeTag = 'NAME'"));
    const int rows = w->recordset()->rowCount();
    ASSERT_GT(rows, 3);
    ASSERT_LT(rows, all);

    // The second row deleted by its record selector; the row after it is current.
    const QString gone = field(1, "AttributeHandle");
    focusIn(*w);
    QHeaderView* selectors = w->dtgDrawing->verticalHeader();
    QTest::mouseClick(selectors->viewport(), Qt::LeftButton, {},
                      QPoint(selectors->width() / 2, selectors->sectionViewportPosition(1) + selectors->sectionSize(1) / 2));
    press(Qt::Key_Delete);
    ASSERT_FALSE(w->DDVue1->engine().listedValue(gone));
    clickCell(w->dtgDrawing, 2, 7);
    const QString current = field(2, "AttributeHandle");

    // Undone: the deleted row is back in its place, the filter still in force
    // and the same object current.
    onGrid(Qt::Key_Z);
    EXPECT_EQ(w->CurrentFilter(), QStringLiteral("AttributeTag = 'NAME'"));
    EXPECT_EQ(w->recordset()->rowCount(), rows);
    EXPECT_EQ(field(1, "AttributeHandle"), gone);
    EXPECT_EQ(field(w->recordset()->currentRow(), "AttributeHandle"), current);
    EXPECT_EQ(w->dtgDrawing->currentColumn(), 7);
    EXPECT_EQ(w->Adodc1->caption(), QStringLiteral("%1 of %2").arg(w->recordset()->currentRow() + 1).arg(rows));

    // A filter on a value that an undo takes away: every row is listed, and
    // the status line says why.
    clickCell(w->dtgDrawing, 0, 7);
    for (QChar c : QStringLiteral("Renamed")) QTest::keyClicks(QApplication::focusWidget(), QString(c));
    press(Qt::Key_Return);
    seams.boxes.answers = {MsgResult::No};  // not saved before the new filter
    filterBy(QStringLiteral("AttributeValue = 'Renamed'"));
    ASSERT_EQ(w->recordset()->rowCount(), 1);
    onGrid(Qt::Key_Z);
    EXPECT_EQ(w->CurrentFilter(), QString());
    EXPECT_EQ(w->recordset()->rowCount(), all);
    EXPECT_TRUE(w->lblStatus->text().contains(QStringLiteral("AttributeValue = 'Renamed'")))
        << w->lblStatus->text().toStdString();
    EXPECT_EQ(seams.boxes.unexpected, 0);
    EXPECT_EQ(seams.screens.unexpected, 0);
}
