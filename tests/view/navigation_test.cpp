#include "view/navigation.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <cstring>
#include <vector>

#include "document/dib_doc.h"
#include "support/scripted_prompts.h"
#include "view/command_ids.h"
#include "view/dib_view.h"
#include "view/focus_rects.h"
#include "view/status_texts.h"

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 150;

// A painted figure document.
void MakeFigure(CDibDoc& doc) {
    ASSERT_TRUE(doc.OnNewDocument());
    doc.m_figure.m_nWidth = kWidth;
    doc.m_figure.m_nHeight = kHeight;
    ASSERT_EQ(doc.PreparePicture(false), RESULT_INIT);
}

std::vector<std::uint8_t> Bytes(const CDibDoc& doc) {
    return {doc.m_hDIB->Bytes(), doc.m_hDIB->Bytes() + doc.m_hDIB->Size()};
}

class NavigationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeFigure(doc);
        view = std::make_unique<CDibView>(doc);
        view->resize(kWidth + 60, kHeight + 60);
        view->show();
        view->OnInitialUpdate();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->viewport()->grab();  // a first paint, as on screen
    }

    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(view.get(), key, modifiers);
    }

    // The same figure painted with the working parameters of doc, only order alone or all.
    std::vector<std::uint8_t> PaintedAlike(int order, bool onlyOne) {
        ScriptedPrompts otherPrompts;
        CDibDoc other(otherPrompts);
        MakeFigure(other);
        static_cast<FigureParams&>(other.m_figure) = doc.m_figure;
        other.m_figure.UpdateTransform();
        other.RenderFigure(order, onlyOne);
        return Bytes(other);
    }

    void ClickAtOrigin() {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(0, 0),
                          view->viewport()->mapToGlobal(QPointF(0, 0)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &press);
    }

    std::array<WindowPoint, 4> OuterCorners() const {
        return ComputeFocusRects(view->FocusGeometry())[0].corners;
    }

    ScriptedPrompts prompts;
    CDibDoc doc{prompts};
    std::unique_ptr<CDibView> view;
};

}  // namespace

// ---- The pure rules --------------------------------------------------------------------------

TEST(NavigationRules, OffsetsSaturateInsteadOfWrapping) {
    FigureParams figure;
    figure.m_nUn = 2147483640;
    figure.m_nGs = -2147483640;
    ApplyOffsetMove(figure, KeyMoveFor(NavKey::Right, true), true, false, false);
    ApplyOffsetMove(figure, KeyMoveFor(NavKey::Down, true), true, false, false);
    EXPECT_EQ(figure.m_nUn, 2147483647);
    EXPECT_EQ(figure.m_nGs, -2147483647 - 1);
    // Un x phi far beyond the 32-bit range.
    ApplyOffsetMove(figure, KeyMoveFor(NavKey::PageDown, false), false, true, false);
    EXPECT_EQ(figure.m_nGs, 2147483647);
    EXPECT_EQ(NearestInt32(std::nan("")), 0);
    EXPECT_EQ(NearestInt32(-2.5), -2);
}

TEST(NavigationRules, PixelColourTextHasThreeLines) {
    EXPECT_EQ(PixelColourText(0x00FF80FF), "R 255\r\nG 128\r\nB 255");
    EXPECT_EQ(PixelColourText(0x000000FF), "R 255\r\nG 0\r\nB 0");
}

// ---- Arrow mode 1: offsets, orders and exponent, painted at once -----------------------------

TEST_F(NavigationTest, OffsetKeysChangeUnAndGsAndPaintAtOnce) {
    ASSERT_EQ(view->m_nArrowMode, 1);
    doc.m_figure.m_nUn = 10;
    doc.m_figure.m_nGs = 16;
    Key(Qt::Key_Right);
    EXPECT_EQ(doc.m_figure.m_nUn, 11);
    EXPECT_EQ(doc.m_figure.m_nGs, 16);
    EXPECT_EQ(Bytes(doc), PaintedAlike(-1, false));
    EXPECT_FALSE(view->m_bDrawOnlyOne);
    EXPECT_TRUE(view->m_bOverlayStale);
    EXPECT_STREQ(g_szOffsetText, "Un: 11     Gs: 16        (error= 1.80)");

    Key(Qt::Key_Left);
    Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(doc.m_figure.m_nUn, 10);
    EXPECT_EQ(doc.m_figure.m_nGs, 26);
    Key(Qt::Key_Down);
    EXPECT_EQ(doc.m_figure.m_nGs, 25);
    Key(Qt::Key_Up);

    // Golden-ratio rules: Page Up takes Un from Gs, Page Down Gs from Un.
    Key(Qt::Key_PageUp, Qt::ShiftModifier);
    EXPECT_EQ(doc.m_figure.m_nUn, 16);  // nearest(26 / phi) = nearest(16.07)
    doc.m_figure.m_nUn = 10;
    Key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(doc.m_figure.m_nGs, 16);  // nearest(10 x phi)
    EXPECT_EQ(doc.m_figure.m_dMagnExp, -7.0);
    EXPECT_EQ(Bytes(doc), PaintedAlike(-1, false));
}

