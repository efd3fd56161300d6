// Case 9: the thumbnail a file manager asks for, painted and written as dorvanta-render does it.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_cases.h"
#include "bench_prompts.h"
#include "cli/thumbnail.h"
#include "document/dib_doc.h"
#include "picture/png_file.h"

namespace {

constexpr char kCase9[] = "9 thumbnail 256 (default figure, PNG)";

// A new document each time, as each thumbnail is a process of its own.
void DefaultThumbnail(benchmark::State& state) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("dorvanta-bench-thumb-" + std::to_string(::getpid()) + ".png");
    BenchPrompts ui;
    for (auto _ : state) {
        CDibDoc doc(ui);
        std::string reason;
        if (!PaintThumbnail(doc, "", 256, reason) ||
            !PngWritePicture(path.string(), doc.m_hDIB, {}, ui)) {
            state.SkipWithError("the thumbnail failed");
            break;
        }
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

}  // namespace

void RegisterThumbnailCase() {
    benchmark::RegisterBenchmark((std::string(kCase9) + kEngineSuffix).c_str(), DefaultThumbnail)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}

void PrintThumbnailTarget(const SuiteResults& results, std::ostream& out) {
    const CaseMedians* row = results.Find(kCase9);
    char detail[64] = "";
    if (row != nullptr) {
        std::snprintf(detail, sizeof detail, "%.2f ms [%.2f ms]", row->engineCpuMs, row->engineMs);
    }
    // A file manager waits on the wall clock, which includes the safe save's fsync.
    PrintTarget(out, "case 9 within 50 ms on the wall clock (a file manager's thumbnail)",
                row != nullptr, row != nullptr && row->engineMs <= 50.0, detail);
}
