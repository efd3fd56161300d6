// Raster primitives: background, pixel blend with transparency, segments, flat and gradient
// pentagon fills, colour mix and pixel read-back. Segments and fills are clipped to the picture
// exactly before they are scanned, so they touch the same pixels as a full scan would, at a cost
// bounded by the picture whatever the zoom. Blends go through tables of the blend rule per
// transparency, segments step their offsets without dividing, and short fill rows are tested
// pixel by pixel; every byte stays what the literal rules give.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "figure/figure_engine.h"

namespace {

using Wide = __int128;  // products of two 61-bit coordinate differences

constexpr std::int64_t kShortRow = 4;  // gradient rows up to this length are shaded inline

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

// new = floor(old·t + (1 − t)·c + 0.5) stored as a byte, tabulated for every old and c: the
// entries are the blend rule evaluated exactly as written, so a lookup equals the arithmetic.
class BlendTable {
  public:
    explicit BlendTable(double t) {
        const bool inUnitRange = t >= 0.0 && t <= 1.0;
        for (int c = 0; c < 256; ++c) {
            const double term = (1 - t) * c;
            for (int old = 0; old < 256; ++old) {
                const double v = old * t + term + 0.5;
                // For 0 <= t <= 1 the sum is at least 0.5, so truncation is floor.
                m_rows[c][old] = inUnitRange ? static_cast<std::uint8_t>(static_cast<int>(v) & 0xFF)
                                             : LowByteOfFloor(v);
            }
        }
    }

    // The mapping old -> new for colour byte c.
    const std::uint8_t* Row(int c) const { return m_rows[c].data(); }

  private:
    std::array<std::array<std::uint8_t, 256>, 256> m_rows;
};

// The tables of the last few transparencies, per thread (one painting uses one per order).
const BlendTable& BlendTableFor(double t) {
    struct Entry {
        std::uint64_t bits = 0;
        std::unique_ptr<BlendTable> table;
    };
    constexpr std::size_t kKept = 4;
    thread_local std::array<Entry, kKept> cache;
    thread_local std::size_t next = 0;
    thread_local const Entry* last = nullptr;
    const auto bits = std::bit_cast<std::uint64_t>(t);
    if (last != nullptr && last->bits == bits) return *last->table;
    for (const Entry& e : cache) {
        if (e.table && e.bits == bits) {
            last = &e;
            return *e.table;
        }
    }
    Entry& e = cache[next];
    next = (next + 1) % kKept;
    e.table = std::make_unique<BlendTable>(t);
    e.bits = bits;
    last = &e;
    return *e.table;
}

using BlendRows = std::array<const std::uint8_t*, 3>;  // one table row per channel

// The blend of one colour: a table row per channel.
class ChannelBlend {
  public:
    ChannelBlend(std::uint32_t colour, double t) {
        const BlendTable& table = BlendTableFor(t);
        for (int i = 0; i < 3; ++i) m_rows[i] = table.Row(ColourByte(colour, i));
    }
    explicit ChannelBlend(const BlendRows& rows) : m_rows(rows) {}

    const BlendRows& Rows() const { return m_rows; }
    void Apply(std::uint8_t* pixel) const {
        for (int i = 0; i < 3; ++i) pixel[i] = m_rows[i][pixel[i]];
    }

  private:
    BlendRows m_rows;
};

// The blend of one colour applied 0 to kMaxRepeats times in a row, tabulated per channel.
class RepeatedBlend {
  public:
    static constexpr int kMaxRepeats = 10;  // the end points of five segments

    RepeatedBlend(std::uint32_t colour, double t) {
        const BlendTable& table = BlendTableFor(t);
        for (int i = 0; i < 3; ++i) {
            const std::uint8_t* row = table.Row(ColourByte(colour, i));
            for (int old = 0; old < 256; ++old) m_rows[0][i][old] = static_cast<std::uint8_t>(old);
            for (int times = 1; times <= kMaxRepeats; ++times) {
                for (int old = 0; old < 256; ++old) {
                    m_rows[times][i][old] = row[m_rows[times - 1][i][old]];
                }
            }
        }
    }

