#include "data/RecordTable.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace data {

RecordTable::RecordTable(const RecordTable& other)
    : fields_(other.fields_), columns_(other.columns_), poolUsed_(other.poolUsed_), poolCapacity_(other.poolUsed_),
      rows_(other.rows_)
{
    if (poolUsed_) {
        pool_.reset(new char16_t[poolUsed_]);
        std::memcpy(pool_.get(), other.pool_.get(), poolUsed_ * sizeof(char16_t));
    }
}

RecordTable& RecordTable::operator=(const RecordTable& other)
{
    if (this != &other) *this = RecordTable(other);
    return *this;
}

int RecordTable::fieldIndex(QStringView name) const
{
    for (int i = 0; i < fieldCount(); ++i)
        if (QStringView(fields_[i]).compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

int RecordTable::addField(const QString& name)
{
    fields_.append(name);
    columns_.emplace_back(static_cast<std::size_t>(rows_));
    return fieldCount() - 1;
}

qsizetype RecordTable::appendRow()
{
    for (auto& column : columns_) column.emplace_back();
    return rows_++;
}

void RecordTable::grow(std::size_t n)
{
    if (poolUsed_ + n > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("the recordset holds more text than it can address");
    if (poolUsed_ + n <= poolCapacity_) return;
    std::size_t capacity = std::max<std::size_t>({poolCapacity_ * 2, poolUsed_ + n, 4096});
    capacity = std::min<std::size_t>(capacity, std::numeric_limits<std::uint32_t>::max());
    std::unique_ptr<char16_t[]> grown(new char16_t[capacity]);
    if (poolUsed_) std::memcpy(grown.get(), pool_.get(), poolUsed_ * sizeof(char16_t));
    // The old pool stays alive until the caller has copied what it needs.
    retired_ = std::move(pool_);
    pool_ = std::move(grown);
    poolCapacity_ = capacity;
}

std::uint32_t RecordTable::store(QStringView text)
{
    const auto n = static_cast<std::size_t>(text.size());
    grow(n);  // the text may be a value of this table: the old pool is kept until it is copied
    auto at = static_cast<std::uint32_t>(poolUsed_);
    if (n) std::memmove(pool_.get() + poolUsed_, text.utf16(), n * sizeof(char16_t));
    poolUsed_ += n;
    retired_.reset();
    return at;
}

void RecordTable::setLatin1Value(qsizetype row, int field, const char* bytes, std::size_t length)
{
    Cell& cell = columns_[static_cast<std::size_t>(field)][static_cast<std::size_t>(row)];
    grow(length);
    char16_t* out = pool_.get() + poolUsed_;
    for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(bytes[i]);
    cell.offset = length ? static_cast<std::uint32_t>(poolUsed_) : 0;
    cell.length = static_cast<std::uint32_t>(length);
    poolUsed_ += length;
}

void RecordTable::setValue(qsizetype row, int field, QStringView text)
{
    Cell& cell = columns_[static_cast<std::size_t>(field)][static_cast<std::size_t>(row)];
    cell.offset = text.isEmpty() ? 0 : store(text);
    cell.length = static_cast<std::uint32_t>(text.size());
}

void RecordTable::clear() { *this = RecordTable(); }

void RecordTable::reserveText(std::size_t characters)
{
    characters = std::min<std::size_t>(characters, std::numeric_limits<std::uint32_t>::max());
    if (characters <= poolCapacity_) return;
    std::unique_ptr<char16_t[]> grown(new char16_t[characters]);
    if (poolUsed_) std::memcpy(grown.get(), pool_.get(), poolUsed_ * sizeof(char16_t));
    pool_ = std::move(grown);
    poolCapacity_ = characters;
}

}  // namespace data
