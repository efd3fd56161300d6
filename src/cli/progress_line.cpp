#include "cli/progress_line.h"

#include <unistd.h>

ProgressLine::ProgressLine(std::FILE* out, bool enabled, std::chrono::milliseconds delay,
                           const char* unit)
    : m_out(out), m_enabled(enabled), m_delay(delay), m_unit(unit) {}

ProgressLine::~ProgressLine() {
    if (m_shown) std::fputc('\n', m_out);
}

bool ProgressLine::WantedOnStderr(bool quiet) {
    return !quiet && isatty(fileno(stderr)) == 1;
}

bool ProgressLine::Update(std::int64_t done, std::int64_t total) {
    if (!m_enabled || total <= 0) return true;
    const Clock::time_point now = Clock::now();
    // A few updates a second are enough for the eye; the last one always shows.
    if (now - m_start < m_delay ||
        (done < total && now - m_last < std::chrono::milliseconds(200))) {
        return true;
    }
    m_last = now;
    m_shown = true;
    std::fprintf(m_out, "\rdorvanta-render: painting %3d%% (%lld of %lld %s)",
                 static_cast<int>(100 * done / total), static_cast<long long>(done),
                 static_cast<long long>(total), m_unit);
    std::fflush(m_out);
    return true;
}
