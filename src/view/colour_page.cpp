#include "view/colour_page.h"

#include <QColorDialog>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <cmath>
#include <cstdint>

#include "document/dib_doc.h"
#include "picture/user_prompts.h"

bool g_bShowColorPageNote = true;

namespace {

using L = ColorPageLayout;

constexpr int kThirdWidth = L::m_nCellWidth / 3;    // 27
constexpr int kThirdHeight = L::m_nCellHeight / 3;  // 24
constexpr int kWheelStep = 10;
constexpr double kTransparencyPerStep = 0.01;
const QColor kGreyText(150, 150, 150);

constexpr COLORREF Rgb(int red, int green, int blue) {
    return COLORREF(red) | COLORREF(green) << 8 | COLORREF(blue) << 16;
}

// The near-white, grey and near-black the lower bar mixes each colour with, left to right.
constexpr std::array<COLORREF, 3> kLowerBarGreys = {Rgb(250, 250, 250), Rgb(130, 130, 130),
                                                    Rgb(10, 10, 10)};

const char* const kNoteText =
    "Now you enter the color select page.\nThis page enables you to select colors,\n "
    "transparency and orders you draw.\nPress 'Esc' to leave this page without using the new "
    "colors, and 'Enter' to accept the new choice. This page has a seperate Help Page.\nPress "
    "'Yes' if you want to see this message again when entering this page, otherwise 'No'.";
const char* const kUseResultText = "Use this result?";

int Channel(COLORREF colour, int index) {
    return int(colour >> (8 * index) & 0xFF);
}

QColor ToQColor(COLORREF colour) {
    return QColor(Channel(colour, 0), Channel(colour, 1), Channel(colour, 2));
}

// Integer division of a coordinate that may lie left of or above the grid by the cell size.
int CellIndex(long long distance, int cellSize) {
    return distance < 0 ? -1 : int(distance / cellSize);
}

ColorPagePart PartOf(const ColorPageHit& hit) {
    if (hit.hit) {
        static constexpr ColorPagePart kBands[] = {ColorPagePart::Gauges, ColorPagePart::CentralBar,
                                                   ColorPagePart::LowerBar};
        return kBands[hit.Band()];
    }
    const bool inColumns = hit.column >= 0 && hit.column < L::m_nColumns;
    const bool inRows = hit.row >= 0 && hit.row < L::m_nRows;
    if (inColumns && hit.row == -1) return ColorPagePart::ColumnHead;
    if (inRows && hit.column == -1) return ColorPagePart::RowName;
    return ColorPagePart::Nothing;
}

bool OrderIsDrawn(const FigureEngine& figure, int order) {
    return figure.m_orders[order].drawOrder != 0;
}

bool ItemIsDrawnSomewhere(const FigureEngine& figure, int row) {
    for (const OrderSettings& settings : figure.m_orders) {
        if (settings.drawItems[row] != 0) return true;
    }
    return false;
}

// Draws text with its top-left corner at (x, top) in colour, on the opaque white background.
void DrawLabel(QPainter& painter, int x, int top, const QString& text, const QColor& colour) {
    painter.setPen(colour);
    painter.drawText(QPoint(x, top + QFontMetrics(painter.font()).ascent()), text);
}

void DrawColumnHeads(QPainter& painter, const FigureEngine& figure) {
    const QFontMetrics metrics(painter.font());
    for (int order = 0; order < L::m_nColumns; ++order) {
        const QString text = QString::asprintf("Order %i ", order);
        const int right = L::m_nGridLeft + (order + 1) * L::m_nCellWidth;
        DrawLabel(painter, right - metrics.horizontalAdvance(text), 0, text,
                  OrderIsDrawn(figure, order) ? QColor(Qt::black) : kGreyText);
    }
}

void DrawRowNames(QPainter& painter, const FigureEngine& figure) {
    for (int row = 0; row < L::m_nRows; ++row) {
        const int top = L::m_nGridTop + L::m_nCellHeight / 4 + row * L::m_nCellHeight;
        DrawLabel(painter, 10, top, QString::fromLatin1(L::m_szItemNames[row]),
                  ItemIsDrawnSomewhere(figure, row) ? QColor(Qt::black) : kGreyText);
    }
}

void DrawGauges(QPainter& painter, int x, int y, COLORREF colour) {
    static const QColor kPure[] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)};
    for (int k = 0; k < 3; ++k) {
        const int level = int(std::floor(Channel(colour, k) * kThirdHeight / 256.0 + 0.5));
        const int left = x + k * kThirdWidth;
        painter.fillRect(QRect(left, y, kThirdWidth, kThirdHeight - level), Qt::white);
        painter.fillRect(QRect(left, y + kThirdHeight - level, kThirdWidth, level), kPure[k]);
    }
}

