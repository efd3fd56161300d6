// Painting by bands: bands of any height in any order, threaded paintings and paintings streamed
// into a row sink give the bytes of the whole painting and of the literal painter, and the same
// shape list and counts.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "figure/band_painting.h"
#include "figure/figure_engine.h"
#include "figure/reference_painter_support.h"
#include "picture/dib_image.h"
#include "picture/row_sink.h"
#include "support/scripted_prompts.h"

namespace {

using Pixels = std::vector<std::uint8_t>;

struct View {
    const char* name;
    int width, height;
    double exponent, centreX, centreY;
    int order;          // -1: every drawn order
    bool everything;    // every item of every order, gradient fills
    int seriesLetters;  // 0: the default series
};

// The default figure, every item on, deep zoom in (pentagons far larger than the bands), far out
// (pentagons by the hundred thousand, more than the shape list holds) and a single order.
const View kViews[] = {
    {"default", 300, 225, -7.0, 0.0, 0.0, -1, false, 0},
    {"everything", 320, 240, -7.0, 0.0, 0.0, -1, true, 0},
    {"deep zoom in", 240, 180, 9.0, 3000.0, 2000.0, -1, true, 0},
    {"deep zoom at the origin", 200, 150, 12.0, 0.0, 0.0, -1, true, 0},
    {"far out", 160, 120, -12.0, 0.0, 0.0, -1, true, 1000},
    {"single order", 256, 192, -6.0, 30.0, -20.0, 2, true, 0},
};

std::unique_ptr<FigureEngine> FigureFor(const View& v) {
    auto f = std::make_unique<FigureEngine>();
    f->m_nWidth = v.width;
    f->m_nHeight = v.height;
    f->m_dMagnExp = v.exponent;
    f->m_dCentreX = v.centreX;
    f->m_dCentreY = v.centreY;
    if (v.everything) {
        for (OrderSettings& o : f->m_orders) {
            o.drawItems = {1, 1, 1, 1, 1, 1, 1, 1};
            o.transparency = 0.3;
        }
        f->m_bGradient = 1;
        std::string s = f->m_szSeries;
        s = s.substr(0, 1340) + "R" + s.substr(1340);
        std::strcpy(f->m_szSeries, s.c_str());
    }
    if (v.seriesLetters > 0) f->m_szSeries[v.seriesLetters] = '\0';
    f->m_nSeriesLen = static_cast<std::int32_t>(std::strlen(f->m_szSeries));
    f->m_nRowBytes = (f->m_nWidth * 3 + 3) / 4 * 4;
    return f;
}

Pixels Blank(const FigureEngine& f, int rows) {
    return Pixels(static_cast<std::size_t>(f.m_nRowBytes) * rows, 0);
}

struct Painted {
    Pixels pixels;
    std::unique_ptr<FigureEngine> figure;
};

Painted WholePainting(const View& v) {
    Painted p{{}, FigureFor(v)};
    p.pixels = Blank(*p.figure, v.height);
    ScriptedPrompts ui;
    p.figure->PaintFigure(p.pixels.data(), v.order, ui);
    return p;
}

Pixels LiteralPainting(const View& v) {
    auto f = FigureFor(v);
    Pixels pixels = Blank(*f, v.height);
    ScriptedPrompts ui;
    ReferencePainter(*f).Paint(pixels.data(), v.order, ui);
    return pixels;
}

// Every band of the given height painted on its own rows, in a shuffled order, then put together.
Painted BandByBand(const View& v, int bandHeight, std::mt19937& rng) {
    Painted p{Blank(*FigureFor(v), v.height), FigureFor(v)};
    std::vector<int> starts;
    for (int y = 0; y < v.height; y += bandHeight) starts.push_back(y);
    std::shuffle(starts.begin(), starts.end(), rng);
    ScriptedPrompts ui;
    for (const int y : starts) {
        const int rows = std::min(bandHeight, v.height - y);
        Pixels band = Blank(*p.figure, rows);
        p.figure->PaintBand(band.data(), y, rows, v.order, ui);
        std::copy(band.begin(), band.end(),
                  p.pixels.begin() + std::ptrdiff_t{y} * p.figure->m_nRowBytes);
    }
    return p;
}

std::string FirstDifference(const Pixels& a, const Pixels& b, int rowBytes) {
    if (a.size() != b.size()) return "sizes differ";
    const auto [pa, pb] = std::mismatch(a.begin(), a.end(), b.begin());
    if (pa == a.end()) return "none";
    const auto offset = pa - a.begin();
    return "row " + std::to_string(offset / rowBytes) + " byte " +
           std::to_string(offset % rowBytes) + ": " + std::to_string(*pa) + " vs " +
           std::to_string(*pb);
}

// The shape list and the counts of two paintings, record by record.
void ExpectSameShapes(const FigureEngine& a, const FigureEngine& b, const std::string& what) {
    ASSERT_EQ(a.m_nShapes, b.m_nShapes) << what;
    for (int n = 0; n < a.m_nShapes; ++n) {
        const ShapeRecord &x = a.m_shapes[n], &y = b.m_shapes[n];
        ASSERT_TRUE(x.x == y.x && x.y == y.y && x.order == y.order && x.kind == y.kind &&
                    x.size == y.size && x.overlapMask == y.overlapMask)
            << what << ": record " << n;
    }
    for (int order = 0; order < kOrderCount; ++order) {
        const PentagonCounts &x = a.m_counts[order], &y = b.m_counts[order];
        EXPECT_TRUE(x.bigUp == y.bigUp && x.bigDown == y.bigDown && x.smallUp == y.smallUp &&
                    x.smallDown == y.smallDown)
            << what << ": counts of order " << order;
    }
}

TEST(BandPainting, BandsInAnyOrderGiveTheWholePaintingAndTheLiteralOne) {
    std::mt19937 rng(1717);
    for (const View& v : kViews) {
        const Painted whole = WholePainting(v);
        const int rowBytes = whole.figure->m_nRowBytes;
        EXPECT_EQ(FirstDifference(whole.pixels, LiteralPainting(v), rowBytes), "none") << v.name;
        for (const int height : {1, 7, 64}) {
            const std::string what = std::string(v.name) + ", bands of " + std::to_string(height);
            const Painted bands = BandByBand(v, height, rng);
            EXPECT_EQ(FirstDifference(bands.pixels, whole.pixels, rowBytes), "none") << what;
            ExpectSameShapes(*bands.figure, *whole.figure, what);
        }
    }
}

TEST(BandPainting, ABandWritesOnlyItsRows) {
    const View& v = kViews[1];
    auto f = FigureFor(v);
    // The band's rows with a guard row on each side that must stay untouched.
    constexpr std::uint8_t kGuard = 0x5A;
    const int rows = 7;
    Pixels buffer(static_cast<std::size_t>(f->m_nRowBytes) * (rows + 2), kGuard);
    ScriptedPrompts ui;
    f->PaintBand(buffer.data() + f->m_nRowBytes, 100, rows, -1, ui);
    const Pixels whole = WholePainting(v).pixels;
    for (int x = 0; x < f->m_nRowBytes; ++x) {
        ASSERT_EQ(buffer[x], kGuard) << "below the band";
        ASSERT_EQ(buffer[static_cast<std::size_t>(rows + 1) * f->m_nRowBytes + x], kGuard)
            << "above the band";
    }
    for (int x = 0; x < 3 * v.width; ++x) {
        for (int r = 0; r < rows; ++r) {
            ASSERT_EQ(buffer[static_cast<std::size_t>(r + 1) * f->m_nRowBytes + x],
                      whole[static_cast<std::size_t>(100 + r) * f->m_nRowBytes + x])
                << "row " << 100 + r;
        }
    }
    EXPECT_EQ(f->m_pBits, nullptr);
}

TEST(BandPainting, BandsBesideThePicturePaintNothingButKeepTheShapeList) {
    const View& v = kViews[0];
    const Painted whole = WholePainting(v);
    for (const auto& [first, rows] : {std::pair{v.height, 5}, std::pair{-3, 2}, std::pair{0, 0}}) {
        auto f = FigureFor(v);
        Pixels buffer(static_cast<std::size_t>(f->m_nRowBytes) * 5, 0x77);
        ScriptedPrompts ui;
        f->PaintBand(buffer.data(), first, rows, -1, ui);
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](auto b) { return b == 0x77; }))
            << first << "+" << rows;
        ExpectSameShapes(*f, *whole.figure, "band " + std::to_string(first));
    }
}

