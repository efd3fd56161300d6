// FigureEngine: the figure record together with the working tables that paint it.
// Copying is a plain whole copy (the settings dialog edits a copy, g_figureEdit).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "figure/figure_params.h"

class UserPrompts;

class FigureEngine : public FigureParams {
public:
    FigureEngine();  // zero-filled record, geometry constants, then ResetFigure()

    // Parameters and transform.
    void ResetFigure();
    void SetNamesFromPath(const std::string& path);
    void UpdateTransform();
    std::pair<std::int64_t, std::int64_t> FigureToPixel(double x, double y) const;
    std::pair<double, double> PixelToFigure(double px, double py) const;
    std::pair<std::int64_t, std::int64_t> FigureToScreen(double x, double y) const;
    std::pair<double, double> ScreenToFigure(double px, double py) const;

    // Colour table.
    COLORREF GetColour(int entry) const;
    void SetColour(COLORREF colour, int entry);
    std::uint32_t GetDibColour(int entry) const;
    static COLORREF AdjustChannel(COLORREF colour, int byteIndex, int step);

    // Painting into locked 24-bit rows of m_nRowBytes bytes; order -1 paints every drawn order.
    void PaintFigure(std::uint8_t* pixels, int order, UserPrompts& ui);

    std::int32_t m_nRowBytes = 0;  // set by the document when it allocates the picture
};

// The working copy the settings dialog edits; constructed with defaults before the program runs.
extern FigureEngine g_figureEdit;
