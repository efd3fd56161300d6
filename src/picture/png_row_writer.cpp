// The PNG row sink: the streaming encoder writing into an open file.
#include <cerrno>
#include <cstring>

#include "picture/png_file.h"
#include "picture/row_sink.h"
#include "picture/user_prompts.h"

std::string PngSizeProblem(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return "a picture needs a positive width and height";
    constexpr std::int64_t kMaxSide = 0x7FFFFFFF;
    if (width > kMaxSide || height > kMaxSide) {
        return "a PNG picture has at most 2147483647 pixels a side, not " + std::to_string(width) +
               "x" + std::to_string(height);
    }
    return "";
}

PngRowWriter::PngRowWriter(std::FILE* file, const std::string& path, int width, int height,
                           std::string_view parameterText, UserPrompts& ui, PngExtras extras,
                           PngEncoding encoding)
    : m_path(path),
      m_ui(ui),
      m_png(std::make_unique<PngRowEncoder>(
          width, height, parameterText,
          [this, file](const std::uint8_t* bytes, std::size_t count) {
              if (std::fwrite(bytes, 1, count, file) == count) return true;
              m_writeError = errno ? errno : EIO;
              return false;
          },
          extras, std::move(encoding))) {}

PngRowWriter::~PngRowWriter() = default;

bool PngRowWriter::WriteRow(const std::uint8_t* row) {
    if (m_failed || !m_png->AddRows(row, 1, 0)) return Failed();
    return true;
}

bool PngRowWriter::Finish() {
    if (m_failed || !m_png->Finish()) return Failed();
    return true;
}

bool PngRowWriter::Failed() {
    if (!m_failed) {
        m_ui.ShowMessage("Failed to write: " + m_path + "\n" +
                         std::strerror(m_writeError ? m_writeError : ENOMEM));
    }
    m_failed = true;
    return false;
}
