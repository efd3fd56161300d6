// The main frame as a user meets it with several windows: the Window menu's list and the window
// keys, where new and cascaded windows go, the status texts of the active window, and a status
// bar that stays readable when narrow.
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>
#include <algorithm>

#include "app_fixture.h"
#include "view/command_ids.h"
#include "view/status_texts.h"

namespace {

QStringList EntryTexts(const CMainFrame& frame) {
    QStringList texts;
    for (const QAction* entry : frame.WindowListEntries()) {
        if (!entry->isSeparator()) texts << entry->text();
    }
    return texts;
}

QString CheckedEntry(const CMainFrame& frame) {
    for (const QAction* entry : frame.WindowListEntries()) {
        if (entry->isChecked()) return entry->text();
    }
    return {};
}

QMdiSubWindow* WindowOf(CDibView* view) {
    return qobject_cast<QMdiSubWindow*>(view->parentWidget());
}

class FrameWindows : public AppFixture {
  protected:
    // The program with a 1024 x 768 frame and one document titled "probe" in two windows.
    void StartWithTwoWindows() {
        ASSERT_TRUE(Start());
        Frame().resize(1024, 768);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Frame()));
        app->ActiveDocument()->SetTitle("probe");
        first = app->ActiveView();
        app->Execute(ID_WINDOW_NEW);
        second = app->ActiveView();
        ASSERT_NE(first, second);
        QApplication::processEvents();
    }

    // Every visible pane lies inside the status bar and no two of them overlap.
    void ExpectPanesSideBySide(const char* when) {
        std::vector<QRect> shown;
        for (const QObject* child : Frame().statusBar()->children()) {
            const auto* pane = qobject_cast<const QLabel*>(child);
            if (!pane || !pane->isVisible()) continue;
            EXPECT_TRUE(Frame().statusBar()->rect().contains(pane->geometry()))
                << when << ": " << pane->text().toStdString();
            shown.push_back(pane->geometry());
        }
        for (std::size_t i = 0; i < shown.size(); ++i) {
            for (std::size_t j = i + 1; j < shown.size(); ++j) {
                EXPECT_FALSE(shown[i].intersects(shown[j])) << when;
            }
        }
    }

    CDibView* first = nullptr;
    CDibView* second = nullptr;
};

}  // namespace

TEST_F(FrameWindows, WindowMenuListsTheWindowsAndActivatesTheChosenOne) {
    StartWithTwoWindows();
    emit Frame().WindowMenu()->aboutToShow();
    EXPECT_EQ(EntryTexts(Frame()), (QStringList{"&1 probe:1", "&2 probe:2"}));
    EXPECT_EQ(CheckedEntry(Frame()), "&2 probe:2");
    // The list follows the menu: it ends it, after a separator.
    const QList<QAction*> actions = Frame().WindowMenu()->actions();
    EXPECT_TRUE(actions[actions.size() - 3]->isSeparator());
    Frame().WindowListEntries()[1]->trigger();
    EXPECT_EQ(app->ActiveView(), first);
    emit Frame().WindowMenu()->aboutToShow();
    EXPECT_EQ(CheckedEntry(Frame()), "&1 probe:1");
    // A closed window leaves the list.
    CloseWindow(second);
    emit Frame().WindowMenu()->aboutToShow();
    EXPECT_EQ(EntryTexts(Frame()), (QStringList{"&1 probe"}));
}

TEST_F(FrameWindows, WindowKeysCloseAndCycleTheWindowsAndF10OpensTheMenuBar) {
    StartWithTwoWindows();
    Frame().activateWindow();
    QTest::keyClick(second, Qt::Key_F6, Qt::ControlModifier);
    EXPECT_EQ(app->ActiveView(), first);
    QTest::keyClick(first, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(app->ActiveView(), second);
    QTest::keyClick(second, Qt::Key_F4, Qt::ControlModifier);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Frame().MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(app->ActiveView(), first);
    EXPECT_EQ(Frame().menuBar()->activeAction(), nullptr);
    QTest::keyClick(first, Qt::Key_F10);
    ASSERT_NE(Frame().menuBar()->activeAction(), nullptr);
    EXPECT_EQ(Frame().menuBar()->activeAction()->text(), "&File");
    if (QMenu* open = Frame().menuBar()->activeAction()->menu()) open->close();
}

TEST_F(FrameWindows, NewWindowsOpenWhollyInsideTheAreaAndCascadeKeepsAUsableSize) {
    StartWithTwoWindows();
    for (int i = 0; i < 6; ++i) app->Execute(ID_FILE_NEW);
    QApplication::processEvents();
    const QRect area = Frame().MdiArea()->viewport()->rect();
    for (QMdiSubWindow* window : Frame().MdiArea()->subWindowList()) {
        EXPECT_TRUE(area.contains(window->geometry())) << window->windowTitle().toStdString();
    }
    app->Execute(ID_WINDOW_CASCADE);
    QApplication::processEvents();
    const QList<QMdiSubWindow*> windows = Frame().MdiArea()->subWindowList();
    for (QMdiSubWindow* window : windows) {
        EXPECT_TRUE(area.contains(window->geometry()));
        EXPECT_GE(window->width(), area.width() / 2);
        EXPECT_GE(window->height(), area.height() / 2);
        EXPECT_EQ(window->size(), windows.front()->size());
    }
    // The active window stays active and in front.
    EXPECT_EQ(Frame().MdiArea()->currentSubWindow(),
              Frame().MdiArea()->subWindowList(QMdiArea::StackingOrder).back());
}

TEST_F(FrameWindows, ARenderRepaintsTheOtherWindowAndTheActiveWindowsTextsStay) {
    StartWithTwoWindows();
    // The second (active) window moves the centre; the first keeps changing Un and Gs.
    app->Execute(ID_ARROW_CHANGE_CENTRE);
    QApplication::processEvents();
    EXPECT_STREQ(g_szModeText, "Arrow keys change pos");
    // A render from the active window repaints both; the texts left are still the active one's.
    QTest::keyClick(second, Qt::Key_PageDown);  // arrow mode 0: only the pending zoom
    second->Commands().Execute(ID_DRAW_ONLY_ONE);
    QApplication::processEvents();
    first->viewport()->repaint();
    Frame().UpdateStatusPanes();
    EXPECT_STREQ(g_szModeText, "Arrow keys change pos");
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_MODE)->text(), "Arrow keys change pos");
    // Activating the other window shows its texts.
    Frame().MdiArea()->setActiveSubWindow(WindowOf(first));
    Frame().UpdateStatusPanes();
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_MODE)->text(), "Arrow keys change Un and Gs offset");
}

