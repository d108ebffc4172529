#include "platform/Screens.h"

#include <QDialog>

namespace platform {

namespace {
ScreenRunner* installed = nullptr;
}

int ExecScreenRunner::run(QDialog& screen) { return screen.exec(); }

ScreenRunner& screenRunner()
{
    static ExecScreenRunner own;
    return installed ? *installed : own;
}

ScreenRunner* install(ScreenRunner* runner)
{
    ScreenRunner* before = installed;
    installed = runner;
    return before;
}

int showModal(QDialog& screen) { return screenRunner().run(screen); }

}  // namespace platform
