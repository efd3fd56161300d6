#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "picture/jpeg_file.h"
#include "picture/jpeg_maker.h"
#include "support/file_size_limit.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kWrongComponents = {"MakeBitmapColors0: Components need to be 3",
                                                   "No mem allocated"};

struct Loaded {
    bool ok = false;
    DibHandle handle;
    PictureSize size;
    std::vector<std::string> texts;
};

Loaded ReadJpeg(const std::string& path, DibHandle handle = nullptr) {
    ScriptedPrompts ui;
    Loaded result;
    result.handle = std::move(handle);
    result.ok = JpegReadPicture(path, result.handle, result.size, ui);
    result.texts = ui.Texts();
    return result;
}

Loaded ReadJpegBytes(const TempDir& dir, const Bytes& file, DibHandle handle = nullptr) {
    std::string path = dir.File("in.jpg");
    WriteFileBytes(path, file);
    return ReadJpeg(path, std::move(handle));
}

// The same through a file in memory, for loops over many files.
Loaded ReadJpegBytes(MemoryFile& memory, const Bytes& file, DibHandle handle = nullptr) {
    memory.Replace(file);
    return ReadJpeg(memory.Path(), std::move(handle));
}

std::size_t FilesIn(const TempDir& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()));
}

// A picture whose top half is red and bottom half blue, stored bottom-up as blue-green-red.
DibHandle RedOverBlue(int width, int height) {
    DibHandle handle;
    ScriptedPrompts ui;
    EXPECT_TRUE(DibAllocatePicture(handle, width, height, ui));
    DibInitHeader24(handle->Bytes(), width, height);
    std::int64_t stride = DibRowStride(width, 24);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = handle->Bytes() + 40 + y * stride;
        bool top = y >= height / 2;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = top ? 0 : 255;
            row[3 * x + 2] = top ? 255 : 0;
        }
    }
    return handle;
}

// Offset of the size fields of the first frame header (SOF0 or SOF2).
std::size_t FrameSizeOffset(const Bytes& file) {
    for (std::size_t i = 2; i + 9 < file.size(); ++i)
        if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) return i + 5;
    ADD_FAILURE() << "no frame header";
    return 0;
}

}  // namespace

// ---- Row swap and block ----

