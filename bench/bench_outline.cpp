// Timings of the block scanner on the texts the editor meets: a program at the scanner's range,
// the heaviest text of that range, and sources far beyond it. The literal transcription runs on
// the first two for comparison. Beside the scan, the outline the editor keeps: its first scan
// (Open) and its update after one byte typed in the middle of the text and taken back again.

#include "outline.h"
#include "outline/literalscan.h"
#include "scanblocks.h"
#include "sources.h"

#include <benchmark/benchmark.h>

#include <string>
#include <tuple>

namespace {

enum class Input { Realistic32k, Worst, Realistic1M, Realistic10M };

const std::string &source(Input input)
{
    static const std::string realistic32k = vornex::bench::realisticSource(32766);
    static const std::string worst = vornex::bench::worstCaseSource();
    static const std::string realistic1M = vornex::bench::realisticSource(std::size_t(1) << 20);
    static const std::string realistic10M = vornex::bench::realisticSource(std::size_t(10) << 20);
    switch (input) {
    case Input::Realistic32k:
        return realistic32k;
    case Input::Worst:
        return worst;
    case Input::Realistic1M:
        return realistic1M;
    case Input::Realistic10M:
        return realistic10M;
    }
    return worst;
}

// One list scanned again and again, as the editor keeps one for its whole life.
void BM_ScanBlocks(benchmark::State &state, Input input)
{
    const std::string &text = source(input);
    vornex::BlockList list;
    for (auto _ : state) {
        vornex::ScanBlocks(text, list);
        benchmark::DoNotOptimize(list.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["entries"] = static_cast<double>(list.size());
}

void BM_OutlineReset(benchmark::State &state, Input input)
{
    const std::string &text = source(input);
    vornex::Outline outline;
    for (auto _ : state) {
        outline.reset(text);
        benchmark::DoNotOptimize(outline.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["entries"] = static_cast<double>(outline.size());
}

// A byte in the middle of the text replaced and put back, in turn: the text keeps its length, so
// that the benchmark's own copy of it does not move.
void BM_OutlineKeystroke(benchmark::State &state, Input input)
{
    std::string text = source(input);
    vornex::Outline outline;
    outline.reset(text);
    const vornex::Outline::Text read{[&] { return text.size(); },
                                     [&](std::size_t at, std::size_t length) {
                                         return std::string_view(text).substr(at, length);
                                     }};
    const std::size_t middle = text.size() / 2;
    const char original = text[middle];
    for (auto _ : state) {
        text[middle] = text[middle] == original ? 'x' : original;
        outline.change(middle, 1, 1);
        benchmark::DoNotOptimize(outline.update(read));
    }
}

void BM_LiteralScan(benchmark::State &state, Input input)
{
    const std::string &text = source(input);
    for (auto _ : state) {
        const std::vector<std::string> entries = vornex::literal::ScanBlocks(text);
        benchmark::DoNotOptimize(entries.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    using Measure = void (*)(benchmark::State &, Input);
    const std::tuple<const char *, Measure, Input> runs[] = {
        {"BM_ScanBlocks/realistic_32766", BM_ScanBlocks, Input::Realistic32k},
        {"BM_ScanBlocks/worst_16383_nested", BM_ScanBlocks, Input::Worst},
        {"BM_ScanBlocks/realistic_1MiB", BM_ScanBlocks, Input::Realistic1M},
        {"BM_ScanBlocks/realistic_10MiB", BM_ScanBlocks, Input::Realistic10M},
        {"BM_OutlineReset/realistic_1MiB", BM_OutlineReset, Input::Realistic1M},
        {"BM_OutlineReset/realistic_10MiB", BM_OutlineReset, Input::Realistic10M},
        {"BM_OutlineKeystroke/realistic_10MiB", BM_OutlineKeystroke, Input::Realistic10M},
        {"BM_OutlineKeystroke/worst_16383_nested", BM_OutlineKeystroke, Input::Worst},
        {"BM_LiteralScan/realistic_32766", BM_LiteralScan, Input::Realistic32k},
    };
    for (const auto &[name, measure, input] : runs) {
        benchmark::RegisterBenchmark(name, measure, input)
            ->Unit(benchmark::kMicrosecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    // The literal scan walks back to the start of the text from every brace: about a second a run.
    benchmark::RegisterBenchmark("BM_LiteralScan/worst_16383_nested", BM_LiteralScan, Input::Worst)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
