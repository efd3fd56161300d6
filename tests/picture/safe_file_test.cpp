#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>

#include "picture/picture_files.h"
#include "picture/safe_file.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::size_t FilesIn(const TempDir& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()));
}

void Put(SafeFile& out, const std::string& text) {
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), out.Stream()), text.size());
}

}  // namespace

TEST(SafeFile, TheTargetChangesOnlyOnCommit) {
    TempDir dir;
    std::string path = dir.File("a.txt");
    WriteFileBytes(path, {'o', 'l', 'd'});
    SafeFile out(path);
    ASSERT_TRUE(out.Open());
    EXPECT_EQ(out.TempPath().rfind(path + ".tmp-", 0), 0u);
    Put(out, "new");
    EXPECT_EQ(ReadFileBytes(path), (Bytes{'o', 'l', 'd'}));
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(out.Error(), 0);
    EXPECT_EQ(out.Stream(), nullptr);
    EXPECT_EQ(ReadFileBytes(path), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(FilesIn(dir), 1u);
}

TEST(SafeFile, AbortAndDestructionRemoveTheTemporary) {
    TempDir dir;
    std::string path = dir.File("a.txt");
    {
        SafeFile out(path);
        ASSERT_TRUE(out.Open());
        Put(out, "half");
        EXPECT_EQ(FilesIn(dir), 1u);
    }
    EXPECT_EQ(FilesIn(dir), 0u);
    SafeFile out(path);
    ASSERT_TRUE(out.Open());
    out.Abort();
    EXPECT_EQ(FilesIn(dir), 0u);
    EXPECT_FALSE(out.Commit());
    EXPECT_FALSE(fs::exists(path));
}

TEST(SafeFile, RefusesWhatOpeningTheTargetWouldRefuse) {
    TempDir dir;
    SafeFile missing(dir.File("no/such/dir.txt"));
    EXPECT_FALSE(missing.Open());
    EXPECT_EQ(missing.Error(), ENOENT);
    fs::create_directory(dir.File("folder"));
    SafeFile folder(dir.File("folder"));
    EXPECT_FALSE(folder.Open());
    EXPECT_EQ(folder.Error(), EISDIR);
    EXPECT_EQ(FilesIn(dir), 1u);
}

TEST(SafeFile, NewFilesGetTheUmasksModeAndOldFilesKeepTheirs) {
    TempDir dir;
    mode_t previous = ::umask(022);
    SafeFile fresh(dir.File("new.txt"));
    ASSERT_TRUE(fresh.Open());
    ASSERT_TRUE(fresh.Commit());
    ::umask(previous);
    EXPECT_EQ(fs::status(dir.File("new.txt")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);

    fs::permissions(dir.File("new.txt"), fs::perms::owner_read | fs::perms::owner_write);
    SafeFile again(dir.File("new.txt"));
    ASSERT_TRUE(again.Open());
    ASSERT_TRUE(again.Commit());
    EXPECT_EQ(fs::status(dir.File("new.txt")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST(SafeFile, ASymbolicLinkIsFollowedAndKept) {
    TempDir dir;
    std::string real = dir.File("real.txt");
    std::string link = dir.File("link.txt");
    WriteFileBytes(real, {'o'});
    fs::create_symlink(real, link);
    SafeFile out(link);
    ASSERT_TRUE(out.Open());
    Put(out, "n");
    ASSERT_TRUE(out.Commit());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real), (Bytes{'n'}));
}

// ---- A folder that refuses new files ----

namespace {

constexpr int kChildSkipped = 77;
constexpr uid_t kOrdinaryUser = 65534;  // nobody

// Runs body in a child process and returns its exit code. Root may add files anywhere, so a
// child of root first hands the folder to an ordinary user and becomes that user.
int RunAsOrdinaryUser(const fs::path& folder, const std::function<int()>& body) {
    bool root = ::geteuid() == 0;
    if (root) {
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (::chown(entry.path().c_str(), kOrdinaryUser, kOrdinaryUser) != 0) return -1;
        if (::chown(folder.c_str(), kOrdinaryUser, kOrdinaryUser) != 0) return -1;
    }
    pid_t child = ::fork();
    if (child == 0) {
        if (root && (::setgid(kOrdinaryUser) != 0 || ::setuid(kOrdinaryUser) != 0))
            ::_exit(kChildSkipped);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

struct LockedFolder {
    TempDir dir;
    fs::path folder = dir.Path() / "locked";
    std::string target = (folder / "a.dat").string();

    explicit LockedFolder(bool withTarget) {
        fs::create_directory(folder);
        fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::others_exec);
        if (withTarget) WriteFileBytes(target, {'o', 'l', 'd', ' ', 't', 'e', 'x', 't'});
    }
    ~LockedFolder() {
        std::error_code ec;  // unlocked again so the folder can be removed
        fs::permissions(folder, fs::perms::owner_all, ec);
    }
    void Lock() const {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    }
};

}  // namespace

// Each step of the child reports its own exit code, so a failure names what went wrong.
TEST(SafeFile, AFolderThatRefusesTheTemporaryIsWrittenInPlace) {
    LockedFolder locked(true);
    locked.Lock();
    int code = RunAsOrdinaryUser(locked.dir.Path(), [&] {
        SafeFile out(locked.target);
        if (!out.Open()) return 1;
        if (!out.WritesInPlace() || !out.TempPath().empty()) return 2;
        if (std::fwrite("new", 1, 3, out.Stream()) != 3) return 3;
        return out.Commit() ? 0 : 4;
    });
    if (code == kChildSkipped) GTEST_SKIP() << "cannot take an ordinary user's identity";
    ASSERT_EQ(code, 0);
    // Cut to what was written, and nothing else left in the folder.
    EXPECT_EQ(ReadFileBytes(locked.target), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(locked.folder), fs::directory_iterator()), 1);
}

TEST(SafeFile, AnInPlaceWriteGivenUpBeforeItsFirstByteLeavesTheFileWhole) {
    LockedFolder locked(true);
    locked.Lock();
    int code = RunAsOrdinaryUser(locked.dir.Path(), [&] {
        SafeFile out(locked.target);
        if (!out.Open() || !out.WritesInPlace()) return 1;
        out.Abort();
        return 0;
    });
    if (code == kChildSkipped) GTEST_SKIP() << "cannot take an ordinary user's identity";
    ASSERT_EQ(code, 0);
    EXPECT_EQ(ReadFileBytes(locked.target), (Bytes{'o', 'l', 'd', ' ', 't', 'e', 'x', 't'}));
}

TEST(SafeFile, WithoutAWritableTargetALockedFolderStillRefuses) {
    // No target to write in place: the error of the temporary is reported.
    LockedFolder missing(false);
    missing.Lock();
    int code = RunAsOrdinaryUser(missing.dir.Path(), [&] {
        SafeFile out(missing.target);
        return !out.Open() && out.Error() == EACCES && !fs::exists(missing.target) ? 0 : 1;
    });
    if (code == kChildSkipped) GTEST_SKIP() << "cannot take an ordinary user's identity";
    EXPECT_EQ(code, 0);

    // A protected target in a locked folder stays protected.
    LockedFolder readOnly(true);
    fs::permissions(readOnly.target, fs::perms::owner_read | fs::perms::others_read);
    readOnly.Lock();
    code = RunAsOrdinaryUser(readOnly.dir.Path(), [&] {
        SafeFile out(readOnly.target);
        return !out.Open() && out.Error() == EACCES ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFileBytes(readOnly.target), (Bytes{'o', 'l', 'd', ' ', 't', 'e', 'x', 't'}));
}

// Written into the target itself: what a caller that handed over the file and reads it back by
// its own name (or through another link) sees. What is not a regular file is refused at once.
TEST(SafeFile, IntoTargetWritesTheFileItselfAndEmptiesItWhenGivenUp) {
    using Finish = void (*)(SafeFile&);
    const Finish commit = [](SafeFile& out) { EXPECT_TRUE(out.Commit()); };
    const Finish abort = [](SafeFile& out) { out.Abort(); };
    const struct {
        const char* name;
        std::optional<std::string> before;  // nothing: the file does not exist yet
        Finish finish;
        std::string after;
    } cases[] = {
        {"missing file", std::nullopt, commit, "new"},
        {"empty file", "", commit, "new"},
        {"longer file", "a much longer old text", commit, "new"},
        {"aborted", "old", abort, ""},
        {"destroyed", "old", [](SafeFile&) {}, ""},
        {"failed write", "old",
         [](SafeFile& out) {
             // The buffered bytes meet a file-size limit, as they would a full disk.
             EXPECT_TRUE(WithFilesLimitedTo(1, [&] { EXPECT_FALSE(out.Commit()); }));
             EXPECT_EQ(out.Error(), EFBIG);
         },
         ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.File("thumb.png");
        const std::string link = dir.File("seen-by-caller.png");
        if (c.before) {
            WriteFileBytes(path, Bytes(c.before->begin(), c.before->end()));
            fs::create_hard_link(path, link);
        }
        {
            SafeFile out(path, SafeFile::Placement::IntoTarget);
            ASSERT_TRUE(out.Open()) << c.name;
            EXPECT_TRUE(out.TempPath().empty()) << c.name;
            Put(out, "new");
            c.finish(out);
        }
        EXPECT_EQ(ReadFileBytes(path), Bytes(c.after.begin(), c.after.end())) << c.name;
        if (c.before) {
            EXPECT_EQ(ReadFileBytes(link), ReadFileBytes(path)) << c.name;
        }
        EXPECT_EQ(FilesIn(dir), c.before ? 2u : 1u) << c.name;
    }
    TempDir dir;
    fs::create_directory(dir.File("folder"));
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    for (const char* name : {"folder", "fifo", "no/such/folder/thumb.png"}) {
        SafeFile out(dir.File(name), SafeFile::Placement::IntoTarget);
        EXPECT_FALSE(out.Open()) << name;
        EXPECT_NE(out.Error(), 0) << name;
        EXPECT_EQ(out.Stream(), nullptr) << name;
    }
}
