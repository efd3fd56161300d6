// Floating from_chars for a C++ library that lacks it (libc++ for WebAssembly): the same exact
// parsing from fast_float, with overflow and underflow reported as out of range like libstdc++.
// The web build includes this before every file.
#pragma once

#include <fast_float/fast_float.h>
#include <charconv>
#include <cmath>
#include <system_error>

namespace std {

inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format format = chars_format::general) {
    fast_float::chars_format f = fast_float::chars_format::general;
    if (format == chars_format::fixed) f = fast_float::chars_format::fixed;
    if (format == chars_format::scientific) f = fast_float::chars_format::scientific;
    double parsed = 0.0;
    const auto result = fast_float::from_chars(first, last, parsed, f);
    if (result.ec != errc()) return {result.ptr, result.ec};
    // A finite text too large, or too small but not zero: out of range, value untouched.
    const char lead = *(first + (*first == '-' ? 1 : 0));
    const bool overflow = std::isinf(parsed) && ((lead >= '0' && lead <= '9') || lead == '.');
    bool nonZeroDigit = false;
    for (const char* p = first; p != result.ptr && *p != 'e' && *p != 'E'; ++p)
        nonZeroDigit = nonZeroDigit || (*p >= '1' && *p <= '9');
    if (overflow || (parsed == 0.0 && nonZeroDigit)) return {result.ptr, errc::result_out_of_range};
    value = parsed;
    return {result.ptr, errc()};
}

}  // namespace std
