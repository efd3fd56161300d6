// Raster primitives: background, pixel blend with transparency, segments, flat and gradient
// pentagon fills, colour mix and pixel read-back. Segments and fills are clipped to the picture
// exactly before they are scanned, so they touch the same pixels as a full scan would, at a cost
// bounded by the picture whatever the zoom.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "figure/figure_engine.h"

namespace {

using Wide = __int128;  // products of two 61-bit coordinate differences

constexpr double kTwoTo63 = 9223372036854775808.0;

// The low 8 bits of floor(v) for every double: beyond 2^63 a double is a multiple of 256, and
// NaN counts as 0.
std::uint8_t LowByteOfFloor(double v) {
    const double r = std::floor(v);
    if (!(std::fabs(r) < kTwoTo63)) return 0;
    return static_cast<std::uint8_t>(static_cast<std::int64_t>(r) & 0xFF);
}

std::uint8_t ColourByte(std::uint32_t colour, int i) {
    return static_cast<std::uint8_t>(colour >> (8 * i) & 0xFF);
}

// new = floor(old·t + (1 − t)·c + 0.5), stored as a byte. The colour term is the same for every
// pixel, so it is computed once; the sum is formed exactly as written.
class ChannelBlend {
  public:
    ChannelBlend(std::uint32_t colour, double t) : m_t(t), m_inUnitRange(t >= 0.0 && t <= 1.0) {
        for (int i = 0; i < 3; ++i) m_term[i] = (1 - t) * ColourByte(colour, i);
    }

    void Apply(std::uint8_t* pixel) const {
        for (int i = 0; i < 3; ++i) {
            const double v = pixel[i] * m_t + m_term[i] + 0.5;
            // For 0 <= t <= 1 the sum is at least 0.5, so truncation is floor.
            pixel[i] = m_inUnitRange ? static_cast<std::uint8_t>(static_cast<int>(v) & 0xFF)
                                     : LowByteOfFloor(v);
        }
    }

  private:
    double m_t;
    bool m_inUnitRange;
    double m_term[3];
};

// The gradient rows are compiled twice on x86-64 and the wider unit is chosen at run time; the
// arithmetic is the same IEEE operations either way (no fused multiply-add is enabled).
#if defined(__x86_64__)
#define ROW_LOOP_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ROW_LOOP_CLONES
#endif

// Four lanes of doubles and ints; the compiler maps them onto whatever vector unit the target has.
using Double4 = double __attribute__((vector_size(32)));
using Int4 = std::int32_t __attribute__((vector_size(16)));

// clamp(floor(v), 0, 255), with NaN as 0; branch-free where the instruction set allows.
inline int ClampedByte(double v) {
#if defined(__SSE2__)
    // maxsd/minsd return their second operand when the first is NaN.
    const __m128d low = _mm_max_sd(_mm_set_sd(v), _mm_setzero_pd());
    return _mm_cvttsd_si32(_mm_min_sd(low, _mm_set_sd(255.0)));
#else
    v = v > 0.0 ? v : 0.0;
    return static_cast<int>(v < 255.0 ? v : 255.0);
#endif
}

// Per pixel: the two colours mixed by the shading factor (BlendColours), then blended into the
// pixel with the transparency. The colour term (1 − t)·c of the blend is tabulated for every byte
// value, the same product the blend rule forms.
class GradientBlend {
  public:
    GradientBlend(std::uint32_t solid, std::uint32_t outline, double t)
        : m_t(t), m_oneMinusT(1 - t), m_inUnitRange(t >= 0.0 && t <= 1.0) {
        for (int i = 0; i < 3; ++i) {
            m_solid[i] = ColourByte(solid, i);
            m_outline[i] = ColourByte(outline, i);
        }
        for (int c = 0; c < 256; ++c) m_term[c] = (1 - t) * c;
    }

    bool InUnitRange() const { return m_inUnitRange; }

    // InUnitRange must equal m_inUnitRange; as a template argument it leaves the inner loop.
    template <bool InUnitRange>
    void Apply(std::uint8_t* pixel, double f) const {
        const double g = 1 - f;
        for (int i = 0; i < 3; ++i) {
            const int mixed = ClampedByte(m_solid[i] * f + g * m_outline[i] + 0.5);
            const double v = pixel[i] * m_t + m_term[mixed] + 0.5;
            pixel[i] = InUnitRange ? static_cast<std::uint8_t>(static_cast<int>(v) & 0xFF)
                                   : LowByteOfFloor(v);
        }
    }

