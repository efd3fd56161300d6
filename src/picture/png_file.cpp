// The PNG reader: libspng decodes row by row (Adam7 passes included) into 8- or 16-bit RGBA,
// which is composited over white straight into the bottom-up rows of the picture block.
#include "picture/png_file.h"

#include <spng.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

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

// The text of the parameter chunk into text (nullopt without one); a libspng error otherwise.
int ReadParameterText(spng_ctx* ctx, std::optional<std::string>& text) {
    text.reset();
    std::uint32_t count = 0;
    int error = spng_get_text(ctx, nullptr, &count);
    if (error == SPNG_ECHUNKAVAIL) return 0;
    if (error) return error;
    std::vector<spng_text> texts(count);
    if ((error = spng_get_text(ctx, texts.data(), &count))) return error;
    for (const spng_text& chunk : texts) {
        if (std::strcmp(chunk.keyword, kPngParameterKeyword) == 0 && chunk.text) {
            text.emplace(chunk.text, chunk.length);
            return 0;
        }
    }
    return 0;
}

class PngReader {
  public:
    PngReader(const std::string& path, UserPrompts& ui) : m_path(path), m_ui(ui) {}

    bool Read(spng_ctx* ctx, DibHandle& handle, PictureSize& size,
              std::optional<std::string>& parameterText) {
        spng_set_crc_action(ctx, SPNG_CRC_ERROR, SPNG_CRC_ERROR);
        spng_set_chunk_limits(ctx, kPngChunkLimit, 4 * kPngChunkLimit);
        spng_ihdr ihdr{};
        if (int error = spng_get_ihdr(ctx, &ihdr)) return Refuse(CauseOf(error));
        // The ceiling before any decoding: no allocation follows from a hostile size.
        if (!FitsPicture(ihdr.width, ihdr.height)) return Refuse(kTooLargeCause);
        const int width = static_cast<int>(ihdr.width);
        const int height = static_cast<int>(ihdr.height);
        std::optional<std::string> text;
        if (int error = ReadParameterText(ctx, text)) return Refuse(CauseOf(error));

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
            if (int error = spng_get_row_info(ctx, &info)) return Refuse(CauseOf(error));
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
        parameterText = std::move(text);
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

}  // namespace

bool PngReadPicture(const std::string& path, DibHandle& handle, PictureSize& size,
                    std::optional<std::string>& parameterText, UserPrompts& ui) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        ui.ShowMessage("Failed to open: " + path);
        return false;
    }
    Context ctx(spng_ctx_new(0));
    PngReader reader(path, ui);
    if (!ctx) return reader.Refuse(kTooLargePictureText);
    if (int error = spng_set_png_file(ctx.get(), file.get())) {
        return reader.Refuse(CauseOf(error));
    }
    return reader.Read(ctx.get(), handle, size, parameterText);
}

bool PngReadPictureFromMemory(const std::uint8_t* bytes, std::size_t count, const std::string& path,
                              DibHandle& handle, PictureSize& size,
                              std::optional<std::string>& parameterText, UserPrompts& ui) {
    Context ctx(spng_ctx_new(0));
    PngReader reader(path, ui);
    if (!ctx) return reader.Refuse(kTooLargePictureText);
    if (int error = spng_set_png_buffer(ctx.get(), bytes, count)) {
        return reader.Refuse(CauseOf(error));
    }
    return reader.Read(ctx.get(), handle, size, parameterText);
}
