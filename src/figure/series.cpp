// The five line families and the series of positions they share: building the exact series of
// one order with its lookup table, searching it, painting the lines, moving the reference marker.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "figure/figure_engine.h"
#include "figure/figure_walker.h"
#include "picture/user_prompts.h"

namespace {

// cos and sin of family · 72° (1.2566370614359172 rad) as the desktop's C library gives them,
// written out: C libraries differ in the last bit here (WebAssembly's for family 3), and every
// pentagon rests on these five directions.
constexpr FigurePoint kFamilyDirections[kFamilyCount] = {
    {0x1p+0, 0x0p+0},
    {0x1.3c6ef372fe95p-2, 0x1.e6f0e134454ffp-1},
    {-0x1.9e3779b97f4a7p-1, 0x1.2cf2304755a5fp-1},
    {-0x1.9e3779b97f4a9p-1, -0x1.2cf2304755a5dp-1},
    {0x1.3c6ef372fe94cp-2, -0x1.e6f0e134455p-1},
};
constexpr double kSameValue = 1e-6;

std::size_t SeriesLength(const char (&series)[kSeriesCapacity]) {
    return strnlen(series, kMaxSeriesLetters);
}

bool IsStep(char c) {
    return c == 'S' || c == 'B';
}

// Counts of S and B before the first R; found is false when there is no R.
struct MarkerCount {
    bool found = false;
    std::int32_t s = 0;
    std::int32_t b = 0;
};

MarkerCount CountBeforeMarker(const char* series, std::size_t length) {
    MarkerCount count;
    for (std::size_t i = 0; i < length; ++i) {
        if (series[i] == 'R') {
            count.found = true;
            return count;
        }
        if (series[i] == 'S') ++count.s;
        if (series[i] == 'B') ++count.b;
    }
    return count;
}

std::int32_t WrappingAdd(std::int32_t x, std::int32_t y) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(x) + static_cast<std::uint32_t>(y));
}

}  // namespace

FigurePoint FigureEngine::FamilyDirection(int family) {
    return family >= 0 && family < kFamilyCount ? kFamilyDirections[family] : FigurePoint{};
}

bool FigureEngine::BuildSeries(UserPrompts& ui) {
    const GoldenInt w = kGoldenSqrt5 * m_orderScale;
    m_lookup.fill(LOOKUP_EMPTY);
    m_nFirst = 0;
    m_nRefIndex = 0;

    const std::size_t length = SeriesLength(m_szSeries);
    const MarkerCount marker = CountBeforeMarker(m_szSeries, length);
    GoldenInt r{};
    if (marker.found) {
        r = w * GoldenInt{marker.s, marker.b};
        // The reference element's index: the steps before the marker.
        m_nRefIndex = marker.s + marker.b;
    }
    m_nLookupShift = WrappingAdd(m_nGs, r.b);

    const GoldenInt offset{m_nUn, m_nGs};
    std::int32_t s = 0, b = 0;
    std::size_t pos = 0;
    int j = 0;
    for (;;) {
        const GoldenInt e = w * GoldenInt{s, b} - r - offset;
        m_elements[j] = e;
        m_values[j] = e.Value();
        const std::int32_t h = WrappingAdd(m_nLookupShift, e.b);
        if (h >= 0 && h < kLookupSlots) {
            if (m_lookup[h] != LOOKUP_EMPTY) {
                ui.ShowMessage("Error 133 in series " + std::to_string(h), MsgButtons::Ok,
                               MsgIcon::Exclamation);
                return false;
            }
            m_lookup[h] = j;
        }
        while (pos < length && !IsStep(m_szSeries[pos])) ++pos;
        if (pos >= length) break;
        const char letter = m_szSeries[pos++];
        (letter == 'S' ? s : b) += 1;
        m_stepTypes[j] = letter;
        ++j;
    }
    m_stepTypes[j] = '\0';  // no step after the last element
    m_nLast = j;
    return true;
}

SeriesHit FigureEngine::FindInSeries(double c) const {
    int lo = m_nFirst, hi = m_nLast;
    double vlo = m_values[lo], vhi = m_values[hi];
    if (c < vlo) return {-1, lo};
    if (c > vhi) return {1, hi};
    if (lo >= hi) return {std::fabs(vlo - c) < kSameValue ? 0 : 10, lo};
    for (;;) {
        // Interpolated guess, kept inside [lo, hi] even for a series that is not increasing
        // (wrapped offsets) so the search always narrows.
        const double guess = std::floor((lo * (vhi - c) - hi * (vlo - c)) / (vhi - vlo) + 0.5);
        const int k = guess >= lo && guess <= hi ? static_cast<int>(guess) : lo;
        const double d = m_values[k] - c;
        if (std::fabs(d) < kSameValue) return {0, k};
        if (k == hi) {
            hi = hi - 1;
            vhi = m_values[hi];
            if (std::fabs(vhi - c) < kSameValue) return {0, hi};
            if (vhi - c < 0) return {10, k};
        } else if (k == lo) {
            lo = lo + 1;
            vlo = m_values[lo];
            if (std::fabs(vlo - c) < kSameValue) return {0, lo};
            if (vlo - c > 0) return {10, k};
        } else if (d > 0) {
            hi = k;
            vhi = m_values[k];
        } else {
            lo = k;
            vlo = m_values[k];
        }
        if (lo == hi) return {std::fabs(m_values[lo] - c) < kSameValue ? 0 : 10, lo};
    }
}

