// CMainFrame: the main window. It holds the document windows (an MDI area), both menu bars, the
// actions of every command with their keys and prompts, the toolbar and the status bar with the
// view's three texts and the keyboard-lock indicators. Commands go to the application, which
// routes them to the active view, its document, this frame and itself.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <map>
#include <set>
#include <vector>

#include "app/command_table.h"
#include "view/command_map.h"

class CViewerApp;
class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QMimeData;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    explicit CMainFrame(CViewerApp& app);
    ~CMainFrame() override;

    // Toolbar, status bar and docking; false when any part could not be made.
    bool OnCreate();

    QMdiArea* MdiArea() const { return m_mdiArea; }
    QAction* Action(int id) const;
    QToolBar* ToolBar() const { return m_toolBar; }
    QLabel* StatusPane(int id) const;                  // 102, 103, 104
    QLabel* IndicatorPane(const QString& name) const;  // "CAP", "NUM", "SCRL"
    const std::vector<QMenu*>& Menus(bool documentMenu) const;
    const CommandMap& Commands() const { return m_commands; }

    // Shows the document menu (id 3) or the menu without documents (id 2).
    void ShowMenu(bool documentMenu);
    bool ShowsDocumentMenu() const { return m_bDocumentMenu; }

    // Opens every local file of dropped data as a document; returns how many opened.
    int OpenDroppedFiles(const QMimeData& data);

    // Brings menu states, status panes and titles up to date (on idle and when a menu opens).
    void UpdateCommandUI();
    void UpdateStatusPanes();
    void UpdateTitle();

    // Window list, MDI keys and window placement (main_frame_windows.cpp).
    QMenu* WindowMenu() const { return m_windowMenu; }
    const std::vector<QAction*>& WindowListEntries() const { return m_windowEntries; }
    void UpdateWindowList();
    // Where a new document window goes: cascaded below the others, wholly inside the area.
    QRect PlaceForNewWindow() const;
    void CascadeWindows();

    // The lock indicators show the keyboard's real state where the platform tells it; false
    // where it does not.
    bool UpdateKeyboardLocks();

  protected:
    bool event(QEvent* event) override;
    // Asks before stopping a running export, then offers to save modified documents.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool MayStopExports();
    void CreateActions();
    QMenu* BuildMenu(const MenuDefinition& definition);
    QAction* MenuAction(const MenuEntry& entry);
    static void ShowState(QAction* action, const CmdUI& ui);
    void BuildMenus();
    bool CreateToolBar();
    bool CreateStatusBar();
    QLabel* AddPane(const char* text, bool permanent);
    void RegisterCommands();
    void UpdateRecentFileEntries();
    void TrackKeyboardLocks(const QEvent* event);
    void ShowPrompt(const QString& prompt);
    void FitStatusPanes();
    void CreateWindowKeys();
    bool CloseKeyForActiveWindow(const QObject* target, const QEvent* event);
    int CascadeStep() const;

    CViewerApp& m_app;
    QMdiArea* m_mdiArea = nullptr;
    std::map<int, QAction*> m_actions;
    std::vector<std::pair<int, QAction*>> m_aliases;  // menu entries with texts of their own
    std::vector<QMenu*> m_documentMenus;
    std::vector<QMenu*> m_noDocumentMenus;
    bool m_bDocumentMenu = false;
    QToolBar* m_toolBar = nullptr;
    std::map<int, QLabel*> m_panes;
    std::map<QString, QLabel*> m_indicators;
    std::set<QObject*> m_silentButtons;  // toolbar buttons without a tooltip
    bool m_bScrollLock = false;
    CommandMap m_commands;
    QTimer m_idleTimer;
    QString m_prompt;  // the fly-by prompt shown in the first pane, empty when none
    QMenu* m_windowMenu = nullptr;
    std::vector<QAction*> m_windowEntries;
};