    // Four neighbouring pixels at once, for 0 <= t <= 1: the same operations lane by lane.
    void ApplyFour(std::uint8_t* pixels, const Double4& f) const {
        const Double4 g = 1 - f;
        for (int i = 0; i < 3; ++i) {
            Double4 mix = m_solid[i] * f + g * m_outline[i] + 0.5;
            mix = mix > 0.0 ? mix : 0.0;  // also turns NaN into 0
            mix = mix < 255.0 ? mix : 255.0;
            const Double4 mixed =
                __builtin_convertvector(__builtin_convertvector(mix, Int4), Double4);
            const Double4 old = {static_cast<double>(pixels[i]), static_cast<double>(pixels[3 + i]),
                                 static_cast<double>(pixels[6 + i]),
                                 static_cast<double>(pixels[9 + i])};
            const Int4 v = __builtin_convertvector(old * m_t + m_oneMinusT * mixed + 0.5, Int4);
            for (int lane = 0; lane < 4; ++lane) {
                pixels[3 * lane + i] = static_cast<std::uint8_t>(v[lane] & 0xFF);
            }
        }
    }

  private:
    double m_t;
    double m_oneMinusT;
    bool m_inUnitRange;
    double m_solid[3];
    double m_outline[3];
    double m_term[256];
};

// One row of a gradient fill, pixel offsets a0..a1 from the centre: f = (a·dx + b·dy) / r, or
// (a² + b²) / r² for the radial form, with the row's b·dy or b² given as rowTerm.
template <bool InUnitRange>
ROW_LOOP_CLONES void ShadeRow(const GradientBlend& blend, std::uint8_t* p, std::int64_t a0,
                              std::int64_t a1, bool radial, double dx, double rowTerm,
                              double radius) {
    if (radial) {
        const double radiusSquared = radius * radius;
        for (std::int64_t a = a0; a <= a1; ++a, p += 3) {
            const double ad = static_cast<double>(a);
            blend.Apply<InUnitRange>(p, (ad * ad + rowTerm) / radiusSquared);
        }
    } else {
        std::int64_t a = a0;
        if constexpr (InUnitRange) {
            for (; a + 3 <= a1; a += 4, p += 12) {
                const Double4 ad = {static_cast<double>(a), static_cast<double>(a + 1),
                                    static_cast<double>(a + 2), static_cast<double>(a + 3)};
                blend.ApplyFour(p, (ad * dx + rowTerm) / radius);
            }
        }
        for (; a <= a1; ++a, p += 3) {
            blend.Apply<InUnitRange>(p, (static_cast<double>(a) * dx + rowTerm) / radius);
        }
    }
}

template <typename Int>
Int FloorDiv(Int n, Int d) {
    Int q = n / d;
    if ((n % d != 0) && ((n < 0) != (d < 0))) --q;
    return q;
}

template <typename Int>
Int CeilDiv(Int n, Int d) {
    return -FloorDiv<Int>(-n, d);
}

// First x in [lo, hi] for which the monotone predicate (false ... true) holds; hi + 1 if none.
template <typename Predicate>
std::int64_t FirstTrue(std::int64_t lo, std::int64_t hi, Predicate holds) {
    std::int64_t end = hi + 1;
    while (lo < end) {
        const std::int64_t mid = lo + (end - lo) / 2;
        if (holds(mid)) {
            end = mid;
        } else {
            lo = mid + 1;
        }
    }
    return end;
}

// Narrows [lo, hi] to where the monotone function f stays within 0..limit − 1.
template <typename Function>
void ClipMonotone(std::int64_t& lo, std::int64_t& hi, std::int64_t limit, Function f) {
    if (lo > hi) return;
    const std::int64_t first = lo, last = hi;
    if (f(first) <= f(last)) {
        lo = FirstTrue(first, last, [&](std::int64_t v) { return f(v) >= 0; });
        hi = FirstTrue(first, last, [&](std::int64_t v) { return f(v) >= limit; }) - 1;
    } else {
        lo = FirstTrue(first, last, [&](std::int64_t v) { return f(v) < limit; });
        hi = FirstTrue(first, last, [&](std::int64_t v) { return f(v) < 0; }) - 1;
    }
}

// The inward half-planes of a pentagon, solved row by row for the range of inside pixels.
class PentagonScan {
  public:
    explicit PentagonScan(const PentagonVertices& v) : m_v(v) {
        std::int64_t sumX = 0, sumY = 0;
        for (const PixelPoint& p : v) {
            sumX += p.x;
            sumY += p.y;
        }
        m_centre = {sumX / 5, sumY / 5};
        m_narrow = std::all_of(v.begin(), v.end(), [](const PixelPoint& p) {
            return std::llabs(p.x) < kNarrowLimit && std::llabs(p.y) < kNarrowLimit;
        });
        for (int i = 0; i < 5; ++i) {
            const PixelPoint& a = v[i];
            const PixelPoint& b = v[(i + 1) % 5];
            m_n[i] = {a.y - b.y, b.x - a.x};
            const Wide inward =
                Wide{m_n[i].x} * (m_centre.x - a.x) + Wide{m_n[i].y} * (m_centre.y - a.y);
            if (inward < 0) m_n[i] = {-m_n[i].x, -m_n[i].y};
        }
    }

