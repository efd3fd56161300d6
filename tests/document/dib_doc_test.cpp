#include "document/dib_doc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "document/dat_file.h"
#include "document/file_names.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kDefaultBmpBytes = 3240054;  // 54 + 3600 x 900

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Restores the process's current directory, which opening through the file dialog changes.
class CurrentDirectoryGuard {
  public:
    CurrentDirectoryGuard() : m_saved(fs::current_path()) {}
    ~CurrentDirectoryGuard() { fs::current_path(m_saved); }

  private:
    fs::path m_saved;
};

class DibDocTest : public ::testing::Test {
  protected:
    // A settings dialog that must not be shown.
    void ForbidDialog() {
        ui.settingsDialog = [](FigureEngine&, std::string&) {
            ADD_FAILURE() << "the settings dialog was shown";
            return IDCANCEL;
        };
    }

    // A document painted at the given size, saved as BMP at path.
    void WritePictureFile(const std::string& path, int width, int height) {
        ScriptedPrompts otherUi;
        CDibDoc other(otherUi);
        other.m_figure.m_nWidth = width;
        other.m_figure.m_nHeight = height;
        ASSERT_NE(other.PreparePicture(false), 0);
        ASSERT_TRUE(other.OnSaveDocument(path));
    }

    std::vector<std::uint8_t> PictureBytes() const {
        return {m_doc().m_hDIB->Bytes(), m_doc().m_hDIB->Bytes() + m_doc().m_hDIB->Size()};
    }

    const CDibDoc& m_doc() const { return doc; }

    ScriptedPrompts ui;
    CDibDoc doc{ui};
    TempDir dir;
};

}  // namespace

