// Prompts for the benchmarks: questions are answered Yes without a word; any other message is a
// failure of the benchmark and goes to stderr.
#pragma once

#include <iostream>

#include "picture/user_prompts.h"

class BenchPrompts : public UserPrompts {
  public:
    int ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon icon) override {
        if (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) return IDYES;
        std::cerr << "benchmark: unexpected message (" << static_cast<int>(icon) << "): " << text
                  << '\n';
        return IDOK;
    }
};
