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

enum ExitCode { ExitDone = 0, ExitFailed = 1, ExitUsage = 2 };

// True when the first argument names a command of the command line.
bool isCommand(const QString& word);

// Runs one command. `args` excludes the program name. Output goes to `out`,
// reasons for failure to `err`.
int runCommand(const QStringList& args, std::ostream& out, std::ostream& err);

// A command beyond the basic ones, added by the part of the program that
// provides it (for example rendering, which needs the GUI library).
using CommandHandler = std::function<int(const QStringList& args, std::ostream& out, std::ostream& err)>;
void registerCommand(const QString& name, CommandHandler handler);

QString usageText();

// What every command does the same way.
namespace cli {
// "tessilux: WHY" and a pointer to --help on `err`; the usage exit status.
int usage(std::ostream& err, const QString& why);
// "tessilux: WHY" on `err`; the failure exit status.
int failed(std::ostream& err, const QString& why);
// Opens a drawing, or says on `err` why it cannot be opened.
bool openDrawing(ddvue::DDVueEngine& engine, const QString& path, std::ostream& err);
// Writes bytes to the file named by -o (through the safe write routine), or
// to `out` when there is none.
int writeOut(const std::string& bytes, const QString& outPath, std::ostream& out, std::ostream& err);
// A name or message as bytes for the terminal: a file name that is not UTF-8
// comes out as the bytes it was given as.
std::string local(const QString& s);
// True when a file or folder of this name exists.
bool exists(const QString& path);
// Reads a whole file; false with the system's reason in `why`.
bool readFile(const QString& path, std::string& bytes, QString& why);
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
};
// Reads the export command's arguments, or says on `err` why they are not
// usable (and the command's exit status is then ExitUsage).
std::optional<ExportArguments> readExportArguments(const QStringList& args, std::ostream& err);

// How long a command that changes a drawing waits for another program that
// is changing the same drawing.
constexpr int kLockWaitMs = 120000;
// Locks a drawing from reading to saving, so that changes of one drawing by
// several runs take turns instead of undoing each other. A drawing that does
// not exist is not locked (opening it says why). False, after saying why on
// `err`, when the lock cannot be had.
bool lockDrawing(ddvue::FileLock& lock, const QString& drawing, std::ostream& err);
// Saves the engine's drawing over `drawing`, or to `outPath` when it is
// given, and says where on `err` when that is elsewhere (a DWG's DXF). A DXF
// named with -o is one the user means to write; the DXF beside a DWG is
// replaced only with `overwrite`. The exit status; the reason on `err`.
int saveDrawing(ddvue::DDVueEngine& engine, const QString& drawing, const QString& outPath, bool overwrite,
                std::ostream& err);

// The arguments after the program's name, as the system gave them: a file
// name that is not UTF-8 keeps its bytes (see ddvue/FileNames.h).
QStringList argumentsOf(int argc, char* argv[]);

// Reads a command's arguments in order: "--" ends the options, after which
// every argument is an operand; before it, an argument that begins with "-"
// is an option, unless it is none the command knows and a file of that name
// exists (so that a drawing named "-plan.dxf" needs no "--").
class Arguments {
public:
    explicit Arguments(const QStringList& args) : args_(args) {}
    // The next argument, or false at the end.
    bool next();
    const QString& current() const { return args_[i_]; }
    // True when the current argument is to be read as an option; `known`
    // says whether the command has an option of that name.
    bool isOption(bool known) const;
    // Takes the argument after the current option as its value.
    bool value(QString& target);

private:
    const QStringList& args_;
    qsizetype i_ = -1;
    bool optionsEnded_ = false;
};
}  // namespace cli

}  // namespace app
