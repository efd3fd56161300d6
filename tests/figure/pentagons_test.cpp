// The exact pentagon search: counts of the default figure, the geometry of every found pentagon,
// the shape list and its cap.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "figure/figure_engine.h"
#include "support/scripted_prompts.h"

namespace {

struct Picture {
    explicit Picture(FigureEngine& f) {
        f.m_nRowBytes = (f.m_nWidth * 3 + 3) / 4 * 4;
        bytes.assign(static_cast<std::size_t>(f.m_nRowBytes) * f.m_nHeight, 0);
    }
    std::vector<std::uint8_t> bytes;
};

TEST(PentagonCounts, DefaultPaintingFindsTheKnownNumbers) {
    static FigureEngine f;
    Picture picture(f);
    ScriptedPrompts ui;
    f.PaintFigure(picture.bytes.data(), -1, ui);
    EXPECT_EQ(f.m_counts[0].bigUp, 445);
    EXPECT_EQ(f.m_counts[0].bigDown, 1297);
    EXPECT_EQ(f.m_counts[0].smallUp, 197);
    EXPECT_EQ(f.m_counts[0].smallDown, 0);
    for (int n = 1; n <= 3; ++n) {
        printf("%d: %d %d %d %d\n", n, f.m_counts[n].bigUp, f.m_counts[n].bigDown,
               f.m_counts[n].smallUp, f.m_counts[n].smallDown);
    }
    EXPECT_EQ(f.m_nShapes, 2530);
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
