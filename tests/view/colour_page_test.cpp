#include "view/colour_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <climits>
#include <cstring>
#include <memory>

#include "document/dib_doc.h"
#include "support/scripted_prompts.h"
#include "view/dib_view.h"

namespace {

using L = ColorPageLayout;

constexpr COLORREF Rgb(int red, int green, int blue) {
    return COLORREF(red) | COLORREF(green) << 8 | COLORREF(blue) << 16;
}

// Page point inside the cell of an order and a row, at an offset from the cell's corner.
QPoint InCell(int order, int row, int offsetX, int offsetY) {
    return QPoint(L::m_nGridLeft + order * L::m_nCellWidth + offsetX,
                  L::m_nGridTop + row * L::m_nCellHeight + offsetY);
}
QPoint Gauges(int order, int row, int strip = 0) {
    return InCell(order, row, 13 + 27 * strip, 12);
}
QPoint CentralBar(int order, int row, int strip = 0) {
    return InCell(order, row, 13 + 27 * strip, 36);
}
QPoint LowerBar(int order, int row, int block = 0) {
    return InCell(order, row, 13 + 27 * block, 60);
}
QPoint ColumnHead(int order) {
    return QPoint(L::m_nGridLeft + order * L::m_nCellWidth + 40, 5);
}
QPoint RowName(int row) {
    return QPoint(30, L::m_nGridTop + row * L::m_nCellHeight + 30);
}

QRgb Pixel(const QImage& image, QPoint p) {
    return image.pixel(p) & 0x00FFFFFF;
}
QRgb ToQRgb(COLORREF c) {
    return qRgb(c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF) & 0x00FFFFFF;
}
constexpr QRgb kPen = 0x326496;  // RGB(50, 100, 150)
constexpr QRgb kWhite = 0xFFFFFF;

// Darkest grey level of the non-white pixels in a rectangle of the painted page (255: none).
int DarkestLevel(const QImage& image, QRect area) {
    int darkest = 255;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            darkest = std::min({darkest, qRed(p), qGreen(p), qBlue(p)});
        }
    }
    return darkest;
}
QRect HeadArea(int order) {
    return QRect(L::m_nGridLeft + order * L::m_nCellWidth, 0, 81, 18);
}
QRect NameArea(int row) {
    return QRect(0, L::m_nGridTop + L::m_nCellHeight / 4 + row * L::m_nCellHeight, 98, 16);
}

class ColourPageTest : public ::testing::Test {
  protected:
    std::unique_ptr<FigureEngine> figure = std::make_unique<FigureEngine>();
    ColorPage page;
    std::vector<COLORREF> offered;  // initial colours the scripted dialog was opened with

    // The colour dialog answers OK with colour, or Cancel when colour is COLOR_NONE.
    void ScriptDialog(COLORREF colour) {
        page.SetColourChooser([this, colour](COLORREF& c) {
            offered.push_back(c);
            if (colour == COLOR_NONE) return false;
            c = colour;
            return true;
        });
    }
    QImage Render() { return RenderColourPageImage(*figure, QRect(QPoint(0, 0), QSize(910, 596))); }
};

// ---------------------------------------------------------------------------------------------
// Hit test

TEST(HitTestColorPage, FirstCellCornerAndTheBordersAroundIt) {
    ColorPageHit h = HitTestColorPage(QPoint(100, 20));
    EXPECT_TRUE(h.hit);
    EXPECT_EQ(h.column, 0);
    EXPECT_EQ(h.row, 0);
    EXPECT_EQ(h.offsetX, 0);
    EXPECT_EQ(h.offsetY, 0);
    EXPECT_EQ(h.part, ColorPagePart::Gauges);

    h = HitTestColorPage(QPoint(99, 20));
    EXPECT_FALSE(h.hit);
    EXPECT_EQ(h.column, -1);
    EXPECT_EQ(h.row, 0);
    EXPECT_EQ(h.part, ColorPagePart::RowName);

    h = HitTestColorPage(QPoint(100, 19));
    EXPECT_FALSE(h.hit);
    EXPECT_EQ(h.column, 0);
    EXPECT_EQ(h.row, -1);
    EXPECT_EQ(h.part, ColorPagePart::ColumnHead);

    EXPECT_EQ(HitTestColorPage(QPoint(99, 19)).part, ColorPagePart::Nothing);
    EXPECT_EQ(HitTestColorPage(QPoint(0, 0)).part, ColorPagePart::Nothing);
}

TEST(HitTestColorPage, CellBordersFallToTheNextCell) {
    EXPECT_EQ(HitTestColorPage(QPoint(180, 20)).column, 0);
    EXPECT_EQ(HitTestColorPage(QPoint(180, 20)).offsetX, 80);
    EXPECT_EQ(HitTestColorPage(QPoint(181, 20)).column, 1);
    EXPECT_EQ(HitTestColorPage(QPoint(181, 20)).offsetX, 0);
    EXPECT_EQ(HitTestColorPage(QPoint(100, 91)).row, 0);
    EXPECT_EQ(HitTestColorPage(QPoint(100, 91)).offsetY, 71);
    EXPECT_EQ(HitTestColorPage(QPoint(100, 92)).row, 1);
    EXPECT_EQ(HitTestColorPage(QPoint(100, 92)).offsetY, 0);
}

