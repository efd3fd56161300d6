// Keyframes and the figures between them.
#include "document/animation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "document/file_names.h"
#include "document/svg_export.h"
#include "figure/band_painting.h"
#include "figure/figure_engine.h"
#include "picture/png_file.h"
#include "picture/safe_file.h"
#include "picture/user_prompts.h"

namespace {

// Keeps the texts of the messages of a reading, to be named in one cause.
class CollectedTexts : public UserPrompts {
  public:
    int ShowMessage(const std::string& text, MsgButtons, MsgIcon) override {
        texts += (texts.empty() ? "" : "; ") + text;
        return IDOK;
    }
    std::string texts;
};

std::string CauseWithMessages(std::string cause, const std::string& messages) {
    std::string flat = messages;
    std::replace(flat.begin(), flat.end(), '\n', ' ');
    return messages.empty() ? cause : cause + ": " + flat;
}

bool LoadCarriedText(const std::string& path, const std::string& text, PictureSize size,
                     FigureParams& figure, std::string& cause) {
    CollectedTexts messages;
    const auto engine = std::make_unique<FigureEngine>();
    if (LoadDatText(*engine, text, messages) != DAT_OK) {
        cause = CauseWithMessages("cannot read the figure " + path + " carries", messages.texts);
        return false;
    }
    figure = *engine;
    figure.m_nWidth = size.width;
    figure.m_nHeight = size.height;
    return true;
}

double Lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

// Whole numbers that move: the nearest value on the way, as the painting rounds.
std::int32_t LerpWhole(std::int32_t a, std::int32_t b, double t) {
    const double v = std::floor(Lerp(a, b, t) + 0.5);
    return static_cast<std::int32_t>(std::clamp<double>(v, INT32_MIN, INT32_MAX));
}

// The share of the centre's way done when the exponent has gone the share t of its way d, so
// that a zoom turns about one point of the figure. On screen the figure point under pixel p is
// c + p / s (p from the picture's middle, s the scale, 2^exponent times a constant). With
// c(t) = c_a + (c_b − c_a) · w(t) and w = (1/s_a − 1/s(t)) / (1/s_a − 1/s_b), the point under
// every fixed pixel moves along a straight line in the figure, and one point F of the figure (the
// one both keyframes show at the same pixel) stays under that pixel all the way: the zoom runs
// about F at a steady speed, every other point gliding straight towards or away from it. Without
// a zoom w = t, a plain pan. Written with expm1 so that a tiny or a huge zoom stays exact.
double CentreShare(double t, double d) {
    if (d == 0.0 || !std::isfinite(d)) return t;
    constexpr double kLn2 = 0.6931471805599453;
    if (d > 0) return std::expm1(-t * d * kLn2) / std::expm1(-d * kLn2);
    const double e = -d;  // (2^(tE) − 1) / (2^E − 1), scaled down by 2^E so it cannot overflow
    return std::exp((t - 1) * e * kLn2) * std::expm1(-t * e * kLn2) / std::expm1(-e * kLn2);
}

// Index of the reference marker, or −1.
int ReferenceIndex(const FigureParams& f) {
    const char* r = static_cast<const char*>(std::memchr(f.m_szSeries, 'R', f.m_nSeriesLen));
    return r == nullptr ? -1 : static_cast<int>(r - f.m_szSeries);
}

// The steps of the series with the marker left out.
std::string StepsOf(const FigureParams& f) {
    std::string steps(f.m_szSeries, static_cast<std::size_t>(std::max(f.m_nSeriesLen, 0)));
    std::erase(steps, 'R');
    return steps;
}

// The marker moves along the series, one step at a time, when both keyframes mark one element of
// the same steps; otherwise the series changes at the middle with the other switches.
void MoveReference(const FigureParams& a, const FigureParams& b, double t, FigureParams& out) {
    const int ra = ReferenceIndex(a), rb = ReferenceIndex(b);
    if (ra < 0 || rb < 0) return;
    std::string steps = StepsOf(a);
    if (steps != StepsOf(b) || steps.size() + 1 != static_cast<std::size_t>(a.m_nSeriesLen) ||
        a.m_nSeriesLen != b.m_nSeriesLen) {
        return;
    }
    steps.insert(static_cast<std::size_t>(LerpWhole(ra, rb, t)), 1, 'R');
    std::memcpy(out.m_szSeries, steps.data(), steps.size());
    out.m_szSeries[steps.size()] = '\0';
    out.m_nSeriesLen = a.m_nSeriesLen;
}

}  // namespace

