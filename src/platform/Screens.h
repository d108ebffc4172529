#pragma once
// Modal screens. The program shows every modal screen through showModal, so
// that a test can operate the screen (type into it, press its buttons) in
// place of a person, instead of waiting in the screen's event loop.

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

ScreenRunner& screenRunner();
ScreenRunner* install(ScreenRunner* runner);

// Shows a screen modally through the installed runner.
int showModal(QDialog& screen);

}  // namespace platform
