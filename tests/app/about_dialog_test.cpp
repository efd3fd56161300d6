#include "app/about_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/about_icon.h"
#include "app/color_help_dialog.h"
#include "app/help_texts.h"
#include "figure/figure_engine.h"
#include "picture/dib_image.h"
#include "support/scripted_prompts.h"
#include "view/colour_page.h"

namespace {

const std::string kCrLf = "\r\n";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(kCrLf, start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// Every line break is CR LF: no lone CR and no lone LF.
bool OnlyCrLfBreaks(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    }
    return true;
}

TEST(AboutHelpTextTest, IsTheFifteenPiecesJoinedWithCrLf) {
    const std::string expected =
        "Important Functions:\r\n"
        "The function of the arrow keys can be changed with <TAB>.\r\n"
        "When there are focus rectangles the arrow keys change the centre of the figure,"
        "and the <Page Up>, <Page Down> keys change the magnification.\r\n"
        "Pressing <Ctrl> makes the action ten times CrLfonger.\r\n"
        "When there are no focus rectangles, (this can be changed with <TAB>) the arrow keys "
        "change the offset of the lines.\r\n"
        "<Right Arrow> and <Left Arrow> to change the Un offset.\r\n"
        "<Up Arrow> and <Down Arrow> to change the Gs offset.\r\n"
        "<Page Up> to change the Un value to get the correct Golden Section ratio.\r\n"
        "<Page Down> to change the Gs value to get the correct Golden Section ratio.\r\n"
        "Right click on a vertical line to make that line the new reference.\r\n"
        "Double clicking will redraw the figure with the new parameters.\r\n"
        "<Enter> gives you the menu for changing the parameters for the figure, and for saving "
        "and loading the parameter file. Pressing <OK> will redraw the figure with the new "
        "parameters.\r\n\r\n"
        "Color page: here you can choose whether to draw an item or order, and transparency and "
        "color.This page has a separate Help Page.There is a 'Random Choice of Color' function "
        "that choses arbitrairy colors. Auto save is possible when using this. Make sure you "
        "saved the first one yourself so you know where the next will go. This function will "
        "automatically increase the file number.\r\n"
        "There a button on the Toolbar that saves the Bitmap file and the Data file, and "
        "automatically increases the file number. Again, make sure you saved the first one "
        "yourself so you know where the next will go. This function will automatically increase "
        "the file number.\r\n" +
        std::string(kJpegCreditText) + "\r\n";
    EXPECT_EQ(BuildAboutHelpText(), expected);
}

TEST(AboutHelpTextTest, LineStructure) {
    const std::string text = BuildAboutHelpText();
    EXPECT_EQ(text.rfind("Important Functions:\r\n", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 2), kCrLf);
    EXPECT_TRUE(OnlyCrLfBreaks(text));
    std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 16u);
    int empty = 0;
    for (const auto& line : lines) empty += line.empty();
    EXPECT_EQ(empty, 1);
    EXPECT_TRUE(lines[12].empty());
    EXPECT_EQ(lines[11].rfind("<Enter> gives you the menu", 0), 0u);
    EXPECT_EQ(lines[13].rfind("Color page:", 0), 0u);
}

TEST(AboutHelpTextTest, JpegCreditNamesTheIndependentJpegGroup) {
    const std::string credit = kJpegCreditText;
    EXPECT_NE(credit.find("Independent JPEG Group"), std::string::npos);
    EXPECT_EQ(Lines(BuildAboutHelpText()).back(), credit);
}

TEST(PovRayHelpTest, FiveLinesEachEndingWithCrLf) {
    EXPECT_EQ(PovRayHelpText(),
              "The Pov-Ray utility will generate a text and put it in the copy/paste buffer.\r\n"
              "When using it for the first time you should include the header and macro "
              "definitions.\r\n"
              "The textures are defined via constants that you can redefine to choose your own "
              "textures.\r\n"
              "All is set up in a way that allows you to remove what you don't need and change "
              "things as you like it.\r\n"
              "Enjoy.\r\n");
}

TEST(PovRayHelpTest, ShownWithTheInformationIcon) {
    ScriptedPrompts ui;
    ShowPovRayHelp(ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, PovRayHelpText());
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
}

// ---- About box ----

TEST(AboutPictureTest, IsTheDefaultFigureAt320x200TopRowFirst) {
    ScriptedPrompts ui;
    QImage picture = PaintAboutPicture(ui);
    ASSERT_EQ(picture.size(), QSize(320, 200));

    auto figure = std::make_unique<FigureEngine>();
    figure->m_nWidth = 320;
    figure->m_nHeight = 200;
    figure->m_nRowBytes = static_cast<int>(DibRowStride(320, 24));
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(figure->m_nRowBytes) * 200);
    figure->PaintFigure(rows.data(), -1, ui);
    std::set<QRgb> colours;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
            const std::uint8_t* p = &rows[(199 - y) * figure->m_nRowBytes + 3 * x];
            ASSERT_EQ(picture.pixel(x, y), qRgb(p[2], p[1], p[0])) << x << "," << y;
            colours.insert(picture.pixel(x, y));
        }
    }
    EXPECT_GT(colours.size(), 3u);  // a figure, not an empty background
    EXPECT_TRUE(colours.count(qRgb(255, 255, 255)));
    EXPECT_TRUE(ui.messages.empty());
}

