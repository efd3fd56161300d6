// Animations: the figures between keyframes, the frames of an animated PNG decoded one by one,
// and exports that are cancelled or fail leaving no file.
#include "document/animation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "document/dat_file.h"
#include "figure/figure_engine.h"
#include "picture/png_file.h"
#include "support/apng_frames.h"
#include "support/file_size_limit.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool SameFigure(const FigureParams& a, const FigureParams& b) {
    return DatFileText(a) == DatFileText(b) && a.m_nWidth == b.m_nWidth &&
           a.m_nHeight == b.m_nHeight &&
           std::memcmp(a.m_colours, b.m_colours, sizeof a.m_colours) == 0;
}

// Two keyframes apart in every kind of parameter.
AnimationPlan TwoKeyframes(int width = 160, int height = 120) {
    FigureEngine a, b;
    b.m_nUn = a.m_nUn + 10;
    b.m_nGs = a.m_nGs - 4;
    b.m_dMagnExp = a.m_dMagnExp + 2;
    b.m_dCentreX = 12.5;
    b.m_dCentreY = -3;
    b.m_orders[0].transparency = 0.9;
    b.SetColour(0x00FF0000, 8);  // big solid of order 0: blue
    b.m_bGradient = 0;
    b.m_orders[1].drawItems[ITEM_LINES] = 1;
    AnimationPlan plan;
    plan.keyframes = {a, b};
    plan.durations = {0.2};
    plan.fps = 30;
    plan.width = width;
    plan.height = height;
    return plan;
}

class Animation : public ::testing::Test {
  protected:
    AnimationPlan plan = TwoKeyframes();
    const FigureParams a = plan.keyframes[0], b = plan.keyframes[1];
    TempDir dir;
    ScriptedPrompts ui;
};

// In-between values, the eased time, and the zoom turning about the point both keyframes show
// at one pixel.
TEST_F(Animation, InBetweenFigures) {
    struct Case {
        double t;
        int un, gs, blue;
        double exponent, transparency;
        int gradient, lines;
    };
    // Whole numbers round to the nearest (2.5 up), switches change at the middle.
    const Case cases[] = {
        {0.25, a.m_nUn + 3, a.m_nGs - 1, 131, -6.5, 0.6, 1, 0},
        {0.49, a.m_nUn + 5, a.m_nGs - 2, 171, -6.02, 0.696, 1, 0},
        {0.5, a.m_nUn + 5, a.m_nGs - 2, 173, -6.0, 0.7, 0, 1},
        {0.75, a.m_nUn + 8, a.m_nGs - 3, 214, -5.5, 0.8, 0, 1},
    };
    for (const Case& c : cases) {
        const FigureParams f = BetweenFigures(a, b, c.t);
        EXPECT_EQ(f.m_nUn, c.un) << c.t;
        EXPECT_EQ(f.m_nGs, c.gs) << c.t;
        EXPECT_EQ(f.m_colours[8][0], c.blue) << c.t;
        EXPECT_EQ(f.m_colours[8][2], std::lround(250 * (1 - c.t))) << "red falls as blue rises";
        EXPECT_NEAR(f.m_dMagnExp, c.exponent, 1e-12) << c.t;
        EXPECT_NEAR(f.m_orders[0].transparency, c.transparency, 1e-12) << c.t;
        EXPECT_EQ(f.m_bGradient, c.gradient) << c.t;
        EXPECT_EQ(f.m_orders[1].drawItems[ITEM_LINES], c.lines) << c.t;
    }
    for (auto [easing, t, eased] : {std::tuple{Easing::Linear, 0.25, 0.25},
                                    {Easing::EaseInOut, 0.25, 0.15625},
                                    {Easing::EaseInOut, 0.5, 0.5},
                                    {Easing::EaseInOut, 0.75, 0.84375}})
        EXPECT_DOUBLE_EQ(EasedTime(easing, t), eased) << t;
    auto scale = [](double exponent) { return std::exp2(exponent); };  // the width's factor aside
    // The offset from the middle (in scaled units) at which both keyframes show the same point.
    const double q =
        (b.m_dCentreX - a.m_dCentreX) / (1 / scale(a.m_dMagnExp) - 1 / scale(b.m_dMagnExp));
    const double fixed = a.m_dCentreX + q / scale(a.m_dMagnExp);
    for (double t : {0.1, 0.3, 0.5, 0.9}) {
        const FigureParams f = BetweenFigures(a, b, t);
        EXPECT_NEAR((fixed - f.m_dCentreX) * scale(f.m_dMagnExp), q, 1e-9 * std::abs(q)) << t;
    }
    // Without a zoom the centre moves linearly.
    FigureParams c = b;
    c.m_dMagnExp = a.m_dMagnExp;
    EXPECT_DOUBLE_EQ(BetweenFigures(a, c, 0.3).m_dCentreX, 0.3 * 12.5);
    // A deep zoom in either direction stays finite.
    c.m_dMagnExp = a.m_dMagnExp + 1500;
    EXPECT_TRUE(std::isfinite(BetweenFigures(a, c, 0.5).m_dCentreX));
    EXPECT_TRUE(std::isfinite(BetweenFigures(c, a, 0.5).m_dCentreX));
}

