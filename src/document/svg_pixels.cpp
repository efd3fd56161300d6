#include "document/svg_pixels.h"

#include <algorithm>
#include <cmath>

namespace {

double Area(const std::vector<PlotterPoint>& polygon) {
    double twice = 0;
    for (std::size_t n = 0; n < polygon.size(); ++n) {
        const PlotterPoint p = polygon[n], q = polygon[(n + 1) % polygon.size()];
        twice += p.x * q.y - q.x * p.y;
    }
    return std::fabs(twice) / 2;
}

double Perimeter(const std::vector<PlotterPoint>& polygon) {
    double length = 0;
    for (std::size_t n = 0; n < polygon.size(); ++n) {
        const PlotterPoint p = polygon[n], q = polygon[(n + 1) % polygon.size()];
        length += std::sqrt((q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y));
    }
    return length;
}

}  // namespace

bool ClipSegment(PlotterPoint& p, PlotterPoint& q, const SvgRect& r) {
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

std::vector<PlotterPoint> ClipPolygon(std::vector<PlotterPoint> polygon, const SvgRect& r) {
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

void SvgPixelCells::Blend(std::int64_t column, std::int64_t row, double area, std::uint32_t colour,
                          double opacity, int sequence) {
    // A part covering a share f of the cell at opacity a moves the cell's mean by f·a.
    const double alpha =
        std::clamp(area / (m_cell * m_cell), 0.0, 1.0) * std::clamp(opacity, 0.0, 1.0);
    if (!(alpha > 0)) return;
    // Neighbouring items mostly meet the cell met last.
    const std::uint64_t key =
        static_cast<std::uint64_t>(row) << 32 | static_cast<std::uint64_t>(column);
    if (m_last == nullptr || key != m_lastKey) {
        m_last = &m_cells[key];
        m_lastKey = key;
    }
    Cell& cell = *m_last;
    for (int channel = 0; channel < 3; ++channel) {
        const double value = (colour >> (8 * channel)) & 0xff;
        cell.channel[channel] = cell.channel[channel] * (1 - alpha) + value * alpha;
    }
    cell.opacity = cell.opacity * (1 - alpha) + alpha;
    cell.last = colour;
    cell.sequence = std::max(cell.sequence, sequence);
}

bool SvgPixelCells::CellRange(std::span<const PlotterPoint> points,
                              std::int64_t (&range)[4]) const {
    double x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
    for (const PlotterPoint& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    if (m_width <= 0 || m_height <= 0 || x1 < 0 || y1 < 0 || x0 > m_width || y0 > m_height) {
        return false;
    }
    const double lastColumn = (m_width - 1) / m_cell, lastRow = (m_height - 1) / m_cell;
    range[0] = static_cast<std::int64_t>(std::clamp(std::floor(x0 / m_cell), 0.0, lastColumn));
    range[1] = static_cast<std::int64_t>(std::clamp(std::floor(y0 / m_cell), 0.0, lastRow));
    range[2] = static_cast<std::int64_t>(std::clamp(std::floor(x1 / m_cell), 0.0, lastColumn));
    range[3] = static_cast<std::int64_t>(std::clamp(std::floor(y1 / m_cell), 0.0, lastRow));
    return true;
}

SvgRect SvgPixelCells::CellRect(std::int64_t column, std::int64_t row) const {
    const double x = static_cast<double>(column * m_cell), y = static_cast<double>(row * m_cell);
    return {x, y, x + m_cell, y + m_cell};
}

void SvgPixelCells::BlendArea(const std::vector<PlotterPoint>& polygon, std::uint32_t colour,
                              double opacity, int sequence) {
    std::int64_t r[4];
    if (!CellRange(polygon, r)) return;
    // The fill paints the pixels its edges cut too: on average half a pixel more along each
    // unit of its edges.
    const double area = Area(polygon), painted = area + Perimeter(polygon) / 2;
    if (r[0] == r[2] && r[1] == r[3]) {
        Blend(r[0], r[1], std::max(painted, 1.0), colour, opacity, sequence);
        return;
    }
    for (std::int64_t row = r[1]; row <= r[3]; ++row) {
        for (std::int64_t column = r[0]; column <= r[2]; ++column) {
            const auto inside = ClipPolygon(polygon, CellRect(column, row));
            if (inside.size() >= 3) {
                Blend(column, row, Area(inside) * painted / area, colour, opacity, sequence);
            }
        }
    }
}

void SvgPixelCells::BlendLine(PlotterPoint a, PlotterPoint b, std::uint32_t colour, double opacity,
                              int sequence) {
    std::int64_t r[4];
    const PlotterPoint ends[2] = {a, b};
    if (!CellRange(ends, r)) return;
    // The segment raster paints one pixel per step along the longer axis: none between two
    // points of one pixel.
    if (r[0] == r[2] && r[1] == r[3]) {
        const double steps = std::max(std::fabs(std::floor(b.x) - std::floor(a.x)),
                                      std::fabs(std::floor(b.y) - std::floor(a.y)));
        Blend(r[0], r[1], steps, colour, opacity, sequence);
        return;
    }
    for (std::int64_t row = r[1]; row <= r[3]; ++row) {
        for (std::int64_t column = r[0]; column <= r[2]; ++column) {
            PlotterPoint p = a, q = b;
            if (ClipSegment(p, q, CellRect(column, row))) {
                Blend(column, row, std::max(std::fabs(q.x - p.x), std::fabs(q.y - p.y)), colour,
                      opacity, sequence);
            }
        }
    }
}

SvgPixelRun SvgPixelCells::RunOf(std::uint64_t key, const Cell& cell, bool blended) const {
    const int column = static_cast<int>(key & 0xffffffff), row = static_cast<int>(key >> 32);
    SvgPixelRun run{column * m_cell,
                    row * m_cell,
                    std::min(m_cell, m_width - column * m_cell),
                    std::min(m_cell, m_height - row * m_cell),
                    cell.last,
                    100,
                    cell.sequence};
    if (!blended) return run;
    run.opacity = static_cast<int>(std::lround(100 * cell.opacity));
    run.colour = 0;
    for (int channel = 0; channel < 3; ++channel) {
        const double value = cell.opacity > 0 ? cell.channel[channel] / cell.opacity : 0.0;
        run.colour |= static_cast<std::uint32_t>(std::clamp(std::lround(value), 0L, 255L))
                      << (8 * channel);
    }
    return run;
}

std::vector<SvgPixelRun> SvgPixelCells::Runs(bool blended) const {
    std::vector<std::uint64_t> keys;
    keys.reserve(m_cells.size());
    for (const auto& entry : m_cells) keys.push_back(entry.first);
    std::sort(keys.begin(), keys.end());
    std::vector<SvgPixelRun> runs;
    for (std::uint64_t key : keys) {
        const SvgPixelRun next = RunOf(key, m_cells.at(key), blended);
        if (next.opacity <= 0) continue;
        if (!runs.empty()) {
            SvgPixelRun& run = runs.back();
            if (run.y == next.y && run.x + run.width == next.x && run.colour == next.colour &&
                run.opacity == next.opacity) {
                run.width += next.width;
                run.sequence = std::max(run.sequence, next.sequence);
                continue;
            }
        }
        runs.push_back(next);
    }
    return runs;
}
