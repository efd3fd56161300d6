#include <cstdio>
#include <cstdlib>
#include <stdexcept>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "picture/jpeg_maker.h"

namespace {

[[noreturn]] void Throw(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    throw std::runtime_error(text);
}

void Configure(jpeg_compress_struct& c, const JpegOptions& o) {
    c.image_width = static_cast<JDIMENSION>(o.width);
    c.image_height = static_cast<JDIMENSION>(o.height);
    c.input_components = o.kind == JpegKind::Rgb ? 3 : o.kind == JpegKind::Grey ? 1 : 4;
    c.in_color_space = o.kind == JpegKind::Rgb    ? JCS_RGB
                       : o.kind == JpegKind::Grey ? JCS_GRAYSCALE
                                                  : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    if (o.kind == JpegKind::Rgb && !o.subsample420) {
        for (int i = 0; i < 3; ++i) {
            c.comp_info[i].h_samp_factor = 1;
            c.comp_info[i].v_samp_factor = 1;
        }
    }
    if (o.progressive) jpeg_simple_progression(&c);
    c.arith_code = o.arithmetic ? TRUE : FALSE;
    c.restart_in_rows = o.restartRows;
}

}  // namespace

Bytes MakeJpeg(const JpegOptions& o, const PixelSource& source) {
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    errors.error_exit = Throw;
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    Configure(c, o);
    jpeg_start_compress(&c, TRUE);
    Bytes row(static_cast<std::size_t>(o.width) * c.input_components);
    for (int y = 0; y < o.height; ++y) {
        for (int x = 0; x < o.width; ++x) source(x, y, &row[x * c.input_components]);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    Bytes file(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return file;
}

// Up and down again between 0 and 180, without jumps.
static int Triangle(int v) {
    v %= 360;
    return v > 180 ? 360 - v : v;
}

void GradientPixel(int x, int y, std::uint8_t* rgb) {
    rgb[0] = static_cast<std::uint8_t>(40 + Triangle(3 * x));
    rgb[1] = static_cast<std::uint8_t>(30 + Triangle(2 * y));
    rgb[2] = 128;
}

DecodedJpeg DecodeJpeg(const Bytes& file) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr errors{};
    d.err = jpeg_std_error(&errors);
    errors.error_exit = Throw;
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), file.size());
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    DecodedJpeg out;
    out.width = static_cast<int>(d.output_width);
    out.height = static_cast<int>(d.output_height);
    out.components = d.output_components;
    std::size_t rowBytes = static_cast<std::size_t>(out.width) * out.components;
    out.pixels.resize(rowBytes * out.height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[1] = {out.pixels.data() + rowBytes * d.output_scanline};
        jpeg_read_scanlines(&d, rows, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return out;
}

double MeanErrorAgainst(const DibHandle& handle, const PixelSource& source) {
    DibInfo info = DibDescribe(handle->Bytes());
    std::int64_t stride = DibRowStride(info.width, 24);
    double sum = 0;
    for (int y = 0; y < info.height; ++y) {
        const std::uint8_t* row = handle->Bytes() + 40 + (info.height - 1 - y) * stride;
        for (int x = 0; x < info.width; ++x) {
            std::uint8_t rgb[4];
            source(x, y, rgb);
            sum += std::abs(row[3 * x] - rgb[2]) + std::abs(row[3 * x + 1] - rgb[1]) +
                   std::abs(row[3 * x + 2] - rgb[0]);
        }
    }
    return sum / (3.0 * info.width * info.height);
}
