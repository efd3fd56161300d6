// Animations: keyframe figures with durations between them, the figure of every frame in between,
// and the export that paints the frames on the painting threads into an animated PNG, a folder
// of numbered PNG files or a video, in bounded memory and through a temporary file.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "figure/figure_params.h"
#include "picture/dib_image.h"

class UserPrompts;

enum class Easing { Linear, EaseInOut };

// What an animation is made of. The keyframes keep their own picture size; the frames are painted
// at width x height.
struct AnimationPlan {
    std::vector<FigureParams> keyframes;  // two or more
    std::vector<double> durations;        // seconds from each keyframe to the next
    int fps = 30;
    int width = 0;
    int height = 0;
    Easing easing = Easing::Linear;
    int crf = -1;  // quality of a video; -1: the kind's default
};

// A duration as written on a command line or in a dialog: seconds ("6s", "2.5s", "6") or
// milliseconds ("500ms"); nothing for any other text, a negative or non-finite value.
std::optional<double> ParseSeconds(std::string_view text);

// Limits that keep a plan sane: a frame rate beyond what players show, or a picture or a frame
// count no one can have meant, is refused before anything is painted.
inline constexpr int kMaxAnimationFps = 240;
inline constexpr int kMaxAnimationSide = 16384;
inline constexpr std::int64_t kMaxAnimationPixels = std::int64_t{8192} * 8192;
inline constexpr std::int64_t kMaxAnimationFrames = 1000000;

// Reads a keyframe: a parameter file (.dat, painted at 1200 x 900), or the figure a Dorvanta PNG
// or SVG carries at the size it had (a painting of one order alone becomes a figure that draws
// only that order). False with the cause, for a file that cannot be read or carries no figure.
bool LoadKeyframe(const std::string& path, FigureParams& figure, std::string& cause);

// The figure of a painting of one order alone (order 0..9) as a figure painted whole: only that
// order drawn. Other orders (-1) leave the figure as it is.
void DrawOnlyOrder(FigureParams& figure, int order);

// Why the plan cannot be made ("" when it can): fewer than two keyframes, durations that do not
// match them, a duration too short for one frame, the frame rate, the size, too many frames.
std::string AnimationPlanProblem(const AnimationPlan& plan);

// Frames of each interval: its duration times the frame rate, rounded (at least one).
std::vector<std::int64_t> IntervalFrameCounts(const AnimationPlan& plan);
// Every interval's frames and one more, the last keyframe itself.
std::int64_t FrameCount(const AnimationPlan& plan);

// Time within an interval (0..1) as the easing moves it.
double EasedTime(Easing easing, double t);

// The figure of frame n (0 .. FrameCount − 1) at the plan's size. The first frame of each
// interval is its keyframe's figure, the last frame the last keyframe's.
FigureParams FrameFigure(const AnimationPlan& plan, std::int64_t frame);

// The figure between two keyframes at eased time t (0..1), at a's size; see animation.cpp for
// how each parameter moves.
FigureParams BetweenFigures(const FigureParams& a, const FigureParams& b, double t);

// Paints frame n into handle (a new picture block of the plan's size): the picture the document
// paints for FrameFigure(plan, n). False with the message shown when there is no memory.
bool PaintAnimationFrame(const AnimationPlan& plan, std::int64_t frame, DibHandle& handle,
                         UserPrompts& ui);

// ---- Output ----

enum class AnimationKind {
    AnimatedPng,  // NAME.png
    PngFrames,    // a pattern such as frames/f%05d.png: one PNG per frame
    Mp4,          // H.264 in MP4
    Webm,         // VP9 in WebM
};

// The kind by the path: a .png name holding one printf number field (%d, %05d) is a folder
// pattern; nothing for an unknown extension.
std::optional<AnimationKind> AnimationKindOfPath(const std::string& path);

// Why the plan cannot be written as path's kind ("" when it can): an unknown kind, a bad
// pattern, a size, frame rate or quality the kind cannot take.
std::string AnimationKindProblem(const AnimationPlan& plan, const std::string& path);
// AnimationKindProblem, then whether the folder exists and can be written. Checked before
// anything is painted.
std::string AnimationOutputProblem(const AnimationPlan& plan, const std::string& path);

// The name of frame n under a folder pattern.
std::string FramePathOf(const std::string& pattern, std::int64_t frame);

// Frames written so far, of all frames; false cancels the export.
using AnimationProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

enum class AnimationResult { Written, Cancelled, Failed };

// Paints every frame of the plan on up to `threads` painting threads while the output takes the
// earlier ones (memory bounded whatever the length) and writes them to path, through temporary
// files: a cancel (progress returning false, or *cancel set from any thread) or a failure leaves
// no file and an older file of that name intact. A failure is shown once through ui as
// "Failed to write: " + path + "\n" + the cause; a cancel shows nothing. progress and ui are used
// on the calling thread only.
AnimationResult ExportAnimation(const AnimationPlan& plan, const std::string& path, UserPrompts& ui,
                                const AnimationProgress& progress = {},
                                const std::atomic<bool>* cancel = nullptr, int threads = 0);
