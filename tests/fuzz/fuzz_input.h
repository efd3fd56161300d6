// What every fuzz target shares: the input bytes as a real file the readers open by path, and a
// UserPrompts that swallows every message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "picture/user_prompts.h"

// A file that lives in memory (memfd) but is opened, stat-ed and read like any file on disk, so
// the readers run their real file code at full speed.
class FuzzInputFile {
  public:
    FuzzInputFile();
    ~FuzzInputFile();
    FuzzInputFile(const FuzzInputFile&) = delete;
    FuzzInputFile& operator=(const FuzzInputFile&) = delete;

    // Replaces the whole content; aborts when the memory file cannot take it.
    void Replace(const std::uint8_t* data, std::size_t size);
    const std::string& Path() const { return m_path; }

  private:
    int m_fd = -1;
    std::string m_path;
};

// Answers every question with its first button and counts the messages instead of showing them.
class SilentPrompts : public UserPrompts {
  public:
    int ShowMessage(const std::string& text, MsgButtons buttons, MsgIcon icon) override;
    int messages = 0;
};

// A private directory for targets that must write real files (the writers replace files by
// renaming a temporary beside them); in memory when /dev/shm exists.
const std::string& FuzzScratchDirectory();
