#include "cli/render_stats.h"

#include <array>

#include "document/svg_export.h"
#include "figure/figure_engine.h"

void PrintPentagonStats(const FigureEngine& figure, const std::vector<int>& paintedOrders,
                        std::FILE* out) {
    std::array<int, kOrderCount> records{};
    for (int i = 0; i < figure.m_nShapes && i < kMaxShapes; ++i) {
        int order = figure.m_shapes[i].order;
        if (order < kOrderCount) ++records[order];
    }
    for (int order : paintedOrders) {
        const PentagonCounts& c = figure.m_counts[order];
        std::fprintf(out,
                     "Order %d: big pentagons %d towards +x, %d towards -x; "
                     "small pentagons %d towards +x, %d towards -x; shape records %d\n",
                     order, c.bigUp, c.bigDown, c.smallUp, c.smallDown, records[order]);
    }
    std::fprintf(out, "Shape records: %d\n", figure.m_nShapes);
}

void PrintPlotterStats(const PlotterStats& stats, const SvgOptions& svg, int pictureWidth,
                       std::FILE* out) {
    std::fprintf(out,
                 "Plotter: %d strokes, pen down %.1f px, pen up %.1f px "
                 "(in painting order %.1f px)\n",
                 stats.strokes, stats.penDown, stats.penUp, stats.penUpPaintingOrder);
    if (svg.physical && pictureWidth > 0) {
        const double mm = LengthInMillimetres(svg.width) / pictureWidth;
        std::fprintf(out, "Plotter: pen down %.1f mm, pen up %.1f mm\n", stats.penDown * mm,
                     stats.penUp * mm);
    }
}