TEST_F(DibDocTest, StartsWithoutPictureInBitmapModeWithDefaults) {
    EXPECT_EQ(doc.m_nPictureFormat, FILE_KIND_BMP);
    EXPECT_EQ(doc.m_nJpegQuality, 90);
    EXPECT_FALSE(doc.m_bReady);
    EXPECT_FALSE(doc.m_bPathConfirmed);
    EXPECT_TRUE(doc.m_bBitmapMode);
    EXPECT_EQ(doc.m_hDIB, nullptr);
    EXPECT_EQ(doc.m_pPalette, nullptr);
    EXPECT_EQ(doc.m_pictureSize.width, 1);
    EXPECT_EQ(doc.m_pictureSize.height, 1);
    EXPECT_EQ(doc.m_figure.m_nWidth, 1200);
    EXPECT_EQ(doc.m_figure.m_nUn, 1145);
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(DibDocTest, NewDocumentPaintsTheDefaultFigureWithoutDialog) {
    ForbidDialog();
    int updates = 0;
    doc.onTitleChanged = [&](const std::string&) { ++updates; };
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(doc.m_bReady);
    EXPECT_FALSE(doc.m_bBitmapMode);
    EXPECT_EQ(doc.m_pPalette, nullptr);
    EXPECT_EQ(doc.m_pictureSize.width, 1200);
    EXPECT_EQ(doc.m_pictureSize.height, 900);
    ASSERT_NE(doc.m_hDIB, nullptr);
    EXPECT_GE(doc.m_hDIB->Size(), 40u + 3600u * 900u);
    DibInfo info = DibDescribe(doc.m_hDIB->Bytes());
    EXPECT_EQ(info.width, 1200);
    EXPECT_EQ(info.height, 900);
    EXPECT_EQ(info.bitsPerPixel, 24);
    EXPECT_EQ(doc.m_figure.m_nShapes, 2530);  // the default painting's solid pentagons
    EXPECT_EQ(doc.GetTitle(), "");
    EXPECT_GE(updates, 1);
    EXPECT_EQ(ui.waitCursorDepth, 0);
    EXPECT_GE(ui.waitCursorShown, 1);
}

TEST_F(DibDocTest, PreparePictureWithoutDialogReturnsInit) {
    ForbidDialog();
    EXPECT_EQ(doc.PreparePicture(false), RESULT_INIT);
    EXPECT_TRUE(doc.m_bReady);
    EXPECT_FALSE(doc.m_bBitmapMode);
}

TEST_F(DibDocTest, DialogOkTakesTheEditedCopyAndPaintsAtItsSize) {
    doc.m_figure.m_dMagnExp = -6.5;
    ui.settingsDialog = [](FigureEngine& edit, std::string&) {
        EXPECT_EQ(&edit, &g_figureEdit);
        EXPECT_DOUBLE_EQ(edit.m_dMagnExp, -6.5);  // the dialog starts from the document's figure
        edit.m_nWidth = 320;
        edit.m_nHeight = 200;
        std::strcpy(edit.m_szName, "Edited");
        return IDOK;
    };
    EXPECT_EQ(doc.PreparePicture(true), IDOK);
    EXPECT_TRUE(doc.m_bReady);
    EXPECT_FALSE(doc.m_bPathConfirmed);
    EXPECT_EQ(doc.m_figure.m_nWidth, 320);
    EXPECT_EQ(doc.m_pictureSize.width, 320);
    EXPECT_EQ(doc.m_pictureSize.height, 200);
    EXPECT_EQ(doc.m_figure.m_nRowBytes, 960);
    EXPECT_EQ(DibDescribe(doc.m_hDIB->Bytes()).width, 320);
    EXPECT_EQ(doc.GetTitle(), "Edited");
}

TEST_F(DibDocTest, DrawOneOrderPaintsTheCurrentOrderAlone) {
    ui.settingsDialog = [](FigureEngine& edit, std::string&) {
        edit.m_nCurrentOrder = 1;
        return RESULT_DRAW_ONE_ORDER;
    };
    EXPECT_EQ(doc.PreparePicture(true), RESULT_DRAW_ONE_ORDER);
    EXPECT_EQ(doc.m_figure.m_nCurrentOrder, 1);
    ASSERT_EQ(doc.m_figure.m_nShapes, 308);  // 217 big and 91 small pentagons of order 1
    for (int i = 0; i < doc.m_figure.m_nShapes; ++i) EXPECT_EQ(doc.m_figure.m_shapes[i].order, 1);
}

// The command line's request: painted once at its size and order, as a painting of a figure set
// that way; without painting, nothing is allocated and the figure stands as if painted.
TEST_F(DibDocTest, ARequestPaintsOnceAtItsSizeAndOrderOrNotAtAll) {
    ForbidDialog();
    doc.m_request = {320, 200, 1, true};
    ASSERT_TRUE(doc.OnNewDocument());
    ScriptedPrompts otherUi;
    CDibDoc direct(otherUi);
    direct.m_figure.m_nWidth = 320;
    direct.m_figure.m_nHeight = 200;
    direct.m_figure.m_nCurrentOrder = 1;
    ASSERT_NE(direct.PreparePicture(false), 0);
    ASSERT_TRUE(direct.RenderFigure(1, true));
    ASSERT_TRUE(doc.m_hDIB && direct.m_hDIB);
    EXPECT_EQ(PictureBytes(),
              std::vector<std::uint8_t>(direct.m_hDIB->Bytes(),
                                        direct.m_hDIB->Bytes() + direct.m_hDIB->Size()));
    EXPECT_EQ(doc.m_nPaintedOrder, 1);
    EXPECT_EQ(doc.m_figure.m_nShapes, direct.m_figure.m_nShapes);

    CDibDoc poster(otherUi);
    poster.m_request = {9000, 7000, std::nullopt, false};
    ASSERT_TRUE(poster.OnNewDocument());
    EXPECT_EQ(poster.m_hDIB, nullptr);
    EXPECT_EQ(poster.m_figure.m_nWidth, 9000);
    EXPECT_NE(poster.PictureParameterText().find("Exp Magn = -7"), std::string::npos);
}

TEST_F(DibDocTest, CancelLeavesPictureAndParametersAndReturnsTwo) {
    ASSERT_TRUE(doc.OnNewDocument());
    std::vector<std::uint8_t> before = PictureBytes();
    ui.settingsDialog = [](FigureEngine& edit, std::string&) {
        edit.m_nWidth = 320;
        edit.m_dMagnExp = -3;
        return IDCANCEL;
    };
    EXPECT_EQ(doc.PreparePicture(true), IDCANCEL);
    EXPECT_TRUE(doc.m_bReady);
    EXPECT_FALSE(doc.m_bBitmapMode);
    EXPECT_FALSE(doc.m_bPathConfirmed);
    EXPECT_EQ(doc.m_figure.m_nWidth, 1200);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, -7.0);
    EXPECT_EQ(PictureBytes(), before);
}

