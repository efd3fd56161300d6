// The PNG writer: chunks around a zlib stream from libdeflate (whole buffer) or zlib (streamed),
// with the CRC-32 from libdeflate.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "picture/png_file.h"
#include "picture/safe_file.h"
#include "picture/user_prompts.h"

namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::int64_t kMaxSide = 0x7fffffff;
constexpr std::uint8_t kFilterSub = 1;
constexpr std::uint8_t kFilterUp = 2;
// Tuned on figures: flat areas and thin lines compress well with the Up filter at low levels
// (the default figure at level 2 is about 5 % larger than ImageMagick's file); higher levels cost
// much time for a few per cent, level 1 is 10 % larger.
constexpr int kWholeBufferLevel = 2;
constexpr int kStreamLevel = 3;
constexpr std::size_t kDeflateOutputBytes = std::size_t{1} << 16;

void PutBigEndian32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

// Bytes that are all written before they are read: no zero-filling, so pages that are never
// touched (the slack of a compression bound) cost nothing.
class ByteBuffer {
  public:
    void Allocate(std::size_t size) {
        m_bytes = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        m_size = size;
    }
    void Release() {
        m_bytes.reset();
        m_size = 0;
    }
    std::uint8_t* data() { return m_bytes.get(); }
    std::size_t size() const { return m_size; }

  private:
    std::unique_ptr<std::uint8_t[]> m_bytes;
    std::size_t m_size = 0;
};

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

// A zlib stream of the bytes by libdeflate into out; its length, 0 when no memory is left.
std::size_t ZlibCompressWhole(const std::uint8_t* bytes, std::size_t count, int level,
                              ByteBuffer& out) {
    Compressor compressor(libdeflate_alloc_compressor(level));
    if (!compressor) return 0;
    try {
        out.Allocate(libdeflate_zlib_compress_bound(compressor.get(), count));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return libdeflate_zlib_compress(compressor.get(), bytes, count, out.data(), out.size());
}

}  // namespace

bool PngCompressesWhole(std::int64_t width, std::int64_t height) {
    const std::uint64_t filteredBytes =
        (1 + 3 * static_cast<std::uint64_t>(width)) * static_cast<std::uint64_t>(height);
    return filteredBytes <= kPngWholeBufferBytes;
}

struct PngRowEncoder::State {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t rowBytes = 0;
    bool upFilter = true;
    bool whole = true;
    std::string parameterText;
    PngExtras extras;
    Sink sink;

    bool failed = false;
    bool started = false;
    bool finished = false;
    std::uint64_t row = 0;     // rows completed
    std::uint64_t column = 0;  // bytes of the current row done

    // Raw RGB of the previous and the current row (Up filter), or the last pixel (Sub filter).
    std::vector<std::uint8_t> previous;
    std::vector<std::uint8_t> current;
    std::uint8_t left[3] = {0, 0, 0};

    // Filtered bytes: all of them (whole) or one block for deflate (streamed).
    ByteBuffer filtered;
    std::size_t filled = 0;

    z_stream zlib{};
    bool zlibOpen = false;
    std::vector<std::uint8_t> zlibOut;
    std::vector<std::uint8_t> idat;  // compressed bytes waiting for a full IDAT chunk

    ~State() {
        if (zlibOpen) deflateEnd(&zlib);
    }

    bool Fail() {
        failed = true;
        return false;
    }

    bool Emit(const std::uint8_t* bytes, std::size_t count) {
        if (failed) return false;
        if (count > 0 && !sink(bytes, count)) return Fail();
        return true;
    }

    bool WriteChunk(const char* type, const std::uint8_t* data, std::size_t count) {
        std::uint8_t head[8];
        PutBigEndian32(head, static_cast<std::uint32_t>(count));
        std::memcpy(head + 4, type, 4);
        std::uint32_t crc = libdeflate_crc32(0, head + 4, 4);
        if (count > 0) crc = libdeflate_crc32(crc, data, count);  // a null buffer restarts it
        std::uint8_t tail[4];
        PutBigEndian32(tail, crc);
        return Emit(head, 8) && Emit(data, count) && Emit(tail, 4);
    }

