// The command handlers of CDibView and their update handlers.
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "document/dib_doc.h"
#include "view/command_ids.h"
#include "view/dib_view.h"
#include "view/navigation.h"
#include "view/status_texts.h"
#include "view/view_dialogs.h"

ViewDialogs& GetViewDialogs() {
    static ViewDialogs dialogs;
    return dialogs;
}

namespace {

// Enabled only while the application has handed in the dialog.
template <typename Function>
CommandMap::UpdateHandler EnabledWhenSet(const Function& dialog) {
    return [&dialog](CmdUI& ui) { ui.Enable(static_cast<bool>(dialog)); };
}

}  // namespace

void CDibView::RegisterCommands() {
    m_commands.On(
        ID_VIEW_FIT_TO_WINDOW, [this] { OnViewFitToWindow(); },
        [this](CmdUI& ui) { ui.SetCheck(m_bFitToWindow); });
    m_commands.On(
        ID_VIEW_BITMAP, [this] { OnViewBitmap(); },
        [this](CmdUI& ui) { ui.SetCheck(m_bBitmapView); });
    m_commands.On(
        ID_VIEW_DORVANTA, [this] { OnViewDorvanta(); },
        [this](CmdUI& ui) { ui.SetCheck(!m_bBitmapView); });
    m_commands.On(ID_DORVANTA_DATA, [this] { OnDorvantaData(); });
    m_commands.On(ID_FILE_PRINT, [this] { OnFilePrint(); });
    m_commands.On(ID_FILE_PRINT_PREVIEW, [this] { OnFilePrintPreview(); });

    // The colour page and its single-colour commands.
    m_commands.On(
        ID_COLOR_PAGE, [this] { OnColorPage(); }, [this](CmdUI& ui) { ui.SetCheck(m_bColorPage); });
    m_commands.On(ID_COLOR_BACKGROUND, [this] {
        if (m_colorPage.BackGroundCommand(m_doc, m_bBitmapView)) InvalidateAfterChange();
    });
    m_commands.On(
        ID_COLOR_REFERENCE_LINE,
        [this] {
            if (m_colorPage.ReferenceLineCommand(m_doc, m_bBitmapView)) InvalidateAfterChange();
        },
        [this](CmdUI& ui) { ui.SetCheck(ReferenceLineChecked(m_doc.m_figure, m_bBitmapView)); });
    const ViewDialogs& dialogs = GetViewDialogs();
    m_commands.On(
        ID_COLOR_HELP,
        [this, &dialogs] {
            if (dialogs.helpOnColors) dialogs.helpOnColors(this);
        },
        EnabledWhenSet(dialogs.helpOnColors));
    m_commands.On(
        ID_HELP_POVRAY,
        [this, &dialogs] {
            if (dialogs.helpOnPovRay) dialogs.helpOnPovRay(this, m_doc.Prompts());
        },
        EnabledWhenSet(dialogs.helpOnPovRay));
}

void CDibView::RegisterNavigationCommands() {
    m_commands.On(
        ID_ARROW_CHANGE_CENTRE, [this] { OnArrowChangeCentre(); },
        [this](CmdUI& ui) {
            ui.Enable(!m_bBitmapView);
            if (!m_bBitmapView) ui.SetCheck(m_nArrowMode == 0);
        });
    m_commands.On(
        ID_ARROW_CHANGE_OFFSET, [this] { OnArrowChangeOffset(); },
        [this](CmdUI& ui) {
            ui.Enable(!m_bBitmapView);
            if (!m_bBitmapView) ui.SetCheck(m_nArrowMode == 1);
        });
    m_commands.OnRange(
        ID_ORDER_0, ID_ORDER_9, [this](int id) { OnSelectOrder(id - ID_ORDER_0); },
        [this](CmdUI& ui) {
            const int order = ui.id - ID_ORDER_0;
            ui.SetCheck(!m_bBitmapView && m_doc.m_figure.m_orders[order].drawOrder != 0);
        });
    m_commands.On(
        ID_DRAW_ONLY_ONE, [this] { OnDrawOnlyOne(); },
        [this](CmdUI& ui) { ui.SetCheck(m_bDrawOnlyOne); });
    m_commands.On(ID_SAVE_NEXT_FILE, [this] { m_doc.SaveToNextFile(); });
    m_commands.On(ID_RANDOM_COLORS, [this] { OnRandomColors(); });
    m_commands.On(
        ID_AUTO_SAVE, [this] { m_bAutoSave = !m_bAutoSave; },
        [this](CmdUI& ui) { ui.SetCheck(m_bAutoSave); });

    const ViewDialogs& dialogs = GetViewDialogs();
    m_commands.On(
        ID_DRAW_ORDERS,
        [this, &dialogs] {
            if (!dialogs.runDrawOrders) return;
            dialogs.runDrawOrders(
                this, m_doc.m_figure,
                [this] {
                    m_doc.RenderFigure(-1, false);
                    viewport()->update();
                },
                m_doc.Prompts());
        },
        EnabledWhenSet(dialogs.runDrawOrders));
    m_commands.On(
        ID_SELECT_ORDER_NR,
        [this, &dialogs] {
            if (!dialogs.askOrderNumber) return;
            auto order =
                dialogs.askOrderNumber(this, m_doc.m_figure.m_nCurrentOrder, m_doc.Prompts());
            if (!order) return;
            m_doc.m_figure.m_nCurrentOrder = *order;
            UpdateStatusTexts();
            RenderAndInvalidate(*order, true);
        },
        EnabledWhenSet(dialogs.askOrderNumber));
    m_commands.On(
        ID_RANDOM_CHOICE_SETTINGS,
        [this, &dialogs] {
            if (!dialogs.editRandomChoice) return;
            // The dialog edits a copy, taken over only on OK.
            RandomChoice choice = m_doc.m_randomChoice;
            if (dialogs.editRandomChoice(this, choice)) m_doc.m_randomChoice = choice;
        },
        EnabledWhenSet(dialogs.editRandomChoice));
}