TEST_F(DibDocTest, CancelWithoutPictureReturnsZero) {
    ui.settingsDialog = [](FigureEngine&, std::string&) { return IDCANCEL; };
    EXPECT_EQ(doc.PreparePicture(true), 0);
    EXPECT_EQ(doc.m_hDIB, nullptr);
    EXPECT_TRUE(doc.m_bReady);
}

TEST_F(DibDocTest, CancelAfterSavingFromTheDialogTakesTheSavedName) {
    const std::string saved = dir.File("Saved");
    ui.settingsDialog = [&](FigureEngine&, std::string& savedPath) {
        savedPath = saved;
        return IDCANCEL;
    };
    EXPECT_EQ(doc.PreparePicture(true), 0);
    EXPECT_TRUE(doc.m_bPathConfirmed);
    EXPECT_STREQ(doc.m_figure.m_szName, "Saved");
    EXPECT_EQ(std::string(doc.m_figure.m_szDirectory), DirectoryOf(saved));
    EXPECT_EQ(doc.GetTitle(), "Saved");
}

TEST_F(DibDocTest, TooLargePictureFailsWithTheMemoryMessage) {
    ui.settingsDialog = [](FigureEngine& edit, std::string&) {
        edit.m_nWidth = 100000;
        edit.m_nHeight = 100000;
        return IDOK;
    };
    EXPECT_EQ(doc.PreparePicture(true), 0);
    EXPECT_FALSE(doc.m_bReady);
    ASSERT_EQ(ui.Texts(),
              std::vector<std::string>{"Too large picture requested,\n Low on memory."});
    EXPECT_FALSE(doc.RenderFigure(-1, false));
}

TEST_F(DibDocTest, NonPositiveSizesAreRefusedNotPainted) {
    doc.m_figure.m_nWidth = 0;
    EXPECT_EQ(doc.PreparePicture(false), 0);
    doc.m_figure.m_nWidth = -5;
    EXPECT_EQ(doc.PreparePicture(false), 0);
    EXPECT_EQ(doc.m_hDIB, nullptr);
    // Said as it is: no memory would help.
    EXPECT_EQ(ui.Texts(),
              (std::vector<std::string>{EmptyPictureText(0, 900), EmptyPictureText(-5, 900)}));
}

TEST_F(DibDocTest, RestoreAcceptedCopyRevertsToTheLastPainting) {
    ASSERT_TRUE(doc.OnNewDocument());
    FigureEngine& f = doc.m_figure;
    f.SetColour(0x123456, 23);
    f.m_orders[2].transparency = 0.9;
    f.m_orders[4].drawOrder = 1;
    f.m_dCentreX = 12.5;
    f.m_dMagnExp = -4;
    f.m_nCurrentOrder = 7;
    std::strcpy(f.m_szComment, "changed");
    doc.RestoreAcceptedCopy();
    EXPECT_EQ(f.GetColour(23), FigureEngine().GetColour(23));
    EXPECT_EQ(f.m_orders[2].transparency, 0.5);
    EXPECT_EQ(f.m_orders[4].drawOrder, 0);
    EXPECT_EQ(f.m_dCentreX, 0.0);
    EXPECT_EQ(f.m_dMagnExp, -7.0);
    EXPECT_EQ(f.m_nCurrentOrder, 0);
    EXPECT_STREQ(f.m_szComment, "Comment");
    EXPECT_DOUBLE_EQ(f.m_transform.scale, 4.6875);

    // A new painting accepts the working values.
    f.m_dMagnExp = -6;
    f.SetColour(0x00ff00, 23);
    ASSERT_TRUE(doc.RenderFigure(-1, false));
    f.m_dMagnExp = -2;
    doc.RestoreAcceptedCopy();
    EXPECT_EQ(f.m_dMagnExp, -6.0);
    EXPECT_EQ(f.GetColour(23), 0x00ff00u);
}

