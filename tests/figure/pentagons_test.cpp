// The exact pentagon search: counts of the default figure, the geometry of every found pentagon,
// the shape list, its cap, and which orders a painting covers.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "figure/figure_engine.h"
#include "figure/reference_painter_support.h"
#include "support/scripted_prompts.h"

namespace {

std::vector<std::uint8_t> PictureFor(FigureEngine& f) {
    f.m_nRowBytes = (f.m_nWidth * 3 + 3) / 4 * 4;
    return std::vector<std::uint8_t>(static_cast<std::size_t>(f.m_nRowBytes) * f.m_nHeight, 0);
}

class Pentagons : public ::testing::Test {
  protected:
    void Paint(int order) {
        pixels = PictureFor(*f);
        f->PaintFigure(pixels.data(), order, ui);
    }
    std::unique_ptr<FigureEngine> f = std::make_unique<FigureEngine>();
    std::vector<std::uint8_t> pixels;
    ScriptedPrompts ui;
};

TEST_F(Pentagons, DefaultPaintingFindsTheKnownNumbers) {
    Paint(-1);
    const PentagonCounts* c = f->m_counts.data();
    EXPECT_EQ(c[0].bigUp, 445);
    EXPECT_EQ(c[0].bigDown, 1297);
    EXPECT_EQ(c[0].smallUp, 197);
    EXPECT_EQ(c[0].smallDown, 0);
    EXPECT_EQ(c[1].bigUp + c[1].bigDown, 217);
    EXPECT_EQ(c[1].smallUp + c[1].smallDown, 91);
    EXPECT_EQ(c[2].bigUp + c[2].bigDown, 265);
    EXPECT_EQ(c[2].smallUp + c[2].smallDown, 18);
    EXPECT_EQ(c[3].bigUp + c[3].bigDown + c[3].smallUp + c[3].smallDown, 0);
    for (int n = 4; n < kOrderCount; ++n) {
        EXPECT_EQ(c[n].bigUp + c[n].bigDown + c[n].smallUp + c[n].smallDown, 0) << n;
    }
    EXPECT_EQ(f->m_nShapes, 2530);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Pentagons, ShapeRecordsComeInPaintingOrder) {
    Paint(-1);
    int previousOrder = 9;
    char previousKind = 'B';
    int bigByOrder[4] = {}, smallByOrder[4] = {};
    for (int r = 0; r < f->m_nShapes; ++r) {
        const ShapeRecord& s = f->m_shapes[r];
        ASSERT_LE(s.order, previousOrder);
        if (s.order == previousOrder && previousKind == 'S') {
            ASSERT_EQ(s.kind, 'S');
        }
        previousOrder = s.order;
        previousKind = s.kind;
        EXPECT_EQ(s.overlapMask, 0);
        const double size = 2 * std::pow(kPhi, s.order + (s.kind == 'B' ? 1 : 0));
        EXPECT_NEAR(std::fabs(s.size), size, 1e-9);
        (s.kind == 'B' ? bigByOrder : smallByOrder)[s.order]++;
    }
    EXPECT_EQ(bigByOrder[0], 445 + 1297);
    EXPECT_EQ(smallByOrder[0], 197);
    EXPECT_EQ(bigByOrder[1], 217);
    EXPECT_EQ(smallByOrder[2], 18);
}

// The position of a figure point along family k.
double Along(const FigureEngine& f, int k, FigurePoint p) {
    return p.x * f.m_u[k].x + p.y * f.m_u[k].y;
}

TEST_F(Pentagons, EveryEdgeLiesOnASeriesLineOfItsFamily) {
    Paint(-1);
    auto series = std::make_unique<FigureEngine>(*f);
    int checked = 0;
    for (int order = 0; order <= 2; ++order) {
        series->m_orderScale = GoldenInt::Power(kGoldenPhi, order);
        ASSERT_TRUE(series->BuildSeries(ui));
        for (int r = 0; r < f->m_nShapes; ++r) {
            const ShapeRecord& s = f->m_shapes[r];
            if (s.order != order) continue;
            FigurePoint v[5];
            for (int k = 0; k < 5; ++k) {
                v[k] = {s.x + s.size * f->m_u[k].x, s.y + s.size * f->m_u[k].y};
            }
            for (int k = 0; k < 5; ++k) {
                const int family = (k + 3) % 5;
                const double a = Along(*f, family, v[k]);
                const double b = Along(*f, family, v[(k + 1) % 5]);
                ASSERT_NEAR(a, b, 1e-9);
                const SeriesHit hit = series->FindInSeries(a);
                ASSERT_EQ(hit.status, 0) << "record " << r << " edge " << k;
                // The step beside the line has the pentagon's kind, on its inner side.
                const int step = s.size > 0 ? hit.index : hit.index - 1;
                ASSERT_EQ(series->m_stepTypes[step], s.kind) << "record " << r << " edge " << k;
                ++checked;
            }
            // A pentagon pointing towards +x has its vertex V0 right of its centre.
            EXPECT_EQ(v[0].x > s.x, s.size > 0);
        }
    }
    EXPECT_EQ(checked, 5 * 2530);
}

TEST_F(Pentagons, NoRecordsWithoutSolidSwitchesButTheSearchStillRuns) {
    for (OrderSettings& o : f->m_orders) {
        o.drawItems[ITEM_BIG_SOLID] = 0;
        o.drawItems[ITEM_SMALL_SOLID] = 0;
        o.drawItems[ITEM_BIG_STAR] = 1;
        o.drawItems[ITEM_SMALL_PENTAGON] = 1;
    }
    Paint(-1);
    EXPECT_EQ(f->m_nShapes, 0);
    EXPECT_EQ(f->m_counts[0].bigDown, 1297);
}

TEST_F(Pentagons, SingleOrderPaintingRecordsOnlyThatOrder) {
    Paint(1);
    EXPECT_EQ(f->m_nShapes, 217 + 91);
    for (int r = 0; r < f->m_nShapes; ++r) EXPECT_EQ(f->m_shapes[r].order, 1);
    EXPECT_EQ(f->m_counts[0].bigDown, 0);
}

TEST_F(Pentagons, ShapeListIsCappedAtFiveThousandButAllArePainted) {
    f->m_nWidth = 240;
    f->m_nHeight = 180;
    f->m_dMagnExp = -9;
    Paint(0);
    const PentagonCounts& c = f->m_counts[0];
    EXPECT_GT(c.bigUp + c.bigDown + c.smallUp + c.smallDown, kMaxShapes);
    EXPECT_EQ(f->m_nShapes, kMaxShapes);
    std::vector<std::uint8_t> literal(pixels.size(), 0);
    auto copy = std::make_unique<FigureEngine>(*f);
    ReferencePainter(*copy).Paint(literal.data(), 0, ui);
    EXPECT_EQ(pixels, literal);
}

TEST_F(Pentagons, EndsOfTheSeriesNeverPassTheWrongOrientation) {
    f->m_orderScale = kGoldenOne;
    ASSERT_TRUE(f->BuildSeries(ui));
    for (const char kind : {'B', 'S'}) {
        PentagonStyle style;
        style.kind = kind;
        for (int j = 0; j <= f->m_nLast; ++j) {
            EXPECT_FALSE(f->TryPentagonUp(f->m_nLast, j, style));
            EXPECT_FALSE(f->TryPentagonUp(j, f->m_nLast, style));
            EXPECT_FALSE(f->TryPentagonDown(0, j, style));
            EXPECT_FALSE(f->TryPentagonDown(j, 0, style));
        }
    }
}

// The search skips pairs whose positions fall beyond the series and tests the rest through its
// slot table; every pair tested on its own must find the same pentagons: with the default
// offsets, offsets moved far (still exact in 32 bits) and offsets that make the sums wrap.
TEST_F(Pentagons, TheSearchFindsWhatTestingEveryPairFinds) {
    // Series of 1200 letters and short ones, where most pentagons lie at the ends.
    const std::int32_t setups[][3] = {{1, 1, 1200},
                                      {1, 1, 40},
                                      {1, 1, 90},
                                      {40000000, 64721360, 1200},
                                      {2000000000, -1058306048, 1200}};
    for (const auto& [un, gs, letters] : setups) {
        for (const int order : {0, 2}) {
            for (const char kind : {'B', 'S'}) {
                f = std::make_unique<FigureEngine>();
                f->m_szSeries[letters] = '\0';
                f->m_nSeriesLen = letters;
                f->m_nUn = un;
                f->m_nGs = gs;
                f->UpdateTransform();
                f->m_orderScale = GoldenInt::Power(kGoldenPhi, order);
                ASSERT_TRUE(f->BuildSeries(ui));
                f->m_nPaintingOrder = order;
                PentagonStyle style;
                style.kind = kind;
                f->FindPentagons(style);
                const PentagonCounts found = f->m_counts[order];
                f->m_counts = {};
                for (int i = 0; i <= f->m_nLast; ++i) {
                    for (int j = 0; j <= f->m_nLast; ++j) {
                        f->TryPentagonUp(i, j, style);
                        f->TryPentagonDown(i, j, style);
                    }
                }
                const PentagonCounts& every = f->m_counts[order];
                EXPECT_EQ(found.bigUp, every.bigUp) << un << " order " << order << kind;
                EXPECT_EQ(found.bigDown, every.bigDown) << un << " order " << order << kind;
                EXPECT_EQ(found.smallUp, every.smallUp) << un << " order " << order << kind;
                EXPECT_EQ(found.smallDown, every.smallDown) << un << " order " << order << kind;
                if (un == 1 && letters == 1200 && kind == 'B') {
                    EXPECT_GT(every.bigUp + every.bigDown, 0) << order;
                }
            }
        }
    }
}

TEST_F(Pentagons, OnlyOneOrderPaintsEvenWhenItsSwitchIsOff) {
    f->m_orders[5].drawItems[ITEM_LINES] = 1;
    f->m_orders[5].drawOrder = 0;
    Paint(5);
    const std::vector<std::uint8_t> only = pixels;
    const bool hasLines =
        std::any_of(only.begin(), only.end(), [](std::uint8_t b) { return b != 255; });
    EXPECT_TRUE(hasLines);
    f->m_orders[0].drawOrder = f->m_orders[1].drawOrder = 0;
    f->m_orders[2].drawOrder = f->m_orders[3].drawOrder = 0;
    Paint(-1);  // nothing drawn: background alone
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](std::uint8_t b) { return b == 255; }));
}

TEST_F(Pentagons, OrdersOutsideTheRangePaintTheBackgroundOnly) {
    for (const int order : {10, -2, INT_MIN, INT_MAX}) {
        Paint(order);
        EXPECT_EQ(f->m_nShapes, 0);
        EXPECT_TRUE(
            std::all_of(pixels.begin(), pixels.end(), [](std::uint8_t b) { return b == 255; }));
    }
}

TEST_F(Pentagons, PaintingDoesNotKeepThePixelPointer) {
    Paint(-1);
    EXPECT_EQ(f->m_pBits, nullptr);
}

}  // namespace
