#include "app/settings_dialog.h"
#include "dialog_driving.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/select_lines_dialog.h"
#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace {

constexpr int ID_WIDTH = 107, ID_HEIGHT = 108, ID_UNITS = 112, ID_GOLD_SECT = 113;
constexpr int ID_NAME = 116, ID_COMMENT = 123, ID_CENTRE_X = 117, ID_MAGNIFICATION = 119;
constexpr int ID_DRAW_LINES = 114, ID_BIG_PENTAGON = 122, ID_SMALL_STAR = 130;
constexpr int ID_SELECT_LINES = 175, ID_LOAD = 125, ID_SAVE = 126, ID_DRAW_ONE = 128;
constexpr int ID_GOLDEN_FROM_UNITS = 176, ID_UNITS_FROM_GOLDEN = 177;
constexpr int ID_SIZE_640 = 102, ID_SIZE_1024 = 104, ID_FREE_SIZE = 109;
constexpr int ID_ORDER_0 = 110, ID_ORDER_3 = 121;
constexpr int ID_TRANSPARENCY_2 = 190, ID_DRAW_ORDER_5 = 183;

class SettingsDialogTest : public ::testing::Test {
  protected:
    std::unique_ptr<FigureEngine> edit = std::make_unique<FigureEngine>();
    ScriptedPrompts ui;
    std::unique_ptr<CSettingsDialog> dialog;

    CSettingsDialog& Open(int width = 1200, int height = 900) {
        edit->m_nWidth = width;
        edit->m_nHeight = height;
        dialog = std::make_unique<CSettingsDialog>(*edit, ui);
        dialog->show();
        return *dialog;
    }
    QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(dialog->Control(id)); }
    QAbstractButton* Button(int id) { return qobject_cast<QAbstractButton*>(dialog->Control(id)); }
    bool Checked(int id) { return Button(id)->isChecked(); }
    void Click(int id) { ClickButton(Button(id)); }
    void Type(int id, const QString& text) {
        Edit(id)->clear();
        QTest::keyClicks(Edit(id), text);
    }
    void LeaveField(int id) {
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(Edit(id), &leave);
    }
};

TEST_F(SettingsDialogTest, CaptionAndLabelsAreTheProgramsOwn) {
    Open();
    EXPECT_EQ(dialog->windowTitle(), "Dorvanta Settings");
    EXPECT_EQ(Button(ID_DRAW_ONE)->text(), "Draw One Order");
    EXPECT_EQ(Button(ID_LOAD)->text(), "Load file..");
    EXPECT_EQ(Button(ID_SAVE)->text(), "Save file..");
    EXPECT_EQ(Button(ID_GOLDEN_FROM_UNITS)->text(), "\\/");
    EXPECT_EQ(Button(ID_UNITS_FROM_GOLDEN)->text(), "/\\");
    EXPECT_EQ(Button(ID_FREE_SIZE)->text(), "Free size");
    EXPECT_EQ(Button(ID_SIZE_1024)->text(), "1024 x 768");
    EXPECT_EQ(Button(134)->text(), "Draw Small Solid Pentagon");
    EXPECT_EQ(Button(188)->text(), "Order 0");
    EXPECT_EQ(Button(187)->text(), "Order 9");
    EXPECT_EQ(Button(199)->text(), "Gradient On");
    EXPECT_EQ(Button(138)->text(), "9");
}

TEST_F(SettingsDialogTest, OpeningShowsTheWorkingCopy) {
    edit->m_nUn = 321;
    edit->m_dCentreX = 1.25;
    std::strcpy(edit->m_szName, "Spiral.old");
    Open();
    EXPECT_EQ(Edit(ID_UNITS)->text(), "321");
    EXPECT_EQ(Edit(ID_GOLD_SECT)->text(), QString::number(edit->m_nGs));
    EXPECT_EQ(Edit(ID_CENTRE_X)->text(), "1.25");
    EXPECT_EQ(Edit(ID_MAGNIFICATION)->text(), "-7");
    EXPECT_EQ(Edit(ID_COMMENT)->text(), "Comment");
    EXPECT_EQ(Edit(ID_NAME)->text(), "Spiral");  // up to the first dot
    EXPECT_EQ(Edit(ID_TRANSPARENCY_2)->text(), "0.5");
    EXPECT_TRUE(Checked(ID_ORDER_0));
    EXPECT_TRUE(Checked(ID_BIG_PENTAGON));
    EXPECT_FALSE(Checked(ID_DRAW_LINES));
    EXPECT_FALSE(Button(ID_SELECT_LINES)->isEnabled());
    EXPECT_TRUE(Checked(188));  // order 0 drawn
    EXPECT_FALSE(Checked(ID_DRAW_ORDER_5));
    EXPECT_TRUE(dialog->m_strSavedPath.empty());
}