TEST_F(Animation, KeyframesAreFramesExactly) {
    FigureEngine third;
    third.m_dCentreX = 1.0 / 3;
    plan.keyframes.push_back(third);
    plan.durations = {2, 4};
    EXPECT_EQ(IntervalFrameCounts(plan), (std::vector<std::int64_t>{60, 120}));
    ASSERT_EQ(FrameCount(plan), 181);
    for (auto [frame, key] : {std::pair{0, 0}, {60, 1}, {180, 2}}) {
        FigureParams expected = plan.keyframes[key];
        expected.m_nWidth = plan.width;
        expected.m_nHeight = plan.height;
        EXPECT_TRUE(SameFigure(FrameFigure(plan, frame), expected)) << frame;
    }
    plan.easing = Easing::EaseInOut;
    // A quarter of the second interval, eased.
    EXPECT_EQ(FrameFigure(plan, 90).m_dMagnExp,
              BetweenFigures(plan.keyframes[1], plan.keyframes[2], 0.15625).m_dMagnExp);
}

TEST(AnimationSeries, ReferenceMarkerWalksAlongTheSeries) {
    FigureEngine a, b;
    auto mark = [](FigureParams& f, int at) {
        std::string series(f.m_szSeries, f.m_nSeriesLen);
        series.insert(at, 1, 'R');
        std::strcpy(f.m_szSeries, series.c_str());
        f.m_nSeriesLen = static_cast<int>(series.size());
    };
    mark(a, 100);
    mark(b, 120);
    const FigureParams f = BetweenFigures(a, b, 0.25);
    const std::string series(f.m_szSeries, f.m_nSeriesLen);
    EXPECT_EQ(series.find('R'), 105u);
    std::string steps = series;
    std::erase(steps, 'R');
    EXPECT_EQ(steps, std::string(FigureEngine().m_szSeries));
}

TEST_F(Animation, PlanProblems) {
    struct Case {
        void (*change)(AnimationPlan&);
        const char* words;
    };
    const Case cases[] = {
        {[](AnimationPlan& p) { p.keyframes.pop_back(); }, "two or more keyframes"},
        {[](AnimationPlan& p) { p.durations.push_back(1); }, "one duration between"},
        {[](AnimationPlan& p) { p.durations = {0}; }, "at least one frame"},
        {[](AnimationPlan& p) { p.durations = {NAN}; }, "at least one frame"},
        {[](AnimationPlan& p) { p.fps = 0; }, "frame rate"},
        {[](AnimationPlan& p) { p.fps = 1000; }, "frame rate"},
        {[](AnimationPlan& p) { p.width = -5; }, "frame size"},
        {[](AnimationPlan& p) { p.width = p.height = 16384; }, "frame size"},
        {[](AnimationPlan& p) { p.durations = {1e7}; }, "more than 1000000 frames"},
    };
    EXPECT_EQ(AnimationPlanProblem(plan), "");
    for (const Case& c : cases) {
        AnimationPlan changed = plan;
        c.change(changed);
        EXPECT_NE(AnimationPlanProblem(changed).find(c.words), std::string::npos) << c.words;
    }
    for (auto [text, seconds] : {std::pair{"2.5s", 2.5}, {"500ms", 0.5}, {"6", 6.0}})
        EXPECT_EQ(ParseSeconds(text), seconds) << text;
    for (const char* bad : {"", "s", "-1s", "2x", "infs", "1e999"})
        EXPECT_FALSE(ParseSeconds(bad)) << bad;
}

