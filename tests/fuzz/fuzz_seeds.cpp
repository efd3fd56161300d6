// Writes the seed corpora under tests/fuzz/corpus/<target>/: files made by the program itself
// (painted pictures saved as BMP, JPEG and PNG, the default parameter file, the document's own
// picture block) and small hand-made files for every bit depth, header kind and JPEG variant.
// Run from the source root: build-fuzz/tests/fuzz/fuzz_seeds tests/fuzz/corpus
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "fuzz_input.h"
#include "picture/jpeg_file.h"
#include "picture/jpeg_maker.h"
#include "picture/picture_files.h"
#include "picture/png_file.h"
#include "picture/png_maker.h"

namespace fs = std::filesystem;

namespace {

fs::path g_root;

std::string SeedPath(const std::string& target, const std::string& name) {
    fs::create_directories(g_root / target);
    return (g_root / target / name).string();
}

void WriteSeed(const std::string& target, const std::string& name, const Bytes& bytes) {
    WriteFileBytes(SeedPath(target, name), bytes);
}

Bytes BlockBytes(const DibImage& block) {
    return Bytes(block.Bytes(), block.Bytes() + block.Size());
}

// A document painted at a small size: its picture as the program saves and copies it.
std::unique_ptr<CDibDoc> PaintedDocument(UserPrompts& ui, int width, int height) {
    auto doc = std::make_unique<CDibDoc>(ui);
    doc->m_figure.m_nWidth = width;
    doc->m_figure.m_nHeight = height;
    if (doc->PreparePicture(false) == 0) std::abort();
    return doc;
}

void ProgramSeeds(UserPrompts& ui) {
    for (auto [w, h] : {std::pair{17, 11}, std::pair{1, 1}, std::pair{32, 3}}) {
        auto doc = PaintedDocument(ui, w, h);
        std::string size = std::to_string(w) + "x" + std::to_string(h);
        DibSaveBmpFile(SeedPath("fuzz_bmp", "painted-" + size + ".bmp"), doc->m_hDIB, 0, ui);
        JpegWritePicture(SeedPath("fuzz_jpeg", "painted-" + size + ".jpg"), doc->m_hDIB, 90, ui);
        WriteSeed("fuzz_paste", "painted-" + size + ".dib", BlockBytes(*doc->m_hDIB));
    }
    auto doc = PaintedDocument(ui, 24, 16);
    JpegWritePicture(SeedPath("fuzz_jpeg", "painted-q5.jpg"), doc->m_hDIB, 5, ui);
    JpegWritePicture(SeedPath("fuzz_jpeg", "painted-q100.jpg"), doc->m_hDIB, 100, ui);

    FigureEngine figure;
    SaveDatFile(figure, SeedPath("fuzz_dat", "default.dat"));
    std::snprintf(figure.m_szVersion, sizeof figure.m_szVersion, "Dorvanta Version 1.0");
    figure.m_nSeriesLen = 25;
    figure.m_szSeries[25] = '\0';
    figure.m_nUn = -2147483647 - 1;
    figure.m_nGs = 2147483647;
    SaveDatFile(figure, SeedPath("fuzz_dat", "version1-short-series.dat"));
}

Bytes Rows(int stride, int height, std::uint8_t seed) {
    Bytes rows(static_cast<std::size_t>(stride) * height);
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(seed + 7 * i);
    return rows;
}

Bytes Palette(int entries, int entryBytes) {
    Bytes table;
    for (int i = 0; i < entries; ++i)
        for (int b = 0; b < entryBytes; ++b) table.push_back(static_cast<std::uint8_t>(i * 37 + b));
    return table;
}

void BmpSeeds() {
    const int w = 5, h = 3;
    auto plain = [&](int bits) {
        return BmpFields().Width(w).Height(h).Bits(static_cast<std::uint16_t>(bits));
    };
    WriteSeed("fuzz_bmp", "bits1.bmp",
              BuildBmp(plain(1).Table(Palette(2, 4)).Pixels(Rows(4, h, 1))));
    WriteSeed("fuzz_bmp", "bits4.bmp",
              BuildBmp(plain(4).Table(Palette(16, 4)).Pixels(Rows(4, h, 2))));
    WriteSeed("fuzz_bmp", "bits8.bmp",
              BuildBmp(plain(8).ColourUsed(6).Table(Palette(6, 4)).Pixels(Rows(8, h, 3))));
    WriteSeed("fuzz_bmp", "bits24-topdown.bmp",
              BuildBmp(plain(24).Height(-h).Pixels(Rows(16, h, 4))));
    WriteSeed("fuzz_bmp", "bits32.bmp",
              BuildBmp(plain(32).Table(Bytes(12, 0)).Pixels(Rows(20, h, 5))));
    Bytes masks = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
    WriteSeed("fuzz_bmp", "bits32-bitfields.bmp",
              BuildBmp(plain(32).Compression(3).Table(masks).Pixels(Rows(20, h, 6))));
    WriteSeed("fuzz_bmp", "bits16.bmp", BuildBmp(plain(16).Pixels(Rows(12, h, 7))));
    WriteSeed("fuzz_bmp", "core-bits8.bmp",
              BuildBmp(plain(8).HeaderBytes(12).Table(Palette(256, 3)).Pixels(Rows(8, h, 8))));
    WriteSeed("fuzz_bmp", "core-bits24.bmp",
              BuildBmp(plain(24).HeaderBytes(12).Pixels(Rows(16, h, 9))));
    WriteSeed("fuzz_bmp", "v5-bits24.bmp",
              BuildBmp(plain(24).HeaderBytes(124).Pixels(Rows(16, h, 10))));
    WriteSeed("fuzz_bmp", "gap-bits24.bmp",
              BuildBmp(plain(24).Gap(Bytes(10, 0xEE)).Pixels(Rows(16, h, 11))));
    // Run-length data: runs, a literal, a move, end of line and end of picture.
    Bytes rle8 = {3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 1, 0, 2, 5, 0, 0, 0, 1};
    WriteSeed("fuzz_bmp", "rle8.bmp",
              BuildBmp(plain(8).Compression(1).ColourUsed(6).Table(Palette(6, 4)).Pixels(rle8)));
    Bytes rle4 = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 0, 4, 0xAB, 0, 1};
    WriteSeed("fuzz_bmp", "rle4.bmp",
              BuildBmp(plain(4).Compression(2).Table(Palette(16, 4)).Pixels(rle4)));
    WriteSeed("fuzz_bmp", "truncated.bmp", [&] {
        Bytes b = BuildBmp(plain(24).Pixels(Rows(16, h, 12)));
        b.resize(b.size() - 5);
        return b;
    }());
    WriteSeed("fuzz_bmp", "header-only.bmp", Bytes{'B', 'M', 14, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0});
}