TEST_F(SettingsDialogTest, PresetSizeIsSelectedAndFixesTheSizeFields) {
    Open(1024, 768);
    EXPECT_TRUE(Checked(ID_SIZE_1024));
    EXPECT_FALSE(Edit(ID_WIDTH)->isEnabled());
    EXPECT_FALSE(Edit(ID_HEIGHT)->isEnabled());
}

TEST_F(SettingsDialogTest, OtherSizeSelectsFreeSize) {
    Open(1200, 900);
    EXPECT_TRUE(Checked(ID_FREE_SIZE));
    EXPECT_TRUE(Edit(ID_WIDTH)->isEnabled());
    EXPECT_TRUE(Edit(ID_HEIGHT)->isEnabled());
}

TEST_F(SettingsDialogTest, PresetClickSetsTheSizeAndFreeSizeUnlocksIt) {
    Open();
    Click(ID_SIZE_640);
    EXPECT_EQ(Edit(ID_WIDTH)->text(), "640");
    EXPECT_EQ(Edit(ID_HEIGHT)->text(), "480");
    EXPECT_FALSE(Edit(ID_WIDTH)->isEnabled());
    Click(ID_FREE_SIZE);
    EXPECT_TRUE(Edit(ID_WIDTH)->isEnabled());
    EXPECT_EQ(Edit(ID_WIDTH)->text(), "640");
    Click(1);
    EXPECT_EQ(edit->m_nWidth, 640);
    EXPECT_EQ(edit->m_nHeight, 480);
}

TEST_F(SettingsDialogTest, LeavingXRaisesTheWidthToAMultipleOfFour) {
    Open();
    Type(ID_WIDTH, "1281");
    Type(ID_HEIGHT, "901");
    LeaveField(ID_WIDTH);
    EXPECT_EQ(Edit(ID_WIDTH)->text(), "1284");
    EXPECT_EQ(Edit(ID_HEIGHT)->text(), "901");  // the height is never rounded
    Type(ID_WIDTH, "1280");
    LeaveField(ID_WIDTH);
    EXPECT_EQ(Edit(ID_WIDTH)->text(), "1280");
    Type(ID_WIDTH, "12x");  // reported on OK, not while leaving the field
    LeaveField(ID_WIDTH);
    EXPECT_EQ(Edit(ID_WIDTH)->text(), "12x");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SettingsDialogTest, GoldenRatioButtonsRoundToTheNearestInteger) {
    Open();
    Type(ID_UNITS, "100");
    Click(ID_GOLDEN_FROM_UNITS);
    EXPECT_EQ(Edit(ID_GOLD_SECT)->text(), "162");
    Type(ID_UNITS, "7");
    Click(ID_UNITS_FROM_GOLDEN);
    EXPECT_EQ(Edit(ID_UNITS)->text(), "100");
    Type(ID_UNITS, "-100");
    Click(ID_GOLDEN_FROM_UNITS);
    EXPECT_EQ(Edit(ID_GOLD_SECT)->text(), "-162");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SettingsDialogTest, GoldenRatioThatDoesNotFitIsRefused) {
    Open();
    Type(ID_UNITS, "2000000000");
    Type(ID_GOLD_SECT, "5");
    Click(ID_GOLDEN_FROM_UNITS);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("\"Units\""), std::string::npos);
    EXPECT_EQ(Edit(ID_GOLD_SECT)->text(), "5");
    EXPECT_EQ(dialog->focusWidget(), Edit(ID_UNITS));
}