void DrawLowerBar(QPainter& painter, int x, int y, COLORREF colour, double t) {
    for (int k = 0; k < 3; ++k) {
        const QRect block(x + k * kThirdWidth, y + 2 * kThirdHeight, kThirdWidth, kThirdHeight);
        painter.fillRect(block, ToQColor(MixColour(colour, kLowerBarGreys[k], t)));
    }
}

void DrawOutline(QPainter& painter, int x, int y, bool on) {
    const int right = x + L::m_nCellWidth;
    const int bottom = y + L::m_nCellHeight;
    painter.drawLine(x, y, right, y);
    painter.drawLine(right, y, right, bottom);
    painter.drawLine(right, bottom, x, bottom);
    painter.drawLine(x, bottom, x, y);
    if (!on) {
        painter.drawLine(x, y, right, bottom);
        painter.drawLine(right, y, x, bottom);
    }
}

QPen GridPen() {
    return QPen(QColor::fromRgb(L::GRID_PEN_COLOUR), L::GRID_PEN_WIDTH, Qt::SolidLine, Qt::RoundCap,
                Qt::RoundJoin);
}

double ClampTransparency(double t) {
    if (t > 1.0) return 1.0;
    if (!(t >= 0.0)) return 0.0;  // also a NaN read from a damaged file
    return t;
}

}  // namespace

int ColorPageHit::Band() const {
    return offsetY * 3 / L::m_nCellHeight;
}

int ColorPageHit::Strip() const {
    return offsetX * 3 / L::m_nCellWidth;
}

ColorPageHit HitTestColorPage(QPoint p) {
    const long long dx = (long long)p.x() - L::m_nGridLeft;
    const long long dy = (long long)p.y() - L::m_nGridTop;
    ColorPageHit hit;
    hit.column = CellIndex(dx, L::m_nCellWidth);
    hit.row = CellIndex(dy, L::m_nCellHeight);
    hit.hit = hit.column >= 0 && hit.column < L::m_nColumns && hit.row >= 0 && hit.row < L::m_nRows;
    if (hit.hit) {
        hit.offsetX = int(dx - (long long)hit.column * L::m_nCellWidth);
        hit.offsetY = int(dy - (long long)hit.row * L::m_nCellHeight);
    }
    hit.part = PartOf(hit);
    return hit;
}

QSize ColorPageScrollSize() {
    return QSize(L::m_nGridLeft + L::m_nColumns * L::m_nCellWidth,
                 L::m_nGridTop + L::m_nRows * L::m_nCellHeight);
}

int ColorPageEntry(int order, int row) {
    return order * L::m_nColumns + L::m_nRowItem[row];
}

COLORREF MixColour(COLORREF colour, COLORREF grey, double t) {
    return FigureEngine::BlendColours(grey, colour, t) & 0x00FFFFFF;
}

QFont SelectLabelFont(QPainter& painter, int height) {
    const QFont previous = painter.font();
    QFont font(previous);
    font.setFamily(QStringLiteral("System"));
    font.setStyleHint(QFont::Serif);
    font.setFixedPitch(true);
    font.setPixelSize(height);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    painter.setFont(font);
    return previous;
}

