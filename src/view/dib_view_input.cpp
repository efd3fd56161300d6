// Keyboard and mouse input of CDibView: navigation in the figure view, pixel colours in the
// bitmap view, and the events of the colour page.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cstring>
#include <limits>

#include "document/dib_doc.h"
#include "view/command_ids.h"
#include "view/dib_view.h"
#include "view/navigation.h"

namespace {

QColor FocusRed() {
    return {255, 0, 0};
}

NavKey NavKeyOf(int key) {
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return NavKey::Tab;
        case Qt::Key_PageUp:
            return NavKey::PageUp;
        case Qt::Key_PageDown:
            return NavKey::PageDown;
        case Qt::Key_Home:
            return NavKey::Home;
        case Qt::Key_Left:
            return NavKey::Left;
        case Qt::Key_Right:
            return NavKey::Right;
        case Qt::Key_Up:
            return NavKey::Up;
        case Qt::Key_Down:
            return NavKey::Down;
        default:
            return NavKey::Other;
    }
}

}  // namespace

// Tab belongs to the view's keys, not to the focus chain.
bool CDibView::focusNextPrevChild(bool) {
    return false;
}

// ---- Keys ------------------------------------------------------------------------------------

void CDibView::keyPressEvent(QKeyEvent* event) {
    if (OnHistoryKey(*event)) return;
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (OnColorPageChar(13)) return;
        if (!m_bBitmapView) m_commands.Execute(ID_DORVANTA_DATA);
        UpdateStatusTexts();
        return;
    }
    if (key == Qt::Key_Escape) {
        if (OnColorPageChar(27)) return;
        if (!m_bBitmapView) {
            m_nArrowMode = 1;
            InvalidateAfterChange();
        }
        UpdateStatusTexts();
        return;
    }
    // The picture alone and the colour page scroll with the keys as any scroll view does.
    if (m_bBitmapView || m_bColorPage) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    {
        // A held key, or the same key again soon, is one step of the history.
        StepInputScope input(
            m_doc, StepInputNow(event->keyCombination().toCombined(), event->isAutoRepeat()));
        OnNavigationKey(key, ctrl, event->modifiers().testFlag(Qt::ShiftModifier));
    }
    if (NavKeyOf(key) != NavKey::Other || (key == Qt::Key_Z && ctrl)) {
        event->accept();
    } else {
        event->ignore();
    }
}

void CDibView::OnNavigationKey(int key, bool ctrl, bool shift) {
    if (key == Qt::Key_Z && ctrl) {
        std::memcpy(m_doc.m_figure.m_colours, m_doc.m_acceptedColours,
                    sizeof m_doc.m_acceptedColours);
        InvalidateAfterChange();
    }
    const NavKey nav = NavKeyOf(key);
    const KeyMove move = KeyMoveFor(nav, ctrl);
    if (!m_doc.m_bReady) {
        UpdateStatusTexts();
        return;
    }
    if (nav == NavKey::Tab) {
        m_nArrowMode = (m_nArrowMode + 1) % 2;
        if (m_nArrowMode == 1) {
            DrawFocusRects(true, QColor());
        } else {
            DrawFocusRects(false, FocusRed());
        }
    } else if (move.handled && m_nArrowMode == 0) {
        DrawFocusRects(true, QColor());
        ApplyPendingMove(m_doc.m_figure, m_doc.m_acceptedTransform, move, ctrl);
        DrawFocusRects(false, FocusRed());
    } else if (move.handled) {
        const int order = ApplyOffsetMove(m_doc.m_figure, move, ctrl, shift, m_bDrawOnlyOne);
        m_bDrawOnlyOne = order >= 0;
        RenderAndInvalidate(order, m_bDrawOnlyOne);
    }
    UpdateStatusTexts();
}

// ---- Mouse -----------------------------------------------------------------------------------

