// The main frame's document windows as an MDI frame offers them: the numbered list of open
// windows at the foot of the Window menu, the window keys (Ctrl+F4, Ctrl+F6, Ctrl+Tab, F10),
// the place of a new window and the cascade.
#include <QAction>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <algorithm>

#include "app/main_frame.h"

namespace {

constexpr int kListedWindows = 9;

// "&1 name", an ampersand of the name shown as itself.
QString WindowEntryText(int index, QString title) {
    title.replace("&", "&&");
    return QString("&%1 %2").arg(index + 1).arg(title);
}

// The windows that take part in placing and cascading: neither minimised nor hidden.
QList<QMdiSubWindow*> PlacedWindows(const QMdiArea& area, QMdiArea::WindowOrder order) {
    QList<QMdiSubWindow*> windows = area.subWindowList(order);
    windows.removeIf([](const QMdiSubWindow* w) { return w->isMinimized() || w->isHidden(); });
    return windows;
}

}  // namespace

void CMainFrame::UpdateWindowList() {
    if (!m_windowMenu) return;
    for (QAction* entry : m_windowEntries) {
        m_windowMenu->removeAction(entry);
        entry->deleteLater();
    }
    m_windowEntries.clear();
    const QList<QMdiSubWindow*> windows = m_mdiArea->subWindowList();
    if (windows.isEmpty()) return;
    m_windowEntries.push_back(m_windowMenu->addSeparator());
    for (int i = 0; i < std::min<int>(kListedWindows, windows.size()); ++i) {
        QMdiSubWindow* window = windows[i];
        QAction* entry = m_windowMenu->addAction(WindowEntryText(i, window->windowTitle()));
        entry->setCheckable(true);
        entry->setChecked(window == m_mdiArea->currentSubWindow());
        connect(entry, &QAction::triggered, this, [this, window] {
            if (m_mdiArea->subWindowList().contains(window)) {
                if (window->isMinimized()) window->showNormal();
                m_mdiArea->setActiveSubWindow(window);
            }
        });
        m_windowEntries.push_back(entry);
    }
}

// The keys of the platform's MDI frame; Shift goes the other way round.
void CMainFrame::CreateWindowKeys() {
    const auto addKey = [this](QList<QKeySequence> keys, auto handler) {
        auto* action = new QAction(this);
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
    };
    addKey({QKeySequence(Qt::CTRL | Qt::Key_F6), QKeySequence(Qt::CTRL | Qt::Key_Tab)},
           [this] { m_mdiArea->activateNextSubWindow(); });
    addKey({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6),
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)},
           [this] { m_mdiArea->activatePreviousSubWindow(); });
    addKey({QKeySequence(Qt::Key_F10)}, [this] {
        const QList<QAction*> menus = menuBar()->actions();
        if (!menus.isEmpty()) menuBar()->setActiveAction(menus.first());
    });
}

// Ctrl+F4 closes the active document window. The window's own menu carries the same key, but
// whether it reaches that menu depends on the platform; a press that it did not take (it then
// arrives as a plain key press in the area) closes the window here.
bool CMainFrame::CloseKeyForActiveWindow(const QObject* target, const QEvent* event) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_F4 || key->modifiers() != Qt::ControlModifier) return false;
    const auto* widget = qobject_cast<const QWidget*>(target);
    if (!widget || !m_mdiArea->isAncestorOf(widget) || !m_mdiArea->currentSubWindow()) return false;
    m_mdiArea->closeActiveSubWindow();
    return true;
}

// One title bar down and right per window, as cascaded windows are offset.
int CMainFrame::CascadeStep() const {
    const QStyle* style = m_mdiArea->style();
    return style->pixelMetric(QStyle::PM_TitleBarHeight) +
           style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
}

// Four fifths of the area, one cascade step further than the windows already open, starting
// again at the corner where the next step would leave the area.
QRect CMainFrame::PlaceForNewWindow() const {
    const QSize area = m_mdiArea->viewport()->size();
    const QSize size = area * 4 / 5;
    const int step = std::max(1, CascadeStep());
    const int places = std::max(
        1,
        std::min((area.width() - size.width()) / step, (area.height() - size.height()) / step) + 1);
    int others = 0;
    for (const QMdiSubWindow* window : PlacedWindows(*m_mdiArea, QMdiArea::CreationOrder)) {
        if (window->isVisible()) ++others;
    }
    const int k = others % places;
    return {QPoint(k * step, k * step), size};
}

// Every window the same size, the active one in front; the cascade keeps at least half the
// area for each window and starts again at the corner when the windows are many.
void CMainFrame::CascadeWindows() {
    const QList<QMdiSubWindow*> windows = PlacedWindows(*m_mdiArea, QMdiArea::StackingOrder);
    if (windows.isEmpty()) return;
    QMdiSubWindow* active = m_mdiArea->currentSubWindow();
    const QSize area = m_mdiArea->viewport()->size();
    const QSize least = area / 2;
    const int step = std::max(1, CascadeStep());
    const int places = std::max(1, std::min((area.width() - least.width()) / step,
                                            (area.height() - least.height()) / step) +
                                       1);
    const int used = std::min<int>(places, windows.size());
    const QSize size(area.width() - (used - 1) * step, area.height() - (used - 1) * step);
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* window = windows[i];
        if (window->isMaximized()) window->showNormal();
        const int k = i % places;
        window->setGeometry(QRect(QPoint(k * step, k * step), size));
        window->raise();
    }
    if (active) m_mdiArea->setActiveSubWindow(active);
}
