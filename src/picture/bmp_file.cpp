// BMP files: writing the picture block behind a file header, and reading BMP files of other
// programs into the 24-bit layout. Every size in a file is checked against the bytes actually
// read before it is used, so no header, however it lies, makes the reader leave its buffers.
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "picture/byte_order.h"
#include "picture/dib_image.h"
#include "picture/row_sink.h"
#include "picture/safe_file.h"
#include "picture/user_prompts.h"

namespace {

constexpr std::uint32_t kCompressionNone = 0;
constexpr std::uint32_t kCompressionRle8 = 1;
constexpr std::uint32_t kCompressionRle4 = 2;
constexpr std::uint32_t kCompressionBitFields = 3;
constexpr std::uint32_t kCoreHeaderBytes = 12;

// Where the parts of a DIB read from a file lie, all offsets counted from the start of the DIB.
struct BmpLayout {
    std::uint32_t headerBytes = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // negative: rows stored top-down
    int bits = 0;
    std::uint32_t compression = kCompressionNone;
    std::uint32_t colourUsed = 0;
    int entryBytes = 4;
    std::int64_t tableOffset = 0;
    std::int64_t colourCount = 0;
    std::int64_t pixelOffset = 0;
    std::int64_t sourceStride = 0;  // 0 for run-length data
    std::int64_t pixelBytes = 0;    // from pixelOffset to the end of the data

