#include "document/numbered_files.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "document/dat_file.h"
#include "document/dib_doc.h"

int g_nFileCounter = 0;
std::int64_t g_nLastSeedTime = -1;

namespace {

constexpr std::size_t kMaxDirectoryShown = 990;
constexpr std::size_t kMaxBaseName = 90;
constexpr std::size_t kKeptLeadingCharacters = 3;

double Nearest(double v) {
    return std::floor(v + 0.5);
}

// nearest(v) as an int, held at the ends of the range instead of overflowing.
int NearestInt(double v) {
    double n = Nearest(v);
    if (n >= INT_MAX) return INT_MAX;
    if (n <= INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Takes the trailing digits off base (never its first three characters) and returns them.
std::string TakeTrailingDigits(std::string& base) {
    std::size_t end = base.size();
    while (end > kKeptLeadingCharacters && IsDigit(base[end - 1])) --end;
    std::string digits = base.substr(end);
    base.resize(end);
    return digits;
}

// The number the digits form, or 0 when it would not leave room to count on.
int NumberOf(const std::string& digits) {
    long long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value >= INT_MAX) return 0;
    }
    return static_cast<int>(value);
}

std::string NumberedPath(const std::string& directory, const std::string& base, int number,
                         const char* extension) {
    return directory + base + std::to_string(number) + "." + extension;
}

}  // namespace

std::string PathQuestionText(const std::string& directory) {
    return "The current path is:\n" + directory +
           "\nIf you are happy with this press 'Yes' to continue, if not press "
           "'No' and save the "
           "first file via the Dorvanta Data dialog.\nThe rest of the files will "
           "automatically "
           "saved there.";
}

double RandomUnit(UserPrompts& ui) {
    return ui.NextRandom() / 32767.0;
}

std::uint32_t RandomColour(UserPrompts& ui) {
    auto channel = [&ui] { return static_cast<std::uint32_t>(Nearest(255 * RandomUnit(ui))); };
    std::uint32_t red = channel();
    std::uint32_t green = channel();
    std::uint32_t blue = channel();
    return red | (green << 8) | (blue << 16);
}

void SeedRandomOncePerSecond(UserPrompts& ui) {
    std::int64_t now = ui.TimeSeconds();
    if (now == g_nLastSeedTime) return;
    ui.SeedRandom(static_cast<unsigned>(now));
    g_nLastSeedTime = now;
}

bool CDibDoc::SaveToNextFile() {
    if (!m_bPathConfirmed) {
        std::string directory = m_ui.CurrentDirectory().substr(0, kMaxDirectoryShown);
        int answer =
            m_ui.ShowMessage(PathQuestionText(directory), MsgButtons::YesNo, MsgIcon::Question);
        if (answer != IDYES) return false;
        m_bPathConfirmed = true;
    }
    std::string base = std::string(m_figure.m_szName).substr(0, kMaxBaseName);
    std::string digits = TakeTrailingDigits(base);
    if (!digits.empty() && g_nFileCounter == 0) g_nFileCounter = NumberOf(digits);

    const std::string directory = m_figure.m_szDirectory;
    const char* pictureExtension = m_nPictureFormat == FILE_KIND_BMP   ? "bmp"
                                   : m_nPictureFormat == FILE_KIND_PNG ? "png"
                                                                       : "jpg";
    std::string datPath;
    std::string picturePath;
    do {
        if (g_nFileCounter == INT_MAX) g_nFileCounter = 0;  // start again rather than overflow
        ++g_nFileCounter;
        datPath = NumberedPath(directory, base, g_nFileCounter, "dat");
        picturePath = NumberedPath(directory, base, g_nFileCounter, pictureExtension);
    } while (m_ui.FileExists(datPath) || m_ui.FileExists(picturePath));

    OnSaveDocument(picturePath);
    SaveDatFile(m_figure,
                datPath);  // a parameter file that cannot be created is not reported
    m_figure.SetNamesFromPath(datPath);
    SetTitleFromName();
    return true;
}

bool CDibDoc::RandomColours(bool autoSave) {
    SeedRandomOncePerSecond(m_ui);
    FigureEngine& figure = m_figure;
    if (m_randomChoice.chooseLinesOffset) {
        int n = figure.m_nSeriesLen;
        figure.m_nUn = n / 2 + NearestInt(RandomUnit(m_ui) * (n * 0.5));
        figure.m_nGs = NearestInt(figure.m_nUn * kPhi);
    }
    if (m_randomChoice.chooseMagnification) figure.m_dMagnExp = 2 * RandomUnit(m_ui) - 8;
    if (m_randomChoice.chooseBackground) figure.SetColour(RandomColour(m_ui), SLOT_BACKGROUND);
    for (int order = 0; order < kOrderCount; ++order) {
        if (!figure.m_orders[order].drawOrder) continue;
        for (int j = 0; j < 8; ++j) {
            if (m_randomChoice.itemFlags[order][j]) {
                figure.SetColour(RandomColour(m_ui), 10 * order + j + 2);
            }
        }
    }
    PreparePicture(false);
    return autoSave ? SaveToNextFile() : true;
}