TEST(ThreadedPainting, EveryThreadCountGivesTheBytesAndShapesOfOneThread) {
    for (const View& v : kViews) {
        const Painted whole = WholePainting(v);
        for (const int threads : {1, 2, 3, 8, 0, -4, 1000}) {
            const std::string what =
                std::string(v.name) + ", " + std::to_string(threads) + " threads";
            auto f = FigureFor(v);
            Pixels pixels = Blank(*f, v.height);
            ScriptedPrompts ui;
            PaintFigureThreaded(*f, pixels.data(), v.order, ui, threads);
            EXPECT_EQ(FirstDifference(pixels, whole.pixels, f->m_nRowBytes), "none") << what;
            ExpectSameShapes(*f, *whole.figure, what);
            EXPECT_EQ(f->m_nLast, whole.figure->m_nLast) << what << ": series of the last order";
            EXPECT_EQ(f->m_pBits, nullptr) << what;
        }
    }
}

// Small pictures, whose bands would each repeat the search, are painted on one thread.
TEST(ThreadedPainting, ThreadsAreGivenOnlyToPicturesLargeEnoughForThem) {
    struct Case {
        int width, height, asked, given;
        bool running = true;  // helpers started by an earlier painting
    };
    for (Case c : {Case{2, 2, 2, 1},
                   {1200, 900, 2, 1, false},
                   {2400, 1800, 2, 2, false},
                   {3840, 2160, 8, 3, false},
                   {256, 192, 2, 1},
                   {640, 480, 8, 1},
                   {1200, 900, 2, 2},
                   {1200, 900, 8, 2},
                   {3840, 2160, 2, 2},
                   {3840, 2160, 1, 1},
                   {3840, 2160, 0, 1},
                   {7680, 4320, 64, 63}}) {
        auto f = std::make_unique<FigureEngine>();
        f->m_nWidth = c.width;
        f->m_nHeight = c.height;
        EXPECT_EQ(ThreadsWorthUsing(*f, c.asked, c.running), c.given) << c.width << "x" << c.height;
    }
}

