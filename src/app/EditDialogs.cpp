#include "app/EditDialogs.h"

#include "platform/Messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace app {

namespace {

template <typename W>
W* named(W* w, const char* name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

// OK and Cancel at the foot of a dialog, on the right; Esc and the close
// box cancel as Cancel does.
QHBoxLayout* okCancel(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel)
{
    ok = named(new QPushButton(QStringLiteral("OK"), dialog), "cmdOK");
    ok->setDefault(true);
    cancel = named(new QPushButton(QStringLiteral("Cancel"), dialog), "cmdCancel");
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

void setUp(QDialog* dialog, const char* name, const QString& title)
{
    dialog->setObjectName(QLatin1String(name));
    dialog->setWindowTitle(title);
    dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

QString quoted(const QString& name) { return QLatin1Char('"') + name + QLatin1Char('"'); }

}  // namespace

frmRenameLayer::frmRenameLayer(const QString& layer, std::function<QString(const QString&)> refusal, QWidget* parent)
    : QDialog(parent), refusal_(std::move(refusal))
{
    setUp(this, "frmRenameLayer", QStringLiteral("Rename Layer"));
    Label1 = named(new QLabel(QStringLiteral("Rename layer %1 to:").arg(quoted(layer)), this), "Label1");
    Label1->setTextFormat(Qt::PlainText);
    txtName = named(new QLineEdit(layer, this), "txtName");
    txtName->selectAll();
    Label1->setBuddy(txtName);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(txtName);
    layout->addLayout(okCancel(this, cmdOK, cmdCancel));
    setMinimumWidth(320);

    connect(cmdOK, &QPushButton::clicked, this, [this] {
        const QString why = refusal_ ? refusal_(newName()) : QString();
        if (why.isEmpty()) {
            accept();
            return;
        }
        platform::msgBox(why, platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::programTitle(), 0,
                         this);
        // Back to the name, selected, to be corrected.
        activateWindow();
        txtName->setFocus();
        txtName->selectAll();
    });
}

QString frmRenameLayer::newName() const { return txtName->text(); }

frmMergeLayer::frmMergeLayer(const QString& layer, const QStringList& targets, qsizetype preferred, QWidget* parent)
    : QDialog(parent)
{
    setUp(this, "frmMergeLayer", QStringLiteral("Merge Layer"));
    Label1 = named(new QLabel(QStringLiteral("Merge layer %1 into:").arg(quoted(layer)), this), "Label1");
    Label1->setTextFormat(Qt::PlainText);
    cboLayer = named(new QComboBox(this), "cboLayer");
    cboLayer->addItems(targets);
    cboLayer->setCurrentIndex(static_cast<int>(preferred));
    Label1->setBuddy(cboLayer);
    Label2 = named(new QLabel(QStringLiteral("Everything on %1 moves to the layer chosen, and %1 is removed.")
                                  .arg(quoted(layer)),
                              this),
                   "Label2");
    Label2->setTextFormat(Qt::PlainText);
    Label2->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(cboLayer);
    layout->addWidget(Label2);
    layout->addLayout(okCancel(this, cmdOK, cmdCancel));
    setMinimumWidth(320);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

QString frmMergeLayer::target() const { return cboLayer->currentText(); }

frmSyncAttributes::frmSyncAttributes(const QString& block, QWidget* parent) : QDialog(parent), block_(block)
{
    setUp(this, "frmSyncAttributes", QStringLiteral("Synchronize Attributes"));
    auto* intro = new QLabel(QStringLiteral("Give block references the attributes their block defines and they lack, "
                                            "with the definitions' default values. Values already there are kept."),
                             this);
    intro->setWordWrap(true);
    optEveryBlock = named(new QRadioButton(QStringLiteral("&Every block"), this), "optEveryBlock");
    optOneBlock = named(new QRadioButton(block.isEmpty() ? QStringLiteral("&Only the block of the current row")
                                                         : QStringLiteral("&Only block %1").arg(quoted(block)),
                                         this),
                        "optOneBlock");
    optOneBlock->setEnabled(!block.isEmpty());
    (block.isEmpty() ? optEveryBlock : optOneBlock)->setChecked(true);
    chkRemoveOrphaned = named(new QCheckBox(QStringLiteral("&Remove attributes that the block no longer defines"), this),
                              "chkRemoveOrphaned");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(optEveryBlock);
    layout->addWidget(optOneBlock);
    layout->addWidget(chkRemoveOrphaned);
    layout->addLayout(okCancel(this, cmdOK, cmdCancel));
    setMinimumWidth(360);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

QString frmSyncAttributes::block() const { return optOneBlock->isChecked() ? block_ : QString(); }

bool frmSyncAttributes::removeOrphaned() const { return chkRemoveOrphaned->isChecked(); }

}  // namespace app
