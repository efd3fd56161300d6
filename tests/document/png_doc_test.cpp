// The document and PNG pictures: saving carries the figure, opening such a PNG gives the figure
// back, other PNGs open as pictures, and numbered saving writes PNG when asked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "document/file_names.h"
#include "document/numbered_files.h"
#include "picture/png_file.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The header and the pixels of every row, without the padding and whatever a reused block holds
// beyond the picture.
Bytes BlockBytes(const CDibDoc& doc) {
    const std::uint8_t* block = doc.m_hDIB->Bytes();
    const DibInfo info = DibDescribe(block);
    Bytes bytes(block, block + kDibHeaderBytes);
    const std::int64_t stride = DibRowStride(info.width, 24);
    for (int y = 0; y < info.height; ++y) {
        const std::uint8_t* row = DibPixelData(block, 0) + y * stride;
        bytes.insert(bytes.end(), row, row + 3 * info.width);
    }
    return bytes;
}

// Figures that differ in everything the parameter file holds, painted at different sizes.
struct Figure {
    const char* name;
    int width;
    int height;
    void (*change)(FigureEngine&);
};

const Figure kFigures[] = {
    {"default", 1200, 900, [](FigureEngine&) {}},
    {"small and moved", 321, 203,
     [](FigureEngine& f) {
         f.m_dCentreX = 3.25;
         f.m_dCentreY = -11.5;
         f.m_dMagnExp = -5;
         f.m_nUn = 20;
         f.m_nGs = 32;
     }},
    {"coloured orders", 640, 480,
     [](FigureEngine& f) {
         f.SetColour(0x123456, SLOT_BACKGROUND);
         f.SetColour(0xABCDEF, 12);
         f.m_orders[1].drawOrder = 1;
         f.m_orders[1].transparency = 0.25;
         f.m_bGradient = true;
         std::snprintf(f.m_szComment, sizeof f.m_szComment, "%s", "a comment, with words");
     }},
};

class PngDocTest : public ::testing::Test {
  protected:
    // A new document with the figure painted.
    void Paint(CDibDoc& doc, const Figure& figure) {
        ASSERT_TRUE(doc.OnNewDocument());
        doc.m_figure.m_nWidth = figure.width;
        doc.m_figure.m_nHeight = figure.height;
        figure.change(doc.m_figure);
        ASSERT_NE(doc.PreparePicture(false), 0);
    }

    ScriptedPrompts ui;
    TempDir dir;
};

}  // namespace

TEST_F(PngDocTest, APngSavedFromAFigureOpensAsThatFigurePaintedByteForByte) {
    for (const Figure& figure : kFigures) {
        CDibDoc original(ui);
        Paint(original, figure);
        const std::string png = dir.File("Fig.v2.png");
        ASSERT_TRUE(original.SaveDocumentOfKind(png, FILE_KIND_PNG)) << figure.name;
        EXPECT_EQ(original.m_nPictureFormat, FILE_KIND_PNG);

        ScriptedPrompts otherUi;
        CDibDoc opened(otherUi);
        ASSERT_TRUE(opened.OpenDocumentOfKind(png, FILE_KIND_PNG)) << figure.name;
        EXPECT_TRUE(otherUi.messages.empty()) << figure.name;
        EXPECT_FALSE(opened.m_bBitmapMode);
        EXPECT_EQ(DatFileText(opened.m_figure), DatFileText(original.m_figure)) << figure.name;
        EXPECT_EQ(BlockBytes(opened), BlockBytes(original)) << figure.name;
        EXPECT_EQ(opened.m_pictureSize.width, figure.width);
        EXPECT_EQ(opened.m_nPictureFormat, FILE_KIND_PNG);
        EXPECT_EQ(opened.GetTitle(), "Fig");
        EXPECT_EQ(std::string(opened.m_figure.m_szDirectory), DirectoryOf(png));
        EXPECT_EQ(opened.GetPathName(), png);
        EXPECT_FALSE(opened.IsModified());

        // Its parameters saved again are those of the original figure.
        const std::string back = dir.File("back.dat");
        const std::string first = dir.File("first.dat");
        ASSERT_EQ(SaveDatFile(opened.m_figure, back), DAT_OK);
        ASSERT_EQ(SaveDatFile(original.m_figure, first), DAT_OK);
        std::ifstream a(back, std::ios::binary), b(first, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}),
                  std::string(std::istreambuf_iterator<char>(b), {}));
    }
}

