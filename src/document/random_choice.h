// What "Randomly Choose Colors" changes: per order and colour item a switch, and whether the
// line offset, the magnification and the background are drawn at random too. 103 bytes, edited
// as a whole copy by the random-choice dialog.
#pragma once

#include <cstdint>

class FigureEngine;
class UserPrompts;

constexpr int kRandomItems = 10;  // items 0..7 are used (slot = item + 2), 8 and 9 are spare

struct RandomChoice {
    // itemFlags[order][j]: randomise colour slot j + 2 of that order.
    std::uint8_t itemFlags[10][kRandomItems];
    std::uint8_t chooseLinesOffset;
    std::uint8_t chooseMagnification;
    std::uint8_t chooseBackground;

    // Every item but the reference line (j = 5), offsets and magnification, not the background.
    RandomChoice();
};

static_assert(sizeof(RandomChoice) == 103, "the dialog copies the record as 103 bytes");

// A random number from 0 to 1 inclusive: NextRandom() / 32767.
double RandomUnit(UserPrompts& ui);
// A random COLORREF: red, green and blue drawn in that order, each nearest(255 * RandomUnit()).
std::uint32_t RandomColour(UserPrompts& ui);
// Draws what the choice names into the figure, taking the numbers from ui's generator in a fixed
// order: the line offsets, the magnification, the background, then the colours of the drawn
// orders item by item. Seeding and painting are the caller's.
void ChooseRandomly(FigureEngine& figure, const RandomChoice& choice, UserPrompts& ui);
