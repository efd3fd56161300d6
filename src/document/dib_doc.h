// CDibDoc: the document of the program's single document type. It owns one picture (m_hDIB),
// one figure (m_figure) and an accepted copy of the figure's colours, per-order settings and
// view block as they were at the last painting. It creates and paints the picture, opens
// parameter files and pictures, saves pictures, and keeps its title equal to the project name.
//
// The class knows nothing of a window system: dialogs, message boxes, the wait cursor, the clock
// and random numbers all go through the UserPrompts it is constructed with.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/figure_history.h"
#include "document/random_choice.h"
#include "figure/band_painting.h"
#include "figure/figure_engine.h"
#include "picture/dib_image.h"
#include "picture/user_prompts.h"

// File kinds as FileKindOf reports them; the picture format uses the same numbers.
constexpr int FILE_KIND_OTHER = 0;
constexpr int FILE_KIND_BMP = 1;
constexpr int FILE_KIND_DAT = 2;
constexpr int FILE_KIND_JPG = 3;
constexpr int FILE_KIND_PNG = 4;
constexpr int FILE_KIND_SVG = 5;  // opened for the figure it carries, never written as a picture

// Results of the settings dialog besides IDOK and IDCANCEL.
constexpr int RESULT_DRAW_ONE_ORDER = 61447;  // "Exit dialog and draw one order only"
constexpr int RESULT_INIT = 61448;            // "Return value of Init in doc"

// Command identifiers the document handles.
constexpr int ID_FILE_OPEN = 57601;
constexpr int ID_FILE_SAVE = 57603;
constexpr int ID_FILE_SAVE_AS = 57604;
constexpr int ID_PICTURE_JPEG = 32827;
constexpr int ID_PICTURE_JPEG_QUALITY = 32828;
constexpr int ID_PICTURE_BITMAP = 32829;
constexpr int ID_PICTURE_PNG = 32890;

// Texts of the document's own dialogs.
inline constexpr const char* kOpenFilter =
    "Dorvanta files (*.dat)|*.dat|Bitmap files (*.bmp)|*.bmp|Jpeg files (*.jpg)|*.jpg|"
    "Png files (*.png)|*.png|Svg files (*.svg)|*.svg|All files(*.*)|*.*||";
inline constexpr const char* kSaveAsFilter =
    "Jpeg files (*.jpg)|*.jpg|Bitmap files (*.bmp)|*.bmp|Png files (*.png)|*.png|"
    "All files(*.*)|*.*||";

// The message for a file of a kind the program cannot open (every open route shows it).
std::string UnsupportedKindText(const std::string& path);

// Stand-in for the platform palette object the view selects when painting; only its life
// cycle (created by AdoptPicture, deleted on a new document, an adoption and destruction) counts.
struct DocPalette {};

// What a painting without the settings dialog takes instead of the figure's own settings, so
// that a command line paints once, at the size and order it asks for: the size, the one order
// shown alone, or no painting at all (the picture is painted elsewhere, e.g. into a poster file).
struct PaintingRequest {
    int width = 0;  // 0: the figure's size
    int height = 0;
    std::optional<int> order;
    bool paint = true;
};

class CDibDoc {
  public:
    explicit CDibDoc(UserPrompts& ui);
    ~CDibDoc();
    CDibDoc(const CDibDoc&) = delete;
    CDibDoc& operator=(const CDibDoc&) = delete;

