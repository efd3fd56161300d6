#include "view/navigation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr double kMinExponent = -15.0;  // both limits excluded
constexpr double kMaxExponent = 10.0;

// Offsets near the ends of the 32-bit range stay there instead of wrapping around.
std::int32_t SaturatedAdd(std::int32_t a, std::int32_t b) {
    const std::int64_t sum = std::int64_t{a} + b;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        sum, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

void ChangeWorkingOrder(FigureParams& figure, int dm, int& order) {
    // 64 bits: a working order at the end of the int range (a damaged record) must not wrap.
    const std::int64_t t = std::int64_t{figure.m_nCurrentOrder} - dm;
    if (t >= 0 && t < kOrderCount) figure.m_nCurrentOrder = static_cast<std::int32_t>(t);
    order = figure.m_nCurrentOrder;
}

void ApplyGoldenRatioRule(FigureParams& figure, int dm) {
    if (dm == 1) figure.m_nGs = NearestInt32(figure.m_nUn * kPhi);
    if (dm == -1) figure.m_nUn = NearestInt32(figure.m_nGs / kPhi);
}

void ChangeExponent(FigureParams& figure, double dm) {
    const double candidate = figure.m_dMagnExp + dm;
    if (candidate > kMinExponent && candidate < kMaxExponent) figure.m_dMagnExp = candidate;
}

}  // namespace

std::int32_t NearestInt32(double v) {
    const double n = std::floor(v + 0.5);
    if (std::isnan(n)) return 0;
    return static_cast<std::int32_t>(
        std::clamp(n, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                   static_cast<double>(std::numeric_limits<std::int32_t>::max())));
}

KeyMove KeyMoveFor(NavKey key, bool ctrl) {
    KeyMove move;
    move.step = ctrl ? 10.0 : 1.0;
    move.handled = true;
    switch (key) {
        case NavKey::PageUp:
            move.dm = -1.0;
            break;
        case NavKey::PageDown:
            move.dm = 1.0;
            break;
        case NavKey::Home:
            move.home = true;
            break;
        case NavKey::Left:
            move.dx = -1.0;
            break;
        case NavKey::Right:
            move.dx = 1.0;
            break;
        case NavKey::Up:
            move.dy = 1.0;
            break;
        case NavKey::Down:
            move.dy = -1.0;
            break;
        case NavKey::Tab:
        case NavKey::Other:
            move.handled = false;
            break;
    }
    return move;
}

void ApplyPendingMove(FigureEngine& figure, const AcceptedTransform& accepted, const KeyMove& move,
                      bool ctrl) {
    if (move.home && ctrl) {
        figure.m_dCentreX = 0.0;
        figure.m_dCentreY = 0.0;
        return;
    }
    if (move.home) {
        RestoreAcceptedTransform(figure, accepted);
        return;
    }
    // One press moves the centre by one pixel of the picture on screen.
    const double u0 = accepted.transform.inverseScale;
    figure.m_dCentreX += move.dx * move.step * u0;
    figure.m_dCentreY += move.dy * move.step * u0;
    if (std::fabs(move.dm) > 0.01) {
        figure.m_dMagnExp += 0.25 * move.dm * move.step;
        figure.UpdateTransform();
    }
}

int ApplyOffsetMove(FigureParams& figure, const KeyMove& move, bool ctrl, bool shift,
                    bool drawOnlyOne) {
    int order = drawOnlyOne ? figure.m_nCurrentOrder : -1;
    figure.m_nUn = SaturatedAdd(figure.m_nUn, NearestInt32(move.dx * move.step));
    figure.m_nGs = SaturatedAdd(figure.m_nGs, NearestInt32(move.dy * move.step));
    const int dm = NearestInt32(move.dm);
    if (dm == 0) return order;
    if (ctrl) ChangeWorkingOrder(figure, dm, order);
    if (shift) ApplyGoldenRatioRule(figure, dm);
    if (!ctrl && !shift) ChangeExponent(figure, move.dm);
    return order;
}

FigurePointXY AcceptedFigurePointAt(const AcceptedTransform& accepted, int px, int py) {
    const PictureTransform& t = accepted.transform;
    return {(px - t.halfWidth) * t.inverseScale + accepted.centreX,
            (t.halfHeight - py) * t.inverseScale + accepted.centreY};
}

std::string PixelColourText(COLORREF colour) {
    char text[64];
    std::snprintf(text, sizeof text, "R %i%sG %i%sB %i", static_cast<int>(colour & 0xFF), "\r\n",
                  static_cast<int>((colour >> 8) & 0xFF), "\r\n",
                  static_cast<int>((colour >> 16) & 0xFF));
    return text;
}

StepInput StepInputNow(int source, bool autoRepeat) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return {source, std::chrono::duration_cast<std::chrono::milliseconds>(now).count(), autoRepeat};
}
