#include "document/numbered_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "document/dib_doc.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class NumberedFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_nFileCounter = 0;
        g_nLastSeedTime = -1;
        ASSERT_TRUE(doc.OnNewDocument());
        doc.m_bPathConfirmed = true;
    }

    // Gives the document a project name in the temporary folder.
    void Name(const std::string& name) { doc.m_figure.SetNamesFromPath(dir.File(name + ".dat")); }

    bool Exists(const std::string& name) const { return fs::exists(dir.File(name)); }

    ScriptedPrompts ui;
    CDibDoc doc{ui};
    TempDir dir;
};

// The random numbers the document must have drawn, from a generator seeded the same way.
struct ExpectedRandom {
    explicit ExpectedRandom(unsigned seed) { source.SeedRandom(seed); }
    double Unit() { return source.NextRandom() / 32767.0; }
    COLORREF Colour() {
        double r = std::floor(255 * Unit() + 0.5);
        double g = std::floor(255 * Unit() + 0.5);
        double b = std::floor(255 * Unit() + 0.5);
        return static_cast<COLORREF>(r) | static_cast<COLORREF>(g) << 8 |
               static_cast<COLORREF>(b) << 16;
    }
    ScriptedPrompts source;
};

}  // namespace

TEST(RandomChoice, DefaultsChooseEveryItemButTheReferenceLine) {
    RandomChoice choice;
    for (int order = 0; order < 10; ++order) {
        for (int j = 0; j < 10; ++j) {
            bool expected = j <= 4 || j == 6 || j == 7;
            EXPECT_EQ(choice.itemFlags[order][j], expected ? 1 : 0) << order << "," << j;
        }
    }
    EXPECT_EQ(choice.chooseLinesOffset, 1);
    EXPECT_EQ(choice.chooseMagnification, 1);
    EXPECT_EQ(choice.chooseBackground, 0);
}

TEST_F(NumberedFilesTest, AsksForTheDirectoryFirstAndStopsOnNo) {
    doc.m_bPathConfirmed = false;
    ui.currentDirectory = "/home/user/figures";
    Name("Spiral");
    ui.answers = {IDNO};
    EXPECT_FALSE(doc.SaveToNextFile());
    ASSERT_EQ(ui.messages.size(), 1u);
    // The folder named is the one the files go to, the figure's own.
    EXPECT_EQ(ui.messages[0].text,
              "The current path is:\n" + dir.Path().string() +
                  "\nIf you are happy with this press 'Yes' "
                  "to continue, if not press 'No' and save the first file via the Dorvanta Data "
                  "dialog.\nThe rest of the files will automatically saved there.");
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::Question);
    EXPECT_FALSE(doc.m_bPathConfirmed);
    EXPECT_TRUE(fs::is_empty(dir.Path()));

    ui.answers = {IDYES};
    EXPECT_TRUE(doc.SaveToNextFile());
    EXPECT_EQ(ui.messages.size(), 2u);  // asked again
    EXPECT_TRUE(doc.m_bPathConfirmed);
    EXPECT_TRUE(Exists("Spiral1.bmp"));

    EXPECT_TRUE(doc.SaveToNextFile());
    EXPECT_EQ(ui.messages.size(), 2u);  // not asked once confirmed
}

TEST_F(NumberedFilesTest, TheDirectoryQuestionNamesTheFolderTheFilesGoTo) {
    struct Case {
        const char* figureDirectory;
        const char* current;
        const char* shown;
    };
    for (const Case& c :
         {Case{"", "/home/user/figures", "/home/user/figures"},
          Case{"/data/out/", "/home/user", "/data/out"},
          Case{"sub/", "/home/user", "/home/user/sub"}, Case{"/", "/home/user", "/"}}) {
        SCOPED_TRACE(c.figureDirectory);
        doc.m_bPathConfirmed = false;
        doc.m_figure.SetNamesFromPath(std::string(c.figureDirectory) + "Spiral.dat");
        ui.currentDirectory = c.current;
        ui.Clear();
        ui.answers = {IDNO};
        EXPECT_FALSE(doc.SaveToNextFile());
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, PathQuestionText(c.shown));
    }
}

