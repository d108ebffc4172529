#include "app/ZoomEditor.h"

#include "app/frmMain.h"
#include "platform/Screens.h"
#include "zoom/frmZoom.h"

#include <QToolButton>

namespace app {

void showZoomEditor(frmMain& window, const edit::GridCell& cell)
{
    zoom::ZoomHost host;
    host.cell = cell;
    host.recordset = window.recordset();
    host.viewer = window.DDVue1;
    host.drawingChanged = [&window] { return window.DrawingChanged(); };
    host.writeCell = [&window](const edit::GridCell& c, const QString& value) {
        return window.gridEditor().writeCell(c, value);
    };
    zoom::frmZoom editor(std::move(host), &window);
    platform::showModal(editor);
    // The grid goes on where it was.
    window.dtgDrawing->setFocus();
}

}  // namespace app
