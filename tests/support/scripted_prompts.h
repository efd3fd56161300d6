// A UserPrompts for tests: records every message and answers questions from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "picture/user_prompts.h"

struct RecordedMessage {
    std::string text;
    MsgButtons buttons;
    MsgIcon icon;
};

class ScriptedPrompts : public UserPrompts {
  public:
    // Answers used in order; when empty, questions get defaultAnswer.
    std::deque<int> answers;
    int defaultAnswer = IDOK;
    std::vector<RecordedMessage> messages;

    std::string currentDirectory = ".";
    std::int64_t clock = 1000;
    int waitCursorDepth = 0;
    int waitCursorShown = 0;

    // Settings dialog: called with the working copy; returns the dialog result.
    std::function<int(FigureEngine&, std::string&)> settingsDialog;
    // File dialogs: the next chosen paths; an empty deque means Cancel.
    std::deque<std::string> openPaths;
    std::deque<std::string> savePaths;

    int ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon icon) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    std::string CurrentDirectory() override { return currentDirectory; }
    std::int64_t TimeSeconds() override { return clock; }
    int RunSettingsDialog(FigureEngine& edit, std::string& savedPath) override;
    bool AskOpenPath(const std::string& filter, const std::string& defaultExt,
                     std::string& path) override;
    bool AskSavePath(const std::string& filter, const std::string& defaultExt,
                     std::string& path) override;

    std::vector<std::string> Texts() const;
    void Clear() { messages.clear(); }
};
