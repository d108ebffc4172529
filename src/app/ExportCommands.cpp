#include "app/ExportCommands.h"

#include "app/CommandLine.h"
#include "extract/CategoryContent.h"

#include "data/Filter.h"
#include "ddvue/DDVueEngine.h"

#include <QFile>
#include <QFileInfo>

#include <ostream>
#include <sstream>

namespace app {

namespace {

using cli::failed;
using cli::openDrawing;
using cli::usage;
using cli::writeOut;

struct ExportOptions {
    QString drawing;
    extract::Category category = extract::Category::Attributes;
    QString filter;
    bool filtered = false;
    QString outPath;
    bool overwrite = false;
};

constexpr int Parsed = -1;

// Reads the export command's arguments (the format has already chosen this
// command) and the category they name. Parsed, or the exit status of a usage
// error.
int parse(const QStringList& args, ExportOptions& o, std::ostream& err)
{
    // The export command has read them once already (and answered --help).
    std::ostringstream help;
    int status = ExitUsage;
    std::optional<cli::ExportArguments> a = cli::readExportArguments(args, help, err, status);
    if (!a) return status;
    if (!a->category.isEmpty()) {
        auto c = extract::categoryFromName(a->category);
        if (!c) return usage(err, QStringLiteral("unknown category %1").arg(a->category));
        o.category = *c;
    }
    o.drawing = a->drawing;
    o.filter = a->filter;
    o.filtered = a->filtered;
    o.outPath = a->outPath;
    o.overwrite = a->overwrite;
    return Parsed;
}

// Opens the drawing and runs the pipeline up to the recordset; with `flat`,
// the flat document is kept there. The drawing is let go as soon as its
// content document is made, before the records are, and the content
// document once the records are made: each is in memory only while needed.
int load(const ExportOptions& o, data::Recordset& recordset, extract::CategoryLoad& result, std::ostream& err,
         std::string* flat = nullptr)
{
    const extract::CategorySettings* settings = extract::categorySettings(o.category);
    std::string content;
    {
        ddvue::DDVueEngine engine;
        engine.setReadOnly(true);
        if (!openDrawing(engine, o.drawing, err)) return ExitFailed;
        if (settings) content = extract::categoryContentDocument(engine, *settings);
        else result = extract::loadCategory(engine, o.category, recordset, flat);
    }
    if (settings) result = extract::loadCategoryContent(content, *settings, recordset, flat);
    QString why = extract::loadFailure(result);
    if (!why.isEmpty()) return failed(err, QStringLiteral("cannot export the content: %1").arg(why));
    return ExitDone;
}

int exportFlat(const QStringList& args, std::ostream& out, std::ostream& err)
{
    ExportOptions o;
    if (int exit = parse(args, o, err); exit != Parsed) return exit;
    if (o.filtered) return usage(err, QStringLiteral("--filter applies to --format csv"));
    data::Recordset recordset;
    extract::CategoryLoad result;
    std::string flat;
    if (int code = load(o, recordset, result, err, &flat); code != ExitDone) return code;
    return writeOut(flat, o.outPath, out, err, o.overwrite);
}

int exportCsv(const QStringList& args, std::ostream& out, std::ostream& err)
{
    ExportOptions o;
    if (int exit = parse(args, o, err); exit != Parsed) return exit;
    data::Recordset recordset;
    extract::CategoryLoad result;
    if (int code = load(o, recordset, result, err); code != ExitDone) return code;
    if (o.filtered) {
        try {
            if (extract::hasData(recordset)) {
                recordset.setFilter(o.filter);
            } else if (!o.filter.trimmed().isEmpty()) {
                // No records, so no fields to check the names against: the
                // form of the filter is still checked.
                data::RowFilter::parse(o.filter.trimmed());
            }
        } catch (const data::RecordsetError& e) {
            return failed(err, e.message());
        }
    }
    return writeOut(ddvue::ByteSource([&](const ddvue::ByteSink& sink) {
                        return extract::categoryCsv(recordset, o.category, sink);
                    }),
                    o.outPath, out, err, o.overwrite);
}

}  // namespace

void registerExportCommands()
{
    registerCommand(QStringLiteral("export:flat"), exportFlat);
    registerCommand(QStringLiteral("export:csv"), exportCsv);
}

}  // namespace app