TEST(HitTestColorPage, BandsAreThirdsOfTheCellHeight) {
    EXPECT_EQ(HitTestColorPage(InCell(4, 5, 40, 23)).part, ColorPagePart::Gauges);
    EXPECT_EQ(HitTestColorPage(InCell(4, 5, 40, 24)).part, ColorPagePart::CentralBar);
    EXPECT_EQ(HitTestColorPage(InCell(4, 5, 40, 47)).part, ColorPagePart::CentralBar);
    EXPECT_EQ(HitTestColorPage(InCell(4, 5, 40, 48)).part, ColorPagePart::LowerBar);
    EXPECT_EQ(HitTestColorPage(InCell(4, 5, 40, 71)).part, ColorPagePart::LowerBar);
    EXPECT_EQ(HitTestColorPage(InCell(4, 5, 40, 48)).Band(), 2);
}

TEST(HitTestColorPage, StripsAreThirdsOfTheCellWidth) {
    EXPECT_EQ(HitTestColorPage(InCell(2, 3, 26, 30)).Strip(), 0);
    EXPECT_EQ(HitTestColorPage(InCell(2, 3, 27, 30)).Strip(), 1);
    EXPECT_EQ(HitTestColorPage(InCell(2, 3, 53, 30)).Strip(), 1);
    EXPECT_EQ(HitTestColorPage(InCell(2, 3, 54, 30)).Strip(), 2);
    EXPECT_EQ(HitTestColorPage(InCell(2, 3, 80, 30)).Strip(), 2);
}

TEST(HitTestColorPage, LastCellAndBeyondTheGrid) {
    ColorPageHit h = HitTestColorPage(QPoint(909, 595));
    EXPECT_TRUE(h.hit);
    EXPECT_EQ(h.column, 9);
    EXPECT_EQ(h.row, 7);
    EXPECT_EQ(h.part, ColorPagePart::LowerBar);

    h = HitTestColorPage(QPoint(910, 595));
    EXPECT_FALSE(h.hit);
    EXPECT_EQ(h.column, 10);
    EXPECT_EQ(h.part, ColorPagePart::Nothing);
    EXPECT_EQ(HitTestColorPage(QPoint(909, 596)).part, ColorPagePart::Nothing);
    EXPECT_EQ(HitTestColorPage(QPoint(910, 5)).part, ColorPagePart::Nothing);   // right of heads
    EXPECT_EQ(HitTestColorPage(QPoint(50, 596)).part, ColorPagePart::Nothing);  // below names
    EXPECT_EQ(HitTestColorPage(QPoint(909, 5)).part, ColorPagePart::ColumnHead);
    EXPECT_EQ(HitTestColorPage(QPoint(909, 5)).column, 9);
    EXPECT_EQ(HitTestColorPage(QPoint(5, 595)).part, ColorPagePart::RowName);
    EXPECT_EQ(HitTestColorPage(QPoint(5, 595)).row, 7);
}

TEST(HitTestColorPage, ExtremeCoordinatesFollowTheSameRules) {
    // Anything left of the grid is column -1, anything above it row -1, however far out.
    EXPECT_EQ(HitTestColorPage(QPoint(INT_MIN, 30)).part, ColorPagePart::RowName);
    EXPECT_EQ(HitTestColorPage(QPoint(INT_MIN, 30)).row, 0);
    EXPECT_EQ(HitTestColorPage(QPoint(300, INT_MIN)).part, ColorPagePart::ColumnHead);
    EXPECT_EQ(HitTestColorPage(QPoint(300, INT_MIN)).column, 2);
    for (QPoint p : {QPoint(INT_MIN, INT_MIN), QPoint(INT_MAX, INT_MAX), QPoint(INT_MAX, 30),
                     QPoint(300, INT_MAX), QPoint(INT_MIN, INT_MAX), QPoint(INT_MAX, INT_MIN)}) {
        const ColorPageHit h = HitTestColorPage(p);
        EXPECT_FALSE(h.hit);
        EXPECT_EQ(h.part, ColorPagePart::Nothing) << p.x() << ", " << p.y();
    }
}

TEST(ColourPageGeometry, ScrollSizeEntriesAndRows) {
    EXPECT_EQ(ColorPageScrollSize(), QSize(910, 596));
    EXPECT_EQ(ColorPageEntry(0, 0), 2);
    EXPECT_EQ(ColorPageEntry(3, 5), 37);
    EXPECT_EQ(ColorPageEntry(9, 7), 99);
    EXPECT_STREQ(L::m_szItemNames[2], "Big Star");
    EXPECT_STREQ(L::m_szItemNames[5], "Ref. Line");
    EXPECT_STREQ(L::m_szItemNames[7], "Sml Solid");
}

// ---------------------------------------------------------------------------------------------
// Lower-bar mixes

TEST(MixColour, HalfTransparentMixesWithTheThreeGreys) {
    const COLORREF c = Rgb(200, 100, 0);
    EXPECT_EQ(MixColour(c, Rgb(250, 250, 250), 0.5), Rgb(225, 175, 125));
    EXPECT_EQ(MixColour(c, Rgb(130, 130, 130), 0.5), Rgb(165, 115, 65));
    EXPECT_EQ(MixColour(c, Rgb(10, 10, 10), 0.5), Rgb(105, 55, 5));
}

