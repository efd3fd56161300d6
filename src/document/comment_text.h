// The comment of a figure is 8-bit text, one byte per character in the Windows-1252 code page, as
// parameter files of older programs hold it. The desktop shows and edits it as Unicode; files
// written by earlier versions of this program hold it as UTF-8 and are read as such.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The character a Windows-1252 byte stands for. The five bytes the code page leaves undefined
// stand for the control characters of the same number, so that every byte survives a round trip.
char32_t UnicodeOfWindows1252(unsigned char byte);
// The Windows-1252 byte of a character; false when the code page cannot hold it.
bool Windows1252Of(char32_t character, char& byte);

// UTF-8 text of Windows-1252 text.
std::string Utf8FromWindows1252(std::string_view text);
// Windows-1252 text of valid UTF-8 text; false when a character cannot be held, with the first
// such character in unheld (the rest of the text is converted with "?" in its place).
bool Windows1252FromUtf8(std::string_view utf8, std::string& text, char32_t* unheld = nullptr);

// The comment stored from the comment line of a parameter file, at most limit characters: a line
// that is valid UTF-8 and not plain ASCII is read as UTF-8 (a character that Windows-1252 cannot
// hold becomes "?"), any other line is taken byte for byte. A line cut at a byte limit may end
// inside a UTF-8 character; that tail is dropped rather than taken as Windows-1252.
std::string CommentFromFileLine(std::string_view line, std::size_t limit, bool cut);
