#include "view/dib_paint.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The block's rows as an image without copying them, or a null image when the block is not a
// complete 24-bit picture. Row 0 of the image is the bottom line of the picture.
QImage StoredRows(const DibImage& block, std::uint32_t colourTableBytes) {
    if (block.Size() < kDibHeaderBytes) return {};
    const DibInfo info = DibDescribe(block.Bytes());
    if (info.bitsPerPixel != 24 || info.width <= 0 || info.height <= 0) return {};
    const std::int64_t stride = DibRowStride(info.width, 24);
    const std::uint8_t* pixels = DibPixelData(block.Bytes(), colourTableBytes);
    const std::int64_t offset = pixels - block.Bytes();
    if (offset < 0 || offset + stride * info.height > static_cast<std::int64_t>(block.Size())) {
        return {};
    }
    return QImage(pixels, info.width, info.height, stride, QImage::Format_BGR888);
}

// Draws image rows [source] flipped upside down onto dest, as a bottom-up picture appears.
void DrawFlipped(QPainter& painter, const QRect& dest, const QImage& rows, const QRect& source) {
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.translate(dest.left(), dest.top() + dest.height());
    painter.scale(static_cast<double>(dest.width()) / source.width(),
                  -static_cast<double>(dest.height()) / source.height());
    painter.drawImage(QPointF(0, 0), rows, source);
    painter.restore();
}

// The same without a transform, one stored row at a time from the bottom line up: plain row
// copies are cheaper than a flipping transform, and rows outside the clip are skipped.
void CopyRows(QPainter& painter, const QRect& dest, const QImage& rows, const QRect& source) {
    int firstY = dest.top();
    int lastY = dest.bottom();
    if (painter.hasClipping() && painter.transform().isIdentity()) {
        const QRectF clip = painter.clipBoundingRect();
        firstY = std::max(firstY, static_cast<int>(std::floor(clip.top())));
        lastY = std::min(lastY, static_cast<int>(std::ceil(clip.bottom())));
    }
    for (int y = firstY; y <= lastY; ++y) {
        const int row = source.bottom() - (y - dest.top());
        painter.drawImage(QPoint(dest.left(), y), rows,
                          QRect(source.left(), row, source.width(), 1));
    }
}

}  // namespace

int DibPaint(QPainter& painter, const QRect& dest, const DibHandle& hDIB,
             std::uint32_t colourTableBytes, int scanLines, const QRect& source,
             const DocPalette* /*palette*/) {
    if (!hDIB) return 0;
    const QImage rows = StoredRows(*hDIB, colourTableBytes);
    if (rows.isNull() || dest.isEmpty() || source.isEmpty()) return 0;
    if (dest.size() == source.size()) {
        // Only the first scanLines stored rows are handed over, as with a device copy.
        const int lines = std::clamp(scanLines, 0, rows.height());
        const QRect available = source.intersected(QRect(0, 0, rows.width(), lines));
        if (available.isEmpty()) return 0;
        const QRect target(dest.left() + (available.left() - source.left()),
                           dest.top() + (source.bottom() - available.bottom()), available.width(),
                           available.height());
        CopyRows(painter, target, rows, available);
        return lines;
    }
    DrawFlipped(painter, dest, rows, source);
    return source.height();
}

QRect PrintDestination(int pictureWidth, int pictureHeight, int horzRes, int logPixelsX,
                       int logPixelsY) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || logPixelsX <= 0) return {};
    const double height = static_cast<double>(pictureHeight) * horzRes * logPixelsY /
                          (static_cast<double>(pictureWidth) * logPixelsX);
    const double limit = std::numeric_limits<int>::max();
    return QRect(0, 0, horzRes, static_cast<int>(std::clamp(std::trunc(height), 0.0, limit)));
}
