// The PNG writer: the rows are held in batches of parts of a fixed number of rows; each part is
// filtered (the filter chosen per row) and compressed by libdeflate on its own, several parts at
// once when the caller lends threads, and the parts are joined into the one zlib stream of the
// IDAT chunks. CRC-32 and Adler-32 from libdeflate, the Adler-32 of the parts combined by zlib.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "picture/deflate_join.h"
#include "picture/page_memory.h"
#include "picture/png_file.h"
#include "picture/safe_file.h"
#include "picture/user_prompts.h"

namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::int64_t kMaxSide = 0x7fffffff;
// Levels tuned on figures, chosen per part by the share of its bytes equal to the byte above: a
// busy part takes a fast level (higher ones cost much time for a few per cent), a part that is
// mostly repeats takes a higher one, which costs little there and gains much (libdeflate's fast
// levels fall far behind zlib on such rows). Palette rows are a third of the bytes of RGB ones.
struct LevelChoice {
    int busy, repeating;
    double repeatingShare;  // of the bytes equal to the byte above
};
constexpr LevelChoice kRgbLevels{3, 6, 0.75};
constexpr LevelChoice kPaletteLevels{6, 7, 0.9};
// The level of quick encoding: libdeflate's fastest, four times the speed of the busy level.
constexpr int kQuickLevel = 1;
// The parameter text is small.
constexpr int kTextLevel = 6;
// Bytes of a part as filtered: large enough that a part's fresh start costs little of its size,
// small enough that a picture of a few megabytes gives every thread a part.
constexpr std::uint64_t kPartBytes = std::uint64_t{1} << 20;
// Raw, filtered and compressed bytes of the parts of one batch together.
constexpr std::uint64_t kBatchMemory = std::uint64_t{96} << 20;
constexpr int kMaxBatchParts = 64;

// The filters tried per row; Average and Paeth won too few rows of figures for their time.
enum Filter : std::uint8_t { kNone = 0, kSub = 1, kUp = 2 };

void PutBigEndian32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

// Bytes that are all written before they are read, in page memory: pages that are never touched
// (the slack of a compression bound) cost nothing, and the others come in huge pages.
class ByteBuffer {
  public:
    bool Reserve(std::size_t size) {
        if (size <= m_bytes.size()) return true;
        m_bytes = PageBuffer();
        m_bytes = PageBuffer(size);
        return static_cast<bool>(m_bytes);
    }
    std::uint8_t* data() { return m_bytes.data(); }
    const std::uint8_t* data() const { return m_bytes.data(); }
    std::size_t size() const { return m_bytes.size(); }

  private:
    PageBuffer m_bytes;
};

// libdeflate's compressors take a few hundred kilobytes each, touched at every compression: in
// page memory, with the block that holds them kept in front of them.
constexpr std::size_t kBlockHeader = 64;

void* CompressorMemory(std::size_t size) {
    PageBuffer block(size + kBlockHeader);
    if (!block) return nullptr;
    std::uint8_t* bytes = block.data();
    new (bytes) PageBuffer(std::move(block));
    return bytes + kBlockHeader;
}

void FreeCompressorMemory(void* memory) {
    if (memory == nullptr) return;
    auto* holder = reinterpret_cast<PageBuffer*>(static_cast<std::uint8_t*>(memory) - kBlockHeader);
    PageBuffer block(std::move(*holder));
    holder->~PageBuffer();
}

