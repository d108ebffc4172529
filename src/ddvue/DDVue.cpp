#include "ddvue/DDVue.h"
#include "ddvue/Handoff.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/FileNames.h"
#include "ddvue/ViewHighlight.h"
#include "ddvue/dxf/Operations.h"
#include "ddvue/render/Pictures.h"

#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <cmath>

namespace ddvue {

namespace {

// How far the view may zoom out and in, relative to the whole drawing.
constexpr double kFarthest = 1e-3;
constexpr double kNearest = 1e7;
// A paint slower than this (milliseconds) is not repeated while dragging.
constexpr qint64 kSlowPaintMs = 40;

}  // namespace

DDVue::DDVue(QWidget* parent)
    : QWidget(parent), scene_(std::make_unique<render::DrawingScene>()), highlight_(std::make_unique<ViewHighlight>())
{
    setObjectName(QStringLiteral("DDVue1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    view_.setViewport(width(), height());
    layoutTabs_ = new QTabBar(this);
    layoutTabs_->setObjectName(QStringLiteral("layoutTabs"));
    layoutTabs_->setShape(QTabBar::RoundedSouth);
    layoutTabs_->setDrawBase(false);
    layoutTabs_->setExpanding(false);
    layoutTabs_->setFocusPolicy(Qt::NoFocus);
    layoutTabs_->hide();
    connect(layoutTabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (!settingTabs_ && index >= 0) showLayout(layoutTabs_->tabText(index));
    });
}

DDVue::~DDVue() { releaseScene(); }

void DDVue::ready()
{
    if (!building_.valid()) return;
    adoptScene(building_.get());
    built();
}

void DDVue::adoptScene(std::unique_ptr<render::DrawingScene> scene)
{
    // Nothing changed the drawing while the scene was built (edit() waits
    // for it), so it stands as the scene shows it.
    if (dxf::Document* doc = engine_.document()) scene->follow(*doc);
    scene_ = std::move(scene);
}

void DDVue::built()
{
    updateLayoutTabs();
    if (!userMoved_) zoomToExtents();
    applyHighlight();
    update();
}

void DDVue::releaseScene()
{
    if (building_.valid()) {
        // The drawing goes before its scene is ready: the build stops early,
        // and its scene object comes back emptied, to be used again.
        stopBuilding_ = true;
        scene_ = building_.get();
        stopBuilding_ = false;
        scene_->forget();
        return;
    }
    // The scene stops following the engine's drawing; a drawing the engine
    // no longer holds is gone already and is not touched.
    if (scene_->document() && scene_->document() == engine_.document()) scene_->detach();
    else scene_->forget();
}

bool DDVue::OpenDrawing(const QString& path, const QString& password)
{
    releaseScene();
    bool ok = engine_.OpenDrawing(path, password);
    startScene();
    return ok;
}

bool DDVue::adopt(ReadDrawing drawing, const QString& path)
{
    releaseScene();
    bool ok = engine_.adopt(std::move(drawing), path);
    startScene();
    return ok;
}

void DDVue::startScene()
{
    stopGlide();
    updateLayoutTabs();
    highlight_->forget();
    userMoved_ = false;
    if (engine_.isOpen()) {
        // Listeners are added here, on the thread that edits the drawing,
        // before the build starts; the scene's own once it is handed over.
        watch(*engine_.document());
        // The build owns its scene while it runs: the view's scene object of
        // the drawing before (emptied, its room and shaped texts used again)
        // goes to the task, which fills it from the drawing read-only and
        // hands it back whole through the future. It holds plain data only
        // (its texts as characters). The view shows an empty scene meanwhile.
        const dxf::Document* doc = engine_.document();
        QString drawing = engine_.path(), search = engine_.searchPaths();
        std::unique_ptr<render::DrawingScene> scene = std::move(scene_);
        scene_ = std::make_unique<render::DrawingScene>();
        building_ = std::async(std::launch::async, [this, doc, drawing, search, scene = std::move(scene)]() mutable {
            scene->build(*doc, drawing, search, &stopBuilding_);
            // Only a call comes back to the window's thread; the scene comes
            // through the future.
            handOff(this, [this] { ready(); });
            return std::move(scene);
        });
    } else {
        zoomToExtents();
    }
    update();
}

void DDVue::watch(dxf::Document& doc)
{
    // Every change shows at the next paint: edits, undo and redo alike.
    doc.addListener([this](const dxf::Change&) { update(); });
    doc.history().addListener([this] { emit historyChanged(); });
}

void DDVue::CloseDrawing()
{
    releaseScene();
    engine_.CloseDrawing();
    updateLayoutTabs();
    stopGlide();
    highlight_->forget();
    userMoved_ = false;
    zoomToExtents();
    update();
}

void DDVue::SetSearchPaths(const QString& paths)
{
    ready();
    engine_.SetSearchPaths(paths);
    scene_->setSearchPaths(paths);
    update();
}

// ---------------------------------------------------------------- the view

void DDVue::zoomToExtents()
{
    if (building()) return;  // the view zooms to the drawing once it is built
    view_.setViewport(width(), height());
    // The drawing fits the part of the view above the layout tabs.
    const int tabs = tabsHeight();
    render::ViewTransform fit;
    fit.setViewport(width(), std::max(1, height() - tabs));
    fit.zoomToExtents(scene_->scene().extents());
    view_.setScale(fit.scale());
    view_.setCenter(fit.center() - QPointF(0, tabs / 2.0 / fit.scale()));
}

int DDVue::tabsHeight() const { return layoutTabs_->isVisibleTo(this) ? layoutTabs_->height() : 0; }

QStringList DDVue::layouts()
{
    ready();
    QStringList names;
    if (const dxf::Document* doc = engine_.document(); doc && scene_->document() == doc)
        for (const render::LayoutEntry& l : render::layoutsOf(*doc)) names << QString::fromStdString(l.name);
    return names;
}

QString DDVue::currentLayout()
{
    ready();
    const dxf::Document* doc = engine_.document();
    if (!doc || scene_->document() != doc) return QString();
    scene_->scene();  // a space asked for is shown from here on
    for (const render::LayoutEntry& l : render::layoutsOf(*doc))
        if (l.space == scene_->space()) return QString::fromStdString(l.name);
    return QString();
}

bool DDVue::showLayout(const QString& name)
{
    ready();
    const dxf::Document* doc = engine_.document();
    if (!doc || scene_->document() != doc) return false;
    for (const render::LayoutEntry& l : render::layoutsOf(*doc)) {
        if (QString::fromStdString(l.name).compare(name, Qt::CaseInsensitive) != 0) continue;
        showSpace(l.space);
        return true;
    }
    return false;
}

void DDVue::showSpace(std::size_t space)
{
    stopGlide();
    scene_->showSpace(space);
    userMoved_ = false;
    updateLayoutTabs();
    zoomToExtents();
    update();
}

void DDVue::updateLayoutTabs()
{
    const dxf::Document* doc = building() ? nullptr : engine_.document();
    std::vector<render::LayoutEntry> layouts;
    if (doc && scene_->document() == doc) layouts = render::layoutsOf(*doc);
    settingTabs_ = true;
    bool same = static_cast<std::size_t>(layoutTabs_->count()) == layouts.size();
    for (int i = 0; same && i < layoutTabs_->count(); ++i)
        same = layoutTabs_->tabText(i) == QString::fromStdString(layouts[static_cast<std::size_t>(i)].name);
    if (!same) {
        while (layoutTabs_->count() > 0) layoutTabs_->removeTab(0);
        for (const render::LayoutEntry& l : layouts) layoutTabs_->addTab(QString::fromStdString(l.name));
    }
    if (doc && scene_->document() == doc) {
        scene_->scene();
        for (std::size_t i = 0; i < layouts.size(); ++i)
            if (layouts[i].space == scene_->space()) layoutTabs_->setCurrentIndex(static_cast<int>(i));
    }
    settingTabs_ = false;
    const bool show = layouts.size() > 1;
    if (show) {
        const int h = layoutTabs_->sizeHint().height();
        layoutTabs_->setGeometry(0, std::max(0, height() - h), width(), h);
    }
    layoutTabs_->setVisible(show);
}

void DDVue::showWholeDrawing()
{
    ready();
    stopGlide();
    userMoved_ = false;
    zoomToExtents();
    update();
}

double DDVue::fitScale()
{
    ready();
    render::ViewTransform fit = view_;
    fit.zoomToExtents(scene_->scene().extents());
    return fit.scale();
}

void DDVue::ScreenToDrawing(double x, double y, double& drawingX, double& drawingY) const
{
    const_cast<DDVue*>(this)->ready();
    QPointF p = view_.pixelToWorld(x, y);
    drawingX = p.x();
    drawingY = p.y();
}

void DDVue::Move(int left, int top, int width, int height)
{
    setGeometry(left, top, std::max(0, width), std::max(0, height));
}

void DDVue::paintEvent(QPaintEvent*)
{
    if (building()) {
        // The drawing shows as soon as its scene is built.
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        return;
    }
    // A drawing opened or closed through edit() directly: the scene follows
    // it here (the one before may be gone, and is not touched).
    if (scene_->document() != engine_.document()) {
        scene_->forget();
        if (dxf::Document* doc = engine_.document()) {
            watch(*doc);
            scene_->attach(*doc, engine_.path(), engine_.searchPaths());
        }
        userMoved_ = false;
        zoomToExtents();
    }
    view_.setViewport(width(), height());
    QPainter p(this);
    // While the user drags a drawing that takes long to paint, the last
    // picture follows the pointer; the drawing is painted afresh when the
    // button is let go.
    if (dragging_ && lastPaintMs_ > kSlowPaintMs && !frame_.isNull() && frameView_.scale() == view_.scale() &&
        frameView_.width() == view_.width() && frameView_.height() == view_.height()) {
        QPointF shift = view_.toScreen(frameView_.center()) - frameView_.toScreen(frameView_.center());
        p.fillRect(rect(), Qt::black);
        p.drawImage(shift, frame_);
        paintHighlightOver(p);
        return;
    }
    // So too while the view glides to an object: the last picture moves and
    // scales with it, and the drawing is painted afresh where it stops.
    if (gliding() && lastPaintMs_ > kSlowPaintMs && !frame_.isNull() && frameView_.width() == view_.width() &&
        frameView_.height() == view_.height()) {
        p.fillRect(rect(), Qt::black);
        p.save();
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.setTransform(frameView_.worldToScreen().inverted() * view_.worldToScreen());
        p.drawImage(QPointF(0, 0), frame_);
        p.restore();
        paintHighlightOver(p);
        return;
    }
    QElapsedTimer timer;
    timer.start();
    const qreal ratio = devicePixelRatioF();
    QSize pixels(qRound(width() * ratio), qRound(height() * ratio));
    if (frame_.size() != pixels) {
        frame_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        frameGeneration_ = 0;  // nothing painted in it yet
    }
    frame_.setDevicePixelRatio(ratio);
    const render::Scene& scene = scene_->scene();
    if (frame_.isNull()) {
        painter_.paint(p, scene, view_, render::PaintOptions());
        lastPaintMs_ = timer.elapsed();
    } else {
        // The last picture serves again while the drawing and the view are
        // as it shows them (a new highlight repaints only what lies over it).
        const bool same = frameGeneration_ == scene.generation() && frameRevision_ == scene.revision() &&
                          frameView_.center() == view_.center() && frameView_.scale() == view_.scale() &&
                          frameView_.width() == view_.width() && frameView_.height() == view_.height();
        if (!same) {
            {
                QPainter f(&frame_);
                painter_.paint(f, scene, view_, render::PaintOptions());
            }
            frameView_ = view_;
            frameGeneration_ = scene.generation();
            frameRevision_ = scene.revision();
            lastPaintMs_ = timer.elapsed();
        }
        p.drawImage(QPointF(0, 0), frame_);
    }
    paintHighlightOver(p);
}

void DDVue::resizeEvent(QResizeEvent*)
{
    if (layoutTabs_->isVisibleTo(this)) {
        const int h = layoutTabs_->sizeHint().height();
        layoutTabs_->setGeometry(0, std::max(0, height() - h), width(), h);
    }
    if (userMoved_) view_.setViewport(width(), height());
    else zoomToExtents();
}

void DDVue::wheelEvent(QWheelEvent* event)
{
    stopGlide();
    double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) steps = event->pixelDelta().y() / 50.0;
    if (steps == 0) return;
    double factor = std::pow(1.2, steps);
    double fit = fitScale();
    double target = view_.scale() * factor;
    target = std::clamp(target, fit * kFarthest, fit * kNearest);
    view_.zoomAt(event->position() + QPointF(0.5, 0.5), target / view_.scale());
    userMoved_ = true;
    update();
    event->accept();
}

void DDVue::mousePressEvent(QMouseEvent* event)
{
    ready();
    stopGlide();
    if (event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton) {
        dragging_ = true;
        dragFrom_ = event->position().toPoint();
        setCursor(Qt::ClosedHandCursor);
    }
    QWidget::mousePressEvent(event);
}

void DDVue::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_) ready();
    QPoint at(static_cast<int>(std::floor(event->position().x())), static_cast<int>(std::floor(event->position().y())));
    if (dragging_ && (event->buttons() & (Qt::LeftButton | Qt::MiddleButton))) {
        QPoint delta = event->position().toPoint() - dragFrom_;
        if (!delta.isNull()) {
            view_.panBy(delta.x(), delta.y());
            dragFrom_ = event->position().toPoint();
            userMoved_ = true;
            update();
        }
    }
    emit PointerMoved(at.x(), at.y());
}

