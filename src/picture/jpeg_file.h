// JPEG pictures: the glue between the picture block (bottom-up rows of blue-green-red pixels)
// and libjpeg, which works top-down in red-green-blue. Rows are decoded straight into the block
// and encoded straight from it; no second picture buffer exists.
#pragma once

#include <cstdint>
#include <string>

#include "picture/dib_image.h"

class UserPrompts;

// Reads a JPEG file into handle, reusing its block when it is large enough, and stores the
// picture's size. Failures show "can't open %s\n", "MakeBitmapColors0: Components need to be 3"
// (greyscale, CMYK) followed by "No mem allocated", "Too large picture requested,\n Low on
// memory." followed by "No mem allocated", or the library's own message for damaged or
// truncated data; the result is then false. A block made before a decoding error stays in
// handle with incomplete pixels.
bool JpegReadPicture(const std::string& path, DibHandle& handle, PictureSize& size,
                     UserPrompts& ui);

// Writes the picture with the given quality (passed to the library unchanged) through a
// temporary file beside path, so that a failed write leaves an earlier file intact. The
// picture's pixels are the same afterwards, also when the library failed half-way. False without
// a message for a null handle or a block that is not a complete 24-bit picture; otherwise
// failures show "can't open %s\n" or the library's own message.
bool JpegWritePicture(const std::string& path, const DibHandle& handle, int quality,
                      UserPrompts& ui);

// Makes handle refer to a block with a 24-bit header for width x height, reusing a large enough
// block. Shows "MakeBitmapColors0: Components need to be 3" when components is not 3 and the
// picture-size refusal for sizes beyond DibImage::kMaxBytes; false then and when no memory is
// left (the handle is null after the last two).
bool JpegMakePictureBlock(DibHandle& handle, int components, int width, int height,
                          UserPrompts& ui);

// Exchanges bytes 0 and 2 of each of the count 3-byte pixels from row on.
void SwapRedBlue(std::uint8_t* row, int count);
