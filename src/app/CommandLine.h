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
// Writes bytes to the file named by -o, or to `out` when there is none.
int writeOut(const std::string& bytes, const QString& outPath, std::ostream& out, std::ostream& err);
}  // namespace cli

}  // namespace app
