#include <gtest/gtest.h>

#include <sys/resource.h>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "picture/dib_image.h"
#include "picture/picture_files.h"
#include "picture/row_sink.h"
#include "support/file_size_limit.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct Loaded {
    bool ok = false;
    DibHandle handle;
    PictureSize size;
    std::vector<std::string> texts;
};

Loaded Load(const std::string& path, DibHandle handle = nullptr) {
    ScriptedPrompts ui;
    Loaded result;
    result.handle = std::move(handle);
    result.ok = DibLoadBmpFile(path, result.handle, result.size, ui);
    result.texts = ui.Texts();
    return result;
}

Loaded LoadBytes(const TempDir& dir, const Bytes& file, DibHandle handle = nullptr) {
    std::string path = dir.File("in.bmp");
    WriteFileBytes(path, file);
    return Load(path, std::move(handle));
}

// The same through a file in memory, for loops over many files.
Loaded LoadBytes(MemoryFile& memory, const Bytes& file, DibHandle handle = nullptr) {
    memory.Replace(file);
    return Load(memory.Path(), std::move(handle));
}

// Pixel (x, y) of a loaded 24-bit block, y counted in stored rows (bottom line first).
Bytes PixelAt(const DibHandle& handle, int x, int y) {
    DibInfo info = DibDescribe(handle->Bytes());
    const std::uint8_t* p = handle->Bytes() + 40 + y * DibRowStride(info.width, 24) + 3 * x;
    return {p[0], p[1], p[2]};
}

void ExpectFresh24BitHeader(const DibHandle& handle, int width, int height) {
    Bytes h(handle->Bytes(), handle->Bytes() + 40);
    EXPECT_EQ(U32At(h, 0), 40u);
    EXPECT_EQ(static_cast<std::int32_t>(U32At(h, 4)), width);
    EXPECT_EQ(static_cast<std::int32_t>(U32At(h, 8)), height);
    EXPECT_EQ(U16At(h, 14), 24);
    EXPECT_EQ(U32At(h, 16), 0u);
    EXPECT_EQ(U32At(h, 20), DibRowStride(width, 24) * height);
    EXPECT_EQ(U32At(h, 32), 0u);
    EXPECT_TRUE(DibIsPicture24(*handle));
}

// Colour entries i -> (blue, green, red) = (10 i, 10 i + 1, 10 i + 2), 4 or 3 bytes apart.
Bytes Palette(int count, int entryBytes = 4) {
    Bytes table;
    for (int i = 0; i < count; ++i) {
        for (int channel = 0; channel < 3; ++channel)
            table.push_back(std::uint8_t(10 * i + channel));
        if (entryBytes == 4) table.push_back(0xEE);
    }
    return table;
}

Bytes Colour(int index) {
    return {std::uint8_t(10 * index), std::uint8_t(10 * index + 1), std::uint8_t(10 * index + 2)};
}

const Bytes kBlack{0, 0, 0};

}  // namespace

// ---- Writing ----

TEST(DibSaveBmpFile, OnePixelPictureIsAFiftyEightByteFile) {
    TempDir dir;
    ScriptedPrompts ui;
    DibHandle handle = MakeTestPicture(1, 1, 0x40);
    std::string path = dir.File("one.bmp");
    ASSERT_TRUE(DibSaveBmpFile(path, handle, 0, ui));
    EXPECT_TRUE(ui.messages.empty());
    Bytes file = ReadFileBytes(path);
    const Bytes expected = {'B',  'M',  58,   0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                            40,   0,    0,    0, 1, 0, 0, 0, 1, 0, 0,  0, 1, 0,
                            24,   0,    0,    0, 0, 0,  // size .. compression
                            4,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0,
                            0,    0,    0,    0, 0, 0,  // biSizeImage .. end
                            0x40, 0x40, 0x40, 0};       // pixel and padding
    EXPECT_EQ(file, expected);
}

TEST(DibSaveBmpFile, WritesHeaderAndEveryRowOfAWidePicture) {
    TempDir dir;
    ScriptedPrompts ui;
    DibHandle handle = MakeTestPicture(641, 3, 9);
    std::string path = dir.File("wide.bmp");
    ASSERT_TRUE(DibSaveBmpFile(path, handle, 0, ui));
    Bytes file = ReadFileBytes(path);
    ASSERT_EQ(file.size(), 54u + 1924 * 3);
    EXPECT_EQ(U16At(file, 0), 0x4D42);
    EXPECT_EQ(U32At(file, 2), 54u + 1924 * 3);
    EXPECT_EQ(U32At(file, 6), 0u);
    EXPECT_EQ(U32At(file, 10), 54u);
    EXPECT_EQ(std::memcmp(file.data() + 14, handle->Bytes(), handle->Size()), 0);
}

