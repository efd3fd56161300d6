#include "view/dib_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QTest>
#include <cstring>
#include <vector>

#include "document/dib_doc.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "view/command_ids.h"
#include "view/dib_paint.h"
#include "view/status_texts.h"

namespace {

class DibViewTest : public ::testing::Test {
  protected:
    // A figure document of the given size and a view large enough to show it whole.
    void Open(int width, int height) {
        ASSERT_TRUE(doc.OnNewDocument());
        doc.m_figure.m_nWidth = width;
        doc.m_figure.m_nHeight = height;
        ASSERT_EQ(doc.PreparePicture(false), RESULT_INIT);
        view = std::make_unique<CDibView>(doc);
        view->resize(width + 100, height + 100);
        view->show();
        view->OnInitialUpdate();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    QImage Screen() {
        return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // The colour of picture pixel (x, y) counted from the top line, as the screen shows it.
    QRgb PicturePixel(int x, int y) const {
        const std::uint8_t* rows = DibPixelData(doc.m_hDIB->Bytes(), 0);
        const int stored = doc.m_pictureSize.height - 1 - y;
        const std::uint8_t* p = rows + stored * DibRowStride(doc.m_pictureSize.width, 24) + 3 * x;
        return qRgb(p[2], p[1], p[0]);
    }

    std::vector<std::uint8_t> PictureBytes() const {
        return {doc.m_hDIB->Bytes(), doc.m_hDIB->Bytes() + doc.m_hDIB->Size()};
    }

    bool Checked(int id) {
        CmdUI ui;
        ui.id = id;
        EXPECT_TRUE(view->Commands().Update(ui));
        return ui.checked.value_or(false);
    }

    ScriptedPrompts prompts;
    CDibDoc doc{prompts};
    std::unique_ptr<CDibView> view;
};

const QRgb kRed = qRgb(255, 0, 0);

}  // namespace

TEST_F(DibViewTest, PaintsThePictureUnstretchedAndWritesTheStatusTexts) {
    Open(400, 300);
    const QImage screen = Screen();
    for (QPoint p : {QPoint(0, 0), QPoint(399, 0), QPoint(123, 77), QPoint(399, 299)}) {
        EXPECT_EQ(screen.pixel(p), PicturePixel(p.x(), p.y())) << p.x() << "," << p.y();
    }
    EXPECT_FALSE(view->m_bBitmapView);
    EXPECT_STREQ(g_szModeText, "Arrow keys change Un and Gs offset");
    EXPECT_STREQ(g_szOffsetText, "Un: 1145     Gs: 1853        (error= -0.35)");
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
}

TEST_F(DibViewTest, TheWindowShowsThePictureWithTheBackgroundBesideItAndRepaintsOnlyWhatIsAsked) {
    // Read from the window's own backing store, where the view writes the picture's pixels.
    Open(400, 300);
    view->viewport()->repaint();
    const QPoint origin = view->viewport()->mapTo(view->window(), QPoint(0, 0));
    auto windowPixel = [&](QPoint p) {
        return view->screen()->grabWindow(view->window()->winId()).toImage().pixel(p + origin);
    };
    const QRgb background = view->viewport()->palette().color(QPalette::Base).rgb();
    for (QPoint p : {QPoint(0, 0), QPoint(399, 299), QPoint(123, 77)}) {
        EXPECT_EQ(windowPixel(p), PicturePixel(p.x(), p.y())) << p.x() << "," << p.y();
    }
    EXPECT_EQ(windowPixel(QPoint(400, 10)), background);
    EXPECT_EQ(windowPixel(QPoint(10, 300)), background);
    EXPECT_EQ(windowPixel(QPoint(450, 350)), background);

    // Two pixels change in the picture; only the one inside the repainted area shows.
    std::uint8_t* rows = DibPixelData(doc.m_hDIB->Bytes(), 0);
    const std::int64_t stride = DibRowStride(400, 24);
    for (QPoint p : {QPoint(20, 20), QPoint(200, 200)}) {
        std::memset(rows + (299 - p.y()) * stride + 3 * p.x(), 0x5A, 3);
    }
    view->viewport()->repaint(QRect(10, 10, 30, 30));
    EXPECT_EQ(windowPixel(QPoint(20, 20)), qRgb(0x5A, 0x5A, 0x5A));
    EXPECT_NE(windowPixel(QPoint(200, 200)), qRgb(0x5A, 0x5A, 0x5A));
}

TEST_F(DibViewTest, ScrollRangeIsThePictureBeyondTheClient) {
    Open(400, 300);
    view->resize(200, 150);
    QApplication::processEvents();
    Screen();
    const QSize client = view->viewport()->size();
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 400 - client.width());
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 300 - client.height());
    view->horizontalScrollBar()->setValue(50);
    EXPECT_EQ(Screen().pixel(0, 0), PicturePixel(50, 0));
    EXPECT_EQ(view->m_ptDrawOrigin, QPoint(50, 0));
}

