#include "screens/frmAbout.h"

#include "screens/BuildInfo.h"

#include "platform/Settings.h"
#include "platform/Shell.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

namespace screens {

namespace {

const QColor kLinkColor(0, 0, 255);
const QColor kHoverColor(255, 0, 0);

QString describe()
{
    return QStringLiteral(
        "%1 lists what a CAD drawing holds in a grid: its block attributes, its single-line and multi-line "
        "text, and its layers. Values edited in the grid, replaced across many rows at once or changed in the "
        "zoom editor go straight back into the drawing, and a save writes them into the drawing's file without "
        "touching anything else in it.\r\n\r\n"
        "It reads and writes DXF drawings of every version from R12 to 2018, as text or binary, and reads DWG "
        "drawings, keeping their changes in a DXF beside them. Every character of the drawing's text stays as it "
        "was, whatever its language.\r\n\r\n"
        "The record filter narrows the grid to the rows you ask for, the color palette sets the color of layers "
        "and objects, and the drawing window shows the drawing large, to print, to copy or to save as a "
        "picture. The same work can be done without a window from the command line (%2 --help).\r\n\r\n"
        "Press F1 in the main window for the function keys; the Help File below walks through a first session.")
        .arg(platform::programTitle(), platform::programTitle().toLower());
}

// Web addresses are shown without their scheme.
QString shownAddress(const QString& address)
{
    QUrl url(address);
    QString shown = url.host() + url.path();
    if (shown.endsWith(QLatin1Char('/'))) shown.chop(1);
    return shown.isEmpty() ? address : shown;
}

}  // namespace

frmAbout::frmAbout(const QString& appFolder, QWidget* parent) : QDialog(parent), appFolder_(appFolder)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    if (parent) setFont(parent->font());
    setWindowTitle(QStringLiteral("About ") + platform::programTitle());
    setMouseTracking(true);

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont bold(QStringLiteral("Arial"));
    bold.setPointSizeF(font().pointSizeF() > 0 ? font().pointSizeF() : 9);
    bold.setBold(true);
    Text1->setFont(bold);
    QPalette grey = Text1->palette();
    grey.setColor(QPalette::Base, QColor(224, 224, 224));
    grey.setColor(QPalette::Text, Qt::black);
    Text1->setPalette(grey);
    Text1->setPlainText(aboutText());

    auto link = [this](const char* name, const QString& caption) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QLatin1String(name));
        label->setMouseTracking(true);
        label->setCursor(Qt::PointingHandCursor);
        QFont f = label->font();
        f.setUnderline(true);
        label->setFont(f);
        setLinkColor(label, kLinkColor);
        label->installEventFilter(this);
        return label;
    };
    Label1 = link("Label1", QStringLiteral("Email us"));
    Label2 = link("Label2", shownAddress(webSite()));
    Label3 = link("Label3", QStringLiteral("Download the latest version"));
    Label4 = link("Label4", QStringLiteral("Help File"));
    Label1->setToolTip(supportEmail());
    Label2->setToolTip(webSite());
    Label3->setToolTip(downloadPage());
    Label4->setToolTip(appFolder_ + QStringLiteral("korvane.pdf"));

    Command1 = new QPushButton(QStringLiteral("&OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);

    // The text above, the links in a column beside the OK button below.
    const int w = 480, margin = 12, textHeight = 264, linkHeight = Label1->sizeHint().height() + 4;
    Text1->setGeometry(margin, margin, w - 2 * margin, textHeight);
    int y = margin + textHeight + 10;
    for (QLabel* label : {Label1, Label2, Label3, Label4}) {
        label->setGeometry(margin, y, label->sizeHint().width() + 2, linkHeight);
        y += linkHeight;
    }
    QSize button = Command1->sizeHint().expandedTo(QSize(90, 0));
    Command1->setGeometry(w - margin - button.width(), y - button.height(), button.width(), button.height());
    setFixedSize(w, y + margin);
    Command1->setFocus();
}

QString frmAbout::titleLine() { return platform::programTitle() + QLatin1Char(' ') + programVersion(); }

QString frmAbout::aboutText() { return titleLine() + QStringLiteral("\r\n\r\n") + describe(); }

QString frmAbout::linkTarget(const QLabel* label) const
{
    if (label == Label1) return QStringLiteral("mailto:") + supportEmail();
    if (label == Label2) return webSite();
    if (label == Label3) return downloadPage();
    if (label == Label4) return appFolder_ + QStringLiteral("korvane.pdf");
    return QString();
}

void frmAbout::setLinkColor(QLabel* label, const QColor& color)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    auto* label = qobject_cast<QLabel*>(watched);
    if (label && (label == Label1 || label == Label2 || label == Label3 || label == Label4)) {
        if (event->type() == QEvent::MouseMove) {
            // Taken here: a label passes the move on to the screen, whose
            // own handler would turn every link blue again.
            setLinkColor(label, kHoverColor);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            label->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
            platform::shellOpenOrSay(linkTarget(label), this);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::mouseMoveEvent(QMouseEvent* event)
{
    for (QLabel* label : {Label1, Label2, Label3, Label4}) setLinkColor(label, kLinkColor);
    QDialog::mouseMoveEvent(event);
}

}  // namespace screens
