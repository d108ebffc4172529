#pragma once
// The print dialog and the print preview, shown as every modal screen is
// (through showModal), so that a test can answer them.

#include <functional>

class QPrinter;
class QWidget;

namespace platform {

// Lets the person choose the printer and its settings for `printer`; true to
// print. Where no printer is installed it offers printing to a PDF file.
bool printDialog(QPrinter& printer, QWidget* parent);

// The print preview (screen "dlgPrintPreview"): the page as `paint` draws it
// on `printer`, fitted to the screen, with zoom, the page's orientation (kept
// in `printer`), a Print button and a Close button. True when the person
// pressed Print: the caller then prints with `printer`; false when the
// preview was closed.
bool printPreview(QPrinter& printer, QWidget* parent, const std::function<void(QPrinter*)>& paint);

}  // namespace platform