TEST(MixColour, OpaqueShowsTheColourTransparentShowsTheGrey) {
    const COLORREF c = Rgb(17, 175, 193);
    EXPECT_EQ(MixColour(c, Rgb(250, 250, 250), 0.0), c);
    EXPECT_EQ(MixColour(c, Rgb(10, 10, 10), 0.0), c);
    EXPECT_EQ(MixColour(c, Rgb(130, 130, 130), 1.0), Rgb(130, 130, 130));
}

// ---------------------------------------------------------------------------------------------
// Clicks

TEST_F(ColourPageTest, ReleaseInGaugesOrLowerBarTogglesTheItem) {
    ASSERT_EQ(figure->m_orders[2].drawItems[ITEM_BIG_STAR], 0);
    page.MousePress(*figure, Gauges(2, 2));
    EXPECT_TRUE(page.MouseRelease(*figure, Gauges(2, 2)));
    EXPECT_EQ(figure->m_orders[2].drawItems[ITEM_BIG_STAR], 1);
    page.MousePress(*figure, LowerBar(2, 2, 2));
    EXPECT_TRUE(page.MouseRelease(*figure, LowerBar(2, 2, 2)));
    EXPECT_EQ(figure->m_orders[2].drawItems[ITEM_BIG_STAR], 0);
    EXPECT_EQ(figure->m_orders[1].drawItems[ITEM_BIG_STAR], 0);
    EXPECT_EQ(figure->m_orders[3].drawItems[ITEM_BIG_STAR], 0);
}

TEST_F(ColourPageTest, PressAndReleaseOnOneCentralBarChangesNothingButRepaints) {
    const FigureEngine before = *figure;
    EXPECT_FALSE(page.MousePress(*figure, CentralBar(5, 1)));
    EXPECT_TRUE(page.MouseRelease(*figure, CentralBar(5, 1)));
    EXPECT_EQ(std::memcmp(figure->m_colours, before.m_colours, sizeof before.m_colours), 0);
    EXPECT_EQ(figure->m_orders[5].drawItems, before.m_orders[5].drawItems);
}

TEST_F(ColourPageTest, ColumnHeadTogglesTheOrdersDrawFlag) {
    ASSERT_EQ(figure->m_orders[3].drawOrder, 1);
    page.MousePress(*figure, ColumnHead(3));
    EXPECT_TRUE(page.MouseRelease(*figure, ColumnHead(3)));
    EXPECT_EQ(figure->m_orders[3].drawOrder, 0);
    page.MousePress(*figure, ColumnHead(3));
    page.MouseRelease(*figure, ColumnHead(3));
    EXPECT_EQ(figure->m_orders[3].drawOrder, 1);
    EXPECT_EQ(figure->m_orders[4].drawOrder, 0);
}

TEST_F(ColourPageTest, RowNameClearsTheItemInEveryOrder) {
    figure->m_orders[0].drawItems[ITEM_BIG_STAR] = 1;
    figure->m_orders[9].drawItems[ITEM_BIG_STAR] = 1;
    page.MousePress(*figure, RowName(2));
    EXPECT_TRUE(page.MouseRelease(*figure, RowName(2)));
    for (const OrderSettings& settings : figure->m_orders) {
        EXPECT_EQ(settings.drawItems[ITEM_BIG_STAR], 0);
        EXPECT_EQ(settings.drawItems[ITEM_BIG_SOLID], 1);  // other rows untouched
    }
}

TEST_F(ColourPageTest, ClicksOutsideTheGridAndItsHeadingsAreIgnored) {
    const FigureEngine before = *figure;
    for (QPoint p : {QPoint(50, 5), QPoint(950, 5), QPoint(950, 300), QPoint(300, 650)}) {
        page.MousePress(*figure, p);
        EXPECT_FALSE(page.MouseRelease(*figure, p));
    }
    EXPECT_EQ(std::memcmp(figure->m_colours, before.m_colours, sizeof before.m_colours), 0);
    for (int order = 0; order < kOrderCount; ++order) {
        EXPECT_EQ(figure->m_orders[order].drawItems, before.m_orders[order].drawItems);
        EXPECT_EQ(figure->m_orders[order].drawOrder, before.m_orders[order].drawOrder);
    }
}

// ---------------------------------------------------------------------------------------------
// Dragging colours

TEST_F(ColourPageTest, DragCopiesAColourBetweenCentralBars) {
    const COLORREF source = figure->GetColour(8);  // big solid of order 0: 250, 37, 90
    ASSERT_EQ(source, Rgb(250, 37, 90));
    page.MousePress(*figure, CentralBar(0, 6, 2));
    EXPECT_EQ(page.m_colorDragged, source);
    EXPECT_TRUE(page.MouseRelease(*figure, CentralBar(4, 0, 1)));
    EXPECT_EQ(figure->GetColour(42), source);  // lines of order 4
    EXPECT_EQ(figure->GetColour(8), source);
}

TEST_F(ColourPageTest, PressOutsideACentralBarDragsNothing) {
    const COLORREF target = figure->GetColour(42);
    page.MousePress(*figure, CentralBar(0, 6));
    page.MousePress(*figure, Gauges(0, 6));  // a new press forgets the earlier colour
    EXPECT_EQ(page.m_colorDragged, COLOR_NONE);
    EXPECT_TRUE(page.MouseRelease(*figure, CentralBar(4, 0)));
    EXPECT_EQ(figure->GetColour(42), target);
}

