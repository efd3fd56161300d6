// Case 13: animations. An animated PNG of 60 frames at 600 x 450 (every frame decoded and compared
// with its painting afterwards), and a 10 s animation at 30 fps, 1280 x 720: its painting alone,
// frame after frame, and the whole export as H.264 in MP4.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "bench_cases.h"
#include "bench_prompts.h"
#include "document/animation.h"
#include "document/dat_file.h"
#include "figure/figure_engine.h"
#include "picture/png_file.h"
#include "support/apng_frames.h"

namespace {

constexpr char kApng[] = "13 animated PNG 60 frames 600x450";
constexpr char kPainting[] = "13 painting of 10 s at 30 fps 1280x720";
constexpr char kH264[] = "13 H.264 10 s at 30 fps 1280x720";

// A zoom by a factor of eight towards a point off the middle, with the colours changing.
AnimationPlan ZoomPlan(int width, int height, double seconds) {
    FigureEngine from, to;
    to.m_dMagnExp = from.m_dMagnExp + 3;
    to.m_dCentreX = 40;
    to.m_dCentreY = 25;
    to.m_nUn += 3;
    to.SetColour(0x0030C060, 8);
    to.m_orders[0].transparency = 0.2;
    AnimationPlan plan;
    plan.keyframes = {from, to};
    plan.durations = {seconds};
    plan.fps = 30;
    plan.width = width;
    plan.height = height;
    return plan;
}

std::string TempPath(const char* extension) {
    return (std::filesystem::temp_directory_path() /
            ("dorvanta-bench-animation-" + std::to_string(::getpid()) + extension))
        .string();
}

void Export(benchmark::State& state, const AnimationPlan& plan, const std::string& path) {
    BenchPrompts ui;
    for (auto _ : state) {
        if (ExportAnimation(plan, path, ui) != AnimationResult::Written) {
            state.SkipWithError("the export failed");
            break;
        }
    }
}

void AnimatedPng(benchmark::State& state) {
    Export(state, ZoomPlan(600, 450, 59.0 / 30), TempPath(".png"));
}

void PaintingAlone(benchmark::State& state) {
    const AnimationPlan plan = ZoomPlan(1280, 720, 10);
    BenchPrompts ui;
    DibHandle picture;
    for (auto _ : state) {
        for (std::int64_t frame = 0; frame < FrameCount(plan); ++frame) {
            PaintAnimationFrame(plan, frame, picture, ui);
        }
        benchmark::DoNotOptimize(picture->Bytes());
    }
}

void H264(benchmark::State& state) {
    const std::string path = TempPath(".mp4");
    Export(state, ZoomPlan(1280, 720, 10), path);
    std::remove(path.c_str());
}

// Whether every frame of the animated PNG case decodes to the painting of its figure.
bool EveryFrameExact() {
    const AnimationPlan plan = ZoomPlan(600, 450, 59.0 / 30);
    const std::string path = TempPath(".png");
    std::ifstream in(path, std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::remove(path.c_str());
    const std::vector<std::string> frames = StillFramesOfAnimatedPng(file);
    if (frames.size() != 60) return false;
    BenchPrompts ui;
    for (std::size_t n = 0; n < frames.size(); ++n) {
        DibHandle decoded, painted;
        PictureSize size;
        std::optional<std::string> text;
        if (!PngReadPictureFromMemory(reinterpret_cast<const std::uint8_t*>(frames[n].data()),
                                      frames[n].size(), "frame", decoded, size, text, ui) ||
            !PaintAnimationFrame(plan, static_cast<std::int64_t>(n), painted, ui) ||
            decoded->Size() != painted->Size() ||
            std::memcmp(decoded->Bytes(), painted->Bytes(), painted->Size()) != 0) {
            return false;
        }
    }
    return true;
}

// The peak memory of dorvanta-render writing a 3840 x 2160 animation, in MB, or -1.
double PeakMegabytes(const char* extension) {
    const std::string folder = TempPath("-keys");
    std::filesystem::create_directory(folder);
    const AnimationPlan plan = ZoomPlan(3840, 2160, 1);
    for (int k = 0; k < 2; ++k)
        SaveDatFile(plan.keyframes[k], folder + "/" + std::to_string(k) + ".dat");
    const std::optional<ProcessUsage> usage = RunMeasured(
        {DORVANTA_RENDER, "--animate", folder + "/0.dat", folder + "/1.dat", "--duration", "1s",
         "--fps", "12", "--size", "3840x2160", "--quiet", "-o", folder + "/out" + extension});
    std::filesystem::remove_all(folder);
    return usage ? usage->peakMegabytes : -1;
}

}  // namespace

void RegisterAnimationCases() {
    using Run = void (*)(benchmark::State&);
    for (auto [label, run] :
         {std::pair<const char*, Run>{kApng, AnimatedPng}, {kPainting, PaintingAlone}}) {
        benchmark::RegisterBenchmark((std::string(label) + kEngineSuffix).c_str(), run)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime()
            ->Iterations(1);
    }
    // About ten seconds a run: three runs are enough for a median.
    benchmark::RegisterBenchmark((std::string(kH264) + kEngineSuffix).c_str(), H264)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime()
        ->Iterations(1)
        ->Repetitions(3);
}

void PrintAnimationTargets(const SuiteResults& results, std::ostream& out) {
    const CaseMedians* apng = results.Find(kApng);
    const CaseMedians* painting = results.Find(kPainting);
    const CaseMedians* h264 = results.Find(kH264);
    char detail[96] = "";
    if (apng != nullptr) std::snprintf(detail, sizeof detail, "%.0f ms", apng->engineMs);
    PrintTarget(out, "case 13 animated PNG: every frame decoded equal to its painting",
                apng != nullptr, apng != nullptr && EveryFrameExact(), detail);
    // CPU time, as every target of the suite: on a loaded machine the better estimate of the
    // time on an idle one (and an upper bound there when the threads take turns).
    const bool measured = painting != nullptr && h264 != nullptr;
    if (measured) {
        std::snprintf(detail, sizeof detail, "%.0f ms CPU [%.0f ms wall]", h264->engineCpuMs,
                      h264->engineMs);
    }
    PrintTarget(out, "case 13 H.264 10 s at 1280x720 written within 10 s", measured,
                measured && h264->engineCpuMs <= 10000, detail);
    if (measured) {
        std::snprintf(detail, sizeof detail, "painting %.0f ms of %.0f ms CPU",
                      painting->engineCpuMs, h264->engineCpuMs);
    }
    PrintTarget(out, "case 13 the painting at most a third of the H.264 export", measured,
                measured && painting->engineCpuMs * 3 <= h264->engineCpuMs, detail);
    // Whatever the length: the frames held stay few, so one second tells.
    if (apng == nullptr) return;
    for (const char* extension : {".png", ".mp4", ".webm"}) {
        const double peak = PeakMegabytes(extension);
        std::snprintf(detail, sizeof detail, "%.0f MB", peak);
        PrintTarget(out,
                    std::string("case 13 3840x2160 ") + extension + " in under 300 MB of memory",
                    peak > 0, peak > 0 && peak < 300, detail);
    }
}
