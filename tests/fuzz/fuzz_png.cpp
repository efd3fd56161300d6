// PNG reading through a real file, the parameter chunk included: any bytes give a complete 24-bit
// picture or a refusal, and a parameter text reads like any parameter file, never a read or write
// outside a block, a leak or a hang.
#include <algorithm>
#include <cstring>

#include "document/dat_file.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "picture/png_file.h"

namespace {

// Pictures the reader would decode in full beyond this many pixels are skipped: a few hundred
// bytes of compressed data describe a flat picture of any size, which decodes correctly but takes
// seconds under the sanitizers. Sizes the reader refuses up front are still read.
constexpr std::uint64_t kLargestDecodedPixels = 1u << 22;

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

// The size in the IHDR chunk where a PNG has it (bytes 16 to 23).
bool WouldTakeSeconds(const std::uint8_t* data, std::size_t size) {
    if (size < 24) return false;
    const std::uint64_t width = BigEndian32(data + 16);
    const std::uint64_t height = BigEndian32(data + 20);
    const bool refusedUpFront =
        DibPictureBytes(static_cast<int>(std::min<std::uint64_t>(width, 1u << 30)),
                        static_cast<int>(std::min<std::uint64_t>(height, 1u << 30))) == 0;
    return width * height > kLargestDecodedPixels && !refusedUpFront;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input;
    static SilentPrompts ui;
    if (WouldTakeSeconds(data, size)) return -1;  // not added to the corpus
    input.Replace(data, size);

    DibHandle old = DibImage::Allocate(64);
    const DibImage* oldBlock = old.get();
    DibHandle handle = std::move(old);
    PictureSize size24;
    std::optional<std::string> text;
    if (PngReadPicture(input.Path(), handle, size24, text, ui)) {
        FUZZ_CHECK(handle != nullptr);
        CheckPicture24(*handle, size24.width, size24.height);
        if (text) {
            FigureEngine figure;
            LoadDatText(figure, *text, ui);
        }
    } else {
        // A refusal leaves the caller's picture as it was.
        FUZZ_CHECK(handle.get() == oldBlock);
    }
    return 0;
}
