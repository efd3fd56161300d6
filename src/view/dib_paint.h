// Drawing a picture block (40-byte header, bottom-up blue-green-red rows) on a painter.
#pragma once

#include <QRect>
#include <cstdint>

#include "document/dib_doc.h"
#include "picture/dib_image.h"

class QPainter;

// Draws the source rectangle of the block into dest: a plain copy when both have the same size,
// a colour-on-colour (nearest pixel) stretch otherwise. The source rectangle is in the block's
// own coordinates, rows counted from the bottom line as stored. Returns the scan lines drawn:
// 0 for a null handle or a block that does not hold the picture its header announces. The
// palette is kept for the interface's sake; true-colour devices need none.
int DibPaint(QPainter& painter, const QRect& dest, const DibHandle& hDIB,
             std::uint32_t colourTableBytes, int scanLines, const QRect& source,
             const DocPalette* palette);

// The destination of a printed picture: the full page width, the height keeping the picture's
// proportions on paper (truncated toward zero).
QRect PrintDestination(int pictureWidth, int pictureHeight, int horzRes, int logPixelsX,
                       int logPixelsY);
