// The program's fixed help texts: the about box's summary of keys and functions, the texts
// around the colour-page picture of "Help on Colors", and the POV-Ray help message.
#pragma once

#include <array>
#include <string>

class UserPrompts;

// Credit for the JPEG part of the program, the last piece of the about text.
inline constexpr const char* kJpegCreditText =
    "JPEG pictures are read and written with the libjpeg-turbo library, which is based in part "
    "on the work of the Independent JPEG Group.";

// The about box's help text: the summary pieces joined with CR LF, ending with a line break.
std::string BuildAboutHelpText();

// The POV-Ray help text, five lines each ending with CR LF.
std::string PovRayHelpText();

// Command 32825 "Help on Pov-Ray": the POV-Ray help text with the information icon.
void ShowPovRayHelp(UserPrompts& ui);

// The eight texts of "Help on Colors", in the order they are placed around the picture.
extern const std::array<const char*, 8> kColorHelpTexts;
