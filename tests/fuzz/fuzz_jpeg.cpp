// JPEG reading through a real file: any bytes give a complete 24-bit picture or a refusal, never
// a read or write outside the block, a leak or a library object left behind.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "picture/jpeg_file.h"

namespace {

// Pictures the reader would decode in full beyond this many pixels are skipped: a few hundred
// bytes of arithmetic-coded data describe a flat picture of any size, which decodes correctly
// but takes seconds under the sanitizers. Larger sizes that the reader refuses up front are
// still read.
constexpr std::uint64_t kLargestDecodedPixels = 1u << 22;

struct HeaderErrors {
    jpeg_error_mgr library;
    std::jmp_buf recovery;
};

[[noreturn]] void LeaveHeader(j_common_ptr info) {
    std::longjmp(reinterpret_cast<HeaderErrors*>(info->err)->recovery, 1);
}

void IgnoreMessage(j_common_ptr, int) {}

// The picture size the file announces, 0 x 0 when its header cannot be read.
void AnnouncedSize(const std::uint8_t* data, std::size_t size, std::uint64_t& width,
                   std::uint64_t& height) {
    static HeaderErrors errors;
    static jpeg_decompress_struct decoder;
    width = height = 0;
    decoder.err = jpeg_std_error(&errors.library);
    errors.library.error_exit = LeaveHeader;
    errors.library.emit_message = IgnoreMessage;
    jpeg_create_decompress(&decoder);
    if (setjmp(errors.recovery) == 0) {
        jpeg_mem_src(&decoder, data, static_cast<unsigned long>(size));
        jpeg_read_header(&decoder, TRUE);
        width = decoder.image_width;
        height = decoder.image_height;
    }
    jpeg_destroy_decompress(&decoder);
}

bool WouldTakeSeconds(const std::uint8_t* data, std::size_t size) {
    std::uint64_t width = 0, height = 0;
    AnnouncedSize(data, size, width, height);
    bool refusedUpFront =
        DibPictureBytes(static_cast<int>(std::min<std::uint64_t>(width, 1u << 30)),
                        static_cast<int>(std::min<std::uint64_t>(height, 1u << 30))) == 0;
    return width * height > kLargestDecodedPixels && !refusedUpFront;
}

void ReadFresh(const FuzzInputFile& input, SilentPrompts& ui) {
    DibHandle handle;
    PictureSize size;
    bool read = JpegReadPicture(input.Path(), handle, size, ui);
    if (read) {
        FUZZ_CHECK(handle != nullptr);
        CheckPicture24(*handle, size.width, size.height);
    } else if (handle) {
        // A block made before a decoding error stays, complete in its layout.
        FUZZ_CHECK(DibIsPicture24(*handle));
    }
}

// A used block with stale bytes, large enough to be reused for small pictures.
void ReadIntoUsedBlock(const FuzzInputFile& input, SilentPrompts& ui) {
    DibHandle handle = DibImage::Allocate(64 * 1024);
    std::memset(handle->Bytes(), 0xA5, handle->Size());
    PictureSize size;
    bool read = JpegReadPicture(input.Path(), handle, size, ui);
    if (read) CheckPicture24(*handle, size.width, size.height);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input;
    static SilentPrompts ui;
    if (size != 0 && WouldTakeSeconds(data, size)) return -1;  // not added to the corpus
    input.Replace(data, size);
    ReadFresh(input, ui);
    ReadIntoUsedBlock(input, ui);
    return 0;
}