TEST_F(ColourPageTest, DragEndingInTheGaugesTogglesInsteadOfColouring) {
    const COLORREF target = figure->GetColour(42);
    page.MousePress(*figure, CentralBar(0, 6));
    page.MouseRelease(*figure, Gauges(4, 0));
    EXPECT_EQ(figure->GetColour(42), target);
    EXPECT_EQ(figure->m_orders[4].drawItems[ITEM_LINES], 1);
}

// ---------------------------------------------------------------------------------------------
// Wheel

TEST_F(ColourPageTest, WheelUpOnRedSaturatesAt255) {
    figure->SetColour(Rgb(250, 40, 60), 53);  // big pentagon of order 5
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(page.MouseWheel(*figure, CentralBar(5, 1, 0), 120));
        EXPECT_EQ(figure->GetColour(53), Rgb(255, 40, 60)) << "after step " << i + 1;
    }
}

TEST_F(ColourPageTest, WheelDownOnBlueSaturatesAtZeroAndLeavesOtherChannels) {
    figure->SetColour(Rgb(1, 2, 25), 53);
    page.MouseWheel(*figure, CentralBar(5, 1, 2), -120);
    EXPECT_EQ(figure->GetColour(53), Rgb(1, 2, 15));
    page.MouseWheel(*figure, CentralBar(5, 1, 2), -1);
    EXPECT_EQ(figure->GetColour(53), Rgb(1, 2, 5));
    page.MouseWheel(*figure, CentralBar(5, 1, 2), -120);
    EXPECT_EQ(figure->GetColour(53), Rgb(1, 2, 0));
    page.MouseWheel(*figure, CentralBar(5, 1, 1), 240);  // any positive delta is one step
    EXPECT_EQ(figure->GetColour(53), Rgb(1, 12, 0));
}

TEST_F(ColourPageTest, WheelOnLowerBarChangesTransparencyAndClamps) {
    figure->m_orders[6].transparency = 0.95;
    EXPECT_TRUE(page.MouseWheel(*figure, LowerBar(6, 7, 1), 120));
    EXPECT_EQ(figure->m_orders[6].transparency, 1.0);
    page.MouseWheel(*figure, LowerBar(6, 0, 0), 120);
    EXPECT_EQ(figure->m_orders[6].transparency, 1.0);

    figure->m_orders[6].transparency = 0.05;
    page.MouseWheel(*figure, LowerBar(6, 2, 2), -120);
    EXPECT_EQ(figure->m_orders[6].transparency, 0.0);

    figure->m_orders[6].transparency = 0.5;
    page.MouseWheel(*figure, LowerBar(6, 2, 2), -120);
    EXPECT_DOUBLE_EQ(figure->m_orders[6].transparency, 0.4);
    EXPECT_EQ(figure->m_orders[5].transparency, 0.5);
}

TEST_F(ColourPageTest, WheelOnGaugesOutsideOrWithoutDeltaChangesNothing) {
    const FigureEngine before = *figure;
    EXPECT_FALSE(page.MouseWheel(*figure, Gauges(1, 1), 120));
    EXPECT_FALSE(page.MouseWheel(*figure, ColumnHead(1), 120));
    EXPECT_FALSE(page.MouseWheel(*figure, RowName(1), 120));
    EXPECT_FALSE(page.MouseWheel(*figure, QPoint(950, 300), 120));
    EXPECT_FALSE(page.MouseWheel(*figure, CentralBar(1, 1), 0));
    EXPECT_EQ(std::memcmp(figure->m_colours, before.m_colours, sizeof before.m_colours), 0);
    EXPECT_EQ(figure->m_orders[1].transparency, before.m_orders[1].transparency);
}

// ---------------------------------------------------------------------------------------------
// Colour dialog

TEST_F(ColourPageTest, DoubleClickOpensTheDialogWithTheCellsColour) {
    ScriptDialog(Rgb(1, 2, 3));
    const COLORREF initial = figure->GetColour(36);  // small star of order 3
    page.MousePress(*figure, Gauges(3, 4));
    page.MouseRelease(*figure, Gauges(3, 4));  // the first click toggled the item on
    EXPECT_TRUE(page.MouseDoubleClick(*figure, Gauges(3, 4), false));
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0], initial);
    EXPECT_EQ(figure->GetColour(36), Rgb(1, 2, 3));
    // The release that ends the double click went to the dialog.
    EXPECT_FALSE(page.MouseRelease(*figure, Gauges(3, 4)));
    EXPECT_EQ(figure->m_orders[3].drawItems[ITEM_SMALL_STAR], 1);
    // The next click acts again.
    page.MousePress(*figure, Gauges(3, 4));
    EXPECT_TRUE(page.MouseRelease(*figure, Gauges(3, 4)));
    EXPECT_EQ(figure->m_orders[3].drawItems[ITEM_SMALL_STAR], 0);
}

TEST_F(ColourPageTest, DoubleClickOnACentralBarKeepsTheChosenColour) {
    ScriptDialog(Rgb(9, 8, 7));
    page.MousePress(*figure, CentralBar(7, 6));
    page.MouseRelease(*figure, CentralBar(7, 6));
    page.MouseDoubleClick(*figure, CentralBar(7, 6), false);
    page.MouseRelease(*figure, CentralBar(7, 6));
    EXPECT_EQ(figure->GetColour(78), Rgb(9, 8, 7));
}