void CDibView::mousePressEvent(QMouseEvent* event) {
    const QPoint client = event->position().toPoint();
    if (m_bColorPage) {
        if (event->button() == Qt::LeftButton) {
            if (m_colorPage.MousePress(m_doc.m_figure, client + ScrollPosition()))
                viewport()->update();
            return;
        }
    } else if (event->button() == Qt::LeftButton) {
        OnLeftButtonDown(client);
    } else if (event->button() == Qt::RightButton) {
        OnRightButtonDown(client);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

// Qt sends the release to the widget that saw the press even with the pointer elsewhere; a
// release outside the client area is no click on the page.
void CDibView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_bColorPage && event->button() == Qt::LeftButton) {
        if (!viewport()->rect().contains(event->position().toPoint())) return;
        if (m_colorPage.MouseRelease(m_doc.m_figure,
                                     event->position().toPoint() + ScrollPosition()))
            viewport()->update();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void CDibView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint client = event->position().toPoint();
    if (m_bColorPage && event->button() == Qt::LeftButton) {
        if (m_colorPage.MouseDoubleClick(m_doc.m_figure, client + ScrollPosition(), m_bBitmapView))
            viewport()->update();
        return;
    }
    if (!m_bColorPage && event->button() == Qt::LeftButton) OnLeftButtonDblClk(client);
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

void CDibView::wheelEvent(QWheelEvent* event) {
    if (m_bColorPage) {
        const QPoint page = event->position().toPoint() + ScrollPosition();
        if (m_colorPage.MouseWheel(m_doc.m_figure, page, event->angleDelta().y()))
            viewport()->update();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

// Figure view, arrow mode 0: the click sets the pending centre. Bitmap view: the colour of the
// pixel under the mouse.
void CDibView::OnLeftButtonDown(QPoint client) {
    const QPoint page = client + ScrollPosition();
    if (!m_bBitmapView && m_nArrowMode == 1) return;
    const QPoint q = WindowToPicture(page);
    if (!m_bBitmapView) {
        MovePendingCentreTo(q);
        return;
    }
    // The window row q.y is stored row H - 1 - q.y of the bottom-up picture.
    const std::int64_t row = std::int64_t{m_doc.m_figure.m_nHeight} - 1 - q.y();
    if (row < 0 || row > std::numeric_limits<int>::max()) return;
    COLORREF colour = 0;
    if (!m_doc.PixelColourAt(q.x(), static_cast<int>(row), colour)) return;
    m_doc.Prompts().ShowMessage(PixelColourText(colour), MsgButtons::Ok, MsgIcon::Information);
    viewport()->update();
}

void CDibView::MovePendingCentreTo(QPoint picturePixel) {
    DrawFocusRects(true, QColor());
    const FigurePointXY f =
        AcceptedFigurePointAt(m_doc.m_acceptedTransform, picturePixel.x(), picturePixel.y());
    m_doc.m_figure.m_dCentreX = f.x;
    m_doc.m_figure.m_dCentreY = f.y;
    DrawFocusRects(false, FocusRed());
    UpdateStatusTexts();
}

// Recentres on the clicked point and paints at once, in either arrow mode.
void CDibView::OnLeftButtonDblClk(QPoint client) {
    if (m_bBitmapView) return;
    const QPoint q = WindowToPicture(client + ScrollPosition());
    const FigurePointXY f = AcceptedFigurePointAt(m_doc.m_acceptedTransform, q.x(), q.y());
    m_doc.m_figure.m_dCentreX = f.x;
    m_doc.m_figure.m_dCentreY = f.y;
    RenderAndInvalidate(m_doc.m_figure.m_nCurrentOrder, m_bDrawOnlyOne);
}

// Moves the reference element of the series to the clicked position and paints all orders.
void CDibView::OnRightButtonDown(QPoint client) {
    if (m_bBitmapView) return;
    if (m_doc.Prompts().ShowMessage("Move the reference point to this position?",
                                    MsgButtons::OkCancel) != IDOK)
        return;
    const QPoint q = WindowToPicture(client + m_ptDrawOrigin);
    const FigurePointXY f = AcceptedFigurePointAt(m_doc.m_acceptedTransform, q.x(), q.y());
    m_doc.m_figure.MoveReference(m_doc.m_figure.FindInSeries(f.x).index, m_doc.Prompts());
    UpdateStatusTexts();
    RenderAndInvalidate(-1, false);
}
