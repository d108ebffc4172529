#include "zoom/frmZoom.h"

#include "colors/frmColors.h"
#include "edit/CellText.h"
#include "platform/Messages.h"
#include "platform/Screens.h"
#include "platform/Spelling.h"
#include "platform/WaitCursor.h"
#include "zoom/Named.h"
#include "zoom/SpellCheck.h"
#include "zoom/frmSpelling.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

namespace zoom {

namespace {

// The text without the spaces at its ends (only spaces: a tab or a line
// break is text).
QString trimSpaces(const QString& text)
{
    qsizetype from = 0, to = text.size();
    while (from < to && text.at(from) == QLatin1Char(' ')) ++from;
    while (to > from && text.at(to - 1) == QLatin1Char(' ')) --to;
    return text.mid(from, to - from);
}

// A palette, drawn: four colored squares.
QIcon paletteIcon()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QColor colors[] = {QColor(0xFF0000), QColor(0xFFFF00), QColor(0x00FF00), QColor(0x0000FF)};
    for (int i = 0; i < 4; ++i) {
        p.fillRect(3 + (i % 2) * 14, 3 + (i / 2) * 14, 12, 12, colors[i]);
        p.setPen(QColor(60, 60, 60));
        p.drawRect(3 + (i % 2) * 14, 3 + (i / 2) * 14, 12, 12);
    }
    return QIcon(pm);
}

// A spelling check, drawn: "abc" over a tick.
QIcon spellingIcon()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(13);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(40, 40, 40));
    p.drawText(QRect(0, 0, 32, 16), Qt::AlignCenter, QStringLiteral("abc"));
    p.setPen(QPen(QColor(0, 140, 0), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygon({QPoint(8, 22), QPoint(14, 28), QPoint(26, 16)}));
    return QIcon(pm);
}

}  // namespace

frmZoom::frmZoom(ZoomHost host, QWidget* parent)
    : QDialog(parent), host_(std::move(host)), value_(ZoomView::Other, ValueLines::Single, QString())
{
    buildControls();
    Form_Load();
}

