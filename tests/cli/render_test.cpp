// Runs the built dorvanta-render on real files and checks what it writes and how it exits.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/tool_run_support.h"
#include "support/svg_reader.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kBinary = DORVANTA_BINARY_DIR "/src/dorvanta-render";

std::uint32_t U32At(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

int CountLinesStartingWith(const std::string& text, const std::string& start) {
    int count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) count += line.rfind(start, 0) == 0;
    return count;
}

class RenderTest : public ::testing::Test {
  protected:
    // Runs the tool with the given arguments inside the temporary folder.
    RunResult Run(const std::vector<std::string>& args) {
        std::string command = "cd ";
        command.append(Quote(dir.Path().string())).append(" && ").append(Quote(kBinary));
        for (const auto& arg : args) command.append(" ").append(Quote(arg));
        command.append(" >").append(Quote(dir.File("stdout.txt")));
        command.append(" 2>").append(Quote(dir.File("stderr.txt")));
        int raw = std::system(command.c_str());
        RunResult result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = ReadFile(dir.File("stdout.txt"));
        result.err = ReadFile(dir.File("stderr.txt"));
        return result;
    }

    std::string File(const std::string& name) const { return ReadFile(dir.File(name)); }

    // Every command line in `bad` is a usage error (status 2, a message) and writes none of
    // `outputs`.
    void ExpectUsageErrors(const std::vector<std::vector<std::string>>& bad,
                           const std::vector<std::string>& outputs) {
        for (const auto& args : bad) {
            RunResult r = Run(args);
            std::string shown;
            for (const auto& a : args) shown += a + " ";
            EXPECT_EQ(r.status, 2) << shown;
            EXPECT_NE(r.err.find("dorvanta-render: "), std::string::npos) << shown;
            for (const auto& output : outputs)
                EXPECT_FALSE(fs::exists(dir.File(output))) << shown << output;
        }
    }

    TempDir dir;
};

}  // namespace

