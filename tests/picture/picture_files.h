// Test helpers of the picture layer: whole files as bytes, and BMP files built field by field so
// that every bit depth, header kind and lie can be put on disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "picture/dib_image.h"

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);

// Little-endian reads from a byte vector, for asserting file layouts.
std::uint16_t U16At(const Bytes& bytes, std::size_t offset);
std::uint32_t U32At(const Bytes& bytes, std::size_t offset);

// A file that lives in memory (memfd) but is opened, stat-ed and read like any file on disk;
// loops over thousands of damaged files use it to stay fast.
class MemoryFile {
  public:
    MemoryFile();
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void Replace(const Bytes& bytes);  // the whole content
    std::string Path() const;          // a path that opens this file
    int Descriptor() const { return m_fd; }

  private:
    int m_fd = -1;
};

struct BmpFields {
    std::uint32_t headerBytes = 40;  // 12 writes a core header
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t colourUsed = 0;
    Bytes table;   // written right after the header: masks and/or colour entries
    Bytes gap;     // written between table and pixels
    Bytes pixels;  // the stored rows, as they go to the file
    std::optional<std::uint32_t> pixelOffset;  // default: where the pixels really start

    // Chainable setters: BmpFields().Width(3).Bits(8).Table(...).Pixels({...}).
    BmpFields& HeaderBytes(std::uint32_t v) { return headerBytes = v, *this; }
    BmpFields& Width(std::int32_t v) { return width = v, *this; }
    BmpFields& Height(std::int32_t v) { return height = v, *this; }
    BmpFields& Bits(std::uint16_t v) { return bits = v, *this; }
    BmpFields& Compression(std::uint32_t v) { return compression = v, *this; }
    BmpFields& ColourUsed(std::uint32_t v) { return colourUsed = v, *this; }
    BmpFields& Table(Bytes v) { return table = std::move(v), *this; }
    BmpFields& Gap(Bytes v) { return gap = std::move(v), *this; }
    BmpFields& Pixels(Bytes v) { return pixels = std::move(v), *this; }
    BmpFields& PixelOffset(std::uint32_t v) { return pixelOffset = v, *this; }
};

Bytes BuildBmp(const BmpFields& fields);

// A block with our 24-bit header whose pixel (x, y counted in stored rows) is (b, g, r) =
// (x, y, x + y) + seed.
DibHandle MakeTestPicture(int width, int height, int seed = 0);