    std::int64_t Rows() const { return height < 0 ? -height : height; }
};

// ---- Writing ----

// Image bytes as the header describes them; -1 when they cannot lie inside a block of blockBytes.
std::int64_t ImageBytesToWrite(const std::uint8_t* dib, std::size_t blockBytes) {
    std::uint32_t compression = ReadU32(dib + 16);
    if (compression == kCompressionRle8 || compression == kCompressionRle4)
        return ReadU32(dib + 20);
    std::int64_t width = ReadI32(dib + 4);
    std::int64_t height = ReadI32(dib + 8);
    if (width < 0 || height < 0) return -1;
    std::int64_t stride = DibRowStride(width, ReadU16(dib + 14));
    if (stride > 0 && height > static_cast<std::int64_t>(blockBytes) / stride) return -1;
    return stride * height;
}

void BuildFileHeader(std::uint8_t* header, std::int64_t dibBytes, std::uint32_t colourTableBytes) {
    header[0] = 'B';
    header[1] = 'M';
    WriteU32(header + 2, static_cast<std::uint32_t>(kBmpFileHeaderBytes + dibBytes));
    WriteU16(header + 6, 0);
    WriteU16(header + 8, 0);
    WriteU32(header + 10, kBmpFileHeaderBytes + kDibHeaderBytes + colourTableBytes);
}

std::string FileErrorText(int error) {
    return "File error " + std::to_string(error);
}

// ---- Reading: the header ----

bool IsInfoHeaderSize(std::uint32_t size) {
    // BITMAPINFOHEADER and its later extensions (V2, V3, V4, V5), which begin with the same fields.
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool ReadHeaderFields(const std::uint8_t* dib, std::int64_t dibBytes, BmpLayout& layout) {
    if (dibBytes < 4) return false;
    layout.headerBytes = ReadU32(dib);
    if (layout.headerBytes == kCoreHeaderBytes) {
        if (dibBytes < kCoreHeaderBytes) return false;
        layout.width = ReadU16(dib + 4);
        layout.height = ReadU16(dib + 6);
        layout.bits = ReadU16(dib + 10);
        layout.entryBytes = 3;
        return true;
    }
    if (!IsInfoHeaderSize(layout.headerBytes) || dibBytes < layout.headerBytes) return false;
    layout.width = ReadI32(dib + 4);
    layout.height = ReadI32(dib + 8);
    layout.bits = ReadU16(dib + 14);
    layout.compression = ReadU32(dib + 16);
    layout.colourUsed = ReadU32(dib + 32);
    return true;
}

bool IsSupportedBitCount(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
}

// Bit fields are accepted only when they describe the plain blue-green-red byte order.
bool HasPlainColourMasks(const std::uint8_t* dib, std::int64_t dibBytes) {
    if (dibBytes < kDibHeaderBytes + 12) return false;
    return ReadU32(dib + 40) == 0x00FF0000u && ReadU32(dib + 44) == 0x0000FF00u &&
           ReadU32(dib + 48) == 0x000000FFu;
}

bool IsRunLength(const BmpLayout& layout) {
    return layout.compression == kCompressionRle8 || layout.compression == kCompressionRle4;
}

bool CheckPictureKind(const std::uint8_t* dib, std::int64_t dibBytes, BmpLayout& layout) {
    if (layout.width <= 0 || layout.height == 0 || !IsSupportedBitCount(layout.bits)) return false;
    switch (layout.compression) {
        case kCompressionNone:
            return true;
        case kCompressionRle8:  // run-length files are stored bottom-up only
            return layout.bits == 8 && layout.height > 0;
        case kCompressionRle4:
            return layout.bits == 4 && layout.height > 0;
        case kCompressionBitFields:
            return layout.bits == 32 && HasPlainColourMasks(dib, dibBytes);
        default:
            return false;
    }
}

// Colour table right after the header (and after the three masks that follow a 40-byte header in
// a bit-field file); the pixels where the file header says, else right after the table.
bool LocateParts(std::int64_t dibBytes, std::uint32_t pixelOffsetField, BmpLayout& layout) {
    bool masksFollowHeader =
        layout.compression == kCompressionBitFields && layout.headerBytes == kDibHeaderBytes;
    layout.tableOffset = layout.headerBytes + (masksFollowHeader ? 12 : 0);
    if (layout.bits <= 8)
        layout.colourCount = layout.colourUsed != 0 ? layout.colourUsed : (1 << layout.bits);
    else
        layout.colourCount = layout.colourUsed;
    std::int64_t afterTable = layout.tableOffset + layout.colourCount * layout.entryBytes;
    if (afterTable > dibBytes) return false;

    std::int64_t pixelBytes = 0;  // run-length data is checked while it is decoded
    if (!IsRunLength(layout)) {
        layout.sourceStride = DibRowStride(layout.width, layout.bits);
        if (layout.sourceStride > dibBytes) return false;
        if (layout.Rows() > dibBytes / layout.sourceStride) return false;
        pixelBytes = layout.sourceStride * layout.Rows();
    }

    std::int64_t declared = std::int64_t{pixelOffsetField} - kBmpFileHeaderBytes;
    if (declared >= afterTable && declared <= dibBytes && pixelBytes <= dibBytes - declared)
        layout.pixelOffset = declared;
    else if (pixelBytes <= dibBytes - afterTable)
        layout.pixelOffset = afterTable;
    else
        return false;
    layout.pixelBytes = dibBytes - layout.pixelOffset;
    return true;
}

// A few bytes of run-length data can describe a picture of gigabytes (the end-of-picture code
// leaves the rest black). Real encoders need at least 2 bytes per run of 255 pixels and per row,
// so their pictures stay below 400 times the data; a picture beyond this factor is refused.
constexpr std::int64_t kRunLengthExpansionLimit = 1024;
constexpr std::int64_t kRunLengthAlwaysAccepted = 1 << 20;  // bytes of 24-bit picture

bool RunLengthSizeIsPlausible(const BmpLayout& layout) {
    if (!IsRunLength(layout)) return true;
    std::int64_t limit = kRunLengthAlwaysAccepted + kRunLengthExpansionLimit * layout.pixelBytes;
    std::int64_t stride = DibRowStride(layout.width, 24);
    return stride <= limit && layout.Rows() <= limit / stride;
}

bool DescribeFile(const std::uint8_t* dib, std::int64_t dibBytes, std::uint32_t pixelOffsetField,
                  BmpLayout& layout) {
    return ReadHeaderFields(dib, dibBytes, layout) && CheckPictureKind(dib, dibBytes, layout) &&
           LocateParts(dibBytes, pixelOffsetField, layout) && RunLengthSizeIsPlausible(layout);
}

// Our own layout exactly: such a block is used as read.
bool IsCanonical24(const BmpLayout& layout) {
    return layout.headerBytes == kDibHeaderBytes && layout.bits == 24 &&
           layout.compression == kCompressionNone && layout.colourCount == 0 && layout.height > 0 &&
           layout.pixelOffset == kDibHeaderBytes;
}

// ---- Reading: conversion to 24 bits ----

void CopyColour(std::uint8_t* target, const BmpLayout& layout, const std::uint8_t* table,
                unsigned index) {
    if (index >= layout.colourCount) return;  // beyond the table: stays black
    const std::uint8_t* entry = table + std::int64_t{index} * layout.entryBytes;
    target[0] = entry[0];
    target[1] = entry[1];
    target[2] = entry[2];
}

unsigned IndexAt(const std::uint8_t* row, int bits, std::int64_t x) {
    switch (bits) {
        case 8:
            return row[x];
        case 4:
            return (x % 2 == 0) ? (row[x / 2] >> 4) : (row[x / 2] & 0x0F);
        default:
            return (row[x / 8] >> (7 - x % 8)) & 1;
    }
}

void ConvertRow(const std::uint8_t* source, std::uint8_t* target, const BmpLayout& layout,
                const std::uint8_t* table) {
    if (layout.bits == 24) {
        std::memcpy(target, source, static_cast<std::size_t>(layout.width) * 3);
        return;
    }
    for (std::int64_t x = 0; x < layout.width; ++x) {
        std::uint8_t* pixel = target + 3 * x;
        if (layout.bits == 32) {
            std::memcpy(pixel, source + 4 * x, 3);
        } else {
            CopyColour(pixel, layout, table, IndexAt(source, layout.bits, x));
        }
    }
}

// Run-length encoded 8- and 4-bit pictures, decoded straight into the 24-bit rows. Pixels that
// the data skips or never reaches stay black; pixels beyond the right edge are dropped. Every
// step is checked against the end of the data, and the work is bounded by data and picture size.
class RunLengthDecoder {
  public:
    RunLengthDecoder(const BmpLayout& layout, const std::uint8_t* table, std::uint8_t* rows)
        : m_layout(layout),
          m_table(table),
          m_rows(rows),
          m_stride(DibRowStride(layout.width, 24)) {}

    void Decode(const std::uint8_t* data, std::int64_t size) {
        std::int64_t i = 0;
        while (i + 2 <= size && m_y < m_layout.Rows()) {
            std::uint8_t count = data[i];
            std::uint8_t value = data[i + 1];
            i += 2;
            if (count > 0) {
                PutRun(count, value);
            } else if (value == 0) {  // end of line
                m_x = 0;
                ++m_y;
            } else if (value == 1) {  // end of picture
                return;
            } else if (value == 2) {  // move right and up
                if (i + 2 > size) return;
                m_x += data[i];
                m_y += data[i + 1];
                i += 2;
            } else {  // value literal pixels, padded to an even number of bytes
                std::int64_t bytes = m_layout.bits == 8 ? value : (value + 1) / 2;
                if (i + bytes > size) return;
                PutLiteral(data + i, value);
                i += bytes + (bytes % 2);
            }
        }
    }

  private:
    // The pixels of a run alternate between the two nibbles of its value in 4-bit pictures.
    void PutRun(int count, std::uint8_t value) {
        for (int k = 0; k < Visible(count); ++k) {
            unsigned index = m_layout.bits == 8 ? value : (k % 2 == 0 ? value >> 4 : value & 15);
            Put(m_x + k, index);
        }
        m_x += count;
    }

    void PutLiteral(const std::uint8_t* pixels, int count) {
        for (int k = 0; k < Visible(count); ++k) {
            unsigned index = m_layout.bits == 8 ? pixels[k]
                             : k % 2 == 0       ? pixels[k / 2] >> 4
                                                : pixels[k / 2] & 15;
            Put(m_x + k, index);
        }
        m_x += count;
    }

    int Visible(int count) const {
        if (m_x >= m_layout.width || m_y >= m_layout.Rows()) return 0;
        return static_cast<int>(std::min<std::int64_t>(count, m_layout.width - m_x));
    }

    void Put(std::int64_t x, unsigned index);

    const BmpLayout& m_layout;
    const std::uint8_t* m_table;
    std::uint8_t* m_rows;
    std::int64_t m_stride;
    std::int64_t m_x = 0;
    std::int64_t m_y = 0;
};

void RunLengthDecoder::Put(std::int64_t x, unsigned index) {
    CopyColour(m_rows + m_y * m_stride + 3 * x, m_layout, m_table, index);
}

DibHandle ConvertTo24(const std::uint8_t* dib, const BmpLayout& layout) {
    std::int64_t targetStride = DibRowStride(layout.width, 24);
    std::int64_t limit = static_cast<std::int64_t>(DibImage::kMaxBytes) - kDibHeaderBytes;
    if (targetStride > limit || layout.Rows() > limit / targetStride) return nullptr;
    DibHandle target = DibImage::Allocate(
        static_cast<std::size_t>(kDibHeaderBytes + targetStride * layout.Rows()));
    if (!target) return nullptr;
    std::uint8_t* out = target->Bytes();
    DibInitHeader24(out, static_cast<int>(layout.width), static_cast<int>(layout.Rows()));
    const std::uint8_t* table = dib + layout.tableOffset;
    if (IsRunLength(layout)) {
        RunLengthDecoder(layout, table, out + kDibHeaderBytes)
            .Decode(dib + layout.pixelOffset, layout.pixelBytes);
        return target;
    }
    for (std::int64_t i = 0; i < layout.Rows(); ++i) {
        std::int64_t sourceRow = layout.height < 0 ? layout.Rows() - 1 - i : i;
        ConvertRow(dib + layout.pixelOffset + sourceRow * layout.sourceStride,
                   out + kDibHeaderBytes + i * targetStride, layout, table);
    }
    return target;
}

// ---- Reading: the file ----

bool RegularFileLength(std::FILE* file, std::int64_t& length) {
    struct stat st {};
    if (::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    length = st.st_size;
    return true;
}

DibReadResult Fail(DibHandle& handle, DibReadResult result) {
    handle.reset();
    return result;
}

// Reads everything after the file header into the start of a block of the file's length,
// reusing the caller's block when it is large enough.
DibReadResult ReadDibBytes(std::FILE* file, std::int64_t length, DibHandle& handle) {
    if (static_cast<std::uint64_t>(length) > DibImage::kMaxBytes)
        return Fail(handle, DibReadResult::Refused);
    auto bytes = static_cast<std::size_t>(length);
    if (!handle || handle->Size() < bytes) {
        handle.reset();
        handle = DibImage::Allocate(bytes);
        if (!handle) return DibReadResult::Refused;
    }
    std::size_t wanted = bytes - kBmpFileHeaderBytes;
    std::size_t got = std::fread(handle->Bytes(), 1, wanted, file);
    if (std::ferror(file)) return Fail(handle, DibReadResult::FileError);
    if (got != wanted) return Fail(handle, DibReadResult::Refused);
    return DibReadResult::Read;
}

}  // namespace

// ---- Writing ----

DibWriteResult DibWriteBmp(std::FILE* file, const DibHandle& handle,
                           std::uint32_t colourTableBytes) {
    if (!handle || handle->Size() < kDibHeaderBytes) return DibWriteResult::NothingWritten;
    std::uint8_t* dib = handle->Bytes();
    if (ReadU32(dib) != kDibHeaderBytes) return DibWriteResult::NothingWritten;
    std::int64_t imageBytes = ImageBytesToWrite(dib, handle->Size());
    std::int64_t dibBytes = std::int64_t{kDibHeaderBytes} + colourTableBytes + imageBytes;
    if (imageBytes < 0 || static_cast<std::uint64_t>(dibBytes) > handle->Size())
        return DibWriteResult::NothingWritten;

    std::uint32_t compression = ReadU32(dib + 16);
    if (compression != kCompressionRle8 && compression != kCompressionRle4)
        WriteU32(dib + 20, static_cast<std::uint32_t>(imageBytes));
    std::uint8_t fileHeader[kBmpFileHeaderBytes];
    BuildFileHeader(fileHeader, dibBytes, colourTableBytes);
    auto count = static_cast<std::size_t>(dibBytes);
    if (std::fwrite(fileHeader, 1, sizeof fileHeader, file) != sizeof fileHeader ||
        std::fwrite(dib, 1, count, file) != count || std::fflush(file) != 0)
        return DibWriteResult::FileError;
    return DibWriteResult::Written;
}

bool DibSaveBmpFile(const std::string& path, const DibHandle& handle,
                    std::uint32_t colourTableBytes, UserPrompts& ui) {
    if (!handle) {
        ui.ShowMessage(path + " no bitmap connected to it.");
        return false;
    }
    SafeFile out(path);
    if (!out.Open()) {
        ui.ShowMessage(path + " failed to open 1a " + FileErrorText(out.Error()));
        return false;
    }
    DibWriteResult result = DibWriteBmp(out.Stream(), handle, colourTableBytes);
    if (result == DibWriteResult::NothingWritten) return false;  // the temporary goes with out
    if (result == DibWriteResult::Written && out.Commit()) return true;
    ui.ShowMessage(path + " failed to process.");
    return false;
}

// ---- Reading ----

DibReadResult DibReadBmp(std::FILE* file, DibHandle& handle, DibInfo& info) {
    info = DibInfo{};
    std::int64_t length = 0;
    if (!RegularFileLength(file, length)) return Fail(handle, DibReadResult::FileError);
    std::uint8_t fileHeader[kBmpFileHeaderBytes];
    std::size_t got = std::fread(fileHeader, 1, sizeof fileHeader, file);
    if (std::ferror(file)) return Fail(handle, DibReadResult::FileError);
    if (got != sizeof fileHeader || fileHeader[0] != 'B' || fileHeader[1] != 'M' ||
        length < kBmpFileHeaderBytes)
        return DibReadResult::NotBitmap;

    DibReadResult read = ReadDibBytes(file, length, handle);
    if (read != DibReadResult::Read) return read;

    BmpLayout layout;
    const std::uint8_t* dib = handle->Bytes();
    if (!DescribeFile(dib, length - kBmpFileHeaderBytes, ReadU32(fileHeader + 10), layout))
        return Fail(handle, DibReadResult::Refused);
    if (!IsCanonical24(layout)) {
        DibHandle converted = ConvertTo24(dib, layout);
        if (!converted) return Fail(handle, DibReadResult::Refused);
        handle = std::move(converted);
    }
    info = DibDescribe(handle->Bytes());
    return DibReadResult::Read;
}

bool DibLoadBmpFile(const std::string& path, DibHandle& handle, PictureSize& size,
                    UserPrompts& ui) {
    std::FILE* file = OpenForReadingWithoutWaiting(path);
    if (file == nullptr) {
        ui.ShowMessage("Failed to open: " + path);
        return false;
    }
    DibInfo info;
    DibReadResult result = DibReadBmp(file, handle, info);
    std::fclose(file);
    size = {info.width, info.height};
    switch (result) {
        case DibReadResult::Read:
            return true;
        case DibReadResult::FileError:
            handle.reset();
            ui.ShowMessage("Failed to read: " + path);
            return false;
        case DibReadResult::NotBitmap:
        case DibReadResult::Refused:
            break;
    }
    if (!handle) ui.ShowMessage("Failed to read 2: " + path);
    return false;
}

// ---- Writing row by row ----

std::int64_t BmpFileBytes(std::int64_t width, std::int64_t height) {
    return kBmpFileHeaderBytes + kDibHeaderBytes + DibRowStride(width, 24) * height;
}

std::string BmpSizeProblem(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return "a picture needs a positive width and height";
    constexpr std::int64_t kMaxSide = 0x7FFFFFFF;  // the header's sides are signed 32-bit
    if (width > kMaxSide || height > kMaxSide || BmpFileBytes(width, height) > kMaxBmpFileBytes) {
        return "a BMP file holds at most 4 GiB; " + std::to_string(width) + "x" +
               std::to_string(height) + " would take " +
               std::to_string(BmpFileBytes(width, height)) + " bytes";
    }
    return "";
}

BmpRowWriter::BmpRowWriter(std::FILE* file, const std::string& path, int width, int height,
                           UserPrompts& ui)
    : m_file(file),
      m_path(path),
      m_width(width),
      m_height(height),
      m_padding(static_cast<std::size_t>(DibRowStride(width, 24) - 3 * std::int64_t{width}), 0),
      m_ui(ui) {}

// The headers of the whole-picture writer: the file header, then the block's own header.
bool BmpRowWriter::Start() {
    std::uint8_t headers[kBmpFileHeaderBytes + kDibHeaderBytes];
    const std::int64_t dibBytes = BmpFileBytes(m_width, m_height) - kBmpFileHeaderBytes;
    BuildFileHeader(headers, dibBytes, 0);
    DibInitHeader24(headers + kBmpFileHeaderBytes, m_width, m_height);
    if (std::fwrite(headers, 1, sizeof headers, m_file) != sizeof headers) return Failed(errno);
    return true;
}

bool BmpRowWriter::WriteRow(const std::uint8_t* row) {
    if (m_failed || m_rows >= m_height) return Failed(EINVAL);
    const auto bytes = static_cast<std::size_t>(3) * static_cast<std::size_t>(m_width);
    // No padding for widths that are multiples of 4 (and no buffer to hand to fwrite).
    if (std::fwrite(row, 1, bytes, m_file) != bytes ||
        (!m_padding.empty() &&
         std::fwrite(m_padding.data(), 1, m_padding.size(), m_file) != m_padding.size())) {
        return Failed(errno);
    }
    ++m_rows;
    return true;
}

bool BmpRowWriter::WriteRows(const std::uint8_t* first, int count, std::ptrdiff_t stride) {
    const auto rowBytes = static_cast<std::size_t>(3) * static_cast<std::size_t>(m_width);
    const std::size_t stored = rowBytes + m_padding.size();
    bool fileLayout = count > 0 && stride == static_cast<std::ptrdiff_t>(stored) &&
                      count <= m_height - m_rows && !m_failed;
    for (int r = 0; fileLayout && !m_padding.empty() && r < count; ++r) {
        const std::uint8_t* padding = first + r * stored + rowBytes;
        fileLayout = std::all_of(padding, padding + m_padding.size(),
                                 [](std::uint8_t byte) { return byte == 0; });
    }
    if (!fileLayout) return RowSink::WriteRows(first, count, stride);
    const std::size_t bytes = stored * static_cast<std::size_t>(count);
    if (std::fwrite(first, 1, bytes, m_file) != bytes) return Failed(errno);
    m_rows += count;
    return true;
}

bool BmpRowWriter::Finish() {
    if (m_failed || m_rows != m_height) return Failed(EINVAL);
    if (std::fflush(m_file) != 0) return Failed(errno);
    return true;
}

// Names the cause, as the PNG writer does: a full disk is not just "failed".
bool BmpRowWriter::Failed(int error) {
    if (!m_failed) {
        m_ui.ShowMessage("Failed to write: " + m_path + "\n" + std::strerror(error ? error : EIO));
    }
    m_failed = true;
    return false;
}
