// The main window on a large drawing: from a click on the drawing in the
// file list to the filled grid, against the command line's CSV export of the
// same drawing's attributes, both in this process.
//
// The drawing is TESSILUX_BENCH_DRAWING, or the 100000-attribute drawing that
// make_pipeline_drawing.py (beside this file) writes into the system's
// temporary folder on the first run.

#include "BenchDrawing.h"
#include "app/CommandLine.h"
#include "app/ExportCommands.h"
#include "app/frmMain.h"
#include "platform/Seams.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QProcess>

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

BENCHMARK(ClickToFilledGrid)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);
BENCHMARK(ExportCsv)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);

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
