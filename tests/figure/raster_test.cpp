// Raster primitives: the blend rule, the segment raster, the fills with their exact clipping,
// the colour mix and reading pixels back.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "figure/figure_engine.h"
#include "figure/reference_painter_support.h"

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kRed = 0xFF0000;  // picture packing: red in bits 16..23
constexpr std::uint8_t kPadding = 0x5A;
using Pixel = std::pair<std::int64_t, std::int64_t>;

class Raster : public ::testing::Test {
  protected:
    void SetUpPicture(int width, int height) {
        f->m_nWidth = width;
        f->m_nHeight = height;
        f->m_nRowBytes = (width * 3 + 3) / 4 * 4;
        bytes.assign(static_cast<std::size_t>(f->m_nRowBytes) * height, kPadding);
        f->m_pBits = bytes.data();
        f->FillBackground();
    }
    void SetUp() override { SetUpPicture(23, 17); }

    std::array<int, 3> Bgr(std::int64_t x, std::int64_t y) const {
        const std::uint8_t* p = &bytes[y * f->m_nRowBytes + 3 * x];
        return {p[0], p[1], p[2]};
    }
    // Pixels that differ from the white background.
    std::set<Pixel> Painted() const {
        std::set<Pixel> painted;
        for (int y = 0; y < f->m_nHeight; ++y) {
            for (int x = 0; x < f->m_nWidth; ++x) {
                if (Bgr(x, y) != std::array<int, 3>{255, 255, 255}) painted.insert({x, y});
            }
        }
        return painted;
    }
    bool PaddingUntouched() const {
        for (int y = 0; y < f->m_nHeight; ++y) {
            for (int i = f->m_nWidth * 3; i < f->m_nRowBytes; ++i) {
                if (bytes[y * f->m_nRowBytes + i] != kPadding) return false;
            }
        }
        return true;
    }
    // A second picture painted by the literal primitives, for comparison.
    std::vector<std::uint8_t> Literal(const std::function<void(ReferencePainter&)>& paint) {
        std::vector<std::uint8_t> copy(bytes.size(), kPadding);
        ReferencePainter painter(*f);
        painter.m_pBits = copy.data();
        for (int y = 0; y < f->m_nHeight; ++y) {
            for (int x = 0; x < f->m_nWidth; ++x) painter.BlendPixel(x, y, kWhite, 0.0);
        }
        paint(painter);
        return copy;
    }

    std::unique_ptr<FigureEngine> f = std::make_unique<FigureEngine>();
    std::vector<std::uint8_t> bytes;
};

TEST_F(Raster, BackgroundUsesEntryOneAndLeavesPadding) {
    f->SetColour(0x336699, 1);  // red 0x99, green 0x66, blue 0x33
    f->FillBackground();
    EXPECT_EQ(Bgr(0, 0), (std::array<int, 3>{0x33, 0x66, 0x99}));
    EXPECT_EQ(Bgr(22, 16), (std::array<int, 3>{0x33, 0x66, 0x99}));
    EXPECT_TRUE(PaddingUntouched());
}

TEST_F(Raster, BlendRule) {
    f->BlendPixel(1, 1, kRed, 0.0);
    EXPECT_EQ(Bgr(1, 1), (std::array<int, 3>{0, 0, 255}));
    f->BlendPixel(2, 1, kRed, 1.0);
    EXPECT_EQ(Bgr(2, 1), (std::array<int, 3>{255, 255, 255}));
    f->BlendPixel(3, 1, kRed, 0.5);
    EXPECT_EQ(Bgr(3, 1), (std::array<int, 3>{128, 128, 255}));
    // Two blends of black at 0.5: a quarter of the white remains, floor(127.5·… + 0.5).
    f->BlendPixel(4, 1, 0, 0.5);
    f->BlendPixel(4, 1, 0, 0.5);
    EXPECT_EQ(Bgr(4, 1), (std::array<int, 3>{64, 64, 64}));
}