// ---- Handlers --------------------------------------------------------------------------------

void CDibView::OnViewFitToWindow() {
    m_bFitToWindow = !m_bFitToWindow;
    InvalidateAfterChange();
    SetModeText(m_bFitToWindow ? "Fit to Window" : "No fit to Window");
}

void CDibView::OnViewBitmap() {
    m_doc.m_bBitmapMode = true;
    viewport()->update();
}

void CDibView::OnViewDorvanta() {
    m_doc.m_bBitmapMode = false;
    m_bBitmapView = false;
    m_commands.Execute(ID_DORVANTA_DATA);
}

void CDibView::OnDorvantaData() {
    if (m_bBitmapView) return;
    const int result = m_doc.PreparePicture(true);
    m_bDrawOnlyOne = (result == RESULT_DRAW_ONE_ORDER);
    InvalidateAfterChange();
    m_doc.UpdateAllViews();
}

void CDibView::OnArrowChangeCentre() {
    if (m_nArrowMode == 0) return;
    m_nArrowMode = 0;
    DrawFocusRects(false, QColor(255, 0, 0));
}

void CDibView::OnArrowChangeOffset() {
    if (m_nArrowMode == 1) return;
    DrawFocusRects(true, QColor());
    m_nArrowMode = 1;
}

void CDibView::OnSelectOrder(int order) {
    if (m_bBitmapView) return;
    StepInputScope input(m_doc, StepInputNow(ID_ORDER_0 + order));
    m_doc.m_figure.m_nCurrentOrder = order;
    m_doc.RenderFigure(order, true);
    viewport()->update();
}

void CDibView::OnDrawOnlyOne() {
    m_bDrawOnlyOne = !m_bDrawOnlyOne;
    RenderAndInvalidate(m_doc.m_figure.m_nCurrentOrder, m_bDrawOnlyOne);
}

void CDibView::OnRandomColors() {
    StepInputScope input(m_doc, StepInputNow(ID_RANDOM_COLORS));
    m_doc.RandomColours(m_bAutoSave);
    viewport()->update();
}

void CDibView::RenderAndInvalidate(int order, bool onlyOne) {
    m_doc.RenderFigure(order, onlyOne);
    InvalidateAfterChange();
}

// ---- Colour page -----------------------------------------------------------------------------

void CDibView::OnColorPage() {
    ApplyColorPageTransition(SelectColorPage(m_bColorPage, m_doc, m_doc.Prompts()));
}

bool CDibView::OnColorPageChar(int character) {
    if (!m_bColorPage) return false;
    ApplyColorPageTransition(ColorPageChar(character, m_bDrawOnlyOne, m_doc));
    return true;
}

void CDibView::ApplyColorPageTransition(ColorPageTransition transition) {
    switch (transition) {
        case ColorPageTransition::Unchanged:
            return;
        case ColorPageTransition::Entered:
            m_bColorPage = true;
            break;
        case ColorPageTransition::LeftRendered:
        case ColorPageTransition::LeftReverted:
            m_bColorPage = false;
            m_bOverlayStale = true;
            break;
    }
    viewport()->update();
}

// ---- Printing --------------------------------------------------------------------------------

void CDibView::OnFilePrint() {
    QPrinter fallback(QPrinter::HighResolution);
    QPrinter& printer = m_pPrinter ? *m_pPrinter : fallback;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) PrintPicture(printer);
}

void CDibView::OnFilePrintPreview() {
    QPrinter fallback(QPrinter::HighResolution);
    QPrinter& printer = m_pPrinter ? *m_pPrinter : fallback;
    QPrintPreviewDialog preview(&printer, this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* target) { PrintPicture(*target); });
    preview.exec();
}
