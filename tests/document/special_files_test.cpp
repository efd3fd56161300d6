// Files that are not regular files (a FIFO named like a parameter file or a picture) are refused
// with the usual read-failure message instead of blocking the program.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace {

// Runs open on another thread. When it has not returned after a generous while it is blocked
// in the FIFO: a writer is opened once to set it free, and the test fails.
bool FinishesWithoutWaitingOn(const std::string& fifo, const std::function<void()>& open) {
    auto done = std::async(std::launch::async, open);
    if (done.wait_for(std::chrono::seconds(20)) == std::future_status::ready) return true;
    int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
    done.wait();
    return false;
}

struct SpecialFileCase {
    const char* name;
    // A parameter file that cannot be read still opens (the untouched figure is painted), as a
    // missing one does.
    bool opens;
    // The messages, each followed by the path.
    std::vector<std::string> prefixes;
    std::vector<std::string> suffixes;
};

void PrintTo(const SpecialFileCase& c, std::ostream* os) {
    *os << c.name;
}

class SpecialFileTest : public ::testing::TestWithParam<SpecialFileCase> {};

}  // namespace

TEST_P(SpecialFileTest, AFifoGetsTheReadFailureMessageAndTheDocumentKeepsItsPicture) {
    TempDir dir;
    const std::string fifo = dir.File(GetParam().name);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    ASSERT_TRUE(doc.OnNewDocument());
    ui.Clear();
    bool opened = true;
    ASSERT_TRUE(FinishesWithoutWaitingOn(fifo, [&] { opened = doc.OnOpenDocument(fifo); }))
        << "opening a FIFO waited for a writer";
    EXPECT_EQ(opened, GetParam().opens);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < GetParam().prefixes.size(); ++i)
        expected.push_back(GetParam().prefixes[i] + fifo + GetParam().suffixes[i]);
    EXPECT_EQ(ui.Texts(), expected);
    EXPECT_NE(doc.m_hDIB, nullptr);
    EXPECT_EQ(doc.m_pictureSize.width, 1200);
    EXPECT_EQ(ui.waitCursorDepth, 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, SpecialFileTest,
    ::testing::Values(
        SpecialFileCase{"fifo.dat", true, {""}, {" not found."}},
        SpecialFileCase{"fifo.bmp", false, {"Failed to open: ", "Read failed"}, {"", ""}},
        SpecialFileCase{"fifo.jpg", false, {"can't open ", "Read failed"}, {"\n", ""}},
        SpecialFileCase{"fifo.png", false, {"Failed to open: ", "Read failed"}, {"", ""}}),
    [](const auto& info) { return std::string(info.param.name).substr(5); });

TEST(SpecialFiles, LoadDatFileRefusesAFifoAndLeavesTheFigureAlone) {
    TempDir dir;
    const std::string fifo = dir.File("x.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ScriptedPrompts ui;
    FigureEngine figure;
    figure.ResetFigure();
    figure.m_nUn = 42;
    int result = DAT_OK;
    ASSERT_TRUE(FinishesWithoutWaitingOn(fifo, [&] { result = LoadDatFile(figure, fifo, ui); }));
    EXPECT_EQ(result, DAT_FAILED);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{fifo + " not found."});
    EXPECT_EQ(figure.m_nUn, 42);
}
