#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "picture/png_file.h"
#include "picture/png_maker.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kParameters = "Dorvanta Version 4.0\r\nA comment\r\nSBSBB#\r\n";

struct Loaded {
    bool ok = false;
    DibHandle handle;
    PictureSize size;
    std::optional<std::string> text;
    std::vector<std::string> texts;
};

// Reads the file at path, or the bytes in memory (named path) when given.
Loaded ReadPng(const std::string& path, DibHandle handle = nullptr, const Bytes* memory = nullptr) {
    ScriptedPrompts ui;
    Loaded result;
    result.handle = std::move(handle);
    result.ok = memory ? PngReadPictureFromMemory(memory->data(), memory->size(), path,
                                                  result.handle, result.size, result.text, ui)
                       : PngReadPicture(path, result.handle, result.size, result.text, ui);
    result.texts = ui.Texts();
    return result;
}

Loaded ReadPngBytes(const TempDir& dir, const Bytes& file, DibHandle handle = nullptr) {
    std::string path = dir.File("in.png");
    WriteFileBytes(path, file);
    return ReadPng(path, std::move(handle));
}

// Everything the encoder gives, in one vector.
struct Captured {
    Bytes bytes;
    PngRowEncoder::Sink Sink() {
        return [this](const std::uint8_t* data, std::size_t count) {
            bytes.insert(bytes.end(), data, data + count);
            return true;
        };
    }
};

// Pixel (x, y counted from the top) of a picture block, as blue, green, red.
std::array<std::uint8_t, 3> PixelAt(const DibImage& block, int x, int yFromTop) {
    DibInfo info = DibDescribe(block.Bytes());
    const std::uint8_t* p = DibPixelData(block.Bytes(), 0) +
                            (info.height - 1 - yFromTop) * DibRowStride(info.width, 24) + 3 * x;
    return {p[0], p[1], p[2]};
}

bool SamePixels(const DibImage& a, const DibImage& b) {
    DibInfo ia = DibDescribe(a.Bytes());
    DibInfo ib = DibDescribe(b.Bytes());
    if (ia.width != ib.width || ia.height != ib.height) return false;
    for (int y = 0; y < ia.height; ++y)
        for (int x = 0; x < ia.width; ++x)
            if (PixelAt(a, x, y) != PixelAt(b, x, y)) return false;
    return true;
}

const PngChunk& Chunk(const std::vector<PngChunk>& chunks, const std::string& type) {
    for (const PngChunk& chunk : chunks)
        if (chunk.type == type) return chunk;
    throw std::runtime_error("no " + type);
}

std::string Inflate(const std::uint8_t* data, std::size_t count) {
    std::string out(1 << 20, '\0');
    uLongf length = out.size();
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &length, data, count), Z_OK);
    out.resize(length);
    return out;
}

}  // namespace

// ---- The written file ----

