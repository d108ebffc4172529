// The main window's controls: their design positions, captions and tips,
// and the signals that tie them to the window's handlers.
#include "app/frmMain.h"

#include "app/FileBrowser.h"
#include "platform/Messages.h"
#include "platform/Printing.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>

namespace app {

namespace {

// Places a control at its design position (twips, in its container) and
// gives it its name.
template <typename W>
W* place(W* w, const char* name, int left, int top, int width, int height)
{
    w->setObjectName(QLatin1String(name));
    w->setGeometry(px(left), px(top), px(width), px(height));
    FormLayout::markControl(w);
    return w;
}

QToolButton* pictureButton(QWidget* parent, const QIcon& icon, const QString& tip)
{
    auto* b = new QToolButton(parent);
    b->setIcon(icon);
    b->setIconSize(QSize(16, 16));
    b->setToolTip(tip);
    b->setAutoRaise(false);
    return b;
}

// A 32-pixel icon that `draw` paints on a clear ground with smooth edges,
// its pen dark grey and its brush white to begin with.
template <typename Draw>
QIcon drawnIcon(Draw draw)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(Qt::white);
    draw(p);
    p.end();
    return QIcon(pm);
}

// A printer, drawn: the standard icon set has none.
QIcon printerIcon()
{
    return drawnIcon([](QPainter& p) {
        p.drawRect(9, 3, 14, 10);  // paper in
        p.setBrush(QColor(170, 170, 170));
        p.drawRoundedRect(3, 12, 26, 12, 3, 3);  // body
        p.setBrush(Qt::white);
        p.drawRect(9, 20, 14, 9);  // paper out
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.drawLine(12, 24, 20, 24);
        p.drawLine(12, 26, 18, 26);
    });
}

// A page under a magnifying glass: the print preview.
QIcon previewIcon()
{
    return drawnIcon([](QPainter& p) {
        p.drawRect(4, 2, 18, 24);  // the page
        p.setPen(QPen(QColor(60, 60, 60), 1));
        for (int y = 8; y <= 14; y += 3) p.drawLine(8, y, 18, y);
        p.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(22, 22, 29, 29);  // the handle
        p.setPen(QPen(QColor(40, 40, 40), 2));
        p.setBrush(QColor(200, 225, 250, 200));
        p.drawEllipse(QPointF(18, 18), 6, 6);  // the glass
    });
}

}  // namespace

void frmMain::buildControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(platform::programTitle());
    // A sans serif as narrow as the design's, so that captions fit their
    // controls as designed.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(8.25);
    setFont(font);
    resize(px(kDesignWidth), px(kDesignHeight));
    setAcceptDrops(true);

    placeBrowserControls();
    placeDrawingControls();
    placeGridControls();
    connectControls();
}

// The folder and file browser on the left.
void frmMain::placeBrowserControls()
{
    frmFile = place(new QGroupBox(QStringLiteral("Select Drawing File"), this), "frmFile", 120, 120, 4455, 5055);
    Drive1 = place(new DriveList(frmFile), "Drive1", 120, 360, 4215, 315);
    Drive1->setToolTip(QStringLiteral(" Select drive "));
    Dir1 = place(new FolderList(frmFile), "Dir1", 120, 720, 4215, 1440);
    Dir1->setToolTip(QStringLiteral(" Select directory "));
    Combo2 = place(new QComboBox(frmFile), "Combo2", 120, 2280, 2175, 315);
    Combo2->setEditable(true);
    Combo2->setInsertPolicy(QComboBox::NoInsert);
    Combo2->setEditText(QStringLiteral("*.dwg"));
    Combo2->setToolTip(QStringLiteral(" Specify or select file pattern "));
    Command3 = place(new QPushButton(QStringLiteral("All"), frmFile), "Command3", 2280, 2280, 375, 255);
    Command3->setToolTip(QStringLiteral(" Select all drawing files "));
    Label2 = place(new QLabel(frmFile), "Label2", 2880, 2280, 1215, 255);
    List3 = place(new QListWidget(frmFile), "List3", 120, 2640, 4215, 2010);
    Label1 = place(new QLabel(frmFile), "Label1", 120, 4680, 3495, 255);
    cmdPrint = place(pictureButton(frmFile, printerIcon(), QStringLiteral("Print Drawing")), "cmdPrint", 3960, 4640,
                     375, 375);
    cmdOpen = place(pictureButton(this, style()->standardIcon(QStyle::SP_DialogOpenButton), QStringLiteral("Open Drawing")),
                    "cmdOpen", 3720, 4760, 375, 375);
    cmdPrintPreview = place(pictureButton(this, previewIcon(), QStringLiteral("Print Preview")), "cmdPrintPreview",
                            3345, 4760, 375, 375);
}

