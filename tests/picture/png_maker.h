// Test helper: PNG files of any colour type, bit depth and interlacing made with libspng's own
// encoder, and chunk-level surgery on PNG bytes for the refusal tests.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "picture/picture_files.h"

enum PngColourType { kPngGrey = 0, kPngRgb = 2, kPngPalette = 3, kPngGreyAlpha = 4, kPngRgba = 6 };

struct PngSpec {
    int width = 1;
    int height = 1;
    int colourType = kPngRgb;
    int depth = 8;
    bool interlaced = false;
    // Samples of each pixel in the file's own scale (0 to 2^depth - 1), row by row: 1 (grey,
    // palette index), 2 (grey, alpha), 3 (RGB) or 4 (RGBA) per pixel.
    std::vector<std::uint16_t> samples;
    std::vector<std::array<std::uint8_t, 3>> palette;
    // tRNS: palette alphas, or the one grey / RGB colour that is transparent.
    std::vector<std::uint8_t> paletteAlpha;
    std::optional<std::array<std::uint16_t, 3>> transparentColour;
    // zTXt chunks: keyword, text.
    std::vector<std::pair<std::string, std::string>> texts;
};

int ChannelsOf(int colourType);
// The PNG file, or empty bytes when libspng refuses the spec.
Bytes MakePng(const PngSpec& spec);

// Chunks of a PNG file: where each starts (its length field), its type and data length.
struct PngChunk {
    std::size_t offset = 0;
    std::string type;
    std::uint32_t length = 0;
};
std::vector<PngChunk> ChunksOf(const Bytes& png);
// A chunk built with its length and correct CRC.
Bytes PngChunkBytes(const std::string& type, const Bytes& data);
// Recomputes the CRC of the chunk at offset after its data was changed in place.
void FixCrc(Bytes& png, std::size_t offset);
