#include "picture/user_prompts.h"

#include <ctime>

#ifdef DORVANTA_NO_FILE_SYSTEM
// A build without a file system (the web edition): no folder and no files to find.
std::string UserPrompts::CurrentDirectory() {
    return {};
}

bool UserPrompts::FileExists(const std::string&) {
    return false;
}
#else
#include <filesystem>
#include <system_error>

std::string UserPrompts::CurrentDirectory() {
    std::error_code ec;
    auto dir = std::filesystem::current_path(ec);
    return ec ? std::string() : dir.string();
}

bool UserPrompts::FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}
#endif

std::int64_t UserPrompts::TimeSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

// The classic linear congruential generator of the C library, so that a seed gives the same
// sequence on every platform.
void UserPrompts::SeedRandom(unsigned seed) {
    m_randomState = seed;
}

int UserPrompts::NextRandom() {
    m_randomState = m_randomState * 214013u + 2531011u;
    return static_cast<int>((m_randomState >> 16) & 0x7fff);
}

int UserPrompts::RunSettingsDialog(FigureEngine&, std::string&) {
    return IDCANCEL;
}

bool UserPrompts::AskOpenPath(const std::string&, const std::string&, std::string&) {
    return false;
}

bool UserPrompts::AskSavePath(const std::string&, const std::string&, std::string&) {
    return false;
}

int HeldPrompts::ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon icon) {
    m_messages.push_back({text, buttons, icon});
    return IDOK;
}

void HeldPrompts::ShowTo(UserPrompts& ui) const {
    for (const Message& m : m_messages) ui.ShowMessage(m.text, m.buttons, m.icon);
}
