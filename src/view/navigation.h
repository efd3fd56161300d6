// What the navigation keys and clicks of the figure view do to the working parameters, apart
// from the widget: the key's move, the pending centre and magnification of arrow mode 0, the
// offsets, order and exponent of arrow mode 1, and the figure point under a clicked pixel.
#pragma once

#include <cstdint>
#include <string>

#include "document/dib_doc.h"
#include "figure/figure_engine.h"

enum class NavKey { Other, Tab, PageUp, PageDown, Home, Left, Right, Up, Down };

// The move a key asks for: unit directions, the step (10 with Ctrl) and whether a navigation
// key was pressed at all (Tab and other keys are not).
struct KeyMove {
    bool handled = false;
    bool home = false;
    double dx = 0.0;
    double dy = 0.0;
    double dm = 0.0;
    double step = 1.0;
};

KeyMove KeyMoveFor(NavKey key, bool ctrl);

// Arrow mode 0: moves the pending centre by whole pixels of the picture on screen and the
// pending exponent by quarters; Home drops every pending change, Ctrl+Home centres on the
// origin. Nothing is painted.
void ApplyPendingMove(FigureEngine& figure, const AcceptedTransform& accepted, const KeyMove& move,
                      bool ctrl);

// Arrow mode 1: changes Un and Gs, the working order (Ctrl+Page Up/Down), the golden-ratio
// partner of Un or Gs (Shift+Page Up/Down) or the exponent within (-15, 10). Returns the order
// to paint: the working order alone, or -1 for all drawn orders.
int ApplyOffsetMove(FigureParams& figure, const KeyMove& move, bool ctrl, bool shift,
                    bool drawOnlyOne);

struct FigurePointXY {
    double x = 0.0;
    double y = 0.0;
};

// The figure point that picture pixel (px, py) shows under the accepted transform.
FigurePointXY AcceptedFigurePointAt(const AcceptedTransform& accepted, int px, int py);

// nearest(v) = floor(v + 0.5), held within the range of the 32-bit parameters.
std::int32_t NearestInt32(double v);

// The input source (a key with its modifiers, or a command) as the figure history merges it,
// stamped with the time now.
StepInput StepInputNow(int source, bool autoRepeat = false);

// "R %i\r\nG %i\r\nB %i" for a colour in COLORREF packing (red in the low byte).
std::string PixelColourText(COLORREF colour);