std::pair<int, int> FigureEngine::VisibleRange(int family) const {
    if (family < 0 || family >= kFamilyCount) return {m_nFirst, m_nFirst - 1};
    const FigurePoint u = m_u[family];
    const std::pair<double, double> corners[4] = {PixelToFigure(0, 0), PixelToFigure(0, m_nHeight),
                                                  PixelToFigure(m_nWidth, 0),
                                                  PixelToFigure(m_nWidth, m_nHeight)};
    double pmin = 0.0, pmax = 0.0;
    for (int i = 0; i < 4; ++i) {
        const double p = corners[i].first * u.x + corners[i].second * u.y;
        if (i == 0 || p < pmin) pmin = p;
        if (i == 0 || p > pmax) pmax = p;
    }
    const int first = std::clamp(FindInSeries(pmin).index - 1, m_nFirst, m_nLast);
    const int last = std::clamp(FindInSeries(pmax).index + 1, m_nFirst, m_nLast);
    return {first, last};
}

void FigureEngine::DrawFamilyLine(int family, double position, int entry, double transparency) {
    if (family < 0 || family >= kFamilyCount) return;
    const FigurePoint u = m_u[family];
    const PictureTransform& t = m_transform;
    FigurePoint crossing[4];
    int found = 0;
    if (std::fabs(u.x) >= 0.01) {
        for (const double y : {t.lowY, t.highY}) {
            const double x = (position - u.y * y) / u.x;
            if (x >= t.lowX && x <= t.highX) crossing[found++] = {x, y};
        }
    }
    if (std::fabs(u.y) >= 0.01) {
        for (const double x : {t.lowX, t.highX}) {
            const double y = (position - u.x * x) / u.y;
            if (y >= t.lowY && y <= t.highY) crossing[found++] = {x, y};
        }
    }
    if (found < 2) return;
    if (m_pWalker != nullptr) m_pWalker->Line(crossing[0], crossing[1], entry, transparency);
    const auto [x0, y0] = FigureToPixel(crossing[0].x, crossing[0].y);
    const auto [x1, y1] = FigureToPixel(crossing[1].x, crossing[1].y);
    DrawSegment(x0, y0, x1, y1, GetDibColour(entry), transparency);
}

void FigureEngine::PaintLines(int order, const OrderSettings& settings) {
    const int e = 10 * order;
    if (settings.drawItems[ITEM_LINES]) {
        for (int k = 0; k < kFamilyCount; ++k) {
            if (!settings.drawLines[k]) continue;
            const auto [first, last] = VisibleRange(k);
            for (int j = first; j <= last; ++j) {
                DrawFamilyLine(k, m_values[j], e + SLOT_LINES, settings.transparency);
            }
        }
    }
    if (settings.drawItems[ITEM_REFERENCE_LINE]) {
        for (int k = 0; k < kFamilyCount; ++k) {
            DrawFamilyLine(k, m_values[m_nRefIndex], e + SLOT_REFERENCE_LINE,
                           settings.transparency);
        }
    }
}

bool FigureEngine::MoveReference(int index, UserPrompts& ui) {
    const int order = std::clamp(m_nCurrentOrder, 0, kOrderCount - 1);
    m_orderScale = GoldenInt::Power(kGoldenPhi, order);
    const GoldenInt w = kGoldenSqrt5 * m_orderScale;

    std::string series(m_szSeries, SeriesLength(m_szSeries));
    if (const std::size_t marker = series.find('R'); marker != std::string::npos) {
        series.erase(marker, 1);
    }
    if (index > 0) {
        if (series.size() >= static_cast<std::size_t>(kMaxSeriesLetters)) {
            ui.ShowMessage("The series is full: no room for the reference marker.", MsgButtons::Ok,
                           MsgIcon::Exclamation);
            return false;
        }
        series.insert(std::min(static_cast<std::size_t>(index), series.size()), 1, 'R');
    }
    std::memcpy(m_szSeries, series.c_str(), series.size() + 1);
    m_nSeriesLen = static_cast<std::int32_t>(series.size());

    const MarkerCount marker = CountBeforeMarker(series.c_str(), series.size());
    const GoldenInt r = marker.found ? w * GoldenInt{marker.s, marker.b} : GoldenInt{};
    const GoldenInt offset = GoldenInt{} - r - m_elements[0];
    m_nUn = offset.a;
    m_nGs = offset.b;
    return BuildSeries(ui);
}