TEST(DibSaveBmpFile, StoresTheRecomputedImageSizeInTheBlock) {
    for (std::uint32_t stored : {0u, 12345u}) {
        TempDir dir;
        ScriptedPrompts ui;
        DibHandle handle = MakeTestPicture(5, 3);
        std::memcpy(handle->Bytes() + 20, &stored, 4);
        ASSERT_TRUE(DibSaveBmpFile(dir.File("s.bmp"), handle, 0, ui));
        Bytes header(handle->Bytes(), handle->Bytes() + 40);
        EXPECT_EQ(U32At(header, 20), 16u * 3);
        EXPECT_EQ(U32At(ReadFileBytes(dir.File("s.bmp")), 34), 16u * 3);
    }
}

TEST(DibSaveBmpFile, ColourTableBytesMoveThePixelOffset) {
    TempDir dir;
    ScriptedPrompts ui;
    DibHandle handle = DibImage::Allocate(40 + 8 + 4);
    DibInitHeader24(handle->Bytes(), 1, 1);
    ASSERT_TRUE(DibSaveBmpFile(dir.File("t.bmp"), handle, 8, ui));
    Bytes file = ReadFileBytes(dir.File("t.bmp"));
    EXPECT_EQ(file.size(), 14u + 40 + 8 + 4);
    EXPECT_EQ(U32At(file, 10), 62u);
}

TEST(DibSaveBmpFile, WithoutAPictureCreatesNothing) {
    TempDir dir;
    ScriptedPrompts ui;
    std::string path = dir.File("none.bmp");
    EXPECT_FALSE(DibSaveBmpFile(path, nullptr, 0, ui));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{path + " no bitmap connected to it."});
    EXPECT_FALSE(fs::exists(path));
}

TEST(DibSaveBmpFile, ReportsAFileThatCannotBeCreated) {
    TempDir dir;
    ScriptedPrompts ui;
    std::string path = dir.File("missing/x.bmp");
    EXPECT_FALSE(DibSaveBmpFile(path, MakeTestPicture(2, 2), 0, ui));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{path + " failed to open 1a File error 2"});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::Exclamation);
}

