#include "data/Filter.h"

#include <QRegularExpression>

#include <cmath>

namespace data {

namespace {

bool isSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool isNameStart(QChar c) { return c.isLetter() || c == u'_'; }

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'-' || c == u':'; }

bool isWildcard(QChar c) { return c == u'*' || c == u'%'; }

// A number in the filter's and the fields' form: optional sign, digits with
// an optional decimal point, optional exponent. Nothing else (no "inf", no
// hexadecimal, no thousands separators).
bool readNumber(QStringView text, double& value)
{
    qsizetype i = 0, n = text.size();
    if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
    qsizetype digits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) ++i, ++digits;
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) ++i, ++digits;
    }
    if (!digits) return false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
        qsizetype exp = 0;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) ++i, ++exp;
        if (!exp) return false;
    }
    if (i != n) return false;
    bool ok = false;
    value = text.toDouble(&ok);
    return ok && std::isfinite(value);
}

}  // namespace

QDateTime parseFilterDate(QStringView text)
{
    // The date (yyyy-mm-dd or m/d/yyyy), then an optional time (h:mm or
    // h:mm:ss, with an optional AM or PM).
    static const QRegularExpression form(QStringLiteral(
        R"(^(?:(\d{4})-(\d{1,2})-(\d{1,2})|(\d{1,2})/(\d{1,2})/(\d{4}))(?:[ T]+(\d{1,2}):(\d{2})(?::(\d{2}))?(?: *([AaPp][Mm]))?)?$)"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch()) return {};
    const bool iso = m.hasCaptured(1);
    const int y = m.capturedView(iso ? 1 : 6).toInt();
    const int mo = m.capturedView(iso ? 2 : 4).toInt();
    const int d = m.capturedView(iso ? 3 : 5).toInt();
    int h = m.capturedView(7).toInt();
    const int mi = m.capturedView(8).toInt();
    const int s = m.capturedView(9).toInt();
    if (QStringView half = m.capturedView(10); !half.isEmpty()) {
        if (h < 1 || h > 12) return {};
        h = (h % 12) + (half.front().toLower() == u'p' ? 12 : 0);
    }
    QDate date(y, mo, d);
    QTime time(h, mi, s);
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time, Qt::UTC);
}

class FilterParser {
public:
    FilterParser(QStringView text, const RowFilter::FieldResolver& resolve, RowFilter& out)
        : s_(text), resolve_(resolve), out_(out)
    {
    }

    void run()
    {
        skipSpace();
        if (atEnd()) fail(QStringLiteral("the filter is empty"));
        out_.root_ = condition(0);
        skipSpace();
        if (!atEnd()) fail(QStringLiteral("unexpected text"));
    }

private:
    using Node = RowFilter::Node;

    [[noreturn]] void fail(const QString& why) const
    {
        throw FilterError(QStringLiteral("Invalid filter at position %1: %2").arg(pos_ + 1).arg(why), pos_);
    }

    bool atEnd() const { return pos_ >= s_.size(); }
    QChar peek(qsizetype ahead = 0) const { return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : QChar(); }
    void skipSpace()
    {
        while (!atEnd() && isSpace(s_[pos_])) ++pos_;
    }

    // A keyword (AND, OR, LIKE) at the current position, standing alone.
    bool keyword(QLatin1StringView word)
    {
        qsizetype n = word.size();
        if (pos_ + n > s_.size()) return false;
        if (s_.mid(pos_, n).compare(word, Qt::CaseInsensitive) != 0) return false;
        if (pos_ + n < s_.size() && isNameChar(s_[pos_ + n])) return false;
        pos_ += n;
        return true;
    }

    int add(Node node)
    {
        out_.nodes_.push_back(std::move(node));
        return static_cast<int>(out_.nodes_.size()) - 1;
    }

    int condition(int depth)
    {
        int first = clause(depth);
        skipSpace();
        if (!keyword(QLatin1StringView("OR"))) return first;
        Node any;
        any.type = Node::Type::Or;
        any.children.push_back(first);
        do {
            any.children.push_back(clause(depth));
            skipSpace();
        } while (keyword(QLatin1StringView("OR")));
        return add(std::move(any));
    }