void DDVue::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_ && !(event->buttons() & (Qt::LeftButton | Qt::MiddleButton))) {
        dragging_ = false;
        unsetCursor();
        update();
    }
    QWidget::mouseReleaseEvent(event);
}

void DDVue::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) emit DrawingWindowRequest();
    if (event->button() == Qt::MiddleButton) {
        // The second press of the double-click began a drag: it ends here.
        dragging_ = false;
        unsetCursor();
        showWholeDrawing();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void DDVue::keyPressEvent(QKeyEvent* event)
{
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    // An arrow key moves the drawing an eighth of the view the other way,
    // as a scroll bar would: Right shows what lies to the right.
    const double stepX = std::max(1, width() / 8), stepY = std::max(1, height() / 8);
    double dx = 0, dy = 0;
    switch (event->key()) {
    case Qt::Key_Home: showWholeDrawing(); return;
    case Qt::Key_Z: zoomToHighlight(); return;
    case Qt::Key_Left: dx = stepX; break;
    case Qt::Key_Right: dx = -stepX; break;
    case Qt::Key_Up: dy = stepY; break;
    case Qt::Key_Down: dy = -stepY; break;
    default: QWidget::keyPressEvent(event); return;
    }
    ready();
    stopGlide();
    view_.setViewport(width(), height());
    view_.panBy(dx, dy);
    userMoved_ = true;
    update();
    event->accept();
}

void DDVue::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("viewMenu"));
    QAction* whole = menu.addAction(QStringLiteral("Zoom to &Extents\tHome"));
    whole->setObjectName(QStringLiteral("viewZoomExtents"));
    QAction* object = menu.addAction(QStringLiteral("&Zoom to Current Object\tZ"));
    object->setObjectName(QStringLiteral("viewZoomObject"));
    applyHighlight();
    object->setEnabled(!highlight_->target.empty());
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == whole) showWholeDrawing();
    else if (chosen == object) zoomToHighlight();
}