TEST(DibSaveBmpFile, ADirectoryAsTargetIsRefusedAndKept) {
    TempDir dir;
    ScriptedPrompts ui;
    std::string path = dir.File("folder.bmp");
    fs::create_directory(path);
    WriteFileBytes(path + "/inside", {1, 2, 3});
    EXPECT_FALSE(DibSaveBmpFile(path, MakeTestPicture(2, 2), 0, ui));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{path + " failed to open 1a File error 21"});
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(ReadFileBytes(path + "/inside"), (Bytes{1, 2, 3}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(DibSaveBmpFile, ReplacesAnEarlierFileAndLeavesNoTemporaryBehind) {
    TempDir dir;
    ScriptedPrompts ui;
    std::string path = dir.File("p.bmp");
    WriteFileBytes(path, Bytes(5000, 0x77));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(DibSaveBmpFile(path, MakeTestPicture(3, 2), 0, ui));
    EXPECT_EQ(ReadFileBytes(path).size(), 54u + 12 * 2);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

// A write that fails half-way (here: the file-size limit, which binds root too) must leave the
// earlier file exactly as it was.
TEST(DibSaveBmpFile, AFailedWriteKeepsTheEarlierFile) {
    TempDir dir;
    ScriptedPrompts ui;
    std::string path = dir.File("keep.bmp");
    Bytes earlier(3000, 0x5A);
    WriteFileBytes(path, earlier);

    bool saved = true;
    ASSERT_TRUE(WithFilesLimitedTo(
        4096, [&] { saved = DibSaveBmpFile(path, MakeTestPicture(200, 200), 0, ui); }));

    EXPECT_FALSE(saved);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{path + " failed to process."});
    EXPECT_EQ(ReadFileBytes(path), earlier);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(DibSaveBmpFile, ABlockThatIsNotOurPictureWritesNothingAndKeepsTheEarlierFile) {
    TempDir dir;
    std::string path = dir.File("old.bmp");
    WriteFileBytes(path, {9, 9, 9});
    auto lying = [](std::size_t offset, std::int32_t value) {
        DibHandle block = MakeTestPicture(4, 4);
        std::memcpy(block->Bytes() + offset, &value, 4);
        return block;
    };
    DibHandle blocks[] = {lying(0, 12), lying(8, 5),  lying(4, INT_MAX),
                          lying(8, -4), lying(4, -4), lying(14, 0xFFFF)};
    for (auto& block : blocks) {
        ScriptedPrompts ui;
        EXPECT_FALSE(DibSaveBmpFile(path, block, 0, ui));
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(ReadFileBytes(path), (Bytes{9, 9, 9}));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    }
    std::FILE* sink = std::tmpfile();
    EXPECT_EQ(DibWriteBmp(sink, nullptr, 0), DibWriteResult::NothingWritten);
    EXPECT_EQ(DibWriteBmp(sink, MakeTestPicture(4, 4), 4), DibWriteResult::NothingWritten);
    std::fclose(sink);
}

// ---- Reading 24-bit files ----

TEST(DibLoadBmpFile, RoundTripKeepsTheBlockExactlyAsRead) {
    TempDir dir;
    ScriptedPrompts ui;
    DibHandle original = MakeTestPicture(641, 3, 1);
    std::string path = dir.File("round.bmp");
    ASSERT_TRUE(DibSaveBmpFile(path, original, 0, ui));
    Loaded loaded = Load(path);
    ASSERT_TRUE(loaded.ok);
    EXPECT_TRUE(loaded.texts.empty());
    EXPECT_EQ(loaded.size.width, 641);
    EXPECT_EQ(loaded.size.height, 3);
    EXPECT_EQ(loaded.handle->Size(), 54u + 1924 * 3);  // a block of the file's length
    EXPECT_EQ(std::memcmp(loaded.handle->Bytes(), original->Bytes(), original->Size()), 0);
    // Saved again, the file is byte for byte the same.
    std::string again = dir.File("again.bmp");
    ASSERT_TRUE(DibSaveBmpFile(again, loaded.handle, 0, ui));
    EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(path));
}

TEST(DibLoadBmpFile, ReusesABlockAtLeastAsLargeAsTheFile) {
    TempDir dir;
    ScriptedPrompts ui;
    std::string path = dir.File("small.bmp");
    ASSERT_TRUE(DibSaveBmpFile(path, MakeTestPicture(4, 4, 3), 0, ui));
    DibHandle big = MakeTestPicture(100, 100);
    const std::uint8_t* block = big->Bytes();
    Loaded loaded = Load(path, std::move(big));
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.handle->Bytes(), block);
    EXPECT_EQ(loaded.size.width, 4);
    EXPECT_EQ(PixelAt(loaded.handle, 3, 2), (Bytes{6, 5, 8}));
}

TEST(DibLoadBmpFile, ConvertsEveryOtherLayoutOf24BitFiles) {
    TempDir dir;
    // Two rows of two pixels, 2 padding bytes each, stored bottom line first.
    const Bytes bottomUp = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    const Bytes topDown = {7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0};
    BmpFields core = BmpFields().HeaderBytes(12).Width(2).Height(2).Pixels(bottomUp);
    BmpFields negative = BmpFields().Width(2).Height(-2).Pixels(topDown);
    BmpFields v5 = BmpFields().HeaderBytes(124).Width(2).Height(2).Pixels(bottomUp);
    BmpFields gap = BmpFields().Width(2).Height(2).Gap(Bytes(6, 0xCC)).Pixels(bottomUp);
    BmpFields table =
        BmpFields().Width(2).Height(2).ColourUsed(2).Table(Palette(2)).Pixels(bottomUp);
    for (const BmpFields& fields : {core, negative, v5, gap, table}) {
        Loaded loaded = LoadBytes(dir, BuildBmp(fields));
        ASSERT_TRUE(loaded.ok) << fields.headerBytes;
        ExpectFresh24BitHeader(loaded.handle, 2, 2);
        EXPECT_EQ(PixelAt(loaded.handle, 0, 0), (Bytes{1, 2, 3}));
        EXPECT_EQ(PixelAt(loaded.handle, 1, 0), (Bytes{4, 5, 6}));
        EXPECT_EQ(PixelAt(loaded.handle, 0, 1), (Bytes{7, 8, 9}));
        EXPECT_EQ(PixelAt(loaded.handle, 1, 1), (Bytes{10, 11, 12}));
        EXPECT_EQ(loaded.size.height, 2);
    }
}

// ---- Reading and converting other bit depths ----

TEST(DibLoadBmpFile, Converts8BitFilesThroughTheColourTable) {
    TempDir dir;
    // 3 x 2, rows padded to 4 bytes; the padding byte holds an index that must not be used.
    BmpFields f = BmpFields()
                      .Width(3)
                      .Height(2)
                      .Bits(8)
                      .Table(Palette(256))
                      .Pixels({0, 1, 2, 99, 25, 255, 7, 99});
    Loaded loaded = LoadBytes(dir, BuildBmp(f));
    ASSERT_TRUE(loaded.ok);
    ExpectFresh24BitHeader(loaded.handle, 3, 2);
    EXPECT_EQ(loaded.handle->Size(), 40u + 12 * 2);
    EXPECT_EQ(PixelAt(loaded.handle, 0, 0), Colour(0));
    EXPECT_EQ(PixelAt(loaded.handle, 1, 0), Colour(1));
    EXPECT_EQ(PixelAt(loaded.handle, 2, 0), Colour(2));
    EXPECT_EQ(PixelAt(loaded.handle, 0, 1), Colour(25));
    EXPECT_EQ(PixelAt(loaded.handle, 2, 1), Colour(7));
    // Entry 255's first bytes, wrapped to 8 bits.
    EXPECT_EQ(PixelAt(loaded.handle, 1, 1),
              (Bytes{std::uint8_t(2550), std::uint8_t(2551), std::uint8_t(2552)}));
    EXPECT_EQ(loaded.handle->Bytes()[40 + 9], 0);  // padding of the new rows is zero
}

TEST(DibLoadBmpFile, Converts4BitFilesHighNibbleFirstAndIgnoresTheSpareNibble) {
    TempDir dir;
    // 3 pixels per row: indices 1, 2, 3 and a spare nibble F; rows padded to 4 bytes with junk.
    BmpFields f = BmpFields()
                      .Width(3)
                      .Height(2)
                      .Bits(4)
                      .Table(Palette(16))
                      .Pixels({0x12, 0x3F, 0xAB, 0xCD, 0x45, 0x6F, 0xFF, 0xFF});
    Loaded loaded = LoadBytes(dir, BuildBmp(f));
    ASSERT_TRUE(loaded.ok);
    ExpectFresh24BitHeader(loaded.handle, 3, 2);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(PixelAt(loaded.handle, x, 0), Colour(1 + x)) << x;
        EXPECT_EQ(PixelAt(loaded.handle, x, 1), Colour(4 + x)) << x;
    }
    EXPECT_EQ(loaded.handle->Bytes()[40 + 9], 0);
}

