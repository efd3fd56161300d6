#include "document/dib_doc.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

#include "document/dat_file.h"
#include "document/file_names.h"
#include "document/poster_file.h"
#include "picture/jpeg_file.h"
#include "picture/png_file.h"

namespace {

// The row stride of a 24-bit picture, saturated so that a hostile header width cannot wrap it.
std::int32_t RowBytes24(std::int64_t width) {
    std::int64_t stride = DibRowStride(std::max<std::int64_t>(width, 0), 24);
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(stride, std::numeric_limits<std::int32_t>::max()));
}

// True when the block holds a 24-bit header and every row of a width x height picture, so that
// painting and pixel reads stay inside it.
bool BlockHoldsPicture(const DibImage& block, std::int64_t width, std::int64_t height) {
    if (block.Size() < kDibHeaderBytes || width <= 0 || height <= 0) return false;
    std::int64_t needed = kDibHeaderBytes + DibRowStride(width, 24) * height;
    return static_cast<std::uint64_t>(needed) <= block.Size();
}

// path as a full, normalised path; unchanged when the file system cannot say.
std::string FullPathOf(const std::string& path) {
    std::error_code failed;
    std::filesystem::path full = std::filesystem::absolute(path, failed);
    return failed ? path : full.lexically_normal().string();
}

}  // namespace

std::string UnsupportedKindText(const std::string& path) {
    return "Cannot open " + path +
           ":\nonly Dorvanta (.dat), Bitmap (.bmp), Jpeg (.jpg), Png (.png) and Dorvanta SVG "
           "(.svg) files can be opened.";
}

CDibDoc::CDibDoc(UserPrompts& ui) : m_ui(ui) {
    // A revert before the first painting then restores the construction state.
    StoreAcceptedCopy();
}

CDibDoc::~CDibDoc() = default;

void CDibDoc::SetTitle(const std::string& title) {
    m_strTitle = title;
    if (onTitleChanged) onTitleChanged(m_strTitle);
}

// Kept as a full path (for the recent-file list), also when a file was opened by name alone.
void CDibDoc::SetPathName(const std::string& path) {
    m_strPathName = FullPathOf(path);
    if (onAddToRecentFileList) onAddToRecentFileList(m_strPathName);
}

// Saving a modified document writes its picture: the save-as dialog for pictures is offered,
// and cancelling it keeps the document as it is.
bool CDibDoc::SaveModified() {
    if (!IsModified()) return true;
    switch (m_ui.ShowMessage("Save changes to " + GetTitle() + "?", MsgButtons::YesNoCancel,
                             MsgIcon::Exclamation)) {
        case IDYES:
            return OnFileSaveAs();
        case IDNO:
            return true;
        default:
            return false;
    }
}

void CDibDoc::SetTitleFromName() {
    SetTitle(m_figure.m_szName);
}

void CDibDoc::StoreAcceptedCopy() {
    StoreAcceptedColoursAndTransform();
    m_acceptedOrders = m_figure.m_orders;
}

void CDibDoc::StoreAcceptedColoursAndTransform() {
    std::memcpy(m_acceptedColours, m_figure.m_colours, sizeof m_acceptedColours);
    m_acceptedTransform = CaptureAcceptedTransform(m_figure);
}

void CDibDoc::RestoreAcceptedCopy() {
    std::memcpy(m_figure.m_colours, m_acceptedColours, sizeof m_acceptedColours);
    m_figure.m_orders = m_acceptedOrders;
    RestoreAcceptedTransform(m_figure, m_acceptedTransform);
}

