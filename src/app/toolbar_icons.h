// The toolbar's button images, 16 x 15 pixels each, painted by the program itself.
#pragma once

#include <QIcon>
#include <QPixmap>

constexpr int kButtonImageWidth = 16;
constexpr int kButtonImageHeight = 15;

// The image of a toolbar command (New, Open, Save, Cut, Copy, Paste, Print, About, settings,
// colour page, save to next file); a blank image for any other identifier.
QPixmap ToolbarImage(int id);
QIcon ToolbarIcon(int id);
