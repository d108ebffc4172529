#include "screens/frmOptions.h"

#include "platform/Settings.h"
#include "platform/Twips.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace screens {

namespace {

constexpr int kTwips = platform::kTwipsPerPixel;  // truncated: the form is laid out that way

template <typename W>
W* place(W* w, const char* name, int left, int top, int width, int height)
{
    w->setObjectName(QLatin1String(name));
    w->setGeometry(left / kTwips, top / kTwips, width / kTwips, height / kTwips);
    return w;
}

}  // namespace

frmOptions::frmOptions(std::function<void(const QString&)> setSearchPaths, QWidget* parent)
    : QDialog(parent), setSearchPaths_(std::move(setSearchPaths))
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    if (parent) setFont(parent->font());
    setWindowTitle(platform::programTitle() + QStringLiteral(" - Options Screen"));

    Label1 = place(new QLabel(QStringLiteral("AutoCAD supplemental file paths (seperate each path with a semi-colon)"),
                              this),
                   "Label1", 120, 120, 5430, 255);
    txtPaths = place(new QLineEdit(this), "txtPaths", 120, 420, 5430, 315);
    Label2 = place(new QLabel(QStringLiteral("Note: this is only required for European AutoCAD drawings"), this),
                   "Label2", 120, 840, 5430, 255);
    cmdOK = place(new QPushButton(QStringLiteral("&OK"), this), "cmdOK", 3000, 1320, 1215, 375);
    cmdCancel = place(new QPushButton(QStringLiteral("&Cancel"), this), "cmdCancel", 4335, 1320, 1215, 375);
    cmdOK->setDefault(true);

    // The design's inner size is 5670 by 1980 twips; wider where the font
    // needs it for the prompt.
    int width = 5670 / kTwips;
    int needed = Label1->x() + Label1->sizeHint().width() + 8;
    if (needed > width) {
        int grow = needed - width;
        width = needed;
        for (QWidget* w : std::initializer_list<QWidget*>{Label1, txtPaths, Label2})
            w->resize(w->width() + grow, w->height());
        for (QWidget* w : std::initializer_list<QWidget*>{cmdOK, cmdCancel}) w->move(w->x() + grow, w->y());
    }
    setFixedSize(width, 1980 / kTwips);
    setTabOrder(txtPaths, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    txtPaths->setText(platform::settings().value(QStringLiteral("Paths")));
    txtPaths->installEventFilter(this);
    txtPaths->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtPaths && event->type() == QEvent::FocusOut) txtPaths_LostFocus();
    return QDialog::eventFilter(watched, event);
}

void frmOptions::txtPaths_LostFocus()
{
    QString trimmed = txtPaths->text().trimmed();
    if (trimmed != txtPaths->text()) txtPaths->setText(trimmed);
}

void frmOptions::cmdOK_Click()
{
    // Enter does not take the focus from the box: the blanks go here too.
    txtPaths_LostFocus();
    const QString paths = txtPaths->text();
    platform::settings().setValue(QStringLiteral("Paths"), paths);
    if (setSearchPaths_) setSearchPaths_(paths);
    accept();
}

}  // namespace screens