TEST_F(Raster, TransparencyOutsideTheUnitRangeKeepsTheLowByte) {
    f->BlendPixel(0, 0, 0, 1.5);  // floor(255·1.5 + 0.5) = 383 → 127
    EXPECT_EQ(Bgr(0, 0), (std::array<int, 3>{127, 127, 127}));
    f->BlendPixel(1, 0, 0, -0.5);  // floor(−127.5 + 0.5) = −127 → 129
    EXPECT_EQ(Bgr(1, 0), (std::array<int, 3>{129, 129, 129}));
    f->BlendPixel(2, 0, 0, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(Bgr(2, 0), (std::array<int, 3>{0, 0, 0}));
    f->BlendPixel(3, 0, 0, 1e300);  // far beyond 2^63: a multiple of 256
    EXPECT_EQ(Bgr(3, 0), (std::array<int, 3>{0, 0, 0}));
}

// The blend goes through tables per transparency; every entry must equal the rule, also after
// more transparencies have been used than the tables kept.
TEST_F(Raster, BlendMatchesTheRuleForEveryByteColourAndTransparency) {
    SetUpPicture(256, 1);
    const double transparencies[] = {0.5, 0.0, 1.0, 0.3, -0.4, 1.3, 0.7, 0.5, 0.3};
    for (const double t : transparencies) {
        for (int c = 0; c < 256; c += 3) {
            for (int x = 0; x < 256; ++x) bytes[3 * x] = static_cast<std::uint8_t>(x);
            for (int x = 0; x < 256; ++x) f->BlendPixel(x, 0, static_cast<std::uint32_t>(c), t);
            for (int x = 0; x < 256; ++x) {
                const double v = std::floor(x * t + (1 - t) * c + 0.5);
                const auto expected =
                    static_cast<std::uint8_t>(static_cast<std::int64_t>(v) & 0xFF);
                ASSERT_EQ(bytes[3 * x], expected) << "t " << t << " colour " << c << " old " << x;
            }
        }
    }
}

TEST_F(Raster, BlendOutsideThePictureIsSkipped) {
    for (const Pixel& p : {Pixel{-1, 0}, Pixel{23, 0}, Pixel{0, -1}, Pixel{0, 17},
                           Pixel{kPixelLimit, -kPixelLimit}}) {
        f->BlendPixel(p.first, p.second, 0, 0.0);
    }
    EXPECT_TRUE(Painted().empty());
    EXPECT_TRUE(PaddingUntouched());
}

TEST_F(Raster, SegmentExamples) {
    f->DrawSegment(10, 10, 10, 10, 0, 0.0);
    EXPECT_EQ(Painted(), (std::set<Pixel>{{10, 10}}));
    SetUp();
    f->DrawSegment(0, 0, 4, 2, 0, 0.0);
    EXPECT_EQ(Painted(), (std::set<Pixel>{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}));
    SetUp();
    f->DrawSegment(4, 2, 0, 0, 0, 0.0);
    EXPECT_EQ(Painted(), (std::set<Pixel>{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}));
    SetUp();
    f->DrawSegment(0, 0, 2, 4, 0, 0.0);
    EXPECT_EQ(Painted(), (std::set<Pixel>{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}}));
}

TEST_F(Raster, SegmentBlendsEachPixelOnce) {
    f->DrawSegment(2, 3, 15, 9, 0, 0.5);
    for (const Pixel& p : Painted()) EXPECT_EQ(Bgr(p.first, p.second)[0], 128);
    SetUp();
    f->DrawSegment(5, 15, 2, 1, 0, 0.5);  // steep, falling
    EXPECT_EQ(Painted().size(), 15u);
    for (const Pixel& p : Painted()) EXPECT_EQ(Bgr(p.first, p.second)[0], 128);
}

TEST_F(Raster, SegmentsMatchTheLiteralRasterInsideAndAcrossTheEdges) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(-30, 50);
    for (int i = 0; i < 400; ++i) {
        const std::int64_t x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
        SetUp();
        f->DrawSegment(x0, y0, x1, y1, 0x102030, 0.25);
        const auto literal =
            Literal([&](ReferencePainter& r) { r.DrawSegment(x0, y0, x1, y1, 0x102030, 0.25); });
        ASSERT_EQ(bytes, literal) << x0 << "," << y0 << " " << x1 << "," << y1;
    }
}