TEST_F(DibDocTest, SaveAfterOpeningByFullPathWritesBesideTheParameterFile) {
    const std::string dat = dir.File("fig.dat");
    ASSERT_EQ(SaveDatFile(FigureEngine(), dat), DAT_OK);
    ASSERT_TRUE(doc.OnOpenDocument(dat));
    EXPECT_EQ(doc.GetTitle(), "fig");
    EXPECT_FALSE(doc.m_bBitmapMode);
    ui.Clear();
    ASSERT_TRUE(doc.OnFileSave());
    const std::string bmp = dir.File("fig.bmp");
    ASSERT_EQ(ui.Texts(), std::vector<std::string>{bmp});
    EXPECT_EQ(fs::file_size(bmp), kDefaultBmpBytes);
    EXPECT_EQ(doc.m_nPictureFormat, FILE_KIND_BMP);
}

TEST_F(DibDocTest, SaveAlwaysWritesBmpWhateverThePictureFormat) {
    ASSERT_TRUE(doc.OnNewDocument());
    doc.m_figure.SetNamesFromPath(dir.File("pic.dat"));
    doc.OnPictureJpeg();
    ASSERT_TRUE(doc.OnFileSave());
    EXPECT_TRUE(fs::exists(dir.File("pic.bmp")));
    EXPECT_EQ(doc.m_nPictureFormat, FILE_KIND_BMP);
}

TEST_F(DibDocTest, SaveAsToDatWritesNothingAndShowsCannotSave) {
    ASSERT_TRUE(doc.OnNewDocument());
    doc.SetModifiedFlag(true);
    ui.savePaths = {dir.File("x.dat")};
    EXPECT_FALSE(doc.OnFileSaveAs());
    EXPECT_FALSE(fs::exists(dir.File("x.dat")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Cannot save DIB");
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::Information);
    EXPECT_TRUE(doc.IsModified());  // the unsaved picture is still offered at close
}

// A save that failed changes no name: the window keeps naming what is on disk.
TEST_F(DibDocTest, FailedSaveAsKeepsTitleNamesAndPath) {
    const std::string fig = dir.File("fig.dat");
    ASSERT_EQ(SaveDatFile(FigureEngine(), fig), DAT_OK);
    ASSERT_TRUE(doc.OnOpenDocument(fig));
    for (const char* target : {"x.dat", "no-such-dir/x.bmp"}) {
        SCOPED_TRACE(target);
        ui.Clear();
        ui.savePaths = {dir.File(target)};
        EXPECT_FALSE(doc.OnFileSaveAs());
        EXPECT_EQ(ui.Texts().back(), "Cannot save DIB");
        EXPECT_EQ(doc.GetTitle(), "fig");
        EXPECT_STREQ(doc.m_figure.m_szName, "fig");
        EXPECT_EQ(std::string(doc.m_figure.m_szDirectory), DirectoryOf(fig));
        EXPECT_EQ(doc.GetPathName(), fig);
    }
}

TEST_F(DibDocTest, SaveWithoutANameIsSaveAs) {
    CurrentDirectoryGuard keep;
    fs::current_path(dir.Path());
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_FALSE(doc.OnFileSave());  // Cancel in the save-as dialog writes nothing
    EXPECT_TRUE(fs::is_empty(dir.Path()));
    ui.savePaths = {dir.File("first.bmp")};
    ASSERT_TRUE(doc.OnFileSave());
    EXPECT_EQ(fs::file_size(dir.File("first.bmp")), kDefaultBmpBytes);
    EXPECT_FALSE(fs::exists(dir.File(".bmp")));
    EXPECT_TRUE(ui.messages.empty());  // no path shown for a file that is not written
    EXPECT_EQ(doc.GetTitle(), "first");
    // Named now, Save writes beside the file as before.
    ASSERT_TRUE(doc.OnFileSave());
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{dir.File("first.bmp")});
}

