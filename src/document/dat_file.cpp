#include "document/dat_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "picture/safe_file.h"
#include "picture/user_prompts.h"

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr std::size_t kVersionLimit = 21;
constexpr std::size_t kCommentLimit = 95;
constexpr std::size_t kLineLimit = 290;
constexpr std::size_t kTokenLimit = 99;
constexpr int kColourLinesPerOrder = 16;
constexpr long long kMinTailBytes = 30;  // an order block needs more than this to be worth reading
// Beyond these exponents 2^e times half the width is no longer a finite, non-zero double.
constexpr double kMagnExpLimit = 1000.0;

// ---- writing ----

void AppendInt(std::string& text, long long value) {
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    text.append(digits, result.ptr);
}

// printf's "%.<precision>f" in the "C" locale, whatever the process locale is.
void AppendFixed(std::string& text, double value, int precision) {
    char digits[400];
    auto result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
    text.append(digits, result.ptr);
}

// A centre or exponent as "%.5f". The reader takes at most 99 bytes of digits, sign and point
// per number, so a value whose text would be longer (or that is not finite) is written as the
// farthest value that fits; otherwise it would be cut in two and shift every number after it.
void AppendCentreNumber(std::string& text, double value) {
    constexpr double kFarthestWritten = 1e90;  // 91 digits and five decimals
    if (std::isnan(value)) value = 0.0;
    AppendFixed(text, std::clamp(value, -kFarthestWritten, kFarthestWritten), 5);
}

std::string_view StoredText(const char* text, std::size_t capacity) {
    return std::string_view(text, strnlen(text, capacity));
}

void AppendSeries(std::string& text, const FigureParams& figure) {
    std::size_t count =
        static_cast<std::size_t>(std::clamp(figure.m_nSeriesLen, 0, kMaxSeriesLetters));
    count = std::min(count, strnlen(figure.m_szSeries, kSeriesCapacity));
    for (std::size_t n = 1; n <= count; ++n) {
        text += figure.m_szSeries[n - 1];
        if (n % 10 == 0) text += (n % 60 == 0) ? kCrLf : " ";
    }
    text += "#";
    text += kCrLf;
}

void AppendSwitches(std::string& text, const char* label, const std::uint8_t* values, int count) {
    text += label;
    for (int j = 0; j < count; ++j) {
        AppendInt(text, values[j]);
        text += "   ";
    }
    text += kCrLf;
}

void AppendOrderBlock(std::string& text, const FigureParams& figure, int order) {
    const OrderSettings& settings = figure.m_orders[order];
    AppendSwitches(text, "DrawItems  ", settings.drawItems.data(), 8);
    AppendSwitches(text, "DrawLines  ", settings.drawLines.data(), 5);
    text += "Colors in RGB format: ";
    text += kCrLf;
    for (int k = 0; k < kColourLinesPerOrder; ++k) {
        const std::uint8_t* entry = figure.m_colours[10 * order + k];
        for (int channel : {2, 1, 0}) {  // red, green, blue
            AppendInt(text, entry[channel]);
            text += "  ";
        }
        text += kCrLf;
    }
    text += "  DrawOrder ";
    AppendInt(text, settings.drawOrder);
    text += "   Transparency ";
    AppendFixed(text, settings.transparency, 6);
    text += " ";
    text += kCrLf;
}

// ---- reading ----

bool IsNumberByte(int c) {
    return c >= 33 && c <= 57;
}
bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
double Nearest(double v) {
    return std::floor(v + 0.5);
}

// Counts the digits at text[pos...].
std::size_t DigitRun(std::string_view text, std::size_t pos) {
    std::size_t n = 0;
    while (pos + n < text.size() && IsDigit(text[pos + n])) ++n;
    return n;
}

// Decimal order of magnitude of a number from_chars could not hold: above 0 means overflow.
long long DecimalMagnitude(std::string_view mantissa, long long exponent) {
    std::size_t point = mantissa.find('.');
    std::string_view whole = mantissa.substr(0, point);
    std::size_t firstNonZero = whole.find_first_not_of('0');
    if (firstNonZero != std::string_view::npos)
        return static_cast<long long>(whole.size() - firstNonZero) + exponent;
    if (point == std::string_view::npos) return exponent;
    std::string_view fraction = mantissa.substr(point + 1);
    std::size_t leadingZeros = std::min(fraction.find_first_not_of('0'), fraction.size());
    return exponent - static_cast<long long>(leadingZeros);
}

