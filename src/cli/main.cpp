// dorvanta-render: the document without the desktop. Opens a parameter file or a picture (or makes
// a new document with the default figure), paints it and writes picture, parameters and scene
// files, taking the same path through the document code as the desktop program.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_prompts.h"
#include "cli/progress_line.h"
#include "cli/render_options.h"
#include "cli/render_stats.h"
#include "cli/thumbnail.h"
#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "document/file_names.h"
#include "document/poster_file.h"
#include "document/svg_export.h"
#include "figure/painting_pool.h"
#include "picture/png_file.h"
#include "picture/safe_file.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The view's buffer for the scene text and the capacity it announces.
constexpr int kPovBufferBytes = 400000;
constexpr int kPovCapacity = 399990;

int Fail(const std::string& reason, int status) {
    std::fprintf(stderr, "dorvanta-render: %s\n", reason.c_str());
    return status;
}

bool IsPictureKind(int kind) {
    return kind == FILE_KIND_BMP || kind == FILE_KIND_JPG || kind == FILE_KIND_PNG;
}

// Checks what can be checked before any painting; returns the reason for refusing, or "".
std::string CheckOptions(const RenderOptions& options) {
    if (options.output.empty() && !options.stats && options.saveDat.empty() &&
        options.pov.empty()) {
        return "nothing to do: give -o, --stats, --save-dat or --pov (see --help)";
    }
    const bool svg = IsSvgPath(options.output);
    if (!options.output.empty() && !svg &&
        !IsPictureKind(FileKindOfLastExtension(options.output))) {
        return "the picture must be written to a .bmp, .jpg, .png or .svg file, not " +
               options.output;
    }
    if ((options.plotter || !options.svgWidth.empty()) && !svg) {
        return "--plotter and --svg-width go with -o NAME.svg";
    }
    if (options.input.empty()) return "";
    int kind = FileKindOfLastExtension(options.input);
    if (kind == FILE_KIND_OTHER) {
        return "cannot open " + options.input + ": not a .dat, .bmp, .jpg or .png file";
    }
    if (IsPictureKind(kind) && kind != FILE_KIND_PNG &&
        (options.width || options.order || options.stats)) {
        return "--size, --order and --stats paint a figure; " + options.input + " is a picture";
    }
    if (IsPictureKind(kind) && svg) {
        return "an SVG is drawn from a figure; " + options.input + " is a picture";
    }
    return "";
}

// A figure painted at --size into a picture file goes band after band straight into the file.
bool IsPoster(const RenderOptions& options) {
    return options.width && !options.output.empty() && !IsSvgPath(options.output);
}

// A poster size the file kind cannot hold is refused before anything is painted.
std::string CheckPosterSize(const RenderOptions& options) {
    if (!IsPoster(options)) return "";
    const std::string problem =
        PosterSizeProblem(FileKindOfLastExtension(options.output), *options.width, *options.height);
    return problem.empty() ? "" : "cannot write " + options.output + ": " + problem;
}

