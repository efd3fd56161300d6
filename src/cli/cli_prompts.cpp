#include "cli/cli_prompts.h"

#include <cstdio>
#include <utility>

int CliPrompts::ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon) {
    switch (buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return questionAnswer;
        default:
            ++messageCount;
            if (m_bHolding) {
                m_held.push_back(text);
            } else {
                Print(text);
            }
            return IDOK;
    }
}

std::vector<std::string> CliPrompts::TakeHeldMessages() {
    m_bHolding = false;
    return std::exchange(m_held, {});
}

void CliPrompts::Print(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}
