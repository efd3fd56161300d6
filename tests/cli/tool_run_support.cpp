#include "cli/tool_run_support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::uint32_t LittleEndianAt(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::uint32_t BigEndianAt(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted.append("'\\''");
        else
            quoted.push_back(c);
    }
    quoted.push_back('\'');
    return quoted;
}

std::string JoinArguments(const std::vector<std::string>& args) {
    std::string joined;
    for (const std::string& arg : args) joined.append(joined.empty() ? "" : " ").append(arg);
    return joined;
}

RunResult RunShell(const std::string& command, const std::filesystem::path& dir) {
    const std::string out = (dir / "stdout.txt").string();
    const std::string err = (dir / "stderr.txt").string();
    const std::string line = "cd " + Quote(dir.string()) + " && { " + command + "; } >" +
                             Quote(out) + " 2>" + Quote(err);
    int raw = std::system(line.c_str());
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

std::optional<PictureDimensions> ReadPictureDimensions(const std::filesystem::path& path) {
    const std::string bytes = ReadFile(path);
    if (bytes.size() >= 26 && bytes.compare(0, 2, "BM") == 0) {
        return PictureDimensions{static_cast<std::int32_t>(LittleEndianAt(bytes, 18)),
                                 static_cast<std::int32_t>(LittleEndianAt(bytes, 22))};
    }
    // The signature, then the IHDR chunk: length, type, width, height.
    if (bytes.size() >= 24 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 &&
        bytes.compare(12, 4, "IHDR") == 0) {
        return PictureDimensions{BigEndianAt(bytes, 16), BigEndianAt(bytes, 20)};
    }
    return std::nullopt;
}
