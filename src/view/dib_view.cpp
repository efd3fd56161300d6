#include "view/dib_view.h"

#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>

#include "document/dib_doc.h"
#include "view/command_ids.h"
#include "view/dib_paint.h"
#include "view/status_texts.h"

CDibView::CDibView(CDibDoc& doc, QWidget* parent)
    : QAbstractScrollArea(parent), m_colorPage(this), m_doc(doc) {
    setFocusPolicy(Qt::StrongFocus);
    // The view paints its own background, only where the picture leaves it showing: Qt would
    // fill the whole viewport first, which cost a tenth of a key press.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setBackgroundRole(QPalette::Base);
    m_observerId = m_doc.AddViewObserver([this] { InvalidateAfterChange(); });
    RegisterCommands();
    RegisterNavigationCommands();
    RegisterClipboardCommands();
    RegisterExportCommands();
    RegisterHistoryCommands();
}

CDibView::~CDibView() {
    m_doc.RemoveViewObserver(m_observerId);
}

// ---- Painting --------------------------------------------------------------------------------

void CDibView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    OnDraw(painter, false);
}

void CDibView::OnDraw(QPainter& painter, bool printing) {
    m_bBitmapView = m_doc.m_bBitmapMode;
    UpdateStatusTexts();
    m_rectClient = viewport()->rect();
    if (m_bColorPage) {
        SetScrollSizes(ColorPageScrollSize());
        if (!printing) EraseBackground(painter, m_rectClient);
        PaintColorPage(painter, m_doc.m_figure, printing ? QPoint() : ScrollPosition());
        return;
    }
    SetScrollSizes(m_bFitToWindow ? m_rectClient.size()
                                  : QSize(m_doc.m_pictureSize.width, m_doc.m_pictureSize.height));
    if (!m_doc.m_hDIB) {
        if (!printing) EraseBackground(painter, m_rectClient);
        return;
    }
    PaintPicture(painter, printing);
}

void CDibView::PaintPicture(QPainter& painter, bool printing) {
    m_sizePicture = QSize(m_doc.m_pictureSize.width, m_doc.m_pictureSize.height);
    const QRect source(QPoint(0, 0), m_sizePicture);
    const int lines = m_sizePicture.height();
    if (printing) {
        const QPaintDevice* device = painter.device();
        const QRect dest =
            PrintDestination(m_sizePicture.width(), m_sizePicture.height(), device->width(),
                             device->logicalDpiX(), device->logicalDpiY());
        DibPaint(painter, dest, m_doc.m_hDIB, 0, lines, source, m_doc.m_pPalette.get());
        return;
    }
    QRect dest = source;
    if (m_bFitToWindow) {
        dest = m_rectClient;
        m_dScaleX = static_cast<double>(m_rectClient.width()) / m_sizePicture.width();
        m_dScaleY = static_cast<double>(m_rectClient.height()) / m_sizePicture.height();
    }
    m_ptDrawOrigin = ScrollPosition();
    const QRect shown = dest.translated(-m_ptDrawOrigin);
    EraseBackground(painter, QRegion(m_rectClient) - shown);
    if (DibPaint(painter, shown, m_doc.m_hDIB, 0, lines, source, m_doc.m_pPalette.get()) == 0) {
        EraseBackground(painter, shown);  // a block without its picture shows nothing
    }
    if (!m_bBitmapView && m_nArrowMode != 1) {
        PaintFocusRects(painter);
        m_bOverlayStale = false;
    }
}

void CDibView::EraseBackground(QPainter& painter, const QRegion& area) const {
    const QBrush brush = viewport()->palette().brush(viewport()->backgroundRole());
    for (const QRect& rect : area) painter.fillRect(rect, brush);
}

// The rectangles are painted over the picture on the screen only; the picture's pixels stay
// as they are, so erasing them is a repaint of what lies beneath.
void CDibView::PaintFocusRects(QPainter& painter) const {
    for (const FocusRect& rect : ComputeFocusRects(FocusGeometry())) {
        for (const FocusEdge& e : rect.edges) {
            const int length = e.to - e.from + 1;
            painter.fillRect(e.horizontal ? QRect(e.from, e.fixed, length, 1)
                                          : QRect(e.fixed, e.from, 1, length),
                             m_focusColour);
        }
    }
}