TEST_F(NavigationTest, ExponentStaysInsideTheOpenInterval) {
    for (OrderSettings& order : doc.m_figure.m_orders) order.drawOrder = 0;  // quick paintings
    doc.m_figure.m_dMagnExp = -14.5;
    Key(Qt::Key_PageUp);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, -14.5);
    Key(Qt::Key_PageDown, Qt::ShiftModifier);  // the golden-ratio rule, no zoom
    EXPECT_EQ(doc.m_figure.m_dMagnExp, -14.5);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, -13.5);
    EXPECT_EQ(doc.m_acceptedTransform.magnExp, -13.5);  // painted and accepted

    doc.m_figure.m_dMagnExp = 9.0;
    Key(Qt::Key_PageDown);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, 9.0);  // 10 is excluded
    doc.m_figure.m_dMagnExp = 8.5;
    Key(Qt::Key_PageDown, Qt::ControlModifier);  // Ctrl changes the order here, not the step
    EXPECT_EQ(doc.m_figure.m_dMagnExp, 8.5);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, 9.5);
}

TEST_F(NavigationTest, CtrlPageUpAndDownChangeTheWorkingOrderAndPaintItAlone) {
    doc.m_figure.m_nCurrentOrder = 9;
    Key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(doc.m_figure.m_nCurrentOrder, 9);
    EXPECT_TRUE(view->m_bDrawOnlyOne);
    EXPECT_EQ(Bytes(doc), PaintedAlike(9, true));
    EXPECT_NE(Bytes(doc), PaintedAlike(-1, false));

    Key(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(doc.m_figure.m_nCurrentOrder, 8);
    EXPECT_STREQ(g_szPositionText, " X:  0.0  Y:  0.0   Magn (exp): -7.0  Order 8");
    // With only one order drawn, the offset keys paint the working order alone too.
    Key(Qt::Key_Right);
    EXPECT_TRUE(view->m_bDrawOnlyOne);
    EXPECT_EQ(Bytes(doc), PaintedAlike(8, true));
    Key(Qt::Key_Home);  // changes nothing, paints again
    EXPECT_EQ(Bytes(doc), PaintedAlike(8, true));
}

TEST_F(NavigationTest, KeysAreIgnoredWhileThePictureIsNotReady) {
    doc.m_bReady = false;
    const int un = doc.m_figure.m_nUn;
    Key(Qt::Key_Right);
    Key(Qt::Key_Tab);
    EXPECT_EQ(doc.m_figure.m_nUn, un);
    EXPECT_EQ(view->m_nArrowMode, 1);

    // Nor in the bitmap view, where the keys scroll the picture.
    doc.m_bReady = true;
    view->Commands().Execute(ID_VIEW_BITMAP);
    view->viewport()->grab();
    Key(Qt::Key_Right);
    EXPECT_EQ(doc.m_figure.m_nUn, un);
}

TEST_F(NavigationTest, CtrlZRestoresTheAcceptedColours) {
    doc.m_figure.SetColour(0x123456, 3);
    doc.m_figure.SetColour(0x654321, 200);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(
        std::memcmp(doc.m_figure.m_colours, doc.m_acceptedColours, sizeof doc.m_acceptedColours),
        0);
    EXPECT_TRUE(view->m_bOverlayStale);
}

// ---- Arrow mode 0: pending centre and magnification, nothing painted -------------------------

TEST_F(NavigationTest, CentreModeMovesThePendingViewWithoutPainting) {
    const std::vector<std::uint8_t> before = Bytes(doc);
    const double u0 = doc.m_acceptedTransform.transform.inverseScale;
    Key(Qt::Key_Tab);
    ASSERT_EQ(view->m_nArrowMode, 0);
    EXPECT_STREQ(g_szModeText, "Arrow keys change pos");
    const auto outer = OuterCorners();

    Key(Qt::Key_PageDown);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, -6.75);
    EXPECT_LT(OuterCorners()[0].x, outer[0].x);  // the rectangles shrink
    EXPECT_GT(OuterCorners()[2].x, outer[2].x);
    Key(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, -4.25);
    EXPECT_DOUBLE_EQ(doc.m_figure.m_transform.inverseScale, 1.0 / (std::exp2(-4.25) * kWidth / 2));

    Key(Qt::Key_Right);
    Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(doc.m_figure.m_dCentreX, u0);
    EXPECT_DOUBLE_EQ(doc.m_figure.m_dCentreY, 10 * u0);
    EXPECT_EQ(Bytes(doc), before);
    EXPECT_EQ(doc.m_acceptedTransform.magnExp, -7.0);

    Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(doc.m_figure.m_dCentreX, 0.0);
    EXPECT_EQ(doc.m_figure.m_dCentreY, 0.0);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, -4.25);
    Key(Qt::Key_Right);
    Key(Qt::Key_Home);  // every pending change dropped
    EXPECT_EQ(doc.m_figure.m_dCentreX, 0.0);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, -7.0);
    EXPECT_EQ(OuterCorners(), outer);
    EXPECT_EQ(Bytes(doc), before);
}

