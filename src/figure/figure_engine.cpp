// Figure parameters: defaults, names from a path, the picture transform and the colour table.
#include "figure/figure_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <tuple>

FigureEngine g_figureEdit;

namespace {

constexpr double kLn2 = 0.6931471805599453;
constexpr std::size_t kNameLimit = 100;
constexpr std::size_t kDirectoryLimit = 1000;

// Same splitting as the document's file names: "\", ":" and "/" separate directories.
std::size_t FileNameStart(std::string_view path) {
    const std::size_t last = path.find_last_of("\\:/");
    return last == std::string_view::npos ? 0 : last + 1;
}

std::string_view TitleOfPath(std::string_view path) {
    const std::string_view name = path.substr(FileNameStart(path));
    return name.substr(0, name.find('.'));
}

std::string_view DirectoryOfPath(std::string_view path) {
    return path.substr(0, FileNameStart(path));
}

template <std::size_t N>
void CopyText(char (&target)[N], std::string_view text, std::size_t limit) {
    const std::size_t n = std::min({text.size(), limit, N - 1});
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

std::uint8_t LowByte(int v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

struct Rgb {
    int red, green, blue;
};

// Slots 2..9 of orders 0..3, replacing the generated defaults.
constexpr Rgb kFirstOrderColours[4][8] = {
    {{220, 220, 220},
     {0, 0, 255},
     {180, 180, 255},
     {255, 0, 0},
     {255, 180, 180},
     {100, 100, 100},
     {250, 37, 90},
     {255, 210, 210}},
    {{210, 210, 210},
     {10, 10, 245},
     {48, 160, 174},
     {245, 10, 10},
     {245, 170, 170},
     {90, 90, 90},
     {100, 164, 194},
     {245, 200, 200}},
    {{17, 175, 193},
     {20, 20, 235},
     {81, 81, 219},
     {235, 20, 20},
     {235, 160, 160},
     {80, 80, 80},
     {228, 28, 255},
     {235, 190, 190}},
    {{190, 190, 190},
     {30, 30, 225},
     {150, 150, 225},
     {225, 30, 30},
     {225, 150, 150},
     {70, 70, 70},
     {79, 223, 176},
     {225, 180, 180}},
};

}  // namespace

FigureEngine::FigureEngine() {
    BuildGeometry();
    ResetFigure();
}

void FigureEngine::ResetFigure() {
    SetDefaultColours();
    m_nWidth = 1200;
    m_nHeight = 900;
    m_dMagnExp = -7.0;
    m_nCurrentOrder = 0;
    CopyText(m_szComment, "Comment", sizeof m_szComment - 1);
    CopyText(m_szVersion, "Dorvanta Version 4.0", sizeof m_szVersion - 1);
    m_dCentreX = 0.0;
    m_dCentreY = 0.0;
    m_nUn = 1;
    m_nGs = 1;
    m_bGradient = 1;
    SetDefaultSeries();
    SetDefaultOrders();
    UpdateTransform();
}

void FigureEngine::SetDefaultColours() {
    auto set = [this](int entry, int red, int green, int blue) {
        m_colours[entry][0] = LowByte(blue);
        m_colours[entry][1] = LowByte(green);
        m_colours[entry][2] = LowByte(red);
    };
    for (int i = 0; i < kOrderCount; ++i) {
        const int b = 20 * i, e = 10 * i;
        set(e + 0, 0, 0, 0);
        set(e + 1, 255, 255, 255);
        set(e + 2, 220 - b, 220 - b, 220 - b);
        set(e + 3, b, b, 255 - b);
        set(e + 4, 180 - b, 180 - b, 255 - b);
        set(e + 5, 255 - b, b, b);
        set(e + 6, 255 - b, 180 - b, 180 - b);
        set(e + 7, 100 - b, 100 - b, 100 - b);
        set(e + 8, 210, 210, 255);
        set(e + 9, 255 - b, 210 - b, 210 - b);
    }
    for (int order = 0; order < 4; ++order) {
        for (int slot = 2; slot <= 9; ++slot) {
            const Rgb& c = kFirstOrderColours[order][slot - 2];
            set(10 * order + slot, c.red, c.green, c.blue);
        }
    }
}

// The self-generated word BSBSBBSBSBB...: each S read appends B, each B appends SB.
void FigureEngine::SetDefaultSeries() {
    std::string series = "BS";
    for (std::size_t p = 1; series.size() < kDefaultSeriesLength; ++p) {
        series += series[p] == 'S' ? "B" : "SB";
    }
    CopyText(m_szSeries, series, kMaxSeriesLetters);
    m_nSeriesLen = static_cast<std::int32_t>(std::strlen(m_szSeries));
    const double length = m_nSeriesLen;
    m_nUn = static_cast<std::int32_t>(std::floor(2 * length + (-length) * kPhi + 0.5)) + 1;
    m_nGs = static_cast<std::int32_t>(std::floor(m_nUn * kPhi + 0.5));
}

void FigureEngine::SetDefaultOrders() {
    constexpr std::uint8_t kItems[8] = {0, 1, 0, 0, 0, 0, 1, 1};
    for (int n = 0; n < kOrderCount; ++n) {
        OrderSettings& o = m_orders[n];
        std::copy(std::begin(kItems), std::end(kItems), o.drawItems.begin());
        o.drawLines.fill(1);
        o.drawOrder = n <= 3 ? 1 : 0;
        o.transparency = 0.5;
    }
}

void FigureEngine::SetNamesFromPath(const std::string& path) {
    CopyText(m_szName, TitleOfPath(path), kNameLimit);
    CopyText(m_szDirectory, DirectoryOfPath(path), kDirectoryLimit);
}

void FigureEngine::UpdateTransform() {
    PictureTransform& t = m_transform;
    t.halfWidth = m_nWidth >> 1;
    t.halfHeight = m_nHeight >> 1;
    t.scale = std::exp(kLn2 * m_dMagnExp) * (m_nWidth * 0.5);
    t.inverseScale = 1.0 / t.scale;
    std::tie(t.lowX, t.lowY) = PixelToFigure(0, 0);
    std::tie(t.highX, t.highY) = PixelToFigure(m_nWidth, m_nHeight);
}

std::pair<double, double> FigureEngine::PixelToFigure(double px, double py) const {
    const PictureTransform& t = m_transform;
    return {(px - t.halfWidth) * t.inverseScale + m_dCentreX,
            (py - t.halfHeight) * t.inverseScale + m_dCentreY};
}

std::pair<std::int64_t, std::int64_t> FigureEngine::FigureToScreen(double x, double y) const {
    const PictureTransform& t = m_transform;
    return {NearestPixel((x - m_dCentreX) * t.scale) + t.halfWidth,
            t.halfHeight - NearestPixel((y - m_dCentreY) * t.scale)};
}

std::pair<double, double> FigureEngine::ScreenToFigure(double px, double py) const {
    const PictureTransform& t = m_transform;
    return {(px - t.halfWidth) * t.inverseScale + m_dCentreX,
            (t.halfHeight - py) * t.inverseScale + m_dCentreY};
}

COLORREF FigureEngine::GetColour(int entry) const {
    if (entry < 0 || entry >= kColourEntries) return 0;
    const std::uint8_t* c = m_colours[entry];
    return COLORREF{c[2]} | COLORREF{c[1]} << 8 | COLORREF{c[0]} << 16;
}

void FigureEngine::SetColour(COLORREF colour, int entry) {
    if (entry < 0 || entry >= kColourEntries) return;
    m_colours[entry][2] = static_cast<std::uint8_t>(colour & 0xFF);
    m_colours[entry][1] = static_cast<std::uint8_t>(colour >> 8 & 0xFF);
    m_colours[entry][0] = static_cast<std::uint8_t>(colour >> 16 & 0xFF);
}

std::uint32_t FigureEngine::GetDibColour(int entry) const {
    if (entry < 0 || entry >= kColourEntries) return 0;
    const std::uint8_t* c = m_colours[entry];
    return std::uint32_t{c[0]} | std::uint32_t{c[1]} << 8 | std::uint32_t{c[2]} << 16;
}

COLORREF FigureEngine::AdjustChannel(COLORREF colour, int byteIndex, int step) {
    if (byteIndex < 0 || byteIndex > 2) return colour;
    const int shift = 8 * byteIndex;
    const std::int64_t value = std::int64_t{colour >> shift & 0xFF} + step;
    const auto adjusted = static_cast<COLORREF>(std::clamp<std::int64_t>(value, 0, 255));
    return (colour & ~(COLORREF{0xFF} << shift)) | adjusted << shift;
}

void FigureEngine::BuildGeometry() {
    for (int k = 0; k < kFamilyCount; ++k) m_u[k] = FamilyDirection(k);
    for (int k = 0; k < kFamilyCount; ++k) m_corner[k] = {m_u[k].x - m_u[3].x, m_u[k].y - m_u[3].y};
    m_alpha = {GoldenInt{1, 0}, GoldenInt{0, 0}, GoldenInt{-1, 0}, GoldenInt{1, -1},
               GoldenInt{-1, 1}};
    m_beta = {GoldenInt{0, 0}, GoldenInt{1, 0}, GoldenInt{-1, 1}, GoldenInt{1, -1},
              GoldenInt{-1, 0}};
    m_c = {GoldenInt{0, 0}, GoldenInt{0, 0}, GoldenInt{1, -2}, GoldenInt{-2, -1}, GoldenInt{1, -2}};
    // Inverse of the matrix with rows u_0 and u_1.
    const double det = m_u[0].x * m_u[1].y - m_u[0].y * m_u[1].x;
    m_intersect = {{{m_u[1].y / det, -m_u[0].y / det}, {-m_u[1].x / det, m_u[0].x / det}}};
}
