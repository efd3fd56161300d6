// Case 12: dorvanta-render as a user runs it, a whole process on the wall clock with the files in
// memory (/dev/shm where there is one): one thread against the default count, the fixed cost of a
// run (a 2 x 2 picture against --version, a file manager's thumbnail), PNG against BMP for the
// default view and a poster. bench/whole_process.sh runs the same under hyperfine.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "document/dat_file.h"
#include "figure/figure_engine.h"

namespace {

namespace fs = std::filesystem;

// The files of the runs: the two parameter files and the pictures written.
class ProcessFolder {
  public:
    ProcessFolder() {
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        m_path = base / ("dorvanta-process-" + std::to_string(::getpid()));
        fs::create_directories(m_path);
        FigureEngine figure;
        WriteText("default.dat", DatFileText(figure));
        figure.m_dMagnExp = -9.0;
        figure.m_dCentreX = -300.0;
        figure.m_dCentreY = 150.0;
        WriteText("zoomed-out.dat", DatFileText(figure));
    }
    ~ProcessFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

  private:
    void WriteText(const char* name, const std::string& text) {
        std::ofstream(m_path / name, std::ios::binary) << text;
    }
    fs::path m_path;
};

const ProcessFolder& Folder() {
    static const ProcessFolder folder;
    return folder;
}

// One run: the arguments after the program, with {dir} standing for the folder.
void RenderRun(benchmark::State& state, std::vector<std::string> arguments) {
    std::vector<std::string> words = {DORVANTA_RENDER};
    for (std::string& word : arguments) {
        if (word.starts_with("{dir}/")) word = Folder().File(word.substr(6));
        words.push_back(word);
    }
    for (auto _ : state) {
        if (!RunTool(words)) state.SkipWithError("dorvanta-render failed");
    }
}

struct Run {
    std::string label;
    std::vector<std::string> arguments;
    int repetitions = 0;  // 0: the suite's default
};

const char kVersion[] = "12 --version";
const char kTiny[] = "12 2x2 picture";
const char kThumbnail[] = "12 --thumbnail 256 of a .dat";
const char kPosterBmp[] = "12 poster 12000x9000 BMP";
const char kPosterPng[] = "12 poster 12000x9000 PNG";

// The thread pairs: label stem and the arguments of both runs.
struct ThreadPair {
    std::string stem;
    std::vector<std::string> arguments;
    bool speedupTarget;  // two threads at least 1.5x faster
};

const std::vector<ThreadPair>& ThreadPairs() {
    static const std::vector<ThreadPair> pairs = {
        {"12 default 1200x900", {"{dir}/default.dat", "-o", "{dir}/t.bmp"}, false},
        {"12 default 3840x2160",
         {"{dir}/default.dat", "--size", "3840x2160", "-o", "{dir}/t.bmp"},
         true},
        {"12 zoomed out 2400x1800",
         {"{dir}/zoomed-out.dat", "--size", "2400x1800", "-o", "{dir}/t.bmp"},
         false},
        {"12 zoomed out 3840x2160",
         {"{dir}/zoomed-out.dat", "--size", "3840x2160", "-o", "{dir}/t.bmp"},
         true},
        {"12 default -o PNG", {"{dir}/default.dat", "-o", "{dir}/t.png"}, false},
    };
    return pairs;
}

std::string WithThreads(const std::string& stem, bool one) {
    return stem + (one ? ", 1 thread" : ", default threads");
}

}  // namespace

void RegisterProcessCases() {
    std::vector<Run> runs = {
        {kVersion, {"--version"}},
        {kTiny, {"--size", "2x2", "-o", "{dir}/tiny.bmp"}},
        {kThumbnail, {"--thumbnail", "256", "{dir}/default.dat", "-o", "{dir}/thumb.png"}},
        {kPosterBmp, {"--size", "12000x9000", "-o", "{dir}/poster.bmp"}, 3},
        {kPosterPng, {"--size", "12000x9000", "-o", "{dir}/poster.png"}, 3},
    };
    for (const ThreadPair& pair : ThreadPairs()) {
        std::vector<std::string> one = pair.arguments;
        one.insert(one.begin(), {"--threads", "1"});
        runs.push_back({WithThreads(pair.stem, true), one});
        runs.push_back({WithThreads(pair.stem, false), pair.arguments});
    }
    for (const Run& run : runs) {
        auto* bench = benchmark::RegisterBenchmark(run.label.c_str(), RenderRun, run.arguments)
                          ->Unit(benchmark::kMillisecond)
                          ->UseRealTime();
        if (run.repetitions > 0) bench->Iterations(1)->Repetitions(run.repetitions);
    }
}

void PrintProcessTargets(const SuiteResults& results, std::ostream& out) {
    char detail[128];
    auto ms = [&](const std::string& label) {
        const CaseMedians* row = results.Find(label);
        return row != nullptr ? row->engineMs : -1.0;
    };
    for (const ThreadPair& pair : ThreadPairs()) {
        const double one = ms(WithThreads(pair.stem, true));
        const double many = ms(WithThreads(pair.stem, false));
        const bool measured = one > 0 && many > 0;
        std::snprintf(detail, sizeof detail, "%.1f ms with 1 thread, %.1f ms with the default", one,
                      many);
        PrintTarget(out, pair.stem + ": the default threads no slower than one", measured,
                    many <= one * 1.02, detail);
        if (pair.speedupTarget) {
            std::snprintf(detail, sizeof detail, "%.2fx", measured ? one / many : 0.0);
            PrintTarget(out, pair.stem + ": two threads at least 1.5x faster than one", measured,
                        one >= 1.5 * many, detail);
        }
    }
    const double version = ms(kVersion), tiny = ms(kTiny), thumbnail = ms(kThumbnail);
    std::snprintf(detail, sizeof detail, "%.1f ms against %.1f ms", tiny, version);
    PrintTarget(out, "case 12 a 2x2 picture within 2 ms of --version", tiny > 0 && version > 0,
                tiny <= version + 2.0, detail);
    std::snprintf(detail, sizeof detail, "%.1f ms", thumbnail);
    PrintTarget(out, "case 12 --thumbnail 256 within 10 ms", thumbnail > 0, thumbnail <= 10.0,
                detail);
    const double viewBmp = ms(WithThreads(ThreadPairs().front().stem, false));
    const double viewPng = ms(WithThreads(ThreadPairs().back().stem, false));
    std::snprintf(detail, sizeof detail, "%.2fx (%.1f ms against %.1f ms)",
                  viewBmp > 0 ? viewPng / viewBmp : 0.0, viewPng, viewBmp);
    PrintTarget(out, "case 12 -o PNG of the default view within 1.5x of -o BMP",
                viewBmp > 0 && viewPng > 0, viewPng <= 1.5 * viewBmp, detail);
    const double bmp = ms(kPosterBmp), png = ms(kPosterPng);
    std::snprintf(detail, sizeof detail, "%.2fx (%.0f ms against %.0f ms)",
                  bmp > 0 ? png / bmp : 0.0, png, bmp);
    PrintTarget(out, "case 12 PNG poster within 2x of the BMP poster", bmp > 0 && png > 0,
                png <= 2.0 * bmp, detail);
}
