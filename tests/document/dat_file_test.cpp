#include "document/dat_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "german_locale_support.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Splits CR LF text into lines; a bare LF or CR would show up inside a line.
std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

std::string DefaultFileText() {
    return DatFileText(FigureEngine());
}

// Offset of the first byte of line n (0-based) of CR LF text.
std::size_t LineOffset(const std::string& text, int n) {
    std::size_t pos = 0;
    for (int i = 0; i < n; ++i) pos = text.find("\r\n", pos) + 2;
    return pos;
}

// The default record's first lines as the file format documents them, up to the end of order
// 0's block; "…" stands for the 48 series lines left out. Lines carry the trailing blanks of
// their formats.
const std::vector<std::string> kDocumentedHead = {
    "Dorvanta Version 4.0",
    "Comment",
    "BSBSBBSBSB BSBBSBSBBS BSBBSBBSBS BBSBBSBSBB SBSBBSBBSB SBBSBSBBSB",
    "…",
    "BSBSBBSBSB BSBBSBSBBS BSBBSBBSBS BBSBBSBSBB SBSBBSBBSB SBBSBB#",
    "Offset Unit 1145  Offset G Sec 1853   Gradient On 1",
    "Order 0",
    "Centre View: x = 0.00000  y = 0.00000  Exp Magn = -7.00000",
    "DrawItems  0   1   0   0   0   0   1   1   ",
    "DrawLines  1   1   1   1   1   ",
    "Colors in RGB format: ",
    "0  0  0  ",
    "255  255  255  ",
    "220  220  220  ",
    "0  0  255  ",
    "180  180  255  ",
    "255  0  0  ",
    "255  180  180  ",
    "100  100  100  ",
    "250  37  90  ",
    "255  210  210  ",
    "0  0  0  ",
    "255  255  255  ",
    "210  210  210  ",
    "10  10  245  ",
    "48  160  174  ",
    "245  10  10  ",
    "  DrawOrder 1   Transparency 0.500000 ",
};

// A record in which every stored field differs from its default.
FigureEngine VariedRecord() {
    FigureEngine f;
    std::strcpy(f.m_szVersion, "Dorvanta Version 4.0");
    std::strcpy(f.m_szComment, "Spiral of the west wing");
    std::strcpy(f.m_szSeries, "SBBRSBSBBSBSSBBSBSBBSBBSB");
    f.m_nSeriesLen = 25;
    f.m_nUn = -70231;
    f.m_nGs = 123456;
    f.m_bGradient = 0;
    f.m_nCurrentOrder = 6;
    f.m_dCentreX = -12.345678;
    f.m_dCentreY = 1234.5;
    f.m_dMagnExp = -3.25;
    for (int e = 0; e < 106; ++e)
        for (int c = 0; c < 3; ++c) f.m_colours[e][c] = static_cast<std::uint8_t>(e * 7 + c * 91);
    for (int i = 0; i < kOrderCount; ++i) {
        OrderSettings& o = f.m_orders[i];
        for (int j = 0; j < 8; ++j) o.drawItems[j] = (i + j) % 3 == 0;
        for (int j = 0; j < 5; ++j) o.drawLines[j] = (i + j) % 2;
        o.drawOrder = i % 2;
        o.transparency = 0.125 * (i % 9);
    }
    return f;
}

struct LoadResult {
    int code;
    std::vector<std::string> messages;
};

LoadResult LoadText(FigureEngine& figure, const std::string& text) {
    TempDir dir;
    std::string path = dir.File("fig.dat");
    WriteBytes(path, text);
    ScriptedPrompts ui;
    int code = LoadDatFile(figure, path, ui);
    return {code, ui.Texts()};
}

// Everything a loaded record must satisfy whatever the file held.
void ExpectSoundRecord(const FigureEngine& f) {
    ASSERT_GE(f.m_nSeriesLen, 0);
    ASSERT_LE(f.m_nSeriesLen, kMaxSeriesLetters);
    EXPECT_EQ(std::strlen(f.m_szSeries), static_cast<std::size_t>(f.m_nSeriesLen));
    EXPECT_EQ(std::strspn(f.m_szSeries, "SBR"), static_cast<std::size_t>(f.m_nSeriesLen));
    EXPECT_LT(strnlen(f.m_szVersion, sizeof f.m_szVersion), sizeof f.m_szVersion);
    EXPECT_LE(strnlen(f.m_szComment, sizeof f.m_szComment), 95u);
    EXPECT_GE(f.m_nCurrentOrder, 0);
    EXPECT_LE(f.m_nCurrentOrder, 9);
    EXPECT_TRUE(std::isfinite(f.m_dCentreX));
    EXPECT_TRUE(std::isfinite(f.m_dCentreY));
    EXPECT_TRUE(std::isfinite(f.m_dMagnExp));
    EXPECT_LE(f.m_bGradient, 1);
    for (const OrderSettings& o : f.m_orders) {
        EXPECT_GE(o.transparency, 0.0);
        EXPECT_LE(o.transparency, 1.0);
        EXPECT_LE(o.drawOrder, 1);
        for (auto b : o.drawItems) EXPECT_LE(b, 1);
        for (auto b : o.drawLines) EXPECT_LE(b, 1);
    }
}

}  // namespace

// ---- writing ----