TEST(PngWritePicture, WritesRgbChunksSoftwareAndParametersAndNoTimeChunk) {
    TempDir dir;
    ScriptedPrompts ui;
    DibHandle picture = MakeTestPicture(37, 23);
    const std::string path = dir.File("out.png");
    ASSERT_TRUE(PngWritePicture(path, picture, kParameters, ui));
    EXPECT_TRUE(ui.messages.empty());
    Bytes png = ReadFileBytes(path);
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(Bytes(png.begin(), png.begin() + 8), (Bytes{137, 80, 78, 71, 13, 10, 26, 10}));
    std::vector<std::string> types;
    for (const PngChunk& chunk : ChunksOf(png)) {
        types.push_back(chunk.type);
        const uLong crc = crc32(0, png.data() + chunk.offset + 4, 4 + chunk.length);
        const std::size_t at = chunk.offset + 8 + chunk.length;
        EXPECT_EQ(crc, (uLong{png[at]} << 24) | (uLong{png[at + 1]} << 16) |
                           (uLong{png[at + 2]} << 8) | png[at + 3])
            << chunk.type;
        const std::uint8_t* data = png.data() + chunk.offset + 8;
        if (chunk.type == "IHDR") {
            EXPECT_EQ(Bytes(data, data + 13), (Bytes{0, 0, 0, 37, 0, 0, 0, 23, 8, 2, 0, 0, 0}));
        }
        if (chunk.type == "sRGB") {
            EXPECT_EQ(Bytes(data, data + chunk.length), Bytes{0});
        }
        if (chunk.type == "tEXt") {
            EXPECT_EQ(std::string(data, data + chunk.length),
                      std::string("Software") + '\0' + "Dorvanta 4.0");
        }
        if (chunk.type == "zTXt") {
            ASSERT_GT(chunk.length, 10u);
            EXPECT_EQ(std::string(data, data + 10), std::string("Dorvanta") + '\0' + '\0');
            EXPECT_EQ(Inflate(data + 10, chunk.length - 10), kParameters);
        }
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "sRGB", "tEXt", "zTXt", "IDAT", "IEND"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(PngWritePicture, PassesPngcheckWhenItIsInstalled) {
    if (std::system("command -v pngcheck >/dev/null 2>&1") != 0) GTEST_SKIP() << "no pngcheck";
    TempDir dir;
    ScriptedPrompts ui;
    for (auto [width, height] : {std::pair{1, 1}, {641, 3}, {300, 200}}) {
        const std::string path = dir.File("check.png");
        ASSERT_TRUE(PngWritePicture(path, MakeTestPicture(width, height), kParameters, ui,
                                    {width % 10, 300 + height}));
        EXPECT_EQ(std::system(("pngcheck -q " + path).c_str()), 0) << width << "x" << height;
    }
}

// The only-order note goes only with the parameter text; pHYs holds dots per metre, rounded.
TEST(PngWritePicture, WritesTheOnlyOrderNoteAndThePrintResolutionWhenGiven) {
    struct Case {
        std::string text;
        PngExtras extras;
        std::vector<std::string> types;
        std::string phys;
    };
    const std::vector<Case> cases = {
        {kParameters, {3, 0}, {"IHDR", "sRGB", "tEXt", "zTXt", "tEXt", "PLTE", "IDAT", "IEND"}, ""},
        {"",
         {3, 300},
         {"IHDR", "sRGB", "pHYs", "tEXt", "PLTE", "IDAT", "IEND"},
         std::string("\0\0\x2e\x23", 4)},
        {kParameters,
         {0, 1},
         {"IHDR", "sRGB", "pHYs", "tEXt", "zTXt", "tEXt", "PLTE", "IDAT", "IEND"},
         std::string("\0\0\0\x27", 4)},
        {"", {-1, kPngMaxDotsPerInch + 1}, {"IHDR", "sRGB", "tEXt", "PLTE", "IDAT", "IEND"}, ""},
    };
    // The test picture has few colours, so it is written with a palette (PLTE).
    TempDir dir;
    for (const Case& c : cases) {
        ScriptedPrompts ui;
        const std::string path = dir.File("extras.png");
        ASSERT_TRUE(PngWritePicture(path, MakeTestPicture(9, 7), c.text, ui, c.extras));
        const Bytes png = ReadFileBytes(path);
        std::vector<std::string> types;
        for (const PngChunk& chunk : ChunksOf(png)) {
            types.push_back(chunk.type);
            const char* data = reinterpret_cast<const char*>(png.data()) + chunk.offset + 8;
            if (chunk.type == "pHYs") {
                EXPECT_EQ(std::string(data, 9), c.phys + c.phys + "\x01");
            }
        }
        EXPECT_EQ(types, c.types) << c.extras.onlyOrder << " " << c.extras.dotsPerInch;
        PngFigure figure;
        ASSERT_TRUE(PngReadFigure(path, figure, ui));
        EXPECT_EQ(figure.onlyOrder, c.text.empty() ? -1 : c.extras.onlyOrder);
    }
}

TEST(PngWritePicture, RoundTripGivesThePixelsAndTheParameterTextBack) {
    TempDir dir;
    for (auto [width, height] : {std::pair{1, 1}, {641, 3}, {37, 23}, {2, 300}}) {
        for (const std::string& text : {kParameters, std::string()}) {
            ScriptedPrompts ui;
            DibHandle picture = MakeTestPicture(width, height, width + height);
            DibHandle before = DibCopyBlock(picture);
            const std::string path = dir.File("round.png");
            PngEncoding quick;  // a thumbnail's encoding for the pictures without the text
            quick.quick = text.empty();
            ASSERT_TRUE(PngWritePicture(path, picture, text, ui, {}, quick));
            EXPECT_EQ(Bytes(picture->Bytes(), picture->Bytes() + picture->Size()),
                      Bytes(before->Bytes(), before->Bytes() + before->Size()));
            Loaded back = ReadPng(path);
            ASSERT_TRUE(back.ok) << width << "x" << height;
            EXPECT_EQ(back.size.width, width);
            EXPECT_EQ(back.size.height, height);
            EXPECT_TRUE(DibIsPicture24(*back.handle));
            EXPECT_TRUE(SamePixels(*back.handle, *picture));
            if (text.empty()) {
                EXPECT_FALSE(back.text.has_value());
            } else {
                EXPECT_EQ(back.text, text);
            }
        }
    }
}

TEST(PngWritePicture, SameFigureGivesTheSameBytes) {
    TempDir dir;
    ScriptedPrompts ui;
    DibHandle picture = MakeTestPicture(120, 90);
    ASSERT_TRUE(PngWritePicture(dir.File("a.png"), picture, kParameters, ui));
    ASSERT_TRUE(PngWritePicture(dir.File("b.png"), picture, kParameters, ui));
    EXPECT_EQ(ReadFileBytes(dir.File("a.png")), ReadFileBytes(dir.File("b.png")));
}

TEST(PngWritePicture, AFailedWriteKeepsTheEarlierFileAndSaysWhy) {
    TempDir dir;
    ScriptedPrompts ui;
    const std::string path = dir.File("keep.png");
    WriteFileBytes(path, Bytes{1, 2, 3});
    EXPECT_FALSE(PngWritePicture(path, nullptr, kParameters, ui));
    EXPECT_TRUE(ui.messages.empty());
    const std::string missing = dir.File("no/such/dir.png");
    EXPECT_FALSE(PngWritePicture(missing, MakeTestPicture(4, 4), kParameters, ui));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Failed to write: " + missing +
                                                   "\nNo such file or directory"});
    EXPECT_EQ(ReadFileBytes(path), (Bytes{1, 2, 3}));
}

// ---- The streaming encoder ----

// Pixel (x, y) of the procedural picture, blue, green, red: flat bands with thin lines, like a
// figure; from row 600 on the rows mostly repeat the row above, so that large pictures have parts
// of both kinds.
std::array<std::uint8_t, 3> ProceduralPixel(std::int64_t x, std::int64_t y) {
    const bool line = (x + 3 * y) % 97 == 0;
    return {static_cast<std::uint8_t>(line ? 20 : x / 50),
            static_cast<std::uint8_t>(line ? 200 : std::min<std::int64_t>(y, 600)),
            static_cast<std::uint8_t>((x ^ y) & 0xC0)};
}

