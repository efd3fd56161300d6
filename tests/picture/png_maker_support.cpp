#include "picture/png_maker.h"

#include <spng.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>

int ChannelsOf(int colourType) {
    switch (colourType) {
        case kPngRgb:
            return 3;
        case kPngGreyAlpha:
            return 2;
        case kPngRgba:
            return 4;
        default:
            return 1;
    }
}

namespace {

// The rows as libspng's SPNG_FMT_PNG wants them: packed bits below 8, host-endian 16 bits.
Bytes PackRows(const PngSpec& spec) {
    const int samplesPerRow = spec.width * ChannelsOf(spec.colourType);
    const std::size_t rowBytes = (static_cast<std::size_t>(samplesPerRow) * spec.depth + 7) / 8;
    Bytes image(rowBytes * spec.height, 0);
    for (int y = 0; y < spec.height; ++y) {
        std::uint8_t* row = image.data() + y * rowBytes;
        for (int i = 0; i < samplesPerRow; ++i) {
            const std::uint16_t value =
                spec.samples[static_cast<std::size_t>(y) * samplesPerRow + i];
            if (spec.depth == 16) {
                std::memcpy(row + 2 * i, &value, 2);
            } else if (spec.depth == 8) {
                row[i] = static_cast<std::uint8_t>(value);
            } else {
                const int bit = i * spec.depth;
                row[bit / 8] |= static_cast<std::uint8_t>(value << (8 - spec.depth - bit % 8));
            }
        }
    }
    return image;
}

}  // namespace

Bytes MakePng(const PngSpec& spec) {
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{};
    ihdr.width = static_cast<std::uint32_t>(spec.width);
    ihdr.height = static_cast<std::uint32_t>(spec.height);
    ihdr.bit_depth = static_cast<std::uint8_t>(spec.depth);
    ihdr.color_type = static_cast<std::uint8_t>(spec.colourType);
    ihdr.interlace_method = spec.interlaced ? 1 : 0;
    spng_set_ihdr(ctx, &ihdr);
    if (spec.colourType == kPngPalette) {
        spng_plte plte{};
        plte.n_entries = static_cast<std::uint32_t>(spec.palette.size());
        for (std::size_t i = 0; i < spec.palette.size(); ++i) {
            plte.entries[i] = {spec.palette[i][0], spec.palette[i][1], spec.palette[i][2], 255};
        }
        spng_set_plte(ctx, &plte);
    }
    if (!spec.paletteAlpha.empty() || spec.transparentColour) {
        spng_trns trns{};
        if (spec.transparentColour) {
            trns.gray = (*spec.transparentColour)[0];
            trns.red = (*spec.transparentColour)[0];
            trns.green = (*spec.transparentColour)[1];
            trns.blue = (*spec.transparentColour)[2];
        }
        trns.n_type3_entries = static_cast<std::uint32_t>(spec.paletteAlpha.size());
        std::copy(spec.paletteAlpha.begin(), spec.paletteAlpha.end(), trns.type3_alpha);
        spng_set_trns(ctx, &trns);
    }
    std::vector<spng_text> texts(spec.texts.size());
    std::vector<std::string> values;
    for (std::size_t i = 0; i < spec.texts.size(); ++i) {
        std::strncpy(texts[i].keyword, spec.texts[i].first.c_str(), 79);
        texts[i].type = SPNG_ZTXT;
        values.push_back(spec.texts[i].second);
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i].text = values[i].data();
        texts[i].length = values[i].size();
    }
    if (!texts.empty()) spng_set_text(ctx, texts.data(), static_cast<std::uint32_t>(texts.size()));
    Bytes image = PackRows(spec);
    int error =
        spng_encode_image(ctx, image.data(), image.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    Bytes png;
    if (!error) {
        std::size_t length = 0;
        void* buffer = spng_get_png_buffer(ctx, &length, &error);
        if (buffer) {
            png.assign(static_cast<std::uint8_t*>(buffer),
                       static_cast<std::uint8_t*>(buffer) + length);
            std::free(buffer);
        }
    }
    spng_ctx_free(ctx);
    return png;
}

namespace {

std::uint32_t BigEndian32(const Bytes& bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

void PutBigEndian32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

std::vector<PngChunk> ChunksOf(const Bytes& png) {
    std::vector<PngChunk> chunks;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        PngChunk chunk{at, std::string(png.begin() + at + 4, png.begin() + at + 8),
                       BigEndian32(png, at)};
        chunks.push_back(chunk);
        at += 12 + std::size_t{chunk.length};
    }
    return chunks;
}

Bytes PngChunkBytes(const std::string& type, const Bytes& data) {
    Bytes chunk(12 + data.size(), 0);
    PutBigEndian32(chunk, 0, static_cast<std::uint32_t>(data.size()));
    std::memcpy(chunk.data() + 4, type.data(), 4);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    FixCrc(chunk, 0);
    return chunk;
}

void FixCrc(Bytes& png, std::size_t offset) {
    const std::uint32_t length = BigEndian32(png, offset);
    const uLong crc = crc32(0, png.data() + offset + 4, 4 + length);
    PutBigEndian32(png, offset + 8 + length, static_cast<std::uint32_t>(crc));
}