TEST_F(SettingsDialogTest, OrderSwitchingKeepsEachOrdersSwitches) {
    Open();
    Click(ID_DRAW_LINES);
    EXPECT_TRUE(Button(ID_SELECT_LINES)->isEnabled());
    Click(ID_BIG_PENTAGON);  // off
    AnswerNextModal<CSelectLinesDialog>([](CSelectLinesDialog& lines) {
        EXPECT_EQ(lines.windowTitle(), "Select lines to be drawn");
        EXPECT_TRUE(lines.FamilyBox(2)->isChecked());
        lines.FamilyBox(2)->click();
        lines.accept();
    });
    Click(ID_SELECT_LINES);
    EXPECT_EQ(dialog->m_lineSwitches[2], 0);

    Click(ID_ORDER_3);
    const OrderSettings& order0 = edit->m_orders[0];
    EXPECT_EQ(order0.drawItems[ITEM_LINES], 1);
    EXPECT_EQ(order0.drawItems[ITEM_BIG_PENTAGON], 0);
    EXPECT_EQ(order0.drawLines[2], 0);
    EXPECT_EQ(order0.drawLines[1], 1);
    EXPECT_EQ(edit->m_nCurrentOrder, 3);
    // Order 3 shows its own, default switches.
    EXPECT_TRUE(Checked(ID_ORDER_3));
    EXPECT_FALSE(Checked(ID_DRAW_LINES));
    EXPECT_TRUE(Checked(ID_BIG_PENTAGON));
    EXPECT_FALSE(Button(ID_SELECT_LINES)->isEnabled());
    EXPECT_EQ(dialog->m_lineSwitches[2], 1);
    EXPECT_EQ(edit->m_orders[3].drawItems[ITEM_LINES], 0);

    Click(ID_SMALL_STAR);
    Click(ID_ORDER_0);
    EXPECT_TRUE(Checked(ID_DRAW_LINES));
    EXPECT_FALSE(Checked(ID_BIG_PENTAGON));
    EXPECT_FALSE(Checked(ID_SMALL_STAR));
    EXPECT_EQ(dialog->m_lineSwitches[2], 0);
    EXPECT_EQ(edit->m_orders[3].drawItems[ITEM_SMALL_STAR], 1);
}

TEST_F(SettingsDialogTest, SelectLinesCancelKeepsTheSwitches) {
    Open();
    Click(ID_DRAW_LINES);
    AnswerNextModal<CSelectLinesDialog>([](CSelectLinesDialog& lines) {
        lines.FamilyBox(0)->click();
        lines.reject();
    });
    Click(ID_SELECT_LINES);
    EXPECT_EQ(dialog->m_lineSwitches[0], 1);
}

TEST_F(SettingsDialogTest, OrderChangeWithAnInvalidFieldStaysOnTheShownOrder) {
    Open();
    Type(ID_TRANSPARENCY_2, "2");
    Click(ID_ORDER_3);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(Checked(ID_ORDER_0));
    EXPECT_EQ(edit->m_nCurrentOrder, 0);
    EXPECT_EQ(dialog->focusWidget(), Edit(ID_TRANSPARENCY_2));
}

TEST_F(SettingsDialogTest, OkStoresEveryFieldIntoTheWorkingCopy) {
    Open();
    Type(ID_NAME, "Golden");
    Type(ID_COMMENT, "A new comment");
    Type(ID_CENTRE_X, "-3.5");
    Type(118, "2.25");
    Type(ID_MAGNIFICATION, "-6.5");
    Type(ID_UNITS, "500");
    Type(ID_GOLD_SECT, "809");
    Type(ID_TRANSPARENCY_2, "0.25");
    Click(ID_DRAW_ORDER_5);
    Click(199);  // gradient off
    Click(1);
    EXPECT_EQ(dialog->result(), IDOK);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_STREQ(edit->m_szName, "Golden");
    EXPECT_STREQ(edit->m_szComment, "A new comment");
    EXPECT_EQ(edit->m_dCentreX, -3.5);
    EXPECT_EQ(edit->m_dCentreY, 2.25);
    EXPECT_EQ(edit->m_dMagnExp, -6.5);
    EXPECT_EQ(edit->m_nUn, 500);
    EXPECT_EQ(edit->m_nGs, 809);
    EXPECT_EQ(edit->m_orders[2].transparency, 0.25);
    EXPECT_EQ(edit->m_orders[5].drawOrder, 1);
    EXPECT_EQ(edit->m_bGradient, 0);
    EXPECT_EQ(edit->m_nWidth, 1200);
}

TEST_F(SettingsDialogTest, DrawOneOrderEndsWith61447AndStoresLikeOk) {
    Open();
    Type(ID_UNITS, "600");
    Click(ID_DRAW_LINES);
    Click(ID_DRAW_ONE);
    EXPECT_EQ(dialog->result(), RESULT_DRAW_ONE_ORDER);
    EXPECT_EQ(dialog->result(), 61447);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(edit->m_nUn, 600);
    EXPECT_EQ(edit->m_orders[0].drawItems[ITEM_LINES], 1);
}