libdeflate_compressor* NewCompressor(int level) {
    // Set once, before the first compressor exists, as the library asks.
    static const bool installed = [] {
        libdeflate_set_memory_allocator(CompressorMemory, FreeCompressorMemory);
        return true;
    }();
    (void)installed;
    return libdeflate_alloc_compressor(level);
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

// A zlib stream of the bytes by libdeflate into out; its length, 0 when no memory is left.
std::size_t ZlibCompressWhole(const std::uint8_t* bytes, std::size_t count, ByteBuffer& out) {
    Compressor compressor(NewCompressor(kTextLevel));
    if (!compressor || !out.Reserve(libdeflate_zlib_compress_bound(compressor.get(), count))) {
        return 0;
    }
    return libdeflate_zlib_compress(compressor.get(), bytes, count, out.data(), out.size());
}

std::uint32_t ColourAt(const std::uint8_t* bgr) {
    return (std::uint32_t{bgr[2]} << 16) | (std::uint32_t{bgr[1]} << 8) | bgr[0];
}

// Colours (0xRRGGBB) to palette indices: open addressing in a table four times the palette.
class ColourIndex {
  public:
    // False when a 257th colour comes.
    bool Add(std::uint32_t colour) {
        std::size_t at = Slot(colour);
        if (m_keys[at] == colour + 1) return true;
        if (m_count == 256) return false;
        m_keys[at] = colour + 1;
        m_values[at] = static_cast<std::uint8_t>(m_count++);
        return true;
    }
    std::uint8_t IndexOf(std::uint32_t colour) const { return m_values[Slot(colour)]; }
    int Count() const { return m_count; }

  private:
    std::size_t Slot(std::uint32_t colour) const {
        std::size_t at = (colour * 2654435761u) >> 22;
        while (m_keys[at] != 0 && m_keys[at] != colour + 1) at = (at + 1) & 1023;
        return at;
    }
    std::array<std::uint32_t, 1024> m_keys{};  // colour + 1; 0 is an empty slot
    std::array<std::uint8_t, 1024> m_values{};
    int m_count = 0;
};

// How well a filtered row compresses, the smaller the better: in a busy part the sum of the bytes
// taken as signed values (as libpng and ImageMagick choose); in a part of mostly repeats the count
// of bytes that are not zero, which favours the long runs of zeros that deflate codes cheaply.
std::uint32_t Cost(const std::uint8_t* bytes, std::size_t count, bool repeating) {
    std::uint32_t sum = 0;
    if (repeating) {
        for (std::size_t i = 0; i < count; ++i) sum += bytes[i] != 0;
        return sum;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const int v = static_cast<std::int8_t>(bytes[i]);
        sum += static_cast<std::uint32_t>(v < 0 ? -v : v);
    }
    return sum;
}

// Bytes of a equal to those of b; counted in blocks of at most 255, which vectorise.
std::uint64_t CountEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) {
    std::uint64_t total = 0;
    for (std::size_t start = 0; start < count; start += 255) {
        const std::size_t end = std::min(count, start + 255);
        std::uint8_t equal = 0;
        for (std::size_t i = start; i < end; ++i) equal += a[i] == b[i];
        total += equal;
    }
    return total;
}

// One row filtered with filter into out (the row's bytes, without the filter byte); above is the
// previous row's raw bytes (zeros for the first row), bpp the bytes of a pixel.
void ApplyFilter(Filter filter, const std::uint8_t* row, const std::uint8_t* above,
                 std::size_t count, int bpp, std::uint8_t* out) {
    const std::size_t first = std::min<std::size_t>(bpp, count);
    switch (filter) {
        case kNone:
            std::memcpy(out, row, count);
            break;
        case kSub:
            std::memcpy(out, row, first);
            for (std::size_t i = first; i < count; ++i) out[i] = row[i] - row[i - bpp];
            break;
        case kUp:
            for (std::size_t i = 0; i < count; ++i) out[i] = row[i] - above[i];
            break;
    }
}

// Rows and scratch of one part's filtering.
struct RowScratch {
    std::vector<std::uint8_t> current, previous, candidate, best;
};

// The filter byte and the filtered row into out: the filter of the lowest cost, an unchanged row
// (Up, all zeros) at once.
void FilterRow(const std::uint8_t* row, const std::uint8_t* above, std::size_t count, int bpp,
               bool repeating, RowScratch& s, std::uint8_t* out) {
    out[0] = kUp;
    ApplyFilter(kUp, row, above, count, bpp, out + 1);
    std::uint32_t best = Cost(out + 1, count, repeating);
    if (best == 0) return;
    for (Filter filter : {kSub, kNone}) {
        ApplyFilter(filter, row, above, count, bpp, s.candidate.data());
        const std::uint32_t cost = Cost(s.candidate.data(), count, repeating);
        if (cost < best) {
            best = cost;
            out[0] = filter;
            std::memcpy(out + 1, s.candidate.data(), count);
        }
    }
}

}  // namespace