TEST_F(Animation, AnimatedPngFramesDecodeToThePaintedFrames) {
    plan = TwoKeyframes(161, 97);
    plan.easing = Easing::EaseInOut;
    const std::string path = dir.File("zoom.png");
    ASSERT_EQ(ExportAnimation(plan, path, ui, {}, nullptr, 3), AnimationResult::Written);
    EXPECT_TRUE(ui.Texts().empty());
    const std::string file = ReadFile(path);
    const auto chunks = PngChunksOf(file);
    ASSERT_EQ(chunks[2].first, "acTL");
    EXPECT_EQ(chunks[2].second, std::string("\0\0\0\7\0\0\0\0", 8)) << "7 frames, for ever";
    const std::vector<std::string> frames = StillFramesOfAnimatedPng(file);
    ASSERT_EQ(frames.size(), 7u);
    for (std::size_t n = 0; n < frames.size(); ++n) {
        DibHandle decoded, painted;
        PictureSize size;
        std::optional<std::string> text;
        ASSERT_TRUE(
            PngReadPictureFromMemory(reinterpret_cast<const std::uint8_t*>(frames[n].data()),
                                     frames[n].size(), "frame", decoded, size, text, ui));
        ASSERT_TRUE(PaintAnimationFrame(plan, static_cast<std::int64_t>(n), painted, ui));
        ASSERT_EQ(decoded->Size(), painted->Size());
        EXPECT_EQ(std::memcmp(decoded->Bytes(), painted->Bytes(), painted->Size()), 0) << n;
    }
    PngFigure carried;
    ASSERT_TRUE(PngReadFigure(path, carried, ui));
    EXPECT_EQ(carried.parameterText, DatFileText(FrameFigure(plan, 0)));
}

TEST_F(Animation, CancelAndFailureLeaveNoFileAndTheOlderOneIntact) {
    for (const std::string name : {"a.png", "f%02d.png", "v.mp4"}) {
        const std::string path = dir.File(name == "f%02d.png" ? "f00.png" : name);
        std::ofstream(path) << "older";
        // Cancelled by the progress, by the flag, and failing as on a full disk.
        EXPECT_EQ(ExportAnimation(plan, dir.File(name), ui,
                                  [](std::int64_t done, std::int64_t) { return done < 3; }),
                  AnimationResult::Cancelled);
        const std::atomic<bool> cancel{true};
        EXPECT_EQ(ExportAnimation(plan, dir.File(name), ui, {}, &cancel),
                  AnimationResult::Cancelled);
        EXPECT_TRUE(ui.Texts().empty()) << "a cancel says nothing";
        AnimationResult result{};
        ASSERT_TRUE(
            WithFilesLimitedTo(2000, [&] { result = ExportAnimation(plan, dir.File(name), ui); }));
        EXPECT_EQ(result, AnimationResult::Failed);
        ASSERT_EQ(ui.Texts().size(), 1u);
        EXPECT_EQ(ui.Texts()[0].rfind("Failed to write: " + dir.File(name) + "\n", 0), 0u)
            << ui.Texts()[0];
        EXPECT_NE(ui.Texts()[0].find("File too large"), std::string::npos) << ui.Texts()[0];
        ui.Clear();
        EXPECT_EQ(ReadFile(path), "older");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << name;
        std::filesystem::remove(path);
    }
}

TEST_F(Animation, KeyframesFromFiles) {
    FigureEngine figure;
    figure.m_dCentreX = 7;
    const std::string dat = dir.File("k.dat");
    ASSERT_EQ(SaveDatFile(figure, dat), DAT_OK);
    DibHandle picture;
    plan = TwoKeyframes(90, 70);
    ASSERT_TRUE(PaintAnimationFrame(plan, 0, picture, ui));
    const std::string png = dir.File("k.png");
    ASSERT_TRUE(PngWritePicture(png, picture, DatFileText(figure), ui, {.onlyOrder = 2}));
    std::ofstream(dir.File("plain.dat")) << "not a figure";

    FigureParams read;
    std::string cause;
    ASSERT_TRUE(LoadKeyframe(dat, read, cause)) << cause;
    EXPECT_EQ(read.m_dCentreX, 7);
    EXPECT_EQ(read.m_nWidth, 1200);
    ASSERT_TRUE(LoadKeyframe(png, read, cause)) << cause;
    EXPECT_EQ(read.m_nWidth, 90);
    EXPECT_EQ(read.m_orders[2].drawOrder, 1);
    EXPECT_EQ(read.m_orders[0].drawOrder, 0) << "a painting of order 2 alone draws only order 2";
    ASSERT_TRUE(PngWritePicture(png, picture, "", ui));
    for (const std::string& bad :
         {png, dir.File("plain.dat"), dir.File("none.dat"), dir.File("k.bmp")}) {
        EXPECT_FALSE(LoadKeyframe(bad, read, cause)) << bad;
        EXPECT_NE(cause.find(bad), std::string::npos) << cause;
    }
}

}  // namespace
