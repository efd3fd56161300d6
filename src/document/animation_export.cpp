// The export of an animation: frames painted on the painting threads, a few at once, into a ring
// of picture blocks that the output empties in order on the calling thread.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "document/animation.h"
#include "document/file_names.h"
#include "document/frame_sinks.h"
#include "document/video_file.h"
#include "figure/band_painting.h"
#include "figure/figure_engine.h"
#include "picture/user_prompts.h"

namespace {

// The frames held at once, painted or being painted, all together: a 3840 x 2160 animation keeps
// three, small pictures a few per thread.
constexpr std::size_t kFrameMemory = std::size_t{80} << 20;

// The number field of a frame pattern: '%', an optional '0', at most two digits of width, 'd'.
struct NumberField {
    std::size_t start = 0, length = 0;
    int width = 0;
    bool zeros = false;
};

std::optional<NumberField> NumberFieldOf(const std::string& pattern) {
    const std::size_t at = pattern.find('%');
    if (at == std::string::npos || pattern.find('%', at + 1) != std::string::npos) return {};
    NumberField field{at, 1, 0, false};
    std::size_t i = at + 1;
    if (i < pattern.size() && pattern[i] == '0') field.zeros = true, ++i;
    for (int digits = 0; i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i]));
         ++i) {
        if (++digits > 2) return {};
        field.width = field.width * 10 + (pattern[i] - '0');
    }
    if (i >= pattern.size() || pattern[i] != 'd') return {};
    field.length = i + 1 - at;
    return field;
}

