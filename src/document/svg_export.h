// SVG export: the figure as vectors, drawn from its exact geometry (a walk of the painting), for
// print, for Inkscape and for pen plotters and laser cutters.
//
// Picture mode: the background, then one Inkscape layer per painted order (9 down to 0) holding,
// in painting order, its lines, reference lines, big and small pentagons; one user unit is one
// picture pixel, colours and transparencies as in the picture, gradient fills as SVG gradients.
// Plotter mode: strokes only, one layer per colour, every stretch drawn once, joined into
// polylines and ordered to keep pen-up travel short; absolute M and L paths, no transforms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class FigureEngine;
class UserPrompts;

// The path names an SVG file: its name ends in ".svg" (any case).
bool IsSvgPath(const std::string& path);

// A physical length for the width attribute: a positive number and one of mm, cm, in, pt, pc, px.
struct SvgLength {
    double value = 0.0;
    std::string unit;
};

// "400mm", "21.5cm", "8in"; false for anything else (no unit, zero, negative, not finite).
bool ParseSvgLength(std::string_view text, SvgLength& length);
// The length in millimetres (px counts 96 to the inch).
double LengthInMillimetres(const SvgLength& length);

struct SvgOptions {
    bool plotter = false;
    bool physical = false;  // width is given in width; the height follows the picture's aspect
    SvgLength width;
    int order = -1;  // as a painting: -1 every drawn order, 0 to 9 that order alone
};

// What a plotter does with the strokes, in user units (picture pixels).
struct PlotterStats {
    double penDown = 0.0;             // length drawn
    double penUp = 0.0;               // travel between strokes, from the origin of each pen
    double penUpPaintingOrder = 0.0;  // the same strokes drawn in painting order, as painted
    int strokes = 0;                  // pen-down polylines
};

// The SVG text of the figure. The figure is not changed: the walk runs on a copy.
std::string MakeSvg(const FigureEngine& figure, const SvgOptions& options, UserPrompts& ui,
                    PlotterStats* stats = nullptr);
// Writes MakeSvg's text to path without risking an existing file; false after a message.
bool SaveSvgFile(const FigureEngine& figure, const SvgOptions& options, const std::string& path,
                 UserPrompts& ui, PlotterStats* stats = nullptr);

// The pieces, for the tests.

// v with at most two decimals, trailing zeros and a lone "-" of zero left out: 12.3, 5, -0.25.
std::string SvgNumber(double v);

// One stop of a gradient: offset 0 to 1 along it, colour in picture packing (blue low).
struct SvgGradientStop {
    double offset = 0.0;
    std::uint32_t colour = 0;
};
// The raster's gradient mix BlendColours(solid, outline, f) for f from −reach (offset 0) to
// +reach (offset 1), exact between the stops up to rounding: a stop at both ends and wherever a
// channel starts or stops clamping.
std::vector<SvgGradientStop> LinearGradientStops(std::uint32_t solid, std::uint32_t outline,
                                                 double reach);
// The radial form f = (ρ / r)² for ρ from 0 (offset 0) to reach·r (offset 1), with enough stops
// that straight interpolation between them stays within two levels of the raster.
std::vector<SvgGradientStop> RadialGradientStops(std::uint32_t solid, std::uint32_t outline,
                                                 double reach);
