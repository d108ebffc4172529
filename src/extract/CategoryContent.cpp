#include "extract/CategoryContent.h"

#include "extract/Csv.h"
#include "extract/FlatDocument.h"

#include "data/XmlRecords.h"

#include "ddvue/DDVueEngine.h"

#include "platform/Twips.h"

namespace extract {

// The categories' column widths are in the forms' twips, which the grid
// takes as they are.
static_assert(data::DataGrid::TwipsPerPixel == platform::kTwipsPerPixel);

CategoryLoad loadCategory(const ddvue::DDVueEngine& engine, Category category, data::Recordset& recordset,
                          std::string* flat)
{
    CategoryLoad load;
    const CategorySettings* settings = categorySettings(category);
    if (!settings || !engine.isOpen()) {
        recordset.Close();
        load.error = settings ? QStringLiteral("No drawing is open.") : QStringLiteral("This category has no content.");
        return load;
    }
    return loadCategoryContent(categoryContentDocument(engine, *settings), *settings, recordset, flat);
}

std::string categoryContentDocument(const ddvue::DDVueEngine& engine, const CategorySettings& settings)
{
    // ExportDrawingContent's flags: 1 block attributes, 3 external
    // references, 4 layers, 8 text.
    const auto& f = settings.exportFlags;
    return engine.contentDocument(f[0] != 0, f[2] != 0, f[3] != 0, f[7] != 0);
}

CategoryLoad loadCategoryContent(const std::string& content, const CategorySettings& settings,
                                 data::Recordset& recordset, std::string* flat)
{
    CategoryLoad load;
    load.exported = true;
    if (flat) {
        *flat = flatDocumentOfContent(content, settings.flatCode);
        if (recordset.openXml(QByteArrayView(flat->data(), static_cast<qsizetype>(flat->size())), &load.error))
            load.opened = recordset.RecordCount();
        return load;
    }
    data::RecordTable table;
    data::XmlRecordReader reader(table);
    // Values take fewer characters than the content document has bytes,
    // even with each attribute's insert repeated: room for twice as many is
    // set aside (untouched, it costs nothing).
    reader.expectText(content.size() * 2);
    bool ok = true;
    streamFlatDocument(content, settings.flatCode, [&](std::string_view piece, bool last) {
        if (ok) ok = reader.feed(QByteArrayView(piece.data(), static_cast<qsizetype>(piece.size())), last);
    });
    if (!ok) {
        load.error = reader.error();
        recordset.Close();
        return load;
    }
    recordset.open(std::move(table));
    load.opened = recordset.RecordCount();
    return load;
}

QString loadFailure(const CategoryLoad& load)
{
    if (!load.exported) return load.error.isEmpty() ? QStringLiteral("The content was not exported.") : load.error;
    if (load.opened < 0 && !load.error.isEmpty()) return QStringLiteral("The content was refused: %1").arg(load.error);
    return QString();
}

bool hasData(const data::Recordset& recordset) { return recordset.isOpen() && recordset.fieldCount() >= 1; }

bool showCategory(data::DataGrid& grid, data::Recordset& recordset, Category category)
{
    grid.setRecordset(&recordset);
    if (!hasData(recordset)) {
        grid.showNoData();
        return false;
    }
    const ColumnArrangement& arrangement = columnArrangement(category);
    for (int column : arrangement.removals) grid.removeColumn(column);
    for (std::size_t c = 0; c < arrangement.widths.size(); ++c)
        grid.setColumnWidthTwips(static_cast<int>(c), arrangement.widths[c]);
    // Coordinates show whole where the design's width is too narrow for
    // them, up to twice that width.
    for (int c = 0; c < grid.columnCount(); ++c) {
        const QString caption = grid.columnCaption(c);
        if ((caption == QLatin1String("X") || caption == QLatin1String("Y")) && c < static_cast<int>(arrangement.widths.size()))
            grid.fitColumnToValues(c, 2 * arrangement.widths[static_cast<std::size_t>(c)]);
    }
    for (int column : arrangement.locked) grid.setColumnLocked(column, true);
    for (int column : arrangement.starred)
        grid.setColumnCaption(column, QLatin1Char('*') + grid.columnCaption(column));
    return true;
}

std::string categoryCsv(const data::Recordset& recordset, Category category)
{
    std::string out;
    categoryCsv(recordset, category, [&out](std::string_view piece) {
        out.append(piece);
        return true;
    });
    return out;
}

bool categoryCsv(const data::Recordset& recordset, Category category,
                 const std::function<bool(std::string_view piece)>& sink)
{
    // Rows gather in a buffer that goes to the sink whenever it holds a
    // megabyte, so that a large category's CSV is never whole in memory.
    constexpr std::size_t kPiece = 1u << 20;
    std::string out;
    out.reserve(kPiece + 4096);
    CsvWriter csv(out);
    auto pass = [&out, &sink](std::size_t atLeast) {
        if (out.size() < atLeast || out.empty()) return true;
        const bool taken = sink(out);
        out.clear();
        return taken;
    };
    const CategorySettings* settings = categorySettings(category);
    QString key = settings ? settings->keyField : QString();
    if (!hasData(recordset)) {
        QStringList header = recordFields(category);
        std::vector<int> kept = arrangedFields(static_cast<int>(header.size()), category);
        bool first = true;
        if (!key.isEmpty()) {
            csv.rawField(key, true);
            first = false;
        }
        for (int f : kept) {
            if (header[f] == key) continue;  // the key column comes first, once
            csv.rawField(header[f], first);
            first = false;
        }
        csv.endRow();
        return pass(0);
    }
    std::vector<int> columns;
    int keyField = key.isEmpty() ? -1 : recordset.fieldIndex(key);
    if (keyField >= 0) columns.push_back(keyField);
    // Every column once: a key that the grid shows too (a layer's Name) is
    // the first column, and not written a second time.
    for (int f : arrangedFields(recordset.fieldCount(), category))
        if (f != keyField) columns.push_back(f);
    for (std::size_t i = 0; i < columns.size(); ++i) csv.rawField(recordset.fieldNames()[columns[i]], i == 0);
    csv.endRow();
    for (int row = 0; row < recordset.rowCount(); ++row) {
        for (std::size_t i = 0; i < columns.size(); ++i) csv.field(recordset.cell(row, columns[i]), i == 0);
        csv.endRow();
        if (!pass(kPiece)) return false;
    }
    return pass(0);
}

}  // namespace extract