// ------------------------------------------------------ pictures and paper

QImage DDVue::viewImage()
{
    ready();
    render::ViewTransform v = view_;
    QSize size(width(), height());
    if (size.isEmpty()) {
        size = QSize(800, 600);
        v.setViewport(size.width(), size.height());
        v.zoomToExtents(scene_->scene().extents());
    } else {
        v.setViewport(size.width(), size.height());
    }
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return image;
    QPainter p(&image);
    painter_.paint(p, scene_->scene(), v, render::PaintOptions());
    return image;
}

bool DDVue::SaveAsBitmap(const QString& path)
{
    QString why;
    return SaveAsBitmap(path, why);
}

bool DDVue::SaveAsBitmap(const QString& path, QString& why) { return savePicture(path, QStringLiteral("bmp"), why); }

bool DDVue::SaveAsPicture(const QString& path, QString& why)
{
    const QString format = render::pictureFormat(path);
    return savePicture(path, format.isEmpty() ? QStringLiteral("bmp") : format, why);
}

render::ViewTransform DDVue::pictureView()
{
    ready();
    render::ViewTransform v = view_;
    if (width() <= 0 || height() <= 0) {
        v.setViewport(800, 600);
        v.zoomToExtents(scene_->scene().extents());
    } else {
        v.setViewport(width(), height());
    }
    return v;
}

