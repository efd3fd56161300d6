// The picture block: a 40-byte BITMAPINFOHEADER followed by bottom-up rows of blue-green-red
// pixels, each row DibRowStride(width, 24) bytes. The same bytes go to the clipboard and, behind
// a 14-byte file header, into BMP files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "picture/page_memory.h"

class UserPrompts;

// One zero-filled block of bytes; the owning pointer plays the part of a movable memory handle.
class DibImage {
  public:
    // Blocks beyond this are refused rather than risking the out-of-memory killer.
    static constexpr std::size_t kMaxBytes = std::size_t{2} << 30;  // 2 GiB

    // A zero-filled block of the given size, or null when it is zero, too large or cannot be had.
    static std::unique_ptr<DibImage> Allocate(std::size_t bytes);

    std::size_t Size() const { return m_bytes.size(); }
    std::uint8_t* Bytes() { return m_bytes.data(); }
    const std::uint8_t* Bytes() const { return m_bytes.data(); }

  private:
    explicit DibImage(PageBuffer bytes) : m_bytes(std::move(bytes)) {}

    PageBuffer m_bytes;
};

using DibHandle = std::unique_ptr<DibImage>;

constexpr std::uint32_t kDibHeaderBytes = 40;
constexpr std::uint32_t kBmpFileHeaderBytes = 14;
// Shown whenever a picture of the requested size cannot be held.
inline constexpr char kTooLargePictureText[] = "Too large picture requested,\n Low on memory.";
// The message for a picture without pixels (a side of 0 or less), which no memory would help.
std::string EmptyPictureText(std::int64_t width, std::int64_t height);

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

// ---- The block and its header ----

// Bytes of one stored row, rounded up to a multiple of 4. 64-bit so that hostile widths cannot
// overflow.
std::int64_t DibRowStride(std::int64_t width, std::int64_t bitsPerPixel);

// Reads a header that the caller knows to lie inside its block (at least 40 bytes for an info
// header, 12 for a core header).
DibInfo DibDescribe(const std::uint8_t* header);
std::uint8_t* DibPixelData(std::uint8_t* header, std::uint32_t colourTableBytes);
const std::uint8_t* DibPixelData(const std::uint8_t* header, std::uint32_t colourTableBytes);
void DibInitHeader24(std::uint8_t* block, int width, int height);

// True when the block holds a complete picture of our own layout: 40-byte header, 24 bits,
// uncompressed, positive width and height, and every row inside the block. Blocks that arrive
// from elsewhere (a paste) are checked with this before anyone walks their rows.
bool DibIsPicture24(const DibImage& block);

// Bytes of a block for a width x height 24-bit picture (40 + stride x height), or 0 when such a
// picture cannot be held: non-positive sizes or more than DibImage::kMaxBytes.
std::size_t DibPictureBytes(int width, int height);

// Makes handle refer to a block that holds a width x height 24-bit picture, reusing a large
// enough block; shows "Too large picture requested,\n Low on memory." and leaves the handle null
// otherwise (also for non-positive sizes and blocks beyond DibImage::kMaxBytes).
bool DibAllocatePicture(DibHandle& handle, int width, int height, UserPrompts& ui);

// A byte-for-byte copy of the block, or null for a null handle or when no memory is left.
DibHandle DibCopyBlock(const DibHandle& handle);

// ---- BMP files ----

enum class DibWriteResult {
    Written,
    NothingWritten,  // null handle, not a 40-byte header, or a header that lies about its size
    FileError,       // a write failed; the file's contents are undefined
};

// Writes file header and DIB to an open file. Stores the recomputed biSizeImage in the block.
DibWriteResult DibWriteBmp(std::FILE* file, const DibHandle& handle,
                           std::uint32_t colourTableBytes);

// Creates path and writes the picture through a temporary file beside it, so a failed save leaves
// an earlier file of that name intact. Reports its own failures.
bool DibSaveBmpFile(const std::string& path, const DibHandle& handle,
                    std::uint32_t colourTableBytes, UserPrompts& ui);

enum class DibReadResult {
    Read,       // handle holds a 24-bit picture of our layout; info describes it
    NotBitmap,  // shorter than 14 bytes or no "BM": handle untouched
    Refused,    // malformed, unsupported (16 bits, RLE, ...), too large or short: handle null
    FileError,  // the file could not be read: handle null
};

// Reads a BMP file (a regular file, positioned at its start) and converts 1-, 4-, 8- and 32-bit
// pictures, core headers, top-down rows and pixel data placed away from the colour table to our
// 24-bit layout. Canonical 24-bit files are kept exactly as read.
DibReadResult DibReadBmp(std::FILE* file, DibHandle& handle, DibInfo& info);

// Opens path and reads it with DibReadBmp; size receives the picture size (0 x 0 on failure).
// Reports its own failures.
bool DibLoadBmpFile(const std::string& path, DibHandle& handle, PictureSize& size, UserPrompts& ui);