TEST(DatFileWrite, DefaultRecordIsTheDocumented255Lines) {
    TempDir dir;
    std::string path = dir.File("default.dat");
    ASSERT_EQ(SaveDatFile(FigureEngine(), path), DAT_OK);
    std::string text = ReadBytes(path);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    auto lines = CrLfLines(text);
    ASSERT_EQ(lines.size(), 255u);
    for (const auto& line : lines) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);

    EXPECT_EQ(lines[0], kDocumentedHead[0]);
    EXPECT_EQ(lines[1], kDocumentedHead[1]);
    EXPECT_EQ(lines[2], kDocumentedHead[2]);
    for (int n = 2; n < 51; ++n) EXPECT_EQ(lines[n].size(), 65u) << "series line " << n;
    for (std::size_t k = 4; k < kDocumentedHead.size(); ++k)
        EXPECT_EQ(lines[51 + k - 4], kDocumentedHead[k]) << "line " << 51 + k - 4;
}

TEST(DatFileWrite, EveryOrderBlockHasTwentyLinesWithOverlappingColours) {
    FigureEngine f = VariedRecord();
    auto lines = CrLfLines(DatFileText(f));
    ASSERT_EQ(lines.size(), 2u + 1u + 3u + 200u);  // 25 letters fit on one series line
    EXPECT_EQ(lines[2], "SBBRSBSBBS BSSBBSBSBB SBBSB#");
    EXPECT_EQ(lines[3], "Offset Unit -70231  Offset G Sec 123456   Gradient On 0");
    EXPECT_EQ(lines[4], "Order 0");  // whatever the current order is
    // Five decimals would change -12.345678, so it is written exactly.
    EXPECT_EQ(lines[5], "Centre View: x = -12.345678  y = 1234.50000  Exp Magn = -3.25000");
    for (int i = 0; i < kOrderCount; ++i) {
        std::size_t b = 6 + 20 * i;
        EXPECT_EQ(lines[b].rfind("DrawItems  ", 0), 0u);
        EXPECT_EQ(lines[b + 1].rfind("DrawLines  ", 0), 0u);
        EXPECT_EQ(lines[b + 2], "Colors in RGB format: ");
        for (int k = 0; k < 16; ++k) {
            const std::uint8_t* e = f.m_colours[10 * i + k];
            EXPECT_EQ(lines[b + 3 + k], std::to_string(e[2]) + "  " + std::to_string(e[1]) + "  " +
                                            std::to_string(e[0]) + "  ");
        }
    }
    EXPECT_EQ(lines[6 + 20 * 9 + 19], "  DrawOrder 1   Transparency 0.000000 ");
    EXPECT_EQ(lines[6 + 20 * 3 + 19], "  DrawOrder 1   Transparency 0.375000 ");
    EXPECT_EQ(lines[6], "DrawItems  1   0   0   1   0   0   1   0   ");
}

TEST(DatFileWrite, SeriesBlockBreaksAfterSixtyAndSeparatesTens) {
    FigureEngine f;
    std::string sixty(60, 'S'), thirty(30, 'B');
    std::strcpy(f.m_szSeries, sixty.c_str());
    f.m_nSeriesLen = 60;
    auto lines = CrLfLines(DatFileText(f));
    std::string group(10, 'S');
    EXPECT_EQ(lines[2],
              group + " " + group + " " + group + " " + group + " " + group + " " + group);
    EXPECT_EQ(lines[3], "#");

    std::strcpy(f.m_szSeries, thirty.c_str());
    f.m_nSeriesLen = 30;
    lines = CrLfLines(DatFileText(f));
    EXPECT_EQ(lines[2], "BBBBBBBBBB BBBBBBBBBB BBBBBBBBBB #");

    f.m_szSeries[0] = '\0';
    f.m_nSeriesLen = 0;
    EXPECT_EQ(CrLfLines(DatFileText(f))[2], "#");
}

TEST(DatFileWrite, SeriesLengthBeyondTheStringIsNotOverread) {
    FigureEngine f;
    std::strcpy(f.m_szSeries, "SBS");
    f.m_nSeriesLen = 5000;
    EXPECT_EQ(CrLfLines(DatFileText(f))[2], "SBS#");
    f.m_nSeriesLen = -4;
    EXPECT_EQ(CrLfLines(DatFileText(f))[2], "#");
}

