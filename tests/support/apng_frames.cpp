#include "support/apng_frames.h"

#include <zlib.h>

namespace {

std::string BigEndian32(std::size_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (24 - 8 * i));
    return out;
}

std::string Chunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const auto crc = crc32(0, reinterpret_cast<const unsigned char*>(body.data()),
                           static_cast<uInt>(body.size()));
    return BigEndian32(data.size()) + body + BigEndian32(crc);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> PngChunksOf(const std::string& file) {
    std::vector<std::pair<std::string, std::string>> chunks;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(file.data() + at);
        const std::size_t length =
            (std::size_t{p[0]} << 24) | (std::size_t{p[1]} << 16) | (p[2] << 8) | p[3];
        chunks.emplace_back(file.substr(at + 4, 4), file.substr(at + 8, length));
        at += 12 + length;
    }
    return chunks;
}

std::vector<std::string> StillFramesOfAnimatedPng(const std::string& file) {
    std::vector<std::string> frames;
    std::string ihdr;
    for (const auto& [type, data] : PngChunksOf(file)) {
        if (type == "IHDR") ihdr = data;
        if (type == "fcTL") frames.push_back(file.substr(0, 8) + Chunk("IHDR", ihdr));
        if (frames.empty()) continue;
        if (type == "IDAT") frames.back() += Chunk("IDAT", data);
        if (type == "fdAT") frames.back() += Chunk("IDAT", data.substr(4));
    }
    for (std::string& frame : frames) frame += Chunk("IEND", "");
    return frames;
}
