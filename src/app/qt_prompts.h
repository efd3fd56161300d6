// UserPrompts for the desktop: message boxes, the wait cursor, file dialogs and the settings
// dialog, all modal over the program's main window.
#pragma once

#include <QString>
#include <functional>

#include "picture/user_prompts.h"

class QWidget;

class QtPrompts : public UserPrompts {
  public:
    // parent supplies the window the dialogs belong to (it may return null).
    explicit QtPrompts(std::function<QWidget*()> parent = {});

    int ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon icon) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    int RunSettingsDialog(FigureEngine& edit, std::string& savedPath) override;
    bool AskOpenPath(const std::string& filter, const std::string& defaultExt,
                     std::string& path) override;
    bool AskSavePath(const std::string& filter, const std::string& defaultExt,
                     std::string& path) override;

  private:
    QWidget* Parent() const;

    std::function<QWidget*()> m_parent;
};

// The caption of the program's message boxes.
inline constexpr const char* kMessageCaption = "Dorvanta Application";

// Translates a filter of "description|pattern|...||" pairs into the dialog's
// "description (patterns);;..." form; patterns separated by ";" become blank-separated.
QString DialogFilterOf(const std::string& filter);