TEST(DatFileWrite, UnwritablePathReturnsOne) {
    TempDir dir;
    EXPECT_EQ(SaveDatFile(FigureEngine(), dir.File("missing/fig.dat")), DAT_FAILED);
    EXPECT_EQ(SaveDatFile(FigureEngine(), dir.Path().string()), DAT_FAILED);  // a directory
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

// The write fails half way (file size limit); the earlier file must survive unchanged and no
// temporary file may be left behind.
TEST(DatFileWrite, FailedSaveKeepsTheEarlierFile) {
    TempDir dir;
    std::string path = dir.File("keep.dat");
    WriteBytes(path, "earlier contents\r\n");
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int code = SaveDatFile(FigureEngine(), path);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(code, DAT_FAILED);
    EXPECT_EQ(ReadBytes(path), "earlier contents\r\n");
    int files = 0;
    for (auto& entry : std::filesystem::directory_iterator(dir.Path())) files += entry.exists();
    EXPECT_EQ(files, 1);
    EXPECT_EQ(SaveDatFile(FigureEngine(), path), DAT_OK);  // and replaces it when all goes well
    EXPECT_EQ(ReadBytes(path), DefaultFileText());
}

// ---- locale ----

TEST(DatFileLocale, GermanLocaleStillWritesAndReadsDecimalPoints) {
    GermanNumbers german;
    if (!german.Active()) GTEST_SKIP() << "no German locale available";
    TempDir dir;
    std::string path = dir.File("de.dat");
    FigureEngine f;
    f.m_dCentreX = 2.5;
    f.m_orders[3].transparency = 0.25;
    ASSERT_EQ(SaveDatFile(f, path), DAT_OK);
    std::string text = ReadBytes(path);
    EXPECT_NE(text.find("Centre View: x = 2.50000  y = 0.00000  Exp Magn = -7.00000\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("  DrawOrder 1   Transparency 0.500000 \r\n"), std::string::npos);
    EXPECT_EQ(text.find(','), std::string::npos);
    FigureEngine g;
    ScriptedPrompts ui;
    ASSERT_EQ(LoadDatFile(g, path, ui), DAT_OK);
    EXPECT_EQ(g.m_dCentreX, 2.5);
    EXPECT_EQ(g.m_dMagnExp, -7.0);
    EXPECT_EQ(g.m_orders[0].transparency, 0.5);
    EXPECT_EQ(g.m_orders[3].transparency, 0.25);
    EXPECT_EQ(ParseDecimalPrefix("0.500000"), 0.5);
}

// ---- reading: round trip and the documented cases ----

TEST(DatFileRead, RoundTripRestoresEveryStoredField) {
    TempDir dir;
    std::string path = dir.File("varied.dat");
    FigureEngine f = VariedRecord();
    ASSERT_EQ(SaveDatFile(f, path), DAT_OK);
    FigureEngine g;
    std::strcpy(g.m_szName, "kept");
    ScriptedPrompts ui;
    ASSERT_EQ(LoadDatFile(g, path, ui), DAT_OK);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_STREQ(g.m_szVersion, f.m_szVersion);
    EXPECT_STREQ(g.m_szComment, f.m_szComment);
    EXPECT_STREQ(g.m_szSeries, f.m_szSeries);
    EXPECT_EQ(g.m_nSeriesLen, 25);
    EXPECT_EQ(g.m_nUn, f.m_nUn);
    EXPECT_EQ(g.m_nGs, f.m_nGs);
    EXPECT_EQ(g.m_bGradient, 0);
    EXPECT_EQ(g.m_nCurrentOrder, 0);  // the file always says 0
    EXPECT_EQ(g.m_dCentreX, -12.345678);  // written exactly, not rounded to five decimals
    EXPECT_DOUBLE_EQ(g.m_dCentreY, 1234.5);
    EXPECT_DOUBLE_EQ(g.m_dMagnExp, -3.25);
    EXPECT_EQ(std::memcmp(g.m_colours, f.m_colours, 106 * 3), 0);  // entries 100..105 too
    for (int i = 0; i < kOrderCount; ++i) {
        EXPECT_EQ(g.m_orders[i].drawItems, f.m_orders[i].drawItems) << i;
        EXPECT_EQ(g.m_orders[i].drawLines, f.m_orders[i].drawLines) << i;
        EXPECT_EQ(g.m_orders[i].drawOrder, f.m_orders[i].drawOrder) << i;
        EXPECT_EQ(g.m_orders[i].transparency, f.m_orders[i].transparency) << i;
    }
    EXPECT_EQ(g.m_nWidth, 1200);
    EXPECT_EQ(g.m_nHeight, 900);
    EXPECT_STREQ(g.m_szName, "kept");
    EXPECT_EQ(DatFileText(g), DatFileText(f));  // and writes the same file again
}

TEST(DatFileRead, DefaultFileLoadsAsTheDefaultRecord) {
    FigureEngine g = VariedRecord();
    auto result = LoadText(g, DefaultFileText());
    EXPECT_EQ(result.code, DAT_OK);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(DatFileText(g), DefaultFileText());
    EXPECT_EQ(g.m_nSeriesLen, 2996);
}

TEST(DatFileRead, MissingFileChangesNothing) {
    TempDir dir;
    std::string path = dir.File("nowhere.dat");
    FigureEngine g = VariedRecord();
    ScriptedPrompts ui;
    EXPECT_EQ(LoadDatFile(g, path, ui), DAT_FAILED);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, path + " not found.");
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(DatFileText(g), DatFileText(VariedRecord()));
    EXPECT_EQ(g.m_nCurrentOrder, 6);

    ui.Clear();  // a directory is no parameter file either
    EXPECT_EQ(LoadDatFile(g, dir.Path().string(), ui), DAT_FAILED);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{dir.Path().string() + " not found."});
}

TEST(DatFileRead, SeriesTakesLettersOfAnyCaseAndTurnsCIntoR) {
    std::string text = DefaultFileText();
    std::size_t from = LineOffset(text, 2), to = LineOffset(text, 52);
    text.replace(from, to - from, "bs\r\nB1S c 9s,b\r\n  RsB#  \r\n");
    FigureEngine g;
    auto result = LoadText(g, text);
    EXPECT_EQ(result.code, DAT_OK);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_STREQ(g.m_szSeries, "BSBSRSBRSB");
    EXPECT_EQ(g.m_nSeriesLen, 10);
    EXPECT_EQ(g.m_nUn, 1145);  // the rest of the "#" line is skipped
}

TEST(DatFileRead, Version1FilesHaveSixItemValues) {
    FigureEngine f = VariedRecord();
    std::strcpy(f.m_szVersion, "Dorvanta Version 1.0");
    for (auto& o : f.m_orders) o.drawItems = {1, 0, 1, 0, 1, 1, 1, 1};
    auto lines = CrLfLines(DatFileText(f));
    for (int i = 0; i < kOrderCount; ++i) lines[6 + 20 * i] = "DrawItems  1   0   1   0   1   1   ";
    FigureEngine g;
    auto result = LoadText(g, JoinCrLf(lines));
    EXPECT_EQ(result.code, DAT_OK);
    EXPECT_STREQ(g.m_szVersion, "Dorvanta Version 1.0");
    for (int i = 0; i < kOrderCount; ++i) {
        EXPECT_EQ(g.m_orders[i].drawItems[ITEM_BIG_SOLID], 0) << i;
        EXPECT_EQ(g.m_orders[i].drawItems[ITEM_SMALL_SOLID], 0) << i;
        EXPECT_EQ(g.m_orders[i].drawItems[ITEM_SMALL_STAR], 1) << i;
        EXPECT_EQ(g.m_orders[i].drawLines, f.m_orders[i].drawLines) << i;
        EXPECT_EQ(g.m_orders[i].transparency, f.m_orders[i].transparency) << i;
    }
    // Written back with eight values; read again, the first six count and the rest is skipped.
    auto written = CrLfLines(DatFileText(g));
    EXPECT_EQ(written[6], "DrawItems  1   0   1   0   1   1   0   0   ");
    FigureEngine h;
    g.m_orders[2].drawItems[ITEM_BIG_SOLID] = 1;
    EXPECT_EQ(LoadText(h, DatFileText(g)).code, DAT_OK);
    EXPECT_EQ(h.m_orders[2].drawItems[ITEM_BIG_SOLID], 0);
    EXPECT_EQ(h.m_orders[2].drawItems[ITEM_REFERENCE_LINE], 1);
    EXPECT_EQ(h.m_orders[9].drawLines, f.m_orders[9].drawLines);
}

TEST(DatFileRead, FileEndingAfterOrderThreeKeepsDefaultsBeyond) {
    FigureEngine f = VariedRecord();
    std::string text = DatFileText(f);
    text.resize(LineOffset(text, 6 + 4 * 20));
    FigureEngine g;
    auto result = LoadText(g, text);
    EXPECT_EQ(result.code, DAT_OK);
    EXPECT_TRUE(result.messages.empty());
    FigureEngine defaults;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(g.m_orders[i].drawItems, f.m_orders[i].drawItems) << i;
        EXPECT_EQ(g.m_orders[i].transparency, f.m_orders[i].transparency) << i;
    }
    for (int i = 4; i < kOrderCount; ++i) {
        EXPECT_EQ(g.m_orders[i].drawItems, (std::array<std::uint8_t, 16>{})) << i;
        EXPECT_EQ(g.m_orders[i].drawLines, defaults.m_orders[i].drawLines) << i;
        EXPECT_EQ(g.m_orders[i].drawOrder, 0) << i;
        EXPECT_EQ(g.m_orders[i].transparency, 0.5) << i;
    }
    // Slots 0..5 of order 4 come from lines 11..16 of order 3's block; the rest are defaults.
    EXPECT_EQ(std::memcmp(g.m_colours, f.m_colours, 46 * 3), 0);
    EXPECT_EQ(std::memcmp(g.m_colours[46], defaults.m_colours[46], (256 - 46) * 3), 0);
}

