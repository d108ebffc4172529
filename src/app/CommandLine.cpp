#include "app/CommandLine.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/ContentDocument.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/FileNames.h"
#include "ddvue/dwg/DwgImport.h"
#include "extract/VersionNames.h"

#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <ostream>
#include <fcntl.h>
#include <sys/ioctl.h>
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
    if (int status = a.finish(QStringLiteral("info"), out, err); status >= 0) return status;
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
        if (!engine.damage().isEmpty()) out << "Damaged: " << local(engine.damage()) << "\n";
    }
    for (const QString& repair : engine.repairs()) out << "Repaired on reading: " << local(repair) << "\n";
    return ExitDone;
}

int exportCommand(const QStringList& args, std::ostream& out, std::ostream& err)
{
    int status = ExitUsage;
    std::optional<cli::ExportArguments> o = cli::readExportArguments(args, out, err, status);
    if (!o) return status;
    const QString &drawing = o->drawing, &format = o->format, &outPath = o->outPath;
    if (format == QLatin1String("content")) {
        ddvue::DDVueEngine engine;
        engine.setReadOnly(true);
        if (!openDrawing(engine, drawing, err)) return ExitFailed;
        if (cli::isStandardOutput(outPath)) {
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
        return writeOut(engine.contentDocument(true, true, true, true), outPath, out, err, o->overwrite);
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

int edit(const QStringList& args, std::ostream& out, std::ostream& err)
{
    QString drawing;
    cli::SaveRequest save;
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
        bool known = a == QLatin1String("-o") || a == QLatin1String("--overwrite") ||
                     a == QLatin1String("--accept-damaged") || operations.contains(a) || a == sync ||
                     a == QLatin1String("--remove-orphaned-attributes");
        if (!reader.isOption(known)) {
            if (!drawing.isEmpty()) return usage(err, QStringLiteral("edit takes one drawing"));
            drawing = a;
        } else if (a == QLatin1String("-o")) {
            if (!reader.value(save.outPath) || save.outPath.isEmpty()) return usage(err, QStringLiteral("-o needs a file"));
        } else if (a == QLatin1String("--overwrite")) {
            save.overwrite = true;
        } else if (a == QLatin1String("--accept-damaged")) {
            save.acceptDamage = true;
        } else if (a == QLatin1String("--remove-orphaned-attributes")) {
            removeOrphaned = true;
        } else if (a == sync) {
            // Its value is only ever attached: the argument after it is the
            // drawing or another option.
            Op op{sync, {}, {}};
            if (reader.attachedValue(op.key) && op.key.isEmpty())
                return usage(err, QStringLiteral("%1= needs a block's name").arg(sync));
            if (ddvue::hasStrayBytes(op.key))
                return usage(err, QStringLiteral("%1=%2: the block's name is not valid UTF-8 text").arg(sync, op.key));
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
    if (int status = reader.finish(QStringLiteral("edit"), out, err); status >= 0) return status;
    if (drawing.isEmpty()) return usage(err, QStringLiteral("edit needs a drawing"));
    if (removeOrphaned && std::none_of(ops.begin(), ops.end(), [&](const Op& op) { return op.option == sync; }))
        return usage(err, QStringLiteral("--remove-orphaned-attributes goes with --sync-attributes"));

    ddvue::FileLock lock;
    if (!cli::lockDrawing(lock, drawing, err)) return ExitFailed;
    save.lock = &lock;
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
            QString why = engine.lastError();
            if (why.endsWith(QLatin1Char('.'))) why.chop(1);
            return failed(err, QStringLiteral("%1: %2; nothing was saved").arg(what, why));
        }
    }
    return cli::saveDrawing(engine, drawing, save, out, err);
}

}  // namespace

namespace cli {

QStringList argumentsOf(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i) args << ddvue::decodeFileName(argv[i]);
    return args;
}

std::optional<ExportArguments> readExportArguments(const QStringList& args, std::ostream& out, std::ostream& err,
                                                   int& status)
{
    ExportArguments o;
    static const QStringList options = {QStringLiteral("--category"), QStringLiteral("--format"),
                                        QStringLiteral("--filter"), QStringLiteral("-o"), QStringLiteral("--overwrite")};
    status = ExitUsage;
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
            if (!reader.value(o.outPath) || o.outPath.isEmpty()) return refuse(QStringLiteral("-o needs a file"));
        } else if (a == QLatin1String("--overwrite")) {
            o.overwrite = true;
        } else {
            return refuse(QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (int finished = reader.finish(QStringLiteral("export"), out, err); finished >= 0) {
        status = finished;
        return std::nullopt;
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

std::string shownName(const QString& name)
{
    const std::string bytes = local(name);
    bool plain = !bytes.empty() && bytes.front() != '"';
    for (unsigned char c : bytes) plain = plain && c >= 0x20 && c != 0x7F;
    if (plain) return bytes;
    std::string out = "\"";
    for (unsigned char c : bytes) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                static const char digits[] = "0123456789abcdef";
                out += "\\x";
                out += digits[c >> 4];
                out += digits[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

bool exists(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && ::stat(ddvue::encodeFileName(path).c_str(), &st) == 0;
}

QString pathProblem(const QString& path)
{
    struct stat st {};
    if (path.isEmpty()) return QStringLiteral("no such file");
    if (::stat(ddvue::encodeFileName(path).c_str(), &st) == 0) return {};
    // The system's own words but for the everyday case.
    if (errno == ENOENT) return QStringLiteral("no such file");
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool isDrawingFile(const QString& path)
{
    std::string why;
    int fd = ddvue::openForReading(ddvue::encodeFileName(path), why);
    if (fd < 0) return false;
    char buffer[512];
    ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    ::close(fd);
    const std::string head(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (ddvue::dwg::looksLikeDwg(head) || head.starts_with("AutoCAD Binary DXF")) return true;
    // An ASCII DXF begins with a section (group 0, SECTION) or a comment (999).
    static const QRegularExpression dxf(QStringLiteral("^\\s*(0\\s*\\r?\\nSECTION\\b|999\\s*\\r?\\n)"));
    if (dxf.match(QString::fromLatin1(head)).hasMatch()) return true;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > path.lastIndexOf(QLatin1Char('/')) && ddvue::isDrawingSuffix(path.mid(dot + 1));
}

bool readFile(const QString& path, std::string& bytes, QString& why)
{
    std::string reason;
    int fd = ddvue::openForReading(ddvue::encodeFileName(path), reason);
    if (fd < 0) {
        why = QString::fromLocal8Bit(reason);
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
    struct stat st {};
    // Only a drawing that can be opened is locked: opening says what is
    // wrong with any other.
    if (::stat(ddvue::encodeFileName(drawing).c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        lock.lock(ddvue::encodeFileName(drawing), kLockWaitMs, why))
        return true;
    failed(err, QStringLiteral("%1: %2; nothing was saved").arg(drawing, QString::fromLocal8Bit(why)));
    return false;
}

int saveDrawing(ddvue::DDVueEngine& engine, const QString& drawing, const SaveRequest& request, std::ostream& out,
                std::ostream& err, QString* saved)
{
    const bool damaged = !engine.damage().isEmpty() && !request.acceptDamage;
    const QString acceptHint = QStringLiteral(" Give --accept-damaged to save it all the same.");
    if (request.outPath == QLatin1String("-")) {
        // The drawing's bytes, as a save would write them.
        if (damaged)
            return failed(err, QStringLiteral("%1: %2 Nothing was written.").arg(drawing, engine.damageWarning()) + acceptHint);
        if (!engine.document()) return failed(err, QStringLiteral("no drawing is open"));
        if (saved) *saved = request.outPath;
        return writeOut(engine.document()->serialize(), request.outPath, out, err);
    }
    QString target = request.outPath.isEmpty() ? drawing : request.outPath;
    ddvue::SaveOptions options;
    options.replaceExisting = request.overwrite;
    options.acceptDamage = request.acceptDamage;
    options.heldLock = request.lock;
    options.lockWaitMs = kLockWaitMs;
    if (!engine.SaveDrawing(target, options)) {
        QString reason = engine.lastError() + QStringLiteral(" Nothing was saved.");
        switch (engine.saveProblem()) {
        case ddvue::SaveProblem::FileExists: reason += QStringLiteral(" Give --overwrite to replace it."); break;
        case ddvue::SaveProblem::Damaged: reason += acceptHint; break;
        case ddvue::SaveProblem::NeedsOtherName: reason += QStringLiteral(" Give -o OUT.dxf to save it under another name."); break;
        default: break;
        }
        return failed(err, reason);
    }
    if (target != (request.outPath.isEmpty() ? drawing : request.outPath)) err << "tessilux: saved as " << local(target) << "\n";
    if (saved) *saved = target;
    return ExitDone;
}

Progress::Progress(std::ostream& err) : err_(err), terminal_(&err == &std::cerr && ::isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() { clear(); }

void Progress::show(std::size_t done, std::size_t total, const QString& text)
{
    if (!terminal_) return;
    std::string line = "tessilux: " + std::to_string(done) + "/" + std::to_string(total) + " " + shownName(text);
    // One line of the terminal: what is wider is cut, so that nothing wraps.
    winsize size{};
    std::size_t width = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
    QString shown = QString::fromStdString(line);
    if (static_cast<std::size_t>(shown.size()) > width) shown = shown.left(static_cast<qsizetype>(width));
    err_ << "\r\033[K" << shown.toStdString() << std::flush;
    shown_ = true;
}

void Progress::clear()
{
    if (!shown_) return;
    err_ << "\r\033[K" << std::flush;
    shown_ = false;
}

bool Arguments::next()
{
    if (attached_ && !taken_) {
        error_ = QStringLiteral("%1 takes no value").arg(current_);
        return false;
    }
    attached_.reset();
    taken_ = false;
    ++i_;
    if (!optionsEnded_ && i_ < args_.size() && args_[i_] == QLatin1String("--")) {
        optionsEnded_ = true;
        ++i_;
    }
    if (i_ >= args_.size()) return false;
    current_ = args_[i_];
    if (!optionsEnded_ && current_.startsWith(QLatin1String("--"))) {
        if (current_ == QLatin1String("--help")) {
            help_ = true;
            return false;
        }
        const qsizetype eq = current_.indexOf(QLatin1Char('='));
        if (eq > 2) {
            attached_ = current_.mid(eq + 1);
            current_.truncate(eq);
        }
    }
    return true;
}

bool Arguments::isOption(bool known)
{
    const QString& a = args_[i_];
    bool option = !optionsEnded_ && a.startsWith(QLatin1Char('-')) && a != QLatin1String("-") && (known || !exists(a));
    if (!option) {
        // An operand is the argument as given, "=" and all.
        current_ = a;
        attached_.reset();
    }
    return option;
}

bool Arguments::attachedValue(QString& target)
{
    if (!attached_) return false;
    target = *attached_;
    taken_ = true;
    return true;
}

bool Arguments::value(QString& target)
{
    if (attached_) {
        target = *attached_;
        taken_ = true;
        return true;
    }
    if (i_ + 1 >= args_.size()) return false;
    target = args_[++i_];
    return true;
}

int Arguments::finish(const QString& command, std::ostream& out, std::ostream& err) const
{
    if (help_) {
        out << local(commandHelp(command));
        return ExitDone;
    }
    if (!error_.isEmpty()) return usage(err, error_);
    return -1;
}

bool openDrawing(ddvue::DDVueEngine& engine, const QString& path, std::ostream& err)
{
    QString p = path;
    if (QString problem = pathProblem(p); !problem.isEmpty()) {
        err << "tessilux: " << local(p) << ": " << local(problem) << "\n";
        return false;
    }
    engine.setMapFiles(true);  // the command ends soon: no need to copy the file
    if (!engine.OpenDrawing(p)) {
        err << "tessilux: " << local(p) << ": " << local(engine.lastError()) << "\n";
        return false;
    }
    return true;
}

bool isStandardOutput(const QString& outPath) { return outPath.isEmpty() || outPath == QLatin1String("-"); }

int writeOut(const std::string& bytes, const QString& outPath, std::ostream& out, std::ostream& err, bool overwrite)
{
    if (isStandardOutput(outPath)) {
        errno = 0;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (out) return ExitDone;
        int why = errno;
        return failed(err, QStringLiteral("cannot write to standard output: %1")
                               .arg(QString::fromLocal8Bit(why ? std::strerror(why) : "the output was closed")));
    }
    if (!overwrite && isDrawingFile(outPath))
        return failed(err, QStringLiteral("%1 is a drawing; give --overwrite to replace it, nothing was written").arg(outPath));
    ddvue::WriteOutcome written = ddvue::writeFile(ddvue::encodeFileName(outPath), bytes);
    if (!written.ok())
        return failed(err, QStringLiteral("cannot write %1: %2").arg(outPath, QString::fromLocal8Bit(written.error)));
    return ExitDone;
}

}  // namespace cli

namespace {

// Each command's usage, in the order --help lists them.
const std::vector<std::pair<QString, QString>>& commandUsages()
{
    static const std::vector<std::pair<QString, QString>> usages = {
        {QString(),
         QStringLiteral("  tessilux [FOLDER | DRAWING]\n"
                        "      Start the program: at FOLDER, or with DRAWING open. Without an argument, at the\n"
                        "      folder of the settings, or at the bundled samples on the first run.\n")},
        {QStringLiteral("info"),
         QStringLiteral("  tessilux info DRAWING\n"
                        "      Version name and code, and the number of layers, block attributes, single-line\n"
                        "      texts, multi-line texts and external references, one \"name: value\" a line;\n"
                        "      then what was repaired on reading a damaged file, if anything, and for a\n"
                        "      damaged DWG why (\"Damaged: a checksum does not match\").\n")},
        {QStringLiteral("export"),
         QStringLiteral("  tessilux export DRAWING [--category attributes|single-text|multi-text|layers|xrefs]\n"
                        "                          [--format content|flat|csv] [--filter EXPR] [-o OUT]\n"
                        "                          [--overwrite]\n"
                        "      content  the content document, all categories (no --category needed)\n"
                        "      flat     the flat document of the category\n"
                        "      csv      the grid's view of the category, rows as the filter leaves them; a\n"
                        "               value that begins with = + - @ (and is no number) or an apostrophe\n"
                        "               gets an apostrophe in front, so that no spreadsheet runs it\n"
                        "      Standard output unless -o is given (-o - is standard output too). A drawing\n"
                        "      named by -o is replaced only with --overwrite.\n")},
        {QStringLiteral("edit"),
         QStringLiteral("  tessilux edit DRAWING [-o OUT] [--overwrite] [--accept-damaged] OPERATION...\n"
                        "      --set-attribute HANDLE=VALUE   --set-text HANDLE=VALUE\n"
                        "      --entity-color HANDLE=N        --delete HANDLE\n"
                        "      --layer-display NAME=On|Off    --layer-color NAME=N\n"
                        "      --rename-layer OLD=NEW         --merge-layer FROM=INTO\n"
                        "      --sync-attributes[=BLOCK]      [--remove-orphaned-attributes]\n"
                        "      Applies the operations in the order given and saves, over DRAWING or to OUT\n"
                        "      (-o - writes the drawing to standard output). The first \"=\" separates key\n"
                        "      and value. With no operation it opens and saves. A DXF is saved as a DXF,\n"
                        "      whatever its name; a DWG as the DXF of the same name. A file other than\n"
                        "      DRAWING (that DXF, or OUT) is replaced only with --overwrite, unless this run\n"
                        "      wrote it. A drawing changed by another program since it was read is not\n"
                        "      overwritten. A DWG with a checksum that does not match is saved only with\n"
                        "      --accept-damaged. A value's characters are kept; a control character other\n"
                        "      than a tab or a line break is refused.\n"
                        "      --rename-layer renames a layer and every reference to it (entities in every\n"
                        "      block, the current layer, layer states and filters); it refuses, with the\n"
                        "      reason, a name that the drawing's version does not allow or another layer\n"
                        "      has, and layers 0 and Defpoints. --merge-layer moves everything on FROM to\n"
                        "      INTO and removes FROM. --sync-attributes gives the references of every block\n"
                        "      (or of BLOCK) the attributes that their block defines and they lack, with the\n"
                        "      definition's default value and place; with --remove-orphaned-attributes also\n"
                        "      removes those the block no longer defines. Values already there are kept.\n")},
        {QStringLiteral("render"),
         QStringLiteral("  tessilux render DRAWING -o OUT.png|OUT.bmp [--size WIDTHxHEIGHT] [--overwrite]\n"
                        "      Draws the whole drawing (zoomed to its extents) into a picture; -o - (or a\n"
                        "      pipe, or a device) gets a PNG. A drawing named by -o is replaced only with\n"
                        "      --overwrite.\n")},
        {QStringLiteral("import"),
         QStringLiteral("  tessilux import DRAWING FILE.csv [--category attributes|single-text|multi-text|layers]\n"
                        "                  [-o OUT] [--dry-run] [--skip-malformed] [--overwrite]\n"
                        "                  [--accept-damaged]\n"
                        "      Applies a CSV in the form that export writes (as a spreadsheet saves it again:\n"
                        "      any column order, extra columns, a byte-order mark, \",\" \";\" or tab) by its\n"
                        "      key column, with the grid's checks; the category is told by the columns when\n"
                        "      not given. Prints each row that changed, was not found or was rejected and\n"
                        "      why, then the counts, then where the drawing was saved; saves (as edit does)\n"
                        "      when a row changed. A malformed row stops it all, unless --skip-malformed. A\n"
                        "      field that export wrote with an apostrophe in front (one that begins with\n"
                        "      = + - @ or an apostrophe) loses it again. Exit status 3 when rows were\n"
                        "      rejected, not found or skipped as malformed (the other rows were applied).\n")},
        {QStringLiteral("replace"),
         QStringLiteral("  tessilux replace PATH... --find TEXT --replace TEXT\n"
                        "                   [--category attributes|single-text|multi-text|layers] [--match-case]\n"
                        "                   [--whole-word] [--dry-run] [--jobs N] [--overwrite]\n"
                        "                   [--accept-damaged] [--all-values]\n"
                        "      The grid's Replace All in every drawing named and in every DXF and DWG in the\n"
                        "      folders named and their subfolders, N drawings at a time (as many as the\n"
                        "      machine has processors). An empty --find makes every value the replacement,\n"
                        "      and needs --all-values. Saves only the drawings that change (as edit does).\n"
                        "      One line per drawing, then the total (a name with a control character in\n"
                        "      double quotes, with \\n, \\t, \\\", \\\\ and \\xHH); how far it has come on\n"
                        "      standard error when that is a terminal. A drawing that cannot be read or\n"
                        "      saved is reported and skipped, and makes the exit status 1.\n")},
        {QStringLiteral("--version"), QStringLiteral("  tessilux --version\n"
                                                     "      The program's version.\n")},
    };
    return usages;
}

const QString& usageFooter()
{
    static const QString footer = QStringLiteral(
        "Every command has --help. \"--\" ends the options of every command, --option=value is\n"
        "--option value, and -o - is standard output.\n"
        "Exit status: 0 done, 1 the drawing or an operation failed (nothing saved), 2 wrong\n"
        "usage, 3 import applied some rows but rejected, did not find or skipped others.\n");
    return footer;
}

}  // namespace

QString usageText()
{
    QString text = QStringLiteral("Usage:\n");
    for (const auto& [command, usage] : commandUsages()) text += usage + QLatin1Char('\n');
    return text + usageFooter();
}

QString commandHelp(const QString& command)
{
    for (const auto& [name, usage] : commandUsages())
        if (!name.isEmpty() && name == command) return QStringLiteral("Usage:\n") + usage + QLatin1Char('\n') + usageFooter();
    return usageText();
}

bool isCommand(const QString& word)
{
    static const QStringList commands = {QStringLiteral("info"), QStringLiteral("export"), QStringLiteral("edit"),
                                         QStringLiteral("render"), QStringLiteral("--help"), QStringLiteral("-h"),
                                         QStringLiteral("--version")};
    return commands.contains(word) || extraCommands().count(word) > 0;
}

void registerCommand(const QString& name, CommandHandler handler) { extraCommands()[name] = std::move(handler); }

namespace {
bool endsWithCommand = false;
}

void setProcessEndsWithCommand(bool ends) { endsWithCommand = ends; }

bool processEndsWithCommand() { return endsWithCommand; }

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
    if (cmd == QLatin1String("edit")) return edit(rest, out, err);
    auto it = extraCommands().find(cmd);
    if (it != extraCommands().end()) return it->second(rest, out, err);
    return usage(err, QStringLiteral("unknown command %1").arg(cmd));
}

}  // namespace app
