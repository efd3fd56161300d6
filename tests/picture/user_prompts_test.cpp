#include <gtest/gtest.h>

#include "picture/user_prompts.h"
#include "support/scripted_prompts.h"

// The random source must repeat the classic C library sequence for a seed, so that numbered
// random colourings can be reproduced.
TEST(UserPrompts, RandomSourceRepeatsTheClassicSequence) {
    ScriptedPrompts ui;
    ui.SeedRandom(1);
    EXPECT_EQ(ui.NextRandom(), 41);
    EXPECT_EQ(ui.NextRandom(), 18467);
    EXPECT_EQ(ui.NextRandom(), 6334);
    ui.SeedRandom(1);
    EXPECT_EQ(ui.NextRandom(), 41);
}

TEST(UserPrompts, ScriptedAnswersComeInOrderAndMessagesAreRecorded) {
    ScriptedPrompts ui;
    ui.answers = {IDNO, IDCANCEL};
    EXPECT_EQ(ui.ShowMessage("a", MsgButtons::YesNo, MsgIcon::Question), IDNO);
    EXPECT_EQ(ui.ShowMessage("b", MsgButtons::Ok, MsgIcon::Information), IDOK);
    EXPECT_EQ(ui.ShowMessage("c", MsgButtons::YesNoCancel, MsgIcon::Question), IDCANCEL);
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"a", "b", "c"}));
    {
        WaitCursor wait(ui);
        EXPECT_EQ(ui.waitCursorDepth, 1);
    }
    EXPECT_EQ(ui.waitCursorDepth, 0);
}
