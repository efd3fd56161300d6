// Golden integers, the series of an order with its lookup table, the search in it, the line
// families and moving the reference marker.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "figure/figure_engine.h"
#include "support/scripted_prompts.h"

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(GoldenIntArithmetic, ExactProductsAndPowers) {
    EXPECT_EQ(kGoldenPhi * kGoldenPhi, (GoldenInt{1, 1}));  // φ² = φ + 1
    EXPECT_EQ(kGoldenSqrt5 * kGoldenSqrt5, (GoldenInt{5, 0}));
    EXPECT_EQ(GoldenInt::Power(kGoldenPhi, 9), (GoldenInt{21, 34}));
    EXPECT_EQ(GoldenInt::Power(kGoldenPhi, 0), kGoldenOne);
    EXPECT_EQ(GoldenInt::Power(kGoldenPhi, -3), kGoldenOne);
    EXPECT_EQ((GoldenInt{3, -4}) + (GoldenInt{-1, 9}), (GoldenInt{2, 5}));
    EXPECT_EQ((GoldenInt{3, -4}) - (GoldenInt{-1, 9}), (GoldenInt{4, -13}));
    EXPECT_EQ(-(GoldenInt{3, -4}), (GoldenInt{-3, 4}));
    EXPECT_DOUBLE_EQ((GoldenInt{1145, 1853}).Value(), 1145 + 1853 * 1.618033988749895);
}

TEST(GoldenIntArithmetic, WrapsModuloTwoToThe32) {
    EXPECT_EQ((GoldenInt{kMax, kMin}) + (GoldenInt{1, -1}), (GoldenInt{kMin, kMax}));
    EXPECT_EQ(-(GoldenInt{kMin, 0}), (GoldenInt{kMin, 0}));
    EXPECT_EQ((GoldenInt{65536, 0}) * (GoldenInt{65536, 0}), (GoldenInt{0, 0}));
    EXPECT_EQ((GoldenInt{kMax, kMax}) * (GoldenInt{kMax, kMax}), (GoldenInt{2, 3}));
}

class Series : public ::testing::Test {
  protected:
    void Build(int order) {
        f->m_orderScale = GoldenInt::Power(kGoldenPhi, order);
        ASSERT_TRUE(f->BuildSeries(ui));
    }
    void SetSeries(const std::string& s) {
        std::strcpy(f->m_szSeries, s.c_str());
        f->m_nSeriesLen = static_cast<std::int32_t>(s.size());
    }
    std::unique_ptr<FigureEngine> f = std::make_unique<FigureEngine>();
    ScriptedPrompts ui;
};

