#include "app/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QToolBar>
#include <QUrl>
#include <algorithm>

#include "app/about_icon.h"
#include "app/background_export.h"
#include "app/keyboard_locks.h"
#include "app/toolbar_icons.h"
#include "app/viewer_app.h"
#include "document/dib_doc.h"
#include "view/command_ids.h"
#include "view/dib_view.h"
#include "view/status_texts.h"

namespace {

constexpr const char* kFrameTitle = "Dorvanta program";
constexpr int kIdleMilliseconds = 200;
// X11 modifier bits of the lock keys as key events report them.
constexpr quint32 kX11LockMask = 0x02;
constexpr quint32 kX11NumLockMask = 0x10;

QString MenuText(const char* text) {
    return QString::fromUtf8(text);
}

// A recent-file entry: "&1 name", the directory left out for files in the current directory.
QString RecentFileText(int index, const QString& path) {
    const QFileInfo info(path);
    QString shown = info.absolutePath() == QDir::currentPath() ? info.fileName()
                                                               : QDir::toNativeSeparators(path);
    shown.replace("&", "&&");
    return QString("&%1 %2").arg(index + 1).arg(shown);
}

}  // namespace

CMainFrame::CMainFrame(CViewerApp& app) : m_app(app) {
    InitStatusTexts();
    setWindowTitle(kFrameTitle);
    setWindowIcon(ProgramIcon());
    setAcceptDrops(true);
    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);
    CreateActions();
    BuildMenus();
    RegisterCommands();
    CreateWindowKeys();
    ShowMenu(false);
    qApp->installEventFilter(this);
    connect(&m_idleTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
}

bool CMainFrame::OnCreate() {
    if (!CreateToolBar() || !CreateStatusBar()) return false;
    setDockOptions(dockOptions() | QMainWindow::AllowTabbedDocks);
    m_idleTimer.start(kIdleMilliseconds);
    UpdateCommandUI();
    return true;
}

// ---- Actions and menus -----------------------------------------------------------------------

void CMainFrame::CreateActions() {
    for (int id : AllCommandIds()) {
        auto* action = new QAction(MenuTextOf(id), this);
        action->setData(id);
        action->setShortcuts(ShortcutsFor(id));
        action->setStatusTip(StatusPromptFor(id));
        action->setToolTip(TooltipFor(id));
        action->setCheckable(IsCheckable(id));
        action->setMenuRole(QAction::NoRole);
        action->setIconVisibleInMenu(false);  // menus show check marks, not button images
        // Enter is the view's own key; the menu only shows it.
        if (id == ID_DORVANTA_DATA) action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, [this, id] { m_app.Execute(id); });
        addAction(action);  // keys work whichever menu is shown
        m_actions[id] = action;
    }
}

QMenu* CMainFrame::BuildMenu(const MenuDefinition& definition) {
    auto* menu = new QMenu(MenuText(definition.title), this);
    for (const MenuEntry& entry : definition.entries) {
        if (entry.id == kSeparator) {
            menu->addSeparator();
            continue;
        }
        menu->addAction(MenuAction(entry));
        if (entry.id == ID_FILE_MRU_FILE1) {
            for (int id = ID_FILE_MRU_FILE1 + 1; id <= ID_FILE_MRU_FILE4; ++id) {
                menu->addAction(m_actions.at(id));
            }
        }
    }
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    return menu;
}

// An entry whose text differs from the command's own text gets an action of its own that
// carries out the same command and shows the same state.
QAction* CMainFrame::MenuAction(const MenuEntry& entry) {
    QAction* primary = m_actions.at(entry.id);
    const QString text = MenuText(entry.text);
    if (primary->text() == text) return primary;
    auto* alias = new QAction(text, this);
    alias->setData(entry.id);
    alias->setStatusTip(primary->statusTip());
    alias->setCheckable(primary->isCheckable());
    alias->setMenuRole(QAction::NoRole);
    connect(alias, &QAction::triggered, this, [this, id = entry.id] { m_app.Execute(id); });
    m_aliases.emplace_back(entry.id, alias);
    return alias;
}

