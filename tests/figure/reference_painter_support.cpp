#include "figure/reference_painter_support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

std::uint8_t ByteOf(std::uint32_t colour, int i) {
    return static_cast<std::uint8_t>(colour >> (8 * i) & 0xFF);
}

// floor(v) stored as a byte: its low 8 bits (0 for NaN; beyond 2^63 a double is a multiple of 256).
std::uint8_t StoredByte(double v) {
    const double r = std::floor(v);
    if (std::isnan(r) || std::fabs(r) >= 9223372036854775808.0) return 0;
    return static_cast<std::uint8_t>(static_cast<std::int64_t>(r) & 0xFF);
}

}  // namespace

void ReferencePainter::Paint(std::uint8_t* pixels, int order, UserPrompts& ui) {
    m_pBits = pixels;
    m_f.UpdateTransform();
    const std::uint32_t background = m_f.GetDibColour(1);
    for (std::int64_t y = 0; y < m_f.m_nHeight; ++y) {
        for (std::int64_t x = 0; x < m_f.m_nWidth; ++x) {
            for (int i = 0; i < 3; ++i) {
                m_pBits[y * m_f.m_nRowBytes + 3 * x + i] = ByteOf(background, i);
            }
        }
    }
    if (order >= 0 && order <= 9) {
        PaintOrder(order, ui);
    } else if (order == -1) {
        for (int n = 9; n >= 0; --n) {
            if (m_f.m_orders[n].drawOrder) PaintOrder(n, ui);
        }
    }
}

void ReferencePainter::PaintOrder(int n, UserPrompts& ui) {
    const OrderSettings& o = m_f.m_orders[n];
    m_f.m_orderScale = GoldenInt::Power(GoldenInt{0, 1}, n);
    if (!m_f.BuildSeries(ui)) return;
    PaintLines(n);
    const int e = 10 * n;
    const bool gradient = m_f.m_bGradient != 0;
    FindPentagons({'B', o.drawItems[1] != 0, e + 3, o.drawItems[2] != 0, e + 4, o.drawItems[6] != 0,
                   e + 8, o.transparency, gradient});
    FindPentagons({'S', o.drawItems[3] != 0, e + 5, o.drawItems[4] != 0, e + 6, o.drawItems[7] != 0,
                   e + 9, o.transparency, gradient});
}

void ReferencePainter::PaintLines(int n) {
    const OrderSettings& o = m_f.m_orders[n];
    if (o.drawItems[0]) {
        for (int k = 0; k < 5; ++k) {
            if (!o.drawLines[k]) continue;
            const auto [first, last] = m_f.VisibleRange(k);
            for (int j = first; j <= last; ++j) {
                DrawFamilyLine(k, m_f.m_values[j], 10 * n + 2, o.transparency);
            }
        }
    }
    if (o.drawItems[5]) {
        for (int k = 0; k < 5; ++k) {
            DrawFamilyLine(k, m_f.m_values[m_f.m_nRefIndex], 10 * n + 7, o.transparency);
        }
    }
}

void ReferencePainter::DrawFamilyLine(int k, double t, int entry, double transparency) {
    const double ux = std::cos(k * 1.2566370614359172), uy = std::sin(k * 1.2566370614359172);
    const PictureTransform& pt = m_f.m_transform;
    const double x0 = pt.lowX, y0 = pt.lowY, x1 = pt.highX, y1 = pt.highY;
    double px[4], py[4];
    int n = 0;
    if (std::fabs(ux) >= 0.01) {
        const double bottom = (t - uy * y0) / ux;
        if (bottom >= x0 && bottom <= x1) px[n] = bottom, py[n++] = y0;
        const double top = (t - uy * y1) / ux;
        if (top >= x0 && top <= x1) px[n] = top, py[n++] = y1;
    }
    if (std::fabs(uy) >= 0.01) {
        const double left = (t - ux * x0) / uy;
        if (left >= y0 && left <= y1) px[n] = x0, py[n++] = left;
        const double right = (t - ux * x1) / uy;
        if (right >= y0 && right <= y1) px[n] = x1, py[n++] = right;
    }
    if (n < 2) return;
    const auto [ax, ay] = m_f.FigureToPixel(px[0], py[0]);
    const auto [bx, by] = m_f.FigureToPixel(px[1], py[1]);
    DrawSegment(ax, ay, bx, by, m_f.GetDibColour(entry), transparency);
}