bool DDVue::savePicture(const QString& path, const QString& format, QString& why)
{
    why.clear();
    if (path.isEmpty()) {
        why = QStringLiteral("no file name was given");
        return false;
    }
    // Made in memory and written like every other file: a failed write
    // leaves no half picture behind.
    QByteArray bytes;
    if (!render::paintPicture(scene_->scene(), pictureView(), render::PaintOptions(), format, bytes, why))
        return false;
    std::string reason;
    if (writeFileAtomically(encodeFileName(path),
                            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), reason))
        return true;
    why = QString::fromStdString(reason);
    return false;
}

void DDVue::CopyToClipboard()
{
    QImage image = viewImage();
    if (image.isNull()) return;
    auto* data = new QMimeData;
    data->setImageData(image);
    QByteArray svg;
    QString why;
    if (render::paintPicture(scene_->scene(), pictureView(), render::PaintOptions(), QStringLiteral("svg"), svg, why))
        data->setData(QStringLiteral("image/svg+xml"), svg);
    QGuiApplication::clipboard()->setMimeData(data);
}

bool DDVue::PrintDrawing() { return PrintDrawing(false); }

bool DDVue::PrintDrawing(bool showDialog)
{
    QString why;
    return PrintDrawing(showDialog, why);
}

bool DDVue::PrintDrawing(bool showDialog, QString& why)
{
    QPrinter printer(QPrinter::HighResolution);
    setUpPrinter(printer);
    // Without a printer the file to print to is the person's choice: the
    // dialog comes even when none was asked for.
    if (printer.outputFormat() == QPrinter::PdfFormat) showDialog = true;
    return printTo(printer, showDialog, why);
}