    int clause(int depth)
    {
        int first = factor(depth);
        skipSpace();
        if (!keyword(QLatin1StringView("AND"))) return first;
        Node all;
        all.type = Node::Type::And;
        all.children.push_back(first);
        do {
            all.children.push_back(factor(depth));
            skipSpace();
        } while (keyword(QLatin1StringView("AND")));
        return add(std::move(all));
    }

    int factor(int depth)
    {
        skipSpace();
        if (atEnd()) fail(QStringLiteral("a condition is missing"));
        if (peek() == u'(') {
            if (depth >= RowFilter::MaxDepth) fail(QStringLiteral("parentheses nested too deeply"));
            ++pos_;
            int inner = condition(depth + 1);
            skipSpace();
            if (peek() != u')') fail(QStringLiteral("a closing parenthesis is missing"));
            ++pos_;
            return inner;
        }
        return comparison();
    }

    int comparison()
    {
        Node n;
        qsizetype fieldAt = pos_;
        QString name = fieldName();
        if (resolve_) {
            n.field = resolve_(name);
            if (n.field < 0) {
                pos_ = fieldAt;
                fail(QStringLiteral("there is no field %1").arg(name));
            }
        }
        skipSpace();
        n.op = op();
        skipSpace();
        literal(n);
        return add(std::move(n));
    }

    QString fieldName()
    {
        if (peek() == u'[') {
            qsizetype start = ++pos_;
            while (!atEnd() && s_[pos_] != u']') ++pos_;
            if (atEnd()) fail(QStringLiteral("a closing bracket is missing"));
            QString name = s_.mid(start, pos_ - start).toString();
            ++pos_;
            if (name.isEmpty()) fail(QStringLiteral("the field name is empty"));
            return name;
        }
        if (!isNameStart(peek())) fail(QStringLiteral("a field name is expected"));
        qsizetype start = pos_;
        while (!atEnd() && isNameChar(s_[pos_])) ++pos_;
        QStringView name = s_.mid(start, pos_ - start);
        for (const char* word : {"AND", "OR", "LIKE"}) {
            if (name.compare(QLatin1StringView(word), Qt::CaseInsensitive) == 0) {
                pos_ = start;
                fail(QStringLiteral("a field name is expected, not %1").arg(name));
            }
        }
        return name.toString();
    }

    RowFilter::Op op()
    {
        using Op = RowFilter::Op;
        QChar c = peek();
        if (c == u'=') {
            ++pos_;
            return Op::Equal;
        }
        if (c == u'<' || c == u'>') {
            ++pos_;
            QChar next = peek();
            if (c == u'<' && next == u'>') {
                ++pos_;
                return Op::NotEqual;
            }
            if (next == u'=') {
                ++pos_;
                return c == u'<' ? Op::LessEqual : Op::GreaterEqual;
            }
            return c == u'<' ? Op::Less : Op::Greater;
        }
        if (keyword(QLatin1StringView("LIKE"))) return Op::Like;
        fail(QStringLiteral("an operator (=, <>, <, >, <=, >= or LIKE) is expected"));
    }

    void literal(Node& n)
    {
        using Kind = RowFilter::LiteralKind;
        QChar c = peek();
        if (c == u'\'') {
            n.kind = Kind::Text;
            n.text = quoted();
            if (n.op == RowFilter::Op::Like) likePattern(n);
            return;
        }
        if (n.op == RowFilter::Op::Like) fail(QStringLiteral("LIKE needs a quoted pattern"));
        if (c == u'#') {
            qsizetype start = ++pos_;
            while (!atEnd() && s_[pos_] != u'#') ++pos_;
            if (atEnd()) fail(QStringLiteral("a date's closing # is missing"));
            QStringView body = s_.mid(start, pos_ - start);
            ++pos_;
            n.kind = Kind::Date;
            n.date = parseFilterDate(body);
            if (!n.date.isValid()) {
                pos_ = start;
                fail(QStringLiteral("%1 is not a date").arg(body));
            }
            return;
        }
        qsizetype start = pos_;
        while (!atEnd() && !isSpace(s_[pos_]) && s_[pos_] != u')' && s_[pos_] != u'(') ++pos_;
        QStringView word = s_.mid(start, pos_ - start);
        if (word.isEmpty() || !readNumber(word, n.number)) {
            pos_ = start;
            fail(word.isEmpty() ? QStringLiteral("a value is expected")
                                : QStringLiteral("%1 is not a value: text goes in single quotes").arg(word));
        }
        n.kind = Kind::Number;
        n.text = word.toString();
    }

