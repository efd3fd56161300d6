// Progress of a long painting on one line of stderr: shown only on a terminal and only once the
// work has taken about a second, so short runs and redirected output stay as they were.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

class ProgressLine {
  public:
    // Shows nothing unless enabled (the caller checks --quiet and that out is a terminal).
    ProgressLine(std::FILE* out, bool enabled,
                 std::chrono::milliseconds delay = std::chrono::seconds(1),
                 const char* unit = "rows");
    ~ProgressLine();  // ends the line if one was shown
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Units (rows, frames) done of total; true (the command line never cancels).
    bool Update(std::int64_t done, std::int64_t total);

    // True for --quiet off and stderr a terminal.
    static bool WantedOnStderr(bool quiet);

  private:
    using Clock = std::chrono::steady_clock;
    std::FILE* m_out;
    bool m_enabled;
    std::chrono::milliseconds m_delay;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_last{};
    bool m_shown = false;
    const char* m_unit;
};