void JpegSeeds() {
    auto write = [](const std::string& name, const JpegOptions& options) {
        WriteSeed("fuzz_jpeg", name, MakeJpeg(options, GradientPixel));
    };
    write("baseline-420.jpg", JpegOptions().Size(19, 13));
    write("baseline-444.jpg", JpegOptions().Size(8, 9).Subsample420(false));
    write("progressive.jpg", JpegOptions().Size(21, 10).Progressive(true));
    write("restart.jpg", JpegOptions().Size(16, 40).RestartRows(1));
    write("arithmetic.jpg", JpegOptions().Size(12, 12).Arithmetic(true));
    auto ink = [](int x, int y, std::uint8_t* pixel) {
        pixel[0] = static_cast<std::uint8_t>(16 * x + y);
    };
    WriteSeed("fuzz_jpeg", "grey.jpg",
              MakeJpeg(JpegOptions().Size(9, 7).Kind(JpegKind::Grey), ink));
    auto cmyk = [](int x, int y, std::uint8_t* pixel) {
        for (int i = 0; i < 4; ++i) pixel[i] = static_cast<std::uint8_t>(20 * x + 30 * y + 50 * i);
    };
    WriteSeed("fuzz_jpeg", "cmyk.jpg",
              MakeJpeg(JpegOptions().Size(9, 7).Kind(JpegKind::Cmyk), cmyk));
    Bytes cut = MakeJpeg(JpegOptions().Size(16, 16), GradientPixel);
    cut.resize(cut.size() / 2);
    WriteSeed("fuzz_jpeg", "truncated.jpg", cut);
}

void PasteSeeds() {
    WriteSeed("fuzz_paste", "picture-3x2.dib", BlockBytes(*MakeTestPicture(3, 2)));
    Bytes bmp = BuildBmp(
        BmpFields().Width(4).Height(2).Bits(8).Table(Palette(256, 4)).Pixels(Rows(4, 2, 1)));
    WriteSeed("fuzz_paste", "bits8.dib", Bytes(bmp.begin() + 14, bmp.end()));
    Bytes core = BuildBmp(BmpFields().HeaderBytes(12).Width(2).Height(2).Pixels(Rows(8, 2, 2)));
    WriteSeed("fuzz_paste", "core-bits24.dib", Bytes(core.begin() + 14, core.end()));
    Bytes tall = BlockBytes(*MakeTestPicture(2, 6));
    tall.resize(tall.size() - 8);  // the header promises more rows than the block holds
    WriteSeed("fuzz_paste", "short-block.dib", tall);
}

