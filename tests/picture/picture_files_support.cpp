#include <sys/mman.h>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "picture/picture_files.h"

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

MemoryFile::MemoryFile() : m_fd(::memfd_create("picture-test", 0)) {
    if (m_fd < 0) throw std::runtime_error("memfd_create failed");
}

MemoryFile::~MemoryFile() {
    ::close(m_fd);
}

void MemoryFile::Replace(const Bytes& bytes) {
    if (::ftruncate(m_fd, 0) != 0 ||
        ::pwrite(m_fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot fill memory file");
}

std::string MemoryFile::Path() const {
    return "/proc/self/fd/" + std::to_string(m_fd);
}

std::uint16_t U16At(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

std::uint32_t U32At(const Bytes& bytes, std::size_t offset) {
    return U16At(bytes, offset) | (static_cast<std::uint32_t>(U16At(bytes, offset + 2)) << 16);
}

static void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

static void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

static void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

static Bytes BuildHeader(const BmpFields& f) {
    Bytes h;
    Put32(h, f.headerBytes);
    if (f.headerBytes == 12) {
        Put16(h, static_cast<std::uint32_t>(f.width));
        Put16(h, static_cast<std::uint32_t>(f.height));
        Put16(h, 1);
        Put16(h, f.bits);
        return h;
    }
    Put32(h, static_cast<std::uint32_t>(f.width));
    Put32(h, static_cast<std::uint32_t>(f.height));
    Put16(h, 1);
    Put16(h, f.bits);
    Put32(h, f.compression);
    Put32(h, static_cast<std::uint32_t>(f.pixels.size()));
    Put32(h, 2835);
    Put32(h, 2835);
    Put32(h, f.colourUsed);
    Put32(h, 0);
    // Later header versions: the plain masks first, the rest left zero.
    if (f.headerBytes >= 52) {
        Put32(h, 0x00FF0000);
        Put32(h, 0x0000FF00);
        Put32(h, 0x000000FF);
    }
    while (h.size() < f.headerBytes && h.size() < 124) h.push_back(0);
    return h;
}

Bytes BuildBmp(const BmpFields& f) {
    Bytes dib = BuildHeader(f);
    Append(dib, f.table);
    Append(dib, f.gap);
    std::uint32_t pixelStart = static_cast<std::uint32_t>(14 + dib.size());
    Append(dib, f.pixels);
    Bytes file{'B', 'M'};
    Put32(file, static_cast<std::uint32_t>(14 + dib.size()));
    Put32(file, 0);
    Put32(file, f.pixelOffset.value_or(pixelStart));
    Append(file, dib);
    return file;
}

DibHandle MakeTestPicture(int width, int height, int seed) {
    auto stride = DibRowStride(width, 24);
    DibHandle handle = DibImage::Allocate(static_cast<std::size_t>(40 + stride * height));
    DibInitHeader24(handle->Bytes(), width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = handle->Bytes() + 40 + y * stride;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x + seed);
            row[3 * x + 1] = static_cast<std::uint8_t>(y + seed);
            row[3 * x + 2] = static_cast<std::uint8_t>(x + y + seed);
        }
    }
    return handle;
}