TEST(DatFileRead, ValueDirectlyBeforeTheLineEndStopsWithoutStoringIt) {
    auto lines = CrLfLines(DefaultFileText());
    lines[55] = "DrawItems  1   1   1   1   1   1   1   0";
    FigureEngine g;
    auto result = LoadText(g, JoinCrLf(lines));
    EXPECT_EQ(result.code, DAT_OK);
    EXPECT_EQ(g.m_orders[0].drawItems,
              (std::array<std::uint8_t, 16>{1, 1, 1, 1, 1, 1, 1, 0}));  // last one not stored
    EXPECT_EQ(g.m_orders[1].drawItems, (std::array<std::uint8_t, 16>{}));
    EXPECT_EQ(g.m_orders[0].transparency, 0.5);
}

TEST(DatFileRead, ColourValuesKeepTheLowEightBitsOfTheNearestInteger) {
    auto lines = CrLfLines(DefaultFileText());
    lines[55 + 3 + 2] = "300  254.6  -1  ";
    lines[55 + 3 + 3] = "99999999999  1e400  ";
    FigureEngine g;
    ASSERT_EQ(LoadText(g, JoinCrLf(lines)).code, DAT_OK);
    EXPECT_EQ(g.GetColour(2), 44u | (255u << 8) | (255u << 16));
    // 99999999999 = 390624999 * 256 + 255; "1e400" is the two tokens 1 and 400.
    EXPECT_EQ(g.GetColour(3), 255u | (1u << 8) | (144u << 16));
    EXPECT_EQ(g.GetColour(4), FigureEngine().GetColour(4));
}

TEST(DatFileRead, GradientIsOffWithoutItsKey) {
    auto lines = CrLfLines(DefaultFileText());
    lines[52] = "Offset Unit 1145  Offset G Sec 1853";
    FigureEngine g;
    ASSERT_EQ(LoadText(g, JoinCrLf(lines)).code, DAT_OK);
    EXPECT_EQ(g.m_bGradient, 0);
    lines[52] = "Offset Unit 7  Offset G Sec 8   Gradient On 5";
    ASSERT_EQ(LoadText(g, JoinCrLf(lines)).code, DAT_OK);
    EXPECT_EQ(g.m_bGradient, 1);
    EXPECT_EQ(g.m_nUn, 7);
    EXPECT_EQ(g.m_nGs, 8);
}