// Names and the counter change only once the picture is on disk.
TEST_F(NumberedFilesTest, AFailedPictureLeavesNamesAndCounter) {
    doc.m_figure.SetNamesFromPath(dir.File("locked/Locked.dat"));
    doc.SetTitle("Locked");
    std::vector<std::string> offered;
    doc.onAddToRecentFileList = [&offered](const std::string& path) { offered.push_back(path); };
    EXPECT_FALSE(doc.SaveToNextFile());
    EXPECT_EQ(ui.Texts().back(), "Cannot save DIB");
    EXPECT_EQ(doc.GetTitle(), "Locked");
    EXPECT_STREQ(doc.m_figure.m_szName, "Locked");
    EXPECT_EQ(g_nFileCounter, 0);
    EXPECT_TRUE(offered.empty());
    EXPECT_TRUE(fs::is_empty(dir.Path()));

    fs::create_directory(dir.File("locked"));
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_TRUE(Exists("locked/Locked1.bmp"));
    EXPECT_TRUE(Exists("locked/Locked1.dat"));
    EXPECT_EQ(doc.GetTitle(), "Locked1");
    EXPECT_EQ(offered, (std::vector<std::string>{dir.File("locked/Locked1.bmp"),
                                                 dir.File("locked/Locked1.dat")}));
}

TEST_F(NumberedFilesTest, TheDirectoryShownIsCutAt990Characters) {
    doc.m_bPathConfirmed = false;
    ui.currentDirectory = std::string(1200, 'd');
    ui.answers = {IDNO};
    doc.SaveToNextFile();
    EXPECT_EQ(ui.messages[0].text, PathQuestionText(std::string(990, 'd')));
}

TEST_F(NumberedFilesTest, SpiralGetsNumberedFilesAndTheDocumentIsRenamed) {
    Name("Spiral");
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_TRUE(Exists("Spiral1.bmp"));
    EXPECT_TRUE(Exists("Spiral1.dat"));
    EXPECT_EQ(fs::file_size(dir.File("Spiral1.bmp")), 3240054u);
    EXPECT_STREQ(doc.m_figure.m_szName, "Spiral1");
    EXPECT_EQ(doc.GetTitle(), "Spiral1");
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_TRUE(Exists("Spiral2.bmp"));
    EXPECT_TRUE(Exists("Spiral2.dat"));
    EXPECT_EQ(doc.GetTitle(), "Spiral2");
    EXPECT_EQ(g_nFileCounter, 2);
    EXPECT_TRUE(ui.messages.empty());
    // The parameter file is the figure's own.
    std::ifstream dat(dir.File("Spiral2.dat"), std::ios::binary);
    std::string first;
    std::getline(dat, first);
    EXPECT_EQ(first, "Dorvanta Version 4.0\r");
}

TEST_F(NumberedFilesTest, TrailingDigitsStartTheCounter) {
    Name("abc12");
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_TRUE(Exists("abc13.bmp"));
    EXPECT_TRUE(Exists("abc13.dat"));
    EXPECT_EQ(doc.GetTitle(), "abc13");
}

TEST_F(NumberedFilesTest, TheFirstThreeCharactersAreNeverTakenOff) {
    Name("a12");
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_TRUE(Exists("a121.bmp"));
    EXPECT_TRUE(Exists("a121.dat"));
    Name("123456");
    g_nFileCounter = 0;
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_TRUE(Exists("123457.bmp"));
}

