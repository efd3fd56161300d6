#include "app/dialog_fit.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Room the window manager's frame takes around a dialog: the title bar above, a border round.
int TitleBarHeight() {
    return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
}
constexpr int kFrameBorder = 8;

QRect AvailableArea(const QWidget* window) {
    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : window;
    const QScreen* screen = owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// The area a dialog's client part may take: the available area less the frame.
QSize ClientRoom(const QWidget* window) {
    const QSize area = AvailableArea(window).size();
    return {std::max(1, area.width() - 2 * kFrameBorder),
            std::max(1, area.height() - TitleBarHeight() - 2 * kFrameBorder)};
}

// A scroll area as large as its page wants, not the few lines scroll areas offer by default.
class PageScrollArea : public QScrollArea {
  public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override { return PageSize(); }
    QSize minimumSizeHint() const override { return {1, 1}; }

    QSize PageSize() const {
        QWidget* page = widget();
        if (!page) return {};
        if (page->layout()) page->layout()->activate();
        // A page of fixed size (controls placed by geometry) wants that size.
        return page->minimumSize() == page->maximumSize() ? page->minimumSize() : page->sizeHint();
    }
};

// Sizes and places the dialog each time it is about to show.
class DialogFitter : public QObject {
  public:
    DialogFitter(QDialog* dialog, PageScrollArea* area)
        : QObject(dialog), m_dialog(dialog), m_area(area) {
        dialog->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_dialog && event->type() == QEvent::Show) Fit();
        return false;
    }

  private:
    void Fit() {
        const QSize page = m_area->PageSize();
        const int extent = m_area->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const QSize size =
            FittedDialogSize(page, ClientRoom(m_dialog), TitleBarWidthFor(m_dialog), extent);
        if (size.width() >= page.width() && size.height() >= page.height()) {
            m_dialog->setFixedSize(size);  // the dialog's own size, as it was designed
        } else {
            m_dialog->setMinimumSize(1, 1);
            m_dialog->setMaximumSize(page.grownBy({0, 0, extent, extent}));
            m_dialog->resize(size);
        }
        CentreOnOwner(m_dialog);
    }

    QDialog* m_dialog;
    PageScrollArea* m_area;
};

}  // namespace

QWidget* DialogPage(QDialog* dialog) {
    auto* area = new PageScrollArea(dialog);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setAlignment(Qt::AlignCenter);
    auto* page = new QWidget(area);
    area->setWidget(page);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
    new DialogFitter(dialog, area);
    return page;
}

// The title in the title bar's bold font, with the icon and three buttons beside it.
int TitleBarWidthFor(const QWidget* window) {
    QFont font = window->font();
    font.setBold(true);
    const int bar = TitleBarHeight();
    return QFontMetrics(font).horizontalAdvance(window->windowTitle()) + 4 * bar + 2 * kFrameBorder;
}

QSize FittedDialogSize(QSize page, QSize available, int titleWidth, int scrollBarExtent) {
    QSize size(std::max(page.width(), std::min(titleWidth, available.width())), page.height());
    const bool tooWide = size.width() > available.width();
    const bool tooHigh = size.height() > available.height();
    // A scroll bar for one direction takes room from the other.
    if (tooWide) size.rheight() += scrollBarExtent;
    if (tooHigh) size.rwidth() += scrollBarExtent;
    return size.boundedTo(available);
}

void CentreOnOwner(QWidget* window) {
    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    const QRect area = AvailableArea(window);
    const QPoint centre =
        owner && owner->isVisible() ? owner->frameGeometry().center() : area.center();
    const int title = TitleBarHeight();
    const QSize outer =
        window->size().grownBy({kFrameBorder, title + kFrameBorder, kFrameBorder, kFrameBorder});
    QRect frame(QPoint(0, 0), outer);
    frame.moveCenter(centre);
    // Inside the available area, the title bar first.
    frame.moveRight(std::min(frame.right(), area.right()));
    frame.moveBottom(std::min(frame.bottom(), area.bottom()));
    frame.moveLeft(std::max(frame.left(), area.left()));
    frame.moveTop(std::max(frame.top(), area.top()));
    window->move(frame.topLeft());  // a window's position is that of its frame
}
