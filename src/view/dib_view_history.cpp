// Undo and Redo of CDibView: the document's figure history, shared by all its views.
#include <QKeyEvent>

#include "document/dib_doc.h"
#include "view/command_ids.h"
#include "view/dib_view.h"

void CDibView::RegisterHistoryCommands() {
    m_commands.On(
        ID_EDIT_UNDO, [this] { OnEditUndo(); }, [this](CmdUI& ui) { ui.Enable(m_doc.CanUndo()); });
    m_commands.On(
        ID_EDIT_REDO, [this] { OnEditRedo(); }, [this](CmdUI& ui) { ui.Enable(m_doc.CanRedo()); });
}

void CDibView::OnEditUndo() {
    ShowHistoryStep(m_doc.Undo());
}

void CDibView::OnEditRedo() {
    ShowHistoryStep(m_doc.Redo());
}

// The step shows as it was painted: one order alone keeps drawing one order alone.
void CDibView::ShowHistoryStep(bool painted) {
    if (!painted) return;
    m_bDrawOnlyOne = m_doc.m_nPaintedOrder >= 0;
    InvalidateAfterChange();
    UpdateStatusTexts();
}

// The menu's state follows a change a moment later; a key pressed before that still undoes.
bool CDibView::OnHistoryKey(const QKeyEvent& event) {
    const QKeyCombination key = event.keyCombination();
    const bool undo = key == (Qt::CTRL | Qt::Key_Z) || key == (Qt::ALT | Qt::Key_Backspace);
    const bool redo = key == (Qt::CTRL | Qt::Key_Y) || key == (Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    if (undo && m_doc.CanUndo()) {
        OnEditUndo();
        return true;
    }
    if (redo && m_doc.CanRedo()) {
        OnEditRedo();
        return true;
    }
    return false;
}