    void Apply(std::uint8_t* pixel, int times) const {
        for (int i = 0; i < 3; ++i) pixel[i] = m_rows[times][i][pixel[i]];
    }

  private:
    std::array<std::array<std::array<std::uint8_t, 256>, 3>, kMaxRepeats + 1> m_rows;
};

// The repeated blend of the colour and transparency asked for last, per thread (the pentagons of
// one kind in one order share one).
const RepeatedBlend& RepeatedBlendFor(std::uint32_t colour, double t) {
    thread_local std::unique_ptr<RepeatedBlend> last;
    thread_local std::uint32_t lastColour = 0;
    thread_local std::uint64_t lastBits = 0;
    const auto bits = std::bit_cast<std::uint64_t>(t);
    if (!last || lastColour != colour || lastBits != bits) {
        last = std::make_unique<RepeatedBlend>(colour, t);
        lastColour = colour;
        lastBits = bits;
    }
    return *last;
}

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
// pixel with the transparency through the blend table.
class GradientBlend {
  public:
    GradientBlend(std::uint32_t solid, std::uint32_t outline, double t)
        : m_table(BlendTableFor(t)) {
        for (int i = 0; i < 3; ++i) {
            m_solid[i] = ColourByte(solid, i);
            m_outline[i] = ColourByte(outline, i);
        }
    }

    void Apply(std::uint8_t* pixel, double f) const {
        const double g = 1 - f;
        for (int i = 0; i < 3; ++i) {
            const int mixed = ClampedByte(m_solid[i] * f + g * m_outline[i] + 0.5);
            pixel[i] = m_table.Row(mixed)[pixel[i]];
        }
    }

    // Four neighbouring pixels at once: the same mix lane by lane.
    void ApplyFour(std::uint8_t* pixels, const Double4& f) const {
        const Double4 g = 1 - f;
        for (int i = 0; i < 3; ++i) {
            Double4 mix = m_solid[i] * f + g * m_outline[i] + 0.5;
            mix = mix > 0.0 ? mix : 0.0;  // also turns NaN into 0
            mix = mix < 255.0 ? mix : 255.0;
            const Int4 mixed = __builtin_convertvector(mix, Int4);
            for (int lane = 0; lane < 4; ++lane) {
                std::uint8_t& byte = pixels[3 * lane + i];
                byte = m_table.Row(mixed[lane])[byte];
            }
        }
    }

  private:
    const BlendTable& m_table;
    double m_solid[3];
    double m_outline[3];
};

// One row of a gradient fill, pixel offsets a0..a1 from the centre: f = (a·dx + b·dy) / r, or
// (a² + b²) / r² for the radial form, with the row's b·dy or b² given as rowTerm.
ROW_LOOP_CLONES void ShadeRow(const GradientBlend& blend, std::uint8_t* p, std::int64_t a0,
                              std::int64_t a1, bool radial, double dx, double rowTerm,
                              double radius) {
    if (radial) {
        const double radiusSquared = radius * radius;
        for (std::int64_t a = a0; a <= a1; ++a, p += 3) {
            const double ad = static_cast<double>(a);
            blend.Apply(p, (ad * ad + rowTerm) / radiusSquared);
        }
        return;
    }
    std::int64_t a = a0;
    for (; a + 3 <= a1; a += 4, p += 12) {
        const Double4 ad = {static_cast<double>(a), static_cast<double>(a + 1),
                            static_cast<double>(a + 2), static_cast<double>(a + 3)};
        blend.ApplyFour(p, (ad * dx + rowTerm) / radius);
    }
    for (; a <= a1; ++a, p += 3) {
        blend.Apply(p, (static_cast<double>(a) * dx + rowTerm) / radius);
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
            const bool outward =
                m_narrow
                    ? m_n[i].x * (m_centre.x - a.x) + m_n[i].y * (m_centre.y - a.y) < 0
                    : Wide{m_n[i].x} * (m_centre.x - a.x) + Wide{m_n[i].y} * (m_centre.y - a.y) < 0;
            if (outward) m_n[i] = {-m_n[i].x, -m_n[i].y};
        }
    }