    QString quoted()
    {
        QString text;
        ++pos_;
        for (;;) {
            if (atEnd()) fail(QStringLiteral("a closing quote is missing"));
            QChar c = s_[pos_++];
            if (c == u'\'') {
                if (peek() != u'\'') break;
                ++pos_;
            }
            text.append(c);
        }
        return text;
    }

    void likePattern(Node& n)
    {
        using Mode = RowFilter::LikeMode;
        QString& p = n.text;
        bool lead = !p.isEmpty() && isWildcard(p.front());
        if (lead) p.remove(0, 1);
        bool trail = !p.isEmpty() && isWildcard(p.back());
        if (trail) p.chop(1);
        for (QChar c : p)
            if (isWildcard(c)) fail(QStringLiteral("a LIKE pattern takes * or % only at its start or end"));
        if (lead && trail) n.like = p.isEmpty() ? Mode::Any : Mode::Contains;
        else if (lead) n.like = p.isEmpty() ? Mode::Any : Mode::Suffix;
        else if (trail) n.like = p.isEmpty() ? Mode::Any : Mode::Prefix;
        else n.like = Mode::Exact;
    }

    QStringView s_;
    const RowFilter::FieldResolver& resolve_;
    RowFilter& out_;
    qsizetype pos_ = 0;
};

RowFilter RowFilter::parse(QStringView text, const FieldResolver& resolve)
{
    RowFilter filter;
    FilterParser(text, resolve, filter).run();
    return filter;
}

bool RowFilter::matches(const RecordTable& table, qsizetype row) const
{
    return root_ >= 0 && evaluate(root_, table, row);
}

bool RowFilter::evaluate(int index, const RecordTable& table, qsizetype row) const
{
    const Node& n = nodes_[static_cast<std::size_t>(index)];
    switch (n.type) {
    case Node::Type::And:
        for (int c : n.children)
            if (!evaluate(c, table, row)) return false;
        return true;
    case Node::Type::Or:
        for (int c : n.children)
            if (evaluate(c, table, row)) return true;
        return false;
    case Node::Type::Compare:
        if (n.field < 0 || n.field >= table.fieldCount()) return false;
        return compare(n, table.value(row, n.field));
    }
    return false;
}

bool RowFilter::compare(const Node& n, QStringView value) const
{
    auto apply = [&](int c) {
        switch (n.op) {
        case Op::Equal: return c == 0;
        case Op::NotEqual: return c != 0;
        case Op::Less: return c < 0;
        case Op::Greater: return c > 0;
        case Op::LessEqual: return c <= 0;
        case Op::GreaterEqual: return c >= 0;
        case Op::Like: return false;
        }
        return false;
    };
    switch (n.kind) {
    case LiteralKind::Text:
        if (n.op == Op::Like) {
            switch (n.like) {
            case LikeMode::Exact: return value.compare(n.text, Qt::CaseInsensitive) == 0;
            case LikeMode::Prefix: return value.startsWith(n.text, Qt::CaseInsensitive);
            case LikeMode::Suffix: return value.endsWith(n.text, Qt::CaseInsensitive);
            case LikeMode::Contains: return value.contains(n.text, Qt::CaseInsensitive);
            case LikeMode::Any: return true;
            }
            return false;
        }
        return apply(value.compare(n.text, Qt::CaseInsensitive));
    case LiteralKind::Number: {
        double v = 0;
        if (!readNumber(value.trimmed(), v)) return n.op == Op::NotEqual;
        return apply(v < n.number ? -1 : (v > n.number ? 1 : 0));
    }
    case LiteralKind::Date: {
        QDateTime v = parseFilterDate(value);
        if (!v.isValid()) return n.op == Op::NotEqual;
        return apply(v < n.date ? -1 : (v > n.date ? 1 : 0));
    }
    }
    return false;
}

}  // namespace data
