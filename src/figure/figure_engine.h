// FigureEngine: the figure record together with the working tables that paint it.
// Copying is a plain whole copy (the settings dialog edits a copy, g_figureEdit); every table is
// held by value, and m_pBits is only valid while PaintFigure runs.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "figure/figure_params.h"
#include "figure/golden_int.h"

class UserPrompts;
class PentagonBlends;  // the prepared blends of one pentagon style (raster.cpp)
class FigureWalker;    // receives the items of a walk (figure_walker.h)

constexpr int kSeriesElements = 3000;  // a string of at most 2999 letters has at most 3000 elements
constexpr int kLookupSlots = 6000;
constexpr std::int32_t LOOKUP_EMPTY = -31987;
constexpr int kMaxShapes = 5000;
constexpr int kFamilyCount = 5;

// Pixel coordinates are 64-bit and saturate at this bound, so deep zooms stay defined and the
// raster arithmetic (done in 128 bits where it multiplies coordinates) cannot overflow.
constexpr std::int64_t kPixelLimit = std::int64_t{1} << 60;

// nearest(v) = floor(v + 0.5) as a pixel coordinate, saturated at ±kPixelLimit (NaN gives
// −kPixelLimit). Inline: every pentagon vertex passes through it.
inline std::int64_t NearestPixel(double v) {
    const double shifted = v + 0.5;
    // Below 2^52 in magnitude floor is truncation, less one for negative non-integers.
    if (std::fabs(shifted) < 4503599627370496.0) {
        const auto truncated = static_cast<std::int64_t>(shifted);
        return truncated - static_cast<std::int64_t>(static_cast<double>(truncated) > shifted);
    }
    const double r = std::floor(shifted);
    if (std::isnan(r) || r <= -static_cast<double>(kPixelLimit)) return -kPixelLimit;
    if (r >= static_cast<double>(kPixelLimit)) return kPixelLimit;
    return static_cast<std::int64_t>(r);
}

struct PixelPoint {
    std::int64_t x = 0;
    std::int64_t y = 0;
};
static_assert(sizeof(PixelPoint) == 16, "vertex rounding stores x and y as one 16-byte pair");
using PentagonVertices = std::array<PixelPoint, 5>;

// Inclusive pixel bounds.
struct PixelBox {
    std::int64_t x0, y0, x1, y1;
};

inline PixelBox BoundingBox(const PentagonVertices& v) {
    PixelBox box{v[0].x, v[0].y, v[0].x, v[0].y};
    for (const PixelPoint& p : v) {
        box.x0 = std::min(box.x0, p.x);
        box.x1 = std::max(box.x1, p.x);
        box.y0 = std::min(box.y0, p.y);
        box.y1 = std::max(box.y1, p.y);
    }
    return box;
}

struct FigurePoint {
    double x = 0.0;
    double y = 0.0;
};
using PentagonOffsets = std::array<FigurePoint, 5>;

// One solid pentagon of the last painting; the POV-Ray export reads these.
struct ShapeRecord {
    double x = 0.0;  // figure coordinates of the centre
    double y = 0.0;
    std::uint8_t order = 0;
    char kind = 0;                  // 'B' big, 'S' small
    double size = 0.0;              // signed circumradius: > 0 points towards +x
    std::uint16_t overlapMask = 0;  // set by the scene export
};

// The shape list of a painting: kMaxShapes records, all zero until written. The memory is taken
// when a record is first written, and only the pages written are touched: an engine that never
// paints (the settings dialog's copy, a helper's spare) costs no page of it. Copies are whole.
class ShapeList {
  public:
    ShapeList() = default;
    ShapeList(const ShapeList& other) { *this = other; }
    ShapeList& operator=(const ShapeList& other) {
        if (this == &other) return *this;
        if (!other.m_records) {
            m_records.reset();
            return *this;
        }
        std::copy_n(other.m_records.get(), kMaxShapes, Records());
        return *this;
    }
    ShapeList(ShapeList&&) noexcept = default;
    ShapeList& operator=(ShapeList&&) noexcept = default;

    static constexpr std::size_t size() { return kMaxShapes; }
    ShapeRecord& operator[](std::size_t n) { return Records()[n]; }
    const ShapeRecord& operator[](std::size_t n) const {
        static const ShapeRecord kNone{};
        return m_records ? m_records[n] : kNone;
    }

