// The figure core for the web page: one figure, painted and changed through plain C functions
// that the page's worker calls. Everything here is the desktop's own code; this file only holds
// the state a view keeps (the accepted transform, the picture, the texts handed back).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "document/comment_text.h"
#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "document/pov_export.h"
#include "document/random_choice.h"
#include "document/svg_export.h"
#include "figure/figure_engine.h"
#include "picture/dib_image.h"
#include "picture/user_prompts.h"
#include "view/focus_rects.h"
#include "view/navigation.h"
#include "view/status_texts.h"

#define WEB_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

// Messages are kept for the page to show; questions take the answer the page set beforehand.
class WebPrompts : public UserPrompts {
  public:
    int ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon) override {
        if (buttons != MsgButtons::Ok) return answer;
        if (!messages.empty()) messages += "\n\n";
        messages += text;
        return IDOK;
    }
    std::string messages;
    int answer = IDOK;
};

// The largest picture the page paints: both sides and the whole area are bounded, so that the
// picture, its RGBA copy and the canvas fit the browser's limits.
constexpr std::int64_t kMaxSide = 16384;
constexpr std::int64_t kMaxPixels = std::int64_t{40} << 20;
constexpr int kPovCapacity = 399990;  // as the desktop's scene buffer

struct WebFigure {
    FigureEngine figure;
    AcceptedTransform accepted;
    std::vector<std::uint8_t> rows;  // the painting as the desktop holds it: bottom-up BGR
    std::vector<std::uint8_t> rgba;  // the same, top-down RGBA for a canvas
    std::string input;
    std::string output;
    std::vector<std::int32_t> numbers;
    WebPrompts ui;
};

WebFigure& Web() {
    static WebFigure* web = new WebFigure();
    return *web;
}

bool SizeIsPaintable(std::int64_t width, std::int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide &&
           width * height <= kMaxPixels;
}

// The order items of one order by number: 0..7 items, 8..12 line families, 13 the order's
// switch, 14 its transparency.
double OrderField(const OrderSettings& o, int field) {
    if (field >= 0 && field < 8) return o.drawItems[field];
    if (field >= 8 && field < 13) return o.drawLines[field - 8];
    if (field == 13) return o.drawOrder;
    if (field == 14) return o.transparency;
    return 0.0;
}

void SetOrderField(OrderSettings& o, int field, double value) {
    const std::uint8_t on = value != 0.0 ? 1 : 0;
    if (field >= 0 && field < 8) o.drawItems[field] = on;
    if (field >= 8 && field < 13) o.drawLines[field - 8] = on;
    if (field == 13) o.drawOrder = on;
    if (field == 14 && value >= 0.0 && value <= 1.0) o.transparency = value;
}

// The whole and the real numbers of the record, in the order of dv_get's fields.
constexpr std::array kWholeFields = {&FigureEngine::m_nWidth, &FigureEngine::m_nHeight,
                                     &FigureEngine::m_nUn, &FigureEngine::m_nGs};
constexpr std::array kRealFields = {&FigureEngine::m_dCentreX, &FigureEngine::m_dCentreY,
                                    &FigureEngine::m_dMagnExp};
constexpr int kFirstRealField = static_cast<int>(kWholeFields.size());
constexpr int kOrderField = kFirstRealField + static_cast<int>(kRealFields.size());

// Hands text to the page as the output; its length in bytes.
int Output(std::string text) {
    Web().output = std::move(text);
    return static_cast<int>(Web().output.size());
}

}  // namespace

// ---- Texts in and out --------------------------------------------------------------------

// Room for a text of length bytes that the page writes before a call that reads it.
WEB_EXPORT(dv_input) char* dv_input(int length) {
    Web().input.assign(static_cast<std::size_t>(std::max(length, 0)), '\0');
    return Web().input.data();
}

WEB_EXPORT(dv_output) const char* dv_output() {
    return Web().output.data();
}

