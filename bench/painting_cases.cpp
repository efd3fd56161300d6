// Cases 1 to 5: the engine's paintings beside the literal painter of the figure tests.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "bench_prompts.h"
#include "figure/figure_engine.h"
#include "figure/reference_painter_support.h"

namespace {

struct View {
    int width = 1200;
    int height = 900;
    double exponent = -7.0;
    double centreX = 0.0;
    double centreY = 0.0;
    bool everything = false;  // every item of every order switched on
};

struct Painting {
    explicit Painting(const View& view) {
        FigureEngine& f = *figure;
        f.m_nWidth = view.width;
        f.m_nHeight = view.height;
        f.m_dMagnExp = view.exponent;
        f.m_dCentreX = view.centreX;
        f.m_dCentreY = view.centreY;
        if (view.everything) {
            for (OrderSettings& o : f.m_orders) {
                o.drawItems = {1, 1, 1, 1, 1, 1, 1, 1};
                o.drawOrder = 1;
            }
        }
        f.m_nRowBytes = (f.m_nWidth * 3 + 3) / 4 * 4;
        pixels.assign(static_cast<std::size_t>(f.m_nRowBytes) * f.m_nHeight, 0);
    }
    std::unique_ptr<FigureEngine> figure = std::make_unique<FigureEngine>();
    std::vector<std::uint8_t> pixels;
    BenchPrompts ui;
};

// Resident memory in MB from /proc/self/status: "VmRSS" now, "VmHWM" the peak since the last
// reset; -1 where the file is missing.
double StatusMegabytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == std::string(key) + ":") {
            double kilobytes = 0;
            status >> kilobytes;
            return kilobytes / 1024.0;
        }
    }
    return -1.0;
}

// Starts a new peak for VmHWM (Linux: writing 5 to clear_refs resets the high-water mark).
void ResetPeakMemory() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

void PaintWithEngine(benchmark::State& state, View view, bool measureMemory) {
    Painting p(view);
    double before = 0.0;
    if (measureMemory) {
        ResetPeakMemory();
        before = StatusMegabytes("VmRSS");
    }
    for (auto _ : state) {
        p.figure->PaintFigure(p.pixels.data(), -1, p.ui);
        benchmark::DoNotOptimize(p.pixels.data());
        benchmark::ClobberMemory();
    }
    state.counters["shapes"] = p.figure->m_nShapes;
    if (measureMemory) {
        state.counters["picture_MB"] = static_cast<double>(p.pixels.size()) / (1024.0 * 1024.0);
        state.counters["peak_growth_MB"] = StatusMegabytes("VmHWM") - before;
    }
}

void PaintLiterally(benchmark::State& state, View view) {
    Painting p(view);
    for (auto _ : state) {
        ReferencePainter(*p.figure).Paint(p.pixels.data(), -1, p.ui);
        benchmark::DoNotOptimize(p.pixels.data());
        benchmark::ClobberMemory();
    }
}

// One row of the table: the engine with five repetitions, the literal painter with fewer when
// a single painting takes seconds.
void RegisterCase(const std::string& label, const View& view, int literalRepetitions,
                  bool measureMemory = false) {
    benchmark::RegisterBenchmark((label + kEngineSuffix).c_str(), PaintWithEngine, view,
                                 measureMemory)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
    auto* literal =
        benchmark::RegisterBenchmark((label + kReferenceSuffix).c_str(), PaintLiterally, view)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime();
    if (literalRepetitions > 0) literal->Iterations(1)->Repetitions(literalRepetitions);
}

constexpr char kCase1[] = "1 default 1200x900";
constexpr char kCase3Default[] = "3 deep zoom 9, centre (0,0)";
constexpr char kCase3Far[] = "3 deep zoom 9, centre (3000,2000)";
constexpr char kCase4[] = "4 far out -12";
constexpr char kCase5[] = "5 default view 7680x4320";

}  // namespace

void RegisterPaintingCases() {
    RegisterCase(kCase1, View{}, 0);
    View everything{1920, 1080};
    everything.everything = true;
    RegisterCase("2 everything on 1920x1080", everything, 0);
    RegisterCase(kCase3Default, View{1200, 900, 9.0}, 0);
    RegisterCase(kCase3Far, View{1200, 900, 9.0, 3000.0, 2000.0}, 0);
    RegisterCase(kCase4, View{1200, 900, -12.0}, 3);
    // The scale is 2^exponent times half the width, so exponent -7 shows the default region's
    // width at any picture width.
    RegisterCase(kCase5, View{7680, 4320, -7.0}, 3, true);
}

void PrintPaintingTargets(const SuiteResults& results, std::ostream& out) {
    const CaseMedians* one = results.Find(kCase1);
    char detail[160];
    if (one != nullptr) {
        std::snprintf(detail, sizeof detail, "%.2f ms [%.2f ms]", one->engineCpuMs, one->engineMs);
        PrintTarget(out, "case 1 within 10 ms", true, one->engineCpuMs <= 10.0, detail);
        const bool literal = one->referenceCpuMs > 0;
        const double speedup = literal ? one->referenceCpuMs / one->engineCpuMs : 0.0;
        std::snprintf(detail, sizeof detail, "%.1fx [%.1fx]", speedup,
                      literal ? one->referenceMs / one->engineMs : 0.0);
        PrintTarget(out, "case 1 at least 3x faster than the literal painter", literal,
                    speedup >= 3.0, detail);
    } else {
        PrintTarget(out, "case 1", false, false, "");
    }
    auto relative = [&](const char* label, double limit, const char* what) {
        const CaseMedians* row = results.Find(label);
        const bool measured = row != nullptr && one != nullptr;
        const double ratio = measured ? row->engineCpuMs / one->engineCpuMs : 0.0;
        std::snprintf(detail, sizeof detail, "%.1fx case 1 [%.1fx]", ratio,
                      measured ? row->engineMs / one->engineMs : 0.0);
        PrintTarget(out, what, measured, ratio <= limit, detail);
    };
    relative(kCase3Default, 20.0, "case 3 (centre 0,0) at most 20x case 1");
    relative(kCase3Far, 20.0, "case 3 (far centre) at most 20x case 1");
    relative(kCase4, 10.0, "case 4 at most 10x case 1");
    relative(kCase5, 30.0, "case 5 at most 30x case 1 (30.7x the pixels)");
    // The resident memory the painting adds beyond the picture, from the row's counters.
    const CaseMedians* five = results.Find(kCase5);
    const auto at = five != nullptr ? five->note.find("peak_growth_MB=") : std::string::npos;
    const double growth = at != std::string::npos ? std::atof(five->note.c_str() + at + 15) : -1.0;
    std::snprintf(detail, sizeof detail, "%.1f MB beyond the picture", growth);
    PrintTarget(out, "case 5 peak memory at most the picture plus 8 MB", growth >= 0, growth <= 8.0,
                detail);
}
