// SVG export: the figure as vectors, drawn from its exact geometry (a walk of the painting), for
// print, for Inkscape and for pen plotters and laser cutters.
//
// Picture mode: the background, then one Inkscape layer per painted order (9 down to 0) holding,
// in painting order, its lines, reference lines, big and small pentagons; one user unit is one
// picture pixel, colours and transparencies as in the picture, gradient fills as SVG gradients.
// Pentagons less than a hundredth of the picture across are not written one by one: each adds
// its colours to the square cells (300 to the picture's longer side) it covers, and the cells of
// a layer are written as runs of squares at the end of the layer, so that a zoomed-out figure
// gives a file of the picture's resolution, not of its millions of items.
// Plotter mode: strokes only, one layer per colour, every stretch drawn once, joined into
// polylines and ordered to keep pen-up travel short; absolute M and L paths, no transforms. The
// cells of small pentagons are drawn by one stroke through each row of cells.
// Both carry the figure's parameter text in <metadata>, so that the file opens as its figure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class FigureEngine;
class UserPrompts;

// The path names an SVG file: its name ends in ".svg" (any case).
bool IsSvgPath(const std::string& path);

// A physical length: a positive number and one of mm, cm, in, pt, pc, px.
struct SvgLength {
    double value = 0.0;
    std::string unit;  // lower case
};

// "400mm", "21.5 CM", " 8in "; units in any case, blanks around and between allowed; false for
// anything else (no unit, zero, negative, not finite).
bool ParseSvgLength(std::string_view text, SvgLength& length);
// The length in millimetres (px counts 96 to the inch).
double LengthInMillimetres(const SvgLength& length);

// Widths a document may have, in millimetres: renderers open these, and the numbers stay short.
constexpr double kSvgMinWidthMm = 0.1;
constexpr double kSvgMaxWidthMm = 100000.0;
// A width for --svg-width and the export dialog: a length from 0.1 mm to 100 m.
bool ParseSvgWidth(std::string_view text, SvgLength& length);

// The stroke laser cutters take for a vector cut (at most 0.001 in).
constexpr double kSvgHairlineMm = 0.01;
constexpr double kSvgMinStrokeMm = 0.001;
constexpr double kSvgMaxStrokeMm = 10.0;
// A stroke width in millimetres: "hairline" (any case) or a length from 0.001 mm to 10 mm.
bool ParseSvgStroke(std::string_view text, double& millimetres);

struct SvgOptions {
    bool plotter = false;
    bool physical = false;  // width is given in width; the height follows the picture's aspect
    SvgLength width;
    int order = -1;  // as a painting: -1 every drawn order, 0 to 9 that order alone
    // Stroke width on paper, whatever the width; none: one picture pixel, as painted.
    std::optional<double> strokeMm;
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
// The same walking the figure itself, which is left with the series, shape list and counts of a
// painting (for --stats).
std::string MakeSvgWalking(FigureEngine& figure, const SvgOptions& options, UserPrompts& ui,
                           PlotterStats* stats = nullptr);
// Writes MakeSvg's text to path without risking an existing file; false after a message.
bool SaveSvgFile(const FigureEngine& figure, const SvgOptions& options, const std::string& path,
                 UserPrompts& ui, PlotterStats* stats = nullptr);
// Writes an SVG text to path without risking an existing file; false after a message.
bool WriteSvgText(const std::string& text, const std::string& path, UserPrompts& ui);

// The figure a Dorvanta SVG carries: its parameter text, byte for byte, its picture size and the
// order painted alone (-1 for every drawn order).
struct SvgFigure {
    std::string parameterText;
    int width = 0;
    int height = 0;
    int order = -1;
};
// The <metadata> element that carries figure (written after the root's start tag).
std::string SvgFigureMetadata(const SvgFigure& figure);
// Reads the figure of the SVG file at path, reading no further than its metadata. False with
// reason set when the file cannot be read or carries no figure.
bool ReadSvgFigure(const std::string& path, SvgFigure& figure, std::string& reason);
// The same from SVG text.
bool ParseSvgFigure(std::string_view text, SvgFigure& figure);

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
