// Tessilux: the command line when the first argument is a command, else the
// main window.

#include "app/CommandLine.h"
#include "app/RenderCommand.h"
#include "app/ExportCommands.h"
#include "app/ImportCommand.h"
#include "app/ReplaceCommand.h"

#include "app/frmMain.h"
#include "ddvue/AtomicFile.h"
#include "ddvue/FileNames.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>

#include <iostream>
#include <sys/stat.h>

namespace {

// The arguments without Qt's own options (-platform NAME, -style=NAME,
// -reverse, ...; also with two dashes), which the window's library takes
// out for itself: what is left is what the window starts with.
QStringList withoutQtOptions(const QStringList& args)
{
    static const QStringList withValue = {
        QStringLiteral("platform"),   QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
        QStringLiteral("plugin"),     QStringLiteral("qwindowgeometry"),    QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"), QStringLiteral("session"),          QStringLiteral("style"),
        QStringLiteral("stylesheet"), QStringLiteral("display"),            QStringLiteral("geometry"),
        QStringLiteral("title"),      QStringLiteral("name"),               QStringLiteral("visual"),
        QStringLiteral("dialogs"),
    };
    static const QStringList alone = {QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("nograb"),
                                      QStringLiteral("dograb"), QStringLiteral("sync"), QStringLiteral("testability")};
    QStringList left;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--")) {
            left += args.mid(i);
            break;
        }
        QString name = a.startsWith(QLatin1String("--")) ? a.mid(2) : a.startsWith(QLatin1Char('-')) ? a.mid(1) : QString();
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (eq > 0 && withValue.contains(name.left(eq))) continue;
        if (withValue.contains(name)) {
            ++i;  // and its value
            continue;
        }
        if (alone.contains(name) || name.startsWith(QLatin1String("qmljsdebugger="))) continue;
        left << a;
    }
    return left;
}

// Reads what the window starts with: nothing, a folder or a drawing.
// -1 when that is all right, else the exit status after saying why.
int readStart(QStringList args, app::frmMain::Start& start)
{
    if (!args.isEmpty() && args.front() == QLatin1String("--")) args.removeFirst();
    if (args.isEmpty()) return -1;
    const QString& first = args.front();
    if (!app::cli::exists(first)) {
        // A name the system refuses to look up (too long, a folder on the
        // way that cannot be entered) gets the system's reason.
        if (QString problem = app::cli::pathProblem(first); problem != QLatin1String("no such file"))
            return app::cli::failed(std::cerr, QStringLiteral("%1: %2").arg(first, problem));
        if (first.startsWith(QLatin1Char('-')) && args.size() == 1)
            return app::cli::usage(std::cerr, QStringLiteral("unknown option %1").arg(first));
        if (args.size() > 1) return app::cli::usage(std::cerr, QStringLiteral("unknown command %1").arg(first));
        return app::cli::usage(std::cerr, QStringLiteral("%1: no such command, file or folder").arg(first));
    }
    if (args.size() > 1) return app::cli::usage(std::cerr, QStringLiteral("the window opens one folder or drawing"));
    struct stat st {};
    ::stat(ddvue::encodeFileName(first).c_str(), &st);
    QString absolute = first.startsWith(QLatin1Char('/')) ? first : QDir::current().absoluteFilePath(first);
    if (S_ISDIR(st.st_mode)) start.folder = QDir::cleanPath(absolute);
    else start.drawing = QDir::cleanPath(absolute);
    return -1;
}

// True when the window has somewhere to appear: a platform that needs no
// display (QT_QPA_PLATFORM=offscreen, ...), or a display to connect to.
// Qt itself would end the program when it finds none.
bool hasDisplay(const QStringList& args)
{
    for (const QString& a : args)
        if (a == QLatin1String("-platform") || a == QLatin1String("--platform") ||
            a.startsWith(QLatin1String("-platform=")) || a.startsWith(QLatin1String("--platform=")))
            return true;
    bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    QStringList platforms = qEnvironmentVariable("QT_QPA_PLATFORM").split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (platforms.isEmpty()) return x11 || wayland;
    for (QString p : platforms) {
        p = p.section(QLatin1Char(':'), 0, 0).trimmed();
        if (p == QLatin1String("xcb") ? x11 : p.startsWith(QLatin1String("wayland")) ? wayland : true) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    // A file size limit fails a write instead of ending the program.
    ddvue::ignoreFileSizeSignal();
    app::registerRenderCommand();
    app::registerExportCommands();
    app::registerImportCommand();
    app::registerReplaceCommand();
    QStringList args = app::cli::argumentsOf(argc, argv);
    if (!args.isEmpty() && app::isCommand(args.front())) {
        // The commands read their own arguments; Qt is given none of them.
        int qtArgc = 1;
        char* qtArgv[] = {argv[0], nullptr};
        // Rendering paints with the GUI library; without a display it works
        // on the offscreen platform.
        if (args.front() == QLatin1String("render")) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
                qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            QGuiApplication application(qtArgc, qtArgv);
            return app::runCommand(args, std::cout, std::cerr);
        }
        QCoreApplication application(qtArgc, qtArgv);
        app::setProcessEndsWithCommand(true);
        return app::runCommand(args, std::cout, std::cerr);
    }

    // The main window: at a folder, or with a drawing open. What it is to
    // open is checked before the window's library starts, so that a mistyped
    // command or option gets an answer (a usage error) even where no window
    // could appear.
    app::frmMain::Start start;
    if (int exit = readStart(withoutQtOptions(args), start); exit >= 0) return exit;
    if (!hasDisplay(args)) {
        std::cerr << "tessilux: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                     "the commands work without one, see 'tessilux --help'\n";
        return app::ExitFailed;
    }
    QApplication application(argc, argv);
    // The desktop entry an installation puts in the menu (desktop/), so that
    // the desktop shows the window under its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tessilux"));
    app::frmMain window(start);
    window.show();
    return application.exec();
}
