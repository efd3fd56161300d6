// The POV-Ray scene export: the solid pentagons of the last painting as calls of a scene macro,
// optionally behind a header that makes the text a complete scene file. Numbers are written the
// same way in every locale.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "figure/figure_engine.h"

class UserPrompts;

// Asked before the text is made: Yes includes the header, No leaves it out, Cancel ends.
inline constexpr const char* kPovHeaderQuestion =
    "This operation will put an POV-RAY text file in the copy/paste buffer\n"
    "Press \"YES\" if you want the header included \n"
    "(this will give you a complete POV-RAY file)\n"
    "And \"NO\" if not.";

// Builds the scene text of figure's shape records into text (at most capacity characters) and
// returns true; false with an empty text when the user cancels. Sets the records' overlap masks.
// The header's camera looks at viewCentre, the centre of the painting the records come from
// (the figure's own centre in the first form).
bool MakePovData(FigureEngine& figure, std::string& text, std::size_t capacity, UserPrompts& ui);
bool MakePovData(FigureEngine& figure, FigurePoint viewCentre, std::string& text,
                 std::size_t capacity, UserPrompts& ui);

// The pieces of the text, in the order they appear.

// Version, includes, sky, ground, camera, lights and the Pentagon macro, each line ended by
// CR LF, followed by four empty lines. For a view centred elsewhere than the origin a line
// declaring ViewCentre follows the camera distance, and the camera and lights are placed
// relative to it; a view around the origin gets the classic header byte for byte.
std::string PovHeader();
std::string PovHeader(FigurePoint viewCentre);
// Sets bit order(s) in the mask of every record r whose centre lies inside a pentagon s of a
// higher order. Bits are only added, so running it twice changes nothing more.
void MarkOverlaps(FigureEngine& figure);
// The number of shape records of each order.
std::array<int, kOrderCount> CountShapesByOrder(const FigureEngine& figure);
// Texture declarations, the two arrays, the statistics and the comment before the records.
std::string PovSections(const std::array<int, kOrderCount>& counts);
// The macro call of one record, ended by CR LF.
std::string PovRecordLine(const ShapeRecord& record);
// The comment line that ends a text cut short for lack of room (CR LF before and after).
std::string PovTruncationLine(std::size_t capacity);
