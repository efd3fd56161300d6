// Inputs the fuzzers found (tests/fuzz), kept so that the faults stay fixed in every build.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "document/dib_doc.h"
#include "support/scripted_prompts.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RegressionFile(const std::string& name) {
    std::ifstream in(std::string(DORVANTA_SOURCE_DIR) + "/tests/fuzz/regressions/" + name,
                     std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The view's paste: a block from the clipboard becomes the document's picture.
void Paste(CDibDoc& doc, const Bytes& bytes) {
    DibHandle block = DibImage::Allocate(bytes.size());
    std::memcpy(block->Bytes(), bytes.data(), bytes.size());
    doc.ReplacePicture(std::move(block));
    doc.AdoptPicture();
}

// A 2 x 1 picture of our layout whose header fields the tests then spoil.
Bytes Picture2x1() {
    DibHandle block = DibImage::Allocate(kDibHeaderBytes + 8);
    DibInitHeader24(block->Bytes(), 2, 1);
    for (int i = 0; i < 6; ++i) block->Bytes()[kDibHeaderBytes + i] = static_cast<std::uint8_t>(i);
    return Bytes(block->Bytes(), block->Bytes() + block->Size());
}

void Put32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Nothing was kept: no picture to paint, read or save, and no palette.
void ExpectRefusedQuietly(CDibDoc& doc, const ScriptedPrompts& ui) {
    EXPECT_EQ(doc.m_hDIB, nullptr);
    EXPECT_EQ(doc.m_pPalette, nullptr);
    EXPECT_FALSE(doc.RenderFigure(-1, false));
    COLORREF colour = 0;
    EXPECT_FALSE(doc.PixelColourAt(0, 0, colour));
    EXPECT_TRUE(ui.messages.empty());
}

TEST(PastedBlockFuzzRegression, HeaderOfAnotherSizeIsRefusedBeforeItsRowsAreWalked) {
    // The first field is the header size; any value but 40 makes the block a core header whose
    // 24-bit picture (1 x 1 here) would have its rows a megabyte beyond the 44-byte block.
    Bytes block = Picture2x1();
    Put32(block, 0, 0x100000);
    block[4] = 1, block[5] = 0, block[6] = 1, block[7] = 0;  // core width and height
    block[8] = 1, block[9] = 0, block[10] = 24, block[11] = 0;
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    Paste(doc, block);
    ExpectRefusedQuietly(doc, ui);
}

TEST(PastedBlockFuzzRegression, CoreHeaderPictureIsRefused) {
    // 12-byte header, 2 x 1 pixels, 24 bits: saving could not write it back.
    Bytes block = {12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 24, 0, 1, 2, 3, 4, 5, 6, 0, 0};
    block.resize(kDibHeaderBytes + 8);
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    Paste(doc, block);
    ExpectRefusedQuietly(doc, ui);
}

TEST(PastedBlockFuzzRegression, CompressedOrColourTablePicturesAreRefused) {
    // The fuzzer's block: a 2 x 6 picture whose biCompression reads 0xBB04FFFF.
    const Bytes found = {
        0x28, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x18,
        0x00, 0x00, 0xff, 0xff, 0x04, 0xbb, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
        0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x01, 0x02, 0x00, 0x00, 0x00, 0x02, 0x28, 0x00,
        0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x18, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
        0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x01, 0x02, 0x00, 0x00, 0x00, 0x02, 0x02, 0x01,
        0x02, 0x03, 0x00, 0x00, 0x00, 0x03, 0x03, 0x01, 0x03, 0x04, 0x00, 0x00, 0x00, 0x04, 0x04,
        0x01, 0x04, 0x05, 0x00, 0x00, 0x02, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x03, 0x03, 0x01,
        0x03, 0x04, 0x00, 0x00, 0x00, 0x04, 0x04, 0x01, 0x04, 0x05, 0x00, 0x00};
    Bytes runLength = Picture2x1();
    Put32(runLength, 16, 1);
    Bytes withTable = Picture2x1();
    Put32(withTable, 32, 1);
    for (const Bytes& block : {found, runLength, withTable}) {
        ScriptedPrompts ui;
        CDibDoc doc(ui);
        Paste(doc, block);
        ExpectRefusedQuietly(doc, ui);
    }
}

// A refused block still leaves its size in the figure, and the next painting uses that size: a
// tall picture (30 x 2058 here) shows a long stretch of the figure and paints its coarse orders.
TEST(PastedBlockFuzzRegression, RefusedPasteLeavesItsSizeForTheNextPainting) {
    const Bytes block = RegressionFile("paste-core-header-0-bits-30x2058.dib");
    ASSERT_EQ(block.size(), 168u);
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    Paste(doc, block);
    EXPECT_EQ(doc.m_hDIB, nullptr);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"implemented for 24 bits per pixel only."});
    EXPECT_EQ(doc.m_figure.m_nWidth, 30);
    EXPECT_EQ(doc.m_figure.m_nHeight, 2058);
    for (int n = 0; n < 5; ++n) doc.m_figure.m_orders[n].drawOrder = 0;
    EXPECT_EQ(doc.PreparePicture(false), RESULT_INIT);
    ASSERT_NE(doc.m_hDIB, nullptr);
    EXPECT_TRUE(DibIsPicture24(*doc.m_hDIB));
    EXPECT_EQ(DibDescribe(doc.m_hDIB->Bytes()).height, 2058);
}

TEST(PastedBlockFuzzRegression, PictureOfOurLayoutIsStillAdoptedPaintedAndRead) {
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    Paste(doc, Picture2x1());
    ASSERT_NE(doc.m_hDIB, nullptr);
    EXPECT_NE(doc.m_pPalette, nullptr);
    EXPECT_EQ(doc.m_pictureSize.width, 2);
    EXPECT_EQ(doc.m_pictureSize.height, 1);
    COLORREF colour = 0;
    ASSERT_TRUE(doc.PixelColourAt(1, 0, colour));
    EXPECT_EQ(colour, 5u + 256u * 4u + 65536u * 3u);  // blue 3, green 4, red 5
    EXPECT_TRUE(doc.RenderFigure(-1, false));
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
