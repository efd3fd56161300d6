// Process-wide state of numbered saving and random colourings, shared by all documents.
// The operations themselves are CDibDoc::SaveToNextFile and CDibDoc::RandomColours; the
// colouring alone is ChooseRandomly (random_choice.h).
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

// Seeds the generator with the current second unless it was seeded in that second already.
void SeedRandomOncePerSecond(UserPrompts& ui);
