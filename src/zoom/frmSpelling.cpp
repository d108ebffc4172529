#include "zoom/frmSpelling.h"

#include "platform/Messages.h"
#include "zoom/Named.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

namespace zoom {

frmSpelling::frmSpelling(SpellCheck& check, QWidget* parent) : QDialog(parent), check_(check)
{
    setObjectName(QStringLiteral("frmSpelling"));
    setWindowTitle(QStringLiteral("Spelling: %1").arg(check.language()));
    setModal(true);

    lblNotInDictionary = named(new QLabel(QStringLiteral("Not in dictionary:"), this), "lblNotInDictionary");
    txtContext = named(new QTextEdit(this), "txtContext");
    txtContext->setReadOnly(true);
    txtContext->setTabChangesFocus(true);
    txtContext->setMinimumHeight(70);
    lblChangeTo = named(new QLabel(QStringLiteral("Change &to:"), this), "lblChangeTo");
    txtChangeTo = named(new QLineEdit(this), "txtChangeTo");
    lblChangeTo->setBuddy(txtChangeTo);
    lblSuggestions = named(new QLabel(QStringLiteral("Suggestio&ns:"), this), "lblSuggestions");
    lstSuggestions = named(new QListWidget(this), "lstSuggestions");
    lblSuggestions->setBuddy(lstSuggestions);
    cmdIgnore = named(new QPushButton(QStringLiteral("&Ignore"), this), "cmdIgnore");
    cmdIgnoreAll = named(new QPushButton(QStringLiteral("I&gnore All"), this), "cmdIgnoreAll");
    cmdAdd = named(new QPushButton(QStringLiteral("&Add to Dictionary"), this), "cmdAdd");
    cmdChange = named(new QPushButton(QStringLiteral("&Change"), this), "cmdChange");
    cmdChangeAll = named(new QPushButton(QStringLiteral("Change A&ll"), this), "cmdChangeAll");
    cmdCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel");
    lblLanguage = named(new QLabel(QStringLiteral("Dictionary language: %1").arg(check.language()), this), "lblLanguage");
    cmdAdd->setToolTip(QStringLiteral("Adds the word to your personal word list"));
    cmdChange->setDefault(true);
    cmdChange->setAutoDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblNotInDictionary, 0, 0);
    grid->addWidget(txtContext, 1, 0, 3, 1);
    auto* top = new QVBoxLayout;
    top->addWidget(cmdIgnore);
    top->addWidget(cmdIgnoreAll);
    top->addWidget(cmdAdd);
    top->addStretch();
    grid->addLayout(top, 1, 1, 3, 1);
    grid->addWidget(lblChangeTo, 4, 0);
    grid->addWidget(txtChangeTo, 5, 0);
    grid->addWidget(lblSuggestions, 6, 0);
    grid->addWidget(lstSuggestions, 7, 0, 3, 1);
    auto* bottom = new QVBoxLayout;
    bottom->addWidget(cmdChange);
    bottom->addWidget(cmdChangeAll);
    bottom->addStretch();
    bottom->addWidget(cmdCancel);
    grid->addLayout(bottom, 5, 1, 5, 1);
    grid->addWidget(lblLanguage, 10, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    resize(520, 380);

    connect(cmdIgnore, &QPushButton::clicked, this, [this] { cmdIgnore_Click(); });
    connect(cmdIgnoreAll, &QPushButton::clicked, this, [this] { cmdIgnoreAll_Click(); });
    connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(cmdChange, &QPushButton::clicked, this, [this] { cmdChange_Click(); });
    connect(cmdChangeAll, &QPushButton::clicked, this, [this] { cmdChangeAll_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(lstSuggestions, &QListWidget::currentTextChanged, this, [this](const QString& text) {
        if (!text.isEmpty()) txtChangeTo->setText(text);
    });
    connect(lstSuggestions, &QListWidget::itemDoubleClicked, this, [this] { cmdChange_Click(); });

    showWord();
}

void frmSpelling::showWord()
{
    if (check_.atEnd()) {
        accept();
        return;
    }
    WordSpan at;
    QString line = check_.context(&at);
    QString html = QStringLiteral("<p style=\"white-space: pre-wrap\">%1<span style=\"color:#c00000; font-weight:bold; "
                                  "text-decoration: underline\">%2</span>%3</p>")
                       .arg(line.left(at.start).toHtmlEscaped(), line.mid(at.start, at.length).toHtmlEscaped(),
                            line.mid(at.start + at.length).toHtmlEscaped());
    txtContext->setHtml(html);
    QStringList suggestions = check_.suggestions();
    lstSuggestions->clear();
    if (suggestions.isEmpty()) {
        lstSuggestions->addItem(QStringLiteral("(no suggestions)"));
        lstSuggestions->setEnabled(false);
        txtChangeTo->setText(check_.word());
    } else {
        lstSuggestions->setEnabled(true);
        lstSuggestions->addItems(suggestions);
        lstSuggestions->setCurrentRow(0);
        txtChangeTo->setText(suggestions.first());
    }
    // Once something has changed, stopping keeps it: the button says so.
    if (check_.changed()) cmdCancel->setText(QStringLiteral("Close"));
    txtChangeTo->selectAll();
    txtChangeTo->setFocus();
}

void frmSpelling::cmdIgnore_Click()
{
    check_.ignore();
    showWord();
}

void frmSpelling::cmdIgnoreAll_Click()
{
    check_.ignoreAll();
    showWord();
}

void frmSpelling::cmdAdd_Click()
{
    QString error;
    if (!check_.add(&error))
        platform::msgBox(error + QStringLiteral("\n\nThe word is accepted until the spelling check ends."),
                         platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::programTitle(), 0, this);
    showWord();
}

void frmSpelling::cmdChange_Click()
{
    check_.change(txtChangeTo->text());
    showWord();
}

void frmSpelling::cmdChangeAll_Click()
{
    check_.changeAll(txtChangeTo->text());
    showWord();
}

}  // namespace zoom