void DatSeeds() {
    const char* lines =
        "Dorvanta Version 4.0\r\nbroken\r\nBSbsCr 12#\r\nOffset Unit 99999999999  Offset G Sec "
        "-5   Gradient On 7\r\nOrder 99\r\nCentre View: x = 1e308  y = -nan  Exp Magn = 1e5\r\n"
        "DrawItems  1   1   1   1   1   1   1   1\r\nDrawLines  1   0   1   0   1\r\n"
        "Colors in RGB format: \r\n300  -1  254.6\r\n";
    WriteSeed("fuzz_dat", "hostile-values.dat",
              Bytes(reinterpret_cast<const std::uint8_t*>(lines),
                    reinterpret_cast<const std::uint8_t*>(lines) +
                        std::char_traits<char>::length(lines)));
    const char* missing = "Dorvanta Version 4.0\r\nComment\r\nBS#\r\nOffset G Sec 3\r\n";
    WriteSeed("fuzz_dat", "missing-unit.dat",
              Bytes(reinterpret_cast<const std::uint8_t*>(missing),
                    reinterpret_cast<const std::uint8_t*>(missing) +
                        std::char_traits<char>::length(missing)));
}

// PNGs as the program writes them (with and without the parameter chunk, one whose chunk does
// not read) and from libspng in every colour type, depths 1 to 16, interlaced and with tRNS.
void PngSeeds(UserPrompts& ui) {
    for (auto [w, h] : {std::pair{17, 11}, std::pair{1, 1}}) {
        auto doc = PaintedDocument(ui, w, h);
        std::string size = std::to_string(w) + "x" + std::to_string(h);
        PngWritePicture(SeedPath("fuzz_png", "figure-" + size + ".png"), doc->m_hDIB,
                        doc->PictureParameterText(), ui);
        PngWritePicture(SeedPath("fuzz_png", "plain-" + size + ".png"), doc->m_hDIB, "", ui);
    }
    auto doc = PaintedDocument(ui, 5, 4);
    PngWritePicture(SeedPath("fuzz_png", "broken-parameters.png"), doc->m_hDIB,
                    "Dorvanta Version 4.0\r\nComment\r\nBS#\r\nOffset G Sec 3\r\n", ui);
    struct Kind {
        const char* name;
        int colourType;
        int depth;
        bool interlaced;
    };
    for (Kind kind :
         {Kind{"grey1", kPngGrey, 1, false}, Kind{"grey16-adam7", kPngGrey, 16, true},
          Kind{"palette4-trns", kPngPalette, 4, false},
          Kind{"grey-alpha8-adam7", kPngGreyAlpha, 8, true}, Kind{"rgb16-trns", kPngRgb, 16, false},
          Kind{"rgba8", kPngRgba, 8, false}, Kind{"rgba16-adam7", kPngRgba, 16, true}}) {
        PngSpec spec;
        spec.width = 9;
        spec.height = 7;
        spec.colourType = kind.colourType;
        spec.depth = kind.depth;
        spec.interlaced = kind.interlaced;
        const int top = (1 << kind.depth) - 1;
        const int count = 9 * 7 * ChannelsOf(kind.colourType);
        for (int i = 0; i < count; ++i) {
            spec.samples.push_back(static_cast<std::uint16_t>((i * 2654435761u) % (top + 1)));
        }
        if (kind.colourType == kPngPalette) {
            for (int i = 0; i <= top; ++i) {
                spec.palette.push_back({static_cast<std::uint8_t>(i * 16),
                                        static_cast<std::uint8_t>(255 - i * 16),
                                        static_cast<std::uint8_t>(i * 7)});
                spec.paletteAlpha.push_back(static_cast<std::uint8_t>(i * 17));
            }
        }
        if (kind.colourType == kPngRgb) spec.transparentColour = {{0, 0, 0}};
        WriteSeed("fuzz_png", std::string(kind.name) + ".png", MakePng(spec));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds CORPUS-DIRECTORY\n");
        return 2;
    }
    g_root = argv[1];
    SilentPrompts ui;
    ProgramSeeds(ui);
    BmpSeeds();
    JpegSeeds();
    PasteSeeds();
    DatSeeds();
    PngSeeds(ui);
    if (ui.messages != 0) std::fprintf(stderr, "fuzz_seeds: %d messages\n", ui.messages);
    return ui.messages == 0 ? 0 : 1;
}
