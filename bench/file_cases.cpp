// Cases 6 and 7: the picture files (BMP, JPEG at quality 90) of a 1200 × 900 picture, the
// parameter file and the POV-Ray text of the default figure. None of them has a second
// implementation in the tests; cjpeg/djpeg serve as the yardstick for the picture files.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_cases.h"
#include "bench_prompts.h"
#include "document/dat_file.h"
#include "document/pov_export.h"
#include "figure/figure_engine.h"
#include "picture/dib_image.h"
#include "picture/jpeg_file.h"

namespace {

namespace fs = std::filesystem;

// A folder of its own for the files of one run, removed afterwards.
class BenchFolder {
  public:
    BenchFolder()
        : m_path(fs::temp_directory_path() / ("dorvanta-bench-" + std::to_string(::getpid()))) {
        fs::create_directories(m_path);
    }
    ~BenchFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string File(const char* name) const { return (m_path / name).string(); }

  private:
    fs::path m_path;
};

// The default figure painted into a picture block, as the document holds it.
struct DefaultPicture {
    DefaultPicture() {
        DibAllocatePicture(handle, figure->m_nWidth, figure->m_nHeight, ui);
        DibInitHeader24(handle->Bytes(), figure->m_nWidth, figure->m_nHeight);
        figure->m_nRowBytes = static_cast<std::int32_t>(DibRowStride(figure->m_nWidth, 24));
        figure->PaintFigure(DibPixelData(handle->Bytes(), 0), -1, ui);
    }
    std::unique_ptr<FigureEngine> figure = std::make_unique<FigureEngine>();
    DibHandle handle;
    BenchPrompts ui;
};

void FailUnless(benchmark::State& state, bool ok, const char* what) {
    if (!ok) state.SkipWithError(what);
}

void BmpWrite(benchmark::State& state) {
    BenchFolder folder;
    DefaultPicture picture;
    const std::string path = folder.File("picture.bmp");
    for (auto _ : state) {
        FailUnless(state, DibSaveBmpFile(path, picture.handle, 0, picture.ui), "BMP write failed");
    }
}

void BmpRead(benchmark::State& state) {
    BenchFolder folder;
    DefaultPicture picture;
    const std::string path = folder.File("picture.bmp");
    DibSaveBmpFile(path, picture.handle, 0, picture.ui);
    DibHandle read;
    PictureSize size;
    for (auto _ : state) {
        FailUnless(state, DibLoadBmpFile(path, read, size, picture.ui), "BMP read failed");
    }
}

void JpegWrite(benchmark::State& state) {
    BenchFolder folder;
    DefaultPicture picture;
    const std::string path = folder.File("picture.jpg");
    for (auto _ : state) {
        FailUnless(state, JpegWritePicture(path, picture.handle, 90, picture.ui),
                   "JPEG write failed");
    }
}

void JpegRead(benchmark::State& state) {
    BenchFolder folder;
    DefaultPicture picture;
    const std::string path = folder.File("picture.jpg");
    JpegWritePicture(path, picture.handle, 90, picture.ui);
    DibHandle read;
    PictureSize size;
    for (auto _ : state) {
        FailUnless(state, JpegReadPicture(path, read, size, picture.ui), "JPEG read failed");
    }
}

void DatSaveAndLoad(benchmark::State& state) {
    BenchFolder folder;
    auto figure = std::make_unique<FigureEngine>();
    BenchPrompts ui;
    const std::string path = folder.File("figure.dat");
    for (auto _ : state) {
        FailUnless(state, SaveDatFile(*figure, path) == DAT_OK, ".dat save failed");
        FailUnless(state, LoadDatFile(*figure, path, ui) == DAT_OK, ".dat load failed");
    }
}

// The scene text of the default painting with the header, overlap masks included.
void PovText(benchmark::State& state) {
    DefaultPicture picture;
    std::string text;
    constexpr std::size_t kCapacity = 399990;  // the view's buffer
    for (auto _ : state) {
        FailUnless(state, MakePovData(*picture.figure, text, kCapacity, picture.ui),
                   "POV-Ray text refused");
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["records"] = picture.figure->m_nShapes;
    state.counters["bytes"] = static_cast<double>(text.size());
}

void Register(const char* label, void (*run)(benchmark::State&)) {
    benchmark::RegisterBenchmark(label, run)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}

}  // namespace

void RegisterFileCases() {
    Register("6 BMP write 1200x900", BmpWrite);
    Register("6 BMP read 1200x900", BmpRead);
    Register("6 JPEG write 1200x900 q90", JpegWrite);
    Register("6 JPEG read 1200x900 q90", JpegRead);
    Register("7 .dat save and load", DatSaveAndLoad);
    Register("7 POV-Ray text (default figure)", PovText);
}
