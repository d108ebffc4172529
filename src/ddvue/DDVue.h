#pragma once
// The drawing component as a widget: shows the open drawing and offers every
// drawing operation. The operations themselves live in DDVueEngine, which
// this widget owns and forwards to; the visual ones live here.
//
// The view: zoomed to the drawing's extents when it opens (and when the
// widget is resized, until the user zooms or pans); the wheel zooms about the
// pointer; dragging with the left or middle button pans; a double-click asks
// for the drawing window, a double-click of the middle button shows the whole
// drawing. With the focus, Home shows the whole drawing, the arrow keys pan
// and Z zooms to what is pointed out; the context menu offers both. Edits
// made through the operations show at the next paint.

#include "ddvue/DDVueEngine.h"
#include "ddvue/render/DrawingScene.h"
#include "ddvue/render/ScenePainter.h"
#include "ddvue/render/ViewTransform.h"

#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QWidget>

#include <atomic>
#include <future>

#include <functional>
#include <memory>

class QPainter;
class QPrinter;
class QTabBar;

namespace ddvue {

struct ViewHighlight;

class DDVue : public QWidget {
    Q_OBJECT
public:
    explicit DDVue(QWidget* parent = nullptr);
    ~DDVue() override;

    // The operations that change what the view shows. The others (the
    // content, the edits, saving) are the engine's: engine() to read,
    // edit() to change the drawing.
    //
    // Threads: the scene of a drawing just opened is built on a thread of its
    // own, into a scene object that the building task owns and hands over
    // whole when done; meanwhile this thread may read the drawing (engine())
    // but not change it: edit() first waits for the build.
    bool OpenDrawing(const QString& path, const QString& password = QString());
    // Opens a drawing read beforehand (DrawingReader reads one off the
    // window's thread), as OpenDrawing would have opened it.
    bool adopt(ReadDrawing drawing, const QString& path);
    void CloseDrawing();
    void SetSearchPaths(const QString& paths);

    // Visual operations.
    // Writes the current view as a BMP picture. False when it could not be
    // written; `why` then tells the reason.
    bool SaveAsBitmap(const QString& path);
    bool SaveAsBitmap(const QString& path, QString& why);
    // Writes the current view as a picture of the kind its name ends in:
    // BMP or PNG pixels, SVG or PDF vectors (a name ending otherwise gets a
    // BMP). Through the safe write routine, as SaveAsBitmap.
    bool SaveAsPicture(const QString& path, QString& why);
    // The drawing point that the view shows at pixel (x, y) of the widget.
    void ScreenToDrawing(double x, double y, double& drawingX, double& drawingY) const;
    // Prints the drawing fitted to the page: without an argument to the
    // default printer without a dialog, with true through the print dialog.
    // Where no printer is installed the dialog always comes, and offers to
    // print to a PDF file (see setUpPrinter). False when nothing was printed:
    // `why` then says what failed, and stays empty when the person cancelled.
    bool PrintDrawing();
    bool PrintDrawing(bool showDialog);
    bool PrintDrawing(bool showDialog, QString& why);
    // Puts the current view on the clipboard as a picture, and as SVG for
    // programs that take vectors.
    void CopyToClipboard();
    void SetFocus() { setFocus(); }
    // Places the view; a height below zero is taken as zero.
    void Move(int left, int top, int width, int height);
    int Height() const { return height(); }

    // The engine, to read the drawing and its state (also while the scene
    // is being built, which only reads it too).
    const DDVueEngine& engine() const { return engine_; }
    // The engine, to change the drawing (edit, undo, redo): first waits
    // until the scene of a drawing being opened is built, since building
    // reads the drawing. The view repaints whatever changes.
    DDVueEngine& edit()
    {
        ready();
        return engine_;
    }

    // Beyond the operations: what the windows, the tests and the printing
    // need.
    // The current view as a picture of the widget's size (800 x 600, zoomed to
    // the extents, while the widget has no size).
    QImage viewImage();
    const render::ViewTransform& view()
    {
        ready();
        return view_;
    }
    // Shows the whole drawing.
    void zoomToExtents();
    // The same as the person's request (Home, a double-click of the middle
    // button): the view follows the window's size again until moved.
    void showWholeDrawing();
    // The spaces of the drawing to look at: "Model", then its paper layouts
    // in the drawing's tab order; tabs under the view offer them when there
    // is more than one.
    QStringList layouts();
    // The one the view shows.
    QString currentLayout();
    // Shows a layout by its name (in any letter case), zoomed to its
    // extents: a paper layout shows its sheet, its viewports' view of model
    // space and what lies on the paper. False when the drawing has no
    // layout of that name.
    bool showLayout(const QString& name);
    // Zooms to what is pointed out (highlightObject, highlightLayer): the
    // object fills most of the view, a layer is shown whole. False when
    // nothing pointed out is drawn.
    bool zoomToHighlight();
    // What the view paints, once built (waits for a drawing being opened).
    const render::Scene& scene()
    {
        ready();
        return scene_->scene();
    }
    // Makes `printer` ready to print this drawing: to the default printer,
    // else the first one installed; with none, to a PDF file named after the
    // drawing, in the drawing's folder when that can be written, else in the
    // user's documents folder.
    void setUpPrinter(QPrinter& printer) const;
    // Prints to `printer` (a real printer or a PDF file); with `showDialog`,
    // asks through the print dialog first. A PDF file is written through the
    // safe write routine, whole or not at all. False when cancelled or
    // failed; `why` then says what failed (empty when cancelled).
    bool printTo(QPrinter& printer, bool showDialog);
    bool printTo(QPrinter& printer, bool showDialog, QString& why);
    // Paints the drawing fitted to the printable area of `printer`'s page,
    // on white paper: what a print shows, for printing and for a preview.
    // False when the printer could not be started.
    bool paintPage(QPrinter& printer);
    // Replaces the print dialog (tests, or a program's own dialog): returns
    // true to print.
    void setPrintDialog(std::function<bool(QPrinter&, QWidget*)> dialog) { printDialog_ = std::move(dialog); }
    // Waits until the scene of a drawing being opened is built; everything
    // that reads or changes the scene (or changes the drawing) waits first.
    void ready();
    // The scene of a drawing just opened is still being built: what would
    // wait for it (the pointer's drawing position, say) may rather wait
    // until it is shown.
    bool isBuilding() const { return building(); }

