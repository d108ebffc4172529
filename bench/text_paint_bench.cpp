// Painting a text-heavy drawing zoomed in: 40,000 single-line texts and
// 10,000 multi-line texts in a grid, the view zoomed in so that about 1,200
// of them stand large enough to be drawn as letters (capitals about 12 pixels
// tall). The first paint of a view and the paints after it are timed apart:
// the glyphs of a text are shaped where it is first painted large, then kept.
//
//   build/bench/text_paint_bench

#include "ddvue/DDVueEngine.h"
#include "ddvue/render/DrawingScene.h"
#include "ddvue/render/ScenePainter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int kColumns = 200, kRows = 250;
constexpr double kCell = 10;  // drawing units between texts
constexpr int kWidth = 1600, kHeight = 1200;

struct Fixture {
    QTemporaryDir dir;
    ddvue::DDVueEngine engine;
    ddvue::render::DrawingScene scene;
    QImage image{kWidth, kHeight, QImage::Format_ARGB32_Premultiplied};
    double buildSeconds = 0;

    Fixture()
    {
        std::string dxf = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n0\nENDSEC\n"
                          "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n0\nLAYER\n2\n0\n70\n0\n62\n7\n0\nENDTAB\n0\nENDSEC\n"
                          "0\nSECTION\n2\nENTITIES\n";
        char buf[300];
        int handle = 0x100;
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c) {
                double x = c * kCell, y = r * kCell;
                if ((r + c) % 5 == 0)
                    std::snprintf(buf, sizeof buf,
                                  "0\nMTEXT\n5\n%X\n8\n0\n10\n%g\n20\n%g\n30\n0\n40\n1.5\n41\n8\n71\n1\n"
                                  "1\nRoom %d\\P{\\C1;area} %d.%d m\xc2\xb2\n",
                                  handle++, x, y + 2.5, r * kColumns + c, c, r % 10);
                else
                    std::snprintf(buf, sizeof buf, "0\nTEXT\n5\n%X\n8\n0\n10\n%g\n20\n%g\n30\n0\n40\n2.5\n1\nA-%d %s\n",
                                  handle++, x, y, r * 7 + c, (c % 3) ? "DOOR" : "WINDOW");
                dxf += buf;
            }
        dxf += "0\nENDSEC\n0\nEOF\n";
        QString path = dir.filePath(QStringLiteral("texts.dxf"));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(dxf.data(), static_cast<qint64>(dxf.size()));
        f.close();
        if (!engine.OpenDrawing(path)) return;
        QElapsedTimer t;
        t.start();
        scene.attach(*engine.document(), path, QString());
        buildSeconds = t.elapsed() / 1000.0;
    }

    // About 1,200 texts in view, their capitals about 12 pixels tall.
    ddvue::render::ViewTransform zoomed() const
    {
        ddvue::render::ViewTransform v;
        v.setViewport(kWidth, kHeight);
        v.zoomToExtents(ddvue::render::Bounds{0, 0, 40 * kCell, 30 * kCell}, 0);
        return v;
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_BuildScene(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) benchmark::DoNotOptimize(f.scene.scene().liveCount());
    state.counters["build_s"] = f.buildSeconds;
    state.counters["texts"] = static_cast<double>(f.scene.scene().texts().size());
}

// A painter that has not painted this scene before.
void BM_ZoomedIn_FirstPaint(benchmark::State& state)
{
    Fixture& f = fixture();
    auto v = f.zoomed();
    for (auto _ : state) {
        ddvue::render::ScenePainter painter;
        QPainter p(&f.image);
        painter.paint(p, f.scene.scene(), v, ddvue::render::PaintOptions());
    }
}

// The same view painted again, as while the user looks at it.
void BM_ZoomedIn_Repaint(benchmark::State& state)
{
    Fixture& f = fixture();
    auto v = f.zoomed();
    ddvue::render::ScenePainter painter;
    {
        QPainter p(&f.image);
        painter.paint(p, f.scene.scene(), v, ddvue::render::PaintOptions());
    }
    for (auto _ : state) {
        QPainter p(&f.image);
        painter.paint(p, f.scene.scene(), v, ddvue::render::PaintOptions());
    }
    state.counters["drawn"] = static_cast<double>(painter.lastStats().drawn);
}

BENCHMARK(BM_BuildScene)->Iterations(1);
BENCHMARK(BM_ZoomedIn_FirstPaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ZoomedIn_Repaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
