// Picture files painted band after band straight into the file: no picture block of the file's
// size ever exists, so a poster of any size the file kind holds is painted in bounded memory.
#pragma once

#include <cstdint>
#include <string>

#include "figure/band_painting.h"
#include "picture/png_file.h"

class FigureEngine;
class UserPrompts;

// PNG compression on up to `threads` of the painting threads.
PngEncoding PngOnPaintingThreads(int threads);

// Why a picture of this size cannot be painted into a file of this kind (FILE_KIND_BMP,
// FILE_KIND_JPG or FILE_KIND_PNG), or "" when it can.
std::string PosterSizeProblem(int fileKind, std::int64_t width, std::int64_t height);

// Paints the figure at its size (order -1: every drawn order) into path as a file of the kind,
// with the JPEG quality or the PNG's parameter text, its painted order and its print resolution
// (dotsPerInch, 0 for none) where they apply, through a temporary file beside path: when the
// painting is cancelled or fails, no file is left behind and an older file of that name is intact.
// The file holds the bytes the whole painting would write. Failures are reported through ui, once.
StreamResult WritePosterFile(FigureEngine& figure, int order, const std::string& path, int fileKind,
                             int quality, const std::string& parameterText, int threads,
                             UserPrompts& ui, const PaintingProgress& progress = {},
                             int dotsPerInch = 0);