TEST_F(DibDocTest, SaveAsCancelKeepsTheTitle) {
    ASSERT_TRUE(doc.OnNewDocument());
    doc.m_figure.SetNamesFromPath(dir.File("Spiral.dat"));
    doc.SetTitle("Spiral");
    EXPECT_FALSE(doc.OnFileSaveAs());  // no path scripted: Cancel
    EXPECT_EQ(doc.GetTitle(), "Spiral");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DibDocTest, SaveAsJpegWritesAJpegFileAndSwitchesTheFormat) {
    ASSERT_TRUE(doc.OnNewDocument());
    std::vector<std::uint8_t> before = PictureBytes();
    const std::string jpg = dir.File("out.jpg");
    ui.savePaths = {jpg};
    ASSERT_TRUE(doc.OnFileSaveAs());
    std::vector<std::uint8_t> bytes = ReadBytes(jpg);
    ASSERT_GT(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    EXPECT_EQ(doc.m_nPictureFormat, FILE_KIND_JPG);
    EXPECT_EQ(doc.GetTitle(), "out");
    EXPECT_EQ(std::string(doc.m_figure.m_szDirectory), DirectoryOf(jpg));
    EXPECT_EQ(PictureBytes(), before);  // writing leaves the pixels as they were
}

TEST_F(DibDocTest, SaveClearsTheModifiedFlagOnlyWhenWritten) {
    ASSERT_TRUE(doc.OnNewDocument());
    doc.SetModifiedFlag(true);
    EXPECT_FALSE(doc.OnSaveDocument(dir.File("no-such-dir/a.bmp")));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(ui.Texts().back(), "Cannot save DIB");
    EXPECT_TRUE(doc.OnSaveDocument(dir.File("a.bmp")));
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(DibDocTest, OpeningABmpResetsTheParametersExceptTheSize) {
    const std::string bmp = dir.File("small.bmp");
    WritePictureFile(bmp, 321, 203);
    ASSERT_TRUE(doc.OnNewDocument());
    doc.m_figure.m_dMagnExp = -3;
    doc.m_figure.SetColour(0x010203, 8);
    doc.m_figure.m_nUn = 7;
    doc.m_nPictureFormat = FILE_KIND_JPG;
    doc.SetModifiedFlag(true);
    ASSERT_TRUE(doc.OnOpenDocument(bmp));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(doc.m_bBitmapMode);
    EXPECT_TRUE(doc.m_bReady);
    EXPECT_EQ(doc.m_pictureSize.width, 321);
    EXPECT_EQ(doc.m_pictureSize.height, 203);
    EXPECT_EQ(doc.m_figure.m_nWidth, 321);
    EXPECT_EQ(doc.m_figure.m_nHeight, 203);
    EXPECT_EQ(doc.m_figure.m_nRowBytes, 964);
    EXPECT_EQ(doc.m_figure.m_dMagnExp, -7.0);
    EXPECT_EQ(doc.m_figure.m_nUn, 1145);
    EXPECT_EQ(doc.m_figure.GetColour(8), FigureEngine().GetColour(8));
    EXPECT_EQ(doc.m_nPictureFormat, FILE_KIND_BMP);
    EXPECT_NE(doc.m_pPalette, nullptr);
    EXPECT_EQ(doc.GetPathName(), bmp);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetTitle(), "small");
    EXPECT_EQ(doc.m_acceptedTransform.width, 321);
    EXPECT_EQ(doc.m_acceptedTransform.magnExp, -7.0);
}

TEST_F(DibDocTest, OpeningADatAlwaysPaintsAt1200By900) {
    const std::string dat = dir.File("fig.dat");
    ASSERT_EQ(SaveDatFile(FigureEngine(), dat), DAT_OK);
    doc.m_figure.m_nWidth = 640;
    doc.m_figure.m_nHeight = 480;
    ASSERT_NE(doc.PreparePicture(false), 0);
    ASSERT_TRUE(doc.OnOpenDocument(dat));
    EXPECT_EQ(doc.m_pictureSize.width, 1200);
    EXPECT_EQ(doc.m_pictureSize.height, 900);
    EXPECT_FALSE(doc.m_bBitmapMode);
    EXPECT_EQ(std::string(doc.m_figure.m_szDirectory), DirectoryOf(dat));
}

TEST_F(DibDocTest, OpeningADatWithErrorsShowsWhatWasRead) {
    const std::string dat = dir.File("broken.dat");
    WriteBytes(dat, "Dorvanta Version 4.0\r\nMy comment\r\nBSBSB#\r\nno offsets here\r\n");
    ASSERT_TRUE(doc.OnOpenDocument(dat));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Unit format error"});
    EXPECT_STREQ(doc.m_figure.m_szComment, "My comment");
    EXPECT_EQ(doc.m_figure.m_nSeriesLen, 5);
    EXPECT_NE(doc.m_hDIB, nullptr);
    EXPECT_EQ(doc.GetTitle(), "broken");
}

TEST_F(DibDocTest, OpeningAnotherKindFailsWithItsMessage) {
    EXPECT_FALSE(doc.OnOpenDocument(dir.File("notes.txt")));
    EXPECT_FALSE(doc.OnOpenDocument(dir.File("x.jpeg")));
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{UnsupportedKindText(dir.File("notes.txt")),
                                                    UnsupportedKindText(dir.File("x.jpeg"))}));
    EXPECT_EQ(
        UnsupportedKindText("x.jpeg"),
        "Cannot open x.jpeg:\nonly Dorvanta (.dat), Bitmap (.bmp), Jpeg (.jpg), Png (.png) and "
        "Dorvanta SVG (.svg) files can be opened.");
    EXPECT_EQ(doc.m_hDIB, nullptr);
}