// The shape list takes memory only when written; copies are whole either way: a copy of a
// painted engine has its records, and an unpainted engine copied over a painted one clears them.
TEST(ThreadedPainting, EngineCopiesCarryTheShapeListWhateverItHolds) {
    const Painted painted = WholePainting(kViews[0]);
    const FigureEngine& f = *painted.figure;
    ASSERT_GT(f.m_nShapes, 1);
    auto copy = std::make_unique<FigureEngine>(f);
    const auto unpainted = std::make_unique<FigureEngine>();
    for (const int n : {0, f.m_nShapes - 1, kMaxShapes - 1}) {
        EXPECT_EQ(copy->m_shapes[n].x, f.m_shapes[n].x) << n;
        EXPECT_EQ(copy->m_shapes[n].size, f.m_shapes[n].size) << n;
        EXPECT_EQ(unpainted->m_shapes[n].size, 0.0) << n;
    }
    *copy = *unpainted;
    EXPECT_EQ(copy->m_shapes[0].size, 0.0);
    EXPECT_EQ(copy->m_shapes[0].kind, 0);
    *copy = f;
    EXPECT_EQ(copy->m_shapes[0].kind, f.m_shapes[0].kind);
    EXPECT_NE(copy->m_shapes[0].kind, 0);
}

TEST(ThreadedPainting, TheShapeListStopsAtItsCapacityAsInOnePainting) {
    const View& farOut = kViews[4];
    const Painted whole = WholePainting(farOut);
    ASSERT_EQ(whole.figure->m_nShapes, kMaxShapes);
    auto f = FigureFor(farOut);
    Pixels pixels = Blank(*f, farOut.height);
    ScriptedPrompts ui;
    PaintFigureThreaded(*f, pixels.data(), -1, ui, 4);
    ExpectSameShapes(*f, *whole.figure, "far out");
}

