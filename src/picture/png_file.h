// PNG pictures: a row-streaming encoder that writes 8-bit RGB files carrying the figure's
// parameter text, the whole-picture writer built on it, and a reader (libspng) that turns every
// valid PNG into the 24-bit picture block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "picture/dib_image.h"
#include "picture/safe_file.h"

class UserPrompts;

// Keyword of the compressed text chunk (zTXt) that holds the figure's parameter text, byte for
// byte what its parameter file holds.
inline constexpr char kPngParameterKeyword[] = "Dorvanta";
// Value of the "Software" text chunk every written file carries.
inline constexpr char kPngSoftwareName[] = "Dorvanta 4.0";

// ---- Writing ----

// Encodes one picture as a PNG stream while its pixels arrive, so that a picture far larger than
// memory can be written band by band. Pixels are fed in reading order (left to right, top row
// first) in any number of calls of any size, even ending mid-row; the bytes produced depend only
// on the size, the parameter text and the pixels, never on how they were split into calls. The
// whole-picture writer uses this same encoder, so a streamed picture is byte for byte the file
// PngWritePicture writes.
//
//   PngRowEncoder png(width, height, parameterText, sink);
//   for (each band, top-down) png.AddRows(topRowOfBand, rowsInBand, strideBetweenRows);
//   if (!png.Finish()) ... report; the sink's output is incomplete ...
//
// The file: signature, IHDR (8-bit RGB, not interlaced), tEXt "Software" = kPngSoftwareName,
// zTXt kPngParameterKeyword = the parameter text (left out when the text is empty), IDAT chunks
// of kPngIdatChunkBytes each (the last one shorter), IEND. No time chunk: the same picture gives
// the same bytes.
//
// Filtering and compression follow from width and height alone:
// - each row with the Up filter while one row is at most kPngUpFilterMaxRowBytes (two rows are
//   held); beyond that the Sub filter, which needs only the previous pixel;
// - filtered data of at most kPngWholeBufferBytes (1 + 3 x width bytes a row) is held and
//   compressed at Finish with libdeflate (fast and small); larger pictures stream through zlib's
//   deflate in fixed blocks of kPngStreamBlockBytes, so memory stays at a few megabytes.
//
// Memory: at most about 100 MB for a picture compressed whole (its filtered data, libdeflate's
// output and two rows), at most about 35 MB while streaming (two rows for the Up filter, 3 MB of
// buffers and zlib state).
// Any failure (the sink refused bytes, more or fewer pixels than width x height, no memory)
// makes every later call return false; nothing is written after a failure.
class PngRowEncoder {
  public:
    // Receives the encoded bytes in order; returns false when they could not be stored.
    using Sink = std::function<bool(const std::uint8_t* bytes, std::size_t count)>;

    // width and height from 1 to 2^31 - 1; others make the encoder fail at once.
    PngRowEncoder(std::int64_t width, std::int64_t height, std::string_view parameterText,
                  Sink sink);
    ~PngRowEncoder();
    PngRowEncoder(const PngRowEncoder&) = delete;
    PngRowEncoder& operator=(const PngRowEncoder&) = delete;

    // count pixels of 3 bytes each in picture packing (blue, green, red), continuing where the
    // previous call stopped.
    bool AddPixels(const std::uint8_t* bgr, std::uint64_t count);
    // count whole rows of width pixels (blue, green, red), the first at topRow, each next row
    // stride bytes further (negative for the bottom-up rows of a picture block). Must start at
    // the beginning of a row.
    bool AddRows(const std::uint8_t* topRow, std::int64_t count, std::ptrdiff_t stride);
    // Compresses what is left and writes the last IDAT and IEND; false unless every pixel came
    // and every byte reached the sink.
    bool Finish();

    bool Failed() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

inline constexpr std::size_t kPngIdatChunkBytes = std::size_t{1} << 18;
inline constexpr std::uint64_t kPngUpFilterMaxRowBytes = std::uint64_t{16} << 20;
inline constexpr std::uint64_t kPngWholeBufferBytes = std::uint64_t{32} << 20;
inline constexpr std::size_t kPngStreamBlockBytes = std::size_t{1} << 20;

// True when a width x height picture is compressed as one buffer with libdeflate, false when it
// streams through zlib.
bool PngCompressesWhole(std::int64_t width, std::int64_t height);

// Writes the picture through a temporary file beside path (an earlier file survives a failure),
// or into path itself with Placement::IntoTarget (emptied on failure; see SafeFile), with
// parameterText in the parameter chunk (empty: no chunk). False without a message for a null
// handle or a block that is not a complete 24-bit picture; otherwise failures show
// "Failed to write: " + path + "\n" + the cause. The picture is not modified.
bool PngWritePicture(const std::string& path, const DibHandle& handle,
                     std::string_view parameterText, UserPrompts& ui,
                     SafeFile::Placement placement = SafeFile::Placement::BesideThenRename);

// ---- Reading ----

// Reads any valid PNG (grey, grey + alpha, palette, RGB, RGBA, 1 to 16 bits, interlaced, tRNS)
// into a new 24-bit block that replaces handle only on success. Alpha and tRNS transparency are
// composited over white; 16-bit samples are composited at 16 bits and then reduced to 8 by
// rounding (v x 255 / 65535). Gamma, colour profiles and other ancillary chunks are ignored.
// parameterText receives the text of the parameter chunk, or nullopt when there is none.
//
// Failures leave handle untouched and show "Failed to open: " + path (the file cannot be
// opened) or "Failed to read: " + path + "\n" + the cause: not a PNG, truncated, a bad CRC, an
// unknown critical chunk, damaged compressed data, or a size beyond the picture ceiling (checked
// before anything is decoded). Chunks and text are held to kPngChunkLimit, so no file can make
// the reader allocate more than the picture it announces.
bool PngReadPicture(const std::string& path, DibHandle& handle, PictureSize& size,
                    std::optional<std::string>& parameterText, UserPrompts& ui);

// The same from bytes in memory (the fuzz target's way in); path only names the source in
// messages.
bool PngReadPictureFromMemory(const std::uint8_t* bytes, std::size_t count, const std::string& path,
                              DibHandle& handle, PictureSize& size,
                              std::optional<std::string>& parameterText, UserPrompts& ui);

inline constexpr std::size_t kPngChunkLimit = std::size_t{8} << 20;
