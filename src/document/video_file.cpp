#include "document/video_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include "picture/safe_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

// H.264 level 5.1, the largest that phones and browsers decode everywhere, holds 36864 macroblocks
// of 16 x 16 pixels in a frame (4096 x 2304); VP9 encodes up to 16384 pixels a side.
constexpr long long kH264MaxMacroblocks = 36864;
constexpr int kH264MaxSide = 8192;
constexpr int kVp9MaxSide = 16384;
constexpr int kMaxThreads = 64;
// A keyframe every few seconds: a player seeks quickly, slow pictures still cost little.
constexpr int kKeyframeSeconds = 4;
constexpr int kIoBufferBytes = 1 << 16;

const char* KindName(VideoKind kind) {
    return kind == VideoKind::Mp4H264 ? "H.264" : "VP9";
}

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

std::optional<VideoKind> VideoKindOfPath(const std::string& path) {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "mp4") return VideoKind::Mp4H264;
    if (extension == "webm") return VideoKind::WebmVp9;
    return {};
}

std::string VideoSizeProblem(VideoKind kind, int width, int height) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width < 2 || height < 2)
        return "A video needs at least 2 x 2 pixels; " + size + " is too small.";
    if (width % 2 != 0 || height % 2 != 0)
        return std::string("A ") + KindName(kind) +
               " video (yuv420p) needs an even width and height; " + size + " has an odd side.";
    if (kind == VideoKind::WebmVp9) {
        if (width > kVp9MaxSide || height > kVp9MaxSide)
            return "A VP9 video has at most 16384 pixels a side; " + size + " is too large.";
        return {};
    }
    const long long macroblocks = ((width + 15LL) / 16) * ((height + 15LL) / 16);
    if (width > kH264MaxSide || height > kH264MaxSide || macroblocks > kH264MaxMacroblocks)
        return "An H.264 video that phones and browsers play has at most 8192 pixels a side and "
               "4096 x 2304 pixels in all; " +
               size + " is too large.";
    return {};
}

int VideoCrfMin(VideoKind kind) {
    return kind == VideoKind::Mp4H264 ? 1 : 0;
}

int VideoCrfMax(VideoKind kind) {
    return kind == VideoKind::Mp4H264 ? 51 : 63;
}

// H.264: 20, a little better than x264's own 23, because thin lines and flat colours show the
// blocking that natural video hides. VP9: 31, the quality Google advises for HD at this size.
int VideoDefaultCrf(VideoKind kind) {
    return kind == VideoKind::Mp4H264 ? 20 : 31;
}

std::string VideoSettingsProblem(const VideoSettings& settings) {
    std::string problem = VideoSizeProblem(settings.kind, settings.width, settings.height);
    if (!problem.empty()) return problem;
    if (settings.fps < kVideoFpsMin || settings.fps > kVideoFpsMax)
        return "The frame rate must lie between " + std::to_string(kVideoFpsMin) + " and " +
               std::to_string(kVideoFpsMax) + " frames a second; " + std::to_string(settings.fps) +
               " does not.";
    const int low = VideoCrfMin(settings.kind);
    const int high = VideoCrfMax(settings.kind);
    if (settings.crf != -1 && (settings.crf < low || settings.crf > high))
        return std::string("The quality (crf) of ") + KindName(settings.kind) + " lies between " +
               std::to_string(low) + " and " + std::to_string(high) + "; " +
               std::to_string(settings.crf) + " does not.";
    if (settings.threads < 0 || settings.threads > kMaxThreads)
        return "The encoder takes 0 (automatic) to " + std::to_string(kMaxThreads) + " threads; " +
               std::to_string(settings.threads) + " does not fit.";
    return {};
}