// A FIFO or a device is refused here, before anything waits on it; the document's readers
// report a directory.
bool IsReadable(const std::string& path) {
    std::FILE* file = OpenForReadingWithoutWaiting(path);
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

bool OpenDocument(CDibDoc& doc, const RenderOptions& options) {
    if (options.input.empty()) return doc.OnNewDocument();
    return doc.OpenDocumentOfKind(options.input, FileKindOfLastExtension(options.input));
}

// The orders the picture shows: the requested one alone, or every drawn order.
std::vector<int> PaintedOrders(const FigureEngine& figure, const RenderOptions& options) {
    if (options.order) return {*options.order};
    std::vector<int> painted;
    for (int order = 0; order < kOrderCount; ++order) {
        if (figure.m_orders[order].drawOrder) painted.push_back(order);
    }
    return painted;
}

// The figure is painted once, when it is opened: at the requested size and order, or not at all
// for a poster, which is painted straight into its file.
void RequestPainting(CDibDoc& doc, const RenderOptions& options) {
    doc.m_request.width = options.width.value_or(0);
    doc.m_request.height = options.height.value_or(0);
    doc.m_request.order = options.order;
    doc.m_request.paint = !IsPoster(options);
}

bool WritePoster(CDibDoc& doc, CliPrompts& prompts, const RenderOptions& options) {
    FigureEngine& figure = doc.m_figure;
    const int order = options.order.value_or(-1);
    // The accepted copy is the last painting's: the text a whole painting's PNG would carry.
    const std::string parameterText = doc.PictureParameterText();
    ProgressLine progress(stderr, ProgressLine::WantedOnStderr(options.quiet));
    return WritePosterFile(figure, order, options.output, FileKindOfLastExtension(options.output),
                           options.quality, parameterText, doc.m_nPaintThreads, prompts,
                           [&](std::int64_t done, std::int64_t total) {
                               return progress.Update(done, total);
                           }) == StreamResult::Written;
}

bool WriteScene(CDibDoc& doc, CliPrompts& prompts, const RenderOptions& options) {
    prompts.questionAnswer = options.povHeader ? IDYES : IDNO;
    std::vector<char> buffer(kPovBufferBytes, '\0');
    if (!doc.MakePovData(buffer.data(), kPovCapacity)) return false;
    std::string text(buffer.data());
    SafeFile file(options.pov);
    if (!file.Open()) return false;
    if (std::fwrite(text.data(), 1, text.size(), file.Stream()) != text.size()) return false;
    return file.Commit();
}

// The figure as the picture shows it (the painted orders), as SVG.
bool WriteSvg(CDibDoc& doc, CliPrompts& prompts, const RenderOptions& options) {
    SvgOptions svg;
    svg.plotter = options.plotter;
    svg.physical = ParseSvgLength(options.svgWidth, svg.width);
    svg.order = options.order.value_or(-1);
    PlotterStats stats;
    if (!SaveSvgFile(doc.m_figure, svg, options.output, prompts, &stats)) return false;
    if (options.stats && options.plotter)
        PrintPlotterStats(stats, svg, doc.m_figure.m_nWidth, stdout);
    return true;
}

// Thumbnails take a figure and give only a PNG picture; refuses everything else.
std::string CheckThumbnailOptions(const RenderOptions& options) {
    if (options.output.empty()) return "--thumbnail needs -o PATH";
    if (options.width || options.order || options.stats || !options.saveDat.empty() ||
        !options.pov.empty()) {
        return "--thumbnail goes with -o only, not with --size, --order, --stats, --save-dat or "
               "--pov";
    }
    if (!options.input.empty() && FileKindOfLastExtension(options.input) != FILE_KIND_DAT) {
        return "--thumbnail paints parameter files (.dat), not " + options.input;
    }
    return "";
}

int RunThumbnail(const RenderOptions& options) {
    if (std::string reason = CheckThumbnailOptions(options); !reason.empty()) {
        return Fail(reason, kExitUsage);
    }
    CliPrompts prompts;
    CDibDoc doc(prompts);
    if (std::string reason; !PaintThumbnail(doc, options.input, *options.thumbnail, reason)) {
        return Fail(reason, kExitFailed);
    }
    // Always PNG, whatever the name: file managers pass names of their own choosing.
    if (!PngWritePicture(options.output, doc.m_hDIB, {}, prompts)) {
        return Fail("could not write " + options.output, kExitFailed);
    }
    return kExitOk;
}

int Run(const RenderOptions& options) {
    if (options.thumbnail) return RunThumbnail(options);
    if (std::string reason = CheckOptions(options); !reason.empty()) {
        return Fail(reason, kExitUsage);
    }
    if (std::string reason = CheckPosterSize(options); !reason.empty()) {
        return Fail(reason, kExitUsage);
    }
    if (!options.input.empty() && !IsReadable(options.input)) {
        return Fail("cannot read " + options.input, kExitFailed);
    }
    // One painting, then files: threads that finished sleep at once.
    if (PaintingPool* pool = PaintingPool::Shared()) pool->SetAwakeWaiting(false);
    CliPrompts prompts;
    CDibDoc doc(prompts);
    if (options.threads) doc.m_nPaintThreads = *options.threads;
    RequestPainting(doc, options);
    if (!OpenDocument(doc, options)) {
        return Fail("could not open " + (options.input.empty() ? "a new figure" : options.input),
                    kExitFailed);
    }
    if (doc.m_bBitmapMode && (options.width || options.order || options.stats)) {
        // A PNG without its parameters, found out only on reading it.
        return Fail("--size, --order and --stats paint a figure; " + options.input +
                        " is a picture without one",
                    kExitUsage);
    }
    const bool poster = !doc.m_bBitmapMode && IsPoster(options);
    if (poster && !WritePoster(doc, prompts, options)) {
        return Fail("could not write " + options.output, kExitFailed);
    }
    if (options.stats)
        PrintPentagonStats(doc.m_figure, PaintedOrders(doc.m_figure, options), stdout);
    doc.m_nJpegQuality = options.quality;
    if (IsSvgPath(options.output)) {
        if (!WriteSvg(doc, prompts, options)) {
            return Fail("could not write " + options.output, kExitFailed);
        }
    } else if (!options.output.empty() && !poster &&
               !doc.SaveDocumentOfKind(options.output, FileKindOfLastExtension(options.output))) {
        return Fail("could not write " + options.output, kExitFailed);
    }
    if (!options.saveDat.empty() && SaveDatFile(doc.m_figure, options.saveDat) != DAT_OK) {
        return Fail("could not write " + options.saveDat, kExitFailed);
    }
    if (!options.pov.empty() && !WriteScene(doc, prompts, options)) {
        return Fail("could not write " + options.pov, kExitFailed);
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    RenderOptions options;
    std::string error;
    if (!ParseRenderOptions(argc - 1, argv + 1, options, error)) {
        std::fprintf(stderr, "dorvanta-render: %s\n%s", error.c_str(), kRenderUsage);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kRenderUsage, stdout);
        return kExitOk;
    }
    if (options.version) {
        std::puts("dorvanta-render " DORVANTA_VERSION);
        return kExitOk;
    }
    return Run(options);
}
