// Hostile parameter records: every painting must finish without crashing, hanging or undefined
// behaviour (run under the sanitizers too), and leave the row padding alone.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "figure/figure_engine.h"
#include "support/scripted_prompts.h"

namespace {

constexpr std::uint8_t kPadding = 0xC3;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

class Hostile : public ::testing::Test {
  protected:
    void SetUp() override {
        f->m_nWidth = 161;  // odd width: rows carry padding
        f->m_nHeight = 97;
        for (OrderSettings& o : f->m_orders) {
            o.drawItems = {1, 1, 1, 1, 1, 1, 1, 1};
            o.drawOrder = 1;
        }
    }
    // Zoomed far out the whole series is visible and every order finds hundreds of thousands of
    // pentagons; those paintings keep to the default orders to stay quick.
    void DefaultOrdersOnly() {
        for (int n = 0; n < kOrderCount; ++n) f->m_orders[n] = g_figureEdit.m_orders[n];
    }
    // Paints all drawn orders and, unless zoomed far out, each order alone; returns false when
    // the row padding was touched.
    bool PaintEverything() {
        f->m_nRowBytes = (f->m_nWidth * 3 + 3) / 4 * 4;
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(f->m_nRowBytes) * f->m_nHeight,
                                         kPadding);
        const bool farOut = !(f->m_dMagnExp > -11);
        for (int order = -1; order < (farOut ? 0 : kOrderCount); ++order) {
            f->PaintFigure(pixels.data(), order, ui);
            EXPECT_LE(f->m_nShapes, kMaxShapes);
        }
        for (int y = 0; y < f->m_nHeight; ++y) {
            for (int i = 3 * f->m_nWidth; i < f->m_nRowBytes; ++i) {
                if (pixels[static_cast<std::size_t>(y) * f->m_nRowBytes + i] != kPadding) {
                    return false;
                }
            }
        }
        return true;
    }
    void SetSeries(const std::string& s) {
        std::strcpy(f->m_szSeries, s.c_str());
        f->m_nSeriesLen = static_cast<std::int32_t>(s.size());
    }
    std::unique_ptr<FigureEngine> f = std::make_unique<FigureEngine>();
    ScriptedPrompts ui;
};

TEST_F(Hostile, ExponentsFromMinus15To10) {
    DefaultOrdersOnly();
    // Below −11 the whole series is in view, so those paintings all do the same (heavy) work.
    for (double e : {-15.0, -13.5, -11.0, -10.0, -9.0, -8.0, -7.0, -6.0, -5.0, -4.0, -3.0, -2.0,
                     -1.0,  0.0,   1.0,   2.0,   3.0,  4.0,  5.0,  6.0,  7.0,  8.0,  9.0,  10.0}) {
        f->m_dMagnExp = e;
        EXPECT_TRUE(PaintEverything()) << e;
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Hostile, FarAndNonFiniteCentres) {
    const double centres[][2] = {{1e300, -1e300}, {kInf, 0},   {0, -kInf},  {kNaN, kNaN},
                                 {4143.2, 0},     {-1e9, 1e9}, {5115.4, -7}};
    for (const auto& c : centres) {
        f->m_dCentreX = c[0];
        f->m_dCentreY = c[1];
        for (const double e : {-7.0, 10.0}) {
            f->m_dMagnExp = e;
            EXPECT_TRUE(PaintEverything()) << c[0] << "," << c[1] << " exp " << e;
        }
    }
}

TEST_F(Hostile, OffsetsAnywhereInThirtyTwoBits) {
    const std::int32_t values[] = {kMin, kMin + 1, -1, 0, 1, kMax - 1, kMax};
    for (const std::int32_t un : values) {
        for (const std::int32_t gs : values) {
            f->m_nUn = un;
            f->m_nGs = gs;
            EXPECT_TRUE(PaintEverything()) << un << " " << gs;
        }
    }
    std::mt19937 rng(3);
    for (int i = 0; i < 20; ++i) {
        f->m_nUn = static_cast<std::int32_t>(rng());
        f->m_nGs = static_cast<std::int32_t>(rng());
        EXPECT_TRUE(PaintEverything());
    }
}

TEST_F(Hostile, SeriesStringsOfEveryShape) {
    std::mt19937 rng(5);
    std::vector<std::string> strings = {"",
                                        "S",
                                        "B",
                                        "R",
                                        "RRRR",
                                        "xyz",
                                        std::string(2999, 'S'),
                                        std::string(2999, 'B'),
                                        std::string(2999, 'R'),
                                        "R" + std::string(2998, 'B')};
    for (int i = 0; i < 12; ++i) {
        std::string s(std::uniform_int_distribution<int>(0, 2999)(rng), 'S');
        for (char& c : s) c = "SBSBSBR#"[rng() % 8];
        strings.push_back(s);
    }
    for (const std::string& s : strings) {
        SetSeries(s);
        EXPECT_TRUE(PaintEverything()) << s.size();
        for (int order = 0; order < kOrderCount; ++order) {
            f->m_nCurrentOrder = order;
            f->MoveReference(static_cast<int>(rng() % 3100) - 50, ui);
        }
        EXPECT_LT(std::strlen(f->m_szSeries), static_cast<std::size_t>(kSeriesCapacity));
    }
}

TEST_F(Hostile, UnterminatedSeriesAndStaleLength) {
    std::memset(f->m_szSeries, 'B', sizeof f->m_szSeries);  // no NUL at all
    f->m_nSeriesLen = 123456;
    EXPECT_TRUE(PaintEverything());
    EXPECT_EQ(f->m_nLast, kMaxSeriesLetters);
}

TEST_F(Hostile, CurrentOrderOutsideItsRange) {
    for (const int order : {-5, 0, 9, 10, kMax, kMin}) {
        f->m_nCurrentOrder = order;
        EXPECT_TRUE(f->MoveReference(50, ui));
        EXPECT_TRUE(PaintEverything());
    }
}

TEST_F(Hostile, TinyAndNarrowPictures) {
    const int sizes[][2] = {{1, 1}, {1, 500}, {700, 1}, {2, 2}, {3, 1}};
    for (const auto& s : sizes) {
        f->m_nWidth = s[0];
        f->m_nHeight = s[1];
        for (const double e : {-7.0, 10.0}) {
            f->m_dMagnExp = e;
            EXPECT_TRUE(PaintEverything()) << s[0] << "x" << s[1];
        }
    }
}

TEST_F(Hostile, NonFiniteTransparenciesAndExponents) {
    for (OrderSettings& o : f->m_orders) o.transparency = kNaN;
    f->m_orders[1].transparency = kInf;
    f->m_orders[2].transparency = -1e308;
    EXPECT_TRUE(PaintEverything());
    DefaultOrdersOnly();
    for (const double e : {kNaN, kInf, -kInf, 1e6, -1e6}) {
        f->m_dMagnExp = e;
        EXPECT_TRUE(PaintEverything()) << e;
    }
}

TEST_F(Hostile, PaintingWithoutAPicture) {
    f->ResetFigure();
    f->m_nRowBytes = 0;
    f->PaintFigure(nullptr, -1, ui);
    EXPECT_EQ(f->m_nShapes, 2530);  // the search still describes the figure
}

}  // namespace
