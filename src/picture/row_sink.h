// A picture written row by row while it is painted, so that no picture block of its size exists:
// the BMP and JPEG writers below take the rows in their files' order and give the bytes the
// whole-picture writers give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "picture/png_file.h"

class UserPrompts;
struct JpegEncoding;  // the library's state (jpeg_file.cpp)

class RowSink {
  public:
    virtual ~RowSink() = default;
    // True when the sink takes the bottom row first (BMP), false for the top row first.
    virtual bool BottomUp() const = 0;
    // The next row in the sink's order: 3 × width bytes of blue, green, red. False when it could
    // not be written; the sink has reported why, once.
    virtual bool WriteRow(const std::uint8_t* row) = 0;
    // count rows in the sink's order, each stride bytes after the one before (negative: before
    // it); what WriteRow of each gives. Sinks that can take the rows at once do.
    virtual bool WriteRows(const std::uint8_t* first, int count, std::ptrdiff_t stride) {
        for (int r = 0; r < count; ++r) {
            if (!WriteRow(first + r * stride)) return false;
        }
        return true;
    }
};

// ---- Size limits of the picture files ----

// The largest BMP file: its size field has 32 bits.
constexpr std::int64_t kMaxBmpFileBytes = 0xFFFFFFFF;
// The largest side of a JPEG picture the library writes.
constexpr std::int64_t kMaxJpegSide = 65500;

// Bytes of the BMP file of a width x height 24-bit picture (headers and rows).
std::int64_t BmpFileBytes(std::int64_t width, std::int64_t height);

// Why a picture of this size cannot be written as a BMP or JPEG file, or "" when it can.
std::string BmpSizeProblem(std::int64_t width, std::int64_t height);
std::string JpegSizeProblem(std::int64_t width, std::int64_t height);
std::string PngSizeProblem(std::int64_t width, std::int64_t height);

// ---- BMP ----

// Writes the 14-byte file header and the 40-byte info header, then takes the rows bottom-up and
// stores each with its padding; Finish checks that every row came and flushes. Failures show
// "Failed to write: " + path + "\n" and the cause.
class BmpRowWriter : public RowSink {
  public:
    BmpRowWriter(std::FILE* file, const std::string& path, int width, int height, UserPrompts& ui);
    bool Start();
    bool BottomUp() const override { return true; }
    bool WriteRow(const std::uint8_t* row) override;
    // Rows laid out as in the file (stride of a stored row, padding zero) go out in one write.
    bool WriteRows(const std::uint8_t* first, int count, std::ptrdiff_t stride) override;
    bool Finish();

  private:
    bool Failed(int error);

    std::FILE* m_file;
    std::string m_path;
    int m_width, m_height;
    int m_rows = 0;
    std::vector<std::uint8_t> m_padding;
    UserPrompts& m_ui;
    bool m_failed = false;
};

// ---- JPEG ----

// Compresses the rows top-down with the library's defaults and the given quality, exactly as the
// whole-picture writer does (which uses this writer). Failures show the library's message.
class JpegRowWriter : public RowSink {
  public:
    JpegRowWriter(std::FILE* file, int width, int height, int quality, UserPrompts& ui);
    ~JpegRowWriter() override;
    JpegRowWriter(const JpegRowWriter&) = delete;
    JpegRowWriter& operator=(const JpegRowWriter&) = delete;

    bool Start();
    bool BottomUp() const override { return false; }
    bool WriteRow(const std::uint8_t* row) override;
    bool Finish();

  private:
    std::unique_ptr<JpegEncoding> m_job;
};

// ---- PNG ----

// Takes the rows top-down into the streaming PNG encoder, which the whole-picture writer uses
// too, with the parameter text and the extras in their chunks and the threads encoding lends.
// Failures show "Failed to write: " + path + "\n" and the cause, once.
class PngRowWriter : public RowSink {
  public:
    PngRowWriter(std::FILE* file, const std::string& path, int width, int height,
                 std::string_view parameterText, UserPrompts& ui, PngExtras extras = {},
                 PngEncoding encoding = {});
    ~PngRowWriter() override;
    PngRowWriter(const PngRowWriter&) = delete;
    PngRowWriter& operator=(const PngRowWriter&) = delete;

    bool Start() { return true; }  // the encoder writes its header with the first row
    bool BottomUp() const override { return false; }
    bool WriteRow(const std::uint8_t* row) override;
    bool Finish();

  private:
    bool Failed();

    std::string m_path;
    UserPrompts& m_ui;
    int m_writeError = 0;
    bool m_failed = false;
    std::unique_ptr<PngRowEncoder> m_png;
};