// The category options, the view and its captions on the right.
void frmMain::placeDrawingControls()
{
    frmInfo = place(new QGroupBox(QStringLiteral("Drawing Information"), this), "frmInfo", 4680, 120, 4335, 975);
    optAttribute = place(new QRadioButton(QStringLiteral("&Block Attributes"), frmInfo), "optAttribute", 240, 240, 1575, 255);
    optMultipleText =
        place(new QRadioButton(QStringLiteral("M&ultiple Line Text"), frmInfo), "optMultipleText", 2280, 240, 1695, 255);
    optSingleText =
        place(new QRadioButton(QStringLiteral("S&ingle Line Text"), frmInfo), "optSingleText", 240, 600, 1455, 255);
    optLayer = place(new QRadioButton(QStringLiteral("&Layers"), frmInfo), "optLayer", 2280, 600, 975, 255);
    optExtRef = place(new QRadioButton(QStringLiteral("External References"), frmInfo), "optExtRef", 240, 600, 1695, 255);
    optImage = place(new QRadioButton(QStringLiteral("Images"), frmInfo), "optImage", 2280, 600, 975, 255);
    optExtRef->hide();
    optImage->hide();
    optAttribute->setChecked(true);

    DDVue1 = place(new ddvue::DDVue(this), "DDVue1", 4680, 1320, 4335, 3615);
    lblDrawing = place(new QLineEdit(this), "lblDrawing", 4680, 1120, 4335, 285);
    lblDrawing->setReadOnly(true);
    lblDrawing->setFocusPolicy(Qt::NoFocus);
    // The status line: messages on the left, where they stay until the
    // next action; the pointer's drawing position in a part of its own on
    // the right, so that moving the pointer never wipes a message out.
    lblStatus = place(new QLabel(this), "lblStatus", 4680, 4960, 2895, 255);
    lblPointer = place(new QLabel(this), "lblPointer", 7575, 4960, 1440, 255);
    lblPointer->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblPointer->setFrameShape(QFrame::StyledPanel);
}

// The grid, its navigator, and the find, replace and save controls below it.
void frmMain::placeGridControls()
{
    dtgDrawing = place(new data::DataGrid(this), "dtgDrawing", 120, 5280, 8895, 1935);
    Adodc1 = place(new data::RecordNavigator(this), "Adodc1", 6480, 7200, 2535, 330);

    cmdSave = place(pictureButton(this, style()->standardIcon(QStyle::SP_DialogSaveButton), QString()), "cmdSave", 120,
                    7320, 615, 615);
    cmdSave->setText(QStringLiteral("&Save"));
    cmdSave->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    lblWelcome = place(new QLabel(QStringLiteral("Welcome to Tessilux. Press the F1 key for help."), this), "lblWelcome",
                       120, 7320, 6255, 255);
    QFont bold = lblWelcome->font();
    bold.setBold(true);
    lblWelcome->setFont(bold);
    Label4 = place(new QLabel(QStringLiteral("Find &What"), this), "Label4", 960, 7320, 855, 255);
    txtFindWhat = place(new QLineEdit(this), "txtFindWhat", 1800, 7320, 1575, 285);
    Label3 = place(new QLabel(QStringLiteral("Re&place With"), this), "Label3", 3480, 7320, 1095, 255);
    txtReplaceWith = place(new QLineEdit(this), "txtReplaceWith", 4560, 7320, 1575, 285);
    // Alt and the underlined letter of a label go to its box.
    Label4->setBuddy(txtFindWhat);
    Label3->setBuddy(txtReplaceWith);
    Command1 = place(new QPushButton(QStringLiteral("Find &First"), this), "Command1", 960, 7680, 855, 255);
    cmdFind = place(new QPushButton(QStringLiteral("Find &Next"), this), "cmdFind", 1800, 7680, 975, 255);
    cmdReplace = place(new QPushButton(QStringLiteral("&Replace"), this), "cmdReplace", 2760, 7680, 855, 255);
    cmdReplaceAll = place(new QPushButton(QStringLiteral("Replace &All"), this), "cmdReplaceAll", 3600, 7680, 1095, 255);
    cmdDeleteAll = place(new QPushButton(QStringLiteral("&Delete All"), this), "cmdDeleteAll", 4680, 7680, 1095, 255);
    cmdRenameLayer = place(new QPushButton(QStringLiteral("R&ename..."), this), "cmdRenameLayer", 4680, 7680, 855, 255);
    cmdRenameLayer->setToolTip(QStringLiteral("Rename the current row's layer"));
    cmdMergeLayer = place(new QPushButton(QStringLiteral("&Merge..."), this), "cmdMergeLayer", 5520, 7680, 855, 255);
    cmdMergeLayer->setToolTip(QStringLiteral("Merge the current row's layer into another layer"));
    cmdSyncAttributes = place(new QPushButton(QStringLiteral("S&ync..."), this), "cmdSyncAttributes", 5760, 7680, 705, 255);
    cmdSyncAttributes->setToolTip(QStringLiteral("Synchronize the attributes of block references with their blocks"));
    chkMatchCase = place(new QCheckBox(QStringLiteral("Match &Case"), this), "chkMatchCase", 6480, 7560, 1215, 255);
    // Tall enough for the style's check box, just far enough up for that
    // box to end inside the window's lower edge, and wide enough for its
    // caption (up to the About button).
    chkWholeWord =
        place(new QCheckBox(QStringLiteral("Find Whole Word &Only"), this), "chkWholeWord", 6480, 7785, 2100, 225);
    cmdHelp = place(pictureButton(this, style()->standardIcon(QStyle::SP_MessageBoxInformation),
                                  QStringLiteral("About Screen")),
                    "cmdHelp", 8640, 7560, 375, 375);

    // Hidden until a drawing's content is shown, or while nothing is unsaved.
    for (QWidget* w : std::initializer_list<QWidget*>{cmdOpen, cmdPrint, cmdPrintPreview, cmdSave, Label4, txtFindWhat, Label3,
                                                      txtReplaceWith, Command1, cmdFind, cmdReplace, cmdReplaceAll,
                                                      cmdDeleteAll, cmdRenameLayer, cmdMergeLayer, cmdSyncAttributes,
                                                      chkMatchCase, chkWholeWord})
        w->hide();
}

