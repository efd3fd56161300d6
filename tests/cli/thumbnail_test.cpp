// Thumbnails: the size rule on its own, then dorvanta-render --thumbnail on real files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/thumbnail.h"
#include "cli/tool_run_support.h"
#include "picture/dib_image.h"
#include "picture/png_file.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kBinary = DORVANTA_BINARY_DIR "/src/dorvanta-render";

struct FitCase {
    int width, height, longSide;
    int expectedWidth, expectedHeight;
};

TEST(FitThumbnailTest, LongerSideTakesTheSizeAndTheAspectIsKept) {
    const std::vector<FitCase> cases = {
        {1200, 900, 256, 256, 192},   // the default figure
        {900, 1200, 256, 192, 256},   // portrait
        {1000, 1000, 128, 128, 128},  // square
        {1200, 900, 100, 100, 75},    // 75 exactly
        {1000, 3, 256, 256, 1},       // 0.768 rounds to 1
        {10000, 1, 256, 256, 1},      // never below one pixel
        {3, 2, 1, 1, 1},
        {1200, 900, 4096, 4096, 3072},  // larger than the figure
        {INT_MAX, INT_MAX - 1, 4096, 4096, 4096},
        {INT_MAX, 1, 4096, 4096, 1},
        {1, INT_MAX, 4096, 1, 4096},
    };
    for (const FitCase& c : cases) {
        std::optional<ThumbnailSize> size = FitThumbnail(c.width, c.height, c.longSide);
        ASSERT_TRUE(size.has_value()) << c.width << "x" << c.height;
        EXPECT_EQ(size->width, c.expectedWidth) << c.width << "x" << c.height;
        EXPECT_EQ(size->height, c.expectedHeight) << c.width << "x" << c.height;
    }
}

TEST(FitThumbnailTest, SizesWithoutAreaGiveNothing) {
    const std::vector<std::vector<int>> cases = {
        {0, 900, 256}, {1200, 0, 256}, {-5, 900, 256}, {1200, INT_MIN, 256}, {1200, 900, 0}};
    for (const auto& c : cases) {
        EXPECT_FALSE(FitThumbnail(c[0], c[1], c[2]).has_value()) << c[0] << "x" << c[1];
    }
}

// The pixel rows of a PNG or BMP file, read by the program's own readers; "" when unreadable.
std::string PixelsOf(const fs::path& path) {
    ScriptedPrompts prompts;
    DibHandle handle;
    PictureSize size;
    std::optional<std::string> text;
    const bool read = path.extension() == ".png"
                          ? PngReadPicture(path.string(), handle, size, text, prompts)
                          : DibLoadBmpFile(path.string(), handle, size, prompts);
    if (!read || !handle) return "";
    // The rows follow the 40-byte header; a block may be larger than its picture.
    constexpr std::size_t kHeaderBytes = 40;
    const std::size_t rowBytes = (std::size_t(size.width) * 3 + 3) / 4 * 4;
    const std::size_t pixelBytes = rowBytes * std::size_t(size.height);
    if (handle->Size() < kHeaderBytes + pixelBytes) return "";
    return {reinterpret_cast<const char*>(handle->Bytes()) + kHeaderBytes, pixelBytes};
}

class ThumbnailTest : public ::testing::Test {
  protected:
    RunResult Run(const std::vector<std::string>& args) {
        std::string command = Quote(kBinary);
        for (const auto& arg : args) command.append(" ").append(Quote(arg));
        return RunShell(command, dir.Path());
    }
    fs::path File(const std::string& name) const { return dir.Path() / name; }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(File(name), std::ios::binary) << text;
    }

    TempDir dir;
};

TEST_F(ThumbnailTest, DefaultFigureShowsTheSameViewAsTheFullPicture) {
    RunResult r = Run({"--thumbnail", "256", "-o", "thumb.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::optional<PictureDimensions> size = ReadPictureDimensions(File("thumb.png"));
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->width, 256);
    EXPECT_EQ(size->height, 192);
    // The view spans the same part of the figure at any width of the same aspect.
    ASSERT_EQ(Run({"--size", "256x192", "-o", "sized.bmp"}).status, 0);
    const std::string pixels = PixelsOf(File("thumb.png"));
    EXPECT_EQ(pixels.size(), 256u * 3 * 192);
    EXPECT_TRUE(pixels == PixelsOf(File("sized.bmp")));
}

TEST_F(ThumbnailTest, OutputIsPngWhateverItsName) {
    // File managers choose the name; some give no extension or another one.
    for (const std::string name : {"thumbnail-XXXXXX", "thumb.png", "thumb.jpg"}) {
        ASSERT_EQ(Run({"--thumbnail", "64", "-o", name}).status, 0) << name;
        EXPECT_EQ(ReadFile(File(name)).rfind("\x89PNG\r\n\x1a\n", 0), 0u) << name;
        std::optional<PictureDimensions> size = ReadPictureDimensions(File(name));
        ASSERT_TRUE(size.has_value()) << name;
        EXPECT_EQ(size->width, 64);
        EXPECT_EQ(size->height, 48);
    }
}

TEST_F(ThumbnailTest, ParameterFileIsPaintedWithItsOwnView) {
    ASSERT_EQ(Run({"--save-dat", "default.dat"}).status, 0);
    std::string text = ReadFile(File("default.dat"));
    const std::string centre = "x = 0.00000  y = 0.00000  Exp Magn = -7.00000";
    const std::size_t at = text.find(centre);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, centre.size(), "x = 3.50000  y = -2.25000  Exp Magn = -6.50000");
    Write("moved.dat", text);

    ASSERT_EQ(Run({"--thumbnail", "128", "moved.dat", "-o", "moved.png"}).status, 0);
    ASSERT_EQ(Run({"moved.dat", "--size", "128x96", "-o", "sized.bmp"}).status, 0);
    ASSERT_EQ(Run({"--thumbnail", "128", "default.dat", "-o", "default.png"}).status, 0);
    const std::string moved = PixelsOf(File("moved.png"));
    EXPECT_EQ(moved.size(), 128u * 3 * 96);
    EXPECT_TRUE(moved == PixelsOf(File("sized.bmp")));
    EXPECT_FALSE(moved == PixelsOf(File("default.png")));
}

