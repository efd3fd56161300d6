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
#include "view/view_dialogs.h"

namespace {

// What the document shows: its figure's parameters and the picture's bytes.
struct Shown {
    FigureState figure;
    std::vector<std::uint8_t> picture;
};

class HistoryTest : public AppFixture {
  protected:
    void SetUp() override {
        // A small picture paints fast.
        prompts.settingsDialog = [](FigureEngine& edit, std::string&) {
            edit.m_nWidth = 240;
            edit.m_nHeight = 180;
            return IDOK;
        };
        ASSERT_TRUE(Start());
        Frame().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
        view = app->ActiveView();
        view->m_bAutoSave = false;  // no numbered files from Q
        view->setFocus();
        Key(Qt::Key_Return);
        prompts.settingsDialog = nullptr;
        ASSERT_EQ(Doc().m_pictureSize.width, 240);
    }

    CDibDoc& Doc() const { return view->GetDocument(); }

    Shown Now() const {
        const CDibDoc& doc = Doc();
        const auto bytes = DibPictureBytes(doc.m_pictureSize.width, doc.m_pictureSize.height);
        return {CaptureFigureState(doc.m_figure, doc.m_nPaintedOrder),
                {doc.m_hDIB->Bytes(), doc.m_hDIB->Bytes() + bytes}};
    }

    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(view, key, modifiers);
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
    bool Enabled(int id) {
        Frame().UpdateCommandUI();
        return Frame().Action(id)->isEnabled();
    }

    CDibView* view = nullptr;
};

// The draw-order cycle of the program with its real dialog: one OK that changes orders 0 and 1,
// then Cancel.
void DrawOrdersOnceThenCancel() {
    GetViewDialogs().runDrawOrders = [](QWidget* parent, FigureParams& figure,
                                        const std::function<void()>& applied, UserPrompts& ui) {
        int runs = 0;
        RunDrawOrderCycle(parent, figure, applied, ui, [&runs](QDialog& shown) {
            auto& dialog = static_cast<CDrawOrderDialog&>(shown);
            dialog.show();
            if (++runs == 1) {
                ClickButton(dialog.DrawBox(0));
                Retype(dialog.TransparencyEdit(1), "0.25");
                ClickOk(dialog);
            } else {
                ClickCancel(dialog);
            }
            return dialog.result();
        });
    };
}

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
    };
    const std::vector<Case> cases = {
        {"Right changes Un", [&] { Key(Qt::Key_Right); }},
        {"Ctrl+Up changes Gs by ten", [&] { Key(Qt::Key_Up, Qt::ControlModifier); }},
        {"Page Down zooms in", [&] { Key(Qt::Key_PageDown); }},
        {"Shift+Page Down makes Gs golden", [&] { Key(Qt::Key_PageDown, Qt::ShiftModifier); }},
        {"Ctrl+Page Up paints the next order alone",
         [&] { Key(Qt::Key_PageUp, Qt::ControlModifier); }},
        {"a digit paints its order alone", [&] { Key(Qt::Key_2); }},
        {"centre-mode moves are painted by a digit",
         [&] {
             Key(Qt::Key_Tab);
             Key(Qt::Key_Right, Qt::ControlModifier);
             Key(Qt::Key_PageDown);
             Key(Qt::Key_5);
             Key(Qt::Key_Tab);
         }},
        {"Draw Only One", [&] { app->Execute(ID_DRAW_ONLY_ONE); }},
        {"Q chooses random colours", [&] { Key(Qt::Key_Q); }},
        {"a double click recentres",
         [&] { QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(30, 40)); }},
        {"a right click moves the reference line",
         [&] { QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(90, 70)); }},
        {"the settings dialog's OK",
         [&] {
             prompts.settingsDialog = [](FigureEngine& edit, std::string&) {
                 edit.m_nWidth = 200;
                 edit.m_nHeight = 160;
                 edit.m_bGradient = !edit.m_bGradient;
                 std::snprintf(edit.m_szComment, sizeof edit.m_szComment, "%s", "changed");
                 return IDOK;
             };
             Key(Qt::Key_Return);
         }},
        {"Load file in the settings dialog",
         [&] {
             prompts.settingsDialog = [this](FigureEngine& edit, std::string&) {
                 LoadDatFile(edit, dir.File("other.dat"), prompts);
                 return IDOK;
             };
             Key(Qt::Key_Return);
         }},
        {"the Draw Orders dialog",
         [&] {
             DrawOrdersOnceThenCancel();
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Shown before = Now();
        const std::size_t steps = Doc().History().UndoSteps();
        c.change();
        prompts.settingsDialog = nullptr;
        const Shown after = Now();
        ASSERT_FALSE(after.figure == before.figure);
        EXPECT_EQ(Doc().History().UndoSteps(), steps + 1);
        ASSERT_TRUE(app->Execute(ID_EDIT_UNDO));
        EXPECT_TRUE(Now().figure == before.figure);
        EXPECT_TRUE(Now().picture == before.picture);
        ASSERT_TRUE(app->Execute(ID_EDIT_REDO));
        EXPECT_TRUE(Now().figure == after.figure);
        EXPECT_TRUE(Now().picture == after.picture);
    }
}