TEST_F(Series, DefaultOrderZero) {
    Build(0);
    EXPECT_EQ(f->m_nFirst, 0);
    EXPECT_EQ(f->m_nLast, 2996);
    EXPECT_EQ(f->m_nRefIndex, 0);
    EXPECT_NEAR(f->m_values[0], -4143.217, 0.0005);
    EXPECT_NEAR(f->m_values[2996], 5115.444, 0.0005);
    EXPECT_EQ(f->m_elements[0], (GoldenInt{-1145, -1853}));
    for (int j = 0; j < 2996; ++j) {
        ASSERT_EQ(f->m_stepTypes[j], f->m_szSeries[j]);
        const double step = f->m_values[j + 1] - f->m_values[j];
        ASSERT_NEAR(step, f->m_szSeries[j] == 'S' ? 2.2360680 : 3.6180340, 1e-6) << j;
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Series, LookupSlotsHoldThePhiPartOfEachElement) {
    Build(0);
    EXPECT_EQ(f->m_nLookupShift, 1853);
    EXPECT_EQ(f->m_lookup[0], 0);
    EXPECT_EQ(f->m_lookup[4140], 2996);
    EXPECT_EQ(f->m_lookup[4141], LOOKUP_EMPTY);
    int filled = 0;
    for (int h = 0; h < kLookupSlots; ++h) {
        if (f->m_lookup[h] == LOOKUP_EMPTY) continue;
        ++filled;
        EXPECT_EQ(f->m_nLookupShift + f->m_elements[f->m_lookup[h]].b, h);
    }
    EXPECT_EQ(filled, 2997);
}

TEST_F(Series, ElementsInsideTheDefaultViewPerOrder) {
    const int expected[kOrderCount] = {83, 51, 32, 20, 12, 7, 5, 3, 2, 1};
    for (int n = 0; n < kOrderCount; ++n) {
        Build(n);
        int inside = 0;
        for (int j = f->m_nFirst; j <= f->m_nLast; ++j) {
            inside += f->m_values[j] >= -128 && f->m_values[j] <= 128;
        }
        EXPECT_EQ(inside, expected[n]) << "order " << n;
    }
}

TEST_F(Series, FindInSeriesStatuses) {
    Build(0);
    EXPECT_EQ(f->FindInSeries(-5000).status, -1);
    EXPECT_EQ(f->FindInSeries(-5000).index, 0);
    EXPECT_EQ(f->FindInSeries(6000).status, 1);
    EXPECT_EQ(f->FindInSeries(6000).index, 2996);
    for (const int j : {0, 1, 700, 1299, 2995, 2996}) {
        const SeriesHit hit = f->FindInSeries(f->m_values[j] + (j == 2996 ? -5e-7 : 5e-7));
        EXPECT_EQ(hit.status, 0) << j;
        EXPECT_EQ(hit.index, j);
    }
    for (const int j : {0, 1000, 1500, 2995}) {
        const SeriesHit hit = f->FindInSeries((f->m_values[j] + f->m_values[j + 1]) / 2);
        EXPECT_EQ(hit.status, 10) << j;
        EXPECT_TRUE(hit.index == j || hit.index == j + 1) << j << " gave " << hit.index;
    }
    EXPECT_EQ(f->FindInSeries(-128).status, 10);
    EXPECT_EQ(f->FindInSeries(-128).index, 1299);
    EXPECT_EQ(f->FindInSeries(128).status, 10);
    EXPECT_EQ(f->FindInSeries(128).index, 1382);
}

TEST_F(Series, FindInSeriesNeverLeavesTheRangeForOddValues) {
    Build(0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(f->FindInSeries(nan).status, 10);
    EXPECT_EQ(f->FindInSeries(inf).status, 1);
    EXPECT_EQ(f->FindInSeries(-inf).status, -1);
    // Wrapped offsets make a series that is not increasing; the search must still end.
    f->m_nUn = kMax - 3000;
    f->m_nGs = kMin + 10;
    Build(0);
    for (double c = -3e9; c <= 3e9; c += 1.7e8) {
        const SeriesHit hit = f->FindInSeries(c);
        EXPECT_GE(hit.index, f->m_nFirst);
        EXPECT_LE(hit.index, f->m_nLast);
    }
}

TEST_F(Series, VisibleRangeOfTheDefaultView) {
    Build(0);
    EXPECT_EQ(f->VisibleRange(0), (std::pair<int, int>{1298, 1383}));
    EXPECT_LT(f->m_values[1299], -128);
    EXPECT_GT(f->m_values[1300], -128);
    EXPECT_LT(f->m_values[1382], 128);
    for (int k = 1; k < kFamilyCount; ++k) {
        const auto [first, last] = f->VisibleRange(k);
        EXPECT_LT(first, last);
        EXPECT_GE(first, 0);
        EXPECT_LE(last, 2996);
    }
    EXPECT_EQ(f->VisibleRange(5), (std::pair<int, int>{0, -1}));
}

TEST_F(Series, ShortAndEmptyStrings) {
    SetSeries("B");
    Build(0);
    EXPECT_EQ(f->m_nLast, 1);
    EXPECT_EQ(f->m_stepTypes[0], 'B');
    SetSeries("");
    Build(0);
    EXPECT_EQ(f->m_nLast, 0);
    EXPECT_NEAR(f->m_values[0], -(1145 + 1853 * kPhi), 1e-9);
    EXPECT_EQ(f->FindInSeries(-5000).status, -1);
    EXPECT_EQ(f->FindInSeries(0).status, 1);
    EXPECT_EQ(f->FindInSeries(f->m_values[0]).status, 0);
    EXPECT_EQ(f->VisibleRange(0), (std::pair<int, int>{0, 0}));
}

TEST_F(Series, OtherLettersAreSkippedAndOnlyTheFirstMarkerCounts) {
    SetSeries("SxBRSRB");
    Build(0);
    EXPECT_EQ(f->m_nLast, 4);
    EXPECT_EQ(std::string(f->m_stepTypes.data(), 4), "SBSB");
    EXPECT_EQ(f->m_nRefIndex, 2);  // two steps before the marker
    // The reference element sits at −(Un + Gs·φ).
    EXPECT_EQ(f->m_elements[2], (GoldenInt{-1145, -1853}));
}

TEST_F(Series, ReferenceElementSitsAtTheOffsetInEveryOrder) {
    std::string s = f->m_szSeries;
    s = s.substr(0, 40) + "R" + s.substr(40);
    SetSeries(s);
    for (int n = 0; n < kOrderCount; ++n) {
        Build(n);
        EXPECT_EQ(f->m_nRefIndex, 40);
        EXPECT_EQ(f->m_elements[40], (GoldenInt{-1145, -1853})) << n;
    }
}

TEST_F(Series, DuplicateSlotIsReported) {
    f->m_orderScale = GoldenInt{0, 0};  // every step of length 0: all elements share slot 0
    EXPECT_FALSE(f->BuildSeries(ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Error 133 in series 0");
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::Exclamation);
}

TEST_F(Series, MoveReferenceKeepsTheLines) {
    std::vector<std::uint8_t> pixels(3600 * 900);
    f->m_nRowBytes = 3600;
    f->PaintFigure(pixels.data(), -1, ui);
    const auto before = f->m_elements;
    ASSERT_TRUE(f->MoveReference(100, ui));
    EXPECT_EQ(f->m_nUn, 1059);
    EXPECT_EQ(f->m_nGs, 1715);
    EXPECT_EQ(f->m_nRefIndex, 100);
    EXPECT_EQ(f->m_szSeries[100], 'R');
    EXPECT_EQ(f->m_nSeriesLen, 2997);
    EXPECT_NEAR(f->m_values[100], -3833.928, 0.0005);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 2997, f->m_elements.begin()));
    // Moving again replaces the marker; index 0 removes it.
    ASSERT_TRUE(f->MoveReference(7, ui));
    EXPECT_EQ(std::string(f->m_szSeries).find('R'), 7u);
    EXPECT_EQ(f->m_nSeriesLen, 2997);
    ASSERT_TRUE(f->MoveReference(0, ui));
    EXPECT_EQ(std::string(f->m_szSeries).find('R'), std::string::npos);
    EXPECT_EQ(f->m_nUn, 1145);
    EXPECT_EQ(f->m_nGs, 1853);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 2997, f->m_elements.begin()));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Series, MoveReferencePastTheEndAndInAFullString) {
    Build(0);
    ASSERT_TRUE(f->MoveReference(100000, ui));
    EXPECT_EQ(f->m_szSeries[2996], 'R');
    EXPECT_EQ(f->m_nRefIndex, 2996);
    SetSeries(std::string(kMaxSeriesLetters, 'S'));
    Build(0);
    const GoldenInt offset{f->m_nUn, f->m_nGs};
    EXPECT_FALSE(f->MoveReference(10, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(std::string(f->m_szSeries), std::string(kMaxSeriesLetters, 'S'));
    EXPECT_EQ((GoldenInt{f->m_nUn, f->m_nGs}), offset);
}

TEST(FamilyDirections, NormalsAtMultiplesOf72Degrees) {
    for (int k = 0; k < kFamilyCount; ++k) {
        const FigurePoint u = FigureEngine::FamilyDirection(k);
        EXPECT_NEAR(u.x, std::cos(k * 72 * M_PI / 180), 1e-15);
        EXPECT_NEAR(u.y, std::sin(k * 72 * M_PI / 180), 1e-15);
        // The written-out directions are this C library's, to the bit.
        EXPECT_EQ(u.x, std::cos(k * 1.2566370614359172)) << k;
        EXPECT_EQ(u.y, std::sin(k * 1.2566370614359172)) << k;
    }
}

TEST(FamilyDirections, GoldenCoordinatesOverTheFirstTwo) {
    auto f = std::make_unique<FigureEngine>();
    for (int k = 0; k < kFamilyCount; ++k) {
        const double a = f->m_alpha[k].Value(), b = f->m_beta[k].Value();
        EXPECT_NEAR(a * f->m_u[0].x + b * f->m_u[1].x, f->m_u[k].x, 1e-12) << k;
        EXPECT_NEAR(a * f->m_u[0].y + b * f->m_u[1].y, f->m_u[k].y, 1e-12) << k;
    }
    // The intersection matrix inverts the rows u0, u1.
    const auto& m = f->m_intersect;
    const double px = m[0][0] * 3 + m[0][1] * -2, py = m[1][0] * 3 + m[1][1] * -2;
    EXPECT_NEAR(px * f->m_u[0].x + py * f->m_u[0].y, 3, 1e-12);
    EXPECT_NEAR(px * f->m_u[1].x + py * f->m_u[1].y, -2, 1e-12);
}

class Lines : public Series {
  protected:
    void SetUp() override {
        f->m_nWidth = 120;
        f->m_nHeight = 90;
        f->m_nRowBytes = 360;
        f->m_dMagnExp = -4;  // 3.75 pixels per unit: the picture shows x from −16 to 16
        f->UpdateTransform();
        pixels.assign(360 * 90, 0);
        f->m_pBits = pixels.data();
        f->FillBackground();
    }
    int PaintedCount() const {
        int n = 0;
        for (int i = 0; i < 360 * 90; i += 3) n += pixels[i] != 255;
        return n;
    }
    std::vector<std::uint8_t> pixels;
};

TEST_F(Lines, FamilyZeroIsAColumnAcrossThePicture) {
    f->DrawFamilyLine(0, 0.0, 2, 0.0);
    EXPECT_EQ(PaintedCount(), 90);
    for (int y = 0; y < 90; ++y) EXPECT_EQ(pixels[y * 360 + 3 * 60], 220) << y;
}

TEST_F(Lines, LinesOutsideThePictureDrawNothing) {
    f->DrawFamilyLine(1, 1000.0, 2, 0.0);
    f->DrawFamilyLine(2, -1000.0, 2, 0.0);
    EXPECT_EQ(PaintedCount(), 0);
}

TEST_F(Lines, PaintLinesFollowsTheSwitches) {
    Build(0);
    OrderSettings o = f->m_orders[0];
    o.transparency = 0.0;
    f->PaintLines(0, o);
    EXPECT_EQ(PaintedCount(), 0);
    o.drawItems[ITEM_REFERENCE_LINE] = 1;
    f->PaintLines(0, o);
    EXPECT_EQ(PaintedCount(), 0);  // the reference element lies far outside the view
    o.drawItems[ITEM_LINES] = 1;
    o.drawLines = {1, 0, 0, 0, 0};
    f->PaintLines(0, o);
    int columns = 0;
    for (int j = 0; j <= f->m_nLast; ++j) columns += std::fabs(f->m_values[j]) < 16;
    EXPECT_EQ(PaintedCount(), 90 * columns);
}

}  // namespace
