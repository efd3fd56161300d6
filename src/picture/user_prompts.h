// The small environment through which the core layers talk to the user and the machine.
// The desktop program implements it with Qt, dorvanta-render with stderr and flags, and the
// tests with a scripted recorder, so no core code ever touches a widget.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class FigureEngine;

// Buttons and results keep the platform's numbers: stored results and dialog codes rely on them.
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Question, Exclamation };

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class UserPrompts {
  public:
    virtual ~UserPrompts() = default;

    // Shows text modally and returns the button chosen (IDOK, IDCANCEL, IDYES, IDNO).
    virtual int ShowMessage(const std::string& text, MsgButtons buttons = MsgButtons::Ok,
                            MsgIcon icon = MsgIcon::Exclamation) = 0;

    virtual void BeginWaitCursor() {}
    virtual void EndWaitCursor() {}

    virtual std::string CurrentDirectory();
    virtual bool FileExists(const std::string& path);
    virtual std::int64_t TimeSeconds();

    // Seedable pseudo-random source with results 0..32767.
    virtual void SeedRandom(unsigned seed);
    virtual int NextRandom();

    // Runs the settings dialog modally on the working copy; returns its result
    // (IDOK, IDCANCEL or 61447) and the path under which it saved a parameter file, if any.
    virtual int RunSettingsDialog(FigureEngine& edit, std::string& savedPath);

    // File dialogs: return false on Cancel, otherwise the chosen path in path.
    virtual bool AskOpenPath(const std::string& filter, const std::string& defaultExt,
                             std::string& path);
    virtual bool AskSavePath(const std::string& filter, const std::string& defaultExt,
                             std::string& path);

  private:
    std::uint32_t m_randomState = 1;
};

// Shows the wait cursor for the lifetime of the object.
class WaitCursor {
  public:
    explicit WaitCursor(UserPrompts& ui) : m_ui(ui) { m_ui.BeginWaitCursor(); }
    ~WaitCursor() { m_ui.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    UserPrompts& m_ui;
};

// Keeps the messages of work done away from the user (another thread) to be shown afterwards;
// questions get IDOK.
class HeldPrompts : public UserPrompts {
  public:
    int ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon icon) override;
    // Shows the kept messages through ui, in order.
    void ShowTo(UserPrompts& ui) const;
    bool Empty() const { return m_messages.empty(); }

  private:
    struct Message {
        std::string text;
        MsgButtons buttons;
        MsgIcon icon;
    };
    std::vector<Message> m_messages;
};
