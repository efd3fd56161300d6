#include "fuzz_input.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

[[noreturn]] void Die(const char* what) {
    std::perror(what);
    std::abort();
}

}  // namespace

FuzzInputFile::FuzzInputFile() : m_fd(::memfd_create("fuzz-input", 0)) {
    if (m_fd < 0) Die("memfd_create");
    m_path = "/proc/self/fd/" + std::to_string(m_fd);
}

FuzzInputFile::~FuzzInputFile() {
    ::close(m_fd);
}

void FuzzInputFile::Replace(const std::uint8_t* data, std::size_t size) {
    if (::ftruncate(m_fd, 0) != 0) Die("ftruncate");
    if (size != 0 && ::pwrite(m_fd, data, size, 0) != static_cast<ssize_t>(size)) Die("pwrite");
}

int SilentPrompts::ShowMessage(const std::string&, MsgButtons buttons, MsgIcon) {
    ++messages;
    switch (buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return IDYES;
        default:
            return IDOK;
    }
}

const std::string& FuzzScratchDirectory() {
    static const std::string directory = [] {
        std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = (base / "dorvanta-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) Die("mkdtemp");
        return pattern;
    }();
    static const bool cleanup = [] {
        // Removed at a normal exit (the end of -max_total_time or -runs).
        return std::atexit([] {
                   std::error_code ignored;
                   std::filesystem::remove_all(directory, ignored);
               }) == 0;
    }();
    (void)cleanup;
    return directory;
}