TEST(SwapRedBlue, ExchangesFirstAndThirdByteOfEachPixelOnly) {
    std::uint8_t row[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SwapRedBlue(row, 2);
    EXPECT_EQ(Bytes(row, row + 8), (Bytes{3, 2, 1, 6, 5, 4, 7, 8}));
    SwapRedBlue(row, 0);
    EXPECT_EQ(Bytes(row, row + 8), (Bytes{3, 2, 1, 6, 5, 4, 7, 8}));
}

TEST(JpegMakePictureBlock, MakesAZeroFilledBlockWithA24BitHeader) {
    ScriptedPrompts ui;
    DibHandle handle;
    ASSERT_TRUE(JpegMakePictureBlock(handle, 3, 641, 3, ui));
    EXPECT_EQ(handle->Size(), 40u + 1924 * 3);
    EXPECT_TRUE(DibIsPicture24(*handle));
    DibInfo info = DibDescribe(handle->Bytes());
    EXPECT_EQ(info.width, 641);
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(handle->Bytes()[40 + 1923], 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(JpegMakePictureBlock, ReusesALargeEnoughBlockAndReplacesASmallOne) {
    ScriptedPrompts ui;
    DibHandle handle = DibImage::Allocate(10000);
    std::memset(handle->Bytes(), 0xAB, 10000);
    const std::uint8_t* block = handle->Bytes();
    ASSERT_TRUE(JpegMakePictureBlock(handle, 3, 5, 5, ui));
    EXPECT_EQ(handle->Bytes(), block);
    EXPECT_EQ(handle->Bytes()[40 + 15], 0xAB);  // a reused block keeps its padding
    ASSERT_TRUE(JpegMakePictureBlock(handle, 3, 100, 100, ui));
    EXPECT_EQ(handle->Size(), 40u + 300 * 100);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(JpegMakePictureBlock, RefusesOtherComponentCountsAndSizesThatCannotBeHeld) {
    for (int components : {1, 4}) {
        ScriptedPrompts ui;
        DibHandle handle = DibImage::Allocate(10);
        EXPECT_FALSE(JpegMakePictureBlock(handle, components, 4, 4, ui));
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{kWrongComponents[0]});
    }
    for (auto [width, height] : {std::pair{65500, 65500}, {0, 4}, {4, -1}}) {
        ScriptedPrompts ui;
        DibHandle handle = DibImage::Allocate(10);
        EXPECT_FALSE(JpegMakePictureBlock(handle, 3, width, height, ui));
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{kTooLargePictureText});
    }
}

// ---- Writing and reading back ----

TEST(JpegWritePicture, RoundTripKeepsSizeOrientationAndTheDocumentsPixels) {
    TempDir dir;
    for (auto [width, height] : {std::pair{37, 23}, {1, 1}, {641, 3}, {16, 16}}) {
        ScriptedPrompts ui;
        DibHandle picture = RedOverBlue(width, height);
        DibHandle before = DibCopyBlock(picture);
        std::string path = dir.File("round.jpg");
        ASSERT_TRUE(JpegWritePicture(path, picture, 90, ui));
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(std::memcmp(picture->Bytes(), before->Bytes(), before->Size()), 0);
        EXPECT_EQ(FilesIn(dir), 1u);

        Loaded loaded = ReadJpeg(path);
        ASSERT_TRUE(loaded.ok) << width;
        EXPECT_TRUE(loaded.texts.empty());
        EXPECT_EQ(loaded.size.width, width);
        EXPECT_EQ(loaded.size.height, height);
        EXPECT_TRUE(DibIsPicture24(*loaded.handle));
        EXPECT_EQ(loaded.handle->Size(), DibPictureBytes(width, height));
        // The last stored row is the top line: red there, blue in the first stored row.
        std::int64_t stride = DibRowStride(width, 24);
        const std::uint8_t* top = loaded.handle->Bytes() + 40 + (height - 1) * stride;
        EXPECT_GT(top[2], 200);
        EXPECT_LT(top[0], 60);
        if (height > 8) {
            const std::uint8_t* bottom = loaded.handle->Bytes() + 40;
            EXPECT_GT(bottom[0], 200);
            EXPECT_LT(bottom[2], 60);
        }
        for (std::int64_t pad = 3 * width; pad < stride; ++pad)
            EXPECT_EQ(loaded.handle->Bytes()[40 + pad], 0);
    }
}

// Checked with an independent decoder: a baseline RGB file of the picture's size, red on top.
TEST(JpegWritePicture, WritesAStandardFileInRedGreenBlueOrder) {
    TempDir dir;
    ScriptedPrompts ui;
    ASSERT_TRUE(JpegWritePicture(dir.File("a.jpg"), RedOverBlue(40, 30), 90, ui));
    Bytes file = ReadFileBytes(dir.File("a.jpg"));
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xD8);
    EXPECT_EQ(file[file.size() - 2], 0xFF);
    EXPECT_EQ(file[file.size() - 1], 0xD9);
    DecodedJpeg decoded = DecodeJpeg(file);
    EXPECT_EQ(decoded.width, 40);
    EXPECT_EQ(decoded.height, 30);
    EXPECT_EQ(decoded.components, 3);
    EXPECT_GT(decoded.pixels[0], 200);  // red on the top line
    EXPECT_LT(decoded.pixels[2], 60);
    EXPECT_GT(decoded.pixels[decoded.pixels.size() - 1], 200);  // blue on the bottom line
}

TEST(JpegWritePicture, QualityIsPassedToTheLibrary) {
    TempDir dir;
    ScriptedPrompts ui;
    DibHandle picture = MakeTestPicture(64, 64);
    for (std::size_t i = 40; i < picture->Size(); ++i)
        picture->Bytes()[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);  // noise
    ASSERT_TRUE(JpegWritePicture(dir.File("low.jpg"), picture, 5, ui));
    ASSERT_TRUE(JpegWritePicture(dir.File("high.jpg"), picture, 100, ui));
    ASSERT_TRUE(JpegWritePicture(dir.File("zero.jpg"), picture, 0, ui));
    EXPECT_LT(fs::file_size(dir.File("low.jpg")) * 3, fs::file_size(dir.File("high.jpg")));
    EXPECT_TRUE(ReadJpeg(dir.File("zero.jpg")).ok);
}

TEST(JpegWritePicture, ShowsTheLibrarysMessageForAPictureTooWideForJpeg) {
    TempDir dir;
    ScriptedPrompts ui;
    EXPECT_FALSE(JpegWritePicture(dir.File("wide.jpg"), MakeTestPicture(70000, 1), 90, ui));
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"Maximum supported image dimension is 65500 pixels"});
    EXPECT_EQ(FilesIn(dir), 0u);
}

