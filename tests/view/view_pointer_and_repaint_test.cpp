// Mouse releases that end outside the view, and repainting every view of a document.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <cstring>
#include <memory>

#include "document/dib_doc.h"
#include "support/scripted_prompts.h"
#include "view/colour_page.h"
#include "view/command_ids.h"
#include "view/dib_view.h"

namespace {

using L = ColorPageLayout;

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

class ViewsOfOneDocument : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(doc.OnNewDocument());
        doc.m_figure.m_nWidth = 160;
        doc.m_figure.m_nHeight = 120;
        ASSERT_EQ(doc.PreparePicture(false), RESULT_INIT);
        for (auto& view : views) {
            view = std::make_unique<CDibView>(doc);
            view->resize(400, 300);
            view->show();
            view->OnInitialUpdate();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        }
        QApplication::processEvents();
    }

    // The colour page of the first view, showing its top left corner.
    CDibView& ColourPageView() {
        g_bShowColorPageNote = false;
        CDibView& view = *views[0];
        view.Commands().Execute(ID_COLOR_PAGE);
        EXPECT_TRUE(view.m_bColorPage);
        view.resize(1100, 700);  // the whole page fits: no scrolling
        QApplication::processEvents();
        return view;
    }

    ScriptedPrompts prompts;
    CDibDoc doc{prompts};
    std::array<std::unique_ptr<CDibView>, 2> views;
};

QPoint CentralBarOf(int order, int row) {
    return {L::m_nGridLeft + order * L::m_nCellWidth + 13,
            L::m_nGridTop + row * L::m_nCellHeight + 36};
}

}  // namespace

// A drag from a cell that ends outside the view's client area, wherever that is, changes
// nothing; the same drag ending inside the page still acts.
TEST_F(ViewsOfOneDocument, ColourPageReleaseOutsideTheClientAreaDoesNothing) {
    CDibView& view = ColourPageView();
    QWidget* client = view.viewport();
    const QPoint press = CentralBarOf(2, 1);
    const struct {
        const char* where;
        QPoint release;
    } outside[] = {
        {"left of the view (a row name's x)", QPoint(-30, CentralBarOf(0, 2).y())},
        {"above the view (a column head's y)", QPoint(CentralBarOf(3, 0).x(), -5)},
        {"right of the view", QPoint(client->width() + 20, 50)},
        {"below the view", QPoint(CentralBarOf(4, 0).x(), client->height() + 3)},
    };
    for (const auto& c : outside) {
        auto before = std::make_unique<FigureEngine>(doc.m_figure);
        QTest::mousePress(client, Qt::LeftButton, {}, press);
        QTest::mouseRelease(client, Qt::LeftButton, {}, c.release);
        EXPECT_EQ(std::memcmp(before->m_orders.data(), doc.m_figure.m_orders.data(),
                              sizeof before->m_orders),
                  0)
            << c.where;
        EXPECT_EQ(std::memcmp(before->m_colours, doc.m_figure.m_colours, sizeof before->m_colours),
                  0)
            << c.where;
        QTest::qWait(QApplication::doubleClickInterval() + 10);  // no double click next time
    }
    // Inside, the same release on a column head switches that order.
    const std::uint8_t drawn = doc.m_figure.m_orders[3].drawOrder;
    QTest::mousePress(client, Qt::LeftButton, {}, press);
    QTest::mouseRelease(client, Qt::LeftButton, {}, QPoint(CentralBarOf(3, 0).x(), 5));
    EXPECT_NE(doc.m_figure.m_orders[3].drawOrder, drawn);
}

// A render asked for in one view repaints the other views of the document too.
TEST_F(ViewsOfOneDocument, ARenderInOneViewRepaintsEveryView) {
    PaintCounter other(views[1]->viewport());
    views[0]->setFocus();
    const struct {
        const char* what;
        std::function<void()> render;
    } renders[] = {
        {"Page Up in the Un/Gs mode", [&] { QTest::keyClick(views[0].get(), Qt::Key_PageUp); }},
        {"order key", [&] { views[0]->Commands().Execute(ID_ORDER_0 + 2); }},
        {"Draw Only One", [&] { views[0]->Commands().Execute(ID_DRAW_ONLY_ONE); }},
    };
    for (const auto& r : renders) {
        QApplication::processEvents();
        other.count = 0;
        r.render();
        QApplication::processEvents();
        EXPECT_GT(other.count, 0) << r.what;
        EXPECT_TRUE(views[1]->m_bOverlayStale) << r.what;
    }
}
