// The parameter file (.dat): the stored form of one figure as CR LF text, from which the same
// picture can be painted again. Numbers are written and read the same way in every locale.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "figure/figure_engine.h"

class UserPrompts;

// Results of SaveDatFile and LoadDatFile.
constexpr int DAT_OK = 0;
constexpr int DAT_FAILED = 1;

// Results of DatReadNumber.
constexpr int DAT_NUMBER_READ = 0;    // a token was read (and not ended by CR)
constexpr int DAT_NUMBER_AT_END = 1;  // the file ended before any token
constexpr int DAT_NUMBER_AT_CR = 3;   // the token was ended by CR

// Writes the record to path: 0 when written, 1 when the file cannot be written. The text goes
// to a temporary file beside the target first, so a failed save leaves an earlier file intact.
int SaveDatFile(const FigureParams& figure, const std::string& path);

// Resets the figure and reads path into it: 1 when the file cannot be opened (the figure is
// untouched) or a required key is missing, otherwise 0. Messages go through ui.
int LoadDatFile(FigureEngine& figure, const std::string& path, UserPrompts& ui);

// Resets the figure and reads the text of a parameter file held in memory (the parameter chunk
// of a PNG picture), with the same results and messages as LoadDatFile.
int LoadDatText(FigureEngine& figure, std::string_view text, UserPrompts& ui);

// The complete text SaveDatFile writes for the record.
std::string DatFileText(const FigureParams& figure);

// Reading primitives, each reading the open file one byte at a time.

// Stores bytes into line until CR (consumed, not stored) or limit bytes stored; the LF after
// the CR stays in the file. False at the end of the file, with the bytes read so far in line.
bool DatReadLine(std::FILE* file, std::string& line, std::size_t limit);
// Consumes bytes up to and including the next LF; false at the end of the file.
bool DatSkipLine(std::FILE* file);
// Reads the next run of bytes "!" to "9" (at most 99) as a decimal real number into value.
int DatReadNumber(std::FILE* file, double& value);
// The integer right after the first occurrence of key in line (blanks skipped, 0 without
// digits, saturated to 32 bits); false and 0 when the key is absent.
bool DatFindInt(std::string_view line, std::string_view key, int& value);
// The same for a decimal real number; false and 0.0 when the key is absent.
bool DatFindReal(std::string_view line, std::string_view key, double& value);

// The value of the longest decimal real number at the start of text (optional sign, digits,
// optional point and digits, optional exponent); 0.0 when there is none. Overflow gives an
// infinity, underflow zero. used receives the number of characters taken.
double ParseDecimalPrefix(std::string_view text, std::size_t* used = nullptr);
