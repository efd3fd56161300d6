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

#include "document/svg_plotter.h"
#include "figure/figure_engine.h"
#include "figure/figure_walker.h"
#include "picture/safe_file.h"
#include "picture/user_prompts.h"

namespace {

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

// Opacity of an item of transparency t.
std::string OpacityAttribute(double t) {
    const double opacity = std::clamp(1.0 - t, 0.0, 1.0);
    return opacity >= 1.0 || std::isnan(opacity) ? "" : " opacity=\"" + Number(opacity, 4) + "\"";
}

struct Rect {
    double x0, y0, x1, y1;
};

// Liang–Barsky: p–q cut to the rectangle; false when nothing of it lies inside.
bool ClipSegment(PlotterPoint& p, PlotterPoint& q, const Rect& r) {
    double t0 = 0, t1 = 1;
    const double dx = q.x - p.x, dy = q.y - p.y;
    const double ps[4] = {-dx, dx, -dy, dy};
    const double qs[4] = {p.x - r.x0, r.x1 - p.x, p.y - r.y0, r.y1 - p.y};
    for (int i = 0; i < 4; ++i) {
        if (ps[i] == 0) {
            if (qs[i] < 0) return false;
            continue;
        }
        const double t = qs[i] / ps[i];
        if (ps[i] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
    }
    if (t0 > t1) return false;
    const PlotterPoint start = p;
    p = {start.x + t0 * dx, start.y + t0 * dy};
    q = {start.x + t1 * dx, start.y + t1 * dy};
    return true;
}

// Sutherland–Hodgman against the four edges of the rectangle.
std::vector<PlotterPoint> ClipPolygon(std::vector<PlotterPoint> polygon, const Rect& r) {
    auto clipEdge = [&polygon](auto inside, auto cross) {
        std::vector<PlotterPoint> out;
        for (std::size_t n = 0; n < polygon.size(); ++n) {
            const PlotterPoint p = polygon[n], q = polygon[(n + 1) % polygon.size()];
            if (inside(p)) out.push_back(p);
            if (inside(p) != inside(q)) out.push_back(cross(p, q));
        }
        polygon = std::move(out);
    };
    auto atX = [](double x) {
        return [x](PlotterPoint p, PlotterPoint q) {
            return PlotterPoint{x, p.y + (q.y - p.y) * (x - p.x) / (q.x - p.x)};
        };
    };
    auto atY = [](double y) {
        return [y](PlotterPoint p, PlotterPoint q) {
            return PlotterPoint{p.x + (q.x - p.x) * (y - p.y) / (q.y - p.y), y};
        };
    };
    clipEdge([&r](PlotterPoint p) { return p.x >= r.x0; }, atX(r.x0));
    clipEdge([&r](PlotterPoint p) { return p.x <= r.x1; }, atX(r.x1));
    clipEdge([&r](PlotterPoint p) { return p.y >= r.y0; }, atY(r.y0));
    clipEdge([&r](PlotterPoint p) { return p.y <= r.y1; }, atY(r.y1));
    return polygon;
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
    const Rect& Picture() const { return m_rect; }

  private:
    double m_centreX, m_centreY, m_scale;
    double m_halfWidth, m_halfHeight;
    Rect m_rect;
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
std::string PolylineData(const std::vector<PlotterPoint>& points, bool close, const Rect& r) {
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

// Collects the items of a walk as SVG elements (picture mode) or as strokes (plotter mode).
class SvgWalker : public FigureWalker {
  public:
    SvgWalker(const FigureEngine& figure, bool plotter)
        : m_figure(figure), m_frame(figure), m_plotter(plotter) {}

    void BeginOrder(int order) override {
        if (m_plotter) return;
        CloseLayer();
        m_body += "<g inkscape:groupmode=\"layer\" inkscape:label=\"Order " +
                  std::to_string(order) + "\" id=\"order" + std::to_string(order) + "\">\n";
        m_layerOpen = true;
    }

    void Line(FigurePoint from, FigurePoint to, int entry, double t) override {
        const std::vector<PlotterPoint> points{m_frame.Map(from), m_frame.Map(to)};
        Stroke(points, false, m_figure.GetDibColour(entry), t);
    }

    void Pentagon(const PentagonPaint& paint, const FigurePoint (&vertex)[5]) override {
        std::vector<PlotterPoint> points;
        for (const FigurePoint& v : vertex) points.push_back(m_frame.Map(v));
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
    const std::vector<PlotterSegment>& Segments() const { return m_segments; }

  private:
    void CloseLayer() {
        if (m_layerOpen) m_body += "</g>\n";
        m_layerOpen = false;
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
    bool m_layerOpen = false;
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
        const double height = options.width.value * h / w;
        size = "width=\"" + Number(options.width.value, 3) + options.width.unit + "\" height=\"" +
               Number(height, 3) + options.width.unit + "\"";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
           "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" version=\"1.1\" " +
           size + " viewBox=\"0 0 " + std::to_string(w) + " " + std::to_string(h) + "\">\n";
}

std::string PlotterLayers(const std::vector<PlotterPen>& pens) {
    std::string text;
    int number = 0;
    for (const PlotterPen& pen : pens) {
        ++number;
        text += "<g inkscape:groupmode=\"layer\" inkscape:label=\"Pen " + std::to_string(number) +
                " " + Hex(pen.colour) + "\" id=\"pen" + std::to_string(number) +
                "\" fill=\"none\" stroke=\"" + Hex(pen.colour) + "\">\n";
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
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".svg";
}

bool ParseSvgLength(std::string_view text, SvgLength& length) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || !std::isfinite(value) || value <= 0) return false;
    const std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
    for (const UnitInfo& u : kUnits) {
        if (unit == u.name) {
            length = {value, u.name};
            return true;
        }
    }
    return false;
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

std::string MakeSvg(const FigureEngine& figure, const SvgOptions& options, UserPrompts& ui,
                    PlotterStats* stats) {
    // The walk rebuilds the series and the shape list; the caller's figure keeps its own.
    auto copy = std::make_unique<FigureEngine>(figure);
    SvgWalker walker(*copy, options.plotter);
    copy->WalkFigure(options.order, walker, ui);

    std::string text = Header(*copy, options);
    if (options.plotter) {
        PlotterStats planned;
        text += PlotterLayers(PlanPens(MergeStrokes(walker.Segments()), planned));
        if (stats != nullptr) *stats = planned;
    } else {
        std::string body = walker.TakeBody();
        if (!walker.Definitions().empty()) text += "<defs>\n" + walker.Definitions() + "</defs>\n";
        text +=
            "<g inkscape:groupmode=\"layer\" inkscape:label=\"Background\" id=\"background\">"
            "<rect width=\"" +
            std::to_string(copy->m_nWidth) + "\" height=\"" + std::to_string(copy->m_nHeight) +
            "\" fill=\"" + Hex(copy->GetDibColour(SLOT_BACKGROUND)) + "\"/></g>\n";
        text += body;
    }
    text += "</svg>\n";
    return text;
}

bool SaveSvgFile(const FigureEngine& figure, const SvgOptions& options, const std::string& path,
                 UserPrompts& ui, PlotterStats* stats) {
    const std::string text = MakeSvg(figure, options, ui, stats);
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
