// The SVG text of a figure: a walk of the painting collects its items in exact figure
// coordinates, which are mapped so that one user unit is one picture pixel (pixel (x, y) of the
// bottom-up picture is the unit square at column x, row height − 1 − y), clipped to the picture
// rectangle and written with two decimals.
#include "document/svg_export.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "document/dat_file.h"
#include "document/svg_pixels.h"
#include "document/svg_plotter.h"
#include "figure/figure_engine.h"
#include "figure/figure_walker.h"
#include "picture/safe_file.h"
#include "picture/user_prompts.h"

namespace {

// Pentagons less than three cells across are gathered in square cells, 300 to the picture's
// longer side (4 pixels in the default picture): below that the number of pentagons a view holds
// (four times as many at every halving) would outgrow the file, and a cell of the look's
// resolution keeps its mean colour. Measured against the picture, not in pixels, the drawing is
// the same at every size the SVG is given.
constexpr int kCellsAcross = 300;
constexpr int kVectorCells = 3;

int CellSide(const FigureEngine& figure) {
    return std::max(1, std::max(figure.m_nWidth, figure.m_nHeight) / kCellsAcross);
}

// Straight interpolation of (ρ/r)² between stops this far apart (in ρ/r) errs by at most
// 255·h²/4 ≈ 0.92 levels, which with the rounding of the stops and of the raster stays within two.
constexpr double kRadialStep = 0.12;

struct UnitInfo {
    const char* name;
    double millimetres;
};
constexpr UnitInfo kUnits[] = {{"mm", 1.0},         {"cm", 10.0},       {"in", 25.4},
                               {"pt", 25.4 / 72.0}, {"pc", 25.4 / 6.0}, {"px", 25.4 / 96.0}};

std::string Hex(std::uint32_t colour) {  // picture packing to #rrggbb
    static const char* const digits = "0123456789abcdef";
    std::string text = "#";
    for (int shift : {16, 8, 0}) {
        const unsigned byte = (colour >> shift) & 0xff;
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::string Number(double v, int decimals) {
    if (!std::isfinite(v)) return "0";  // never met inside the picture; keeps the file valid
    char buffer[400];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return "0";
    std::string text(buffer, end);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

// The text in lower case without the blanks around it.
std::string LowerTrimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    std::string word(text.substr(first, text.find_last_not_of(" \t") + 1 - first));
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return word;
}

// v > 0 with nine significant digits in plain decimals (renderers differ on exponents).
std::string Significant(double v) {
    const int magnitude = static_cast<int>(std::floor(std::log10(v)));
    return Number(v, std::clamp(8 - magnitude, 0, 30));
}

// Opacity of an item of transparency t.
std::string OpacityAttribute(double t) {
    const double opacity = std::clamp(1.0 - t, 0.0, 1.0);
    return opacity >= 1.0 || std::isnan(opacity) ? "" : " opacity=\"" + Number(opacity, 4) + "\"";
}

// Figure coordinates to user units, and the picture rectangle in them.
class SvgFrame {
  public:
    explicit SvgFrame(const FigureEngine& f)
        : m_centreX(f.m_dCentreX),
          m_centreY(f.m_dCentreY),
          m_scale(f.m_transform.scale),
          m_halfWidth(f.m_transform.halfWidth),
          m_halfHeight(f.m_transform.halfHeight),
          m_rect{0, 0, static_cast<double>(f.m_nWidth), static_cast<double>(f.m_nHeight)} {}

    // The raster rounds (x − centre)·scale + half to the pixel whose centre is half a unit in.
    PlotterPoint Map(FigurePoint p) const {
        return {(p.x - m_centreX) * m_scale + m_halfWidth + 0.5,
                m_rect.y1 - 0.5 - ((p.y - m_centreY) * m_scale + m_halfHeight)};
    }
    PlotterPoint MapPixel(double px, double py) const { return {px + 0.5, m_rect.y1 - 0.5 - py}; }
    const SvgRect& Picture() const { return m_rect; }

  private:
    double m_centreX, m_centreY, m_scale;
    double m_halfWidth, m_halfHeight;
    SvgRect m_rect;
};

// A letter and a number: g12.
std::string Id(char letter, int number) {
    std::string id(1, letter);
    id += std::to_string(number);
    return id;
}

bool Finite(PlotterPoint p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

void AppendPoint(std::string& d, char command, PlotterPoint p) {
    d += command;
    d += SvgNumber(p.x);
    d += ' ';
    d += SvgNumber(p.y);
}

// Path data of a polyline cut to the rectangle; closed when it is whole and close is set.
std::string PolylineData(const std::vector<PlotterPoint>& points, bool close, const SvgRect& r) {
    std::string d;
    PlotterPoint pen{NAN, NAN};
    bool whole = true;
    const std::size_t count = close ? points.size() : points.size() - 1;
    for (std::size_t n = 0; n < count; ++n) {
        PlotterPoint p = points[n], q = points[(n + 1) % points.size()];
        if (!Finite(p) || !Finite(q) || !ClipSegment(p, q, r) || !Finite(p) || !Finite(q)) {
            whole = false;
            continue;
        }
        if (p.x != points[n].x || p.y != points[n].y) whole = false;
        if (d.empty() || p.x != pen.x || p.y != pen.y) AppendPoint(d, 'M', p);
        if (close && whole && n + 1 == count) {
            d += 'Z';
        } else {
            AppendPoint(d, 'L', q);
        }
        pen = q;
    }
    return d;
}

// Extent of an item in user units: the larger side of its box; NaN for points beyond numbers.
double Extent(const std::vector<PlotterPoint>& points) {
    double x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
    for (const PlotterPoint& p : points) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    return std::max(x1 - x0, y1 - y0);
}

// The mean colour of a gradient fill over its pentagon: the mix over f from −1 to 1 across it,
// or (radial) over f = (ρ/r)², which is spread evenly from 0 to 1 over a disc.
std::uint32_t MeanGradientColour(const PentagonPaint& paint) {
    const bool radial = paint.direction.x == 0 && paint.direction.y == 0;
    constexpr int kSamples = 64;
    double sum[3] = {};
    for (int n = 0; n < kSamples; ++n) {
        const double u = (n + 0.5) / kSamples;
        const std::uint32_t c = FigureEngine::BlendColours(paint.solidColour, paint.outlineColour,
                                                           radial ? u : 2 * u - 1);
        for (int channel = 0; channel < 3; ++channel) sum[channel] += (c >> (8 * channel)) & 0xff;
    }
    std::uint32_t mean = 0;
    for (int channel = 0; channel < 3; ++channel) {
        mean |= static_cast<std::uint32_t>(std::lround(sum[channel] / kSamples)) << (8 * channel);
    }
    return mean;
}

// Collects the items of a walk as SVG elements (picture mode) or as strokes (plotter mode).
class SvgWalker : public FigureWalker {
  public:
    SvgWalker(const FigureEngine& figure, bool plotter, std::string layerStyle)
        : m_figure(figure),
          m_frame(figure),
          m_plotter(plotter),
          m_layerStyle(std::move(layerStyle)),
          m_smallest(kVectorCells * CellSide(figure)),
          m_pixels(figure.m_nWidth, figure.m_nHeight, CellSide(figure)) {}

    // The layer opens with its first item, so that an order with nothing to draw writes none.
    void BeginOrder(int order) override {
        if (m_plotter) return;
        CloseLayer();
        m_order = order;
        m_lines.clear();
    }

    void Line(FigurePoint from, FigurePoint to, int entry, double t) override {
        const std::vector<PlotterPoint> points{m_frame.Map(from), m_frame.Map(to)};
        Stroke(points, false, m_figure.GetDibColour(entry), t);
    }

    void Pentagon(const PentagonPaint& paint, const FigurePoint (&vertex)[5]) override {
        std::vector<PlotterPoint> points;
        for (const FigurePoint& v : vertex) points.push_back(m_frame.Map(v));
        // Too small for a vector element of its own (or beyond numbers): its colours go to the
        // cells it covers.
        if (!(Extent(points) >= m_smallest)) {
            AddToCells(paint, points);
            return;
        }
        if (paint.fill && !m_plotter) Fill(paint, points);
        if (paint.outline) Stroke(points, true, paint.outlineColour, paint.transparency);
        if (paint.star) {
            const std::vector<PlotterPoint> star{points[0], points[2], points[4], points[1],
                                                 points[3]};
            Stroke(star, true, paint.starColour, paint.transparency);
        }
    }

    // Picture mode: the layers written so far and the definitions they use.
    std::string TakeBody() {
        CloseLayer();
        return std::move(m_body);
    }
    const std::string& Definitions() const { return m_defs; }
    // Plotter mode: the strokes, and a stroke through the middle of every row of cells that
    // gathered small items, in the pen that drew there last.
    const std::vector<PlotterSegment>& Segments() {
        for (const SvgPixelRun& run : m_pixels.Runs(false)) {
            const double y = run.y + run.height / 2.0;
            m_segments.push_back({{static_cast<double>(run.x), y},
                                  {static_cast<double>(run.x + run.width), y},
                                  run.colour,
                                  run.sequence});
        }
        m_pixels.Clear();
        return m_segments;
    }

  private:
    void OpenLayer() {
        if (m_layerOpen) return;
        m_body += "<g inkscape:groupmode=\"layer\" inkscape:label=\"Order " +
                  std::to_string(m_order) + "\" id=\"order" + std::to_string(m_order) + "\"" +
                  m_layerStyle + ">\n";
        m_layerOpen = true;
    }

    void CloseLayer() {
        WritePixels();
        if (m_layerOpen) m_body += "</g>\n";
        m_layerOpen = false;
    }

    // Picture mode: the gathered pixels of the layer, one path per colour and opacity.
    void WritePixels() {
        if (m_plotter || m_pixels.Empty()) return;
        std::map<std::pair<std::uint32_t, int>, std::string> paths;
        for (const SvgPixelRun& run : m_pixels.Runs(true)) {
            std::string& d = paths[{run.colour, run.opacity}];
            d += 'M' + std::to_string(run.x) + ' ' + std::to_string(run.y) + 'h' +
                 std::to_string(run.width) + 'v' + std::to_string(run.height) + 'h' +
                 std::to_string(-run.width) + 'z';
        }
        m_pixels.Clear();
        OpenLayer();
        for (const auto& [key, d] : paths) {
            m_body += "<path d=\"" + d + "\" fill=\"" + Hex(key.first) + "\"" +
                      OpacityAttribute(1.0 - key.second / 100.0) + "/>\n";
        }
    }

    // The fill in its mean colour (the gradient's middle), then every edge and star line.
    void AddToCells(const PentagonPaint& paint, const std::vector<PlotterPoint>& points) {
        const double opacity = 1.0 - paint.transparency;
        if (paint.fill && !m_plotter) {
            const std::uint32_t fill = paint.gradient ? MeanColour(paint) : paint.solidColour;
            m_pixels.BlendArea(points, fill, opacity, m_sequence++);
        }
        for (int k = 0; k < 5; ++k) {
            if (paint.outline) {
                m_pixels.BlendLine(points[k], points[(k + 1) % 5], paint.outlineColour, opacity,
                                   m_sequence++);
            }
            if (paint.star) {
                m_pixels.BlendLine(points[k], points[(k + 2) % 5], paint.starColour, opacity,
                                   m_sequence++);
            }
        }
    }

    // The mean colour of a gradient, kept for its colours: a far zoom-out has millions of them.
    std::uint32_t MeanColour(const PentagonPaint& paint) {
        const bool radial = paint.direction.x == 0 && paint.direction.y == 0;
        const auto key =
            std::make_tuple(paint.solidColour, paint.outlineColour, radial ? 1.0 : 0.0);
        auto it = m_means.find(key);
        if (it == m_means.end()) it = m_means.emplace(key, MeanGradientColour(paint)).first;
        return it->second;
    }

    void Stroke(const std::vector<PlotterPoint>& points, bool closed, std::uint32_t colour,
                double t) {
        if (m_plotter) {
            const std::size_t count = closed ? points.size() : points.size() - 1;
            for (std::size_t n = 0; n < count; ++n) {
                PlotterPoint p = points[n], q = points[(n + 1) % points.size()];
                if (Finite(p) && Finite(q) && ClipSegment(p, q, m_frame.Picture()) && Finite(p) &&
                    Finite(q)) {
                    m_segments.push_back({p, q, colour, m_sequence++});
                }
            }
            return;
        }
        const std::string d = PolylineData(points, closed, m_frame.Picture());
        if (d.empty()) return;
        // Lines that coincide at the file's precision (a zoomed-out view) are written once.
        if (!closed && !m_lines.insert(d + Hex(colour)).second) return;
        OpenLayer();
        m_body += "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + Hex(colour) + "\"" +
                  OpacityAttribute(t) + "/>\n";
    }

    void Fill(const PentagonPaint& paint, const std::vector<PlotterPoint>& points) {
        for (const PlotterPoint& p : points) {
            if (!Finite(p)) return;
        }
        const std::vector<PlotterPoint> inside = ClipPolygon(points, m_frame.Picture());
        // Vertices near the end of the double range can cut the picture's edges at no number.
        if (inside.size() < 3 || !std::all_of(inside.begin(), inside.end(), Finite)) return;
        std::string d;
        for (std::size_t n = 0; n < inside.size(); ++n) AppendPoint(d, n ? 'L' : 'M', inside[n]);
        const std::string fill =
            paint.gradient ? "url(#" + Gradient(paint) + ")" : Hex(paint.solidColour);
        OpenLayer();
        m_body += "<path d=\"" + d + "Z\" fill=\"" + fill + "\"" +
                  OpacityAttribute(paint.transparency) + "/>\n";
    }

    // Defines the gradient of this pentagon and returns its id. The raster measures the shading
    // from the integer mean of the pixel vertices; so does the gradient.
    std::string Gradient(const PentagonPaint& paint) {
        std::int64_t sx = 0, sy = 0;
        for (const PixelPoint& p : paint.pixel) {
            sx += p.x;
            sy += p.y;
        }
        const PlotterPoint centre =
            m_frame.MapPixel(static_cast<double>(sx / 5), static_cast<double>(sy / 5));
        const double r = paint.radius > 0 ? paint.radius : 1.0;
        // Pixels reach about one and a half beyond the radius from the integer centre.
        const double reach = 1 + 2 / r;
        const std::string id = Id('g', m_gradients++);
        if (paint.direction.x == 0 && paint.direction.y == 0) {
            m_defs += "<radialGradient id=\"" + id + "\" gradientUnits=\"userSpaceOnUse\" cx=\"" +
                      SvgNumber(centre.x) + "\" cy=\"" + SvgNumber(centre.y) + "\" r=\"" +
                      SvgNumber(reach * r) + "\">" +
                      Stops(RadialGradientStops(paint.solidColour, paint.outlineColour, reach)) +
                      "</radialGradient>\n";
            return id;
        }
        // The figure's y runs up, the user units' down.
        const PlotterPoint d{paint.direction.x * reach * r, -paint.direction.y * reach * r};
        m_defs += "<linearGradient id=\"" + id + "\" xlink:href=\"#" +
                  Template(paint.solidColour, paint.outlineColour, reach) + "\" x1=\"" +
                  SvgNumber(centre.x - d.x) + "\" y1=\"" + SvgNumber(centre.y - d.y) + "\" x2=\"" +
                  SvgNumber(centre.x + d.x) + "\" y2=\"" + SvgNumber(centre.y + d.y) + "\"/>\n";
        return id;
    }

    // The stops shared by every pentagon of one style and size.
    std::string Template(std::uint32_t solid, std::uint32_t outline, double reach) {
        const auto key = std::make_tuple(solid, outline, reach);
        auto it = m_templates.find(key);
        if (it != m_templates.end()) return it->second;
        const std::string id = Id('t', static_cast<int>(m_templates.size()));
        m_templates.emplace(key, id);
        m_defs += "<linearGradient id=\"" + id + "\" gradientUnits=\"userSpaceOnUse\">" +
                  Stops(LinearGradientStops(solid, outline, reach)) + "</linearGradient>\n";
        return id;
    }

    static std::string Stops(const std::vector<SvgGradientStop>& stops) {
        std::string text;
        for (const SvgGradientStop& s : stops) {
            text += "<stop offset=\"" + Number(s.offset, 4) + "\" stop-color=\"" + Hex(s.colour) +
                    "\"/>";
        }
        return text;
    }

    const FigureEngine& m_figure;
    SvgFrame m_frame;
    bool m_plotter;
    std::string m_layerStyle;  // stroke attributes every layer carries
    int m_order = 0;
    bool m_layerOpen = false;
    std::unordered_set<std::string> m_lines;  // the lines of the open layer
    double m_smallest;  // the extent of the smallest pentagon written as vectors
    SvgPixelCells m_pixels;
    std::map<std::tuple<std::uint32_t, std::uint32_t, double>, std::uint32_t> m_means;
    std::string m_body;
    std::string m_defs;
    int m_gradients = 0;
    std::map<std::tuple<std::uint32_t, std::uint32_t, double>, std::string> m_templates;
    std::vector<PlotterSegment> m_segments;
    int m_sequence = 0;
};

std::string Header(const FigureEngine& figure, const SvgOptions& options) {
    const int w = figure.m_nWidth, h = figure.m_nHeight;
    std::string size = "width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\"";
    if (options.physical && w > 0) {
        // Nine significant digits each: the aspect holds to the precision renderers work in.
        const double height = options.width.value * h / w;
        size = "width=\"" + Significant(options.width.value) + options.width.unit + "\" height=\"" +
               Significant(height) + options.width.unit + "\"";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
           "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" version=\"1.1\" " +
           size + " viewBox=\"0 0 " + std::to_string(w) + " " + std::to_string(h) + "\">\n";
}

// The stroke attributes of every layer: round joins (the star tips stay where the picture has
// them instead of growing miter spikes) and the stroke width asked for on paper.
std::string LayerStyle(const FigureEngine& figure, const SvgOptions& options) {
    std::string style = " stroke-linejoin=\"round\"";
    if (!options.strokeMm || figure.m_nWidth <= 0) return style;
    // User units per millimetre: the picture's width over the paper's, or 96 pixels to the inch.
    const double perMm =
        options.physical ? figure.m_nWidth / LengthInMillimetres(options.width) : 96.0 / 25.4;
    return style + " stroke-width=\"" + Significant(*options.strokeMm * perMm) + "\"";
}

// Layers labelled by their pen number first, as plotting tools choose layers by it.
std::string PlotterLayers(const std::vector<PlotterPen>& pens, const std::string& style) {
    std::string text;
    int number = 0;
    for (const PlotterPen& pen : pens) {
        ++number;
        text += "<g inkscape:groupmode=\"layer\" inkscape:label=\"" + std::to_string(number) + " " +
                Hex(pen.colour) + "\" id=\"pen" + std::to_string(number) +
                "\" fill=\"none\" stroke=\"" + Hex(pen.colour) + "\"" + style + ">\n";
        for (const auto& path : pen.paths) {
            std::string d;
            for (std::size_t n = 0; n < path.size(); ++n) AppendPoint(d, n ? 'L' : 'M', path[n]);
            text += "<path d=\"" + d + "\"/>\n";
        }
        text += "</g>\n";
    }
    return text;
}

}  // namespace

bool IsSvgPath(const std::string& path) {
    return path.size() >= 4 && LowerTrimmed(path.substr(path.size() - 4)) == ".svg";
}

bool ParseSvgLength(std::string_view text, SvgLength& length) {
    const std::string word = LowerTrimmed(text);
    double value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || !std::isfinite(value) || value <= 0) return false;
    const std::string unit = LowerTrimmed({end, word.data() + word.size()});
    for (const UnitInfo& u : kUnits) {
        if (unit == u.name) {
            length = {value, u.name};
            return true;
        }
    }
    return false;
}

// A length from low to high millimetres.
bool ParseLengthWithin(std::string_view text, double low, double high, SvgLength& length) {
    SvgLength parsed;
    if (!ParseSvgLength(text, parsed)) return false;
    const double mm = LengthInMillimetres(parsed);
    if (mm < low || mm > high) return false;
    length = parsed;
    return true;
}

bool ParseSvgWidth(std::string_view text, SvgLength& length) {
    return ParseLengthWithin(text, kSvgMinWidthMm, kSvgMaxWidthMm, length);
}

bool ParseSvgStroke(std::string_view text, double& millimetres) {
    SvgLength length;
    if (LowerTrimmed(text) == "hairline") {
        millimetres = kSvgHairlineMm;
    } else if (ParseLengthWithin(text, kSvgMinStrokeMm, kSvgMaxStrokeMm, length)) {
        millimetres = LengthInMillimetres(length);
    } else {
        return false;
    }
    return true;
}

double LengthInMillimetres(const SvgLength& length) {
    for (const UnitInfo& u : kUnits) {
        if (length.unit == u.name) return length.value * u.millimetres;
    }
    return length.value;
}

std::string SvgNumber(double v) {
    return Number(v, 2);
}

std::vector<SvgGradientStop> LinearGradientStops(std::uint32_t solid, std::uint32_t outline,
                                                 double reach) {
    std::vector<double> fs{-reach, reach};
    for (int shift : {0, 8, 16}) {
        const double c1 = (solid >> shift) & 0xff, c2 = (outline >> shift) & 0xff;
        if (c1 == c2) continue;
        for (double bound : {0.0, 255.0}) {  // c1·f + (1 − f)·c2 = bound
            const double f = (bound - c2) / (c1 - c2);
            if (f > -reach && f < reach) fs.push_back(f);
        }
    }
    std::sort(fs.begin(), fs.end());
    std::vector<SvgGradientStop> stops;
    for (double f : fs) {
        stops.push_back({(f + reach) / (2 * reach), FigureEngine::BlendColours(solid, outline, f)});
    }
    return stops;
}

std::vector<SvgGradientStop> RadialGradientStops(std::uint32_t solid, std::uint32_t outline,
                                                 double reach) {
    std::vector<double> xs;  // ρ / r
    const int steps = static_cast<int>(std::ceil(reach / kRadialStep));
    for (int n = 0; n <= steps; ++n) xs.push_back(reach * n / steps);
    for (int shift : {0, 8, 16}) {
        const double c1 = (solid >> shift) & 0xff, c2 = (outline >> shift) & 0xff;
        if (c1 == c2) continue;
        for (double bound : {0.0, 255.0}) {
            const double f = (bound - c2) / (c1 - c2);
            if (f > 0 && std::sqrt(f) < reach) xs.push_back(std::sqrt(f));
        }
    }
    std::sort(xs.begin(), xs.end());
    std::vector<SvgGradientStop> stops;
    for (double x : xs) {
        stops.push_back({x / reach, FigureEngine::BlendColours(solid, outline, x * x)});
    }
    return stops;
}

std::string MakeSvgWalking(FigureEngine& figure, const SvgOptions& options, UserPrompts& ui,
                           PlotterStats* stats) {
    // The frame maps with the transform the walk will use, also when nothing was painted yet.
    figure.UpdateTransform();
    const std::string style = LayerStyle(figure, options);
    SvgWalker walker(figure, options.plotter, options.plotter ? "" : style);
    figure.WalkFigure(options.order, walker, ui);

    std::string text = Header(figure, options);
    text += SvgFigureMetadata(
        {DatFileText(figure), figure.m_nWidth, figure.m_nHeight, std::max(options.order, -1)});
    if (options.plotter) {
        PlotterStats planned;
        text += PlotterLayers(PlanPens(MergeStrokes(walker.Segments()), planned), style);
        if (stats != nullptr) *stats = planned;
    } else {
        std::string body = walker.TakeBody();
        if (!walker.Definitions().empty()) text += "<defs>\n" + walker.Definitions() + "</defs>\n";
        text +=
            "<g inkscape:groupmode=\"layer\" inkscape:label=\"Background\" id=\"background\">"
            "<rect width=\"" +
            std::to_string(figure.m_nWidth) + "\" height=\"" + std::to_string(figure.m_nHeight) +
            "\" fill=\"" + Hex(figure.GetDibColour(SLOT_BACKGROUND)) + "\"/></g>\n";
        text += body;
    }
    text += "</svg>\n";
    return text;
}

std::string MakeSvg(const FigureEngine& figure, const SvgOptions& options, UserPrompts& ui,
                    PlotterStats* stats) {
    // The walk rebuilds the series and the shape list; the caller's figure keeps its own.
    auto copy = std::make_unique<FigureEngine>(figure);
    return MakeSvgWalking(*copy, options, ui, stats);
}

bool WriteSvgText(const std::string& text, const std::string& path, UserPrompts& ui) {
    SafeFile file(path);
    // A full disk shows in the write itself as often as at the commit: its errno is the cause.
    int writeError = 0;
    bool written = file.Open();
    if (written && std::fwrite(text.data(), 1, text.size(), file.Stream()) != text.size()) {
        writeError = errno;
        written = false;
    }
    written = written && file.Commit();
    if (!written) {
        const int cause = file.Error() ? file.Error() : writeError ? writeError : EIO;
        ui.ShowMessage("Could not write the SVG file " + path + ": " + std::strerror(cause),
                       MsgButtons::Ok, MsgIcon::Exclamation);
    }
    return written;
}

bool SaveSvgFile(const FigureEngine& figure, const SvgOptions& options, const std::string& path,
                 UserPrompts& ui, PlotterStats* stats) {
    return WriteSvgText(MakeSvg(figure, options, ui, stats), path, ui);
}
