// Case 8: one key press in the view until the picture is on the screen, at 1200 × 900 under the
// offscreen platform. In arrow mode 1 Page Up and Page Down change the magnification exponent and
// paint at once; they alternate between the default view (-7) and one zoomed out (-8), which holds
// four times the series pairs. (Un or Gs alone off by one would leave few pentagons to paint.)
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <cstdio>
#include <memory>

#include "bench_cases.h"
#include "bench_prompts.h"
#include "document/dib_doc.h"
#include "figure/reference_painter_support.h"
#include "picture/dib_image.h"
#include "view/dib_view.h"

namespace {

constexpr char kCase8[] = "8 key press render in the view";

// A new figure document in a shown view, painted once as on screen.
struct ShownView {
    ShownView() {
        doc->OnNewDocument();
        view = std::make_unique<CDibView>(*doc);
        view->resize(1300, 1000);
        view->show();
        view->OnInitialUpdate();
        if (!QTest::qWaitForWindowExposed(view.get())) std::fputs("view not exposed\n", stderr);
        view->viewport()->repaint();
    }
    BenchPrompts ui;
    std::unique_ptr<CDibDoc> doc = std::make_unique<CDibDoc>(ui);
    std::unique_ptr<CDibView> view;
};

Qt::Key KeyFor(int n) {
    return n % 2 == 0 ? Qt::Key_PageUp : Qt::Key_PageDown;
}

void KeyPressRender(benchmark::State& state) {
    ShownView shown;
    int n = 0;
    for (auto _ : state) {
        QTest::keyClick(shown.view.get(), KeyFor(n++));
        shown.view->viewport()->repaint();
    }
    state.counters["shapes"] = shown.doc->m_figure.m_nShapes;
}

// The same change of the exponent, painted by the literal painter into the document's picture
// and shown.
void KeyPressRenderLiterally(benchmark::State& state) {
    ShownView shown;
    FigureEngine& figure = shown.doc->m_figure;
    std::uint8_t* pixels = DibPixelData(shown.doc->m_hDIB->Bytes(), 0);
    int n = 0;
    for (auto _ : state) {
        figure.m_dMagnExp += n++ % 2 == 0 ? -1.0 : 1.0;
        ReferencePainter(figure).Paint(pixels, -1, shown.ui);
        shown.view->InvalidateAfterChange();
        shown.view->viewport()->repaint();
    }
}

}  // namespace

void RegisterViewCase() {
    benchmark::RegisterBenchmark((std::string(kCase8) + kEngineSuffix).c_str(), KeyPressRender)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
    benchmark::RegisterBenchmark((std::string(kCase8) + kReferenceSuffix).c_str(),
                                 KeyPressRenderLiterally)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}

void PrintViewTarget(const SuiteResults& results, std::ostream& out) {
    const CaseMedians* row = results.Find(kCase8);
    char detail[64];
    if (row != nullptr) {
        std::snprintf(detail, sizeof detail, "%.2f ms [%.2f ms]", row->engineCpuMs, row->engineMs);
    }
    PrintTarget(out, "case 8 within 16 ms (one 60 Hz frame)", row != nullptr,
                row != nullptr && row->engineCpuMs <= 16.0, row != nullptr ? detail : "");
    // Painted on every core: the wall clock counts.
    PrintTarget(out, "case 8 within 6 ms of real time", row != nullptr,
                row != nullptr && row->engineMs <= 6.0, row != nullptr ? detail : "");
}
