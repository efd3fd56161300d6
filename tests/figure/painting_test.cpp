// The painting sequence, compared byte for byte with the literal painter over many parameter
// records, plus single-order paintings and hostile parameters that must neither crash nor hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "figure/figure_engine.h"
#include "figure/reference_painter_support.h"
#include "support/scripted_prompts.h"

namespace {

constexpr std::uint8_t kPadding = 0xA5;  // pre-filled so untouched row padding is visible

std::vector<std::uint8_t> PictureFor(FigureEngine& f) {
    f.m_nRowBytes = (f.m_nWidth * 3 + 3) / 4 * 4;
    return std::vector<std::uint8_t>(static_cast<std::size_t>(f.m_nRowBytes) * f.m_nHeight,
                                     kPadding);
}

std::vector<std::uint8_t> EnginePicture(const FigureEngine& params, int order) {
    auto f = std::make_unique<FigureEngine>(params);
    std::vector<std::uint8_t> pixels = PictureFor(*f);
    ScriptedPrompts ui;
    f->PaintFigure(pixels.data(), order, ui);
    return pixels;
}

std::vector<std::uint8_t> ReferencePicture(const FigureEngine& params, int order) {
    auto f = std::make_unique<FigureEngine>(params);
    std::vector<std::uint8_t> pixels = PictureFor(*f);
    ScriptedPrompts ui;
    ReferencePainter(*f).Paint(pixels.data(), order, ui);
    return pixels;
}

// Where the two pictures first differ, for a readable failure.
std::string FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                            int width) {
    if (a.size() != b.size()) return "sizes differ";
    const auto [pa, pb] = std::mismatch(a.begin(), a.end(), b.begin());
    if (pa == a.end()) return "none";
    const auto offset = pa - a.begin();
    const int rowBytes = (width * 3 + 3) / 4 * 4;
    return "row " + std::to_string(offset / rowBytes) + " byte " +
           std::to_string(offset % rowBytes) + ": " + std::to_string(*pa) + " vs " +
           std::to_string(*pb);
}

double Pick(std::mt19937& rng, std::initializer_list<double> values) {
    std::uniform_int_distribution<std::size_t> d(0, values.size() - 1);
    return values.begin()[d(rng)];
}

double Uniform(std::mt19937& rng, double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
}