TEST(BandPainting, ALargePictureIsPaintedByCacheSizedBandsAsOneWholePainting) {
    // Beyond the cache size PaintFigure itself paints by bands, on one thread or on several.
    for (View v : {kViews[1], kViews[4]}) {
        v.width = 2600;
        v.height = 2200;
        auto whole = FigureFor(v);
        ASSERT_TRUE(PaintsInBands(*whole));
        Pixels expected = Blank(*whole, v.height);
        ScriptedPrompts ui;
        whole->PaintBand(expected.data(), 0, v.height, v.order, ui);  // never cut into bands
        for (const int threads : {1, 2}) {
            const std::string what = std::string(v.name) + ", " + std::to_string(threads);
            auto f = FigureFor(v);
            Pixels pixels = Blank(*f, v.height);
            PaintFigureThreaded(*f, pixels.data(), v.order, ui, threads);
            EXPECT_EQ(FirstDifference(pixels, expected, f->m_nRowBytes), "none") << what;
            ExpectSameShapes(*f, *whole, what);
        }
    }
}

TEST(ThreadedPainting, PaintingsFromSeveralThreadsAtOnceEachGiveTheirOwnBytes) {
    // The threads of the process are shared: the callers take turns and none sees another's work.
    std::vector<Painted> wholes;
    for (const View& v : kViews) wholes.push_back(WholePainting(v));
    std::vector<std::string> differences(std::size(kViews));
    std::vector<std::thread> callers;
    for (std::size_t n = 0; n < std::size(kViews); ++n) {
        callers.emplace_back([&, n] {
            const View& v = kViews[n];
            auto f = FigureFor(v);
            Pixels pixels = Blank(*f, v.height);
            ScriptedPrompts ui;
            PaintFigureThreaded(*f, pixels.data(), v.order, ui, 2);
            differences[n] = FirstDifference(pixels, wholes[n].pixels, f->m_nRowBytes);
        });
    }
    for (std::thread& t : callers) t.join();
    for (std::size_t n = 0; n < std::size(kViews); ++n) {
        EXPECT_EQ(differences[n], "none") << kViews[n].name;
    }
}

