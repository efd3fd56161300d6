#include "document/video_encoder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>

#include "picture/safe_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

// A keyframe every few seconds: a player seeks quickly, slow pictures still cost little.
constexpr int kKeyframeSeconds = 4;
constexpr int kIoBufferBytes = 1 << 16;
// x264 holds a frame for each thread, B-frame, reference and step of its lookahead, about 6 bytes
// a pixel with its half-pixel planes; it may hold this much in all.
constexpr double kX264FrameBytesPerPixel = 6.0;
constexpr double kX264MemoryBytes = 150e6;
constexpr int kX264MaxLookahead = 10;  // the preset's own

std::string AvErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// FFmpeg's libraries write their notes and statistics on stderr; the program reports causes itself,
// so they are kept back, all but the last error of this thread, which goes into a cause.
thread_local std::string t_libraryError;

void KeepLibraryError(void* context, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) return;
    char line[512] = {};
    int prefix = 1;
    av_log_format_line2(context, level, format, arguments, line, sizeof line, &prefix);
    t_libraryError = line;
    while (!t_libraryError.empty() &&
           std::isspace(static_cast<unsigned char>(t_libraryError.back())))
        t_libraryError.pop_back();
}

void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(KeepLibraryError); });
}

// The library's error text, and its own last message where it gave one.
std::string LibraryError(int error) {
    std::string text = AvErrorText(error);
    if (!t_libraryError.empty()) text += " (" + t_libraryError + ")";
    return text;
}

}  // namespace

namespace {

class FfmpegEncoder final : public VideoEncoder {
  public:
    FfmpegEncoder(const std::string& path, const VideoSettings& s) : out(path), settings(s) {}
    ~FfmpegEncoder() override {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format != nullptr) {
            format->pb = nullptr;
            avformat_free_context(format);
        }
        if (io != nullptr) av_freep(&io->buffer);
        avio_context_free(&io);
    }

    bool AddFrame(const std::uint8_t* topRow, std::ptrdiff_t stride) override;
    bool Finish() override;
    const std::string& Cause() const override { return cause; }
    std::int64_t FrameCount() const override { return frames; }

    bool Open(std::string& why);
    bool OpenOutput(std::string& why);
    bool OpenEncoder(std::string& why);
    bool Encode(const AVFrame* picture);
    bool Fail(std::string why);
    bool FailWith(const char* what, int error);

    // The file's bytes go through stdio's unbuffered stream (FFmpeg buffers them already), so that
    // the MP4 muxer, which reads the file back to put its index in front, finds every byte.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
    static int WriteBytes(void* opaque, const std::uint8_t* bytes, int size);
#else
    static int WriteBytes(void* opaque, std::uint8_t* bytes, int size);
#endif
    static std::int64_t SeekTo(void* opaque, std::int64_t offset, int whence);

    SafeFile out;
    VideoSettings settings;
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t position = 0;  // where the next byte goes
    std::int64_t end = 0;       // the file's size
    int writeError = 0;         // errno of the first failed write
    std::int64_t frames = 0;
    bool failed = false;
    bool finished = false;
    std::string cause;
};

}  // namespace

bool FfmpegEncoder::Fail(std::string why) {
    if (!failed) cause = std::move(why);
    failed = true;
    out.Abort();
    return false;
}

// A library call failed: a failed write names the system's cause, anything else the library's.
bool FfmpegEncoder::FailWith(const char* what, int error) {
    if (writeError != 0) return Fail(std::strerror(writeError));
    return Fail(std::string(what) + ": " + LibraryError(error));
}

