// Painting speed of the figure engine, beside the literal painter the tests compare it with.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "figure/figure_engine.h"
#include "figure/reference_painter_support.h"
#include "picture/user_prompts.h"

namespace {

struct Painting {
    explicit Painting(double exponent = -7.0, bool gradient = true) {
        figure->m_dMagnExp = exponent;
        figure->m_bGradient = gradient ? 1 : 0;
        figure->m_nRowBytes = (figure->m_nWidth * 3 + 3) / 4 * 4;
        pixels.resize(static_cast<std::size_t>(figure->m_nRowBytes) * figure->m_nHeight);
    }
    std::unique_ptr<FigureEngine> figure = std::make_unique<FigureEngine>();
    std::vector<std::uint8_t> pixels;
    ConsolePrompts ui;
};

// The default figure at 1200 × 900: orders 3 to 0, gradient pentagons.
void BM_DefaultPainting(benchmark::State& state) {
    Painting p;
    for (auto _ : state) {
        p.figure->PaintFigure(p.pixels.data(), -1, p.ui);
        benchmark::DoNotOptimize(p.pixels.data());
    }
    state.counters["shapes"] = p.figure->m_nShapes;
}
BENCHMARK(BM_DefaultPainting)->Unit(benchmark::kMillisecond);

void BM_DefaultPaintingFlatFills(benchmark::State& state) {
    Painting p(-7.0, false);
    for (auto _ : state) {
        p.figure->PaintFigure(p.pixels.data(), -1, p.ui);
        benchmark::DoNotOptimize(p.pixels.data());
    }
}
BENCHMARK(BM_DefaultPaintingFlatFills)->Unit(benchmark::kMillisecond);

void BM_DefaultPaintingEverythingOn(benchmark::State& state) {
    Painting p;
    for (OrderSettings& o : p.figure->m_orders) o.drawItems = {1, 1, 1, 1, 1, 1, 1, 1};
    for (auto _ : state) {
        p.figure->PaintFigure(p.pixels.data(), -1, p.ui);
        benchmark::DoNotOptimize(p.pixels.data());
    }
}
BENCHMARK(BM_DefaultPaintingEverythingOn)->Unit(benchmark::kMillisecond);

// The same default painting by the literal painter (no clipping, one BlendPixel per pixel).
void BM_DefaultPaintingLiteral(benchmark::State& state) {
    Painting p;
    for (auto _ : state) {
        ReferencePainter(*p.figure).Paint(p.pixels.data(), -1, p.ui);
        benchmark::DoNotOptimize(p.pixels.data());
    }
}
BENCHMARK(BM_DefaultPaintingLiteral)->Unit(benchmark::kMillisecond);

// Zoomed in as far as the view allows: a few pentagons far larger than the picture.
void BM_DeepZoomPainting(benchmark::State& state) {
    Painting p(10.0);
    for (auto _ : state) {
        p.figure->PaintFigure(p.pixels.data(), -1, p.ui);
        benchmark::DoNotOptimize(p.pixels.data());
    }
}
BENCHMARK(BM_DeepZoomPainting)->Unit(benchmark::kMillisecond);

// Zoomed out as far as the view allows: the whole series in view, millions of tiny pentagons.
void BM_FarOutPainting(benchmark::State& state) {
    Painting p(-15.0);
    for (auto _ : state) {
        p.figure->PaintFigure(p.pixels.data(), -1, p.ui);
        benchmark::DoNotOptimize(p.pixels.data());
    }
}
BENCHMARK(BM_FarOutPainting)->Unit(benchmark::kMillisecond)->Iterations(3);

// The exact search alone, order 0 of the default view, without a picture.
void BM_SearchOrderZero(benchmark::State& state) {
    Painting p;
    p.figure->UpdateTransform();
    p.figure->m_orderScale = kGoldenOne;
    p.figure->BuildSeries(p.ui);
    PentagonStyle style;
    for (auto _ : state) {
        for (const char kind : {'B', 'S'}) {
            style.kind = kind;
            p.figure->FindPentagons(style);
        }
    }
}
BENCHMARK(BM_SearchOrderZero)->Unit(benchmark::kMicrosecond);

}  // namespace
