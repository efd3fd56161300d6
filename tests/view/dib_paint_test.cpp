#include "view/dib_paint.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <string>

#include "support/scripted_prompts.h"

namespace {

// A width x height picture whose pixel (x, stored row r) has red x, green r and blue 7.
DibHandle Picture(int width, int height) {
    ScriptedPrompts ui;
    DibHandle handle;
    EXPECT_TRUE(DibAllocatePicture(handle, width, height, ui));
    DibInitHeader24(handle->Bytes(), width, height);
    std::uint8_t* rows = DibPixelData(handle->Bytes(), 0);
    const std::int64_t stride = DibRowStride(width, 24);
    for (int r = 0; r < height; ++r) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = rows + r * stride + 3 * x;
            p[0] = 7;
            p[1] = static_cast<std::uint8_t>(r);
            p[2] = static_cast<std::uint8_t>(x);
        }
    }
    return handle;
}

QImage Canvas(int width, int height) {
    QImage canvas(width, height, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    return canvas;
}

}  // namespace

TEST(DibPaint, EqualSizesCopyWithTheBottomLineAtTheBottom) {
    const DibHandle picture = Picture(5, 3);
    QImage canvas = Canvas(5, 3);
    QPainter painter(&canvas);
    EXPECT_EQ(DibPaint(painter, QRect(0, 0, 5, 3), picture, 0, 3, QRect(0, 0, 5, 3), nullptr), 3);
    painter.end();
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(0, 2, 7));  // top row: the last stored row
    EXPECT_EQ(canvas.pixel(4, 2), qRgb(4, 0, 7));  // bottom row: the first stored row
    EXPECT_EQ(canvas.pixel(3, 1), qRgb(3, 1, 7));
}

TEST(DibPaint, OffsetDestinationLeavesTheRestUntouched) {
    const DibHandle picture = Picture(2, 2);
    QImage canvas = Canvas(4, 4);
    QPainter painter(&canvas);
    DibPaint(painter, QRect(1, 1, 2, 2), picture, 0, 2, QRect(0, 0, 2, 2), nullptr);
    painter.end();
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(0, 1, 7));
    EXPECT_EQ(canvas.pixel(2, 2), qRgb(1, 0, 7));
    EXPECT_EQ(canvas.pixel(3, 3), qRgb(0, 0, 0));
}

TEST(DibPaint, EveryCanvasFormatAndPlaceShowsTheSamePixels) {
    // Large enough to be turned into screen pixels in parts; translated and clipped painters and
    // formats other than the screen's take other ways, all with the same result.
    const DibHandle picture = Picture(600, 300);
    const QImage::Format formats[] = {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied,
                                      QImage::Format_ARGB32, QImage::Format_RGB888};
    const QPoint shifts[] = {QPoint(0, 0), QPoint(7, 3)};
    for (const QImage::Format format : formats) {
        for (const QPoint shift : shifts) {
            for (const bool clipped : {false, true}) {
                QImage canvas(620, 310, format);
                canvas.fill(Qt::black);
                QPainter painter(&canvas);
                painter.translate(shift);
                if (clipped) painter.setClipRect(QRect(0, 100, 600, 50));
                DibPaint(painter, QRect(2, 1, 598, 299), picture, 0, 300, QRect(1, 0, 598, 299),
                         nullptr);
                painter.end();
                const std::string what = std::to_string(format) + " shift " +
                                         std::to_string(shift.x()) + (clipped ? " clipped" : "");
                for (const QPoint p : {QPoint(0, 0), QPoint(597, 298), QPoint(300, 120),
                                       QPoint(5, 200), QPoint(590, 149)}) {
                    const bool inside = !clipped || (p.y() + 1 >= 100 && p.y() + 1 < 150);
                    // Source pixel (1 + x, stored row 298 − y) lands at (2 + x, 1 + y).
                    const QRgb want =
                        inside ? qRgb((1 + p.x()) & 0xFF, 298 - p.y(), 7) : qRgb(0, 0, 0);
                    EXPECT_EQ(canvas.pixel(p + shift + QPoint(2, 1)), want)
                        << what << " at " << p.x() << "," << p.y();
                }
                EXPECT_EQ(canvas.pixel(shift + QPoint(1, 0)), qRgb(0, 0, 0)) << what;
            }
        }
    }
}

TEST(DibPaint, DifferentSizesStretchWithNearestPixels) {
    const DibHandle picture = Picture(2, 2);
    QImage canvas = Canvas(4, 4);
    QPainter painter(&canvas);
    EXPECT_EQ(DibPaint(painter, QRect(0, 0, 4, 4), picture, 0, 2, QRect(0, 0, 2, 2), nullptr), 2);
    painter.end();
    // Every picture pixel becomes a 2 x 2 block of exactly its colour: no blending.
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(canvas.pixel(x, y), qRgb(x / 2, 1 - y / 2, 7)) << x << "," << y;
        }
    }
}

TEST(DibPaint, NothingToDrawGivesZero) {
    QImage canvas = Canvas(4, 4);
    QPainter painter(&canvas);
    DibHandle none;
    EXPECT_EQ(DibPaint(painter, QRect(0, 0, 4, 4), none, 0, 4, QRect(0, 0, 4, 4), nullptr), 0);
    // A block whose header announces more rows than it holds is refused.
    DibHandle shortBlock = DibImage::Allocate(kDibHeaderBytes + 12);
    DibInitHeader24(shortBlock->Bytes(), 4, 4);
    EXPECT_EQ(DibPaint(painter, QRect(0, 0, 4, 4), shortBlock, 0, 4, QRect(0, 0, 4, 4), nullptr),
              0);
    painter.end();
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(0, 0, 0));
}

TEST(DibPaint, PrintedPictureFillsThePageWidth) {
    EXPECT_EQ(PrintDestination(1000, 500, 4800, 600, 600), QRect(0, 0, 4800, 2400));
    // Unequal resolutions keep the proportions on paper; the height is truncated.
    EXPECT_EQ(PrintDestination(1000, 500, 4800, 600, 300), QRect(0, 0, 4800, 1200));
    EXPECT_EQ(PrintDestination(3, 1, 100, 72, 72), QRect(0, 0, 100, 33));
    EXPECT_EQ(PrintDestination(0, 500, 4800, 600, 600), QRect());
}
