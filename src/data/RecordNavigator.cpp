#include "data/RecordNavigator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

namespace data {

namespace {

QToolButton* button(QWidget* parent, const char* name, QStyle::StandardPixmap icon, const QString& tip)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolTip(tip);
    b->setAutoRaise(false);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

}  // namespace

RecordNavigator::RecordNavigator(QWidget* parent) : QWidget(parent), caption_(new QLabel(this))
{
    auto* first = button(this, "cmdFirst", QStyle::SP_MediaSkipBackward, tr("First record"));
    auto* previous = button(this, "cmdPrevious", QStyle::SP_MediaSeekBackward, tr("Previous record"));
    auto* next = button(this, "cmdNext", QStyle::SP_MediaSeekForward, tr("Next record"));
    auto* last = button(this, "cmdLast", QStyle::SP_MediaSkipForward, tr("Last record"));
    caption_->setObjectName(QStringLiteral("lblCaption"));
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setFrameShape(QFrame::StyledPanel);
    caption_->setMinimumWidth(60);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(first);
    layout->addWidget(previous);
    layout->addWidget(caption_, 1);
    layout->addWidget(next);
    layout->addWidget(last);

    connect(first, &QToolButton::clicked, this, &RecordNavigator::moveFirst);
    connect(previous, &QToolButton::clicked, this, &RecordNavigator::movePrevious);
    connect(next, &QToolButton::clicked, this, &RecordNavigator::moveNext);
    connect(last, &QToolButton::clicked, this, &RecordNavigator::moveLast);
}

void RecordNavigator::setRecordset(Recordset* recordset) { recordset_ = recordset; }

QString RecordNavigator::caption() const { return caption_->text(); }

void RecordNavigator::setCaption(const QString& caption) { caption_->setText(caption); }

template <typename Move>
void RecordNavigator::move(Move step)
{
    if (!recordset_ || !recordset_->isOpen()) return;
    try {
        step(*recordset_);
    } catch (const RecordsetError&) {
        // nothing to move to
    }
}

void RecordNavigator::moveFirst()
{
    move([](Recordset& rs) { rs.MoveFirst(); });
}

void RecordNavigator::movePrevious()
{
    move([](Recordset& rs) {
        rs.MovePrevious();
        if (rs.isBOF()) rs.MoveFirst();
    });
}

void RecordNavigator::moveNext()
{
    move([](Recordset& rs) {
        rs.MoveNext();
        if (rs.isEOF()) rs.MoveLast();
    });
}

void RecordNavigator::moveLast()
{
    move([](Recordset& rs) { rs.MoveLast(); });
}

}  // namespace data