struct VideoFile::State {
    State(const std::string& path, const VideoSettings& s) : out(path), settings(s) {}
    ~State() {
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
    std::int64_t end = 0;       // bytes written: an in-place file is cut there
    int writeError = 0;         // errno of the first failed write
    std::int64_t frames = 0;
    bool failed = false;
    bool finished = false;
    std::string cause;
};

bool VideoFile::State::Fail(std::string why) {
    if (!failed) cause = std::move(why);
    failed = true;
    out.Abort();
    return false;
}

// A library call failed: a failed write names the system's cause, anything else the library's.
bool VideoFile::State::FailWith(const char* what, int error) {
    if (writeError != 0) return Fail(std::strerror(writeError));
    return Fail(std::string(what) + ": " + LibraryError(error));
}

#if LIBAVFORMAT_VERSION_MAJOR >= 61
int VideoFile::State::WriteBytes(void* opaque, const std::uint8_t* bytes, int size) {
#else
int VideoFile::State::WriteBytes(void* opaque, std::uint8_t* bytes, int size) {
#endif
    auto& self = *static_cast<State*>(opaque);
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

std::int64_t VideoFile::State::SeekTo(void* opaque, std::int64_t offset, int whence) {
    auto& self = *static_cast<State*>(opaque);
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

bool VideoFile::State::OpenOutput(std::string& why) {
    if (!out.Open()) {
        why = std::strerror(out.Error());
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
    const std::string& written = out.WritesInPlace() ? out.Target() : out.TempPath();
    av_free(format->url);
    format->url = av_strdup(written.c_str());
    if (format->url == nullptr) why = "out of memory for the video's container";
    return format->url != nullptr;
}

bool VideoFile::State::OpenEncoder(std::string& why) {
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
    const int crf = settings.crf == -1 ? VideoDefaultCrf(settings.kind) : settings.crf;
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "crf", crf, 0);
    if (h264) {
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "profile", "high", 0);
    } else {
        // Constant quality (no bitrate aim), the faster of the good-quality speeds, rows in
        // parallel.
        codec->bit_rate = 0;
        av_dict_set(&options, "deadline", "good", 0);
        av_dict_set(&options, "cpu-used", "5", 0);
        av_dict_set(&options, "row-mt", "1", 0);
    }
    const int opened = avcodec_open2(codec, encoder, &options);
    av_dict_free(&options);
    if (opened < 0) {
        why = std::string("the ") + KindName(settings.kind) +
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

bool VideoFile::State::Open(std::string& why) {
    why = VideoSettingsProblem(settings);
    const auto named = VideoKindOfPath(out.Target());
    if (why.empty() && !named)
        why = "A video file is named .mp4 (H.264) or .webm (VP9).";
    else if (why.empty() && *named != settings.kind)
        why = std::string("The file's name asks for ") + KindName(*named) + ", not " +
              KindName(settings.kind) + ".";
    if (!why.empty() || !OpenOutput(why) || !OpenEncoder(why)) return false;
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
bool VideoFile::State::Encode(const AVFrame* picture) {
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

VideoFile::VideoFile(std::unique_ptr<State> state) : m_state(std::move(state)) {}

VideoFile::~VideoFile() = default;

std::unique_ptr<VideoFile> VideoFile::Create(const std::string& path, const VideoSettings& settings,
                                             std::string& cause) {
    QuietLibraries();
    t_libraryError.clear();
    auto state = std::make_unique<State>(path, settings);
    if (!state->Open(cause)) return nullptr;
    cause.clear();
    return std::unique_ptr<VideoFile>(new VideoFile(std::move(state)));
}

bool VideoFile::AddFrame(const std::uint8_t* topRow, std::ptrdiff_t stride) {
    State& s = *m_state;
    if (s.failed || s.finished) return s.Fail("the video file is already closed");
    const std::ptrdiff_t rowBytes = 3LL * s.settings.width;
    if (topRow == nullptr || std::abs(stride) < rowBytes ||
        std::abs(stride) > std::numeric_limits<int>::max())
        return s.Fail("a frame's rows do not match the video's width");
    const int made = av_frame_make_writable(s.frame);
    if (made < 0) return s.FailWith("out of memory for a frame", made);
    const std::uint8_t* const source[1] = {topRow};
    const int sourceStride[1] = {static_cast<int>(stride)};
    sws_scale(s.scaler, source, sourceStride, 0, s.settings.height, s.frame->data,
              s.frame->linesize);
    s.frame->pts = s.frames;
    if (!s.Encode(s.frame)) return false;
    ++s.frames;
    return true;
}

bool VideoFile::Finish() {
    State& s = *m_state;
    if (s.failed || s.finished) return s.Fail("the video file is already closed");
    if (s.frames == 0) return s.Fail("a video needs at least one frame");
    if (!s.Encode(nullptr)) return false;
    const int trailer = av_write_trailer(s.format);
    if (trailer < 0) return s.FailWith("the video's index could not be written", trailer);
    // An in-place file is cut where the stream stands: put it at the end of what was written.
    if (s.writeError != 0 || ::fseeko(s.out.Stream(), s.end, SEEK_SET) != 0 || !s.out.Commit())
        return s.Fail(std::strerror(s.writeError != 0    ? s.writeError
                                    : s.out.Error() != 0 ? s.out.Error()
                                                         : errno));
    s.finished = true;
    return true;
}

const std::string& VideoFile::Cause() const {
    return m_state->cause;
}

std::int64_t VideoFile::FrameCount() const {
    return m_state->frames;
}
