#include "cli/render_stats.h"

#include <array>

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
