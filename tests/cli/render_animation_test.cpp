// dorvanta-render --animate: bad input refused before any work with no file left, every frame
// the painting of the figure --frame-dat gives, an animated PNG split by apngdis, a video read
// back by libavformat.
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <filesystem>
#include <fstream>
#include <set>

#include "cli/tool_run_support.h"
#include "document/dat_file.h"
#include "figure/figure_engine.h"
#include "support/temp_dir.h"

namespace {

const std::string kBinary = DORVANTA_BINARY_DIR "/src/dorvanta-render";

class RenderAnimation : public ::testing::Test {
  protected:
    void SetUp() override {
        FigureEngine figure;
        figure.m_dMagnExp = -5;
        ASSERT_EQ(SaveDatFile(figure, dir.File("a.dat")), DAT_OK);
        figure.m_dMagnExp = -3;
        figure.m_dCentreX = 20;
        figure.m_nUn += 6;
        figure.SetColour(0x00FF00, 8);
        figure.m_orders[1].transparency = 0.1;
        ASSERT_EQ(SaveDatFile(figure, dir.File("b.dat")), DAT_OK);
        figure.m_bGradient = 0;
        figure.m_orders[4].drawOrder = 1;
        ASSERT_EQ(SaveDatFile(figure, dir.File("c.dat")), DAT_OK);
        ASSERT_EQ(Run("a.dat --size 90x60 -o small.png").status, 0);
    }

    RunResult Run(const std::string& arguments, const std::string& environment = "") {
        return RunShell(environment + kBinary + " " + arguments, dir.Path());
    }

    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    TempDir dir;
};

// Bad input, and a video without its encoder module, fail with the cause and leave no file.
TEST_F(RenderAnimation, BadInputIsRefusedBeforeAnyWork) {
    struct Case {
        const char* arguments;
        int status;
        const char* words;
        const char* environment = "";
    };
    const Case cases[] = {
        {"--animate a.dat --duration 1s -o x.png", 2, "two or more keyframes"},
        {"--animate a.dat none.dat --duration 1s -o x.png", 1, "none.dat not found"},
        {"--animate a.dat stderr.txt --duration 1s -o x.png", 1, "stderr.txt as a keyframe"},
        {"--animate a.dat small.png --duration 1s -o x.png", 2, "give the frames' --size"},
        {"--animate a.dat b.dat c.dat --durations 1s -o x.png", 2, "--durations wants 2 times"},
        {"--animate a.dat b.dat --duration 1s --durations 1s -o x.png", 2, "either --duration"},
        {"--animate a.dat b.dat -o x.png", 2, "either --duration"},
        {"--animate a.dat b.dat --duration 0s -o x.png", 2, "--duration wants a time above zero"},
        {"--animate a.dat b.dat --duration 10ms -o x.png", 2, "at least one frame"},
        {"--animate a.dat b.dat --duration 1s --fps -3 -o x.png", 2, "--fps wants"},
        {"--animate a.dat b.dat --duration 1s --fps 100000 -o x.png", 2, "--fps wants"},
        {"--animate a.dat b.dat --duration 1s --size 0x10 -o x.png", 2, "--size wants"},
        {"--animate a.dat b.dat --duration 1s --size 20000x20000 -o x.png", 2, "frame size"},
        {"--animate a.dat b.dat --duration 100000s --fps 240 -o x.png", 2, "more than"},
        {"--animate a.dat b.dat --duration 1s --ease bounce -o x.png", 2, "--ease wants"},
        {"--animate a.dat b.dat --duration 1s -o x.gif", 2, "is written as .mp4"},
        {"--animate a.dat b.dat --duration 1s -o 'f%d%d.png'", 2, "one number field"},
        {"--animate a.dat b.dat --duration 1s --crf 60 -o x.mp4", 2, "51"},
        {"--animate a.dat b.dat --duration 1s --size 91x60 -o x.mp4", 2, "91"},
        {"--animate a.dat b.dat --duration 1s --stats -o x.png", 2, "goes with"},
        {"--animate a.dat b.dat --duration 1s", 2, "needs -o"},
        {"--animate a.dat b.dat --duration 1s --frame-dat 31 -o f.dat", 2, "frames 0 to 30"},
        {"--animate a.dat b.dat --duration 1s --frame-dat 3 -o f.png", 2, "-o NAME.dat"},
        {"--animate a.dat b.dat --duration 1s -o none/x.png", 1, "does not exist"},
        {"--animate a.dat b.dat --duration 1s -o 'none/f%03d.png'", 1, "does not exist"},
        {"--animate a.dat b.dat --duration 1s --size 90x60 -o x.mp4", 1,
         "the video encoder (/none/dorvanta-video.so) cannot be loaded: ",
         "DORVANTA_VIDEO_MODULE=/none/dorvanta-video.so "},
    };
    const std::set<std::string> before = Files();
    for (const Case& c : cases) {
        const RunResult r = Run(c.arguments, c.environment);
        EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.err;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << c.arguments << "\n" << r.err;
        EXPECT_EQ(Files(), before) << c.arguments;
    }
}

TEST_F(RenderAnimation, EveryFrameIsThePaintingOfItsFigure) {
    const std::string plan =
        "--animate a.dat b.dat c.dat --durations 0.2s,100ms --fps 20 --size 120x90 --ease "
        "ease-in-out ";
    std::filesystem::create_directory(dir.Path() / "frames");
    ASSERT_EQ(Run(plan + "-o 'frames/f%02d.png'").status, 0);
    const RunResult apng = Run(plan + "--threads 3 -o anim.png");
    ASSERT_EQ(apng.status, 0) << apng.err;
    EXPECT_EQ(apng.err, "") << "no progress off a terminal";
    const RunResult split = RunShell("apngdis anim.png split.png", dir.Path());
    const bool apngdis = split.status == 0;
    if (!apngdis) std::cerr << "apngdis could not split the animated PNG: " << split.err << "\n";
    for (int n = 0; n < 7; ++n) {
        const std::string number = std::to_string(n);
        ASSERT_EQ(Run(plan + "--frame-dat " + number + " -o " + number + ".dat").status, 0);
        ASSERT_EQ(Run(number + ".dat --size 120x90 -o " + number + ".png").status, 0);
        const std::string single = ReadFile(dir.File(number + ".png"));
        EXPECT_TRUE(ReadFile(dir.File("frames/f0" + number + ".png")) == single) << n;
        if (!apngdis) continue;
        // apngdis numbers the frames from 1 with as many digits as the count has, and writes
        // them as RGBA: compared as pictures, through BMP files.
        const std::string split = "split" + std::to_string(n + 1) + ".png";
        ASSERT_EQ(
            Run(split + " -o split.bmp && " + kBinary + " " + number + ".png -o single.bmp").status,
            0);
        EXPECT_TRUE(ReadFile(dir.File("split.bmp")) == ReadFile(dir.File("single.bmp"))) << n;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("frames/f07.png")));
    // The animated PNG opens as its first keyframe's figure.
    ASSERT_EQ(Run("anim.png --save-dat first.dat").status, 0);
    EXPECT_EQ(ReadFile(dir.File("first.dat")), ReadFile(dir.File("0.dat")));
}

