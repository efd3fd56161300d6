// Checks inside fuzz targets: a broken promise of the code under test aborts with a message, so
// libFuzzer keeps the input as a crash.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "picture/dib_image.h"

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

// Reads the first and the last pixel byte of a picture that claims our 24-bit layout: the rows
// lie between them, so AddressSanitizer sees any row outside the block.
inline unsigned TouchPicture(const DibImage& block, int width, int height) {
    const std::uint8_t* rows = block.Bytes() + kDibHeaderBytes;
    const std::int64_t last = (std::int64_t{height} - 1) * DibRowStride(width, 24) + 3 * width - 1;
    return rows[0] + rows[last];
}

// Pictures up to this size are also compared and written whole; larger ones (a few bytes of
// run-length data may describe a picture of hundreds of megabytes) only have their bounds
// checked, so that no input takes seconds.
constexpr std::size_t kWholePictureBytes = 16u << 20;

// The header must describe a complete picture of our layout lying inside the block.
inline void CheckPicture24(const DibImage& block, int width, int height) {
    FUZZ_CHECK(DibIsPicture24(block));
    DibInfo info = DibDescribe(block.Bytes());
    FUZZ_CHECK(info.width == width && info.height == height);
    volatile unsigned sink = TouchPicture(block, width, height);
    (void)sink;
}