TEST(AboutDialogTest, ShowsTheHelpTextPictureIconAndCredit) {
    ScriptedPrompts ui;
    CAboutDialog dialog(ui);
    EXPECT_TRUE(dialog.m_strHelpText.empty());
    dialog.m_strHelpText = BuildAboutHelpText();
    dialog.show();
    EXPECT_TRUE(dialog.windowTitle().isEmpty());
    EXPECT_EQ(dialog.HelpEdit()->objectName(), "107");
    EXPECT_TRUE(dialog.HelpEdit()->isReadOnly());
    EXPECT_EQ(dialog.HelpEdit()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    const QString shown = dialog.HelpEdit()->toPlainText();
    EXPECT_EQ(shown, DisplayedText(dialog.m_strHelpText));
    EXPECT_TRUE(shown.startsWith("Important Functions:\nThe function"));
    EXPECT_FALSE(shown.contains('\r'));
    EXPECT_EQ(dialog.PictureLabel()->pixmap().size(), QSize(320, 200));
    EXPECT_FALSE(dialog.IconLabel()->pixmap().isNull());
    EXPECT_TRUE(dialog.CreditLabel()->text().contains("Independent JPEG Group"));
    auto* ok = dialog.findChild<QPushButton*>("1");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(ProgramIconTest, IsDrawnInEverySize) {
    QImage icon = DrawProgramIcon(32).toImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);      // rounded corner
    EXPECT_EQ(qAlpha(icon.pixel(16, 16)), 255);  // the pentagon
    EXPECT_NE(icon.pixel(16, 16), icon.pixel(3, 16));
    EXPECT_GE(ProgramIcon().availableSizes().size(), 4);
}

// ---- Help on colours ----

TEST(ColorHelpDialogTest, EightTextsAroundThePicture) {
    CColorHelpDialog dialog;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Help on Colors");
    EXPECT_EQ(dialog.TextLabel(0)->text(),
              "This picture shows a part of the Color Page\nClicking  on an area will change "
              "whether the item / order is drawn. Using the mouse wheel will change transparency "
              "and color. Use 'Esc' to leave without change and 'Enter' to accept.");
    EXPECT_EQ(dialog.TextLabel(1)->text(),
              "Greyed text means the item will not be drawn. Clicking on the text will toggle the "
              "status.");
    EXPECT_EQ(dialog.TextLabel(2)->text(),
              "Greyed text means the item will not be drawn. Clicking on the text will disable "
              "all items on this row.");
    EXPECT_EQ(dialog.TextLabel(3)->text(),
              "Keep the mouse pointer above the central bar, and use the mouse wheel to change "
              "the intensity of Red, Green and Blue. If the mouse pointer is under the Red "
              "section it will change the Red component of the color, etc..");
    EXPECT_EQ(dialog.TextLabel(4)->text(),
              "Keep the mouse pointer above the lower bar, and use the mouse wheel to change the "
              "transparency of the colors of this order. When fully transparent clear white, "
              "grey and black blocks will be shown in the lower bar, otherwise a mix with the "
              "color.");
    EXPECT_EQ(dialog.TextLabel(5)->text(),
              "Click on the lower bar of the box to toggle enable / disable the item.");
    EXPECT_EQ(dialog.TextLabel(6)->text(),
              "Drag and drop of a color from one central bar to another works.");
    EXPECT_EQ(dialog.TextLabel(7)->text(),
              "Double click on the central bar to get the color dialog.");
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(dialog.TextLabel(i)->wordWrap());
        EXPECT_FALSE(dialog.TextLabel(i)->geometry().intersects(dialog.PictureLabel()->geometry()))
            << i;
    }
    EXPECT_EQ(dialog.PictureLabel()->frameShadow(), QFrame::Sunken);
    EXPECT_FALSE(dialog.PictureLabel()->pixmap().isNull());
}

TEST(ColorHelpDialogTest, PictureIsPartOfTheColourPage) {
    QImage picture = RenderColorHelpPicture();
    ASSERT_EQ(picture.size(), QSize(637, 285));
    auto figure = std::make_unique<FigureEngine>();
    QImage page = RenderColourPageImage(*figure, QRect(QPoint(0, 0), ColorPageScrollSize()));
    EXPECT_EQ(picture.convertToFormat(QImage::Format_RGB32),
              page.copy(0, 0, 637, 285).convertToFormat(QImage::Format_RGB32));
}

TEST(ColorHelpDialogTest, ClosesWithOkOrEscapeAndHasNoVisibleCancel) {
    CColorHelpDialog dialog;
    dialog.show();
    EXPECT_FALSE(dialog.CancelButton()->isVisible());
    EXPECT_TRUE(dialog.OkButton()->isVisible());
    EXPECT_TRUE(dialog.OkButton()->isDefault());
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
