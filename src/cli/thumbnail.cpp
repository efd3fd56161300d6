#include "cli/thumbnail.h"

#include <cmath>

#include "document/dat_file.h"
#include "document/dib_doc.h"

std::optional<ThumbnailSize> FitThumbnail(int width, int height, int longSide) {
    if (width <= 0 || height <= 0 || longSide <= 0) return std::nullopt;
    // The shorter side follows from the longer one; doubles hold every int exactly.
    auto shorter = [longSide](int side, int longer) {
        return std::max(1, static_cast<int>(std::lround(double(side) * longSide / longer)));
    };
    if (width >= height) return ThumbnailSize{longSide, shorter(height, width)};
    return ThumbnailSize{shorter(width, height), longSide};
}

bool PaintThumbnail(CDibDoc& doc, const std::string& input, int longSide, std::string& reason) {
    FigureEngine& figure = doc.m_figure;
    if (input.empty()) {
        figure.ResetFigure();
    } else if (LoadDatFile(figure, input, doc.Prompts()) != DAT_OK) {
        // A broken file would paint a figure made of defaults: no thumbnail is better.
        reason = "cannot read the parameter file " + input;
        return false;
    }
    std::optional<ThumbnailSize> size = FitThumbnail(figure.m_nWidth, figure.m_nHeight, longSide);
    if (!size) {
        reason = input + " gives a picture without area";
        return false;
    }
    // The view spans the same figure width at any picture width, so only the size changes.
    figure.m_nWidth = size->width;
    figure.m_nHeight = size->height;
    if (doc.PreparePicture(false) == 0) {
        reason = "could not paint the figure";
        return false;
    }
    return true;
}