void ReferencePainter::FindPentagons(const PentagonStyle& style) {
    const GoldenInt g = m_f.m_orderScale * (style.kind == 'S' ? GoldenInt{1, 0} : GoldenInt{0, 1});
    const auto [first0, last0] = m_f.VisibleRange(0);
    const auto [first1, last1] = m_f.VisibleRange(1);
    const char kind = style.kind;
    auto step = [&](int index) {
        return index >= m_f.m_nFirst && index < m_f.m_nLast ? m_f.m_stepTypes[index] : '\0';
    };
    for (int i = first0; i <= last0; ++i) {
        for (int j = first1; j <= last1; ++j) {
            const GoldenInt e0 = m_f.m_elements[i], e1 = m_f.m_elements[j];
            bool up = step(i) == kind && step(j) == kind;
            for (int k = 2; k <= 4 && up; ++k) {
                up = Found(m_f.m_alpha[k] * e0 + m_f.m_beta[k] * e1 + g * m_f.m_c[k], kind, false);
            }
            if (up) DrawPentagon(i, j, 2 * g.Value(), style);
            bool down = step(i - 1) == kind && step(j - 1) == kind;
            for (int k = 2; k <= 4 && down; ++k) {
                down = Found(m_f.m_alpha[k] * e0 + m_f.m_beta[k] * e1 - g * m_f.m_c[k], kind, true);
            }
            if (down) DrawPentagon(i, j, -2 * g.Value(), style);
        }
    }
}

bool ReferencePainter::Found(GoldenInt q, char kind, bool stepBefore) const {
    const std::int64_t h = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(m_f.m_nLookupShift) + static_cast<std::uint32_t>(q.b));
    if (h < 0 || h >= 6000 || m_f.m_lookup[h] == LOOKUP_EMPTY) return false;
    const int m = m_f.m_lookup[h];
    if (m_f.m_elements[m].a != q.a) return false;
    const int s = stepBefore ? m - 1 : m;
    return s >= 0 && s < m_f.m_nLast && m_f.m_stepTypes[s] == kind;
}

void ReferencePainter::DrawPentagon(int i, int j, double R, const PentagonStyle& style) {
    const auto& M = m_f.m_intersect;
    const auto& u = m_f.m_u;
    const double px = M[0][0] * m_f.m_values[i] + M[0][1] * m_f.m_values[j];
    const double py = M[1][0] * m_f.m_values[i] + M[1][1] * m_f.m_values[j];
    double vx[5], vy[5];
    PentagonVertices pixel;
    for (int k = 0; k < 5; ++k) {
        vx[k] = px + R * (u[k].x - u[3].x);
        vy[k] = py + R * (u[k].y - u[3].y);
        const auto [x, y] = m_f.FigureToPixel(vx[k], vy[k]);
        pixel[k] = {x, y};
    }
    const double cx = (vx[0] + vx[1] + vx[2] + vx[3] + vx[4]) * 0.2;
    const double cy = (vy[0] + vy[1] + vy[2] + vy[3] + vy[4]) * 0.2;
    const double t = style.transparency;
    if (style.drawSolid) {
        const std::uint32_t solid = m_f.GetDibColour(style.solidEntry);
        if (style.gradient) {
            const double r = std::fabs(R * m_f.m_transform.scale);
            const double distance = std::sqrt(cx * cx + cy * cy);
            FillPentagonGradient(pixel, distance < 0.0001, {cx / distance, cy / distance}, r, solid,
                                 m_f.GetDibColour(style.outlineEntry), t);
        } else {
            FillPentagon(pixel, solid, t);
        }
    }
    for (int k = 0; k < 5; ++k) {
        if (style.drawOutline) {
            DrawSegment(pixel[k].x, pixel[k].y, pixel[(k + 1) % 5].x, pixel[(k + 1) % 5].y,
                        m_f.GetDibColour(style.outlineEntry), t);
        }
        if (style.drawStar) {
            DrawSegment(pixel[k].x, pixel[k].y, pixel[(k + 2) % 5].x, pixel[(k + 2) % 5].y,
                        m_f.GetDibColour(style.starEntry), t);
        }
    }
}

void ReferencePainter::BlendPixel(std::int64_t x, std::int64_t y, std::uint32_t colour, double t) {
    if (x < 0 || x >= m_f.m_nWidth || y < 0 || y >= m_f.m_nHeight) return;
    std::uint8_t* p = m_pBits + y * m_f.m_nRowBytes + 3 * x;
    for (int i = 0; i < 3; ++i) p[i] = StoredByte(p[i] * t + (1 - t) * ByteOf(colour, i) + 0.5);
}