TEST_F(ColourPageTest, CancelledDialogChangesNothing) {
    ScriptDialog(COLOR_NONE);
    const COLORREF before = figure->GetColour(99);
    EXPECT_TRUE(page.MouseDoubleClick(*figure, LowerBar(9, 7), false));
    EXPECT_EQ(offered.size(), 1u);
    EXPECT_EQ(figure->GetColour(99), before);
}

TEST_F(ColourPageTest, NoDialogInTheBitmapViewOrOutsideTheCells) {
    ScriptDialog(Rgb(1, 1, 1));
    EXPECT_FALSE(page.MouseDoubleClick(*figure, CentralBar(0, 0), true));
    EXPECT_FALSE(page.MouseDoubleClick(*figure, ColumnHead(0), false));
    EXPECT_FALSE(page.EditColor(*figure, 1, true));
    EXPECT_TRUE(offered.empty());
    EXPECT_TRUE(page.EditColor(*figure, 1, false));
    EXPECT_EQ(figure->GetColour(1), Rgb(1, 1, 1));
}

TEST_F(ColourPageTest, EditColorRefusesEntriesOutsideTheTable) {
    ScriptDialog(Rgb(1, 1, 1));
    EXPECT_FALSE(page.EditColor(*figure, -1, false));
    EXPECT_FALSE(page.EditColor(*figure, kColourEntries, false));
    EXPECT_TRUE(offered.empty());
}

// Answers the real colour dialog as soon as it runs: records its initial colour, then picks
// chosen (OK) or cancels when chosen is invalid.
void AnswerColourDialog(QColor& initial, QColor chosen) {
    QTimer::singleShot(0, [&initial, chosen] {
        auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no colour dialog";
            return;
        }
        initial = dialog->currentColor();
        if (!chosen.isValid()) return dialog->reject();
        dialog->setCurrentColor(chosen);
        dialog->accept();
    });
}

TEST_F(ColourPageTest, RealColourDialogStartsAtTheEntrysColourAndStoresTheChoice) {
    QColor initial;
    AnswerColourDialog(initial, QColor(12, 34, 56));
    EXPECT_TRUE(page.EditColor(*figure, 8, false));
    EXPECT_EQ(initial, QColor(250, 37, 90));
    EXPECT_EQ(figure->GetColour(8), Rgb(12, 34, 56));

    AnswerColourDialog(initial, QColor());
    EXPECT_FALSE(page.EditColor(*figure, 8, false));
    EXPECT_EQ(initial, QColor(12, 34, 56));
    EXPECT_EQ(figure->GetColour(8), Rgb(12, 34, 56));
}

// ---------------------------------------------------------------------------------------------
// Painting

TEST_F(ColourPageTest, PaintedCellShowsGaugesCentralBarAndLowerMixes) {
    figure->SetColour(Rgb(200, 100, 0), 13);  // big pentagon of order 1
    figure->m_orders[1].transparency = 0.5;
    const QImage image = Render();
    ASSERT_EQ(image.size(), QSize(910, 596));
    const QPoint cell = InCell(1, 1, 0, 0);
    // Gauges of heights 19, 9 and 0 out of 24.
    EXPECT_EQ(Pixel(image, cell + QPoint(13, 4)), kWhite);
    EXPECT_EQ(Pixel(image, cell + QPoint(13, 5)), 0xFF0000u);
    EXPECT_EQ(Pixel(image, cell + QPoint(13, 23)), 0xFF0000u);
    EXPECT_EQ(Pixel(image, cell + QPoint(40, 14)), kWhite);
    EXPECT_EQ(Pixel(image, cell + QPoint(40, 15)), 0x00FF00u);
    EXPECT_EQ(Pixel(image, cell + QPoint(67, 23)), kWhite);
    // Central bar and the three mixes.
    EXPECT_EQ(Pixel(image, cell + QPoint(40, 36)), 0xC86400u);
    EXPECT_EQ(Pixel(image, cell + QPoint(2, 25)), 0xC86400u);
    EXPECT_EQ(Pixel(image, cell + QPoint(13, 60)), qRgb(225, 175, 125) & 0xFFFFFFu);
    EXPECT_EQ(Pixel(image, cell + QPoint(40, 60)), qRgb(165, 115, 65) & 0xFFFFFFu);
    EXPECT_EQ(Pixel(image, cell + QPoint(67, 60)), qRgb(105, 55, 5) & 0xFFFFFFu);
}

TEST_F(ColourPageTest, OutlineIsTheGridPenTwoPixelsWide) {
    const QImage image = Render();
    const QPoint cell = InCell(2, 3, 0, 0);
    EXPECT_EQ(Pixel(image, cell + QPoint(40, 0)), kPen);
    EXPECT_EQ(Pixel(image, cell + QPoint(40, -1)), kPen);
    EXPECT_NE(Pixel(image, cell + QPoint(40, 1)), kPen);
    EXPECT_EQ(Pixel(image, cell + QPoint(0, 36)), kPen);
    EXPECT_EQ(Pixel(image, cell + QPoint(-1, 36)), kPen);
    EXPECT_NE(Pixel(image, cell + QPoint(1, 36)), kPen);
    EXPECT_EQ(Pixel(image, QPoint(909, 300)), kPen);  // right edge of the last column
}

