// The content pipeline on a large drawing: the content export against the
// road from the content document to the grid's CSV, stage by stage, and the
// record filter over all rows.
//
// The drawing is TESSILUX_BENCH_DRAWING, or a drawing of 100000 block
// attributes that make_pipeline_drawing.py (beside this file) writes into the
// system's temporary folder on the first run.

#include "BenchDrawing.h"
#include "app/CommandLine.h"
#include "app/ExportCommands.h"
#include "data/Recordset.h"
#include "data/XmlRecords.h"
#include "ddvue/DDVueEngine.h"
#include "extract/CategoryContent.h"
#include "extract/FlatDocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <sstream>

namespace {


ddvue::DDVueEngine& engine()
{
    static std::unique_ptr<ddvue::DDVueEngine> e = [] {
        auto engine = std::make_unique<ddvue::DDVueEngine>();
        QString p = bench::drawingPath();
        if (!engine->OpenDrawing(p)) std::fprintf(stderr, "cannot open %s\n", qPrintable(p));
        return engine;
    }();
    return *e;
}

const std::string& attributeContent()
{
    static const std::string content = engine().contentDocument(true, false, false, false);
    return content;
}

const std::string& attributeFlat()
{
    static const std::string flat = extract::flatDocumentOfContent(attributeContent(), extract::FlatAttributes);
    return flat;
}

// The two commands as the command line runs them, output to a file.
void runCommand(benchmark::State& state, const QStringList& args)
{
    QString out = QDir::temp().filePath(QStringLiteral("tessilux-bench-out"));
    QStringList full = args;
    full << QStringLiteral("-o") << out;
    for (auto _ : state) {
        std::ostringstream o, e;
        if (app::runCommand(full, o, e) != 0) state.SkipWithError(e.str().c_str());
    }
    QFile::remove(out);
}

void CommandExportContent(benchmark::State& state)
{
    runCommand(state, {QStringLiteral("export"), bench::drawingPath()});
}
BENCHMARK(CommandExportContent)->Unit(benchmark::kMillisecond)->MinTime(3);

void CommandExportCsv(benchmark::State& state)
{
    runCommand(state, {QStringLiteral("export"), bench::drawingPath(), QStringLiteral("--format"), QStringLiteral("csv")});
}
BENCHMARK(CommandExportCsv)->Unit(benchmark::kMillisecond)->MinTime(3);

// The stages, each on the output of the one before.
void OpenDrawing(benchmark::State& state)
{
    for (auto _ : state) {
        ddvue::DDVueEngine e;
        QString p = bench::drawingPath();
        benchmark::DoNotOptimize(e.OpenDrawing(p));
    }
}
BENCHMARK(OpenDrawing)->Unit(benchmark::kMillisecond);

void ContentDocumentAll(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(engine().contentDocument(true, true, true, true));
}
BENCHMARK(ContentDocumentAll)->Unit(benchmark::kMillisecond);

void ContentDocumentAttributes(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(engine().contentDocument(true, false, false, false));
}
BENCHMARK(ContentDocumentAttributes)->Unit(benchmark::kMillisecond);

void NormalizeContent(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(extract::normalizeExportXml(attributeContent()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(attributeContent().size()));
}
BENCHMARK(NormalizeContent)->Unit(benchmark::kMillisecond);

void FlatFromContent(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(extract::flatDocumentOfContent(attributeContent(), extract::FlatAttributes));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(attributeContent().size()));
}
BENCHMARK(FlatFromContent)->Unit(benchmark::kMillisecond);

void ReadRecords(benchmark::State& state)
{
    const std::string& flat = attributeFlat();
    for (auto _ : state) {
        data::RecordTable table;
        data::readXmlRecords(QByteArrayView(flat.data(), static_cast<qsizetype>(flat.size())), table);
        benchmark::DoNotOptimize(table.rowCount());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(flat.size()));
}
BENCHMARK(ReadRecords)->Unit(benchmark::kMillisecond);

// Content document to recordset, as the grid fill and the CSV export run it.
void LoadCategory(benchmark::State& state)
{
    for (auto _ : state) {
        data::Recordset rs;
        extract::loadCategory(engine(), extract::Category::Attributes, rs);
        benchmark::DoNotOptimize(rs.RecordCount());
    }
}
BENCHMARK(LoadCategory)->Unit(benchmark::kMillisecond);

data::Recordset& attributeRecordset()
{
    static data::Recordset recordset;
    if (!recordset.isOpen()) extract::loadCategory(engine(), extract::Category::Attributes, recordset);
    return recordset;
}

void Csv(benchmark::State& state)
{
    data::Recordset& rs = attributeRecordset();
    rs.setFilter(QString());
    for (auto _ : state) benchmark::DoNotOptimize(extract::categoryCsv(rs, extract::Category::Attributes));
}
BENCHMARK(Csv)->Unit(benchmark::kMillisecond);

// Filters over all 100000 rows: setting one evaluates it on every row.
void Filter(benchmark::State& state, const char* text)
{
    data::Recordset& rs = attributeRecordset();
    QString filter = QString::fromUtf8(text);
    long rows = 0;
    for (auto _ : state) {
        rs.setFilter(filter);
        rows = rs.RecordCount();
    }
    state.counters["rows"] = static_cast<double>(rows);
    rs.setFilter(QString());
}
BENCHMARK_CAPTURE(Filter, equal, "AttributeTag = 'sheet'")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Filter, like_contains, "AttributeValue LIKE '*LEADING*'")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Filter, and_or_parens,
                  "(AttributeValue LIKE 'say*' OR AttributeValue LIKE '*ok') AND Layout <> 'Model' OR X = '7'")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Filter, number, "X >= 250 AND Y < 100")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    app::registerExportCommands();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
