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
#include <vector>

#include "picture/dib_image.h"
#include "picture/safe_file.h"

class UserPrompts;

// Keyword of the compressed text chunk (zTXt) that holds the figure's parameter text, byte for
// byte what its parameter file holds.
inline constexpr char kPngParameterKeyword[] = "Dorvanta";
// Value of the "Software" text chunk every written file carries.
inline constexpr char kPngSoftwareName[] = "Dorvanta 4.0";
// Keyword of the plain text chunk (tEXt) that says which order a painting of one order alone
// shows; its text is the digit. A text chunk, not a chunk type of our own: every PNG reader skips
// text it does not know, and editors that save the picture again (ImageMagick, GIMP) keep text
// chunks, so the note travels with the parameter text, which cannot say it.
inline constexpr char kPngOnlyOrderKeyword[] = "Dorvanta Only Order";

// An animated PNG (APNG): frames of the picture's size, each shown for delayNumerator /
// delayDenominator seconds, the whole played `plays` times (0: for ever). The first frame is the
// picture every PNG reader shows.
struct PngAnimation {
    std::uint32_t frames = 0;  // 0: a still picture
    std::uint16_t delayNumerator = 1;
    std::uint16_t delayDenominator = 30;
    std::uint32_t plays = 0;
};

// What a written file says besides the pixels and the parameter text.
struct PngExtras {
    int onlyOrder = -1;   // 0 to 9: the order painted alone (with the parameter text only)
    int dotsPerInch = 0;  // above 0: the print resolution (pHYs), so the size on paper is known
    PngAnimation animation = {};
};
inline constexpr int kPngMaxDotsPerInch = 100000;

// ---- Writing ----

// How a picture is encoded beyond its pixels.
struct PngEncoding {
    // Runs work(0) .. work(parts − 1), several at once where it can, and returns when all are
    // done; work does not throw. Empty: the parts run one after the other on the caller's thread.
    std::function<void(int parts, const std::function<void(int part)>& work)> runParts;
    // Parts runParts runs at once (the encoder holds a few times as many parts in memory).
    int threads = 1;
    // The colours of the picture (0xRRGGBB, each once, at most 256): written as a palette
    // picture. Empty (or more than 256): RGB.
    std::vector<std::uint32_t> palette;
    // Every part at the fastest level: for pictures looked at once and thrown away (a file
    // manager's thumbnails), where a few per cent of size matter less than the time.
    bool quick = false;
};

// Encodes one picture as a PNG stream while its pixels arrive, so that a picture far larger than
// memory can be written band by band. Pixels are fed in reading order (left to right, top row
// first) in any number of calls of any size, even ending mid-row; the bytes produced depend only
// on the size, the parameter text, the palette and the pixels, never on how they were split into
// calls or on the threads. The whole-picture writer uses this same encoder.
//
//   PngRowEncoder png(width, height, parameterText, sink, encoding);
//   for (each band, top-down) png.AddRows(topRowOfBand, rowsInBand, strideBetweenRows);
//   if (!png.Finish()) ... report; the sink's output is incomplete ...
//
// The file: signature, IHDR (8-bit RGB, or a palette of 1, 2, 4 or 8 bits, not interlaced),
// sRGB (perceptual), pHYs (only with extras.dotsPerInch), tEXt "Software" = kPngSoftwareName,
// zTXt kPngParameterKeyword = the parameter text (left out when the text is empty), tEXt
// kPngOnlyOrderKeyword (only with the text and extras.onlyOrder), PLTE for a palette, IDAT chunks
// of kPngIdatChunkBytes each (the last one shorter), IEND. No time chunk: the same picture gives
// the same bytes.
//
// The rows are filtered and compressed in parts of about a megabyte (a number of rows fixed by
// the size): each RGB row with the filter whose bytes sum smallest, palette rows unfiltered; each
// part compressed on its own by libdeflate, on the threads of encoding.runParts, and the parts
// joined into one zlib stream. The rows of a batch of parts are held; memory stays within about
// 100 MB whatever the size (for the widest rows: three times one row).
//
// An animation (extras.animation.frames above 0) is always RGB: acTL follows sRGB, an fcTL goes
// before each frame's image data (IDAT for the first frame, fdAT chunks for the others), and
// Finish() ends each frame; the pixels of the next frame follow, and the last frame's Finish()
// writes IEND.
// Any failure (the sink refused bytes, more or fewer pixels than width x height, a colour the
// palette lacks, no memory) makes every later call return false; nothing is written after a
// failure.
class PngRowEncoder {
  public:
    // Receives the encoded bytes in order; returns false when they could not be stored.
    using Sink = std::function<bool(const std::uint8_t* bytes, std::size_t count)>;

