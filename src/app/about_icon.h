// The program's icon, drawn by the program itself: a golden pentagon with its pentagram on a
// dark blue tile.
#pragma once

#include <QIcon>
#include <QPixmap>

// The icon painted at size x size pixels.
QPixmap DrawProgramIcon(int size);

// The icon in the usual sizes, for windows and the about box.
QIcon ProgramIcon();