void frmMain::connectControls()
{
    connect(Drive1, &DriveList::driveChanged, this, [this] { Drive1_Change(); });
    connect(Dir1, &FolderList::pathChanged, this, [this] { Dir1_Change(); });
    connect(Combo2->lineEdit(), &QLineEdit::textEdited, this, [this] { Combo2_Change(); });
    connect(Combo2, &QComboBox::activated, this, [this] { Combo2_Click(); });
    Combo2->installEventFilter(this);
    Combo2->lineEdit()->installEventFilter(this);
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(List3, &QListWidget::itemClicked, this, [this] { List3_Click(); });
    List3->installEventFilter(this);
    connect(cmdOpen, &QToolButton::clicked, this, [this] { cmdOpen_Click(); });
    connect(cmdPrint, &QToolButton::clicked, this, [this] { cmdPrint_Click(); });
    connect(cmdPrintPreview, &QToolButton::clicked, this, [this] { cmdPrintPreview_Click(); });
    connect(cmdHelp, &QToolButton::clicked, this, [this] { cmdHelp_Click(); });
    DDVue1->setPrintDialog([](QPrinter& printer, QWidget* owner) { return platform::printDialog(printer, owner); });
    connect(DDVue1, &ddvue::DDVue::PointerMoved, this, [this](int x, int y) { DDVue1_PointerMoved(x, y); });
    connect(DDVue1, &ddvue::DDVue::DrawingWindowRequest, this, [this] { DDVue1_DrawingWindowRequest(); });
    // The unsaved state follows the open drawing's history: told after
    // every edit, undo, redo and save.
    connect(DDVue1, &ddvue::DDVue::historyChanged, this, [this] { unsaved_->refresh(); });
    installFunctionKeys();
    for (QRadioButton* option : {optAttribute, optSingleText, optMultipleText, optLayer, optExtRef, optImage})
        connect(option, &QRadioButton::clicked, this, [this, option] { optionClicked(option); });

    connectGrid();

    reader_ = new ddvue::DrawingReader(this);
    connect(reader_, &ddvue::DrawingReader::finished, this, [this] { openingFinished(); });
    connect(reader_, &ddvue::DrawingReader::progress, this, [this](int percent) {
        if (openProgress_) openProgress_->report(QStringLiteral("Opening %1").arg(currentDrawingName_), percent * 6 / 10);
    });
    stopShortcut_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    stopShortcut_->setEnabled(false);
    connect(stopShortcut_, &QShortcut::activated, this, [this] { stopOpening(); });
    // A text box or a cell being edited takes Ctrl+Z and Ctrl+Y for its own
    // typing first; elsewhere in the window they undo and redo the drawing.
    undoShortcut_ = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
    connect(undoShortcut_, &QShortcut::activated, this, [this] { undoChange(); });
    redoShortcut_ = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), this);
    connect(redoShortcut_, &QShortcut::activated, this, [this] { redoChange(); });
    // Ctrl+S saves the drawing's changes, as the Save button does; with
    // nothing unsaved there is nothing to write.
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    connect(save, &QShortcut::activated, this, [this] {
        finishCellEdit();
        if (DrawingChanged()) cmdSave_Click();
    });
}

}  // namespace app
