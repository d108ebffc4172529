#pragma once
// The record filter: a condition that limits a recordset's rows.
//
//   condition := clause { OR clause }
//   clause    := factor { AND factor }
//   factor    := '(' condition ')' | field op value
//   field     := name | '[' any text but ']' ']'
//   op        := '=' | '<>' | '<' | '>' | '<=' | '>=' | LIKE
//   value     := 'text' (a quote inside doubled) | number | #date#
//
// AND binds more tightly than OR. Keywords are case-insensitive. Text is
// compared without regard to letter case. A LIKE pattern is quoted text with
// '*' or '%' at its start, its end or both ("any run of characters"); a
// wildcard anywhere else is an error. A number compares numerically with a
// field whose text is a number; a date compares with a field whose text is a
// date (yyyy-mm-dd or m/d/yyyy, each with an optional time); a field whose
// text is neither matches only "<>". Everything else is an error
// (FilterError), never a crash: nesting is limited, long chains of AND and
// OR are flat lists, not deep trees.

#include "data/RecordTable.h"
#include "data/RecordsetError.h"

#include <QDateTime>

#include <functional>
#include <vector>

namespace data {

class RowFilter {
public:
    // Gives the index of a field by its name, or -1 when there is none.
    using FieldResolver = std::function<int(QStringView name)>;

    // Reads a filter text. Throws FilterError when it cannot be evaluated,
    // including a field that `resolve` does not know. Without a resolver only
    // the form is checked, and no row can be tested.
    static RowFilter parse(QStringView text, const FieldResolver& resolve = {});

    // True when the row meets the condition.
    bool matches(const RecordTable& table, qsizetype row) const;

    // The deepest nesting of parentheses accepted.
    static constexpr int MaxDepth = 64;

private:
    enum class Op { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual, Like };
    enum class LiteralKind { Text, Number, Date };
    enum class LikeMode { Exact, Prefix, Suffix, Contains, Any };

    struct Node {
        enum class Type { And, Or, Compare } type = Type::Compare;
        std::vector<int> children;  // And, Or
        int field = -1;             // Compare
        Op op = Op::Equal;
        LiteralKind kind = LiteralKind::Text;
        LikeMode like = LikeMode::Exact;
        QString text;  // the text, or the LIKE pattern without its wildcards
        double number = 0;
        QDateTime date;
    };

    bool evaluate(int node, const RecordTable& table, qsizetype row) const;
    bool compare(const Node& n, QStringView value) const;

    friend class FilterParser;
    std::vector<Node> nodes_;
    int root_ = -1;
};

// Reads a date or date and time as the filter writes them: yyyy-mm-dd or
// m/d/yyyy, optionally followed by h:mm or h:mm:ss and AM or PM. Invalid
// QDateTime when the text is not one.
QDateTime parseFilterDate(QStringView text);

}  // namespace data
