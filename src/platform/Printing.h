#pragma once
// The print dialog, shown as every modal screen is (through showModal), so
// that a test can answer it.

class QPrinter;
class QWidget;

namespace platform {

// Lets the person choose the printer and its settings for `printer`; true to
// print.
bool printDialog(QPrinter& printer, QWidget* parent);

}  // namespace platform
