// The recordset: fields, positions, bookmarks, updates, deletes.

#include "data/Recordset.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using data::Recordset;
using data::RecordsetError;
using data::RecordTable;

namespace {

// Rows "a1", "a2", ... with fields Name and Value (Value of row i is i*10).
RecordTable table(int rows)
{
    RecordTable t;
    t.addField(QStringLiteral("Name"));
    t.addField(QStringLiteral("Value"));
    for (int i = 1; i <= rows; ++i) {
        qsizetype r = t.appendRow();
        t.setValue(r, 0, QStringLiteral("a%1").arg(i));
        t.setValue(r, 1, QString::number(i * 10));
    }
    return t;
}

RecordsetError::Kind errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const RecordsetError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no error raised";
    return RecordsetError::Kind::Closed;
}

}  // namespace

TEST(Recordset, FieldsByNameIgnoreLetterCaseAndUnknownOnesRaise)
{
    Recordset rs;
    rs.open(table(2));
    EXPECT_EQ(rs.fieldCount(), 2);
    EXPECT_EQ(rs.value(QStringLiteral("name")), QStringLiteral("a1"));
    EXPECT_EQ(rs.value(1), QStringLiteral("10"));
    EXPECT_EQ(rs.fieldIndex(u"VALUE"), 1);
    EXPECT_EQ(rs.fieldIndex(u"Nope"), -1);
    EXPECT_EQ(errorOf([&] { rs.value(QStringLiteral("Nope")); }), RecordsetError::Kind::UnknownField);
    EXPECT_EQ(errorOf([&] { rs.value(2); }), RecordsetError::Kind::UnknownField);
}

TEST(Recordset, MovesStopAtTheEndsAndReportPositions)
{
    Recordset rs;
    rs.open(table(3));
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(rs.AbsolutePosition(), 1);
    EXPECT_FALSE(rs.isBOF());
    rs.MoveLast();
    EXPECT_EQ(rs.AbsolutePosition(), 3);
    rs.MoveNext();
    EXPECT_TRUE(rs.isEOF());
    EXPECT_EQ(rs.AbsolutePosition(), Recordset::PosEOF);
    EXPECT_EQ(errorOf([&] { rs.value(0); }), RecordsetError::Kind::NoCurrentRecord);
    rs.MoveNext();  // stays at EOF
    EXPECT_TRUE(rs.isEOF());
    rs.MovePrevious();
    EXPECT_EQ(rs.value(0), QStringLiteral("a3"));
    rs.MoveFirst();
    rs.MovePrevious();
    EXPECT_TRUE(rs.isBOF());
    EXPECT_EQ(rs.AbsolutePosition(), Recordset::PosBOF);
    rs.MovePrevious();
    rs.MoveNext();
    EXPECT_EQ(rs.value(0), QStringLiteral("a1"));
    rs.setAbsolutePosition(2);
    EXPECT_EQ(rs.value(0), QStringLiteral("a2"));
    EXPECT_EQ(errorOf([&] { rs.setAbsolutePosition(4); }), RecordsetError::Kind::BadPosition);
}

TEST(Recordset, AnEmptyRecordsetIsBothBofAndEof)
{
    Recordset rs;
    rs.open(table(0));
    EXPECT_TRUE(rs.isBOF());
    EXPECT_TRUE(rs.isEOF());
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_EQ(rs.AbsolutePosition(), Recordset::PosUnknown);
    rs.MoveFirst();
    rs.MoveNext();
    EXPECT_EQ(errorOf([&] { rs.Bookmark(); }), RecordsetError::Kind::NoCurrentRecord);
}

TEST(Recordset, BookmarksNameRowsThroughDeletesAndFilters)
{
    Recordset rs;
    rs.open(table(5));
    rs.setAbsolutePosition(4);
    const qint64 fourth = rs.Bookmark();
    rs.setAbsolutePosition(2);
    const qint64 second = rs.Bookmark();
    rs.Delete();
    EXPECT_EQ(rs.RecordCount(), 4);
    rs.setBookmark(fourth);
    EXPECT_EQ(rs.value(0), QStringLiteral("a4"));
    EXPECT_EQ(rs.AbsolutePosition(), 3);
    EXPECT_EQ(errorOf([&] { rs.setBookmark(second); }), RecordsetError::Kind::BadBookmark);
    EXPECT_EQ(errorOf([&] { rs.setBookmark(99); }), RecordsetError::Kind::BadBookmark);

    rs.setFilter(QStringLiteral("Value > 30"));
    EXPECT_EQ(rs.RecordCount(), 2);
    rs.setBookmark(fourth);
    EXPECT_EQ(rs.AbsolutePosition(), 1);
    rs.setFilter(QStringLiteral("Value = 10"));
    EXPECT_EQ(errorOf([&] { rs.setBookmark(fourth); }), RecordsetError::Kind::BadBookmark);
    rs.setFilter(QString());
    EXPECT_EQ(rs.RecordCount(), 4);  // the deleted row stays deleted
}

TEST(Recordset, DeleteMakesTheFollowingRecordCurrent)
{
    Recordset rs;
    rs.open(table(3));
    QSignalSpy removed(&rs, &Recordset::rowRemoved);
    rs.Delete();
    EXPECT_EQ(rs.value(0), QStringLiteral("a2"));
    rs.MoveLast();
    rs.Delete();  // the last: the new last becomes current
    EXPECT_EQ(rs.value(0), QStringLiteral("a2"));
    rs.Delete();
    EXPECT_TRUE(rs.isEOF());
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_EQ(removed.count(), 3);
    EXPECT_EQ(errorOf([&] { rs.Delete(); }), RecordsetError::Kind::NoCurrentRecord);
}

TEST(Recordset, UpdatesWriteTheCurrentRowAndTellTheView)
{
    Recordset rs;
    rs.open(table(3));
    rs.MoveNext();
    QSignalSpy changed(&rs, &Recordset::cellChanged);
    rs.setValue(QStringLiteral("value"), QStringLiteral("x & y"));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toInt(), 1);
    EXPECT_EQ(changed[0][1].toInt(), 1);
    EXPECT_EQ(rs.cell(1, 1), u"x & y");
    EXPECT_EQ(rs.cell(0, 1), u"10");
    // Writing one of the table's own values into another cell (the text
    // moves while it is copied) keeps it intact.
    for (int i = 0; i < 2000; ++i) rs.setCell(0, 0, rs.cell(1, 1).toString() + QString::number(i));
    EXPECT_EQ(rs.cell(0, 0), u"x & y1999");
}

TEST(Recordset, CloseLeavesNothingAndOperationsRaise)
{
    Recordset rs;
    rs.open(table(2));
    rs.setFilter(QStringLiteral("Name = 'a1'"));
    rs.Close();
    EXPECT_FALSE(rs.isOpen());
    EXPECT_EQ(rs.fieldCount(), 0);
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_EQ(rs.Filter(), QString());
    EXPECT_EQ(errorOf([&] { rs.MoveFirst(); }), RecordsetError::Kind::Closed);
    EXPECT_EQ(errorOf([&] { rs.setFilter(QStringLiteral("Name = 'a1'")); }), RecordsetError::Kind::Closed);
}