TEST_F(DibViewTest, FitToWindowStretchesWithoutScrollBars) {
    Open(400, 300);
    view->resize(200, 150);
    QApplication::processEvents();
    ASSERT_TRUE(view->Commands().Execute(ID_VIEW_FIT_TO_WINDOW));
    EXPECT_STREQ(g_szModeText, "Fit to Window");
    EXPECT_TRUE(view->m_bOverlayStale);
    EXPECT_TRUE(Checked(ID_VIEW_FIT_TO_WINDOW));
    const QImage screen = Screen();
    const QSize client = view->viewport()->size();
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 0);
    EXPECT_DOUBLE_EQ(view->m_dScaleX, client.width() / 400.0);
    EXPECT_DOUBLE_EQ(view->m_dScaleY, client.height() / 300.0);
    // The whole picture is in the client area: its last pixels fill the last corner.
    const QRgb corner = screen.pixel(client.width() - 1, client.height() - 1);
    bool found = false;
    for (int x = 397; x < 400; ++x) {
        for (int y = 297; y < 300; ++y) found = found || corner == PicturePixel(x, y);
    }
    EXPECT_TRUE(found);
    const QPoint last(client.width() - 1, client.height() - 1);
    EXPECT_EQ(view->WindowToPicture(last), QPoint(static_cast<int>(last.x() / view->m_dScaleX),
                                                  static_cast<int>(last.y() / view->m_dScaleY)));
    EXPECT_EQ(view->PictureToWindow(QPoint(400, 300)), QPoint(client.width(), client.height()));
    view->Commands().Execute(ID_VIEW_FIT_TO_WINDOW);
    EXPECT_STREQ(g_szModeText, "No fit to Window");
    EXPECT_FALSE(Checked(ID_VIEW_FIT_TO_WINDOW));
}

TEST_F(DibViewTest, FocusRectanglesAreLaidOverWithoutTouchingThePicture) {
    Open(800, 600);
    const std::vector<std::uint8_t> before = PictureBytes();
    ASSERT_TRUE(view->Commands().Execute(ID_ARROW_CHANGE_CENTRE));
    EXPECT_EQ(view->m_nArrowMode, 0);
    EXPECT_TRUE(Checked(ID_ARROW_CHANGE_CENTRE));
    QImage screen = Screen();
    // The outermost rectangle runs from (200, 150) to (600, 450); its inside stays the picture.
    EXPECT_EQ(screen.pixel(600, 300), kRed);
    EXPECT_EQ(screen.pixel(400, 150), kRed);
    EXPECT_EQ(screen.pixel(425, 300), kRed);  // innermost
    EXPECT_EQ(screen.pixel(601, 300), PicturePixel(601, 300));
    EXPECT_EQ(PictureBytes(), before);
    EXPECT_STREQ(g_szModeText, "Arrow keys change pos");

    view->Commands().Execute(ID_ARROW_CHANGE_OFFSET);
    screen = Screen();
    EXPECT_EQ(screen.pixel(600, 300), PicturePixel(600, 300));
    EXPECT_EQ(PictureBytes(), before);
}

TEST_F(DibViewTest, BitmapViewShowsThePictureAlone) {
    Open(800, 600);
    view->Commands().Execute(ID_ARROW_CHANGE_CENTRE);
    view->Commands().Execute(ID_VIEW_BITMAP);
    EXPECT_TRUE(doc.m_bBitmapMode);
    const QImage screen = Screen();
    EXPECT_TRUE(view->m_bBitmapView);
    EXPECT_EQ(screen.pixel(600, 300), PicturePixel(600, 300));
    EXPECT_TRUE(Checked(ID_VIEW_BITMAP));
    EXPECT_FALSE(Checked(ID_VIEW_DORVANTA));
    EXPECT_STREQ(g_szModeText, "Bitmap View");
    EXPECT_STREQ(g_szOffsetText, "");
    // The arrow-mode commands are off in the bitmap view, without check marks.
    CmdUI ui;
    ui.id = ID_ARROW_CHANGE_CENTRE;
    view->Commands().Update(ui);
    EXPECT_FALSE(ui.enabled);
    EXPECT_FALSE(ui.checked.has_value());
}

