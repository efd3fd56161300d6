// Process-wide state of numbered saving and random colourings, shared by all documents.
// The operations themselves are CDibDoc::SaveToNextFile and CDibDoc::RandomColours.
#pragma once

#include <cstdint>
#include <string>

class UserPrompts;

// The number of the last numbered file; only grows while the program runs.
extern int g_nFileCounter;
// The time, in whole seconds, at which the random generator was last seeded (-1: never).
extern std::int64_t g_nLastSeedTime;

// The question asked before the first numbered save of a document, with the directory inserted.
std::string PathQuestionText(const std::string& directory);

// A random number from 0 to 1 inclusive: NextRandom() / 32767.
double RandomUnit(UserPrompts& ui);
// A random COLORREF: red, green and blue drawn in that order, each nearest(255 * RandomUnit()).
std::uint32_t RandomColour(UserPrompts& ui);
// Seeds the generator with the current second unless it was seeded in that second already.
void SeedRandomOncePerSecond(UserPrompts& ui);