// Feeds a procedural picture to the encoder in pieces of random size (or whole rows) and returns
// the file.
Bytes EncodeProcedural(std::int64_t width, std::int64_t height, unsigned seed, bool wholeRows,
                       PngEncoding encoding = {}) {
    Captured out;
    PngRowEncoder png(width, height, kParameters, out.Sink(), {}, std::move(encoding));
    std::vector<std::uint8_t> row(3 * static_cast<std::size_t>(width));
    std::mt19937 random(seed);
    for (std::int64_t y = 0; y < height; ++y) {
        for (std::int64_t x = 0; x < width; ++x) {
            const auto pixel = ProceduralPixel(x, y);
            std::copy(pixel.begin(), pixel.end(), row.begin() + 3 * x);
        }
        if (wholeRows) {
            EXPECT_TRUE(png.AddRows(row.data(), 1, 0));
            continue;
        }
        for (std::int64_t done = 0; done < width;) {
            std::int64_t count = std::min<std::int64_t>(width - done, 1 + random() % 70000);
            EXPECT_TRUE(png.AddPixels(row.data() + 3 * done, count));
            done += count;
        }
    }
    EXPECT_TRUE(png.Finish());
    return out.bytes;
}

TEST(PngRowEncoder, PiecesOfAnySizeGiveTheBytesOfTheWholePictureWriter) {
    TempDir dir;
    ScriptedPrompts ui;
    DibHandle picture = MakeTestPicture(641, 77, 5);
    const std::string path = dir.File("whole.png");
    ASSERT_TRUE(PngWritePicture(path, picture, kParameters, ui));
    const DibInfo info = DibDescribe(picture->Bytes());
    const std::int64_t stride = DibRowStride(info.width, 24);
    for (unsigned seed : {1u, 2u, 3u}) {
        Captured out;
        PngRowEncoder png(641, 77, kParameters, out.Sink());
        std::mt19937 random(seed);
        for (int y = 0; y < 77; ++y) {
            const std::uint8_t* row = DibPixelData(picture->Bytes(), 0) + (76 - y) * stride;
            for (int done = 0; done < 641;) {
                int count = std::min<int>(641 - done, static_cast<int>(random() % 300));
                ASSERT_TRUE(png.AddPixels(row + 3 * done, count));
                done += count;
            }
        }
        ASSERT_TRUE(png.Finish());
        EXPECT_EQ(out.bytes, ReadFileBytes(path)) << "seed " << seed;
    }
}

// Large pictures are compressed in many parts (of many rows, or of one very wide row each); split
// or whole, the bytes are the same, and they read back as the pixels that went in.
TEST(PngRowEncoder, StreamedPicturesDoNotDependOnHowTheyWereSplit) {
    struct Case {
        std::int64_t width, height;
    };
    for (Case c : {Case{4000, 3000}, Case{5592406, 2}}) {
        Bytes whole = EncodeProcedural(c.width, c.height, 0, true);
        Bytes split = EncodeProcedural(c.width, c.height, 7, false);
        EXPECT_EQ(whole, split) << c.width << "x" << c.height;
        const Loaded back = ReadPng("big.png", nullptr, &whole);
        ASSERT_TRUE(back.ok);
        EXPECT_EQ(back.text, kParameters);
        for (std::int64_t x : {std::int64_t{0}, c.width / 3, c.width - 1}) {
            const std::int64_t y = c.height - 1;
            EXPECT_EQ(PixelAt(*back.handle, static_cast<int>(x), static_cast<int>(y)),
                      ProceduralPixel(x, y));
        }
    }
}

TEST(PngRowEncoder, RefusesWrongSizesTooManyOrTooFewPixelsAndAFailingSink) {
    std::uint8_t pixels[30] = {};
    for (auto [width, height] : {std::pair<std::int64_t, std::int64_t>{0, 1},
                                 {1, 0},
                                 {-1, 5},
                                 {std::int64_t{1} << 31, 1}}) {
        Captured out;
        PngRowEncoder png(width, height, "", out.Sink());
        EXPECT_TRUE(png.Failed());
        EXPECT_FALSE(png.Finish());
        EXPECT_TRUE(out.bytes.empty());
    }
    {
        Captured out;
        PngRowEncoder png(3, 3, "", out.Sink());
        EXPECT_TRUE(png.AddPixels(pixels, 8));
        EXPECT_FALSE(png.Finish());  // one pixel missing
    }
    {
        Captured out;
        PngRowEncoder png(3, 3, "", out.Sink());
        EXPECT_FALSE(png.AddPixels(pixels, 10));  // one too many
        EXPECT_FALSE(png.Finish());
    }
    {
        Captured out;
        PngRowEncoder png(3, 3, "", out.Sink());
        EXPECT_TRUE(png.AddPixels(pixels, 1));
        EXPECT_FALSE(png.AddRows(pixels, 1, 9));  // rows must start at a row
    }
    int calls = 0;
    PngRowEncoder png(3, 3, "", [&calls](const std::uint8_t*, std::size_t) { return ++calls < 3; });
    EXPECT_FALSE(png.AddPixels(pixels, 9) && png.Finish());
    EXPECT_TRUE(png.Failed());
    EXPECT_EQ(calls, 3);  // nothing more after the failure
}

