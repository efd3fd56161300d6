// The JPEG library reports errors by calling an exit routine that must not return. Ours shows the
// library's message and jumps back to a recovery point. To keep that jump well-defined, the
// functions that hold the recovery point (DecodeInto and the encoding steps) keep no C++ objects of
// their own: all their state lives in a job record owned by the caller.
#include "picture/jpeg_file.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <vector>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "picture/row_sink.h"
#include "picture/safe_file.h"
#include "picture/user_prompts.h"

namespace {

// The library may use this much memory for its own buffers (a progressive file keeps all its
// coefficients) before it gives up with an error instead of exhausting the machine.
constexpr long kLibraryMemoryLimit = 4L << 30;

// The library's error manager with the recovery point placed right after it, where the exit
// routine finds it.
struct RecoveringErrorManager {
    jpeg_error_mgr library;
    std::jmp_buf recovery;
    UserPrompts* ui;
};

RecoveringErrorManager& ManagerOf(j_common_ptr info) {
    return *reinterpret_cast<RecoveringErrorManager*>(info->err);
}

// The library's message goes to the user instead of the standard error stream.
void ShowLibraryMessage(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    ManagerOf(info).ui->ShowMessage(text);
}

[[noreturn]] void RecoverFromError(j_common_ptr info) {
    (*info->err->output_message)(info);
    std::longjmp(ManagerOf(info).recovery, 1);
}

// Warnings that mean the picture could not be decoded completely.
bool IsDamagedData(int code) {
    switch (code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
        case JWRN_BOGUS_PROGRESSION:
            return true;
        default:
            return false;
    }
}

// Damaged or truncated data ends the read like an error (the library would otherwise fill the
// rest of the picture with grey and report success); other warnings and trace output are dropped.
void HandleLibraryNotice(j_common_ptr info, int level) {
    if (level >= 0) return;
    if (IsDamagedData(info->err->msg_code)) RecoverFromError(info);
    ++info->err->num_warnings;
}

void InstallErrorManager(RecoveringErrorManager& errors, UserPrompts& ui) {
    jpeg_std_error(&errors.library);
    errors.library.error_exit = RecoverFromError;
    errors.library.output_message = ShowLibraryMessage;
    errors.library.emit_message = HandleLibraryNotice;
    errors.ui = &ui;
}

void ShowCannotOpen(const std::string& path, UserPrompts& ui) {
    ui.ShowMessage("can't open " + path + "\n");
}

// ---- Reading ----

struct ReadJob {
    RecoveringErrorManager errors;
    jpeg_decompress_struct decoder;
    std::FILE* file;
    DibHandle* handle;
    PictureSize* size;
    UserPrompts* ui;
};

bool DecodeInto(ReadJob& job) {
    if (setjmp(job.errors.recovery) != 0) return false;
    jpeg_decompress_struct& decoder = job.decoder;
    jpeg_create_decompress(&decoder);
    decoder.mem->max_memory_to_use = kLibraryMemoryLimit;
    jpeg_stdio_src(&decoder, job.file);
    jpeg_read_header(&decoder, TRUE);
    // The size and components are known before decoding starts, so a picture that cannot be
    // held is refused before the library allocates anything for it.
    jpeg_calc_output_dimensions(&decoder);
    int width = static_cast<int>(decoder.output_width);
    int height = static_cast<int>(decoder.output_height);
    if (!JpegMakePictureBlock(*job.handle, decoder.out_color_components, width, height, *job.ui)) {
        job.ui->ShowMessage("No mem allocated");
        return false;
    }
    *job.size = {width, height};
    jpeg_start_decompress(&decoder);
    std::uint8_t* pixels = (*job.handle)->Bytes() + kDibHeaderBytes;
    std::int64_t stride = DibRowStride(width, 24);
    while (decoder.output_scanline < decoder.output_height) {
        // Top line first: it is the last stored row.
        JSAMPROW row = pixels + (height - 1 - std::int64_t{decoder.output_scanline}) * stride;
        if (jpeg_read_scanlines(&decoder, &row, 1) != 1) return false;
        SwapRedBlue(row, width);
    }
    jpeg_finish_decompress(&decoder);
    return true;
}

// ---- Writing ----

}  // namespace

// The encoder of one file; the functions that hold a recovery point keep no C++ objects of their
// own (the row in the library's colour order lives here).
struct JpegEncoding {
    RecoveringErrorManager errors;
    jpeg_compress_struct encoder;
    std::FILE* file;
    int width, height, quality;
    std::vector<std::uint8_t> rgb;
    bool created, failed;
};

namespace {

bool StartEncoding(JpegEncoding& job) {
    if (setjmp(job.errors.recovery) != 0) return false;
    jpeg_compress_struct& encoder = job.encoder;
    jpeg_create_compress(&encoder);
    job.created = true;
    jpeg_stdio_dest(&encoder, job.file);
    encoder.image_width = static_cast<JDIMENSION>(job.width);
    encoder.image_height = static_cast<JDIMENSION>(job.height);
    encoder.input_components = 3;
    encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, job.quality, TRUE);
    jpeg_start_compress(&encoder, TRUE);
    return true;
}