void PaintColorPage(QPainter& painter, const FigureEngine& figure, QPoint scrollPosition) {
    painter.save();
    painter.fillRect(painter.window(), Qt::white);
    painter.translate(-scrollPosition);
    SelectLabelFont(painter, L::m_nGridTop * 2 / 3);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::white);
    DrawColumnHeads(painter, figure);
    DrawRowNames(painter, figure);
    painter.setPen(GridPen());
    for (int row = 0; row < L::m_nRows; ++row) {
        for (int order = 0; order < L::m_nColumns; ++order) {
            DrawColorCell(painter, figure, order, row);
        }
    }
    painter.restore();
}

void DrawColorCell(QPainter& painter, const FigureEngine& figure, int order, int row) {
    if (order < 0 || order >= L::m_nColumns || row < 0 || row >= L::m_nRows) return;
    const COLORREF colour = figure.GetColour(ColorPageEntry(order, row));
    const OrderSettings& settings = figure.m_orders[order];
    const int x = L::m_nGridLeft + order * L::m_nCellWidth;
    const int y = L::m_nGridTop + row * L::m_nCellHeight;
    DrawGauges(painter, x, y, colour);
    DrawLowerBar(painter, x, y, colour, settings.transparency);
    painter.fillRect(QRect(x, y + kThirdHeight, 3 * kThirdWidth, kThirdHeight), ToQColor(colour));
    DrawOutline(painter, x, y, settings.drawItems[row] != 0);
}

QImage RenderColourPageImage(const FigureEngine& figure, QRect part) {
    if (part.isEmpty()) return QImage();
    QImage image(part.size(), QImage::Format_RGB32);
    if (image.isNull()) return image;
    QPainter painter(&image);
    PaintColorPage(painter, figure, part.topLeft());
    return image;
}

ColorPageTransition SelectColorPage(bool colorPageShown, CDibDoc& doc, UserPrompts& ui) {
    if (!colorPageShown) {
        if (g_bShowColorPageNote) {
            g_bShowColorPageNote =
                ui.ShowMessage(kNoteText, MsgButtons::YesNo, MsgIcon::Question) == IDYES;
        }
        return ColorPageTransition::Entered;
    }
    switch (ui.ShowMessage(kUseResultText, MsgButtons::YesNoCancel, MsgIcon::Question)) {
        case IDYES:
            doc.RenderFigure(-1, false);
            return ColorPageTransition::LeftRendered;
        case IDNO:
            doc.RestoreAcceptedCopy();
            return ColorPageTransition::LeftReverted;
        default:
            return ColorPageTransition::Unchanged;
    }
}

ColorPageTransition ColorPageChar(int character, bool drawOnlyOne, CDibDoc& doc) {
    if (character == '\r') {
        doc.RenderFigure(doc.m_figure.m_nCurrentOrder, drawOnlyOne);
        return ColorPageTransition::LeftRendered;
    }
    if (character == 27) {
        doc.RestoreAcceptedCopy();
        return ColorPageTransition::LeftReverted;
    }
    return ColorPageTransition::Unchanged;
}

bool ReferenceLineChecked(const FigureEngine& figure, bool bitmapView) {
    const int order = figure.m_nCurrentOrder;
    if (bitmapView || order < 0 || order >= kOrderCount) return false;
    return figure.m_orders[order].drawItems[ITEM_REFERENCE_LINE] != 0;
}

ColorPage::ColorPage(QWidget* dialogParent) : m_pDialogParent(dialogParent) {}

bool ColorPage::MousePress(const FigureEngine& figure, QPoint pagePoint) {
    m_bSwallowRelease = false;
    m_colorDragged = COLOR_NONE;
    const ColorPageHit hit = HitTestColorPage(pagePoint);
    if (hit.part == ColorPagePart::CentralBar) {
        m_colorDragged = figure.GetColour(ColorPageEntry(hit.column, hit.row));
    }
    return false;
}

