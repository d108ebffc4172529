#pragma once
// Puts a replacement in place of one of the platform's seams for the life
// of a scope, and the one before back afterwards:
//
//     platform::ScriptedMessageBoxes boxes;
//     platform::Installed guard(boxes);

#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "platform/Screens.h"
#include "platform/Settings.h"
#include "platform/Shell.h"

#include <type_traits>

namespace platform {

template <typename Seam>
class Installed {
public:
    explicit Installed(Seam& replacement) : before_(install(&replacement)) {}
    ~Installed() { install(before_); }
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;

private:
    Seam* before_;
};

template <typename T>
Installed(T&) -> Installed<std::conditional_t<std::is_base_of_v<MessageBoxes, T>, MessageBoxes,
                           std::conditional_t<std::is_base_of_v<FileDialogs, T>, FileDialogs,
                           std::conditional_t<std::is_base_of_v<ScreenRunner, T>, ScreenRunner,
                           std::conditional_t<std::is_base_of_v<SettingsStore, T>, SettingsStore, ShellOpener>>>>>;

}  // namespace platform