TEST(DibLoadBmpFile, Converts1BitFilesMostSignificantBitFirstAndIgnoresSpareBits) {
    TempDir dir;
    // 10 pixels per row, 2 spare bits set in the second byte, junk in the padding.
    BmpFields f = BmpFields()
                      .Width(10)
                      .Height(2)
                      .Bits(1)
                      .Table(Palette(2))
                      .Pixels({0b10110000, 0b01111111, 0xFF, 0xFF, 0b01001111, 0b10111111, 0, 0});
    Loaded loaded = LoadBytes(dir, BuildBmp(f));
    ASSERT_TRUE(loaded.ok);
    ExpectFresh24BitHeader(loaded.handle, 10, 2);
    const int row0[10] = {1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
    const int row1[10] = {0, 1, 0, 0, 1, 1, 1, 1, 1, 0};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(PixelAt(loaded.handle, x, 0), Colour(row0[x])) << x;
        EXPECT_EQ(PixelAt(loaded.handle, x, 1), Colour(row1[x])) << x;
    }
    EXPECT_EQ(loaded.handle->Bytes()[40 + 30], 0);
}

TEST(DibLoadBmpFile, ReadsCoreHeaderColourTablesWithThreeByteEntries) {
    TempDir dir;
    BmpFields f = BmpFields()
                      .HeaderBytes(12)
                      .Width(2)
                      .Height(1)
                      .Bits(8)
                      .Table(Palette(256, 3))
                      .Pixels({3, 200, 0, 0});
    Loaded loaded = LoadBytes(dir, BuildBmp(f));
    ASSERT_TRUE(loaded.ok);
    ExpectFresh24BitHeader(loaded.handle, 2, 1);
    EXPECT_EQ(PixelAt(loaded.handle, 0, 0), Colour(3));
    EXPECT_EQ(PixelAt(loaded.handle, 1, 0),
              (Bytes{std::uint8_t(2000), std::uint8_t(2001), std::uint8_t(2002)}));
}

