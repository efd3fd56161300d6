// CDibView: the scroll view of a CDibDoc. It paints the document's picture unstretched with
// scroll bars or fitted to the window, lays the focus rectangles over it in the figure view,
// writes the status texts, prints, hosts the colour page and handles the view's commands.
// The view never paints the figure itself: the document does, and the view shows the result.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <array>

#include "view/colour_page.h"
#include "view/command_map.h"
#include "view/focus_rects.h"

class CDibDoc;
class QPrinter;

class CDibView : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit CDibView(CDibDoc& doc, QWidget* parent = nullptr);
    ~CDibView() override;

    CDibDoc& GetDocument() const { return m_doc; }
    const CommandMap& Commands() const { return m_commands; }

    // Framework overrides.
    void OnDraw(QPainter& painter, bool printing);
    void OnInitialUpdate();
    void OnActivateView(bool activate);

    // Operations for navigation, the colour page and the clipboard.
    void UpdateStatusTexts();
    // The window the user works in: its MDI window is the current one, or it stands alone.
    bool IsActiveView() const;
    void DrawFocusRects(bool erase, const QColor& colour);
    FocusInputs FocusGeometry() const;
    QPoint PictureToWindow(QPoint p) const;
    QPoint WindowToPicture(QPoint p) const;
    QPoint ScrollPosition() const;
    // Invalidates the whole view; the overlay saved so far no longer matches the screen.
    void InvalidateAfterChange();

    // Printing: the picture fills the page width; nothing is laid over it.
    bool PrintPicture(QPrinter& printer);
    void SetPrinter(QPrinter* printer) { m_pPrinter = printer; }

    // Commands of the view.
    void OnViewFitToWindow();    // 32770
    void OnViewBitmap();         // 32797
    void OnViewDorvanta();       // 32798
    void OnDorvantaData();       // 172
    void OnArrowChangeCentre();  // 32795
    void OnArrowChangeOffset();  // 32796
    void OnSelectOrder(int order);
    void OnDrawOnlyOne();       // 32813
    void OnRandomColors();      // 32821
    void OnColorPage();         // 32816
    void OnFilePrint();         // 57607
    void OnFilePrintPreview();  // 57609
    void OnEditCopy();          // 57634
    void OnEditPaste();         // 57637
    void OnMakePovData();       // 32824
    void OnFileExportSvg();     // File > Export SVG...
    void OnEditUndo();          // 57643
    void OnEditRedo();          // 57644

    // View state.
    bool m_bBitmapView = true;
    int m_nArrowMode = 1;  // 0: arrows move the centre; 1: arrows change Un and Gs
    bool m_bFitToWindow = false;
    double m_dScaleX = 1.0;
    double m_dScaleY = 1.0;
    QRect m_rectClient;
    QSize m_sizePicture;
    QPoint m_ptDrawOrigin;
    bool m_bOverlayStale = false;
    bool m_bDrawOnlyOne = false;
    bool m_bAutoSave = true;
    bool m_bColorPage = false;
    QColor m_focusColour{255, 0, 0};
    ColorPage m_colorPage;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;  // Tab belongs to the view's keys

    // Input: navigation in the figure view, pixel colours in the bitmap view; the colour page
    // receives its events through the same handlers.
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void RegisterCommands();
    void RegisterNavigationCommands();
    void RegisterClipboardCommands();
    void RegisterExportCommands();
    void RegisterHistoryCommands();
    // Shows the step Undo or Redo painted; nothing when there was none.
    void ShowHistoryStep(bool painted);
    // Undo and Redo by their keys while the menu state is not yet up to date.
    bool OnHistoryKey(const QKeyEvent& event);
    // Navigation (dib_view_input.cpp).
    void OnNavigationKey(int key, bool ctrl, bool shift);
    void OnLeftButtonDown(QPoint client);
    void OnLeftButtonDblClk(QPoint client);
    void OnRightButtonDown(QPoint client);
    void MovePendingCentreTo(QPoint picturePixel);
    void SetScrollSizes(QSize total);
    void PaintPicture(QPainter& painter, bool printing);
    // Fills the area of the viewport with its background colour.
    void EraseBackground(QPainter& painter, const QRegion& area) const;
    void PaintFocusRects(QPainter& painter) const;
    bool OnColorPageChar(int character);
    void ApplyColorPageTransition(ColorPageTransition transition);
    void RenderAndInvalidate(int order, bool onlyOne);
    void ShowPastedPicture();

    CDibDoc& m_doc;
    int m_observerId = 0;
    CommandMap m_commands;
    QSize m_scrollTotal;
    QPrinter* m_pPrinter = nullptr;
};
