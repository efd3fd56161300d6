// Raster primitives: background, pixel blend with transparency, segments, flat and gradient
// pentagon fills, colour mix and pixel read-back. Segments and fills are clipped to the picture
// exactly before they are scanned, so they touch the same pixels as a full scan would, at a cost
// bounded by the picture whatever the zoom.
#include <algorithm>
#include <cmath>
#include <cstdlib>

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

Wide FloorDiv(Wide n, Wide d) {
    Wide q = n / d;
    if ((n % d != 0) && ((n < 0) != (d < 0))) --q;
    return q;
}

Wide CeilDiv(Wide n, Wide d) {
    return -FloorDiv(-n, d);
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

    // Narrows [lo, hi] to the pixels of row y that pass n_i · ((x, y) − v_i) >= 0 for all i.
    void ClipRow(std::int64_t y, std::int64_t& lo, std::int64_t& hi) const {
        Wide first = lo, last = hi;
        for (int i = 0; i < 5 && first <= last; ++i) {
            const Wide nx = m_n[i].x;
            const Wide bound = nx * m_v[i].x - Wide{m_n[i].y} * (y - m_v[i].y);  // nx·x >= bound
            if (nx > 0) {
                first = std::max(first, CeilDiv(bound, nx));
            } else if (nx < 0) {
                last = std::min(last, FloorDiv(bound, nx));
            } else if (bound > 0) {
                last = first - 1;
            }
        }
        lo = static_cast<std::int64_t>(first);
        hi = static_cast<std::int64_t>(std::max(last, first - 1));
    }

  private:
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
    for (std::int64_t y = 0; y < m_nHeight; ++y) {
        std::uint8_t* p = PixelAt(0, y);
        for (std::int64_t x = 0; x < m_nWidth; ++x, p += 3) {
            for (int i = 0; i < 3; ++i) p[i] = ColourByte(colour, i);
        }
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
    if (dx > std::llabs(dy)) {
        auto yAt = [&](std::int64_t x) {
            return y0 + static_cast<std::int64_t>(Wide{dy} * (x - x0) / dx);
        };
        std::int64_t lo = std::max<std::int64_t>(x0, 0),
                     hi = std::min<std::int64_t>(x1, m_nWidth - 1);
        ClipMonotone(lo, hi, m_nHeight, yAt);
        for (std::int64_t x = lo; x <= hi; ++x) blend.Apply(PixelAt(x, yAt(x)));
    } else if (dy == 0) {
        BlendPixel(x0, y0, colour, t);
    } else {
        auto xAt = [&](std::int64_t y) {
            return x0 + static_cast<std::int64_t>(Wide{dx} * (y - y0) / dy);
        };
        std::int64_t lo = std::max<std::int64_t>(std::min(y0, y1), 0);
        std::int64_t hi = std::min<std::int64_t>(std::max(y0, y1), m_nHeight - 1);
        ClipMonotone(lo, hi, m_nWidth, xAt);
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
    const bool radial = direction.x == 0.0 && direction.y == 0.0;
    const std::int64_t yEnd = std::min<std::int64_t>(box.y1, m_nHeight - 1);
    for (std::int64_t y = std::max<std::int64_t>(box.y0, 0); y <= yEnd; ++y) {
        std::int64_t lo = std::max<std::int64_t>(box.x0, 0);
        std::int64_t hi = std::min<std::int64_t>(box.x1, m_nWidth - 1);
        scan.ClipRow(y, lo, hi);
        if (lo > hi) continue;
        const double b = static_cast<double>(y - s.y);
        std::uint8_t* p = PixelAt(lo, y);
        for (std::int64_t x = lo; x <= hi; ++x, p += 3) {
            const double a = static_cast<double>(x - s.x);
            const double f = radial ? (a * a + b * b) / (radius * radius)
                                    : (a * direction.x + b * direction.y) / radius;
            ChannelBlend(BlendColours(solid, outline, f), t).Apply(p);
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