long long ParseExponent(std::string_view digits, bool negative) {
    long long value = 0;
    for (char c : digits) value = std::min(value * 10 + (c - '0'), 1000000000LL);
    return negative ? -value : value;
}

// Copies at most capacity - 1 bytes of text into a NUL-terminated field.
void StoreText(char* field, std::size_t capacity, const std::string& text) {
    std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// Reject what the painting cannot use: values keep their defaults when not finite.
void TakeFinite(double& field, double value, double limit) {
    if (std::isfinite(value)) field = std::clamp(value, -limit, limit);
}

double SoundTransparency(double value) {
    return std::isnan(value) ? 0.5 : std::clamp(value, 0.0, 1.0);
}

// The low 8 bits of nearest(value); the stored byte stays when the value is not finite.
void StoreLowByte(std::uint8_t& field, double value) {
    if (!std::isfinite(value)) return;
    double low = std::fmod(Nearest(value), 256.0);
    if (low < 0) low += 256.0;
    field = static_cast<std::uint8_t>(low);
}

long long RemainingBytes(std::FILE* file, long long size) {
    return size - std::ftell(file);
}

// Opens path for reading when it names a regular file; size receives its length.
std::FILE* OpenRegularFile(const std::string& path, long long& size) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    size = static_cast<long long>(info.st_size);
    return file;
}

void ReadHeadTexts(FigureParams& figure, std::FILE* file) {
    std::string line;
    DatReadLine(file, line, kVersionLimit);
    StoreText(figure.m_szVersion, sizeof figure.m_szVersion, line);
    DatSkipLine(file);
    DatReadLine(file, line, kCommentLimit);
    StoreText(figure.m_szComment, sizeof figure.m_szComment, line);
    DatSkipLine(file);
}

void ReadSeries(FigureParams& figure, std::FILE* file, UserPrompts& ui) {
    int count = 0;
    bool ended = false;
    while (count < kMaxSeriesLetters) {
        int c = std::getc(file);
        if (c == EOF) break;
        if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
        if (c == '#') {
            ended = true;
            break;
        }
        if (c == 'R' || c == 'C')
            figure.m_szSeries[count++] = 'R';
        else if (c == 'B' || c == 'S')
            figure.m_szSeries[count++] = static_cast<char>(c);
    }
    if (!ended) {
        ui.ShowMessage("Input string too long, it will be truncated", MsgButtons::Ok,
                       MsgIcon::None);
        for (int c = std::getc(file); c != EOF && c != '#'; c = std::getc(file)) {
        }
    }
    figure.m_szSeries[count] = '\0';
    figure.m_nSeriesLen = count;
}

// The offsets line and the order line; false after a message when a key is missing.
bool ReadOffsetsAndOrder(FigureParams& figure, std::FILE* file, UserPrompts& ui) {
    std::string line;
    DatSkipLine(file);
    DatReadLine(file, line, kLineLimit);
    int value = 0;
    figure.m_bGradient = DatFindInt(line, "Gradient On", value) && value > 0;
    if (!DatFindInt(line, "Unit", figure.m_nUn)) {
        ui.ShowMessage("Unit format error", MsgButtons::Ok, MsgIcon::None);
        return false;
    }
    if (!DatFindInt(line, "G Sec", figure.m_nGs)) {
        ui.ShowMessage("Gs format error", MsgButtons::Ok, MsgIcon::None);
        return false;
    }
    DatReadLine(file, line, kLineLimit);
    if (!DatFindInt(line, "Order", value)) {
        ui.ShowMessage("Order format error", MsgButtons::Ok, MsgIcon::None);
        return false;
    }
    // Every use of the working order indexes the ten orders.
    figure.m_nCurrentOrder = std::clamp(value, 0, kOrderCount - 1);
    return true;
}

void ReadCentreLine(FigureParams& figure, std::FILE* file) {
    double x = 0.0, y = 0.0, exponent = 0.0;
    DatReadNumber(file, x);
    DatReadNumber(file, y);
    DatReadNumber(file, exponent);
    TakeFinite(figure.m_dCentreX, x, std::numeric_limits<double>::max());
    TakeFinite(figure.m_dCentreY, y, std::numeric_limits<double>::max());
    TakeFinite(figure.m_dMagnExp, exponent, kMagnExpLimit);
    DatSkipLine(file);
}

// Reads count switch values; false (value not stored) at a value not followed by a blank.
bool ReadSwitches(std::FILE* file, std::uint8_t* switches, int count) {
    for (int j = 0; j < count; ++j) {
        double value = 0.0;
        if (DatReadNumber(file, value) != DAT_NUMBER_READ) return false;
        switches[j] = Nearest(value) > 0;
    }
    return true;
}