  private:
    // As operator new fails: bad_alloc, or the end where there are no exceptions.
    [[noreturn]] static void OutOfMemory() {
#if defined(__cpp_exceptions)
        throw std::bad_alloc();
#else
        std::abort();
#endif
    }
    struct Free {
        void operator()(ShapeRecord* records) const { std::free(records); }
    };
    // calloc: fresh memory from the system is known to be zero and is not written again.
    ShapeRecord* Records() {
        if (!m_records) {
            m_records.reset(
                static_cast<ShapeRecord*>(std::calloc(kMaxShapes, sizeof(ShapeRecord))));
            if (!m_records) OutOfMemory();
        }
        return m_records.get();
    }
    std::unique_ptr<ShapeRecord[], Free> m_records;
};

// Pentagons found per order during the last painting, by kind and orientation.
struct PentagonCounts {
    int bigUp = 0;  // big, pointing towards +x
    int bigDown = 0;
    int smallUp = 0;
    int smallDown = 0;
};

// How the pentagons of one kind in one order are drawn.
struct PentagonStyle {
    char kind = 'B';
    bool drawOutline = false;
    int outlineEntry = 0;
    bool drawStar = false;
    int starEntry = 0;
    bool drawSolid = false;
    int solidEntry = 0;
    double transparency = 0.5;
    bool gradient = false;
};

// One pentagon as the raster paints it: pixel vertices, what is drawn, colours in picture packing.
struct PentagonPaint {
    PentagonVertices pixel{};
    bool fill = false;
    bool gradient = false;    // gradient instead of flat fill
    FigurePoint direction{};  // shading direction, (0, 0) for the radial form
    double radius = 0.0;      // gradient radius in pixels
    bool outline = false;
    bool star = false;
    std::uint32_t solidColour = 0;
    std::uint32_t outlineColour = 0;
    std::uint32_t starColour = 0;
    double transparency = 0.0;
};

// One band's part of a painting shared by several bands (band_painting.cpp): the band counts and
// records only the pentagons whose vertex 3 lies in its strip of figure y, so that the strips of
// all bands together count every pentagon once; its search may skip pairs whose pentagon cannot
// reach its rows. The painted pixels are those of the plain band painting.
struct BandShare {
    // The strip: low <= y < high, either side open; NaN belongs to the strip open below.
    double low = 0.0, high = 0.0;
    bool lowOpen = true, highOpen = true;
    bool windowed = false;  // the search skips pairs beyond the band's rows

    // A recorded solid pentagon with its place in the whole painting's search.
    struct Shape {
        int search = 0;  // FindPentagons calls of the painting before this one
        int i = 0, j = 0;
        bool down = false;
        ShapeRecord record;
    };
    std::vector<Shape> shapes;  // in search order, at most kMaxShapes
    std::array<PentagonCounts, kOrderCount> counts{};
    int searches = 0;

    bool Owns(double y) const { return (lowOpen || y >= low) && (highOpen || !(y >= high)); }
};

// Result of FindInSeries: status -1 below, 1 above, 0 found, 10 between two elements.
struct SeriesHit {
    int status = 0;
    int index = 0;
};

class FigureEngine : public FigureParams {
  public:
    FigureEngine();  // zero-filled record, geometry constants, then ResetFigure()

    // Parameters and transform (figure_engine.cpp).
    void ResetFigure();
    void SetNamesFromPath(const std::string& path);
    void UpdateTransform();
    std::pair<std::int64_t, std::int64_t> FigureToPixel(double x, double y) const;
    std::pair<double, double> PixelToFigure(double px, double py) const;
    std::pair<std::int64_t, std::int64_t> FigureToScreen(double x, double y) const;
    std::pair<double, double> ScreenToFigure(double px, double py) const;

    // Colour table: COLORREF packing (red low) and picture packing (blue low).
    COLORREF GetColour(int entry) const;
    void SetColour(COLORREF colour, int entry);
    std::uint32_t GetDibColour(int entry) const;
    static COLORREF AdjustChannel(COLORREF colour, int byteIndex, int step);

