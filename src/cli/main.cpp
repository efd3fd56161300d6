// dorvanta-render: the document without the desktop. Opens a parameter file or a picture (or makes
// a new document with the default figure), paints it and writes picture, parameters and scene
// files, taking the same path through the document code as the desktop program.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/animate.h"
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
#include "figure/band_painting.h"
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
    if ((options.plotter || !options.svgWidth.empty() || !options.stroke.empty()) && !svg) {
        return "--plotter, --svg-width and --stroke go with -o NAME.svg";
    }
    if (options.dpi && FileKindOfLastExtension(options.output) != FILE_KIND_PNG) {
        return "--dpi goes with -o NAME.png";
    }
    if (options.input.empty()) return "";
    int kind = FileKindOfLastExtension(options.input);
    if (kind == FILE_KIND_OTHER) {
        return "cannot open " + options.input + ": not a .dat, .bmp, .jpg, .png or .svg file";
    }
    // A PNG may carry its figure; whether it does is found out on reading it.
    const bool picture = IsPictureKind(kind) && kind != FILE_KIND_PNG;
    if (picture && (options.width || options.order || options.stats)) {
        return "--size, --order and --stats paint a figure; " + options.input + " is a picture";
    }
    if (picture && svg) {
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

// One message for a file that cannot be opened: the readers' causes, without the lines that only
// repeat that the file failed.
std::string OpenFailure(const std::string& input, const std::vector<std::string>& messages) {
    if (input.empty()) return "could not open a new figure";
    std::string text = "could not open " + input;
    std::string separator = ": ";
    for (const std::string& message : messages) {
        std::size_t start = 0;
        while (start <= message.size()) {
            std::size_t end = std::min(message.find('\n', start), message.size());
            const std::string line = message.substr(start, end - start);
            if (!line.empty() && line.find(input) == std::string::npos) {
                text += separator + line;
                separator = "; ";
            }
            start = end + 1;
        }
    }
    return text;
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
    // The bands' helpers are threads started for this painting.
    const int threads = ThreadsWorthUsing(figure, doc.m_nPaintThreads, false);
    return WritePosterFile(
               figure, order, options.output, FileKindOfLastExtension(options.output),
               options.quality, parameterText, threads, prompts,
               [&](std::int64_t done, std::int64_t total) { return progress.Update(done, total); },
               options.dpi) == StreamResult::Written;
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

// The figure an SVG is drawn from, read without painting: the default figure, a parameter file,
// or the figure a Dorvanta PNG or SVG carries at the size it had (and, for an SVG, the order it
// showed alone, into order). Returns the exit status of a failure, or kExitOk.
int ReadSvgSource(FigureEngine& figure, const std::string& input, CliPrompts& prompts, int& order,
                  std::string& reason) {
    const int kind = input.empty() ? FILE_KIND_OTHER : FileKindOfLastExtension(input);
    if (kind == FILE_KIND_DAT) {
        LoadDatFile(figure, input, prompts);  // after a format error, what was read, as opened
        return kExitOk;
    }
    if (kind != FILE_KIND_PNG && kind != FILE_KIND_SVG) return kExitOk;  // the default figure
    std::optional<std::string> text;
    PictureSize size;
    if (kind == FILE_KIND_SVG) {
        SvgFigure carried;
        if (!ReadSvgFigure(input, carried, reason)) return kExitFailed;
        text = carried.parameterText;
        size = {carried.width, carried.height};
        order = carried.order;
    } else if (DibHandle pixels; !PngReadPicture(input, pixels, size, text, prompts)) {
        reason = "could not open " + input;
        return kExitFailed;
    } else if (!text) {
        reason = "an SVG is drawn from a figure; " + input + " is a picture without one";
        return kExitUsage;
    }
    if (LoadDatText(figure, *text, prompts) != DAT_OK) {
        reason = "could not read the figure " + input + " carries";
        return kExitFailed;
    }
    figure.m_nWidth = size.width;
    figure.m_nHeight = size.height;
    return kExitOk;
}

// The figure as vectors, walked without painting a picture: no picture memory, any size.
int RunSvg(CDibDoc& doc, CliPrompts& prompts, const RenderOptions& options) {
    FigureEngine& figure = doc.m_figure;
    int order = -1;
    std::string reason;
    if (int status = ReadSvgSource(figure, options.input, prompts, order, reason); status) {
        return Fail(reason, status);
    }
    if (options.width) {
        figure.m_nWidth = *options.width;
        figure.m_nHeight = *options.height;
    }
    SvgOptions svg;
    svg.plotter = options.plotter;
    svg.physical = ParseSvgWidth(options.svgWidth, svg.width);
    if (double mm = 0; ParseSvgStroke(options.stroke, mm)) svg.strokeMm = mm;
    svg.order = options.order.value_or(order);
    if (svg.order >= 0) figure.m_nCurrentOrder = svg.order;
    PlotterStats stats;
    const std::string text = MakeSvgWalking(figure, svg, prompts, &stats);
    // The walk leaves what a painting leaves: the scene and --stats read it.
    doc.StoreAcceptedCopy();
    if (!WriteSvgText(text, options.output, prompts)) {
        return Fail("could not write " + options.output, kExitFailed);
    }
    std::vector<int> painted;
    for (int n = 0; n < kOrderCount; ++n) {
        if (svg.order == n || (svg.order < 0 && figure.m_orders[n].drawOrder)) painted.push_back(n);
    }
    if (options.stats) PrintPentagonStats(figure, painted, stdout);
    if (options.stats && options.plotter) PrintPlotterStats(stats, svg, figure.m_nWidth, stdout);
    if (!options.saveDat.empty() && SaveDatFile(figure, options.saveDat) != DAT_OK) {
        return Fail("could not write " + options.saveDat, kExitFailed);
    }
    if (!options.pov.empty() && !WriteScene(doc, prompts, options)) {
        return Fail("could not write " + options.pov, kExitFailed);
    }
    return kExitOk;
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
    // Always PNG, whatever the name: file managers pass names of their own choosing. Written into
    // the file itself, which some of them create empty beforehand and read back by that path.
    PngEncoding quick;
    quick.quick = true;
    if (!PngWritePicture(options.output, doc.m_hDIB, {}, prompts, {}, quick,
                         SafeFile::Placement::IntoTarget)) {
        return Fail("could not write " + options.output, kExitFailed);
    }
    return kExitOk;
}

int Run(RenderOptions options) {
    if (options.animate) return RunAnimation(options);
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
    if (IsSvgPath(options.output)) return RunSvg(doc, prompts, options);
    if (options.threads) doc.m_nPaintThreads = *options.threads;
    RequestPainting(doc, options);
    prompts.HoldMessages();
    const bool opened = OpenDocument(doc, options);
    std::vector<std::string> held = prompts.TakeHeldMessages();
    if (!opened) return Fail(OpenFailure(options.input, held), kExitFailed);
    for (const std::string& message : held) prompts.Print(message);
    if (doc.m_bBitmapMode && (options.width || options.order || options.stats)) {
        // A PNG without its parameters, found out only on reading it.
        return Fail("--size, --order and --stats paint a figure; " + options.input +
                        " is a picture without one",
                    kExitUsage);
    }
    if (doc.m_bBitmapMode && !options.saveDat.empty()) {
        // Checked before anything is written: the parameters would be the default figure's.
        return Fail("--save-dat writes a figure's parameters; " + options.input +
                        " is a picture without a figure that can be read",
                    kExitFailed);
    }
    // A PNG of one order alone gives that order back, also at another size and as a poster.
    if (!doc.m_bBitmapMode && !options.order && doc.m_nPaintedOrder >= 0) {
        options.order = doc.m_nPaintedOrder;
    }
    const bool poster = !doc.m_bBitmapMode && IsPoster(options);
    if (poster && !WritePoster(doc, prompts, options)) {
        return Fail("could not write " + options.output, kExitFailed);
    }
    if (options.stats)
        PrintPentagonStats(doc.m_figure, PaintedOrders(doc.m_figure, options), stdout);
    doc.m_nJpegQuality = options.quality;
    doc.m_nDotsPerInch = options.dpi;
    if (!options.output.empty() && !poster &&
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
