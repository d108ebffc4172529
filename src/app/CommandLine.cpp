#include "app/CommandLine.h"

#include "ddvue/ContentDocument.h"
#include "ddvue/DDVueEngine.h"
#include "extract/VersionNames.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <ostream>

namespace app {

namespace {

std::map<QString, CommandHandler>& extraCommands()
{
    static std::map<QString, CommandHandler> commands;
    return commands;
}

std::string local(const QString& s) { return s.toStdString(); }

using cli::failed;
using cli::openDrawing;
using cli::usage;
using cli::writeOut;

int info(const QStringList& args, std::ostream& out, std::ostream& err)
{
    if (args.size() != 1) return usage(err, QStringLiteral("info takes one drawing"));
    ddvue::DDVueEngine engine;
    if (!openDrawing(engine, args[0], err)) return ExitFailed;
    QString path = args[0];
    long code = engine.GetDrawingVersion(path);
    ddvue::ContentCounts n = ddvue::countContent(*engine.document());
    out << "Version: " << local(extract::DrawingVersionNameForCode(code)) << "\n"
        << "Version code: " << code << "\n"
        << "Layers: " << n.layers << "\n"
        << "Block attributes: " << n.attributes << "\n"
        << "Single-line texts: " << n.texts << "\n"
        << "Multi-line texts: " << n.multilineTexts << "\n"
        << "External references: " << n.externalReferences << "\n";
    if (engine.isDwg()) out << "Entities not brought across: " << engine.skippedEntities() << "\n";
    for (const QString& repair : engine.repairs()) out << "Repaired on reading: " << local(repair) << "\n";
    return ExitDone;
}

int exportCommand(const QStringList& args, std::ostream& out, std::ostream& err)
{
    QString drawing, category, format = QStringLiteral("content"), filter, outPath;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& target) {
            if (i + 1 >= args.size()) return false;
            target = args[++i];
            return true;
        };
        if (a == QLatin1String("--category")) {
            if (!value(category)) return usage(err, QStringLiteral("--category needs a value"));
        } else if (a == QLatin1String("--format")) {
            if (!value(format)) return usage(err, QStringLiteral("--format needs a value"));
        } else if (a == QLatin1String("--filter")) {
            if (!value(filter)) return usage(err, QStringLiteral("--filter needs a value"));
        } else if (a == QLatin1String("-o")) {
            if (!value(outPath)) return usage(err, QStringLiteral("-o needs a file"));
        } else if (a.startsWith(QLatin1Char('-'))) {
            return usage(err, QStringLiteral("unknown option %1").arg(a));
        } else if (drawing.isEmpty()) {
            drawing = a;
        } else {
            return usage(err, QStringLiteral("export takes one drawing"));
        }
    }
    if (drawing.isEmpty()) return usage(err, QStringLiteral("export needs a drawing"));
    if (format == QLatin1String("content")) {
        ddvue::DDVueEngine engine;
        if (!openDrawing(engine, drawing, err)) return ExitFailed;
        if (outPath.isEmpty()) {
            // Piece by piece: a large drawing's document is never whole in memory.
            bool written = engine.contentDocument(true, true, true, true, [&out](std::string_view piece) {
                out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
                return static_cast<bool>(out);
            });
            out.flush();
            return written && out ? ExitDone : ExitFailed;
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

bool parseColor(const QString& text, long& color)
{
    bool ok = false;
    color = text.trimmed().toLong(&ok);
    return ok;
}

int edit(const QStringList& args, std::ostream& err)
{
    QString drawing, outPath;
    struct Op {
        QString option, key, value;
    };
    std::vector<Op> ops;
    static const QStringList operations = {
        QStringLiteral("--set-attribute"), QStringLiteral("--set-text"),    QStringLiteral("--entity-color"),
        QStringLiteral("--delete"),        QStringLiteral("--layer-display"), QStringLiteral("--layer-color"),
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-o")) {
            if (i + 1 >= args.size()) return usage(err, QStringLiteral("-o needs a file"));
            outPath = args[++i];
        } else if (operations.contains(a)) {
            if (i + 1 >= args.size()) return usage(err, QStringLiteral("%1 needs a value").arg(a));
            Op op{a, {}, {}};
            const QString& v = args[++i];
            if (a == QLatin1String("--delete")) op.key = v;
            else if (!splitPair(v, op.key, op.value))
                return usage(err, QStringLiteral("%1 needs KEY=VALUE, not %2").arg(a, v));
            ops.push_back(op);
        } else if (a.startsWith(QLatin1String("--"))) {
            return usage(err, QStringLiteral("unknown option %1").arg(a));
        } else if (drawing.isEmpty()) {
            drawing = a;
        } else {
            return usage(err, QStringLiteral("edit takes one drawing"));
        }
    }
    if (drawing.isEmpty()) return usage(err, QStringLiteral("edit needs a drawing"));
    ddvue::DDVueEngine engine;
    if (!openDrawing(engine, drawing, err)) return ExitFailed;
    for (Op& op : ops) {
        bool ok = false;
        long color = 0;
        if (op.option == QLatin1String("--set-attribute")) {
            ok = engine.SetAttributeValue(op.value, op.key);
        } else if (op.option == QLatin1String("--set-text")) {
            ok = engine.SetTextValue(op.key, op.value);
        } else if (op.option == QLatin1String("--entity-color")) {
            if (!parseColor(op.value, color)) return usage(err, QStringLiteral("%1 is not a color number").arg(op.value));
            ok = engine.SetEntityColor(op.key, color);
        } else if (op.option == QLatin1String("--delete")) {
            ok = engine.DeleteEntity(op.key);
        } else if (op.option == QLatin1String("--layer-display")) {
            ok = engine.SetLayerDisplay(op.key, op.value);
        } else if (op.option == QLatin1String("--layer-color")) {
            if (!parseColor(op.value, color)) return usage(err, QStringLiteral("%1 is not a color number").arg(op.value));
            ok = engine.SetLayerColor(op.key, color);
        }
        if (!ok) return failed(err, QStringLiteral("%1 %2: %3; nothing was saved").arg(op.option, op.key, engine.lastError()));
    }
    QString target = outPath.isEmpty() ? drawing : outPath;
    if (!engine.SaveDrawing(target)) return failed(err, engine.lastError());
    if (target != (outPath.isEmpty() ? drawing : outPath)) err << "tessilux: saved as " << local(target) << "\n";
    return ExitDone;
}

}  // namespace

namespace cli {

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

bool openDrawing(ddvue::DDVueEngine& engine, const QString& path, std::ostream& err)
{
    QString p = path;
    if (!QFileInfo::exists(p)) {
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
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        return out ? ExitDone : ExitFailed;
    }
    QFile f(outPath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) || !f.flush())
        return failed(err, QStringLiteral("cannot write %1: %2").arg(outPath, f.errorString()));
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
        "      csv      the grid's view of the category, rows as the filter leaves them\n"
        "      Standard output unless -o is given.\n"
        "\n"
        "  tessilux edit DRAWING [-o OUT] OPERATION...\n"
        "      --set-attribute HANDLE=VALUE   --set-text HANDLE=VALUE\n"
        "      --entity-color HANDLE=N        --delete HANDLE\n"
        "      --layer-display NAME=On|Off    --layer-color NAME=N\n"
        "      Applies the operations in the order given and saves, over DRAWING or to OUT.\n"
        "      The first \"=\" separates key and value. With no operation it opens and saves.\n"
        "\n"
        "  tessilux render DRAWING -o OUT.png|OUT.bmp [--size WIDTHxHEIGHT]\n"
        "      Draws the whole drawing (zoomed to its extents) into a picture.\n"
        "\n"
        "Exit status: 0 done, 1 the drawing or an operation failed, 2 wrong usage.\n");
}

bool isCommand(const QString& word)
{
    static const QStringList commands = {QStringLiteral("info"), QStringLiteral("export"), QStringLiteral("edit"),
                                         QStringLiteral("render"), QStringLiteral("--help"), QStringLiteral("-h")};
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
    if (cmd == QLatin1String("info")) return info(rest, out, err);
    if (cmd == QLatin1String("export")) return exportCommand(rest, out, err);
    if (cmd == QLatin1String("edit")) return edit(rest, err);
    auto it = extraCommands().find(cmd);
    if (it != extraCommands().end()) return it->second(rest, out, err);
    return usage(err, QStringLiteral("unknown command %1").arg(cmd));
}

}  // namespace app
