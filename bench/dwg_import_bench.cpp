// Reading a DWG: the whole import (reader process, JSON, DXF, engine load)
// of the largest corpus drawing, and the program's own part alone (turning
// the reader's JSON into DXF), without the process.

#include "ddvue/dwg/DwgDxfWriter.h"
#include "ddvue/dwg/DwgImport.h"
#include "ddvue/dxf/Document.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QProcess>

#include <benchmark/benchmark.h>

#ifndef TESSILUX_SOURCE_DIR
#define TESSILUX_SOURCE_DIR "."
#endif

namespace {

const std::string kDrawing = TESSILUX_SOURCE_DIR "/tests/corpus/sample_R14.dwg";

void wholeImport(benchmark::State& state)
{
    for (auto _ : state) {
        ddvue::dwg::ImportResult r = ddvue::dwg::importDwg(kDrawing);
        if (!r.ok) state.SkipWithError(r.error.c_str());
        ddvue::dxf::Document doc;
        benchmark::DoNotOptimize(doc.load(std::move(r.dxf)));
    }
}
BENCHMARK(wholeImport)->Unit(benchmark::kMillisecond)->Iterations(5);

void jsonToDxf(benchmark::State& state)
{
    QProcess p;
    p.start("node", {"--liftoff-only", TESSILUX_SOURCE_DIR "/src/ddvue/dwg/reader/read-dwg.mjs", QString::fromStdString(kDrawing)});
    p.waitForFinished(120000);
    QByteArray json = p.readAllStandardOutput();
    state.counters["json_bytes"] = static_cast<double>(json.size());
    for (auto _ : state) {
        QJsonDocument d = QJsonDocument::fromJson(json);
        ddvue::dwg::DxfFromDwg out = ddvue::dwg::writeDxfFromDwg(d.object());
        benchmark::DoNotOptimize(out.dxf.data());
        state.counters["dxf_bytes"] = static_cast<double>(out.dxf.size());
    }
}
BENCHMARK(jsonToDxf)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
