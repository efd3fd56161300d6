// Merging, joining and ordering of plotter strokes. Every stroke of the figure runs along one of a
// few directions (the five families, and the pentagon edges and star lines parallel to them), so
// strokes are grouped by direction, then by their offset across it, and each group is swept along
// its line.
#include "document/svg_plotter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>
#include <utility>

namespace {

PlotterPoint operator+(PlotterPoint p, PlotterPoint q) {
    return {p.x + q.x, p.y + q.y};
}
PlotterPoint operator-(PlotterPoint p, PlotterPoint q) {
    return {p.x - q.x, p.y - q.y};
}
PlotterPoint operator*(double s, PlotterPoint p) {
    return {s * p.x, s * p.y};
}
double Dot(PlotterPoint p, PlotterPoint q) {
    return p.x * q.x + p.y * q.y;
}
// Squared lengths and square roots only: they round alike in every C library, which hypot and
// atan2 do not, so that every platform plans the same strokes in the same order.
double SquaredDistance(PlotterPoint p, PlotterPoint q) {
    return Dot(p - q, p - q);
}
double Distance(PlotterPoint p, PlotterPoint q) {
    return std::sqrt(SquaredDistance(p, q));
}

// A stroke along its carrier line: offset t across it, from s0 to s1 along it.
struct Stretch {
    double t = 0.0;
    double s0 = 0.0;
    double s1 = 0.0;
    std::uint32_t colour = 0;
    int sequence = 0;

    // Strict and total, so that every sort puts equal offsets in one order.
    friend bool operator<(const Stretch& p, const Stretch& q) {
        return std::tie(p.t, p.sequence, p.s0, p.s1, p.colour) <
               std::tie(q.t, q.sequence, q.s0, q.s1, q.colour);
    }
};

// Directions whose keys are closer than this (about a micro-radian) are one direction.
constexpr double kDirectionTolerance = 1e-6;

// A stroke's direction turned into the half turn from just below −90° to just above 90°, so that
// vertical strokes drawn up and drawn down share one direction near 90°.
PlotterPoint LineDirection(PlotterPoint d) {
    constexpr double kVerticalMargin = 1e-3;  // about a milli-radian
    if (d.x < 0 || (d.x == 0 && d.y < 0)) d = -1.0 * d;
    if (d.y < 0 && d.x < kVerticalMargin * -d.y) d = -1.0 * d;
    return d;
}

// A key of a line direction that grows with its angle, from a quotient instead of atan2: the
// diamond angle, y / (|x| + |y|), continued beyond 90° as 2 − y / (|x| + |y|).
double DirectionKey(PlotterPoint d) {
    const double sine = d.y / (std::fabs(d.x) + std::fabs(d.y));
    return d.x < 0 ? 2 - sine : sine;
}

// Sweeps the stretches of one carrier line (sorted or not) and appends the merged strokes.
void SweepLine(const std::vector<Stretch>& line, PlotterPoint along, PlotterPoint across,
               std::vector<PlotterSegment>& out) {
    std::vector<double> cuts;
    for (const Stretch& s : line) {  // + 0.0: −0 and 0 sort as equals, and must print alike
        cuts.push_back(s.s0 + 0.0);
        cuts.push_back(s.s1 + 0.0);
    }
    std::sort(cuts.begin(), cuts.end());
    std::vector<double> points;  // cuts closer than the tolerance become one
    for (double c : cuts) {
        if (points.empty() || c - points.back() > kPlotterTolerance) points.push_back(c);
    }
    auto indexOf = [&points](double s) {
        auto it = std::upper_bound(points.begin(), points.end(), s + kPlotterTolerance);
        return static_cast<std::size_t>(it - points.begin()) - 1;
    };
    // The stretch on top of each piece between neighbouring points: the one painted last.
    std::vector<int> owner(points.size(), -1);
    for (std::size_t n = 0; n < line.size(); ++n) {
        for (std::size_t p = indexOf(line[n].s0); p < indexOf(line[n].s1); ++p) {
            if (owner[p] < 0 || line[owner[p]].sequence < line[n].sequence) {
                owner[p] = static_cast<int>(n);
            }
        }
    }
    const double t = line.front().t;
    auto at = [&](double s) { return s * along + t * across; };
    for (std::size_t p = 0; p + 1 < points.size();) {
        if (owner[p] < 0) {
            ++p;
            continue;
        }
        const std::uint32_t colour = line[owner[p]].colour;
        int first = line[owner[p]].sequence;
        std::size_t q = p + 1;
        while (q + 1 < points.size() && owner[q] >= 0 && line[owner[q]].colour == colour) {
            first = std::min(first, line[owner[q]].sequence);
            ++q;
        }
        out.push_back({at(points[p]), at(points[q]), colour, first});
        p = q;
    }
}

// The stretches of one direction, split into carrier lines by their offsets.
void SweepDirection(std::vector<Stretch>& stretches, PlotterPoint along, PlotterPoint across,
                    std::vector<PlotterSegment>& out) {
    std::sort(stretches.begin(), stretches.end());
    std::size_t begin = 0;
    for (std::size_t n = 1; n <= stretches.size(); ++n) {
        if (n == stretches.size() || stretches[n].t - stretches[n - 1].t > kPlotterTolerance) {
            SweepLine({stretches.begin() + static_cast<std::ptrdiff_t>(begin),
                       stretches.begin() + static_cast<std::ptrdiff_t>(n)},
                      along, across, out);
            begin = n;
        }
    }
}

// Ends of the free strokes of one pen in a grid of cells, for nearest-end searches.
class EndGrid {
  public:
    EndGrid(const std::vector<PlotterSegment>& strokes) : m_strokes(strokes) {
        double x0 = 0, y0 = 0, x1 = 1, y1 = 1;
        for (const PlotterSegment& s : strokes) {
            for (PlotterPoint p : {s.a, s.b}) {
                x0 = std::min(x0, p.x);
                y0 = std::min(y0, p.y);
                x1 = std::max(x1, p.x);
                y1 = std::max(y1, p.y);
            }
        }
        m_x0 = x0;
        m_y0 = y0;
        const double side = std::max(x1 - x0, y1 - y0);
        m_count =
            std::clamp(static_cast<int>(std::sqrt(static_cast<double>(strokes.size()))), 1, 1024);
        m_cell = side / m_count;
        m_cells.resize(static_cast<std::size_t>(m_count) * m_count);
        m_used.assign(strokes.size(), false);
        for (std::size_t n = 0; n < strokes.size(); ++n) {
            m_cells[CellOf(strokes[n].a)].push_back(static_cast<int>(2 * n));
            m_cells[CellOf(strokes[n].b)].push_back(static_cast<int>(2 * n + 1));
        }
    }