// Parts on `threads` threads of their own, each taking the next part as it comes.
PngEncoding OnThreads(int threads) {
    PngEncoding encoding;
    encoding.threads = threads;
    encoding.runParts = [threads](int parts, const std::function<void(int)>& work) {
        std::atomic<int> next{0};
        std::vector<std::thread> running;
        for (int t = 0; t < threads; ++t) {
            running.emplace_back([&] {
                for (int part; (part = next++) < parts;) work(part);
            });
        }
        for (std::thread& t : running) t.join();
    };
    return encoding;
}

// The zlib stream of the IDAT chunks.
Bytes ImageData(const Bytes& png) {
    Bytes data;
    for (const PngChunk& chunk : ChunksOf(png)) {
        const auto at = png.begin() + static_cast<std::ptrdiff_t>(chunk.offset + 8);
        if (chunk.type == "IDAT") data.insert(data.end(), at, at + chunk.length);
    }
    return data;
}

// Pictures of many parts compressed on several threads give the bytes of one thread; zlib takes
// the joined stream (its Adler-32 included) and libspng reads back every pixel.
TEST(PngRowEncoder, PartsOnAnyNumberOfThreadsGiveOneValidStreamAndTheSameBytes) {
    for (auto [width, height] : {std::pair{1500, 1000}, {700, 3}, {4000, 20}}) {
        const Bytes alone = EncodeProcedural(width, height, 0, true);
        for (const int threads : {2, 3, 8}) {
            EXPECT_EQ(EncodeProcedural(width, height, 0, true, OnThreads(threads)), alone)
                << width << "x" << height << ", " << threads << " threads";
        }
        const Bytes stream = ImageData(alone);
        std::vector<Bytef> filtered(static_cast<std::size_t>(height) * (1 + 3 * width));
        uLongf length = filtered.size();
        ASSERT_EQ(uncompress(filtered.data(), &length, stream.data(), stream.size()), Z_OK);
        EXPECT_EQ(length, filtered.size());
        const Loaded back = ReadPng("p.png", nullptr, &alone);
        ASSERT_TRUE(back.ok);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                ASSERT_EQ(PixelAt(*back.handle, x, y), ProceduralPixel(x, y)) << x << "," << y;
            }
        }
    }
}

// A sink refusing the first image data (while rows come, or at the end when one batch holds them
// all) stops the encoding: nothing is handed on after it.
TEST(PngRowEncoder, ASinkFailureStopsEveryPartAndNothingFollows) {
    std::mt19937 random(9);
    std::vector<std::uint8_t> rows(3 * 2000 * 2000);
    for (std::uint8_t& byte : rows) byte = static_cast<std::uint8_t>(random());
    for (const int threads : {1, 4}) {
        int calls = 0, refused = 0;
        PngRowEncoder png(
            2000, 2000, "",
            [&](const std::uint8_t*, std::size_t count) {
                ++calls;
                if (count < kPngIdatChunkBytes) return true;
                ++refused;
                return false;
            },
            PngExtras{}, OnThreads(threads));
        bool added = true;
        for (int y = 0; y < 2000 && added; ++y) added = png.AddRows(rows.data() + 6000 * y, 1, 0);
        EXPECT_FALSE(added && png.Finish()) << threads << " threads";
        EXPECT_TRUE(png.Failed());
        const int callsAtFailure = calls;
        EXPECT_FALSE(png.AddRows(rows.data(), 1, 0) || png.Finish());
        EXPECT_EQ(calls, callsAtFailure);
        EXPECT_EQ(refused, 1) << threads << " threads";
    }
}

using Pixel = std::array<std::uint8_t, 3>;

// A picture of width x height whose pixel i (counted along the rows of the block) is pixel(i).
DibHandle PictureOf(int width, int height, const std::function<Pixel(int)>& pixel) {
    DibHandle picture = MakeTestPicture(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = DibPixelData(picture->Bytes(), 0) + y * DibRowStride(width, 24);
        for (int x = 0; x < width; ++x) {
            const Pixel p = pixel(x + width * y);
            std::copy(p.begin(), p.end(), row + 3 * x);
        }
    }
    return picture;
}

// At most 256 colours: a palette of the smallest depth that holds them, read back exactly.
TEST(PngWritePicture, FewColoursAreWrittenWithAPaletteOfTheSmallestDepth) {
    struct Case {
        int colours, colourType, depth;
    };
    for (Case c :
         {Case{1, 3, 1}, {2, 3, 1}, {3, 3, 2}, {16, 3, 4}, {17, 3, 8}, {256, 3, 8}, {257, 2, 8}}) {
        TempDir dir;
        ScriptedPrompts ui;
        const DibHandle picture = PictureOf(37, 23, [&](int i) {
            const int n = i % c.colours;
            return Pixel{static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                         static_cast<std::uint8_t>(n * 7)};
        });
        const std::string path = dir.File("few.png");
        ASSERT_TRUE(PngWritePicture(path, picture, kParameters, ui));
        const Bytes png = ReadFileBytes(path);
        EXPECT_EQ(png[24], c.depth) << c.colours;
        EXPECT_EQ(png[25], c.colourType) << c.colours;
        Loaded read = ReadPng(path);
        ASSERT_TRUE(read.ok) << c.colours;
        EXPECT_TRUE(SamePixels(*read.handle, *picture)) << c.colours;
        EXPECT_EQ(read.text, kParameters);
        EXPECT_EQ(read.size.width, 37);
    }
}