TEST_F(SettingsDialogTest, CancelAndEscapeLeaveTheWorkingCopyAlone) {
    Open();
    int un = edit->m_nUn;
    Type(ID_UNITS, "42");
    Click(2);
    EXPECT_EQ(dialog->result(), IDCANCEL);
    EXPECT_EQ(edit->m_nUn, un);
    Open();
    Type(ID_UNITS, "42");
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), IDCANCEL);
    EXPECT_EQ(edit->m_nUn, un);
}

TEST_F(SettingsDialogTest, InvalidTransparencyKeepsTheDialogOpen) {
    for (int button : {1, ID_DRAW_ONE}) {
        for (const char* text : {"1.5", "-0.1", "half", "nan", ""}) {
            ui.Clear();
            Open();
            Type(ID_TRANSPARENCY_2, text);
            Click(button);
            EXPECT_TRUE(dialog->isVisible()) << text;
            EXPECT_EQ(dialog->result(), 0) << text;
            ASSERT_EQ(ui.messages.size(), 1u) << text;
            EXPECT_EQ(ui.messages[0].text,
                      "Please enter a number from 0 to 1 in \"Transparency of order 2\".");
            EXPECT_EQ(dialog->focusWidget(), Edit(ID_TRANSPARENCY_2));
            EXPECT_EQ(edit->m_orders[2].transparency, 0.5);
        }
    }
}

TEST_F(SettingsDialogTest, TransparencyBoundsAreAccepted) {
    Open();
    Type(ID_TRANSPARENCY_2, "0");
    Type(198, "1");
    Click(1);
    EXPECT_EQ(dialog->result(), IDOK);
    EXPECT_EQ(edit->m_orders[2].transparency, 0.0);
    EXPECT_EQ(edit->m_orders[0].transparency, 1.0);
}

TEST_F(SettingsDialogTest, NumericFieldsRefuseTextThatIsNotANumber) {
    struct Case {
        int id;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {ID_CENTRE_X, "east", "Please enter a number in \"Central Position X\"."},
        {ID_CENTRE_X, "inf", "Please enter a number in \"Central Position X\"."},
        {ID_MAGNIFICATION, "1e9",
         "Please enter a number from -1000 to 1000 in \"Magnification (exp)\"."},
        {ID_UNITS, "1.5",
         "Please enter a whole number from -2147483648 to 2147483647 in \"Units\"."},
        {ID_GOLD_SECT, "99999999999",
         "Please enter a whole number from -2147483648 to 2147483647 in \"Gold Sect\"."},
        {ID_WIDTH, "0", "Please enter a whole number from 1 to 2147483647 in \"X\"."},
        {ID_HEIGHT, "-5", "Please enter a whole number from 1 to 2147483647 in \"Y\"."},
    };
    for (const Case& c : cases) {
        ui.Clear();
        Open();
        Type(c.id, c.text);
        Click(1);
        EXPECT_TRUE(dialog->isVisible()) << c.text;
        ASSERT_EQ(ui.messages.size(), 1u) << c.text;
        EXPECT_EQ(ui.messages[0].text, c.message);
        EXPECT_EQ(dialog->focusWidget(), Edit(c.id)) << c.text;
    }
}

TEST_F(SettingsDialogTest, CommentIsLimitedTo90Characters) {
    Open();
    Type(ID_COMMENT, QString(91, 'c'));
    Click(1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Please enter no more than 90 characters in \"Comment\".");
    EXPECT_EQ(dialog->focusWidget(), Edit(ID_COMMENT));
    Type(ID_COMMENT, QString(90, 'c'));
    Click(1);
    EXPECT_EQ(dialog->result(), IDOK);
    EXPECT_EQ(std::strlen(edit->m_szComment), 90u);
}

// The comment is Windows-1252 text: the field counts characters, keeps what the record holds and
// refuses what the code page cannot hold.
TEST_F(SettingsDialogTest, CommentCountsCharactersNotBytes) {
    Open();
    Edit(ID_COMMENT)->setText(QString(90, QChar(0xE9)));  // é: two bytes each in UTF-8
    Click(1);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(dialog->result(), IDOK);
    EXPECT_EQ(std::string(edit->m_szComment), std::string(90, '\xE9'));

    Open();
    Edit(ID_COMMENT)->setText(QString(91, QChar(0x20AC)));  // €: three bytes in UTF-8, one here
    Click(1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Please enter no more than 90 characters in \"Comment\".");
}