TEST(DatFileRead, MissingKeysGiveTheirMessagesAndResultOne) {
    FigureEngine f = VariedRecord();
    auto lines = CrLfLines(DatFileText(f));
    auto load = [&](int index, const std::string& replacement, FigureEngine& g) {
        auto changed = lines;
        changed[index] = replacement;
        return LoadText(g, JoinCrLf(changed));
    };
    FigureEngine g;
    auto result = load(3, "Offset Uni 5  Offset G Sec 9   Gradient On 0", g);
    EXPECT_EQ(result.code, DAT_FAILED);
    EXPECT_EQ(result.messages, std::vector<std::string>{"Unit format error"});
    EXPECT_STREQ(g.m_szComment, f.m_szComment);
    EXPECT_STREQ(g.m_szSeries, f.m_szSeries);
    EXPECT_EQ(g.m_nUn, 0);
    EXPECT_EQ(g.m_nGs, 1853);
    EXPECT_EQ(g.m_bGradient, 0);

    result = load(3, "Offset Unit 5  Offset G 9   Gradient On 1", g);
    EXPECT_EQ(result.messages, std::vector<std::string>{"Gs format error"});
    EXPECT_EQ(result.code, DAT_FAILED);
    EXPECT_EQ(g.m_nUn, 5);
    EXPECT_EQ(g.m_nGs, 0);
    EXPECT_EQ(g.m_bGradient, 1);

    result = load(4, "Ordre 3", g);
    EXPECT_EQ(result.messages, std::vector<std::string>{"Order format error"});
    EXPECT_EQ(result.code, DAT_FAILED);
    EXPECT_EQ(g.m_nGs, f.m_nGs);
    EXPECT_EQ(g.m_dMagnExp, -7.0);                             // not read
    EXPECT_EQ(g.m_orders[5].drawItems[ITEM_BIG_PENTAGON], 1);  // reset, not cleared
}

TEST(DatFileRead, MissingDrawOrderOrTransparencyStopsReading) {
    auto lines = CrLfLines(DatFileText(VariedRecord()));
    auto changed = lines;
    changed[6 + 20 * 2 + 19] = "  DrawOrder 1   Transparenc 0.3 ";
    FigureEngine g;
    EXPECT_EQ(LoadText(g, JoinCrLf(changed)).code, DAT_OK);
    EXPECT_EQ(g.m_orders[2].drawOrder, 1);
    EXPECT_EQ(g.m_orders[2].transparency, 0.0);
    EXPECT_EQ(g.m_orders[3].drawItems, (std::array<std::uint8_t, 16>{}));

    changed = lines;
    changed[6 + 20 * 0 + 19] = "  Transparency 0.3 ";
    EXPECT_EQ(LoadText(g, JoinCrLf(changed)).code, DAT_OK);
    EXPECT_EQ(g.m_orders[0].drawOrder, 1);  // order 0 is drawn
    EXPECT_EQ(g.m_orders[0].transparency, 0.0);
    changed = lines;
    changed[6 + 20 * 1 + 19] = "";
    EXPECT_EQ(LoadText(g, JoinCrLf(changed)).code, DAT_OK);
    EXPECT_EQ(g.m_orders[1].drawOrder, 0);
    EXPECT_EQ(g.m_orders[1].transparency, 0.0);
}

// ---- primitives ----

namespace {

// An open file holding bytes, removed with the object.
class ByteFile {
  public:
    explicit ByteFile(const std::string& bytes) {
        WriteBytes(m_dir.File("bytes"), bytes);
        m_file = std::fopen(m_dir.File("bytes").c_str(), "rb");
    }
    ~ByteFile() { std::fclose(m_file); }
    std::FILE* get() const { return m_file; }

  private:
    TempDir m_dir;
    std::FILE* m_file;
};

}  // namespace

TEST(DatPrimitives, ReadLineStopsAtCrAndLeavesTheLf) {
    ByteFile file("abc\r\ndefghij\r\nxy");
    std::string line;
    EXPECT_TRUE(DatReadLine(file.get(), line, 10));
    EXPECT_EQ(line, "abc");
    EXPECT_TRUE(DatReadLine(file.get(), line, 4));
    EXPECT_EQ(line, "\ndef");  // the LF left by the line before, then the limit
    EXPECT_TRUE(DatSkipLine(file.get()));
    EXPECT_FALSE(DatReadLine(file.get(), line, 10));
    EXPECT_EQ(line, "xy");
    EXPECT_FALSE(DatSkipLine(file.get()));
}

TEST(DatPrimitives, ReadNumberTokensAndResultCodes) {
    ByteFile file("x = -1.5e2,y\xE9z 7\r\n  \xFF 42");
    double v = -1;
    EXPECT_EQ(DatReadNumber(file.get(), v), DAT_NUMBER_READ);
    EXPECT_EQ(v, -1.5);  // a letter ends the token, so "e2," is not part of it
    EXPECT_EQ(DatReadNumber(file.get(), v), DAT_NUMBER_READ);
    EXPECT_EQ(v, 2.0);  // "2,": the comma belongs to the token, the valid prefix counts
    EXPECT_EQ(DatReadNumber(file.get(), v), DAT_NUMBER_AT_CR);
    EXPECT_EQ(v, 7.0);
    EXPECT_EQ(DatReadNumber(file.get(), v), DAT_NUMBER_READ);  // ended by the end of file
    EXPECT_EQ(v, 42.0);
    EXPECT_EQ(DatReadNumber(file.get(), v), DAT_NUMBER_AT_END);
    EXPECT_EQ(v, 0.0);

    ByteFile junk("-- ...5 ,,");
    EXPECT_EQ(DatReadNumber(junk.get(), v), DAT_NUMBER_READ);
    EXPECT_EQ(v, 0.0);  // no valid prefix
    EXPECT_EQ(DatReadNumber(junk.get(), v), DAT_NUMBER_READ);
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(DatReadNumber(junk.get(), v), DAT_NUMBER_READ);
    EXPECT_EQ(v, 0.0);
}

