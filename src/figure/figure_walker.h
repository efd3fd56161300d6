// What a painting draws, handed out item by item in painting order and in exact figure
// coordinates, so that vector output draws the same items as the picture without reading pixels.
#pragma once

#include "figure/figure_engine.h"

class FigureWalker {
  public:
    virtual ~FigureWalker() = default;

    // An order whose series was built; its items follow until the next BeginOrder.
    virtual void BeginOrder(int order) = 0;
    // A family line or a reference line, from one picture edge crossing to the other (the two
    // points the segment raster joins), in the colour of table entry.
    virtual void Line(FigurePoint from, FigurePoint to, int entry, double transparency) = 0;
    // A pentagon whose pixel box meets the picture: what is drawn and in which colours, the pixel
    // vertices and gradient shading as the raster uses them, and the exact vertices.
    virtual void Pentagon(const PentagonPaint& paint, const FigurePoint (&vertex)[5]) = 0;
};
