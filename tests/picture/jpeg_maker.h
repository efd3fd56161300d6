// JPEG files made and decoded with libjpeg directly, independent of the program's own glue:
// the variants other programs write (progressive, restart markers, subsampling, greyscale,
// CMYK) and an independent check of the files we write.
#pragma once

#include <functional>

#include "picture/picture_files.h"

enum class JpegKind { Rgb, Grey, Cmyk };

struct JpegOptions {
    int width = 16;
    int height = 16;
    JpegKind kind = JpegKind::Rgb;
    int quality = 95;
    bool progressive = false;
    bool arithmetic = false;
    int restartRows = 0;
    bool subsample420 = true;  // false: 4:4:4

    // Chainable setters: JpegOptions().Size(64, 48).Progressive(true).
    JpegOptions& Size(int w, int h) { return width = w, height = h, *this; }
    JpegOptions& Kind(JpegKind k) { return kind = k, *this; }
    JpegOptions& Progressive(bool on) { return progressive = on, *this; }
    JpegOptions& Arithmetic(bool on) { return arithmetic = on, *this; }
    JpegOptions& RestartRows(int rows) { return restartRows = rows, *this; }
    JpegOptions& Subsample420(bool on) { return subsample420 = on, *this; }
};

// The colour of pixel (x, y), top line first, as red, green, blue (or the grey value, or C, M,
// Y, K) written into the given bytes.
using PixelSource = std::function<void(int x, int y, std::uint8_t* pixel)>;

Bytes MakeJpeg(const JpegOptions& options, const PixelSource& source);

// A smooth pattern that survives compression well: red grows to the right, green downwards.
void GradientPixel(int x, int y, std::uint8_t* rgb);

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    int components = 0;
    Bytes pixels;  // top line first, red-green-blue
};

DecodedJpeg DecodeJpeg(const Bytes& file);

// Mean absolute difference between a picture block and the pattern, over all channels.
double MeanErrorAgainst(const DibHandle& handle, const PixelSource& source);
