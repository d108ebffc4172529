#include "platform/Printing.h"

#include "platform/Screens.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace platform {

bool printDialog(QPrinter& printer, QWidget* parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("dlgPrint"));
    return showModal(dialog) == QDialog::Accepted;
}

bool printPreview(QPrinter& printer, QWidget* parent, const std::function<void(QPrinter*)>& paint)
{
    QDialog screen(parent);
    screen.setObjectName(QStringLiteral("dlgPrintPreview"));
    screen.setWindowTitle(QStringLiteral("Print Preview"));
    screen.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint);

    auto* preview = new QPrintPreviewWidget(&printer, &screen);
    preview->setObjectName(QStringLiteral("preview"));
    QObject::connect(preview, &QPrintPreviewWidget::paintRequested, &screen, [&paint](QPrinter* p) { paint(p); });

    auto button = [&screen](const char* name, const QString& caption, const QString& tip = QString()) {
        auto* b = new QPushButton(caption, &screen);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* fit = button("cmdFitPage", QStringLiteral("&Whole Page"));
    QPushButton* fitWidth = button("cmdFitWidth", QStringLiteral("Page &Width"));
    QPushButton* zoomIn = button("cmdZoomIn", QStringLiteral("Zoom &In"), QStringLiteral("Ctrl++"));
    QPushButton* zoomOut = button("cmdZoomOut", QStringLiteral("Zoom &Out"), QStringLiteral("Ctrl+-"));
    QPushButton* portrait = button("cmdPortrait", QStringLiteral("Po&rtrait"));
    QPushButton* landscape = button("cmdLandscape", QStringLiteral("&Landscape"));
    QPushButton* print = button("cmdPrint", QStringLiteral("&Print..."));
    QPushButton* close = button("cmdClose", QStringLiteral("&Close"));
    print->setDefault(true);
    zoomIn->setShortcut(QKeySequence::ZoomIn);
    zoomOut->setShortcut(QKeySequence::ZoomOut);
    for (QPushButton* b : {portrait, landscape}) b->setCheckable(true);
    (printer.pageLayout().orientation() == QPageLayout::Landscape ? landscape : portrait)->setChecked(true);

    QObject::connect(fit, &QPushButton::clicked, preview, &QPrintPreviewWidget::fitInView);
    QObject::connect(fitWidth, &QPushButton::clicked, preview, &QPrintPreviewWidget::fitToWidth);
    QObject::connect(zoomIn, &QPushButton::clicked, preview, [preview] { preview->zoomIn(); });
    QObject::connect(zoomOut, &QPushButton::clicked, preview, [preview] { preview->zoomOut(); });
    // The drawing is fitted to the page anew in the other orientation.
    QObject::connect(portrait, &QPushButton::clicked, preview, [=] {
        portrait->setChecked(true);
        landscape->setChecked(false);
        preview->setPortraitOrientation();
    });
    QObject::connect(landscape, &QPushButton::clicked, preview, [=] {
        landscape->setChecked(true);
        portrait->setChecked(false);
        preview->setLandscapeOrientation();
    });
    QObject::connect(print, &QPushButton::clicked, &screen, &QDialog::accept);
    QObject::connect(close, &QPushButton::clicked, &screen, &QDialog::reject);

    auto* bar = new QHBoxLayout;
    for (QPushButton* b : {fit, fitWidth, zoomIn, zoomOut}) bar->addWidget(b);
    bar->addSpacing(16);
    for (QPushButton* b : {portrait, landscape}) bar->addWidget(b);
    bar->addStretch();
    for (QPushButton* b : {print, close}) bar->addWidget(b);
    auto* layout = new QVBoxLayout(&screen);
    layout->addLayout(bar);
    layout->addWidget(preview, 1);

    // A large screen over the window it belongs to.
    QSize size(800, 700);
    if (parent) size = size.expandedTo(parent->window()->size() * 0.8);
    screen.resize(size);
    preview->fitInView();
    preview->setFocus();
    return showModal(screen) == QDialog::Accepted;
}

}  // namespace platform