bool EndsWith(const std::string& text, std::string_view end) {
    if (text.size() < end.size()) return false;
    return std::equal(end.rbegin(), end.rend(), text.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

// Why nothing can be written into the folder of path ("" when it can).
std::string FolderProblem(const std::string& path) {
    const std::string directory = DirectoryOf(path);
    const std::string folder = directory.empty() ? std::string(".") : directory;
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return std::string("the folder ").append(folder).append(" does not exist");
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        return std::string("the folder ").append(folder).append(" cannot be written");
    }
    return "";
}

// Messages of the painting threads, each text once, for the calling thread to show.
class PaintingMessages : public UserPrompts {
  public:
    int ShowMessage(const std::string& text, MsgButtons, MsgIcon) override {
        std::lock_guard lock(m_mutex);
        if (m_seen.insert(text).second) m_texts.push_back(text);
        return IDOK;
    }
    void ShowTo(UserPrompts& ui) const {
        for (const std::string& text : m_texts) ui.ShowMessage(text);
    }

  private:
    std::mutex m_mutex;
    std::set<std::string> m_seen;
    std::vector<std::string> m_texts;
};

struct FrameSlot {
    DibHandle picture;
    FigureParams figure;
};

// Frame f lives in slot f % size. The painter fills frames [0, painted), the output has emptied
// [0, taken); the painter starts a frame only when its slot has been emptied.
class FrameRing {
  public:
    FrameRing(const AnimationPlan& plan, int threads, const std::atomic<bool>* cancel)
        : m_plan(plan), m_total(FrameCount(plan)), m_cancel(cancel) {
        const std::size_t frameBytes =
            std::max<std::size_t>(DibPictureBytes(plan.width, plan.height), 1);
        const auto fitting = static_cast<int>(std::max<std::size_t>(kFrameMemory / frameBytes, 2));
        const int wanted = std::min<std::int64_t>(m_total, 2 * threads + 2);
        m_lanes = std::clamp(std::min(fitting, wanted) / 2, 1, threads);
        m_threads = threads;
        m_slots.resize(
            static_cast<std::size_t>(std::clamp(std::min(fitting, wanted), 1, 2 * threads + 2)));
        for (int lane = 0; lane < m_lanes; ++lane)
            m_engines.push_back(std::make_unique<FigureEngine>());
    }

    // The blocks of every slot: false, with the message shown, without memory for them.
    bool Allocate(UserPrompts& ui) {
        for (FrameSlot& slot : m_slots) {
            if (!DibAllocatePicture(slot.picture, m_plan.width, m_plan.height, ui)) return false;
            DibInitHeader24(slot.picture->Bytes(), m_plan.width, m_plan.height);
        }
        return true;
    }

    // The painter's loop (its own thread): a batch of frames at a time, one per lane.
    void Paint() {
        try {
            PaintBatches();
        } catch (const std::exception&) {
            m_failed = true;  // no memory: the output finds the frames missing
        }
        std::lock_guard lock(m_mutex);
        m_painterDone = true;
        m_changed.notify_all();
    }

    void PaintBatches() {
        for (std::int64_t next = 0; next < m_total;) {
            const int count = static_cast<int>(std::min<std::int64_t>(m_lanes, m_total - next));
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] {
                    return m_stop ||
                           next + count - m_taken <= static_cast<std::int64_t>(m_slots.size());
                });
                if (m_stop || Cancelled()) break;
            }
            if (count == 1) {
                PaintFrame(next, 0, m_threads);
            } else {
                RunOnPaintingThreads(count, count,
                                     [&](int lane) { PaintFrame(next + lane, lane, 1); });
            }
            std::lock_guard lock(m_mutex);
            next += count;
            m_painted = next;
            m_changed.notify_all();
        }
    }

    // The next frame in order, or null once the painter has stopped.
    const FrameSlot* Take(std::int64_t frame) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_painted > frame || m_painterDone; });
        if (m_painted <= frame) return nullptr;
        return &m_slots[static_cast<std::size_t>(frame %
                                                 static_cast<std::int64_t>(m_slots.size()))];
    }
    void Release(std::int64_t frame) {
        std::lock_guard lock(m_mutex);
        m_taken = frame + 1;
        m_changed.notify_all();
    }
    void Stop() {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    bool Cancelled() const { return m_cancel != nullptr && m_cancel->load(); }
    bool Failed() const { return m_failed; }
    std::int64_t Total() const { return m_total; }
    const PaintingMessages& Messages() const { return m_messages; }

  private:
    void PaintFrame(std::int64_t frame, int lane, int threads) {
        FrameSlot& slot =
            m_slots[static_cast<std::size_t>(frame % static_cast<std::int64_t>(m_slots.size()))];
        FigureEngine& engine = *m_engines[static_cast<std::size_t>(lane)];
        slot.figure = FrameFigure(m_plan, frame);
        static_cast<FigureParams&>(engine) = slot.figure;
        engine.m_nRowBytes = static_cast<std::int32_t>(DibRowStride(m_plan.width, 24));
        PaintFigureThreaded(engine, DibPixelData(slot.picture->Bytes(), 0), -1, m_messages,
                            ThreadsWorthUsing(engine, threads));
    }

    const AnimationPlan& m_plan;
    std::int64_t m_total;
    const std::atomic<bool>* m_cancel;
    int m_lanes = 1;
    int m_threads = 1;
    std::vector<FrameSlot> m_slots;
    std::vector<std::unique_ptr<FigureEngine>> m_engines;
    PaintingMessages m_messages;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::int64_t m_painted = 0;
    std::int64_t m_taken = 0;
    bool m_stop = false;
    bool m_painterDone = false;
    std::atomic<bool> m_failed{false};
};

// The frames from the ring into the sink, in order, on the calling thread.
AnimationResult WriteFrames(FrameRing& ring, FrameSink& sink, const AnimationProgress& progress) {
    for (std::int64_t frame = 0; frame < ring.Total(); ++frame) {
        if (ring.Cancelled()) return AnimationResult::Cancelled;
        const FrameSlot* slot = ring.Take(frame);
        if (slot == nullptr)
            return ring.Failed() ? AnimationResult::Failed : AnimationResult::Cancelled;
        const DibInfo info = DibDescribe(slot->picture->Bytes());
        const std::int64_t stride = DibRowStride(info.width, 24);
        const std::uint8_t* top =
            DibPixelData(slot->picture->Bytes(), 0) + (info.height - 1) * stride;
        if (!sink.AddFrame(slot->figure, top, -stride)) return AnimationResult::Failed;
        ring.Release(frame);
        if (progress && !progress(frame + 1, ring.Total())) return AnimationResult::Cancelled;
    }
    if (ring.Cancelled()) return AnimationResult::Cancelled;
    return sink.Finish() ? AnimationResult::Written : AnimationResult::Failed;
}

}  // namespace

