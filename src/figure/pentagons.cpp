// The exact pentagon search: a pentagon of an order exists where one line of each family bounds a
// regular pentagon and the series steps beside those lines are of the pentagon's kind. Every test
// is an exact lookup of a golden integer; the drawing records solid pentagons for the scene export.
#include <algorithm>
#include <cmath>
#include <span>
#include <utility>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "figure/figure_engine.h"
#include "figure/figure_walker.h"

namespace {

constexpr std::uint8_t kUp = 1;    // the step after the element has the kind
constexpr std::uint8_t kDown = 2;  // the step before the element has the kind

// A tested position can be an element only if its real value lies within the elements' values.
// Where no golden sum can wrap (every part far below 2^31) and the values rise with the index,
// that bound holds, and for a row's e0 it confines e1 to an interval for each of the three
// families: pairs outside cannot give a pentagon and are skipped. The exact lookup still decides
// every pair inside, so the window only ever saves work.
class PairWindow {
  public:
    PairWindow(const FigureEngine& f, const GoldenInt (&offset)[kFamilyCount]) : m_f(f) {
        constexpr std::int64_t kSafePart = std::int64_t{1} << 27;
        auto small = [](GoldenInt q) {
            return std::max(std::llabs(q.a), std::llabs(q.b)) < kSafePart;
        };
        m_usable = f.m_nFirst <= f.m_nLast;
        for (int m = f.m_nFirst; m <= f.m_nLast && m_usable; ++m) {
            m_usable =
                small(f.m_elements[m]) && (m == f.m_nFirst || f.m_values[m] > f.m_values[m - 1]);
        }
        for (int k = 2; k < kFamilyCount && m_usable; ++k) {
            m_usable = small(offset[k]);
            m_reach[k] = std::fabs(offset[k].Value());
        }
        if (!m_usable) return;
        m_low = f.m_values[f.m_nFirst];
        m_high = f.m_values[f.m_nLast];
        // Far wider than any rounding of the sums below.
        m_margin = 1e-6 * (1 + std::max(std::fabs(m_low), std::fabs(m_high)));
    }

    bool Usable() const { return m_usable; }

    // The e1 values that may give a pentagon with e0 of value v0; all where the window is unusable.
    std::pair<double, double> For(double v0) const {
        double low = -HUGE_VAL, high = HUGE_VAL;
        if (!m_usable) return {low, high};
        for (int k = 2; k < kFamilyCount; ++k) {
            // low − reach <= α·v0 + β·v1 <= high + reach, solved for v1.
            const double a = m_f.m_alpha[k].Value() * v0, b = m_f.m_beta[k].Value();
            double first = (m_low - m_reach[k] - m_margin - a) / b;
            double last = (m_high + m_reach[k] + m_margin - a) / b;
            if (b < 0) std::swap(first, last);
            low = std::max(low, first - m_margin);
            high = std::min(high, last + m_margin);
        }
        return {low, high};
    }

  private:
    const FigureEngine& m_f;
    bool m_usable = false;
    double m_low = 0, m_high = 0, m_margin = 0;
    double m_reach[kFamilyCount] = {};
};

FigurePoint CentreOf(const FigurePoint (&vertex)[5]) {
    FigurePoint sum{};
    for (const FigurePoint& v : vertex) sum = {sum.x + v.x, sum.y + v.y};
    return FigurePoint{sum.x * 0.2, sum.y * 0.2};
}

}  // namespace