// The literal rule restricted to the picture's columns or rows, since every other pixel is skipped.
std::set<Pixel> SegmentPixelsInPicture(std::int64_t x0, std::int64_t y0, std::int64_t x1,
                                       std::int64_t y1, int width, int height) {
    using Wide = __int128;
    if (x0 > x1) std::swap(x0, x1), std::swap(y0, y1);
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    std::set<Pixel> pixels;
    auto keep = [&](std::int64_t x, std::int64_t y) {
        if (x >= 0 && x < width && y >= 0 && y < height) pixels.insert({x, y});
    };
    if (dx > std::llabs(dy)) {
        for (std::int64_t x = std::max<std::int64_t>(x0, 0); x <= std::min<std::int64_t>(x1, width);
             ++x) {
            keep(x, y0 + static_cast<std::int64_t>(Wide{dy} * (x - x0) / dx));
        }
    } else {
        for (std::int64_t y = std::max<std::int64_t>(std::min(y0, y1), 0);
             y <= std::min<std::int64_t>(std::max(y0, y1), height); ++y) {
            keep(x0 + static_cast<std::int64_t>(Wide{dx} * (y - y0) / dy), y);
        }
    }
    return pixels;
}

TEST_F(Raster, FarSegmentsAreClippedExactly) {
    const std::int64_t big = std::int64_t{1} << 40;
    const std::vector<std::array<std::int64_t, 4>> segments = {
        {-big, -big + 5, big, big + 5},
        {-big, 8, big, 8},
        {11, -big, 11, big},
        {-big, big, big + 3, -big},
        {-big, 3, 7, 5},
        {5, -big, 9, big / 3},
        {-kPixelLimit, -kPixelLimit, kPixelLimit, kPixelLimit},
        {-big, -big, -big + 5, 3},
        {-kPixelLimit, 16, kPixelLimit, 0}};
    for (const auto& s : segments) {
        SetUp();
        f->DrawSegment(s[0], s[1], s[2], s[3], 0, 0.0);
        EXPECT_EQ(Painted(), SegmentPixelsInPicture(s[0], s[1], s[2], s[3], 23, 17))
            << s[0] << "," << s[1] << " " << s[2] << "," << s[3];
        EXPECT_TRUE(PaddingUntouched());
    }
}

PentagonVertices RegularPentagon(double cx, double cy, double r, double turn) {
    PentagonVertices v;
    for (int k = 0; k < 5; ++k) {
        const double a = turn + k * 1.2566370614359172;
        v[k] = {static_cast<std::int64_t>(std::floor(cx + r * std::cos(a) + 0.5)),
                static_cast<std::int64_t>(std::floor(cy + r * std::sin(a) + 0.5))};
    }
    return v;
}

TEST_F(Raster, FlatFillMatchesTheLiteralScan) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> pos(-10, 33), radius(0, 14), turn(0, 7);
    for (int i = 0; i < 300; ++i) {
        const PentagonVertices v = RegularPentagon(pos(rng), pos(rng), radius(rng), turn(rng));
        SetUp();
        f->FillPentagon(v, 0x804020, 0.3);
        ASSERT_EQ(bytes, Literal([&](ReferencePainter& r) { r.FillPentagon(v, 0x804020, 0.3); }));
    }
}

TEST_F(Raster, FillIncludesEdgePixelsAndADegeneratePentagonIsOnePixel) {
    f->FillPentagon({PixelPoint{2, 2}, {10, 2}, {10, 10}, {2, 10}, {2, 6}}, 0, 0.0);
    EXPECT_EQ(Painted().size(), 81u);
    SetUp();
    f->FillPentagon({PixelPoint{5, 6}, {5, 6}, {5, 6}, {5, 6}, {5, 6}}, 0, 0.0);
    EXPECT_EQ(Painted(), (std::set<Pixel>{{5, 6}}));
}

