// Figure parameters: defaults of ResetFigure, names from paths, the picture transform and the
// colour-table accessors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "figure/figure_engine.h"

namespace {

using Rgb = std::array<int, 3>;

Rgb RgbOf(const FigureEngine& f, int entry) {
    return {f.m_colours[entry][2], f.m_colours[entry][1], f.m_colours[entry][0]};
}

class FigureDefaults : public ::testing::Test {
  protected:
    std::unique_ptr<FigureEngine> f = std::make_unique<FigureEngine>();
};

TEST_F(FigureDefaults, SeriesIsTheSelfGeneratedWordWithItsOffsets) {
    EXPECT_EQ(f->m_nSeriesLen, 2996);
    EXPECT_EQ(std::strlen(f->m_szSeries), 2996u);
    EXPECT_EQ(std::string(f->m_szSeries, 20), "BSBSBBSBSBBSBBSBSBBS");
    const std::string s = f->m_szSeries;
    EXPECT_EQ(std::count(s.begin(), s.end(), 'S'), 1144);
    EXPECT_EQ(std::count(s.begin(), s.end(), 'B'), 1852);
    EXPECT_EQ(f->m_nUn, 1145);
    EXPECT_EQ(f->m_nGs, 1853);
    EXPECT_NEAR(f->m_nUn * kPhi - f->m_nGs, -0.351, 0.0005);
}

TEST_F(FigureDefaults, ViewAndTexts) {
    EXPECT_EQ(f->m_nWidth, 1200);
    EXPECT_EQ(f->m_nHeight, 900);
    EXPECT_EQ(f->m_nCurrentOrder, 0);
    EXPECT_EQ(f->m_dMagnExp, -7.0);
    EXPECT_EQ(f->m_dCentreX, 0.0);
    EXPECT_EQ(f->m_dCentreY, 0.0);
    EXPECT_EQ(f->m_bGradient, 1);
    EXPECT_STREQ(f->m_szVersion, "Dorvanta Version 4.0");
    EXPECT_STREQ(f->m_szComment, "Comment");
    EXPECT_STREQ(f->m_szName, "");
    EXPECT_STREQ(f->m_szDirectory, "");
}

TEST_F(FigureDefaults, TransformCornersAndScale) {
    const PictureTransform& t = f->m_transform;
    EXPECT_EQ(t.halfWidth, 600);
    EXPECT_EQ(t.halfHeight, 450);
    EXPECT_DOUBLE_EQ(t.scale, 4.6875);
    EXPECT_DOUBLE_EQ(t.inverseScale, 1 / 4.6875);
    EXPECT_DOUBLE_EQ(t.lowX, -128.0);
    EXPECT_DOUBLE_EQ(t.lowY, -96.0);
    EXPECT_DOUBLE_EQ(t.highX, 128.0);
    EXPECT_DOUBLE_EQ(t.highY, 96.0);
}

TEST_F(FigureDefaults, OrderSwitches) {
    for (int n = 0; n < kOrderCount; ++n) {
        const OrderSettings& o = f->m_orders[n];
        const std::array<std::uint8_t, 8> items = {0, 1, 0, 0, 0, 0, 1, 1};
        EXPECT_TRUE(std::equal(items.begin(), items.end(), o.drawItems.begin())) << n;
        EXPECT_TRUE(std::all_of(o.drawItems.begin() + 8, o.drawItems.end(),
                                [](std::uint8_t b) { return b == 0; }));
        EXPECT_EQ(o.drawLines, (std::array<std::uint8_t, 5>{1, 1, 1, 1, 1}));
        EXPECT_EQ(o.drawOrder, n <= 3 ? 1 : 0) << n;
        EXPECT_EQ(o.transparency, 0.5);
    }
}

TEST_F(FigureDefaults, GeneratedColoursOfHigherOrders) {
    for (int i = 4; i < kOrderCount; ++i) {
        const int b = 20 * i, e = 10 * i;
        auto m = [](int v) { return v & 0xFF; };
        EXPECT_EQ(RgbOf(*f, e + 0), (Rgb{0, 0, 0}));
        EXPECT_EQ(RgbOf(*f, e + 1), (Rgb{255, 255, 255}));
        EXPECT_EQ(RgbOf(*f, e + 2), (Rgb{m(220 - b), m(220 - b), m(220 - b)}));
        EXPECT_EQ(RgbOf(*f, e + 3), (Rgb{b, b, 255 - b}));
        EXPECT_EQ(RgbOf(*f, e + 4), (Rgb{m(180 - b), m(180 - b), 255 - b}));
        EXPECT_EQ(RgbOf(*f, e + 5), (Rgb{255 - b, b, b}));
        EXPECT_EQ(RgbOf(*f, e + 6), (Rgb{255 - b, m(180 - b), m(180 - b)}));
        EXPECT_EQ(RgbOf(*f, e + 8), (Rgb{210, 210, 255}));
        EXPECT_EQ(RgbOf(*f, e + 9), (Rgb{255 - b, m(210 - b), m(210 - b)}));
    }
    // Slot 7 of orders 6 to 9 wraps to greys.
    EXPECT_EQ(RgbOf(*f, 67), (Rgb{236, 236, 236}));
    EXPECT_EQ(RgbOf(*f, 77), (Rgb{216, 216, 216}));
    EXPECT_EQ(RgbOf(*f, 87), (Rgb{196, 196, 196}));
    EXPECT_EQ(RgbOf(*f, 97), (Rgb{176, 176, 176}));
    EXPECT_EQ(RgbOf(*f, 47), (Rgb{20, 20, 20}));
    EXPECT_EQ(RgbOf(*f, 57), (Rgb{0, 0, 0}));
}

TEST_F(FigureDefaults, ReplacedColoursOfOrdersZeroToThree) {
    const Rgb expected[4][8] = {{{220, 220, 220},
                                 {0, 0, 255},
                                 {180, 180, 255},
                                 {255, 0, 0},
                                 {255, 180, 180},
                                 {100, 100, 100},
                                 {250, 37, 90},
                                 {255, 210, 210}},
                                {{210, 210, 210},
                                 {10, 10, 245},
                                 {48, 160, 174},
                                 {245, 10, 10},
                                 {245, 170, 170},
                                 {90, 90, 90},
                                 {100, 164, 194},
                                 {245, 200, 200}},
                                {{17, 175, 193},
                                 {20, 20, 235},
                                 {81, 81, 219},
                                 {235, 20, 20},
                                 {235, 160, 160},
                                 {80, 80, 80},
                                 {228, 28, 255},
                                 {235, 190, 190}},
                                {{190, 190, 190},
                                 {30, 30, 225},
                                 {150, 150, 225},
                                 {225, 30, 30},
                                 {225, 150, 150},
                                 {70, 70, 70},
                                 {79, 223, 176},
                                 {225, 180, 180}}};
    for (int order = 0; order < 4; ++order) {
        EXPECT_EQ(RgbOf(*f, 10 * order), (Rgb{0, 0, 0}));
        EXPECT_EQ(RgbOf(*f, 10 * order + 1), (Rgb{255, 255, 255}));
        for (int slot = 2; slot <= 9; ++slot) {
            EXPECT_EQ(RgbOf(*f, 10 * order + slot), expected[order][slot - 2])
                << order << "/" << slot;
        }
    }
}

TEST_F(FigureDefaults, SpareEntriesStayZero) {
    for (int e = 100; e < kColourEntries; ++e) EXPECT_EQ(f->GetColour(e), 0u) << e;
}

TEST_F(FigureDefaults, ResetKeepsNamesAndSpareItemBytes) {
    f->SetNamesFromPath("/home/u/art/spiral.v2.dat");
    f->m_orders[3].drawItems[12] = 1;
    f->m_nUn = 7;
    f->m_szSeries[5] = '\0';
    f->m_nWidth = 33;
    f->ResetFigure();
    EXPECT_STREQ(f->m_szName, "spiral");
    EXPECT_STREQ(f->m_szDirectory, "/home/u/art/");
    EXPECT_EQ(f->m_orders[3].drawItems[12], 1);
    EXPECT_EQ(f->m_nUn, 1145);
    EXPECT_EQ(f->m_nSeriesLen, 2996);
    EXPECT_EQ(f->m_nWidth, 1200);
}

TEST(FigureNames, SplitsAtEverySeparatorKind) {
    auto f = std::make_unique<FigureEngine>();
    f->SetNamesFromPath("C:\\my.dir\\a.dat");
    EXPECT_STREQ(f->m_szName, "a");
    EXPECT_STREQ(f->m_szDirectory, "C:\\my.dir\\");
    f->SetNamesFromPath("D:picture.bmp");
    EXPECT_STREQ(f->m_szName, "picture");
    EXPECT_STREQ(f->m_szDirectory, "D:");
    f->SetNamesFromPath("noext");
    EXPECT_STREQ(f->m_szName, "noext");
    EXPECT_STREQ(f->m_szDirectory, "");
    f->SetNamesFromPath("dir/");
    EXPECT_STREQ(f->m_szName, "");
    EXPECT_STREQ(f->m_szDirectory, "dir/");
}

TEST(FigureNames, LongTitlesAndDirectoriesAreCut) {
    auto f = std::make_unique<FigureEngine>();
    const std::string dir = "/" + std::string(1500, 'd') + "/";
    f->SetNamesFromPath(dir + std::string(300, 't') + ".dat");
    EXPECT_EQ(std::string(f->m_szName), std::string(100, 't'));
    EXPECT_EQ(std::string(f->m_szDirectory), dir.substr(0, 1000));
}

TEST(FigureTransform, OddWidthAndCentre) {
    auto f = std::make_unique<FigureEngine>();
    f->m_nWidth = 1201;
    f->m_nHeight = 901;
    f->m_dCentreX = 12.5;
    f->m_dCentreY = -3.25;
    f->UpdateTransform();
    EXPECT_EQ(f->m_transform.halfWidth, 600);
    EXPECT_EQ(f->m_transform.halfHeight, 450);
    EXPECT_EQ(f->FigureToPixel(12.5, -3.25), (std::pair<std::int64_t, std::int64_t>{600, 450}));
    EXPECT_EQ(f->FigureToScreen(12.5, -3.25), (std::pair<std::int64_t, std::int64_t>{600, 450}));
}

TEST(FigureTransform, PictureRowsRunUpAndScreenRowsDown) {
    auto f = std::make_unique<FigureEngine>();
    // One figure unit is 4.6875 pixels: 10 units → 46.875 → 47.
    EXPECT_EQ(f->FigureToPixel(10, 10), (std::pair<std::int64_t, std::int64_t>{647, 497}));
    EXPECT_EQ(f->FigureToScreen(10, 10), (std::pair<std::int64_t, std::int64_t>{647, 403}));
    EXPECT_EQ(f->FigureToPixel(-10, -10), (std::pair<std::int64_t, std::int64_t>{553, 403}));
    const auto [x, y] = f->PixelToFigure(647, 497);
    EXPECT_DOUBLE_EQ(x, 47 / 4.6875);
    EXPECT_DOUBLE_EQ(y, 47 / 4.6875);
}

TEST(FigureTransform, ScreenRoundTripWithinOnePixel) {
    auto f = std::make_unique<FigureEngine>();
    f->m_dCentreX = 31.7;
    f->m_dCentreY = -12.1;
    f->m_dMagnExp = -4.5;
    f->UpdateTransform();
    for (double x = -40; x <= 40; x += 3.3) {
        for (double y = -30; y <= 30; y += 2.9) {
            const auto [px, py] = f->FigureToScreen(x, y);
            const auto [fx, fy] =
                f->ScreenToFigure(static_cast<double>(px), static_cast<double>(py));
            EXPECT_LE(std::fabs(fx - x), f->m_transform.inverseScale);
            EXPECT_LE(std::fabs(fy - y), f->m_transform.inverseScale);
        }
    }
}

TEST(FigureTransform, DeepZoomInfinityAndNaNSaturate) {
    auto f = std::make_unique<FigureEngine>();
    f->m_dMagnExp = 10.0;
    f->UpdateTransform();
    const auto [x, y] = f->FigureToPixel(1e300, -1e300);
    EXPECT_EQ(x, kPixelLimit + 600);
    EXPECT_EQ(y, -kPixelLimit + 450);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(f->FigureToPixel(inf, -inf),
              (std::pair<std::int64_t, std::int64_t>{kPixelLimit + 600, -kPixelLimit + 450}));
    EXPECT_EQ(f->FigureToScreen(inf, inf),
              (std::pair<std::int64_t, std::int64_t>{kPixelLimit + 600, 450 - kPixelLimit}));
    // NaN lands far outside the picture instead of anywhere undefined.
    EXPECT_EQ(f->FigureToPixel(nan, nan),
              (std::pair<std::int64_t, std::int64_t>{-kPixelLimit + 600, -kPixelLimit + 450}));
    // 2^40 pixels away still converts exactly.
    const double far = std::ldexp(1.0, 40) / f->m_transform.scale;
    EXPECT_EQ(f->FigureToPixel(far, 0).first, (std::int64_t{1} << 40) + 600);
}

TEST(FigureColours, SetGetAndPictureOrder) {
    auto f = std::make_unique<FigureEngine>();
    f->SetColour(0x00123456, 42);  // red 0x56, green 0x34, blue 0x12
    EXPECT_EQ(f->GetColour(42), 0x00123456u);
    EXPECT_EQ(f->GetDibColour(42), 0x00563412u);
    EXPECT_EQ(f->m_colours[42][0], 0x12);
    EXPECT_EQ(f->m_colours[42][1], 0x34);
    EXPECT_EQ(f->m_colours[42][2], 0x56);
    f->SetColour(0xFF0000FF, 43);  // bits above 23 are not stored
    EXPECT_EQ(f->GetColour(43), 0x000000FFu);
    // Entries outside the table are ignored.
    f->SetColour(0x123456, -1);
    f->SetColour(0x123456, 256);
    EXPECT_EQ(f->GetColour(-1), 0u);
    EXPECT_EQ(f->GetDibColour(256), 0u);
}

TEST(FigureColours, AdjustChannelClamps) {
    EXPECT_EQ(FigureEngine::AdjustChannel(0x0000E6, 0, 40), 0x0000FFu);
    EXPECT_EQ(FigureEngine::AdjustChannel(0x000A00, 1, -40), 0x000000u);
    EXPECT_EQ(FigureEngine::AdjustChannel(0x102030, 2, 5), 0x152030u);
    EXPECT_EQ(FigureEngine::AdjustChannel(0x102030, 0, std::numeric_limits<int>::max()), 0x1020FFu);
    EXPECT_EQ(FigureEngine::AdjustChannel(0x102030, 1, std::numeric_limits<int>::min()), 0x100030u);
    EXPECT_EQ(FigureEngine::AdjustChannel(0x102030, 3, 5), 0x102030u);
}

TEST(FigureCopy, IsAPlainWholeCopy) {
    auto a = std::make_unique<FigureEngine>();
    a->SetColour(0xABCDEF, 17);
    a->m_nUn = 99;
    a->m_shapes[3].x = 1.5;
    a->m_nShapes = 4;
    auto b = std::make_unique<FigureEngine>(*a);
    EXPECT_EQ(b->GetColour(17), 0xABCDEFu);
    EXPECT_EQ(b->m_nUn, 99);
    EXPECT_EQ(b->m_shapes[3].x, 1.5);
    EXPECT_EQ(b->m_nShapes, 4);
    *a = g_figureEdit;
    EXPECT_EQ(a->m_nUn, 1145);
}

}  // namespace
