#include "document/comment_text.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

// Bytes 0x80 to 0x9F; every other byte stands for the character of the same number.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | c >> 6);
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | c >> 12);
        text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | c >> 18);
        text += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character starting at text[pos] and its length; nothing when the bytes there are not a
// well-formed UTF-8 sequence (overlong forms, surrogates and values beyond U+10FFFF included).
std::optional<std::pair<char32_t, std::size_t>> DecodeAt(std::string_view text, std::size_t pos) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80) return std::pair{char32_t{lead}, std::size_t{1}};
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || pos + length > text.size()) return std::nullopt;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
        c = c << 6 | (byte(i) & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    return std::pair{c, length};
}

// The characters of text when it is valid UTF-8; an incomplete sequence at the very end is
// dropped when allowCutTail is set.
std::optional<std::u32string> DecodeUtf8(std::string_view text, bool allowCutTail) {
    std::u32string characters;
    for (std::size_t pos = 0; pos < text.size();) {
        auto decoded = DecodeAt(text, pos);
        if (!decoded) {
            bool tail = allowCutTail && text.size() - pos < 4 &&
                        static_cast<unsigned char>(text[pos]) >= 0xC2;
            return tail ? std::optional(characters) : std::nullopt;
        }
        characters += decoded->first;
        pos += decoded->second;
    }
    return characters;
}

}  // namespace

char32_t UnicodeOfWindows1252(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : char32_t{byte};
}

bool Windows1252Of(char32_t character, char& byte) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        byte = static_cast<char>(character);
        return true;
    }
    auto at = std::find(kHighControls.begin(), kHighControls.end(), character);
    if (at == kHighControls.end()) return false;
    byte = static_cast<char>(0x80 + (at - kHighControls.begin()));
    return true;
}

std::string Utf8FromWindows1252(std::string_view text) {
    std::string utf8;
    for (char byte : text) AppendUtf8(utf8, UnicodeOfWindows1252(static_cast<unsigned char>(byte)));
    return utf8;
}

bool Windows1252FromUtf8(std::string_view utf8, std::string& text, char32_t* unheld) {
    text.clear();
    bool all = true;
    for (char32_t c : DecodeUtf8(utf8, false).value_or(std::u32string())) {
        char byte = '?';
        if (!Windows1252Of(c, byte)) {
            if (all && unheld) *unheld = c;
            all = false;
        }
        text += byte;
    }
    return all;
}

std::string CommentFromFileLine(std::string_view line, std::size_t limit, bool cut) {
    bool ascii = std::all_of(line.begin(), line.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::optional<std::u32string> characters;
    if (!ascii) characters = DecodeUtf8(line, cut);
    if (!characters) return std::string(line.substr(0, limit));
    std::string comment;
    for (char32_t c : characters->substr(0, limit)) {
        char byte = '?';
        Windows1252Of(c, byte);
        comment += byte;
    }
    return comment;
}
