#pragma once
// The error a recordset raises when an operation cannot be done: a field that
// does not exist, no current record, a bookmark of a row that is gone, a
// filter it cannot evaluate. Callers that pass errors over catch it; nothing
// in the data layer ends the program.

#include <QString>

#include <stdexcept>

namespace data {

class RecordsetError : public std::runtime_error {
public:
    enum class Kind {
        Closed,           // the recordset is not open
        NoCurrentRecord,  // at BOF or EOF, or the recordset is empty
        UnknownField,
        BadBookmark,      // a row that is deleted, filtered out or never was
        BadPosition,
        InvalidFilter,
    };

    RecordsetError(Kind kind, const QString& message)
        : std::runtime_error(message.toStdString()), kind_(kind), message_(message)
    {
    }

    Kind kind() const { return kind_; }
    const QString& message() const { return message_; }

private:
    Kind kind_;
    QString message_;
};

// A filter text that cannot be evaluated; `position` is the character index
// where reading it failed.
class FilterError : public RecordsetError {
public:
    FilterError(const QString& message, qsizetype position)
        : RecordsetError(Kind::InvalidFilter, message), position_(position)
    {
    }
    qsizetype position() const { return position_; }

private:
    qsizetype position_;
};

}  // namespace data
