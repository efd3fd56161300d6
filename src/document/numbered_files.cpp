#include "document/numbered_files.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "document/dat_file.h"
#include "document/dib_doc.h"

int g_nFileCounter = 0;
std::int64_t g_nLastSeedTime = -1;

namespace {

constexpr std::size_t kMaxDirectoryShown = 990;
constexpr std::size_t kMaxBaseName = 90;
constexpr std::size_t kKeptLeadingCharacters = 3;

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

// The folder numbered files go to: the figure's directory, taken from the current one when it
// is empty or relative, without its final separator (as the current directory is shown).
std::string FolderOfNumberedFiles(const std::string& directory, const std::string& current) {
    if (directory.empty()) return current;
    std::filesystem::path folder = std::filesystem::path(current) / directory;
    std::string shown = folder.lexically_normal().string();
    while (shown.size() > 1 && (shown.back() == '/' || shown.back() == '\\')) shown.pop_back();
    return shown;
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

void SeedRandomOncePerSecond(UserPrompts& ui) {
    std::int64_t now = ui.TimeSeconds();
    if (now == g_nLastSeedTime) return;
    ui.SeedRandom(static_cast<unsigned>(now));
    g_nLastSeedTime = now;
}

bool CDibDoc::SaveToNextFile() {
    if (!m_bPathConfirmed) {
        // The question names the folder the files really go to.
        std::string directory =
            FolderOfNumberedFiles(m_figure.m_szDirectory, m_ui.CurrentDirectory())
                .substr(0, kMaxDirectoryShown);
        int answer =
            m_ui.ShowMessage(PathQuestionText(directory), MsgButtons::YesNo, MsgIcon::Question);
        if (answer != IDYES) return false;
        m_bPathConfirmed = true;
    }
    const int counterBefore = g_nFileCounter;
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

    // A picture that could not be written (its message is shown) leaves names and counter.
    if (!OnSaveDocument(picturePath)) {
        g_nFileCounter = counterBefore;
        return false;
    }
    // A parameter file that cannot be created is not reported.
    if (SaveDatFile(m_figure, datPath) == DAT_OK) SetPathName(datPath);
    m_figure.SetNamesFromPath(datPath);
    SetTitleFromName();
    return true;
}

bool CDibDoc::RandomColours(bool autoSave) {
    SeedRandomOncePerSecond(m_ui);
    ChooseRandomly(m_figure, m_randomChoice, m_ui);
    PreparePicture(false);
    return autoSave ? SaveToNextFile() : true;
}
