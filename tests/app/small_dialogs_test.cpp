#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <memory>

#include "app/draw_order_dialog.h"
#include "app/jpeg_quality_dialog.h"
#include "app/order_number_dialog.h"
#include "app/random_choice_dialog.h"
#include "app/select_lines_dialog.h"
#include "dialog_driving.h"
#include "figure/figure_engine.h"
#include "support/scripted_prompts.h"

namespace {

bool HasLabel(const QWidget& dialog, const QString& text) {
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (label->text() == text) return true;
    return false;
}

// ---- Order number ----

TEST(OrderNumberDialogTest, ShowsCaptionLabelAndExplanation) {
    ScriptedPrompts ui;
    COrderNumberDialog dialog(ui);
    dialog.m_nOrder = 4;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Dialog");
    EXPECT_EQ(dialog.OrderEdit()->text(), "4");
    EXPECT_TRUE(HasLabel(dialog, "Order Nr"));
    EXPECT_TRUE(
        HasLabel(dialog,
                 "Orders can be chosen by simply pressing the number of the order on the key "
                 "board. Pressing \"1\" selects order 1.  Down left on the  pane you will "
                 "see the current status."));
}

TEST(OrderNumberDialogTest, RefusesNumbersOutside0To9) {
    for (const char* text : {"10", "-1", "x", "", "3.5"}) {
        ScriptedPrompts ui;
        COrderNumberDialog dialog(ui);
        dialog.show();
        Retype(dialog.OrderEdit(), text);
        ClickOk(dialog);
        EXPECT_TRUE(dialog.isVisible()) << text;
        ASSERT_EQ(ui.messages.size(), 1u) << text;
        EXPECT_EQ(ui.messages[0].text, "Please enter a whole number from 0 to 9 in \"Order Nr\".");
        EXPECT_EQ(dialog.focusWidget(), dialog.OrderEdit());
    }
}

TEST(OrderNumberDialogTest, AcceptsTheEnds) {
    for (int order : {0, 9}) {
        ScriptedPrompts ui;
        COrderNumberDialog dialog(ui);
        dialog.show();
        Retype(dialog.OrderEdit(), QString::number(order));
        ClickOk(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.m_nOrder, order);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(OrderNumberDialogTest, AskReturnsTheOrderOnOkAndNothingOnCancel) {
    ScriptedPrompts ui;
    AnswerNextModal<COrderNumberDialog>([](COrderNumberDialog& dialog) {
        Retype(dialog.OrderEdit(), "7");
        ClickOk(dialog);
    });
    EXPECT_EQ(AskOrderNumber(nullptr, 2, ui), 7);
    AnswerNextModal<COrderNumberDialog>([](COrderNumberDialog& dialog) {
        EXPECT_EQ(dialog.OrderEdit()->text(), "2");
        Retype(dialog.OrderEdit(), "7");
        ClickCancel(dialog);
    });
    EXPECT_EQ(AskOrderNumber(nullptr, 2, ui), std::nullopt);
}

// ---- JPEG quality ----

TEST(JpegQualityDialogTest, LabelSays5To95ButTheWholeRangeIsAccepted) {
    for (int quality : {0, 3, 100}) {
        ScriptedPrompts ui;
        CJpegQualityDialog dialog(ui);
        dialog.m_nQuality = 90;
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), "Dialog Jpeg Quality");
        EXPECT_TRUE(HasLabel(dialog, "Jpeg Quality\n (5..95)"));
        EXPECT_TRUE(dialog.QualityEdit()->alignment() & Qt::AlignRight);
        EXPECT_EQ(dialog.QualityEdit()->text(), "90");
        Retype(dialog.QualityEdit(), QString::number(quality));
        ClickOk(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.m_nQuality, quality);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(JpegQualityDialogTest, RefusesValuesOutside0To100) {
    for (const char* text : {"101", "-1", "high"}) {
        ScriptedPrompts ui;
        CJpegQualityDialog dialog(ui);
        dialog.m_nQuality = 90;
        dialog.show();
        Retype(dialog.QualityEdit(), text);
        ClickOk(dialog);
        EXPECT_TRUE(dialog.isVisible()) << text;
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text,
                  "Please enter a whole number from 0 to 100 in \"Jpeg Quality\".");
        EXPECT_EQ(dialog.focusWidget(), dialog.QualityEdit());
        EXPECT_EQ(dialog.m_nQuality, 90);
    }
}

TEST(JpegQualityDialogTest, AskReturnsNothingOnCancel) {
    ScriptedPrompts ui;
    AnswerNextModal<CJpegQualityDialog>([](CJpegQualityDialog& dialog) {
        Retype(dialog.QualityEdit(), "55");
        ClickOk(dialog);
    });
    EXPECT_EQ(AskJpegQuality(nullptr, 90, ui), 55);
    AnswerNextModal<CJpegQualityDialog>([](CJpegQualityDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(AskJpegQuality(nullptr, 90, ui), std::nullopt);
}

// ---- Draw order ----

class DrawOrderDialogTest : public ::testing::Test {
  protected:
    ScriptedPrompts ui;
    std::unique_ptr<FigureEngine> figure = std::make_unique<FigureEngine>();
};

TEST_F(DrawOrderDialogTest, ShowsTheFiguresSwitchesAndTransparencies) {
    figure->m_orders[7].transparency = 0.125;
    CDrawOrderDialog dialog(ui);
    FillDrawOrderDialog(dialog, *figure);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Dialog");
    EXPECT_TRUE(HasLabel(dialog, "Transparency"));
    EXPECT_EQ(dialog.DrawBox(0)->text(), "Order 0");
    EXPECT_EQ(dialog.DrawBox(0)->objectName(), "188");
    EXPECT_EQ(dialog.DrawBox(1)->objectName(), "179");
    EXPECT_EQ(dialog.TransparencyEdit(0)->objectName(), "198");
    EXPECT_EQ(dialog.TransparencyEdit(9)->objectName(), "197");
    EXPECT_TRUE(dialog.DrawBox(3)->isChecked());
    EXPECT_FALSE(dialog.DrawBox(4)->isChecked());
    EXPECT_EQ(dialog.TransparencyEdit(7)->text(), "0.125");
}

TEST_F(DrawOrderDialogTest, InvalidTransparencyKeepsTheDialogOpen) {
    CDrawOrderDialog dialog(ui);
    FillDrawOrderDialog(dialog, *figure);
    dialog.show();
    Retype(dialog.TransparencyEdit(6), "1.01");
    Retype(dialog.TransparencyEdit(4), "much");
    ClickOk(dialog);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(ui.messages.size(), 1u);  // the first refusal, in order
    EXPECT_EQ(ui.messages[0].text,
              "Please enter a number from 0 to 1 in \"Transparency of order 4\".");
    EXPECT_EQ(dialog.focusWidget(), dialog.TransparencyEdit(4));
    Retype(dialog.TransparencyEdit(4), "0");
    Retype(dialog.TransparencyEdit(6), "1");
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_transparency[4], 0.0);
    EXPECT_EQ(dialog.m_transparency[6], 1.0);
}

TEST_F(DrawOrderDialogTest, CycleReopensWithTheAppliedValuesUntilCancel) {
    int repaints = 0;
    int runs = 0;
    auto run = [&](QDialog& shown) {
        auto& dialog = static_cast<CDrawOrderDialog&>(shown);
        dialog.show();
        ++runs;
        if (runs == 1) {
            ClickButton(dialog.DrawBox(5));
            Retype(dialog.TransparencyEdit(5), "0.75");
            ClickOk(dialog);
        } else if (runs == 2) {
            EXPECT_TRUE(dialog.DrawBox(5)->isChecked());
            EXPECT_EQ(dialog.TransparencyEdit(5)->text(), "0.75");
            ClickButton(dialog.DrawBox(0));
            ClickOk(dialog);
        } else {
            EXPECT_FALSE(dialog.DrawBox(0)->isChecked());
            ClickButton(dialog.DrawBox(1));
            ClickCancel(dialog);
        }
        return dialog.result();
    };
    int accepted = RunDrawOrderCycle(
        nullptr, *figure,
        [&] {
            ++repaints;
            EXPECT_EQ(figure->m_orders[5].drawOrder, 1);
        },
        ui, run);
    EXPECT_EQ(accepted, 2);
    EXPECT_EQ(repaints, 2);
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(figure->m_orders[5].transparency, 0.75);
    EXPECT_EQ(figure->m_orders[0].drawOrder, 0);
    EXPECT_EQ(figure->m_orders[1].drawOrder, 1);  // the cancelled change is not applied
}

// ---- Random choice ----

class RandomChoiceDialogTest : public ::testing::Test {
  protected:
    RandomChoice choice;
    std::unique_ptr<CRandomChoiceDialog> dialog;

    CRandomChoiceDialog& Open() {
        dialog = std::make_unique<CRandomChoiceDialog>(choice);
        dialog->show();
        return *dialog;
    }
    QAbstractButton* Button(int id) { return qobject_cast<QAbstractButton*>(dialog->Control(id)); }
    bool Checked(int id) { return Button(id)->isChecked(); }
    void Click(int id) { ClickButton(Button(id)); }
};

constexpr int ID_LINES = 221, ID_BIG_STAR = 223, ID_SMALL_SOLID = 228, ID_BACKGROUND = 220;
constexpr int ID_LINES_OFFSET = 229, ID_MAGNIFICATION = 232, ID_DEFAULTS = 230;
constexpr int ID_ORDER_0 = 231, ID_ORDER_2 = 193, ID_ORDER_5 = 196;

TEST_F(RandomChoiceDialogTest, CaptionGroupsAndBoxes) {
    Open();
    EXPECT_EQ(dialog->windowTitle(), "Random Choice Dialog");
    QStringList groups;
    for (auto* group : dialog->findChildren<QGroupBox*>()) groups << group->title();
    EXPECT_TRUE(groups.contains("Order"));
    EXPECT_TRUE(groups.contains("Select Color Item"));
    EXPECT_TRUE(groups.contains("Lines Offset and Magnification"));
    EXPECT_EQ(Button(ID_BACKGROUND)->text(), "Back Ground (no order)");
    EXPECT_EQ(Button(227)->text(), "Big Solid Pentagon");
    EXPECT_EQ(Button(ID_DEFAULTS)->text(), "Default Values");
    EXPECT_EQ(Button(200)->text(), "9");
    EXPECT_EQ(dialog->Control(226), nullptr);  // no box for the reference line
    EXPECT_TRUE(Checked(ID_ORDER_0));
    EXPECT_TRUE(Checked(ID_LINES_OFFSET));
    EXPECT_TRUE(Checked(ID_MAGNIFICATION));
    EXPECT_FALSE(Checked(ID_BACKGROUND));
}

TEST_F(RandomChoiceDialogTest, EachOrderKeepsItsOwnItemBoxes) {
    choice.itemFlags[5][2] = 0;
    Open();
    Click(ID_ORDER_2);
    EXPECT_TRUE(Checked(ID_LINES));
    Click(ID_LINES);
    Click(ID_ORDER_5);
    EXPECT_TRUE(Checked(ID_LINES));
    EXPECT_FALSE(Checked(ID_BIG_STAR));
    Click(ID_ORDER_2);
    EXPECT_FALSE(Checked(ID_LINES));
    EXPECT_TRUE(Checked(ID_BIG_STAR));
    ClickOk(*dialog);
    EXPECT_EQ(dialog->m_choice.itemFlags[2][0], 0);
    EXPECT_EQ(dialog->m_choice.itemFlags[5][0], 1);
    EXPECT_EQ(dialog->m_choice.itemFlags[5][2], 0);
}

TEST_F(RandomChoiceDialogTest, CancelLeavesTheCallersRecordUnchanged) {
    RandomChoice record;
    const RandomChoice before = record;
    AnswerNextModal<CRandomChoiceDialog>([](CRandomChoiceDialog& shown) {
        ClickButton(qobject_cast<QAbstractButton*>(shown.Control(ID_ORDER_2)));
        ClickButton(qobject_cast<QAbstractButton*>(shown.Control(ID_LINES)));
        ClickButton(qobject_cast<QAbstractButton*>(shown.Control(ID_BACKGROUND)));
        ClickCancel(shown);
    });
    EXPECT_FALSE(EditRandomChoice(nullptr, record));
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);

    AnswerNextModal<CRandomChoiceDialog>([](CRandomChoiceDialog& shown) {
        ClickButton(qobject_cast<QAbstractButton*>(shown.Control(ID_ORDER_2)));
        ClickButton(qobject_cast<QAbstractButton*>(shown.Control(ID_LINES)));
        ClickButton(qobject_cast<QAbstractButton*>(shown.Control(ID_BACKGROUND)));
        ClickOk(shown);
    });
    EXPECT_TRUE(EditRandomChoice(nullptr, record));
    EXPECT_EQ(record.itemFlags[2][0], 0);
    EXPECT_EQ(record.chooseBackground, 1);
}

TEST_F(RandomChoiceDialogTest, DefaultValuesTicksEveryItemButLeavesTheGlobalBoxes) {
    for (auto& flags : choice.itemFlags)
        for (auto& flag : flags) flag = 0;
    choice.itemFlags[3][5] = 1;  // reference line and spare items pass through
    choice.itemFlags[4][8] = 1;
    choice.chooseLinesOffset = 0;
    choice.chooseMagnification = 1;
    choice.chooseBackground = 1;
    Open();
    Click(ID_LINES_OFFSET);  // now ticked
    Click(ID_BACKGROUND);    // now unticked
    Click(ID_ORDER_5);
    EXPECT_FALSE(Checked(ID_SMALL_SOLID));
    Click(ID_DEFAULTS);
    EXPECT_TRUE(Checked(ID_SMALL_SOLID));
    EXPECT_TRUE(Checked(ID_LINES));
    EXPECT_TRUE(Checked(ID_LINES_OFFSET));
    EXPECT_TRUE(Checked(ID_MAGNIFICATION));
    EXPECT_FALSE(Checked(ID_BACKGROUND));
    ClickOk(*dialog);
    for (int order = 0; order < kOrderCount; ++order) {
        for (int item : {0, 1, 2, 3, 4, 6, 7})
            EXPECT_EQ(dialog->m_choice.itemFlags[order][item], 1);
        EXPECT_EQ(dialog->m_choice.itemFlags[order][5], order == 3 ? 1 : 0);
        EXPECT_EQ(dialog->m_choice.itemFlags[order][8], order == 4 ? 1 : 0);
        EXPECT_EQ(dialog->m_choice.itemFlags[order][9], 0);
    }
    EXPECT_EQ(dialog->m_choice.chooseLinesOffset, 1);
    EXPECT_EQ(dialog->m_choice.chooseMagnification, 1);
    EXPECT_EQ(dialog->m_choice.chooseBackground, 0);
}

// ---- Select lines ----

TEST(SelectLinesDialogTest, FamiliesWithTheirAnglesLeftOfTheBoxes) {
    CSelectLinesDialog dialog({1, 0, 1, 0, 1});
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Select lines to be drawn");
    EXPECT_TRUE(HasLabel(dialog, "Angle of the Normal"));
    EXPECT_EQ(dialog.findChild<QGroupBox*>()->title(), "Select the Lines");
    const char* texts[] = {"    0\u00ba", "  72\u00ba", "144\u00ba", "216\u00ba", "288\u00ba"};
    const char* ids[] = {"114", "122", "127", "129", "130"};
    for (int family = 0; family < 5; ++family) {
        EXPECT_EQ(dialog.FamilyBox(family)->text(), QString::fromUtf8(texts[family]));
        EXPECT_EQ(dialog.FamilyBox(family)->objectName(), ids[family]);
        EXPECT_EQ(dialog.FamilyBox(family)->layoutDirection(), Qt::RightToLeft);
        EXPECT_EQ(dialog.FamilyBox(family)->isChecked(), family % 2 == 0);
    }
    dialog.FamilyBox(1)->click();
    dialog.FamilyBox(4)->click();
    ClickOk(dialog);
    std::array<std::uint8_t, 5> expected = {1, 1, 1, 0, 0};
    EXPECT_EQ(dialog.m_lines, expected);
}

}  // namespace
