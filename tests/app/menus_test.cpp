#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "app/command_table.h"
#include "app/toolbar_icons.h"
#include "app_fixture.h"
#include "view/command_ids.h"
#include "view/status_texts.h"

namespace {

// The menu bar as texts: each menu's title, then its visible entries ("-" for a separator).
std::vector<QStringList> MenuTexts(const QMenuBar* bar) {
    std::vector<QStringList> menus;
    for (QAction* title : bar->actions()) {
        QStringList entries{title->text()};
        for (QAction* entry : title->menu()->actions()) {
            if (entry->isVisible()) entries << (entry->isSeparator() ? "-" : entry->text());
        }
        menus.push_back(entries);
    }
    return menus;
}

QList<QKeySequence> Keys(std::initializer_list<QKeyCombination> keys) {
    QList<QKeySequence> list;
    for (QKeyCombination key : keys) list << QKeySequence(key);
    return list;
}

}  // namespace

TEST_F(AppFixture, DocumentMenuMatchesTheCommandTable) {
    ASSERT_TRUE(Start());
    const std::vector<QStringList> expected = {
        {"&File",
         "&New       (Dorvanta) \tCtrl+N",
         "&Open...\tCtrl+O",
         "&Close",
         "&Save          (Picture) \tCtrl+S",
         "Save &As...  (Picture)",
         "-",
         "&Export Picture...",
         "Export SV&G...",
         "Export Ani&mation...",
         "-",
         "Dorvanta Data\tEnter",
         "Save Picture and Data to next file",
         "-",
         "&Print...\tCtrl+P",
         "Print Pre&view",
         "P&rint Setup...",
         "-",
         "Recent File",
         "-",
         "E&xit"},
        {"&Edit", "&Undo\tCtrl+Z", "&Redo\tCtrl+Y", "-", "Cu&t\tCtrl+X", "&Copy\tCtrl+C",
         "&Paste\tCtrl+V", "-", "Make Pov Data", "Help on Pov-Ray"},
        {"Draw Order", "Draw Orders", "Draw Only One", "-", "Order 0\t0", "Order 1\t1",
         "Order 2\t2", "Order 3\t3", "Order 4\t4", "Order 5\t5", "Order 6\t6", "Order 7\t7",
         "Order 8\t8", "Order 9\t9"},
        {"Picture", "Jpeg", "Jpeg Quality ...", "Bitmap", "Png"},
        {"&Colors", "Select Order Nr", "-", "Back Ground", "Reference Line",
         "Select Colors, Transparency and Orders", "-", "Randomly Choose Colors\tQ",
         "Automatic Save after Random Colors", "Random Choice Settings...", "-", "Help on Colors"},
        {"&Arrow Keys", "Change Centre", "Change Un and Gs offset"},
        {"&View", "&Toolbar", "&Status Bar", "Fit to Window", "-", "Bitmap View", "Dorvanta View"},
        {"&Window", "&New Window", "&Cascade", "&Tile", "&Arrange Icons"},
        {"&Help", "&About View Dorvanta...", "Help on Colors, Transparency and Orders...",
         "Help on Pov-Ray"},
    };
    const auto menus = MenuTexts(Frame().menuBar());
    ASSERT_EQ(menus.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(menus[i], expected[i]);
    // Two entries share command 32817, two share 32825.
    EXPECT_EQ(Frame().Menus(true)[8]->actions()[1]->data().toInt(), ID_COLOR_HELP);
    EXPECT_EQ(Frame().Menus(true)[1]->actions()[8]->data().toInt(), ID_HELP_POVRAY);
}

TEST_F(AppFixture, MenuWithoutDocumentsMatchesTheTable) {
    ASSERT_TRUE(Start());
    CloseWindow(app->ActiveView());
    const std::vector<QStringList> expected = {
        {"&File", "&New\tCtrl+N", "&Open...\tCtrl+O", "-", "P&rint Setup...", "-", "Recent File",
         "-", "E&xit"},
        {"&View", "&Toolbar", "&Status Bar"},
        {"&Help", "&About View Dorvanta"},
    };
    EXPECT_EQ(MenuTexts(Frame().menuBar()), expected);
    Frame().UpdateCommandUI();
    EXPECT_FALSE(Frame().Action(ID_FILE_MRU_FILE1)->isEnabled());  // greyed while empty
    EXPECT_TRUE(Frame().Action(ID_VIEW_TOOLBAR)->isChecked());
}

TEST_F(AppFixture, ShortcutsAreTheKeysOfTheAcceleratorTable) {
    ASSERT_TRUE(Start());
    const std::vector<std::pair<int, QList<QKeySequence>>> expected = {
        {ID_FILE_NEW, Keys({Qt::CTRL | Qt::Key_N})},
        {ID_FILE_OPEN, Keys({Qt::CTRL | Qt::Key_O})},
        {ID_FILE_SAVE, Keys({Qt::CTRL | Qt::Key_S})},
        {ID_FILE_PRINT, Keys({Qt::CTRL | Qt::Key_P})},
        {ID_EDIT_UNDO, Keys({Qt::CTRL | Qt::Key_Z, Qt::ALT | Qt::Key_Backspace})},
        {ID_EDIT_REDO, Keys({Qt::CTRL | Qt::Key_Y, Qt::CTRL | Qt::SHIFT | Qt::Key_Z})},
        {ID_EDIT_CUT, Keys({Qt::CTRL | Qt::Key_X, Qt::SHIFT | Qt::Key_Delete})},
        {ID_EDIT_COPY, Keys({Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert})},
        {ID_EDIT_PASTE, Keys({Qt::CTRL | Qt::Key_V, Qt::SHIFT | Qt::Key_Insert})},
        {ID_RANDOM_COLORS, Keys({QKeyCombination(Qt::Key_Q), Qt::SHIFT | Qt::Key_Q})},
        {ID_ORDER_0, Keys({QKeyCombination(Qt::Key_0)})},
        {ID_ORDER_9, Keys({QKeyCombination(Qt::Key_9)})},
        {ID_NEXT_PANE, Keys({QKeyCombination(Qt::Key_F6)})},
        {ID_PREV_PANE, Keys({Qt::SHIFT | Qt::Key_F6})},
        {ID_DORVANTA_DATA, Keys({QKeyCombination(Qt::Key_Return)})},
        {ID_FILE_CLOSE, {}},
        {ID_VIEW_FIT_TO_WINDOW, {}},
    };
    for (const auto& [id, keys] : expected) {
        EXPECT_EQ(Frame().Action(id)->shortcuts(), keys) << id;
    }
    // Enter is the view's key: the menu only names it.
    EXPECT_EQ(Frame().Action(ID_DORVANTA_DATA)->shortcutContext(), Qt::WidgetShortcut);
    EXPECT_EQ(KeyTextOf("Order 4\t4"), "4");
    EXPECT_EQ(KeyTextOf("Fit to Window"), "");
}

TEST_F(AppFixture, ToolbarHasElevenButtonsAndThreeGaps) {
    ASSERT_TRUE(Start());
    const QList<QAction*> actions = Frame().ToolBar()->actions();
    const std::vector<int> expected = {ID_FILE_NEW,
                                       ID_FILE_OPEN,
                                       ID_FILE_SAVE,
                                       0,
                                       ID_EDIT_CUT,
                                       ID_EDIT_COPY,
                                       ID_EDIT_PASTE,
                                       0,
                                       ID_FILE_PRINT,
                                       ID_APP_ABOUT,
                                       0,
                                       ID_DORVANTA_DATA,
                                       ID_COLOR_PAGE,
                                       ID_SAVE_NEXT_FILE};
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (qsizetype i = 0; i < actions.size(); ++i) {
        EXPECT_EQ(actions[i]->isSeparator() ? 0 : actions[i]->data().toInt(), expected[i]) << i;
        if (!actions[i]->isSeparator()) {
            EXPECT_EQ(actions[i]->icon().availableSizes().value(0), QSize(16, 15));
        }
    }
    EXPECT_EQ(Frame().ToolBar()->iconSize(), QSize(16, 15));
    // Images differ from button to button.
    EXPECT_NE(ToolbarImage(ID_FILE_NEW).toImage(), ToolbarImage(ID_FILE_SAVE).toImage());

    const QAction* open = Frame().Action(ID_FILE_OPEN);
    EXPECT_EQ(open->statusTip(), "Open a dorvanta Dat file");
    EXPECT_EQ(open->toolTip(), "Open a dorvanta Dat file");
    EXPECT_EQ(Frame().Action(ID_COLOR_PAGE)->toolTip(), "Select Colors, Items and Transparency");
    EXPECT_EQ(Frame().Action(ID_FILE_NEW)->statusTip(), "Create a new document");
    EXPECT_EQ(TooltipFor(ID_FILE_NEW), "");  // a prompt without "\n" gives no tooltip
    EXPECT_EQ(StatusPromptFor(ID_EDIT_COPY), "Copy the selection and puts it on the Clipboard");
    EXPECT_EQ(StatusPromptFor(ID_SAVE_NEXT_FILE), "Save Bmp and Data to next File");
    const QAction* animation = Frame().Action(ID_FILE_EXPORT_ANIMATION);
    EXPECT_EQ(animation->statusTip(),
              "Make a video or an animated PNG of the open figures in motion");
    EXPECT_EQ(animation->toolTip(), "Export Animation");
}

TEST_F(AppFixture, StatusPanesKeepTheWidthsOfTheirInitialTexts) {
    ASSERT_TRUE(Start());
    Frame().resize(1400, 700);  // room for every pane side by side
    QApplication::processEvents();
    const QFontMetrics metrics(Frame().font());
    const std::pair<int, QString> initial[] = {{ID_STATUS_POSITION, QString(33, '_')},
                                               {ID_STATUS_MODE, "Arrow keys change Un, Gs offset"},
                                               {ID_STATUS_OFFSET, QString(48, ' ')}};
    std::vector<int> lefts;
    for (const auto& [id, text] : initial) {
        QLabel* pane = Frame().StatusPane(id);
        ASSERT_NE(pane, nullptr);
        const int border = 2 * (pane->frameWidth() + pane->margin());
        EXPECT_EQ(pane->width(), metrics.horizontalAdvance(text) + border) << id;
        lefts.push_back(pane->geometry().left());
    }
    EXPECT_TRUE(std::is_sorted(lefts.begin(), lefts.end()));
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        ASSERT_NE(Frame().IndicatorPane(indicator), nullptr);
        EXPECT_EQ(Frame().IndicatorPane(indicator)->text(), indicator);
        EXPECT_GT(Frame().IndicatorPane(indicator)->geometry().left(), lefts.back());
    }
    // The panes show what the view wrote, however long, in their first widths.
    const int width = Frame().StatusPane(ID_STATUS_MODE)->width();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Frame()));
    app->ActiveView()->viewport()->repaint();
    Frame().UpdateStatusPanes();
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_MODE)->text(), "Arrow keys change Un and Gs offset");
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_OFFSET)->text(), g_szOffsetText);
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_POSITION)->text(), g_szPositionText);
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_MODE)->width(), width);
}
