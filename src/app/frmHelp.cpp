#include "app/frmHelp.h"

#include "platform/Settings.h"

#include <QPainter>
#include <QPushButton>

namespace app {

QStringList frmHelp::keyTable()
{
    return {
        QString(),
        QStringLiteral("   Key   Function"),
        QString(),
        QStringLiteral("   F1     Invoke this screen"),
        QStringLiteral("   F2     Invoke the Zoom Screen when editing values"),
        QStringLiteral("   F3     Open the active AutoCAD drawing"),
        QStringLiteral("   F4     Print the active AutoCAD drawing"),
        QStringLiteral("   F5     Invoke the Zoom Screen for the active AutoCAD drawing"),
        QStringLiteral("   F6     Invoke the Record Filter Screen for the active recordset"),
        QStringLiteral("   F7     Invoke the Options Screen"),
        QStringLiteral("   F8     Invoke the About Screen"),
        QStringLiteral("   F9     Open the Tessilux Tutorial (PDF file)"),
    };
}

frmHelp::frmHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    if (parent) setFont(parent->font());
    setWindowTitle(platform::programTitle() + QStringLiteral(" - Help Screen"));

    // OK is the default button (Enter); Esc closes a dialog as well.
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    QFontMetrics metrics(font());
    int width = 0;
    const QStringList lines = keyTable();
    for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
    int textHeight = metrics.lineSpacing() * static_cast<int>(lines.size() + 1);
    QSize button = cmdOK->sizeHint().expandedTo(QSize(90, 0));
    width = std::max(width + 24, 320);
    cmdOK->setGeometry(width - button.width() - 12, textHeight, button.width(), button.height());
    setFixedSize(width, textHeight + button.height() + 12);
    cmdOK->setFocus();
}

void frmHelp::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    int y = fontMetrics().ascent();
    for (const QString& line : keyTable()) {
        p.drawText(0, y, line);
        y += fontMetrics().lineSpacing();
    }
}

}  // namespace app
