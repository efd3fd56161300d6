#include "support/scripted_prompts.h"

int ScriptedPrompts::ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon icon) {
    messages.push_back({text, buttons, icon});
    if (buttons == MsgButtons::Ok) return IDOK;
    if (answers.empty()) return defaultAnswer;
    int answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedPrompts::BeginWaitCursor() {
    ++waitCursorDepth;
    ++waitCursorShown;
}

void ScriptedPrompts::EndWaitCursor() {
    --waitCursorDepth;
}

int ScriptedPrompts::RunSettingsDialog(FigureEngine& edit, std::string& savedPath) {
    return settingsDialog ? settingsDialog(edit, savedPath) : IDCANCEL;
}

static bool TakeNext(std::deque<std::string>& paths, std::string& path) {
    if (paths.empty()) return false;
    path = paths.front();
    paths.pop_front();
    return true;
}

bool ScriptedPrompts::AskOpenPath(const std::string&, const std::string&, std::string& path) {
    return TakeNext(openPaths, path);
}

bool ScriptedPrompts::AskSavePath(const std::string&, const std::string&, std::string& path) {
    return TakeNext(savePaths, path);
}

std::vector<std::string> ScriptedPrompts::Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : messages) texts.push_back(m.text);
    return texts;
}
