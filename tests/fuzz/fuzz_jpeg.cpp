// JPEG reading through a real file: any bytes give a complete 24-bit picture or a refusal, never
// a read or write outside the block, a leak or a library object left behind.
#include <cstring>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "picture/jpeg_file.h"

namespace {

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
    input.Replace(data, size);
    ReadFresh(input, ui);
    ReadIntoUsedBlock(input, ui);
    return 0;
}