bool EncodeRow(JpegEncoding& job) {
    if (setjmp(job.errors.recovery) != 0) return false;
    JSAMPROW rows[1] = {job.rgb.data()};
    jpeg_write_scanlines(&job.encoder, rows, 1);
    return true;
}

bool FinishEncoding(JpegEncoding& job) {
    if (setjmp(job.errors.recovery) != 0) return false;
    jpeg_finish_compress(&job.encoder);
    return true;
}

}  // namespace

bool JpegReadPicture(const std::string& path, DibHandle& handle, PictureSize& size,
                     UserPrompts& ui) {
    std::FILE* file = OpenForReadingWithoutWaiting(path);
    if (file == nullptr) {
        ShowCannotOpen(path, ui);
        return false;
    }
    ReadJob job{};
    InstallErrorManager(job.errors, ui);
    job.decoder.err = &job.errors.library;
    job.file = file;
    job.handle = &handle;
    job.size = &size;
    job.ui = &ui;
    bool read = DecodeInto(job);
    jpeg_destroy_decompress(&job.decoder);
    std::fclose(file);
    return read;
}

bool JpegWritePicture(const std::string& path, const DibHandle& handle, int quality,
                      UserPrompts& ui) {
    if (!handle || !DibIsPicture24(*handle)) return false;
    SafeFile out(path);
    if (!out.Open()) {
        ShowCannotOpen(path, ui);
        return false;
    }
    const DibInfo info = DibDescribe(handle->Bytes());
    const std::uint8_t* pixels = handle->Bytes() + kDibHeaderBytes;
    const std::int64_t stride = DibRowStride(info.width, 24);
    JpegRowWriter writer(out.Stream(), info.width, info.height, quality, ui);
    bool written = writer.Start();
    // Top line first: it is the last stored row.
    for (std::int64_t y = info.height - 1; written && y >= 0; --y) {
        written = writer.WriteRow(pixels + y * stride);
    }
    return written && writer.Finish() && out.Commit();
}

std::string JpegSizeProblem(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return "a picture needs a positive width and height";
    if (width > kMaxJpegSide || height > kMaxJpegSide) {
        return "a JPEG picture has at most " + std::to_string(kMaxJpegSide) +
               " pixels a side, not " + std::to_string(width) + "x" + std::to_string(height);
    }
    return "";
}

JpegRowWriter::JpegRowWriter(std::FILE* file, int width, int height, int quality, UserPrompts& ui)
    : m_job(std::make_unique<JpegEncoding>()) {
    JpegEncoding& job = *m_job;
    InstallErrorManager(job.errors, ui);
    job.encoder.err = &job.errors.library;
    job.file = file;
    job.width = width;
    job.height = height;
    job.quality = quality;
    job.rgb.resize(static_cast<std::size_t>(3) * static_cast<std::size_t>(std::max(width, 0)));
}

JpegRowWriter::~JpegRowWriter() {
    if (m_job->created) jpeg_destroy_compress(&m_job->encoder);
}

bool JpegRowWriter::Start() {
    m_job->failed = !StartEncoding(*m_job);
    return !m_job->failed;
}

bool JpegRowWriter::WriteRow(const std::uint8_t* row) {
    JpegEncoding& job = *m_job;
    if (job.failed || !job.created) return false;
    for (std::size_t i = 0; i < job.rgb.size(); i += 3) {
        job.rgb[i] = row[i + 2];
        job.rgb[i + 1] = row[i + 1];
        job.rgb[i + 2] = row[i];
    }
    job.failed = !EncodeRow(job);
    return !job.failed;
}

bool JpegRowWriter::Finish() {
    if (m_job->failed || !m_job->created) return false;
    m_job->failed = !FinishEncoding(*m_job);
    return !m_job->failed;
}

bool JpegMakePictureBlock(DibHandle& handle, int components, int width, int height,
                          UserPrompts& ui) {
    if (components != 3) {
        ui.ShowMessage("MakeBitmapColors0: Components need to be 3");
        return false;
    }
    std::size_t bytes = DibPictureBytes(width, height);
    if (handle && handle->Size() < bytes) handle.reset();
    if (bytes == 0) {
        handle.reset();
        ui.ShowMessage(kTooLargePictureText, MsgButtons::Ok, MsgIcon::Exclamation);
        return false;
    }
    if (!handle) handle = DibImage::Allocate(bytes);
    if (!handle) return false;
    DibInitHeader24(handle->Bytes(), width, height);
    return true;
}

void SwapRedBlue(std::uint8_t* row, int count) {
    for (int i = 0; i < count; ++i) std::swap(row[3 * i], row[3 * i + 2]);
}
