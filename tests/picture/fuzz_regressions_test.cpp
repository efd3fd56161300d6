// Inputs the fuzzers found (tests/fuzz), kept so that the faults stay fixed in every build. The
// files live in tests/fuzz/regressions.
#include <gtest/gtest.h>

#include <string>

#include "picture/dib_image.h"
#include "picture/jpeg_file.h"
#include "picture/picture_files.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace {

std::string RegressionFile(const std::string& name) {
    return std::string(DORVANTA_SOURCE_DIR) + "/tests/fuzz/regressions/" + name;
}

// Run-length data of width x height 8-bit pixels, all of colour index 1: runs of at most 255
// pixels and an end of line per row, as real encoders write them, then the end of the picture.
Bytes FlatRunLengthRows(int width, int height) {
    Bytes data;
    for (int y = 0; y < height; ++y) {
        for (int left = width; left > 0; left -= 255) {
            data.push_back(static_cast<std::uint8_t>(std::min(left, 255)));
            data.push_back(1);
        }
        data.insert(data.end(), {0, 0});
    }
    data.insert(data.end(), {0, 1});
    return data;
}

Bytes RunLengthBmp(int width, int height, const Bytes& data) {
    Bytes table = {0, 0, 0, 0, 10, 20, 30, 0};
    return BuildBmp(BmpFields()
                        .Width(width)
                        .Height(height)
                        .Bits(8)
                        .Compression(1)
                        .ColourUsed(2)
                        .Table(table)
                        .Pixels(data));
}

// A few bytes of run-length data once described pictures of hundreds of megabytes up to 2 GiB,
// which were allocated and then painted, written and copied whole.
TEST(BmpFuzzRegression, TinyRunLengthFilesOfHugePicturesAreRefused) {
    for (const char* name : {"bmp-rle8-2gib-picture-from-99-bytes.bmp",
                             "bmp-rle4-700mib-picture-from-121-bytes.bmp"}) {
        ScriptedPrompts ui;
        DibHandle handle = MakeTestPicture(4, 4);
        PictureSize size{7, 7};
        std::string path = RegressionFile(name);
        EXPECT_FALSE(DibLoadBmpFile(path, handle, size, ui)) << name;
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(size.width, 0);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Failed to read 2: " + path});
    }
}

TEST(BmpFuzzRegression, RunLengthPicturesUpToAMegabyteOrTheEncodersRatioAreRead) {
    TempDir dir;
    struct Case {
        int width, height;
        Bytes data;
        bool read;
    };
    const Case cases[] = {
        {1000, 350, {0, 1}, true},   // 1 050 000 bytes: 1 MiB + 1024 x 2 bytes of data
        {1000, 351, {0, 1}, false},  // 1 053 000 bytes
        {2000, 600, FlatRunLengthRows(2000, 600), true},  // 3.6 MB from 10.8 KB, as encoded
    };
    for (const Case& c : cases) {
        std::string path = dir.File("rle.bmp");
        WriteFileBytes(path, RunLengthBmp(c.width, c.height, c.data));
        ScriptedPrompts ui;
        DibHandle handle;
        PictureSize size;
        EXPECT_EQ(DibLoadBmpFile(path, handle, size, ui), c.read) << c.width << "x" << c.height;
        if (!c.read) continue;
        EXPECT_EQ(size.width, c.width);
        EXPECT_EQ(size.height, c.height);
        const std::uint8_t* last = handle->Bytes() + kDibHeaderBytes +
                                   DibRowStride(c.width, 24) * (c.height - 1) + 3 * (c.width - 1);
        Bytes expected = c.data.size() > 2 ? Bytes{10, 20, 30} : Bytes{0, 0, 0};
        EXPECT_EQ(Bytes(last, last + 3), expected);
    }
}

// Arithmetic-coded data may end at any point: the decoder fills the rest with zeros, and the
// 195 bytes describe a complete 255 x 65499 picture (50 MB), read in full.
TEST(JpegFuzzRegression, ShortArithmeticCodedFileReadsAsACompletePicture) {
    ScriptedPrompts ui;
    DibHandle handle;
    PictureSize size;
    ASSERT_TRUE(JpegReadPicture(RegressionFile("jpeg-arithmetic-255x65499-from-195-bytes.jpg"),
                                handle, size, ui));
    EXPECT_EQ(size.width, 255);
    EXPECT_EQ(size.height, 65499);
    ASSERT_TRUE(DibIsPicture24(*handle));
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