bool ColorPage::MouseRelease(FigureEngine& figure, QPoint pagePoint) {
    // The release that ends a double click belongs to the colour dialog it opened.
    if (m_bSwallowRelease) {
        m_bSwallowRelease = false;
        return false;
    }
    const ColorPageHit hit = HitTestColorPage(pagePoint);
    switch (hit.part) {
        case ColorPagePart::Gauges:
        case ColorPagePart::LowerBar: {
            std::uint8_t& item = figure.m_orders[hit.column].drawItems[hit.row];
            item = item ? 0 : 1;
            return true;
        }
        case ColorPagePart::CentralBar:
            if (m_colorDragged != COLOR_NONE) {
                figure.SetColour(m_colorDragged, ColorPageEntry(hit.column, hit.row));
            }
            return true;
        case ColorPagePart::ColumnHead: {
            std::uint8_t& drawn = figure.m_orders[hit.column].drawOrder;
            drawn = drawn ? 0 : 1;
            return true;
        }
        case ColorPagePart::RowName:
            for (OrderSettings& settings : figure.m_orders) settings.drawItems[hit.row] = 0;
            return true;
        case ColorPagePart::Nothing:
            break;
    }
    return false;
}

bool ColorPage::MouseDoubleClick(FigureEngine& figure, QPoint pagePoint, bool bitmapView) {
    const ColorPageHit hit = HitTestColorPage(pagePoint);
    if (bitmapView || !hit.hit) return false;
    EditColor(figure, ColorPageEntry(hit.column, hit.row), bitmapView);
    m_bSwallowRelease = true;
    return true;
}

bool ColorPage::MouseWheel(FigureEngine& figure, QPoint pagePoint, int delta) {
    const ColorPageHit hit = HitTestColorPage(pagePoint);
    if (delta == 0 || !hit.hit) return false;
    const int step = delta > 0 ? kWheelStep : -kWheelStep;
    if (hit.part == ColorPagePart::CentralBar) {
        const int entry = ColorPageEntry(hit.column, hit.row);
        figure.SetColour(FigureEngine::AdjustChannel(figure.GetColour(entry), hit.Strip(), step),
                         entry);
        return true;
    }
    if (hit.part == ColorPagePart::LowerBar) {
        double& t = figure.m_orders[hit.column].transparency;
        t = ClampTransparency(t + step * kTransparencyPerStep);
        return true;
    }
    return false;
}

bool ColorPage::EditColor(FigureEngine& figure, int entry, bool bitmapView) {
    if (bitmapView || entry < 0 || entry >= kColourEntries) return false;
    COLORREF colour = figure.GetColour(entry);
    const bool chosen = m_chooseColour ? m_chooseColour(colour) : ChooseWithDialog(colour);
    if (!chosen) return false;
    figure.SetColour(colour & 0x00FFFFFF, entry);
    return true;
}

bool ColorPage::BackGroundCommand(CDibDoc& doc, bool bitmapView) {
    return RecolourAndRender(doc, SLOT_BACKGROUND, bitmapView);
}

bool ColorPage::ReferenceLineCommand(CDibDoc& doc, bool bitmapView) {
    return RecolourAndRender(doc, SLOT_REFERENCE_LINE, bitmapView);
}

bool ColorPage::ChooseWithDialog(COLORREF& colour) const {
    const QColor chosen = QColorDialog::getColor(ToQColor(colour), m_pDialogParent);
    if (!chosen.isValid()) return false;
    colour = Rgb(chosen.red(), chosen.green(), chosen.blue());
    return true;
}

bool ColorPage::RecolourAndRender(CDibDoc& doc, int entry, bool bitmapView) {
    if (!EditColor(doc.m_figure, entry, bitmapView)) return false;
    doc.RenderFigure(-1, false);
    return true;
}
