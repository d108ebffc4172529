#include "edit/CsvImport.h"

#include "edit/ValueEdit.h"
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

namespace {

// One row of the file, read before any is applied.
struct Row {
    ImportRow row;
    std::optional<std::uint64_t> identity;
    QStringList values;
};

// The categories whose view the file is (texts cover both kinds), and the
// file's separator; empty with `error` set when the file is no such view.
std::vector<Category> viewOf(const QString& text, const ImportOptions& options, std::optional<QChar>& separator,
                             QString& error)
{
    std::vector<Category> categories;
    if (options.category) {
        categories = {*options.category};
        separator = extract::csvSeparator(text, keyFieldOf(*options.category));
        if (!separator) {
            error = QStringLiteral("it has no %1 column to name the objects by").arg(keyFieldOf(*options.category));
            return {};
        }
        return categories;
    }
    for (Category c : {Category::Attributes, Category::SingleText, Category::Layers}) {
        separator = extract::csvSeparator(text, keyFieldOf(c));
        if (!separator) continue;
        const QStringList header = extract::readCsv(extract::firstCsvRecord(text), *separator).front().fields;
        bool hasValue = false;
        for (const ValueColumn& v : valueColumnsOf(c)) hasValue = hasValue || columnOf(header, v.field) >= 0;
        if (!hasValue) continue;
        categories = {c};
        if (c == Category::SingleText) categories.push_back(Category::MultiText);
        return categories;
    }
    error = QStringLiteral("it is not the view of block attributes, texts or layers: no AttributeHandle, "
                           "Handle or Name column beside its value column");
    return {};
}

// Reads every record after the header into a row; a row that cannot be
// applied is marked malformed with its reason. True when none is.
bool readRows(const ddvue::DDVueEngine& engine, Category view, const std::vector<extract::CsvRecord>& records,
              const std::vector<ValueColumn>& values, std::vector<Row>& rows)
{
    const QStringList& header = records.front().fields;
    const QString keyName = keyFieldOf(view);
    const int keyAt = columnOf(header, keyName);
    // A row's object, to the line that named it first: by its identity, or
    // by the key as written where the drawing has no such object.
    std::unordered_map<std::uint64_t, int> seen;
    QHash<QString, int> seenKeys;
    bool malformed = false;
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
            const int first = r.identity ? seen.try_emplace(*r.identity, record.line).first->second
                                         : *seenKeys.insert(r.row.key, seenKeys.value(r.row.key, record.line));
            if (first != record.line) {
                r.row.reason = QStringLiteral("it names the same %1 as line %2").arg(keyName).arg(first);
            } else {
                r.values.reserve(static_cast<qsizetype>(values.size()));
                for (const ValueColumn& v : values) r.values << extract::unprotectCsvField(record.fields[v.at]);
            }
        }
        if (!r.row.reason.isEmpty()) {
            r.row.outcome = Outcome::Malformed;
            malformed = true;
        }
        rows.push_back(std::move(r));
    }
    return !malformed;
}

// What the drawing lists in the view, by each object's identity.
std::unordered_map<std::uint64_t, ListedObject> listObjects(const ddvue::DDVueEngine& engine,
                                                            const std::vector<Category>& categories)
{
    std::unordered_map<std::uint64_t, ListedObject> listed;
    for (Category c : categories)
        for (const ListedObject& object : listedObjects(engine, c)) listed.emplace(identityOf(engine, object), object);
    return listed;
}

// Writes one row's values into the object it names, with the grid's checks,
// and says how it went.
void applyRow(ddvue::DDVueEngine& engine, Category view, const std::vector<ValueColumn>& values,
              const std::unordered_map<std::uint64_t, ListedObject>& listed, Row& r)
{
    ImportRow& row = r.row;
    auto it = r.identity ? listed.find(*r.identity) : listed.end();
    if (it == listed.end()) {
        row.outcome = Outcome::NotFound;
        return;
    }
    const ListedObject& object = it->second;
    const QString key = listedKey(engine, object);
    QStringList shown;
    for (const ValueColumn& v : values) shown << listedCell(engine, object, v.gridColumn);
    // A layer's entries are checked, both, before either is written.
    QStringList wanted = r.values;
    if (view == Category::Layers) {
        for (std::size_t v = 0; v < values.size() && row.reason.isEmpty(); ++v)
            if (auto entry = layerEntry(values[v].gridColumn, wanted[v], &row.reason)) wanted[v] = *entry;
    }
    QStringList changes;
    for (std::size_t v = 0; v < values.size() && row.reason.isEmpty(); ++v) {
        const int i = static_cast<int>(v);
        const QString before = shown[i];
        if (wanted[i] == before) continue;
        WriteResult w = writeValue(engine, object.category, values[v].gridColumn, key, wanted[i]);
        if (w.written()) {
            changes << QStringLiteral("%1 %2 -> %3").arg(values[v].field, quoted(before), quoted(w.shown));
            shown[i] = w.shown;
        } else if (w.status != WriteResult::Status::Nothing) {
            row.reason = w.error;
        }
    }
    row.change = changes.join(QStringLiteral(", "));
    if (!row.reason.isEmpty()) row.outcome = Outcome::Rejected;
    else row.outcome = changes.isEmpty() ? Outcome::Unchanged : Outcome::Changed;
}

}  // namespace

ImportReport importCsv(ddvue::DDVueEngine& engine, QByteArrayView bytes, const ImportOptions& options)
{
    ImportReport report;
    QString text;
    if (!extract::decodeCsv(bytes, text, report.error)) return report;

    // The view: the one asked for, else the one whose key field the header has.
    std::optional<QChar> separator;
    std::vector<Category> categories = viewOf(text, options, separator, report.error);
    if (categories.empty()) return report;
    const Category view = categories.front();
    // Of the rows, only the key and the value columns are read; the others
    // are counted.
    const QStringList named = extract::readCsv(extract::firstCsvRecord(text), *separator).front().fields;
    std::vector<bool> kept(static_cast<std::size_t>(named.size()), false);
    auto keep = [&kept](int at) {
        if (at >= 0) kept[static_cast<std::size_t>(at)] = true;
    };
    keep(columnOf(named, keyFieldOf(view)));
    for (const ValueColumn& v : valueColumnsOf(view)) keep(columnOf(named, v.field));
    std::vector<extract::CsvRecord> records = extract::readCsv(text, *separator, kept);
    const QStringList header = records.front().fields;
    if (!records.front().error.isEmpty()) {
        report.error = QStringLiteral("its header is malformed: %1").arg(records.front().error);
        return report;
    }
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
    std::vector<Row> rows;
    if (!readRows(engine, view, records, values, rows) && !options.skipMalformed) {
        for (Row& r : rows)
            if (r.row.outcome == Outcome::Malformed) report.rows.push_back(std::move(r.row));
        return report;
    }
    if (!engine.document()) {
        report.error = QStringLiteral("the drawing's content could not be listed: No drawing is open.");
        return report;
    }
    const std::unordered_map<std::uint64_t, ListedObject> listed = listObjects(engine, categories);
    report.rows.reserve(rows.size());
    {
        // The whole file is one change of the drawing, undone as one.
        ddvue::DDVueEngine::Batch batch(engine, "Import");
        for (Row& r : rows) {
            if (r.row.outcome != Outcome::Malformed) applyRow(engine, view, values, listed, r);
            report.rows.push_back(std::move(r.row));
        }
    }
    report.applied = true;
    return report;
}

}  // namespace edit
