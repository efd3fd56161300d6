// Saving a file without putting the earlier one at risk: everything is written to a temporary
// file beside the target, which replaces the target only when the whole write has succeeded.
//
//   SafeFile out(path);
//   if (!out.Open()) return Report(out.Error());    // nothing created, target untouched
//   ... write to out.Stream() ...
//   if (!out.Commit()) return Report(out.Error());  // temporary removed, target untouched
//
// - Open() creates "<target>.tmp-XXXXXX" (mkstemp) in the target's directory, with the
//   permissions the target would have got: an existing target's mode, else 0666 less the umask.
//   Like opening the target itself, it fails when the target is a directory or an existing file
//   that we may not write (EISDIR, EACCES, or whatever creating the temporary reports).
// - A symbolic link as target is followed, so the file it names is replaced, not the link.
// - Commit() flushes, fsyncs, closes and renames the temporary over the target. Any failure
//   (a full disk shows up here at the latest) removes the temporary and returns false.
// - Abort(), or destroying a SafeFile that was not committed, closes and removes the temporary.
// - Error() is the errno value of the first failure, 0 while all went well.
// - When the folder refuses the temporary file (no permission to add files to it) but the target
//   itself may be written, Open() writes the target in place instead: that is the only way to
//   save there at all. Commit() then cuts the target to what was written; a failure part way
//   leaves it damaged, so the in-place write is never chosen while the temporary is possible.
// - Placement::IntoTarget writes the target itself, for callers that hand over a file and read
//   that same file back (a thumbnailer's output): Open() creates the file or opens it as it is
//   (only a regular file; a FIFO or a device is refused without waiting), Commit() cuts it to
//   what was written, and any failure, Abort() or destruction before Commit() cuts it to
//   nothing, so that no half-written file looks valid. No temporary, no rename, no fsync: the
//   reader takes the file at once.
//
// OpenForReadingWithoutWaiting() is the reading side: it refuses (null, errno EINVAL) a FIFO, a
// device or a socket before reading a byte, so that none of them can block the program. A
// directory still opens, as with fopen, and fails at its first read.
#pragma once

#include <cstdio>
#include <string>

class SafeFile {
  public:
    enum class Placement { BesideThenRename, IntoTarget };

    explicit SafeFile(std::string target, Placement placement = Placement::BesideThenRename);
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    bool Open();
    // The open temporary file; null before Open() and after Commit() or Abort().
    std::FILE* Stream() const { return m_stream; }
    bool Commit();
    void Abort();

    int Error() const { return m_error; }
    const std::string& Target() const { return m_target; }
    const std::string& TempPath() const { return m_tempPath; }
    // True when Open() fell back to writing the target in place.
    bool WritesInPlace() const { return m_inPlace; }

  private:
    bool Fail(int error);
    bool CheckTargetWritable();
    bool OpenInPlace(int flags);
    void CutTargetToNothing();

    std::string m_target;
    std::string m_tempPath;
    Placement m_placement;
    std::FILE* m_stream = nullptr;
    int m_error = 0;
    bool m_inPlace = false;
    // An IntoTarget file that is open or not yet committed: cut to nothing when given up.
    bool m_uncommittedTarget = false;
};

// Opens path for binary reading (following symbolic links) unless it names a FIFO, a device or a
// socket; null then, or when it cannot be opened. Never waits for a writer.
std::FILE* OpenForReadingWithoutWaiting(const std::string& path);