TEST_F(ThumbnailTest, BrokenParameterFilesFailWithoutOutput) {
    fs::create_directory(File("folder.dat"));
    Write("junk.dat", "This is some other program's data\r\n1 2 3\r\n");
    Write("empty.dat", "");
    Write("truncated.dat", "Dorvanta Version 4.0\r\nComment\r\n");
    for (const std::string input :
         {"missing.dat", "folder.dat", "junk.dat", "empty.dat", "truncated.dat"}) {
        RunResult r = Run({"--thumbnail", "256", input, "-o", "thumb.png"});
        EXPECT_EQ(r.status, 1) << input;
        EXPECT_NE(r.err.find("dorvanta-render: "), std::string::npos) << input;
        EXPECT_FALSE(fs::exists(File("thumb.png"))) << input;
    }
}

// Some file managers create the output file empty and read that same file back: the thumbnail
// goes into the file itself (a hard link shows it is the same file), cut to the picture's length.
TEST_F(ThumbnailTest, WrittenIntoTheFileItIsHanded) {
    ASSERT_EQ(Run({"--thumbnail", "128", "-o", "fresh.png"}).status, 0);
    const std::string expected = ReadFile(File("fresh.png"));
    ASSERT_EQ(expected.rfind("\x89PNG", 0), 0u);
    for (const std::string& before : {std::string(), std::string(100000, 'x')}) {
        Write("handed.png", before);
        fs::remove(File("held.png"));
        fs::create_hard_link(File("handed.png"), File("held.png"));
        RunResult r = Run({"--thumbnail", "128", "-o", "handed.png"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(ReadFile(File("held.png")) == expected) << before.size();
        EXPECT_TRUE(ReadFile(File("handed.png")) == expected) << before.size();
    }
}

// A write that fails part way leaves the handed file empty, never a half picture; outputs that
// are not files are refused at once.
TEST_F(ThumbnailTest, FailedWritesLeaveNoHalfPicture) {
    Write("handed.png", "");
    // A file-size limit of one kilobyte stops the write part way, as a full disk would.
    RunResult limited = RunShell(
        "(trap '' XFSZ; ulimit -f 1; exec " + Quote(kBinary) + " --thumbnail 512 -o handed.png)",
        dir.Path());
    EXPECT_EQ(limited.status, 1);
    EXPECT_NE(limited.err.find(std::strerror(EFBIG)), std::string::npos) << limited.err;
    EXPECT_EQ(fs::file_size(File("handed.png")), 0u);

    fs::create_directory(File("folder"));
    ASSERT_EQ(::mkfifo(File("fifo").c_str(), 0600), 0);
    for (const std::string output : {"folder", "fifo"}) {
        RunResult r = Run({"--thumbnail", "64", "-o", output});
        EXPECT_EQ(r.status, 1) << output;
        EXPECT_NE(r.err.find("could not write " + output), std::string::npos) << r.err;
    }
}

TEST_F(ThumbnailTest, UsageErrorsExitWithTwoAndWriteNothing) {
    ASSERT_EQ(Run({"--size", "16x12", "-o", "pic.bmp", "--save-dat", "fig.dat"}).status, 0);
    const std::vector<std::vector<std::string>> bad = {
        {"--thumbnail", "256"},
        {"--thumbnail", "0", "-o", "thumb.png"},
        {"--thumbnail", "4097", "-o", "thumb.png"},
        {"--thumbnail", "big", "-o", "thumb.png"},
        {"--thumbnail"},
        {"--thumbnail", "256", "--size", "10x10", "-o", "thumb.png"},
        {"--thumbnail", "256", "--order", "2", "-o", "thumb.png"},
        {"--thumbnail", "256", "--stats", "-o", "thumb.png"},
        {"--thumbnail", "256", "--save-dat", "out.dat", "-o", "thumb.png"},
        {"--thumbnail", "256", "--pov", "out.pov", "-o", "thumb.png"},
        {"--thumbnail", "256", "pic.bmp", "-o", "thumb.png"},
    };
    for (const auto& args : bad) {
        const std::string shown = JoinArguments(args);
        RunResult r = Run(args);
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_NE(r.err.find("dorvanta-render: "), std::string::npos) << shown;
        for (const char* name : {"thumb.png", "out.dat", "out.pov"}) {
            EXPECT_FALSE(fs::exists(File(name))) << shown << name;
        }
    }
}

}  // namespace
