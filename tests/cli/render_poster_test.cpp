// dorvanta-render posters: painted band after band with any number of threads into the same
// bytes, sizes beyond the file kind refused before any work, no progress off a terminal.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

const std::string kBinary = DORVANTA_BINARY_DIR "/src/dorvanta-render";

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct RunResult {
    int status = -1;
    std::string out, err;
};

class RenderPoster : public ::testing::Test {
  protected:
    // The arguments are plain words: no quoting needed.
    RunResult Run(const std::vector<std::string>& args) {
        std::string command = "cd " + dir.Path().string() + " && " + kBinary;
        for (const auto& arg : args) command += " " + arg;
        command += " >" + dir.File("stdout.txt") + " 2>" + dir.File("stderr.txt");
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir.File("stdout.txt")),
                ReadFile(dir.File("stderr.txt"))};
    }

    TempDir dir;
};

TEST_F(RenderPoster, EveryThreadCountWritesTheSameBytes) {
    for (const char* extension : {".bmp", ".jpg", ".png"}) {
        std::string first;
        for (const char* threads : {"1", "2", "3"}) {
            const std::string name = std::string("poster-") + threads + extension;
            const RunResult r = Run({"--size", "1001x777", "--threads", threads, "-o", name});
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "") << "no progress when stderr is not a terminal";
            const std::string bytes = ReadFile(dir.File(name));
            if (first.empty()) first = bytes;
            EXPECT_TRUE(bytes == first) << name;
        }
        EXPECT_GT(first.size(), 1000u) << extension;
    }
}

TEST_F(RenderPoster, StatsAndSceneComeFromThePosterPainting) {
    const RunResult poster = Run({"--size", "1200x900", "--stats", "--quiet", "-o", "p.bmp"});
    const RunResult whole = Run({"--stats"});
    ASSERT_EQ(poster.status, 0) << poster.err;
    EXPECT_EQ(poster.out, whole.out);
}

TEST_F(RenderPoster, SizesBeyondTheKindAreRefusedBeforeAnyWork) {
    struct Case {
        const char* size;
        const char* file;
        const char* reason;
    };
    const Case cases[] = {
        {"70000x100", "big.jpg", "a JPEG picture has at most 65500 pixels a side"},
        {"40000x40000", "big.bmp", "a BMP file holds at most 4 GiB"},
        {"20000000x1", "big.png", "pictures painted band by band are at most 16777216 pixels"},
    };
    for (const Case& c : cases) {
        const RunResult r = Run({"--size", c.size, "-o", c.file});
        EXPECT_EQ(r.status, 2) << c.size;
        EXPECT_NE(r.err.find(std::string("cannot write ") + c.file + ": " + c.reason),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File(c.file)));
    }
}

TEST_F(RenderPoster, ThreadsOutsideOneTo64AreAUsageError) {
    for (const char* threads : {"0", "65", "two", "-1"}) {
        const RunResult r = Run({"--threads", threads, "-o", "x.bmp"});
        EXPECT_EQ(r.status, 2) << threads;
        EXPECT_NE(r.err.find("--threads wants a number from 1 to 64"), std::string::npos) << r.err;
    }
}

}  // namespace
