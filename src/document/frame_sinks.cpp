// The animated PNG, the folder of PNG files and the video.
#include "document/frame_sinks.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "document/dat_file.h"
#include "document/poster_file.h"
#include "document/video_file.h"
#include "picture/png_file.h"
#include "picture/safe_file.h"

namespace {

std::string ErrorText(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

// Encoded bytes into an open file, keeping the cause of the first failed write.
PngRowEncoder::Sink WriteInto(std::FILE* file, int& writeError) {
    return [file, &writeError](const std::uint8_t* bytes, std::size_t count) {
        if (std::fwrite(bytes, 1, count, file) == count) return true;
        writeError = errno ? errno : EIO;
        return false;
    };
}

// One file: every frame in an APNG that loops for ever, the first keyframe's figure in its
// parameter chunk (the first frame shows it, so opening the file gives that frame back).
class AnimatedPngSink : public FrameSink {
  public:
    AnimatedPngSink(const AnimationPlan& plan, const std::string& path, int threads)
        : m_file(path), m_frames(FrameCount(plan)) {
        if (!m_file.Open()) {
            Fail(ErrorText(m_file.Error()));
            return;
        }
        PngExtras extras;
        extras.animation.frames = static_cast<std::uint32_t>(m_frames);
        extras.animation.delayDenominator = static_cast<std::uint16_t>(plan.fps);
        m_png = std::make_unique<PngRowEncoder>(
            plan.width, plan.height, DatFileText(FrameFigure(plan, 0)),
            WriteInto(m_file.Stream(), m_writeError), extras, PngOnPaintingThreads(threads));
        m_height = plan.height;
    }
    bool Opened() const { return m_png != nullptr; }

    bool AddFrame(const FigureParams&, const std::uint8_t* topRow, std::ptrdiff_t stride) override {
        if (!m_png->AddRows(topRow, m_height, stride) || !m_png->Finish()) return WriteFailed();
        ++m_written;
        return true;
    }

    bool Finish() override {
        if (m_written != m_frames) return Fail("the animation ended before its last frame");
        if (!m_file.Commit()) return Fail(ErrorText(m_file.Error()));
        return true;
    }

  private:
    bool WriteFailed() { return Fail(m_writeError ? ErrorText(m_writeError) : "no memory left"); }

    SafeFile m_file;
    std::int64_t m_frames;
    std::int64_t m_written = 0;
    int m_height = 0;
    int m_writeError = 0;
    std::unique_ptr<PngRowEncoder> m_png;
};

// One PNG per frame, each with its own figure, the bytes dorvanta-render writes for that figure
// at that size (RGB, as every picture painted straight into its file). The files are written under temporary names and
// all renamed at the end, so a cancel or a failure leaves none and older frames intact.
class PngFolderSink : public FrameSink {
  public:
    PngFolderSink(const AnimationPlan& plan, const std::string& pattern, int threads)
        : m_pattern(pattern), m_plan(plan), m_threads(threads) {}
    ~PngFolderSink() override {
        for (const std::string& part : m_parts) {
            if (!part.empty()) std::remove(part.c_str());
        }
    }

    bool AddFrame(const FigureParams& figure, const std::uint8_t* topRow,
                  std::ptrdiff_t stride) override {
        const std::string target =
            FramePathOf(m_pattern, static_cast<std::int64_t>(m_parts.size()));
        const std::string part = target + ".part-" + std::to_string(getpid());
        std::FILE* file = std::fopen(part.c_str(), "wbx");
        if (file == nullptr) return Fail(target + ": " + ErrorText(errno));
        m_parts.push_back(part);
        int writeError = 0;
        PngRowEncoder png(m_plan.width, m_plan.height, DatFileText(figure),
                          WriteInto(file, writeError), {}, PngOnPaintingThreads(m_threads));
        const bool encoded = png.AddRows(topRow, m_plan.height, stride) && png.Finish();
        if (encoded && (std::fflush(file) != 0 || fsync(fileno(file)) != 0)) writeError = errno;
        const bool closed = std::fclose(file) == 0;
        if (!closed && writeError == 0) writeError = errno;
        if (!encoded || writeError != 0) {
            return Fail(
                target + ": " +
                (writeError || encoded ? ErrorText(writeError) : std::string("no memory left")));
        }
        return true;
    }

    bool Finish() override {
        for (std::size_t n = 0; n < m_parts.size(); ++n) {
            const std::string target = FramePathOf(m_pattern, static_cast<std::int64_t>(n));
            if (std::rename(m_parts[n].c_str(), target.c_str()) != 0) {
                return Fail(target + ": " + ErrorText(errno));
            }
            m_parts[n].clear();
        }
        m_parts.clear();
        return true;
    }

  private:
    std::string m_pattern;
    const AnimationPlan& m_plan;
    int m_threads;
    std::vector<std::string> m_parts;  // written, not yet renamed
};

// H.264 in MP4 or VP9 in WebM; the video file writes through its own temporary file.
class VideoSink : public FrameSink {
  public:
    explicit VideoSink(std::unique_ptr<VideoFile> video) : m_video(std::move(video)) {}

    bool AddFrame(const FigureParams&, const std::uint8_t* topRow, std::ptrdiff_t stride) override {
        return m_video->AddFrame(topRow, stride) || Fail(m_video->Cause());
    }
    bool Finish() override { return m_video->Finish() || Fail(m_video->Cause()); }

  private:
    std::unique_ptr<VideoFile> m_video;
};

}  // namespace

VideoSettings VideoSettingsOf(const AnimationPlan& plan, VideoKind kind) {
    VideoSettings settings;
    settings.width = plan.width;
    settings.height = plan.height;
    settings.fps = plan.fps;
    settings.crf = plan.crf;
    settings.kind = kind;
    return settings;
}

std::unique_ptr<FrameSink> OpenFrameSink(const AnimationPlan& plan, const std::string& path,
                                         int threads, std::string& cause) {
    const std::optional<AnimationKind> kind = AnimationKindOfPath(path);
    if (kind == AnimationKind::AnimatedPng) {
        auto sink = std::make_unique<AnimatedPngSink>(plan, path, threads);
        if (sink->Opened()) return sink;
        cause = sink->Cause();
        return nullptr;
    }
    if (kind == AnimationKind::PngFrames)
        return std::make_unique<PngFolderSink>(plan, path, threads);
    const std::optional<VideoKind> video = VideoKindOfPath(path);
    if (!video) {
        cause = "not an animation's kind of file";
        return nullptr;
    }
    std::unique_ptr<VideoFile> file = VideoFile::Create(path, VideoSettingsOf(plan, *video), cause);
    if (!file) return nullptr;
    return std::make_unique<VideoSink>(std::move(file));
}
