// Throughput of each text-road stage on the 1 MB synthetic capture
// (bench/data/terminal-1M.txt, made by gen_terminal.py or bench_text.py).
#include "BoxTables.h"
#include "CodeBlocks.h"
#include "ControlChars.h"
#include "LineUnwrap.h"
#include "TerminalWidth.h"
#include "TextTransformer.h"
#include "Whitespace.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

using namespace lumeno;

namespace {

const std::string& capture()
{
    static const std::string text = [] {
        std::ifstream in(std::string(LUMENO_BENCH_DATA) + "/terminal-1M.txt", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }();
    return text;
}

// The Line list as each stage receives it in the pipeline.
struct Stages {
    LineList afterSplit, afterIndent, afterBoxes, afterQuotes, afterExtract, afterUnwrap, afterFields, afterRestore,
        afterSeparators;
    CodeBlocks::BlockTable blocks;
    std::int64_t width;

    Stages()
    {
        afterSplit = splitLines(ControlChars::strip(capture()));
        afterIndent = Whitespace::cleanLeadingWhitespace(afterSplit);
        afterBoxes = BoxTables::convertBoxTables(afterIndent);
        afterQuotes = Whitespace::stripBlockquoteMarkers(afterBoxes);
        width = TerminalWidth::detect(afterQuotes);
        std::tie(afterExtract, blocks) = CodeBlocks::extractCodeBlocks(afterQuotes, width);
        afterUnwrap = LineUnwrap::unwrapLines(afterExtract, width);
        afterFields = TextTransformer::splitMergedFields(afterUnwrap);
        afterRestore = CodeBlocks::restoreCodeBlocks(afterFields, blocks);
        afterSeparators = CodeBlocks::ensureBlockSeparators(afterRestore);
    }
};

const Stages& stages()
{
    static const Stages s;
    return s;
}

template <typename F>
void run(benchmark::State& state, F f)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(f());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * capture().size()));
}

} // namespace

static void Transform(benchmark::State& s) { run(s, [] { return TextTransformer::transform(capture()); }); }
static void Strip(benchmark::State& s) { run(s, [] { return ControlChars::strip(capture()); }); }
static void CleanLeading(benchmark::State& s) { run(s, [] { return Whitespace::cleanLeadingWhitespace(stages().afterSplit); }); }
static void BoxTablesStage(benchmark::State& s) { run(s, [] { return BoxTables::convertBoxTables(stages().afterIndent); }); }
static void Width(benchmark::State& s) { run(s, [] { return TerminalWidth::detect(stages().afterQuotes); }); }
static void Extract(benchmark::State& s) { run(s, [] { return CodeBlocks::extractCodeBlocks(stages().afterQuotes, stages().width); }); }
static void Unwrap(benchmark::State& s) { run(s, [] { return LineUnwrap::unwrapLines(stages().afterExtract, stages().width); }); }
static void Fields(benchmark::State& s) { run(s, [] { return TextTransformer::splitMergedFields(stages().afterUnwrap); }); }
static void Restore(benchmark::State& s) { run(s, [] { return CodeBlocks::restoreCodeBlocks(stages().afterFields, stages().blocks); }); }
static void Separators(benchmark::State& s) { run(s, [] { return CodeBlocks::ensureBlockSeparators(stages().afterRestore); }); }
static void Normalize(benchmark::State& s) { run(s, [] { return Whitespace::normalizeWhitespace(stages().afterSeparators); }); }

BENCHMARK(Transform)->Unit(benchmark::kMillisecond);
BENCHMARK(Strip)->Unit(benchmark::kMillisecond);
BENCHMARK(CleanLeading)->Unit(benchmark::kMillisecond);
BENCHMARK(BoxTablesStage)->Unit(benchmark::kMillisecond);
BENCHMARK(Width)->Unit(benchmark::kMillisecond);
BENCHMARK(Extract)->Unit(benchmark::kMillisecond);
BENCHMARK(Unwrap)->Unit(benchmark::kMillisecond);
BENCHMARK(Fields)->Unit(benchmark::kMillisecond);
BENCHMARK(Restore)->Unit(benchmark::kMillisecond);
BENCHMARK(Separators)->Unit(benchmark::kMillisecond);
BENCHMARK(Normalize)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