TEST_F(NumberedFilesTest, TheCounterIsSharedAndOnlyTakenFromANameWhileZero) {
    Name("abc12");
    ASSERT_TRUE(doc.SaveToNextFile());  // abc13
    ScriptedPrompts otherUi;
    CDibDoc other(otherUi);
    ASSERT_TRUE(other.OnNewDocument());
    other.m_bPathConfirmed = true;
    other.m_figure.SetNamesFromPath(dir.File("xyz500.dat"));
    ASSERT_TRUE(other.SaveToNextFile());
    EXPECT_TRUE(Exists("xyz14.bmp"));
}

TEST_F(NumberedFilesTest, HugeTrailingNumbersDoNotOverflowTheCounter) {
    Name("big99999999999999999999");
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_TRUE(Exists("big1.bmp"));
}

TEST_F(NumberedFilesTest, EmptyNameSavesOneInTheCurrentDirectory) {
    fs::path saved = fs::current_path();
    fs::current_path(dir.Path());
    ASSERT_STREQ(doc.m_figure.m_szName, "");
    bool ok = doc.SaveToNextFile();
    bool picture = fs::exists("1.bmp");
    bool parameters = fs::exists("1.dat");
    fs::current_path(saved);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(picture);
    EXPECT_TRUE(parameters);
    EXPECT_EQ(doc.GetTitle(), "1");
}

TEST_F(NumberedFilesTest, NumbersWithEitherFileTakenAreSkipped) {
    Name("Spiral");
    g_nFileCounter = 2;
    std::ofstream(dir.File("Spiral3.dat")) << "x";
    std::ofstream(dir.File("Spiral4.bmp")) << "x";
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_TRUE(Exists("Spiral5.bmp"));
    EXPECT_TRUE(Exists("Spiral5.dat"));
    EXPECT_FALSE(Exists("Spiral3.bmp"));
    EXPECT_FALSE(Exists("Spiral4.dat"));
}

TEST_F(NumberedFilesTest, JpegFormatWritesJpgWithTheDocumentsQuality) {
    Name("Shot");
    doc.SetJpegQuality(20);
    ASSERT_TRUE(doc.SaveToNextFile());
    ASSERT_TRUE(Exists("Shot1.jpg"));
    EXPECT_TRUE(Exists("Shot1.dat"));
    EXPECT_FALSE(Exists("Shot1.bmp"));
    std::uintmax_t low = fs::file_size(dir.File("Shot1.jpg"));
    doc.SetJpegQuality(95);
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_GT(fs::file_size(dir.File("Shot2.jpg")), low);
}

TEST_F(NumberedFilesTest, APictureThatCannotBeWrittenKeepsTheName) {
    doc.m_figure.SetNamesFromPath(dir.File("missing-folder/Spiral.dat"));
    EXPECT_FALSE(doc.SaveToNextFile());
    EXPECT_EQ(ui.Texts().back(), "Cannot save DIB");
    EXPECT_EQ(doc.GetTitle(), "");
    EXPECT_STREQ(doc.m_figure.m_szName, "Spiral");
}

TEST_F(NumberedFilesTest, RandomColoursDrawInTheDocumentedOrder) {
    ui.clock = 1234;
    FigureEngine before = doc.m_figure;
    ASSERT_TRUE(doc.RandomColours(false));
    ExpectedRandom expect(1234);
    const FigureEngine& f = doc.m_figure;
    int un = 1498 + static_cast<int>(std::floor(expect.Unit() * 1498.0 + 0.5));
    EXPECT_EQ(f.m_nUn, un);
    EXPECT_EQ(f.m_nGs, static_cast<int>(std::floor(un * 1.618033988749895 + 0.5)));
    EXPECT_EQ(f.m_dMagnExp, 2 * expect.Unit() - 8);
    for (int order = 0; order < 10; ++order) {
        for (int slot = 0; slot < 10; ++slot) {
            int entry = 10 * order + slot;
            bool drawn = order <= 3 && slot >= 2 && slot != 7;
            COLORREF expected = drawn ? expect.Colour() : before.GetColour(entry);
            EXPECT_EQ(f.GetColour(entry), expected) << "entry " << entry;
        }
    }
    EXPECT_EQ(g_nLastSeedTime, 1234);
    EXPECT_TRUE(doc.m_bReady);
    EXPECT_EQ(std::memcmp(doc.m_acceptedColours, f.m_colours, sizeof f.m_colours), 0);
    EXPECT_EQ(doc.m_acceptedTransform.magnExp, f.m_dMagnExp);
}

