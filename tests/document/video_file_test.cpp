// Video files: painted frames written as MP4/H.264 and WebM/VP9 and read back by libavformat
// (codec, frames, duration, size, pixel format and colour tags, pixels); BT.709 in limited range;
// bad settings refused before any work; a failure or a cancel leaves no file and an older one
// intact.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "document/video_file.h"
#include "figure/figure_engine.h"
#include "support/file_size_limit.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace fs = std::filesystem;

namespace {

// A block of rows, bottom-up like the picture block unless topDown.
struct Frame {
    int width = 0, height = 0;
    std::ptrdiff_t rowBytes = 0;
    bool topDown = false;
    std::vector<std::uint8_t> bytes;
    const std::uint8_t* Top() const { return &bytes[topDown ? 0 : (height - 1) * rowBytes]; }
    std::ptrdiff_t Stride() const { return topDown ? rowBytes : -rowBytes; }
};

// The figure moving sideways from frame to frame, painted as the document paints it.
std::vector<Frame> PaintedFrames(int width, int height, int count, bool topDown) {
    auto figure = std::make_unique<FigureEngine>();
    ScriptedPrompts ui;
    figure->m_nWidth = width;
    figure->m_nHeight = height;
    figure->m_nRowBytes = (width * 3 + 3) / 4 * 4 + (topDown ? 8 : 0);
    std::vector<Frame> frames;
    for (int i = 0; i < count; ++i) {
        figure->m_dMagnExp = -2.0;
        figure->m_dCentreX = 2.0 * i;
        frames.push_back({width, height, figure->m_nRowBytes, topDown,
                          std::vector<std::uint8_t>(figure->m_nRowBytes * height)});
        figure->PaintFigure(frames.back().bytes.data(), -1, ui);
    }
    return frames;
}

// Colours after the painted frames, with their luma and chroma in BT.709's limited range:
// Y = 16 + 219 (0.2126 R + 0.7152 G + 0.0722 B). BT.601 would move the luma of red and green by
// 19 and 28, full range that of black and white by 16 and 20.
struct Colour {
    std::uint8_t blue, green, red;
    std::array<int, 3> yuv;
};
const Colour kColours[] = {{0, 0, 0, {16, 128, 128}},   {255, 255, 255, {235, 128, 128}},
                           {0, 0, 255, {63, 102, 240}}, {0, 255, 0, {173, 42, 26}},
                           {255, 0, 0, {32, 240, 118}}, {40, 120, 200, {129, 85, 166}}};

Frame SolidFrame(int width, int height, const Colour& c) {
    Frame f{width, height, 3LL * width, true, {}};
    for (int i = 0; i < width * height; ++i)
        f.bytes.insert(f.bytes.end(), {c.blue, c.green, c.red});
    return f;
}

// The cause when the video could not be written, nothing when it was.
std::optional<std::string> Write(const std::string& path, const VideoSettings& settings,
                                 const std::vector<Frame>& frames) {
    std::string cause;
    auto video = VideoFile::Create(path, settings, cause);
    if (!video) return cause;
    for (const Frame& f : frames)
        if (!video->AddFrame(f.Top(), f.Stride())) return video->Cause();
    if (!video->Finish()) return video->Cause();
    return std::nullopt;
}

// What libavformat and the decoder find in a file: the stream's description, every frame back in
// BGR (top-down rows), and Y, U and V at the middle of each frame.
struct ReadBack {
    AVCodecParameters description{};
    double seconds = 0;
    std::vector<std::vector<std::uint8_t>> bgr;
    std::vector<std::array<int, 3>> centreYuv;
};

std::vector<std::uint8_t> ToBgr(const AVFrame* frame) {
    SwsContext* back = sws_getContext(frame->width, frame->height, AV_PIX_FMT_YUV420P, frame->width,
                                      frame->height, AV_PIX_FMT_BGR24,
                                      SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(back, bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
    std::vector<std::uint8_t> bgr(3 * frame->width * frame->height);
    std::uint8_t* rows[1] = {bgr.data()};
    const int stride[1] = {3 * frame->width};
    sws_scale(back, frame->data, frame->linesize, 0, frame->height, rows, stride);
    sws_freeContext(back);
    return bgr;
}

ReadBack Read(const std::string& path) {
    ReadBack r;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return r;
    avformat_find_stream_info(format, nullptr);
    const AVCodecParameters* par = format->streams[0]->codecpar;
    r.description = *par;  // the plain fields only; the side data stays with the file
    r.seconds = format->duration / double(AV_TIME_BASE);
    AVCodecContext* decoder = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
    avcodec_parameters_to_context(decoder, par);
    avcodec_open2(decoder, decoder->codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    for (bool more = true; more;) {
        more = av_read_frame(format, packet) >= 0;
        avcodec_send_packet(decoder, more ? packet : nullptr);
        av_packet_unref(packet);
        while (avcodec_receive_frame(decoder, frame) == 0) {
            r.bgr.push_back(ToBgr(frame));
            const int x = frame->width / 2, y = frame->height / 2;
            r.centreYuv.push_back({frame->data[0][y * frame->linesize[0] + x],
                                   frame->data[1][y / 2 * frame->linesize[1] + x / 2],
                                   frame->data[2][y / 2 * frame->linesize[2] + x / 2]});
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return r;
}

double MeanAbsoluteDifference(const Frame& source, const std::vector<std::uint8_t>& decoded) {
    double sum = 0;
    for (int y = 0; y < source.height; ++y)
        for (int x = 0; x < 3 * source.width; ++x)
            sum +=
                std::abs(source.Top()[y * source.Stride() + x] - decoded[3 * source.width * y + x]);
    return sum / (3.0 * source.width * source.height);
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    return names;
}

struct Written {
    const char* name;
    VideoKind kind;
    int width, height, fps, frames;
    bool topDown;
    AVCodecID codec;
};
const Written kWritten[] = {
    {"pan.mp4", VideoKind::Mp4H264, 96, 64, 30, 9, false, AV_CODEC_ID_H264},
    {"pan.MP4", VideoKind::Mp4H264, 82, 50, 24, 5, true, AV_CODEC_ID_H264},
    {"pan.webm", VideoKind::WebmVp9, 96, 64, 25, 7, false, AV_CODEC_ID_VP9},
    {"pan.WebM", VideoKind::WebmVp9, 82, 50, 10, 4, true, AV_CODEC_ID_VP9},
};

}  // namespace

TEST(VideoFile, PaintedFramesReadBackWithTheirCodecCountDurationSizeColoursAndPixels) {
    TempDir dir;
    for (const Written& w : kWritten) {
        SCOPED_TRACE(w.name);
        auto frames = PaintedFrames(w.width, w.height, w.frames, w.topDown);
        for (const Colour& c : kColours) frames.push_back(SolidFrame(w.width, w.height, c));
        const VideoSettings settings{w.width, w.height, w.fps, -1, w.kind, 0};
        ASSERT_EQ(Write(dir.File(w.name), settings, frames), std::nullopt);
        const ReadBack r = Read(dir.File(w.name));
        const AVCodecParameters& d = r.description;
        EXPECT_EQ(std::tuple(d.codec_id, d.width, d.height, d.format),
                  std::tuple(w.codec, w.width, w.height, int(AV_PIX_FMT_YUV420P)));
        EXPECT_EQ(std::tuple(d.color_primaries, d.color_trc, d.color_space, d.color_range),
                  std::tuple(AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG));
        EXPECT_NEAR(r.seconds, double(frames.size()) / w.fps, 0.5 / w.fps);
        ASSERT_EQ(r.bgr.size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_LT(MeanAbsoluteDifference(frames[i], r.bgr[i]), 6.0) << "frame " << i;
            // Each frame is its own picture: the next one differs more than the encoding does.
            if (i + 1 < std::size_t(w.frames)) {
                EXPECT_GT(MeanAbsoluteDifference(frames[i + 1], r.bgr[i]), 12.0);
            }
        }
        for (std::size_t i = 0; i < std::size(kColours); ++i)
            for (int plane = 0; plane < 3; ++plane)
                EXPECT_NEAR(r.centreYuv[w.frames + i][plane], kColours[i].yuv[plane], 5) << i;
        if (w.kind == VideoKind::Mp4H264) {
            // The index comes before the pictures, so that a browser plays while it loads.
            const std::string bytes = ReadFile(dir.File(w.name));
            EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
        }
    }
    EXPECT_EQ(FilesIn(dir.Path()).size(), std::size(kWritten));  // no temporary files left
}

TEST(VideoFile, BadSettingsAreRefusedBeforeAnyFileIsMade) {
    struct Bad {
        const char* name;
        VideoSettings settings;
        const char* cause;
    };
    const VideoKind mp4 = VideoKind::Mp4H264, webm = VideoKind::WebmVp9;
    const Bad bad[] = {
        {"a.mp4", {65, 48, 30, -1, mp4, 0}, "even width and height; 65 x 48"},
        {"a.mp4", {0, 48, 30, -1, mp4, 0}, "at least 2 x 2 pixels; 0 x 48"},
        {"a.mp4", {8194, 64, 30, -1, mp4, 0}, "at most 8192 pixels a side"},
        {"a.mp4", {4096, 2320, 30, -1, mp4, 0}, "4096 x 2304 pixels in all"},
        {"a.webm", {16386, 64, 30, -1, webm, 0}, "at most 16384 pixels a side"},
        {"a.mp4", {64, 48, 0, -1, mp4, 0}, "between 1 and 240 frames a second; 0"},
        {"a.mp4", {64, 48, 30, 0, mp4, 0}, "(crf) of H.264 lies between 1 and 51; 0"},
        {"a.webm", {64, 48, 30, 64, webm, 0}, "VP9 lies between 0 and 63; 64"},
        {"a.mp4", {64, 48, 30, -1, mp4, -1}, "0 (automatic) to 64 threads"},
        {"a.mkv", {64, 48, 30, -1, mp4, 0}, "named .mp4 (H.264) or .webm (VP9)"},
        {"a.mp4.png", {64, 48, 30, -1, mp4, 0}, "named .mp4 (H.264) or .webm (VP9)"},
        {"d.mp4/mp4", {64, 48, 30, -1, mp4, 0}, "named .mp4 (H.264) or .webm (VP9)"},
        {"a.webm", {64, 48, 30, -1, mp4, 0}, "name asks for VP9, not H.264"},
    };
    TempDir dir;
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.cause);
        std::string cause;
        EXPECT_EQ(VideoFile::Create(dir.File(b.name), b.settings, cause), nullptr);
        EXPECT_NE(cause.find(b.cause), std::string::npos) << cause;
    }
    EXPECT_TRUE(FilesIn(dir.Path()).empty());
    EXPECT_EQ(VideoSizeProblem(VideoKind::Mp4H264, 4098, 2304),
              "An H.264 video that phones and browsers play has at most 8192 pixels a side and "
              "4096 x 2304 pixels in all; 4098 x 2304 is too large.");
    // The largest sizes still pass.
    for (auto [kind, width, height] :
         {std::tuple(mp4, 3840, 2160), std::tuple(mp4, 4096, 2304), std::tuple(webm, 16384, 2)})
        EXPECT_EQ(VideoSizeProblem(kind, width, height), "") << width << " x " << height;
}

// A cancel (no Finish), rows narrower than the video, a folder that is not there, a directory
// and a disk that fills up: no file, no temporary file, an older file untouched, the cause named.
TEST(VideoFile, FailuresAndCancelsLeaveNoFileAndAnOlderFileIntact) {
    const auto frames = PaintedFrames(160, 120, 12, false);
    for (VideoKind kind : {VideoKind::Mp4H264, VideoKind::WebmVp9}) {
        TempDir dir;
        const std::string extension = kind == VideoKind::Mp4H264 ? ".mp4" : ".webm";
        const std::string path = dir.File("v" + extension);
        std::ofstream(path) << "an older file";
        const VideoSettings settings{160, 120, 30, -1, kind, 1};
        std::string cause;
        {
            auto video = VideoFile::Create(path, settings, cause);
            ASSERT_NE(video, nullptr) << cause;
            for (const Frame& f : frames) ASSERT_TRUE(video->AddFrame(f.Top(), f.Stride()));
            EXPECT_EQ(FilesIn(dir.Path()).size(), 2u);  // the older file and the temporary one
        }
        auto narrow = VideoFile::Create(path, settings, cause);
        EXPECT_FALSE(narrow->AddFrame(frames[0].Top(), 3 * 160 - 3));
        EXPECT_EQ(narrow->Cause(), "a frame's rows do not match the video's width");
        narrow.reset();
        EXPECT_EQ(Write(dir.File("missing/v" + extension), settings, frames),
                  "No such file or directory");
        fs::create_directory(dir.File("folder" + extension));
        EXPECT_EQ(Write(dir.File("folder" + extension), settings, frames), "Is a directory");
        fs::remove(dir.File("folder" + extension));
        std::optional<std::string> failure;
        ASSERT_TRUE(WithFilesLimitedTo(4096, [&] { failure = Write(path, settings, frames); }));
        EXPECT_EQ(failure, "File too large");
        EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{fs::path(path).filename()});
        EXPECT_EQ(ReadFile(path), "an older file");
    }
}
