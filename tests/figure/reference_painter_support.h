// A literal painter for comparison: the raster primitives and the painting loop written exactly as
// the rules read, every pixel of every item going through BlendPixel and every fill pixel through
// the five-edge inside test. The only liberty: scans stop at the picture's edges, where BlendPixel
// would skip every pixel anyway. The engine's picture must equal this one byte for byte.
#pragma once

#include <cstdint>

#include "figure/figure_engine.h"

class UserPrompts;

class ReferencePainter {
  public:
    // Paints with the figure's parameters; builds the series with the figure's own tables.
    explicit ReferencePainter(FigureEngine& figure) : m_f(figure) {}

    void Paint(std::uint8_t* pixels, int order, UserPrompts& ui);

    // The primitives, literally.
    void BlendPixel(std::int64_t x, std::int64_t y, std::uint32_t colour, double t);
    void DrawSegment(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                     std::uint32_t colour, double t);
    void FillPentagon(const PentagonVertices& v, std::uint32_t colour, double t);
    void FillPentagonGradient(const PentagonVertices& v, bool radial, FigurePoint direction,
                              double radius, std::uint32_t solid, std::uint32_t outline, double t);
    static std::uint32_t BlendColours(std::uint32_t c1, std::uint32_t c2, double f);
    // The inside test of the fills, pixel by pixel (products in 128 bits for far vertices).
    static bool InsidePentagon(const PentagonVertices& v, std::int64_t x, std::int64_t y);

    std::uint8_t* m_pBits = nullptr;

  private:
    void ClipToPicture(std::int64_t& x0, std::int64_t& y0, std::int64_t& x1,
                       std::int64_t& y1) const;
    void PaintOrder(int n, UserPrompts& ui);
    void PaintLines(int n);
    void DrawFamilyLine(int k, double t, int entry, double transparency);
    void FindPentagons(const PentagonStyle& style);
    bool Found(GoldenInt q, char kind, bool stepBefore) const;
    void DrawPentagon(int i, int j, double R, const PentagonStyle& style);

    FigureEngine& m_f;
};