TEST_F(NumberedFilesTest, RandomOffsetStaysInTheSeriesRange) {
    for (int second = 0; second < 40; ++second) {
        ui.clock = 5000 + second;
        doc.m_randomChoice.chooseMagnification = 0;
        for (auto& order : doc.m_figure.m_orders) order.drawOrder = 0;
        ASSERT_TRUE(doc.RandomColours(false));
        const FigureEngine& f = doc.m_figure;
        EXPECT_GE(f.m_nUn, 1498);
        EXPECT_LE(f.m_nUn, 2996);
        EXPECT_EQ(f.m_nGs, static_cast<int>(std::floor(f.m_nUn * 1.618033988749895 + 0.5)));
        EXPECT_EQ(f.m_dMagnExp, -7.0);
    }
}

TEST_F(NumberedFilesTest, BackgroundComesFirstAndOnlyDrawnOrdersChange) {
    ui.clock = 77;
    RandomChoice& choice = doc.m_randomChoice;
    choice.chooseLinesOffset = 0;
    choice.chooseMagnification = 0;
    choice.chooseBackground = 1;
    std::memset(choice.itemFlags, 0, sizeof choice.itemFlags);
    choice.itemFlags[5][5] = 1;  // reference line of order 5
    choice.itemFlags[2][0] = 1;  // lines of order 2, which is not drawn below
    doc.m_figure.m_orders[2].drawOrder = 0;
    doc.m_figure.m_orders[5].drawOrder = 1;
    FigureEngine before = doc.m_figure;
    ASSERT_TRUE(doc.RandomColours(false));
    ExpectedRandom expect(77);
    EXPECT_EQ(doc.m_figure.GetColour(1), expect.Colour());
    EXPECT_EQ(doc.m_figure.GetColour(57), expect.Colour());
    EXPECT_EQ(doc.m_figure.GetColour(22), before.GetColour(22));
    EXPECT_EQ(doc.m_figure.m_nUn, 1145);
}

TEST_F(NumberedFilesTest, WithinOneSecondTheSequenceContinuesWithoutReseeding) {
    RandomChoice& choice = doc.m_randomChoice;
    choice.chooseLinesOffset = 0;
    choice.chooseMagnification = 1;
    std::memset(choice.itemFlags, 0, sizeof choice.itemFlags);
    ui.clock = 900;
    doc.RandomColours(false);
    double first = doc.m_figure.m_dMagnExp;
    doc.RandomColours(false);
    double second = doc.m_figure.m_dMagnExp;
    ExpectedRandom expect(900);
    EXPECT_EQ(first, 2 * expect.Unit() - 8);
    EXPECT_EQ(second, 2 * expect.Unit() - 8);
    EXPECT_NE(first, second);

    ui.clock = 901;  // a new second seeds again
    doc.RandomColours(false);
    ExpectedRandom reseeded(901);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, 2 * reseeded.Unit() - 8);
}

TEST_F(NumberedFilesTest, AutomaticSaveAfterRandomColours) {
    Name("Auto");
    EXPECT_TRUE(doc.RandomColours(true));
    EXPECT_TRUE(Exists("Auto1.bmp"));
    EXPECT_TRUE(Exists("Auto1.dat"));
    EXPECT_EQ(doc.GetTitle(), "Auto1");

    doc.m_bPathConfirmed = false;
    ui.answers = {IDNO};
    EXPECT_FALSE(doc.RandomColours(true));  // the answer to the directory question
    EXPECT_FALSE(Exists("Auto2.bmp"));
}
