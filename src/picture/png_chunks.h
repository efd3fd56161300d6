// The PNG reader's walk over chunks: finding the figure's text chunks anywhere in the file, and
// handing libspng only the chunks a picture needs. Both skip what they do not need without reading
// it, so neither the number nor the size of other chunks costs memory or much time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "picture/dib_image.h"

struct spng_ctx;

// PNG bytes from an open file or from memory.
class PngByteSource {
  public:
    explicit PngByteSource(std::FILE* file) : m_file(file) {}
    PngByteSource(const std::uint8_t* bytes, std::size_t count) : m_bytes(bytes), m_count(count) {}

    // Exactly count bytes, or false.
    bool Read(std::uint8_t* out, std::size_t count);
    bool Skip(std::uint64_t count);
    bool Rewind();
    bool Failed() const;  // a read error (not the end) of the file

  private:
    std::FILE* m_file = nullptr;
    const std::uint8_t* m_bytes = nullptr;
    std::size_t m_count = 0;
    std::size_t m_at = 0;
};

// What the chunks say about the figure; problem names why a parameter chunk that is there cannot
// be read.
struct PngFigureScan {
    PictureSize size;
    std::optional<std::string> parameterText;
    int onlyOrder = -1;
    std::string problem;
};

// Reads the signature and IHDR, then every chunk up to IEND or the end of the file; false when
// the file does not start as a PNG with a sound IHDR.
bool ScanPngFigure(PngByteSource& source, PngFigureScan& scan);

// libspng's read callback (spng_rw_fn) over the source, passing on the signature and the critical
// chunks and tRNS only; every other ancillary chunk is skipped unread.
class PngPictureChunks {
  public:
    explicit PngPictureChunks(PngByteSource& source) : m_source(source) {}
    static int Read(spng_ctx* ctx, void* user, void* destination, std::size_t length);

  private:
    int Fill(std::uint8_t* out, std::size_t length);
    bool NextChunk();

    PngByteSource& m_source;
    int m_chunks = -1;  // chunks begun; -1 before the signature
    std::uint8_t m_head[8] = {};
    std::size_t m_headLeft = 0;    // bytes of m_head still to hand on
    std::uint64_t m_passLeft = 0;  // bytes of the current chunk (data and CRC) still to hand on
};