std::vector<std::uint32_t> PngPaletteOf(const std::uint8_t* topRow, std::int64_t width,
                                        std::int64_t height, std::ptrdiff_t stride) {
    ColourIndex index;
    std::vector<std::uint32_t> colours;
    for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* row = topRow + y * stride;
        std::uint32_t last = ~0u;
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint32_t colour = ColourAt(row + 3 * x);
            if (colour == last) continue;  // flat stretches cost one comparison a pixel
            last = colour;
            const int before = index.Count();
            if (!index.Add(colour)) return {};
            if (index.Count() != before) colours.push_back(colour);
        }
    }
    std::sort(colours.begin(), colours.end());
    return colours;
}

struct PngRowEncoder::State {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t rawRowBytes = 0;   // 3 bytes a pixel, as the rows arrive
    std::uint64_t fileRowBytes = 0;  // a row in the file, without its filter byte
    std::string parameterText;
    PngExtras extras;
    Sink sink;
    PngEncoding encoding;
    ColourIndex paletteIndex;
    int paletteDepth = 0;  // bits of an index, 0 for RGB

    bool failed = false;
    bool started = false;
    bool finished = false;
    std::uint64_t row = 0;     // rows completed
    std::uint64_t column = 0;  // bytes of the current row done

    // The parts: rows each, batched; the raw rows of the batch and the row above it.
    std::uint64_t partRows = 1;
    std::uint64_t partCount = 1;
    int batchParts = 1;
    std::uint64_t batchFirstRow = 0;
    ByteBuffer batch;
    // The rows of the batch being encoded: the held copy, or the caller's rows when a whole batch
    // came at once in AddRows (a picture in memory is not copied).
    const std::uint8_t* batchTop = nullptr;
    std::ptrdiff_t batchStride = 0;
    std::vector<std::uint8_t> aboveBatch;  // empty above the first row