    PixelPoint Centre() const { return m_centre; }

    // Narrows [lo, hi] to the pixels of row y (inside the picture) that pass
    // n_i · ((x, y) − v_i) >= 0 for all i.
    void ClipRow(std::int64_t y, std::int64_t& lo, std::int64_t& hi) const {
        if (m_narrow && hi - lo < kTestedWidth) {
            ClipRowByPixels(y, lo, hi);
        } else if (m_narrow) {
            ClipRowIn<std::int64_t>(y, lo, hi);
        } else {
            ClipRowIn<Wide>(y, lo, hi);
        }
    }

  private:
    // Vertices this close to the origin keep every product of the row test within 64 bits.
    static constexpr std::int64_t kNarrowLimit = std::int64_t{1} << 28;
    // Rows this short are cheaper to test pixel by pixel than to solve with five divisions.
    static constexpr std::int64_t kTestedWidth = 16;

    // The inside pixels of a row form one run (the half-planes are convex): trim from both ends.
    void ClipRowByPixels(std::int64_t y, std::int64_t& lo, std::int64_t& hi) const {
        std::int64_t rowTerm[5];  // n_i · ((0, y) − v_i)
        for (int i = 0; i < 5; ++i) rowTerm[i] = m_n[i].y * (y - m_v[i].y) - m_n[i].x * m_v[i].x;
        auto inside = [&](std::int64_t x) {
            for (int i = 0; i < 5; ++i) {
                if (m_n[i].x * x + rowTerm[i] < 0) return false;
            }
            return true;
        };
        while (lo <= hi && !inside(lo)) ++lo;
        while (hi >= lo && !inside(hi)) --hi;
    }

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

// floor(num·k / den) for k = k0, k0 + 1, ..., with 0 <= num <= den and k0 >= 0: one division at
// the start, then the remainder is stepped.
class RunningQuotient {
  public:
    RunningQuotient(std::int64_t num, std::int64_t den, std::int64_t k0) : m_num(num), m_den(den) {
        constexpr std::int64_t kHalfWidth = std::int64_t{1} << 31;
        if (k0 == 0) {  // the usual start at an end point
            m_quotient = 0;
            m_remainder = 0;
        } else if (num < kHalfWidth && k0 < kHalfWidth) {
            m_quotient = num * k0 / den;
            m_remainder = num * k0 % den;
        } else {
            const Wide product = Wide{num} * k0;
            m_quotient = static_cast<std::int64_t>(product / den);
            m_remainder = static_cast<std::int64_t>(product % den);
        }
    }

    std::int64_t Quotient() const { return m_quotient; }
    void Next() {
        m_remainder += m_num;
        if (m_remainder >= m_den) {
            m_remainder -= m_den;
            ++m_quotient;
        }
    }