int CDibDoc::PreparePicture(bool showDialog) {
    m_bReady = false;
    m_bBitmapMode = false;
    int result = RESULT_INIT;
    const bool hadPicture = m_hDIB != nullptr;
    if (showDialog) {
        g_figureEdit = m_figure;
        std::string savedPath;
        result = m_ui.RunSettingsDialog(g_figureEdit, savedPath);
        m_bPathConfirmed = !savedPath.empty();
        if (result != IDOK && result != RESULT_DRAW_ONE_ORDER) {
            // Cancel, or any other way out of the dialog: the figure stays as it was.
            if (!savedPath.empty()) {
                m_figure.SetNamesFromPath(savedPath);
                SetTitleFromName();
            }
            m_bReady = true;
            return hadPicture ? IDCANCEL : 0;
        }
        m_figure = g_figureEdit;
        return PaintForResult(result);
    }
    return PaintAsRequested(result);
}

int CDibDoc::PaintForResult(int result) {
    const bool onlyOne = result == RESULT_DRAW_ONE_ORDER;
    return PaintNewPicture(onlyOne ? m_figure.m_nCurrentOrder : -1, onlyOne) ? result : 0;
}

int CDibDoc::PaintAsRequested(int result) {
    if (!ApplyRequest(result)) {
        m_bReady = true;
        return result;
    }
    return PaintForResult(result);
}

bool CDibDoc::PaintNewPicture(int order, bool onlyOne) {
    if (!AllocatePicture()) return false;
    RenderFigure(order, onlyOne);
    m_bReady = true;
    return true;
}

bool CDibDoc::AllocatePicture() {
    const int width = m_figure.m_nWidth;
    const int height = m_figure.m_nHeight;
    m_pictureSize = {width, height};
    m_figure.m_nRowBytes = RowBytes24(width);
    if (!DibAllocatePicture(m_hDIB, width, height, m_ui)) return false;
    DibInitHeader24(m_hDIB->Bytes(), width, height);
    SetTitleFromName();
    return true;
}

bool CDibDoc::ApplyRequest(int& result) {
    if (m_request.width > 0 && m_request.height > 0) {
        m_figure.m_nWidth = m_request.width;
        m_figure.m_nHeight = m_request.height;
    }
    if (m_request.order) {
        m_figure.m_nCurrentOrder = *m_request.order;
        result = RESULT_DRAW_ONE_ORDER;
    }
    if (m_request.paint) return true;
    m_pictureSize = {m_figure.m_nWidth, m_figure.m_nHeight};
    m_figure.m_nRowBytes = RowBytes24(m_figure.m_nWidth);
    m_nPaintedOrder = result == RESULT_DRAW_ONE_ORDER ? m_figure.m_nCurrentOrder : -1;
    StoreAcceptedCopy();
    return false;
}

bool CDibDoc::RenderFigure(int order, bool onlyOne) {
    if (!m_hDIB) return false;
    // A picture that does not match the figure's size (a refused or foreign block) is never
    // painted: the rows would not be there.
    if (!BlockHoldsPicture(*m_hDIB, m_figure.m_nWidth, m_figure.m_nHeight)) return false;
    m_figure.m_nRowBytes = RowBytes24(m_figure.m_nWidth);
    {
        WaitCursor wait(m_ui);
        std::uint8_t* rows = DibPixelData(m_hDIB->Bytes(), 0);
        m_nPaintedOrder = onlyOne ? order : -1;
        PaintFigureThreaded(m_figure, rows, m_nPaintedOrder, m_ui,
                            ThreadsWorthUsing(m_figure, m_nPaintThreads, PaintingHelpersRunning()));
    }
    StoreAcceptedCopy();
    m_history.Record(CaptureFigureState(m_figure, m_nPaintedOrder), m_stepInput);
    // Every window on the document shows the new picture, not only the one that asked.
    UpdateAllViews();
    return true;
}

bool CDibDoc::Undo() {
    return CanUndo() && ShowHistoryStep(m_history.Undo());
}

bool CDibDoc::Redo() {
    return CanRedo() && ShowHistoryStep(m_history.Redo());
}

