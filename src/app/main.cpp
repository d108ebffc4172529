// Tessilux: the command line when the first argument is a command, else the
// main window.

#include "app/CommandLine.h"
#include "app/RenderCommand.h"
#include "app/ExportCommands.h"

#include "app/frmMain.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include <iostream>

int main(int argc, char* argv[])
{
    app::registerRenderCommand();
    app::registerExportCommands();
    if (argc > 1 && app::isCommand(QString::fromLocal8Bit(argv[1]))) {
        // Rendering paints with the GUI library; without a display it works
        // on the offscreen platform.
        if (QString::fromLocal8Bit(argv[1]) == QLatin1String("render")) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
                qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            QGuiApplication application(argc, argv);
            return app::runCommand(QCoreApplication::arguments().mid(1), std::cout, std::cerr);
        }
        QCoreApplication application(argc, argv);
        QStringList args = QCoreApplication::arguments().mid(1);
        return app::runCommand(args, std::cout, std::cerr);
    }
    // The main window: at a folder, or with a drawing open.
    QApplication application(argc, argv);
    app::frmMain::Start start;
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() > 1) {
        std::cerr << app::usageText().toStdString();
        return app::ExitUsage;
    }
    if (args.size() == 1) {
        QFileInfo target(args[0]);
        if (target.isDir()) {
            start.folder = target.absoluteFilePath();
        } else if (target.isFile()) {
            start.drawing = target.absoluteFilePath();
        } else {
            std::cerr << "tessilux: " << args[0].toStdString() << ": no such file or folder\n";
            return app::ExitUsage;
        }
    }
    app::frmMain window(start);
    window.show();
    return application.exec();
}