TEST(DatPrimitives, ReadNumberTokenEndsAfterNinetyNineBytes) {
    ByteFile file(std::string(99, '1') + "23 ");
    double v = 0;
    EXPECT_EQ(DatReadNumber(file.get(), v), DAT_NUMBER_READ);
    EXPECT_DOUBLE_EQ(v, 1.1111111111111111e98);
    EXPECT_EQ(DatReadNumber(file.get(), v), DAT_NUMBER_READ);
    EXPECT_EQ(v, 23.0);
}

TEST(DatPrimitives, FindIntAndFindReal) {
    int n = -1;
    EXPECT_TRUE(DatFindInt("Offset Unit 1145  Offset G Sec -1853", "G Sec", n));
    EXPECT_EQ(n, -1853);
    EXPECT_TRUE(DatFindInt("Order", "Order", n));
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(DatFindInt("Order x5", "Order", n));
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(DatFindInt("order 5", "Order", n));  // case matters
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(DatFindInt("Unit +12.9", "Unit", n));
    EXPECT_EQ(n, 12);
    EXPECT_TRUE(DatFindInt("Unit 99999999999", "Unit", n));
    EXPECT_EQ(n, std::numeric_limits<int>::max());
    EXPECT_TRUE(DatFindInt("Unit -99999999999999999999999", "Unit", n));
    EXPECT_EQ(n, std::numeric_limits<int>::min());
    double r = -1;
    EXPECT_TRUE(DatFindReal("  DrawOrder 1   Transparency 0.500000 ", "Transparency", r));
    EXPECT_EQ(r, 0.5);
    EXPECT_FALSE(DatFindReal("DrawOrder 1", "Transparency", r));
    EXPECT_EQ(r, 0.0);
    EXPECT_TRUE(DatFindReal("T .25e1x", "T", r));
    EXPECT_EQ(r, 2.5);
}

TEST(DatPrimitives, DecimalPrefixes) {
    std::size_t used = 0;
    EXPECT_EQ(ParseDecimalPrefix("+3.5e", &used), 3.5);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(ParseDecimalPrefix("5.", &used), 5.0);
    EXPECT_EQ(used, 2u);
    EXPECT_EQ(ParseDecimalPrefix("-.5E+1", &used), -5.0);
    EXPECT_EQ(used, 6u);
    EXPECT_EQ(ParseDecimalPrefix(".", &used), 0.0);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(ParseDecimalPrefix("inf"), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("nan"), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("0x10"), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("1e400"), HUGE_VAL);
    EXPECT_EQ(ParseDecimalPrefix("-1e400"), -HUGE_VAL);
    EXPECT_EQ(ParseDecimalPrefix(std::string(400, '9')), HUGE_VAL);
    EXPECT_EQ(ParseDecimalPrefix("1e-400"), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("1e99999999999999999999"), HUGE_VAL);
}

// ---- hostile files ----

TEST(DatFileHostile, ValuesThatWouldIndexOutOfRangeAreMadeSound) {
    auto lines = CrLfLines(DefaultFileText());
    lines[52] = "Offset Unit 99999999999  Offset G Sec -99999999999   Gradient On 1";
    lines[53] = "Order 99";
    const std::string huge(98, '9');  // a token holds at most 99 bytes: no infinity gets in
    lines[54] = "Centre View: x = " + huge + "  y = -" + huge + "  Exp Magn = " + huge;
    lines[55 + 19] = "  DrawOrder 1   Transparency 1e300 ";
    lines[55 + 20 + 19] = "  DrawOrder 1   Transparency -7 ";
    FigureEngine g;
    ASSERT_EQ(LoadText(g, JoinCrLf(lines)).code, DAT_OK);
    ExpectSoundRecord(g);
    EXPECT_EQ(g.m_nUn, std::numeric_limits<int>::max());
    EXPECT_EQ(g.m_nGs, std::numeric_limits<int>::min());
    EXPECT_EQ(g.m_nCurrentOrder, 9);
    EXPECT_EQ(g.m_dCentreX, ParseDecimalPrefix(huge));
    EXPECT_EQ(g.m_dCentreY, -ParseDecimalPrefix(huge));
    EXPECT_EQ(g.m_dMagnExp, 1000.0);  // 2^e stays a finite, non-zero scale
    EXPECT_EQ(g.m_orders[0].transparency, 1.0);
    EXPECT_EQ(g.m_orders[1].transparency, 0.0);

    lines[53] = "Order -5";
    lines[54] = "Centre View: x = 3e305  y = -2.5  Exp Magn = -" + huge;
    ASSERT_EQ(LoadText(g, JoinCrLf(lines)).code, DAT_OK);
    EXPECT_EQ(g.m_nCurrentOrder, 0);
    EXPECT_EQ(g.m_dCentreX, 3.0);  // "e" ends the token; 305 and -2.5 follow
    EXPECT_EQ(g.m_dCentreY, 305.0);
    EXPECT_EQ(g.m_dMagnExp, -2.5);
    lines[54] = "Centre View: x = 1  y = 2  Exp Magn = -" + huge;
    ASSERT_EQ(LoadText(g, JoinCrLf(lines)).code, DAT_OK);
    EXPECT_EQ(g.m_dMagnExp, -1000.0);
}

