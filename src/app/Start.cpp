// Tessilux as started. The commands that only read and change drawings run
// here, with QtCore alone: a script that reads a thousand drawings does not
// wait a thousand times for the window's libraries to load. For the window
// and every other command this process becomes the whole program, which the
// build and the installation put beside it (tessilux-gui), with the same
// arguments and the same process.

#include "app/CommandLine.h"
#include "app/ImportCommand.h"
#include "app/ReplaceCommand.h"
#include "ddvue/AtomicFile.h"

#include <QCoreApplication>

#include <cerrno>
#include <climits>
#include <cstring>
#include <iostream>
#include <string>

#include <unistd.h>

namespace {

// The commands run here: those of the command line that need neither
// painting nor the grid's documents.
bool runsHere(const QStringList& args)
{
    if (args.isEmpty()) return false;
    static const QStringList here = {QStringLiteral("info"),      QStringLiteral("edit"),   QStringLiteral("import"),
                                     QStringLiteral("replace"),   QStringLiteral("--version"), QStringLiteral("--help"),
                                     QStringLiteral("-h")};
    return here.contains(args.front());
}

// The whole program, in this program's own folder (a link on the path leads
// to that folder).
std::string wholeProgram(const char* argv0)
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(argv0);
    const std::size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1)) + "tessilux-gui";
}

}  // namespace

int main(int argc, char* argv[])
{
    const QStringList args = app::cli::argumentsOf(argc, argv);
    if (runsHere(args)) {
        // A file size limit fails a write instead of ending the program.
        ddvue::ignoreFileSizeSignal();
        app::registerImportCommand();
        app::registerReplaceCommand();
        // The commands read their own arguments; Qt is given none of them.
        int qtArgc = 1;
        char* qtArgv[] = {argv[0], nullptr};
        QCoreApplication application(qtArgc, qtArgv);
        app::setProcessEndsWithCommand(true);
        return app::runCommand(args, std::cout, std::cerr);
    }
    const std::string program = wholeProgram(argv[0]);
    ::execv(program.c_str(), argv);
    std::cerr << "tessilux: cannot start " << program << ": " << std::strerror(errno) << "\n";
    return app::ExitFailed;
}
