#include "view/clipboard.h"

#include <QMimeData>
#include <cstring>
#include <optional>

#include "picture/byte_order.h"

namespace {

constexpr std::uint32_t kPixelOffset = kBmpFileHeaderBytes + kDibHeaderBytes;

struct PictureLayout {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    std::size_t bytes = 0;  // header and rows
};

std::optional<PictureLayout> LayoutOf(const DibImage& block) {
    if (!DibIsPicture24(block)) return std::nullopt;
    const DibInfo info = DibDescribe(block.Bytes());
    return PictureLayout{info.width, info.height,
                         static_cast<std::size_t>(DibRowStride(info.width, 24)),
                         DibPictureBytes(info.width, info.height)};
}

// A block holding the first bytes of source, which must be a picture of our layout.
DibHandle CopyOfPicture(const std::uint8_t* source, std::size_t bytes) {
    DibHandle block = DibImage::Allocate(bytes);
    if (block) std::memcpy(block->Bytes(), source, bytes);
    return block;
}

// Our own pictures: "BM", pixels right behind the 40-byte header, and a block that passes the
// same check as every pasted picture.
DibHandle OwnPictureFromBmp(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const auto size = static_cast<std::size_t>(bytes.size());
    if (size < kPixelOffset || data[0] != 'B' || data[1] != 'M') return nullptr;
    if (ReadU32(data + 10) != kPixelOffset) return nullptr;
    DibHandle candidate = CopyOfPicture(data + kBmpFileHeaderBytes, size - kBmpFileHeaderBytes);
    if (!candidate) return nullptr;
    const auto layout = LayoutOf(*candidate);
    if (!layout) return nullptr;
    if (layout->bytes == candidate->Size()) return candidate;
    return CopyOfPicture(candidate->Bytes(), layout->bytes);
}

}  // namespace

// ---- Copy ------------------------------------------------------------------------------------

QByteArray BmpBytesOfPicture(const DibImage& block) {
    const auto layout = LayoutOf(block);
    if (!layout) return {};
    QByteArray bytes(static_cast<qsizetype>(kBmpFileHeaderBytes + layout->bytes), '\0');
    auto* data = reinterpret_cast<std::uint8_t*>(bytes.data());
    data[0] = 'B';
    data[1] = 'M';
    WriteU32(data + 2, static_cast<std::uint32_t>(bytes.size()));
    WriteU32(data + 10, kPixelOffset);
    std::memcpy(data + kBmpFileHeaderBytes, block.Bytes(), layout->bytes);
    // The image size field says how many bytes of rows follow, whatever the block said.
    WriteU32(data + kBmpFileHeaderBytes + 20,
             static_cast<std::uint32_t>(layout->bytes - kDibHeaderBytes));
    return bytes;
}

QImage ImageOfPicture(const DibImage& block) {
    const auto layout = LayoutOf(block);
    if (!layout) return {};
    QImage image(layout->width, layout->height, QImage::Format_BGR888);
    if (image.isNull()) return {};
    const std::uint8_t* rows = DibPixelData(block.Bytes(), 0);
    const auto rowBytes = static_cast<std::size_t>(layout->width) * 3;
    for (int y = 0; y < layout->height; ++y) {
        const std::uint8_t* stored = rows + (layout->height - 1 - y) * layout->stride;
        std::memcpy(image.scanLine(y), stored, rowBytes);
    }
    return image;
}

std::unique_ptr<QMimeData> MimeDataOfPicture(const DibImage& block) {
    QByteArray bmp = BmpBytesOfPicture(block);
    if (bmp.isEmpty()) return nullptr;
    auto data = std::make_unique<QMimeData>();
    data->setData(kBmpMimeType, bmp);
    data->setImageData(ImageOfPicture(block));
    return data;
}

// ---- Paste -----------------------------------------------------------------------------------

DibHandle PictureFromImage(const QImage& image) {
    if (image.isNull()) return nullptr;
    const std::size_t bytes = DibPictureBytes(image.width(), image.height());
    if (bytes == 0) return nullptr;
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    DibHandle block = DibImage::Allocate(bytes);
    if (bgr.isNull() || !block) return nullptr;
    DibInitHeader24(block->Bytes(), bgr.width(), bgr.height());
    std::uint8_t* rows = DibPixelData(block->Bytes(), 0);
    const auto stride = static_cast<std::size_t>(DibRowStride(bgr.width(), 24));
    const auto rowBytes = static_cast<std::size_t>(bgr.width()) * 3;
    for (int y = 0; y < bgr.height(); ++y) {
        std::memcpy(rows + (bgr.height() - 1 - y) * stride, bgr.constScanLine(y), rowBytes);
    }
    return block;
}

DibHandle PictureFromBmpBytes(const QByteArray& bytes) {
    if (DibHandle own = OwnPictureFromBmp(bytes)) return own;
    return PictureFromImage(QImage::fromData(bytes, "BMP"));
}

DibHandle PictureFromMimeData(const QMimeData& data) {
    if (data.hasFormat(kBmpMimeType)) {
        if (DibHandle picture = PictureFromBmpBytes(data.data(kBmpMimeType))) return picture;
    }
    if (data.hasImage()) return PictureFromImage(qvariant_cast<QImage>(data.imageData()));
    return nullptr;
}

bool OffersPicture(const QMimeData* data) {
    return data != nullptr && (data->hasFormat(kBmpMimeType) || data->hasImage());
}
