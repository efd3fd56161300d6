#include "document/random_choice.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "figure/figure_engine.h"
#include "picture/user_prompts.h"

namespace {

double Nearest(double v) {
    return std::floor(v + 0.5);
}

// nearest(v) as an int, held at the ends of the range instead of overflowing.
int NearestInt(double v) {
    double n = Nearest(v);
    if (n >= INT_MAX) return INT_MAX;
    if (n <= INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

}  // namespace

RandomChoice::RandomChoice() : chooseLinesOffset(1), chooseMagnification(1), chooseBackground(0) {
    std::memset(itemFlags, 0, sizeof itemFlags);
    for (auto& order : itemFlags) {
        for (int j : {0, 1, 2, 3, 4, 6, 7}) order[j] = 1;
    }
}

double RandomUnit(UserPrompts& ui) {
    return ui.NextRandom() / 32767.0;
}

std::uint32_t RandomColour(UserPrompts& ui) {
    auto channel = [&ui] { return static_cast<std::uint32_t>(Nearest(255 * RandomUnit(ui))); };
    std::uint32_t red = channel();
    std::uint32_t green = channel();
    std::uint32_t blue = channel();
    return red | (green << 8) | (blue << 16);
}

void ChooseRandomly(FigureEngine& figure, const RandomChoice& choice, UserPrompts& ui) {
    if (choice.chooseLinesOffset) {
        int n = figure.m_nSeriesLen;
        figure.m_nUn = n / 2 + NearestInt(RandomUnit(ui) * (n * 0.5));
        figure.m_nGs = NearestInt(figure.m_nUn * kPhi);
    }
    if (choice.chooseMagnification) figure.m_dMagnExp = 2 * RandomUnit(ui) - 8;
    if (choice.chooseBackground) figure.SetColour(RandomColour(ui), SLOT_BACKGROUND);
    for (int order = 0; order < kOrderCount; ++order) {
        if (!figure.m_orders[order].drawOrder) continue;
        for (int j = 0; j < 8; ++j) {
            if (choice.itemFlags[order][j]) figure.SetColour(RandomColour(ui), 10 * order + j + 2);
        }
    }
}
