#include "view/focus_rects.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Far outside any screen, yet far from overflowing when offsets are added.
constexpr double kWindowLimit = 1 << 28;

struct PlanePoint {
    double x = 0.0;
    double y = 0.0;
};

// The figure point shown by window pixel (px, py) under the accepted transform.
PlanePoint AcceptedFigurePoint(const AcceptedTransform& t, double px, double py) {
    return {(px - t.transform.halfWidth) * t.transform.inverseScale + t.centreX,
            (t.transform.halfHeight - py) * t.transform.inverseScale + t.centreY};
}

// The picture pixel of a figure point under the accepted transform.
WindowPoint AcceptedPixel(const AcceptedTransform& t, const PlanePoint& f) {
    return {NearestWindowPixel((f.x - t.centreX) * t.transform.scale) + t.transform.halfWidth,
            t.transform.halfHeight - NearestWindowPixel((f.y - t.centreY) * t.transform.scale)};
}

WindowPoint PictureToWindow(const FocusInputs& in, WindowPoint p) {
    if (!in.fitToWindow) return p;
    return {NearestWindowPixel(p.x * in.scaleX), NearestWindowPixel(p.y * in.scaleY)};
}

int ClampEnd(int v, int clientLimit, int pictureLimit, bool fit) {
    if (v < 0) v = 0;
    if (v >= clientLimit) v = clientLimit - 1;
    if (!fit && v >= pictureLimit) v = pictureLimit - 1;
    return v;
}

void AddEdge(FocusRect& rect, bool horizontal, int fixed, int a, int b, const FocusInputs& in) {
    if (auto edge = ClampFocusEdge(horizontal, fixed, a, b, in)) rect.edges.push_back(*edge);
}

}  // namespace

int NearestWindowPixel(double v) {
    double n = std::floor(v + 0.5);
    if (std::isnan(n)) return 0;
    return static_cast<int>(std::clamp(n, -kWindowLimit, kWindowLimit));
}

std::optional<FocusEdge> ClampFocusEdge(bool horizontal, int fixed, int a, int b,
                                        const FocusInputs& in) {
    const bool fit = in.fitToWindow;
    const int fixedClient = horizontal ? in.clientHeight : in.clientWidth;
    const int fixedPicture = horizontal ? in.pictureHeight : in.pictureWidth;
    const int alongClient = horizontal ? in.clientWidth : in.clientHeight;
    const int alongPicture = horizontal ? in.pictureWidth : in.pictureHeight;
    if (fixed < 0 || fixed >= fixedClient || (!fit && fixed >= fixedPicture)) return std::nullopt;
    // An empty client or picture leaves nothing to walk along.
    if (alongClient <= 0 || (!fit && alongPicture <= 0)) return std::nullopt;
    a = ClampEnd(a, alongClient, alongPicture, fit);
    b = ClampEnd(b, alongClient, alongPicture, fit);
    if (a > b) std::swap(a, b);
    return FocusEdge{horizontal, fixed, a, b};
}

std::array<FocusRect, 4> ComputeFocusRects(const FocusInputs& in) {
    const AcceptedTransform& t = in.accepted;
    const PlanePoint high = AcceptedFigurePoint(t, t.width, t.height);
    const PlanePoint low = AcceptedFigurePoint(t, -t.width, -t.height);
    const double ax = (high.x - low.x) * 0.125;
    const double ay = (high.y - low.y) * 0.125;
    std::array<PlanePoint, 4> offsets = {{{ax, ay}, {ax, -ay}, {-ax, -ay}, {-ax, ay}}};

    std::array<FocusRect, 4> rects;
    for (FocusRect& rect : rects) {
        for (int k = 0; k < 4; ++k) {
            PlanePoint p{
                in.workingCentreX + offsets[k].x * t.transform.scale * in.workingInverseScale,
                in.workingCentreY + offsets[k].y * t.transform.scale * in.workingInverseScale};
            WindowPoint w = PictureToWindow(in, AcceptedPixel(t, p));
            rect.corners[k] = {w.x - in.drawOrigin.x, w.y - in.drawOrigin.y};
        }
        const auto& c = rect.corners;
        AddEdge(rect, false, c[0].x, c[0].y, c[1].y, in);
        AddEdge(rect, true, c[1].y, c[1].x, c[2].x, in);
        AddEdge(rect, false, c[2].x, c[2].y, c[3].y, in);
        AddEdge(rect, true, c[3].y, c[3].x, c[0].x, in);
        for (PlanePoint& o : offsets) o = {o.x * 0.5, o.y * 0.5};
    }
    return rects;
}