    // Painting into locked 24-bit rows of m_nRowBytes bytes; order -1 paints every drawn order,
    // 0..9 that order alone; any other order paints only the background (painting.cpp).
    void PaintFigure(std::uint8_t* pixels, int order, UserPrompts& ui);
    // The same painting restricted to rows firstRow .. firstRow + rowCount − 1 of the whole
    // picture, held in rows (the band's first row first, m_nRowBytes apart): every coordinate is
    // the whole picture's, only the band's pixels are written. The bands of a picture, painted in
    // any order, give the bytes of PaintFigure; the shape list is the whole painting's.
    void PaintBand(std::uint8_t* rows, int firstRow, int rowCount, int order, UserPrompts& ui);
    // PaintBand as one band of a shared painting: counts and solid pentagons go to share, not to
    // m_counts and m_shapes.
    void PaintBand(std::uint8_t* rows, int firstRow, int rowCount, int order, UserPrompts& ui,
                   BandShare& share);
    void PaintOrder(int order, const OrderSettings& settings, bool gradient, UserPrompts& ui);
    // Runs the painting of PaintFigure without a picture and hands every item it would draw to
    // walker, in painting order. Leaves the series, shape list and counts as a painting does.
    void WalkFigure(int order, FigureWalker& walker, UserPrompts& ui);

    // Series and line families (series.cpp).
    static FigurePoint FamilyDirection(int family);
    bool BuildSeries(UserPrompts& ui);
    SeriesHit FindInSeries(double c) const;
    std::pair<int, int> VisibleRange(int family) const;
    void DrawFamilyLine(int family, double position, int entry, double transparency);
    void PaintLines(int order, const OrderSettings& settings);
    bool MoveReference(int index, UserPrompts& ui);

    // Pentagon search and drawing (pentagons.cpp).
    void FindPentagons(const PentagonStyle& style);
    bool TryPentagonUp(int i, int j, const PentagonStyle& style);
    bool TryPentagonDown(int i, int j, const PentagonStyle& style);
    void DrawPentagon(int i, int j, double signedSize, const PentagonStyle& style);
    // The vertices of the pentagon on the family lines at t0 and t1 in figure coordinates, and
    // the box of their pixels; false when the box is beside the picture, else the pixels too.
    bool PentagonCorners(double t0, double t1, const PentagonOffsets& offsets,
                         FigurePoint (&figure)[5], PentagonVertices& pixel, PixelBox& box) const;
    // Vertex k of the pentagon of this signed size relative to its vertex 3: s·(u_k − u_3).
    PentagonOffsets OffsetsOf(double signedSize) const;

    // Raster primitives on the locked picture (raster.cpp).
    void FillBackground();
    void BlendPixel(std::int64_t x, std::int64_t y, std::uint32_t colour, double t);
    void DrawSegment(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                     std::uint32_t colour, double t);
    void FillPentagon(const PentagonVertices& v, std::uint32_t colour, double t);
    // direction (0, 0) selects the radial shading used for a pentagon at the figure origin.
    void FillPentagonGradient(const PentagonVertices& v, FigurePoint direction, double radius,
                              std::uint32_t solid, std::uint32_t outline, double t);
    // One found pentagon: its fill, then per vertex its edge and its star line.
    void PaintPentagon(const PentagonPaint& pentagon);
    void PaintPentagon(const PentagonPaint& pentagon, const PixelBox& box);  // box of its pixels
    static std::uint32_t BlendColours(std::uint32_t c1, std::uint32_t c2, double f);
    // Reads through m_pBits (set during a painting) or through the given locked rows.
    std::pair<bool, COLORREF> ReadPixel(std::int64_t x, std::int64_t y) const;
    std::pair<bool, COLORREF> ReadPixel(const std::uint8_t* pixels, std::int64_t x,
                                        std::int64_t y) const;

    std::int32_t m_nRowBytes = 0;  // set by the document when it allocates the picture

    // Series tables of the order built last.
    GoldenInt m_orderScale{1, 0};
    std::int32_t m_nFirst = 0;
    std::int32_t m_nLast = 0;
    std::int32_t m_nRefIndex = 0;
    std::int32_t m_nLookupShift = 0;
    std::array<GoldenInt, kSeriesElements> m_elements{};
    std::array<double, kSeriesElements> m_values{};
    std::array<char, kSeriesElements> m_stepTypes{};
    std::array<std::int32_t, kLookupSlots> m_lookup{};

    // Geometry constants, fixed at construction.
    std::array<FigurePoint, kFamilyCount> m_u{};  // family normals at k × 72°
    // u_k − u_3: vertex k of a pentagon of size 1 relative to its vertex 3.
    std::array<FigurePoint, kFamilyCount> m_corner{};
    std::array<GoldenInt, kFamilyCount> m_alpha{};  // u_k = α_k·u_0 + β_k·u_1
    std::array<GoldenInt, kFamilyCount> m_beta{};
    std::array<GoldenInt, kFamilyCount> m_c{};           // edge offsets of a pentagon of radius 2
    std::array<std::array<double, 2>, 2> m_intersect{};  // (t0, t1) -> point on both lines