    PixelPoint Centre() const { return m_centre; }

    // Narrows [lo, hi] to the pixels of row y (inside the picture) that pass
    // n_i · ((x, y) − v_i) >= 0 for all i.
    void ClipRow(std::int64_t y, std::int64_t& lo, std::int64_t& hi) const {
        if (m_narrow) {
            ClipRowIn<std::int64_t>(y, lo, hi);
        } else {
            ClipRowIn<Wide>(y, lo, hi);
        }
    }

  private:
    // Vertices this close to the origin keep every product of the row test within 64 bits.
    static constexpr std::int64_t kNarrowLimit = std::int64_t{1} << 28;

    template <typename Int>
    void ClipRowIn(std::int64_t y, std::int64_t& lo, std::int64_t& hi) const {
        Int first = lo, last = hi;
        for (int i = 0; i < 5 && first <= last; ++i) {
            const Int nx = m_n[i].x;
            const Int bound = nx * m_v[i].x - Int{m_n[i].y} * (y - m_v[i].y);  // nx·x >= bound
            if (nx > 0) {
                first = std::max(first, CeilDiv<Int>(bound, nx));
            } else if (nx < 0) {
                last = std::min(last, FloorDiv<Int>(bound, nx));
            } else if (bound > 0) {
                last = first - 1;
            }
        }
        lo = static_cast<std::int64_t>(first);
        hi = static_cast<std::int64_t>(std::max(last, first - 1));
    }

    bool m_narrow = false;
    PentagonVertices m_v;
    PixelPoint m_centre;
    std::array<PixelPoint, 5> m_n{};
};

struct PixelBox {
    std::int64_t x0, y0, x1, y1;
};

PixelBox BoundingBox(const PentagonVertices& v) {
    PixelBox box{v[0].x, v[0].y, v[0].x, v[0].y};
    for (const PixelPoint& p : v) {
        box.x0 = std::min(box.x0, p.x);
        box.x1 = std::max(box.x1, p.x);
        box.y0 = std::min(box.y0, p.y);
        box.y1 = std::max(box.y1, p.y);
    }
    return box;
}

}  // namespace

bool FigureEngine::PictureIsUsable() const {
    return m_pBits != nullptr && m_nWidth > 0 && m_nHeight > 0 &&
           m_nRowBytes >= std::int64_t{3} * m_nWidth;
}

std::uint8_t* FigureEngine::PixelAt(std::int64_t x, std::int64_t y) const {
    return m_pBits + y * m_nRowBytes + 3 * x;
}

void FigureEngine::FillBackground() {
    if (!PictureIsUsable()) return;
    const std::uint32_t colour = GetDibColour(1);
    std::uint8_t* first = PixelAt(0, 0);
    for (std::int64_t x = 0; x < m_nWidth; ++x) {
        for (int i = 0; i < 3; ++i) first[3 * x + i] = ColourByte(colour, i);
    }
    for (std::int64_t y = 1; y < m_nHeight; ++y) {
        std::memcpy(PixelAt(0, y), first, static_cast<std::size_t>(3) * m_nWidth);
    }
}

void FigureEngine::BlendPixel(std::int64_t x, std::int64_t y, std::uint32_t colour, double t) {
    if (!PictureIsUsable() || x < 0 || x >= m_nWidth || y < 0 || y >= m_nHeight) return;
    ChannelBlend(colour, t).Apply(PixelAt(x, y));
}

void FigureEngine::DrawSegment(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                               std::uint32_t colour, double t) {
    if (!PictureIsUsable()) return;
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    const ChannelBlend blend(colour, t);
    // Short segments (all of them, but at deep zoom) keep the products within 64 bits.
    const bool narrow = std::max({std::llabs(x0), std::llabs(x1), std::llabs(y0), std::llabs(y1)}) <
                        (std::int64_t{1} << 30);
    auto offset = [narrow](std::int64_t delta, std::int64_t run, std::int64_t rise) {
        return narrow ? delta * run / rise : static_cast<std::int64_t>(Wide{delta} * run / rise);
    };
    // A segment within the picture needs no clipping.
    const bool inside =
        x0 >= 0 && x1 < m_nWidth && std::min(y0, y1) >= 0 && std::max(y0, y1) < m_nHeight;
    if (dx > std::llabs(dy)) {
        auto yAt = [&](std::int64_t x) { return y0 + offset(dy, x - x0, dx); };
        std::int64_t lo = std::max<std::int64_t>(x0, 0),
                     hi = std::min<std::int64_t>(x1, m_nWidth - 1);
        if (!inside) ClipMonotone(lo, hi, m_nHeight, yAt);
        for (std::int64_t x = lo; x <= hi; ++x) blend.Apply(PixelAt(x, yAt(x)));
    } else if (dy == 0) {
        BlendPixel(x0, y0, colour, t);
    } else {
        auto xAt = [&](std::int64_t y) { return x0 + offset(dx, y - y0, dy); };
        std::int64_t lo = std::max<std::int64_t>(std::min(y0, y1), 0);
        std::int64_t hi = std::min<std::int64_t>(std::max(y0, y1), m_nHeight - 1);
        if (!inside) ClipMonotone(lo, hi, m_nWidth, xAt);
        for (std::int64_t y = lo; y <= hi; ++y) blend.Apply(PixelAt(xAt(y), y));
    }
}