    bool WriteTextChunks() {
        std::string software = std::string("Software") + '\0' + kPngSoftwareName;
        if (!WriteChunk("tEXt", reinterpret_cast<const std::uint8_t*>(software.data()),
                        software.size())) {
            return false;
        }
        if (parameterText.empty()) return true;
        ByteBuffer compressed;
        const std::size_t length =
            ZlibCompressWhole(reinterpret_cast<const std::uint8_t*>(parameterText.data()),
                              parameterText.size(), kWholeBufferLevel, compressed);
        if (length == 0) return Fail();
        std::vector<std::uint8_t> data(kPngParameterKeyword,
                                       kPngParameterKeyword + std::strlen(kPngParameterKeyword));
        data.push_back(0);  // end of keyword
        data.push_back(0);  // compression method: deflate
        data.insert(data.end(), compressed.data(), compressed.data() + length);
        if (!WriteChunk("zTXt", data.data(), data.size())) return false;
        if (extras.onlyOrder < 0 || extras.onlyOrder > 9) return true;
        const std::string order =
            std::string(kPngOnlyOrderKeyword) + '\0' + static_cast<char>('0' + extras.onlyOrder);
        return WriteChunk("tEXt", reinterpret_cast<const std::uint8_t*>(order.data()),
                          order.size());
    }

    // sRGB: the pixels are sRGB, so colour-managed programs show and print them as painted.
    // pHYs: the print resolution, so the picture has a size on paper.
    bool WriteColourAndPrintChunks() {
        const std::uint8_t perceptual = 0;
        if (!WriteChunk("sRGB", &perceptual, 1)) return false;
        if (extras.dotsPerInch <= 0 || extras.dotsPerInch > kPngMaxDotsPerInch) return true;
        const auto perMetre = static_cast<std::uint32_t>(std::lround(extras.dotsPerInch / 0.0254));
        std::uint8_t phys[9] = {};
        PutBigEndian32(phys, perMetre);
        PutBigEndian32(phys + 4, perMetre);
        phys[8] = 1;  // unit: the metre
        return WriteChunk("pHYs", phys, sizeof phys);
    }

    bool Start() {
        started = true;
        try {
            if (upFilter) {
                previous.assign(rowBytes, 0);
                current.assign(rowBytes, 0);
            }
            if (whole) {
                filtered.Allocate((rowBytes + 1) * height);
            } else {
                filtered.Allocate(kPngStreamBlockBytes);
                zlibOut.resize(kDeflateOutputBytes);
                idat.reserve(kPngIdatChunkBytes);
            }
        } catch (const std::bad_alloc&) {
            return Fail();
        }
        if (!whole) {
            if (deflateInit(&zlib, kStreamLevel) != Z_OK) return Fail();
            zlibOpen = true;
        }
        std::uint8_t ihdr[13] = {};
        PutBigEndian32(ihdr, width);
        PutBigEndian32(ihdr + 4, height);
        ihdr[8] = 8;  // bits per sample
        ihdr[9] = 2;  // RGB
        return Emit(kSignature, sizeof kSignature) && WriteChunk("IHDR", ihdr, sizeof ihdr) &&
               WriteColourAndPrintChunks() && WriteTextChunks();
    }

    // Compressed bytes into IDAT chunks of exactly kPngIdatChunkBytes; the rest waits.
    bool AddCompressed(const std::uint8_t* bytes, std::size_t count) {
        while (count > 0) {
            std::size_t take = std::min(count, kPngIdatChunkBytes - idat.size());
            idat.insert(idat.end(), bytes, bytes + take);
            bytes += take;
            count -= take;
            if (idat.size() == kPngIdatChunkBytes) {
                if (!WriteChunk("IDAT", idat.data(), idat.size())) return false;
                idat.clear();
            }
        }
        return true;
    }