void DDVue::setUpPrinter(QPrinter& printer) const
{
    const QFileInfo drawing(engine_.path());
    const QString name = drawing.completeBaseName().isEmpty() ? QStringLiteral("drawing") : drawing.completeBaseName();
    printer.setDocName(name);
    printer.setCreator(QCoreApplication::applicationName());
    QPrinterInfo target = QPrinterInfo::defaultPrinter();
    if (target.isNull()) {
        const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
        if (!printers.isEmpty()) target = printers.first();
    }
    if (!target.isNull()) {
        printer.setPrinterName(target.printerName());
        return;
    }
    QString folder = drawing.absolutePath();
    if (engine_.path().isEmpty() || !QFileInfo(folder).isWritable()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    }
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QDir(folder).filePath(name + QStringLiteral(".pdf")));
}

bool DDVue::printTo(QPrinter& printer, bool showDialog)
{
    QString why;
    return printTo(printer, showDialog, why);
}

bool DDVue::printTo(QPrinter& printer, bool showDialog, QString& why)
{
    why.clear();
    ready();
    if (showDialog) {
        if (printDialog_) {
            if (!printDialog_(printer, this)) return false;
        } else {
            QPrintDialog dialog(&printer, this);
            if (dialog.exec() != QDialog::Accepted) return false;
        }
    }
    if (printer.outputFormat() != QPrinter::PdfFormat) {
        if (!paintPage(printer)) {
            why = QStringLiteral("The printer %1 could not be started.").arg(printer.printerName());
            return false;
        }
        if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted) {
            why = QStringLiteral("The printer %1 did not take the drawing.").arg(printer.printerName());
            return false;
        }
        return true;
    }

    // A PDF file: made in a private folder, then put in place as every file
    // the program writes is, so that a failure leaves what stood there.
    const QString target = printer.outputFileName();
    if (target.isEmpty()) {
        why = QStringLiteral("No file was named to print to.");
        return false;
    }
    QTemporaryDir scratch;
    const QString made = scratch.filePath(QStringLiteral("print.pdf"));
    bool painted = false;
    if (scratch.isValid()) {
        printer.setOutputFileName(made);
        painted = paintPage(printer);
        printer.setOutputFileName(target);
    }
    QFile pdf(made);
    if (!painted || !pdf.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("The PDF file could not be made in the temporary folder %1.").arg(QDir::tempPath());
        return false;
    }
    const QByteArray bytes = pdf.readAll();
    std::string reason;
    if (!writeFileAtomically(encodeFileName(target),
                             std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), reason)) {
        why = QStringLiteral("%1 could not be written: %2").arg(target, QString::fromStdString(reason));
        return false;
    }
    return true;
}

bool DDVue::paintPage(QPrinter& printer)
{
    ready();
    QPainter p;
    if (!p.begin(&printer)) return false;
    // The drawing fitted to the printable area, on white paper.
    QRect area = p.viewport();
    render::ViewTransform v;
    v.setViewport(area.width(), area.height());
    v.zoomToExtents(scene_->scene().extents(), 0.01);
    painter_.paint(p, scene_->scene(), v, render::PaintOptions::paper(printer.resolution()));
    return p.end();
}

}  // namespace ddvue
