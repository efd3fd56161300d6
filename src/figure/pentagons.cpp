// The exact pentagon search: a pentagon of an order exists where one line of each family bounds a
// regular pentagon and the series steps beside those lines are of the pentagon's kind. Every test
// is an exact lookup of a golden integer; the drawing records solid pentagons for the scene export.
#include <algorithm>
#include <cmath>
#include <vector>

#include "figure/figure_engine.h"

namespace {

constexpr std::uint8_t kUp = 1;    // the step after the element has the kind
constexpr std::uint8_t kDown = 2;  // the step before the element has the kind

}  // namespace

bool FigureEngine::BoxMeetsPicture(const PentagonVertices& v) const {
    const auto [minX, maxX] = std::minmax({v[0].x, v[1].x, v[2].x, v[3].x, v[4].x});
    const auto [minY, maxY] = std::minmax({v[0].y, v[1].y, v[2].y, v[3].y, v[4].y});
    return maxX >= 0 && minX < m_nWidth && maxY >= 0 && minY < m_nHeight;
}

GoldenInt FigureEngine::PentagonScale(char kind) const {
    return m_orderScale * (kind == 'S' ? kGoldenOne : kGoldenPhi);
}

// The element at exactly this position, or -1: the lookup slot gives the φ part, the whole part
// must agree too.
int FigureEngine::LookupElement(GoldenInt position) const {
    const auto h = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_nLookupShift) +
                                             static_cast<std::uint32_t>(position.b));
    if (h < 0 || h >= kLookupSlots) return -1;
    const std::int32_t m = m_lookup[h];
    if (m == LOOKUP_EMPTY || m < m_nFirst || m > m_nLast) return -1;
    return m_elements[m].a == position.a ? m : -1;
}

// The step from element index to index + 1 exists and has this kind.
bool FigureEngine::StepMatches(int index, char kind) const {
    return index >= m_nFirst && index < m_nLast && m_stepTypes[index] == kind;
}

// Runs TryPentagonUp and TryPentagonDown on every visible pair (i, j), in that order. The sums
// α_k·e0 + β_k·e1 ± g·c_k are formed from per-element products computed once; wrapping addition
// is associative, so every tested position is the same golden integer.
void FigureEngine::FindPentagons(const PentagonStyle& style) {
    const auto [first0, last0] = VisibleRange(0);
    const auto [first1, last1] = VisibleRange(1);
    if (first0 > last0 || first1 > last1) return;
    const char kind = style.kind;
    const GoldenInt g = PentagonScale(kind);
    GoldenInt offset[kFamilyCount];
    for (int k = 2; k < kFamilyCount; ++k) offset[k] = g * m_c[k];

    std::array<std::array<GoldenInt, 3>, kSeriesElements> beta;  // β_k·e1 for k = 2, 3, 4
    for (int j = first1; j <= last1; ++j) {
        for (int k = 2; k < kFamilyCount; ++k) beta[j][k - 2] = m_beta[k] * m_elements[j];
    }
    auto onSeries = [&](const GoldenInt(&alpha)[3], int j, int sign) {
        for (int k = 2; k < kFamilyCount; ++k) {
            const GoldenInt q = sign > 0 ? alpha[k - 2] + beta[j][k - 2] + offset[k]
                                         : alpha[k - 2] + beta[j][k - 2] - offset[k];
            const int m = LookupElement(q);
            if (m < 0 || !StepMatches(sign > 0 ? m : m - 1, kind)) return false;
        }
        return true;
    };
    // The step kind filter before any golden arithmetic: the family-1 elements whose step after
    // (Up), before (Down) or either matches, each list in increasing j.
    std::vector<int> upOnly, downOnly, either;
    std::vector<std::uint8_t> sides(static_cast<std::size_t>(last1 - first1 + 1));
    for (int j = first1; j <= last1; ++j) {
        const bool up = StepMatches(j, kind), down = StepMatches(j - 1, kind);
        sides[j - first1] = static_cast<std::uint8_t>((up ? kUp : 0) | (down ? kDown : 0));
        if (up) upOnly.push_back(j);
        if (down) downOnly.push_back(j);
        if (up || down) either.push_back(j);
    }
    const double size = 2 * g.Value();
    for (int i = first0; i <= last0; ++i) {
        const bool upPossible = StepMatches(i, kind), downPossible = StepMatches(i - 1, kind);
        if (!upPossible && !downPossible) continue;
        GoldenInt alpha[3];
        for (int k = 2; k < kFamilyCount; ++k) alpha[k - 2] = m_alpha[k] * m_elements[i];
        const std::uint8_t wanted = (upPossible ? kUp : 0) | (downPossible ? kDown : 0);
        const std::vector<int>& candidates =
            wanted == (kUp | kDown) ? either : (upPossible ? upOnly : downOnly);
        for (const int j : candidates) {
            const std::uint8_t side = sides[j - first1] & wanted;
            if ((side & kUp) && onSeries(alpha, j, +1)) DrawPentagon(i, j, size, style);
            if ((side & kDown) && onSeries(alpha, j, -1)) DrawPentagon(i, j, -size, style);
        }
    }
}

