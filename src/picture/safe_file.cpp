#include "picture/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>
#include <utility>

SafeFile::SafeFile(std::string target) : m_target(std::move(target)) {}

SafeFile::~SafeFile() {
    Abort();
}

bool SafeFile::Fail(int error) {
    if (m_error == 0) m_error = error != 0 ? error : EIO;
    Abort();
    return false;
}

// Refuses what opening the target itself for writing would refuse, so that replacing it by
// rename cannot overwrite a directory or a file the user protected.
bool SafeFile::CheckTargetWritable() {
    struct stat st {};
    if (::stat(m_target.c_str(), &st) != 0) return errno == ENOENT ? true : Fail(errno);
    if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
    if (::access(m_target.c_str(), W_OK) != 0) return Fail(errno);
    return true;
}

static mode_t ModeForNewFile() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool SafeFile::Open() {
    Abort();
    m_error = 0;
    std::error_code ec;
    if (std::filesystem::is_symlink(m_target, ec)) {
        auto resolved = std::filesystem::canonical(m_target, ec);
        if (!ec) m_target = resolved.string();
    }
    if (!CheckTargetWritable()) return false;

    struct stat st {};
    mode_t mode = ::stat(m_target.c_str(), &st) == 0 ? (st.st_mode & 07777) : ModeForNewFile();
    std::string pattern = m_target + ".tmp-XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) return Fail(errno);
    m_tempPath = pattern;
    if (::fchmod(fd, mode) != 0) {
        int error = errno;
        ::close(fd);
        return Fail(error);
    }
    m_stream = ::fdopen(fd, "w+b");
    if (m_stream == nullptr) {
        int error = errno;
        ::close(fd);
        return Fail(error);
    }
    return true;
}

// Makes the rename itself durable; a failure here no longer endangers either file.
static void SyncDirectoryOf(const std::string& path) {
    auto dir = std::filesystem::path(path).parent_path();
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool SafeFile::Commit() {
    if (m_stream == nullptr) return Fail(m_error != 0 ? m_error : EBADF);
    if (std::fflush(m_stream) != 0 || std::ferror(m_stream)) return Fail(errno);
    if (::fsync(::fileno(m_stream)) != 0) return Fail(errno);
    std::FILE* stream = std::exchange(m_stream, nullptr);
    if (std::fclose(stream) != 0) return Fail(errno);
    if (std::rename(m_tempPath.c_str(), m_target.c_str()) != 0) return Fail(errno);
    m_tempPath.clear();
    SyncDirectoryOf(m_target);
    return true;
}

void SafeFile::Abort() {
    if (m_stream != nullptr) std::fclose(std::exchange(m_stream, nullptr));
    if (!m_tempPath.empty()) {
        std::remove(m_tempPath.c_str());
        m_tempPath.clear();
    }
}