TEST_F(SettingsDialogTest, AWindows1252CommentSurvivesOpeningAndOk) {
    // As a parameter file of an older program brings it: accents, the euro sign, quotes.
    const std::string bytes = "Caf\xE9 \x80 5 \x93na\xEFve\x94 \xC6\xD8\xC5";
    std::strcpy(edit->m_szComment, bytes.c_str());
    Open();
    EXPECT_EQ(Edit(ID_COMMENT)->text(), QString::fromUtf8("Café € 5 “naïve” ÆØÅ"));
    Click(1);
    ASSERT_EQ(dialog->result(), IDOK);
    EXPECT_EQ(std::string(edit->m_szComment), bytes);
}

TEST_F(SettingsDialogTest, ACharacterWindows1252CannotHoldIsRefusedByName) {
    std::strcpy(edit->m_szComment, "kept");
    Open();
    Edit(ID_COMMENT)->setText(QString::fromUtf8("Budapest, Erzsébet hídja: ő"));
    Click(1);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "The character \"ő\" (U+0151) cannot be stored in \"Comment\": parameter files "
              "hold Western European (Windows-1252) characters only. Please replace it.");
    EXPECT_EQ(dialog->focusWidget(), Edit(ID_COMMENT));
    EXPECT_STREQ(edit->m_szComment, "kept");
}

TEST_F(SettingsDialogTest, ProjectNameIsStoredWithAtMost100Characters) {
    Open();
    Type(ID_NAME, QString(120, 'n'));
    Click(1);
    EXPECT_EQ(std::string(edit->m_szName), std::string(100, 'n'));
}

TEST_F(SettingsDialogTest, SizesThatCannotBePaintedAreRefused) {
    Open();
    Type(ID_WIDTH, "100000");
    Type(ID_HEIGHT, "100000");
    Click(1);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "A picture of 100000 x 100000 pixels needs more than 2 GiB and cannot be painted. "
              "Please enter a smaller size in \"X\" and \"Y\".");
    EXPECT_EQ(edit->m_nWidth, 1200);
}

TEST(PictureSizeTest, TheCeilingCountsHeaderAndRows) {
    EXPECT_TRUE(PictureSizeIsPaintable(1, 1));
    EXPECT_FALSE(PictureSizeIsPaintable(0, 1));
    EXPECT_FALSE(PictureSizeIsPaintable(1, 0));
    EXPECT_FALSE(PictureSizeIsPaintable(-4, 10));
    // Rows of 4 pixels take 12 bytes: 40 + 12 * 178956967 = 2147483644 fits in 2 GiB.
    EXPECT_TRUE(PictureSizeIsPaintable(4, 178956967));
    EXPECT_FALSE(PictureSizeIsPaintable(4, 178956968));
    EXPECT_FALSE(PictureSizeIsPaintable(2147483647, 2));
}

TEST(PictureSizeTest, PresetsAndRounding) {
    EXPECT_EQ(SizeChoiceFor(320, 200), 0);
    EXPECT_EQ(SizeChoiceFor(1680, 1050), 5);
    EXPECT_EQ(SizeChoiceFor(1024, 1024), kFreeSizeChoice);
    EXPECT_EQ(WidthRoundedUp(1281), 1284);
    EXPECT_EQ(WidthRoundedUp(1284), 1284);
    EXPECT_EQ(WidthRoundedUp(1), 4);
}

class SettingsDialogFileTest : public SettingsDialogTest {
  protected:
    TempDir dir;

    std::string WriteParameterFile(const std::string& name, int un, const char* comment) {
        auto figure = std::make_unique<FigureEngine>();
        figure->m_nUn = un;
        std::strcpy(figure->m_szComment, comment);
        figure->m_orders[0].drawItems[ITEM_LINES] = 1;
        std::string path = dir.File(name);
        EXPECT_EQ(SaveDatFile(*figure, path), DAT_OK);
        return path;
    }
};

TEST_F(SettingsDialogFileTest, LoadKeepsThePictureSizeShown) {
    std::string path = WriteParameterFile("Loaded.dat", 500, "From the file");
    Open(1024, 768);
    ui.openPaths.push_back(path);
    Click(ID_LOAD);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(Edit(ID_UNITS)->text(), "500");
    EXPECT_EQ(Edit(ID_COMMENT)->text(), "From the file");
    EXPECT_EQ(Edit(ID_NAME)->text(), "Loaded");
    EXPECT_EQ(Edit(ID_WIDTH)->text(), "1024");
    EXPECT_EQ(Edit(ID_HEIGHT)->text(), "768");
    EXPECT_TRUE(Checked(ID_SIZE_1024));
    EXPECT_TRUE(Checked(ID_DRAW_LINES));
    EXPECT_EQ(edit->m_nWidth, 1024);
    EXPECT_EQ(edit->m_nHeight, 768);
    EXPECT_STREQ(edit->m_szName, "Loaded");
    EXPECT_STREQ(edit->m_szDirectory, "");  // loaded by file name
    Click(1);
    EXPECT_EQ(edit->m_nUn, 500);
    EXPECT_EQ(edit->m_nWidth, 1024);
}