bool FigureEngine::TryPentagonUp(int i, int j, const PentagonStyle& style) {
    if (!StepMatches(i, style.kind) || !StepMatches(j, style.kind)) return false;
    const GoldenInt g = PentagonScale(style.kind);
    const GoldenInt e0 = m_elements[i], e1 = m_elements[j];
    for (int k = 2; k < kFamilyCount; ++k) {
        const int m = LookupElement(m_alpha[k] * e0 + m_beta[k] * e1 + g * m_c[k]);
        if (m < 0 || !StepMatches(m, style.kind)) return false;
    }
    DrawPentagon(i, j, 2 * g.Value(), style);
    return true;
}

bool FigureEngine::TryPentagonDown(int i, int j, const PentagonStyle& style) {
    if (!StepMatches(i - 1, style.kind) || !StepMatches(j - 1, style.kind)) return false;
    const GoldenInt g = PentagonScale(style.kind);
    const GoldenInt e0 = m_elements[i], e1 = m_elements[j];
    for (int k = 2; k < kFamilyCount; ++k) {
        const int m = LookupElement(m_alpha[k] * e0 + m_beta[k] * e1 - g * m_c[k]);
        if (m < 0 || !StepMatches(m - 1, style.kind)) return false;
    }
    DrawPentagon(i, j, -2 * g.Value(), style);
    return true;
}

void FigureEngine::DrawPentagon(int i, int j, double signedSize, const PentagonStyle& style) {
    const double t0 = m_values[i], t1 = m_values[j];
    const FigurePoint p{m_intersect[0][0] * t0 + m_intersect[0][1] * t1,
                        m_intersect[1][0] * t0 + m_intersect[1][1] * t1};
    FigurePoint vertex[5];
    PentagonVertices pixel;
    FigurePoint centre{};
    for (int k = 0; k < 5; ++k) {
        vertex[k] = {p.x + signedSize * (m_u[k].x - m_u[3].x),
                     p.y + signedSize * (m_u[k].y - m_u[3].y)};
        const auto [px, py] = FigureToPixel(vertex[k].x, vertex[k].y);
        pixel[k] = {px, py};
        centre = {centre.x + vertex[k].x, centre.y + vertex[k].y};
    }
    centre = {centre.x * 0.2, centre.y * 0.2};

    if (m_nPaintingOrder >= 0 && m_nPaintingOrder < kOrderCount) {
        PentagonCounts& counts = m_counts[m_nPaintingOrder];
        const bool up = signedSize > 0;
        int& count = style.kind == 'S' ? (up ? counts.smallUp : counts.smallDown)
                                       : (up ? counts.bigUp : counts.bigDown);
        ++count;
    }

    if (style.drawSolid && m_nShapes < kMaxShapes) {
        m_shapes[m_nShapes++] = {
            centre.x,   centre.y,   static_cast<std::uint8_t>(m_nPaintingOrder),
            style.kind, signedSize, 0};
    }
    // Fill and edges stay inside the box of the vertices: a box beside the picture paints nothing.
    if (!BoxMeetsPicture(pixel)) return;

    PentagonPaint paint;
    paint.pixel = pixel;
    paint.fill = style.drawSolid;
    paint.gradient = style.gradient;
    paint.outline = style.drawOutline;
    paint.star = style.drawStar;
    paint.solidColour = GetDibColour(style.solidEntry);
    paint.outlineColour = GetDibColour(style.outlineEntry);
    paint.starColour = GetDibColour(style.starEntry);
    paint.transparency = style.transparency;
    if (style.drawSolid && style.gradient) {
        paint.radius = std::fabs(signedSize * m_transform.scale);
        const double distance = std::sqrt(centre.x * centre.x + centre.y * centre.y);
        paint.direction = distance < 0.0001 ? FigurePoint{}
                                            : FigurePoint{centre.x / distance, centre.y / distance};
    }
    PaintPentagon(paint);
}
