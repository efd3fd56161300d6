// PNG on the desktop's routes: a dropped or command-line PNG that carries its figure opens as that
// figure and joins the recent list; the Picture menu's Png choice makes numbered saving write PNG.
#include <QMimeData>
#include <QUrl>
#include <fstream>

#include "app_fixture.h"
#include "document/dat_file.h"
#include "picture/png_file.h"
#include "view/command_ids.h"

namespace {

// A small painting saved as PNG with (or without) its figure.
void WritePng(const std::string& path, bool withFigure) {
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    doc.m_figure.m_nWidth = 64;
    doc.m_figure.m_nHeight = 48;
    doc.m_figure.m_nUn = 30;
    ASSERT_NE(doc.PreparePicture(false), 0);
    ASSERT_TRUE(
        PngWritePicture(path, doc.m_hDIB, withFigure ? doc.PictureParameterText() : "", ui));
}

}  // namespace

TEST_F(AppFixture, ADroppedPngOpensAsItsFigureAndJoinsTheRecentList) {
    WritePng(dir.File("figure.png"), true);
    WritePng(dir.File("plain.png"), false);
    ASSERT_TRUE(Start());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(File("figure.png")), QUrl::fromLocalFile(File("plain.png"))});
    EXPECT_EQ(Frame().OpenDroppedFiles(mime), 2);
    ASSERT_EQ(app->Documents().size(), 3u);
    const CDibDoc& figure = *app->Documents()[1];
    const CDibDoc& plain = *app->Documents()[2];
    EXPECT_EQ(figure.GetTitle(), "figure");
    EXPECT_FALSE(figure.m_bBitmapMode);
    EXPECT_EQ(figure.m_figure.m_nUn, 30);
    EXPECT_EQ(figure.m_pictureSize.width, 64);
    EXPECT_TRUE(plain.m_bBitmapMode);
    EXPECT_EQ(plain.m_figure.m_nUn, FigureEngine().m_nUn);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(app->RecentFiles().mid(0, 2), (QStringList{File("plain.png"), File("figure.png")}));
}

TEST_F(AppFixture, PngIsAPictureFormatChoiceBesideJpegAndBitmap) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(app->Execute(ID_PICTURE_PNG));
    Frame().UpdateCommandUI();
    EXPECT_TRUE(Frame().Action(ID_PICTURE_PNG)->isChecked());
    EXPECT_FALSE(Frame().Action(ID_PICTURE_BITMAP)->isChecked());
    EXPECT_FALSE(Frame().Action(ID_PICTURE_JPEG)->isChecked());
    EXPECT_EQ(app->ActiveDocument()->m_nPictureFormat, FILE_KIND_PNG);
    ASSERT_TRUE(app->Execute(ID_PICTURE_BITMAP));
    Frame().UpdateCommandUI();
    EXPECT_FALSE(Frame().Action(ID_PICTURE_PNG)->isChecked());
}

TEST_F(AppFixture, ADamagedPngNamedOnTheCommandLineSaysWhy) {
    std::ofstream(dir.File("broken.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n";
    EXPECT_FALSE(Start({File("broken.png")}));  // the file named could not be opened
    ASSERT_GE(prompts.Texts().size(), 1u);
    EXPECT_EQ(prompts.Texts()[0].rfind("Failed to read: ", 0), 0u);
    EXPECT_NE(prompts.Texts()[0].find("broken.png\n"), std::string::npos);
}
