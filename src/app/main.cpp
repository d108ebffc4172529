// Tessilux: the command line when the first argument is a command, else the
// main window.

#include "app/CommandLine.h"
#include "app/ExportCommands.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char* argv[])
{
    app::registerExportCommands();
    if (argc > 1 && app::isCommand(QString::fromLocal8Bit(argv[1]))) {
        QCoreApplication application(argc, argv);
        QStringList args = QCoreApplication::arguments().mid(1);
        return app::runCommand(args, std::cout, std::cerr);
    }
    // The main window comes with the window issue; until then the program
    // shows what it knows of a drawing on the command line.
    std::cerr << app::usageText().toStdString();
    return app::ExitUsage;
}
