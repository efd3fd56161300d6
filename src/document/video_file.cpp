#include "document/video_file.h"

#include <dlfcn.h>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "document/video_encoder.h"

namespace {

// H.264 level 5.1, the largest that phones and browsers decode everywhere, holds 36864 macroblocks
// of 16 x 16 pixels in a frame (4096 x 2304); VP9 encodes up to 16384 pixels a side.
constexpr long long kH264MaxMacroblocks = 36864;
constexpr int kH264MaxSide = 8192;
constexpr int kVp9MaxSide = 16384;
constexpr int kMaxThreads = 64;

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
        return std::string("A ") + VideoKindName(kind) +
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
// blocking that natural video hides (about 6 Mbit/s for the figure at 1280 x 720). VP9: 31, the
// level Google advises for HD (32 at 1280 x 720, 31 at 1920 x 1080).
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
        return std::string("The quality (crf) of ") + VideoKindName(settings.kind) +
               " lies between " + std::to_string(low) + " and " + std::to_string(high) + "; " +
               std::to_string(settings.crf) + " does not.";
    if (settings.threads < 0 || settings.threads > kMaxThreads)
        return "The encoder takes 0 (automatic) to " + std::to_string(kMaxThreads) + " threads; " +
               std::to_string(settings.threads) + " does not fit.";
    return {};
}

struct VideoFile::State {
    std::unique_ptr<VideoEncoder> encoder;
};

namespace {

namespace fs = std::filesystem;

// Where the encoder module may be: the variable's path alone when it is set; else beside the
// running program (the build tree), then where it is installed, relative to the program's prefix
// (any prefix or DESTDIR), then at the configured prefix.
std::vector<fs::path> VideoModuleCandidates() {
    if (const char* chosen = std::getenv("DORVANTA_VIDEO_MODULE"); chosen && *chosen)
        return {chosen};
    std::vector<fs::path> candidates;
    std::error_code error;
    const fs::path folder = fs::read_symlink("/proc/self/exe", error).parent_path();
    if (!error) {
        candidates.push_back(folder / DORVANTA_VIDEO_MODULE_NAME);
        candidates.push_back(folder.parent_path() / DORVANTA_VIDEO_MODULE_LIBDIR /
                             DORVANTA_VIDEO_MODULE_NAME);
    }
    candidates.push_back(fs::path(DORVANTA_VIDEO_MODULE_INSTALLED) / DORVANTA_VIDEO_MODULE_NAME);
    return candidates;
}

struct VideoModule {
    VideoEncoderFactory factory = nullptr;
    std::string problem;  // why it cannot be loaded
};

// The first candidate that exists; when none does, the last names the place it belongs.
VideoModule LoadVideoModule() {
    const std::vector<fs::path> candidates = VideoModuleCandidates();
    const auto found = std::find_if(candidates.begin(), candidates.end(), [](const fs::path& path) {
        std::error_code error;
        return fs::exists(path, error);
    });
    const fs::path& path = found != candidates.end() ? *found : candidates.back();
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* factory = module != nullptr ? ::dlsym(module, kVideoEncoderFactory) : nullptr;
    if (factory == nullptr) {
        const char* error = ::dlerror();
        return {nullptr, "the video encoder (" + path.string() +
                             ") cannot be loaded: " + (error != nullptr ? error : "no factory")};
    }
    return {reinterpret_cast<VideoEncoderFactory>(factory), {}};
}

// Loaded on the first video of the process, and kept: FFmpeg's libraries are never unloaded.
const VideoModule& TheVideoModule() {
    static std::once_flag once;
    static VideoModule module;
    std::call_once(once, [] { module = LoadVideoModule(); });
    return module;
}

// The name's kind must be the settings' kind, so that a player opens the file it names.
std::string NameProblem(const std::string& path, VideoKind kind) {
    const auto named = VideoKindOfPath(path);
    if (!named) return "A video file is named .mp4 (H.264) or .webm (VP9).";
    if (*named != kind)
        return std::string("The file's name asks for ") + VideoKindName(*named) + ", not " +
               VideoKindName(kind) + ".";
    return {};
}

}  // namespace

VideoFile::VideoFile(std::unique_ptr<State> state) : m_state(std::move(state)) {}

VideoFile::~VideoFile() = default;

std::unique_ptr<VideoFile> VideoFile::Create(const std::string& path, const VideoSettings& settings,
                                             std::string& cause) {
    cause = VideoSettingsProblem(settings);
    if (cause.empty()) cause = NameProblem(path, settings.kind);
    if (!cause.empty()) return nullptr;
    const VideoModule& module = TheVideoModule();
    if (module.factory == nullptr) {
        cause = module.problem;
        return nullptr;
    }
    VideoSettings resolved = settings;
    if (resolved.crf == -1) resolved.crf = VideoDefaultCrf(settings.kind);
    auto state = std::make_unique<State>();
    state->encoder.reset(module.factory(path, resolved, cause));
    if (state->encoder == nullptr) return nullptr;
    return std::unique_ptr<VideoFile>(new VideoFile(std::move(state)));
}

bool VideoFile::AddFrame(const std::uint8_t* topRow, std::ptrdiff_t stride) {
    return m_state->encoder->AddFrame(topRow, stride);
}

bool VideoFile::Finish() {
    return m_state->encoder->Finish();
}

const std::string& VideoFile::Cause() const {
    return m_state->encoder->Cause();
}

std::int64_t VideoFile::FrameCount() const {
    return m_state->encoder->FrameCount();
}