TEST_F(HistoryTest, AHeldKeyIsOneStepAndOtherKeysAreStepsOfTheirOwn) {
    const Shown before = Now();
    const std::size_t steps = Doc().History().UndoSteps();
    Key(Qt::Key_Right);
    for (int repeat = 0; repeat < 4; ++repeat) HeldKey(Qt::Key_Right);
    EXPECT_EQ(Doc().m_figure.m_nUn, before.figure.un + 5);
    EXPECT_EQ(Doc().History().UndoSteps(), steps + 1);
    Key(Qt::Key_Up);
    Key(Qt::Key_Left);
    EXPECT_EQ(Doc().History().UndoSteps(), steps + 3);
    app->Execute(ID_EDIT_UNDO);
    app->Execute(ID_EDIT_UNDO);
    app->Execute(ID_EDIT_UNDO);
    EXPECT_TRUE(Now().picture == before.picture);
}

TEST_F(HistoryTest, ANewChangeAfterAnUndoDropsTheRedoSteps) {
    Key(Qt::Key_Right);
    Key(Qt::Key_Up);
    app->Execute(ID_EDIT_UNDO);
    EXPECT_TRUE(Enabled(ID_EDIT_REDO));
    Key(Qt::Key_Home);  // paints the same figure again: no change, Redo stays
    EXPECT_TRUE(Enabled(ID_EDIT_REDO));
    Key(Qt::Key_Down);
    EXPECT_FALSE(Enabled(ID_EDIT_REDO));
    EXPECT_FALSE(app->Execute(ID_EDIT_REDO) && Doc().CanRedo());
}

TEST_F(HistoryTest, MenuAndKeysFollowWhatCanBeUndoneAndRedone) {
    EXPECT_EQ(MenuTextOf(ID_EDIT_REDO), "&Redo\tCtrl+Y");
    EXPECT_EQ(Frame().Action(ID_EDIT_REDO)->shortcuts(),
              (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Y),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}));
    EXPECT_EQ(StatusPromptFor(ID_EDIT_REDO), "Redo the previously undone action");
    EXPECT_EQ(TooltipFor(ID_EDIT_REDO), "Redo");
    EXPECT_EQ(StatusPromptFor(ID_EDIT_UNDO), "Undo the last action");

    // The resize of the set-up is the one step so far.
    app->Execute(ID_EDIT_UNDO);
    EXPECT_FALSE(Enabled(ID_EDIT_UNDO));
    EXPECT_TRUE(Enabled(ID_EDIT_REDO));
    const int un = Doc().m_figure.m_nUn;
    // The menu shows the new step only a moment later: the keys undo and redo all the same.
    Key(Qt::Key_Right);
    EXPECT_FALSE(Frame().Action(ID_EDIT_UNDO)->isEnabled());
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Doc().m_figure.m_nUn, un);
    Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Doc().m_figure.m_nUn, un + 1);
    EXPECT_TRUE(Enabled(ID_EDIT_UNDO));
    EXPECT_FALSE(Enabled(ID_EDIT_REDO));
    QSignalSpy undone(Frame().Action(ID_EDIT_UNDO), &QAction::triggered);
    Key(Qt::Key_Backspace, Qt::AltModifier);
    EXPECT_EQ(undone.count(), 1);
    EXPECT_EQ(Doc().m_figure.m_nUn, un);
    EXPECT_TRUE(Enabled(ID_EDIT_REDO));
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Doc().m_figure.m_nUn, un + 1);

    // Both windows of a document share its history.
    app->Execute(ID_WINDOW_NEW);
    CDibView* second = app->ActiveView();
    ASSERT_NE(second, view);
    EXPECT_TRUE(Enabled(ID_EDIT_UNDO));
    app->Execute(ID_EDIT_UNDO);
    EXPECT_EQ(Doc().m_figure.m_nUn, un);
    EXPECT_EQ(&second->GetDocument(), &Doc());

    // Saving leaves it; the picture alone has none.
    prompts.savePaths = {dir.File("saved.png")};
    app->Execute(ID_FILE_SAVE_AS);
    EXPECT_EQ(Doc().GetTitle(), "saved");
    EXPECT_FALSE(Enabled(ID_EDIT_UNDO));
    EXPECT_TRUE(Enabled(ID_EDIT_REDO));
    app->Execute(ID_EDIT_REDO);
    EXPECT_EQ(Doc().m_figure.m_nUn, un + 1);
    EXPECT_TRUE(Enabled(ID_EDIT_UNDO));
    app->Execute(ID_VIEW_BITMAP);
    EXPECT_FALSE(Enabled(ID_EDIT_UNDO));
    EXPECT_FALSE(Enabled(ID_EDIT_REDO));

    // Opening a file into the document starts a new history.
    WriteDat(dir.File("fig.dat"));
    prompts.openPaths = {dir.File("fig.dat")};
    app->Execute(ID_FILE_OPEN);
    EXPECT_FALSE(Enabled(ID_EDIT_UNDO));
    EXPECT_FALSE(Enabled(ID_EDIT_REDO));
}
