#include "picture/png_chunks.h"

#include <spng.h>
#include <sys/types.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "picture/png_file.h"

namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::uint32_t kMaxLength = 0x7fffffff;
// A keyword is 1 to 79 bytes ended by a zero.
constexpr std::size_t kKeywordBytes = 80;

constexpr char kDamagedText[] = "its compressed text is damaged.";

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

struct ChunkHead {
    std::uint8_t bytes[8] = {};
    std::uint32_t Length() const { return BigEndian32(bytes); }
    bool Is(const char* type) const { return std::memcmp(bytes + 4, type, 4) == 0; }
    bool IsText() const { return Is("tEXt") || Is("zTXt") || Is("iTXt"); }
};

// The chunk's CRC (after its data in data) matches its type and data.
bool CrcMatches(const ChunkHead& head, const std::vector<std::uint8_t>& data) {
    const std::uint32_t length = head.Length();
    uLong crc = crc32(0, head.bytes + 4, 4);
    crc = crc32(crc, data.data(), length);
    return crc == BigEndian32(data.data() + length);
}

// A zlib stream of text, refused beyond kPngChunkLimit bytes (a small chunk may expand a
// thousandfold).
std::optional<std::string> Inflate(const std::uint8_t* data, std::size_t count,
                                   std::string& problem) {
    z_stream zlib{};
    if (inflateInit(&zlib) != Z_OK) {
        problem = "there is not enough memory.";
        return std::nullopt;
    }
    zlib.next_in = const_cast<std::uint8_t*>(data);
    zlib.avail_in = static_cast<uInt>(count);
    std::string text;
    std::uint8_t buffer[1 << 14];
    int result = Z_OK;
    while (result == Z_OK && text.size() <= kPngChunkLimit) {
        zlib.next_out = buffer;
        zlib.avail_out = sizeof buffer;
        result = inflate(&zlib, Z_NO_FLUSH);
        text.append(reinterpret_cast<const char*>(buffer), sizeof buffer - zlib.avail_out);
    }
    inflateEnd(&zlib);
    if (text.size() > kPngChunkLimit) {
        problem = "its text is larger than this program accepts.";
        return std::nullopt;
    }
    if (result != Z_STREAM_END) {
        problem = kDamagedText;  // also a stream that stops short (Z_BUF_ERROR)
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> InflateWith(int method, const std::uint8_t* data, std::size_t count,
                                       std::string& problem) {
    if (method != 0) {
        problem = "its text is compressed by a method this program does not know (" +
                  std::to_string(method) + ").";
        return std::nullopt;
    }
    return Inflate(data, count, problem);
}

// The text of a tEXt, zTXt or iTXt chunk from the bytes after its keyword's zero.
std::optional<std::string> TextOf(const ChunkHead& head, const std::uint8_t* rest,
                                  std::size_t count, std::string& problem) {
    if (head.Is("tEXt")) return std::string(reinterpret_cast<const char*>(rest), count);
    if (head.Is("zTXt")) {
        if (count == 0) {
            problem = kDamagedText;
            return std::nullopt;
        }
        return InflateWith(rest[0], rest + 1, count - 1, problem);
    }
    // iTXt: compression flag and method, language tag and translated keyword (each ended by a
    // zero), then the text.
    const std::uint8_t* end = rest + count;
    const std::uint8_t* language = count >= 2 ? std::find(rest + 2, end, 0) : end;
    const std::uint8_t* translated = language < end ? std::find(language + 1, end, 0) : end;
    if (translated == end || rest[0] > 1) {
        problem = "it is damaged.";
        return std::nullopt;
    }
    const std::uint8_t* text = translated + 1;
    const auto length = static_cast<std::size_t>(end - text);
    if (rest[0] == 1) return InflateWith(rest[1], text, length, problem);
    return std::string(reinterpret_cast<const char*>(text), length);
}

// One text chunk: the keyword is read, ours the whole chunk, every other one skipped. False when
// the file ends.
bool ReadTextChunk(PngByteSource& source, const ChunkHead& head, PngFigureScan& scan,
                   bool& wantText, bool& wantOrder) {
    const std::uint32_t length = head.Length();
    std::vector<std::uint8_t> data(std::min<std::size_t>(length, kKeywordBytes));
    if (!source.Read(data.data(), data.size())) return false;
    const std::string keyword(data.begin(), std::find(data.begin(), data.end(), 0));
    const bool text = wantText && keyword == kPngParameterKeyword;
    const bool order = wantOrder && keyword == kPngOnlyOrderKeyword;
    if (!text && !order) return source.Skip(std::uint64_t{length} - data.size() + 4);
    (text ? wantText : wantOrder) = false;
    std::string problem;
    std::optional<std::string> value;
    if (length > kPngChunkLimit) {
        problem = "its chunk is larger than this program accepts.";
        if (!source.Skip(std::uint64_t{length} - data.size() + 4)) return false;
    } else {
        const std::size_t read = data.size();
        data.resize(std::size_t{length} + 4);
        if (!source.Read(data.data() + read, data.size() - read)) {
            if (text) scan.problem = "the file ends inside it.";
            return false;
        }
        if (!CrcMatches(head, data)) {
            problem = "its checksum (CRC) is wrong: the chunk is damaged.";
        } else {
            value = TextOf(head, data.data() + keyword.size() + 1, length - keyword.size() - 1,
                           problem);
        }
    }
    if (text) {
        scan.parameterText = std::move(value);
        scan.problem = std::move(problem);
    } else if (value && value->size() == 1 && (*value)[0] >= '0' && (*value)[0] <= '9') {
        scan.onlyOrder = (*value)[0] - '0';
    }
    return true;
}

}  // namespace

bool PngByteSource::Read(std::uint8_t* out, std::size_t count) {
    if (m_file) return std::fread(out, 1, count, m_file) == count;
    if (count > m_count - m_at) {
        m_at = m_count;
        return false;
    }
    if (count > 0) std::memcpy(out, m_bytes + m_at, count);
    m_at += count;
    return true;
}

bool PngByteSource::Skip(std::uint64_t count) {
    if (m_file) {
        // A small chunk is passed over inside the stream's buffer: thousands of them cost no
        // system call each.
        std::uint8_t passed[4096];
        if (count <= sizeof passed) return Read(passed, static_cast<std::size_t>(count));
        return fseeko(m_file, static_cast<off_t>(count), SEEK_CUR) == 0;
    }
    if (count > m_count - m_at) {
        m_at = m_count;
        return false;
    }
    m_at += static_cast<std::size_t>(count);
    return true;
}

bool PngByteSource::Rewind() {
    m_at = 0;
    return !m_file || fseeko(m_file, 0, SEEK_SET) == 0;
}

bool PngByteSource::Failed() const {
    return m_file && std::ferror(m_file);
}

bool ScanPngFigure(PngByteSource& source, PngFigureScan& scan) {
    scan = {};
    std::uint8_t signature[8];
    if (!source.Read(signature, 8) || std::memcmp(signature, kSignature, 8) != 0) return false;
    ChunkHead head;
    std::vector<std::uint8_t> ihdr(13 + 4);
    if (!source.Read(head.bytes, 8) || !head.Is("IHDR") || head.Length() != 13 ||
        !source.Read(ihdr.data(), ihdr.size()) || !CrcMatches(head, ihdr)) {
        return false;
    }
    const std::uint32_t width = BigEndian32(ihdr.data());
    const std::uint32_t height = BigEndian32(ihdr.data() + 4);
    if (width == 0 || height == 0 || width > kMaxLength || height > kMaxLength) return false;
    scan.size = {static_cast<int>(width), static_cast<int>(height)};
    bool wantText = true;
    bool wantOrder = true;
    while ((wantText || wantOrder) && source.Read(head.bytes, 8) && !head.Is("IEND") &&
           head.Length() <= kMaxLength) {
        const bool more = head.IsText() ? ReadTextChunk(source, head, scan, wantText, wantOrder)
                                        : source.Skip(std::uint64_t{head.Length()} + 4);
        if (!more) break;
    }
    return true;
}

int PngPictureChunks::Read(spng_ctx*, void* user, void* destination, std::size_t length) {
    return static_cast<PngPictureChunks*>(user)->Fill(static_cast<std::uint8_t*>(destination),
                                                      length);
}

int PngPictureChunks::Fill(std::uint8_t* out, std::size_t length) {
    while (length > 0) {
        if (m_headLeft == 0 && m_passLeft == 0 && !NextChunk()) {
            return m_source.Failed() ? SPNG_IO_ERROR : SPNG_IO_EOF;
        }
        std::size_t take;
        if (m_headLeft > 0) {
            take = std::min(length, m_headLeft);
            std::memcpy(out, m_head + sizeof m_head - m_headLeft, take);
            m_headLeft -= take;
        } else {
            take = static_cast<std::size_t>(std::min<std::uint64_t>(length, m_passLeft));
            if (!m_source.Read(out, take)) return m_source.Failed() ? SPNG_IO_ERROR : SPNG_IO_EOF;
            m_passLeft -= take;
        }
        out += take;
        length -= take;
    }
    return 0;
}

// The signature first, then the next chunk the picture needs: the first one (IHDR, or whatever
// libspng should refuse), every critical chunk (known or not, libspng decides) and tRNS.
bool PngPictureChunks::NextChunk() {
    if (m_chunks < 0) {
        m_chunks = 0;
        m_passLeft = sizeof kSignature;
        return true;
    }
    for (;;) {
        if (!m_source.Read(m_head, sizeof m_head)) return false;
        const std::uint32_t length = BigEndian32(m_head);
        const bool ancillary = (m_head[4] & 0x20) != 0;
        if (m_chunks++ == 0 || !ancillary || std::memcmp(m_head + 4, "tRNS", 4) == 0 ||
            length > kMaxLength) {
            m_headLeft = sizeof m_head;
            m_passLeft = std::uint64_t{length} + 4;
            return true;
        }
        if (!m_source.Skip(std::uint64_t{length} + 4)) return false;
    }
}
