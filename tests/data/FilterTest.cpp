// The record filter: each form the filter screen offers gives the rows that
// a plain evaluation of the same condition gives; malformed filters raise and
// leave the filter in force.

#include "data/Recordset.h"

#include <gtest/gtest.h>

#include <functional>

using data::Recordset;

namespace {

struct Row {
    QString block, tag, value, x;
};

const std::vector<Row> rows = {
    {"BlockA", "TITLE_1", "School plan", "10"},
    {"blocka", "TITLE_2", "the SCHOOL", "2.5"},
    {"Stair", "NOTE", "", "-3"},
    {"stone", "NOTE", "it's here", "1e2"},
    {"BlockB", "TITLE_1", "x*y", "abc"},
    {"Šum", "NOTE", "  padded", "100"},
    {"BlockA", "REV", "O'Brien", "7"},
};

Recordset& recordset()
{
    static Recordset rs;
    if (!rs.isOpen()) {
        data::RecordTable t;
        for (const char* f : {"Block", "AttributeTag", "AttributeValue", "X"}) t.addField(QString::fromLatin1(f));
        for (const Row& r : rows) {
            qsizetype i = t.appendRow();
            t.setValue(i, 0, r.block);
            t.setValue(i, 1, r.tag);
            t.setValue(i, 2, r.value);
            t.setValue(i, 3, r.x);
        }
        rs.open(std::move(t));
    }
    return rs;
}

bool eq(const QString& a, const char* b) { return a.compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0; }

std::vector<QString> filtered(const QString& filter)
{
    Recordset& rs = recordset();
    rs.setFilter(filter);
    std::vector<QString> out;
    for (int r = 0; r < rs.rowCount(); ++r) out.push_back(rs.cell(r, 0).toString() + u'/' + rs.cell(r, 2).toString());
    rs.setFilter(QString());
    return out;
}

std::vector<QString> expected(const std::function<bool(const Row&)>& condition)
{
    std::vector<QString> out;
    for (const Row& r : rows)
        if (condition(r)) out.push_back(r.block + u'/' + r.value);
    return out;
}

}  // namespace

TEST(Filter, EveryFormGivesWhatAPlainEvaluationGives)
{
    const std::vector<std::pair<const char*, std::function<bool(const Row&)>>> cases = {
        {"Block = 'BlockA'", [](const Row& r) { return eq(r.block, "blocka"); }},
        {"block <> 'blocka'", [](const Row& r) { return !eq(r.block, "blocka"); }},
        {"AttributeValue LIKE '*school*'", [](const Row& r) { return r.value.contains("school", Qt::CaseInsensitive); }},
        {"Block LIKE 's*'", [](const Row& r) { return r.block.startsWith("s", Qt::CaseInsensitive); }},
        {"AttributeValue LIKE '%PLAN'", [](const Row& r) { return r.value.endsWith("plan", Qt::CaseInsensitive); }},
        {"AttributeValue LIKE 'the school'", [](const Row& r) { return eq(r.value, "the school"); }},
        {"AttributeValue LIKE '*'", [](const Row&) { return true; }},
        {"AttributeValue = ''", [](const Row& r) { return r.value.isEmpty(); }},
        {"AttributeValue = 'O''Brien'", [](const Row& r) { return r.value == "O'Brien"; }},
        {"AttributeValue = '  padded'", [](const Row& r) { return r.value == "  padded"; }},
        {"Block = 'šum'", [](const Row& r) { return r.block == QString::fromUtf8("Šum"); }},
        {"AttributeValue LIKE '*school*' AND Block LIKE 'b*'",
         [](const Row& r) { return r.value.contains("school", Qt::CaseInsensitive) && r.block.startsWith("b", Qt::CaseInsensitive); }},
        {"Block = 'BlockA' OR Block LIKE 's*'",
         [](const Row& r) { return eq(r.block, "blocka") || r.block.startsWith("s", Qt::CaseInsensitive); }},
        {"AttributeTag <> 'TITLE_1' AND Block <> 'BlockA'",
         [](const Row& r) { return !eq(r.tag, "title_1") && !eq(r.block, "blocka"); }},
        // AND binds more tightly than OR.
        {"Block = 'Stair' OR AttributeTag = 'NOTE' AND Block LIKE 'st*'",
         [](const Row& r) { return eq(r.block, "stair") || (eq(r.tag, "note") && r.block.startsWith("st", Qt::CaseInsensitive)); }},
        {"(Block = 'Stair' OR AttributeTag = 'NOTE') AND Block LIKE 'st*'",
         [](const Row& r) { return (eq(r.block, "stair") || eq(r.tag, "note")) && r.block.startsWith("st", Qt::CaseInsensitive); }},
        {"((AttributeTag='REV')) or (X = 10 and (Block like 'block*'))",
         [](const Row& r) { return eq(r.tag, "rev") || (r.x == "10" && r.block.startsWith("block", Qt::CaseInsensitive)); }},
        // Numbers compare as numbers with fields that hold numbers.
        {"X >= 7", [](const Row& r) { bool ok; double v = r.x.toDouble(&ok); return ok && v >= 7; }},
        {"X < 2.5", [](const Row& r) { bool ok; double v = r.x.toDouble(&ok); return ok && v < 2.5; }},
        {"X = 100", [](const Row& r) { bool ok; double v = r.x.toDouble(&ok); return ok && v == 100; }},
        {"X <> 100", [](const Row& r) { bool ok; double v = r.x.toDouble(&ok); return !ok || v != 100; }},
        // Quoted, the same texts compare as texts.
        {"X = '1e2'", [](const Row& r) { return r.x == "1e2"; }},
        {"[AttributeTag] > 'O'", [](const Row& r) { return r.tag.compare("O", Qt::CaseInsensitive) > 0; }},
    };
    for (const auto& [filter, condition] : cases) {
        EXPECT_EQ(filtered(QString::fromUtf8(filter)), expected(condition)) << filter;
    }
}