WEB_EXPORT(dv_output_length) int dv_output_length() {
    return static_cast<int>(Web().output.size());
}

// The messages since the last call, moved to the output.
WEB_EXPORT(dv_take_messages) int dv_take_messages() {
    const int length = Output(std::move(Web().ui.messages));
    Web().ui.messages.clear();
    return length;
}

// ---- The figure ------------------------------------------------------------------------------

WEB_EXPORT(dv_reset) void dv_reset() {
    Web().figure.ResetFigure();
}

// Reads the parameter text in the input; a text that cannot be read leaves the figure as it
// was. 0 when read.
WEB_EXPORT(dv_load_dat) int dv_load_dat() {
    WebFigure& web = Web();
    FigureEngine before = web.figure;
    const int result = LoadDatText(web.figure, web.input, web.ui);
    if (result != DAT_OK) web.figure = before;
    return result;
}

WEB_EXPORT(dv_make_dat) int dv_make_dat() {
    return Output(DatFileText(Web().figure));
}

// The SVG of the figure; plotter for the strokes-only form, widthMm > 0 for a physical width.
WEB_EXPORT(dv_make_svg) int dv_make_svg(int plotter, int order, double widthMm) {
    SvgOptions options;
    options.plotter = plotter != 0;
    options.order = order;
    if (widthMm > 0.0) {
        options.physical = true;
        options.width = {widthMm, "mm"};
    }
    // The walk clips to the picture's rows as the document allocates them for the size.
    FigureEngine& f = Web().figure;
    f.m_nRowBytes = static_cast<std::int32_t>(DibRowStride(f.m_nWidth, 24));
    return Output(MakeSvg(f, options, Web().ui));
}

// The POV-Ray scene of the last painting, with or without the header.
WEB_EXPORT(dv_make_pov) int dv_make_pov(int header) {
    WebFigure& web = Web();
    web.ui.answer = header ? IDYES : IDNO;
    const FigurePoint painted{web.accepted.centreX, web.accepted.centreY};
    std::string text;
    MakePovData(web.figure, painted, text, kPovCapacity, web.ui);
    web.ui.answer = IDOK;
    return Output(text.substr(0, kPovCapacity));
}

// Numbers of the record by field: 0 width, 1 height, 2 Un, 3 Gs, 4 centre x, 5 centre y,
// 6 magnification exponent, 7 working order, 8 gradient, 9 series length.
WEB_EXPORT(dv_get) double dv_get(int field) {
    const FigureEngine& f = Web().figure;
    if (field >= 0 && field < kFirstRealField) return f.*kWholeFields[field];
    if (field >= kFirstRealField && field < kOrderField) {
        return f.*kRealFields[field - kFirstRealField];
    }
    if (field == kOrderField) return f.m_nCurrentOrder;
    if (field == kOrderField + 1) return f.m_bGradient;
    if (field == kOrderField + 2) return f.m_nSeriesLen;
    return 0.0;
}

// Sets a number of the record (the series length follows the series).
WEB_EXPORT(dv_set) void dv_set(int field, double value) {
    FigureEngine& f = Web().figure;
    if (field >= 0 && field < kFirstRealField) f.*kWholeFields[field] = NearestInt32(value);
    if (field >= kFirstRealField && field < kOrderField) {
        f.*kRealFields[field - kFirstRealField] = value;
    }
    if (field == kOrderField) {
        f.m_nCurrentOrder = std::clamp(NearestInt32(value), 0, kOrderCount - 1);
    }
    if (field == kOrderField + 1) f.m_bGradient = value != 0.0 ? 1 : 0;
}

// Texts of the record by field as UTF-8: 0 series, 1 comment, 2 name.
WEB_EXPORT(dv_get_text) int dv_get_text(int field) {
    const FigureEngine& f = Web().figure;
    return Output(field == 0 ? f.m_szSeries
                             : Utf8FromWindows1252(field == 1 ? f.m_szComment : f.m_szName));
}