TEST_F(DibViewTest, DorvantaViewRunsTheSettingsDialog) {
    Open(400, 300);
    view->Commands().Execute(ID_VIEW_BITMAP);
    Screen();
    int dialogs = 0;
    prompts.settingsDialog = [&dialogs](FigureEngine&, std::string&) {
        ++dialogs;
        return RESULT_DRAW_ONE_ORDER;
    };
    view->Commands().Execute(ID_VIEW_DORVANTA);
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(doc.m_bBitmapMode);
    EXPECT_FALSE(view->m_bBitmapView);
    EXPECT_TRUE(view->m_bDrawOnlyOne);
    EXPECT_TRUE(Checked(ID_VIEW_DORVANTA));
    prompts.settingsDialog = [](FigureEngine&, std::string&) { return IDOK; };
    QTest::keyClick(view.get(), Qt::Key_Return);  // Enter is the settings command too
    EXPECT_FALSE(view->m_bDrawOnlyOne);
}

TEST_F(DibViewTest, OrderCommandsSelectTheWorkingOrder) {
    Open(200, 150);
    view->Commands().Execute(ID_ORDER_0 + 3);
    EXPECT_EQ(doc.m_figure.m_nCurrentOrder, 3);
    doc.m_figure.m_orders[3].drawOrder = 0;
    EXPECT_FALSE(Checked(ID_ORDER_0 + 3));
    doc.m_figure.m_orders[3].drawOrder = 1;
    EXPECT_TRUE(Checked(ID_ORDER_0 + 3));
    view->Commands().Execute(ID_VIEW_BITMAP);
    Screen();
    EXPECT_FALSE(Checked(ID_ORDER_0 + 3));
}

TEST_F(DibViewTest, ColourPageIsEnteredAndLeftWithEnter) {
    Open(200, 150);
    prompts.answers = {IDNO};  // do not show the note again
    view->Commands().Execute(ID_COLOR_PAGE);
    EXPECT_TRUE(view->m_bColorPage);
    EXPECT_TRUE(Checked(ID_COLOR_PAGE));
    Screen();
    EXPECT_EQ(view->horizontalScrollBar()->maximum() + view->viewport()->width(), 910);
    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_FALSE(view->m_bColorPage);
    EXPECT_TRUE(view->m_bOverlayStale);
}

TEST_F(DibViewTest, PrintoutFillsThePageWidthWithNothingLaidOver) {
    Open(1000, 500);
    view->Commands().Execute(ID_ARROW_CHANGE_CENTRE);
    // A page 4800 pixels wide at 600 pixels per inch both ways.
    QImage page(4800, 2600, QImage::Format_RGB32);
    page.fill(Qt::black);
    page.setDotsPerMeterX(23622);
    page.setDotsPerMeterY(23622);
    QPainter painter(&page);
    view->OnDraw(painter, true);
    painter.end();
    EXPECT_EQ(page.pixel(0, 0), PicturePixel(0, 0));
    EXPECT_EQ(page.pixel(4799, 2399), PicturePixel(999, 499));
    EXPECT_EQ(page.pixel(4799, 2400), qRgb(0, 0, 0));
    // Where the screen shows the outer focus rectangle (x = 750), the printout shows the picture.
    EXPECT_EQ(page.pixel(750 * 48 / 10, 1200), PicturePixel(750, 250));
}

TEST_F(DibViewTest, PrintsToPdf) {
    Open(1000, 500);
    TempDir dir;
    const QString file = QString::fromStdString(dir.File("picture.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    ASSERT_TRUE(view->PrintPicture(printer));
    const QRect dest =
        PrintDestination(1000, 500, printer.width(), printer.logicalDpiX(), printer.logicalDpiY());
    EXPECT_EQ(dest.width(), printer.width());
    EXPECT_EQ(dest.height(), printer.width() / 2);
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_TRUE(bytes.contains("/Width 1000"));
    EXPECT_TRUE(bytes.contains("/Height 500"));
    EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
}
