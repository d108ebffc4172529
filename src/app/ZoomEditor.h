#pragma once
// F2 on the main window's grid: the zoom editor on the cell F2 was pressed
// on, modally, writing back through the grid's own write-back.

namespace edit {
struct GridCell;
}

namespace app {

class frmMain;

void showZoomEditor(frmMain& window, const edit::GridCell& cell);

}  // namespace app
