// "Set all" in the color picker against opening a drawing: on the drawing
// of 100000 block attributes, the time from a click on the drawing in the
// file list to the filled grid, and the time the color picker's OK takes,
// answered Yes to "Set all block attribute objects to the selected color?",
// to give every listed attribute the color, until the view has painted
// them. Both are measured in turn in every iteration, so that the ratio
// compares times taken under the same load.
//
// The drawing is TESSILUX_BENCH_DRAWING, or the 100000-attribute drawing that
// make_pipeline_drawing.py (beside this file) writes into the system's
// temporary folder on the first run.

#include "BenchDrawing.h"
#include "app/frmMain.h"
#include "colors/ColorPalette.h"
#include "colors/frmColors.h"
#include "Doubles.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QRadioButton>
#include <QToolButton>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void SetAllAgainstClickToFilledGrid(benchmark::State& state)
{
    platform::MemorySettingsStore settings;
    platform::ScriptedMessageBoxes boxes;
    platform::Installed<platform::SettingsStore> s(settings);
    platform::Installed<platform::MessageBoxes> b(boxes);
    QFileInfo drawing(bench::drawingPath());
    settings.values[QStringLiteral("Dir")] = drawing.absolutePath();
    settings.values[QStringLiteral("Data")] = QStringLiteral("1");  // block attributes
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
    std::vector<double> clicks, setAlls, ratios, paints;
    long rows = 0;
    int color = 10;
    for (auto _ : state) {
        // The click: read, opened in the view, listed in the grid.
        QElapsedTimer t;
        t.start();
        window.List3_Click();
        while (window.isOpening()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double click = t.nsecsElapsed() / 1e6;
        data::Recordset* rs = window.recordset();
        if (!rs || rs->RecordCount() == 0) {
            state.SkipWithError("no rows");
            return;
        }
        rows = rs->RecordCount();
        window.DDVue1->ready();
        window.DDVue1->repaint();
        rs->setCurrentRow(rows / 2);

        // Set all: the picker's OK with Yes, then the view painted.
        colors::ColorTarget target;
        target.category = window.selectedCategory();
        target.recordset = rs;
        ddvue::DDVue* viewer = window.DDVue1;
        target.setEntityColor = [viewer](const QString& handle, long c, QString* why) {
            if (viewer->edit().SetEntityColor(handle, c)) return true;
            *why = viewer->engine().lastError();
            return false;
        };
        target.setColorLabel = [](const QString&) {};
        colors::frmColors picker(std::move(target));
        color = color == 10 ? 130 : 10;
        for (const colors::Cell& cell : colors::cells(colors::Palette::Full))
            if (cell.number == color) picker.PicFull_MouseDown(1, 0, (cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
        boxes.answers = {platform::MsgResult::Yes};
        t.restart();
        picker.cmdOK_Click();
        const double colored = t.nsecsElapsed() / 1e6;
        window.DDVue1->repaint();
        const double setAll = t.nsecsElapsed() / 1e6;
        paints.push_back(setAll - colored);
        if (boxes.shown.size() != 1 || rs->currentRow() != rows / 2) state.SkipWithError("Set all did not run as it should");
        boxes.shown.clear();
        clicks.push_back(click);
        setAlls.push_back(setAll);
        ratios.push_back(setAll / click);
        // The next click opens the drawing afresh, without asking to save.
        window.cmdSave->hide();
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["click_ms"] = median(clicks);
    state.counters["setall_ms"] = median(setAlls);
    state.counters["ratio"] = median(ratios);
    state.counters["paint_ms"] = median(paints);  // of setall_ms: the view painting the new colors
}

BENCHMARK(SetAllAgainstClickToFilledGrid)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
