// Runs a write with the process's files limited to a few kilobytes: every longer write fails
// with the kernel's "File too large" (root is bound too), as a full disk fails with "No space
// left on device".
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <functional>

// Returns false when the limit could not be set; write did not run then.
inline bool WithFilesLimitedTo(rlim_t bytes, const std::function<void()>& write) {
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    if (getrlimit(RLIMIT_FSIZE, &previous) != 0) return false;
    rlimit small = previous;
    small.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &small) != 0) return false;
    write();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    return true;
}
