#include <gtest/gtest.h>

#include <algorithm>

#include <climits>
#include <cstring>

#include "picture/dib_image.h"
#include "picture/picture_files.h"
#include "support/scripted_prompts.h"

namespace {

const char* const kTooLarge = "Too large picture requested,\n Low on memory.";

Bytes HeaderBytes(const DibHandle& handle) {
    return Bytes(handle->Bytes(), handle->Bytes() + 40);
}

}  // namespace

TEST(DibRowStride, RoundsRowsUpToFourBytes) {
    EXPECT_EQ(DibRowStride(1, 24), 4);
    EXPECT_EQ(DibRowStride(641, 24), 1924);
    EXPECT_EQ(DibRowStride(4, 24), 12);
    EXPECT_EQ(DibRowStride(1, 1), 4);
    EXPECT_EQ(DibRowStride(33, 1), 8);
    EXPECT_EQ(DibRowStride(9, 4), 8);
    EXPECT_EQ(DibRowStride(3, 32), 12);
    for (int width = 0; width < 3000; ++width)
        ASSERT_EQ(DibRowStride(width, 24), ((3 * width + 3) / 4) * 4) << width;
}

TEST(DibRowStride, HostileWidthsDoNotOverflow) {
    EXPECT_EQ(DibRowStride(INT32_MAX, 24), 6442450944);
    EXPECT_EQ(DibRowStride(INT32_MAX, 32), 8589934588);
    EXPECT_EQ(DibRowStride(INT32_MAX, 65535), 17591917600772);
}

TEST(DibInitHeader24, WritesTheFortyByteHeader) {
    std::uint8_t block[40];
    std::memset(block, 0xAB, sizeof block);
    DibInitHeader24(block, 641, 3);
    Bytes h(block, block + 40);
    EXPECT_EQ(U32At(h, 0), 40u);
    EXPECT_EQ(U32At(h, 4), 641u);
    EXPECT_EQ(U32At(h, 8), 3u);
    EXPECT_EQ(U16At(h, 12), 1);
    EXPECT_EQ(U16At(h, 14), 24);
    EXPECT_EQ(U32At(h, 16), 0u);
    EXPECT_EQ(U32At(h, 20), 1924u * 3);
    for (std::size_t at = 24; at < 40; at += 4) EXPECT_EQ(U32At(h, at), 0u) << at;
}

TEST(DibDescribe, ReadsInfoHeaders) {
    std::uint8_t block[64] = {};  // room for the pixel positions computed below
    DibInitHeader24(block, 7, 5);
    DibInfo info = DibDescribe(block);
    EXPECT_TRUE(info.isInfoHeader);
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.height, 5);
    EXPECT_EQ(info.planes, 1);
    EXPECT_EQ(info.bitsPerPixel, 24);
    EXPECT_EQ(info.colourCount, 0u);
    EXPECT_EQ(info.colourTableBytes, 0u);
    EXPECT_EQ(info.colourTable, 40u);
    EXPECT_EQ(DibPixelData(block, 0), block + 40);
    EXPECT_EQ(DibPixelData(block, 12), block + 52);
}

TEST(DibDescribe, CountsColoursByBitCountOrColourUsed) {
    std::uint8_t block[40];
    DibInitHeader24(block, 7, -5);
    EXPECT_EQ(DibDescribe(block).height, -5);
    const std::pair<int, std::uint32_t> expected[] = {{1, 2}, {4, 16}, {8, 256}, {16, 0}};
    for (auto [bits, colours] : expected) {
        block[14] = static_cast<std::uint8_t>(bits);
        DibInfo info = DibDescribe(block);
        EXPECT_EQ(info.colourCount, colours) << bits;
        EXPECT_EQ(info.colourTableBytes, colours * 4) << bits;
    }
    block[14] = 32;  // three masks counted
    EXPECT_EQ(DibDescribe(block).colourTableBytes, 12u);
    block[14] = 8;
    block[32] = 3;  // biClrUsed
    EXPECT_EQ(DibDescribe(block).colourCount, 3u);
    EXPECT_EQ(DibDescribe(block).colourTableBytes, 12u);
    std::memset(block + 32, 0xFF, 4);  // a hostile count saturates instead of wrapping
    EXPECT_EQ(DibDescribe(block).colourTableBytes, UINT32_MAX);
}