  private:
    std::int64_t m_num, m_den, m_quotient, m_remainder;
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

// Within one pentagon the fill comes first, then per vertex its edge and its star line.
void FigureEngine::PaintPentagon(const PentagonPaint& p) {
    if (!PictureIsUsable() || PaintTinyPentagon(p)) return;
    const double t = p.transparency;
    if (p.fill) {
        if (p.gradient) {
            FillPentagonGradient(p.pixel, p.direction, p.radius, p.solidColour, p.outlineColour, t);
        } else {
            FillPentagon(p.pixel, p.solidColour, t);
        }
    }
    if (!p.outline && !p.star) return;
    const BlendRows outline = ChannelBlend(p.outlineColour, t).Rows();
    const BlendRows star = ChannelBlend(p.starColour, t).Rows();
    for (int k = 0; k < 5; ++k) {
        const PixelPoint& a = p.pixel[k];
        if (p.outline) {
            const PixelPoint& b = p.pixel[(k + 1) % 5];
            DrawSegmentWith(a.x, a.y, b.x, b.y, outline);
        }
        if (p.star) {
            const PixelPoint& b = p.pixel[(k + 2) % 5];
            DrawSegmentWith(a.x, a.y, b.x, b.y, star);
        }
    }
}

// Far zoom-outs find pentagons by the million, nearly all within a 2 x 2 pixel box; those are
// painted here with the same blends in the same sequence per pixel as the general path:
// - the fill blends the box pixels that pass the same inside test (with coinciding vertices
//   every normal is zero and the single pixel passes), shaded by the same expression;
// - a segment between pixels at most one apart in x and in y blends exactly its two end points
//   (one when they coincide), so the edges and star lines blend their vertices in their order.
// A box pixel beyond the picture is a scratch pixel, so the blends need no test.
// Returns false, painting nothing, for a larger pentagon.
bool FigureEngine::PaintTinyPentagon(const PentagonPaint& p) {
    const PixelBox box = BoundingBox(p.pixel);
    if (box.x1 - box.x0 > 1 || box.y1 - box.y0 > 1) return false;
    std::uint8_t scratch[3] = {};
    TinyBox at;
    for (int index = 0; index < 4; ++index) {
        const std::int64_t x = box.x0 + index % 2, y = box.y0 + index / 2;
        const bool shown = x >= 0 && x < m_nWidth && y >= 0 && y < m_nHeight;
        at[index] = shown ? PixelAt(x, y) : scratch;
    }
    if (p.fill) FillTinyPentagon(p, box, at);
    auto boxIndex = [&](const PixelPoint& v) {
        return static_cast<int>((v.x - box.x0) + 2 * (v.y - box.y0));
    };
    if (p.outline != p.star) {
        // One kind of line: every blend of a pixel uses the same map, so only their number counts.
        const int step = p.outline ? 1 : 2;
        int ends[4] = {};
        for (int k = 0; k < 5; ++k) {
            const PixelPoint& a = p.pixel[k];
            const PixelPoint& b = p.pixel[(k + step) % 5];
            ++ends[boxIndex(a)];
            ends[boxIndex(b)] += b.x != a.x || b.y != a.y;
        }
        const RepeatedBlend& blend =
            RepeatedBlendFor(p.outline ? p.outlineColour : p.starColour, p.transparency);
        for (int index = 0; index < 4; ++index) blend.Apply(at[index], ends[index]);
    } else if (p.outline) {
        const ChannelBlend outline(p.outlineColour, p.transparency);
        const ChannelBlend star(p.starColour, p.transparency);
        auto blendEnds = [&](const ChannelBlend& blend, const PixelPoint& a, const PixelPoint& b) {
            blend.Apply(at[boxIndex(a)]);
            if (b.x != a.x || b.y != a.y) blend.Apply(at[boxIndex(b)]);
        };
        for (int k = 0; k < 5; ++k) {
            blendEnds(outline, p.pixel[k], p.pixel[(k + 1) % 5]);
            blendEnds(star, p.pixel[k], p.pixel[(k + 2) % 5]);
        }
    }
    return true;
}

// The fill of a pentagon within a 2 x 2 box: the inside test and shading factor of the fills,
// written out for at most four pixels (every product is of numbers within -1..1).
void FigureEngine::FillTinyPentagon(const PentagonPaint& p, const PixelBox& box,
                                    const TinyBox& at) {
    const PentagonVertices& v = p.pixel;
    std::int64_t sumX = 0, sumY = 0;
    for (const PixelPoint& q : v) {
        sumX += q.x;
        sumY += q.y;
    }
    const PixelPoint s{sumX / 5, sumY / 5};
    PixelPoint n[5];
    for (int i = 0; i < 5; ++i) {
        const PixelPoint& a = v[i];
        const PixelPoint& b = v[(i + 1) % 5];
        n[i] = {a.y - b.y, b.x - a.x};
        const std::int64_t sign = n[i].x * (s.x - a.x) + n[i].y * (s.y - a.y) < 0 ? -1 : 1;
        n[i] = {sign * n[i].x, sign * n[i].y};
    }
    auto inside = [&](std::int64_t x, std::int64_t y) {
        for (int i = 0; i < 5; ++i) {
            if (n[i].x * (x - v[i].x) + n[i].y * (y - v[i].y) < 0) return false;
        }
        return true;
    };
    auto forInsidePixels = [&](auto blend) {
        for (std::int64_t y = box.y0; y <= box.y1; ++y) {
            for (std::int64_t x = box.x0; x <= box.x1; ++x) {
                if (inside(x, y)) blend(x, y, at[(x - box.x0) + 2 * (y - box.y0)]);
            }
        }
    };
    if (!p.gradient) {
        const ChannelBlend blend(p.solidColour, p.transparency);
        forInsidePixels(
            [&](std::int64_t, std::int64_t, std::uint8_t* pixel) { blend.Apply(pixel); });
        return;
    }
    const GradientBlend blend(p.solidColour, p.outlineColour, p.transparency);
    const bool radial = p.direction.x == 0.0 && p.direction.y == 0.0;
    forInsidePixels([&](std::int64_t x, std::int64_t y, std::uint8_t* pixel) {
        const double a = static_cast<double>(x - s.x), b = static_cast<double>(y - s.y);
        const double f = radial ? (a * a + b * b) / (p.radius * p.radius)
                                : (a * p.direction.x + b * p.direction.y) / p.radius;
        blend.Apply(pixel, f);
    });
}

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
    DrawSegmentWith(x0, y0, x1, y1, ChannelBlend(colour, t).Rows());
}

void FigureEngine::DrawSegmentWith(std::int64_t x0, std::int64_t y0, std::int64_t x1,
                                   std::int64_t y1, const BlendRows& rows) {
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    const ChannelBlend blend(rows);
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
        std::int64_t lo = std::max<std::int64_t>(x0, 0),
                     hi = std::min<std::int64_t>(x1, m_nWidth - 1);
        if (!inside) {
            ClipMonotone(lo, hi, m_nHeight,
                         [&](std::int64_t x) { return y0 + offset(dy, x - x0, dx); });
        }
        if (lo > hi) return;
        // y = y0 + trunc(dy·(x − x0) / dx) = y0 ± floor(|dy|·(x − x0) / dx), stepped along x.
        const std::int64_t yStep = dy < 0 ? -1 : 1;
        RunningQuotient q(std::llabs(dy), dx, lo - x0);
        for (std::int64_t x = lo; x <= hi; ++x, q.Next()) {
            blend.Apply(PixelAt(x, y0 + yStep * q.Quotient()));
        }
    } else if (dy == 0) {
        if (x0 >= 0 && x0 < m_nWidth && y0 >= 0 && y0 < m_nHeight) blend.Apply(PixelAt(x0, y0));
    } else {
        // x = x0 + trunc(dx·(y − y0) / dy) = x0 + floor(dx·|y − y0| / |dy|); the pixels are
        // distinct rows, so they may be visited from y0 outward whatever the sign of dy.
        auto xAt = [&](std::int64_t y) { return x0 + offset(dx, y - y0, dy); };
        std::int64_t lo = std::max<std::int64_t>(std::min(y0, y1), 0);
        std::int64_t hi = std::min<std::int64_t>(std::max(y0, y1), m_nHeight - 1);
        if (!inside) ClipMonotone(lo, hi, m_nWidth, xAt);
        if (lo > hi) return;
        const std::int64_t yStep = dy < 0 ? -1 : 1;
        const std::int64_t first = dy < 0 ? y0 - hi : lo - y0, last = dy < 0 ? y0 - lo : hi - y0;
        RunningQuotient q(dx, std::llabs(dy), first);
        for (std::int64_t k = first; k <= last; ++k, q.Next()) {
            blend.Apply(PixelAt(x0 + q.Quotient(), y0 + yStep * k));
        }
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
        if (hi - lo < kShortRow && !radial) {
            // Rows of tiny pentagons: not worth the call into the vectorised loop.
            for (std::int64_t a = lo - s.x; a <= hi - s.x; ++a, p += 3) {
                blend.Apply(p, (static_cast<double>(a) * direction.x + rowTerm) / radius);
            }
        } else {
            ShadeRow(blend, p, lo - s.x, hi - s.x, radial, direction.x, rowTerm, radius);
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
