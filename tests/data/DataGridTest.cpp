// The grid and the navigator, worked as a person works them.

#include "data/DataGrid.h"
#include "data/RecordNavigator.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using data::DataGrid;
using data::Recordset;

namespace {

class GridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data::RecordTable t;
        for (const char* f : {"Name", "Display", "Color"}) t.addField(QString::fromLatin1(f));
        for (int i = 0; i < 4; ++i) {
            qsizetype r = t.appendRow();
            t.setValue(r, 0, QStringLiteral("L%1").arg(i));
            t.setValue(r, 1, QStringLiteral("On"));
            t.setValue(r, 2, QString::number(i + 1));
        }
        rs.open(std::move(t));
        grid.setRecordset(&rs);
        grid.resize(400, 200);
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
    }

    // The open editor (closed ones linger, hidden, until deleted).
    QLineEdit* editor()
    {
        for (QLineEdit* e : grid.findChildren<QLineEdit*>())
            if (e->isVisible()) return e;
        return nullptr;
    }
    bool editing() { return grid.isEditing(); }

    Recordset rs;
    DataGrid grid;
};

}  // namespace

TEST_F(GridTest, TheCurrentRowFollowsTheRecordsetBothWays)
{
    EXPECT_EQ(grid.columnCount(), 3);
    EXPECT_EQ(grid.columnCaption(1), QStringLiteral("Display"));
    EXPECT_EQ(grid.currentColumn(), 0);
    QSignalSpy moves(&grid, &DataGrid::RowColChange);

    rs.MoveNext();
    EXPECT_EQ(grid.currentIndex().row(), 1);
    EXPECT_EQ(grid.text(), QStringLiteral("L1"));
    ASSERT_EQ(moves.count(), 1);

    QTest::keyClick(&grid, Qt::Key_Down);  // the grid moves the recordset
    EXPECT_EQ(rs.AbsolutePosition(), 3);
    QTest::keyClick(&grid, Qt::Key_Right);
    EXPECT_EQ(grid.currentColumn(), 1);
    EXPECT_EQ(rs.AbsolutePosition(), 3);

    // Each move tells the row (as its bookmark) and the column before it.
    QVariant lastRow;
    int lastColumn = -2;
    QObject::connect(&grid, &DataGrid::RowColChange, [&](QVariant* row, int column) {
        lastRow = *row;
        lastColumn = column;
    });
    const qint64 third = rs.Bookmark();
    grid.setCurrentColumn(2);
    EXPECT_EQ(lastRow.toLongLong(), third);
    EXPECT_EQ(lastColumn, 1);
    rs.MoveNext();
    rs.MoveNext();  // EOF: no current row, the column stays
    EXPECT_EQ(grid.currentRow(), -1);
    EXPECT_EQ(grid.currentColumn(), 2);
    EXPECT_EQ(grid.text(), QString());
}

TEST_F(GridTest, F2ReachesKeyDownAndStartsNoEdit)
{
    std::vector<std::pair<int, int>> keys;
    QObject::connect(&grid, &DataGrid::KeyDown, [&](int* key, int* shift) {
        if (*key == Qt::Key_F2) keys.emplace_back(*key, *shift);  // (the modifier keys come too)
    });
    QTest::keyClick(&grid, Qt::Key_F2);
    QTest::keyClick(&grid, Qt::Key_F2, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_FALSE(editing());
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0], std::make_pair(int(Qt::Key_F2), 0));
    EXPECT_EQ(keys[1], std::make_pair(int(Qt::Key_F2), 3));

    // A handler that takes a key away keeps it from the grid.
    QObject::connect(&grid, &DataGrid::KeyDown, [](int* key, int*) {
        if (*key == Qt::Key_Down) *key = 0;
    });
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(rs.AbsolutePosition(), 1);
}

TEST_F(GridTest, TypingEditsTheCellWithBeforeAndAfterColEdit)
{
    std::vector<std::pair<int, int>> before;
    std::vector<int> after;
    QObject::connect(&grid, &DataGrid::BeforeColEdit, [&](int column, int key, int*) { before.emplace_back(column, key); });
    QObject::connect(&grid, &DataGrid::AfterColEdit, [&](int column) {
        after.push_back(column);
        EXPECT_EQ(rs.value(column), QStringLiteral("xy"));  // already in the recordset
    });
    grid.setCurrentColumn(1);
    QTest::keyClick(&grid, Qt::Key_X);
    ASSERT_TRUE(editing());
    ASSERT_NE(editor(), nullptr);
    QTest::keyClick(editor(), Qt::Key_Y);
    EXPECT_EQ(grid.text(), QStringLiteral("xy"));  // the text being edited
    QTest::keyClick(editor(), Qt::Key_Return);
    QApplication::processEvents();  // the editor closes on the next turn of the event loop
    EXPECT_FALSE(editing());
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0], std::make_pair(1, int('x')));
    EXPECT_EQ(after, std::vector<int>({1}));

    // Escape leaves the cell as it was, without AfterColEdit; the edit did begin.
    rs.MoveNext();
    QTest::keyClick(&grid, Qt::Key_Z);
    ASSERT_TRUE(editing());
    ASSERT_NE(editor(), nullptr);
    QTest::keyClick(editor(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(editing());
    EXPECT_EQ(before.size(), 2u);
    EXPECT_EQ(after.size(), 1u);
    EXPECT_EQ(rs.value(1), QStringLiteral("On"));
}

TEST_F(GridTest, CancelledAndLockedCellsAreNotEdited)
{
    int begun = 0;
    auto connection = QObject::connect(&grid, &DataGrid::BeforeColEdit, [&](int, int, int* cancel) {
        ++begun;
        *cancel = 1;
    });
    QTest::keyClick(&grid, Qt::Key_A);
    EXPECT_FALSE(editing());
    EXPECT_EQ(begun, 1);
    QObject::disconnect(connection);

    grid.setColumnLocked(0, true);
    QTest::keyClick(&grid, Qt::Key_A);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.currentIndex()).center());
    EXPECT_FALSE(editing());
    EXPECT_EQ(begun, 1);
    EXPECT_EQ(rs.value(0), QStringLiteral("L0"));
}