    // Pointing out an object or a layer, over the drawing: never drawn into
    // it, so pictures, prints and copies of the view do not show it.
    // highlightObject takes an object's handle (hexadecimal, as the content
    // names it); with `bringIntoView`, when the object stands outside the
    // view or too small to see, the view moves and zooms to it in a short
    // glide (a new object on the way turns it towards the new one). A handle
    // the drawing does not have, or of an object the view does not draw,
    // points out nothing. highlightLayer dims everything but the layer's
    // objects, and with `bringIntoView` shows the layer when none of it is
    // in sight. Each costs a look-up and a repaint of the view's last
    // picture, whatever the drawing's size.
    void highlightObject(const QString& handle, bool bringIntoView = true);
    void highlightLayer(const QString& name, bool bringIntoView = true);
    void clearHighlight();
    // What is pointed out: the handle or the layer's name; empty for nothing.
    QString highlighted() const;
    // Where the view shows the object pointed out: the rectangle of its
    // mark; empty when no object is pointed out or the view does not draw it.
    QRectF highlightRect();
    // True while the view glides to an object.
    bool gliding() const;

signals:
    void PointerMoved(int x, int y);
    void DrawingWindowRequest();
    // The open drawing's history moved: an edit, an undo or redo, a save.
    void historyChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void releaseScene();
    // Starts building the scene of the drawing the engine just opened.
    void startScene();
    bool building() const { return building_.valid(); }
    // Takes the scene that the build handed over, and follows the drawing's
    // edits with it from now on.
    void adoptScene(std::unique_ptr<render::DrawingScene> scene);
    // Repaints, and tells of the history, at every change of `doc`.
    void watch(dxf::Document& doc);
    void built();
    // The scale of the whole drawing in the view: zooming stays within a
    // range around it.
    double fitScale();
    // Finds what is pointed out in the scene as it is now, and starts the
    // view's glide to it when one was asked for.
    void applyHighlight();
    void glideTo(const render::ViewTransform& to);
    void stopGlide();
    // Paints what is pointed out over the drawing's picture.
    void paintHighlightOver(QPainter& painter);
    // The view as pictures show it: the widget's, or 800 x 600 at the
    // extents while the widget has no size.
    render::ViewTransform pictureView();
    bool savePicture(const QString& path, const QString& format, QString& why);
    // Shows space `space` of the drawing, at its extents.
    void showSpace(std::size_t space);
    // The layout tabs, brought in line with the drawing and the space shown.
    void updateLayoutTabs();
    int tabsHeight() const;

    DDVueEngine engine_;
    // What the view shows: never null, empty while a build runs.
    std::unique_ptr<render::DrawingScene> scene_;
    render::ViewTransform view_;
    render::ScenePainter painter_;
    bool userMoved_ = false;  // the user zoomed or panned since the drawing opened
    bool dragging_ = false;
    QPoint dragFrom_;
    QImage frame_;                  // the last picture painted
    render::ViewTransform frameView_;  // the view it shows
    qint64 lastPaintMs_ = 0;
    std::function<bool(QPrinter&, QWidget*)> printDialog_;
    // The scene of a newly opened drawing is built beside the program's own
    // work (the grid fill reads the same drawing meanwhile); it only reads,
    // and hands its scene over when done.
    std::future<std::unique_ptr<render::DrawingScene>> building_;
    // Asks the build under way to stop, when the drawing goes before its
    // scene is ready.
    std::atomic<bool> stopBuilding_{false};
    // The scene and its revision that frame_ shows: while they and the view
    // stay the same, a repaint (for a new highlight) shows frame_ again.
    std::uint64_t frameGeneration_ = 0, frameRevision_ = 0;
    std::unique_ptr<ViewHighlight> highlight_;
    QTabBar* layoutTabs_ = nullptr;
    bool settingTabs_ = false;  // the tabs are being filled, not chosen
};

}  // namespace ddvue
