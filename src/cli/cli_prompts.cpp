#include "cli/cli_prompts.h"

#include <cstdio>

int CliPrompts::ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon) {
    switch (buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return questionAnswer;
        default:
            ++messageCount;
            std::fprintf(stderr, "%s\n", text.c_str());
            return IDOK;
    }
}