// A picture of one colour costs its image data and little more, however many parts its size
// would give RGB rows.
TEST(PngWritePicture, OneColourPictureHasTinyImageData) {
    TempDir dir;
    ScriptedPrompts ui;
    const DibHandle picture = PictureOf(1200, 900, [](int) { return Pixel{77, 77, 77}; });
    const std::string path = dir.File("one.png");
    ASSERT_TRUE(PngWritePicture(path, picture, "", ui));
    EXPECT_LT(ImageData(ReadFileBytes(path)).size(), 170u);
    EXPECT_TRUE(SamePixels(*ReadPng(path).handle, *picture));
}

// ---- Reading every kind of PNG ----

namespace {

double Nearest(double v) {
    return std::floor(v + 0.5);
}

// The expected picture pixel (blue, green, red) of pixel i of a spec: the samples scaled to
// 8 bits (16-bit ones composited first at 16 bits), over white.
std::array<std::uint8_t, 3> Expected(const PngSpec& spec, std::size_t i) {
    const int channels = ChannelsOf(spec.colourType);
    const std::uint16_t* s = spec.samples.data() + i * channels;
    const double top = std::pow(2.0, spec.colourType == kPngPalette ? 8 : spec.depth) - 1;
    double rgb[3];
    double alpha = top;
    if (spec.colourType == kPngPalette) {
        for (int k = 0; k < 3; ++k) rgb[k] = spec.palette[s[0]][k];
        if (s[0] < spec.paletteAlpha.size()) alpha = spec.paletteAlpha[s[0]];
    } else {
        const bool grey = channels <= 2;
        for (int k = 0; k < 3; ++k) rgb[k] = s[grey ? 0 : k];
        if (channels == 2 || channels == 4) alpha = s[channels - 1];
        if (spec.transparentColour) {
            bool match = grey ? s[0] == (*spec.transparentColour)[0]
                              : s[0] == (*spec.transparentColour)[0] &&
                                    s[1] == (*spec.transparentColour)[1] &&
                                    s[2] == (*spec.transparentColour)[2];
            if (match) alpha = 0;
        }
    }
    std::array<std::uint8_t, 3> out{};
    for (int k = 0; k < 3; ++k) {
        double v;
        if (spec.depth == 16) {
            v = Nearest((rgb[k] * alpha + 65535.0 * (65535.0 - alpha)) / 65535.0);
            v = Nearest(v * 255.0 / 65535.0);
        } else {
            double c = rgb[k] * 255.0 / top;
            double a = alpha * 255.0 / top;
            v = Nearest((c * a + 255.0 * (255.0 - a)) / 255.0);
        }
        out[2 - k] = static_cast<std::uint8_t>(v);
    }
    return out;
}

PngSpec RandomSpec(int colourType, int depth, bool interlaced, unsigned seed) {
    PngSpec spec;
    spec.width = 13;
    spec.height = 11;
    spec.colourType = colourType;
    spec.depth = depth;
    spec.interlaced = interlaced;
    std::mt19937 random(seed);
    const std::uint32_t top = (1u << depth) - 1;
    const std::size_t count = std::size_t{13} * 11 * ChannelsOf(colourType);
    for (std::size_t i = 0; i < count; ++i) {
        // The extremes and random values in between.
        std::uint32_t v = random() % 4 == 0 ? (random() % 2) * top : random() % (top + 1);
        spec.samples.push_back(static_cast<std::uint16_t>(v));
    }
    if (colourType == kPngPalette) {
        for (std::uint32_t i = 0; i <= top; ++i) {
            spec.palette.push_back({static_cast<std::uint8_t>(random()),
                                    static_cast<std::uint8_t>(random()),
                                    static_cast<std::uint8_t>(random())});
        }
        for (std::uint32_t i = 0; i <= top / 2; ++i) {
            spec.paletteAlpha.push_back(static_cast<std::uint8_t>(i == 0 ? 0 : random()));
        }
    }
    return spec;
}

// Reads the PNG of spec back: the picture of its size, every pixel as expected, and no text.
void ExpectReadBack(const TempDir& dir, const PngSpec& spec, const std::string& what) {
    const Bytes png = MakePng(spec);
    ASSERT_FALSE(png.empty());
    Loaded back = ReadPngBytes(dir, png);
    ASSERT_TRUE(back.ok) << what;
    EXPECT_TRUE(back.texts.empty()) << what;
    EXPECT_FALSE(back.text.has_value());
    ASSERT_EQ(back.size.width, spec.width);
    ASSERT_EQ(back.size.height, spec.height);
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x) {
            ASSERT_EQ(PixelAt(*back.handle, x, y),
                      Expected(spec, static_cast<std::size_t>(y) * spec.width + x))
                << what << " at " << x << "," << y;
        }
    }
}

}  // namespace

TEST(PngReadPicture, ReadsEveryColourTypeBitDepthAndInterlacingOverWhite) {
    TempDir dir;
    const std::vector<std::pair<int, std::vector<int>>> kinds = {
        {kPngGrey, {1, 2, 4, 8, 16}}, {kPngRgb, {8, 16}},  {kPngPalette, {1, 2, 4, 8}},
        {kPngGreyAlpha, {8, 16}},     {kPngRgba, {8, 16}},
    };
    unsigned seed = 1;
    for (const auto& [colourType, depths] : kinds) {
        for (int depth : depths) {
            for (bool interlaced : {false, true}) {
                for (bool transparent : {false, true}) {
                    PngSpec spec = RandomSpec(colourType, depth, interlaced, seed++);
                    if (transparent) {
                        if (colourType == kPngGreyAlpha || colourType == kPngRgba) continue;
                        if (colourType != kPngPalette) {
                            // The colour of the first pixel becomes transparent.
                            const std::uint16_t* s = spec.samples.data();
                            spec.transparentColour =
                                colourType == kPngGrey
                                    ? std::array<std::uint16_t, 3>{s[0], 0, 0}
                                    : std::array<std::uint16_t, 3>{s[0], s[1], s[2]};
                        }
                    } else if (colourType == kPngPalette) {
                        spec.paletteAlpha.clear();
                    }
                    ExpectReadBack(dir, spec,
                                   "type " + std::to_string(colourType) + " depth " +
                                       std::to_string(depth) + (interlaced ? " interlaced" : "") +
                                       (transparent ? " tRNS" : ""));
                }
            }
        }
    }
}

