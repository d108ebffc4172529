#pragma once
// The values behind a recordset: named fields and, per field, one text value
// per row. All texts live in one character pool and every cell is an offset
// and a length into it, so that a table of a hundred thousand rows costs a
// few large allocations rather than millions of small ones.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <vector>

namespace data {

class RecordTable {
public:
    RecordTable() = default;
    RecordTable(RecordTable&&) noexcept = default;
    RecordTable& operator=(RecordTable&&) noexcept = default;
    RecordTable(const RecordTable& other);
    RecordTable& operator=(const RecordTable& other);

    int fieldCount() const { return static_cast<int>(fields_.size()); }
    qsizetype rowCount() const { return rows_; }
    const QStringList& fieldNames() const { return fields_; }
    const QString& fieldName(int field) const { return fields_[field]; }
    // The index of a field, the name compared without regard to letter case
    // (as the program's routines address fields); -1 when there is none.
    int fieldIndex(QStringView name) const;

    // Adds a field; rows already present get an empty value in it.
    int addField(const QString& name);
    // Adds a row with an empty value in every field; returns its index.
    qsizetype appendRow();

    QStringView value(qsizetype row, int field) const
    {
        const Cell& c = columns_[static_cast<std::size_t>(field)][static_cast<std::size_t>(row)];
        return QStringView(pool_.get() + c.offset, static_cast<qsizetype>(c.length));
    }
    void setValue(qsizetype row, int field, QStringView text);
    // The same for text given as ISO-8859-1 bytes.
    void setLatin1Value(qsizetype row, int field, const char* bytes, std::size_t length);

    void clear();
    // Sets room aside for `characters` of text in all.
    void reserveText(std::size_t characters);

private:
    struct Cell {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    // Appends text to the pool and returns where it starts.
    std::uint32_t store(QStringView text);
    // Makes room for `n` more characters at the pool's end.
    void grow(std::size_t n);

    QStringList fields_;
    std::vector<std::vector<Cell>> columns_;
    std::unique_ptr<char16_t[]> pool_;
    std::unique_ptr<char16_t[]> retired_;  // the pool before the last growth, while text is copied out of it
    std::size_t poolUsed_ = 0;
    std::size_t poolCapacity_ = 0;
    qsizetype rows_ = 0;
};

}  // namespace data
