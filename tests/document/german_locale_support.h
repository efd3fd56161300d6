// Switches the whole process to German number formatting (decimal comma) for a test.
#pragma once

#include "support/temp_dir.h"

// Uses an installed German locale, or compiles one into a private folder with localedef.
// Active() is false when neither is possible; the test then skips.
class GermanNumbers {
  public:
    GermanNumbers();
    ~GermanNumbers();
    GermanNumbers(const GermanNumbers&) = delete;
    GermanNumbers& operator=(const GermanNumbers&) = delete;
    bool Active() const { return m_active; }

  private:
    bool Use(const char* name);
    TempDir m_dir;
    bool m_active = false;
};