void frmZoom::buildControls()
{
    setObjectName(QStringLiteral("frmZoom"));
    setModal(true);

    txtValue = named(new QPlainTextEdit(this), "txtValue");
    txtValue->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtValue->setTabChangesFocus(true);
    txtValue->setToolTip(QStringLiteral("Enter writes the value; Ctrl+Enter starts a new line"));
    txtValue->installEventFilter(this);
    txtValue->setMinimumSize(440, 200);

    cmdOK = named(new QPushButton(QStringLiteral("&OK"), this), "cmdOK");
    cmdOK->setDefault(true);
    cmdCancel = named(new QPushButton(QStringLiteral("&Cancel"), this), "cmdCancel");
    Command2 = named(new QPushButton(QStringLiteral("&Proper Case"), this), "Command2");
    Command3 = named(new QPushButton(QStringLiteral("&Upper Case"), this), "Command3");
    Command4 = named(new QPushButton(QStringLiteral("&Lower Case"), this), "Command4");
    Command5 = named(new QPushButton(QStringLiteral("&Undo All Changes"), this), "Command5");
    cmdColor = named(new QToolButton(this), "cmdColor");
    cmdColor->setIcon(paletteIcon());
    cmdColor->setIconSize(QSize(24, 24));
    cmdColor->setToolTip(QStringLiteral("Color Palette"));
    cmdColor->hide();
    cmdSpellCheck = named(new QToolButton(this), "cmdSpellCheck");
    cmdSpellCheck->setIcon(spellingIcon());
    cmdSpellCheck->setIconSize(QSize(24, 24));
    cmdSpellCheck->setToolTip(QStringLiteral("Spell Check"));
    cmdSpellCheck->hide();
    lblColor = named(new QLabel(this), "lblColor");

    Label1 = named(new QLabel(QStringLiteral("Find What"), this), "Label1");
    txtFindWhat = named(new QLineEdit(this), "txtFindWhat");
    Label2 = named(new QLabel(QStringLiteral("Replace With"), this), "Label2");
    txtReplaceWith = named(new QLineEdit(this), "txtReplaceWith");
    chkMatchCase = named(new QCheckBox(QStringLiteral("Match Case"), this), "chkMatchCase");
    chkWholeWord = named(new QCheckBox(QStringLiteral("Find Whole Word Only"), this), "chkWholeWord");
    Command1 = named(new QPushButton(QStringLiteral("Find &First"), this), "Command1");
    cmdFind = named(new QPushButton(QStringLiteral("Find &Next"), this), "cmdFind");
    cmdReplace = named(new QPushButton(QStringLiteral("&Replace"), this), "cmdReplace");
    cmdReplaceAll = named(new QPushButton(QStringLiteral("Replace &All"), this), "cmdReplaceAll");
    // Enter presses the button that has the focus (it shows as the default
    // button meanwhile); with the focus elsewhere, Enter is OK.
    for (QPushButton* b : {cmdOK, cmdCancel, Command2, Command3, Command4, Command5, Command1, cmdFind, cmdReplace,
                           cmdReplaceAll})
        b->setAutoDefault(true);
    lblMsg = named(new QLabel(this), "lblMsg");
    QPalette red = lblMsg->palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    lblMsg->setPalette(red);

    // The value with the buttons beside it, the find and replace panel below.
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {cmdOK, cmdCancel}) buttons->addWidget(b);
    buttons->addSpacing(12);
    for (QPushButton* b : {Command2, Command3, Command4, Command5}) buttons->addWidget(b);
    buttons->addSpacing(12);
    auto* pictures = new QHBoxLayout;
    pictures->addWidget(cmdColor);
    pictures->addWidget(cmdSpellCheck);
    pictures->addStretch();
    buttons->addLayout(pictures);
    buttons->addWidget(lblColor);
    buttons->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(txtValue, 1);
    top->addLayout(buttons);

    auto* panel = new QGridLayout;
    panel->addWidget(Label1, 0, 0);
    panel->addWidget(txtFindWhat, 0, 1);
    panel->addWidget(Label2, 0, 2);
    panel->addWidget(txtReplaceWith, 0, 3);
    auto* searchButtons = new QHBoxLayout;
    for (QPushButton* b : {Command1, cmdFind, cmdReplace, cmdReplaceAll}) searchButtons->addWidget(b);
    searchButtons->addStretch();
    panel->addLayout(searchButtons, 1, 0, 1, 4);
    auto* checks = new QHBoxLayout;
    checks->addWidget(chkMatchCase);
    checks->addWidget(chkWholeWord);
    checks->addStretch();
    panel->addLayout(checks, 2, 0, 1, 4);
    panel->addWidget(lblMsg, 3, 0, 1, 4);
    panel->setColumnStretch(1, 1);
    panel->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(panel);
    resize(640, 420);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(cmdFind, &QPushButton::clicked, this, [this] { cmdFind_Click(); });
    connect(cmdReplace, &QPushButton::clicked, this, [this] { cmdReplace_Click(); });
    connect(cmdReplaceAll, &QPushButton::clicked, this, [this] { cmdReplaceAll_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(cmdColor, &QToolButton::clicked, this, [this] { cmdColor_Click(); });
    connect(cmdSpellCheck, &QToolButton::clicked, this, [this] { cmdSpellCheck_Click(); });
}

void frmZoom::Form_Load()
{
    data::Recordset* rs = host_.recordset;
    const extract::Category category = host_.cell.category;
    zoomColumn_ = static_cast<short>(host_.cell.column);
    setWindowTitle(QStringLiteral("Field: %1   Record: %2").arg(host_.cell.field).arg(host_.cell.position));

    // Multi-line text shows its paragraphs as lines.
    ZoomView view = zoomView(category, zoomColumn_);
    ValueLines lines = ValueLines::Single;
    if ((view == ZoomView::Attribute || view == ZoomView::Text) && rs && host_.viewer) {
        try {
            QString handle = rs->value(view == ZoomView::Attribute ? QStringLiteral("AttributeHandle")
                                                                   : QStringLiteral("Handle"));
            if (host_.viewer->engine().isMultilineText(handle)) lines = ValueLines::Paragraphs;
        } catch (const data::RecordsetError&) {
        }
    }
    value_ = ZoomValue(view, lines, host_.cell.text);
    txtValue->setPlainText(value_.initial());
    // Filling the box counts as a change, unless there was nothing to fill.
    valueChanged_ = !value_.initial().isEmpty();
    connect(txtValue, &QPlainTextEdit::textChanged, this, [this] { valueChanged_ = true; });

    if (windowTitle().left(14) != QLatin1String("Field: Display")) cmdColor->show();
    if (category != extract::Category::Layers) cmdSpellCheck->show();
    txtValue->setFocus();
}

bool frmZoom::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtValue && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) {
                txtValue->insertPlainText(QStringLiteral("\n"));
            } else {
                cmdOK->click();
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmZoom::keyPressEvent(QKeyEvent* event)
{
    // A picture button with the focus is pressed by Enter as the others are
    // (push buttons take Enter themselves).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QToolButton*>(focusWidget()); button && button->isVisible()) {
            button->click();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------------- OK

void frmZoom::cmdOK_Click()
{
    OkDecision d = value_.ok(txtValue->toPlainText(), valueChanged_);
    if (d.action == OkDecision::Action::Rejected) {
        platform::msgBox(d.warning, platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::programTitle(),
                         0, this);
        // The cell keeps its value and the drawing counts as unchanged.
    } else if (d.writes()) {
        if (d.action == OkDecision::Action::CellOnly) {
            // A view whose values do not go into the drawing: the cell alone.
            if (host_.recordset) {
                try {
                    host_.recordset->setValue(host_.cell.field, d.value);
                } catch (const data::RecordsetError&) {
                }
            }
        } else if (host_.writeCell) {
            // Through the grid's own write-back, which tells the person when
            // the drawing refuses the value and keeps the cell as it was.
            host_.writeCell(host_.cell, d.value);
        }
    }
    accept();
}

void frmZoom::cmdCancel_Click() { reject(); }

// ---------------------------------------------------------- case and undo

void frmZoom::setValueText(const QString& text)
{
    QTextCursor cursor = txtValue->textCursor();
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    cursor.endEditBlock();
    // A replacement with the same text still counts as setting it.
    valueChanged_ = true;
}

void frmZoom::Command2_Click() { setValueText(edit::properCase(txtValue->toPlainText())); }
void frmZoom::Command3_Click() { setValueText(txtValue->toPlainText().toUpper()); }
void frmZoom::Command4_Click() { setValueText(txtValue->toPlainText().toLower()); }
void frmZoom::Command5_Click() { setValueText(value_.initial()); }

// --------------------------------------------------------- find and replace

SearchOptions frmZoom::options() const { return {chkMatchCase->isChecked(), chkWholeWord->isChecked()}; }

EditorText frmZoom::editorText() const
{
    QTextCursor cursor = txtValue->textCursor();
    EditorText t;
    t.value = txtValue->toPlainText();
    t.selectionStart = cursor.selectionStart();
    t.selectionLength = cursor.selectionEnd() - cursor.selectionStart();
    return t;
}

void frmZoom::apply(const SearchOutcome& outcome, const EditorText& text)
{
    if (outcome.textChanged) setValueText(text.value);
    if (outcome.textChanged || outcome.selectionChanged) {
        QTextCursor cursor = txtValue->textCursor();
        cursor.setPosition(text.selectionStart);
        cursor.setPosition(text.selectionStart + text.selectionLength, QTextCursor::KeepAnchor);
        txtValue->setTextCursor(cursor);
    }
    if (!outcome.label.isNull()) lblMsg->setText(outcome.label);
    if (outcome.box != SearchOutcome::Box::None)
        platform::msgBox(boxText(outcome.box), platform::MsgButtons::Ok, platform::MsgIcon::Information,
                         platform::programTitle(), 0, this);
    switch (outcome.focus) {
    case SearchOutcome::Focus::FindWhat: txtFindWhat->setFocus(); break;
    case SearchOutcome::Focus::ReplaceWith: txtReplaceWith->setFocus(); break;
    case SearchOutcome::Focus::Value: txtValue->setFocus(); break;
    case SearchOutcome::Focus::None: break;
    }
}

void frmZoom::Command1_Click()
{
    EditorText t = editorText();
    SearchOutcome out;
    {
        platform::WaitCursor wait;
        out = search_.findFirst(t, txtFindWhat->text(), options());
    }
    apply(out, t);
}

void frmZoom::cmdFind_Click()
{
    EditorText t = editorText();
    SearchOutcome out;
    {
        platform::WaitCursor wait;
        out = search_.findNext(t, txtFindWhat->text(), options());
    }
    apply(out, t);
}

void frmZoom::cmdReplace_Click()
{
    EditorText t = editorText();
    SearchOutcome out = search_.replace(t, txtFindWhat->text(), txtReplaceWith->text(), options());
    apply(out, t);
}

void frmZoom::cmdReplaceAll_Click()
{
    EditorText t = editorText();
    SearchOutcome out;
    {
        platform::WaitCursor wait;
        out = search_.replaceAll(t, txtFindWhat->text(), txtReplaceWith->text(), options());
    }
    apply(out, t);
}

// ------------------------------------------------------------------- color

void frmZoom::setColorLabel(const QString& caption)
{
    lblColor->setText(caption);
    colorChosen_ = true;
}

void frmZoom::cmdColor_Click()
{
    if (trimSpaces(txtValue->toPlainText()).isEmpty()) {
        platform::msgBox(QStringLiteral("No text to set color for."), platform::MsgButtons::Ok,
                         platform::MsgIcon::Information, platform::programTitle(), 0, this);
        return;
    }
    colors::ColorTarget target;
    target.category = host_.cell.category;
    target.recordset = host_.recordset;
    if (ddvue::DDVue* viewer = host_.viewer) {
        target.setEntityColor = [viewer](const QString& handle, long color, QString* why) {
            if (viewer->edit().SetEntityColor(handle, color)) return true;
            if (why) *why = viewer->engine().lastError();
            return false;
        };
    }
    target.setValue = [this](const QString& text) { setValueText(text); };
    target.setColorLabel = [this](const QString& caption) { setColorLabel(caption); };
    {
        // A color given to every listed text is undone and redone as one.
        std::optional<ddvue::DDVueEngine::Batch> batch;
        if (host_.viewer) batch.emplace(host_.viewer->edit(), "Color");
        colors::frmColors picker(std::move(target), this);
        platform::showModal(picker);
    }
    // In the layers view the chosen color is the value: OK writes it (as it
    // does, unchanged, when the drawing has unsaved changes already).
    if (host_.cell.category == extract::Category::Layers &&
        (colorChosen_ || (host_.drawingChanged && host_.drawingChanged())))
        cmdOK_Click();
}

// ---------------------------------------------------------------- spelling

int frmZoom::SpellCheckText(QPlainTextEdit* box, QString* why)
{
    QString error;
    std::unique_ptr<platform::Speller> speller = platform::spelling().open(wordListWriter(), &error);
    if (!speller) {
        if (why) *why = error;
        return -1;
    }
    SpellCheck check(box->toPlainText(), *speller);
    bool finished = true;
    if (check.next()) {
        frmSpelling dialog(check, this);
        finished = platform::showModal(dialog) == QDialog::Accepted;
    }
    if (check.changed()) {
        if (box == txtValue) {
            setValueText(check.text());
        } else {
            box->setPlainText(check.text());
        }
    }
    if (finished)
        platform::msgBox(QStringLiteral("The spelling check is complete."), platform::MsgButtons::Ok,
                         platform::MsgIcon::Information, platform::programTitle(), 0, this);
    return 1;
}

void frmZoom::cmdSpellCheck_Click()
{
    if (trimSpaces(txtValue->toPlainText()).isEmpty()) {
        platform::msgBox(QStringLiteral("No text to spell check."), platform::MsgButtons::Ok,
                         platform::MsgIcon::Information, platform::programTitle(), 0, this);
        return;
    }
    QString why;
    if (SpellCheckText(txtValue, &why) == -1) {
        QString text = QStringLiteral("Unable to spell check. Spell checking requires Hunspell with the "
                                      "hunspell-en-us dictionary.");
        if (!why.isEmpty()) text += QStringLiteral("\n\n") + why;
        platform::msgBox(text, platform::MsgButtons::Ok, platform::MsgIcon::Information, platform::programTitle(), 0,
                         this);
    }
}

}  // namespace zoom