// Sets a text from the UTF-8 input, cut to its field; the series keeps its length in step.
// 1 (nothing set) when the comment or name holds a character Windows-1252 cannot.
WEB_EXPORT(dv_set_text) int dv_set_text(int field) {
    FigureEngine& f = Web().figure;
    std::string text = Web().input;
    if (field != 0 && !Windows1252FromUtf8(Web().input, text)) return 1;
    auto store = [&text](char* target, std::size_t capacity) {
        const std::size_t n = std::min(text.size(), capacity - 1);
        std::memcpy(target, text.data(), n);
        target[n] = '\0';
    };
    if (field == 0) {
        store(f.m_szSeries, sizeof f.m_szSeries);
        f.m_nSeriesLen = static_cast<std::int32_t>(std::strlen(f.m_szSeries));
    } else if (field == 1) {
        store(f.m_szComment, sizeof f.m_szComment);
    } else if (field == 2) {
        store(f.m_szName, sizeof f.m_szName);
    }
    return 0;
}

WEB_EXPORT(dv_get_order) double dv_get_order(int order, int field) {
    if (order < 0 || order >= kOrderCount) return 0.0;
    return OrderField(Web().figure.m_orders[order], field);
}

WEB_EXPORT(dv_set_order) void dv_set_order(int order, int field, double value) {
    if (order < 0 || order >= kOrderCount) return;
    SetOrderField(Web().figure.m_orders[order], field, value);
}

// Colour table entries in COLORREF packing (red in the low byte).
WEB_EXPORT(dv_get_colour) int dv_get_colour(int entry) {
    return static_cast<int>(Web().figure.GetColour(entry));
}

WEB_EXPORT(dv_set_colour) void dv_set_colour(int entry, int colour) {
    Web().figure.SetColour(static_cast<COLORREF>(colour) & 0xFFFFFF, entry);
}

// ---- Random colours --------------------------------------------------------------------------

// Seeds the generator the random colourings draw from (the desktop's generator, 0..32767).
WEB_EXPORT(dv_seed_random) void dv_seed_random(unsigned seed) {
    Web().ui.SeedRandom(seed);
}

// The desktop's random colouring with the default choice, from the generator's next numbers.
WEB_EXPORT(dv_random_colours) void dv_random_colours() {
    ChooseRandomly(Web().figure, RandomChoice(), Web().ui);
}

// ---- Painting --------------------------------------------------------------------------------

// Paints the figure at its size: order −1 every drawn order, 0..9 that one alone. 0 when painted,
// 1 when the size is refused (nothing is done).
WEB_EXPORT(dv_paint) int dv_paint(int order) {
    WebFigure& web = Web();
    FigureEngine& f = web.figure;
    if (!SizeIsPaintable(f.m_nWidth, f.m_nHeight)) {
        static_cast<UserPrompts&>(web.ui).ShowMessage("A picture of " + std::to_string(f.m_nWidth) +
                                                      " x " + std::to_string(f.m_nHeight) +
                                                      " pixels cannot be painted here.");
        return 1;
    }
    f.m_nRowBytes = static_cast<std::int32_t>(DibRowStride(f.m_nWidth, 24));
    web.rows.assign(static_cast<std::size_t>(f.m_nRowBytes) * f.m_nHeight, 0);
    f.PaintFigure(web.rows.data(), order, web.ui);
    web.accepted = CaptureAcceptedTransform(f);
    return 0;
}

WEB_EXPORT(dv_rows) const std::uint8_t* dv_rows() {
    return Web().rows.data();
}

WEB_EXPORT(dv_rows_length) int dv_rows_length() {
    return static_cast<int>(Web().rows.size());
}

