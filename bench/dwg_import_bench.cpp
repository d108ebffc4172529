// Reading a DWG, whole and by its steps: Node starting, loading the DWG
// library and reading the file alone (what no reader can go below), the
// reader process, turning its JSON into DXF, loading that DXF, and the whole
// import. The drawing is TESSILUX_BENCH_DWG, else the largest corpus DWG;
// `tessilux info` on the same file is timed beside it for the whole program.

#include "ddvue/dwg/DwgDxfWriter.h"
#include "ddvue/dwg/DwgImport.h"
#include "ddvue/dwg/DwgJson.h"
#include "ddvue/dxf/Document.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>

#include <benchmark/benchmark.h>

#ifndef TESSILUX_SOURCE_DIR
#define TESSILUX_SOURCE_DIR "."
#endif
#ifndef TESSILUX_PROGRAM
#define TESSILUX_PROGRAM "tessilux"
#endif

namespace {

const QString kReaderDir = QStringLiteral(TESSILUX_SOURCE_DIR "/src/ddvue/dwg/reader");

std::string drawing()
{
    QByteArray fromEnv = qgetenv("TESSILUX_BENCH_DWG");
    return fromEnv.isEmpty() ? std::string(TESSILUX_SOURCE_DIR "/tests/corpus/sample_R14.dwg") : fromEnv.toStdString();
}

QByteArray run(const QString& program, const QStringList& args, QProcess::ProcessChannel channel = QProcess::StandardOutput)
{
    QProcess p;
    p.setWorkingDirectory(kReaderDir);
    p.start(program, args);
    p.waitForFinished(600000);
    return channel == QProcess::StandardOutput ? p.readAllStandardOutput() : p.readAllStandardError();
}

QByteArray readerJson()
{
    static QByteArray json =
        run("node", {"--liftoff-only", kReaderDir + "/read-dwg.mjs", QString::fromStdString(drawing())});
    return json;
}

// The floor: Node starting, the library loading and reading the file.
void nodeLoadAndReadOnly(benchmark::State& state)
{
    const QString script = QStringLiteral(
        "const { LibreDwg } = await import('@mlightcad/libredwg-web');"
        "const { readFileSync } = await import('node:fs');"
        "const lib = await LibreDwg.create(process.cwd() + '/node_modules/@mlightcad/libredwg-web/wasm');"
        "lib.wasmInstance.FS.writeFile('/d.dwg', readFileSync(process.argv[1]));"
        "const r = lib.wasmInstance.dwg_read_file('/d.dwg');"
        "process.stdout.write(String(r.error));");
    for (auto _ : state) {
        QByteArray out = run("node", {"--liftoff-only", "--input-type=module", "-e", script, QString::fromStdString(drawing())});
        if (out.isEmpty()) state.SkipWithError("node did not read the drawing");
    }
}
BENCHMARK(nodeLoadAndReadOnly)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void readerProcess(benchmark::State& state)
{
    for (auto _ : state) {
        QByteArray json = run("node", {"--liftoff-only", kReaderDir + "/read-dwg.mjs", QString::fromStdString(drawing())});
        state.counters["json_bytes"] = static_cast<double>(json.size());
    }
}
BENCHMARK(readerProcess)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The reader's answer taken in whole, as the program does line by line
// while the reader runs.
void jsonParse(benchmark::State& state)
{
    QByteArray json = readerJson();
    for (auto _ : state) {
        ddvue::dwg::ReaderAnswer answer;
        answer.add(json.constData(), static_cast<std::size_t>(json.size()));
        std::string error;
        if (!answer.finish(error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(answer.drawing());
    }
}
BENCHMARK(jsonParse)->Unit(benchmark::kMillisecond);

// The same lines with Qt's JSON classes, for comparison.
void jsonParseQt(benchmark::State& state)
{
    QList<QByteArray> lines = readerJson().split('\n');
    for (auto _ : state)
        for (const QByteArray& line : lines) benchmark::DoNotOptimize(QJsonDocument::fromJson(line));
}
BENCHMARK(jsonParseQt)->Unit(benchmark::kMillisecond);

ddvue::dwg::JsonObject parsed(ddvue::dwg::ReaderAnswer& answer)
{
    QByteArray json = readerJson();
    answer.add(json.constData(), static_cast<std::size_t>(json.size()));
    std::string error;
    answer.finish(error);
    return answer.drawing();
}

void jsonToDxf(benchmark::State& state)
{
    ddvue::dwg::ReaderAnswer answer;
    ddvue::dwg::JsonObject d = parsed(answer);
    for (auto _ : state) {
        ddvue::dwg::DxfFromDwg out = ddvue::dwg::writeDxfFromDwg(d);
        benchmark::DoNotOptimize(out.dxf.data());
        state.counters["dxf_bytes"] = static_cast<double>(out.dxf.size());
    }
}
BENCHMARK(jsonToDxf)->Unit(benchmark::kMillisecond);

void dxfLoad(benchmark::State& state)
{
    ddvue::dwg::ReaderAnswer answer;
    std::string dxf = ddvue::dwg::writeDxfFromDwg(parsed(answer)).dxf;
    for (auto _ : state) {
        ddvue::dxf::Document doc;
        benchmark::DoNotOptimize(doc.load(std::string(dxf)));
    }
}
BENCHMARK(dxfLoad)->Unit(benchmark::kMillisecond);

void wholeImport(benchmark::State& state)
{
    for (auto _ : state) {
        ddvue::dwg::ImportResult r = ddvue::dwg::importDwg(drawing());
        if (!r.ok) state.SkipWithError(r.error.c_str());
        ddvue::dxf::Document doc;
        benchmark::DoNotOptimize(doc.load(std::move(r.dxf)));
    }
}
BENCHMARK(wholeImport)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void programInfo(benchmark::State& state)
{
    for (auto _ : state) {
        QByteArray out = run(QStringLiteral(TESSILUX_PROGRAM), {"info", QString::fromStdString(drawing())});
        if (!out.contains("Layers:")) state.SkipWithError("tessilux info failed");
    }
}
BENCHMARK(programInfo)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
