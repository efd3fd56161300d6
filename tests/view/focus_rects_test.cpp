#include "view/focus_rects.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// An accepted transform of a W x H picture around (0, 0) at exponent -7, as painted.
AcceptedTransform Accepted(int width, int height) {
    AcceptedTransform t;
    t.width = width;
    t.height = height;
    t.transform.halfWidth = width / 2;
    t.transform.halfHeight = height / 2;
    t.transform.scale = 0.0078125 * width / 2;  // 2^-7 * W / 2
    t.transform.inverseScale = 1.0 / t.transform.scale;
    return t;
}

FocusInputs Unchanged(int width, int height) {
    FocusInputs in;
    in.accepted = Accepted(width, height);
    in.workingCentreX = in.accepted.centreX;
    in.workingCentreY = in.accepted.centreY;
    in.workingInverseScale = in.accepted.transform.inverseScale;
    in.clientWidth = width;
    in.clientHeight = height;
    in.pictureWidth = width;
    in.pictureHeight = height;
    return in;
}

using Corners = std::array<WindowPoint, 4>;

}  // namespace

TEST(FocusRects, OutermostAndInnermostCornersOf800x600) {
    const auto rects = ComputeFocusRects(Unchanged(800, 600));
    EXPECT_EQ(rects[0].corners, (Corners{{{600, 450}, {600, 150}, {200, 150}, {200, 450}}}));
    EXPECT_EQ(rects[1].corners, (Corners{{{500, 375}, {500, 225}, {300, 225}, {300, 375}}}));
    EXPECT_EQ(rects[3].corners, (Corners{{{425, 319}, {425, 281}, {375, 281}, {375, 319}}}));
}

TEST(FocusRects, EdgesAreWalkedInOrderFromLowToHigh) {
    const auto rects = ComputeFocusRects(Unchanged(800, 600));
    const std::vector<FocusEdge> expected = {{false, 600, 150, 450},
                                             {true, 150, 200, 600},
                                             {false, 200, 150, 450},
                                             {true, 450, 200, 600}};
    EXPECT_EQ(rects[0].edges, expected);
}

TEST(FocusRects, PendingMagnificationAndCentreMoveTheRectangles) {
    FocusInputs in = Unchanged(800, 600);
    // One step of 0.25 in the exponent shrinks every rectangle by 2^-0.25.
    in.workingInverseScale = in.accepted.transform.inverseScale / std::pow(2.0, 0.25);
    auto rects = ComputeFocusRects(in);
    EXPECT_EQ(rects[0].corners[0],
              (WindowPoint{400 + NearestWindowPixel(200 / std::pow(2.0, 0.25)),
                           300 + NearestWindowPixel(150 / std::pow(2.0, 0.25))}));
    in = Unchanged(800, 600);
    in.workingCentreX = 10 * in.accepted.transform.inverseScale;  // ten pixels to the right
    rects = ComputeFocusRects(in);
    EXPECT_EQ(rects[0].corners[0], (WindowPoint{610, 450}));
    EXPECT_EQ(rects[0].corners[2], (WindowPoint{210, 150}));
}

TEST(FocusRects, FitModeScalesAndScrollingShifts) {
    FocusInputs in = Unchanged(800, 600);
    in.fitToWindow = true;
    in.scaleX = 0.5;
    in.scaleY = 0.5;
    in.clientWidth = 400;
    in.clientHeight = 300;
    EXPECT_EQ(ComputeFocusRects(in)[0].corners[0], (WindowPoint{300, 225}));
    in = Unchanged(800, 600);
    in.drawOrigin = {100, 50};
    EXPECT_EQ(ComputeFocusRects(in)[0].corners[0], (WindowPoint{500, 400}));
}

TEST(FocusRects, EdgesOutsideAreSkippedAndOverhangsCutBack) {
    const FocusInputs in = Unchanged(800, 600);
    EXPECT_FALSE(ClampFocusEdge(true, -1, 0, 10, in));
    EXPECT_FALSE(ClampFocusEdge(true, 600, 0, 10, in));  // at the client height
    EXPECT_FALSE(ClampFocusEdge(false, 800, 0, 10, in));
    EXPECT_EQ(*ClampFocusEdge(true, 5, -20, 900, in), (FocusEdge{true, 5, 0, 799}));
    EXPECT_EQ(*ClampFocusEdge(false, 5, 700, -3, in), (FocusEdge{false, 5, 0, 599}));

    // Unfitted, the picture limits the edges inside a larger client area.
    FocusInputs wide = in;
    wide.clientWidth = 1000;
    wide.clientHeight = 1000;
    EXPECT_FALSE(ClampFocusEdge(true, 650, 0, 10, wide));
    EXPECT_EQ(*ClampFocusEdge(true, 5, 0, 950, wide), (FocusEdge{true, 5, 0, 799}));
    wide.fitToWindow = true;
    EXPECT_EQ(*ClampFocusEdge(true, 650, 0, 950, wide), (FocusEdge{true, 650, 0, 950}));
}

TEST(FocusRects, DeepZoomStaysDefined) {
    FocusInputs in = Unchanged(800, 600);
    in.workingInverseScale = 1e300;
    in.workingCentreX = 1e308;
    const auto rects = ComputeFocusRects(in);
    for (const FocusRect& rect : rects) {
        for (const FocusEdge& e : rect.edges) {
            EXPECT_LE(0, e.from);
            EXPECT_LE(e.to, 799);
        }
    }
    EXPECT_EQ(NearestWindowPixel(std::nan("")), 0);
    EXPECT_EQ(NearestWindowPixel(-2.5), -2);
    EXPECT_EQ(NearestWindowPixel(2.5), 3);
}