TEST_F(Raster, HugeFillsCoverThePictureExactly) {
    const std::vector<PentagonVertices> shapes = {
        RegularPentagon(10, 8, 1e6, 0.3),
        RegularPentagon(1e6 + 30, 8, 1e6, 0.1),  // edge crossing the picture
        RegularPentagon(std::ldexp(1.0, 40), -std::ldexp(1.0, 40), std::ldexp(1.0, 41), 2.0),
        {PixelPoint{-kPixelLimit, -kPixelLimit},
         {kPixelLimit, -kPixelLimit},
         {kPixelLimit, kPixelLimit},
         {0, kPixelLimit},
         {-kPixelLimit, kPixelLimit}}};
    for (const PentagonVertices& v : shapes) {
        SetUp();
        f->FillPentagon(v, 0, 0.0);
        std::set<Pixel> expected;
        for (int y = 0; y < 17; ++y) {
            for (int x = 0; x < 23; ++x) {
                if (ReferencePainter::InsidePentagon(v, x, y)) expected.insert({x, y});
            }
        }
        EXPECT_EQ(Painted(), expected);
        EXPECT_TRUE(PaddingUntouched());
    }
}

TEST_F(Raster, GradientFillMatchesTheLiteralScan) {
    std::mt19937 rng(13);
    std::uniform_real_distribution<double> pos(-10, 33), radius(0, 14), turn(0, 7);
    for (int i = 0; i < 300; ++i) {
        const PentagonVertices v = RegularPentagon(pos(rng), pos(rng), radius(rng), turn(rng));
        const double r = radius(rng) + 0.5, a = turn(rng);
        const bool radial = i % 3 == 0;
        const FigurePoint d = radial ? FigurePoint{} : FigurePoint{std::cos(a), std::sin(a)};
        SetUp();
        f->FillPentagonGradient(v, d, r, 0xFF2010, 0x1020FF, 0.4);
        ASSERT_EQ(bytes, Literal([&](ReferencePainter& ref) {
                      ref.FillPentagonGradient(v, radial, d, r, 0xFF2010, 0x1020FF, 0.4);
                  }));
    }
}

TEST_F(Raster, RadialGradientHasTheOutlineColourAtTheCentre) {
    const PentagonVertices v = RegularPentagon(11, 8, 7, 0);
    f->FillPentagonGradient(v, FigurePoint{}, 7.0, 0x0000FF, 0xFF0000, 0.0);
    // Centre of the integer vertices: the outline colour (red, picture packing bits 16..23).
    std::int64_t sx = 0, sy = 0;
    for (const PixelPoint& p : v) sx += p.x, sy += p.y;
    EXPECT_EQ(Bgr(sx / 5, sy / 5), (std::array<int, 3>{0, 0, 255}));
}

// Small pentagons take table-driven paths; any five vertices within a box of up to 5 x 5 pixels
// (not only regular ones, and degenerate ones too), anywhere across the picture's edges, with
// every mix of items, painted one over another, must give the literal primitives' bytes.
TEST_F(Raster, SmallPentagonsMatchTheLiteralPrimitivesForAnyVertices) {
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> corner(-4, 24), extent(1, 5), bit(0, 1), item(0, 7);
    const double transparencies[] = {0.0, 0.3, 0.5, 1.0, 1.7};
    for (int picture = 0; picture < 400; ++picture) {
        SetUp();
        std::vector<PentagonPaint> pentagons(12);
        for (PentagonPaint& p : pentagons) {
            const int x0 = corner(rng), y0 = corner(rng) - 5;
            std::uniform_int_distribution<int> dx(0, extent(rng) - 1), dy(0, extent(rng) - 1);
            for (PixelPoint& v : p.pixel) v = {x0 + dx(rng), y0 + dy(rng)};
            const int items = item(rng);
            p.fill = items & 1;
            p.outline = items & 2;
            p.star = items & 4;
            p.gradient = bit(rng);
            const double a = 0.7 * (picture % 9);
            p.direction = bit(rng) ? FigurePoint{} : FigurePoint{std::cos(a), std::sin(a)};
            p.radius = 0.25 + (picture % 5);
            p.solidColour = 0xFF2010 + 0x0305 * (picture % 7);
            p.outlineColour = 0x1020FF;
            p.starColour = 0x20C040;
            p.transparency = transparencies[rng() % 5];
        }
        for (const PentagonPaint& p : pentagons) f->PaintPentagon(p);
        ASSERT_EQ(bytes, Literal([&](ReferencePainter& ref) {
                      for (const PentagonPaint& p : pentagons) {
                          const double t = p.transparency;
                          const bool radial = p.direction.x == 0.0 && p.direction.y == 0.0;
                          if (p.fill && p.gradient) {
                              ref.FillPentagonGradient(p.pixel, radial, p.direction, p.radius,
                                                       p.solidColour, p.outlineColour, t);
                          } else if (p.fill) {
                              ref.FillPentagon(p.pixel, p.solidColour, t);
                          }
                          for (int k = 0; k < 5; ++k) {
                              const PixelPoint &a = p.pixel[k], &b = p.pixel[(k + 1) % 5],
                                               &c = p.pixel[(k + 2) % 5];
                              if (p.outline)
                                  ref.DrawSegment(a.x, a.y, b.x, b.y, p.outlineColour, t);
                              if (p.star) ref.DrawSegment(a.x, a.y, c.x, c.y, p.starColour, t);
                          }
                      }
                  }))
            << "picture " << picture;
        ASSERT_TRUE(PaddingUntouched());
    }
}