TEST_F(SettingsDialogFileTest, CancelledLoadChangesNothing) {
    Open();
    Type(ID_UNITS, "77");
    Click(ID_LOAD);  // no path scripted: the file dialog is cancelled
    EXPECT_EQ(Edit(ID_UNITS)->text(), "77");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SettingsDialogFileTest, MissingFileIsReportedAndTheSizeKept) {
    Open(800, 600);
    std::string path = dir.File("absent.dat");
    ui.openPaths.push_back(path);
    Click(ID_LOAD);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, path + " not found.");
    EXPECT_EQ(Edit(ID_WIDTH)->text(), "800");
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SettingsDialogFileTest, SaveWritesWhatIsShownAndRemembersThePath) {
    Open();
    Type(ID_UNITS, "777");
    std::string path = dir.File("Spiral.dat");
    ui.savePaths.push_back(path);
    Click(ID_SAVE);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(dialog->m_strSavedPath, dir.File("Spiral"));
    EXPECT_EQ(Edit(ID_NAME)->text(), "Spiral");
    EXPECT_STREQ(edit->m_szName, "Spiral");
    EXPECT_EQ(std::string(edit->m_szDirectory), (dir.Path() / "").string());
    auto loaded = std::make_unique<FigureEngine>();
    ASSERT_EQ(LoadDatFile(*loaded, path, ui), DAT_OK);
    EXPECT_EQ(loaded->m_nUn, 777);
}

TEST_F(SettingsDialogFileTest, EnterInTheCommentSavesAndElsewhereConfirms) {
    Open();
    QApplication::setActiveWindow(dialog.get());
    std::string path = dir.File("Entered.dat");
    ui.savePaths.push_back(path);
    Edit(ID_COMMENT)->setFocus();
    QFocusEvent enter(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(Edit(ID_COMMENT), &enter);
    QTest::keyClick(Edit(ID_COMMENT), Qt::Key_Return);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(dialog->isVisible());
    LeaveField(ID_COMMENT);
    Edit(ID_UNITS)->setFocus();
    QTest::keyClick(Edit(ID_UNITS), Qt::Key_Return);
    EXPECT_EQ(dialog->result(), IDOK);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(SettingsDialogFileTest, RunReturnsTheResultAndTheSavedPathEvenAfterCancel) {
    ui.savePaths.push_back(dir.File("Kept.dat"));
    AnswerNextModal<CSettingsDialog>([](CSettingsDialog& shown) {
        ClickButton(qobject_cast<QAbstractButton*>(shown.Control(ID_SAVE)));
        ClickButton(qobject_cast<QAbstractButton*>(shown.Control(2)));
    });
    std::string savedPath = "stale";
    EXPECT_EQ(RunSettingsDialog(nullptr, *edit, savedPath, ui), IDCANCEL);
    EXPECT_EQ(savedPath, dir.File("Kept"));

    AnswerNextModal<CSettingsDialog>([](CSettingsDialog& shown) {
        ClickButton(qobject_cast<QAbstractButton*>(shown.Control(ID_DRAW_ONE)));
    });
    EXPECT_EQ(RunSettingsDialog(nullptr, *edit, savedPath, ui), RESULT_DRAW_ONE_ORDER);
    EXPECT_TRUE(savedPath.empty());
}

TEST_F(SettingsDialogFileTest, FailedSaveIsReportedAndNoPathRemembered) {
    Open();
    std::string path = dir.File("missing-folder/Spiral.dat");
    ui.savePaths.push_back(path);
    Click(ID_SAVE);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "The parameter file could not be written:\n" + path);
    EXPECT_TRUE(dialog->m_strSavedPath.empty());
    EXPECT_STREQ(edit->m_szName, "");
}

TEST_F(SettingsDialogTest, DamagedCurrentOrderShowsOrderZero) {
    edit->m_nCurrentOrder = 12;
    Open();
    EXPECT_TRUE(Checked(ID_ORDER_0));
    Click(1);
    EXPECT_EQ(edit->m_nCurrentOrder, 0);
}

}  // namespace