void CDibView::DrawFocusRects(bool erase, const QColor& colour) {
    if (m_bBitmapView) return;
    if (erase && m_bOverlayStale) return;
    m_bOverlayStale = false;
    if (!erase) m_focusColour = colour;
    viewport()->update();
}

FocusInputs CDibView::FocusGeometry() const {
    FocusInputs in;
    in.accepted = m_doc.m_acceptedTransform;
    in.workingCentreX = m_doc.m_figure.m_dCentreX;
    in.workingCentreY = m_doc.m_figure.m_dCentreY;
    in.workingInverseScale = m_doc.m_figure.m_transform.inverseScale;
    in.fitToWindow = m_bFitToWindow;
    in.scaleX = m_dScaleX;
    in.scaleY = m_dScaleY;
    in.drawOrigin = {m_ptDrawOrigin.x(), m_ptDrawOrigin.y()};
    in.clientWidth = m_rectClient.width();
    in.clientHeight = m_rectClient.height();
    in.pictureWidth = m_sizePicture.width();
    in.pictureHeight = m_sizePicture.height();
    return in;
}

QPoint CDibView::PictureToWindow(QPoint p) const {
    if (!m_bFitToWindow) return p;
    return {NearestWindowPixel(p.x() * m_dScaleX), NearestWindowPixel(p.y() * m_dScaleY)};
}

QPoint CDibView::WindowToPicture(QPoint p) const {
    if (!m_bFitToWindow || m_dScaleX <= 0.0 || m_dScaleY <= 0.0) return p;
    return {static_cast<int>(p.x() / m_dScaleX), static_cast<int>(p.y() / m_dScaleY)};
}

// The status texts are shared by all windows: only the active one writes them, so that a
// repaint of another window never leaves its texts showing.
void CDibView::UpdateStatusTexts() {
    if (IsActiveView()) WriteStatusTexts(m_bBitmapView, m_nArrowMode, m_doc.m_figure);
}

bool CDibView::IsActiveView() const {
    auto* window = qobject_cast<QMdiSubWindow*>(parentWidget());
    const QMdiArea* area = window ? window->mdiArea() : nullptr;
    return !area || area->currentSubWindow() == window;
}

void CDibView::InvalidateAfterChange() {
    m_bOverlayStale = true;
    viewport()->update();
}

// ---- Scrolling -------------------------------------------------------------------------------

QPoint CDibView::ScrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

// Page steps of a tenth of the total and line steps of a tenth of a page, as scroll views do
// by default.
void CDibView::SetScrollSizes(QSize total) {
    m_scrollTotal = total;
    const QSize client = viewport()->size();
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setRange(0, std::max(0, total.width() - client.width()));
    v->setRange(0, std::max(0, total.height() - client.height()));
    h->setPageStep(std::max(1, total.width() / 10));
    v->setPageStep(std::max(1, total.height() / 10));
    h->setSingleStep(std::max(1, total.width() / 100));
    v->setSingleStep(std::max(1, total.height() / 100));
}

void CDibView::OnInitialUpdate() {
    // The flag follows the document from the start, so that menus and status texts are right
    // before the first paint.
    m_bBitmapView = m_doc.m_bBitmapMode;
    SetScrollSizes(QSize(m_doc.m_pictureSize.width, m_doc.m_pictureSize.height));
    viewport()->update();
}

void CDibView::OnActivateView(bool activate) {
    UpdateStatusTexts();
    // Palette realisation has nothing to do on a true-colour display.
    if (activate) viewport()->update();
}

void CDibView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (!m_scrollTotal.isEmpty()) {
        SetScrollSizes(m_bFitToWindow ? viewport()->size() : m_scrollTotal);
    }
}

void CDibView::scrollContentsBy(int, int) {
    viewport()->update();
}

// ---- Printing --------------------------------------------------------------------------------

bool CDibView::PrintPicture(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    OnDraw(painter, true);
    return painter.end();
}
