// Posters: the figure painted band after band straight into a BMP, JPEG or PNG file gives the
// bytes the document's whole painting saves; a cancel or a failed write leaves no file behind and
// an older one intact; sizes beyond a file kind are refused before anything is written.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "document/dib_doc.h"
#include "document/poster_file.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct Kind {
    const char* extension;
    int fileKind;
};
const Kind kKinds[] = {{".bmp", FILE_KIND_BMP}, {".jpg", FILE_KIND_JPG}, {".png", FILE_KIND_PNG}};

class PosterFile : public ::testing::Test {
  protected:
    // A document painted whole at an odd width (rows with padding), every item of order 1 on.
    void SetUp() override {
        ASSERT_TRUE(doc.OnNewDocument());
        doc.m_figure.m_nWidth = 517;
        doc.m_figure.m_nHeight = 389;
        doc.m_figure.m_orders[1].drawItems = {1, 1, 1, 1, 1, 1, 1, 1};
        doc.m_figure.m_bGradient = 1;
        doc.m_nJpegQuality = 77;
        // A new block: a reused one keeps the earlier picture's bytes in its row padding, which
        // the whole painting's BMP then carries and a poster (zero padding) does not.
        doc.m_hDIB.reset();
        ASSERT_NE(doc.PreparePicture(false), 0);
    }

    // The poster of the document's figure as last painted.
    StreamResult Poster(const std::string& path, int fileKind, int order, int threads,
                        const PaintingProgress& progress = {}) {
        FigureEngine& figure = *copy;
        figure = doc.m_figure;
        return WritePosterFile(figure, order, path, fileKind, doc.m_nJpegQuality,
                               doc.PictureParameterText(), threads, ui, progress);
    }

    TempDir dir;
    ScriptedPrompts ui;
    CDibDoc doc{ui};
    std::unique_ptr<FigureEngine> copy = std::make_unique<FigureEngine>();
};

TEST_F(PosterFile, EveryKindHoldsTheBytesOfTheWholePaintingsFile) {
    for (const int order : {-1, 1}) {
        doc.m_figure.m_nCurrentOrder = std::max(order, 0);
        ASSERT_TRUE(doc.RenderFigure(order, order >= 0));
        for (const Kind& kind : kKinds) {
            const std::string whole = dir.File(std::string("whole") + kind.extension);
            const std::string poster = dir.File(std::string("poster") + kind.extension);
            ASSERT_TRUE(doc.SaveDocumentOfKind(whole, kind.fileKind)) << kind.extension;
            const std::string expected = ReadFile(whole);
            for (const int threads : {1, 2, 3, 8}) {
                const std::string what = std::string(kind.extension) + " order " +
                                         std::to_string(order) + ", " + std::to_string(threads) +
                                         " threads";
                EXPECT_EQ(Poster(poster, kind.fileKind, order, threads), StreamResult::Written);
                const std::string written = ReadFile(poster);
                EXPECT_EQ(written.size(), expected.size()) << what;
                EXPECT_TRUE(written == expected) << what;
                EXPECT_EQ(copy->m_nShapes, doc.m_figure.m_nShapes) << what;
            }
        }
    }
    EXPECT_TRUE(ui.Texts().empty());
}

// Only the target and the older file's content may be in the folder afterwards.
void ExpectOnlyTheOlderFile(const TempDir& dir, const std::string& path) {
    EXPECT_EQ(ReadFile(path), "older file");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 1) << "a temporary file was left behind";
}

TEST_F(PosterFile, ACancelLeavesTheOlderFileIntact) {
    for (const Kind& kind : kKinds) {
        const std::string path = dir.File(std::string("poster") + kind.extension);
        std::ofstream(path, std::ios::binary) << "older file";
        doc.m_figure.m_nHeight = 3000;  // several bands
        doc.m_figure.m_nWidth = 5000;
        EXPECT_EQ(Poster(path, kind.fileKind, -1, 2, [](auto, auto) { return false; }),
                  StreamResult::Cancelled);
        ExpectOnlyTheOlderFile(dir, path);
        fs::remove(path);
    }
    EXPECT_TRUE(ui.Texts().empty());
}

// A file size limit makes every write beyond it fail as on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

  private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
};

TEST_F(PosterFile, AFullDiskIsReportedOnceAndLeavesTheOlderFileIntact) {
    for (const Kind& kind : kKinds) {
        const std::string path = dir.File(std::string("poster") + kind.extension);
        std::ofstream(path, std::ios::binary) << "older file";
        doc.m_figure.m_nWidth = 2000;
        doc.m_figure.m_nHeight = 1500;
        ui.Clear();
        {
            const FileSizeLimit limit(64 * 1024);
            EXPECT_EQ(Poster(path, kind.fileKind, -1, 2), StreamResult::Failed) << kind.extension;
        }
        EXPECT_EQ(ui.Texts().size(), 1u) << kind.extension;
        ExpectOnlyTheOlderFile(dir, path);
        fs::remove(path);
    }
}

TEST_F(PosterFile, SizesBeyondTheKindAreRefusedBeforeAnythingIsWritten) {
    struct Case {
        int fileKind;
        std::int64_t width, height;
        bool ok;
    };
    const Case cases[] = {
        {FILE_KIND_BMP, 12000, 9000, true},
        {FILE_KIND_BMP, 37837, 37837, true},
        {FILE_KIND_BMP, 37838, 37838, false},
        {FILE_KIND_BMP, 1, 2147483647, false},
        {FILE_KIND_JPG, 65500, 65500, true},
        {FILE_KIND_JPG, 65501, 10, false},
        {FILE_KIND_JPG, 10, 65501, false},
        {FILE_KIND_PNG, 30000, 2147483647, true},
        {FILE_KIND_PNG, 30000, 2147483648, false},
        {FILE_KIND_PNG, 16777217, 1, false},
        {FILE_KIND_DAT, 10, 10, false},
        {FILE_KIND_BMP, 0, 10, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PosterSizeProblem(c.fileKind, c.width, c.height).empty(), c.ok)
            << c.fileKind << ": " << c.width << "x" << c.height;
    }
    const std::string path = dir.File("too.jpg");
    doc.m_figure.m_nWidth = 70000;
    EXPECT_EQ(Poster(path, FILE_KIND_JPG, -1, 2), StreamResult::Failed);
    EXPECT_FALSE(fs::exists(path));
    ASSERT_EQ(ui.Texts().size(), 1u);
    EXPECT_NE(ui.Texts()[0].find("65500"), std::string::npos) << ui.Texts()[0];
}

}  // namespace