TEST_F(PngDocTest, TheChunkHoldsTheFigureAsPaintedNotUnpaintedChanges) {
    CDibDoc doc(ui);
    Paint(doc, kFigures[0]);
    const std::string painted = DatFileText(doc.m_figure);
    doc.m_figure.SetColour(0x00FF00, SLOT_BACKGROUND);  // a colour-page change, not painted yet
    doc.m_figure.m_dMagnExp = -2;
    EXPECT_EQ(doc.PictureParameterText(), painted);
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("p.png")));
    DibHandle handle;
    PictureSize size;
    std::optional<std::string> text;
    ASSERT_TRUE(PngReadPicture(dir.File("p.png"), handle, size, text, ui));
    EXPECT_EQ(text, painted);
}

TEST_F(PngDocTest, APictureThatIsNotAPaintingSavesAsAPlainPngAndOpensAsAPicture) {
    CDibDoc painted(ui);
    Paint(painted, kFigures[1]);
    ASSERT_TRUE(painted.OnSaveDocument(dir.File("picture.bmp")));

    CDibDoc doc(ui);
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("picture.bmp")));
    EXPECT_EQ(doc.PictureParameterText(), "");
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("plain.png")));

    CDibDoc opened(ui);
    ASSERT_TRUE(opened.OnOpenDocument(dir.File("plain.png")));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(opened.m_bBitmapMode);
    EXPECT_EQ(opened.m_nPictureFormat, FILE_KIND_PNG);
    EXPECT_EQ(opened.m_figure.m_nWidth, 321);
    EXPECT_EQ(opened.m_figure.m_dMagnExp, FigureEngine().m_dMagnExp);
    EXPECT_EQ(BlockBytes(opened), BlockBytes(painted));
    EXPECT_EQ(opened.GetTitle(), "plain");
}

TEST_F(PngDocTest, ABrokenParameterChunkShowsTheParameterFileMessageAndOpensThePicture) {
    CDibDoc painted(ui);
    Paint(painted, kFigures[1]);
    const std::string path = dir.File("broken.png");
    ASSERT_TRUE(
        PngWritePicture(path, painted.m_hDIB, "Dorvanta Version 4.0\r\nno numbers\r\n#", ui));
    CDibDoc opened(ui);
    ASSERT_TRUE(opened.OnOpenDocument(path));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Unit format error"});
    EXPECT_TRUE(opened.m_bBitmapMode);
    EXPECT_EQ(BlockBytes(opened), BlockBytes(painted));
    EXPECT_EQ(opened.m_figure.m_nUn, FigureEngine().m_nUn);
}

TEST_F(PngDocTest, ADamagedPngIsRefusedAndTheOpenDocumentKeepsItsPicture) {
    CDibDoc doc(ui);
    Paint(doc, kFigures[1]);
    const Bytes before = BlockBytes(doc);
    const std::string path = dir.File("bad.png");
    std::ofstream(path, std::ios::binary) << "\x89PNG\r\n\x1a\nnothing more";
    EXPECT_FALSE(doc.OnOpenDocument(path));
    ASSERT_EQ(ui.Texts().size(), 2u);
    EXPECT_EQ(ui.Texts()[0].rfind("Failed to read: " + path + "\n", 0), 0u);
    EXPECT_EQ(ui.Texts()[1], "Read failed" + path);
    EXPECT_EQ(BlockBytes(doc), before);
    EXPECT_FALSE(doc.m_bBitmapMode);
}