bool FigureEngine::BoxMeetsPicture(const PixelBox& box) const {
    return box.x1 >= 0 && box.x0 < m_nWidth && box.y1 >= BandStart() && box.y0 < BandEnd();
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
// α_k·e0 + β_k·e1 ± g·c_k are formed from per-element terms computed once.
void FigureEngine::FindPentagons(const PentagonStyle& style) {
    // Every band numbers the searches alike, whatever it finds: the shapes' place in the painting.
    if (m_pShare != nullptr) ++m_pShare->searches;
    // Plain variables, not bindings: the lambdas below capture them.
    const auto range0 = VisibleRange(0), range1 = VisibleRange(1);
    const int first0 = range0.first, last0 = range0.second;
    const int first1 = range1.first, last1 = range1.second;
    if (first0 > last0 || first1 > last1) return;
    const char kind = style.kind;
    const GoldenInt g = PentagonScale(kind);
    GoldenInt offset[kFamilyCount];
    for (int k = 2; k < kFamilyCount; ++k) offset[k] = g * m_c[k];

    // β_k·e1 + g·c_k (Up) and β_k·e1 − g·c_k (Down) for k = 2, 3, 4 and every visible e1;
    // wrapping addition is associative, so every tested position is the same golden integer.
    using Terms = std::array<GoldenInt, 3>;
    std::vector<Terms> upTerms(static_cast<std::size_t>(last1 - first1 + 1));
    std::vector<Terms> downTerms(upTerms.size());
    for (int j = first1; j <= last1; ++j) {
        for (int k = 2; k < kFamilyCount; ++k) {
            const GoldenInt beta = m_beta[k] * m_elements[j];
            upTerms[j - first1][k - 2] = beta + offset[k];
            downTerms[j - first1][k - 2] = beta - offset[k];
        }
    }
    // What the lookup says of each slot for this kind: the whole part of the element there and
    // on which sides its steps have the kind; nothing for an empty slot or an element outside the
    // range, nor for the extra last slot, which stands for every position beyond the table.
    struct Slot {
        std::int32_t a;
        std::uint32_t sides;
    };
    std::array<Slot, kLookupSlots + 1> slots;
    for (int h = 0; h < kLookupSlots; ++h) {
        const std::int32_t m = m_lookup[h];
        const bool present = m != LOOKUP_EMPTY && m >= m_nFirst && m <= m_nLast;
        slots[h] = present ? Slot{m_elements[m].a, (StepMatches(m, kind) ? kUp : 0u) |
                                                       (StepMatches(m - 1, kind) ? kDown : 0u)}
                           : Slot{0, 0};
    }
    slots[kLookupSlots] = {0, 0};
    const auto shift = static_cast<std::uint32_t>(m_nLookupShift);
    constexpr auto kNoSlot = static_cast<std::uint32_t>(kLookupSlots);
    // The element at exactly q exists with a step of the kind on this side: one slot read.
    auto matches = [&](GoldenInt q, std::uint32_t side) {
        const Slot& slot = slots[std::min(shift + static_cast<std::uint32_t>(q.b), kNoSlot)];
        return static_cast<unsigned>(slot.a == q.a) &
               static_cast<unsigned>((slot.sides & side) != 0);
    };
    auto onSeries = [&](const GoldenInt(&alpha)[3], int j, int sign) {
        const std::uint32_t side = sign > 0 ? kUp : kDown;
        const Terms& terms = (sign > 0 ? upTerms : downTerms)[j - first1];
        // Most pairs fail the first family; the other two are tested together.
        return matches(alpha[0] + terms[0], side) != 0 &&
               (matches(alpha[1] + terms[1], side) & matches(alpha[2] + terms[2], side)) != 0;
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
    const PentagonOffsets upOffsets = OffsetsOf(size), downOffsets = OffsetsOf(-size);
    PentagonPaint paint = BrushOf(style);  // the style's items and colours; the rest per pentagon
    const PentagonBlends* blends = BlendsForPainting(paint);
    const PairWindow window(*this, offset);
    // A band of a shared painting searches only where vertex 3 (the point on both lines, its y
    // rising with e1's value) lets the pentagon reach its rows or lie in its strip.
    double bandLow = -HUGE_VAL, bandHigh = HUGE_VAL;
    const bool banded = m_pShare != nullptr && m_pShare->windowed && window.Usable() &&
                        m_intersect[1][1] > 0 && BandReach(size, bandLow, bandHigh);
    if (banded) {
        if (m_pShare->lowOpen) bandLow = -HUGE_VAL;
        if (m_pShare->highOpen) bandHigh = HUGE_VAL;
        bandLow = std::min(bandLow, m_pShare->low);
        bandHigh = std::max(bandHigh, m_pShare->high);
    }
    std::vector<int> found(2 * either.size());  // the pentagons of one row, in search order
    for (int i = first0; i <= last0; ++i) {
        const bool upPossible = StepMatches(i, kind), downPossible = StepMatches(i - 1, kind);
        if (!upPossible && !downPossible) continue;
        GoldenInt alpha[3];
        for (int k = 2; k < kFamilyCount; ++k) alpha[k - 2] = m_alpha[k] * m_elements[i];
        const std::uint8_t wanted = (upPossible ? kUp : 0) | (downPossible ? kDown : 0);
        const std::vector<int>& candidates =
            wanted == (kUp | kDown) ? either : (upPossible ? upOnly : downOnly);
        // Only the candidates within the row's window, found by their rising values.
        const auto [low, high] = window.For(m_values[i]);
        const auto byValue = [this](int j, double v) { return m_values[j] < v; };
        auto begin = std::lower_bound(candidates.begin(), candidates.end(), low, byValue);
        auto end = std::upper_bound(begin, candidates.end(), high,
                                    [this](double v, int j) { return v < m_values[j]; });
        if (banded) {
            const double t0 = m_values[i];
            auto yOf = [&](int j) {
                return m_intersect[1][0] * t0 + m_intersect[1][1] * m_values[j];
            };
            begin = std::partition_point(begin, end, [&](int j) { return yOf(j) < bandLow; });
            end = std::partition_point(begin, end, [&](int j) { return yOf(j) <= bandHigh; });
        }
        std::size_t count = 0;
        for (const int j : std::span(begin, end)) {
            const std::uint8_t side = sides[j - first1] & wanted;
            if ((side & kUp) && onSeries(alpha, j, +1)) found[count++] = 2 * j;
            if ((side & kDown) && onSeries(alpha, j, -1)) found[count++] = 2 * j + 1;
        }
        for (std::size_t n = 0; n < count; ++n) {
            const bool down = found[n] & 1;
            DrawPentagon(i, found[n] >> 1, down ? -size : size, down ? downOffsets : upOffsets,
                         style, paint, blends);
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

PentagonPaint FigureEngine::BrushOf(const PentagonStyle& style) const {
    PentagonPaint brush;
    brush.fill = style.drawSolid;
    brush.gradient = style.gradient;
    brush.outline = style.drawOutline;
    brush.star = style.drawStar;
    brush.solidColour = GetDibColour(style.solidEntry);
    brush.outlineColour = GetDibColour(style.outlineEntry);
    brush.starColour = GetDibColour(style.starEntry);
    brush.transparency = style.transparency;
    return brush;
}

PentagonOffsets FigureEngine::OffsetsOf(double signedSize) const {
    PentagonOffsets offsets;
    for (int k = 0; k < 5; ++k) {
        offsets[k] = {signedSize * m_corner[k].x, signedSize * m_corner[k].y};
    }
    return offsets;
}

// Vertex k is p + s·(u_k − u_3), p the point on the lines at t0 and t1, rounded to a pixel as
// FigureToPixel does. The two coordinates go through the same IEEE operations side by side; the
// truncating conversion stands in for the floor when every value is well within 32 bits, and the
// scalar rounding takes the rest. Rounding is monotone, so the box of the rounded vertices is the
// rounded box of the exact ones: a pentagon beside the picture is known before its vertices are
// rounded, and they are left unset.
bool FigureEngine::PentagonCorners(double t0, double t1, const PentagonOffsets& offsets,
                                   FigurePoint (&figure)[5], PentagonVertices& pixel,
                                   PixelBox& box) const {
    const auto& m = m_intersect;
#if defined(__SSE2__)
    // p = (m00·t0 + m01·t1, m10·t0 + m11·t1), both coordinates at once.
    const __m128d origin = _mm_add_pd(_mm_mul_pd(_mm_set_pd(m[1][0], m[0][0]), _mm_set1_pd(t0)),
                                      _mm_mul_pd(_mm_set_pd(m[1][1], m[0][1]), _mm_set1_pd(t1)));
    const __m128d centre = _mm_set_pd(m_dCentreY, m_dCentreX);
    const __m128d scale = _mm_set1_pd(m_transform.scale);
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d limit = _mm_set1_pd(2147483647.0);
    const __m128d signBit = _mm_set1_pd(-0.0);
    __m128d shifted[5];
    __m128d small = _mm_castsi128_pd(_mm_set1_epi32(-1));
    for (int k = 0; k < 5; ++k) {
        const __m128d v = _mm_add_pd(origin, _mm_loadu_pd(&offsets[k].x));
        _mm_storeu_pd(&figure[k].x, v);
        shifted[k] = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(v, centre), scale), half);
        small = _mm_and_pd(small, _mm_cmplt_pd(_mm_andnot_pd(signBit, shifted[k]), limit));
    }
    if (_mm_movemask_pd(small) == 3) {
        __m128d floors[5];
        for (int k = 0; k < 5; ++k) {
            const __m128d truncated = _mm_cvtepi32_pd(_mm_cvttpd_epi32(shifted[k]));
            floors[k] = _mm_sub_pd(
                truncated, _mm_and_pd(_mm_cmpgt_pd(truncated, shifted[k]), _mm_set1_pd(1.0)));
        }
        __m128d low = floors[0], high = floors[0];
        for (int k = 1; k < 5; ++k) {
            low = _mm_min_pd(low, floors[k]);
            high = _mm_max_pd(high, floors[k]);
        }
        const __m128i lowPixel = _mm_cvttpd_epi32(low), highPixel = _mm_cvttpd_epi32(high);
        const std::int64_t halfWidth = m_transform.halfWidth, halfHeight = m_transform.halfHeight;
        box = {_mm_cvtsi128_si32(lowPixel) + halfWidth,
               _mm_cvtsi128_si32(_mm_shuffle_epi32(lowPixel, 1)) + halfHeight,
               _mm_cvtsi128_si32(highPixel) + halfWidth,
               _mm_cvtsi128_si32(_mm_shuffle_epi32(highPixel, 1)) + halfHeight};
        if (!BoxMeetsPicture(box)) return false;
        // Both 32-bit results of a vertex widened with their signs, then moved to the centre.
        const __m128i halves = _mm_set_epi64x(halfHeight, halfWidth);
        auto* out = reinterpret_cast<__m128i*>(pixel.data());
        for (int k = 0; k < 5; ++k) {
            const __m128i rounded = _mm_cvttpd_epi32(floors[k]);
            const __m128i wide = _mm_unpacklo_epi32(rounded, _mm_srai_epi32(rounded, 31));
            _mm_storeu_si128(out + k, _mm_add_epi64(wide, halves));
        }
        return true;
    }
#else
    const FigurePoint p{m[0][0] * t0 + m[0][1] * t1, m[1][0] * t0 + m[1][1] * t1};
    for (int k = 0; k < 5; ++k) {
        figure[k] = {p.x + offsets[k].x, p.y + offsets[k].y};
    }
#endif
    for (int k = 0; k < 5; ++k) {
        const auto [px, py] = FigureToPixel(figure[k].x, figure[k].y);
        pixel[k] = {px, py};
    }
    box = BoundingBox(pixel);
    return BoxMeetsPicture(box);
}

void FigureEngine::DrawPentagon(int i, int j, double signedSize, const PentagonStyle& style) {
    PentagonPaint paint = BrushOf(style);
    DrawPentagon(i, j, signedSize, OffsetsOf(signedSize), style, paint, BlendsForPainting(paint));
}

void FigureEngine::DrawPentagon(int i, int j, double signedSize, const PentagonOffsets& offsets,
                                const PentagonStyle& style, PentagonPaint& paint,
                                const PentagonBlends* blends) {
    FigurePoint vertex[5];
    PixelBox box;
    const bool meetsPicture =
        PentagonCorners(m_values[i], m_values[j], offsets, vertex, paint.pixel, box);
    CountPentagon(i, j, signedSize, style, vertex);
    // Fill and edges stay inside the box of the vertices: a box beside the picture paints nothing.
    if (!meetsPicture || (blends == nullptr && m_pWalker == nullptr)) return;

    if (paint.fill && paint.gradient) {
        const FigurePoint c = CentreOf(vertex);
        paint.radius = std::fabs(signedSize * m_transform.scale);
        const double distance = std::sqrt(c.x * c.x + c.y * c.y);
        paint.direction =
            distance < 0.0001 ? FigurePoint{} : FigurePoint{c.x / distance, c.y / distance};
    }
    if (m_pWalker != nullptr) m_pWalker->Pentagon(paint, vertex);
    if (blends != nullptr) PaintPentagonWith(paint, box, *blends);
}

void FigureEngine::CountPentagon(int i, int j, double signedSize, const PentagonStyle& style,
                                 const FigurePoint (&vertex)[5]) {
    // Vertex 3 is the point on both lines, offset by exactly zero.
    if (m_pShare != nullptr && !m_pShare->Owns(vertex[3].y)) return;
    if (m_nPaintingOrder >= 0 && m_nPaintingOrder < kOrderCount) {
        PentagonCounts& counts =
            (m_pShare != nullptr ? m_pShare->counts : m_counts)[m_nPaintingOrder];
        const bool up = signedSize > 0;
        int& count = style.kind == 'S' ? (up ? counts.smallUp : counts.smallDown)
                                       : (up ? counts.bigUp : counts.bigDown);
        ++count;
    }
    if (!style.drawSolid) return;
    const FigurePoint c = CentreOf(vertex);
    const ShapeRecord record{c.x,        c.y,        static_cast<std::uint8_t>(m_nPaintingOrder),
                             style.kind, signedSize, 0};
    if (m_pShare == nullptr) {
        if (m_nShapes < kMaxShapes) m_shapes[m_nShapes++] = record;
    } else if (m_pShare->shapes.size() < kMaxShapes) {
        m_pShare->shapes.push_back({m_pShare->searches - 1, i, j, signedSize < 0, record});
    }
}

// Every vertex lies within 2·|size| of vertex 3, and its pixel within one row of the exact
// position: a pentagon reaches the band's rows only if vertex 3 lies within these bounds.
bool FigureEngine::BandReach(double signedSize, double& low, double& high) const {
    const double scale = m_transform.scale;
    const double reach = 2 * std::fabs(signedSize) * scale + 4;
    const double halfHeight = static_cast<double>(m_transform.halfHeight);
    low = m_dCentreY + (static_cast<double>(BandStart()) - halfHeight - reach) / scale;
    high = m_dCentreY + (static_cast<double>(BandEnd()) - halfHeight + reach) / scale;
    const double margin = 1e-9 * (std::fabs(low) + std::fabs(high) + 1);
    low -= margin;
    high += margin;
    return scale > 0 && std::isfinite(low) && std::isfinite(high) && low <= high;
}
