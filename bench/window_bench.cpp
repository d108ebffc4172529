// The main window on a large drawing: from a click on the drawing in the
// file list to the filled grid, against the command line's CSV export of the
// same drawing's attributes, both in this process; and editing it in the
// grid: Replace All over every row (each written back into the drawing,
// the grid repainted once at the end) against the click to the filled grid,
// and Save against the CSV export, timed side by side in each round.
//
// The drawing is TESSILUX_BENCH_DRAWING, or the 100000-attribute drawing that
// make_pipeline_drawing.py (beside this file) writes into the system's
// temporary folder on the first run.

#include "BenchDrawing.h"
#include "app/CommandLine.h"
#include "app/ExportCommands.h"
#include "app/frmMain.h"
#include "Doubles.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <benchmark/benchmark.h>

#include <sstream>

namespace {

void ClickToFilledGrid(benchmark::State& state)
{
    platform::MemorySettingsStore settings;
    platform::ScriptedMessageBoxes boxes;
    platform::Installed<platform::SettingsStore> s(settings);
    platform::Installed<platform::MessageBoxes> b(boxes);
    QFileInfo drawing(bench::drawingPath());
    settings.values[QStringLiteral("Dir")] = drawing.absolutePath();
    app::frmMain window;
    window.Combo2->setEditText(QStringLiteral("*.") + drawing.suffix());
    window.Combo2_Change();
    window.show();
    auto items = window.List3->findItems(drawing.fileName(), Qt::MatchExactly);
    if (items.isEmpty()) {
        state.SkipWithError("the drawing is not listed");
        return;
    }
    window.List3->setCurrentItem(items.first());
    const bool painted = state.range(0) != 0;
    for (auto _ : state) {
        window.List3_Click();
        // The drawing is read off the window's thread; the grid fills when
        // the window's event loop hears that it has been read.
        while (window.isOpening()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!window.recordset() || window.recordset()->RecordCount() == 0) state.SkipWithError("no rows");
        // The drawing's picture is built beside the grid fill; with the
        // argument 1 the time runs until it is painted too.
        if (!painted) state.PauseTiming();
        window.DDVue1->ready();
        window.DDVue1->repaint();
        if (!painted) state.ResumeTiming();
    }
    state.counters["rows"] = window.recordset() ? static_cast<double>(window.recordset()->RecordCount()) : 0;
}

void ExportCsv(benchmark::State& state)
{
    QString out = QDir::temp().filePath(QStringLiteral("tessilux-bench-out.csv"));
    for (auto _ : state) {
        std::ostringstream o, e;
        if (app::runCommand({QStringLiteral("export"), bench::drawingPath(), QStringLiteral("--format"), QStringLiteral("csv"),
                             QStringLiteral("-o"), out},
                            o, e) != 0)
            state.SkipWithError(e.str().c_str());
    }
    QFile::remove(out);
}

void exportCsv(const QString& drawing, const QString& out, benchmark::State& state)
{
    std::ostringstream o, e;
    if (app::runCommand({QStringLiteral("export"), drawing, QStringLiteral("--format"), QStringLiteral("csv"),
                         QStringLiteral("-o"), out},
                        o, e) != 0)
        state.SkipWithError(e.str().c_str());
}

// Each round, on a copy of the drawing: a click on it to its filled grid;
// Replace All with an empty find text and a new replacement, which changes
// every row, to the grid painted again; Save; and the CSV export of the
// saved drawing. (Apart from these, the time the drawing's view then takes
// to paint the changes.) The counters are the times of each (milliseconds, mean of
// the rounds) and the two ratios that matter: Replace All to the filled
// grid, Save to the CSV export.
void EditingAgainstOpeningAndExport(benchmark::State& state)
{
    platform::MemorySettingsStore settings;
    platform::ScriptedMessageBoxes boxes;
    platform::Installed<platform::SettingsStore> s(settings);
    platform::Installed<platform::MessageBoxes> b(boxes);
    QTemporaryDir dir;
    QFileInfo source(bench::drawingPath());
    const QString drawing = dir.filePath(source.fileName());
    const QString csv = dir.filePath(QStringLiteral("export.csv"));
    if (!QFile::copy(source.absoluteFilePath(), drawing)) {
        state.SkipWithError("the drawing cannot be copied");
        return;
    }
    settings.values[QStringLiteral("Dir")] = dir.path();
    app::frmMain window;
    window.Combo2->setEditText(QStringLiteral("*.") + source.suffix());
    window.Combo2_Change();
    window.show();
    auto items = window.List3->findItems(source.fileName(), Qt::MatchExactly);
    if (items.isEmpty()) {
        state.SkipWithError("the drawing is not listed");
        return;
    }
    window.List3->setCurrentItem(items.first());
    double open = 0, replace = 0, view = 0, save = 0, exported = 0;
    long rows = 0, round = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        ++round;
        clock.start();
        window.List3_Click();
        while (window.isOpening()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        open += clock.nsecsElapsed() / 1e6;
        if (!window.recordset() || window.recordset()->RecordCount() == 0) state.SkipWithError("no rows");
        rows = window.recordset() ? window.recordset()->RecordCount() : 0;
        window.DDVue1->ready();  // the picture is built beside the fill; edits wait for it

        window.txtFindWhat->clear();
        window.txtReplaceWith->setText(QStringLiteral("Revision %1 — 改 ✓").arg(round));
        boxes.answers = {platform::MsgResult::Ok};
        clock.start();
        window.cmdReplaceAll->click();
        window.dtgDrawing->viewport()->repaint();
        replace += clock.nsecsElapsed() / 1e6;
        if (boxes.shown.empty() || boxes.shown.back().text != QStringLiteral("%1 replacements.").arg(rows))
            state.SkipWithError("Replace All did not change every row");
        // Apart: the drawing's view painting every changed attribute anew.
        clock.start();
        window.DDVue1->repaint();
        view += clock.nsecsElapsed() / 1e6;

        clock.start();
        window.cmdSave->click();
        save += clock.nsecsElapsed() / 1e6;
        if (window.DrawingChanged()) state.SkipWithError("the drawing was not saved");

        clock.start();
        exportCsv(drawing, csv, state);
        exported += clock.nsecsElapsed() / 1e6;
    }
    const double n = static_cast<double>(round);
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["open_ms"] = open / n;
    state.counters["replaceAll_ms"] = replace / n;
    state.counters["viewRepaint_ms"] = view / n;
    state.counters["save_ms"] = save / n;
    state.counters["csv_ms"] = exported / n;
    state.counters["replaceAll_per_open"] = replace / open;
    state.counters["save_per_csv"] = save / exported;
}

BENCHMARK(ClickToFilledGrid)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);
BENCHMARK(ExportCsv)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);
BENCHMARK(EditingAgainstOpeningAndExport)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    app::registerExportCommands();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
