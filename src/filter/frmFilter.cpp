#include "filter/frmFilter.h"

#include "filter/frmField.h"

#include "platform/Screens.h"
#include "platform/Settings.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace filter {

frmFilter::frmFilter(FilterHost& host, QWidget* parent) : QDialog(parent), host_(host)
{
    setObjectName(QStringLiteral("frmFilter"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    if (parent) setFont(parent->font());
    setWindowTitle(platform::programTitle() + QStringLiteral(" - Record Filter Screen"));

    txtFilter = new QLineEdit(this);
    txtFilter->setObjectName(QStringLiteral("txtFilter"));
    cmdFields = new QPushButton(QStringLiteral(".."), this);
    cmdFields->setObjectName(QStringLiteral("cmdFields"));
    cmdFields->setToolTip(QStringLiteral("Field list"));
    cmdFields->setFixedWidth(cmdFields->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdClear = new QPushButton(QStringLiteral("Clear &Filter"), this);
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    // The help text is printed on the screen's surface above the text box
    // (see paintEvent); the layout keeps its room free.
    QFontMetrics metrics(font());
    const QStringList lines = helpText().split(QStringLiteral("\r\n"));
    int textWidth = 0;
    for (const QString& line : lines) textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
    helpArea_ = QRect(0, 0, textWidth + 12, metrics.lineSpacing() * static_cast<int>(lines.size() + 1));

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(txtFilter, 1);
    filterRow->addWidget(cmdFields);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {cmdOK, cmdClear, cmdCancel}) {
        b->setMinimumWidth(90);
        buttons->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 0, 12, 12);
    layout->addSpacing(helpArea_.height());
    layout->addLayout(filterRow);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setFixedSize(QSize(std::max(helpArea_.width() + 12, 480), layout->sizeHint().height()));

    txtFilter->setText(host_.currentFilter());
    txtFilter->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdClear, &QPushButton::clicked, this, [this] { cmdClear_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdFields, &QPushButton::clicked, this, [this] { cmdFields_Click(); });
}

QString frmFilter::helpText() const { return filterHelpText(host_.category()); }

void frmFilter::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    const int step = fontMetrics().lineSpacing();
    int y = fontMetrics().ascent();
    for (const QString& line : helpText().split(QStringLiteral("\r\n"))) {
        p.drawText(0, y, line);
        y += step;
    }
}

void frmFilter::cmdOK_Click()
{
    FilterOutcome outcome = applyFilter(host_, txtFilter->text(), this);
    if (closesScreen(outcome)) {
        accept();
        return;
    }
    if (outcome == FilterOutcome::Invalid) txtFilter->setFocus();
}

void frmFilter::cmdClear_Click()
{
    if (!mayClearFilter(host_, this)) return;
    txtFilter->clear();
    cmdOK_Click();
}

void frmFilter::cmdFields_Click()
{
    frmField picker(txtFilter, host_.category(), this);
    platform::showModal(picker);
    update();
}

}  // namespace filter