TEST(ThreadedPainting, AChildOfForkPaintsAloneAndGivesTheSameBytes) {
    // The threads stay in the parent: a child that painted with them would wait for ever.
    const View& v = kViews[1];
    const Painted whole = WholePainting(v);
    auto f = FigureFor(v);
    Pixels pixels = Blank(*f, v.height);
    ScriptedPrompts ui;
    PaintFigureThreaded(*f, pixels.data(), v.order, ui, 2);  // the threads exist from here
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(20);
        std::fill(pixels.begin(), pixels.end(), 0);
        ScriptedPrompts childUi;
        PaintFigureThreaded(*f, pixels.data(), v.order, childUi, 2);
        _exit(pixels == whole.pixels ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child hung or crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child painted other bytes";
}

// Rows as a sink takes them, put back into a picture.
class PictureSink : public RowSink {
  public:
    PictureSink(const FigureEngine& f, bool bottomUp, int failAt = -1)
        : m_rowBytes(f.m_nRowBytes), m_height(f.m_nHeight), m_bottomUp(bottomUp), m_failAt(failAt) {
        pixels.assign(static_cast<std::size_t>(m_rowBytes) * m_height, 0);
    }
    bool BottomUp() const override { return m_bottomUp; }
    bool WriteRow(const std::uint8_t* row) override {
        if (rows == m_failAt || rows >= m_height) return false;
        const int y = m_bottomUp ? rows : m_height - 1 - rows;
        std::copy(row, row + m_rowBytes, pixels.begin() + std::ptrdiff_t{y} * m_rowBytes);
        ++rows;
        return true;
    }
    Pixels pixels;
    int rows = 0;

  private:
    int m_rowBytes, m_height;
    bool m_bottomUp;
    int m_failAt;
};

TEST(StreamedPainting, EitherRowOrderGivesTheWholePainting) {
    // Wide rows give bands of a few rows each: more bands than slots, so the slots go round.
    std::vector<View> views(std::begin(kViews), std::end(kViews));
    views.push_back({"wide", 20000, 150, -9.0, 0.0, 0.0, -1, true, 0});
    for (const View& v : views) {
        const Painted whole = WholePainting(v);
        for (const bool bottomUp : {true, false}) {
            for (const int threads : {1, 2, 5}) {
                const std::string what = std::string(v.name) +
                                         (bottomUp ? " bottom-up, " : " top-down, ") +
                                         std::to_string(threads) + " threads";
                auto f = FigureFor(v);
                PictureSink sink(*f, bottomUp);
                ScriptedPrompts ui;
                std::int64_t lastDone = 0;
                const auto result = PaintIntoSink(*f, v.order, sink, threads, ui,
                                                  [&](std::int64_t done, std::int64_t total) {
                                                      EXPECT_GT(done, lastDone);
                                                      EXPECT_EQ(total, v.height);
                                                      lastDone = done;
                                                      return true;
                                                  });
                EXPECT_EQ(result, StreamResult::Written) << what;
                EXPECT_EQ(lastDone, v.height) << what;
                EXPECT_EQ(FirstDifference(sink.pixels, whole.pixels, f->m_nRowBytes), "none")
                    << what;
                ExpectSameShapes(*f, *whole.figure, what);
                EXPECT_TRUE(ui.Texts().empty()) << what;
            }
        }
    }
}

TEST(StreamedPainting, ASinkFailureStopsThePaintingWithoutAMessageOfItsOwn) {
    const View& v = kViews[0];
    for (const int threads : {1, 2}) {
        auto f = FigureFor(v);
        PictureSink sink(*f, true, 10);
        ScriptedPrompts ui;
        int calls = 0;
        const auto result = PaintIntoSink(*f, -1, sink, threads, ui, [&](auto, auto) {
            ++calls;
            return true;
        });
        EXPECT_EQ(result, StreamResult::Failed);
        EXPECT_EQ(sink.rows, 10);
        EXPECT_EQ(calls, 0) << "the first band failed";
        EXPECT_TRUE(ui.Texts().empty()) << "the sink reports its own failures";
    }
}

TEST(StreamedPainting, ProgressCanCancel) {
    View tall = kViews[0];
    tall.width = 4000;  // rows of 12000 bytes: several bands
    tall.height = 3000;
    tall.everything = false;
    auto f = FigureFor(tall);
    PictureSink sink(*f, false);
    ScriptedPrompts ui;
    const auto result =
        PaintIntoSink(*f, -1, sink, 2, ui, [](auto done, auto total) { return done < total / 4; });
    EXPECT_EQ(result, StreamResult::Cancelled);
    EXPECT_GT(sink.rows, 0);
    EXPECT_LT(sink.rows, tall.height);
}

TEST(StreamedPainting, SizesBeyondTheBandMemoryAreRefusedWithAReason) {
    struct Case {
        std::int64_t width, height;
        bool ok;
    };
    const Case cases[] = {{12000, 9000, true},
                          {1, 1, true},
                          {16777216, 1, true},
                          {16777217, 1, false},
                          {0, 10, false},
                          {10, -1, false},
                          {30000, 2147483647, true},
                          {30000, 2147483648, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(StreamSizeProblem(c.width, c.height).empty(), c.ok) << c.width << "x" << c.height;
    }
    auto f = FigureFor(kViews[0]);
    f->m_nWidth = 20000000;
    PictureSink sink(*FigureFor(kViews[0]), true);
    ScriptedPrompts ui;
    EXPECT_EQ(PaintIntoSink(*f, -1, sink, 2, ui), StreamResult::Failed);
    EXPECT_EQ(sink.rows, 0);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{kTooLargePictureText});
}

}  // namespace
