#include "drawing/DrawingPrint.h"

#include "ddvue/DDVue.h"
#include "platform/Messages.h"
#include "platform/Printing.h"

#include <QPrinter>

namespace drawing {

namespace {

bool told(bool printed, const QString& why, QWidget* owner)
{
    if (!printed && !why.isEmpty())
        platform::msgBox(QStringLiteral("The drawing could not be printed.\n\n%1").arg(why), platform::MsgButtons::Ok,
                         platform::MsgIcon::Exclamation, platform::programTitle(), 0, owner);
    return printed;
}

}  // namespace

bool printDrawing(ddvue::DDVue& view, bool showDialog, QWidget* owner)
{
    QString why;
    bool printed = view.PrintDrawing(showDialog, why);
    return told(printed, why, owner);
}

bool previewDrawing(ddvue::DDVue& view, QWidget* owner)
{
    QPrinter printer(QPrinter::HighResolution);
    view.setUpPrinter(printer);
    if (!platform::printPreview(printer, owner, [&view](QPrinter* page) { view.paintPage(*page); })) return false;
    QString why;
    bool printed = view.printTo(printer, true, why);
    return told(printed, why, owner);
}

}  // namespace drawing