TEST_F(GridTest, DeletingARowAsksBeforeDeleteAndHonoursTheGrid)
{
    int asked = 0, refuse = 1;
    QObject::connect(&grid, &DataGrid::BeforeDelete, [&](int* cancel) {
        ++asked;
        *cancel = refuse;
    });
    rs.MoveNext();
    grid.selectRow(1);
    QTest::keyClick(&grid, Qt::Key_Delete);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(rs.RecordCount(), 4);

    refuse = 0;
    grid.selectRow(1);
    QTest::keyClick(&grid, Qt::Key_Delete);
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(grid.text(), QStringLiteral("L2"));

    // A single cell chosen is not a row: Delete leaves it.
    grid.setCurrentIndex(grid.model()->index(0, 1));
    QTest::keyClick(&grid, Qt::Key_Delete);
    EXPECT_EQ(rs.RecordCount(), 3);

    grid.setAllowDelete(false);
    EXPECT_FALSE(grid.deleteCurrentRow());
    EXPECT_EQ(asked, 2);
}

TEST_F(GridTest, ColumnsTextAndSelection)
{
    grid.setColumnWidthTwips(1, 1500);
    EXPECT_EQ(grid.columnWidth(1), 100);
    EXPECT_EQ(grid.columnWidthTwips(1), 1500);
    grid.setColumnCaption(2, QStringLiteral("*Color"));
    EXPECT_EQ(grid.model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("*Color"));

    grid.setCurrentColumn(2);
    grid.removeColumn(0);
    EXPECT_EQ(grid.columnCount(), 2);
    EXPECT_EQ(grid.currentColumn(), 1);  // still on Color
    EXPECT_EQ(grid.columnField(1), 2);
    EXPECT_EQ(grid.columnWidthTwips(0), 1500);

    grid.setText(QStringLiteral("12"));
    EXPECT_EQ(rs.value(QStringLiteral("Color")), QStringLiteral("12"));
    grid.setTextSelection(1, 1);
    EXPECT_EQ(grid.selectionStart(), 1);
    EXPECT_EQ(grid.selectionLength(), 1);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.selectionLength(), 0);  // gone with the move
}

TEST_F(GridTest, NoDataIsOneLockedCellWithoutCaption)
{
    Recordset empty;
    empty.open(data::RecordTable());
    grid.setRecordset(&empty);
    grid.showNoData();
    EXPECT_TRUE(grid.showsNoData());
    EXPECT_EQ(grid.columnCount(), 1);
    EXPECT_EQ(grid.columnCaption(0), QString());
    EXPECT_EQ(grid.currentColumn(), 0);
    EXPECT_EQ(grid.text(), QStringLiteral("No data"));
    EXPECT_TRUE(grid.isColumnLocked(0));
    QTest::keyClick(&grid, Qt::Key_A);
    EXPECT_FALSE(editing());
    grid.setRecordset(&rs);
    EXPECT_FALSE(grid.showsNoData());
    EXPECT_EQ(grid.columnCount(), 3);
}

TEST(RecordNavigator, MovesAndStaysAtTheEnds)
{
    data::RecordTable t;
    t.addField(QStringLiteral("N"));
    for (int i = 0; i < 3; ++i) t.setValue(t.appendRow(), 0, QString::number(i));
    Recordset rs;
    rs.open(std::move(t));
    data::RecordNavigator nav;
    nav.setRecordset(&rs);
    auto click = [&](const char* name) { nav.findChild<QToolButton*>(QLatin1String(name))->click(); };
    click("cmdLast");
    EXPECT_EQ(rs.AbsolutePosition(), 3);
    click("cmdNext");
    EXPECT_EQ(rs.AbsolutePosition(), 3);
    click("cmdPrevious");
    EXPECT_EQ(rs.AbsolutePosition(), 2);
    click("cmdFirst");
    click("cmdPrevious");
    EXPECT_EQ(rs.AbsolutePosition(), 1);
    nav.setCaption(QStringLiteral("1 of 3"));
    EXPECT_EQ(nav.caption(), QStringLiteral("1 of 3"));
    rs.Close();
    click("cmdNext");  // nothing to move: no error
}
