// The export commands of CDibView: the figure as SVG, as the view shows it (every drawn order, or
// the working order alone while "Draw Only One" is on).
#include "document/dib_doc.h"
#include "document/svg_export.h"
#include "view/command_ids.h"
#include "view/dib_view.h"
#include "view/view_dialogs.h"

void CDibView::RegisterExportCommands() {
    const ViewDialogs& dialogs = GetViewDialogs();
    // A picture opened from a file has no figure to draw.
    m_commands.On(
        ID_FILE_EXPORT_SVG, [this] { OnFileExportSvg(); },
        [this, &dialogs](CmdUI& ui) {
            ui.Enable(static_cast<bool>(dialogs.askSvgExport) && !m_doc.m_bBitmapMode);
        });
}

void CDibView::OnFileExportSvg() {
    const ViewDialogs& dialogs = GetViewDialogs();
    if (!dialogs.askSvgExport || m_doc.m_bBitmapMode) return;
    const FigureEngine& figure = m_doc.m_figure;
    const std::string name = figure.m_szName[0] ? figure.m_szName : "figure";
    const std::optional<SvgExportChoice> choice = dialogs.askSvgExport(
        this, std::string(figure.m_szDirectory) + name + ".svg", m_doc.Prompts());
    if (!choice) return;
    SvgOptions options;
    options.plotter = choice->plotter;
    options.physical = ParseSvgLength(choice->width, options.width);
    options.order = m_bDrawOnlyOne ? figure.m_nCurrentOrder : -1;
    WaitCursor wait(m_doc.Prompts());
    SaveSvgFile(figure, options, choice->path, m_doc.Prompts());
}