    // Shape list and statistics of the last painting.
    ShapeList m_shapes;
    std::int32_t m_nShapes = 0;
    std::int32_t m_nPaintingOrder = 0;
    std::array<PentagonCounts, kOrderCount> m_counts{};

    // Painting state: the locked picture rows, valid only while PaintFigure runs.
    std::uint8_t* m_pBits = nullptr;
    // Set only while WalkFigure runs.
    FigureWalker* m_pWalker = nullptr;
    // The rows of the whole picture that m_pBits holds, from m_nBandStart (its first row) up to
    // but excluding m_nBandEnd; outside a band painting the whole picture.
    std::int64_t m_nBandStart = 0;
    std::int64_t m_nBandEnd = std::numeric_limits<std::int64_t>::max();
    BandShare* m_pShare = nullptr;  // set while painting one band of a shared painting

  private:
    void SetDefaultColours();
    void SetDefaultSeries();
    void SetDefaultOrders();
    void BuildGeometry();
    std::uint8_t* PixelAt(std::int64_t x, std::int64_t y) const;
    // The rows painted, within the picture: [BandStart(), BandEnd()).
    std::int64_t BandStart() const { return std::max<std::int64_t>(m_nBandStart, 0); }
    std::int64_t BandEnd() const { return std::min<std::int64_t>(m_nBandEnd, m_nHeight); }
    // The figure y range of vertex 3 of the pentagons of this size that can reach the band's
    // rows, for a windowed band; false when there is no usable bound.
    bool BandReach(double signedSize, double& low, double& high) const;
    // Counts the pentagon and records it when solid, in the whole painting or in the band's share.
    void CountPentagon(int i, int j, double signedSize, const PentagonStyle& style,
                       const FigurePoint (&vertex)[5]);
    bool PictureIsUsable() const;
    GoldenInt PentagonScale(char kind) const;
    bool BoxMeetsPicture(const PixelBox& box) const;
    // Pentagons within a 4 x 4 pixel box, painted through the box's cells (x + 4y); false,
    // painting nothing, for the others.
    bool PaintSmallPentagon(const PentagonPaint& pentagon, const PixelBox& box,
                            const PentagonBlends& blends);
    // The style's prepared blends, or null when there is no picture to paint; they stay valid
    // while only pentagons of this style are painted.
    const PentagonBlends* BlendsForPainting(const PentagonPaint& pentagon) const;
    // PaintPentagon for a usable picture and a box that meets it.
    void PaintPentagonWith(const PentagonPaint& pentagon, const PixelBox& box,
                           const PentagonBlends& blends);
    // Within a 2 x 2 box, with at most one kind of line: cells x + 2y.
    using TinyCells = std::array<std::uint8_t*, 4>;
    void PaintTinyPentagon(const PentagonPaint& pentagon, const PixelBox& box,
                           const PentagonBlends& blends);
    void FillTinyPentagon(const PentagonPaint& pentagon, unsigned inside, const TinyCells& at,
                          const PentagonBlends& blends);
    // The segment raster with the blend table rows of its colour already looked up.
    using BlendRows = std::array<const std::uint8_t*, 3>;
    void DrawSegmentWith(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                         const BlendRows& rows);
    int LookupElement(GoldenInt position) const;
    bool StepMatches(int index, char kind) const;
    // The colours and items of a style, prepared once for all its pentagons.
    PentagonPaint BrushOf(const PentagonStyle& style) const;
    // Fills in the pentagon's own part of paint (pixels, shading) over the style's part.
    void DrawPentagon(int i, int j, double signedSize, const PentagonOffsets& offsets,
                      const PentagonStyle& style, PentagonPaint& paint,
                      const PentagonBlends* blends);
};

inline std::pair<std::int64_t, std::int64_t> FigureEngine::FigureToPixel(double x, double y) const {
    return {NearestPixel((x - m_dCentreX) * m_transform.scale) + m_transform.halfWidth,
            NearestPixel((y - m_dCentreY) * m_transform.scale) + m_transform.halfHeight};
}

// The working copy the settings dialog edits; constructed with defaults before the program runs.
extern FigureEngine g_figureEdit;
