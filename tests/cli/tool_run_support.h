// Running the programs from the tests: shell quoting, whole files, picture sizes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::filesystem::path& path);

// text in single quotes for the shell.
std::string Quote(const std::string& text);

// The arguments joined by blanks, to name a case in a failure message.
std::string JoinArguments(const std::vector<std::string>& args);

// Runs a shell command line inside dir; its standard output and error are caught in files there.
RunResult RunShell(const std::string& command, const std::filesystem::path& dir);

// Width and height of a BMP or PNG file, from its header; nothing for other files.
struct PictureDimensions {
    std::int64_t width = 0;
    std::int64_t height = 0;
};
std::optional<PictureDimensions> ReadPictureDimensions(const std::filesystem::path& path);
