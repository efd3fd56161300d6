#include "document/random_choice.h"

#include <cstring>
#include <initializer_list>

RandomChoice::RandomChoice() : chooseLinesOffset(1), chooseMagnification(1), chooseBackground(0) {
    std::memset(itemFlags, 0, sizeof itemFlags);
    for (auto& order : itemFlags) {
        for (int j : {0, 1, 2, 3, 4, 6, 7}) order[j] = 1;
    }
}