TEST(JpegWritePicture, WritesNothingWithoutAPicture) {
    TempDir dir;
    ScriptedPrompts ui;
    EXPECT_FALSE(JpegWritePicture(dir.File("none.jpg"), nullptr, 90, ui));
    DibHandle lying = MakeTestPicture(4, 4);
    lying->Bytes()[8] = 50;  // more rows than the block holds
    EXPECT_FALSE(JpegWritePicture(dir.File("none.jpg"), lying, 90, ui));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(FilesIn(dir), 0u);
}

TEST(JpegWritePicture, ReportsAFileThatCannotBeCreatedAndKeepsADirectory) {
    TempDir dir;
    std::string missing = dir.File("missing/x.jpg");
    std::string folder = dir.File("folder.jpg");
    fs::create_directory(folder);
    for (const std::string& path : {missing, folder}) {
        ScriptedPrompts ui;
        EXPECT_FALSE(JpegWritePicture(path, MakeTestPicture(4, 4), 90, ui));
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{"can't open " + path + "\n"});
    }
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(FilesIn(dir), 1u);
}

// The library fails half-way through the rows (the file-size limit binds root too): the error
// is shown, the earlier file and every pixel of the picture stay as they were.
TEST(JpegWritePicture, ALibraryErrorKeepsTheEarlierFileAndThePixels) {
    TempDir dir;
    ScriptedPrompts ui;
    std::string path = dir.File("keep.jpg");
    Bytes earlier(3000, 0x5A);
    WriteFileBytes(path, earlier);
    DibHandle picture = MakeTestPicture(600, 400, 3);
    for (std::size_t i = 40; i < picture->Size(); ++i)
        picture->Bytes()[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);  // noise
    DibHandle before = DibCopyBlock(picture);

    bool written = true;
    ASSERT_TRUE(
        WithFilesLimitedTo(8192, [&] { written = JpegWritePicture(path, picture, 100, ui); }));

    EXPECT_FALSE(written);
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"Output file write error --- out of disk space?"});
    EXPECT_EQ(std::memcmp(picture->Bytes(), before->Bytes(), before->Size()), 0);
    EXPECT_EQ(ReadFileBytes(path), earlier);
    EXPECT_EQ(FilesIn(dir), 1u);
}

// ---- Reading files from elsewhere ----

TEST(JpegReadPicture, ReadsTheVariantsOtherProgramsWrite) {
    TempDir dir;
    struct Case {
        const char* name;
        JpegOptions options;
    };
    const Case cases[] = {
        {"baseline 4:2:0", JpegOptions().Size(64, 48)},
        {"baseline 4:4:4", JpegOptions().Size(64, 48).Subsample420(false)},
        {"progressive", JpegOptions().Size(64, 48).Progressive(true)},
        {"progressive 4:4:4", JpegOptions().Size(50, 30).Progressive(true).Subsample420(false)},
        {"restart markers", JpegOptions().Size(64, 48).RestartRows(1)},
        {"arithmetic", JpegOptions().Size(40, 24).Arithmetic(true)},
        {"odd 1x1", JpegOptions().Size(1, 1)},
        {"odd 17x9", JpegOptions().Size(17, 9)},
        {"odd 33x65 4:4:4", JpegOptions().Size(33, 65).Subsample420(false)},
        {"odd 1001x3 progressive", JpegOptions().Size(1001, 3).Progressive(true)},
    };
    for (const Case& c : cases) {
        Loaded loaded = ReadJpegBytes(dir, MakeJpeg(c.options, GradientPixel));
        ASSERT_TRUE(loaded.ok) << c.name;
        EXPECT_TRUE(loaded.texts.empty()) << c.name;
        EXPECT_EQ(loaded.size.width, c.options.width) << c.name;
        EXPECT_EQ(loaded.size.height, c.options.height) << c.name;
        EXPECT_LT(MeanErrorAgainst(loaded.handle, GradientPixel), 4.0) << c.name;
    }
}

TEST(JpegReadPicture, ReusesALargeEnoughBlock) {
    TempDir dir;
    DibHandle big = DibImage::Allocate(100000);
    const std::uint8_t* block = big->Bytes();
    Loaded loaded =
        ReadJpegBytes(dir, MakeJpeg(JpegOptions().Size(20, 10), GradientPixel), std::move(big));
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.handle->Bytes(), block);
    EXPECT_EQ(loaded.size.width, 20);
}