void CMainFrame::BuildMenus() {
    for (const MenuDefinition& definition : DocumentMenu()) {
        m_documentMenus.push_back(BuildMenu(definition));
    }
    // The Window menu ends with the list of open windows.
    for (QMenu* menu : m_documentMenus) {
        if (menu->title() == "&Window") m_windowMenu = menu;
    }
    if (m_windowMenu) {
        connect(m_windowMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateWindowList);
    }
    for (const MenuDefinition& definition : NoDocumentMenu()) {
        m_noDocumentMenus.push_back(BuildMenu(definition));
    }
}

void CMainFrame::ShowMenu(bool documentMenu) {
    m_bDocumentMenu = documentMenu;
    menuBar()->clear();
    for (QMenu* menu : documentMenu ? m_documentMenus : m_noDocumentMenus) {
        menuBar()->addMenu(menu);
    }
    UpdateRecentFileEntries();
    // Without documents the panes go back to the frame's own texts: nothing is left showing
    // values of a document that is gone.
    if (!documentMenu) {
        InitStatusTexts();
        UpdateStatusPanes();
    }
}

const std::vector<QMenu*>& CMainFrame::Menus(bool documentMenu) const {
    return documentMenu ? m_documentMenus : m_noDocumentMenus;
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

// "Recent File" stands greyed while the list is empty; otherwise the entries replace it.
void CMainFrame::UpdateRecentFileEntries() {
    const QStringList files = m_app.RecentFiles();
    for (int i = 0; i <= ID_FILE_MRU_FILE4 - ID_FILE_MRU_FILE1; ++i) {
        QAction* action = m_actions.at(ID_FILE_MRU_FILE1 + i);
        if (i < files.size()) {
            action->setText(RecentFileText(i, files[i]));
            action->setVisible(true);
        } else {
            action->setText("Recent File");
            action->setVisible(i == 0);
        }
    }
}

void CMainFrame::UpdateCommandUI() {
    std::map<int, CmdUI> states;
    for (auto& [id, action] : m_actions) {
        CmdUI& ui = states[id];
        ui.id = id;
        m_app.Update(ui);
        ShowState(action, ui);
    }
    for (auto& [id, alias] : m_aliases) ShowState(alias, states[id]);
    UpdateRecentFileEntries();
    UpdateStatusPanes();
    UpdateTitle();
}

void CMainFrame::ShowState(QAction* action, const CmdUI& ui) {
    action->setEnabled(ui.enabled);
    if (action->isCheckable()) action->setChecked(ui.checked.value_or(false));
}

void CMainFrame::RegisterCommands() {
    m_commands.On(
        ID_VIEW_TOOLBAR, [this] { m_toolBar->setVisible(!m_toolBar->isVisible()); },
        [this](CmdUI& ui) { ui.SetCheck(m_toolBar && m_toolBar->isVisible()); });
    m_commands.On(
        ID_VIEW_STATUS_BAR, [this] { statusBar()->setVisible(!statusBar()->isVisible()); },
        [this](CmdUI& ui) { ui.SetCheck(statusBar()->isVisible()); });
    const auto hasWindows = [this](CmdUI& ui) { ui.Enable(m_mdiArea->currentSubWindow()); };
    m_commands.On(
        ID_WINDOW_NEW,
        [this] {
            if (CDibDoc* doc = m_app.ActiveDocument()) m_app.OpenWindow(*doc);
        },
        hasWindows);
    m_commands.On(
        ID_WINDOW_CASCADE, [this] { CascadeWindows(); }, hasWindows);
    m_commands.On(
        ID_WINDOW_TILE_HORZ, [this] { m_mdiArea->tileSubWindows(); }, hasWindows);
    // Minimised windows line up along the bottom when they are minimised again.
    m_commands.On(
        ID_WINDOW_ARRANGE,
        [this] {
            for (QMdiSubWindow* window : m_mdiArea->subWindowList()) {
                if (window->isMinimized()) window->showMinimized();
            }
        },
        hasWindows);
    m_commands.On(
        ID_NEXT_PANE, [this] { m_mdiArea->activateNextSubWindow(); }, hasWindows);
    m_commands.On(
        ID_PREV_PANE, [this] { m_mdiArea->activatePreviousSubWindow(); }, hasWindows);
}

// ---- Toolbar and status bar ------------------------------------------------------------------

bool CMainFrame::CreateToolBar() {
    m_toolBar = new QToolBar("Toolbar", this);
    m_toolBar->setObjectName("Toolbar");
    m_toolBar->setIconSize(QSize(kButtonImageWidth, kButtonImageHeight));
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (int id : ToolbarButtons()) {
        if (id == kSeparator) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* action = m_actions.at(id);
        action->setIcon(ToolbarIcon(id));
        m_toolBar->addAction(action);
        // A prompt without a tooltip part gives its button no tooltip at all.
        if (TooltipFor(id).isEmpty()) m_silentButtons.insert(m_toolBar->widgetForAction(action));
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    return m_toolBar->actions().size() == static_cast<int>(ToolbarButtons().size());
}

QLabel* CMainFrame::AddPane(const char* text, bool permanent) {
    auto* pane = new QLabel(QString::fromLatin1(text), this);
    pane->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pane->setIndent(0);
    pane->setMargin(1);
    if (permanent) {
        statusBar()->addPermanentWidget(pane);
    } else {
        statusBar()->addWidget(pane);
    }
    return pane;
}

// The three text panes keep the width of their initial texts, measured in the font the pane
// itself shows its text in (whatever the scaling).
bool CMainFrame::CreateStatusBar() {
    const std::pair<int, const char*> panes[] = {{ID_STATUS_POSITION, g_szPositionText},
                                                 {ID_STATUS_MODE, g_szModeText},
                                                 {ID_STATUS_OFFSET, g_szOffsetText}};
    for (const auto& [id, text] : panes) {
        QLabel* pane = AddPane(text, false);
        const int border = 2 * (pane->frameWidth() + pane->margin());
        pane->setFixedWidth(pane->fontMetrics().horizontalAdvance(QString::fromLatin1(text)) +
                            border);
        m_panes[id] = pane;
    }
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        QLabel* pane = AddPane(indicator, true);
        pane->setEnabled(false);
        m_indicators[indicator] = pane;
    }
    return statusBar()->children().size() > 0;
}

QLabel* CMainFrame::StatusPane(int id) const {
    auto it = m_panes.find(id);
    return it == m_panes.end() ? nullptr : it->second;
}

QLabel* CMainFrame::IndicatorPane(const QString& name) const {
    auto it = m_indicators.find(name);
    return it == m_indicators.end() ? nullptr : it->second;
}

void CMainFrame::UpdateStatusPanes() {
    const std::pair<int, const char*> texts[] = {{ID_STATUS_MODE, g_szModeText},
                                                 {ID_STATUS_OFFSET, g_szOffsetText},
                                                 {ID_STATUS_POSITION, g_szPositionText}};
    for (const auto& [id, text] : texts) {
        if (QLabel* pane = StatusPane(id)) {
            pane->setEnabled(true);
            QString value = QString::fromLatin1(text);
            // A fly-by prompt takes the first pane's place while it shows.
            if (id == ID_STATUS_POSITION && !m_prompt.isEmpty()) {
                value = pane->fontMetrics().elidedText(m_prompt, Qt::ElideRight,
                                                       pane->contentsRect().width());
            }
            if (pane->text() != value) pane->setText(value);
        }
    }
}

void CMainFrame::ShowPrompt(const QString& prompt) {
    m_prompt = prompt;
    UpdateStatusPanes();
}

// When the bar is too narrow for every pane, the least important give way, from the right:
// the lock indicators, then the offset and the mode panes; the first pane always stays.
void CMainFrame::FitStatusPanes() {
    QWidget* order[] = {m_indicators["SCRL"],       m_indicators["NUM"],
                        m_indicators["CAP"],        StatusPane(ID_STATUS_OFFSET),
                        StatusPane(ID_STATUS_MODE), StatusPane(ID_STATUS_POSITION)};
    const int spacing = statusBar()->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
    const int gap = std::max(spacing, 0) + 4;  // between panes, and around each one
    int room = statusBar()->contentsRect().width() - 2 * gap;
    if (statusBar()->isSizeGripEnabled()) room -= statusBar()->height();
    int needed = 0;
    for (QWidget* pane : order) needed += pane->sizeHint().width() + gap;
    for (QWidget* pane : order) {
        const bool fits = needed <= room || pane == order[std::size(order) - 1];
        pane->setVisible(fits);
        if (!fits) needed -= pane->sizeHint().width() + gap;
    }
}

// The frame shows the active document's name; each window its document's.
void CMainFrame::UpdateTitle() {
    QString title = kFrameTitle;
    for (QMdiSubWindow* window : m_mdiArea->subWindowList()) {
        if (auto* view = qobject_cast<CDibView*>(window->widget())) {
            const QString name = m_app.WindowTitleOf(*view);
            if (window->windowTitle() != name) window->setWindowTitle(name);
        }
    }
    if (QMdiSubWindow* active = m_mdiArea->currentSubWindow()) {
        const QString name = active->windowTitle();
        if (!name.isEmpty()) {
            title += active->isMaximized() ? QString(" - [%1]").arg(name) : " - " + name;
        }
    }
    if (windowTitle() != title) setWindowTitle(title);
}

// The keyboard's own state where the platform tells it (on every key, so a lock key shows at
// once). Elsewhere Caps Lock and Num Lock come with the key events' native modifiers and Scroll
// Lock is counted by presses.
void CMainFrame::TrackKeyboardLocks(const QEvent* event) {
    if (UpdateKeyboardLocks()) return;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (event->type() == QEvent::KeyPress && key->key() == Qt::Key_ScrollLock &&
        !key->isAutoRepeat())
        m_bScrollLock = !m_bScrollLock;
    if (QGuiApplication::platformName() == "xcb" && key->key() != Qt::Key_CapsLock &&
        key->key() != Qt::Key_NumLock) {
        m_indicators["CAP"]->setEnabled(key->nativeModifiers() & kX11LockMask);
        m_indicators["NUM"]->setEnabled(key->nativeModifiers() & kX11NumLockMask);
    }
    m_indicators["SCRL"]->setEnabled(m_bScrollLock);
}

bool CMainFrame::UpdateKeyboardLocks() {
    const std::optional<KeyboardLocks> locks = ReadKeyboardLocks();
    if (!locks || m_indicators.empty()) return false;
    m_indicators["CAP"]->setEnabled(locks->caps);
    m_indicators["NUM"]->setEnabled(locks->num);
    m_indicators["SCRL"]->setEnabled(locks->scroll);
    m_bScrollLock = locks->scroll;
    return true;
}

bool CMainFrame::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::StatusTip:
            // Prompts of menus and toolbar buttons show in the first pane; the others stay.
            ShowPrompt(static_cast<QStatusTipEvent*>(event)->tip());
            return true;
        case QEvent::WindowActivate:
            UpdateKeyboardLocks();
            break;
        default:
            break;
    }
    return QMainWindow::event(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && m_silentButtons.contains(watched)) return true;
    if (event->type() == QEvent::Resize && !m_indicators.empty() && watched == statusBar()) {
        FitStatusPanes();
    }
    if (event->type() == QEvent::KeyPress && CloseKeyForActiveWindow(watched, event)) return true;
    // Key events reach the window once before they travel through its widgets.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        watched->isWindowType() && !m_indicators.empty()) {
        TrackKeyboardLocks(event);
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- Closing and dropped files ---------------------------------------------------------------

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!MayStopExports() || !m_app.SaveAllModified()) {
        event->ignore();
        return;
    }
    // Stopped here, while the frame is whole: each leaves no file behind.
    for (CBackgroundExport* job : findChildren<CBackgroundExport*>()) delete job;
    event->accept();
}

// An export painting in the background is not thrown away without asking.
bool CMainFrame::MayStopExports() {
    const auto jobs = findChildren<CBackgroundExport*>();
    const bool running = std::any_of(jobs.begin(), jobs.end(),
                                     [](const CBackgroundExport* job) { return job->IsRunning(); });
    return !running || m_app.Prompts().ShowMessage("An export is still running. Stop it and quit?",
                                                   MsgButtons::YesNo, MsgIcon::Question) == IDYES;
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

// The program that started the drag waits until the drop returns, so the files open (and any
// message shows) only after it.
void CMainFrame::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    activateWindow();
    const QList<QUrl> urls = event->mimeData()->urls();
    QMetaObject::invokeMethod(
        this,
        [this, urls] {
            QMimeData dropped;
            dropped.setUrls(urls);
            OpenDroppedFiles(dropped);
        },
        Qt::QueuedConnection);
}

int CMainFrame::OpenDroppedFiles(const QMimeData& data) {
    int opened = 0;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile() && m_app.OpenDocumentFile(url.toLocalFile())) ++opened;
    }
    return opened;
}
