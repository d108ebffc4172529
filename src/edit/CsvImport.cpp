#include "edit/CsvImport.h"

#include "edit/ValueEdit.h"
#include "extract/CategoryContent.h"
#include "extract/Csv.h"

#include "ddvue/DDVueEngine.h"

#include <QHash>

#include <unordered_map>

namespace edit {

using extract::Category;
using Outcome = ImportRow::Outcome;

namespace {

// A column of the view that a row writes back.
struct ValueColumn {
    QString field;   // its name in the header
    int gridColumn;  // the grid column that shows it
    int at = -1;     // its place in the file's records
};

// The key field and the value columns of a category's view.
QString keyFieldOf(Category category) { return extract::categorySettings(category)->keyField; }

std::vector<ValueColumn> valueColumnsOf(Category category)
{
    const QStringList& fields = extract::recordFields(category);
    std::vector<int> shown = extract::arrangedFields(static_cast<int>(fields.size()), category);
    std::vector<int> columns;
    if (category == Category::Layers) columns = {1, 2};
    else columns = {*extract::categorySettings(category)->valueColumn};
    std::vector<ValueColumn> values;
    for (int c : columns) values.push_back({fields[shown[static_cast<std::size_t>(c)]], c});
    return values;
}

int columnOf(const QStringList& header, const QString& name)
{
    for (qsizetype i = 0; i < header.size(); ++i)
        if (header[i].trimmed().compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    return -1;
}

// What names one object or layer of the drawing, however the key is
// spelled: a handle's number, a layer's place in the drawing's table.
std::optional<std::uint64_t> identityOf(const ddvue::DDVueEngine& engine, Category category, const QString& key)
{
    const ddvue::dxf::Document* doc = engine.document();
    if (!doc) return std::nullopt;
    if (category == Category::Layers) {
        if (auto layer = doc->findLayer(key.toStdString())) return *layer;
        return std::nullopt;
    }
    return ddvue::dxf::Document::parseHandle(key.trimmed().toStdString());
}

// What the drawing lists for one object or layer.
struct Listed {
    Category category;
    QString key;            // as the drawing names it
    QStringList values;     // of the value columns, in order
};

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

}  // namespace

long ImportReport::count(Outcome outcome) const
{
    long n = 0;
    for (const ImportRow& row : rows) n += row.outcome == outcome;
    return n;
}

QString outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Changed: return QStringLiteral("changed");
    case Outcome::Unchanged: return QStringLiteral("unchanged");
    case Outcome::NotFound: return QStringLiteral("not found");
    case Outcome::Rejected: return QStringLiteral("rejected");
    case Outcome::Malformed: return QStringLiteral("malformed");
    }
    return QString();
}

