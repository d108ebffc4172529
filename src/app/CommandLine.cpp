#include "app/CommandLine.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/ContentDocument.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/FileNames.h"
#include "extract/VersionNames.h"

#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

namespace {

std::map<QString, CommandHandler>& extraCommands()
{
    static std::map<QString, CommandHandler> commands;
    return commands;
}

using cli::failed;
using cli::local;
using cli::openDrawing;
using cli::parseNumber;
using cli::usage;
using cli::writeOut;

int info(const QStringList& args, std::ostream& out, std::ostream& err)
{
    QString drawing;
    cli::Arguments a(args);
    while (a.next()) {
        const QString& arg = a.current();
        // Any name is a drawing here (there are no options), even one that
        // begins with "-" and does not exist: opening it says so.
        if (drawing.isEmpty()) drawing = arg;
        else return usage(err, QStringLiteral("info takes one drawing"));
    }
    if (drawing.isEmpty()) return usage(err, QStringLiteral("info takes one drawing"));
    ddvue::DDVueEngine engine;
    engine.setReadOnly(true);
    if (!openDrawing(engine, drawing, err)) return ExitFailed;
    QString path = drawing;
    long code = engine.GetDrawingVersion(path);
    ddvue::ContentCounts n = ddvue::countContent(*engine.document());
    out << "Version: " << local(extract::DrawingVersionNameForCode(code)) << "\n"
        << "Version code: " << code << "\n"
        << "Layers: " << n.layers << "\n"
        << "Block attributes: " << n.attributes << "\n"
        << "Single-line texts: " << n.texts << "\n"
        << "Multi-line texts: " << n.multilineTexts << "\n"
        << "External references: " << n.externalReferences << "\n";
    if (engine.isDwg()) {
        out << "Entities not brought across: " << engine.skippedEntities() << "\n";
        if (!engine.readWarnings().isEmpty()) out << "Read with errors: " << local(engine.readWarnings()) << "\n";
    }
    for (const QString& repair : engine.repairs()) out << "Repaired on reading: " << local(repair) << "\n";
    return ExitDone;
}

int exportCommand(const QStringList& args, std::ostream& out, std::ostream& err)
{
    std::optional<cli::ExportArguments> o = cli::readExportArguments(args, err);
    if (!o) return ExitUsage;
    const QString &drawing = o->drawing, &format = o->format, &outPath = o->outPath;
    if (format == QLatin1String("content")) {
        ddvue::DDVueEngine engine;
        engine.setReadOnly(true);
        if (!openDrawing(engine, drawing, err)) return ExitFailed;
        if (outPath.isEmpty()) {
            // Piece by piece: a large drawing's document is never whole in memory.
            errno = 0;
            bool written = engine.contentDocument(true, true, true, true, [&out](std::string_view piece) {
                out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
                return static_cast<bool>(out);
            });
            out.flush();
            if (written && out) return ExitDone;
            int why = errno;
            return failed(err, QStringLiteral("cannot write to standard output: %1")
                                   .arg(QString::fromLocal8Bit(why ? std::strerror(why) : "the output was closed")));
        }
        return writeOut(engine.contentDocument(true, true, true, true), outPath, out, err);
    }
    auto it = extraCommands().find(QStringLiteral("export:") + format);
    if (it == extraCommands().end()) return usage(err, QStringLiteral("unknown format %1").arg(format));
    return it->second(args, out, err);
}

// "KEY=VALUE", split at the first "=".
bool splitPair(const QString& text, QString& key, QString& value)
{
    int eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0) return false;
    key = text.left(eq);
    value = text.mid(eq + 1);
    return true;
}