#if LIBAVFORMAT_VERSION_MAJOR >= 61
int FfmpegEncoder::WriteBytes(void* opaque, const std::uint8_t* bytes, int size) {
#else
int FfmpegEncoder::WriteBytes(void* opaque, std::uint8_t* bytes, int size) {
#endif
    auto& self = *static_cast<FfmpegEncoder*>(opaque);
    if (self.writeError != 0) return AVERROR(self.writeError);
    std::FILE* stream = self.out.Stream();
    errno = 0;
    if (stream == nullptr ||
        std::fwrite(bytes, 1, size, stream) != static_cast<std::size_t>(size)) {
        self.writeError = errno != 0 ? errno : EIO;
        return AVERROR(self.writeError);
    }
    self.position += size;
    self.end = std::max(self.end, self.position);
    return size;
}

std::int64_t FfmpegEncoder::SeekTo(void* opaque, std::int64_t offset, int whence) {
    auto& self = *static_cast<FfmpegEncoder*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return self.end;
    const std::int64_t base = whence == SEEK_CUR   ? self.position
                              : whence == SEEK_END ? self.end
                                                   : 0;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return AVERROR(EINVAL);
    std::FILE* stream = self.out.Stream();
    if (stream == nullptr || ::fseeko(stream, base + offset, SEEK_SET) != 0)
        return AVERROR(errno != 0 ? errno : EIO);
    self.position = base + offset;
    return self.position;
}

bool FfmpegEncoder::OpenOutput(std::string& why) {
    if (!out.Open()) {
        why = std::strerror(out.Error());
        return false;
    }
    // Writing an older file in place would spoil it on a cancel, which is common for a video.
    if (out.WritesInPlace()) {
        out.Abort();
        why = std::string("the folder does not let a temporary file be made beside the video (") +
              std::strerror(EACCES) + ")";
        return false;
    }
    std::setvbuf(out.Stream(), nullptr, _IONBF, 0);
    const bool mp4 = settings.kind == VideoKind::Mp4H264;
    const int made =
        avformat_alloc_output_context2(&format, nullptr, mp4 ? "mp4" : "webm", nullptr);
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    if (buffer != nullptr)
        io = avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, WriteBytes, SeekTo);
    if (made < 0 || format == nullptr || io == nullptr) {
        if (io == nullptr) av_free(buffer);
        why = "out of memory for the video's container";
        return false;
    }
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // The muxer reopens the file by this name to move the MP4 index to the front.
    av_free(format->url);
    format->url = av_strdup(out.TempPath().c_str());
    if (format->url == nullptr) why = "out of memory for the video's container";
    return format->url != nullptr;
}

namespace {

// x264's veryfast preset: 300 frames of 1280 x 720 in about 7.5 s of CPU time, under 4 s on two
// cores, at half the size of superfast's. Larger pictures look ahead less, and the largest go
// without B-frames, so that the frames x264 holds stay within its memory.
void SetX264Options(const VideoSettings& settings, AVCodecContext& codec, AVDictionary*& options) {
    av_dict_set(&options, "preset", "veryfast", 0);
    av_dict_set(&options, "profile", "high", 0);
    const double frameBytes = kX264FrameBytesPerPixel * settings.width * settings.height;
    const int affordable = static_cast<int>(kX264MemoryBytes / frameBytes);
    const int lookahead = std::clamp(affordable - 8, 0, kX264MaxLookahead);
    std::string tuning = "sync-lookahead=0:rc-lookahead=" + std::to_string(lookahead);
    // Threads on slices of one frame hold no frames of their own.
    if (lookahead == 0) tuning += ":bframes=0:mbtree=0:sliced-threads=1";
    av_dict_set(&options, "x264-params", tuning.c_str(), 0);
    // x264's automatic count is one and a half frame threads a core, each holding a frame.
    if (settings.threads == 0 && lookahead > 0) {
        const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        codec.thread_count = std::clamp(affordable / 2, 2, std::max(2, cores));
    }
}

// Constant quality (no bitrate aim) at libvpx's real-time speed: its good-quality speeds take
// a third of a second of CPU time for each 1280 x 720 frame of the figure, ten times as long.
void SetVp9Options(AVCodecContext& codec, AVDictionary*& options) {
    codec.bit_rate = 0;
    av_dict_set(&options, "deadline", "realtime", 0);
    av_dict_set(&options, "cpu-used", "8", 0);
    av_dict_set(&options, "lag-in-frames", "0", 0);
    av_dict_set(&options, "row-mt", "1", 0);
}

}  // namespace

bool FfmpegEncoder::OpenEncoder(std::string& why) {
    const bool h264 = settings.kind == VideoKind::Mp4H264;
    const AVCodec* encoder = avcodec_find_encoder_by_name(h264 ? "libx264" : "libvpx-vp9");
    if (encoder == nullptr) {
        why = std::string("this FFmpeg has no ") + (h264 ? "libx264" : "libvpx-vp9") + " encoder";
        return false;
    }
    codec = avcodec_alloc_context3(encoder);
    stream = avformat_new_stream(format, nullptr);
    frame = av_frame_alloc();
    packet = av_packet_alloc();
    if (codec == nullptr || stream == nullptr || frame == nullptr || packet == nullptr) {
        why = "out of memory for the encoder";
        return false;
    }
    codec->width = settings.width;
    codec->height = settings.height;
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->time_base = AVRational{1, settings.fps};
    codec->framerate = AVRational{settings.fps, 1};
    codec->gop_size = settings.fps * kKeyframeSeconds;
    codec->thread_count = settings.threads;
    codec->color_primaries = AVCOL_PRI_BT709;
    codec->color_trc = AVCOL_TRC_BT709;
    codec->colorspace = AVCOL_SPC_BT709;
    codec->color_range = AVCOL_RANGE_MPEG;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "crf", settings.crf, 0);
    if (h264)
        SetX264Options(settings, *codec, options);
    else
        SetVp9Options(*codec, options);
    const int opened = avcodec_open2(codec, encoder, &options);
    av_dict_free(&options);
    if (opened < 0) {
        why = std::string("the ") + VideoKindName(settings.kind) +
              " encoder refused the settings: " + LibraryError(opened);
        return false;
    }
    if (avcodec_parameters_from_context(stream->codecpar, codec) < 0) {
        why = "out of memory for the encoder";
        return false;
    }
    stream->time_base = codec->time_base;
    stream->avg_frame_rate = codec->framerate;
    frame->format = codec->pix_fmt;
    frame->width = codec->width;
    frame->height = codec->height;
    if (av_frame_get_buffer(frame, 0) < 0) {
        why = "out of memory for a frame";
        return false;
    }
    return true;
}