    struct Part {
        ByteBuffer compressed;
        std::size_t filteredBytes = 0, compressedBytes = 0;
        std::uint32_t adler = 1;
    };
    std::vector<Part> parts;
    // What a part needs only while it is encoded, handed from part to part: as many as parts run
    // at once, so that the memory (and the first touch of its pages) follows the threads.
    struct Workspace {
        std::array<Compressor, 13> compressors;  // by level, made when first used
        ByteBuffer filtered;
        RowScratch scratch;
    };
    std::mutex workspaceMutex;
    std::vector<std::unique_ptr<Workspace>> idleWorkspaces;
    std::uint64_t partsDone = 0;
    std::uint32_t adler = 1;
    ByteBuffer idat;  // compressed bytes waiting for a full IDAT chunk
    std::size_t idatBytes = 0;
    std::uint32_t frame = 0;     // of an animation
    std::uint32_t sequence = 0;  // of its fcTL and fdAT chunks

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
        return WriteChunk(type, nullptr, 0, data, count);
    }

    // A chunk whose data is prefix then data (an fdAT's sequence number before its image data).
    bool WriteChunk(const char* type, const std::uint8_t* prefix, std::size_t prefixCount,
                    const std::uint8_t* data, std::size_t count) {
        std::uint8_t head[8];
        PutBigEndian32(head, static_cast<std::uint32_t>(prefixCount + count));
        std::memcpy(head + 4, type, 4);
        std::uint32_t crc = libdeflate_crc32(0, head + 4, 4);
        // A null buffer restarts the CRC.
        if (prefixCount > 0) crc = libdeflate_crc32(crc, prefix, prefixCount);
        if (count > 0) crc = libdeflate_crc32(crc, data, count);
        std::uint8_t tail[4];
        PutBigEndian32(tail, crc);
        return Emit(head, 8) && Emit(prefix, prefixCount) && Emit(data, count) && Emit(tail, 4);
    }

    // ---- Animation: acTL once, then per frame an fcTL and its image data ----
    bool Animated() const { return extras.animation.frames > 0; }

    bool WriteAnimationControl() {
        if (!Animated()) return true;
        std::uint8_t actl[8];
        PutBigEndian32(actl, extras.animation.frames);
        PutBigEndian32(actl + 4, extras.animation.plays);
        return WriteChunk("acTL", actl, sizeof actl);
    }

    // The whole picture, replacing what was there (dispose none, blend source).
    bool WriteFrameControl() {
        if (!Animated()) return true;
        std::uint8_t fctl[26] = {};
        PutBigEndian32(fctl, sequence++);
        PutBigEndian32(fctl + 4, width);
        PutBigEndian32(fctl + 8, height);
        fctl[20] = static_cast<std::uint8_t>(extras.animation.delayNumerator >> 8);
        fctl[21] = static_cast<std::uint8_t>(extras.animation.delayNumerator);
        fctl[22] = static_cast<std::uint8_t>(extras.animation.delayDenominator >> 8);
        fctl[23] = static_cast<std::uint8_t>(extras.animation.delayDenominator);
        return WriteChunk("fcTL", fctl, sizeof fctl);
    }

    bool WriteImageData(const std::uint8_t* data, std::size_t count) {
        if (frame == 0) return WriteChunk("IDAT", data, count);
        std::uint8_t number[4];
        PutBigEndian32(number, sequence++);
        return WriteChunk("fdAT", number, sizeof number, data, count);
    }

    // After a frame that is not the last: the next one starts on a fresh zlib stream.
    bool StartNextFrame() {
        ++frame;
        finished = false;
        row = column = 0;
        batchFirstRow = partsDone = 0;
        adler = 1;
        aboveBatch.clear();
        UseHeldRows();
        return WriteFrameControl() && StartZlibStream();
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
                              parameterText.size(), compressed);
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

    // PLTE goes right before the image data, after every chunk that must precede it.
    bool WritePalette() {
        if (paletteDepth == 0) return true;
        std::vector<std::uint8_t> plte;
        for (std::uint32_t colour : encoding.palette) {
            plte.insert(plte.end(), {static_cast<std::uint8_t>(colour >> 16),
                                     static_cast<std::uint8_t>(colour >> 8),
                                     static_cast<std::uint8_t>(colour)});
        }
        return WriteChunk("PLTE", plte.data(), plte.size());
    }

    void PlanParts() {
        const std::uint64_t fileBytes = (fileRowBytes + 1) * height;
        const std::uint64_t wanted =
            std::max<std::uint64_t>(1, (fileBytes + kPartBytes - 1) / kPartBytes);
        partCount = std::min<std::uint64_t>(wanted, height);
        partRows = (height + partCount - 1) / partCount;
        partCount = (height + partRows - 1) / partRows;
        const std::uint64_t partMemory = 3 * partRows * (rawRowBytes + 1);
        const auto fitting = static_cast<int>(
            std::clamp<std::uint64_t>(kBatchMemory / partMemory, 1, kMaxBatchParts));
        const int lent = std::max(1, encoding.threads);
        batchParts = static_cast<int>(std::min<std::uint64_t>(
            std::min(fitting, std::min(4 * lent, kMaxBatchParts)), partCount));
    }

    bool Start() {
        started = true;
        PlanParts();
        try {
            parts.resize(static_cast<std::size_t>(batchParts));
        } catch (const std::bad_alloc&) {
            return Fail();
        }
        if (!batch.Reserve(partRows * rawRowBytes * batchParts)) return Fail();
        UseHeldRows();
        std::uint8_t ihdr[13] = {};
        PutBigEndian32(ihdr, width);
        PutBigEndian32(ihdr + 4, height);
        ihdr[8] = paletteDepth == 0 ? 8 : static_cast<std::uint8_t>(paletteDepth);
        ihdr[9] = paletteDepth == 0 ? 2 : 3;  // RGB or palette
        return Emit(kSignature, sizeof kSignature) && WriteChunk("IHDR", ihdr, sizeof ihdr) &&
               WriteColourAndPrintChunks() && WriteAnimationControl() && WriteTextChunks() &&
               WritePalette() && WriteFrameControl() && StartZlibStream();
    }

    bool StartZlibStream() {
        // Deflate with a 32 KiB window; the level field (a hint only) says "fast".
        std::uint8_t header[2] = {0x78, 1 << 6};
        header[1] += static_cast<std::uint8_t>(31 - ((header[0] << 8) | header[1]) % 31);
        return AddCompressed(header, 2);
    }

    // Compressed bytes into IDAT chunks of exactly kPngIdatChunkBytes; the rest waits. A whole
    // chunk at hand goes out from where it is.
    bool AddCompressed(const std::uint8_t* bytes, std::size_t count) {
        while (count > 0) {
            if (idatBytes == 0 && count >= kPngIdatChunkBytes) {
                if (!WriteImageData(bytes, kPngIdatChunkBytes)) return false;
                bytes += kPngIdatChunkBytes;
                count -= kPngIdatChunkBytes;
                continue;
            }
            if (!idat.Reserve(kPngIdatChunkBytes)) return Fail();
            const std::size_t take = std::min(count, kPngIdatChunkBytes - idatBytes);
            std::memcpy(idat.data() + idatBytes, bytes, take);
            idatBytes += take;
            bytes += take;
            count -= take;
            if (idatBytes == kPngIdatChunkBytes) {
                if (!WriteImageData(idat.data(), idatBytes)) return false;
                idatBytes = 0;
            }
        }
        return true;
    }

    // One row of the file: RGB, or the indices of a palette picture packed to their depth; false
    // for a colour the palette lacks (it would be written as another).
    bool FileRow(const std::uint8_t* bgr, std::uint8_t* out) const {
        if (paletteDepth == 0) {
            for (std::uint64_t i = 0; i < rawRowBytes; i += 3) {
                out[i] = bgr[i + 2];
                out[i + 1] = bgr[i + 1];
                out[i + 2] = bgr[i];
            }
            return true;
        }
        std::memset(out, 0, fileRowBytes);
        const int perByte = 8 / paletteDepth;
        std::uint32_t last = ~0u;
        std::uint8_t index = 0;
        for (std::uint64_t x = 0; x < width; ++x) {
            const std::uint32_t colour = ColourAt(bgr + 3 * x);
            if (colour != last) {
                index = paletteIndex.IndexOf(colour);
                if (encoding.palette[index] != colour) return false;
                last = colour;
            }
            const int shift = 8 - paletteDepth * (1 + static_cast<int>(x % perByte));
            out[x / perByte] |= static_cast<std::uint8_t>(index << shift);
        }
        return true;
    }

    // Filters and compresses part p of the batch (rows of the batch from p × partRows).
    std::unique_ptr<Workspace> TakeWorkspace() {
        std::lock_guard lock(workspaceMutex);
        if (idleWorkspaces.empty()) return std::make_unique<Workspace>();
        std::unique_ptr<Workspace> workspace = std::move(idleWorkspaces.back());
        idleWorkspaces.pop_back();
        return workspace;
    }

    void ReturnWorkspace(std::unique_ptr<Workspace> workspace) {
        std::lock_guard lock(workspaceMutex);
        idleWorkspaces.push_back(std::move(workspace));
    }

    // The raw row above row r of the batch, null above the picture's first row.
    const std::uint8_t* RowAbove(std::uint64_t r) const {
        if (r > 0) return BatchRow(r - 1);
        return aboveBatch.empty() ? nullptr : aboveBatch.data();
    }

    // Whether rows first .. first + rows − 1 of the batch are mostly the same as the rows above
    // them, byte for byte: their share of equal bytes reaches share. Stops counting as soon as
    // the answer is known.
    bool MostlyRepeats(std::uint64_t first, std::uint64_t rows, double share) const {
        const double needed = share * static_cast<double>(rows * rawRowBytes);
        std::uint64_t equal = 0;
        for (std::uint64_t r = first; r < first + rows; ++r) {
            const auto reachable = static_cast<double>(equal + (first + rows - r) * rawRowBytes);
            if (reachable < needed) return false;
            const std::uint8_t* above = RowAbove(r);
            if (above != nullptr) equal += CountEqual(BatchRow(r), above, rawRowBytes);
            if (static_cast<double>(equal) >= needed) return true;
        }
        return false;
    }

    // Rows first .. first + rows − 1 of the batch into w.filtered, each with its filter byte.
    bool FilterRows(std::uint64_t first, std::uint64_t rows, bool repeating, Workspace& w) const {
        const std::size_t rowOut = static_cast<std::size_t>(fileRowBytes) + 1;
        RowScratch& s = w.scratch;
        for (auto* v : {&s.current, &s.previous, &s.candidate}) v->resize(fileRowBytes);
        if (!w.filtered.Reserve(rows * rowOut)) return false;
        const std::uint8_t* above = RowAbove(first);
        if (above != nullptr) {
            if (!FileRow(above, s.previous.data())) return false;
        } else {
            std::fill(s.previous.begin(), s.previous.end(), std::uint8_t{0});
        }
        for (std::uint64_t r = 0; r < rows; ++r) {
            if (!FileRow(BatchRow(first + r), s.current.data())) return false;
            std::uint8_t* out = w.filtered.data() + r * rowOut;
            if (paletteDepth == 0) {
                FilterRow(s.current.data(), s.previous.data(), fileRowBytes, 3, repeating, s, out);
            } else {
                out[0] = kNone;  // indices do not predict each other
                std::memcpy(out + 1, s.current.data(), fileRowBytes);
            }
            s.current.swap(s.previous);
        }
        return true;
    }

    // Filters and compresses part p of the batch (rows of the batch from p × partRows).
    bool EncodePart(int p, std::uint64_t rowsInBatch) {
        Part& part = parts[static_cast<std::size_t>(p)];
        const std::uint64_t first = p * partRows;
        const std::uint64_t rows = std::min(partRows, rowsInBatch - first);
        const LevelChoice& choice = paletteDepth == 0 ? kRgbLevels : kPaletteLevels;
        const bool repeating = MostlyRepeats(first, rows, choice.repeatingShare);
        std::unique_ptr<Workspace> w;
        try {
            w = TakeWorkspace();
            if (!FilterRows(first, rows, repeating, *w)) return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
        part.filteredBytes = rows * (fileRowBytes + 1);
        part.adler = libdeflate_adler32(1, w->filtered.data(), part.filteredBytes);
        const int level = encoding.quick ? kQuickLevel : repeating ? choice.repeating : choice.busy;
        Compressor& compressor = w->compressors[static_cast<std::size_t>(level)];
        if (!compressor) compressor.reset(NewCompressor(level));
        if (!compressor) return false;
        const std::size_t bound =
            libdeflate_deflate_compress_bound(compressor.get(), part.filteredBytes);
        if (!part.compressed.Reserve(bound + kDeflateOpenExtraBytes)) return false;
        part.compressedBytes =
            libdeflate_deflate_compress(compressor.get(), w->filtered.data(), part.filteredBytes,
                                        part.compressed.data(), bound);
        try {
            ReturnWorkspace(std::move(w));
        } catch (const std::bad_alloc&) {
        }
        if (part.compressedBytes == 0) return false;
        if (partsDone + p + 1 == partCount) return true;  // the stream's last part stays final
        const std::optional<std::size_t> open =
            OpenDeflateStream(part.compressed.data(), part.compressedBytes);
        if (!open) return false;
        part.compressedBytes = *open;
        return true;
    }

    // The held rows, filtered and compressed part by part (at once when threads are lent), then
    // handed to the sink in order.
    bool EncodeBatch() {
        const std::uint64_t rows = row - batchFirstRow;
        if (rows == 0) return true;
        const int count = static_cast<int>((rows + partRows - 1) / partRows);
        std::atomic<bool> partFailed{false};
        auto work = [&](int p) {
            // A failed part stops the parts that have not started.
            if (!partFailed.load(std::memory_order_relaxed) && !EncodePart(p, rows)) {
                partFailed = true;
            }
        };
        if (encoding.runParts && count > 1) {
            encoding.runParts(count, work);
        } else {
            for (int p = 0; p < count; ++p) work(p);
        }
        if (partFailed) return Fail();
        for (int p = 0; p < count; ++p) {
            Part& part = parts[static_cast<std::size_t>(p)];
            adler = static_cast<std::uint32_t>(
                adler32_combine(adler, part.adler, static_cast<z_off_t>(part.filteredBytes)));
            if (!AddCompressed(part.compressed.data(), part.compressedBytes)) return false;
        }
        partsDone += count;
        try {
            aboveBatch.assign(BatchRow(rows - 1), BatchRow(rows - 1) + rawRowBytes);
        } catch (const std::bad_alloc&) {
            return Fail();
        }
        batchFirstRow = row;
        return true;
    }

    const std::uint8_t* BatchRow(std::uint64_t r) const {
        return batchTop + static_cast<std::ptrdiff_t>(r) * batchStride;
    }
    void UseHeldRows() {
        batchTop = batch.data();
        batchStride = static_cast<std::ptrdiff_t>(rawRowBytes);
    }

    // Whole batches straight from the caller's rows; the rows consumed.
    std::int64_t EncodeRowsInPlace(const std::uint8_t* topRow, std::int64_t count,
                                   std::ptrdiff_t stride) {
        const auto batchRows = static_cast<std::int64_t>(partRows * batchParts);
        std::int64_t done = 0;
        while (started && !failed && column == 0 && row == batchFirstRow &&
               count - done >= batchRows && row + batchRows <= height) {
            batchTop = topRow + done * stride;
            batchStride = stride;
            row += batchRows;
            const bool encoded = EncodeBatch();
            UseHeldRows();
            if (!encoded) break;
            done += batchRows;
        }
        return done;
    }

    bool AddPixels(const std::uint8_t* bgr, std::uint64_t count) {
        if (failed || finished) return Fail();
        if (!started && !Start()) return false;
        while (count > 0) {
            if (row >= height) return Fail();  // more pixels than the picture holds
            const std::uint64_t take = std::min(count, (rawRowBytes - column) / 3);
            std::memcpy(batch.data() + (row - batchFirstRow) * rawRowBytes + column, bgr, 3 * take);
            column += 3 * take;
            bgr += 3 * take;
            count -= take;
            if (column < rawRowBytes) continue;
            column = 0;
            ++row;
            if (row - batchFirstRow == partRows * batchParts && !EncodeBatch()) return false;
        }
        return true;
    }

    bool Finish() {
        if (failed || finished) return Fail();
        if (!started && !Start()) return false;
        finished = true;
        if (row != height || column != 0) return Fail();  // pixels missing
        if (!EncodeBatch()) return false;
        std::uint8_t trailer[4];
        PutBigEndian32(trailer, adler);
        if (!AddCompressed(trailer, 4)) return false;
        if (idatBytes > 0 && !WriteImageData(idat.data(), idatBytes)) return false;
        idatBytes = 0;
        if (Animated() && frame + 1 < extras.animation.frames) return StartNextFrame();
        return WriteChunk("IEND", nullptr, 0);
    }

    void UsePalette() {
        const std::size_t colours = encoding.palette.size();
        if (colours == 0 || colours > 256) {
            encoding.palette.clear();
            return;
        }
        for (std::uint32_t colour : encoding.palette) paletteIndex.Add(colour & 0xFFFFFF);
        if (paletteIndex.Count() != static_cast<int>(colours)) {
            failed = true;  // the same colour twice, or colours beyond 24 bits
            return;
        }
        paletteDepth = colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
    }
};

