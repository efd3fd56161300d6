// Cases 6 and 7: the picture files (BMP, JPEG at quality 90, PNG) of a 1200 × 900 picture, the
// parameter file and the POV-Ray text of the default figure. None of them has a second
// implementation in the tests; cjpeg/djpeg serve as the yardstick for the picture files, and
// ImageMagick's convert (when installed) for the size of the PNG.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "bench_prompts.h"
#include "document/dat_file.h"
#include "document/pov_export.h"
#include "document/svg_export.h"
#include "figure/figure_engine.h"
#include "picture/dib_image.h"
#include "picture/jpeg_file.h"
#include "picture/png_file.h"

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

// A view of the default figure: centre, magnification, colouring and the order painted alone.
struct FigureView {
    const char* name;
    double centreX = 0, centreY = 0, magnExp = -7;
    bool gradient = true;
    int order = -1;  // every drawn order
};

// The default figure (or a view of it) painted into a picture block, as the document holds it.
struct DefaultPicture {
    explicit DefaultPicture(const FigureView& view = {"default"}) {
        figure->m_dCentreX = view.centreX;
        figure->m_dCentreY = view.centreY;
        figure->m_dMagnExp = view.magnExp;
        figure->m_bGradient = view.gradient ? 1 : 0;
        DibAllocatePicture(handle, figure->m_nWidth, figure->m_nHeight, ui);
        DibInitHeader24(handle->Bytes(), figure->m_nWidth, figure->m_nHeight);
        figure->m_nRowBytes = static_cast<std::int32_t>(DibRowStride(figure->m_nWidth, 24));
        figure->PaintFigure(DibPixelData(handle->Bytes(), 0), view.order, ui);
    }
    std::unique_ptr<FigureEngine> figure = std::make_unique<FigureEngine>();
    DibHandle handle;
    BenchPrompts ui;
};

void FailUnless(benchmark::State& state, bool ok, const char* what) {
    if (!ok) state.SkipWithError(what);
}

// A picture file kind: the file name, and how the default picture is written and read back.
struct PictureKind {
    const char* file;
    bool (*write)(const std::string& path, const DibHandle& handle, UserPrompts& ui);
    bool (*read)(const std::string& path, DibHandle& handle, PictureSize& size, UserPrompts& ui);
    const char* name;  // for the failure messages
};

const PictureKind kBmpFile{"picture.bmp",
                           [](const std::string& path, const DibHandle& handle, UserPrompts& ui) {
                               return DibSaveBmpFile(path, handle, 0, ui);
                           },
                           DibLoadBmpFile, "BMP"};
const PictureKind kJpegFile{"picture.jpg",
                            [](const std::string& path, const DibHandle& handle, UserPrompts& ui) {
                                return JpegWritePicture(path, handle, 90, ui);
                            },
                            JpegReadPicture, "JPEG"};

// The PNG carries the default figure's parameter text, as the document writes it.
const PictureKind kPngFile{
    "picture.png",
    [](const std::string& path, const DibHandle& handle, UserPrompts& ui) {
        return PngWritePicture(path, handle, DatFileText(FigureEngine()), ui);
    },
    [](const std::string& path, DibHandle& handle, PictureSize& size, UserPrompts& ui) {
        std::optional<std::string> text;
        return PngReadPicture(path, handle, size, text, ui);
    },
    "PNG"};

void WritePicture(benchmark::State& state, const PictureKind* kind) {
    BenchFolder folder;
    DefaultPicture picture;
    const std::string path = folder.File(kind->file);
    const std::string failure = std::string(kind->name) + " write failed";
    for (auto _ : state) {
        FailUnless(state, kind->write(path, picture.handle, picture.ui), failure.c_str());
    }
}

void ReadPicture(benchmark::State& state, const PictureKind* kind) {
    BenchFolder folder;
    DefaultPicture picture;
    const std::string path = folder.File(kind->file);
    kind->write(path, picture.handle, picture.ui);
    DibHandle read;
    PictureSize size;
    const std::string failure = std::string(kind->name) + " read failed";
    for (auto _ : state) {
        FailUnless(state, kind->read(path, read, size, picture.ui), failure.c_str());
    }
}

// The yardstick: libjpeg-turbo's own tools on the same picture at the same quality, process start
// included. Only the wall clock means anything here (the tools' CPU time is not this process's).
// The tool reads "in" (the picture as a BMP for cjpeg, as our JPEG for djpeg) and writes "out".
void ToolOnPicture(benchmark::State& state, const std::vector<std::string>& options) {
    BenchFolder folder;
    DefaultPicture picture;
    const PictureKind& input = options.front() == "cjpeg" ? kBmpFile : kJpegFile;
    const std::string in = folder.File(input.file);
    input.write(in, picture.handle, picture.ui);
    std::vector<std::string> words = options;
    words.insert(words.end(), {"-outfile", folder.File("tool.out"), in});
    for (auto _ : state) {
        FailUnless(state, RunTool(words), "the tool did not run (package libjpeg-turbo-progs)");
    }
}

