#pragma once
// Modal screens. The program shows every modal screen through showModal, so
// that a test can operate the screen (type into it, press its buttons) in
// place of a person, instead of waiting in the screen's event loop.

#include <QString>

#include <deque>
#include <functional>
#include <vector>

class QDialog;

namespace platform {

class ScreenRunner {
public:
    virtual ~ScreenRunner() = default;
    // Shows the screen modally until it is closed; returns its result
    // (QDialog::Accepted or QDialog::Rejected, or what done() was given).
    virtual int run(QDialog& screen) = 0;
};

// QDialog::exec.
class ExecScreenRunner : public ScreenRunner {
public:
    int run(QDialog& screen) override;
};

// Shows the screen without waiting and hands it to the next handler of the
// queue, which works it as a person would; a screen still open afterwards is
// rejected (as if closed). With the queue empty the screen is rejected at
// once and counted as unexpected. Records the object name of every screen.
class ScriptedScreenRunner : public ScreenRunner {
public:
    int run(QDialog& screen) override;
    std::deque<std::function<void(QDialog&)>> handlers;
    std::vector<QString> shown;
    int unexpected = 0;
};

ScreenRunner& screenRunner();
ScreenRunner* install(ScreenRunner* runner);

// Shows a screen modally through the installed runner.
int showModal(QDialog& screen);

}  // namespace platform