TEST_F(DibDocTest, UnreadablePictureShowsReadFailedWithThePath) {
    ASSERT_TRUE(doc.OnNewDocument());
    const std::string missing = dir.File("missing.bmp");
    EXPECT_FALSE(doc.OnOpenDocument(missing));
    ASSERT_EQ(ui.Texts(),
              (std::vector<std::string>{"Failed to open: " + missing, "Read failed" + missing}));
    // The document keeps the picture it had.
    EXPECT_NE(doc.m_hDIB, nullptr);
    EXPECT_FALSE(doc.m_bBitmapMode);
    EXPECT_EQ(doc.m_pictureSize.width, 1200);

    ui.Clear();
    const std::string garbage = dir.File("garbage.jpg");
    WriteBytes(garbage, "this is not a JPEG file at all");
    EXPECT_FALSE(doc.OnOpenDocument(garbage));
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.Texts().back(), "Read failed" + garbage);
    EXPECT_EQ(ui.waitCursorDepth, 0);
}

TEST_F(DibDocTest, OpeningAJpegTakesItsSizeAndFormat) {
    ASSERT_TRUE(doc.OnNewDocument());
    const std::string jpg = dir.File("pic.jpg");
    ASSERT_TRUE(doc.OnSaveDocument(jpg));
    CDibDoc other(ui);
    ASSERT_TRUE(other.OnOpenDocument(jpg));
    EXPECT_EQ(other.m_nPictureFormat, FILE_KIND_JPG);
    EXPECT_EQ(other.m_pictureSize.width, 1200);
    EXPECT_EQ(other.m_pictureSize.height, 900);
    EXPECT_TRUE(other.m_bBitmapMode);
    EXPECT_EQ(other.GetTitle(), "pic");
}

TEST_F(DibDocTest, AdoptingANon24BitPictureFreesIt) {
    DibHandle block = DibImage::Allocate(40 + 8 * 4);
    ASSERT_NE(block, nullptr);
    DibInitHeader24(block->Bytes(), 8, 4);
    block->Bytes()[14] = 8;  // biBitCount
    doc.ReplacePicture(std::move(block));
    doc.AdoptPicture();
    EXPECT_EQ(doc.m_hDIB, nullptr);
    EXPECT_EQ(doc.m_pPalette, nullptr);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"implemented for 24 bits per pixel only."});
    EXPECT_EQ(doc.m_pictureSize.width, 8);
}