PngRowEncoder::PngRowEncoder(std::int64_t width, std::int64_t height,
                             std::string_view parameterText, Sink sink, PngExtras extras,
                             PngEncoding encoding)
    : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.sink = std::move(sink);
    s.encoding = std::move(encoding);
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide || !s.sink) {
        s.failed = true;
        return;
    }
    s.width = static_cast<std::uint32_t>(width);
    s.height = static_cast<std::uint32_t>(height);
    s.rawRowBytes = 3 * static_cast<std::uint64_t>(width);
    s.parameterText = parameterText;
    s.extras = extras;
    if (s.Animated()) s.encoding.palette.clear();  // one palette would not hold every frame
    s.UsePalette();
    s.fileRowBytes =
        s.paletteDepth == 0 ? s.rawRowBytes : (s.width * std::uint64_t(s.paletteDepth) + 7) / 8;
}

PngRowEncoder::~PngRowEncoder() = default;

bool PngRowEncoder::AddPixels(const std::uint8_t* bgr, std::uint64_t count) {
    return m_state->AddPixels(bgr, count);
}

bool PngRowEncoder::AddRows(const std::uint8_t* topRow, std::int64_t count, std::ptrdiff_t stride) {
    State& s = *m_state;
    if (s.column != 0 || count < 0) return s.Fail();
    if (s.failed || s.finished) return s.Fail();
    if (!s.started && !s.Start()) return false;
    const std::int64_t inPlace = s.EncodeRowsInPlace(topRow, count, stride);
    if (s.failed) return false;
    topRow += inPlace * stride;
    count -= inPlace;
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
                     PngEncoding encoding, SafeFile::Placement placement) {
    if (!handle || !DibIsPicture24(*handle)) return false;
    const DibInfo info = DibDescribe(handle->Bytes());
    const std::int64_t stride = DibRowStride(info.width, 24);
    const std::uint8_t* top = DibPixelData(handle->Bytes(), 0) + (info.height - 1) * stride;
    encoding.palette = PngPaletteOf(top, info.width, info.height, -stride);

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
        extras, std::move(encoding));
    if (!png.AddRows(top, info.height, -stride) || !png.Finish()) {
        out.Abort();
        return report(writeError ? writeError : ENOMEM);
    }
    if (!out.Commit()) return report(out.Error());
    return true;
}
