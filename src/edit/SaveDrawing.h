#pragma once
// Saving the open drawing, as the Save button and the save-changes prompt
// do. A save that would replace what the person may not mean to replace
// asks first: the DXF beside a DWG that this program did not write (replace
// it, or save under another name), a drawing that another program changed on
// disk since it was read; so does a save of a drawing read from a damaged
// DWG, naming what may be wrong with it. A DWG whose DXF name is its own is
// saved only under another name. A save that cannot be done (a
// write-protected drawing, a read-only folder, a full disk) says why, and
// that the changes are kept unsaved.

#include <QString>

class QWidget;

namespace ddvue {
class DDVue;
}

namespace edit {

struct SaveResult {
    bool saved = false;
    // Where the drawing went: its own file, the DXF beside a DWG, or another
    // name the person chose.
    QString path;
};

// Saves the drawing open in `drawing` to `path`. Unsaved (`saved` false)
// when the person declined at one of the questions or the save failed; then
// the person has been told, and the drawing keeps its changes.
SaveResult saveDrawing(ddvue::DDVue& drawing, const QString& path, QWidget* parent);

}  // namespace edit