int Int(std::mt19937& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

struct RandomRecord {
    std::unique_ptr<FigureEngine> figure = std::make_unique<FigureEngine>();
    int order = -1;
};

void RandomiseOrders(FigureEngine& f, std::mt19937& rng) {
    for (OrderSettings& o : f.m_orders) {
        for (int i = 0; i < 8; ++i) o.drawItems[i] = Int(rng, 0, 2) == 0 ? 0 : 1;
        for (auto& l : o.drawLines) l = Int(rng, 0, 3) == 0 ? 0 : 1;
        o.drawOrder = Int(rng, 0, 2) == 0 ? 1 : 0;
        if (&o - f.m_orders.data() >= 5 && Int(rng, 0, 2) != 0) o.drawOrder = 0;
        o.transparency = Pick(rng, {0.0, 0.25, 0.5, 0.5, 0.75, 1.0, Uniform(rng, 0, 1),
                                    Uniform(rng, 0, 1), -0.4, 1.3});
    }
    for (int e = 0; e < 100; ++e) f.SetColour(static_cast<COLORREF>(rng() & 0xFFFFFF), e);
}

void RandomiseSeries(FigureEngine& f, std::mt19937& rng) {
    switch (Int(rng, 0, 3)) {
        case 0:  // shorter series
            f.m_szSeries[Int(rng, 0, 3) == 0 ? Int(rng, 0, 2996) : Int(rng, 2000, 2996)] = '\0';
            break;
        case 1: {  // reference marker somewhere
            std::string s = f.m_szSeries;
            const auto at = static_cast<std::size_t>(Int(rng, 0, 900));
            s = s.substr(0, at) + "R" + s.substr(at);
            std::strcpy(f.m_szSeries, s.c_str());
            break;
        }
        case 2: {  // offsets moved, mostly keeping Gs close to Un·φ
            const int d = Int(rng, -40, 40);
            f.m_nUn += d;
            f.m_nGs += static_cast<int>(std::floor(d * kPhi + 0.5)) + Int(rng, 0, 4) / 4;
            break;
        }
        default:
            break;
    }
    f.m_nSeriesLen = static_cast<std::int32_t>(std::strlen(f.m_szSeries));
}

// Keeps the largest painted pentagon at most maxRadius pixels wide so the literal scan stays cheap.
void ChooseView(FigureEngine& f, int highestOrder, std::mt19937& rng) {
    f.m_nWidth = Int(rng, 1, 420);
    f.m_nHeight = Int(rng, 1, 320);
    const double bigRadius = 2 * std::pow(kPhi, std::min(highestOrder, 5) + 1);
    const double maxScale = 150.0 / bigRadius;
    const double maxExp = std::log2(maxScale / (f.m_nWidth * 0.5));
    f.m_dMagnExp = std::floor(Uniform(rng, std::max(-15.0, maxExp - 3.5), maxExp) * 4) / 4;
    const double span = Pick(rng, {0.0, 30.0, 150.0, 600.0});
    f.m_dCentreX = Uniform(rng, -span, span);
    f.m_dCentreY = Uniform(rng, -span, span);
}

RandomRecord MakeRecord(std::mt19937& rng) {
    RandomRecord r;
    FigureEngine& f = *r.figure;
    RandomiseOrders(f, rng);
    RandomiseSeries(f, rng);
    f.m_bGradient = Int(rng, 0, 1);
    r.order = Int(rng, 0, 3) == 0 ? Int(rng, 0, Int(rng, 0, 3) == 0 ? 9 : 4) : -1;
    int highest = r.order;
    for (int n = 9; n >= 0 && r.order < 0; --n) {
        if (f.m_orders[n].drawOrder) {
            highest = n;
            break;
        }
    }
    ChooseView(f, std::max(highest, 0), rng);
    return r;
}

TEST(PaintingMatchesLiteralPainter, DefaultFigure) {
    auto f = std::make_unique<FigureEngine>();
    const auto engine = EnginePicture(*f, -1);
    const auto reference = ReferencePicture(*f, -1);
    EXPECT_EQ(FirstDifference(engine, reference, f->m_nWidth), "none");
}

TEST(PaintingMatchesLiteralPainter, DefaultFigureWithLinesStarsAndReference) {
    auto f = std::make_unique<FigureEngine>();
    for (OrderSettings& o : f->m_orders) o.drawItems = {1, 1, 1, 1, 1, 1, 1, 1};
    std::string s = f->m_szSeries;
    s = s.substr(0, 1340) + "R" + s.substr(1340);
    std::strcpy(f->m_szSeries, s.c_str());
    f->m_nWidth = 640;
    f->m_nHeight = 480;
    for (const int gradient : {0, 1}) {
        f->m_bGradient = static_cast<std::uint8_t>(gradient);
        const auto engine = EnginePicture(*f, -1);
        const auto reference = ReferencePicture(*f, -1);
        EXPECT_EQ(FirstDifference(engine, reference, f->m_nWidth), "none") << gradient;
    }
}

// Views the random records do not reach: every series element in view (sub-pixel pentagons by
// the hundred thousand) and zooms where pentagons dwarf the picture.
TEST(PaintingMatchesLiteralPainter, FarOutAndDeepZoom) {
    struct View {
        int width, height;
        double exponent, centreX, centreY;
        int order;
        int seriesLetters;  // a shorter series keeps the literal all-pairs search affordable
    };
    const View views[] = {{160, 120, -12.0, 0.0, 0.0, 0, 1000},
                          {120, 90, -10.0, 40.0, -25.0, -1, 1500},
                          {300, 200, 9.0, 0.0, 0.0, -1, kDefaultSeriesLength},
                          {300, 200, 9.0, 3000.0, 2000.0, -1, kDefaultSeriesLength},
                          {240, 180, 12.0, -1000.3, 500.7, 2, kDefaultSeriesLength}};
    for (const View& v : views) {
        auto f = std::make_unique<FigureEngine>();
        for (OrderSettings& o : f->m_orders) o.drawItems = {1, 1, 1, 1, 1, 1, 1, 1};
        f->m_nWidth = v.width;
        f->m_nHeight = v.height;
        f->m_dMagnExp = v.exponent;
        f->m_dCentreX = v.centreX;
        f->m_dCentreY = v.centreY;
        f->m_szSeries[v.seriesLetters] = '\0';
        f->m_nSeriesLen = v.seriesLetters;
        const auto engine = EnginePicture(*f, v.order);
        const auto reference = ReferencePicture(*f, v.order);
        EXPECT_EQ(FirstDifference(engine, reference, f->m_nWidth), "none")
            << "exponent " << v.exponent << " centre " << v.centreX << "," << v.centreY;
    }
}

// Far out, where nearly every pentagon falls within a 2 x 2 pixel box: each mix of outline, star
// and solid, flat and shaded, at a transparency whose repeated blends do not settle at once.
TEST(PaintingMatchesLiteralPainter, SubPixelPentagonsWithEveryItemMix) {
    for (int mix = 0; mix < 16; ++mix) {
        auto f = std::make_unique<FigureEngine>();
        const std::uint8_t outline = mix & 1, star = (mix >> 1) & 1, solid = (mix >> 2) & 1;
        for (OrderSettings& o : f->m_orders) {
            o.drawItems = {0, outline, star, outline, star, 0, solid, solid};
            o.transparency = 0.3;
        }
        f->m_bGradient = static_cast<std::uint8_t>(mix >> 3);
        f->m_nWidth = 97;
        f->m_nHeight = 75;
        f->m_dMagnExp = mix % 2 == 0 ? -8.0 : -10.25;
        f->m_dCentreX = 35.0;
        f->m_szSeries[800] = '\0';
        f->m_nSeriesLen = 800;
        const auto engine = EnginePicture(*f, -1);
        const auto reference = ReferencePicture(*f, -1);
        EXPECT_EQ(FirstDifference(engine, reference, f->m_nWidth), "none") << "mix " << mix;
    }
}

TEST(PaintingMatchesLiteralPainter, RandomParameterRecords) {
    std::mt19937 rng(20260412);
    for (int record = 0; record < 50; ++record) {
        const RandomRecord r = MakeRecord(rng);
        const FigureEngine& f = *r.figure;
        const auto engine = EnginePicture(f, r.order);
        const auto reference = ReferencePicture(f, r.order);
        EXPECT_EQ(FirstDifference(engine, reference, f.m_nWidth), "none")
            << "record " << record << ": " << f.m_nWidth << "x" << f.m_nHeight << " exp "
            << f.m_dMagnExp << " centre " << f.m_dCentreX << "," << f.m_dCentreY << " order "
            << r.order;
    }
}

}  // namespace
