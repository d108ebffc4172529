#include "filter/frmField.h"

#include "filter/RecordFilter.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace filter {

QString frmField::captionFor(std::optional<extract::Category> category)
{
    using extract::Category;
    if (!category) return QStringLiteral("Fields List");
    switch (*category) {
    case Category::Attributes: return QStringLiteral("Block Attribute Field List");
    case Category::SingleText:
    case Category::MultiText: return QStringLiteral("Text Field List");
    case Category::Layers: return QStringLiteral("Layer Field List");
    default: return QStringLiteral("Fields List");
    }
}

frmField::frmField(QLineEdit* target, std::optional<extract::Category> category, QWidget* parent)
    : QDialog(parent), target_(target)
{
    setObjectName(QStringLiteral("frmField"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    if (parent) setFont(parent->font());
    setWindowTitle(captionFor(category));

    lblFields = new QLabel(QStringLiteral("Double-click on field to add to record filter text box"), this);
    lblFields->setObjectName(QStringLiteral("lblFields"));
    lblFields->setWordWrap(true);
    lstFields = new QListWidget(this);
    lstFields->setObjectName(QStringLiteral("lstFields"));
    lstFields->setSortingEnabled(false);
    lstFields->addItems(filterFields(category));
    txtValue = new QLineEdit(this);
    txtValue->setObjectName(QStringLiteral("txtValue"));

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        // Enter anywhere on the screen closes it, also on a focused button.
        b->setAutoDefault(false);
        return b;
    };
    cmdAdd = button("cmdAdd", QStringLiteral("Add"));
    cmdAdd->setToolTip(QStringLiteral("Add value to record filter text box"));
    cmdEquals = button("cmdEquals", QStringLiteral("="));
    cmdNotEquals = button("cmdNotEquals", QStringLiteral("<>"));
    cmdLike = button("cmdLike", QStringLiteral("LIKE"));
    cmdAnd = button("cmdAnd", QStringLiteral("AND"));
    cmdOr = button("cmdOr", QStringLiteral("OR"));
    cmdClose = button("cmdClose", QStringLiteral("&Close"));
    cmdClose->setDefault(true);

    // The list with its hint on the left; the value, the operators and
    // connectives and Close on the right.
    auto* right = new QGridLayout;
    right->addWidget(txtValue, 0, 0, 1, 2);
    right->addWidget(cmdAdd, 0, 2);
    right->addWidget(cmdEquals, 1, 0);
    right->addWidget(cmdNotEquals, 1, 1);
    right->addWidget(cmdLike, 1, 2);
    right->addWidget(cmdAnd, 2, 0);
    right->addWidget(cmdOr, 2, 1);
    right->setRowStretch(3, 1);
    right->addWidget(cmdClose, 4, 2);
    auto* left = new QVBoxLayout;
    left->addWidget(lblFields);
    left->addWidget(lstFields, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right);
    lblFields->setMinimumWidth(lblFields->fontMetrics().horizontalAdvance(QStringLiteral("Double-click on field to add")));
    resize(sizeHint().expandedTo(QSize(420, 240)));

    connect(lstFields, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (item) append(item->text());
    });
    connect(cmdAdd, &QPushButton::clicked, this,
            [this] { append(QLatin1Char('\'') + txtValue->text() + QLatin1Char('\'')); });
    connect(cmdEquals, &QPushButton::clicked, this, [this] { append(QStringLiteral(" = ")); });
    connect(cmdNotEquals, &QPushButton::clicked, this, [this] { append(QStringLiteral(" <> ")); });
    connect(cmdLike, &QPushButton::clicked, this, [this] { append(QStringLiteral(" LIKE ")); });
    connect(cmdAnd, &QPushButton::clicked, this, [this] { append(QStringLiteral(" AND ")); });
    connect(cmdOr, &QPushButton::clicked, this, [this] { append(QStringLiteral(" OR ")); });
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
}

void frmField::append(const QString& piece)
{
    if (target_) target_->setText(target_->text() + piece);
}

}  // namespace filter