TEST_F(DibDocTest, AdoptingAPastedPictureTakesItsSizeAndMakesAPalette) {
    DibHandle block = DibImage::Allocate(40 + 12 * 3);
    DibInitHeader24(block->Bytes(), 3, 3);
    doc.ReplacePicture(std::move(block));
    doc.AdoptPicture();
    ASSERT_NE(doc.m_hDIB, nullptr);
    EXPECT_NE(doc.m_pPalette, nullptr);
    EXPECT_EQ(doc.m_figure.m_nWidth, 3);
    EXPECT_EQ(doc.m_figure.m_nHeight, 3);
    EXPECT_EQ(doc.m_pictureSize.height, 3);
    doc.AdoptPicture();  // adopting again replaces the palette object
    EXPECT_NE(doc.m_pPalette, nullptr);
}

TEST_F(DibDocTest, AdoptingAHeaderThatPromisesMoreRowsThanTheBlockHoldsFreesIt) {
    DibHandle block = DibImage::Allocate(40 + 12);
    DibInitHeader24(block->Bytes(), 5000, 5000);
    doc.ReplacePicture(std::move(block));
    doc.AdoptPicture();
    EXPECT_EQ(doc.m_hDIB, nullptr);
    EXPECT_FALSE(doc.RenderFigure(-1, false));
    COLORREF colour = 0;
    EXPECT_FALSE(doc.PixelColourAt(0, 0, colour));
}

TEST_F(DibDocTest, PixelColourAtReadsStoredRowsAsColorref) {
    ASSERT_TRUE(doc.OnNewDocument());
    std::uint8_t* pixel = DibPixelData(doc.m_hDIB->Bytes(), 0) + 3600 * 2 + 3 * 5;
    pixel[0] = 0x11;  // blue
    pixel[1] = 0x22;  // green
    pixel[2] = 0x33;  // red
    COLORREF colour = 0;
    ASSERT_TRUE(doc.PixelColourAt(5, 2, colour));
    EXPECT_EQ(colour, 0x112233u);
    EXPECT_FALSE(doc.PixelColourAt(1200, 0, colour));
    EXPECT_FALSE(doc.PixelColourAt(0, 900, colour));
    EXPECT_FALSE(doc.PixelColourAt(-1, 0, colour));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DibDocTest, PixelColourOfANon24BitPictureIsRefused) {
    COLORREF colour = 0;
    EXPECT_FALSE(doc.PixelColourAt(0, 0, colour));  // no picture: no message
    DibHandle block = DibImage::Allocate(40 + 16);
    DibInitHeader24(block->Bytes(), 4, 4);
    block->Bytes()[14] = 8;
    doc.ReplacePicture(std::move(block));
    EXPECT_FALSE(doc.PixelColourAt(0, 0, colour));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Sorry Only implemented for 24 bits per pixel"});
}

TEST_F(DibDocTest, PictureFormatCommandsAndJpegQuality) {
    doc.OnPictureJpeg();
    EXPECT_TRUE(doc.IsJpegChecked());
    EXPECT_FALSE(doc.IsBitmapChecked());
    doc.OnPictureBitmap();
    EXPECT_EQ(doc.m_nPictureFormat, FILE_KIND_BMP);
    doc.SetJpegQuality(std::nullopt);  // Cancel in the dialog
    EXPECT_EQ(doc.m_nJpegQuality, 90);
    EXPECT_EQ(doc.m_nPictureFormat, FILE_KIND_JPG);
    doc.OnPictureBitmap();
    doc.SetJpegQuality(75);
    EXPECT_EQ(doc.m_nJpegQuality, 75);
    EXPECT_EQ(doc.m_nPictureFormat, FILE_KIND_JPG);
}