bool ReadColourLines(FigureParams& figure, std::FILE* file, int order) {
    for (int k = 0; k < kColourLinesPerOrder; ++k) {
        std::uint8_t* entry = figure.m_colours[10 * order + k];
        for (int channel : {2, 1, 0}) {  // red, green, blue
            double value = 0.0;
            if (DatReadNumber(file, value) != DAT_NUMBER_READ) return false;
            StoreLowByte(entry[channel], value);
        }
        if (!DatSkipLine(file)) return false;
    }
    return true;
}

// The "DrawOrder ... Transparency ..." line; false when reading stops here.
bool ReadDrawOrderLine(OrderSettings& settings, std::FILE* file, int order) {
    std::string line;
    if (!DatReadLine(file, line, kLineLimit)) return false;
    int drawOrder = 0;
    if (!DatFindInt(line, "DrawOrder", drawOrder)) {
        settings.drawOrder = order == 0;
        settings.transparency = 0.0;
        return false;
    }
    settings.drawOrder = drawOrder > 0;
    double transparency = 0.0;
    bool found = DatFindReal(line, "Transparency", transparency);
    settings.transparency = SoundTransparency(transparency);
    return found;
}

// One block of 20 lines; false when reading stops inside it.
bool ReadOrderBlock(FigureParams& figure, std::FILE* file, int order, int itemCount) {
    OrderSettings& settings = figure.m_orders[order];
    if (!ReadSwitches(file, settings.drawItems.data(), itemCount)) return false;
    if (!DatSkipLine(file)) return false;
    if (!ReadSwitches(file, settings.drawLines.data(), 5)) return false;
    if (!DatSkipLine(file) || !DatSkipLine(file)) return false;
    if (!ReadColourLines(figure, file, order)) return false;
    if (!ReadDrawOrderLine(settings, file, order)) return false;
    return DatSkipLine(file);
}

void ReadOrderBlocks(FigureParams& figure, std::FILE* file, long long size) {
    int itemCount = std::strcmp(figure.m_szVersion, "Dorvanta Version 1.0") == 0 ? 6 : 8;
    for (OrderSettings& settings : figure.m_orders) settings.drawItems.fill(0);
    for (int order = 0; order < kOrderCount; ++order) {
        if (!ReadOrderBlock(figure, file, order, itemCount)) return;
        if (RemainingBytes(file, size) <= kMinTailBytes) return;
    }
}

}  // namespace

std::string DatFileText(const FigureParams& figure) {
    std::string text;
    text.reserve(8192);
    text += StoredText(figure.m_szVersion, sizeof figure.m_szVersion);
    text += kCrLf;
    text += StoredText(figure.m_szComment, sizeof figure.m_szComment);
    text += kCrLf;
    AppendSeries(text, figure);
    text += "Offset Unit ";
    AppendInt(text, figure.m_nUn);
    text += "  Offset G Sec ";
    AppendInt(text, figure.m_nGs);
    text += "   Gradient On ";
    AppendInt(text, figure.m_bGradient);
    text += kCrLf;
    text += "Order 0";
    text += kCrLf;
    text += "Centre View: x = ";
    AppendCentreNumber(text, figure.m_dCentreX);
    text += "  y = ";
    AppendCentreNumber(text, figure.m_dCentreY);
    text += "  Exp Magn = ";
    AppendCentreNumber(text, figure.m_dMagnExp);
    text += kCrLf;
    for (int order = 0; order < kOrderCount; ++order) AppendOrderBlock(text, figure, order);
    return text;
}

int SaveDatFile(const FigureParams& figure, const std::string& path) {
    std::string text = DatFileText(figure);
    SafeFile out(path);
    if (!out.Open()) return DAT_FAILED;
    if (std::fwrite(text.data(), 1, text.size(), out.Stream()) != text.size()) return DAT_FAILED;
    return out.Commit() ? DAT_OK : DAT_FAILED;
}

namespace {

// Resets the figure and reads one record from the open file of size bytes.
int ReadDatRecord(FigureEngine& figure, std::FILE* file, long long size, UserPrompts& ui) {
    figure.ResetFigure();
    ReadHeadTexts(figure, file);
    ReadSeries(figure, file, ui);
    if (!ReadOffsetsAndOrder(figure, file, ui)) return DAT_FAILED;
    ReadCentreLine(figure, file);
    ReadOrderBlocks(figure, file, size);
    return DAT_OK;
}

}  // namespace

