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
#include <optional>
#include <tuple>
#include <vector>
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

// A pixel's bytes (blue, green, red) with red in the low byte.
COLORREF ColourRefOf(const std::uint8_t* p) {
    return COLORREF{p[2]} | COLORREF{p[1]} << 8 | COLORREF{p[0]} << 16;
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

// The tables of the last few transparencies, per thread (one painting uses one per order). Shared,
// so that whoever keeps a table beyond the next lookups keeps it alive.
const std::shared_ptr<const BlendTable>& SharedBlendTableFor(double t) {
    struct Entry {
        std::uint64_t bits = 0;
        std::shared_ptr<const BlendTable> table;
    };
    constexpr std::size_t kKept = 4;
    thread_local std::array<Entry, kKept> cache;
    thread_local std::size_t next = 0;
    thread_local const Entry* last = nullptr;
    const auto bits = std::bit_cast<std::uint64_t>(t);
    if (last != nullptr && last->bits == bits) return last->table;
    for (const Entry& e : cache) {
        if (e.table && e.bits == bits) {
            last = &e;
            return e.table;
        }
    }
    Entry& e = cache[next];
    next = (next + 1) % kKept;
    e.table = std::make_shared<const BlendTable>(t);
    e.bits = bits;
    last = &e;
    return e.table;
}

const BlendTable& BlendTableFor(double t) {
    return *SharedBlendTableFor(t);
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

// The gradient rows are compiled twice on x86-64 and the wider unit is chosen at run time; the
// arithmetic is the same IEEE operations either way (no fused multiply-add is enabled). The thread
// sanitizer's runtime is not ready when such a choice is resolved at start-up, so it gets one.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
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

    // The mix at a factor of ±0 is the outline colour itself.
    void ApplyOutline(std::uint8_t* pixel) const {
        for (int i = 0; i < 3; ++i) {
            pixel[i] = m_table.Row(static_cast<int>(m_outline[i]))[pixel[i]];
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

}  // namespace

// The blends of a pentagon's items, made once for the pentagons of one kind in one order (they
// share colours and transparency) and kept for as long as the next pentagon asks for the same.
class PentagonBlends {
  public:
    explicit PentagonBlends(const PentagonPaint& p)
        : m_key(KeyOf(p)),
          m_table(SharedBlendTableFor(p.transparency)),
          solid(p.solidColour, p.transparency),
          outline(p.outlineColour, p.transparency),
          star(p.starColour, p.transparency),
          gradient(p.solidColour, p.outlineColour, p.transparency) {
        // One kind of line: only the number of its blends per pixel counts.
        if (p.outline != p.star) {
            lines.emplace(p.outline ? p.outlineColour : p.starColour, p.transparency);
        }
    }

    static const PentagonBlends& For(const PentagonPaint& p) {
        thread_local std::unique_ptr<PentagonBlends> last;
        if (!last || last->m_key != KeyOf(p)) last = std::make_unique<PentagonBlends>(p);
        return *last;
    }

  private:
    using Key = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint64_t, bool, bool>;
    static Key KeyOf(const PentagonPaint& p) {
        return {p.solidColour, p.outlineColour,
                p.starColour,  std::bit_cast<std::uint64_t>(p.transparency),
                p.outline,     p.star};
    }
    Key m_key;
    std::shared_ptr<const BlendTable> m_table;  // the blends below point into it

  public:
    const ChannelBlend solid, outline, star;
    const GradientBlend gradient;
    std::optional<RepeatedBlend> lines;
};

namespace {

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

// One cell of a shaded fill at offset (a, b) from the fill's integer centre, shaded as the row
// scan does; a factor of ±0 (the centre cell, as a rule) is the outline colour itself.
void ShadeCell(const GradientBlend& blend, const PentagonPaint& p, bool radial, double a, double b,
               std::uint8_t* pixel) {
    const double f = radial ? (a * a + b * b) / (p.radius * p.radius)
                            : (a * p.direction.x + b * p.direction.y) / p.radius;
    if (f == 0) {
        blend.ApplyOutline(pixel);
    } else {
        blend.Apply(pixel, f);
    }
}

// Pentagons within a box of at most kSmallBox x kSmallBox pixels at non-negative coordinates are
// painted through patterns over the box's cells (cell x + 4y from the box corner), each made by
// running the general rules on the arrangement of the vertices, so a lookup gives the pixels a
// scan would.
constexpr std::int64_t kSmallBox = 4;
constexpr int kSmallCells = 16;

struct SmallSegment {
    std::uint8_t count = 0;
    std::array<std::uint8_t, kSmallBox> cells{};
};

// The cells the segment rule blends between any two cells: along x when the segment is longer in
// x, else along y; the other coordinate is the start's plus the truncated proportional offset.
class SmallSegments {
  public:
    SmallSegments() {
        for (int a = 0; a < kSmallCells; ++a) {
            for (int b = 0; b < kSmallCells; ++b) m_segments[kSmallCells * a + b] = Make(a, b);
        }
    }
    const SmallSegment& Between(int a, int b) const { return m_segments[kSmallCells * a + b]; }

  private:
    static SmallSegment Make(int a, int b) {
        int x0 = a % 4, y0 = a / 4, x1 = b % 4, y1 = b / 4;
        if (x0 > x1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        const int dx = x1 - x0, dy = y1 - y0;
        SmallSegment segment;
        auto add = [&](int x, int y) {
            segment.cells[segment.count++] = static_cast<std::uint8_t>(x + 4 * y);
        };
        if (dx > std::abs(dy)) {
            for (int x = x0; x <= x1; ++x) add(x, y0 + dy * (x - x0) / dx);
        } else if (dy == 0) {
            add(x0, y0);
        } else {
            for (int y = std::min(y0, y1); y <= std::max(y0, y1); ++y) {
                add(x0 + dx * (y - y0) / dy, y);
            }
        }
        return segment;
    }

    std::array<SmallSegment, kSmallCells * kSmallCells> m_segments{};
};

const SmallSegments& SegmentsOfSmallBoxes() {
    static const SmallSegments segments;
    return segments;
}

// A pentagon within a 4 x 4 box: the cells its fill blends, the fill's integer centre (the vertex
// sums divided by 5, from the corner), and the blends per cell of each kind of line alone.
struct SmallPattern {
    std::uint16_t inside = 0;
    std::int8_t centreX = 0, centreY = 0;
    std::array<std::uint8_t, kSmallCells> edgeTimes{};
    std::array<std::uint8_t, kSmallCells> starTimes{};
};

// code: the cell of vertex k at bits 4k.
SmallPattern MakeSmallPattern(std::uint32_t code) {
    PentagonVertices v;
    int cells[5];
    for (int k = 0; k < 5; ++k) {
        cells[k] = static_cast<int>(code >> (4 * k) & 15);
        v[k] = {cells[k] % 4, cells[k] / 4};
    }
    const PixelBox box = BoundingBox(v);
    const PentagonScan scan(v);
    SmallPattern pattern;
    pattern.centreX = static_cast<std::int8_t>(scan.Centre().x);
    pattern.centreY = static_cast<std::int8_t>(scan.Centre().y);
    for (std::int64_t y = box.y0; y <= box.y1; ++y) {
        std::int64_t lo = box.x0, hi = box.x1;
        scan.ClipRow(y, lo, hi);
        for (std::int64_t x = lo; x <= hi; ++x) pattern.inside |= 1 << (x + 4 * y);
    }
    const SmallSegments& segments = SegmentsOfSmallBoxes();
    for (int k = 0; k < 5; ++k) {
        const SmallSegment& edge = segments.Between(cells[k], cells[(k + 1) % 5]);
        for (int n = 0; n < edge.count; ++n) ++pattern.edgeTimes[edge.cells[n]];
        const SmallSegment& star = segments.Between(cells[k], cells[(k + 2) % 5]);
        for (int n = 0; n < star.count; ++n) ++pattern.starTimes[star.cells[n]];
    }
    return pattern;
}

// The patterns met so far, per thread: a far zoom-out meets a few thousand of the 2^20
// arrangements, again and again. Open addressing in a table of fixed size, emptied when half full.
const SmallPattern& SmallPatternOf(std::uint32_t code) {
    constexpr int kBits = 14;
    constexpr std::size_t kSlots = std::size_t{1} << kBits;
    constexpr std::uint32_t kEmpty = ~std::uint32_t{0};  // codes have 20 bits
    struct Slot {
        std::uint32_t code = kEmpty;
        SmallPattern pattern;
    };
    thread_local std::vector<Slot> slots;
    thread_local std::size_t used = 0;
    if (slots.empty() || used >= kSlots / 2) {
        slots.assign(kSlots, Slot{});
        used = 0;
    }
    for (std::size_t h = (code * 0x9E3779B1u) >> (32 - kBits);; h = (h + 1) & (kSlots - 1)) {
        Slot& slot = slots[h];
        if (slot.code == code) return slot.pattern;
        if (slot.code == kEmpty) {
            ++used;
            slot = {code, MakeSmallPattern(code)};
            return slot.pattern;
        }
    }
}

// Within a 2 x 2 box (the common case) one table lookup gives the fill's cells and the blends of
// one kind of line per cell for every arrangement of the vertices (cell x + 2y, vertex k at bits
// 2k): the small-box pattern of the same arrangement, read at the four cells. At non-negative
// coordinates the fill's integer centre is the box corner, wherever the box is.
struct TinyPattern {
    std::uint8_t inside = 0;                  // bit per cell the fill blends
    std::array<std::uint8_t, 4> edgeTimes{};  // blends per cell by the five edges
    std::array<std::uint8_t, 4> starTimes{};  // blends per cell by the five star lines
};

TinyPattern MakeTinyPattern(unsigned code) {
    constexpr int kSmallCellOf[4] = {0, 1, 4, 5};  // cell x + 2y as x + 4y
    std::uint32_t smallCode = 0;
    for (int k = 0; k < 5; ++k) {
        smallCode |= static_cast<std::uint32_t>(kSmallCellOf[code >> (2 * k) & 3]) << (4 * k);
    }
    const SmallPattern small = MakeSmallPattern(smallCode);
    TinyPattern pattern;
    for (int cell = 0; cell < 4; ++cell) {
        const int at = kSmallCellOf[cell];
        pattern.inside |= static_cast<std::uint8_t>((small.inside >> at & 1) << cell);
        pattern.edgeTimes[cell] = small.edgeTimes[at];
        pattern.starTimes[cell] = small.starTimes[at];
    }
    return pattern;
}

const TinyPattern& TinyPatternOf(unsigned code) {
    static const auto patterns = [] {
        std::array<TinyPattern, 1024> all;
        for (unsigned code = 0; code < all.size(); ++code) all[code] = MakeTinyPattern(code);
        return all;
    }();
    return patterns[code];
}

}  // namespace

// Within one pentagon the fill comes first, then per vertex its edge and its star line.
void FigureEngine::PaintPentagon(const PentagonPaint& p) {
    PaintPentagon(p, BoundingBox(p.pixel));
}

void FigureEngine::PaintPentagon(const PentagonPaint& p, const PixelBox& box) {
    // A box beside the picture paints nothing.
    if (!PictureIsUsable() || !BoxMeetsPicture(box)) return;
    PaintPentagonWith(p, box, PentagonBlends::For(p));
}

const PentagonBlends* FigureEngine::BlendsForPainting(const PentagonPaint& p) const {
    return PictureIsUsable() ? &PentagonBlends::For(p) : nullptr;
}

void FigureEngine::PaintPentagonWith(const PentagonPaint& p, const PixelBox& box,
                                     const PentagonBlends& blends) {
    if (PaintSmallPentagon(p, box, blends)) return;
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

// Far zoom-outs find pentagons by the million, nearly all within a few pixels; those are painted
// through the box patterns with the same blends in the same sequence per pixel as the general
// path: the fill blends the cells that pass the inside test, shaded by the same expression, then
// per vertex its edge and its star line blend their cells. A cell beyond the picture is a
// scratch pixel, so the blends need no test. A box at negative coordinates (the picture's top or
// left edge) goes the general way. Returns false, painting nothing, for those it leaves.
bool FigureEngine::PaintSmallPentagon(const PentagonPaint& p, const PixelBox& box,
                                      const PentagonBlends& blends) {
    const std::int64_t width = box.x1 - box.x0 + 1, height = box.y1 - box.y0 + 1;
    if (width > kSmallBox || height > kSmallBox || box.x0 < 0 || box.y0 < BandStart()) {
        return false;
    }
    // Outline and star together go segment by segment, below.
    if (width <= 2 && height <= 2 && !(p.outline && p.star)) {
        PaintTinyPentagon(p, box, blends);
        return true;
    }
    int cells[5];
    std::uint32_t code = 0;
    for (int k = 0; k < 5; ++k) {
        cells[k] = static_cast<int>((p.pixel[k].x - box.x0) + 4 * (p.pixel[k].y - box.y0));
        code |= static_cast<std::uint32_t>(cells[k]) << (4 * k);
    }
    const SmallPattern& pattern = SmallPatternOf(code);
    std::uint8_t scratch[3] = {};
    std::uint8_t* const corner = PixelAt(box.x0, box.y0);
    const std::int64_t bandEnd = BandEnd();
    const bool whole = box.x1 < m_nWidth && box.y1 < bandEnd;
    auto at = [&](int cell) {
        const int x = cell % 4, y = cell / 4;
        return whole || (box.x0 + x < m_nWidth && box.y0 + y < bandEnd)
                   ? corner + y * m_nRowBytes + 3 * x
                   : scratch;
    };
    if (p.fill) {
        unsigned inside = pattern.inside;
        if (!p.gradient) {
            for (; inside != 0; inside &= inside - 1) {
                blends.solid.Apply(at(std::countr_zero(inside)));
            }
        } else {
            const bool radial = p.direction.x == 0.0 && p.direction.y == 0.0;
            for (; inside != 0; inside &= inside - 1) {
                const int cell = std::countr_zero(inside);
                ShadeCell(blends.gradient, p, radial, cell % 4 - pattern.centreX,
                          cell / 4 - pattern.centreY, at(cell));
            }
        }
    }
    if (p.outline != p.star) {
        // One kind of line: every blend of a pixel uses the same map, so only their number counts.
        const auto& times = p.outline ? pattern.edgeTimes : pattern.starTimes;
        for (int cell = 0; cell < kSmallCells; ++cell) {
            if (times[cell] != 0) blends.lines->Apply(at(cell), times[cell]);
        }
    } else if (p.outline) {
        const SmallSegments& segments = SegmentsOfSmallBoxes();
        auto blendSegment = [&](const ChannelBlend& blend, int a, int b) {
            const SmallSegment& segment = segments.Between(cells[a], cells[b]);
            for (int n = 0; n < segment.count; ++n) blend.Apply(at(segment.cells[n]));
        };
        for (int k = 0; k < 5; ++k) {
            blendSegment(blends.outline, k, (k + 1) % 5);
            blendSegment(blends.star, k, (k + 2) % 5);
        }
    }
    return true;
}

void FigureEngine::PaintTinyPentagon(const PentagonPaint& p, const PixelBox& box,
                                     const PentagonBlends& blends) {
    std::uint8_t scratch[3] = {};
    std::uint8_t* const corner = PixelAt(box.x0, box.y0);
    TinyCells at = {corner, corner + 3, corner + m_nRowBytes, corner + m_nRowBytes + 3};
    if (box.x0 + 1 >= m_nWidth) at[1] = at[3] = scratch;
    if (box.y0 + 1 >= BandEnd()) at[2] = at[3] = scratch;
    unsigned code = 0;
    for (int k = 0; k < 5; ++k) {
        const auto cell = (p.pixel[k].x - box.x0) + 2 * (p.pixel[k].y - box.y0);
        code |= static_cast<unsigned>(cell) << (2 * k);
    }
    const TinyPattern& pattern = TinyPatternOf(code);
    if (p.fill) FillTinyPentagon(p, pattern.inside, at, blends);
    if (!p.outline && !p.star) return;
    const auto& times = p.outline ? pattern.edgeTimes : pattern.starTimes;
    for (int cell = 0; cell < 4; ++cell) {
        if (times[cell] != 0) blends.lines->Apply(at[cell], times[cell]);
    }
}

// The cells are the box's; the fill's integer centre is the corner, so a cell's offset from it
// is its place in the box.
void FigureEngine::FillTinyPentagon(const PentagonPaint& p, unsigned inside, const TinyCells& at,
                                    const PentagonBlends& blends) {
    if (!p.gradient) {
        const ChannelBlend& blend = blends.solid;
        for (int cell = 0; cell < 4; ++cell) {
            if (inside >> cell & 1) blend.Apply(at[cell]);
        }
        return;
    }
    const GradientBlend& blend = blends.gradient;
    const bool radial = p.direction.x == 0.0 && p.direction.y == 0.0;
    constexpr double kA[4] = {0, 1, 0, 1}, kB[4] = {0, 0, 1, 1};  // the offsets from the corner
    for (int cell = 0; cell < 4; ++cell) {
        if (inside >> cell & 1) ShadeCell(blend, p, radial, kA[cell], kB[cell], at[cell]);
    }
}

bool FigureEngine::PictureIsUsable() const {
    return m_pBits != nullptr && m_nWidth > 0 && m_nHeight > 0 &&
           m_nRowBytes >= std::int64_t{3} * m_nWidth && BandStart() < BandEnd();
}

// The rows held start with the band's first.
std::uint8_t* FigureEngine::PixelAt(std::int64_t x, std::int64_t y) const {
    return m_pBits + (y - m_nBandStart) * m_nRowBytes + 3 * x;
}

void FigureEngine::FillBackground() {
    if (!PictureIsUsable()) return;
    const std::uint32_t colour = GetDibColour(1);
    const std::int64_t start = BandStart(), end = BandEnd();
    std::uint8_t* first = PixelAt(0, start);
    for (std::int64_t x = 0; x < m_nWidth; ++x) {
        for (int i = 0; i < 3; ++i) first[3 * x + i] = ColourByte(colour, i);
    }
    for (std::int64_t y = start + 1; y < end; ++y) {
        std::memcpy(PixelAt(0, y), first, static_cast<std::size_t>(3) * m_nWidth);
    }
}

void FigureEngine::BlendPixel(std::int64_t x, std::int64_t y, std::uint32_t colour, double t) {
    if (!PictureIsUsable() || x < 0 || x >= m_nWidth || y < BandStart() || y >= BandEnd()) return;
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
    // A segment within the band needs no clipping; clipping measures rows from the band's start.
    const std::int64_t start = BandStart(), end = BandEnd();
    const bool inside =
        x0 >= 0 && x1 < m_nWidth && std::min(y0, y1) >= start && std::max(y0, y1) < end;
    if (dx > std::llabs(dy)) {
        std::int64_t lo = std::max<std::int64_t>(x0, 0),
                     hi = std::min<std::int64_t>(x1, m_nWidth - 1);
        if (!inside) {
            ClipMonotone(lo, hi, end - start,
                         [&](std::int64_t x) { return y0 - start + offset(dy, x - x0, dx); });
        }
        if (lo > hi) return;
        // y = y0 + trunc(dy·(x − x0) / dx) = y0 ± floor(|dy|·(x − x0) / dx), stepped along x.
        const std::int64_t yStep = dy < 0 ? -1 : 1;
        RunningQuotient q(std::llabs(dy), dx, lo - x0);
        for (std::int64_t x = lo; x <= hi; ++x, q.Next()) {
            blend.Apply(PixelAt(x, y0 + yStep * q.Quotient()));
        }
    } else if (dy == 0) {
        if (x0 >= 0 && x0 < m_nWidth && y0 >= start && y0 < end) blend.Apply(PixelAt(x0, y0));
    } else {
        // x = x0 + trunc(dx·(y − y0) / dy) = x0 + floor(dx·|y − y0| / |dy|); the pixels are
        // distinct rows, so they may be visited from y0 outward whatever the sign of dy.
        auto xAt = [&](std::int64_t y) { return x0 + offset(dx, y - y0, dy); };
        std::int64_t lo = std::max<std::int64_t>(std::min(y0, y1), start);
        std::int64_t hi = std::min<std::int64_t>(std::max(y0, y1), end - 1);
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
    const std::int64_t yEnd = std::min<std::int64_t>(box.y1, BandEnd() - 1);
    for (std::int64_t y = std::max<std::int64_t>(box.y0, BandStart()); y <= yEnd; ++y) {
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
    const std::int64_t yEnd = std::min<std::int64_t>(box.y1, BandEnd() - 1);
    for (std::int64_t y = std::max<std::int64_t>(box.y0, BandStart()); y <= yEnd; ++y) {
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
    if (!PictureIsUsable() || x < 0 || x >= m_nWidth || y < BandStart() || y >= BandEnd()) {
        return {false, 0};
    }
    return {true, ColourRefOf(PixelAt(x, y))};
}

std::pair<bool, COLORREF> FigureEngine::ReadPixel(const std::uint8_t* pixels, std::int64_t x,
                                                  std::int64_t y) const {
    if (pixels == nullptr || m_nRowBytes < std::int64_t{3} * m_nWidth || x < 0 || x >= m_nWidth ||
        y < 0 || y >= m_nHeight) {
        return {false, 0};
    }
    return {true, ColourRefOf(pixels + y * m_nRowBytes + 3 * x)};
}