TEST_F(DibDocTest, OpenCommandOpensByNameInTheChosenFolder) {
    CurrentDirectoryGuard keep;
    const std::string dat = dir.File("chosen.dat");
    ASSERT_EQ(SaveDatFile(FigureEngine(), dat), DAT_OK);
    int updates = 0;
    doc.AddViewObserver([&] { ++updates; });
    ui.openPaths = {dat};
    doc.OnFileOpen();
    EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(dir.Path()));
    EXPECT_STREQ(doc.m_figure.m_szDirectory, "");
    EXPECT_EQ(doc.GetTitle(), "chosen");
    EXPECT_GE(updates, 1);  // the render and the open each tell the views
    EXPECT_EQ(fs::path(doc.GetPathName()), fs::current_path() / "chosen.dat");
    ASSERT_TRUE(doc.OnFileSave());  // goes to the current directory, the chosen folder
    EXPECT_TRUE(fs::exists(dir.File("chosen.bmp")));
}

TEST_F(DibDocTest, OpenCommandCancelledChangesNothing) {
    int updates = 0;
    int id = doc.AddViewObserver([&] { ++updates; });
    doc.OnFileOpen();
    EXPECT_EQ(doc.m_hDIB, nullptr);
    EXPECT_EQ(updates, 0);
    doc.UpdateAllViews();
    EXPECT_EQ(updates, 1);
    doc.RemoveViewObserver(id);
    doc.UpdateAllViews();
    EXPECT_EQ(updates, 1);
}

TEST_F(DibDocTest, PictureOpenedByNameKeepsItsFullPathForRecentFiles) {
    CurrentDirectoryGuard keep;
    const std::string bmp = dir.File("photo.bmp");
    WritePictureFile(bmp, 20, 10);
    ui.openPaths = {bmp};
    doc.OnFileOpen();
    ASSERT_NE(doc.m_hDIB, nullptr);
    EXPECT_EQ(fs::path(doc.GetPathName()), fs::current_path() / "photo.bmp");
    EXPECT_EQ(doc.GetTitle(), "photo");
    EXPECT_EQ(doc.m_pictureSize.width, 20);
}

TEST_F(DibDocTest, OpenedAndSavedFilesAreOfferedToTheRecentList) {
    CurrentDirectoryGuard keep;
    std::vector<std::string> offered;
    doc.onAddToRecentFileList = [&offered](const std::string& path) { offered.push_back(path); };
    const std::string dat = dir.File("fig.dat");
    ASSERT_EQ(SaveDatFile(FigureEngine(), dat), DAT_OK);
    ui.openPaths = {dat};
    doc.OnFileOpen();
    ui.savePaths = {dir.File("out.jpg"), dir.File("x.dat")};
    ASSERT_TRUE(doc.OnFileSaveAs());
    EXPECT_FALSE(doc.OnFileSaveAs());  // not written, not offered
    EXPECT_FALSE(doc.OnOpenDocument(dir.File("missing.bmp")));
    EXPECT_EQ(offered, (std::vector<std::string>{(fs::current_path() / "fig.dat").string(),
                                                 dir.File("out.jpg")}));
    EXPECT_EQ(doc.GetPathName(), dir.File("out.jpg"));
}

TEST_F(DibDocTest, NewDocumentForgetsThePathAndTheModifiedFlag) {
    const std::string bmp = dir.File("photo.bmp");
    WritePictureFile(bmp, 20, 10);
    ASSERT_TRUE(doc.OnOpenDocument(bmp));
    doc.SetModifiedFlag(true);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.GetPathName(), "");
    EXPECT_FALSE(doc.IsModified());
    EXPECT_FALSE(doc.m_bBitmapMode);
    EXPECT_EQ(doc.m_pPalette, nullptr);  // a new document deletes the palette object
    EXPECT_STREQ(doc.m_figure.m_szName, "");
    EXPECT_EQ(doc.m_pictureSize.width, 20);  // painted from the figure as it stands
}

// Every window on the document repaints after a render, whichever window asked for it.
TEST_F(DibDocTest, EveryRenderTellsTheViews) {
    ASSERT_TRUE(doc.OnNewDocument());
    int updates = 0;
    doc.AddViewObserver([&] { ++updates; });
    ASSERT_TRUE(doc.RenderFigure(-1, false));
    EXPECT_EQ(updates, 1);
    ASSERT_TRUE(doc.RenderFigure(3, true));
    EXPECT_EQ(updates, 2);
}