TEST(DibLoadBmpFile, ColourIndicesBeyondTheTableBecomeBlack) {
    TempDir dir;
    BmpFields f = BmpFields()
                      .Width(3)
                      .Height(1)
                      .Bits(8)
                      .ColourUsed(2)
                      .Table(Palette(2))
                      .Pixels({1, 2, 255, 0});
    Loaded loaded = LoadBytes(dir, BuildBmp(f));
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(PixelAt(loaded.handle, 0, 0), Colour(1));
    EXPECT_EQ(PixelAt(loaded.handle, 1, 0), kBlack);
    EXPECT_EQ(PixelAt(loaded.handle, 2, 0), kBlack);
}

TEST(DibLoadBmpFile, Converts32BitFilesWithAndWithoutMasks) {
    TempDir dir;
    const Bytes pixels = {1, 2, 3, 0xAA, 4, 5, 6, 0xBB, 7, 8, 9, 0xCC, 10, 11, 12, 0xDD};
    const Bytes masks = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
    BmpFields plain = BmpFields().Width(2).Height(2).Bits(32).Pixels(pixels);
    BmpFields fields =
        BmpFields().Width(2).Height(2).Bits(32).Compression(3).Table(masks).Pixels(pixels);
    BmpFields v4 = BmpFields().HeaderBytes(108).Width(2).Height(-2).Bits(32).Compression(3).Pixels(
        {7, 8, 9, 0, 10, 11, 12, 0, 1, 2, 3, 0, 4, 5, 6, 0});
    for (const BmpFields& f : {plain, fields, v4}) {
        Loaded loaded = LoadBytes(dir, BuildBmp(f));
        ASSERT_TRUE(loaded.ok) << f.headerBytes << " " << f.compression;
        ExpectFresh24BitHeader(loaded.handle, 2, 2);
        EXPECT_EQ(PixelAt(loaded.handle, 0, 0), (Bytes{1, 2, 3}));
        EXPECT_EQ(PixelAt(loaded.handle, 1, 0), (Bytes{4, 5, 6}));
        EXPECT_EQ(PixelAt(loaded.handle, 0, 1), (Bytes{7, 8, 9}));
        EXPECT_EQ(PixelAt(loaded.handle, 1, 1), (Bytes{10, 11, 12}));
    }
}

TEST(DibLoadBmpFile, ConversionReplacesAReusedSourceBlock) {
    TempDir dir;
    BmpFields f = BmpFields().Width(1).Height(1).Bits(8).Table(Palette(256)).Pixels({4, 0, 0, 0});
    Loaded loaded = LoadBytes(dir, BuildBmp(f), MakeTestPicture(100, 100));
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.handle->Size(), 44u);
    EXPECT_EQ(PixelAt(loaded.handle, 0, 0), Colour(4));
}

