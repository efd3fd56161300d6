// The PNG reader: libspng decodes row by row (Adam7 passes included) into 8- or 16-bit RGBA,
// which is composited over white straight into the bottom-up rows of the picture block.
#include "picture/png_file.h"

#include <spng.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "picture/png_chunks.h"
#include "picture/safe_file.h"
#include "picture/user_prompts.h"

namespace {

struct ContextDeleter {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using Context = std::unique_ptr<spng_ctx, ContextDeleter>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Adam7: first column and column step of each pass; pass 0 of a plain picture takes every pixel.
constexpr int kPassStart[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr int kPassStep[7] = {8, 8, 4, 4, 2, 2, 1};

constexpr char kTooLargeCause[] = "Its size is more than a picture can hold.";

// The cause shown after "Failed to read: " + path.
std::string CauseOf(int error) {
    switch (error) {
        case SPNG_ESIGNATURE:
            return "It is not a PNG picture.";
        case SPNG_IO_EOF:
        case SPNG_EOF:
        case SPNG_EIDAT_TOO_SHORT:
            return "The file ends before the picture does.";
        case SPNG_ECHUNK_CRC:
            return "A chunk's checksum (CRC) is wrong: the file is damaged.";
        case SPNG_ECHUNK_UNKNOWN_CRITICAL:
            return "It holds a critical chunk this program does not know.";
        case SPNG_EWIDTH:
        case SPNG_EHEIGHT:
        case SPNG_EUSER_WIDTH:
        case SPNG_EUSER_HEIGHT:
        case SPNG_EOVERFLOW:
            return kTooLargeCause;
        case SPNG_ECHUNK_LIMITS:
        case SPNG_ECHUNK_SIZE:
            return "A chunk is larger than this program accepts.";
        case SPNG_EIDAT_STREAM:
        case SPNG_EZLIB:
            return "Its compressed picture data is damaged.";
        case SPNG_IO_ERROR:
        case SPNG_EIO:
            return std::string("The file cannot be read: ") + std::strerror(errno ? errno : EIO);
        default:
            return std::string("It is damaged (") + spng_strerror(error) + ").";
    }
}

// 8-bit channel over white with alpha, rounded.
std::uint8_t OverWhite8(unsigned channel, unsigned alpha) {
    return static_cast<std::uint8_t>((channel * alpha + 255 * (255 - alpha) + 127) / 255);
}

// 16-bit channel over white, then reduced to 8 bits, each step rounded.
std::uint8_t OverWhite16(std::uint32_t channel, std::uint32_t alpha) {
    const std::uint64_t blended =
        (std::uint64_t{channel} * alpha + std::uint64_t{65535} * (65535 - alpha) + 32767) / 65535;
    return static_cast<std::uint8_t>((blended * 255 + 32767) / 65535);
}

// The pixels of one pass row (RGBA, 8 or 16 bits a sample) into a picture row (blue, green, red).
void CompositeRow(const std::uint8_t* rgba, bool sixteen, int pass, std::uint32_t width,
                  std::uint8_t* bgr) {
    for (std::uint32_t x = kPassStart[pass]; x < width; x += kPassStep[pass]) {
        std::uint8_t* out = bgr + 3 * std::size_t{x};
        if (sixteen) {
            std::uint16_t s[4];
            std::memcpy(s, rgba + 8 * std::size_t{x}, sizeof s);
            out[0] = OverWhite16(s[2], s[3]);
            out[1] = OverWhite16(s[1], s[3]);
            out[2] = OverWhite16(s[0], s[3]);
        } else {
            const std::uint8_t* s = rgba + 4 * std::size_t{x};
            out[0] = OverWhite8(s[2], s[3]);
            out[1] = OverWhite8(s[1], s[3]);
            out[2] = OverWhite8(s[0], s[3]);
        }
    }
}

bool FitsPicture(std::uint32_t width, std::uint32_t height) {
    constexpr std::uint32_t kMaxInt = 0x7fffffff;
    if (width > kMaxInt || height > kMaxInt) return false;
    return DibPictureBytes(static_cast<int>(width), static_cast<int>(height)) != 0;
}

class PngReader {
  public:
    PngReader(const std::string& path, UserPrompts& ui) : m_path(path), m_ui(ui) {}

    bool Read(spng_ctx* ctx, DibHandle& handle, PictureSize& size) {
        spng_set_crc_action(ctx, SPNG_CRC_ERROR, SPNG_CRC_ERROR);
        spng_set_chunk_limits(ctx, kPngChunkLimit, 4 * kPngChunkLimit);
        spng_ihdr ihdr{};
        if (int error = spng_get_ihdr(ctx, &ihdr)) return Refuse(CauseOf(error));
        // The ceiling before any decoding: no allocation follows from a hostile size.
        if (!FitsPicture(ihdr.width, ihdr.height)) return Refuse(kTooLargeCause);
        const int width = static_cast<int>(ihdr.width);
        const int height = static_cast<int>(ihdr.height);

        const bool sixteen = ihdr.bit_depth == 16;
        const int format = sixteen ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
        if (int error = spng_decode_image(ctx, nullptr, 0, format,
                                          SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE)) {
            return Refuse(CauseOf(error));
        }
        DibHandle block;
        if (!DibAllocatePicture(block, width, height, m_ui)) return false;
        DibInitHeader24(block->Bytes(), width, height);
        const std::int64_t stride = DibRowStride(width, 24);
        std::uint8_t* rows = DibPixelData(block->Bytes(), 0);

        std::vector<std::uint8_t> row;
        try {
            row.resize(static_cast<std::size_t>(width) * (sixteen ? 8 : 4));
        } catch (const std::bad_alloc&) {
            return Refuse(kTooLargePictureText);
        }
        for (;;) {
            spng_row_info info{};
            int error = spng_get_row_info(ctx, &info);
            // An interlaced picture whose last passes are empty (one row high) reaches its end
            // without the last row saying so.
            if (error == SPNG_EOI && ihdr.interlace_method) break;
            if (error) return Refuse(CauseOf(error));
            int result = spng_decode_row(ctx, row.data(), row.size());
            if (result != 0 && result != SPNG_EOI) return Refuse(CauseOf(result));
            if (info.row_num >= ihdr.height || info.pass < 0 || info.pass > 6) {
                return Refuse(CauseOf(SPNG_EINTERNAL));
            }
            const int pass = ihdr.interlace_method ? info.pass : 6;
            CompositeRow(row.data(), sixteen, pass, ihdr.width,
                         rows + (height - 1 - std::int64_t{info.row_num}) * stride);
            if (result == SPNG_EOI) break;
        }
        // The rest of the file up to IEND: the last CRCs and a file cut after the picture data.
        if (int error = spng_decode_chunks(ctx)) return Refuse(CauseOf(error));
        handle = std::move(block);
        size = {width, height};
        return true;
    }

    bool Refuse(const std::string& cause) {
        m_ui.ShowMessage("Failed to read: " + m_path + "\n" + cause);
        return false;
    }

  private:
    const std::string& m_path;
    UserPrompts& m_ui;
};

template <typename Body>
bool WithFile(const std::string& path, UserPrompts& ui, Body body) {
    std::unique_ptr<std::FILE, FileCloser> file(OpenForReadingWithoutWaiting(path));
    if (!file) {
        ui.ShowMessage("Failed to open: " + path);
        return false;
    }
    PngByteSource source(file.get());
    return body(source);
}

bool ReadPixels(PngByteSource& source, const std::string& path, DibHandle& handle,
                PictureSize& size, UserPrompts& ui) {
    Context ctx(spng_ctx_new(0));
    PngReader reader(path, ui);
    if (!ctx) return reader.Refuse(kTooLargePictureText);
    PngPictureChunks chunks(source);
    if (int error = spng_set_png_stream(ctx.get(), &PngPictureChunks::Read, &chunks)) {
        return reader.Refuse(CauseOf(error));
    }
    return reader.Read(ctx.get(), handle, size);
}

bool ReadFigure(PngByteSource& source, const std::string& path, PngFigure& figure,
                UserPrompts& ui) {
    PngFigureScan scan;
    if (!ScanPngFigure(source, scan) || !FitsPicture(scan.size.width, scan.size.height)) {
        return false;
    }
    if (!scan.problem.empty()) {
        ui.ShowMessage("The figure in " + path + " cannot be read: " + scan.problem +
                       "\nThe file opens as a plain picture.");
    }
    figure = {scan.size, std::move(scan.parameterText), scan.onlyOrder};
    return true;
}

// The pixels, then (only for a picture that could be read) the figure's text.
bool ReadPictureAndText(PngByteSource& source, const std::string& path, DibHandle& handle,
                        PictureSize& size, std::optional<std::string>& parameterText,
                        UserPrompts& ui) {
    DibHandle block;
    PictureSize blockSize;
    if (!ReadPixels(source, path, block, blockSize, ui)) return false;
    PngFigure figure;
    if (!source.Rewind() || !ReadFigure(source, path, figure, ui)) figure.parameterText.reset();
    handle = std::move(block);
    size = blockSize;
    parameterText = std::move(figure.parameterText);
    return true;
}

}  // namespace

bool PngReadFigure(const std::string& path, PngFigure& figure, UserPrompts& ui) {
    // Silent when the file cannot be opened: the pixel reader that follows says so.
    std::unique_ptr<std::FILE, FileCloser> file(OpenForReadingWithoutWaiting(path));
    if (!file) return false;
    PngByteSource source(file.get());
    return ReadFigure(source, path, figure, ui);
}

bool PngReadFigureFromMemory(const std::uint8_t* bytes, std::size_t count, const std::string& path,
                             PngFigure& figure, UserPrompts& ui) {
    PngByteSource source(bytes, count);
    return ReadFigure(source, path, figure, ui);
}

bool PngReadPixels(const std::string& path, DibHandle& handle, PictureSize& size, UserPrompts& ui) {
    return WithFile(path, ui, [&](PngByteSource& source) {
        return ReadPixels(source, path, handle, size, ui);
    });
}

bool PngReadPicture(const std::string& path, DibHandle& handle, PictureSize& size,
                    std::optional<std::string>& parameterText, UserPrompts& ui) {
    return WithFile(path, ui, [&](PngByteSource& source) {
        return ReadPictureAndText(source, path, handle, size, parameterText, ui);
    });
}

bool PngReadPictureFromMemory(const std::uint8_t* bytes, std::size_t count, const std::string& path,
                              DibHandle& handle, PictureSize& size,
                              std::optional<std::string>& parameterText, UserPrompts& ui) {
    PngByteSource source(bytes, count);
    return ReadPictureAndText(source, path, handle, size, parameterText, ui);
}
