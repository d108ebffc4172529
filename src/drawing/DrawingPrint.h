#pragma once
// Printing a drawing from a window: the print and the print preview of a
// view's drawing, shared by the main window and the drawing window. A print
// that fails is told, with its reason; a cancelled one is not.

class QWidget;

namespace ddvue {
class DDVue;
}

namespace drawing {

// Prints the drawing of `view` fitted to the page: with `showDialog` through
// the print dialog, else to the default printer (through the dialog all the
// same where no printer is installed: it offers a PDF file). True when
// printed.
bool printDrawing(ddvue::DDVue& view, bool showDialog, QWidget* owner);

// Shows the print preview of the drawing of `view`; its Print button prints
// what the preview shows (in the orientation chosen there) through the
// print dialog. True when printed.
bool previewDrawing(ddvue::DDVue& view, QWidget* owner);

}  // namespace drawing