void CjpegWrite(benchmark::State& state) {
    ToolOnPicture(state, {"cjpeg", "-quality", "90"});
}
void DjpegRead(benchmark::State& state) {
    ToolOnPicture(state, {"djpeg", "-bmp"});
}

// dorvanta-render painting the default figure and writing it, as a whole process.
void RenderProcess(benchmark::State& state, const char* file) {
    BenchFolder folder;
    const std::vector<std::string> words = {DORVANTA_RENDER, "-o", folder.File(file)};
    for (auto _ : state) FailUnless(state, RunTool(words), "dorvanta-render failed");
}

bool HasConvert() {
    return RunTool({"sh", "-c", "command -v convert >/dev/null"});
}

// ImageMagick's convert from the BMP to a PNG, the size yardstick of our PNG.
void ConvertToPng(benchmark::State& state) {
    if (!HasConvert()) {
        state.SkipWithError("no convert (ImageMagick)");
        return;
    }
    BenchFolder folder;
    DefaultPicture picture;
    const std::string in = folder.File(kBmpFile.file);
    kBmpFile.write(in, picture.handle, picture.ui);
    for (auto _ : state) {
        FailUnless(state, RunTool({"convert", in, folder.File("tool.png")}), "convert failed");
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

// The SVG of the default figure in this process, for the picture or for a plotter.
void SvgText(benchmark::State& state, bool plotter) {
    DefaultPicture picture;
    SvgOptions options;
    options.plotter = plotter;
    std::string text;
    for (auto _ : state) {
        text = MakeSvg(*picture.figure, options, picture.ui);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(text.size());
}

// Runs dorvanta-render to its end; the CPU seconds it used (user and system), or -1 on failure.
double RenderProcessSeconds(const std::vector<std::string>& words) {
    const std::optional<ProcessUsage> usage = RunMeasured(words);
    return usage ? usage->cpuSeconds : -1;
}

// What a user waits for: dorvanta-render starting, painting the default figure and writing it as
// SVG. The time is the process's own CPU time, which a loaded machine does not stretch; the wall
// clock is a counter.
void SvgProcess(benchmark::State& state) {
    BenchFolder folder;
    const std::vector<std::string> words = {DORVANTA_RENDER, "-o", folder.File("figure.svg")};
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu = RenderProcessSeconds(words);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        FailUnless(state, cpu >= 0, "dorvanta-render did not write the SVG");
        state.SetIterationTime(std::max(cpu, 0.0));
    }
    state.counters["wall_ms"] =
        1000 * wall / std::max<benchmark::IterationCount>(state.iterations(), 1);
    state.counters["bytes"] = static_cast<double>(fs::file_size(folder.File("figure.svg")));
}

constexpr char kSvgProcess[] = "10 SVG export, whole process CPU (default figure)";
constexpr char kSvgText[] = "10 SVG text (default figure)";

constexpr char kBmpWrite[] = "6 BMP write 1200x900";
constexpr char kBmpRead[] = "6 BMP read 1200x900";
constexpr char kJpegWrite[] = "6 JPEG write 1200x900 q90";
constexpr char kJpegRead[] = "6 JPEG read 1200x900 q90";
constexpr char kCjpeg[] = "6 cjpeg q90 (yardstick, wall clock)";
constexpr char kDjpeg[] = "6 djpeg (yardstick, wall clock)";
constexpr char kPngWrite[] = "6 PNG write 1200x900";
constexpr char kPngRead[] = "6 PNG read 1200x900";
constexpr char kConvert[] = "6 convert BMP to PNG (yardstick, wall clock)";
constexpr char kRenderBmp[] = "6 dorvanta-render -o BMP (process, wall clock)";
constexpr char kRenderPng[] = "6 dorvanta-render -o PNG (process, wall clock)";

template <typename... Arguments>
void Register(const char* label, void (*run)(benchmark::State&, Arguments...),
              Arguments... arguments) {
    benchmark::RegisterBenchmark(label, run, arguments...)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}

}  // namespace

std::optional<ProcessUsage> RunMeasured(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return {};
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {};
    }
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6;
    };
    return ProcessUsage{seconds(usage.ru_utime) + seconds(usage.ru_stime),
                        static_cast<double>(usage.ru_maxrss) / 1024};
}

bool RunTool(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    // What the tools print would break up the table.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void RegisterFileCases() {
    Register(kBmpWrite, WritePicture, &kBmpFile);
    Register(kBmpRead, ReadPicture, &kBmpFile);
    Register(kJpegWrite, WritePicture, &kJpegFile);
    Register(kJpegRead, ReadPicture, &kJpegFile);
    Register(kCjpeg, CjpegWrite);
    Register(kDjpeg, DjpegRead);
    Register(kPngWrite, WritePicture, &kPngFile);
    Register(kPngRead, ReadPicture, &kPngFile);
    Register(kConvert, ConvertToPng);
    Register(kRenderBmp, RenderProcess, kBmpFile.file);
    Register(kRenderPng, RenderProcess, kPngFile.file);
    Register("7 .dat save and load", DatSaveAndLoad);
    Register("7 POV-Ray text (default figure)", PovText);
    Register(kSvgText, SvgText, false);
    Register("10 SVG plotter text (default figure)", SvgText, true);
    benchmark::RegisterBenchmark(kSvgProcess, SvgProcess)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
}

