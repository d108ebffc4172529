// The record filter on arbitrary text: every input is either refused with a
// FilterError or evaluated; nothing else may happen (no crash, no undefined
// behaviour, no hang). The recordset is then checked to be consistent.

#include "data/Recordset.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

data::Recordset& recordset()
{
    static data::Recordset rs;
    if (!rs.isOpen()) {
        data::RecordTable t;
        for (const char* f : {"Block", "Layout", "AttributeTag", "AttributeValue", "X", "Field With Space"})
            t.addField(QString::fromLatin1(f));
        const char* values[][6] = {
            {"BlockA", "Model", "TITLE", "School plan", "10", "a"},
            {"blocka", "Layout1", "NOTE", "", "-2.5e3", "b"},
            {"*Model_Space", "", "REV", "O'Brien", "x", ""},
            {"Šum", "Model", "DATE", "2024-03-01", "7", "c"},
        };
        for (const auto& row : values) {
            qsizetype r = t.appendRow();
            for (int f = 0; f < 6; ++f) t.setValue(r, f, QString::fromUtf8(row[f]));
        }
        rs.open(std::move(t));
    }
    return rs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    data::Recordset& rs = recordset();
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString before = rs.Filter();
    const long count = rs.RecordCount();
    try {
        rs.setFilter(text);
    } catch (const data::FilterError&) {
        // Refused: the filter in force stays.
        if (rs.Filter() != before || rs.RecordCount() != count) std::abort();
        return 0;
    }
    // Accepted: the rows in view are some of the rows, and each move works.
    if (rs.RecordCount() < 0 || rs.RecordCount() > 4) std::abort();
    for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) {
        rs.setBookmark(rs.Bookmark());
        (void)rs.value(3);
    }
    rs.setFilter(QString());
    if (rs.RecordCount() != 4) std::abort();
    return 0;
}
