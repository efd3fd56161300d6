#include "picture/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>
#include <utility>

SafeFile::SafeFile(std::string target, Placement placement)
    : m_target(std::move(target)), m_placement(placement) {}

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

// Only a folder that does not let us add a file is a reason to write in place; any other
// failure of the temporary (a full disk, a missing folder) would hit the in-place write too.
static bool FolderRefusesNewFiles(int error) {
    return error == EACCES || error == EPERM;
}

bool SafeFile::OpenInPlace(int flags) {
    // Non-blocking, so that a FIFO without a reader is refused at once instead of waiting.
    int fd = ::open(m_target.c_str(), flags | O_WRONLY | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(EINVAL);
    }
    int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    // Not truncated yet: a writer that gives up before its first byte leaves the file whole.
    m_stream = ::fdopen(fd, "wb");
    if (m_stream == nullptr) {
        int error = errno;
        ::close(fd);
        return Fail(error);
    }
    m_inPlace = true;
    return true;
}

bool SafeFile::Open() {
    Abort();
    m_error = 0;
    m_inPlace = false;
    if (m_placement == Placement::IntoTarget) {
        if (!OpenInPlace(O_CREAT)) return false;
        m_uncommittedTarget = true;
        return true;
    }
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
    if (fd < 0) {
        int error = errno;
        // Only a regular file is written in place: opening a FIFO for writing would wait.
        bool regular = ::stat(m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        return FolderRefusesNewFiles(error) && regular ? OpenInPlace(0) : Fail(error);
    }
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
    if (m_inPlace) {
        off_t written = ::ftello(m_stream);
        if (written < 0 || ::ftruncate(::fileno(m_stream), written) != 0) return Fail(errno);
    }
    const bool durable = m_placement == Placement::BesideThenRename;
    if (durable && ::fsync(::fileno(m_stream)) != 0) return Fail(errno);
    std::FILE* stream = std::exchange(m_stream, nullptr);
    if (std::fclose(stream) != 0) return Fail(errno);
    m_uncommittedTarget = false;
    if (m_inPlace) return true;
    if (std::rename(m_tempPath.c_str(), m_target.c_str()) != 0) return Fail(errno);
    m_tempPath.clear();
    SyncDirectoryOf(m_target);
    return true;
}

// Empties a file written into its target. The descriptor outlives the stream so that nothing
// the stream still buffers lands behind the cut.
void SafeFile::CutTargetToNothing() {
    int fd = m_stream != nullptr ? ::dup(::fileno(m_stream)) : -1;
    if (m_stream != nullptr) std::fclose(std::exchange(m_stream, nullptr));
    const bool cut = fd >= 0 ? ::ftruncate(fd, 0) == 0 : ::truncate(m_target.c_str(), 0) == 0;
    if (!cut && m_error == 0) m_error = errno;
    if (fd >= 0) ::close(fd);
    m_uncommittedTarget = false;
}

void SafeFile::Abort() {
    if (m_uncommittedTarget) CutTargetToNothing();
    if (m_stream != nullptr) std::fclose(std::exchange(m_stream, nullptr));
    if (!m_tempPath.empty()) {
        std::remove(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

std::FILE* OpenForReadingWithoutWaiting(const std::string& path) {
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        return nullptr;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return file;
}