TEST(PngReadPicture, ReducesEverySixteenBitValueByRounding) {
    PngSpec spec;
    spec.width = 65536;
    spec.height = 1;
    spec.colourType = kPngGrey;
    spec.depth = 16;
    for (std::uint32_t v = 0; v < 65536; ++v) spec.samples.push_back(static_cast<std::uint16_t>(v));
    TempDir dir;
    Loaded back = ReadPngBytes(dir, MakePng(spec));
    ASSERT_TRUE(back.ok);
    for (std::uint32_t v = 0; v < 65536; ++v) {
        const auto expected = static_cast<std::uint8_t>(Nearest(v * 255.0 / 65535.0));
        ASSERT_EQ(PixelAt(*back.handle, static_cast<int>(v), 0)[1], expected) << v;
    }
}

TEST(PngReadPicture, FindsTheParameterChunkAmongOtherTexts) {
    PngSpec spec = RandomSpec(kPngRgb, 8, false, 3);
    spec.texts = {{"Comment", "not ours"}, {"Dorvanta", kParameters}};
    TempDir dir;
    Loaded back = ReadPngBytes(dir, MakePng(spec));
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.text, kParameters);
}

// Interlaced pictures of few rows: only some of the seven passes hold pixels, at one row not
// the last one.
TEST(PngReadPicture, ReadsInterlacedPicturesOfFewRowsAtEveryWidth) {
    TempDir dir;
    for (int height : {1, 2, 5}) {
        for (int width = 1; width <= 17; ++width) {
            for (int colourType : {kPngRgb, kPngGrey}) {
                PngSpec spec = RandomSpec(colourType, 8, true, static_cast<unsigned>(width));
                spec.width = width;
                spec.height = height;
                spec.samples.resize(std::size_t{1} * width * height * ChannelsOf(colourType));
                ExpectReadBack(dir, spec,
                               std::to_string(width) + "x" + std::to_string(height) + " type " +
                                   std::to_string(colourType));
            }
        }
    }
}

namespace {

// A text chunk of the type: tEXt, zTXt, iTXt (compressed) or iTXt plain.
Bytes TextChunk(const std::string& kind, const std::string& keyword, const std::string& text) {
    Bytes data(keyword.begin(), keyword.end());
    data.push_back(0);
    const bool compressed = kind != "tEXt" && kind != "iTXt plain";
    if (kind == "zTXt") data.push_back(0);
    if (kind.starts_with("iTXt")) data.insert(data.end(), {std::uint8_t{compressed}, 0, 0, 0});
    if (compressed) {
        uLongf length = compressBound(text.size());
        Bytes out(length);
        EXPECT_EQ(
            compress(out.data(), &length, reinterpret_cast<const Bytef*>(text.data()), text.size()),
            Z_OK);
        data.insert(data.end(), out.begin(), out.begin() + length);
    } else {
        data.insert(data.end(), text.begin(), text.end());
    }
    return PngChunkBytes(kind.substr(0, 4), data);
}

// A plain PNG (no parameter chunk) of 40 x 30 with chunks put before the image data or before
// IEND.
Bytes PngWith(const std::vector<Bytes>& beforeImage, const std::vector<Bytes>& afterImage) {
    TempDir dir;
    ScriptedPrompts ui;
    EXPECT_TRUE(PngWritePicture(dir.File("p.png"), MakeTestPicture(40, 30), "", ui));
    Bytes png = ReadFileBytes(dir.File("p.png"));
    for (const Bytes& chunk : afterImage) {
        png.insert(png.end() - 12, chunk.begin(), chunk.end());
    }
    std::size_t at = Chunk(ChunksOf(png), "IDAT").offset;
    for (const Bytes& chunk : beforeImage) {
        png.insert(png.begin() + at, chunk.begin(), chunk.end());
        at += chunk.size();
    }
    return png;
}

}  // namespace

// A poster's size is taken from the header alone; a file that is no PNG, or too large a picture,
// gives no figure, without a message (the pixel reader says why).
TEST(PngReadFigure, TakesThePosterSizeAndRefusesSilentlyWhatThePixelReaderRefuses) {
    Bytes png = PngWith({TextChunk("zTXt", "Dorvanta", kParameters)}, {});
    for (int i = 0; i < 8; ++i) png[16 + i] = Bytes{0, 0, 0x65, 0x90, 0, 0, 0x65, 0x90}[i];
    FixCrc(png, 8);
    ScriptedPrompts ui;
    PngFigure figure;
    ASSERT_TRUE(PngReadFigureFromMemory(png.data(), png.size(), "big.png", figure, ui));
    EXPECT_EQ(figure.parameterText, kParameters);
    EXPECT_EQ(figure.size.width, 26000);
    EXPECT_EQ(figure.size.height, 26000);
    Bytes tooLarge = png;
    tooLarge[16] = 0x7f;
    FixCrc(tooLarge, 8);
    Bytes notPng = png;
    notPng[1] = 'X';
    for (const Bytes& refused : {tooLarge, notPng, Bytes(png.begin(), png.begin() + 20)}) {
        EXPECT_FALSE(PngReadFigureFromMemory(refused.data(), refused.size(), "x.png", figure, ui));
    }
    EXPECT_FALSE(PngReadFigure("/nonexistent/missing.png", figure, ui));
    EXPECT_TRUE(ui.messages.empty());
}