TEST_F(FrameWindows, StatusPanesGiveWayInsteadOfOverlapping) {
    StartWithTwoWindows();
    const int widths[] = {1024, 720, 560, 400, 260};
    for (int width : widths) {
        Frame().resize(width, 500);
        QApplication::processEvents();
        ExpectPanesSideBySide(std::to_string(width).c_str());
        EXPECT_TRUE(Frame().StatusPane(ID_STATUS_POSITION)->isVisible()) << width;
    }
    // The lock indicators go before the panes with the figure's values; at full width all show.
    Frame().resize(560, 500);
    QApplication::processEvents();
    if (Frame().StatusPane(ID_STATUS_OFFSET)->isVisible()) {
        EXPECT_FALSE(Frame().IndicatorPane("SCRL")->isVisible());
    }
    Frame().resize(1600, 500);
    QApplication::processEvents();
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        EXPECT_TRUE(Frame().IndicatorPane(indicator)->isVisible()) << indicator;
    }
    EXPECT_TRUE(Frame().StatusPane(ID_STATUS_OFFSET)->isVisible());
    EXPECT_TRUE(Frame().StatusPane(ID_STATUS_MODE)->isVisible());
}

TEST_F(FrameWindows, PaneWidthsAreMeasuredInThePanesOwnFont) {
    QFont large = QApplication::font();
    large.setPointSizeF(large.pointSizeF() * 2);
    const QFont normal = QApplication::font("QLabel");
    QApplication::setFont(large, "QLabel");
    const bool started = Start();
    int width = 0;
    int wanted = -1;
    if (started) {
        QLabel* pane = Frame().StatusPane(ID_STATUS_MODE);
        const int border = 2 * (pane->frameWidth() + pane->margin());
        width = pane->width();
        wanted = pane->fontMetrics().horizontalAdvance("Arrow keys change Un, Gs offset") + border;
    }
    QApplication::setFont(normal, "QLabel");
    ASSERT_TRUE(started);
    EXPECT_EQ(width, wanted);
}

TEST_F(FrameWindows, PromptsShowInTheFirstPaneAndTheOthersStay) {
    StartWithTwoWindows();
    Frame().UpdateStatusPanes();
    const QString mode = Frame().StatusPane(ID_STATUS_MODE)->text();
    QWidget* button = Frame().ToolBar()->widgetForAction(Frame().Action(ID_COLOR_PAGE));
    QStatusTipEvent tip("Select Colors");
    QApplication::sendEvent(button, &tip);
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_POSITION)->text(), "Select Colors");
    EXPECT_TRUE(Frame().statusBar()->currentMessage().isEmpty());
    for (int id : {ID_STATUS_MODE, ID_STATUS_OFFSET}) {
        EXPECT_TRUE(Frame().StatusPane(id)->isVisible()) << id;
    }
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_MODE)->text(), mode);
    Frame().UpdateCommandUI();  // the idle refresh keeps the prompt
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_POSITION)->text(), "Select Colors");
    QStatusTipEvent gone{QString()};
    QApplication::sendEvent(button, &gone);
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_POSITION)->text(), g_szPositionText);
}

TEST_F(FrameWindows, AfterTheLastDocumentClosesThePanesShowNoValuesOfIt) {
    StartWithTwoWindows();
    Frame().UpdateStatusPanes();
    EXPECT_TRUE(Frame().StatusPane(ID_STATUS_OFFSET)->text().startsWith("Un: "));
    CloseWindow(second);
    CloseWindow(first);
    ASSERT_TRUE(app->Documents().empty());
    Frame().UpdateCommandUI();
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_MODE)->text(), "Arrow keys change Un, Gs offset");
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_OFFSET)->text(), QString(48, ' '));
    EXPECT_EQ(Frame().StatusPane(ID_STATUS_POSITION)->text(), QString(33, '_'));
}