std::optional<double> ParseSeconds(std::string_view text) {
    double scale = 1.0;
    if (text.ends_with("ms")) {
        scale = 0.001;
        text.remove_suffix(2);
    } else if (text.ends_with("s")) {
        text.remove_suffix(1);
    }
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return {};
    if (!std::isfinite(value) || value < 0) return {};
    return value * scale;
}

bool LoadKeyframe(const std::string& path, FigureParams& figure, std::string& cause) {
    const int kind = FileKindOfLastExtension(path);
    if (kind == FILE_KIND_DAT) {
        CollectedTexts messages;
        const auto engine = std::make_unique<FigureEngine>();
        if (LoadDatFile(*engine, path, messages) != DAT_OK) {
            cause = CauseWithMessages("cannot read " + path, messages.texts);
            return false;
        }
        figure = *engine;
        return true;
    }
    if (kind == FILE_KIND_SVG) {
        SvgFigure svg;
        std::string reason;
        if (!ReadSvgFigure(path, svg, reason)) {
            cause = CauseWithMessages("cannot read " + path, reason);
            return false;
        }
        if (!LoadCarriedText(path, svg.parameterText, {svg.width, svg.height}, figure, cause)) {
            return false;
        }
        DrawOnlyOrder(figure, svg.order);
        return true;
    }
    if (kind != FILE_KIND_PNG) {
        cause = "cannot use " + path + " as a keyframe: not a .dat, .png or .svg file";
        return false;
    }
    CollectedTexts messages;
    PngFigure png;
    if (!PngReadFigure(path, png, messages)) {
        cause = CauseWithMessages("cannot read " + path, messages.texts);
        return false;
    }
    if (!png.parameterText) {
        cause = CauseWithMessages(path + " is a picture without a figure", messages.texts);
        return false;
    }
    if (!LoadCarriedText(path, *png.parameterText, png.size, figure, cause)) return false;
    DrawOnlyOrder(figure, png.onlyOrder);
    return true;
}

void DrawOnlyOrder(FigureParams& figure, int order) {
    if (order < 0 || order >= kOrderCount) return;
    for (int n = 0; n < kOrderCount; ++n) figure.m_orders[n].drawOrder = n == order;
    figure.m_nCurrentOrder = order;
}

std::vector<std::int64_t> IntervalFrameCounts(const AnimationPlan& plan) {
    std::vector<std::int64_t> counts;
    for (double seconds : plan.durations) {
        const double frames = std::floor(seconds * plan.fps + 0.5);
        counts.push_back(std::isfinite(frames) && frames >= 1
                             ? static_cast<std::int64_t>(std::min(frames, 1e15))
                             : 1);
    }
    return counts;
}

std::int64_t FrameCount(const AnimationPlan& plan) {
    std::int64_t total = 1;
    for (std::int64_t frames : IntervalFrameCounts(plan)) total += frames;
    return total;
}

std::string AnimationPlanProblem(const AnimationPlan& plan) {
    if (plan.keyframes.size() < 2) return "an animation needs two or more keyframes";
    if (plan.durations.size() != plan.keyframes.size() - 1) {
        return "give one duration between each two keyframes (" +
               std::to_string(plan.keyframes.size() - 1) + "), not " +
               std::to_string(plan.durations.size());
    }
    if (plan.fps < 1 || plan.fps > kMaxAnimationFps) {
        return "the frame rate must be 1 to " + std::to_string(kMaxAnimationFps) +
               " frames a second, not " + std::to_string(plan.fps);
    }
    if (plan.width < 1 || plan.height < 1 || plan.width > kMaxAnimationSide ||
        plan.height > kMaxAnimationSide ||
        std::int64_t{plan.width} * plan.height > kMaxAnimationPixels) {
        return "the frame size must be 1 to " + std::to_string(kMaxAnimationSide) +
               " pixels a side and at most " + std::to_string(kMaxAnimationPixels) +
               " pixels, not " + std::to_string(plan.width) + "x" + std::to_string(plan.height);
    }
    double total = 0;
    for (double seconds : plan.durations) {
        if (!std::isfinite(seconds) || seconds * plan.fps < 0.5) {
            return "every duration must last at least one frame (" +
                   std::to_string(1000.0 / plan.fps).substr(0, 5) + " ms at " +
                   std::to_string(plan.fps) + " frames a second)";
        }
        total += seconds;
    }
    if (total * plan.fps + 1 > static_cast<double>(kMaxAnimationFrames)) {
        return "the animation would have more than " + std::to_string(kMaxAnimationFrames) +
               " frames";
    }
    return "";
}