// The last painting as top-down RGBA rows of the accepted size.
WEB_EXPORT(dv_rgba) const std::uint8_t* dv_rgba() {
    WebFigure& web = Web();
    const int width = web.accepted.width;
    const int height = web.accepted.height;
    const std::size_t stride = static_cast<std::size_t>(DibRowStride(width, 24));
    web.rgba.resize(static_cast<std::size_t>(width) * height * 4);
    std::uint8_t* out = web.rgba.data();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = web.rows.data() + stride * (height - 1 - y);
        for (int x = 0; x < width; ++x, in += 3, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = 255;
        }
    }
    return web.rgba.data();
}

// ---- Navigation, as the desktop view does it ------------------------------------------------

// A navigation key (NavKey numbering) in arrow mode 0 (pending centre, nothing painted: −2) or 1
// (offsets: the order to paint, −1 for every drawn order).
WEB_EXPORT(dv_key) int dv_key(int key, int ctrl, int shift, int mode, int onlyOne) {
    WebFigure& web = Web();
    const KeyMove move = KeyMoveFor(static_cast<NavKey>(key), ctrl != 0);
    if (!move.handled) return -2;
    if (mode == 0) {
        ApplyPendingMove(web.figure, web.accepted, move, ctrl != 0);
        return -2;
    }
    return ApplyOffsetMove(web.figure, move, ctrl != 0, shift != 0, onlyOne != 0);
}

// Sets the centre to the figure point under picture pixel (x, y) of the last painting.
WEB_EXPORT(dv_centre_at) void dv_centre_at(int x, int y) {
    WebFigure& web = Web();
    const FigurePointXY p = AcceptedFigurePointAt(web.accepted, x, y);
    web.figure.m_dCentreX = p.x;
    web.figure.m_dCentreY = p.y;
}

// The figure point under picture pixel (x, y) of the last painting, as two doubles.
WEB_EXPORT(dv_figure_point) const double* dv_figure_point(int x, int y) {
    static double point[2];
    const FigurePointXY p = AcceptedFigurePointAt(Web().accepted, x, y);
    point[0] = p.x;
    point[1] = p.y;
    return point;
}

// The desktop's three status texts for arrow mode 0 or 1, joined by tabs.
WEB_EXPORT(dv_status) int dv_status(int mode) {
    WriteStatusTexts(false, mode, Web().figure);
    return Output(std::string(g_szModeText) + '\t' + g_szOffsetText + '\t' + g_szPositionText);
}

// Makes the series element under picture pixel (x, y) the reference element.
WEB_EXPORT(dv_reference_at) void dv_reference_at(int x, int y) {
    WebFigure& web = Web();
    const FigurePointXY p = AcceptedFigurePointAt(web.accepted, x, y);
    web.figure.MoveReference(web.figure.FindInSeries(p.x).index, web.ui);
}

// The four focus rectangles of the pending centre and magnification over the last painting:
// 4 × 4 corners as x, y pairs in picture pixels, outermost first.
WEB_EXPORT(dv_focus_rects) const std::int32_t* dv_focus_rects() {
    WebFigure& web = Web();
    FigureEngine working = web.figure;
    working.UpdateTransform();
    FocusInputs in;
    in.accepted = web.accepted;
    in.workingCentreX = web.figure.m_dCentreX;
    in.workingCentreY = web.figure.m_dCentreY;
    in.workingInverseScale = working.m_transform.inverseScale;
    in.clientWidth = web.accepted.width;
    in.clientHeight = web.accepted.height;
    in.pictureWidth = web.accepted.width;
    in.pictureHeight = web.accepted.height;
    web.numbers.clear();
    for (const FocusRect& rect : ComputeFocusRects(in)) {
        for (const WindowPoint& corner : rect.corners) {
            web.numbers.push_back(corner.x);
            web.numbers.push_back(corner.y);
        }
    }
    return web.numbers.data();
}

// The library has no thread exit to run the destructors of thread-local objects at: the module's
// one thread lives as long as the page, so they are never run, like those of the statics.
extern "C" int __cxa_thread_atexit(void (*)(void*), void*, void*) {
    return 0;
}
