#include "app/ImportCommand.h"

#include "app/CommandLine.h"
#include "edit/CsvImport.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/DDVueEngine.h"

#include <QScopeGuard>

#include <memory>
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
    cli::SaveRequest save;
    bool dryRun = false;
    edit::ImportOptions options;
    static const QStringList known = {QStringLiteral("--category"),  QStringLiteral("-o"),
                                      QStringLiteral("--dry-run"),   QStringLiteral("--overwrite"),
                                      QStringLiteral("--skip-malformed"), QStringLiteral("--accept-damaged")};
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
            if (!reader.value(save.outPath) || save.outPath.isEmpty()) return usage(err, QStringLiteral("-o needs a file"));
        } else if (a == QLatin1String("--dry-run")) {
            dryRun = true;
        } else if (a == QLatin1String("--overwrite")) {
            save.overwrite = true;
        } else if (a == QLatin1String("--accept-damaged")) {
            save.acceptDamage = true;
        } else if (a == QLatin1String("--skip-malformed")) {
            options.skipMalformed = true;
        } else {
            return usage(err, QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (int status = reader.finish(QStringLiteral("import"), out, err); status >= 0) return status;
    if (operands.size() != 2) return usage(err, QStringLiteral("import needs a drawing and a CSV file"));
    const QString drawing = operands[0], csvPath = operands[1];

    std::string csv;
    QString why;
    if (!cli::readFile(csvPath, csv, why))
        return failed(err, QStringLiteral("cannot read %1: %2; nothing was changed").arg(csvPath, why));
    ddvue::FileLock lock;
    if (!dryRun && !cli::lockDrawing(lock, drawing, err)) return ExitFailed;
    save.lock = &lock;
    // The drawing's memory goes back with the process when it ends with the
    // command: a large drawing is not freed piece by piece first.
    auto owned = std::make_unique<ddvue::DDVueEngine>();
    auto leave = qScopeGuard([&owned] {
        if (processEndsWithCommand()) (void)owned.release();
    });
    ddvue::DDVueEngine& engine = *owned;
    engine.setReadOnly(dryRun);  // a dry run saves nothing: what a save checks is not taken
    if (!cli::openDrawing(engine, drawing, err)) return ExitFailed;

    edit::ImportReport report =
        edit::importCsv(engine, QByteArrayView(csv.data(), static_cast<qsizetype>(csv.size())), options);
    if (!report.error.isEmpty())
        return failed(err, QStringLiteral("%1 cannot be imported: %2; nothing was changed").arg(csvPath, report.error));

    // The report goes where the drawing does not: standard error when the
    // drawing goes to standard output.
    std::ostream& told = save.outPath == QLatin1String("-") ? err : out;
    // What each row came to, but for the rows that changed nothing; then the counts.
    for (const ImportRow& row : report.rows) {
        if (row.outcome == ImportRow::Outcome::Unchanged) continue;
        told << "line " << row.line << ": " << local(row.key) << ": " << local(edit::outcomeName(row.outcome));
        if (!row.change.isEmpty()) told << ": " << local(row.change);
        if (!row.reason.isEmpty()) told << (row.change.isEmpty() ? ": " : "; ") << local(row.reason);
        told << "\n";
    }
    const long malformed = report.count(ImportRow::Outcome::Malformed);
    if (!report.applied)
        return failed(err, QStringLiteral("%1 has %2 malformed row(s); nothing was changed (--skip-malformed applies "
                                          "the other rows)")
                               .arg(csvPath)
                               .arg(malformed));
    const long changed = report.count(ImportRow::Outcome::Changed);
    const long notApplied = report.count(ImportRow::Outcome::NotFound) + report.count(ImportRow::Outcome::Rejected) + malformed;
    told << "Changed: " << changed << "\n"
        << "Unchanged: " << report.count(ImportRow::Outcome::Unchanged) << "\n"
        << "Not found: " << report.count(ImportRow::Outcome::NotFound) << "\n"
        << "Rejected: " << report.count(ImportRow::Outcome::Rejected) << "\n"
        << "Malformed: " << malformed << "\n";
    told.flush();
    // Done, but not all of the file was applied: a script must be able to tell.
    const int done = notApplied > 0 ? ExitPartly : ExitDone;
    if (dryRun) {
        told << "Dry run: nothing was saved.\n";
        if (changed > 0 && !engine.damage().isEmpty() && !save.acceptDamage)
            told << "The drawing is damaged (" << local(engine.damage())
                 << "): it would be saved only with --accept-damaged.\n";
        return done;
    }
    // Without changes the drawing is left as it is, unless a copy is asked for.
    if (changed == 0 && save.outPath.isEmpty()) {
        told << "Nothing changed: the drawing was not written.\n";
        return done;
    }
    QString saved;
    if (int status = cli::saveDrawing(engine, drawing, save, out, err, &saved); status != ExitDone) return status;
    if (save.outPath != QLatin1String("-")) told << "Saved: " << local(saved) << "\n";
    return done;
}

}  // namespace

void registerImportCommand() { registerCommand(QStringLiteral("import"), import); }

}  // namespace app
