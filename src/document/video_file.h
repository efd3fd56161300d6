// A video file written frame by frame with FFmpeg's libraries: H.264 in MP4 or VP9 in WebM.
//
//   std::string cause;
//   auto video = VideoFile::Create("zoom.mp4", settings, cause);  // null: cause says why
//   for (each frame) if (!video->AddFrame(top, stride)) return Report(video->Cause());
//   if (!video->Finish()) return Report(video->Cause());
//
// - Frames are rows of blue, green, red bytes (the picture block's packing); they are converted
//   to yuv420p with BT.709 coefficients in limited range, and the stream says so, so that players
//   need not guess the colours.
// - MP4 keeps its index at the front (it plays while it loads) and uses the High profile; both
//   kinds play in browsers and phones.
// - The file is written to a temporary file beside the path and renamed over it by Finish():
//   a failure, or destroying the writer before Finish(), leaves no file and an older file intact.
//   A folder that refuses the temporary file is refused too (an older file is never written in
//   place, which a cancel would spoil).
// - Memory stays bounded whatever the length: each frame goes straight to the encoder.
// - FFmpeg's libraries come with the encoder module (video_encoder.h), loaded by the first Create
//   of a process; when it cannot be loaded, Create fails with the cause.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

enum class VideoKind { Mp4H264, WebmVp9 };

// The kind named by the path's extension (.mp4, .webm, in any case); nothing for others.
std::optional<VideoKind> VideoKindOfPath(const std::string& path);

// "" when a picture of width x height can be encoded as kind; else a sentence saying why not.
std::string VideoSizeProblem(VideoKind kind, int width, int height);

// Quality: the constant rate factor, lower is better and larger. H.264 takes 1 to 51 (0 would be
// lossless, which needs a profile browsers do not play), VP9 0 to 63.
int VideoCrfMin(VideoKind kind);
int VideoCrfMax(VideoKind kind);
int VideoDefaultCrf(VideoKind kind);
inline constexpr int kVideoFpsMin = 1;
inline constexpr int kVideoFpsMax = 240;

struct VideoSettings {
    int width = 0;
    int height = 0;
    int fps = 30;
    int crf = -1;  // -1: the kind's default
    VideoKind kind = VideoKind::Mp4H264;
    int threads = 0;  // 0: automatic
};

// "" when the settings can be encoded (size, frame rate, crf, threads); else a sentence saying why.
std::string VideoSettingsProblem(const VideoSettings& settings);

class VideoFile {
  public:
    // Opens the encoder and a temporary file beside path; null with cause set on failure.
    static std::unique_ptr<VideoFile> Create(const std::string& path, const VideoSettings& settings,
                                             std::string& cause);
    // Without a successful Finish: the temporary file is removed, an older file at path intact.
    ~VideoFile();
    VideoFile(const VideoFile&) = delete;
    VideoFile& operator=(const VideoFile&) = delete;

    // One frame: rows of blue, green, red bytes, topRow the top row, stride bytes to the next
    // row down (negative for a bottom-up block).
    bool AddFrame(const std::uint8_t* topRow, std::ptrdiff_t stride);
    // Flushes the encoder, writes the trailer and renames the temporary file over path.
    bool Finish();
    // Why the last call failed.
    const std::string& Cause() const;
    // Frames given so far.
    std::int64_t FrameCount() const;

    struct State;

  private:
    explicit VideoFile(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};
