#include "colors/frmColors.h"

#include "colors/ColorAll.h"
#include "platform/Messages.h"
#include "platform/WaitCursor.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace colors {

// ------------------------------------------------------------ the pictures

PalettePicture::PalettePicture(Palette palette, QWidget* parent)
    : QWidget(parent), palette_(palette), image_(paintPalette(palette))
{
    setFixedSize(image_.size());
}

void PalettePicture::setChosen(int number)
{
    if (number == chosen_) return;
    chosen_ = number;
    image_ = paintPalette(palette_, number);
    update();
}

QSize PalettePicture::sizeHint() const { return image_.size(); }

void PalettePicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

namespace {

int buttonOf(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

int shiftOf(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

}  // namespace

void PalettePicture::mousePressEvent(QMouseEvent* event)
{
    QPoint at = event->position().toPoint();
    emit MouseDown(buttonOf(event->button()), shiftOf(event->modifiers()), at.x() * TwipsPerPixel,
                   at.y() * TwipsPerPixel);
}

void PalettePicture::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The press of the double click chooses the cell first, as a single
    // press does.
    mousePressEvent(event);
    emit DblClick();
}

// ---------------------------------------------------------------- the form

frmColors::frmColors(ColorTarget target, QWidget* parent) : QDialog(parent), target_(std::move(target))
{
    setObjectName(QStringLiteral("frmColors"));
    setWindowTitle(QStringLiteral("Select from 255 colors"));
    setModal(true);

    PicFull = new PalettePicture(Palette::Full, this);
    PicFull->setObjectName(QStringLiteral("PicFull"));
    picGray = new PalettePicture(Palette::Gray, this);
    picGray->setObjectName(QStringLiteral("picGray"));
    picStandard = new PalettePicture(Palette::Standard, this);
    picStandard->setObjectName(QStringLiteral("picStandard"));
    Label1 = new QLabel(QStringLiteral("Color:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    lblColor = new QLabel(this);
    lblColor->setObjectName(QStringLiteral("lblColor"));
    lblColor->setMinimumWidth(40);
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PicFull, 0, Qt::AlignHCenter);
    auto* lower = new QHBoxLayout;
    lower->addWidget(picStandard);
    lower->addWidget(picGray);
    lower->addStretch();
    layout->addLayout(lower);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Label1);
    bottom->addWidget(lblColor);
    bottom->addStretch();
    bottom->addWidget(cmdOK);
    bottom->addWidget(cmdCancel);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(PicFull, &PalettePicture::MouseDown, this,
            [this](int b, int s, int x, int y) { PicFull_MouseDown(b, s, x, y); });
    connect(picGray, &PalettePicture::MouseDown, this,
            [this](int b, int s, int x, int y) { picGray_MouseDown(b, s, x, y); });
    connect(picStandard, &PalettePicture::MouseDown, this,
            [this](int b, int s, int x, int y) { picStandard_MouseDown(b, s, x, y); });
    for (PalettePicture* picture : {PicFull, picGray, picStandard})
        connect(picture, &PalettePicture::DblClick, this, [this] { cmdOK_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmColors::choose(Palette palette, int x, int y)
{
    int number = colorAt(palette, x, y);
    if (number == 0) return;  // between cells: the choice stays
    lblColor->setText(QString::number(number));
    for (PalettePicture* picture : {PicFull, picGray, picStandard})
        picture->setChosen(picture->palette() == palette ? number : 0);
}

void frmColors::PicFull_MouseDown(int, int, int x, int y) { choose(Palette::Full, x, y); }
void frmColors::picGray_MouseDown(int, int, int x, int y) { choose(Palette::Gray, x, y); }
void frmColors::picStandard_MouseDown(int, int, int x, int y) { choose(Palette::Standard, x, y); }

void frmColors::cmdOK_Click()
{
    if (lblColor->text().isEmpty()) {
        reject();
        return;
    }
    const long color = lblColor->text().toLong();
    const auto category = target_.category;
    using extract::Category;
    bool labelled = true;
    if (category == Category::Layers) {
        if (target_.setValue) target_.setValue(lblColor->text());
    } else if (category == Category::SingleText || category == Category::MultiText || category == Category::Attributes) {
        const bool text = category != Category::Attributes;
        const QString question = text ? QStringLiteral("Set all text objects to the selected color?")
                                      : QStringLiteral("Set all block attribute objects to the selected color?");
        const bool all = platform::msgBox(question, platform::MsgButtons::YesNo, platform::MsgIcon::Question,
                                          platform::programTitle(), 1, this) == platform::MsgResult::Yes;
        ColoringResult result;
        if (target_.recordset && target_.setEntityColor) {
            platform::WaitCursor wait;
            result = colorRows(*target_.recordset, text ? QStringLiteral("Handle") : QStringLiteral("AttributeHandle"),
                               color, all, target_.setEntityColor);
        }
        if (result.failed > 0) {
            // Said, not passed over: the drawing did not take the color.
            QString what = all ? QStringLiteral("%1 of %2 objects could not be given the color %3.")
                                     .arg(result.failed)
                                     .arg(result.failed + result.colored)
                                     .arg(color)
                               : QStringLiteral("The object could not be given the color %1.").arg(color);
            if (!result.firstError.isEmpty()) what += QStringLiteral("\n\n") + result.firstError;
            platform::msgBox(what, platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::programTitle(),
                             0, this);
        }
        // Nothing colored: nothing changed that could be saved.
        labelled = result.colored > 0;
    }
    if (labelled && target_.setColorLabel) target_.setColorLabel(QStringLiteral("Color: ") + lblColor->text());
    accept();
}

void frmColors::cmdCancel_Click() { reject(); }

}  // namespace colors
