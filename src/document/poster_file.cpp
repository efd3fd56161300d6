#include "document/poster_file.h"

#include <algorithm>
#include <cstring>

#include "document/dib_doc.h"
#include "figure/figure_engine.h"
#include "picture/row_sink.h"
#include "picture/safe_file.h"
#include "picture/user_prompts.h"

PngEncoding PngOnPaintingThreads(int threads) {
    PngEncoding encoding;
    encoding.threads = std::max(threads, 1);
    encoding.runParts = [threads](int parts, const std::function<void(int)>& work) {
        RunOnPaintingThreads(parts, threads, work);
    };
    return encoding;
}

std::string PosterSizeProblem(int fileKind, std::int64_t width, std::int64_t height) {
    std::string problem = fileKind == FILE_KIND_BMP   ? BmpSizeProblem(width, height)
                          : fileKind == FILE_KIND_JPG ? JpegSizeProblem(width, height)
                          : fileKind == FILE_KIND_PNG
                              ? PngSizeProblem(width, height)
                              : "pictures are written as BMP, JPEG or PNG files";
    return problem.empty() ? StreamSizeProblem(width, height) : problem;
}

namespace {

template <typename Writer>
StreamResult PaintWith(Writer& writer, FigureEngine& figure, int order, int threads,
                       UserPrompts& ui, const PaintingProgress& progress) {
    if (!writer.Start()) return StreamResult::Failed;
    const StreamResult result = PaintIntoSink(figure, order, writer, threads, ui, progress);
    if (result != StreamResult::Written) return result;
    return writer.Finish() ? StreamResult::Written : StreamResult::Failed;
}

}  // namespace

StreamResult WritePosterFile(FigureEngine& figure, int order, const std::string& path, int fileKind,
                             int quality, const std::string& parameterText, int threads,
                             UserPrompts& ui, const PaintingProgress& progress, int dotsPerInch) {
    const std::string problem = PosterSizeProblem(fileKind, figure.m_nWidth, figure.m_nHeight);
    if (!problem.empty()) {
        ui.ShowMessage(path + ": " + problem);
        return StreamResult::Failed;
    }
    SafeFile out(path);
    // The cause named, as the writers name theirs.
    auto refuse = [&] {
        ui.ShowMessage("Failed to write: " + path + "\n" + std::strerror(out.Error()));
        return StreamResult::Failed;
    };
    if (!out.Open()) return refuse();
    StreamResult result;
    if (fileKind == FILE_KIND_BMP) {
        BmpRowWriter writer(out.Stream(), path, figure.m_nWidth, figure.m_nHeight, ui);
        result = PaintWith(writer, figure, order, threads, ui, progress);
    } else if (fileKind == FILE_KIND_JPG) {
        JpegRowWriter writer(out.Stream(), figure.m_nWidth, figure.m_nHeight, quality, ui);
        result = PaintWith(writer, figure, order, threads, ui, progress);
    } else {
        PngRowWriter writer(out.Stream(), path, figure.m_nWidth, figure.m_nHeight, parameterText,
                            ui, {.onlyOrder = order, .dotsPerInch = dotsPerInch},
                            PngOnPaintingThreads(threads));
        result = PaintWith(writer, figure, order, threads, ui, progress);
    }
    if (result != StreamResult::Written) return result;  // the temporary goes with out
    if (!out.Commit()) return refuse();
    return StreamResult::Written;
}
