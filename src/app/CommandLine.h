#pragma once
// The program without a window: info, export, edit and render, for scripts
// and batch work. Every command goes through the drawing component's
// operations, as the windows do.

#include <QStringList>

#include <functional>
#include <iosfwd>
#include <map>

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

}  // namespace app