TEST(DatFileHostile, CutAtEveryByteOffset) {
    std::string text = DatFileText(VariedRecord());
    std::size_t orderKeyEnd = text.find("Order 0") + 5;
    TempDir dir;
    std::string path = dir.File("cut.dat");
    FigureEngine g;
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        WriteBytes(path, text.substr(0, cut));
        ScriptedPrompts ui;
        int code = LoadDatFile(g, path, ui);
        ASSERT_EQ(code, cut >= orderKeyEnd ? DAT_OK : DAT_FAILED) << "cut at " << cut;
        ExpectSoundRecord(g);
        if (HasFailure()) FAIL() << "cut at " << cut;
    }
    EXPECT_EQ(DatFileText(g), text);
}

TEST(DatFileHostile, BinaryGarbageLoadsWithoutHarm) {
    std::mt19937 random(20240611);
    TempDir dir;
    std::string path = dir.File("garbage.dat");
    for (int round = 0; round < 40; ++round) {
        std::string bytes(1 + random() % 20000, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        if (round % 2) {  // make the later stages reachable
            bytes.insert(bytes.size() / 3, "#\r\nOffset Unit 1 G Sec 2\r\nOrder 3\r\n");
        }
        WriteBytes(path, bytes);
        FigureEngine g;
        ScriptedPrompts ui;
        int code = LoadDatFile(g, path, ui);
        EXPECT_TRUE(code == DAT_OK || code == DAT_FAILED);
        ExpectSoundRecord(g);
        if (HasFailure()) FAIL() << "round " << round;
    }
}

TEST(DatFileHostile, TenMegabytesWithoutHash) {
    std::string bytes = "Version\r\nComment\r\n" + std::string(10 * 1024 * 1024, 'S');
    for (std::size_t i = 20; i < bytes.size(); i += 7) bytes[i] = 'b';
    FigureEngine g;
    auto result = LoadText(g, bytes);
    EXPECT_EQ(result.code, DAT_FAILED);
    EXPECT_EQ(result.messages,
              (std::vector<std::string>{"Input string too long, it will be truncated",
                                        "Unit format error"}));
    EXPECT_EQ(g.m_nSeriesLen, 2999);
    ExpectSoundRecord(g);

    // Without any line end the version line swallows the whole file.
    result = LoadText(g, std::string(10 * 1024 * 1024, 'S'));
    EXPECT_EQ(result.messages,
              (std::vector<std::string>{"Input string too long, it will be truncated",
                                        "Unit format error"}));
    EXPECT_EQ(g.m_nSeriesLen, 0);
    EXPECT_EQ(std::string(g.m_szVersion), std::string(21, 'S'));
}

TEST(DatFileHostile, OverlongSeriesIsTruncatedAndReadingGoesOn) {
    std::string text = DefaultFileText();
    std::size_t from = LineOffset(text, 2), to = LineOffset(text, 52);
    text.replace(from, to - from, std::string(4000, 'B') + "#\r\n");
    FigureEngine g;
    auto result = LoadText(g, text);
    EXPECT_EQ(result.code, DAT_OK);
    EXPECT_EQ(result.messages,
              std::vector<std::string>{"Input string too long, it will be truncated"});
    EXPECT_EQ(g.m_nSeriesLen, 2999);
    EXPECT_EQ(g.m_nUn, 1145);
    EXPECT_EQ(g.m_orders[9].transparency, 0.5);
}

TEST(DatFileHostile, VeryLongLinesAreCut) {
    auto lines = CrLfLines(DatFileText(VariedRecord()));
    lines[0] = std::string(5000, 'V');
    lines[1] = std::string(7000, 'c');
    lines[6 + 20 * 4 + 19] = "  DrawOrder 1" + std::string(3000, ' ') + "Transparency 0.1 ";
    FigureEngine g;
    auto result = LoadText(g, JoinCrLf(lines));
    EXPECT_EQ(result.code, DAT_OK);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(std::string(g.m_szVersion), std::string(21, 'V'));
    EXPECT_EQ(std::string(g.m_szComment), std::string(95, 'c'));
    EXPECT_EQ(g.m_nUn, -70231);
    EXPECT_EQ(g.m_orders[4].drawOrder, 1);
    EXPECT_EQ(g.m_orders[4].transparency, 0.0);  // its key lies beyond the 290 bytes read
    EXPECT_EQ(g.m_orders[5].drawItems, (std::array<std::uint8_t, 16>{}));

    lines = CrLfLines(DefaultFileText());
    lines[52] = std::string(3000, ' ') + "Offset Unit 1  Offset G Sec 2   Gradient On 1";
    EXPECT_EQ(LoadText(g, JoinCrLf(lines)).messages, std::vector<std::string>{"Unit format error"});
}

// ---- Line ends other than CR LF ----

namespace {

// The text with every CR LF replaced by lineEnd.
std::string WithLineEnds(const std::string& crLfText, const std::string& lineEnd) {
    std::string text;
    std::size_t start = 0;
    for (std::size_t end; (end = crLfText.find("\r\n", start)) != std::string::npos;
         start = end + 2)
        text += crLfText.substr(start, end - start) + lineEnd;
    return text + crLfText.substr(start);
}

// Files that exercise each way the reader stops: a whole record, one that ends after order 3's
// block (the length check before each block), a value directly before the line end, and an old
// version with six item values.
std::vector<std::pair<std::string, std::string>> LineEndSources() {
    std::string varied = DatFileText(VariedRecord());
    std::string cut = varied.substr(0, LineOffset(varied, 6 + 4 * 20));
    auto stopped = CrLfLines(DefaultFileText());
    stopped[55] = "DrawItems  1   1   1   1   1   1   1   0";
    FigureEngine old = VariedRecord();
    std::strcpy(old.m_szVersion, "Dorvanta Version 1.0");
    auto oldLines = CrLfLines(DatFileText(old));
    for (auto& line : oldLines)
        if (line.rfind("DrawItems", 0) == 0) line = line.substr(0, line.size() - 2 * 4);
    return {{"varied", varied},
            {"cut after order 3", cut},
            {"value before the line end", JoinCrLf(stopped)},
            {"version 1.0", JoinCrLf(oldLines)}};
}

}  // namespace

TEST(DatFileLineEnds, LfCrAndMixedLineEndsReadAsCrLf) {
    for (const auto& [name, crLfText] : LineEndSources()) {
        FigureEngine expected;
        auto reference = LoadText(expected, crLfText);
        // Mixed: LF for even lines, CR for odd ones.
        std::string mixed;
        auto lines = CrLfLines(crLfText);
        for (std::size_t i = 0; i < lines.size(); ++i) mixed += lines[i] + (i % 2 ? "\r" : "\n");
        for (const auto& [ending, text] :
             std::vector<std::pair<std::string, std::string>>{{"LF", WithLineEnds(crLfText, "\n")},
                                                              {"CR", WithLineEnds(crLfText, "\r")},
                                                              {"mixed", mixed}}) {
            SCOPED_TRACE(name + " with " + ending);
            FigureEngine g;
            auto result = LoadText(g, text);
            EXPECT_EQ(result.code, reference.code);
            EXPECT_EQ(result.messages, reference.messages);
            EXPECT_EQ(DatFileText(g), DatFileText(expected));
            EXPECT_EQ(std::memcmp(g.m_colours, expected.m_colours, sizeof g.m_colours), 0);
            for (int i = 0; i < kOrderCount; ++i)
                EXPECT_EQ(g.m_orders[i].drawItems, expected.m_orders[i].drawItems) << i;
        }
    }
}

TEST(DatFileLineEnds, AnLfFileIsWrittenBackWithCrLf) {
    TempDir dir;
    std::string path = dir.File("lf.dat");
    WriteBytes(path, WithLineEnds(DatFileText(VariedRecord()), "\n"));
    FigureEngine g;
    ScriptedPrompts ui;
    ASSERT_EQ(LoadDatFile(g, path, ui), DAT_OK);
    ASSERT_EQ(SaveDatFile(g, path), DAT_OK);
    std::string text = ReadBytes(path);
    EXPECT_EQ(CrLfLines(text).size(), 206u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 206);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 206);
    EXPECT_EQ(text.substr(0, 22), "Dorvanta Version 4.0\r\n");
}