// Bytes of the signature and critical chunks of a PNG file (text, colour and time chunks left
// out, which each writer chooses): what the picture itself costs.
std::uintmax_t PngImageBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::uintmax_t total = std::min<std::size_t>(8, bytes.size());
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const std::size_t length = (std::size_t{bytes[at]} << 24) | (bytes[at + 1] << 16) |
                                   (bytes[at + 2] << 8) | bytes[at + 3];
        const std::string type(bytes.begin() + at + 4, bytes.begin() + at + 8);
        if (std::isupper(static_cast<unsigned char>(type[0]))) total += length + 12;
        at += length + 12;
    }
    return total;
}

// The views whose PNGs are held against ImageMagick's: busy and flat, zoomed out and in.
const FigureView kPngSizeViews[] = {
    {"default"},
    {"far out (-12)", 0, 0, -12},
    {"exponent -9 at (-300, 150)", -300, 150, -9},
    {"order 2 alone", 0, 0, -7, true, 2},
    {"flat colouring", 0, 0, -7, false},
    {"zoomed in (-2)", 0, 0, -2},
    {"zoomed in to one colour (5)", 0, 0, 5},
};

// The PNG of each view against ImageMagick's from the same BMP, critical chunks only: at most
// 10 % larger.
void PrintPngSizeTarget(std::ostream& out) {
    BenchFolder folder;
    const std::string bmp = folder.File(kBmpFile.file);
    const std::string ours = folder.File(kPngFile.file);
    const std::string theirs = folder.File("convert.png");
    bool measured = HasConvert();
    double worst = 0.0;
    std::string detail;
    for (const FigureView& view : kPngSizeViews) {
        if (!measured) break;
        DefaultPicture picture(view);
        measured = kBmpFile.write(bmp, picture.handle, picture.ui) &&
                   kPngFile.write(ours, picture.handle, picture.ui) &&
                   RunTool({"convert", bmp, theirs});
        if (!measured) break;
        const double ratio =
            static_cast<double>(PngImageBytes(ours)) / static_cast<double>(PngImageBytes(theirs));
        worst = std::max(worst, ratio);
        char line[128];
        std::snprintf(line, sizeof line, "\n    %-28s %.3fx (%ju against %ju bytes)", view.name,
                      ratio, PngImageBytes(ours), PngImageBytes(theirs));
        detail += line;
    }
    char head[32];
    std::snprintf(head, sizeof head, "worst %.3fx", worst);
    PrintTarget(out, "case 6 PNG at most 10 % larger than convert's (when installed)", measured,
                worst <= 1.10, head + detail);
}

void PrintPngTargets(const SuiteResults& results, std::ostream& out) {
    PrintPngSizeTarget(out);
    const CaseMedians* bmp = results.Find(kRenderBmp);
    const CaseMedians* png = results.Find(kRenderPng);
    const bool measured = bmp != nullptr && png != nullptr && bmp->engineMs > 0;
    const double ratio = measured ? png->engineMs / bmp->engineMs : 0.0;
    char detail[96];
    std::snprintf(detail, sizeof detail, "%.2fx the BMP process, wall clock", ratio);
    PrintTarget(out, "case 6 dorvanta-render PNG within 1.5x of BMP", measured, ratio <= 1.5,
                detail);
}

// Our files against the tools, on the wall clock as theirs is.
void PrintFileTargets(const SuiteResults& results, std::ostream& out) {
    auto against = [&](const char* ours, const char* tool, const char* what) {
        const CaseMedians* mine = results.Find(ours);
        const CaseMedians* yardstick = results.Find(tool);
        const bool measured = mine != nullptr && yardstick != nullptr;
        const double ratio = measured ? mine->engineMs / yardstick->engineMs : 0.0;
        char detail[96];
        std::snprintf(detail, sizeof detail, "%.2fx the tool, wall clock", ratio);
        PrintTarget(out, what, measured, ratio <= 2.0, detail);
    };
    against(kBmpWrite, kCjpeg, "case 6 BMP write within 2x of cjpeg");
    against(kBmpRead, kDjpeg, "case 6 BMP read within 2x of djpeg");
    against(kJpegWrite, kCjpeg, "case 6 JPEG write within 2x of cjpeg");
    against(kJpegRead, kDjpeg, "case 6 JPEG read within 2x of djpeg");

    const CaseMedians* svg = results.Find(kSvgProcess);
    char detail[96];
    std::snprintf(detail, sizeof detail, "%.1f ms of the process's CPU", svg ? svg->engineMs : 0.0);
    PrintTarget(out, "case 10 SVG export within 50 ms as a process", svg != nullptr,
                svg != nullptr && svg->engineMs <= 50.0, detail);
    PrintPngTargets(results, out);
}