double EasedTime(Easing easing, double t) {
    t = std::clamp(t, 0.0, 1.0);
    if (easing == Easing::Linear) return t;
    return t * t * (3 - 2 * t);  // slow at both ends, the middle at the middle
}

FigureParams BetweenFigures(const FigureParams& a, const FigureParams& b, double t) {
    // Switches, the series, the current order and the texts change at the middle.
    FigureParams out = t < 0.5 ? a : b;
    out.m_nWidth = a.m_nWidth;
    out.m_nHeight = a.m_nHeight;
    if (t <= 0 || t >= 1) return out;
    out.m_nUn = LerpWhole(a.m_nUn, b.m_nUn, t);
    out.m_nGs = LerpWhole(a.m_nGs, b.m_nGs, t);
    MoveReference(a, b, t, out);
    out.m_dMagnExp = Lerp(a.m_dMagnExp, b.m_dMagnExp, t);
    const double w = CentreShare(t, b.m_dMagnExp - a.m_dMagnExp);
    out.m_dCentreX = Lerp(a.m_dCentreX, b.m_dCentreX, w);
    out.m_dCentreY = Lerp(a.m_dCentreY, b.m_dCentreY, w);
    for (int n = 0; n < kOrderCount; ++n) {
        out.m_orders[n].transparency =
            Lerp(a.m_orders[n].transparency, b.m_orders[n].transparency, t);
    }
    for (int e = 0; e < kColourEntries; ++e) {
        for (int c = 0; c < 3; ++c) {
            out.m_colours[e][c] =
                static_cast<std::uint8_t>(LerpWhole(a.m_colours[e][c], b.m_colours[e][c], t));
        }
    }
    return out;
}

FigureParams FrameFigure(const AnimationPlan& plan, std::int64_t frame) {
    const std::vector<std::int64_t> counts = IntervalFrameCounts(plan);
    std::size_t interval = 0;
    std::int64_t start = 0;
    while (interval < counts.size() && frame >= start + counts[interval]) {
        start += counts[interval++];
    }
    FigureParams figure;
    if (interval >= counts.size()) {
        figure = plan.keyframes.back();
    } else {
        const double t = static_cast<double>(frame - start) / static_cast<double>(counts[interval]);
        figure = BetweenFigures(plan.keyframes[interval], plan.keyframes[interval + 1],
                                EasedTime(plan.easing, t));
    }
    figure.m_nWidth = plan.width;
    figure.m_nHeight = plan.height;
    // Written as a parameter file it reads back whole, whatever the keyframes' format was.
    static const auto defaults = std::make_unique<FigureEngine>();
    std::strcpy(figure.m_szVersion, defaults->m_szVersion);
    return figure;
}

bool PaintAnimationFrame(const AnimationPlan& plan, std::int64_t frame, DibHandle& handle,
                         UserPrompts& ui) {
    const auto engine = std::make_unique<FigureEngine>();
    static_cast<FigureParams&>(*engine) = FrameFigure(plan, frame);
    if (!DibAllocatePicture(handle, plan.width, plan.height, ui)) return false;
    DibInitHeader24(handle->Bytes(), plan.width, plan.height);
    engine->m_nRowBytes = static_cast<std::int32_t>(DibRowStride(plan.width, 24));
    PaintFigureThreaded(*engine, DibPixelData(handle->Bytes(), 0), -1, ui,
                        ThreadsWorthUsing(*engine, DefaultPaintingThreads()));
    return true;
}
