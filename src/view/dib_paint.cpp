#include "view/dib_paint.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "figure/band_painting.h"
#include "figure/painting_pool.h"

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

// One stored row of blue-green-red pixels as screen pixels (0xffRRGGBB). On little-endian
// machines each pixel's three bytes are already in place in a word: sixteen bytes at a time are
// spread into four words with one byte shuffle (compiled for AVX2 too where the machine has it).
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
void ToScreenPixels(const std::uint8_t* in, int count, QRgb* out) {
    int x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
        const Bytes16 spread = {0, 1, 2, 16, 3, 4, 5, 16, 6, 7, 8, 16, 9, 10, 11, 16};
        const Bytes16 opaque = {255, 255, 255, 255, 255, 255, 255, 255,
                                255, 255, 255, 255, 255, 255, 255, 255};
        // Sixteen bytes are read for four pixels' twelve: stop while six pixels remain.
        for (; x + 6 <= count; x += 4, in += 12) {
            Bytes16 bytes;
            std::memcpy(&bytes, in, sizeof bytes);
            const Bytes16 pixels = __builtin_shuffle(bytes, opaque, spread);
            std::memcpy(out + x, &pixels, sizeof pixels);
        }
    }
    for (; x < count; ++x, in += 3) {
        out[x] = 0xFF000000u | std::uint32_t{in[2]} << 16 | std::uint32_t{in[1]} << 8 | in[0];
    }
}

// Runs convert(firstY, lastY) over the rows of rect, a large rect in parts on every core. Part 0,
// the calling thread's, is the bottom of the picture as stored first, and so on up: the rows each
// core painted last, still in its cache.
template <typename Convert>
void ConvertInParts(const QRect& rect, const Convert& convert) {
    constexpr std::int64_t kPixelsWorthAPart = 1 << 16;
    const int parts = static_cast<int>(
        std::clamp<std::int64_t>(std::int64_t{rect.width()} * rect.height() / kPixelsWorthAPart, 1,
                                 DefaultPaintingThreads()));
    PaintingPool* pool = parts > 1 ? PaintingPool::Shared() : nullptr;
    if (pool == nullptr) {
        convert(rect.top(), rect.bottom());
        return;
    }
    const auto rowsOf = [&](int part) {
        return static_cast<int>(std::int64_t{rect.height()} * part / parts);
    };
    pool->ForEachPart(parts, [&](int part) {
        convert(rect.bottom() - rowsOf(part + 1) + 1, rect.bottom() - rowsOf(part));
    });
}

// Where the painter writes unscaled into an image of screen pixels (a widget's backing store),
// the rows are turned into its pixels in place, within the area being painted: no second copy of
// the picture. False, writing nothing, for every other painter.
bool CopyRowsInPlace(QPainter& painter, const QRect& dest, const QImage& rows,
                     const QRect& source) {
    QPaintEngine* engine = painter.paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster || painter.hasClipping() ||
        painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver) {
        return false;
    }
    QPaintDevice* device = engine->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image) return false;
    auto* target = static_cast<QImage*>(device);
    const QImage::Format format = target->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied) {
        return false;
    }
    const QTransform transform = painter.deviceTransform();
    const QPoint offset(static_cast<int>(transform.dx()), static_cast<int>(transform.dy()));
    if (transform.type() > QTransform::TxTranslate || offset.x() != transform.dx() ||
        offset.y() != transform.dy()) {
        return false;
    }
    QRegion area = QRegion(dest.translated(offset)) & QRect(QPoint(0, 0), target->size());
    if (const QRegion painted = engine->systemClip(); !painted.isEmpty()) area &= painted;
    for (const QRect& rect : area) {
        const int column = source.left() + (rect.left() - offset.x() - dest.left());
        auto convert = [&](int firstY, int lastY) {
            for (int y = firstY; y <= lastY; ++y) {
                const int row = source.bottom() - (y - offset.y() - dest.top());
                // Through the painter's own buffer, as its engine writes: scanLine() could
                // detach the image from it.
                auto* out = reinterpret_cast<QRgb*>(const_cast<uchar*>(target->constScanLine(y)));
                ToScreenPixels(rows.constScanLine(row) + 3 * std::int64_t{column}, rect.width(),
                               out + rect.left());
            }
        };
        ConvertInParts(rect, convert);
    }
    return true;
}

// The same without a transform: the rows within the clip, turned the right way up into the
// screen's own pixel format and drawn as one image. Qt would convert the stored 24-bit rows pixel
// by pixel through a generic path, which took as long as half a painting.
void CopyRows(QPainter& painter, const QRect& dest, const QImage& rows, const QRect& source) {
    if (CopyRowsInPlace(painter, dest, rows, source)) return;
    int firstY = dest.top();
    int lastY = dest.bottom();
    if (painter.hasClipping() && painter.transform().isIdentity()) {
        const QRectF clip = painter.clipBoundingRect();
        firstY = std::max(firstY, static_cast<int>(std::floor(clip.top())));
        lastY = std::min(lastY, static_cast<int>(std::ceil(clip.bottom())));
    }
    if (firstY > lastY) return;
    // Kept between paintings (only the GUI thread paints): a new image each time would cost
    // its pages again.
    static QImage screen;
    const QSize size(source.width(), lastY - firstY + 1);
    if (screen.width() < size.width() || screen.height() < size.height()) {
        screen = QImage(size.expandedTo(screen.size()), QImage::Format_RGB32);
        if (screen.isNull()) return;
    }
    for (int y = firstY; y <= lastY; ++y) {
        const int row = source.bottom() - (y - dest.top());
        ToScreenPixels(rows.constScanLine(row) + 3 * std::int64_t{source.left()}, size.width(),
                       reinterpret_cast<QRgb*>(screen.scanLine(y - firstY)));
    }
    painter.drawImage(QPoint(dest.left(), firstY), screen, QRect(QPoint(0, 0), size));
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
