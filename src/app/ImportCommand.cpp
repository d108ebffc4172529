#include "app/ImportCommand.h"

#include "app/CommandLine.h"
#include "edit/CsvImport.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/DDVueEngine.h"

#include <ostream>

namespace app {

namespace {

using cli::failed;
using cli::local;
using cli::usage;
using edit::ImportRow;

int import(const QStringList& args, std::ostream& out, std::ostream& err)
{
    QStringList operands;
    QString outPath;
    bool dryRun = false, overwrite = false;
    edit::ImportOptions options;
    static const QStringList known = {QStringLiteral("--category"), QStringLiteral("-o"), QStringLiteral("--dry-run"),
                                      QStringLiteral("--overwrite"), QStringLiteral("--skip-malformed")};
    cli::Arguments reader(args);
    while (reader.next()) {
        const QString& a = reader.current();
        if (!reader.isOption(known.contains(a))) {
            if (operands.size() == 2) return usage(err, QStringLiteral("import takes one drawing and one CSV file"));
            operands << a;
        } else if (a == QLatin1String("--category")) {
            QString v;
            if (!reader.value(v)) return usage(err, QStringLiteral("--category needs a value"));
            auto c = extract::categoryFromName(v);
            if (!c || *c == extract::Category::ExternalReferences)
                return usage(err, QStringLiteral("import takes attributes, single-text, multi-text or layers, not %1").arg(v));
            options.category = c;
        } else if (a == QLatin1String("-o")) {
            if (!reader.value(outPath)) return usage(err, QStringLiteral("-o needs a file"));
        } else if (a == QLatin1String("--dry-run")) {
            dryRun = true;
        } else if (a == QLatin1String("--overwrite")) {
            overwrite = true;
        } else if (a == QLatin1String("--skip-malformed")) {
            options.skipMalformed = true;
        } else {
            return usage(err, QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (operands.size() != 2) return usage(err, QStringLiteral("import needs a drawing and a CSV file"));
    const QString drawing = operands[0], csvPath = operands[1];

    std::string csv;
    QString why;
    if (!cli::readFile(csvPath, csv, why))
        return failed(err, QStringLiteral("cannot read %1: %2; nothing was changed").arg(csvPath, why));
    ddvue::FileLock lock;
    if (!dryRun && !cli::lockDrawing(lock, drawing, err)) return ExitFailed;
    ddvue::DDVueEngine engine;
    if (!cli::openDrawing(engine, drawing, err)) return ExitFailed;

    edit::ImportReport report =
        edit::importCsv(engine, QByteArrayView(csv.data(), static_cast<qsizetype>(csv.size())), options);
    if (!report.error.isEmpty())
        return failed(err, QStringLiteral("%1 cannot be imported: %2; nothing was changed").arg(csvPath, report.error));

    // What each row came to, but for the rows that changed nothing; then the counts.
    for (const ImportRow& row : report.rows) {
        if (row.outcome == ImportRow::Outcome::Unchanged) continue;
        out << "line " << row.line << ": " << local(row.key) << ": " << local(edit::outcomeName(row.outcome));
        if (!row.change.isEmpty()) out << ": " << local(row.change);
        if (!row.reason.isEmpty()) out << (row.change.isEmpty() ? ": " : "; ") << local(row.reason);
        out << "\n";
    }
    const long malformed = report.count(ImportRow::Outcome::Malformed);
    if (!report.applied)
        return failed(err, QStringLiteral("%1 has %2 malformed row(s); nothing was changed (--skip-malformed applies "
                                          "the other rows)")
                               .arg(csvPath)
                               .arg(malformed));
    const long changed = report.count(ImportRow::Outcome::Changed);
    out << "Changed: " << changed << "\n"
        << "Unchanged: " << report.count(ImportRow::Outcome::Unchanged) << "\n"
        << "Not found: " << report.count(ImportRow::Outcome::NotFound) << "\n"
        << "Rejected: " << report.count(ImportRow::Outcome::Rejected) << "\n"
        << "Malformed: " << malformed << "\n";
    out.flush();
    if (dryRun) {
        out << "Dry run: nothing was saved.\n";
        return ExitDone;
    }
    // Without changes the drawing is left as it is, unless a copy is asked for.
    if (changed == 0 && outPath.isEmpty()) {
        out << "Nothing changed: the drawing was not written.\n";
        return ExitDone;
    }
    return cli::saveDrawing(engine, drawing, outPath, overwrite, err);
}

}  // namespace

void registerImportCommand() { registerCommand(QStringLiteral("import"), import); }

}  // namespace app
