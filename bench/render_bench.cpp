// Painting a large drawing: a drawing of 1,000,000 line segments spread over
// its extents, painted whole and zoomed in to a tenth of its width, against
// plain QPainter::drawLines of the same segments into the same picture.
//
//   build/bench/render_bench [--benchmark_filter=...]

#include "ddvue/DDVueEngine.h"
#include "ddvue/render/DrawingScene.h"
#include "ddvue/render/ScenePainter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

namespace {

constexpr int kSegments = 1'000'000;
constexpr double kExtent = 10000;  // the drawing is 10000 units square
constexpr int kWidth = 1600, kHeight = 1200;

// The drawing, its scene, and the segments as plain numbers.
struct Fixture {
    std::vector<QLineF> segments;  // drawing coordinates
    QTemporaryDir dir;
    ddvue::DDVueEngine engine;
    ddvue::render::DrawingScene scene;
    QImage image{kWidth, kHeight, QImage::Format_ARGB32_Premultiplied};
    double openSeconds = 0, buildSeconds = 0;

    Fixture()
    {
        // Segments up to 1% of the extents long, in every direction.
        std::mt19937 rng(2024);
        std::uniform_real_distribution<double> pos(0, kExtent), len(0, kExtent / 100), ang(0, 6.283185307179586);
        segments.reserve(kSegments);
        std::string dxf = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n0\nENDSEC\n"
                          "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n0\nLAYER\n2\n0\n70\n0\n62\n7\n0\nENDTAB\n0\nENDSEC\n"
                          "0\nSECTION\n2\nENTITIES\n";
        dxf.reserve(static_cast<std::size_t>(kSegments) * 110);
        char buf[200];
        for (int i = 0; i < kSegments; ++i) {
            double x = pos(rng), y = pos(rng), l = len(rng), a = ang(rng);
            QLineF s(x, y, x + l * std::cos(a), y + l * std::sin(a));
            segments.push_back(s);
            std::snprintf(buf, sizeof buf, "0\nLINE\n5\n%X\n8\n0\n10\n%.6f\n20\n%.6f\n30\n0\n11\n%.6f\n21\n%.6f\n31\n0\n",
                          i + 0x100, s.x1(), s.y1(), s.x2(), s.y2());
            dxf += buf;
        }
        dxf += "0\nENDSEC\n0\nEOF\n";
        QString path = dir.filePath(QStringLiteral("million.dxf"));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(dxf.data(), static_cast<qint64>(dxf.size()));
        f.close();
        dxf.clear();
        dxf.shrink_to_fit();

        QElapsedTimer t;
        t.start();
        engine.OpenDrawing(path);
        openSeconds = t.nsecsElapsed() / 1e9;
        t.restart();
        scene.attach(*engine.document(), path, QString());
        scene.scene().index();
        buildSeconds = t.nsecsElapsed() / 1e9;
    }

    ddvue::render::ViewTransform fullView()
    {
        ddvue::render::ViewTransform v;
        v.setViewport(kWidth, kHeight);
        v.zoomToExtents(scene.scene().extents());
        return v;
    }
    // A tenth of the full view's width and height, around the middle.
    ddvue::render::ViewTransform zoomedView()
    {
        ddvue::render::ViewTransform v = fullView();
        v.setScale(v.scale() * 10);
        return v;
    }
};

Fixture& fixture()
{
    static std::unique_ptr<Fixture> f = std::make_unique<Fixture>();
    return *f;
}

// Plain drawing: the segments already in picture coordinates, one call.
void plain(benchmark::State& state, bool zoomed)
{
    Fixture& f = fixture();
    ddvue::render::ViewTransform v = zoomed ? f.zoomedView() : f.fullView();
    std::vector<QLineF> screen;
    screen.reserve(f.segments.size());
    for (const QLineF& s : f.segments) screen.emplace_back(v.toScreen(s.p1()), v.toScreen(s.p2()));
    for (auto _ : state) {
        QPainter p(&f.image);
        p.fillRect(f.image.rect(), Qt::black);
        p.setPen(QPen(Qt::white, 0));
        p.drawLines(screen.data(), static_cast<int>(screen.size()));
    }
}

void scene(benchmark::State& state, bool zoomed)
{
    Fixture& f = fixture();
    ddvue::render::ViewTransform v = zoomed ? f.zoomedView() : f.fullView();
    ddvue::render::ScenePainter painter;
    for (auto _ : state) {
        QPainter p(&f.image);
        painter.paint(p, f.scene.scene(), v, ddvue::render::PaintOptions());
    }
    const auto& st = painter.lastStats();
    state.counters["considered"] = static_cast<double>(st.considered);
    state.counters["drawn"] = static_cast<double>(st.drawn);
    state.counters["dots"] = static_cast<double>(st.dots);
}

void BM_PlainDrawLines_FullView(benchmark::State& s) { plain(s, false); }
void BM_Scene_FullView(benchmark::State& s) { scene(s, false); }
void BM_PlainDrawLines_ZoomedTenth(benchmark::State& s) { plain(s, true); }
void BM_Scene_ZoomedTenth(benchmark::State& s) { scene(s, true); }

void BM_OpenAndBuild(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) benchmark::DoNotOptimize(f.scene.scene().liveCount());
    state.counters["open_s"] = f.openSeconds;
    state.counters["scene_s"] = f.buildSeconds;
    state.counters["primitives"] = static_cast<double>(f.scene.scene().liveCount());
}

BENCHMARK(BM_OpenAndBuild)->Iterations(1);
BENCHMARK(BM_PlainDrawLines_FullView)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Scene_FullView)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PlainDrawLines_ZoomedTenth)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Scene_ZoomedTenth)->Unit(benchmark::kMillisecond)->MinTime(2.0);

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
