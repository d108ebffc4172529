#include "platform/Screens.h"

#include <QDialog>

namespace platform {

namespace {
ScreenRunner* installed = nullptr;
}

int ExecScreenRunner::run(QDialog& screen) { return screen.exec(); }

int ScriptedScreenRunner::run(QDialog& screen)
{
    shown.push_back(screen.objectName());
    screen.setResult(QDialog::Rejected);
    screen.show();
    if (handlers.empty()) {
        ++unexpected;
    } else {
        auto handler = std::move(handlers.front());
        handlers.pop_front();
        handler(screen);
    }
    if (screen.isVisible()) screen.reject();
    return screen.result();
}

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
