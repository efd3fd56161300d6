#include "picture/dib_image.h"

#include <cstdlib>
#include <cstring>

#include "picture/byte_order.h"
#include "picture/user_prompts.h"

// ---- DibImage ----

std::unique_ptr<DibImage> DibImage::Allocate(std::size_t bytes) {
    if (bytes == 0 || bytes > kMaxBytes) return nullptr;
    PageBuffer block(bytes);
    if (!block) return nullptr;
    return std::unique_ptr<DibImage>(new DibImage(std::move(block)));
}

// ---- Header ----

std::int64_t DibRowStride(std::int64_t width, std::int64_t bitsPerPixel) {
    return ((width * bitsPerPixel + 31) / 32) * 4;
}

static std::uint32_t ColourCountFor(bool isInfoHeader, std::uint32_t used, std::uint16_t bits) {
    if (isInfoHeader && used != 0) return used;
    switch (bits) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

DibInfo DibDescribe(const std::uint8_t* header) {
    DibInfo info;
    info.isInfoHeader = ReadU32(header) == kDibHeaderBytes;
    if (info.isInfoHeader) {
        info.width = ReadI32(header + 4);
        info.height = ReadI32(header + 8);
        info.planes = ReadU16(header + 12);
        info.bitsPerPixel = ReadU16(header + 14);
        info.colourTable = kDibHeaderBytes;
    } else {
        info.width = ReadU16(header + 4);
        info.height = ReadU16(header + 6);
        info.planes = ReadU16(header + 8);
        info.bitsPerPixel = ReadU16(header + 10);
        info.colourTable = 12;
    }
    std::uint32_t used = info.isInfoHeader ? ReadU32(header + 32) : 0;
    info.colourCount = ColourCountFor(info.isInfoHeader, used, info.bitsPerPixel);
    // Widened first: a hostile biClrUsed must not wrap the byte count around.
    std::uint64_t tableBytes = std::uint64_t{info.colourCount} * (info.isInfoHeader ? 4 : 3);
    if (info.bitsPerPixel == 32) tableBytes += 12;
    info.colourTableBytes = tableBytes > UINT32_MAX ? UINT32_MAX : std::uint32_t(tableBytes);
    return info;
}

std::uint8_t* DibPixelData(std::uint8_t* header, std::uint32_t colourTableBytes) {
    return header + ReadU32(header) + colourTableBytes;
}

const std::uint8_t* DibPixelData(const std::uint8_t* header, std::uint32_t colourTableBytes) {
    return header + ReadU32(header) + colourTableBytes;
}

void DibInitHeader24(std::uint8_t* block, int width, int height) {
    std::memset(block, 0, kDibHeaderBytes);
    WriteU32(block, kDibHeaderBytes);
    WriteI32(block + 4, width);
    WriteI32(block + 8, height);
    WriteU16(block + 12, 1);
    WriteU16(block + 14, 24);
    WriteU32(block + 16, 0);
    WriteU32(block + 20, static_cast<std::uint32_t>(DibRowStride(width, 24) * height));
}

bool DibIsPicture24(const DibImage& block) {
    if (block.Size() < kDibHeaderBytes) return false;
    const std::uint8_t* header = block.Bytes();
    if (ReadU32(header) != kDibHeaderBytes || ReadU16(header + 14) != 24) return false;
    if (ReadU32(header + 16) != 0 || ReadU32(header + 32) != 0) return false;
    std::int64_t width = ReadI32(header + 4);
    std::int64_t height = ReadI32(header + 8);
    if (width <= 0 || height <= 0) return false;
    auto rowRoom = static_cast<std::int64_t>(block.Size() - kDibHeaderBytes);
    return height <= rowRoom / DibRowStride(width, 24);
}

// ---- Blocks ----

std::string EmptyPictureText(std::int64_t width, std::int64_t height) {
    return "A picture needs a positive width and height, not " + std::to_string(width) + " x " +
           std::to_string(height) + ".";
}

std::size_t DibPictureBytes(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    constexpr auto kRowRoom = static_cast<std::int64_t>(DibImage::kMaxBytes - kDibHeaderBytes);
    std::int64_t stride = DibRowStride(width, 24);
    if (height > kRowRoom / stride) return 0;
    return static_cast<std::size_t>(kDibHeaderBytes + stride * height);
}

bool DibAllocatePicture(DibHandle& handle, int width, int height, UserPrompts& ui) {
    if (width <= 0 || height <= 0) {
        // Nothing to allocate, and not a matter of memory.
        handle.reset();
        ui.ShowMessage(EmptyPictureText(width, height), MsgButtons::Ok, MsgIcon::Exclamation);
        return false;
    }
    std::size_t bytes = DibPictureBytes(width, height);
    if (handle && (bytes == 0 || handle->Size() < bytes)) handle.reset();
    if (!handle && bytes != 0) handle = DibImage::Allocate(bytes);
    if (!handle) {
        ui.ShowMessage(kTooLargePictureText, MsgButtons::Ok, MsgIcon::Exclamation);
        return false;
    }
    return true;
}

DibHandle DibCopyBlock(const DibHandle& handle) {
    if (!handle) return nullptr;
    DibHandle copy = DibImage::Allocate(handle->Size());
    if (copy) std::memcpy(copy->Bytes(), handle->Bytes(), handle->Size());
    return copy;
}
