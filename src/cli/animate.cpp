#include "cli/animate.h"

#include <atomic>
#include <csignal>
#include <cstdio>

#include "cli/cli_prompts.h"
#include "cli/progress_line.h"
#include "document/animation.h"
#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "document/file_names.h"
#include "figure/painting_pool.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::atomic<bool> g_interrupted{false};

extern "C" void Interrupt(int) {
    g_interrupted.store(true);
}

int Fail(const std::string& reason, int status) {
    std::fprintf(stderr, "dorvanta-render: %s\n", reason.c_str());
    return status;
}

// What the command line asks beside the animation's own options, refused before any work.
std::string CheckAnimateOptions(const RenderOptions& options) {
    if (options.keyframes.size() < 2) {
        return "--animate wants two or more keyframes (.dat, .png or .svg files)";
    }
    if (!options.input.empty() || options.order || options.stats || !options.saveDat.empty() ||
        !options.pov.empty() || options.thumbnail || options.dpi || options.plotter ||
        !options.svgWidth.empty() || !options.stroke.empty()) {
        return "--animate goes with --duration, --durations, --fps, --size, --ease, --crf, "
               "--frame-dat, --threads, --quiet and -o only";
    }
    if (options.duration.has_value() == !options.durations.empty()) {
        return "--animate wants either --duration for the whole or --durations for each step";
    }
    if (!options.durations.empty() && options.durations.size() != options.keyframes.size() - 1) {
        return "--durations wants " + std::to_string(options.keyframes.size() - 1) +
               " times, one from each keyframe to the next, not " +
               std::to_string(options.durations.size());
    }
    if (options.output.empty()) return "--animate needs -o PATH";
    if (options.frameDat) {
        if (FileKindOfLastExtension(options.output) != FILE_KIND_DAT) {
            return "--frame-dat writes a parameter file: -o NAME.dat";
        }
        return "";
    }
    AnimationPlan plan;
    plan.width = plan.height = 2;  // the size is checked with the keyframes
    plan.fps = options.fps;
    plan.crf = options.crf.value_or(-1);
    return AnimationKindProblem(plan, options.output);
}

// The plan without its keyframes' figures read yet.
AnimationPlan PlanOf(const RenderOptions& options) {
    AnimationPlan plan;
    plan.fps = options.fps;
    plan.easing = options.ease == "ease-in-out" ? Easing::EaseInOut : Easing::Linear;
    plan.crf = options.crf.value_or(-1);
    const auto steps = static_cast<double>(options.keyframes.size() - 1);
    plan.durations = options.durations;
    if (options.duration)
        plan.durations.assign(options.keyframes.size() - 1, *options.duration / steps);
    return plan;
}

// Reads the keyframes and settles the size: --size, or the one size all keyframes share.
int ReadKeyframes(const RenderOptions& options, AnimationPlan& plan) {
    for (const std::string& path : options.keyframes) {
        FigureParams figure;
        if (std::string cause; !LoadKeyframe(path, figure, cause)) return Fail(cause, kExitFailed);
        plan.keyframes.push_back(figure);
    }
    if (options.width) {
        plan.width = *options.width;
        plan.height = *options.height;
        return 0;
    }
    const FigureParams& first = plan.keyframes.front();
    for (std::size_t k = 1; k < plan.keyframes.size(); ++k) {
        const FigureParams& other = plan.keyframes[k];
        if (other.m_nWidth != first.m_nWidth || other.m_nHeight != first.m_nHeight) {
            return Fail(options.keyframes[0] + " is " + std::to_string(first.m_nWidth) + "x" +
                            std::to_string(first.m_nHeight) + " but " + options.keyframes[k] +
                            " is " + std::to_string(other.m_nWidth) + "x" +
                            std::to_string(other.m_nHeight) + ": give the frames' --size",
                        kExitUsage);
        }
    }
    plan.width = first.m_nWidth;
    plan.height = first.m_nHeight;
    return 0;
}

int WriteFrameDat(const AnimationPlan& plan, const RenderOptions& options) {
    const std::int64_t count = FrameCount(plan);
    if (*options.frameDat >= count) {
        return Fail("--frame-dat " + std::to_string(*options.frameDat) +
                        ": the animation has frames 0 to " + std::to_string(count - 1),
                    kExitUsage);
    }
    if (SaveDatFile(FrameFigure(plan, *options.frameDat), options.output) != DAT_OK) {
        return Fail("could not write " + options.output, kExitFailed);
    }
    return 0;
}

}  // namespace

int RunAnimation(const RenderOptions& options) {
    if (std::string reason = CheckAnimateOptions(options); !reason.empty()) {
        return Fail(reason, kExitUsage);
    }
    AnimationPlan plan = PlanOf(options);
    if (int status = ReadKeyframes(options, plan); status != 0) return status;
    if (std::string problem = AnimationPlanProblem(plan); !problem.empty()) {
        return Fail(problem, kExitUsage);
    }
    if (options.frameDat) return WriteFrameDat(plan, options);
    if (std::string problem = AnimationKindProblem(plan, options.output); !problem.empty()) {
        return Fail(problem, kExitUsage);
    }
    if (std::string problem = AnimationOutputProblem(plan, options.output); !problem.empty()) {
        return Fail("cannot write " + options.output + ": " + problem, kExitFailed);
    }
    if (PaintingPool* pool = PaintingPool::Shared()) pool->SetAwakeWaiting(false);
    // Ctrl+C and a polite kill cancel the export, so that its temporary files go with it.
    std::signal(SIGINT, Interrupt);
    std::signal(SIGTERM, Interrupt);
    CliPrompts prompts;
    ProgressLine progress(stderr, ProgressLine::WantedOnStderr(options.quiet),
                          std::chrono::seconds(1), "frames");
    const AnimationResult result = ExportAnimation(
        plan, options.output, prompts,
        [&](std::int64_t done, std::int64_t total) { return progress.Update(done, total); },
        &g_interrupted, options.threads.value_or(0));
    if (result == AnimationResult::Cancelled) {
        return Fail("interrupted: " + options.output + " was not written", kExitFailed);
    }
    return result == AnimationResult::Written ? 0 : kExitFailed;
}