TEST_F(RenderTest, DefaultFigureIsA1200By900BmpOf3240054Bytes) {
    RunResult r = Run({"-o", "default.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string bmp = File("default.bmp");
    ASSERT_EQ(bmp.size(), 3240054u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(U32At(bmp, 2), 3240054u);
    EXPECT_EQ(U32At(bmp, 10), 54u);
    EXPECT_EQ(U32At(bmp, 18), 1200u);
    EXPECT_EQ(U32At(bmp, 22), 900u);
    EXPECT_EQ(static_cast<unsigned char>(bmp[28]), 24);
}

TEST_F(RenderTest, SizeRepaintsAtThatSize) {
    RunResult r = Run({"-o", "small.bmp", "--size", "321x200"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bmp = File("small.bmp");
    ASSERT_EQ(bmp.size(), 54u + 964u * 200u);
    EXPECT_EQ(U32At(bmp, 18), 321u);
    EXPECT_EQ(U32At(bmp, 22), 200u);
}

TEST_F(RenderTest, StatsReportThePentagonsOfEachPaintedOrder) {
    RunResult r = Run({"--stats"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Order 0: big pentagons 445 towards +x, 1297 towards -x; small pentagons 197 "
              "towards +x, 0 towards -x; shape records 1939\n"
              "Order 1: big pentagons 0 towards +x, 217 towards -x; small pentagons 91 towards "
              "+x, 0 towards -x; shape records 308\n"
              "Order 2: big pentagons 162 towards +x, 103 towards -x; small pentagons 0 towards "
              "+x, 18 towards -x; shape records 283\n"
              "Order 3: big pentagons 0 towards +x, 0 towards -x; small pentagons 0 towards +x, "
              "0 towards -x; shape records 0\n"
              "Shape records: 2530\n");
}

TEST_F(RenderTest, OrderPaintsOneOrderAlone) {
    RunResult r = Run({"--order", "1", "--stats", "-o", "one.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Order 1: big pentagons 0 towards +x, 217 towards -x; small pentagons 91 towards "
              "+x, 0 towards -x; shape records 308\n"
              "Shape records: 308\n");
    ASSERT_EQ(Run({"-o", "all.bmp"}).status, 0);
    EXPECT_EQ(File("one.bmp").size(), File("all.bmp").size());
    EXPECT_NE(File("one.bmp"), File("all.bmp"));
}

TEST_F(RenderTest, ParameterFileRoundTripPaintsTheSamePicture) {
    ASSERT_EQ(Run({"--size", "400x300", "-o", "first.bmp", "--save-dat", "fig.dat"}).status, 0);
    EXPECT_EQ(File("fig.dat").substr(0, 22), "Dorvanta Version 4.0\r\n");
    // A parameter file is always painted at 1200 x 900 unless a size is given.
    RunResult r = Run({"fig.dat", "-o", "again.bmp", "--size", "400x300"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(File("again.bmp"), File("first.bmp"));
    ASSERT_EQ(Run({"fig.dat", "-o", "full.bmp"}).status, 0);
    EXPECT_EQ(File("full.bmp").size(), 3240054u);
}

TEST_F(RenderTest, JpegOutputFollowsTheQuality) {
    ASSERT_EQ(Run({"-o", "q90.jpg"}).status, 0);
    ASSERT_EQ(Run({"-o", "q90b.jpg", "--quality", "90"}).status, 0);
    ASSERT_EQ(Run({"-o", "q10.jpg", "--quality", "10"}).status, 0);
    std::string q90 = File("q90.jpg");
    ASSERT_GT(q90.size(), 4u);
    EXPECT_EQ(q90.substr(0, 2), "\xff\xd8");
    EXPECT_EQ(q90, File("q90b.jpg"));  // 90 is the default
    EXPECT_LT(File("q10.jpg").size(), q90.size());
}

TEST_F(RenderTest, PicturesConvertBetweenBmpAndJpeg) {
    ASSERT_EQ(Run({"-o", "pic.jpg", "--size", "64x48"}).status, 0);
    RunResult r = Run({"pic.jpg", "-o", "pic.bmp"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bmp = File("pic.bmp");
    ASSERT_EQ(bmp.size(), 54u + 192u * 48u);
    EXPECT_EQ(U32At(bmp, 18), 64u);
    ASSERT_EQ(Run({"pic.bmp", "-o", "copy.bmp"}).status, 0);
    EXPECT_EQ(File("copy.bmp"), bmp);
}

TEST_F(RenderTest, SceneWithHeaderIsACompleteFile) {
    RunResult r = Run({"--pov", "scene.pov", "--pov-header"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string scene = File("scene.pov");
    EXPECT_EQ(scene.rfind("#version 3.1;\r\n", 0), 0u);
    EXPECT_EQ(CountLinesStartingWith(scene, "Pentagon( "), 2530);
    EXPECT_NE(scene.find("// Order 0 numbers 1939\r\n"), std::string::npos);
    EXPECT_NE(scene.find("// Order 1 numbers 308\r\n"), std::string::npos);
    EXPECT_NE(scene.find("// Order 2 numbers 283\r\n"), std::string::npos);
    EXPECT_EQ(scene.find("// Order 3 numbers"), std::string::npos);
}

TEST_F(RenderTest, SceneWithoutHeaderStartsWithTheTextures) {
    ASSERT_EQ(Run({"--pov", "scene.pov", "--order", "2"}).status, 0);
    std::string scene = File("scene.pov");
    EXPECT_EQ(scene.rfind("\r\n// Pentagon Textures declared\r\n", 0), 0u);
    EXPECT_EQ(CountLinesStartingWith(scene, "Pentagon( 2, "), 283);
    EXPECT_EQ(CountLinesStartingWith(scene, "Pentagon( "), 283);
}

TEST_F(RenderTest, UsageErrorsExitWithTwoAndWriteNothing) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"-o", "x.gif"},
        {"-o", "x.jpeg"},
        {"-o"},
        {"--size", "0x5", "-o", "x.bmp"},
        {"--size", "12", "-o", "x.bmp"},
        {"--size", "10x10x", "-o", "x.bmp"},
        {"--order", "10", "-o", "x.bmp"},
        {"--order", "-1", "-o", "x.bmp"},
        {"--quality", "101", "-o", "x.jpg"},
        {"--quality", "high", "-o", "x.jpg"},
        {"--frobnicate", "-o", "x.bmp"},
        {"notes.txt", "-o", "x.bmp"},
        {"a.dat", "b.dat", "-o", "x.bmp"},
    };
    ExpectUsageErrors(bad, {"x.bmp", "x.jpg"});
}

TEST_F(RenderTest, HelpPrintsUsage) {
    RunResult r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: dorvanta-render", 0), 0u);
}

TEST_F(RenderTest, PicturesCannotBeRepainted) {
    ASSERT_EQ(Run({"-o", "pic.bmp", "--size", "16x16"}).status, 0);
    RunResult r = Run({"pic.bmp", "--size", "32x32", "-o", "x.bmp"});
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(fs::exists(dir.File("x.bmp")));
}

TEST_F(RenderTest, MissingOrBrokenInputFails) {
    RunResult missing = Run({"missing.dat", "-o", "x.bmp"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("missing.dat"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.File("x.bmp")));

    std::ofstream(dir.File("broken.jpg"), std::ios::binary) << "not a jpeg";
    RunResult broken = Run({"broken.jpg", "-o", "x.bmp"});
    EXPECT_EQ(broken.status, 1);
    // One message with the reader's cause.
    EXPECT_EQ(
        broken.err,
        "dorvanta-render: could not open broken.jpg: Not a JPEG file: starts with 0x6e 0x6f\n");
    EXPECT_FALSE(fs::exists(dir.File("x.bmp")));
}

TEST_F(RenderTest, UnwritableOutputFails) {
    RunResult r = Run({"-o", "no-such-folder/x.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot save DIB"), std::string::npos);
    RunResult dat = Run({"--save-dat", "no-such-folder/x.dat"});
    EXPECT_EQ(dat.status, 1);
    RunResult pov = Run({"--pov", "no-such-folder/x.pov"});
    EXPECT_EQ(pov.status, 1);
}

// ---- SVG export -------------------------------------------------------------------------------

TEST_F(RenderTest, SvgOutputHasAFigureLayerPerPaintedOrder) {
    RunResult r = Run({"-o", "fig.svg"});
    ASSERT_EQ(r.status, 0) << r.err;
    const SvgDocument svg = ReadSvg(File("fig.svg"));
    ASSERT_TRUE(svg.wellFormed) << svg.error;
    EXPECT_EQ(svg.layers,
              (std::vector<std::string>{"Background", "Order 2", "Order 1", "Order 0"}));
    EXPECT_EQ(svg.elements.front().Attribute("width"), "1200");

    // One order at another size, printed 40 cm wide.
    r = Run({"--order", "1", "--size", "600x300", "--svg-width", "40cm", "-o", "one.SVG"});
    ASSERT_EQ(r.status, 0) << r.err;
    const SvgDocument one = ReadSvg(File("one.SVG"));
    EXPECT_EQ(one.layers, (std::vector<std::string>{"Background", "Order 1"}));
    EXPECT_EQ(one.elements.front().Attribute("width"), "40cm");
    EXPECT_EQ(one.elements.front().Attribute("height"), "20cm");
    EXPECT_EQ(one.elements.front().Attribute("viewBox"), "0 0 600 300");
}

TEST_F(RenderTest, PlotterStatsReportStrokesAndTravel) {
    RunResult r = Run({"-o", "plot.svg", "--plotter", "--stats", "--svg-width", "400mm"});
    ASSERT_EQ(r.status, 0) << r.err;
    const SvgDocument svg = ReadSvg(File("plot.svg"));
    ASSERT_TRUE(svg.wellFormed) << svg.error;
    int paths = 0;
    for (const SvgElement& e : svg.elements) paths += e.name == "path";
    int strokes = 0;
    double down = 0, up = 0, painted = 0, downMm = 0, upMm = 0;
    const std::size_t at = r.out.find("Plotter: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at,
                          "Plotter: %d strokes, pen down %lf px, pen up %lf px (in painting order "
                          "%lf px)\nPlotter: pen down %lf mm, pen up %lf mm",
                          &strokes, &down, &up, &painted, &downMm, &upMm),
              6)
        << r.out;
    EXPECT_EQ(strokes, paths);
    EXPECT_LE(up, 0.7 * painted);
    EXPECT_NEAR(downMm, down / 3, 0.1);  // 400 mm over 1200 pixels
    EXPECT_NEAR(upMm, up / 3, 0.1);
}

TEST_F(RenderTest, SvgOptionsAreCheckedBeforeAnyPainting) {
    ASSERT_EQ(Run({"-o", "pic.bmp", "--size", "16x16"}).status, 0);
    ASSERT_EQ(Run({"pic.bmp", "-o", "plain.png"}).status, 0);  // a picture without a figure
    const std::vector<std::vector<std::string>> bad = {
        {"--plotter", "-o", "x.bmp"},
        {"--svg-width", "400mm", "-o", "x.bmp"},
        {"--svg-width", "400", "-o", "x.svg"},
        {"--svg-width", "-4mm", "-o", "x.svg"},
        {"--svg-width", "1e308mm", "-o", "x.svg"},
        {"--svg-width", "1e-300mm", "-o", "x.svg"},
        {"--svg-width", "0.004mm", "-o", "x.svg"},
        {"--svg-width"},
        {"--stroke", "0.0001mm", "-o", "x.svg"},
        {"--stroke", "fat", "-o", "x.svg"},
        {"--stroke", "hairline", "-o", "x.bmp"},
        {"pic.bmp", "-o", "x.svg"},
        {"plain.png", "-o", "x.svg"},
    };
    ExpectUsageErrors(bad, {"x.svg", "x.bmp"});
    RunResult unwritable = Run({"-o", "no-such-folder/x.svg"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("Could not write the SVG file no-such-folder/x.svg"),
              std::string::npos);
}

// Units in any case and with blanks; the stroke on paper and the pen numbers reach the file. A
// vector file has no picture memory: a size far beyond what a picture may hold is walked.
TEST_F(RenderTest, SvgWidthStrokeAndHugeSizeOptions) {
    RunResult r =
        Run({"-o", "w.svg", "--svg-width", "400 MM", "--plotter", "--stroke", "hairline"});
    ASSERT_EQ(r.status, 0) << r.err;
    const SvgDocument svg = ReadSvg(File("w.svg"));
    EXPECT_EQ(svg.elements.front().Attribute("width"), "400mm");
    EXPECT_EQ(svg.layers.front().rfind("1 #", 0), 0u);
    for (const SvgElement& e : svg.elements) {
        if (e.name == "g") {
            EXPECT_EQ(e.Attribute("stroke-width"), "0.03");  // 0.01 mm
        }
    }
    r = Run({"--size", "40000x30000", "-o", "big.svg", "--stats"});
    ASSERT_EQ(r.status, 0) << r.err;
    const SvgDocument big = ReadSvg(File("big.svg"));
    ASSERT_TRUE(big.wellFormed) << big.error;
    EXPECT_EQ(big.elements.front().Attribute("viewBox"), "0 0 40000 30000");
    EXPECT_NE(r.out.find("Order 0: big pentagons"), std::string::npos) << r.out;
}

// A PNG or SVG written by the program gives its figure back: to an SVG, and from an SVG to the
// same picture and parameter file as the original.
TEST_F(RenderTest, FigurePngAndSvgOpenAsTheirFigure) {
    ASSERT_EQ(Run({"--size", "300x200", "-o", "fig.png", "--save-dat", "fig.dat"}).status, 0);
    ASSERT_EQ(Run({"--order", "2", "--size", "300x200", "-o", "o2.png"}).status, 0);
    const struct {
        std::vector<std::string> args;
        const char* made;
        const char* original;
    } cases[] = {
        {{"fig.png", "-o", "fig.svg"}, "fig.svg", nullptr},
        {{"fig.svg", "-o", "back.png"}, "back.png", "fig.png"},
        {{"fig.svg", "--save-dat", "back.dat"}, "back.dat", "fig.dat"},
        {{"fig.svg", "-o", "again.svg"}, "again.svg", "fig.svg"},
        {{"fig.dat", "--order", "2", "--size", "300x200", "-o", "o2.svg"}, "o2.svg", nullptr},
        {{"o2.svg", "-o", "o2back.png"}, "o2back.png", "o2.png"},
    };
    for (const auto& c : cases) {
        const RunResult made = Run(c.args);
        ASSERT_EQ(made.status, 0) << JoinArguments(c.args) << made.err;
        if (c.original != nullptr) {
            EXPECT_EQ(File(c.made), File(c.original)) << c.made;
        }
    }
    EXPECT_EQ(ReadSvg(File("fig.svg")).elements.front().Attribute("viewBox"), "0 0 300 200");
    std::ofstream(dir.File("other.svg")) << "<svg xmlns=\"http://www.w3.org/2000/svg\"/>";
    const RunResult r = Run({"other.svg", "-o", "x.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir.File("x.png")));
}

TEST_F(RenderTest, AFifoAsInputIsRefusedAtOnce) {
    const std::string fifo = dir.File("fifo.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The time limit only keeps a blocked run from hanging the test suite.
    std::string command = "timeout 60 " + Quote(kBinary) + " " + Quote(fifo) + " -o " +
                          Quote(dir.File("x.bmp")) + " 2>" + Quote(dir.File("stderr.txt"));
    int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1) << "124 means it waited for a writer";
    EXPECT_NE(File("stderr.txt").find("cannot read " + fifo), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.File("x.bmp")));
}