TEST(BlendColours, MixesAndClamps) {
    EXPECT_EQ(FigureEngine::BlendColours(0x0A141E, 0xC8B4A0, 1.0), 0x0A141Eu);
    EXPECT_EQ(FigureEngine::BlendColours(0x0A141E, 0xC8B4A0, 0.0), 0xC8B4A0u);
    EXPECT_EQ(FigureEngine::BlendColours(0x000000, 0xFFFFFF, 0.5), 0x808080u);  // 127.5 → 128
    EXPECT_EQ(FigureEngine::BlendColours(0x0000FF, 0x00FF00, 2.0), 0x0000FFu);  // 2·255, −255
    EXPECT_EQ(FigureEngine::BlendColours(0x102030, 0x405060, -1.0), 0x708090u);
    EXPECT_EQ(FigureEngine::BlendColours(0x102030, 0x405060, -100.0), 0xFFFFFFu);
    EXPECT_EQ(FigureEngine::BlendColours(0x102030, 0x405060, 100.0), 0x000000u);
    EXPECT_EQ(
        FigureEngine::BlendColours(0x102030, 0x405060, std::numeric_limits<double>::quiet_NaN()),
        0u);
    EXPECT_EQ(FigureEngine::BlendColours(0xFFFFFF, 0, std::numeric_limits<double>::infinity()),
              0u);  // ∞·0 is NaN in the other term
}

TEST_F(Raster, ReadPixelBounds) {
    f->BlendPixel(0, 0, 0x112233, 0.0);
    EXPECT_EQ(f->ReadPixel(0, 0), (std::pair<bool, COLORREF>{true, 0x332211}));
    EXPECT_EQ(f->ReadPixel(23, 0).first, false);
    EXPECT_EQ(f->ReadPixel(0, 17).first, false);
    EXPECT_EQ(f->ReadPixel(-1, 3).first, false);
    EXPECT_EQ(f->ReadPixel(bytes.data(), 0, 0), (std::pair<bool, COLORREF>{true, 0x332211}));
    EXPECT_EQ(f->ReadPixel(nullptr, 0, 0).first, false);
}

TEST_F(Raster, UnusablePictureIsNeverWritten) {
    f->m_nRowBytes = 3 * 23 - 1;  // rows would overlap
    f->FillBackground();
    f->BlendPixel(0, 0, 0, 0.0);
    f->DrawSegment(0, 0, 20, 10, 0, 0.0);
    f->FillPentagon(RegularPentagon(10, 8, 6, 0), 0, 0.0);
    f->m_nRowBytes = (23 * 3 + 3) / 4 * 4;
    EXPECT_TRUE(Painted().empty());
    f->m_pBits = nullptr;
    f->FillBackground();
    f->FillPentagonGradient(RegularPentagon(10, 8, 6, 0), {1, 0}, 6, 0, 0, 0);
    EXPECT_FALSE(f->ReadPixel(0, 0).first);
}

}  // namespace