int edit(const QStringList& args, std::ostream& err)
{
    QString drawing, outPath;
    bool overwrite = false;
    struct Op {
        QString option, key, value;
        long number = 0;
    };
    std::vector<Op> ops;
    static const QStringList operations = {
        QStringLiteral("--set-attribute"), QStringLiteral("--set-text"),      QStringLiteral("--entity-color"),
        QStringLiteral("--delete"),        QStringLiteral("--layer-display"), QStringLiteral("--layer-color"),
        QStringLiteral("--rename-layer"),  QStringLiteral("--merge-layer"),
    };
    // Every block's references, or (--sync-attributes=BLOCK) one block's.
    const QString sync = QStringLiteral("--sync-attributes");
    bool removeOrphaned = false;
    cli::Arguments reader(args);
    while (reader.next()) {
        const QString& a = reader.current();
        const bool syncOption = a == sync || a.startsWith(sync + QLatin1Char('='));
        bool known = a == QLatin1String("-o") || a == QLatin1String("--overwrite") || operations.contains(a) ||
                     syncOption || a == QLatin1String("--remove-orphaned-attributes");
        if (!reader.isOption(known)) {
            if (!drawing.isEmpty()) return usage(err, QStringLiteral("edit takes one drawing"));
            drawing = a;
        } else if (a == QLatin1String("-o")) {
            if (!reader.value(outPath)) return usage(err, QStringLiteral("-o needs a file"));
        } else if (a == QLatin1String("--overwrite")) {
            overwrite = true;
        } else if (a == QLatin1String("--remove-orphaned-attributes")) {
            removeOrphaned = true;
        } else if (syncOption) {
            Op op{sync, a.mid(sync.size() + 1), {}};
            if (a.size() > sync.size() && op.key.isEmpty())
                return usage(err, QStringLiteral("%1= needs a block's name").arg(sync));
            if (ddvue::hasStrayBytes(op.key))
                return usage(err, QStringLiteral("%1: the block's name is not valid UTF-8 text").arg(a));
            ops.push_back(op);
        } else if (operations.contains(a)) {
            QString v;
            if (!reader.value(v)) return usage(err, QStringLiteral("%1 needs a value").arg(a));
            Op op{a, {}, {}};
            if (a == QLatin1String("--delete")) op.key = v;
            else if (!splitPair(v, op.key, op.value))
                return usage(err, QStringLiteral("%1 needs KEY=VALUE, not %2").arg(a, v));
            // A value given in bytes that are not UTF-8 has no one meaning:
            // refused rather than written as replacement characters.
            if (ddvue::hasStrayBytes(op.key) || ddvue::hasStrayBytes(op.value))
                return usage(err, QStringLiteral("%1 %2: the value is not valid UTF-8 text").arg(a, v));
            if (a == QLatin1String("--entity-color") && !parseNumber(op.value, 0, 256, op.number))
                return usage(err, QStringLiteral("%1 %2: a color is a whole number from 0 to 256").arg(a, v));
            if (a == QLatin1String("--layer-color") && !parseNumber(op.value, 1, 255, op.number))
                return usage(err, QStringLiteral("%1 %2: a layer color is a whole number from 1 to 255").arg(a, v));
            ops.push_back(op);
        } else {
            return usage(err, QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (drawing.isEmpty()) return usage(err, QStringLiteral("edit needs a drawing"));
    if (removeOrphaned && std::none_of(ops.begin(), ops.end(), [&](const Op& op) { return op.option == sync; }))
        return usage(err, QStringLiteral("--remove-orphaned-attributes goes with --sync-attributes"));

    ddvue::FileLock lock;
    if (!cli::lockDrawing(lock, drawing, err)) return ExitFailed;
    ddvue::DDVueEngine engine;
    if (!openDrawing(engine, drawing, err)) return ExitFailed;
    for (Op& op : ops) {
        bool ok = false;
        if (op.option == QLatin1String("--set-attribute")) {
            ok = engine.SetAttributeValue(op.value, op.key);
        } else if (op.option == QLatin1String("--set-text")) {
            ok = engine.SetTextValue(op.key, op.value);
        } else if (op.option == QLatin1String("--entity-color")) {
            ok = engine.SetEntityColor(op.key, op.number);
        } else if (op.option == QLatin1String("--delete")) {
            ok = engine.DeleteEntity(op.key);
        } else if (op.option == QLatin1String("--layer-display")) {
            ok = engine.SetLayerDisplay(op.key, op.value);
        } else if (op.option == QLatin1String("--layer-color")) {
            ok = engine.SetLayerColor(op.key, op.number);
        } else if (op.option == QLatin1String("--rename-layer")) {
            ok = engine.RenameLayer(op.key, op.value);
        } else if (op.option == QLatin1String("--merge-layer")) {
            ok = engine.MergeLayer(op.key, op.value);
        } else if (op.option == sync) {
            ok = engine.SyncAttributes(op.key, removeOrphaned);
        }
        if (!ok) {
            const QString what = op.option == sync && !op.key.isEmpty() ? sync + QLatin1Char('=') + op.key
                                                                       : (op.key.isEmpty() ? op.option : op.option + QLatin1Char(' ') + op.key);
            return failed(err, QStringLiteral("%1: %2; nothing was saved").arg(what, engine.lastError()));
        }
    }
    return cli::saveDrawing(engine, drawing, outPath, overwrite, err);
}

}  // namespace

namespace cli {

QStringList argumentsOf(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i) args << ddvue::decodeFileName(argv[i]);
    return args;
}

std::optional<ExportArguments> readExportArguments(const QStringList& args, std::ostream& err)
{
    ExportArguments o;
    static const QStringList options = {QStringLiteral("--category"), QStringLiteral("--format"),
                                        QStringLiteral("--filter"), QStringLiteral("-o")};
    auto refuse = [&err](const QString& why) {
        usage(err, why);
        return std::nullopt;
    };
    Arguments reader(args);
    while (reader.next()) {
        const QString& a = reader.current();
        if (!reader.isOption(options.contains(a))) {
            if (!o.drawing.isEmpty()) return refuse(QStringLiteral("export takes one drawing"));
            o.drawing = a;
        } else if (a == QLatin1String("--category")) {
            if (!reader.value(o.category)) return refuse(QStringLiteral("--category needs a value"));
        } else if (a == QLatin1String("--format")) {
            if (!reader.value(o.format)) return refuse(QStringLiteral("--format needs a value"));
        } else if (a == QLatin1String("--filter")) {
            if (!reader.value(o.filter)) return refuse(QStringLiteral("--filter needs a value"));
            o.filtered = true;
        } else if (a == QLatin1String("-o")) {
            if (!reader.value(o.outPath)) return refuse(QStringLiteral("-o needs a file"));
        } else {
            return refuse(QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (o.drawing.isEmpty()) return refuse(QStringLiteral("export needs a drawing"));
    return o;
}

int usage(std::ostream& err, const QString& why)
{
    err << "tessilux: " << local(why) << "\n" << "Try 'tessilux --help'.\n";
    return ExitUsage;
}

int failed(std::ostream& err, const QString& why)
{
    err << "tessilux: " << local(why) << "\n";
    return ExitFailed;
}

std::string local(const QString& s) { return ddvue::encodeFileName(s); }

bool exists(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && ::stat(ddvue::encodeFileName(path).c_str(), &st) == 0;
}

bool readFile(const QString& path, std::string& bytes, QString& why)
{
    int fd = ::open(ddvue::encodeFileName(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    bytes.clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            why = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

bool parseNumber(const QString& text, long low, long high, long& number)
{
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    QString t = text.trimmed();
    if (!digits.match(t).hasMatch()) return false;
    bool ok = false;
    qlonglong n = t.toLongLong(&ok);
    if (!ok || n < low || n > high) return false;
    number = static_cast<long>(n);
    return true;
}

bool lockDrawing(ddvue::FileLock& lock, const QString& drawing, std::ostream& err)
{
    std::string why;
    if (!exists(drawing) || lock.lock(ddvue::encodeFileName(drawing), kLockWaitMs, why)) return true;
    failed(err, QStringLiteral("%1: %2; nothing was saved").arg(drawing, QString::fromLocal8Bit(why)));
    return false;
}

int saveDrawing(ddvue::DDVueEngine& engine, const QString& drawing, const QString& outPath, bool overwrite,
                std::ostream& err)
{
    QString target = outPath.isEmpty() ? drawing : outPath;
    ddvue::SaveOptions options;
    options.replaceExisting = overwrite || outPath.endsWith(QLatin1String(".dxf"), Qt::CaseInsensitive);
    if (!engine.SaveDrawing(target, options)) {
        QString reason = engine.lastError() + QStringLiteral(" Nothing was saved.");
        if (engine.saveProblem() == ddvue::SaveProblem::FileExists)
            reason += QStringLiteral(" Give --overwrite to replace it.");
        return failed(err, reason);
    }
    if (target != (outPath.isEmpty() ? drawing : outPath)) err << "tessilux: saved as " << local(target) << "\n";
    return ExitDone;
}

bool Arguments::next()
{
    ++i_;
    if (!optionsEnded_ && i_ < args_.size() && args_[i_] == QLatin1String("--")) {
        optionsEnded_ = true;
        ++i_;
    }
    return i_ < args_.size();
}

bool Arguments::isOption(bool known) const
{
    const QString& a = current();
    if (optionsEnded_ || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) return false;
    return known || !exists(a);
}

bool Arguments::value(QString& target)
{
    if (i_ + 1 >= args_.size()) return false;
    target = args_[++i_];
    return true;
}

bool openDrawing(ddvue::DDVueEngine& engine, const QString& path, std::ostream& err)
{
    QString p = path;
    if (!exists(p)) {
        err << "tessilux: " << local(p) << ": no such file\n";
        return false;
    }
    engine.setMapFiles(true);  // the command ends soon: no need to copy the file
    if (!engine.OpenDrawing(p)) {
        err << "tessilux: " << local(p) << ": " << local(engine.lastError()) << "\n";
        return false;
    }
    return true;
}

int writeOut(const std::string& bytes, const QString& outPath, std::ostream& out, std::ostream& err)
{
    if (outPath.isEmpty()) {
        errno = 0;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (out) return ExitDone;
        int why = errno;
        return failed(err, QStringLiteral("cannot write to standard output: %1")
                               .arg(QString::fromLocal8Bit(why ? std::strerror(why) : "the output was closed")));
    }
    ddvue::WriteOutcome written = ddvue::writeFile(ddvue::encodeFileName(outPath), bytes);
    if (!written.ok())
        return failed(err, QStringLiteral("cannot write %1: %2").arg(outPath, QString::fromLocal8Bit(written.error)));
    return ExitDone;
}

}  // namespace cli

QString usageText()
{
    return QStringLiteral(
        "Usage:\n"
        "  tessilux [FOLDER | DRAWING]\n"
        "      Start the program: at FOLDER, or with DRAWING open. Without an argument, at the\n"
        "      folder of the settings, or at the bundled samples on the first run.\n"
        "\n"
        "  tessilux info DRAWING\n"
        "      Version name and code, and the number of layers, block attributes, single-line\n"
        "      texts, multi-line texts and external references, one \"name: value\" a line;\n"
        "      then what was repaired on reading a damaged file, if anything.\n"
        "\n"
        "  tessilux export DRAWING [--category attributes|single-text|multi-text|layers|xrefs]\n"
        "                          [--format content|flat|csv] [--filter EXPR] [-o OUT]\n"
        "      content  the content document, all categories (no --category needed)\n"
        "      flat     the flat document of the category\n"
        "      csv      the grid's view of the category, rows as the filter leaves them; a\n"
        "               value that begins with = + - @ (and is no number) or an apostrophe\n"
        "               gets an apostrophe in front, so that no spreadsheet runs it\n"
        "      Standard output unless -o is given.\n"
        "\n"
        "  tessilux edit DRAWING [-o OUT] [--overwrite] OPERATION...\n"
        "      --set-attribute HANDLE=VALUE   --set-text HANDLE=VALUE\n"
        "      --entity-color HANDLE=N        --delete HANDLE\n"
        "      --layer-display NAME=On|Off    --layer-color NAME=N\n"
        "      --rename-layer OLD=NEW         --merge-layer FROM=INTO\n"
        "      --sync-attributes[=BLOCK]      [--remove-orphaned-attributes]\n"
        "      Applies the operations in the order given and saves, over DRAWING or to OUT.\n"
        "      --rename-layer renames a layer and every reference to it (entities in every\n"
        "      block, the current layer, layer states and filters); it refuses, with the\n"
        "      reason, a name that the drawing's version does not allow or another layer\n"
        "      has, and layers 0 and Defpoints. --merge-layer moves everything on FROM to\n"
        "      INTO and removes FROM. --sync-attributes gives the references of every block\n"
        "      (or of BLOCK) the attributes that their block defines and they lack, with the\n"
        "      definition's default value and place; with --remove-orphaned-attributes also\n"
        "      removes those the block no longer defines. Values already there are kept.\n"
        "      The first \"=\" separates key and value. With no operation it opens and saves.\n"
        "      A DWG is saved as the DXF of the same name; a DXF there that this program did\n"
        "      not write from that DWG is replaced only with --overwrite. A drawing changed\n"
        "      by another program since it was read is not overwritten.\n"
        "\n"
        "  tessilux render DRAWING -o OUT.png|OUT.bmp [--size WIDTHxHEIGHT]\n"
        "      Draws the whole drawing (zoomed to its extents) into a picture.\n"
        "\n"
        "  tessilux import DRAWING FILE.csv [--category attributes|single-text|multi-text|layers]\n"
        "                  [-o OUT] [--dry-run] [--skip-malformed] [--overwrite]\n"
        "      Applies a CSV in the form that export writes (as a spreadsheet saves it again:\n"
        "      any column order, extra columns, a byte-order mark, \",\" \";\" or tab) by its\n"
        "      key column, with the grid's checks; the category is told by the columns when\n"
        "      not given. Prints each row that changed, was not found or was rejected and\n"
        "      why, then the counts; saves when a row changed. A malformed row stops it all,\n"
        "      unless --skip-malformed. A field that export wrote with an apostrophe in\n"
        "      front (one that begins with = + - @ or an apostrophe) loses it again.\n"
        "\n"
        "  tessilux replace PATH... --find TEXT --replace TEXT\n"
        "                   [--category attributes|single-text|multi-text|layers] [--match-case]\n"
        "                   [--whole-word] [--dry-run] [--jobs N] [--overwrite]\n"
        "      The grid's Replace All in every drawing named and in every DXF and DWG in the\n"
        "      folders named and their subfolders, N drawings at a time (as many as the\n"
        "      machine has processors); an empty --find makes every value the replacement.\n"
        "      Saves only the drawings that change (a DWG as the DXF of the same name, as\n"
        "      edit does). One line per drawing, then the total; a drawing that cannot be\n"
        "      read is reported and skipped, and makes the exit status 1.\n"
        "\n"
        "  tessilux --version\n"
        "      The program's version.\n"
        "\n"
        "\"--\" ends the options of every command.\n"
        "Exit status: 0 done, 1 the drawing or an operation failed, 2 wrong usage.\n");
}

bool isCommand(const QString& word)
{
    static const QStringList commands = {QStringLiteral("info"), QStringLiteral("export"), QStringLiteral("edit"),
                                         QStringLiteral("render"), QStringLiteral("--help"), QStringLiteral("-h"),
                                         QStringLiteral("--version")};
    return commands.contains(word) || extraCommands().count(word) > 0;
}

void registerCommand(const QString& name, CommandHandler handler) { extraCommands()[name] = std::move(handler); }

int runCommand(const QStringList& args, std::ostream& out, std::ostream& err)
{
    if (args.isEmpty()) return usage(err, QStringLiteral("no command"));
    const QString& cmd = args[0];
    QStringList rest = args.mid(1);
    if (cmd == QLatin1String("--help") || cmd == QLatin1String("-h")) {
        out << local(usageText());
        return ExitDone;
    }
    if (cmd == QLatin1String("--version")) {
        out << "tessilux " << TESSILUX_VERSION << "\n";
        return ExitDone;
    }
    if (cmd == QLatin1String("info")) return info(rest, out, err);
    if (cmd == QLatin1String("export")) return exportCommand(rest, out, err);
    if (cmd == QLatin1String("edit")) return edit(rest, err);
    auto it = extraCommands().find(cmd);
    if (it != extraCommands().end()) return it->second(rest, out, err);
    return usage(err, QStringLiteral("unknown command %1").arg(cmd));
}

}  // namespace app