std::optional<AnimationKind> AnimationKindOfPath(const std::string& path) {
    if (EndsWith(path, ".png")) {
        return path.find('%') == std::string::npos ? AnimationKind::AnimatedPng
                                                   : AnimationKind::PngFrames;
    }
    if (const auto video = VideoKindOfPath(path)) {
        return *video == VideoKind::Mp4H264 ? AnimationKind::Mp4 : AnimationKind::Webm;
    }
    return {};
}

std::string FramePathOf(const std::string& pattern, std::int64_t frame) {
    const std::optional<NumberField> field = NumberFieldOf(pattern);
    if (!field) return pattern;
    std::string number = std::to_string(frame);
    if (number.size() < static_cast<std::size_t>(field->width)) {
        number.insert(0, field->width - number.size(), field->zeros ? '0' : ' ');
    }
    return pattern.substr(0, field->start) + number + pattern.substr(field->start + field->length);
}

std::string AnimationKindProblem(const AnimationPlan& plan, const std::string& path) {
    const std::optional<AnimationKind> kind = AnimationKindOfPath(path);
    if (!kind) {
        return "an animation is written as .mp4, .webm, .png or a pattern such as "
               "frames/f%05d.png, not " +
               path;
    }
    if (*kind == AnimationKind::PngFrames) {
        if (!NumberFieldOf(path)) {
            return "a frame pattern holds one number field such as %d or %05d, not " + path;
        }
        if (DirectoryOf(path).find('%') != std::string::npos) {
            return "the number field of " + path + " belongs in the file name, not the folder";
        }
    }
    if (const std::optional<VideoKind> video = VideoKindOfPath(path)) {
        return VideoSettingsProblem(VideoSettingsOf(plan, *video));
    }
    return "";
}

std::string AnimationOutputProblem(const AnimationPlan& plan, const std::string& path) {
    const std::string problem = AnimationKindProblem(plan, path);
    return problem.empty() ? FolderProblem(path) : problem;
}

AnimationResult ExportAnimation(const AnimationPlan& plan, const std::string& path, UserPrompts& ui,
                                const AnimationProgress& progress, const std::atomic<bool>* cancel,
                                int threads) {
    auto fail = [&](const std::string& cause) {
        ui.ShowMessage("Failed to write: " + path + "\n" + cause);
        return AnimationResult::Failed;
    };
    std::string problem = AnimationPlanProblem(plan);
    if (problem.empty()) problem = AnimationOutputProblem(plan, path);
    if (!problem.empty()) return fail(problem);
    threads = threads > 0 ? threads : DefaultPaintingThreads();
    FrameRing ring(plan, threads, cancel);
    if (!ring.Allocate(ui)) return AnimationResult::Failed;
    std::string cause;
    std::unique_ptr<FrameSink> sink = OpenFrameSink(plan, path, threads, cause);
    if (!sink) return fail(cause);
    std::thread painter;
    try {
        painter = std::thread(&FrameRing::Paint, &ring);
    } catch (const std::system_error& error) {
        return fail(std::string("cannot start the painting: ") + error.what());
    }
    AnimationResult result = AnimationResult::Failed;
    try {
        result = WriteFrames(ring, *sink, progress);
    } catch (const std::bad_alloc&) {
        cause = "no memory left";
    }
    ring.Stop();
    painter.join();
    if (ring.Failed()) cause = "no memory left for the painting";
    ring.Messages().ShowTo(ui);
    if (result == AnimationResult::Failed) return fail(cause.empty() ? sink->Cause() : cause);
    return result;
}
