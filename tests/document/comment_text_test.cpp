#include "document/comment_text.h"

#include <gtest/gtest.h>

#include <string>

#include "document/dat_file.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace {

std::string Repeat(const std::string& part, int times) {
    std::string text;
    for (int n = 0; n < times; ++n) text += part;
    return text;
}

}  // namespace

TEST(CommentText, EveryWindows1252ByteSurvivesTheRoundTrip) {
    for (int value = 1; value < 256; ++value) {
        char byte = static_cast<char>(value);
        std::string text(1, byte), back;
        ASSERT_TRUE(Windows1252FromUtf8(Utf8FromWindows1252(text), back)) << value;
        EXPECT_EQ(back, text) << value;
    }
    EXPECT_EQ(Utf8FromWindows1252("\x80\xE9\x9F\x93\x94\x81"), "€éŸ“”\xC2\x81");
}

TEST(CommentText, CharactersTheCodePageCannotHoldAreNamed) {
    std::string text;
    char32_t unheld = 0;
    EXPECT_FALSE(Windows1252FromUtf8("Erzsébet ő 日", text, &unheld));
    EXPECT_EQ(unheld, U'ő');
    EXPECT_EQ(text,
              "Erzs\xE9"
              "bet ? ?");
    EXPECT_TRUE(Windows1252FromUtf8("Œuvre — 5 €", text));
    EXPECT_EQ(text, "\x8Cuvre \x97 5 \x80");
}

TEST(CommentText, FileLinesAreReadAsUtf8OnlyWhenTheyAreUtf8) {
    struct Case {
        const char* what;
        std::string line;
        bool cut;
        std::string comment;
    };
    const Case cases[] = {
        {"ASCII, byte for byte", "Plain comment", false, "Plain comment"},
        {"ASCII beyond the limit is cut", std::string(120, 'c'), false, std::string(95, 'c')},
        {"Windows-1252 stays as it is", "Caf\xE9 \x80", false, "Caf\xE9 \x80"},
        {"UTF-8 of an earlier version", "Café €", false, "Caf\xE9 \x80"},
        {"95 UTF-8 characters are 95 characters", Repeat("é", 100), false, std::string(95, '\xE9')},
        {"unheld UTF-8 characters become ?", "日本 é", false, "?? \xE9"},
        {"broken UTF-8 is Windows-1252", "\xC3\xA9\xE9", false, "\xC3\xA9\xE9"},
        {"a cut line may end inside a character", "é\xC3", true, "\xE9"},
        {"an uncut line may not", "é\xC3", false, "\xC3\xA9\xC3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommentFromFileLine(c.line, 95, c.cut), c.comment) << c.what;
}

// ---- In parameter files ----

namespace {

std::string ReadFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::string bytes;
    for (int c; file && (c = std::fgetc(file)) != EOF;) bytes += static_cast<char>(c);
    if (file) std::fclose(file);
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// The default file with another comment line.
std::string FileWithComment(const std::string& comment) {
    std::string text = DatFileText(FigureEngine());
    std::size_t start = text.find("\r\n") + 2;
    return text.replace(start, text.find("\r\n", start) - start, comment);
}

}  // namespace

TEST(CommentInFiles, Windows1252AndAsciiFilesAreWrittenBackByteForByte) {
    TempDir dir;
    for (const std::string& comment :
         {std::string("Comment"), std::string("Caf\xE9 \x80 \x93ok\x94"),
          std::string(95, '\xE9')}) {
        std::string path = dir.File("old.dat");
        WriteFile(path, FileWithComment(comment));
        FigureEngine figure;
        ScriptedPrompts ui;
        ASSERT_EQ(LoadDatFile(figure, path, ui), DAT_OK);
        EXPECT_EQ(std::string(figure.m_szComment), comment);
        ASSERT_EQ(SaveDatFile(figure, dir.File("new.dat")), DAT_OK);
        EXPECT_EQ(ReadFile(dir.File("new.dat")), FileWithComment(comment));
    }
}

TEST(CommentInFiles, AUtf8CommentOfAnEarlierVersionIsKeptAndWrittenAsWindows1252) {
    TempDir dir;
    std::string path = dir.File("earlier.dat");
    // 100 "é" in UTF-8: cut at 95 characters, never inside one.
    WriteFile(path, FileWithComment(Repeat("é", 100)));
    FigureEngine figure;
    ScriptedPrompts ui;
    ASSERT_EQ(LoadDatFile(figure, path, ui), DAT_OK);
    EXPECT_EQ(std::string(figure.m_szComment), std::string(95, '\xE9'));
    ASSERT_EQ(SaveDatFile(figure, path), DAT_OK);
    EXPECT_EQ(ReadFile(path), FileWithComment(std::string(95, '\xE9')));
}