    // width and height from 1 to 2^31 - 1; others make the encoder fail at once.
    PngRowEncoder(std::int64_t width, std::int64_t height, std::string_view parameterText,
                  Sink sink, PngExtras extras = {}, PngEncoding encoding = {});
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

// The colours of a picture (rows of blue, green, red from topRow, stride bytes apart) in
// ascending order, or nothing when it has more than 256: the palette of PngEncoding.
std::vector<std::uint32_t> PngPaletteOf(const std::uint8_t* topRow, std::int64_t width,
                                        std::int64_t height, std::ptrdiff_t stride);

// Writes the picture through a temporary file beside path (an earlier file survives a failure),
// or into path itself with Placement::IntoTarget (emptied on failure; see SafeFile), with
// parameterText in the parameter chunk (empty: no chunk). False without a message for a null
// handle or a block that is not a complete 24-bit picture; otherwise failures show
// "Failed to write: " + path + "\n" + the cause. The picture is not modified. A picture of at most
// 256 colours is written with a palette; encoding lends threads (its palette is not used).
bool PngWritePicture(const std::string& path, const DibHandle& handle,
                     std::string_view parameterText, UserPrompts& ui, PngExtras extras = {},
                     PngEncoding encoding = {},
                     SafeFile::Placement placement = SafeFile::Placement::BesideThenRename);

// ---- Reading ----

// What a PNG's chunks say about its figure, read without decoding a pixel.
struct PngFigure {
    PictureSize size;
    std::optional<std::string> parameterText;
    int onlyOrder = -1;  // the order painted alone, or -1
};

// Finds the parameter chunk (tEXt, zTXt or iTXt) and the only-order chunk wherever they stand,
// before or after the image data, skipping every other chunk unread, so the time and memory
// depend on neither the picture's size nor other chunks. False, without a message, when the
// file cannot be opened or is not a PNG with a sound header whose size fits a picture
// (PngReadPixels says why). A parameter chunk that is there but cannot be read (damaged, cut, an
// unknown compression method, more than kPngChunkLimit) shows "The figure in " + path + " cannot
// be read: " + the cause + "\nThe file opens as a plain picture.", and parameterText stays empty.
bool PngReadFigure(const std::string& path, PngFigure& figure, UserPrompts& ui);
bool PngReadFigureFromMemory(const std::uint8_t* bytes, std::size_t count, const std::string& path,
                             PngFigure& figure, UserPrompts& ui);

// The pixels alone: PngReadPicture without the parameter text.
bool PngReadPixels(const std::string& path, DibHandle& handle, PictureSize& size, UserPrompts& ui);

// Reads any valid PNG (grey, grey + alpha, palette, RGB, RGBA, 1 to 16 bits, interlaced, tRNS)
// into a new 24-bit block that replaces handle only on success. Alpha and tRNS transparency are
// composited over white; 16-bit samples are composited at 16 bits and then reduced to 8 by
// rounding (v x 255 / 65535). Ancillary chunks other than tRNS (gamma, colour profiles, text,
// anything unknown) are skipped unread, whatever their size or number. parameterText receives
// the text of the parameter chunk as PngReadFigure finds it, or nullopt.
//
// Failures leave handle untouched and show "Failed to open: " + path (the file cannot be
// opened) or "Failed to read: " + path + "\n" + the cause: not a PNG, truncated, a bad CRC in a
// chunk the picture needs, an unknown critical chunk, damaged compressed data, or a size beyond
// the picture ceiling (checked before anything is decoded). The chunks the picture needs are held
// to kPngChunkLimit, so no file can make the reader allocate more than the picture it announces.
bool PngReadPicture(const std::string& path, DibHandle& handle, PictureSize& size,
                    std::optional<std::string>& parameterText, UserPrompts& ui);

// The same from bytes in memory (the fuzz target's way in); path only names the source in
// messages.
bool PngReadPictureFromMemory(const std::uint8_t* bytes, std::size_t count, const std::string& path,
                              DibHandle& handle, PictureSize& size,
                              std::optional<std::string>& parameterText, UserPrompts& ui);

inline constexpr std::size_t kPngChunkLimit = std::size_t{8} << 20;