int LoadDatFile(FigureEngine& figure, const std::string& path, UserPrompts& ui) {
    long long size = 0;
    std::FILE* file = OpenRegularFile(path, size);
    if (!file) {
        ui.ShowMessage(path + " not found.", MsgButtons::Ok, MsgIcon::None);
        return DAT_FAILED;
    }
    int result = ReadDatRecord(figure, file, size, ui);
    std::fclose(file);
    return result;
}

int LoadDatText(FigureEngine& figure, std::string_view text, UserPrompts& ui) {
    // The same byte-wise reader as for files, over the text in memory.
    char none = '\0';
    char* bytes = text.empty() ? &none : const_cast<char*>(text.data());
    std::FILE* file = ::fmemopen(bytes, text.size(), "rb");
    if (!file) return DAT_FAILED;
    int result = ReadDatRecord(figure, file, static_cast<long long>(text.size()), ui);
    std::fclose(file);
    return result;
}

bool DatReadLine(std::FILE* file, std::string& line, std::size_t limit) {
    line.clear();
    while (line.size() < limit) {
        int c = std::getc(file);
        if (c == EOF) return false;
        if (c == '\r') return true;
        line += static_cast<char>(c);
    }
    return true;
}

bool DatSkipLine(std::FILE* file) {
    for (;;) {
        int c = std::getc(file);
        if (c == EOF) return false;
        if (c == '\n') return true;
    }
}

int DatReadNumber(std::FILE* file, double& value) {
    value = 0.0;
    int c = std::getc(file);
    while (c != EOF && !IsNumberByte(c)) c = std::getc(file);
    if (c == EOF) return DAT_NUMBER_AT_END;
    std::string token(1, static_cast<char>(c));
    int code = DAT_NUMBER_READ;
    while (token.size() < kTokenLimit) {
        c = std::getc(file);
        if (c == EOF) break;
        if (!IsNumberByte(c)) {
            if (c == '\r') code = DAT_NUMBER_AT_CR;
            break;
        }
        token += static_cast<char>(c);
    }
    value = ParseDecimalPrefix(token);
    return code;
}

bool DatFindInt(std::string_view line, std::string_view key, int& value) {
    value = 0;
    std::size_t at = line.find(key);
    if (at == std::string_view::npos) return false;
    std::size_t pos = at + key.size();
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    bool negative = pos < line.size() && line[pos] == '-';
    if (pos < line.size() && (line[pos] == '-' || line[pos] == '+')) ++pos;
    long long magnitude = 0;
    for (; pos < line.size() && IsDigit(line[pos]); ++pos)
        magnitude = std::min(magnitude * 10 + (line[pos] - '0'), 1LL << 32);
    long long result = negative ? -magnitude : magnitude;
    value = static_cast<int>(std::clamp<long long>(result, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
    return true;
}

bool DatFindReal(std::string_view line, std::string_view key, double& value) {
    value = 0.0;
    std::size_t at = line.find(key);
    if (at == std::string_view::npos) return false;
    std::size_t pos = at + key.size();
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    value = ParseDecimalPrefix(line.substr(pos));
    return true;
}

double ParseDecimalPrefix(std::string_view text, std::size_t* used) {
    if (used) *used = 0;
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    std::size_t mantissaStart = pos;
    std::size_t wholeDigits = DigitRun(text, pos);
    pos += wholeDigits;
    std::size_t fractionDigits = 0;
    if (pos < text.size() && text[pos] == '.') {
        fractionDigits = DigitRun(text, pos + 1);
        if (wholeDigits + fractionDigits > 0) pos += 1 + fractionDigits;
    }
    if (wholeDigits + fractionDigits == 0) return 0.0;
    std::string_view mantissa = text.substr(mantissaStart, pos - mantissaStart);
    long long exponent = 0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t e = pos + 1;
        bool expNegative = e < text.size() && text[e] == '-';
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        std::size_t expDigits = DigitRun(text, e);
        if (expDigits > 0) {
            exponent = ParseExponent(text.substr(e, expDigits), expNegative);
            pos = e + expDigits;
        }
    }
    if (used) *used = pos;
    std::string_view number = text.substr(mantissaStart, pos - mantissaStart);
    double value = 0.0;
    auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                  std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = DecimalMagnitude(mantissa, exponent) > 0 ? HUGE_VAL : 0.0;
    return negative ? -value : value;
}
