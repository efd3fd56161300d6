// A long randomised session with the desktop program: several documents (new, opened parameter
// files, bitmaps and JPEG pictures), thousands of keys, clicks, wheel turns, colour-page actions,
// dialogs, saves and loads with a fixed seed, every question answered at random. After every
// step the documents must be consistent: orders and exponents in range, well-formed status
// texts, and after a painting the picture equals a fresh painting of the accepted parameters.
// DORVANTA_SOAK_STEPS sets the number of steps (make soak runs a long session under the
// sanitizers), DORVANTA_SOAK_SEED the seed.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "app/draw_order_dialog.h"
#include "app/main_frame.h"
#include "app/settings_dialog.h"
#include "app/viewer_app.h"
#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "picture/jpeg_file.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "view/command_ids.h"
#include "view/dib_view.h"
#include "view/status_texts.h"
#include "view/view_dialogs.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMaxDocuments = 4;
constexpr int kSmallestWidth = 160, kLargestWidth = 320;
constexpr int kSmallestHeight = 120, kLargestHeight = 240;

unsigned long EnvironmentNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    return std::strtoul(text, nullptr, 10);
}

// Questions get a random button of those offered; everything is recorded as usual.
class RandomPrompts : public ScriptedPrompts {
  public:
    explicit RandomPrompts(std::mt19937& rng) : m_rng(rng) {}

    int ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon icon) override {
        ScriptedPrompts::ShowMessage(text, buttons, icon);
        switch (buttons) {
            case MsgButtons::Ok:
                return IDOK;
            case MsgButtons::OkCancel:
                return Pick({IDOK, IDCANCEL});
            case MsgButtons::YesNo:
                return Pick({IDYES, IDNO});
            case MsgButtons::YesNoCancel:
                return Pick({IDYES, IDNO, IDCANCEL});
        }
        return IDOK;
    }

  private:
    int Pick(std::initializer_list<int> choices) {
        return *(choices.begin() + m_rng() % choices.size());
    }
    std::mt19937& m_rng;
};

// The figure painted afresh from the accepted copy of doc (with its series and offsets), all
// drawn orders or the accepted working order alone; the pixel bytes, rows bottom-up.
std::vector<std::uint8_t> FreshPainting(const CDibDoc& doc, bool onlyOne, UserPrompts& ui) {
    auto fresh = std::make_unique<FigureEngine>();
    static_cast<FigureParams&>(*fresh) = doc.m_figure;
    std::memcpy(fresh->m_colours, doc.m_acceptedColours, sizeof fresh->m_colours);
    fresh->m_orders = doc.m_acceptedOrders;
    const AcceptedTransform& t = doc.m_acceptedTransform;
    fresh->m_nWidth = t.width;
    fresh->m_nHeight = t.height;
    fresh->m_nCurrentOrder = t.currentOrder;
    fresh->m_dCentreX = t.centreX;
    fresh->m_dCentreY = t.centreY;
    fresh->m_dMagnExp = t.magnExp;
    fresh->m_nRowBytes = static_cast<std::int32_t>(DibRowStride(t.width, 24));
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(fresh->m_nRowBytes) * t.height);
    fresh->PaintFigure(pixels.data(), onlyOne ? t.currentOrder : -1, ui);
    return pixels;
}

// Whether the rows of doc's picture equal those pixels (row padding aside).
bool PictureEquals(const CDibDoc& doc, const std::vector<std::uint8_t>& pixels) {
    const int width = doc.m_acceptedTransform.width;
    const int height = doc.m_acceptedTransform.height;
    const std::int64_t stride = DibRowStride(width, 24);
    if (doc.m_hDIB->Size() < kDibHeaderBytes + static_cast<std::size_t>(stride * height))
        return false;
    const std::uint8_t* rows = DibPixelData(doc.m_hDIB->Bytes(), 0);
    for (int y = 0; y < height; ++y) {
        if (std::memcmp(rows + y * stride, pixels.data() + y * stride, 3 * std::size_t(width)))
            return false;
    }
    return true;
}

class RandomInteractionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previousDirectory = fs::current_path();
        fs::create_directories(dir.Path() / "in");
        fs::current_path(dir.Path());  // numbered saves of new documents land here
        WriteSourceFiles();
        prompts.settingsDialog = [this](FigureEngine& edit, std::string& savedPath) {
            return RunSettingsDialog(edit, savedPath);
        };
        prompts.clock = 5000;
        app =
            std::make_unique<CViewerApp>(prompts, QString::fromStdString(dir.File("profile.ini")));
        ASSERT_TRUE(app->InitInstance({"dorvanta"}));
        ScriptViewDialogs();
        app->MainFrame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(app->MainFrame()));
    }

    void TearDown() override {
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        fs::current_path(m_previousDirectory);
    }

    // ---- Randomness ----

    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }
    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
    template <typename T>
    T OneOf(const std::vector<T>& choices) {
        return choices[rng() % choices.size()];
    }

    // ---- Files ----

    void WriteSourceFiles() {
        ScriptedPrompts quiet;
        auto figure = std::make_unique<FigureEngine>();
        ASSERT_EQ(SaveDatFile(*figure, Source("plain.dat")), DAT_OK);
        figure->m_dMagnExp = -5.5;
        figure->m_nCurrentOrder = 2;
        figure->m_bGradient = 0;
        for (OrderSettings& o : figure->m_orders) o.drawItems = {1, 1, 1, 1, 1, 1, 1, 1};
        ASSERT_EQ(SaveDatFile(*figure, Source("busy.dat")), DAT_OK);
        DibHandle picture;
        ASSERT_TRUE(DibAllocatePicture(picture, 203, 151, quiet));
        DibInitHeader24(picture->Bytes(), 203, 151);
        std::uint8_t* rows = DibPixelData(picture->Bytes(), 0);
        for (std::int64_t i = 0; i < DibRowStride(203, 24) * 151; ++i)
            rows[i] = std::uint8_t(i * 7);
        ASSERT_TRUE(DibSaveBmpFile(Source("picture.bmp"), picture, 0, quiet));
        ASSERT_TRUE(JpegWritePicture(Source("picture.jpg"), picture, 75, quiet));
        WriteHostileFile(DatFileText(*figure));
    }

    // Values the reader takes as read or holds at their ends: an order of 99, offsets beyond 32
    // bits, a far centre and transparencies of 1e300.
    void WriteHostileFile(std::string text) {
        const std::pair<std::string, std::string> replacements[] = {
            {"\r\nOrder 0\r\n", "\r\nOrder 99\r\n"},
            {"Offset Unit 1145  Offset G Sec 1853", "Offset Unit 99999999999  Offset G Sec -7"},
            {"x = 0.00000  y = 0.00000", "x = 99999999999  y = -0.5"},
            {"Transparency 0.500000", "Transparency 1e300"}};
        for (const auto& [from, to] : replacements) {
            const std::size_t at = text.find(from);
            ASSERT_NE(at, std::string::npos) << from;
            text.replace(at, from.size(), to);
        }
        std::ofstream(Source("hostile.dat"), std::ios::binary) << text;
    }

    std::string Source(const char* name) const { return (dir.Path() / "in" / name).string(); }

    // A file to open: a source file or one the session saved.
    std::string FileToOpen() {
        std::vector<std::string> files;
        for (const char* name :
             {"plain.dat", "busy.dat", "hostile.dat", "picture.bmp", "picture.jpg"})
            files.push_back(Source(name));
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".dat" || ext == ".bmp" || ext == ".jpg") files.push_back(entry.path());
        }
        return OneOf(files);
    }

    std::string SavePath() {
        static const std::vector<std::string> names = {"saved.bmp", "saved.jpg", "saved.dat",
                                                       "other.bmp", "shot.jpg"};
        return dir.File(OneOf(names));
    }

    // Numbered saves pile up; the session keeps a handful.
    void RemoveSavedFiles() {
        std::vector<fs::path> saved;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            if (entry.is_regular_file() && entry.path().filename() != "profile.ini")
                saved.push_back(entry.path());
        for (const fs::path& path : saved) fs::remove(path);
    }

    // ---- Scripted dialogs ----

    // The real settings dialog, filled in at random and left with OK, "Draw One Order" or Cancel.
    int RunSettingsDialog(FigureEngine& edit, std::string& savedPath) {
        CSettingsDialog dialog(edit, prompts);
        dialog.show();
        auto edits = [&dialog](int id) { return qobject_cast<QLineEdit*>(dialog.Control(id)); };
        auto click = [&dialog](int id) {
            qobject_cast<QAbstractButton*>(dialog.Control(id))->click();
        };
        if (Chance(0.2)) {
            click(101);  // 320 x 200
        } else {
            click(109);  // free size
            edits(107)->setText(QString::number(Between(kSmallestWidth, kLargestWidth)));
            edits(108)->setText(QString::number(Between(kSmallestHeight, kLargestHeight)));
        }
        if (Chance(0.3)) click(OneOf<int>({110, 111, 120, 121, 124, 132, 135, 136, 137, 138}));
        if (Chance(0.3)) click(OneOf<int>({114, 122, 127, 129, 130, 131, 133, 134, 199}));
        if (Chance(0.2)) edits(112)->setText(QString::number(Between(-5000, 5000)));
        if (Chance(0.1)) click(OneOf<int>({176, 177}));
        if (Chance(0.2)) edits(119)->setText(QString::number(Between(-48, 16) * 0.25));
        if (Chance(0.1)) edits(117)->setText(QString::number(Between(-300, 300)));
        if (Chance(0.1))
            edits(OneOf<int>({107, 119, 112, 190}))
                ->setText(OneOf<QString>({"0", "x", "-3", "1e999", ""}));
        if (Chance(0.1)) {
            prompts.savePaths.push_back(dir.File("dialog.dat"));
            click(126);  // "Save file.."
        }
        if (Chance(0.05)) {
            prompts.openPaths.push_back(Source(Chance(0.5) ? "busy.dat" : "plain.dat"));
            click(125);  // "Load file.."
        }
        click(OneOf<int>({IDOK, IDOK, 128, IDCANCEL}));
        if (dialog.isVisible()) dialog.reject();  // a refused value keeps it open
        savedPath = dialog.m_strSavedPath;
        return dialog.result();
    }

    void ScriptViewDialogs() {
        ViewDialogs& dialogs = GetViewDialogs();
        dialogs.askOrderNumber = [this](QWidget*, int, UserPrompts&) -> std::optional<int> {
            if (Chance(0.2)) return std::nullopt;
            return Between(0, 9);
        };
        dialogs.runDrawOrders = [this](QWidget* parent, FigureParams& figure,
                                       const std::function<void()>& applied, UserPrompts& ui) {
            RunDrawOrderCycle(parent, figure, applied, ui, [this](QDialog& dialog) {
                if (Chance(0.4)) return int(QDialog::Rejected);
                auto boxes = dialog.findChildren<QAbstractButton*>();
                if (!boxes.isEmpty()) boxes[rng() % boxes.size()]->click();
                auto fields = dialog.findChildren<QLineEdit*>();
                fields[rng() % fields.size()]->setText(
                    OneOf<QString>({"0", "0.25", "1", "0.9", "2", "nan"}));
                dialog.accept();
                return dialog.result();
            });
        };
        dialogs.editRandomChoice = [this](QWidget*, RandomChoice& choice) {
            choice.chooseBackground = Chance(0.5);
            choice.chooseMagnification = Chance(0.5);
            choice.chooseLinesOffset = Chance(0.5);
            choice.itemFlags[rng() % 10][rng() % 8] ^= 1;
            return Chance(0.7);
        };
        dialogs.helpOnColors = {};
        dialogs.helpOnPovRay = {};
    }

    // ---- Actions ----

    CDibView* View() const { return app->ActiveView(); }

    // Each action names itself in the session log.
    void Act(std::ostream& log) {
        // The colour dialog of every view (windows come and go) answers at random.
        for (CDibDoc* doc : app->Documents()) {
            for (CDibView* each : app->ViewsOf(*doc)) {
                each->m_colorPage.SetColourChooser([this](COLORREF& colour) {
                    colour = rng() & 0xFFFFFF;
                    return Chance(0.7);
                });
            }
        }
        CDibView* view = View();
        if (!view || app->Documents().empty()) {
            log << "new";
            app->Execute(ID_FILE_NEW);
            return;
        }
        const int kind = Between(0, 99);
        if (kind < 45) return PressKey(*view, log);
        if (kind < 63) return UseMouse(*view, log);
        if (kind < 70) return ColourPageAction(*view, log);
        if (kind < 87) return ViewCommand(log);
        if (kind < 90) return WindowAction(*view, log);
        return FileCommand(log);
    }

    // Windows down to a few pixels, and scrolling anywhere.
    void WindowAction(CDibView& view, std::ostream& log) {
        if (Chance(0.5)) {
            const QSize size(Between(1, 700), Between(1, 500));
            log << "resize " << size.width() << "x" << size.height();
            view.parentWidget()->resize(size);
        } else {
            log << "scroll";
            view.horizontalScrollBar()->setValue(Between(0, view.horizontalScrollBar()->maximum()));
            view.verticalScrollBar()->setValue(Between(0, view.verticalScrollBar()->maximum()));
        }
    }

    void PressKey(CDibView& view, std::ostream& log) {
        static const std::vector<Qt::Key> keys = {
            Qt::Key_Left,     Qt::Key_Right,  Qt::Key_Up,       Qt::Key_Down,  Qt::Key_PageUp,
            Qt::Key_PageDown, Qt::Key_Home,   Qt::Key_Left,     Qt::Key_Right, Qt::Key_Up,
            Qt::Key_Down,     Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Tab,   Qt::Key_Tab,
            Qt::Key_0,        Qt::Key_3,      Qt::Key_9,        Qt::Key_Q,     Qt::Key_Return,
            Qt::Key_Escape,   Qt::Key_Z,      Qt::Key_X};
        const Qt::Key key = OneOf(keys);
        Qt::KeyboardModifiers modifiers;
        if (key == Qt::Key_Z) modifiers = Qt::ControlModifier;
        if (key == Qt::Key_Q && Chance(0.5)) modifiers = Qt::ShiftModifier;
        const bool navigation = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
                                key == Qt::Key_Down || key == Qt::Key_PageUp ||
                                key == Qt::Key_PageDown || key == Qt::Key_Home;
        if (navigation) {
            if (Chance(0.3)) modifiers |= Qt::ControlModifier;
            if (Chance(0.2)) modifiers |= Qt::ShiftModifier;
        }
        log << "key " << QKeySequence(key | modifiers).toString().toStdString() << " mode "
            << view.m_nArrowMode;
        m_pendingExponent = view.GetDocument().m_figure.m_dMagnExp;
        m_checkExponentLimits = view.m_nArrowMode == 1 && !view.m_bColorPage &&
                                !view.m_bBitmapView && modifiers == Qt::NoModifier &&
                                (key == Qt::Key_PageUp || key == Qt::Key_PageDown);
        QTest::keyClick(&view, key, modifiers);
    }

    QPoint SomewhereIn(const CDibView& view) {
        const QSize size = view.viewport()->size();
        return {Between(-5, size.width() + 5), Between(-5, size.height() + 5)};
    }

    void UseMouse(CDibView& view, std::ostream& log) {
        QWidget* viewport = view.viewport();
        const QPoint at = SomewhereIn(view);
        const int what = Between(0, 9);
        log << "mouse " << what << " at " << at.x() << "," << at.y();
        if (what < 4) {
            QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        } else if (what < 6) {
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        } else if (what < 7) {
            QTest::mouseClick(viewport, Qt::RightButton, {}, at);
        } else {
            Wheel(view, at, Chance(0.5) ? 120 : -120);
        }
    }

    static void Wheel(CDibView& view, QPoint at, int delta) {
        QWheelEvent wheel(at, view.viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &wheel);
    }

    // A page point of a random cell part, in viewport coordinates.
    QPoint CellPoint(const CDibView& view, int band) {
        const int column = Between(-1, 9), row = Between(-1, 7);
        const QPoint page(100 + column * 81 + Between(2, 78),
                          20 + row * 72 + band * 24 + Between(2, 21));
        return page - view.ScrollPosition();
    }

    void ColourPageAction(CDibView& view, std::ostream& log) {
        if (!view.m_bColorPage || Chance(0.1)) {
            log << "colour page command";
            app->Execute(ID_COLOR_PAGE);
            return;
        }
        const int what = Between(0, 5);
        QWidget* viewport = view.viewport();
        log << "on colour page " << what;
        if (what == 0) {  // drag a colour between central bars
            QTest::mousePress(viewport, Qt::LeftButton, {}, CellPoint(view, 1));
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, CellPoint(view, 1));
        } else if (what <= 2) {
            QTest::mouseClick(viewport, Qt::LeftButton, {}, CellPoint(view, Between(0, 2)));
        } else if (what == 3) {
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, CellPoint(view, Between(0, 2)));
        } else {
            for (int turns = Between(1, 6); turns > 0; --turns)
                Wheel(view, CellPoint(view, Between(1, 2)), Chance(0.5) ? 120 : -120);
        }
    }

    void ViewCommand(std::ostream& log) {
        static const std::vector<int> commands = {ID_VIEW_FIT_TO_WINDOW,
                                                  ID_VIEW_BITMAP,
                                                  ID_VIEW_DORVANTA,
                                                  ID_DORVANTA_DATA,
                                                  ID_ARROW_CHANGE_CENTRE,
                                                  ID_ARROW_CHANGE_OFFSET,
                                                  ID_ORDER_0,
                                                  ID_ORDER_0 + 4,
                                                  ID_ORDER_9,
                                                  ID_DRAW_ONLY_ONE,
                                                  ID_SELECT_ORDER_NR,
                                                  ID_DRAW_ORDERS,
                                                  ID_RANDOM_COLORS,
                                                  ID_AUTO_SAVE,
                                                  ID_RANDOM_CHOICE_SETTINGS,
                                                  ID_COLOR_BACKGROUND,
                                                  ID_COLOR_REFERENCE_LINE,
                                                  ID_EDIT_COPY,
                                                  ID_EDIT_PASTE,
                                                  ID_MAKE_POV_DATA,
                                                  ID_WINDOW_NEW,
                                                  ID_NEXT_PANE,
                                                  ID_WINDOW_CASCADE,
                                                  ID_PICTURE_JPEG,
                                                  ID_PICTURE_BITMAP};
        const int id = OneOf(commands);
        log << "command " << id;
        m_skipPaintingCheck = id == ID_EDIT_COPY || id == ID_EDIT_PASTE;
        app->Execute(id);
    }

    void FileCommand(std::ostream& log) {
        const int what = Between(0, 7);
        if (what == 0) {
            log << "new";
            app->Execute(ID_FILE_NEW);
        } else if (what <= 2) {
            const std::string path = FileToOpen();
            log << "open " << path;
            app->OpenDocumentFile(QString::fromStdString(path));
        } else if (what == 3) {
            const std::string path = FileToOpen();
            log << "open into document " << path;
            prompts.openPaths.push_back(path);
            app->Execute(ID_FILE_OPEN);
            fs::current_path(dir.Path());
        } else if (what == 4) {
            log << "save";
            app->Execute(ID_FILE_SAVE);
        } else if (what == 5) {
            prompts.savePaths.push_back(SavePath());
            log << "save as " << prompts.savePaths.back();
            app->Execute(ID_FILE_SAVE_AS);
        } else if (what == 6) {
            log << "save to next file";
            app->Execute(ID_SAVE_NEXT_FILE);
        } else {
            log << "close";
            prompts.savePaths.push_back(SavePath());
            app->Execute(ID_FILE_CLOSE);
        }
    }

    // ---- Keeping the session cheap ----

    // New documents and opened parameter files come at 1200 x 900; they are repainted small.
    void KeepPicturesSmall() {
        for (CDibDoc* doc : app->Documents()) {
            if (doc->m_bBitmapMode || !doc->m_bReady) continue;
            if (doc->m_figure.m_nWidth <= kLargestWidth * 2 &&
                doc->m_figure.m_nHeight <= kLargestHeight * 2)
                continue;
            doc->m_figure.m_nWidth = Between(kSmallestWidth, kLargestWidth);
            doc->m_figure.m_nHeight = Between(kSmallestHeight, kLargestHeight);
            doc->PreparePicture(false);
            doc->UpdateAllViews();
        }
        while (app->Documents().size() > kMaxDocuments) {
            CDibDoc* doc = app->Documents().front();
            doc->SetModifiedFlag(false);
            app->CloseDocument(*doc);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // ---- Invariants ----

    // Returns a description of the first broken rule, or an empty text.
    std::string BrokenRule(int waitCursorsBefore) {
        for (CDibDoc* doc : app->Documents()) {
            const FigureEngine& f = doc->m_figure;
            if (f.m_nCurrentOrder < 0 || f.m_nCurrentOrder > 9)
                return "working order " + std::to_string(f.m_nCurrentOrder);
            if (doc->m_acceptedTransform.currentOrder < 0 ||
                doc->m_acceptedTransform.currentOrder > 9)
                return "accepted order out of range";
            if (!std::isfinite(f.m_dMagnExp) || !std::isfinite(doc->m_acceptedTransform.magnExp))
                return "exponent not finite";
            if (std::isnan(f.m_dCentreX) || std::isnan(f.m_dCentreY)) return "centre is NaN";
            if (doc->m_hDIB && doc->m_hDIB->Size() >= kDibHeaderBytes) {
                const DibInfo info = DibDescribe(doc->m_hDIB->Bytes());
                if (info.width != doc->m_pictureSize.width ||
                    info.height != doc->m_pictureSize.height)
                    return "picture header and size differ";
            }
        }
        CDibView* view = View();
        if (!view) return {};
        CDibDoc& doc = view->GetDocument();
        const double exponent = doc.m_figure.m_dMagnExp;
        if (m_checkExponentLimits && exponent != m_pendingExponent &&
            !(exponent > -15 && exponent < 10))
            return "exponent left (-15, 10): " + std::to_string(exponent);
        if (std::string text = BrokenStatusText(); !text.empty()) return text;
        const bool painted = prompts.waitCursorShown != waitCursorsBefore;
        if (!painted || m_skipPaintingCheck || doc.m_bBitmapMode || !doc.m_bReady || !doc.m_hDIB)
            return {};
        ++m_paintingsChecked;
        if (!PictureEquals(doc, FreshPainting(doc, false, quiet)) &&
            !PictureEquals(doc, FreshPainting(doc, true, quiet)))
            return "the picture differs from a fresh painting of the accepted parameters";
        return {};
    }

    std::string BrokenStatusText() {
        static const std::regex mode(
            "Bitmap View|Arrow keys change pos|Arrow keys change Un and Gs offset|"
            "Arrow keys change Un, Gs offset|Fit to Window|No fit to Window");
        static const std::regex offset(
            "|Un: -?\\d+     Gs: -?\\d+        \\(error= +-?\\d+\\.\\d\\d\\)| {48}");
        // Fixed with one decimal; far values in exponent form.
        static const std::string number = " *(-?\\d+\\.\\d|-?\\d(\\.\\d+)?e[+-]\\d+|-?inf)";
        static const std::regex position(" X:" + number + "  Y:" + number +
                                         "   Magn \\(exp\\):" + number + "  Order \\d|_{33}");
        for (const char* text : {g_szModeText, g_szOffsetText, g_szPositionText})
            if (strnlen(text, kStatusTextSize) == kStatusTextSize) return "unterminated status";
        if (!std::regex_match(g_szModeText, mode)) return std::string("mode text ") + g_szModeText;
        if (!std::regex_match(g_szOffsetText, offset))
            return std::string("offset text ") + g_szOffsetText;
        if (!std::regex_match(g_szPositionText, position))
            return std::string("position text ") + g_szPositionText;
        const CMainFrame& frame = *app->MainFrame();
        if (frame.StatusPane(ID_STATUS_POSITION)->text() != QString::fromLatin1(g_szPositionText))
            return "the status bar does not show the position text";
        return {};
    }

    TempDir dir;
    std::mt19937 rng{
        static_cast<std::mt19937::result_type>(EnvironmentNumber("DORVANTA_SOAK_SEED", 20261208))};
    RandomPrompts prompts{rng};
    ScriptedPrompts quiet;
    std::unique_ptr<CViewerApp> app;
    fs::path m_previousDirectory;
    double m_pendingExponent = 0.0;
    bool m_checkExponentLimits = false;
    bool m_skipPaintingCheck = false;
    int m_paintingsChecked = 0;
};

TEST_F(RandomInteractionTest, DocumentsStayConsistentThroughALongSession) {
    const unsigned long steps = EnvironmentNumber("DORVANTA_SOAK_STEPS", 2000);
    std::deque<std::string> recent;  // the last actions, shown when a rule breaks
    KeepPicturesSmall();
    for (unsigned long step = 0; step < steps; ++step) {
        const int waitCursors = prompts.waitCursorShown;
        m_checkExponentLimits = false;
        m_skipPaintingCheck = false;
        std::ostringstream log;
        log << step << ": ";
        Act(log);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        prompts.openPaths.clear();
        prompts.savePaths.clear();
        ++prompts.clock;
        if (app->MainFrame()) app->MainFrame()->UpdateCommandUI();
        recent.push_back(log.str());
        if (recent.size() > 12) recent.pop_front();
        const std::string broken = BrokenRule(waitCursors);
        if (!broken.empty()) {
            std::string trail;
            for (const std::string& line : recent) trail += line + "\n";
            FAIL() << broken << "\nafter:\n" << trail;
        }
        EXPECT_EQ(prompts.waitCursorDepth, 0);
        prompts.Clear();
        KeepPicturesSmall();
        if (step % 200 == 199) RemoveSavedFiles();
    }
    // About one step in ten paints; the comparison must have had work to do.
    EXPECT_GT(m_paintingsChecked, static_cast<int>(steps / 40));
    RecordProperty("paintings_checked", m_paintingsChecked);
}

TEST_F(RandomInteractionTest, TheComparisonSeesOneChangedByte) {
    KeepPicturesSmall();
    CDibDoc& doc = View()->GetDocument();
    ASSERT_TRUE(PictureEquals(doc, FreshPainting(doc, false, quiet)));
    DibPixelData(doc.m_hDIB->Bytes(), 0)[3 * 17 + 1] ^= 1;
    EXPECT_FALSE(PictureEquals(doc, FreshPainting(doc, false, quiet)));
}

}  // namespace
