#include "edit/UnsavedChanges.h"

namespace edit {

UnsavedChanges::UnsavedChanges(std::function<void(bool)> show) : show_(std::move(show)) {}

void UnsavedChanges::setDrawing(std::function<bool()> differs)
{
    differs_ = std::move(differs);
    editing_ = false;
    refresh();
}

void UnsavedChanges::editBegan()
{
    editing_ = true;
    refresh();
}

void UnsavedChanges::editEnded()
{
    if (!editing_) return;
    editing_ = false;
    refresh();
}

void UnsavedChanges::refresh()
{
    if (show_) show_(unsaved());
}

bool UnsavedChanges::unsaved() const { return editing_ || (differs_ && differs_()); }

}  // namespace edit