TEST(Filter, MalformedFiltersRaiseAndKeepTheFilterInForce)
{
    Recordset& rs = recordset();
    rs.setFilter(QStringLiteral("AttributeTag = 'NOTE'"));
    rs.MoveLast();
    const long count = rs.RecordCount();
    const long position = rs.AbsolutePosition();
    const char* bad[] = {
        "Block",
        "Block =",
        "Block = BlockA",
        "Block = \"BlockA\"",
        "Block = 'BlockA",
        "Nope = 'x'",
        "Block LIKE 'a*b'",
        "Block LIKE 5",
        "Block == 'x'",
        "Block != 'x'",
        "(Block = 'x'",
        "Block = 'x')",
        "Block = 'x' AND",
        "AND Block = 'x'",
        "Block = 'x' OR OR Block = 'y'",
        "()",
        "X = 5abc",
        "X = #2020-13-40#",
        "X = #2020-01-01",
        "[Block = 'x'",
        "[] = 'x'",
        "NOT Block = 'x'",
        "Block IS NULL",
        "Block = 'x' Block = 'y'",
    };
    for (const char* filter : bad) {
        EXPECT_THROW(rs.setFilter(QString::fromUtf8(filter)), data::FilterError) << filter;
        EXPECT_EQ(rs.Filter(), QStringLiteral("AttributeTag = 'NOTE'")) << filter;
        EXPECT_EQ(rs.RecordCount(), count) << filter;
        EXPECT_EQ(rs.AbsolutePosition(), position) << filter;
    }
    // Deep nesting is refused, not a crash; long chains are fine.
    QString deep = QString(200, u'(') + QStringLiteral("Block = 'x'") + QString(200, u')');
    EXPECT_THROW(rs.setFilter(deep), data::FilterError);
    QString chain = QStringLiteral("Block = 'Stair'");
    for (int i = 0; i < 20000; ++i) chain += QStringLiteral(" OR Block = 'none'");
    rs.setFilter(chain);
    EXPECT_EQ(rs.RecordCount(), 1);
    rs.setFilter(QStringLiteral("   "));  // only blanks: no filter
    EXPECT_EQ(rs.Filter(), QString());
    EXPECT_EQ(rs.RecordCount(), static_cast<long>(rows.size()));
}

TEST(Filter, DatesCompareAsDates)
{
    data::RecordTable t;
    t.addField(QStringLiteral("Date"));
    for (const char* d : {"2024-03-01", "3/2/2024", "2024-02-29 13:30", "not a date"}) t.setValue(t.appendRow(), 0, QString::fromLatin1(d));
    Recordset rs;
    rs.open(std::move(t));
    rs.setFilter(QStringLiteral("Date >= #3/1/2024#"));
    EXPECT_EQ(rs.RecordCount(), 2);
    rs.setFilter(QStringLiteral("Date < #2024-03-01 00:00:01#"));
    EXPECT_EQ(rs.RecordCount(), 2);
    rs.setFilter(QStringLiteral("Date <> #2024-02-29 1:30:00 PM#"));
    EXPECT_EQ(rs.RecordCount(), 3);  // the text that is no date is not equal
}
