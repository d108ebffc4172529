#pragma once
// The program without a window: info, export, edit and render, for scripts
// and batch work. Every command goes through the drawing component's
// operations, as the windows do.

#include <QStringList>

#include <string>

#include <functional>
#include <iosfwd>
#include <map>
#include <optional>

namespace ddvue {
class DDVueEngine;
class FileLock;
}

namespace app {

// ExitPartly: the command did its work, but some of what it was given was
// not applied (import: rows rejected, not found or malformed and skipped).
enum ExitCode { ExitDone = 0, ExitFailed = 1, ExitUsage = 2, ExitPartly = 3 };

// True when the first argument names a command of the command line.
bool isCommand(const QString& word);

// Runs one command. `args` excludes the program name. Output goes to `out`,
// reasons for failure to `err`.
int runCommand(const QStringList& args, std::ostream& out, std::ostream& err);

// Tells the commands whether the process ends when the command run does: the
// program's own start says so, a test that runs commands in its process does
// not. A command that read a large drawing then leaves the drawing's memory
// to the system, which takes it back whole as the process ends, rather than
// freeing it piece by piece first.
void setProcessEndsWithCommand(bool ends);
bool processEndsWithCommand();

// A command beyond the basic ones, added by the part of the program that
// provides it (for example rendering, which needs the GUI library).
using CommandHandler = std::function<int(const QStringList& args, std::ostream& out, std::ostream& err)>;
void registerCommand(const QString& name, CommandHandler handler);

QString usageText();
// The usage of one command (its --help), or all of them for an unknown name.
QString commandHelp(const QString& command);

// What every command does the same way.
namespace cli {
// "tessilux: WHY" and a pointer to --help on `err`; the usage exit status.
int usage(std::ostream& err, const QString& why);
// "tessilux: WHY" on `err`; the failure exit status.
int failed(std::ostream& err, const QString& why);
// Opens a drawing, or says on `err` why it cannot be opened.
bool openDrawing(ddvue::DDVueEngine& engine, const QString& path, std::ostream& err);
// True when -o names standard output.
bool isStandardOutput(const QString& outPath);
// Writes bytes to the file named by -o (through the safe write routine), or
// to `out` when there is none or it is "-". An existing drawing is not
// replaced by what is not one (an export, a picture) unless `overwrite`.
int writeOut(const std::string& bytes, const QString& outPath, std::ostream& out, std::ostream& err,
             bool overwrite = false);
// A name or message as bytes for the terminal: a file name that is not UTF-8
// comes out as the bytes it was given as.
std::string local(const QString& s);
// A file name for a line of a table or a message: as it is, unless it holds
// a control character (a line break, a tab, an escape) or begins or ends
// with a space; then in double quotes, with \n, \t, \", \\ and \xHH for the
// characters that are not printed as themselves.
std::string shownName(const QString& name);
// True when a file or folder of this name exists.
bool exists(const QString& path);
// Why a file or folder of this name cannot be looked at ("No such file or
// directory", "File name too long"); empty when it can.
QString pathProblem(const QString& path);
// True when the file at `path` holds a drawing: a DXF or DWG by its first
// bytes, or a regular file named as one.
bool isDrawingFile(const QString& path);
// Reads a whole file; false with the system's reason in `why`. What is not
// a regular file (a named pipe, a device) is refused at once.
bool readFile(const QString& path, std::string& bytes, QString& why);
// Progress on standard error when it is a terminal: one line, written over.
class Progress {
public:
    explicit Progress(std::ostream& err);
    ~Progress();
    // "N/TOTAL TEXT" in place of the line before.
    void show(std::size_t done, std::size_t total, const QString& text);
    // Clears the line, before other output goes to the terminal.
    void clear();

private:
    std::ostream& err_;
    bool terminal_;
    bool shown_ = false;
};
// A whole number written as such (an optional sign and decimal digits),
// within [low, high]; anything else, or a number out of range, is refused
// rather than cut to fit.
bool parseNumber(const QString& text, long low, long high, long& number);

// The export command's arguments: the drawing, and the options every format
// reads (each format says which of them it takes).
struct ExportArguments {
    QString drawing;
    QString format = QStringLiteral("content");
    QString category;  // as given; empty when not given
    QString filter;
    bool filtered = false;  // --filter was given, even as ""
    QString outPath;
    bool overwrite = false;  // an existing drawing named by -o may be replaced
};
// Reads the export command's arguments; or nothing, with the command's exit
// status in `status`, after printing its help (--help) or saying on `err`
// why they are not usable.
std::optional<ExportArguments> readExportArguments(const QStringList& args, std::ostream& out, std::ostream& err,
                                                   int& status);

// How long a command that changes a drawing waits for another program that
// is changing the same drawing.
constexpr int kLockWaitMs = 120000;
// Locks a drawing from reading to saving, so that changes of one drawing by
// several runs take turns instead of undoing each other. A drawing that does
// not exist is not locked (opening it says why). False, after saying why on
// `err`, when the lock cannot be had.
bool lockDrawing(ddvue::FileLock& lock, const QString& drawing, std::ostream& err);
// How a command saves a drawing.
struct SaveRequest {
    QString outPath;             // -o: empty for over the drawing, "-" for standard output
    bool overwrite = false;      // --overwrite: replace a file other than the one read
    bool acceptDamage = false;   // --accept-damaged: save a drawing read from a damaged DWG
    const ddvue::FileLock* lock = nullptr;  // the lock held on the drawing since it was read
};
// Saves the engine's drawing over `drawing`, or to the request's -o, and
// says where on `saved` (and on `err` when that is elsewhere, a DWG's DXF).
// A file other than the one read (the DXF beside a DWG, a drawing named with
// -o) is replaced only with --overwrite, unless this run wrote it from this
// drawing. The exit status; the reason on `err`.
int saveDrawing(ddvue::DDVueEngine& engine, const QString& drawing, const SaveRequest& request, std::ostream& out,
                std::ostream& err, QString* saved = nullptr);

// The arguments after the program's name, as the system gave them: a file
// name that is not UTF-8 keeps its bytes (see ddvue/FileNames.h).
QStringList argumentsOf(int argc, char* argv[]);

// Reads a command's arguments in order: "--" ends the options, after which
// every argument is an operand; before it, an argument that begins with "-"
// is an option, unless it is none the command knows and a file of that name
// exists (so that a drawing named "-plan.dxf" needs no "--").
// "--name=value" is the option "--name" with its value; "--help" ends the
// reading, and finish() then prints the command's help.
class Arguments {
public:
    explicit Arguments(const QStringList& args) : args_(args) {}
    // The next argument; false at the end, at "--help", and after an option
    // that was given a value ("--dry-run=yes") it does not take.
    bool next();
    // The current argument; of an option given as "--name=value", its name.
    const QString& current() const { return current_; }
    // True when the current argument is to be read as an option; `known`
    // says whether the command has an option of that name. An operand is
    // the whole argument again.
    bool isOption(bool known);
    // Takes the current option's value: the one after "=", else the next argument.
    bool value(QString& target);
    // Takes the value after "=" of an option whose value may be left out
    // ("--sync-attributes=BLOCK"); false when none was given, and then the
    // next argument is not taken.
    bool attachedValue(QString& target);
    // After next() said false: ExitDone after printing the help of
    // `command` on `out` (--help), ExitUsage after saying on `err` what was
    // wrong; -1 when the arguments were read to their end.
    int finish(const QString& command, std::ostream& out, std::ostream& err) const;

private:
    const QStringList& args_;
    qsizetype i_ = -1;
    bool optionsEnded_ = false;
    QString current_;
    std::optional<QString> attached_;  // the value given after "="
    bool taken_ = false;               // value() took it
    bool help_ = false;
    QString error_;
};
}  // namespace cli

}  // namespace app
