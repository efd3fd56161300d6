// Undo and Redo in the running program: every kind of change of the figure, taken back and
// brought again with the painting byte for byte, the merging of repeats, and the menu state.
#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <functional>
#include <memory>
#include <vector>

#include "app/command_table.h"
#include "app/draw_order_dialog.h"
#include "app/order_number_dialog.h"
#include "app_fixture.h"
#include "dialog_driving.h"
#include "document/figure_history.h"
#include "view/command_ids.h"

namespace {

// What the document shows: its figure's parameters and the picture's bytes.
using Shown = std::pair<FigureState, std::vector<std::uint8_t>>;

class HistoryTest : public AppFixture {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Start());
        Frame().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
        view = app->ActiveView();
        view->m_bAutoSave = false;  // no numbered files from Q
        view->setFocus();
        Settings([](FigureEngine& edit) {  // a small picture paints fast
            edit.m_nWidth = 240;
            edit.m_nHeight = 180;
        })();
        ASSERT_EQ(Doc().m_pictureSize.width, 240);
    }

    CDibDoc& Doc() const { return view->GetDocument(); }
    int Un() const { return Doc().m_figure.m_nUn; }
    std::size_t Steps() const { return Doc().History().UndoSteps(); }

    Shown Now() const {
        const CDibDoc& doc = Doc();
        const auto bytes = DibPictureBytes(doc.m_pictureSize.width, doc.m_pictureSize.height);
        return {CaptureFigureState(doc.m_figure, doc.m_nPaintedOrder),
                {doc.m_hDIB->Bytes(), doc.m_hDIB->Bytes() + bytes}};
    }

    void Key(QKeyCombination key) { QTest::keyClick(view, key.key(), key.keyboardModifiers()); }
    std::function<void()> Keys(std::vector<QKeyCombination> keys) {
        return [=, this] {
            for (QKeyCombination key : keys) Key(key);
        };
    }
    void HeldKey(Qt::Key key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(view, &press);
    }
    void Wheel(QPoint at, int delta) {
        QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
    }
    // Opens the settings dialog with Enter and answers OK after `edit`.
    std::function<void()> Settings(std::function<void(FigureEngine&)> edit) {
        return [=, this] {
            prompts.settingsDialog = [edit](FigureEngine& figure, std::string&) {
                edit(figure);
                return IDOK;
            };
            Key(Qt::Key_Return);
            prompts.settingsDialog = nullptr;
        };
    }
    // Whether the menu offers Undo and Redo.
    std::pair<bool, bool> Menu() {
        Frame().UpdateCommandUI();
        return {Frame().Action(ID_EDIT_UNDO)->isEnabled(),
                Frame().Action(ID_EDIT_REDO)->isEnabled()};
    }

    CDibView* view = nullptr;
};
using UndoRedo = std::pair<bool, bool>;

}  // namespace

TEST_F(HistoryTest, EveryKindOfChangeIsUndoneAndRedoneWithItsParametersAndPainting) {
    auto other = std::make_unique<FigureEngine>();
    other->m_szSeries[40] = other->m_szSeries[40] == 'S' ? 'B' : 'S';
    other->m_nUn = 1500;
    ASSERT_EQ(SaveDatFile(*other, dir.File("other.dat")), 0);
    // The central bar of order 0's "Lines" cell: its red and green strips.
    const QPoint redStrip(110, 60);
    const QPoint greenStrip(140, 60);

    struct Case {
        const char* name;
        std::function<void()> change;
        std::size_t steps = 1;  // taken back and brought again together
    };
    const std::vector<Case> cases = {
        {"Right changes Un", Keys({Qt::Key_Right})},
        {"Ctrl+Up changes Gs by ten", Keys({Qt::CTRL | Qt::Key_Up})},
        {"Page Down zooms in", Keys({Qt::Key_PageDown})},
        {"Shift+Page Down makes Gs golden", Keys({Qt::SHIFT | Qt::Key_PageDown})},
        {"Ctrl+Page Up paints the next order alone", Keys({Qt::CTRL | Qt::Key_PageUp})},
        {"a digit paints its order alone", Keys({Qt::Key_2})},
        {"centre-mode moves are painted by a digit",
         Keys({Qt::Key_Tab, Qt::CTRL | Qt::Key_Right, Qt::Key_PageDown, Qt::Key_5, Qt::Key_Tab})},
        {"Draw Only One", [&] { app->Execute(ID_DRAW_ONLY_ONE); }},
        {"Q chooses random colours", Keys({Qt::Key_Q})},
        {"a double click recentres",
         [&] { QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(30, 40)); }},
        {"a right click moves the reference line",
         [&] { QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(90, 70)); }},
        {"the settings dialog's OK", Settings([](FigureEngine& edit) {
             edit.m_nWidth = 200;
             edit.m_nHeight = 160;
             edit.m_bGradient = !edit.m_bGradient;
             std::snprintf(edit.m_szComment, sizeof edit.m_szComment, "%s", "changed");
         })},
        {"Load file in the settings dialog",
         Settings([&](FigureEngine& edit) { LoadDatFile(edit, dir.File("other.dat"), prompts); })},
        {"the Draw Orders dialog: one OK that changes orders 0 and 1, then Cancel",
         [&] {
             AnswerNextModal<CDrawOrderDialog>([](CDrawOrderDialog& dialog) {
                 ClickButton(dialog.DrawBox(0));
                 Retype(dialog.TransparencyEdit(1), "0.25");
                 AnswerNextModal<CDrawOrderDialog>(
                     [](CDrawOrderDialog& next) { ClickCancel(next); });
                 ClickOk(dialog);
             });
             app->Execute(ID_DRAW_ORDERS);
         }},
        {"the Order Number dialog",
         [&] {
             AnswerNextModal<COrderNumberDialog>([](COrderNumberDialog& dialog) {
                 Retype(dialog.OrderEdit(), "6");
                 ClickOk(dialog);
             });
             app->Execute(ID_SELECT_ORDER_NR);
         }},
        {"wheel turns on the colour page, then Enter",
         [&] {
             app->Execute(ID_COLOR_PAGE);
             for (int turn = 0; turn < 3; ++turn) {
                 Wheel(redStrip, 120);
                 Wheel(greenStrip, -120);
             }
             Key(Qt::Key_Return);
         }},
        {"a held key is one step, other keys are steps of their own",
         [&] {
             const int un = Un();
             const std::size_t steps = Steps();
             Key(Qt::Key_Right);
             for (int repeat = 0; repeat < 4; ++repeat) HeldKey(Qt::Key_Right);
             EXPECT_EQ(Un(), un + 5);
             EXPECT_EQ(Steps(), steps + 1);
             Keys({Qt::Key_Up, Qt::Key_Left})();
         },
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Shown before = Now();
        const std::size_t steps = Steps();
        c.change();
        const Shown after = Now();
        ASSERT_FALSE(after.first == before.first);
        EXPECT_EQ(Steps(), steps + c.steps);
        for (std::size_t i = 0; i < c.steps; ++i) ASSERT_TRUE(app->Execute(ID_EDIT_UNDO));
        EXPECT_TRUE(Now() == before);
        for (std::size_t i = 0; i < c.steps; ++i) ASSERT_TRUE(app->Execute(ID_EDIT_REDO));
        EXPECT_TRUE(Now() == after);
    }
}

