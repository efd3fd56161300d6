// Case 11: the default figure and the far-out view painted by bands with one thread and with two;
// real time, since the point is the wall clock while every core works.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "bench_prompts.h"
#include "figure/band_painting.h"
#include "figure/figure_engine.h"

namespace {

constexpr char kDefault[] = "11 default 1200x900, ";
constexpr char kFarOut[] = "11 far out -12, ";

std::string Label(const char* view, int threads) {
    return view + std::to_string(threads) + (threads == 1 ? " thread" : " threads");
}

void PaintThreaded(benchmark::State& state, double exponent, int threads) {
    auto figure = std::make_unique<FigureEngine>();
    figure->m_dMagnExp = exponent;
    figure->m_nRowBytes = (figure->m_nWidth * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(figure->m_nRowBytes) *
                                     figure->m_nHeight);
    BenchPrompts ui;
    for (auto _ : state) {
        PaintFigureThreaded(*figure, pixels.data(), -1, ui, threads);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.counters["shapes"] = figure->m_nShapes;
}

}  // namespace

void RegisterThreadCases() {
    for (const auto& [view, exponent] : {std::pair{kDefault, -7.0}, std::pair{kFarOut, -12.0}}) {
        for (const int threads : {1, 2}) {
            benchmark::RegisterBenchmark(Label(view, threads).c_str(), PaintThreaded, exponent,
                                         threads)
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime()
                ->UseRealTime();
        }
    }
}

void PrintThreadTargets(const SuiteResults& results, std::ostream& out) {
    for (const char* view : {kDefault, kFarOut}) {
        const CaseMedians* one = results.Find(Label(view, 1));
        const CaseMedians* two = results.Find(Label(view, 2));
        const bool measured = one != nullptr && two != nullptr;
        const double speedup = measured ? one->engineMs / two->engineMs : 0.0;
        char detail[96];
        std::snprintf(detail, sizeof detail, "%.2fx (%.2f ms -> %.2f ms)", speedup,
                      measured ? one->engineMs : 0.0, measured ? two->engineMs : 0.0);
        const std::string what =
            std::string("case 11 ") + view + "two threads at least 1.7x faster than one";
        PrintTarget(out, what.c_str(), measured, speedup >= 1.7, detail);
    }
}
