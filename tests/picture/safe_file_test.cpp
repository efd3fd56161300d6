#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cerrno>
#include <filesystem>

#include "picture/picture_files.h"
#include "picture/safe_file.h"
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
