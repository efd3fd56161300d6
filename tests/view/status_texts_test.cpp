#include "view/status_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

FigureParams Figure(int un, int gs) {
    FigureParams figure;
    figure.m_nUn = un;
    figure.m_nGs = gs;
    figure.m_dCentreX = 1.25;
    figure.m_dCentreY = -3.0;
    figure.m_dMagnExp = -7.0;
    figure.m_nCurrentOrder = 4;
    return figure;
}

}  // namespace

TEST(StatusTexts, InitialTextsFixThePaneWidths) {
    InitStatusTexts();
    EXPECT_STREQ(g_szModeText, "Arrow keys change Un, Gs offset");
    EXPECT_EQ(std::string(g_szOffsetText), std::string(48, ' '));
    EXPECT_EQ(std::string(g_szPositionText), std::string(33, '_'));
}

TEST(StatusTexts, FigureViewShowsOffsetsErrorAndPosition) {
    WriteStatusTexts(false, 1, Figure(10, 16));
    EXPECT_STREQ(g_szModeText, "Arrow keys change Un and Gs offset");
    EXPECT_STREQ(g_szOffsetText, "Un: 10     Gs: 16        (error= 0.18)");
    EXPECT_STREQ(g_szPositionText, " X:  1.2  Y: -3.0   Magn (exp): -7.0  Order 4");
    WriteStatusTexts(false, 0, Figure(1145, 1853));
    EXPECT_STREQ(g_szModeText, "Arrow keys change pos");
    EXPECT_STREQ(g_szOffsetText, "Un: 1145     Gs: 1853        (error= -0.35)");
}

TEST(StatusTexts, BitmapViewClearsTheOffset) {
    WriteStatusTexts(true, 0, Figure(10, 16));
    EXPECT_STREQ(g_szModeText, "Bitmap View");
    EXPECT_STREQ(g_szOffsetText, "");
    EXPECT_STREQ(g_szPositionText, " X:  1.2  Y: -3.0   Magn (exp): -7.0  Order 4");
}

TEST(StatusTexts, HostileNumbersStayWithinTheBuffers) {
    FigureParams figure = Figure(2147483647, -2147483647 - 1);
    figure.m_dCentreX = 1e300;
    WriteStatusTexts(false, 1, figure);
    EXPECT_LT(std::string(g_szPositionText).size(), static_cast<size_t>(kStatusTextSize));
    EXPECT_EQ(std::string(g_szOffsetText).rfind("Un: 2147483647     Gs: -2147483648", 0), 0u);
}

TEST(StatusTexts, FarCentresKeepTheOrderInThePositionText) {
    FigureParams figure = Figure(10, 16);
    figure.m_dCentreX = 1e300;
    figure.m_dCentreY = -2.5e15;
    WriteStatusTexts(false, 0, figure);
    EXPECT_STREQ(g_szPositionText, " X: 1e+300  Y: -2.5e+15   Magn (exp): -7.0  Order 4");
    figure.m_dCentreX = 999999999999999.0;  // the largest centre shown with its decimal
    WriteStatusTexts(false, 0, figure);
    EXPECT_EQ(std::string(g_szPositionText).rfind(" X: 999999999999999.0  Y: -2.5e+15", 0), 0u);
}
