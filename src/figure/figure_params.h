// The persisted figure record: picture size, view, series with its offsets, per-order switches,
// colour table and texts. The engine that paints it is FigureEngine (figure_engine.h).
#pragma once

#include <array>
#include <cstdint>

using COLORREF = std::uint32_t;  // red in bits 0..7, green 8..15, blue 16..23

constexpr int kOrderCount = 10;
constexpr int kColourEntries = 256;
constexpr int kSeriesCapacity = 3000;  // letters incl. the terminating NUL
constexpr int kMaxSeriesLetters = kSeriesCapacity - 1;
constexpr int kDefaultSeriesLength = 2996;
constexpr double kPhi = 1.618033988749895;

// Slots of an order's colour entries: entry = 10 * order + slot.
enum ColourSlot {
    SLOT_SPARE = 0,
    SLOT_BACKGROUND = 1,
    SLOT_LINES = 2,
    SLOT_BIG_PENTAGON = 3,
    SLOT_BIG_STAR = 4,
    SLOT_SMALL_PENTAGON = 5,
    SLOT_SMALL_STAR = 6,
    SLOT_REFERENCE_LINE = 7,
    SLOT_BIG_SOLID = 8,
    SLOT_SMALL_SOLID = 9,
};

// Item switches of OrderSettings::drawItems; item i paints in slot i + 2.
enum DrawItem {
    ITEM_LINES = 0,
    ITEM_BIG_PENTAGON = 1,
    ITEM_BIG_STAR = 2,
    ITEM_SMALL_PENTAGON = 3,
    ITEM_SMALL_STAR = 4,
    ITEM_REFERENCE_LINE = 5,
    ITEM_BIG_SOLID = 6,
    ITEM_SMALL_SOLID = 7,
};

struct OrderSettings {
    std::array<std::uint8_t, 16> drawItems{};  // bytes 8..15 are carried without meaning
    std::array<std::uint8_t, 5> drawLines{};
    std::uint8_t drawOrder = 0;
    double transparency = 0.0;

    bool operator==(const OrderSettings&) const = default;
};

// Derived from size, centre and exponent by UpdateTransform.
struct PictureTransform {
    std::int32_t halfWidth = 0;
    std::int32_t halfHeight = 0;
    double scale = 0.0;               // pixels per figure unit
    double inverseScale = 0.0;        // figure units per pixel
    double lowX = 0.0, lowY = 0.0;    // figure coordinates of pixel (0, 0)
    double highX = 0.0, highY = 0.0;  // figure coordinates of pixel (width, height)

    bool operator==(const PictureTransform&) const = default;
};

struct FigureParams {
    std::int32_t m_nSeriesLen = 0;
    char m_szSeries[kSeriesCapacity] = {};
    std::int32_t m_nUn = 0;
    std::int32_t m_nGs = 0;
    std::uint8_t m_bGradient = 0;
    std::uint8_t m_colours[kColourEntries][3] = {};  // blue, green, red

    // The view block: copied as a whole into and out of the document's accepted copy.
    std::int32_t m_nWidth = 0;
    std::int32_t m_nHeight = 0;
    std::int32_t m_nCurrentOrder = 0;
    double m_dCentreX = 0.0;
    double m_dCentreY = 0.0;
    double m_dMagnExp = 0.0;
    PictureTransform m_transform;
    char m_szVersion[22] = {};
    char m_szComment[106] = {};

    std::array<OrderSettings, kOrderCount> m_orders{};
    char m_szName[110] = {};
    char m_szDirectory[1010] = {};
};
