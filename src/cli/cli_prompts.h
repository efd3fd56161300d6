// The user-prompt seam of dorvanta-render: messages go to stderr, and questions are answered
// by the command line's flags instead of a person.
#pragma once

#include <string>
#include <vector>

#include "picture/user_prompts.h"

class CliPrompts : public UserPrompts {
  public:
    // The answer given to every Yes/No question (IDYES or IDNO).
    int questionAnswer = IDNO;
    // Number of messages shown so far.
    int messageCount = 0;

    int ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon icon) override;

    // Keeps the messages from now on instead of printing them, until they are taken.
    void HoldMessages() { m_bHolding = true; }
    std::vector<std::string> TakeHeldMessages();
    void Print(const std::string& text);

  private:
    bool m_bHolding = false;
    std::vector<std::string> m_held;
};