    // Framework overrides.
    bool OnNewDocument();
    bool OnOpenDocument(const std::string& path);
    bool OnSaveDocument(const std::string& path);
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }
    const std::string& GetTitle() const { return m_strTitle; }
    void SetTitle(const std::string& title);
    const std::string& GetPathName() const { return m_strPathName; }
    // Keeps path (made full) as the document's file and, as the framework does, offers it to
    // the recent-file list.
    void SetPathName(const std::string& path);
    // The save question of closing; false when the user cancels it or the save fails.
    bool SaveModified();

    // Commands.
    void OnFileOpen();                                            // 57601
    bool OnFileSave();                                            // 57603
    bool OnFileSaveAs();                                          // 57604
    void OnPictureJpeg() { m_nPictureFormat = FILE_KIND_JPG; }    // 32827
    void OnPictureBitmap() { m_nPictureFormat = FILE_KIND_BMP; }  // 32829
    bool IsJpegChecked() const { return m_nPictureFormat == FILE_KIND_JPG; }
    bool IsBitmapChecked() const { return m_nPictureFormat == FILE_KIND_BMP; }
    void OnPicturePng() { m_nPictureFormat = FILE_KIND_PNG; }
    bool IsPngChecked() const { return m_nPictureFormat == FILE_KIND_PNG; }
    // Opening and saving with the kind given rather than taken from the path's first dot
    // (dorvanta-render takes it from the last one). OnOpenDocument and OnSaveDocument use these.
    bool OpenDocumentOfKind(const std::string& path, int kind);
    bool SaveDocumentOfKind(const std::string& path, int kind);
    // The parameter text a PNG of the picture carries: the figure as last painted, or empty when
    // the picture is not a painting of the figure (an opened or pasted picture).
    std::string PictureParameterText() const;
    // The figure as last painted (accepted colours, orders and view), for the exports.
    std::unique_ptr<FigureEngine> PaintedFigure() const;
    // 32828: the desktop runs the quality dialog with m_nJpegQuality and passes the value on OK
    // (nothing on Cancel); either way the picture format becomes Jpeg.
    void SetJpegQuality(std::optional<int> acceptedQuality);

    // Picture and painting.
    int PreparePicture(bool showDialog);
    bool RenderFigure(int order, bool onlyOne);
    void StoreAcceptedCopy();
    void RestoreAcceptedCopy();
    void AdoptPicture();
    void ReplacePicture(DibHandle handle);
    bool PixelColourAt(int x, int row, COLORREF& colour);

    // The figure history: every painting that changes the figure is a step (figure_history.h).
    // A picture document has none to walk.
    bool CanUndo() const { return !m_bBitmapMode && m_history.CanUndo(); }
    bool CanRedo() const { return !m_bBitmapMode && m_history.CanRedo(); }
    // One step back or forward, painted as it was painted; false when there is none.
    bool Undo();
    bool Redo();
    const FigureHistory& History() const { return m_history; }
    // The input that asks for the paintings to come, until it is set again: repeats of one input
    // merge into one step. StepInputScope sets it for one handler.
    void SetStepInput(const StepInput& input) { m_stepInput = input; }

    // Numbered files and random colours (numbered_files.cpp). SaveToNextFile is false when the
    // user declines the directory question or the picture could not be written.
    bool SaveToNextFile();
    bool RandomColours(bool autoSave);

    // Scene text of the solid pentagons of the last painting into buffer (at most capacity
    // characters and a terminating zero, so buffer holds capacity + 1 bytes); false, with an
    // empty text, when the user cancels the header question.
    bool MakePovData(char* buffer, int capacity);
    bool MakePovData(std::string& text, std::size_t capacity);

    // Called with the new title whenever it changes (the frame's caption).
    std::function<void(const std::string&)> onTitleChanged;
    // Called with the full path of every file the document opened or saved (the recent files).
    std::function<void(const std::string&)> onAddToRecentFileList;
    // Views register here to repaint after the document changed (UpdateAllViews).
    int AddViewObserver(std::function<void()> onChanged);
    void RemoveViewObserver(int id);
    void UpdateAllViews();

    UserPrompts& Prompts() { return m_ui; }

    // Members, in the document's declaration order.
    int m_nPictureFormat = FILE_KIND_BMP;
    int m_nJpegQuality = 90;
    std::uint8_t m_acceptedColours[kColourEntries][3] = {};
    std::array<OrderSettings, kOrderCount> m_acceptedOrders{};
    AcceptedTransform m_acceptedTransform;
    FigureEngine m_figure;
    bool m_bReady = false;
    bool m_bPathConfirmed = false;
    bool m_bBitmapMode = true;
    RandomChoice m_randomChoice;
    DibHandle m_hDIB;
    std::unique_ptr<DocPalette> m_pPalette;
    PictureSize m_pictureSize{1, 1};
    // Applied by every painting without the settings dialog (the command line's request).
    PaintingRequest m_request;
    // Threads that paint the figure: one per core by default, 1 for the single-threaded painting.
    int m_nPaintThreads = DefaultPaintingThreads();
    // The order the last painting showed alone, or -1 when it painted every drawn order.
    int m_nPaintedOrder = -1;
    // The print resolution a saved PNG states (pHYs); 0: none.
    int m_nDotsPerInch = 0;

  private:
    // Allocates the picture for the figure's size; false, with the message shown, without memory.
    bool AllocatePicture();
    bool ShowHistoryStep(const FigureState* state);
    // Applies m_request to the figure (result becomes RESULT_DRAW_ONE_ORDER for an order); false
    // when nothing is to be painted, with the figure then kept as if painted.
    bool ApplyRequest(int& result);
    // Paints a new picture, the current order alone for RESULT_DRAW_ONE_ORDER: result, or 0 when
    // there is no memory for it.
    int PaintForResult(int result);
    // The same after the command line's request; when it asks for no painting, result at once.
    int PaintAsRequested(int result);
    bool OpenPictureFile(const std::string& path, int kind);
    bool OpenParameterFile(const std::string& path);
    bool OpenCarriedPngFigure(const std::string& path);
    // A Dorvanta SVG opens as the figure it carries, painted at its size (dib_doc_svg.cpp).
    bool OpenSvgFile(const std::string& path);
    void ApplyAcceptedCopy(FigureParams& figure) const;
    bool OpenCarriedFigure(const std::string& path, const std::string& parameterText,
                           PictureSize size, int onlyOrder);
    // A new picture of the figure's size, painted (order -1: every drawn order); false when there
    // is no memory for it.
    bool PaintNewPicture(int order, bool onlyOne);
    void SetTitleFromName();
    void StoreAcceptedColoursAndTransform();

    UserPrompts& m_ui;
    // The framework document's own state.
    std::string m_strTitle;
    std::string m_strPathName;
    bool m_bModified = false;
    std::vector<std::pair<int, std::function<void()>>> m_observers;
    int m_nextObserverId = 1;
    FigureHistory m_history;
    StepInput m_stepInput;
};

// Sets the input of a document's paintings for one handler and clears it afterwards.
class StepInputScope {
  public:
    StepInputScope(CDibDoc& doc, const StepInput& input) : m_doc(doc) { doc.SetStepInput(input); }
    ~StepInputScope() { m_doc.SetStepInput({}); }
    StepInputScope(const StepInputScope&) = delete;
    StepInputScope& operator=(const StepInputScope&) = delete;

  private:
    CDibDoc& m_doc;
};
