// Plotter planning for the SVG export: the strokes of a figure merged so that every stretch of
// paper is drawn once, split by colour (one pen each), joined into polylines and ordered to keep
// the pen-up travel short.
#pragma once

#include <cstdint>
#include <vector>

#include "document/svg_export.h"

struct PlotterPoint {
    double x = 0.0;
    double y = 0.0;
};

// One straight stroke in user units; sequence is its place in the painting (later paints over).
struct PlotterSegment {
    PlotterPoint a;
    PlotterPoint b;
    std::uint32_t colour = 0;  // picture packing
    int sequence = 0;
};

// Points closer than this (user units) are one point on paper; strokes this close to one line lie
// on it. It is half the 0.01 the file's numbers keep.
constexpr double kPlotterTolerance = 0.005;

// Strokes that coincide or overlap on one line become one stroke per stretch, in the colour of
// the stroke painted last there (the one on top in the picture); touching stretches of one colour
// become one stroke. Strokes shorter than the tolerance are dropped. The result is ordered by
// sequence, each stroke carrying the earliest sequence of what it covers.
std::vector<PlotterSegment> MergeStrokes(const std::vector<PlotterSegment>& segments);

// One pen: its colour and its polylines in drawing order.
struct PlotterPen {
    std::uint32_t colour = 0;
    std::vector<std::vector<PlotterPoint>> paths;
};

// Pens in the order their colours were first painted. Within a pen the strokes are drawn greedily
// from the origin: always the nearest free end next, continuing the polyline when it starts where
// the pen is. stats receives the lengths, the path count and the travel of the painting order.
std::vector<PlotterPen> PlanPens(const std::vector<PlotterSegment>& merged, PlotterStats& stats);
