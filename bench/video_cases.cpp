// Case 14: 1280 x 720 frames of the figure, a slow zoom into the default view, encoded into
// video files: H.264 in MP4 and VP9 in WebM. The frames are painted beforehand, so the times are
// the encoding's alone (the colour conversion, the encoder and the file).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench_cases.h"
#include "bench_prompts.h"
#include "document/video_file.h"
#include "figure/band_painting.h"
#include "figure/figure_engine.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kFrames = 300;  // 10 s at 30 frames a second
constexpr char kH264[] = "14 video H.264 1280x720, 300 frames";
constexpr char kVp9[] = "14 video VP9 1280x720, 300 frames";

// Painted frames of a zoom by a factor of two in 10 s; they are played forth and back, so that
// every frame follows its neighbour as in the animation without holding 300 pictures.
struct ZoomFrames {
    static constexpr int kCount = 24;
    ZoomFrames() {
        auto figure = std::make_unique<FigureEngine>();
        figure->m_nWidth = kWidth;
        figure->m_nHeight = kHeight;
        figure->m_nRowBytes = kWidth * 3;
        BenchPrompts ui;
        for (int i = 0; i < kCount; ++i) {
            figure->m_dMagnExp = -7.0 + i / 300.0;
            frames.emplace_back(static_cast<std::size_t>(figure->m_nRowBytes) * kHeight);
            PaintFigureThreaded(*figure, frames.back().data(), -1, ui, 2);
        }
    }
    // The top row of frame n and its stride (the picture block is bottom-up).
    const std::uint8_t* Top(int n) const {
        const int cycle = n % (2 * kCount - 2);
        const int index = cycle < kCount ? cycle : 2 * kCount - 2 - cycle;
        return frames[index].data() + static_cast<std::size_t>(kWidth) * 3 * (kHeight - 1);
    }
    static std::ptrdiff_t Stride() { return -static_cast<std::ptrdiff_t>(kWidth) * 3; }
    std::vector<std::vector<std::uint8_t>> frames;
};

void EncodeVideo(benchmark::State& state, VideoKind kind) {
    static const ZoomFrames zoom;
    const auto path = std::filesystem::temp_directory_path() /
                      (kind == VideoKind::Mp4H264 ? "dorvanta-bench.mp4" : "dorvanta-bench.webm");
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        std::string cause;
        auto video = VideoFile::Create(path, {kWidth, kHeight, 30, -1, kind, 0}, cause);
        bool written = video != nullptr;
        for (int n = 0; written && n < kFrames; ++n)
            written = video->AddFrame(zoom.Top(n), ZoomFrames::Stride());
        if (!written || !video->Finish()) {
            state.SkipWithError((video ? video->Cause() : cause).c_str());
            break;
        }
        bytes = std::filesystem::file_size(path);
    }
    std::filesystem::remove(path);
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(kFrames) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

}  // namespace

void RegisterVideoCases() {
    // The encoder module of this build, not an installed one.
    setenv("DORVANTA_VIDEO_MODULE", DORVANTA_VIDEO_MODULE, 0);
    for (const auto& [label, kind] :
         {std::pair{kH264, VideoKind::Mp4H264}, std::pair{kVp9, VideoKind::WebmVp9}}) {
        benchmark::RegisterBenchmark(label, EncodeVideo, kind)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime()
            ->Iterations(1)
            ->Repetitions(3);
    }
}

// Two thirds of the animation's 10 s, the painting taking the rest. x264's frame threads keep
// both cores busy, so half the CPU time is the time on two idle cores; a loaded machine stretches
// the real time alone.
void PrintVideoTargets(const SuiteResults& results, std::ostream& out) {
    const CaseMedians* h264 = results.Find(kH264);
    const bool measured = h264 != nullptr;
    const double twoCoreSeconds = measured ? h264->engineCpuMs / 2e3 : 0.0;
    char detail[96];
    std::snprintf(detail, sizeof detail, "%.2f s on two cores (%.2f s CPU, %.2f s real)",
                  twoCoreSeconds, measured ? h264->engineCpuMs / 1e3 : 0.0,
                  measured ? h264->engineMs / 1e3 : 0.0);
    PrintTarget(out, "case 14 H.264: 10 s of 1280x720 at 30 frames/s encoded within 6 s", measured,
                twoCoreSeconds <= 6.0, detail);
}