TEST_F(RenderAnimation, VideoHasEveryFrame) {
    for (const char* name : {"clip.mp4", "clip.webm"}) {
        const RunResult r = Run(
            std::string("--animate a.dat b.dat --duration 1s --fps 24 --size 96x64 -o ") + name);
        ASSERT_EQ(r.status, 0) << r.err;
        AVFormatContext* format = nullptr;
        ASSERT_EQ(avformat_open_input(&format, dir.File(name).c_str(), nullptr, nullptr), 0);
        ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
        const AVCodecParameters* video = format->streams[0]->codecpar;
        EXPECT_EQ(video->width, 96);
        EXPECT_EQ(video->height, 64);
        int packets = 0;
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(format, packet) >= 0) {
            packets += packet->stream_index == 0;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        EXPECT_EQ(packets, 25) << name << ": a second at 24 frames and the last keyframe";
        avformat_close_input(&format);
    }
}

// The browser decodes the MP4's first picture and reports the video's size and length. (Whether
// its clock moves on within headless Chromium's virtual time depends on the machine's load.)
TEST_F(RenderAnimation, Mp4DecodesInChromium) {
    if (RunShell("command -v chromium", dir.Path()).status != 0) GTEST_SKIP() << "no chromium";
    ASSERT_EQ(Run("--animate a.dat b.dat --duration 2s --fps 30 --size 320x180 -o clip.mp4").status,
              0);
    std::ofstream(dir.File("play.html"))
        << "<div id=r>none</div><video id=v src=clip.mp4 muted></video><script>"
           "v.onloadeddata = () => r.textContent = "
           "`decoded ${v.videoWidth}x${v.videoHeight} ${v.duration.toFixed(3)}`;"
           "v.onerror = () => r.textContent = 'error ' + v.error.code;</script>";
    const RunResult r = RunShell(
        "timeout 120 chromium --headless --no-sandbox --disable-gpu --virtual-time-budget=8000 "
        "--dump-dom file://" +
            dir.File("play.html") + " 2>/dev/null",
        dir.Path());
    EXPECT_NE(r.out.find("decoded 320x180 2.033"), std::string::npos) << r.out;
}

}  // namespace
