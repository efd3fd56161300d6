// The --stats report of dorvanta-render: the pentagons the last painting found per order.
#pragma once

#include <cstdio>
#include <vector>

class FigureEngine;
struct PlotterStats;
struct SvgOptions;

// One line per painted order (in ascending order), then the total number of shape records.
void PrintPentagonStats(const FigureEngine& figure, const std::vector<int>& paintedOrders,
                        std::FILE* out);

// The plotter's pen-down length, pen-up travel (also in painting order) and stroke count, in
// user units and, for a physical width, in millimetres.
void PrintPlotterStats(const PlotterStats& stats, const SvgOptions& svg, int pictureWidth,
                       std::FILE* out);