// ---- Reals that the format's decimals would change ----

namespace {

struct RealTextCase {
    double value;
    const char* centreText;        // as the centre x, the centre y and the exponent
    const char* transparencyText;  // as a transparency
};

}  // namespace

TEST(DatFileReals, DecimalsWhenTheyKeepTheValueOtherwiseTheShortestExactText) {
    const RealTextCase cases[] = {
        // Values that fit the decimals keep the documented text.
        {-7.0, "-7.00000", "-7.000000"},
        {0.5, "0.50000", "0.500000"},
        {-12.34568, "-12.34568", "-12.345680"},
        {0.125, "0.12500", "0.125000"},
        {0.0, "0.00000", "0.000000"},
        // Keyboard steps and random values do not.
        {0.1 + 0.2, "0.30000000000000004", "0.30000000000000004"},
        {-12.345678, "-12.345678", "-12.345678"},
        {1.0 / 3.0, "0.3333333333333333", "0.3333333333333333"},
        {-6.0 - 1.0 / 128, "-6.0078125", "-6.0078125"},
        {0.0000015, "0.0000015", "0.0000015"},
        // Too long for the reader's 99-byte token: the rounded text is all that can be read.
        {1e-120, "0.00000", "0.000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.centreText);
        FigureEngine f;
        f.m_dCentreX = f.m_dCentreY = f.m_dMagnExp = c.value;
        f.m_orders[3].transparency = c.value;
        auto lines = CrLfLines(DatFileText(f));
        std::string centre = c.centreText;
        EXPECT_EQ(lines[54],
                  "Centre View: x = " + centre + "  y = " + centre + "  Exp Magn = " + centre);
        EXPECT_EQ(lines[55 + 3 * 20 + 19],
                  std::string("  DrawOrder 1   Transparency ") + c.transparencyText + " ");
        // And the file gives the value back wherever the text is exact.
        if (std::string(c.centreText) == "0.00000" && c.value != 0.0) continue;
        FigureEngine g;
        ASSERT_EQ(LoadText(g, JoinCrLf(lines)).code, DAT_OK);
        EXPECT_EQ(g.m_dCentreX, c.value);
        EXPECT_EQ(g.m_dMagnExp, c.value);
        if (c.value >= 0.0 && c.value <= 1.0) {
            EXPECT_EQ(g.m_orders[3].transparency, c.value);
        }
    }
}

TEST(DatFileReals, AFileWhoseValuesFitTheDecimalsIsRewrittenByteForByte) {
    auto lines = CrLfLines(DefaultFileText());
    lines[54] = "Centre View: x = -12.34568  y = 1234.50000  Exp Magn = -3.25000";
    lines[55 + 19] = "  DrawOrder 1   Transparency 0.333333 ";
    std::string text = JoinCrLf(lines);
    FigureEngine g;
    ASSERT_EQ(LoadText(g, text).code, DAT_OK);
    EXPECT_EQ(DatFileText(g), text);
}
