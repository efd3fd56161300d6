// The encoder behind VideoFile. It lives in a module of its own (dorvanta-video.so) that carries
// FFmpeg's libraries, so that only a process that writes a video loads them: the painting and the
// thumbnailer start without their hundred-odd shared libraries.
//
// The module exports one C function, kVideoEncoderFactory, of type VideoEncoderFactory. VideoFile
// checks the settings and the file's name first and resolves the default crf; the factory opens the
// encoder and the temporary file beside path, or returns null with cause set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "document/video_file.h"

class VideoEncoder {
  public:
    virtual ~VideoEncoder() = default;
    virtual bool AddFrame(const std::uint8_t* topRow, std::ptrdiff_t stride) = 0;
    virtual bool Finish() = 0;
    virtual const std::string& Cause() const = 0;
    virtual std::int64_t FrameCount() const = 0;
};

using VideoEncoderFactory = VideoEncoder* (*)(const std::string& path,
                                              const VideoSettings& settings, std::string& cause);
inline constexpr const char* kVideoEncoderFactory = "DorvantaOpenVideoEncoder";

inline const char* VideoKindName(VideoKind kind) {
    return kind == VideoKind::Mp4H264 ? "H.264" : "VP9";
}
