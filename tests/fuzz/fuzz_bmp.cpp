// BMP reading through a real file: any bytes must be read into a complete 24-bit picture or
// refused, and a read picture must survive a write and a second read unchanged.
#include <cstring>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "picture/dib_image.h"

namespace {

// A picture read into a block of its own, then the same file read into a large used block.
void ReadFresh(const FuzzInputFile& input, SilentPrompts& ui, DibHandle& handle, PictureSize& size,
               bool& read) {
    read = DibLoadBmpFile(input.Path(), handle, size, ui);
    if (read) {
        FUZZ_CHECK(handle != nullptr);
        CheckPicture24(*handle, size.width, size.height);
    } else {
        FUZZ_CHECK(handle == nullptr);
    }
}

bool SameRows(const DibImage& a, const DibImage& b, PictureSize size) {
    std::size_t rows = static_cast<std::size_t>(DibRowStride(size.width, 24)) * size.height;
    return std::memcmp(a.Bytes() + kDibHeaderBytes, b.Bytes() + kDibHeaderBytes, rows) == 0;
}

// Reusing a block that holds stale bytes must give the same picture as a fresh block.
void ReadIntoUsedBlock(const FuzzInputFile& input, const std::uint8_t* data, std::size_t size,
                       SilentPrompts& ui, const DibHandle& fresh, PictureSize freshSize) {
    DibHandle handle = DibImage::Allocate(size + 4096);
    std::memset(handle->Bytes(), 0xA5, handle->Size());
    const DibImage* before = handle.get();
    PictureSize pictureSize;
    bool read = DibLoadBmpFile(input.Path(), handle, pictureSize, ui);
    FUZZ_CHECK(read == (fresh != nullptr));
    if (read) {
        CheckPicture24(*handle, pictureSize.width, pictureSize.height);
        FUZZ_CHECK(pictureSize.width == freshSize.width && pictureSize.height == freshSize.height);
        if (fresh->Size() <= kWholePictureBytes) FUZZ_CHECK(SameRows(*handle, *fresh, freshSize));
    } else if (size < kBmpFileHeaderBytes || data[0] != 'B' || data[1] != 'M') {
        FUZZ_CHECK(handle.get() == before);  // not a BMP: the caller's block stays
    } else {
        FUZZ_CHECK(handle == nullptr);
    }
}

// Writing the picture and reading the file again gives the same size and pixel rows.
void CheckRoundTrip(const DibHandle& handle, PictureSize size, FuzzInputFile& output,
                    SilentPrompts& ui) {
    std::FILE* file = std::fopen(output.Path().c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    DibWriteResult written = DibWriteBmp(file, handle, 0);
    std::fclose(file);
    FUZZ_CHECK(written == DibWriteResult::Written);
    DibHandle again;
    PictureSize againSize;
    FUZZ_CHECK(DibLoadBmpFile(output.Path(), again, againSize, ui));
    FUZZ_CHECK(againSize.width == size.width && againSize.height == size.height);
    FUZZ_CHECK(SameRows(*handle, *again, size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input;
    static FuzzInputFile output;
    static SilentPrompts ui;
    input.Replace(data, size);
    DibHandle handle;
    PictureSize pictureSize;
    bool read = false;
    ReadFresh(input, ui, handle, pictureSize, read);
    ReadIntoUsedBlock(input, data, size, ui, handle, pictureSize);
    if (read && handle->Size() <= kWholePictureBytes)
        CheckRoundTrip(handle, pictureSize, output, ui);
    return 0;
}