bool FfmpegEncoder::Open(std::string& why) {
    if (!OpenOutput(why) || !OpenEncoder(why)) return false;
    // BGR is full range; BT.709 coefficients into limited range (16 to 235 luma).
    scaler = sws_getContext(settings.width, settings.height, AV_PIX_FMT_BGR24, settings.width,
                            settings.height, AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND,
                            nullptr, nullptr, nullptr);
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    if (scaler == nullptr ||
        sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16) < 0) {
        why = "the colour conversion to yuv420p could not be set up";
        return false;
    }
    AVDictionary* options = nullptr;
    if (settings.kind == VideoKind::Mp4H264) av_dict_set(&options, "movflags", "+faststart", 0);
    const int written = avformat_write_header(format, &options);
    av_dict_free(&options);
    if (written < 0) {
        why = writeError != 0 ? std::strerror(writeError)
                              : "the video's header could not be written: " + LibraryError(written);
        return false;
    }
    return true;
}

// Sends a frame (null: the end) and writes every packet the encoder gives back.
bool FfmpegEncoder::Encode(const AVFrame* picture) {
    int result = avcodec_send_frame(codec, picture);
    if (result < 0) return FailWith("the encoder failed", result);
    while ((result = avcodec_receive_packet(codec, packet)) >= 0) {
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        result = av_write_frame(format, packet);
        av_packet_unref(packet);
        if (result < 0) return FailWith("the video could not be written", result);
    }
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    return FailWith("the encoder failed", result);
}

bool FfmpegEncoder::AddFrame(const std::uint8_t* topRow, std::ptrdiff_t stride) {
    if (failed || finished) return Fail("the video file is already closed");
    const std::ptrdiff_t rowBytes = 3LL * settings.width;
    if (topRow == nullptr || std::abs(stride) < rowBytes ||
        std::abs(stride) > std::numeric_limits<int>::max())
        return Fail("a frame's rows do not match the video's width");
    const int made = av_frame_make_writable(frame);
    if (made < 0) return FailWith("out of memory for a frame", made);
    const std::uint8_t* const source[1] = {topRow};
    const int sourceStride[1] = {static_cast<int>(stride)};
    sws_scale(scaler, source, sourceStride, 0, settings.height, frame->data, frame->linesize);
    frame->pts = frames;
    if (!Encode(frame)) return false;
    ++frames;
    return true;
}

bool FfmpegEncoder::Finish() {
    if (failed || finished) return Fail("the video file is already closed");
    if (frames == 0) return Fail("a video needs at least one frame");
    if (!Encode(nullptr)) return false;
    const int trailer = av_write_trailer(format);
    if (trailer < 0) return FailWith("the video's index could not be written", trailer);
    if (writeError != 0 || !out.Commit())
        return Fail(std::strerror(writeError != 0 ? writeError : out.Error()));
    finished = true;
    return true;
}

// The module's one exported name; the settings are checked and the crf resolved by the caller.
extern "C" __attribute__((visibility("default"))) VideoEncoder* DorvantaOpenVideoEncoder(
    const std::string& path, const VideoSettings& settings, std::string& cause) {
    QuietLibraries();
    t_libraryError.clear();
    auto encoder = std::make_unique<FfmpegEncoder>(path, settings);
    if (!encoder->Open(cause)) return nullptr;
    cause.clear();
    return encoder.release();
}
// The loader calls the factory through this type.
[[maybe_unused]] constexpr VideoEncoderFactory kFactoryType = DorvantaOpenVideoEncoder;
