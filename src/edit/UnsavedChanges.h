#pragma once
// Whether the open drawing has unsaved changes, decided in one place. The
// drawing has them while it differs from its file (its edit history says
// so: an edit undone back to what was saved leaves none) and while a cell of
// the grid is being edited, since what is typed there is about to go into
// the drawing. An edit that ends without changing the drawing leaves the
// state as the history has it. The Save button and every save prompt read
// this, and nothing else shows or hides the button.

#include <functional>

namespace edit {

class UnsavedChanges {
public:
    // `show` is told the state each time it may have changed.
    explicit UnsavedChanges(std::function<void(bool unsaved)> show);

    // The drawing open now: `differs` says whether it differs from its file.
    // Empty when no drawing is open.
    void setDrawing(std::function<bool()> differs);
    // A cell edit begins, or ends (committed, or left with Esc).
    void editBegan();
    void editEnded();
    // The drawing was changed, undone, redone or saved.
    void refresh();

    bool unsaved() const;
    bool editing() const { return editing_; }

private:
    std::function<void(bool)> show_;
    std::function<bool()> differs_;
    bool editing_ = false;
};

}  // namespace edit