// Paints the step as it was painted; pending moves of the centre mode are dropped with the rest
// of the working values. A step of another size gets a picture of its size first.
bool CDibDoc::ShowHistoryStep(const FigureState* state) {
    if (!state) return false;
    ApplyFigureState(m_figure, *state);
    if (!m_hDIB || m_pictureSize.width != m_figure.m_nWidth ||
        m_pictureSize.height != m_figure.m_nHeight) {
        m_bReady = false;
        if (!AllocatePicture()) return false;
        m_bReady = true;
    }
    return RenderFigure(state->paintedOrder, state->paintedOrder >= 0);
}

void CDibDoc::ReplacePicture(DibHandle handle) {
    m_hDIB = std::move(handle);
}

void CDibDoc::AdoptPicture() {
    m_pPalette.reset();
    if (!m_hDIB) return;
    if (m_hDIB->Size() < kDibHeaderBytes) {
        m_hDIB.reset();
        return;
    }
    DibInfo info = DibDescribe(m_hDIB->Bytes());
    m_pictureSize = {info.width, info.height};
    m_figure.m_nWidth = info.width;
    m_figure.m_nHeight = info.height;
    m_figure.m_nRowBytes = RowBytes24(info.width);
    if (info.bitsPerPixel != 24) {
        m_hDIB.reset();
        m_ui.ShowMessage("implemented for 24 bits per pixel only.");
        return;
    }
    // Painting, pixel reads and saving walk the rows of our own layout: a header of another size
    // (the rows would start elsewhere), a compressed or colour-table picture, or one promising
    // more rows than the block holds is not kept.
    if (!DibIsPicture24(*m_hDIB)) {
        m_hDIB.reset();
        return;
    }
    m_pPalette = std::make_unique<DocPalette>();
}

bool CDibDoc::PixelColourAt(int x, int row, COLORREF& colour) {
    if (!m_hDIB || m_hDIB->Size() < kDibHeaderBytes) return false;
    if (DibDescribe(m_hDIB->Bytes()).bitsPerPixel != 24) {
        m_ui.ShowMessage("Sorry Only implemented for 24 bits per pixel");
        return false;
    }
    const int width = m_figure.m_nWidth;
    const int height = m_figure.m_nHeight;
    if (x < 0 || x >= width || row < 0 || row >= height) return false;
    if (!BlockHoldsPicture(*m_hDIB, width, height)) return false;
    const std::uint8_t* pixel =
        DibPixelData(m_hDIB->Bytes(), 0) + DibRowStride(width, 24) * row + 3 * std::int64_t{x};
    colour = pixel[2] + 256u * pixel[1] + 65536u * pixel[0];
    return true;
}

bool CDibDoc::OnNewDocument() {
    // The framework's part: a new document has no path and nothing to save yet.
    m_strPathName.clear();
    m_bModified = false;
    m_figure.SetNamesFromPath(m_strPathName);
    if (PreparePicture(false) == 0) return false;
    m_pPalette.reset();
    StoreAcceptedColoursAndTransform();
    return true;
}

bool CDibDoc::OnOpenDocument(const std::string& path) {
    return OpenDocumentOfKind(path, FileKindOf(path));
}

bool CDibDoc::OpenDocumentOfKind(const std::string& path, int kind) {
    bool opened = false;
    if (kind == FILE_KIND_BMP || kind == FILE_KIND_JPG || kind == FILE_KIND_PNG) {
        opened = OpenPictureFile(path, kind);
    } else if (kind == FILE_KIND_DAT) {
        opened = OpenParameterFile(path);
    } else if (kind == FILE_KIND_SVG) {
        opened = OpenSvgFile(path);
    } else {
        m_ui.ShowMessage(UnsupportedKindText(path), MsgButtons::Ok, MsgIcon::Exclamation);
    }
    // A file opened into the document starts its history anew; a picture has none.
    if (opened) {
        m_history.Reset(m_bBitmapMode
                            ? std::nullopt
                            : std::optional(CaptureFigureState(m_figure, m_nPaintedOrder)));
    }
    return opened;
}

