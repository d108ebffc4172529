#pragma once
// The program without a window: info, export, edit and render, for scripts
// and batch work. Every command goes through the drawing component's
// operations, as the windows do.

#include <QStringList>

#include <string>

#include <functional>
#include <iosfwd>
#include <map>

namespace ddvue {
class DDVueEngine;
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
