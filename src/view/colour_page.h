// The colour page: a grid of ten order columns by eight item rows that the view shows instead
// of the picture. Each cell shows one item's colour in one order as three channel gauges, a
// central bar in the colour itself and a lower bar mixing it with near-white, grey and near-black
// by the order's transparency, crossed out when the item is off. Clicks switch items and orders,
// a press and release between central bars copies a colour, the wheel changes a channel or the
// transparency, a double click opens the colour dialog.
//
// Every change goes straight into the document's working parameters; the page renders nothing.
// Leaving with Enter (or "Use this result?" Yes) renders and accepts them, Escape (or No)
// restores the accepted ones. The view holds one ColorPage for its whole life and forwards its
// events here; page points are viewport points plus the scroll position. A release outside the
// viewport (delivered through the mouse grab) is not forwarded: everything left of the grid
// counts as a row name, and a click there clears the row in every order.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <array>
#include <functional>

#include "figure/figure_engine.h"

class CDibDoc;
class QPainter;
class QWidget;
class UserPrompts;

// A colour value no real colour (0x00BBGGRR) can have: nothing is being dragged.
constexpr COLORREF COLOR_NONE = 0xFF000000;

// Command identifiers the page serves.
constexpr int ID_COLOR_BACKGROUND = 32785;
constexpr int ID_COLOR_REFERENCE_LINE = 32799;
constexpr int ID_COLOR_PAGE = 32816;
constexpr int ID_COLOR_HELP = 32817;

// Whether entering the page shows the note; answering No silences it until the program ends.
extern bool g_bShowColorPageNote;

// Which part of the page a point lies on.
enum class ColorPagePart { Nothing, ColumnHead, RowName, Gauges, CentralBar, LowerBar };

struct ColorPageHit {
    bool hit = false;  // inside a cell
    int column = -1;   // order; -1 left of the grid
    int row = -1;      // item row; -1 above the grid
    int offsetX = 0;   // offsets inside the cell
    int offsetY = 0;
    ColorPagePart part = ColorPagePart::Nothing;

    int Band() const;   // 0 gauges, 1 central bar, 2 lower bar
    int Strip() const;  // 0 red, 1 green, 2 blue
};

// Geometry and rows of the page.
struct ColorPageLayout {
    static constexpr int m_nCellWidth = 81;
    static constexpr int m_nCellHeight = 72;
    static constexpr int m_nGridLeft = 100;
    static constexpr int m_nGridTop = 20;
    static constexpr int m_nColumns = 10;
    static constexpr int m_nRows = 8;
    static constexpr std::array<const char*, m_nRows> m_szItemNames = {
        "Lines",    "Big Penta", "Big Star",  "Sml Penta",
        "Sml Star", "Ref. Line", "Big Solid", "Sml Solid"};
    static constexpr std::array<int, m_nRows> m_nRowItem = {2, 3, 4, 5, 6, 7, 8, 9};
    static constexpr QRgb GRID_PEN_COLOUR = 0xFF326496;  // RGB(50, 100, 150)
    static constexpr int GRID_PEN_WIDTH = 2;
};

// Hit test of a page point; pure.
ColorPageHit HitTestColorPage(QPoint p);

// The page's scroll size: 910 x 596.
QSize ColorPageScrollSize();

// The colour-table entry shown by the cell of an order and a row.
int ColorPageEntry(int order, int row);

// The lower-bar mix of a colour with a grey by transparency t, both in COLORREF packing.
COLORREF MixColour(COLORREF colour, COLORREF grey, double t);

// Painting. PaintColorPage fills the painter's device white and paints the page scrolled by
// scrollPosition; RenderColourPageImage paints the page rectangle part into an image of its size.
QFont SelectLabelFont(QPainter& painter, int height);
void PaintColorPage(QPainter& painter, const FigureEngine& figure, QPoint scrollPosition);
void DrawColorCell(QPainter& painter, const FigureEngine& figure, int order, int row);
QImage RenderColourPageImage(const FigureEngine& figure, QRect part);

// How a page command changed the view.
enum class ColorPageTransition {
    Unchanged,     // stay as before
    Entered,       // m_bColorPage := true; invalidate with erase
    LeftRendered,  // m_bColorPage := false; rendered; set m_bOverlayStale; invalidate with erase
    LeftReverted,  // m_bColorPage := false; reverted; set m_bOverlayStale; invalidate with erase
};

// Command 32816: enters the page (with the note) or asks "Use this result?" to leave it.
ColorPageTransition SelectColorPage(bool colorPageShown, CDibDoc& doc, UserPrompts& ui);
// A character typed on the page: Enter renders the orders drawOnlyOne selects and leaves, Escape
// reverts and leaves; any other character is Unchanged and passes on.
ColorPageTransition ColorPageChar(int character, bool drawOnlyOne, CDibDoc& doc);
// Update handler of 32799: ticked when the current order draws its reference line.
bool ReferenceLineChecked(const FigureEngine& figure, bool bitmapView);

// The mouse state of the page and the colour dialog it opens.
class ColorPage {
  public:
    // Returns the chosen colour in colour on OK; false on Cancel.
    using ColourChooser = std::function<bool(COLORREF& colour)>;

    explicit ColorPage(QWidget* dialogParent = nullptr);

    // Mouse on the page; each returns whether the page must be painted again.
    bool MousePress(const FigureEngine& figure, QPoint pagePoint);
    bool MouseRelease(FigureEngine& figure, QPoint pagePoint);
    bool MouseDoubleClick(FigureEngine& figure, QPoint pagePoint, bool bitmapView);
    bool MouseWheel(FigureEngine& figure, QPoint pagePoint, int delta);

    // The colour dialog for a colour-table entry; true when a colour was chosen and stored.
    bool EditColor(FigureEngine& figure, int entry, bool bitmapView);

    // Commands 32785 "Back Ground" and 32799 "Reference Line": true when a colour was chosen and
    // the figure rendered (the view then sets m_bOverlayStale and invalidates without erase).
    bool BackGroundCommand(CDibDoc& doc, bool bitmapView);
    bool ReferenceLineCommand(CDibDoc& doc, bool bitmapView);

    // Replaces the colour dialog, e.g. by a script in tests; an empty chooser restores it.
    void SetColourChooser(ColourChooser chooser) { m_chooseColour = std::move(chooser); }

    COLORREF m_colorDragged = COLOR_NONE;

  private:
    bool ChooseWithDialog(COLORREF& colour) const;
    bool RecolourAndRender(CDibDoc& doc, int entry, bool bitmapView);

    QWidget* m_pDialogParent;
    ColourChooser m_chooseColour;
    bool m_bSwallowRelease = false;
};
