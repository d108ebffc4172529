// The spelling check's Change All on one long value: a misspelt word that
// stands 750 and 7,500 times in the value (each after a word the dictionary
// knows),
// changed everywhere at its first stop. The time should grow with the value
// (ten times the occurrences, about ten times the time).
//
// ChangeAll/N      with the American English Hunspell dictionary
//                  (hunspell-en-us), as the zoom editor runs it;
// ChangeAllList/N  with a small word list in its place, so that the check's
//                  own work shows without the dictionary's.
//
//   build/bench/spelling_bench --benchmark_repetitions=5

#include "Doubles.h"
#include "platform/Spelling.h"
#include "zoom/SpellCheck.h"

#include <QDir>
#include <QString>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// A value with "flooor" (for floor) `occurrences` times, each after a word
// the dictionary knows, ten to a line; line breaks as the editor has them.
QString noteWith(long occurrences)
{
    QString text;
    for (long i = 0; i < occurrences; ++i)
        text += (i % 10 == 9) ? QStringLiteral("the flooor.\n") : QStringLiteral("the flooor, ");
    return text;
}

void changeAll(benchmark::State& state, platform::Speller& speller)
{
    const QString text = noteWith(state.range(0));
    for (auto _ : state) {
        zoom::SpellCheck check(text, speller);
        if (!check.next() || check.word() != QLatin1String("flooor")) {
            state.SkipWithError("the misspelt word was not found first");
            return;
        }
        check.changeAll(QStringLiteral("floor"));
        if (!check.atEnd()) {
            state.SkipWithError("a word other than the misspelt one stopped the check");
            return;
        }
        benchmark::DoNotOptimize(check.text());
    }
    state.counters["occurrences"] = static_cast<double>(state.range(0));
}

void ChangeAll(benchmark::State& state)
{
    platform::HunspellService service;
    service.language = QStringLiteral("en_US");
    // No personal words: the dictionary alone.
    service.personalWordList = QDir::temp().filePath(QStringLiteral("tessilux-bench-no-personal-words.dic"));
    QString why;
    std::unique_ptr<platform::Speller> speller = service.open(zoom::wordListWriter(), &why);
    if (!speller) {
        state.SkipWithError(why.toStdString().c_str());
        return;
    }
    changeAll(state, *speller);
}

void ChangeAllList(benchmark::State& state)
{
    platform::WordListService service;
    service.words = {QStringLiteral("the"), QStringLiteral("floor")};
    std::unique_ptr<platform::Speller> speller = service.open({});
    changeAll(state, *speller);
}

}  // namespace

BENCHMARK(ChangeAll)->Arg(750)->Arg(7500)->Unit(benchmark::kMillisecond);
BENCHMARK(ChangeAllList)->Arg(750)->Arg(7500)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