    // The free stroke end nearest to p, as 2·stroke + (1 for its end b); -1 when none is left.
    int Nearest(PlotterPoint p) const {
        const int cx = Clamp((p.x - m_x0) / m_cell), cy = Clamp((p.y - m_y0) / m_cell);
        int best = -1;
        double bestSquared = std::numeric_limits<double>::infinity();
        for (int ring = 0; ring <= m_count; ++ring) {
            // Every cell of this ring lies at least (ring − 1) cells away.
            const double nearest = std::max(ring - 1, 0) * m_cell;
            if (best >= 0 && nearest * nearest > bestSquared) break;
            for (int y = cy - ring; y <= cy + ring; ++y) {
                for (int x = cx - ring; x <= cx + ring; ++x) {
                    const bool onRing = std::abs(x - cx) == ring || std::abs(y - cy) == ring;
                    if (!onRing || x < 0 || y < 0 || x >= m_count || y >= m_count) continue;
                    for (int end : m_cells[static_cast<std::size_t>(y) * m_count + x]) {
                        if (m_used[end / 2]) continue;
                        const double d = SquaredDistance(p, EndPoint(end));
                        if (d < bestSquared) {
                            bestSquared = d;
                            best = end;
                        }
                    }
                }
            }
        }
        return best;
    }

    void Take(int stroke) { m_used[stroke] = true; }
    PlotterPoint EndPoint(int end) const {
        const PlotterSegment& s = m_strokes[end / 2];
        return end % 2 ? s.b : s.a;
    }

  private:
    int Clamp(double cell) const {
        return std::clamp(static_cast<int>(std::floor(cell)), 0, m_count - 1);
    }
    std::size_t CellOf(PlotterPoint p) const {
        return static_cast<std::size_t>(Clamp((p.y - m_y0) / m_cell)) * m_count +
               Clamp((p.x - m_x0) / m_cell);
    }