// Pixels outside the picture are skipped by BlendPixel, so the loops run over the picture's
// columns or rows only (deep zooms make segments billions of pixels long); products in 128 bits.
void ReferencePainter::DrawSegment(std::int64_t x0, std::int64_t y0, std::int64_t x1,
                                   std::int64_t y1, std::uint32_t colour, double t) {
    using Wide = __int128;
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    if (std::llabs(dx) > std::llabs(dy)) {
        const std::int64_t last = std::min<std::int64_t>(x1, m_f.m_nWidth - 1);
        for (std::int64_t x = std::max<std::int64_t>(x0, 0); x <= last; ++x) {
            BlendPixel(x, y0 + static_cast<std::int64_t>(Wide{dy} * (x - x0) / dx), colour, t);
        }
    } else if (dy == 0) {
        BlendPixel(x0, y0, colour, t);
    } else {
        const std::int64_t last = std::min<std::int64_t>(std::max(y0, y1), m_f.m_nHeight - 1);
        for (std::int64_t y = std::max<std::int64_t>(std::min(y0, y1), 0); y <= last; ++y) {
            BlendPixel(x0 + static_cast<std::int64_t>(Wide{dx} * (y - y0) / dy), y, colour, t);
        }
    }
}

bool ReferencePainter::InsidePentagon(const PentagonVertices& v, std::int64_t x, std::int64_t y) {
    using Wide = __int128;
    std::int64_t sx = 0, sy = 0;
    for (const PixelPoint& p : v) sx += p.x, sy += p.y;
    sx /= 5;
    sy /= 5;
    for (int i = 0; i < 5; ++i) {
        const PixelPoint& a = v[i];
        const PixelPoint& b = v[(i + 1) % 5];
        Wide nx = a.y - b.y, ny = b.x - a.x;
        if (nx * (sx - a.x) + ny * (sy - a.y) < 0) nx = -nx, ny = -ny;
        if (nx * (x - a.x) + ny * (y - a.y) < 0) return false;
    }
    return true;
}

// The scan box of a fill, narrowed to the picture: every pixel outside is skipped anyway.
void ReferencePainter::ClipToPicture(std::int64_t& x0, std::int64_t& y0, std::int64_t& x1,
                                     std::int64_t& y1) const {
    x0 = std::max<std::int64_t>(x0, 0);
    y0 = std::max<std::int64_t>(y0, 0);
    x1 = std::min<std::int64_t>(x1, m_f.m_nWidth - 1);
    y1 = std::min<std::int64_t>(y1, m_f.m_nHeight - 1);
}

void ReferencePainter::FillPentagon(const PentagonVertices& v, std::uint32_t colour, double t) {
    std::int64_t x0 = v[0].x, x1 = v[0].x, y0 = v[0].y, y1 = v[0].y;
    for (const PixelPoint& p : v) {
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    }
    ClipToPicture(x0, y0, x1, y1);
    for (std::int64_t y = y0; y <= y1; ++y) {
        for (std::int64_t x = x0; x <= x1; ++x) {
            if (InsidePentagon(v, x, y)) BlendPixel(x, y, colour, t);
        }
    }
}

void ReferencePainter::FillPentagonGradient(const PentagonVertices& v, bool radial, FigurePoint d,
                                            double r, std::uint32_t solid, std::uint32_t outline,
                                            double t) {
    std::int64_t x0 = v[0].x, x1 = v[0].x, y0 = v[0].y, y1 = v[0].y, sx = 0, sy = 0;
    for (const PixelPoint& p : v) {
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        sx += p.x, sy += p.y;
    }
    sx /= 5;
    sy /= 5;
    ClipToPicture(x0, y0, x1, y1);
    for (std::int64_t y = y0; y <= y1; ++y) {
        for (std::int64_t x = x0; x <= x1; ++x) {
            if (!InsidePentagon(v, x, y)) continue;
            const double a = static_cast<double>(x - sx), b = static_cast<double>(y - sy);
            const double f = radial ? (a * a + b * b) / (r * r) : (a * d.x + b * d.y) / r;
            BlendPixel(x, y, BlendColours(solid, outline, f), t);
        }
    }
}

std::uint32_t ReferencePainter::BlendColours(std::uint32_t c1, std::uint32_t c2, double f) {
    std::uint32_t result = 0;
    for (int i = 0; i < 3; ++i) {
        const double v = std::floor(ByteOf(c1, i) * f + (1 - f) * ByteOf(c2, i) + 0.5);
        const double clamped = std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 255.0);
        result |= static_cast<std::uint32_t>(clamped) << (8 * i);
    }
    return result;
}
