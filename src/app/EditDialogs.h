#pragma once
// The small dialogs of the main window's layer and block edits: a layer's
// new name, the layer to merge one into, and which blocks' attributes to
// synchronize. They only ask; the window makes the edit (edit/StructureEdits.h).

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace app {

// "Rename layer X to:", with the name to edit. OK asks `refusal` about the
// name typed: a name refused is not taken; the reason is shown and the
// dialog stays open to correct it.
class frmRenameLayer : public QDialog {
    Q_OBJECT
public:
    frmRenameLayer(const QString& layer, std::function<QString(const QString& name)> refusal,
                   QWidget* parent = nullptr);

    // The name given, after OK.
    QString newName() const;

    QLabel* Label1;
    QLineEdit* txtName;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    std::function<QString(const QString&)> refusal_;
};

// "Merge layer X into:", with the layers it may be merged into, the one at
// `preferred` chosen to begin with.
class frmMergeLayer : public QDialog {
    Q_OBJECT
public:
    frmMergeLayer(const QString& layer, const QStringList& targets, qsizetype preferred, QWidget* parent = nullptr);

    // The layer chosen.
    QString target() const;

    QLabel* Label1;
    QComboBox* cboLayer;
    QLabel* Label2;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};

// Every block's references or one block's, and whether attributes whose
// definition is gone are removed. `block` is the current row's block; when
// empty, only every block can be chosen.
class frmSyncAttributes : public QDialog {
    Q_OBJECT
public:
    explicit frmSyncAttributes(const QString& block, QWidget* parent = nullptr);

    // The block chosen; empty for every block.
    QString block() const;
    bool removeOrphaned() const;

    QRadioButton* optEveryBlock;
    QRadioButton* optOneBlock;
    QCheckBox* chkRemoveOrphaned;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    QString block_;
};

}  // namespace app