    const std::vector<PlotterSegment>& m_strokes;
    double m_x0 = 0, m_y0 = 0, m_cell = 1;
    int m_count = 1;
    std::vector<std::vector<int>> m_cells;
    std::vector<bool> m_used;
};

// The greedy tour of one pen's strokes, adding to stats.
PlotterPen PlanPen(std::uint32_t colour, const std::vector<PlotterSegment>& strokes,
                   PlotterStats& stats) {
    PlotterPen pen{colour, {}};
    PlotterPoint at{};
    for (const PlotterSegment& s : strokes) {  // already in painting order
        stats.penUpPaintingOrder += Distance(at, s.a);
        at = s.b;
    }
    EndGrid grid(strokes);
    at = {};
    for (std::size_t drawn = 0; drawn < strokes.size(); ++drawn) {
        const int end = grid.Nearest(at);
        const PlotterPoint from = grid.EndPoint(end), to = grid.EndPoint(end ^ 1);
        grid.Take(end / 2);
        const double gap = Distance(at, from);
        if (pen.paths.empty() || gap > kPlotterTolerance) {
            pen.paths.push_back({from});
            stats.penUp += gap;
            ++stats.strokes;
        }
        pen.paths.back().push_back(to);
        stats.penDown += Distance(from, to);
        at = to;
    }
    return pen;
}

}  // namespace

std::vector<PlotterSegment> MergeStrokes(const std::vector<PlotterSegment>& segments) {
    struct Oriented {
        double key;
        PlotterPoint direction;
        std::size_t index;
    };
    std::vector<Oriented> strokes;
    for (std::size_t n = 0; n < segments.size(); ++n) {
        const PlotterSegment& s = segments[n];
        const double squared = SquaredDistance(s.a, s.b);
        if (!(squared > kPlotterTolerance * kPlotterTolerance) || !std::isfinite(squared)) continue;
        const PlotterPoint direction = LineDirection(s.b - s.a);
        strokes.push_back({DirectionKey(direction), direction, n});
    }
    std::sort(strokes.begin(), strokes.end(), [](const Oriented& p, const Oriented& q) {
        return std::tie(p.key, p.index) < std::tie(q.key, q.index);
    });
    std::vector<PlotterSegment> merged;
    std::size_t begin = 0;
    for (std::size_t n = 1; n <= strokes.size(); ++n) {
        if (n < strokes.size() && strokes[n].key - strokes[n - 1].key <= kDirectionTolerance) {
            continue;
        }
        // One direction: the strokes from begin to n, measured along the longest one.
        const PlotterPoint longest =
            std::max_element(strokes.begin() + static_cast<std::ptrdiff_t>(begin),
                             strokes.begin() + static_cast<std::ptrdiff_t>(n),
                             [](const Oriented& p, const Oriented& q) {
                                 return Dot(p.direction, p.direction) <
                                        Dot(q.direction, q.direction);
                             })
                ->direction;
        const PlotterPoint along = (1 / std::sqrt(Dot(longest, longest))) * longest,
                           across{-along.y, along.x};
        std::vector<Stretch> stretches;
        for (std::size_t m = begin; m < n; ++m) {
            const PlotterSegment& s = segments[strokes[m].index];
            const double s0 = Dot(s.a, along), s1 = Dot(s.b, along);
            stretches.push_back({Dot(0.5 * (s.a + s.b), across), std::min(s0, s1), std::max(s0, s1),
                                 s.colour, s.sequence});
        }
        SweepDirection(stretches, along, across, merged);
        begin = n;
    }
    std::stable_sort(
        merged.begin(), merged.end(),
        [](const PlotterSegment& p, const PlotterSegment& q) { return p.sequence < q.sequence; });
    return merged;
}

std::vector<PlotterPen> PlanPens(const std::vector<PlotterSegment>& merged, PlotterStats& stats) {
    std::vector<std::uint32_t> colours;  // in order of first painting
    std::map<std::uint32_t, std::vector<PlotterSegment>> byColour;
    for (const PlotterSegment& s : merged) {
        auto& strokes = byColour[s.colour];
        if (strokes.empty()) colours.push_back(s.colour);
        strokes.push_back(s);
    }
    stats = {};
    std::vector<PlotterPen> pens;
    for (std::uint32_t colour : colours) pens.push_back(PlanPen(colour, byColour[colour], stats));
    return pens;
}
