#include "platform/Printing.h"

#include "platform/Screens.h"

#include <QPrintDialog>

namespace platform {

bool printDialog(QPrinter& printer, QWidget* parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("dlgPrint"));
    return showModal(dialog) == QDialog::Accepted;
}

}  // namespace platform
