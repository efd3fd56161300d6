// The export commands of CDibView: the figure as SVG, as the picture shows it (the accepted
// figure of the last painting, every drawn order or the one it painted alone), as Export Picture
// does; edits not yet painted (the colour page before Enter) are not in it.
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
    options.physical = ParseSvgWidth(choice->width, options.width);
    if (double mm = 0; ParseSvgStroke(choice->stroke, mm)) options.strokeMm = mm;
    options.order = m_doc.m_nPaintedOrder;
    WaitCursor wait(m_doc.Prompts());
    const auto painted = m_doc.PaintedFigure();
    WriteSvgText(MakeSvgWalking(*painted, options, m_doc.Prompts()), choice->path, m_doc.Prompts());
}