bool CDibDoc::OpenPictureFile(const std::string& path, int kind) {
    if (kind == FILE_KIND_PNG && OpenCarriedPngFigure(path)) return true;
    // Read into a fresh block so that a file that cannot be read leaves the current picture.
    DibHandle loaded;
    PictureSize size;
    bool read;
    {
        WaitCursor wait(m_ui);
        read = kind == FILE_KIND_PNG   ? PngReadPixels(path, loaded, size, m_ui)
               : kind == FILE_KIND_BMP ? DibLoadBmpFile(path, loaded, size, m_ui)
                                       : JpegReadPicture(path, loaded, size, m_ui);
    }
    if (!read || !loaded) {
        m_ui.ShowMessage("Read failed" + path);
        return false;
    }
    m_bBitmapMode = true;
    m_hDIB = std::move(loaded);
    m_pictureSize = size;
    m_nPictureFormat = kind;
    AdoptPicture();
    if (!m_hDIB) {
        m_ui.ShowMessage("m_hDIB == NULL", MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    SetPathName(path);
    SetModifiedFlag(false);
    m_figure.SetNamesFromPath(path);
    m_figure.ResetFigure();
    m_figure.m_nWidth = m_pictureSize.width;
    m_figure.m_nHeight = m_pictureSize.height;
    m_figure.m_nRowBytes = RowBytes24(m_pictureSize.width);
    m_figure.UpdateTransform();
    StoreAcceptedCopy();
    SetTitleFromName();
    return true;
}

// A PNG that carries its parameters opens as its figure. Its pixels are never decoded: the
// painting replaces them. A text that cannot be read (after the parameter file's own message)
// leaves the plain picture to open.
bool CDibDoc::OpenCarriedPngFigure(const std::string& path) {
    PngFigure png;
    {
        WaitCursor wait(m_ui);
        if (!PngReadFigure(path, png, m_ui) || !png.parameterText) return false;
    }
    return OpenCarriedFigure(path, *png.parameterText, png.size, png.onlyOrder);
}

// A carried figure opens as if its parameter file had been opened, painted at the size it was
// written at (which the parameter text does not hold), one order alone when it says so.
bool CDibDoc::OpenCarriedFigure(const std::string& path, const std::string& parameterText,
                                PictureSize size, int onlyOrder) {
    FigureEngine carried = m_figure;
    if (LoadDatText(carried, parameterText, m_ui) != DAT_OK) return false;
    carried.m_nWidth = size.width;
    carried.m_nHeight = size.height;
    if (onlyOrder >= 0) carried.m_nCurrentOrder = onlyOrder;
    m_figure = carried;
    m_bReady = false;
    m_bBitmapMode = false;
    // A command line's size and order replace the carried ones, as for a parameter file.
    if (PaintAsRequested(onlyOrder >= 0 ? RESULT_DRAW_ONE_ORDER : RESULT_INIT) == 0) return false;
    m_nPictureFormat = FILE_KIND_PNG;
    SetPathName(path);
    SetModifiedFlag(false);
    m_figure.SetNamesFromPath(path);
    SetTitleFromName();
    return true;
}

void CDibDoc::ApplyAcceptedCopy(FigureParams& figure) const {
    std::memcpy(figure.m_colours, m_acceptedColours, sizeof figure.m_colours);
    figure.m_orders = m_acceptedOrders;
    RestoreAcceptedTransform(figure, m_acceptedTransform);
}

std::string CDibDoc::PictureParameterText() const {
    if (m_bBitmapMode) return {};
    FigureParams painted = m_figure;
    ApplyAcceptedCopy(painted);
    return DatFileText(painted);
}

std::unique_ptr<FigureEngine> CDibDoc::PaintedFigure() const {
    auto painted = std::make_unique<FigureEngine>(m_figure);
    ApplyAcceptedCopy(*painted);
    return painted;
}

bool CDibDoc::OpenParameterFile(const std::string& path) {
    m_bBitmapMode = false;
    // After a format error the figure shows what was read, so the result is not needed.
    LoadDatFile(m_figure, path, m_ui);
    if (PreparePicture(false) == 0) return false;
    // The document now holds this file: a figure painted from it is not yet modified.
    SetPathName(path);
    SetModifiedFlag(false);
    m_figure.SetNamesFromPath(path);
    SetTitleFromName();
    return true;
}

bool CDibDoc::OnSaveDocument(const std::string& path) {
    return SaveDocumentOfKind(path, FileKindOf(path));
}

bool CDibDoc::SaveDocumentOfKind(const std::string& path, int kind) {
    bool ok = false;
    if (kind == FILE_KIND_BMP) ok = DibSaveBmpFile(path, m_hDIB, 0, m_ui);
    if (kind == FILE_KIND_JPG) ok = JpegWritePicture(path, m_hDIB, m_nJpegQuality, m_ui);
    if (kind == FILE_KIND_PNG) {
        ok = PngWritePicture(path, m_hDIB, PictureParameterText(), m_ui,
                             {m_nPaintedOrder, m_nDotsPerInch},
                             PngOnPaintingThreads(m_nPaintThreads));
    }
    if (!ok) {
        // The modified flag stays: a picture that was not saved must still be offered at close.
        m_ui.ShowMessage("Cannot save DIB", MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    SetModifiedFlag(false);
    SetPathName(path);
    m_figure.SetNamesFromPath(path);
    m_nPictureFormat = kind;
    SetTitleFromName();
    return true;
}

void CDibDoc::OnFileOpen() {
    std::string path = "Dorvanta";
    if (!m_ui.AskOpenPath(kOpenFilter, ".dat", path)) return;
    // A kind that cannot be opened replaces nothing: its message needs no save question first.
    if (FileKindOf(path) == FILE_KIND_OTHER) {
        OnOpenDocument(path);
        return;
    }
    if (!SaveModified()) return;
    // The platform's open dialog leaves the chosen folder as the current directory and the document
    // opens the file by its name alone, so later saves go to that folder.
    std::string directory = DirectoryOf(path);
    std::string name = path.substr(directory.size());
    std::error_code failed;
    if (!directory.empty()) std::filesystem::current_path(directory, failed);
    if (failed) name = path;
    OnOpenDocument(name);
    UpdateAllViews();
}

bool CDibDoc::OnFileSave() {
    // Without a project name the path would be a hidden ".bmp": ask for a name instead.
    if (m_figure.m_szName[0] == '\0') return OnFileSaveAs();
    std::string path = std::string(m_figure.m_szDirectory) + m_figure.m_szName + ".bmp";
    m_ui.ShowMessage(path);
    return OnSaveDocument(path);
}

bool CDibDoc::OnFileSaveAs() {
    std::string path = std::string(m_figure.m_szDirectory) + m_figure.m_szName;
    bool saved = false;
    if (m_ui.AskSavePath(kSaveAsFilter, ".jpg", path)) saved = OnSaveDocument(path);
    // A failed save keeps the old title: the window names what is on disk.
    if (saved) SetTitle(FileTitleOf(path));
    return saved;
}

void CDibDoc::SetJpegQuality(std::optional<int> acceptedQuality) {
    if (acceptedQuality) m_nJpegQuality = std::clamp(*acceptedQuality, 0, 100);
    m_nPictureFormat = FILE_KIND_JPG;
}

int CDibDoc::AddViewObserver(std::function<void()> onChanged) {
    m_observers.emplace_back(m_nextObserverId, std::move(onChanged));
    return m_nextObserverId++;
}

void CDibDoc::RemoveViewObserver(int id) {
    std::erase_if(m_observers, [id](const auto& entry) { return entry.first == id; });
}

void CDibDoc::UpdateAllViews() {
    for (const auto& [id, notify] : m_observers) notify();
}