// A painting of one order alone (Draw Only One, the digit keys) gives that painting back; the
// parameter text stays what a parameter file holds. The painting replaces the pixels, so they are
// not decoded: a file cut inside its image data opens as its figure all the same.
TEST_F(PngDocTest, APaintingOfOneOrderOpensAsThatOrderAlone) {
    for (int order : {-1, 0, 2, 5}) {
        CDibDoc original(ui);
        Paint(original, kFigures[1]);
        if (order >= 0) {
            original.m_figure.m_nCurrentOrder = order;
            ui.settingsDialog = [](FigureEngine&, std::string&) { return RESULT_DRAW_ONE_ORDER; };
            ASSERT_EQ(original.PreparePicture(true), RESULT_DRAW_ONE_ORDER);
        }
        const std::string png = dir.File("one.png");
        ASSERT_TRUE(original.SaveDocumentOfKind(png, FILE_KIND_PNG));
        for (const bool cut : {false, true}) {
            SCOPED_TRACE(cut ? "cut in its image data" : "whole");
            if (cut) {
                const std::uintmax_t imageData = ReadFile(png).find("IDAT");
                ASSERT_NE(imageData, std::string::npos);
                fs::resize_file(png, imageData + 20);
            }
            CDibDoc opened(ui);
            ASSERT_TRUE(opened.OpenDocumentOfKind(png, FILE_KIND_PNG)) << order;
            EXPECT_FALSE(opened.m_bBitmapMode);
            EXPECT_EQ(opened.m_nPaintedOrder, order);
            EXPECT_EQ(BlockBytes(opened), BlockBytes(original)) << order;
            EXPECT_EQ(opened.PictureParameterText(), original.PictureParameterText()) << order;
            EXPECT_TRUE(ui.messages.empty());
        }
    }
}

TEST_F(PngDocTest, SaveAsOffersPngAndTheFiltersNameIt) {
    EXPECT_NE(std::string(kOpenFilter).find("|*.png|"), std::string::npos);
    EXPECT_NE(std::string(kSaveAsFilter).find("|*.png|"), std::string::npos);
    CDibDoc doc(ui);
    Paint(doc, kFigures[1]);
    doc.m_figure.SetNamesFromPath(dir.File("Shape.dat"));
    ui.savePaths = {dir.File("Shape.png")};
    ASSERT_TRUE(doc.OnFileSaveAs());
    EXPECT_TRUE(fs::exists(dir.File("Shape.png")));
    EXPECT_TRUE(doc.IsPngChecked());
    EXPECT_FALSE(doc.IsBitmapChecked());
    EXPECT_FALSE(doc.IsJpegChecked());
}

TEST_F(PngDocTest, NumberedSavingWritesPngWithItsParameterFile) {
    g_nFileCounter = 0;
    CDibDoc doc(ui);
    Paint(doc, kFigures[1]);
    doc.m_bPathConfirmed = true;
    doc.m_figure.SetNamesFromPath(dir.File("Shot.dat"));
    doc.OnPicturePng();
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_TRUE(fs::exists(dir.File("Shot1.png")));
    EXPECT_TRUE(fs::exists(dir.File("Shot1.dat")));
    EXPECT_FALSE(fs::exists(dir.File("Shot1.bmp")));
    EXPECT_FALSE(fs::exists(dir.File("Shot1.jpg")));
    // A PNG already there is skipped like a BMP or JPEG.
    std::ofstream(dir.File("Shot2.png")) << "taken";
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_TRUE(fs::exists(dir.File("Shot3.png")));
    g_nFileCounter = 0;
}

TEST(PngFileKinds, PngIsAKindByEitherDotRule) {
    struct Case {
        const char* path;
        int firstDot;
        int lastDot;
    };
    for (Case c : {Case{"a.png", FILE_KIND_PNG, FILE_KIND_PNG},
                   {"A.PNG", FILE_KIND_PNG, FILE_KIND_PNG},
                   {"out.v2.png", FILE_KIND_OTHER, FILE_KIND_PNG},
                   {"out.png.bmp", FILE_KIND_OTHER, FILE_KIND_BMP},
                   {"dir.png/file", FILE_KIND_OTHER, FILE_KIND_OTHER},
                   {"fig.dat", FILE_KIND_DAT, FILE_KIND_DAT},
                   {"png", FILE_KIND_OTHER, FILE_KIND_OTHER}}) {
        EXPECT_EQ(FileKindOf(c.path), c.firstDot) << c.path;
        EXPECT_EQ(FileKindOfLastExtension(c.path), c.lastDot) << c.path;
    }
}