TEST_F(ColourPageTest, CrossMarksItemsThatAreOff) {
    // Lines are off and big pentagons on by default.
    QImage image = Render();
    EXPECT_EQ(Pixel(image, InCell(0, 0, 40, 36)), kPen);
    EXPECT_EQ(Pixel(image, InCell(0, 0, 10, 9)), kPen);
    EXPECT_EQ(Pixel(image, InCell(0, 1, 40, 36)), ToQRgb(figure->GetColour(3)));

    page.MousePress(*figure, Gauges(0, 0));
    page.MouseRelease(*figure, Gauges(0, 0));
    page.MousePress(*figure, LowerBar(0, 1));
    page.MouseRelease(*figure, LowerBar(0, 1));
    image = Render();
    EXPECT_EQ(Pixel(image, InCell(0, 0, 40, 36)), ToQRgb(figure->GetColour(2)));
    EXPECT_EQ(Pixel(image, InCell(0, 1, 40, 36)), kPen);
}

TEST_F(ColourPageTest, HeadsAndNamesAreBlackWhenDrawnAndGreyOtherwise) {
    figure->m_orders[3].drawItems[ITEM_BIG_STAR] = 1;
    QImage image = Render();
    EXPECT_LT(DarkestLevel(image, HeadArea(3)), 100);  // order 3 drawn
    EXPECT_EQ(DarkestLevel(image, HeadArea(4)), 150);  // order 4 not drawn
    EXPECT_EQ(DarkestLevel(image, NameArea(0)), 150);  // lines off everywhere
    EXPECT_LT(DarkestLevel(image, NameArea(2)), 100);  // big star on in order 3
    EXPECT_LT(DarkestLevel(image, NameArea(1)), 100);

    page.MousePress(*figure, ColumnHead(3));
    page.MouseRelease(*figure, ColumnHead(3));
    page.MousePress(*figure, RowName(2));
    page.MouseRelease(*figure, RowName(2));
    image = Render();
    EXPECT_EQ(DarkestLevel(image, HeadArea(3)), 150);
    EXPECT_EQ(DarkestLevel(image, NameArea(2)), 150);
}

TEST_F(ColourPageTest, ImageOfAPartMatchesThePageAndAreaBeyondIsWhite) {
    const QImage whole = RenderColourPageImage(*figure, QRect(0, 0, 1000, 700));
    ASSERT_EQ(whole.size(), QSize(1000, 700));
    EXPECT_EQ(Pixel(whole, QPoint(950, 650)), kWhite);
    EXPECT_EQ(Pixel(whole, QPoint(500, 620)), kWhite);
    const QRect part(181, 92, 300, 200);
    const QImage cut = RenderColourPageImage(*figure, part);
    ASSERT_EQ(cut.size(), part.size());
    for (int y = 0; y < part.height(); y += 7) {
        for (int x = 0; x < part.width(); x += 5) {
            ASSERT_EQ(cut.pixel(x, y), whole.pixel(part.topLeft() + QPoint(x, y))) << x << "," << y;
        }
    }
    EXPECT_TRUE(RenderColourPageImage(*figure, QRect()).isNull());
}

TEST_F(ColourPageTest, WheelChangesShowInTheNextPaint) {
    figure->m_orders[0].transparency = 0.9;
    page.MouseWheel(*figure, LowerBar(0, 6), 120);
    const QImage image = Render();
    EXPECT_EQ(Pixel(image, InCell(0, 6, 13, 60)), qRgb(250, 250, 250) & 0xFFFFFFu);
    EXPECT_EQ(Pixel(image, InCell(0, 3, 60, 60)), qRgb(10, 10, 10) & 0xFFFFFFu);
}

TEST(ReferenceLineChecked, FollowsTheCurrentOrdersReferenceLineSwitch) {
    auto figure = std::make_unique<FigureEngine>();
    figure->m_nCurrentOrder = 2;
    figure->m_orders[2].drawItems[ITEM_REFERENCE_LINE] = 1;
    EXPECT_TRUE(ReferenceLineChecked(*figure, false));
    EXPECT_FALSE(ReferenceLineChecked(*figure, true));
    figure->m_nCurrentOrder = 3;
    EXPECT_FALSE(ReferenceLineChecked(*figure, false));
    figure->m_nCurrentOrder = 12;
    EXPECT_FALSE(ReferenceLineChecked(*figure, false));
}

// ---------------------------------------------------------------------------------------------
// Entering and leaving the page, and the single-colour commands, on a real document

const char* const kNote =
    "Now you enter the color select page.\nThis page enables you to select colors,\n transparency "
    "and orders you draw.\nPress 'Esc' to leave this page without using the new colors, and "
    "'Enter' to accept the new choice. This page has a seperate Help Page.\nPress 'Yes' if you "
    "want to see this message again when entering this page, otherwise 'No'.";

class ColourPageDocumentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_bShowColorPageNote = true;
        ASSERT_TRUE(doc.OnNewDocument());
        ui.Clear();
    }
    void TearDown() override { g_bShowColorPageNote = true; }

    COLORREF Accepted(int entry) const {
        const std::uint8_t* bgr = doc.m_acceptedColours[entry];
        return Rgb(bgr[2], bgr[1], bgr[0]);
    }
    COLORREF PictureColour(int x, int row) {
        COLORREF colour = 0;
        EXPECT_TRUE(doc.PixelColourAt(x, row, colour));
        return colour;
    }
    // Orders in which the last painting found pentagons.
    std::vector<int> PaintedOrders() const {
        std::vector<int> orders;
        for (int order = 0; order < kOrderCount; ++order) {
            const PentagonCounts& c = doc.m_figure.m_counts[order];
            if (c.bigUp + c.bigDown + c.smallUp + c.smallDown > 0) orders.push_back(order);
        }
        return orders;
    }
    // With every item off, a painting shows the background alone.
    void SwitchAllItemsOff() {
        for (OrderSettings& settings : doc.m_figure.m_orders) settings.drawItems.fill(0);
    }
    // Order 0's big solid colour changed on the page, not yet rendered.
    void ChangeWorkingColour() { doc.m_figure.SetColour(Rgb(11, 22, 33), 8); }

    ScriptedPrompts ui;
    CDibDoc doc{ui};
    ColorPage page;
};

TEST_F(ColourPageDocumentTest, EnteringShowsTheNoteAndYesKeepsIt) {
    ui.answers = {IDYES};
    EXPECT_EQ(SelectColorPage(false, doc, ui), ColorPageTransition::Entered);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kNote);
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::Question);
    EXPECT_TRUE(g_bShowColorPageNote);
}

TEST_F(ColourPageDocumentTest, NoToTheNoteSilencesItForLaterEntries) {
    ui.answers = {IDNO};
    EXPECT_EQ(SelectColorPage(false, doc, ui), ColorPageTransition::Entered);
    EXPECT_FALSE(g_bShowColorPageNote);
    ui.answers = {IDNO};
    EXPECT_EQ(SelectColorPage(true, doc, ui), ColorPageTransition::LeftReverted);
    ui.Clear();
    EXPECT_EQ(SelectColorPage(false, doc, ui), ColorPageTransition::Entered);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ColourPageDocumentTest, CancelToUseThisResultStaysWithAllChanges) {
    ChangeWorkingColour();
    ui.answers = {IDCANCEL};
    EXPECT_EQ(SelectColorPage(true, doc, ui), ColorPageTransition::Unchanged);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Use this result?");
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(doc.m_figure.GetColour(8), Rgb(11, 22, 33));
    EXPECT_EQ(Accepted(8), Rgb(250, 37, 90));
}

TEST_F(ColourPageDocumentTest, NoToUseThisResultRevertsTheWorkingParameters) {
    ChangeWorkingColour();
    doc.m_figure.m_orders[2].transparency = 0.1;
    doc.m_figure.m_orders[5].drawOrder = 1;
    ui.answers = {IDNO};
    EXPECT_EQ(SelectColorPage(true, doc, ui), ColorPageTransition::LeftReverted);
    EXPECT_EQ(doc.m_figure.GetColour(8), Rgb(250, 37, 90));
    EXPECT_EQ(doc.m_figure.m_orders[2].transparency, 0.5);
    EXPECT_EQ(doc.m_figure.m_orders[5].drawOrder, 0);
}

TEST_F(ColourPageDocumentTest, YesToUseThisResultRendersAllOrdersAndAcceptsThem) {
    ChangeWorkingColour();
    doc.m_figure.m_nCurrentOrder = 2;
    ui.answers = {IDYES};
    EXPECT_EQ(SelectColorPage(true, doc, ui), ColorPageTransition::LeftRendered);
    EXPECT_EQ(Accepted(8), Rgb(11, 22, 33));
    EXPECT_GE(PaintedOrders().size(), 2u);  // not just the current order
}

TEST_F(ColourPageDocumentTest, YesRendersTheNewBackground) {
    SwitchAllItemsOff();
    doc.m_figure.SetColour(Rgb(10, 20, 30), 1);
    ui.answers = {IDYES};
    SelectColorPage(true, doc, ui);
    EXPECT_EQ(PictureColour(0, 0), Rgb(10, 20, 30));
    EXPECT_EQ(PictureColour(1199, 899), Rgb(10, 20, 30));
}

TEST_F(ColourPageDocumentTest, EscapeRevertsEnterRendersTheOrdersDrawOnlyOneSelects) {
    ChangeWorkingColour();
    EXPECT_EQ(ColorPageChar(27, false, doc), ColorPageTransition::LeftReverted);
    EXPECT_EQ(doc.m_figure.GetColour(8), Rgb(250, 37, 90));
    EXPECT_EQ(Accepted(8), Rgb(250, 37, 90));

    ChangeWorkingColour();
    doc.m_figure.m_nCurrentOrder = 2;
    EXPECT_EQ(ColorPageChar('\r', true, doc), ColorPageTransition::LeftRendered);
    EXPECT_EQ(Accepted(8), Rgb(11, 22, 33));
    EXPECT_EQ(PaintedOrders(), std::vector<int>{2});

    EXPECT_EQ(ColorPageChar('\r', false, doc), ColorPageTransition::LeftRendered);
    EXPECT_GE(PaintedOrders().size(), 2u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ColourPageDocumentTest, OtherCharactersPassOnUntouched) {
    ChangeWorkingColour();
    EXPECT_EQ(ColorPageChar('a', false, doc), ColorPageTransition::Unchanged);
    EXPECT_EQ(ColorPageChar(' ', false, doc), ColorPageTransition::Unchanged);
    EXPECT_EQ(doc.m_figure.GetColour(8), Rgb(11, 22, 33));
    EXPECT_EQ(Accepted(8), Rgb(250, 37, 90));
}

TEST_F(ColourPageDocumentTest, BackGroundCommandRendersTheChosenColour) {
    std::vector<COLORREF> offered;
    page.SetColourChooser([&](COLORREF& c) {
        offered.push_back(c);
        c = Rgb(70, 80, 90);
        return true;
    });
    SwitchAllItemsOff();
    EXPECT_TRUE(page.BackGroundCommand(doc, false));
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0], Rgb(255, 255, 255));
    EXPECT_EQ(Accepted(1), Rgb(70, 80, 90));
    EXPECT_EQ(PictureColour(0, 899), Rgb(70, 80, 90));
}

