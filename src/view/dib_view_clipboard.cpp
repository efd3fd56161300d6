// The clipboard commands of CDibView: copy and paste of the picture, and the scene text.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "document/dib_doc.h"
#include "view/clipboard.h"
#include "view/command_ids.h"
#include "view/dib_view.h"

void CDibView::RegisterClipboardCommands() {
    m_commands.On(
        ID_EDIT_COPY, [this] { OnEditCopy(); },
        [this](CmdUI& ui) { ui.Enable(m_doc.m_hDIB != nullptr); });
    m_commands.On(
        ID_EDIT_PASTE, [this] { OnEditPaste(); },
        [](CmdUI& ui) { ui.Enable(OffersPicture(QGuiApplication::clipboard()->mimeData())); });
    m_commands.On(ID_MAKE_POV_DATA, [this] { OnMakePovData(); });
}

// The clipboard receives its own copy; the document keeps its block.
void CDibView::OnEditCopy() {
    WaitCursor wait(m_doc.Prompts());
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (!m_doc.m_hDIB) return;
    if (std::unique_ptr<QMimeData> data = MimeDataOfPicture(*m_doc.m_hDIB)) {
        clipboard->setMimeData(data.release());
    }
}

void CDibView::OnEditPaste() {
    WaitCursor wait(m_doc.Prompts());
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    DibHandle picture = data ? PictureFromMimeData(*data) : nullptr;
    if (!picture) return;
    m_doc.m_bBitmapMode = true;
    m_doc.ReplacePicture(std::move(picture));
    m_doc.AdoptPicture();
    m_doc.SetModifiedFlag(true);
    ShowPastedPicture();
}

void CDibView::ShowPastedPicture() {
    if (!m_bFitToWindow) {
        SetScrollSizes(QSize(m_doc.m_pictureSize.width, m_doc.m_pictureSize.height));
    }
    m_doc.UpdateAllViews();
}

// Cancel of the header question leaves the clipboard as it was.
void CDibView::OnMakePovData() {
    std::string text;
    if (!m_doc.MakePovData(text, kPovTextCapacity)) return;
    QGuiApplication::clipboard()->setText(
        QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}