void FigureEngine::FillPentagon(const PentagonVertices& v, std::uint32_t colour, double t) {
    if (!PictureIsUsable()) return;
    const PixelBox box = BoundingBox(v);
    const PentagonScan scan(v);
    const ChannelBlend blend(colour, t);
    const std::int64_t yEnd = std::min<std::int64_t>(box.y1, m_nHeight - 1);
    for (std::int64_t y = std::max<std::int64_t>(box.y0, 0); y <= yEnd; ++y) {
        std::int64_t lo = std::max<std::int64_t>(box.x0, 0);
        std::int64_t hi = std::min<std::int64_t>(box.x1, m_nWidth - 1);
        scan.ClipRow(y, lo, hi);
        if (lo > hi) continue;
        std::uint8_t* p = PixelAt(lo, y);
        for (std::int64_t x = lo; x <= hi; ++x, p += 3) blend.Apply(p);
    }
}

void FigureEngine::FillPentagonGradient(const PentagonVertices& v, FigurePoint direction,
                                        double radius, std::uint32_t solid, std::uint32_t outline,
                                        double t) {
    if (!PictureIsUsable()) return;
    const PixelBox box = BoundingBox(v);
    const PentagonScan scan(v);
    const PixelPoint s = scan.Centre();
    const GradientBlend blend(solid, outline, t);
    const bool radial = direction.x == 0.0 && direction.y == 0.0;
    const std::int64_t yEnd = std::min<std::int64_t>(box.y1, m_nHeight - 1);
    for (std::int64_t y = std::max<std::int64_t>(box.y0, 0); y <= yEnd; ++y) {
        std::int64_t lo = std::max<std::int64_t>(box.x0, 0);
        std::int64_t hi = std::min<std::int64_t>(box.x1, m_nWidth - 1);
        scan.ClipRow(y, lo, hi);
        if (lo > hi) continue;
        // Shading factor f of the pixel offset (a, b) from the integer centre, as written:
        // (a·dx + b·dy) / r, or (a² + b²) / r² for the radial form.
        const double b = static_cast<double>(y - s.y);
        const double rowTerm = radial ? b * b : b * direction.y;
        std::uint8_t* p = PixelAt(lo, y);
        if (blend.InUnitRange()) {
            ShadeRow<true>(blend, p, lo - s.x, hi - s.x, radial, direction.x, rowTerm, radius);
        } else {
            ShadeRow<false>(blend, p, lo - s.x, hi - s.x, radial, direction.x, rowTerm, radius);
        }
    }
}

std::uint32_t FigureEngine::BlendColours(std::uint32_t c1, std::uint32_t c2, double f) {
    std::uint32_t mixed = 0;
    for (int i = 0; i < 3; ++i) {
        const double v = ColourByte(c1, i) * f + (1 - f) * ColourByte(c2, i) + 0.5;
        // clamp(floor(v), 0, 255); a NaN mix counts as 0.
        const std::uint32_t byte = !(v >= 0.0)  ? 0u
                                   : v >= 256.0 ? 255u
                                                : static_cast<std::uint32_t>(v);
        mixed |= byte << (8 * i);
    }
    return mixed;
}

std::pair<bool, COLORREF> FigureEngine::ReadPixel(std::int64_t x, std::int64_t y) const {
    return ReadPixel(m_pBits, x, y);
}

std::pair<bool, COLORREF> FigureEngine::ReadPixel(const std::uint8_t* pixels, std::int64_t x,
                                                  std::int64_t y) const {
    if (pixels == nullptr || m_nRowBytes < std::int64_t{3} * m_nWidth || x < 0 || x >= m_nWidth ||
        y < 0 || y >= m_nHeight) {
        return {false, 0};
    }
    const std::uint8_t* p = pixels + y * m_nRowBytes + 3 * x;
    return {true, COLORREF{p[2]} | COLORREF{p[1]} << 8 | COLORREF{p[0]} << 16};
}