TEST(JpegReadPicture, RefusesGreyscaleAndCmykFilesWithBothMessages) {
    TempDir dir;
    auto grey = [](int x, int, std::uint8_t* p) { p[0] = static_cast<std::uint8_t>(x * 9); };
    auto cmyk = [](int x, int y, std::uint8_t* p) {
        p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y), p[2] = 9,
        p[3] = 50;
    };
    for (const Bytes& file : {MakeJpeg(JpegOptions().Kind(JpegKind::Grey), grey),
                              MakeJpeg(JpegOptions().Kind(JpegKind::Cmyk), cmyk)}) {
        Loaded loaded = ReadJpegBytes(dir, file);
        EXPECT_FALSE(loaded.ok);
        EXPECT_EQ(loaded.texts, kWrongComponents);
    }
}

TEST(JpegReadPicture, AMissingFileCannotBeOpened) {
    TempDir dir;
    std::string path = dir.File("absent.jpg");
    Loaded loaded = ReadJpeg(path, MakeTestPicture(2, 2));
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.texts, std::vector<std::string>{"can't open " + path + "\n"});
    EXPECT_NE(loaded.handle, nullptr);
}

TEST(JpegReadPicture, ADirectoryReadsAsAnEmptyFile) {
    TempDir dir;
    Loaded loaded = ReadJpeg(dir.Path().string());
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.texts, std::vector<std::string>{"Empty input file"});
}

TEST(JpegReadPicture, ShowsTheLibrarysMessageForAFileThatIsNoJpeg) {
    TempDir dir;
    Loaded loaded = ReadJpegBytes(dir, {'B', 'M', 1, 2, 3, 4, 5, 6});
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.texts, std::vector<std::string>{"Not a JPEG file: starts with 0x42 0x4d"});
    EXPECT_FALSE(ReadJpegBytes(dir, {}).ok);
}

TEST(JpegReadPicture, RefusesAHeaderSizeThatCannotBeHeldBeforeAllocating) {
    TempDir dir;
    Bytes file = MakeJpeg(JpegOptions().Size(16, 16), GradientPixel);
    std::size_t at = FrameSizeOffset(file);
    file[at] = 0xFF, file[at + 1] = 0xDC;      // height 65500
    file[at + 2] = 0xFF, file[at + 3] = 0xDC;  // width 65500
    Loaded loaded = ReadJpegBytes(dir, file, MakeTestPicture(2, 2));
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.texts, (std::vector<std::string>{kTooLargePictureText, "No mem allocated"}));
    EXPECT_EQ(loaded.handle, nullptr);
}

// Cut anywhere, a file fails with the library's message and never crashes; where the block was
// already made it stays with the caller.
TEST(JpegReadPicture, EveryTruncationFailsWithTheLibrarysMessage) {
    MemoryFile memory;
    for (bool progressive : {false, true}) {
        Bytes whole = MakeJpeg(
            JpegOptions().Size(40, 24).Progressive(progressive).RestartRows(progressive ? 0 : 2),
            GradientPixel);
        for (std::size_t length = 0; length < whole.size(); ++length) {
            Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            Loaded loaded = ReadJpegBytes(memory, cut, MakeTestPicture(3, 3));
            ASSERT_FALSE(loaded.ok) << length;
            ASSERT_EQ(loaded.texts.size(), 1u) << length;
            EXPECT_FALSE(loaded.texts[0].empty());
            if (length + 1 == whole.size()) {  // only the end marker missing
                EXPECT_EQ(loaded.texts[0], "Premature end of JPEG file");
                // The block made for the picture stays with the caller, with its size.
                ASSERT_NE(loaded.handle, nullptr);
                EXPECT_TRUE(DibIsPicture24(*loaded.handle));
                EXPECT_EQ(loaded.size.width, 40);
                EXPECT_EQ(loaded.size.height, 24);
            }
        }
    }
}

TEST(JpegReadPicture, DamagedScanDataNeverCrashes) {
    MemoryFile memory;
    Bytes whole = MakeJpeg(JpegOptions().Size(48, 32).Progressive(true), GradientPixel);
    std::size_t scanStart = FrameSizeOffset(whole) + 20;
    int failures = 0;
    for (std::size_t i = scanStart; i < whole.size() - 2; i += 7) {
        Bytes damaged = whole;
        damaged[i] ^= 0x5A;
        damaged[i + 1] = 0xFF;
        Loaded loaded = ReadJpegBytes(memory, damaged);
        if (!loaded.ok) {
            ++failures;
            EXPECT_EQ(loaded.texts.size(), 1u);
        } else {
            EXPECT_EQ(loaded.size.width, 48);
        }
    }
    EXPECT_GT(failures, 0);
}