// Ancillary chunks the program does not need are skipped unread, whatever their size, number or
// checksum: a 10 MB compressed comment, 5000 small texts, a broken private chunk. The figure is
// found in every text chunk type, also behind the image data, where other programs move text
// chunks when they save a file again.
TEST(PngReadPicture, SkipsAncillaryChunksItDoesNotNeed) {
    std::mt19937 random(11);
    std::string noise(std::size_t{10} << 20, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::vector<Bytes> many;
    for (int i = 0; i < 5000; ++i) many.push_back(TextChunk("tEXt", "Note", std::to_string(i)));
    Bytes broken = PngChunkBytes("prVt", {1, 2, 3});
    broken.back() ^= 1;
    const Bytes ours = TextChunk("zTXt", "Dorvanta", kParameters);
    struct Case {
        std::string name;
        std::vector<Bytes> before, after;
        int onlyOrder = -1;
    };
    std::vector<Case> cases = {
        {"large comment", {TextChunk("zTXt", "Comment", noise), ours}, {}},
        {"large comment after", {ours}, {TextChunk("zTXt", "Comment", noise)}},
        {"5000 texts", many, {ours}},
        {"broken private chunk", {broken, ours}, {broken}},
    };
    for (const char* kind : {"tEXt", "zTXt", "iTXt", "iTXt plain"}) {
        const std::vector<Bytes> chunks = {TextChunk("tEXt", "Comment", "not ours"),
                                           TextChunk(kind, "Dorvanta", kParameters),
                                           TextChunk(kind, "Dorvanta Only Order", "4")};
        cases.push_back({std::string(kind) + " before", chunks, {}, 4});
        cases.push_back({std::string(kind) + " after", {}, chunks, 4});
    }
    TempDir dir;
    const DibHandle expected = MakeTestPicture(40, 30);
    for (const Case& c : cases) {
        const Bytes png = PngWith(c.before, c.after);
        Loaded back = ReadPngBytes(dir, png);
        ASSERT_TRUE(back.ok) << c.name;
        EXPECT_TRUE(back.texts.empty()) << c.name;
        EXPECT_EQ(back.text, kParameters) << c.name;
        EXPECT_TRUE(SamePixels(*back.handle, *expected)) << c.name;
        ScriptedPrompts ui;
        PngFigure figure;
        ASSERT_TRUE(PngReadFigureFromMemory(png.data(), png.size(), "m.png", figure, ui));
        EXPECT_EQ(figure.parameterText, kParameters) << c.name;
        EXPECT_EQ(figure.onlyOrder, c.onlyOrder) << c.name;
        EXPECT_EQ(figure.size.width, 40);
        EXPECT_EQ(figure.size.height, 30);
    }
}

// ---- Refusals ----

namespace {

Bytes SmallPng() {
    TempDir dir;
    ScriptedPrompts ui;
    EXPECT_TRUE(PngWritePicture(dir.File("s.png"), MakeTestPicture(40, 30), kParameters, ui));
    return ReadFileBytes(dir.File("s.png"));
}

// A file made from SmallPng() and what reading it says.
struct FileCase {
    std::string name;
    Bytes file;
    std::string cause;
};

}  // namespace

TEST(PngReadPicture, RefusesBrokenFilesWithTheCauseAndKeepsTheCallersPicture) {
    const Bytes good = SmallPng();
    const std::vector<PngChunk> chunks = ChunksOf(good);
    std::vector<FileCase> cases;
    Bytes notPng(200, 7);
    notPng[0] = 'B';
    notPng[1] = 'M';
    cases.push_back({"not a PNG", notPng, "It is not a PNG picture."});
    cases.push_back({"empty", Bytes{}, "The file ends before the picture does."});
    for (std::size_t cut : {std::size_t{20}, Chunk(chunks, "IDAT").offset + 40, good.size() - 20}) {
        cases.push_back({"cut at " + std::to_string(cut), Bytes(good.begin(), good.begin() + cut),
                         "The file ends before the picture does."});
    }
    for (const char* type : {"IHDR", "IDAT"}) {
        Bytes bad = good;
        const PngChunk& chunk = Chunk(chunks, type);
        bad[chunk.offset + 8 + chunk.length + 2] ^= 0x40;  // in the CRC itself
        cases.push_back({std::string("bad CRC in ") + type, bad,
                         "A chunk's checksum (CRC) is wrong: the file is damaged."});
    }
    {
        Bytes odd = good;
        Bytes chunk = PngChunkBytes("ABCD", {1, 2, 3});
        const std::size_t at = Chunk(chunks, "IDAT").offset;
        odd.insert(odd.begin() + at, chunk.begin(), chunk.end());
        cases.push_back({"unknown critical chunk", odd,
                         "It holds a critical chunk this program does not know."});
    }
    {
        Bytes damaged = good;
        const PngChunk& idat = Chunk(chunks, "IDAT");
        for (std::size_t i = 8; i < idat.length && i < 40; ++i)
            damaged[idat.offset + 8 + i] ^= 0x5A;
        FixCrc(damaged, idat.offset);
        cases.push_back({"damaged data", damaged, ""});
    }
    TempDir dir;
    for (const FileCase& c : cases) {
        DibHandle old = MakeTestPicture(3, 3);
        const DibImage* oldBlock = old.get();
        Loaded back = ReadPngBytes(dir, c.file, std::move(old));
        EXPECT_FALSE(back.ok) << c.name;
        EXPECT_EQ(back.handle.get(), oldBlock) << c.name;
        ASSERT_EQ(back.texts.size(), 1u) << c.name;
        const std::string head = "Failed to read: " + dir.File("in.png") + "\n";
        EXPECT_EQ(back.texts[0].substr(0, head.size()), head) << c.name;
        if (!c.cause.empty()) {
            EXPECT_EQ(back.texts[0], head + c.cause) << c.name;
        }
    }
}

TEST(PngReadPicture, RefusesSizesBeyondThePictureCeilingBeforeDecoding) {
    Bytes png = SmallPng();
    const PngChunk ihdr = ChunksOf(png)[0];
    for (auto [width, height] : {std::pair<std::uint32_t, std::uint32_t>{0x7fffffff, 0x7fffffff},
                                 {0x7fffffff, 1},
                                 {65500, 65500}}) {
        Bytes huge = png;
        for (int i = 0; i < 4; ++i) {
            huge[ihdr.offset + 8 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
            huge[ihdr.offset + 12 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
        }
        FixCrc(huge, ihdr.offset);
        TempDir dir;
        Loaded back = ReadPngBytes(dir, huge);
        EXPECT_FALSE(back.ok);
        EXPECT_EQ(back.texts,
                  std::vector<std::string>{"Failed to read: " + dir.File("in.png") +
                                           "\nIts size is more than a picture can hold."});
    }
}

// A parameter chunk that is there but cannot be read is named; the picture opens without it.
TEST(PngReadPicture, AParameterChunkThatCannotBeReadIsNamedAndThePictureOpens) {
    const Bytes good = SmallPng();
    const PngChunk ztxt = Chunk(ChunksOf(good), "zTXt");
    const std::size_t compressed = ztxt.offset + 8 + 10;  // after "Dorvanta", 0, method
    std::vector<FileCase> cases;
    Bytes crc = good;
    crc[ztxt.offset + 8 + ztxt.length] ^= 0x40;
    cases.push_back({"bad CRC", crc, "its checksum (CRC) is wrong: the chunk is damaged."});
    Bytes damaged = good;
    for (std::size_t i = 2; i < 12; ++i) damaged[compressed + i] ^= 0x5A;
    FixCrc(damaged, ztxt.offset);
    cases.push_back({"damaged text", damaged, "its compressed text is damaged."});
    Bytes cut = good;
    cut[ztxt.offset + 3] = 16;  // the chunk ends inside the compressed stream
    cut.erase(cut.begin() + ztxt.offset + 8 + 16, cut.begin() + ztxt.offset + 8 + ztxt.length);
    FixCrc(cut, ztxt.offset);
    cases.push_back({"stream cut short", cut, "its compressed text is damaged."});
    Bytes method = good;
    method[compressed - 1] = 7;
    FixCrc(method, ztxt.offset);
    cases.push_back({"unknown method", method,
                     "its text is compressed by a method this program does not know (7)."});
    // 64 MiB of text in a zTXt chunk of about 64 KiB.
    PngSpec bomb = RandomSpec(kPngRgb, 8, false, 9);
    bomb.texts = {{"Dorvanta", std::string(std::size_t{64} << 20, 'S')}};
    cases.push_back(
        {"expands too far", MakePng(bomb), "its text is larger than this program accepts."});
    Bytes huge = good;
    Bytes text(std::string("Dorvanta").size() + 1 + kPngChunkLimit, 'S');
    std::memcpy(text.data(), "Dorvanta", 9);
    Bytes chunk = PngChunkBytes("tEXt", text);
    huge.erase(huge.begin() + ztxt.offset, huge.begin() + ztxt.offset + 12 + ztxt.length);
    huge.insert(huge.begin() + ztxt.offset, chunk.begin(), chunk.end());
    cases.push_back({"chunk too large", huge, "its chunk is larger than this program accepts."});
    TempDir dir;
    for (const FileCase& c : cases) {
        Loaded back = ReadPngBytes(dir, c.file);
        ASSERT_TRUE(back.ok) << c.name;
        EXPECT_FALSE(back.text.has_value()) << c.name;
        const std::string message = "The figure in " + dir.File("in.png") +
                                    " cannot be read: " + c.cause +
                                    "\nThe file opens as a plain picture.";
        EXPECT_EQ(back.texts, std::vector<std::string>{message}) << c.name;
        ScriptedPrompts ui;
        PngFigure figure;
        EXPECT_TRUE(PngReadFigure(dir.File("in.png"), figure, ui)) << c.name;
        EXPECT_FALSE(figure.parameterText.has_value()) << c.name;
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{message}) << c.name;
    }
}

TEST(PngReadPicture, AMissingFileIsNamed) {
    TempDir dir;
    Loaded back = ReadPng(dir.File("none.png"));
    EXPECT_FALSE(back.ok);
    EXPECT_EQ(back.texts, std::vector<std::string>{"Failed to open: " + dir.File("none.png")});
}
