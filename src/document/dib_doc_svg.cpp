// The document's side of opening an SVG: the figure its export carries, painted again at the size
// it was exported at (and as the one order it showed alone).
#include "document/dib_doc.h"
#include "document/svg_export.h"

bool CDibDoc::OpenSvgFile(const std::string& path) {
    SvgFigure carried;
    std::string reason;
    if (!ReadSvgFigure(path, carried, reason)) {
        m_ui.ShowMessage(
            "Cannot open " + path + ":\nonly SVG files written by Dorvanta carry a figure to open.",
            MsgButtons::Ok, MsgIcon::Exclamation);
        return false;
    }
    // The picture format (for numbered saving) stays what the user chose.
    const int format = m_nPictureFormat;
    if (!OpenCarriedFigure(path, carried.parameterText, {carried.width, carried.height},
                           carried.order)) {
        return false;
    }
    m_nPictureFormat = format;
    return true;
}