TEST_F(HistoryTest, MenuAndKeysFollowWhatCanBeUndoneAndRedoneAndANewChangeDropsTheRedoSteps) {
    EXPECT_EQ(MenuTextOf(ID_EDIT_REDO), "&Redo\tCtrl+Y");
    EXPECT_EQ(Frame().Action(ID_EDIT_REDO)->shortcuts(),
              (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Y),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}));
    EXPECT_EQ(StatusPromptFor(ID_EDIT_REDO), "Redo the previously undone action");
    EXPECT_EQ(TooltipFor(ID_EDIT_REDO), "Redo");
    EXPECT_EQ(StatusPromptFor(ID_EDIT_UNDO), "Undo the last action");

    // The resize of the set-up is the one step so far.
    app->Execute(ID_EDIT_UNDO);
    EXPECT_EQ(Menu(), UndoRedo(false, true));
    const int un = Un();
    // The menu shows the new step only a moment later: the keys undo and redo all the same.
    Key(Qt::Key_Right);
    EXPECT_FALSE(Frame().Action(ID_EDIT_UNDO)->isEnabled());
    Key(Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(Un(), un);
    Key(Qt::CTRL | Qt::Key_Y);
    EXPECT_EQ(Un(), un + 1);
    EXPECT_EQ(Menu(), UndoRedo(true, false));
    QSignalSpy undone(Frame().Action(ID_EDIT_UNDO), &QAction::triggered);
    Key(Qt::ALT | Qt::Key_Backspace);
    EXPECT_EQ(undone.count(), 1);
    EXPECT_EQ(Un(), un);
    EXPECT_TRUE(Menu().second);
    Key(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    EXPECT_EQ(Un(), un + 1);

    // Both windows of a document share its history.
    app->Execute(ID_WINDOW_NEW);
    CDibView* second = app->ActiveView();
    ASSERT_NE(second, view);
    EXPECT_TRUE(Menu().first);
    app->Execute(ID_EDIT_UNDO);
    EXPECT_EQ(Un(), un);
    EXPECT_EQ(&second->GetDocument(), &Doc());

    // Saving leaves it; the picture alone has none, nor a file opened into the document.
    prompts.savePaths = {dir.File("saved.png")};
    app->Execute(ID_FILE_SAVE_AS);
    EXPECT_EQ(Doc().GetTitle(), "saved");
    EXPECT_EQ(Menu(), UndoRedo(false, true));
    app->Execute(ID_EDIT_REDO);
    EXPECT_EQ(Un(), un + 1);
    EXPECT_TRUE(Menu().first);
    app->Execute(ID_VIEW_BITMAP);
    EXPECT_EQ(Menu(), UndoRedo(false, false));
    WriteDat(dir.File("fig.dat"));
    prompts.openPaths = {dir.File("fig.dat")};
    app->Execute(ID_FILE_OPEN);
    EXPECT_EQ(Menu(), UndoRedo(false, false));

    // A new change after an undo drops the redo steps; painting the same figure again keeps them.
    Keys({Qt::Key_Right, Qt::Key_Up})();
    app->Execute(ID_EDIT_UNDO);
    EXPECT_TRUE(Menu().second);
    Key(Qt::Key_Home);
    EXPECT_TRUE(Menu().second);
    Key(Qt::Key_Down);
    EXPECT_FALSE(Menu().second);
    EXPECT_FALSE(app->Execute(ID_EDIT_REDO) && Doc().CanRedo());
}
