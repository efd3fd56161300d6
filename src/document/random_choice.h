// What "Randomly Choose Colors" changes: per order and colour item a switch, and whether the
// line offset, the magnification and the background are drawn at random too. 103 bytes, edited
// as a whole copy by the random-choice dialog.
#pragma once

#include <cstdint>

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
