// dorvanta-render and PNG: output by the last dot, pixels equal to the BMP, the parameters back
// from the PNG alone.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "picture/png_file.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kBinary = DORVANTA_BINARY_DIR "/src/dorvanta-render";

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The pixels of every row without the padding, which a block reused at another size leaves as it
// was (and a BMP file carries along).
std::vector<std::uint8_t> PixelsOf(const DibImage& block) {
    const DibInfo info = DibDescribe(block.Bytes());
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < info.height; ++y) {
        const std::uint8_t* row = DibPixelData(block.Bytes(), 0) + y * DibRowStride(info.width, 24);
        pixels.insert(pixels.end(), row, row + 3 * info.width);
    }
    return pixels;
}

std::vector<std::uint8_t> BmpPixels(const std::string& path) {
    ScriptedPrompts ui;
    DibHandle bmp;
    PictureSize size;
    EXPECT_TRUE(DibLoadBmpFile(path, bmp, size, ui));
    return bmp ? PixelsOf(*bmp) : std::vector<std::uint8_t>{};
}

class RenderPngTest : public ::testing::Test {
  protected:
    // Runs a shell command in the temporary folder; the exit status.
    int RunShellIn(const std::string& command) {
        const int raw = std::system(("cd '" + dir.Path().string() + "' && " + command).c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    // Runs the tool there (arguments need no quoting here), its output in out.txt and err.txt.
    int Run(const std::string& args) {
        return RunShellIn("'" + kBinary + "' " + args + " >out.txt 2>err.txt");
    }
    std::string File(const std::string& name) const { return ReadFile(dir.File(name)); }

    TempDir dir;
};

}  // namespace

TEST_F(RenderPngTest, APngOfTheFigureHasTheBmpsPixelsAndGivesItsParametersBack) {
    for (const std::string size : {"", " --size 321x203"}) {
        ASSERT_EQ(Run("--save-dat fig.dat" + size), 0) << File("err.txt");
        ASSERT_EQ(Run("fig.dat -o fig.bmp" + size), 0) << File("err.txt");
        ASSERT_EQ(Run("fig.dat -o fig.v2.png" + size), 0) << File("err.txt");
        EXPECT_EQ(File("err.txt"), "");

        ScriptedPrompts ui;
        DibHandle png;
        PictureSize pngSize;
        std::optional<std::string> text;
        ASSERT_TRUE(PngReadPicture(dir.File("fig.v2.png"), png, pngSize, text, ui));
        const std::vector<std::uint8_t> pixels = BmpPixels(dir.File("fig.bmp"));
        EXPECT_FALSE(pixels.empty());
        EXPECT_TRUE(PixelsOf(*png) == pixels) << "PNG and BMP differ" << size;
        EXPECT_EQ(text, File("fig.dat"));

        ASSERT_EQ(Run("fig.v2.png --save-dat back.dat -o again.bmp"), 0) << File("err.txt");
        EXPECT_EQ(File("back.dat"), File("fig.dat"));
        EXPECT_TRUE(BmpPixels(dir.File("again.bmp")) == pixels) << "repainted differs" << size;
        if (std::system("command -v pngcheck >/dev/null 2>&1") == 0) {
            EXPECT_EQ(std::system(("pngcheck -q '" + dir.File("fig.v2.png") + "'").c_str()), 0);
        }
    }
}

TEST_F(RenderPngTest, AFigurePngCanBeRepaintedAPlainOneCannot) {
    ASSERT_EQ(Run("-o fig.png"), 0);
    ASSERT_EQ(Run("fig.png --size 64x48 --order 0 --stats -o small.png"), 0) << File("err.txt");
    EXPECT_NE(File("out.txt").find("Order 0:"), std::string::npos);
    ASSERT_EQ(Run("-o fig.bmp --size 40x30"), 0);
    ASSERT_EQ(Run("fig.bmp -o plain.png"), 0) << File("err.txt");
    EXPECT_EQ(Run("plain.png --stats"), 2);
    EXPECT_NE(File("err.txt").find("plain.png is a picture without one"), std::string::npos);
    EXPECT_EQ(Run("plain.png -o plain.bmp"), 0);
    EXPECT_TRUE(File("plain.bmp") == File("fig.bmp"));
}

TEST_F(RenderPngTest, TheKindComesFromTheLastDotAndHelpNamesPng) {
    EXPECT_EQ(Run("-o out.bmp.png --size 8x8"), 0);
    EXPECT_EQ(File("out.bmp.png").substr(1, 3), "PNG");
    EXPECT_EQ(Run("-o out.png.gif"), 2);
    EXPECT_NE(File("err.txt").find(".png"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.File("out.png.gif")));
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(File("out.txt").find("PICTURE.png"), std::string::npos);
    EXPECT_NE(File("out.txt").find("(.bmp, .jpg, .png)"), std::string::npos);
}

TEST_F(RenderPngTest, ADamagedPngFailsWithItsCause) {
    std::ofstream(dir.File("bad.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n";
    EXPECT_EQ(Run("bad.png -o x.bmp"), 1);
    // One message, with the reader's cause.
    EXPECT_EQ(File("err.txt"),
              "dorvanta-render: could not open bad.png: The file ends before the picture does.\n");
    EXPECT_FALSE(fs::exists(dir.File("x.bmp")));
}

namespace {

// The pixels of a PNG file (empty when it cannot be read).
std::vector<std::uint8_t> PngPixels(const std::string& path) {
    ScriptedPrompts ui;
    DibHandle png;
    PictureSize size;
    std::optional<std::string> text;
    return PngReadPicture(path, png, size, text, ui) ? PixelsOf(*png) : std::vector<std::uint8_t>{};
}

// The horizontal dots a metre of a PNG's pHYs chunk, or -1 without one.
std::int64_t DotsPerMetre(const std::string& png) {
    const std::size_t at = png.find("pHYs");
    if (at == std::string::npos || at + 13 > png.size()) return -1;
    std::int64_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<std::uint8_t>(png[at + 4 + i]);
    return png[at + 12] == 1 ? value : -1;
}

bool HaveImageMagick() {
    return std::system("command -v convert >/dev/null 2>&1") == 0;
}

}  // namespace

TEST_F(RenderPngTest, SaveDatIsRefusedWhenNoFigureWasRead) {
    ASSERT_EQ(Run("-o fig.bmp --size 40x30"), 0);
    ASSERT_EQ(Run("fig.bmp -o plain.png"), 0);
    for (const std::string input : {"plain.png", "fig.bmp"}) {
        EXPECT_EQ(Run(input + " -o copy.bmp --save-dat x.dat"), 1) << input;
        EXPECT_EQ(File("err.txt"), "dorvanta-render: --save-dat writes a figure's parameters; " +
                                       input + " is a picture without a figure that can be read\n");
        EXPECT_FALSE(fs::exists(dir.File("x.dat"))) << input;
        EXPECT_FALSE(fs::exists(dir.File("copy.bmp"))) << input;
    }
}

// --order paints one order alone; its PNG gives that painting back, at its size or another.
TEST_F(RenderPngTest, APngOfOneOrderPaintsThatOrderAgain) {
    ASSERT_EQ(Run("--order 2 -o o2.png --save-dat o2.dat"), 0) << File("err.txt");
    ASSERT_EQ(Run("o2.png -o back.png --save-dat back.dat"), 0) << File("err.txt");
    const std::vector<std::uint8_t> painted = PngPixels(dir.File("o2.png"));
    ASSERT_FALSE(painted.empty());
    EXPECT_TRUE(PngPixels(dir.File("back.png")) == painted);
    EXPECT_EQ(File("back.dat"), File("o2.dat")) << "the parameter text stays as it is";
    ASSERT_EQ(Run("o2.png --size 64x48 --stats -o small.png"), 0) << File("err.txt");
    EXPECT_NE(File("out.txt").find("Order 2:"), std::string::npos);
    EXPECT_EQ(File("out.txt").find("Order 0:"), std::string::npos);
    ASSERT_EQ(Run("--order 2 --size 64x48 -o direct.png"), 0);
    EXPECT_TRUE(PngPixels(dir.File("small.png")) == PngPixels(dir.File("direct.png")));
}

// ImageMagick moves text chunks behind the image data when it saves a file again.
TEST_F(RenderPngTest, AFigureSavedAgainByImageMagickKeepsItsFigure) {
    if (!HaveImageMagick()) GTEST_SKIP() << "no ImageMagick";
    for (const std::string order : {"", " --order 3"}) {
        ASSERT_EQ(Run("--size 160x120 -o fig.png --save-dat fig.dat" + order), 0);
        ASSERT_EQ(RunShellIn("convert fig.png copy.png"), 0);
        ASSERT_EQ(Run("copy.png --save-dat copy.dat -o again.png"), 0) << File("err.txt");
        EXPECT_EQ(File("copy.dat"), File("fig.dat")) << order;
        EXPECT_TRUE(PngPixels(dir.File("again.png")) == PngPixels(dir.File("fig.png"))) << order;
    }
}

TEST_F(RenderPngTest, DpiWritesThePrintResolutionIntoPngsOnly) {
    struct Case {
        std::string args;
        int status;
        std::int64_t perMetre;
    };
    for (const Case& c : {Case{"-o d.png --dpi 300", 0, 11811},
                          {"-o d.png --size 64x48 --dpi 72", 0, 2835},
                          {"-o d.png", 0, -1},
                          {"-o d.bmp --dpi 300", 2, -1},
                          {"-o d.png --dpi 0", 2, -1},
                          {"-o d.png --dpi 100001", 2, -1},
                          {"-o d.png --dpi 3e2", 2, -1}}) {
        fs::remove(dir.File("d.png"));
        EXPECT_EQ(Run(c.args), c.status) << c.args << File("err.txt");
        EXPECT_EQ(DotsPerMetre(File("d.png")), c.perMetre) << c.args;
    }
    EXPECT_NE(File("err.txt").find("--dpi wants a number from 1 to 100000"), std::string::npos);
}
