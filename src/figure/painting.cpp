// The painting sequence: background, then the orders from the highest to the lowest, each with
// its lines, reference lines, big pentagons and small pentagons.
// A build without threads (DORVANTA_SINGLE_THREAD, the web edition) leaves the bands out: the
// whole painting gives the same bytes.
#ifndef DORVANTA_SINGLE_THREAD
#include "figure/band_painting.h"
#endif
#include "figure/figure_engine.h"
#include "figure/figure_walker.h"

namespace {

PentagonStyle StyleOf(char kind, const OrderSettings& o, int order, bool gradient) {
    const int e = 10 * order;
    const bool big = kind == 'B';
    PentagonStyle style;
    style.kind = kind;
    style.drawOutline = o.drawItems[big ? ITEM_BIG_PENTAGON : ITEM_SMALL_PENTAGON] != 0;
    style.outlineEntry = e + (big ? SLOT_BIG_PENTAGON : SLOT_SMALL_PENTAGON);
    style.drawStar = o.drawItems[big ? ITEM_BIG_STAR : ITEM_SMALL_STAR] != 0;
    style.starEntry = e + (big ? SLOT_BIG_STAR : SLOT_SMALL_STAR);
    style.drawSolid = o.drawItems[big ? ITEM_BIG_SOLID : ITEM_SMALL_SOLID] != 0;
    style.solidEntry = e + (big ? SLOT_BIG_SOLID : SLOT_SMALL_SOLID);
    style.transparency = o.transparency;
    style.gradient = gradient;
    return style;
}

}  // namespace

void FigureEngine::PaintFigure(std::uint8_t* pixels, int order, UserPrompts& ui) {
#ifndef DORVANTA_SINGLE_THREAD
    // A walk hands over items in painting order, so it is never cut into bands.
    if (pixels != nullptr && m_pWalker == nullptr && PaintsInBands(*this)) {
        PaintInBands(*this, pixels, order, ui, 1);
        return;
    }
#endif
    PaintBand(pixels, 0, m_nHeight, order, ui);
}

void FigureEngine::PaintBand(std::uint8_t* rows, int firstRow, int rowCount, int order,
                             UserPrompts& ui, BandShare& share) {
    m_pShare = &share;
    // Room for the whole list at once: growing it step by step touches twice the memory, and
    // every first touch of a page costs.
    share.shapes.reserve(kMaxShapes);
    PaintBand(rows, firstRow, rowCount, order, ui);
    m_pShare = nullptr;
}

void FigureEngine::PaintBand(std::uint8_t* rows, int firstRow, int rowCount, int order,
                             UserPrompts& ui) {
    m_pBits = rows;
    // A band outside the picture paints no pixel; the search and the shape list stay whole.
    const bool valid = firstRow >= 0 && rowCount >= 0;
    m_nBandStart = valid ? firstRow : 0;
    m_nBandEnd = valid ? std::int64_t{firstRow} + rowCount : 0;
    UpdateTransform();
    FillBackground();
    m_nShapes = 0;
    m_counts = {};
    if (order >= 0 && order < kOrderCount) {
        PaintOrder(order, m_orders[order], m_bGradient != 0, ui);
    } else if (order == -1) {
        for (int n = kOrderCount - 1; n >= 0; --n) {
            if (m_orders[n].drawOrder) PaintOrder(n, m_orders[n], m_bGradient != 0, ui);
        }
    }
    // The rows belong to the caller's lock; nothing may write through them afterwards.
    m_pBits = nullptr;
    m_nBandStart = 0;
    m_nBandEnd = std::numeric_limits<std::int64_t>::max();
}

void FigureEngine::PaintOrder(int order, const OrderSettings& settings, bool gradient,
                              UserPrompts& ui) {
    if (order < 0 || order >= kOrderCount) return;
    m_orderScale = GoldenInt::Power(kGoldenPhi, order);
    if (!BuildSeries(ui)) return;
    if (m_pWalker != nullptr) m_pWalker->BeginOrder(order);
    PaintLines(order, settings);
    m_nPaintingOrder = order;
    FindPentagons(StyleOf('B', settings, order, gradient));
    FindPentagons(StyleOf('S', settings, order, gradient));
}

void FigureEngine::WalkFigure(int order, FigureWalker& walker, UserPrompts& ui) {
    m_pWalker = &walker;
    PaintFigure(nullptr, order, ui);
    m_pWalker = nullptr;
}