    bool Deflate(const std::uint8_t* bytes, std::size_t count, int flush) {
        zlib.next_in = const_cast<std::uint8_t*>(bytes);
        zlib.avail_in = static_cast<uInt>(count);
        int result = Z_OK;
        do {
            zlib.next_out = zlibOut.data();
            zlib.avail_out = static_cast<uInt>(zlibOut.size());
            result = deflate(&zlib, flush);
            if (result == Z_STREAM_ERROR) return Fail();
            if (!AddCompressed(zlibOut.data(), zlibOut.size() - zlib.avail_out)) return false;
        } while (zlib.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        return true;
    }

    // Room for at least one filtered byte; a full streaming block goes to deflate first.
    bool MakeRoom() {
        if (whole || filled < filtered.size()) return true;
        if (!Deflate(filtered.data(), filled, Z_NO_FLUSH)) return false;
        filled = 0;
        return true;
    }

    bool PutFilterByte() {
        if (!MakeRoom()) return false;
        filtered.data()[filled++] = upFilter ? kFilterUp : kFilterSub;
        return true;
    }

    // Filters the raw RGB bytes of pixels in the current row (count a multiple of 3, within the
    // row) into the filtered buffer.
    bool FilterRowPart(const std::uint8_t* bgr, std::uint64_t count) {
        while (count > 0) {
            if (!MakeRoom()) return false;
            std::uint64_t room = filtered.size() - filled;
            // Whole pixels only, so the colour swap stays simple; a block of a streamed picture
            // may end one or two bytes early and is refilled on the next turn.
            std::uint64_t take = std::min<std::uint64_t>(count, room - room % 3);
            if (take == 0) {
                // Fewer than 3 bytes of room: hand the block to deflate a little early. The
                // block boundaries still depend only on the size of the picture.
                if (!Deflate(filtered.data(), filled, Z_NO_FLUSH)) return false;
                filled = 0;
                continue;
            }
            std::uint8_t* out = filtered.data() + filled;
            if (upFilter) {
                std::uint8_t* raw = current.data() + column;
                const std::uint8_t* above = previous.data() + column;
                for (std::uint64_t i = 0; i < take; i += 3) {
                    raw[i] = bgr[i + 2];
                    raw[i + 1] = bgr[i + 1];
                    raw[i + 2] = bgr[i];
                    out[i] = static_cast<std::uint8_t>(raw[i] - above[i]);
                    out[i + 1] = static_cast<std::uint8_t>(raw[i + 1] - above[i + 1]);
                    out[i + 2] = static_cast<std::uint8_t>(raw[i + 2] - above[i + 2]);
                }
            } else {
                for (std::uint64_t i = 0; i < take; i += 3) {
                    const std::uint8_t rgb[3] = {bgr[i + 2], bgr[i + 1], bgr[i]};
                    for (int k = 0; k < 3; ++k) {
                        out[i + k] = static_cast<std::uint8_t>(rgb[k] - left[k]);
                        left[k] = rgb[k];
                    }
                }
            }
            filled += take;
            column += take;
            bgr += take;
            count -= take;
        }
        return true;
    }

    void EndRow() {
        ++row;
        column = 0;
        if (upFilter) previous.swap(current);
        std::fill(std::begin(left), std::end(left), std::uint8_t{0});
    }

    bool AddPixels(const std::uint8_t* bgr, std::uint64_t count) {
        if (failed || finished) return Fail();
        if (!started && !Start()) return false;
        while (count > 0) {
            if (row >= height) return Fail();  // more pixels than the picture holds
            if (column == 0 && !PutFilterByte()) return false;
            std::uint64_t take = std::min(count, (rowBytes - column) / 3);
            if (!FilterRowPart(bgr, 3 * take)) return false;
            bgr += 3 * take;
            count -= take;
            if (column == rowBytes) EndRow();
        }
        return true;
    }

    bool CompressWhole() {
        ByteBuffer stream;
        const std::size_t length =
            ZlibCompressWhole(filtered.data(), filled, kWholeBufferLevel, stream);
        if (length == 0) return Fail();
        filtered.Release();
        for (std::size_t at = 0; at < length; at += kPngIdatChunkBytes) {
            std::size_t count = std::min(kPngIdatChunkBytes, length - at);
            if (!WriteChunk("IDAT", stream.data() + at, count)) return false;
        }
        return true;
    }

    bool Finish() {
        if (failed || finished) return Fail();
        if (!started && !Start()) return false;
        finished = true;
        if (row != height || column != 0) return Fail();  // pixels missing
        if (whole) {
            if (!CompressWhole()) return false;
        } else {
            if (!Deflate(filtered.data(), filled, Z_FINISH)) return false;
            if (!idat.empty() && !WriteChunk("IDAT", idat.data(), idat.size())) return false;
        }
        return WriteChunk("IEND", nullptr, 0);
    }
};

PngRowEncoder::PngRowEncoder(std::int64_t width, std::int64_t height,
                             std::string_view parameterText, Sink sink, PngExtras extras)
    : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.sink = std::move(sink);
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide || !s.sink) {
        s.failed = true;
        return;
    }
    s.width = static_cast<std::uint32_t>(width);
    s.height = static_cast<std::uint32_t>(height);
    s.rowBytes = 3 * static_cast<std::uint64_t>(width);
    s.upFilter = s.rowBytes <= kPngUpFilterMaxRowBytes;
    s.whole = PngCompressesWhole(width, height);
    s.parameterText = parameterText;
    s.extras = extras;
}