TEST(DibDescribe, ReadsCoreHeaders) {
    const std::uint8_t core[64] = {12, 0, 0, 0, 0x81, 0x02, 3, 0, 1, 0, 4, 0};
    DibInfo info = DibDescribe(core);
    EXPECT_FALSE(info.isInfoHeader);
    EXPECT_EQ(info.width, 641);
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(info.planes, 1);
    EXPECT_EQ(info.bitsPerPixel, 4);
    EXPECT_EQ(info.colourCount, 16u);
    EXPECT_EQ(info.colourTableBytes, 48u);
    EXPECT_EQ(info.colourTable, 12u);
    EXPECT_EQ(DibPixelData(core, 48), core + 60);
}

TEST(DibImage, AllocatesZeroFilledBlocksWithinTheCeiling) {
    EXPECT_EQ(DibImage::Allocate(0), nullptr);
    EXPECT_EQ(DibImage::Allocate(DibImage::kMaxBytes + 1), nullptr);
    EXPECT_EQ(DibImage::Allocate(SIZE_MAX), nullptr);
    // From the heap, mapped on its own, and over several huge pages.
    for (const std::size_t size : {std::size_t{1000}, std::size_t{200000}, std::size_t{5} << 20}) {
        auto block = DibImage::Allocate(size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->Size(), size);
        const std::uint8_t* bytes = block->Bytes();
        EXPECT_TRUE(std::all_of(bytes, bytes + size, [](std::uint8_t b) { return b == 0; }));
        block->Bytes()[size - 1] = 1;  // every byte is the block's
    }
}

// A block moves with its bytes and leaves nothing behind; the moved-from buffer is empty.
TEST(PageBuffer, MovesKeepTheBytesAndEmptyTheSource) {
    for (const std::size_t size : {std::size_t{64}, std::size_t{3} << 20}) {
        PageBuffer block(size);
        ASSERT_TRUE(block);
        block.data()[size - 1] = 7;
        const std::uint8_t* bytes = block.data();
        PageBuffer moved(std::move(block));
        EXPECT_FALSE(block);  // NOLINT(bugprone-use-after-move): the source is left empty
        EXPECT_EQ(block.size(), 0u);
        EXPECT_EQ(moved.data(), bytes);
        EXPECT_EQ(moved.data()[size - 1], 7);
        PageBuffer other(16);
        other = std::move(moved);
        EXPECT_EQ(other.size(), size);
        EXPECT_EQ(other.data()[size - 1], 7);
    }
    EXPECT_FALSE(PageBuffer(0));
}

TEST(DibAllocatePicture, AllocatesAZeroFilledBlockOfHeaderAndRows) {
    ScriptedPrompts ui;
    DibHandle handle;
    ASSERT_TRUE(DibAllocatePicture(handle, 641, 3, ui));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->Size(), 40u + 1924 * 3);
    for (std::size_t i = 0; i < handle->Size(); ++i) ASSERT_EQ(handle->Bytes()[i], 0) << i;
    EXPECT_TRUE(ui.messages.empty());
}

TEST(DibAllocatePicture, ReusesALargeEnoughBlockWithItsOldPixels) {
    ScriptedPrompts ui;
    DibHandle handle = MakeTestPicture(20, 10);
    const std::uint8_t* before = handle->Bytes();
    std::size_t size = handle->Size();
    ASSERT_TRUE(DibAllocatePicture(handle, 10, 10, ui));
    EXPECT_EQ(handle->Bytes(), before);
    EXPECT_EQ(handle->Size(), size);
    EXPECT_EQ(handle->Bytes()[40 + 3 * 5], 5);  // old pixel still there
    ASSERT_TRUE(DibAllocatePicture(handle, 20, 10, ui));
    EXPECT_EQ(handle->Bytes(), before);
}

TEST(DibAllocatePicture, ReplacesABlockTooSmallForTheNewSize) {
    ScriptedPrompts ui;
    DibHandle handle = DibImage::Allocate(100);  // e.g. left by a paste
    ASSERT_TRUE(DibAllocatePicture(handle, 641, 3, ui));
    EXPECT_EQ(handle->Size(), 40u + 1924 * 3);
    EXPECT_EQ(handle->Bytes()[45], 0);
}

