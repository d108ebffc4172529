// Pointing out the grid's current row in the drawing's view, on drawings of
// 10,000 and 100,000 block attributes (make_pipeline_drawing.py, beside this
// file, writes them into the system's temporary folder on the first run):
//
// RowChange/N      one row change as the view sees it: the object found by
//                  its handle and the view repainted with the mark (the
//                  drawing's picture kept from the paint before).
// FullRepaint/N    for comparison: a repaint of the whole view at the same
//                  extents (what every row change would cost if the mark
//                  were painted into the drawing's picture).
// HoldDown/N       the main window with the drawing open in the Block
//                  Attributes grid, the Down key sent to the grid again and
//                  again as a held key repeats it, each key followed by the
//                  event loop's work (the grid's move, the view's repaint,
//                  the steps of its glide); rows per second.
//
// Run it on a real display for the window's figures:
//   xvfb-run -a -s "-screen 0 1600x1200x24" env QT_QPA_PLATFORM=xcb build/bench/highlight_bench

#include "app/frmMain.h"
#include "ddvue/DDVue.h"
#include "Doubles.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>
#include <QWheelEvent>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {

QString drawingOf(long attributes)
{
    QString p = QDir::temp().filePath(QStringLiteral("tessilux-bench-%1.dxf").arg(attributes));
    if (!QFileInfo::exists(p)) {
        QString script = QFileInfo(QStringLiteral(__FILE__)).absoluteDir().filePath(QStringLiteral("make_pipeline_drawing.py"));
        std::fprintf(stderr, "writing %s ...\n", qPrintable(p));
        QProcess::execute(QStringLiteral("/usr/bin/python3"), {script, p, QString::number(attributes)});
    }
    return p;
}

// The handles of the drawing's attributes, in the drawing's order (as the
// grid lists them).
std::vector<QString> attributeHandles(const ddvue::DDVue& view)
{
    std::vector<QString> out;
    const ddvue::dxf::Document* doc = view.engine().document();
    if (!doc) return out;
    for (std::uint32_t r = 0; r < doc->recordCount(); ++r) {
        const ddvue::dxf::Record& rec = doc->record(r);
        if (rec.kind == ddvue::dxf::Kind::Attrib && !doc->isDeleted(r))
            out.push_back(QString::fromStdString(ddvue::dxf::Document::formatHandle(rec.handle)));
    }
    return out;
}

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
    long paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

struct OpenView {
    PaintCounter paints;
    ddvue::DDVue view;
    std::vector<QString> handles;
    bool ok = false;

    explicit OpenView(long attributes)
    {
        QString path = drawingOf(attributes);
        view.resize(1000, 700);
        view.show();
        QElapsedTimer clock;
        clock.start();
        while (!(view.windowHandle() && view.windowHandle()->isExposed()) && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        view.installEventFilter(&paints);
        ok = view.OpenDrawing(path);
        view.ready();
        view.repaint();
        handles = attributeHandles(view);
    }
};

void RowChange(benchmark::State& state)
{
    OpenView open(state.range(0));
    if (!open.ok || open.handles.empty()) {
        state.SkipWithError("the drawing did not open");
        return;
    }
    std::size_t i = 0, found = 0;
    for (auto _ : state) {
        open.view.highlightObject(open.handles[i++ % open.handles.size()], false);
        open.view.repaint();
        found += !open.view.highlightRect().isEmpty();
    }
    state.counters["attributes"] = static_cast<double>(open.handles.size());
    state.counters["marked"] = static_cast<double>(found) / static_cast<double>(std::max<std::size_t>(i, 1));
    state.counters["paints"] = static_cast<double>(open.paints.paints) / static_cast<double>(std::max<std::size_t>(i, 1));
}

void FullRepaint(benchmark::State& state)
{
    OpenView open(state.range(0));
    if (!open.ok) {
        state.SkipWithError("the drawing did not open");
        return;
    }
    int n = 0;
    for (auto _ : state) {
        // A view a hair apart: the picture is painted afresh.
        open.view.zoomToExtents();
        if (++n % 2) {
            QWheelEvent nothing(QPointF(1, 1), QPointF(1, 1), QPoint(), QPoint(0, 1), Qt::NoButton, Qt::NoModifier,
                                Qt::NoScrollPhase, false);
            QApplication::sendEvent(&open.view, &nothing);
        }
        open.view.repaint();
    }
    state.counters["paints"] = static_cast<double>(open.paints.paints) / std::max(n, 1);
}

void HoldDown(benchmark::State& state)
{
    platform::MemorySettingsStore settings;
    platform::ScriptedMessageBoxes boxes;
    platform::Installed<platform::SettingsStore> s(settings);
    platform::Installed<platform::MessageBoxes> b(boxes);
    QFileInfo drawing(drawingOf(state.range(0)));
    settings.values[QStringLiteral("Dir")] = drawing.absolutePath();
    settings.values[QStringLiteral("Data")] = QStringLiteral("1");  // Block Attributes
    app::frmMain window;
    window.Combo2->setEditText(drawing.fileName());
    window.Combo2_Change();
    window.show();
    auto items = window.List3->findItems(drawing.fileName(), Qt::MatchExactly);
    if (items.isEmpty()) {
        state.SkipWithError("the drawing is not listed");
        return;
    }
    window.List3->setCurrentItem(items.first());
    window.List3_Click();
    while (window.isOpening()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    window.optAttribute->click();
    window.DDVue1->ready();
    window.dtgDrawing->setFocus();
    window.activateWindow();
    QCoreApplication::processEvents();
    if (!window.recordset() || window.recordset()->RecordCount() == 0) {
        state.SkipWithError("no rows");
        return;
    }
    long rows = 0, marked = 0;
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(window.dtgDrawing, &press);
        QCoreApplication::processEvents();
        ++rows;
        marked += !window.DDVue1->highlighted().isEmpty();
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    // TESSILUX_BENCH_SHOT=FILE.png keeps the window's look at the end.
    if (QString shot = qEnvironmentVariable("TESSILUX_BENCH_SHOT"); !shot.isEmpty()) {
        while (window.DDVue1->gliding()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
        window.grab().save(shot);
    }
    state.counters["rows_per_second"] = rows / std::max(seconds, 1e-9);
    state.counters["rows"] = static_cast<double>(window.recordset()->AbsolutePosition());
    state.counters["marked"] = static_cast<double>(marked) / static_cast<double>(std::max(rows, 1L));
}

}  // namespace

BENCHMARK(RowChange)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(FullRepaint)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(HoldDown)->Arg(10000)->Arg(100000)->Iterations(3000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
