// The four nested focus rectangles that preview a pending centre and magnification over the
// picture. Pure geometry: corners from the accepted and the working transform, edges clamped to
// the client area (and, unstretched, to the picture).
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "document/dib_doc.h"

struct WindowPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const WindowPoint&, const WindowPoint&) = default;
};

// One edge walked pixel by pixel at a fixed row (horizontal) or column (vertical), from <= to.
struct FocusEdge {
    bool horizontal = false;
    int fixed = 0;
    int from = 0;
    int to = 0;
    friend bool operator==(const FocusEdge&, const FocusEdge&) = default;
};

struct FocusRect {
    std::array<WindowPoint, 4> corners;  // window positions of corners 0..3
    std::vector<FocusEdge> edges;        // the edges left after clamping, in walking order
};

// Everything the rectangles depend on.
struct FocusInputs {
    AcceptedTransform accepted;   // the transform the picture on screen was painted with
    double workingCentreX = 0.0;  // pending centre
    double workingCentreY = 0.0;
    double workingInverseScale = 0.0;  // of the pending magnification
    bool fitToWindow = false;
    double scaleX = 1.0;  // client size / picture size in fit mode
    double scaleY = 1.0;
    WindowPoint drawOrigin;  // scroll position at the last paint
    int clientWidth = 0;
    int clientHeight = 0;
    int pictureWidth = 0;  // limits the edges only when not fitted
    int pictureHeight = 0;
};

// The four rectangles, outermost first; each inner one has half the corner offsets.
std::array<FocusRect, 4> ComputeFocusRects(const FocusInputs& in);

// Clamps one edge at fixed from a to b (horizontal: a row, else a column); empty when skipped.
std::optional<FocusEdge> ClampFocusEdge(bool horizontal, int fixed, int a, int b,
                                        const FocusInputs& in);

// nearest(v) = floor(v + 0.5), held within the int range so that deep zooms stay defined.
int NearestWindowPixel(double v);
