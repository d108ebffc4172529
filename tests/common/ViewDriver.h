#pragma once
// Drives a drawing view as a person would: the wheel over a point, a drag,
// and zooming in on the drawing's largest text until its letters are large.
// The events go through the application's event delivery, so the widget
// paints through its own paint events when the event loop runs.

#include "ddvue/DDVue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <optional>

namespace viewdriver {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Lets the event loop run until `done` holds or `ms` have passed.
template <typename F>
bool waitFor(F done, int ms = 60000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) QTest::qWait(5);
    return done();
}

// Turns the wheel over a point of the widget: notches above zero zoom in.
inline void wheel(QWidget* w, QPointF at, int notches)
{
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

// Where the scene's largest text stands and how tall its capitals are, in
// drawing units.
struct TextSpot {
    QPointF centre;
    double capHeight = 0;
};
inline std::optional<TextSpot> largestText(const ddvue::render::Scene& scene)
{
    std::optional<TextSpot> best;
    for (const auto& prim : scene.primitives()) {
        if (prim.type != ddvue::render::PrimitiveType::Text || prim.dead()) continue;
        const ddvue::render::TextData& t = scene.texts()[prim.data];
        double cap = t.capHeight * std::hypot(t.toWorld.m21(), t.toWorld.m22());
        if (!std::isfinite(cap) || (best && cap <= best->capHeight)) continue;
        best = TextSpot{t.toWorld.map(QPointF(t.advance / 2, -t.capHeight / 2)), cap};
    }
    return best;
}

// Zooms the view in on its largest text with the wheel until the text's
// capitals are about `pixels` tall, letting the view paint after every
// notch. False when the drawing has no text.
inline bool zoomOnLargestText(ddvue::DDVue& view, double pixels)
{
    auto spot = largestText(view.scene());
    if (!spot) return false;
    for (int step = 0; step < 200; ++step) {
        double now = spot->capHeight * view.view().scale();
        if (now >= pixels) break;
        QPointF at = view.view().toScreen(spot->centre);
        // Keep the text under the pointer inside the widget.
        if (at.x() < 0 || at.y() < 0 || at.x() >= view.width() || at.y() >= view.height())
            at = QPointF(view.width() / 2.0, view.height() / 2.0);
        wheel(&view, at, 1);
        QTest::qWait(1);
    }
    return true;
}

}  // namespace viewdriver