TEST_F(NavigationTest, TabTwiceReturnsWithTheRectanglesInPlace) {
    Key(Qt::Key_Tab);
    Key(Qt::Key_Left, Qt::ControlModifier);
    const auto moved = OuterCorners();
    Key(Qt::Key_Tab);
    EXPECT_EQ(view->m_nArrowMode, 1);
    EXPECT_STREQ(g_szModeText, "Arrow keys change Un and Gs offset");
    Key(Qt::Key_Tab);
    EXPECT_EQ(view->m_nArrowMode, 0);
    EXPECT_EQ(OuterCorners(), moved);
    // Escape leaves the centre mode; the next digit-key paint accepts the pending centre.
    Key(Qt::Key_Escape);
    EXPECT_EQ(view->m_nArrowMode, 1);
    view->Commands().Execute(ID_ORDER_0 + 2);
    EXPECT_EQ(doc.m_acceptedTransform.centreX, doc.m_figure.m_dCentreX);
    EXPECT_LT(doc.m_acceptedTransform.centreX, 0.0);
}

// ---- Mouse -----------------------------------------------------------------------------------

TEST_F(NavigationTest, ClickSetsThePendingCentreAndDoubleClickPaintsThere) {
    const std::vector<std::uint8_t> before = Bytes(doc);
    const AcceptedTransform accepted = doc.m_acceptedTransform;
    const double u0 = accepted.transform.inverseScale;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(150, 25));
    EXPECT_EQ(doc.m_figure.m_dCentreX, 0.0);  // arrow mode 1: nothing

    view->Commands().Execute(ID_ARROW_CHANGE_CENTRE);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(150, 25));
    EXPECT_DOUBLE_EQ(doc.m_figure.m_dCentreX, (150 - 100) * u0);
    EXPECT_DOUBLE_EQ(doc.m_figure.m_dCentreY, (75 - 25) * u0);
    EXPECT_EQ(Bytes(doc), before);
    EXPECT_EQ(OuterCorners()[0].x, 150 + 50);  // the rectangles centre on the click

    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(40, 100));
    EXPECT_DOUBLE_EQ(doc.m_acceptedTransform.centreX, (40 - 100) * u0);
    EXPECT_DOUBLE_EQ(doc.m_acceptedTransform.centreY, (75 - 100) * u0);
    EXPECT_EQ(doc.m_acceptedTransform.magnExp, -7.0);
    EXPECT_EQ(Bytes(doc), PaintedAlike(-1, false));
    EXPECT_TRUE(view->m_bOverlayStale);
}

TEST_F(NavigationTest, RightClickMovesTheReferencePointAfterAsking) {
    const int un = doc.m_figure.m_nUn, gs = doc.m_figure.m_nGs;
    prompts.answers = {IDCANCEL};
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(170, 75));
    ASSERT_EQ(prompts.Texts(),
              std::vector<std::string>{"Move the reference point to this position?"});
    EXPECT_EQ(prompts.messages[0].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(doc.m_figure.m_nUn, un);

    // The expected offsets: the same search and move on a document painted alike.
    ScriptedPrompts otherPrompts;
    CDibDoc other(otherPrompts);
    MakeFigure(other);
    const double x = (170 - 100) * other.m_acceptedTransform.transform.inverseScale;
    other.m_figure.MoveReference(other.m_figure.FindInSeries(x).index, otherPrompts);

    prompts.answers = {IDOK};
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(170, 75));
    EXPECT_EQ(doc.m_figure.m_nUn, other.m_figure.m_nUn);
    EXPECT_EQ(doc.m_figure.m_nGs, other.m_figure.m_nGs);
    EXPECT_NE(std::make_pair(doc.m_figure.m_nUn, doc.m_figure.m_nGs), std::make_pair(un, gs));
    EXPECT_EQ(Bytes(doc), PaintedAlike(-1, false));
}

TEST_F(NavigationTest, ClickInTheBitmapViewReportsThePixelColour) {
    // Top-left pixel pure red, bottom-left pure blue (bottom-up rows of blue, green, red).
    std::uint8_t* rows = DibPixelData(doc.m_hDIB->Bytes(), 0);
    const std::int64_t stride = DibRowStride(kWidth, 24);
    std::uint8_t* top = rows + (kHeight - 1) * stride;
    top[0] = 0, top[1] = 0, top[2] = 255;
    rows[0] = 255, rows[1] = 0, rows[2] = 0;
    view->Commands().Execute(ID_VIEW_BITMAP);
    view->viewport()->grab();

    ClickAtOrigin();  // QTest takes the point (0, 0) for the widget's centre
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(0, kHeight - 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(kWidth + 5, 10));  // outside
    ASSERT_EQ(prompts.Texts(),
              (std::vector<std::string>{"R 255\r\nG 0\r\nB 0", "R 0\r\nG 0\r\nB 255"}));
    EXPECT_EQ(prompts.messages[0].icon, MsgIcon::Information);
    // Double and right clicks do nothing in the bitmap view.
    prompts.Clear();
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_TRUE(prompts.messages.empty());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(kWidth - 1, 5));
    EXPECT_EQ(doc.m_acceptedTransform.centreX, 0.0);
}