TEST(DibAllocatePicture, RefusesSizesThatCannotBeHeld) {
    const std::pair<int, int> sizes[] = {{0, 10},      {10, 0},        {-1, 10},
                                         {10, -5},     {INT_MIN, 1},   {INT_MAX, INT_MAX},
                                         {INT_MAX, 1}, {30000, 30000}, {1, INT_MAX}};
    for (auto [width, height] : sizes) {
        ScriptedPrompts ui;
        DibHandle handle = MakeTestPicture(2, 2);
        EXPECT_FALSE(DibAllocatePicture(handle, width, height, ui)) << width << "x" << height;
        EXPECT_EQ(handle, nullptr);
        ASSERT_EQ(ui.messages.size(), 1u);
        // No pixels at all is not a matter of memory.
        EXPECT_EQ(ui.messages[0].text,
                  width > 0 && height > 0 ? kTooLarge : EmptyPictureText(width, height));
        EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
        EXPECT_EQ(ui.messages[0].icon, MsgIcon::Exclamation);
    }
}

TEST(DibCopyBlock, CopiesEveryByteIntoANewBlock) {
    EXPECT_EQ(DibCopyBlock(nullptr), nullptr);
    DibHandle original = DibImage::Allocate(123);
    for (int i = 0; i < 123; ++i) original->Bytes()[i] = static_cast<std::uint8_t>(i * 7);
    DibHandle copy = DibCopyBlock(original);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->Bytes(), original->Bytes());
    EXPECT_EQ(copy->Size(), 123u);
    EXPECT_EQ(std::memcmp(copy->Bytes(), original->Bytes(), 123), 0);
}

TEST(DibIsPicture24, AcceptsOnlyCompletePicturesOfOurLayout) {
    DibHandle good = MakeTestPicture(5, 4);
    EXPECT_TRUE(DibIsPicture24(*good));
    EXPECT_EQ(HeaderBytes(good)[14], 24);

    auto withField = [](std::size_t offset, std::int32_t value) {
        DibHandle block = MakeTestPicture(5, 4);
        std::memcpy(block->Bytes() + offset, &value, 4);
        return DibIsPicture24(*block);
    };
    EXPECT_FALSE(withField(0, 12));   // not an info header
    EXPECT_FALSE(withField(4, 6));    // rows would run past the block
    EXPECT_FALSE(withField(4, 0));    // no width
    EXPECT_FALSE(withField(8, -4));   // top-down
    EXPECT_FALSE(withField(8, 5));    // one row too many
    EXPECT_FALSE(withField(16, 1));   // compressed
    EXPECT_FALSE(withField(32, 2));   // colour table before the rows
    EXPECT_FALSE(withField(14, 32));  // 32 bits
    EXPECT_FALSE(DibIsPicture24(*DibImage::Allocate(39)));
    DibHandle huge = MakeTestPicture(5, 4);
    const std::int32_t most = INT32_MAX;
    std::memcpy(huge->Bytes() + 4, &most, 4);
    std::memcpy(huge->Bytes() + 8, &most, 4);
    EXPECT_FALSE(DibIsPicture24(*huge));
}

TEST(DibPictureBytes, CountsHeaderAndRowsUpToTheCeiling) {
    EXPECT_EQ(DibPictureBytes(1, 1), 44u);
    EXPECT_EQ(DibPictureBytes(641, 3), 40u + 1924 * 3);
    EXPECT_EQ(DibPictureBytes(1200, 900), 40u + 3600 * 900);
    // Width 4 has a stride of 12: the last height that fits below 2 GiB, and one more.
    EXPECT_EQ(DibPictureBytes(4, 178956967), 40u + 12u * 178956967);
    EXPECT_EQ(DibPictureBytes(4, 178956968), 0u);
    EXPECT_EQ(DibPictureBytes(INT_MAX, INT_MAX), 0u);
    EXPECT_EQ(DibPictureBytes(0, 5), 0u);
    EXPECT_EQ(DibPictureBytes(5, -1), 0u);
}
