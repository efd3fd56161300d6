// Items of an SVG export too small to be worth a vector element each, gathered in square cells
// of the picture: each blends its colour into the cells it covers, in proportion to the part of
// each cell it covers (at least one pixel, as the painting paints at least one), so that every
// cell keeps the mean colour the painting has there, and millions of items become at most one
// square per cell. Also the clipping both the vectors and the cells use.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "document/svg_plotter.h"

struct SvgRect {
    double x0, y0, x1, y1;
};

// Liang–Barsky: p–q cut to the rectangle; false when nothing of it lies inside.
bool ClipSegment(PlotterPoint& p, PlotterPoint& q, const SvgRect& r);
// Sutherland–Hodgman against the four edges of the rectangle.
std::vector<PlotterPoint> ClipPolygon(std::vector<PlotterPoint> polygon, const SvgRect& r);

// Neighbouring cells of one row of cells that came out alike, in user units (pixels).
struct SvgPixelRun {
    int x = 0;  // the top left corner
    int y = 0;
    int width = 0;
    int height = 0;
    std::uint32_t colour = 0;  // picture packing
    int opacity = 100;         // in hundredths
    int sequence = 0;          // the latest item in the run
};

class SvgPixelCells {
  public:
    // Cells of side cell pixels from the picture's top left corner.
    SvgPixelCells(int width, int height, int cell)
        : m_width(width), m_height(height), m_cell(cell) {}

    // A filled polygon and a one pixel wide stroke from a to b, in user units.
    void BlendArea(const std::vector<PlotterPoint>& polygon, std::uint32_t colour, double opacity,
                   int sequence);
    void BlendLine(PlotterPoint a, PlotterPoint b, std::uint32_t colour, double opacity,
                   int sequence);
    bool Empty() const { return m_cells.empty(); }
    void Clear() {
        m_cells.clear();
        m_last = nullptr;
    }

    // Runs row by row from the top. Blended: the colour and opacity the blends leave over
    // whatever lies below; otherwise the colour blended last, opaque (a pen).
    std::vector<SvgPixelRun> Runs(bool blended) const;

  private:
    struct Cell {
        double channel[3] = {};  // premultiplied, 0 to 255, in picture packing order
        double opacity = 0.0;
        std::uint32_t last = 0;
        int sequence = 0;
    };
    // Blends into the cell at column, row a part covering area square pixels of it.
    void Blend(std::int64_t column, std::int64_t row, double area, std::uint32_t colour,
               double opacity, int sequence);
    // The cells the box of points meets, clamped to the picture; false beside it.
    bool CellRange(std::span<const PlotterPoint> points, std::int64_t (&range)[4]) const;
    SvgRect CellRect(std::int64_t column, std::int64_t row) const;
    SvgPixelRun RunOf(std::uint64_t key, const Cell& cell, bool blended) const;

    int m_width, m_height, m_cell;
    std::unordered_map<std::uint64_t, Cell> m_cells;  // row · 2^32 + column
    Cell* m_last = nullptr;                           // the cell blended last, and its key
    std::uint64_t m_lastKey = 0;
};
