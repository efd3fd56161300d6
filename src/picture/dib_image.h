// The picture block: a 40-byte BITMAPINFOHEADER followed by bottom-up rows of blue-green-red
// pixels, each row DibRowStride(width, 24) bytes. The same bytes go to the clipboard and, behind
// a 14-byte file header, into BMP files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class UserPrompts;

// One zero-filled block of bytes; the owning pointer plays the part of a movable memory handle.
class DibImage {
public:
    // Blocks beyond this are refused rather than risking the out-of-memory killer.
    static constexpr std::size_t kMaxBytes = std::size_t{2} << 30;  // 2 GiB

    // A zero-filled block of the given size, or null when it is zero, too large or cannot be had.
    static std::unique_ptr<DibImage> Allocate(std::size_t bytes);

    std::size_t Size() const { return m_size; }
    std::uint8_t* Bytes() { return m_bytes.get(); }
    const std::uint8_t* Bytes() const { return m_bytes.get(); }

private:
    struct FreeBytes {
        void operator()(std::uint8_t* p) const;
    };
    DibImage(std::uint8_t* bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}

    std::unique_ptr<std::uint8_t, FreeBytes> m_bytes;
    std::size_t m_size = 0;
};

using DibHandle = std::unique_ptr<DibImage>;

constexpr std::uint32_t kDibHeaderBytes = 40;

// Description of any DIB header (info or core header).
struct DibInfo {
    bool isInfoHeader = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t colourCount = 0;
    std::uint32_t colourTableBytes = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t colourTable = 0;  // byte offset of the first colour-table entry
};

struct PictureSize {
    int width = 0;
    int height = 0;
};

// Bytes of one stored row, rounded up to a multiple of 4. 64-bit so that hostile widths cannot
// overflow.
std::int64_t DibRowStride(std::int64_t width, std::int64_t bitsPerPixel);

DibInfo DibDescribe(const std::uint8_t* header);
std::uint8_t* DibPixelData(std::uint8_t* header, std::uint32_t colourTableBytes);
const std::uint8_t* DibPixelData(const std::uint8_t* header, std::uint32_t colourTableBytes);
void DibInitHeader24(std::uint8_t* block, int width, int height);

// Makes handle refer to a block that holds a width x height 24-bit picture, reusing a large
// enough block; shows "Too large picture requested,\n Low on memory." and returns false otherwise.
bool DibAllocatePicture(DibHandle& handle, int width, int height, UserPrompts& ui);

DibHandle DibCopyBlock(const DibHandle& handle);

// Writes file header and DIB to an open file; false when nothing was written or on a write error.
bool DibWriteBmp(std::FILE* file, const DibHandle& handle, std::uint32_t colourTableBytes);
bool DibSaveBmpFile(const std::string& path, const DibHandle& handle,
                    std::uint32_t colourTableBytes, UserPrompts& ui);

// Reads a BMP file and converts 1-, 4-, 8- and 32-bit pictures to 24 bits.
bool DibReadBmp(std::FILE* file, DibHandle& handle, DibInfo& info);
bool DibLoadBmpFile(const std::string& path, DibHandle& handle, PictureSize& size,
                    UserPrompts& ui);