TEST_F(ColourPageDocumentTest, ReferenceLineCommandEditsEntrySeven) {
    std::vector<COLORREF> offered;
    page.SetColourChooser([&](COLORREF& c) {
        offered.push_back(c);
        c = Rgb(1, 2, 3);
        return true;
    });
    EXPECT_TRUE(page.ReferenceLineCommand(doc, false));
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0], Rgb(100, 100, 100));
    EXPECT_EQ(Accepted(7), Rgb(1, 2, 3));
}

TEST_F(ColourPageDocumentTest, CancelledOrBitmapViewColourCommandsRenderNothing) {
    int calls = 0;
    page.SetColourChooser([&](COLORREF&) {
        ++calls;
        return false;
    });
    ChangeWorkingColour();  // a render would accept this
    EXPECT_FALSE(page.BackGroundCommand(doc, false));
    EXPECT_FALSE(page.ReferenceLineCommand(doc, false));
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(page.BackGroundCommand(doc, true));
    EXPECT_FALSE(page.ReferenceLineCommand(doc, true));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Accepted(8), Rgb(250, 37, 90));
}

// ---------------------------------------------------------------------------------------------
// The page inside a real, scrolled view

class ColourPageInViewTest : public ColourPageDocumentTest {
  protected:
    void SetUp() override {
        ColourPageDocumentTest::SetUp();
        doc.m_bBitmapMode = false;
        view.resize(400, 300);
        view.show();
        ui.answers = {IDNO};
        view.OnColorPage();
        ASSERT_TRUE(view.m_bColorPage);
        view.viewport()->grab();  // the first paint sets the page's scroll range
        view.horizontalScrollBar()->setValue(scroll.x());
        view.verticalScrollBar()->setValue(scroll.y());
        ASSERT_EQ(view.ScrollPosition(), scroll);
    }
    QPoint OnScreen(QPoint page) const { return page - scroll; }
    void Click(QPoint page) {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, OnScreen(page));
    }
    void Wheel(QPoint page, int delta) {
        QWheelEvent event(OnScreen(page), view.viewport()->mapToGlobal(OnScreen(page)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &event);
    }

    const QPoint scroll{200, 150};
    CDibView view{doc};
};

TEST_F(ColourPageInViewTest, ScrolledViewportShowsThePageAtTheScrollPosition) {
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 910 - view.viewport()->width());
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 596 - view.viewport()->height());
    const QImage shown = view.viewport()->grab().toImage();
    const QPoint cell = OnScreen(InCell(2, 2, 10, 30));  // big star of order 2: 81, 81, 219
    EXPECT_EQ(Pixel(shown, cell), qRgb(81, 81, 219) & 0xFFFFFFu);
    EXPECT_EQ(Pixel(shown, OnScreen(InCell(2, 2, 40, 0))), kPen);
}

TEST_F(ColourPageInViewTest, ClicksDragsAndWheelReachTheWorkingParameters) {
    Click(Gauges(3, 3));
    EXPECT_EQ(doc.m_figure.m_orders[3].drawItems[ITEM_SMALL_PENTAGON], 1);

    QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, OnScreen(CentralBar(3, 6)));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier,
                        OnScreen(CentralBar(4, 4)));
    EXPECT_EQ(doc.m_figure.GetColour(46), Rgb(79, 223, 176));

    doc.m_figure.SetColour(Rgb(250, 0, 0), 46);
    for (int i = 0; i < 3; ++i) Wheel(CentralBar(4, 4, 0), 120);
    EXPECT_EQ(doc.m_figure.GetColour(46), Rgb(255, 0, 0));
    Wheel(LowerBar(4, 4), -120);
    EXPECT_DOUBLE_EQ(doc.m_figure.m_orders[4].transparency, 0.4);
    EXPECT_EQ(view.ScrollPosition(), scroll);  // the wheel does not scroll the page

    EXPECT_EQ(Accepted(46), Rgb(255 - 80, 180 - 80, 180 - 80));  // nothing rendered yet
}

TEST_F(ColourPageInViewTest, EnterLeavesThePageAndRendersTheChanges) {
    Wheel(CentralBar(0, 6, 1), 120);
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_FALSE(view.m_bColorPage);
    EXPECT_EQ(Accepted(8), Rgb(250, 47, 90));
}

TEST_F(ColourPageInViewTest, EscapeLeavesThePageAndDropsTheChanges) {
    Wheel(CentralBar(0, 6, 1), 120);
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_FALSE(view.m_bColorPage);
    EXPECT_EQ(doc.m_figure.GetColour(8), Rgb(250, 37, 90));
}

}  // namespace