TEST(DibLoadBmpFile, DecodesRunLengthEncoded8BitFiles) {
    TempDir dir;
    const Bytes data = {3,  1, 0, 3, 2, 3, 4, 0,
                        0,  0,  // run of three 1s, literal 2 3 4 (padded), end of line
                        0,  2, 2, 0, 2, 5, 0, 0,  // move right by 2, run of two 5s, end of line
                        10, 6, 0, 1};             // run of ten 6s cut at the edge, end of picture
    BmpFields f = BmpFields()
                      .Width(6)
                      .Height(3)
                      .Bits(8)
                      .Compression(1)
                      .ColourUsed(8)
                      .Table(Palette(8))
                      .Pixels(data);
    Loaded loaded = LoadBytes(dir, BuildBmp(f));
    ASSERT_TRUE(loaded.ok);
    ExpectFresh24BitHeader(loaded.handle, 6, 3);
    const int expected[3][6] = {{1, 1, 1, 2, 3, 4}, {-1, -1, 5, 5, -1, -1}, {6, 6, 6, 6, 6, 6}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(PixelAt(loaded.handle, x, y),
                      expected[y][x] < 0 ? kBlack : Colour(expected[y][x]))
                << x << "," << y;
}

TEST(DibLoadBmpFile, DecodesRunLengthEncoded4BitFiles) {
    TempDir dir;
    const Bytes data = {5, 0x12, 0,    0,     // 1 2 1 2 1, end of line
                        0, 3,    0x34, 0x50,  // literal 3 4 5 (two bytes, already even)
                        2, 0x77, 0,    1};    // run of two 7s, end of picture
    BmpFields f =
        BmpFields().Width(5).Height(2).Bits(4).Compression(2).Table(Palette(16)).Pixels(data);
    Loaded loaded = LoadBytes(dir, BuildBmp(f));
    ASSERT_TRUE(loaded.ok);
    const int expected[2][5] = {{1, 2, 1, 2, 1}, {3, 4, 5, 7, 7}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(PixelAt(loaded.handle, x, y), Colour(expected[y][x])) << x << "," << y;
}

// Run-length data is read within its bounds whatever it says: moves past the edges, literals
// longer than the data, no end marker. What it does not reach stays black.
TEST(DibLoadBmpFile, HostileRunLengthDataStaysInsideThePicture) {
    MemoryFile memory;
    const Bytes streams[] = {
        {0, 2, 255, 255, 5, 1, 0, 0},    // move far away, then a run
        {0, 200, 1, 2},                  // literal of 200 with 2 bytes
        {255, 3, 255, 3, 255, 3},        // runs far beyond the width, no end of line
        {0, 2, 1},                       // move cut short
        {0, 0, 0, 0, 0, 0, 0, 0, 7, 3},  // more lines than the picture
        {},
    };
    std::uint32_t seed = 12345;
    std::vector<Bytes> inputs(std::begin(streams), std::end(streams));
    for (int n = 0; n < 300; ++n) {  // and pseudo-random garbage
        Bytes garbage(static_cast<std::size_t>(n % 40));
        for (auto& b : garbage)
            b = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
        inputs.push_back(garbage);
    }
    for (std::uint16_t bits : {8, 4}) {
        for (const Bytes& data : inputs) {
            BmpFields f = BmpFields()
                              .Width(3)
                              .Height(2)
                              .Bits(bits)
                              .Compression(bits == 8 ? 1 : 2)
                              .ColourUsed(4)
                              .Table(Palette(4))
                              .Pixels(data);
            Loaded loaded = LoadBytes(memory, BuildBmp(f));
            ASSERT_TRUE(loaded.ok);
            ExpectFresh24BitHeader(loaded.handle, 3, 2);
        }
    }
}

// ---- Refusals ----

TEST(DibLoadBmpFile, Refuses16BitFilesAndDropsTheOldBlock) {
    TempDir dir;
    BmpFields f = BmpFields().Width(2).Height(1).Bits(16).Pixels({1, 2, 3, 4});
    std::string path = dir.File("in.bmp");
    for (bool hadBlock : {false, true}) {
        Loaded loaded = LoadBytes(dir, BuildBmp(f), hadBlock ? MakeTestPicture(9, 9) : nullptr);
        EXPECT_FALSE(loaded.ok);
        EXPECT_EQ(loaded.handle, nullptr);
        EXPECT_EQ(loaded.texts, std::vector<std::string>{"Failed to read 2: " + path});
        EXPECT_EQ(loaded.size.width, 0);
    }
}

TEST(DibLoadBmpFile, NotABitmapLeavesTheOldBlockWithoutAMessage) {
    TempDir dir;
    std::string path = dir.File("in.bmp");
    const Bytes notBitmaps[] = {{},
                                {'B'},
                                {'B', 'M'},
                                Bytes(13, 'B'),
                                Bytes(500, 0x42),
                                {'M', 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    for (const Bytes& file : notBitmaps) {
        DibHandle old = MakeTestPicture(3, 3, 5);
        const std::uint8_t* block = old.get()->Bytes();
        Loaded kept = LoadBytes(dir, file, std::move(old));
        EXPECT_FALSE(kept.ok);
        EXPECT_TRUE(kept.texts.empty());
        ASSERT_NE(kept.handle, nullptr);
        EXPECT_EQ(kept.handle->Bytes(), block);
        EXPECT_EQ(PixelAt(kept.handle, 2, 1), (Bytes{7, 6, 8}));

        Loaded none = LoadBytes(dir, file);
        EXPECT_FALSE(none.ok);
        EXPECT_EQ(none.handle, nullptr);
        EXPECT_EQ(none.texts, std::vector<std::string>{"Failed to read 2: " + path});
    }
}

TEST(DibLoadBmpFile, AMissingFileLeavesTheHandleUntouched) {
    TempDir dir;
    std::string path = dir.File("absent.bmp");
    Loaded loaded = Load(path, MakeTestPicture(2, 2));
    EXPECT_FALSE(loaded.ok);
    EXPECT_NE(loaded.handle, nullptr);
    EXPECT_EQ(loaded.texts, std::vector<std::string>{"Failed to open: " + path});
}

TEST(DibLoadBmpFile, AFileThatCannotBeReadIsAReadError) {
    TempDir dir;
    std::string path = dir.File("folder.bmp");
    fs::create_directory(path);
    Loaded loaded = Load(path, MakeTestPicture(2, 2));
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.handle, nullptr);
    EXPECT_EQ(loaded.texts, std::vector<std::string>{"Failed to read: " + path});
}

TEST(DibLoadBmpFile, RefusesHeadersThatLieAboutTheirSizes) {
    TempDir dir;
    std::string path = dir.File("in.bmp");
    const Bytes row = {1, 2, 3, 0};
    auto fields = [&](auto change) {
        BmpFields f = BmpFields().Width(1).Height(1).Pixels(row);
        change(f);
        return f;
    };
    const BmpFields lies[] = {
        fields([](BmpFields& f) { f.width = INT32_MAX; }),
        fields([](BmpFields& f) { f.width = INT32_MAX, f.bits = 1; }),
        fields([](BmpFields& f) { f.width = INT32_MAX, f.bits = 32; }),
        fields([](BmpFields& f) { f.height = INT32_MAX; }),
        fields([](BmpFields& f) { f.height = INT32_MIN; }),
        fields([](BmpFields& f) { f.height = -2; }),
        fields([](BmpFields& f) { f.height = 0; }),
        fields([](BmpFields& f) { f.width = 0; }),
        fields([](BmpFields& f) { f.width = -1; }),
        fields([](BmpFields& f) { f.width = 2; }),
        fields([](BmpFields& f) { f.bits = 0; }),
        fields([](BmpFields& f) { f.bits = 2; }),
        fields([](BmpFields& f) { f.bits = 48; }),
        fields([](BmpFields& f) { f.bits = 0xFFFF; }),
        fields([](BmpFields& f) { f.bits = 8, f.colourUsed = 0xFFFFFFFF; }),
        fields([](BmpFields& f) { f.bits = 8, f.colourUsed = 0x40000001; }),
        fields([](BmpFields& f) { f.bits = 8; }),  // no room for its 256 colours
        fields([](BmpFields& f) { f.bits = 4, f.compression = 1, f.colourUsed = 1; }),
        fields([](BmpFields& f) { f.bits = 8, f.compression = 2, f.colourUsed = 1; }),
        fields([](BmpFields& f) { f.bits = 8, f.compression = 1, f.height = -1; }),
        fields([](BmpFields& f) { f.compression = 1; }),  // run lengths need a colour table
        fields([](BmpFields& f) { f.compression = 4; }),
        fields([](BmpFields& f) { f.bits = 32, f.compression = 3; }),  // masks missing
        fields([](BmpFields& f) {
            f.bits = 32, f.compression = 3, f.table = Bytes(12, 0xFF);  // odd masks
            f.pixels = Bytes(4, 0);
        }),
        fields([](BmpFields& f) { f.headerBytes = 0; }),
        fields([](BmpFields& f) { f.headerBytes = 39; }),
        fields([](BmpFields& f) { f.headerBytes = 64; }),
        fields([](BmpFields& f) { f.headerBytes = 0xFFFFFFFF; }),
        fields([](BmpFields& f) { f.headerBytes = 124, f.pixels.clear(); }),
        fields([](BmpFields& f) { f.headerBytes = 12, f.width = 0; }),
    };
    for (std::size_t i = 0; i < std::size(lies); ++i) {
        Loaded loaded = LoadBytes(dir, BuildBmp(lies[i]), MakeTestPicture(2, 2));
        EXPECT_FALSE(loaded.ok) << i;
        EXPECT_EQ(loaded.handle, nullptr) << i;
        EXPECT_EQ(loaded.texts, std::vector<std::string>{"Failed to read 2: " + path}) << i;
    }
}

TEST(DibLoadBmpFile, APixelOffsetOutsideTheFileFallsBackToTheColourTable) {
    TempDir dir;
    for (std::uint32_t offset : {0u, 20u, 55u, 1000u, 0xFFFFFFFFu}) {
        BmpFields f = BmpFields().Width(1).Height(1).Pixels({1, 2, 3, 0}).PixelOffset(offset);
        Loaded loaded = LoadBytes(dir, BuildBmp(f));
        ASSERT_TRUE(loaded.ok) << offset;
        EXPECT_EQ(PixelAt(loaded.handle, 0, 0), (Bytes{1, 2, 3})) << offset;
    }
}

TEST(DibLoadBmpFile, EveryTruncationOfAFileIsRefusedSafely) {
    MemoryFile memory;
    std::string path = memory.Path();
    BmpFields eight =
        BmpFields().Width(5).Height(3).Bits(8).ColourUsed(8).Table(Palette(8)).Pixels(Bytes(24, 7));
    BmpFields core = BmpFields()
                         .HeaderBytes(12)
                         .Width(5)
                         .Height(3)
                         .Bits(4)
                         .Table(Palette(16, 3))
                         .Pixels(Bytes(12, 0x12));
    for (const BmpFields& f : {eight, core}) {
        Bytes whole = BuildBmp(f);
        for (std::size_t length = 0; length < whole.size(); ++length) {
            Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            Loaded loaded = LoadBytes(memory, cut, MakeTestPicture(1, 1));
            ASSERT_FALSE(loaded.ok) << length;
            if (length < 14) {
                EXPECT_NE(loaded.handle, nullptr) << length;
                EXPECT_TRUE(loaded.texts.empty()) << length;
            } else {
                EXPECT_EQ(loaded.handle, nullptr) << length;
                EXPECT_EQ(loaded.texts, std::vector<std::string>{"Failed to read 2: " + path});
            }
        }
        EXPECT_TRUE(LoadBytes(memory, whole).ok);
    }
}

// A file longer than any block we allow is refused before anything is allocated or read.
TEST(DibLoadBmpFile, RefusesFilesBeyondTheBlockCeiling) {
    TempDir dir;
    std::string path = dir.File("huge.bmp");
    WriteFileBytes(path, BuildBmp(BmpFields().Width(1).Height(1).Pixels({1, 2, 3, 0})));
    fs::resize_file(path, DibImage::kMaxBytes + 100);  // sparse: costs no disk
    Loaded loaded = Load(path);
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.texts, std::vector<std::string>{"Failed to read 2: " + path});
}

TEST(DibReadBmp, ReportsTheFinalPictureAndZeroSizesOnFailure) {
    TempDir dir;
    std::string path = dir.File("in.bmp");
    WriteFileBytes(
        path,
        BuildBmp(BmpFields().Width(3).Height(1).Bits(8).Table(Palette(256)).Pixels({1, 2, 3, 0})));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    DibHandle handle;
    DibInfo info;
    info.width = 77;
    EXPECT_EQ(DibReadBmp(file, handle, info), DibReadResult::Read);
    std::fclose(file);
    EXPECT_TRUE(info.isInfoHeader);
    EXPECT_EQ(info.width, 3);
    EXPECT_EQ(info.height, 1);
    EXPECT_EQ(info.bitsPerPixel, 24);
    EXPECT_EQ(info.colourTableBytes, 0u);

    WriteFileBytes(path, {'X', 'Y'});
    file = std::fopen(path.c_str(), "rb");
    EXPECT_EQ(DibReadBmp(file, handle, info), DibReadResult::NotBitmap);
    std::fclose(file);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_NE(handle, nullptr);
}

// Rows handed over at once (as the streamed painting does) give the file of rows handed over one
// by one: in one write when laid out as in the file, row by row otherwise.
TEST(BmpRowWriter, RowsAtOnceGiveTheFileOfRowsOneByOne) {
    TempDir dir;
    constexpr int kWidth = 5, kHeight = 4, kStride = 16;  // 15 bytes of pixels, 1 of padding
    struct Case {
        const char* name;
        std::uint8_t padding;
        std::ptrdiff_t stride;
    };
    for (const Case& c : {Case{"file layout", 0, kStride}, Case{"stray padding", 7, kStride},
                          Case{"wider stride", 0, kStride + 4}}) {
        std::vector<std::uint8_t> rows(static_cast<std::size_t>(c.stride) * kHeight, c.padding);
        for (int y = 0; y < kHeight; ++y) {
            for (int i = 0; i < 3 * kWidth; ++i) rows[y * c.stride + i] = std::uint8_t(y * 31 + i);
        }
        auto write = [&](const std::string& path, bool atOnce) {
            ScriptedPrompts ui;
            std::FILE* file = std::fopen(path.c_str(), "wb");
            BmpRowWriter writer(file, path, kWidth, kHeight, ui);
            bool ok = writer.Start();
            if (atOnce) ok = ok && writer.WriteRows(rows.data(), kHeight, c.stride);
            for (int y = 0; !atOnce && y < kHeight; ++y)
                ok = ok && writer.WriteRow(&rows[y * c.stride]);
            ok = writer.Finish() && ok;
            std::fclose(file);
            return ok;
        };
        ASSERT_TRUE(write(dir.File("one.bmp"), false)) << c.name;
        ASSERT_TRUE(write(dir.File("all.bmp"), true)) << c.name;
        const Bytes file = ReadFileBytes(dir.File("all.bmp"));
        EXPECT_EQ(file, ReadFileBytes(dir.File("one.bmp"))) << c.name;
        ASSERT_EQ(file.size(), 54u + kStride * kHeight) << c.name;
        for (int y = 0; y < kHeight; ++y) EXPECT_EQ(file[54 + y * kStride + 15], 0) << c.name;
    }
}