ImportReport importCsv(ddvue::DDVueEngine& engine, QByteArrayView bytes, const ImportOptions& options)
{
    ImportReport report;
    QString text;
    if (!extract::decodeCsv(bytes, text, report.error)) return report;

    // The view: the one asked for, else the one whose key field the header has.
    std::vector<Category> categories;
    std::optional<QChar> separator;
    if (options.category) {
        categories = {*options.category};
        separator = extract::csvSeparator(text, keyFieldOf(*options.category));
        if (!separator) {
            report.error = QStringLiteral("it has no %1 column to name the objects by").arg(keyFieldOf(*options.category));
            return report;
        }
    } else {
        for (Category c : {Category::Attributes, Category::SingleText, Category::Layers}) {
            separator = extract::csvSeparator(text, keyFieldOf(c));
            if (!separator) continue;
            QStringList header = extract::readCsv(text, *separator).front().fields;
            bool hasValue = false;
            for (const ValueColumn& v : valueColumnsOf(c)) hasValue = hasValue || columnOf(header, v.field) >= 0;
            if (!hasValue) continue;
            categories = {c};
            if (c == Category::SingleText) categories.push_back(Category::MultiText);
            break;
        }
        if (categories.empty()) {
            report.error = QStringLiteral("it is not the view of block attributes, texts or layers: no AttributeHandle, "
                                          "Handle or Name column beside its value column");
            return report;
        }
    }
    const Category view = categories.front();
    std::vector<extract::CsvRecord> records = extract::readCsv(text, *separator);
    const QStringList header = records.front().fields;
    if (!records.front().error.isEmpty()) {
        report.error = QStringLiteral("its header is malformed: %1").arg(records.front().error);
        return report;
    }
    const int keyAt = columnOf(header, keyFieldOf(view));
    std::vector<ValueColumn> values;
    QStringList valueNames;
    for (ValueColumn v : valueColumnsOf(view)) {
        valueNames << v.field;
        v.at = columnOf(header, v.field);
        if (v.at >= 0) values.push_back(v);
    }
    if (values.empty()) {
        report.error = QStringLiteral("it has no %1 column").arg(valueNames.join(QStringLiteral(" or ")));
        return report;
    }

    // Every row is read before any is applied, so that a malformed one can
    // stop them all.
    struct Row {
        ImportRow row;
        std::optional<std::uint64_t> identity;
        QStringList values;
    };
    std::vector<Row> rows;
    QHash<QString, int> seen;  // a row's object, to the line that named it first
    bool malformed = false;
    const QString keyName = keyFieldOf(view);
    for (std::size_t i = 1; i < records.size(); ++i) {
        const extract::CsvRecord& record = records[i];
        Row r;
        r.row.line = record.line;
        if (record.fields.size() > keyAt) r.row.key = extract::unprotectCsvField(record.fields[keyAt]);
        if (!record.error.isEmpty()) {
            r.row.reason = record.error;
        } else if (record.fields.size() != header.size()) {
            r.row.reason = QStringLiteral("it has %1 fields where the header has %2")
                               .arg(record.fields.size())
                               .arg(header.size());
        } else if (r.row.key.isEmpty()) {
            r.row.reason = QStringLiteral("its %1 is empty").arg(keyName);
        } else {
            r.identity = identityOf(engine, view, r.row.key);
            const QString same = r.identity ? QStringLiteral("#%1").arg(*r.identity) : QLatin1Char('$') + r.row.key;
            auto first = seen.constFind(same);
            if (first != seen.constEnd()) {
                r.row.reason = QStringLiteral("it names the same %1 as line %2").arg(keyName).arg(*first);
            } else {
                seen.insert(same, record.line);
                for (const ValueColumn& v : values) r.values << extract::unprotectCsvField(record.fields[v.at]);
            }
        }
        if (!r.row.reason.isEmpty()) {
            r.row.outcome = Outcome::Malformed;
            malformed = true;
        }
        rows.push_back(std::move(r));
    }
    if (malformed && !options.skipMalformed) {
        for (Row& r : rows)
            if (r.row.outcome == Outcome::Malformed) report.rows.push_back(std::move(r.row));
        return report;
    }

    // What the drawing lists now, by each object's identity.
    std::unordered_map<std::uint64_t, Listed> listed;
    for (Category c : categories) {
        data::Recordset recordset;
        extract::CategoryLoad load = extract::loadCategory(engine, c, recordset);
        QString why = extract::loadFailure(load);
        if (!why.isEmpty()) {
            report.error = QStringLiteral("the drawing's content could not be listed: %1").arg(why);
            return report;
        }
        if (!extract::hasData(recordset)) continue;
        const int key = recordset.fieldIndex(keyFieldOf(c));
        std::vector<int> fields;
        for (const ValueColumn& v : values) fields.push_back(recordset.fieldIndex(v.field));
        if (key < 0) continue;
        for (int row = 0; row < recordset.rowCount(); ++row) {
            Listed entry{c, recordset.cell(row, key).toString(), {}};
            for (int f : fields) entry.values << (f >= 0 ? recordset.cell(row, f).toString() : QString());
            if (auto id = identityOf(engine, c, entry.key)) listed.emplace(*id, std::move(entry));
        }
    }

    for (Row& r : rows) {
        ImportRow& row = r.row;
        if (row.outcome == Outcome::Malformed) {
            report.rows.push_back(std::move(row));
            continue;
        }
        auto it = r.identity ? listed.find(*r.identity) : listed.end();
        if (it == listed.end()) {
            row.outcome = Outcome::NotFound;
            report.rows.push_back(std::move(row));
            continue;
        }
        Listed& object = it->second;
        // A layer's entries are checked, both, before either is written.
        QStringList wanted = r.values;
        if (view == Category::Layers) {
            for (std::size_t v = 0; v < values.size() && row.reason.isEmpty(); ++v)
                if (auto entry = layerEntry(values[v].gridColumn, wanted[v], &row.reason)) wanted[v] = *entry;
        }
        QStringList changes;
        for (std::size_t v = 0; v < values.size() && row.reason.isEmpty(); ++v) {
            const int i = static_cast<int>(v);
            if (wanted[i] == object.values[i]) continue;
            WriteResult w = writeValue(engine, object.category, values[v].gridColumn, object.key, wanted[i]);
            if (w.written()) {
                changes << QStringLiteral("%1 %2 -> %3").arg(values[v].field, quoted(object.values[i]), quoted(w.shown));
                object.values[i] = w.shown;
            } else if (w.status != WriteResult::Status::Nothing) {
                row.reason = w.error;
            }
        }
        row.change = changes.join(QStringLiteral(", "));
        if (!row.reason.isEmpty()) row.outcome = Outcome::Rejected;
        else row.outcome = changes.isEmpty() ? Outcome::Unchanged : Outcome::Changed;
        report.rows.push_back(std::move(row));
    }
    report.applied = true;
    return report;
}

}  // namespace edit