PngRowEncoder::~PngRowEncoder() = default;

bool PngRowEncoder::AddPixels(const std::uint8_t* bgr, std::uint64_t count) {
    return m_state->AddPixels(bgr, count);
}

bool PngRowEncoder::AddRows(const std::uint8_t* topRow, std::int64_t count, std::ptrdiff_t stride) {
    State& s = *m_state;
    if (s.column != 0 || count < 0) return s.Fail();
    for (std::int64_t i = 0; i < count; ++i) {
        if (!s.AddPixels(topRow + i * stride, s.width)) return false;
    }
    return !s.failed;
}

bool PngRowEncoder::Finish() {
    return m_state->Finish();
}

bool PngRowEncoder::Failed() const {
    return m_state->failed;
}

bool PngWritePicture(const std::string& path, const DibHandle& handle,
                     std::string_view parameterText, UserPrompts& ui, PngExtras extras,
                     SafeFile::Placement placement) {
    if (!handle || !DibIsPicture24(*handle)) return false;
    const DibInfo info = DibDescribe(handle->Bytes());
    const std::int64_t stride = DibRowStride(info.width, 24);
    const std::uint8_t* top = DibPixelData(handle->Bytes(), 0) + (info.height - 1) * stride;

    SafeFile out(path, placement);
    auto report = [&](int error) {
        ui.ShowMessage("Failed to write: " + path + "\n" + std::strerror(error));
        return false;
    };
    if (!out.Open()) return report(out.Error());
    std::FILE* file = out.Stream();
    int writeError = 0;
    PngRowEncoder png(
        info.width, info.height, parameterText,
        [file, &writeError](const std::uint8_t* bytes, std::size_t count) {
            if (std::fwrite(bytes, 1, count, file) == count) return true;
            writeError = errno ? errno : EIO;
            return false;
        },
        extras);
    if (!png.AddRows(top, info.height, -stride) || !png.Finish()) {
        out.Abort();
        return report(writeError ? writeError : ENOMEM);
    }
    if (!out.Commit()) return report(out.Error());
    return true;
}
