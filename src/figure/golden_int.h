// GoldenInt: an exact number a + b·φ held as two 32-bit integers. Series positions and the
// pentagon search use it so that membership tests compare integers, never doubles.
// The arithmetic wraps modulo 2^32 by design; it is carried out in unsigned integers so that
// wrapping is defined behaviour.
#pragma once

#include <cstdint>

#include "figure/figure_params.h"

struct GoldenInt {
    std::int32_t a = 0;  // whole part
    std::int32_t b = 0;  // φ part

    constexpr GoldenInt() = default;
    constexpr GoldenInt(std::int32_t whole, std::int32_t phiPart) : a(whole), b(phiPart) {}

    double Value() const { return a + b * kPhi; }

    friend constexpr bool operator==(GoldenInt x, GoldenInt y) = default;
    friend constexpr GoldenInt operator+(GoldenInt x, GoldenInt y) {
        return {Wrap(U(x.a) + U(y.a)), Wrap(U(x.b) + U(y.b))};
    }
    friend constexpr GoldenInt operator-(GoldenInt x, GoldenInt y) {
        return {Wrap(U(x.a) - U(y.a)), Wrap(U(x.b) - U(y.b))};
    }
    friend constexpr GoldenInt operator-(GoldenInt x) { return GoldenInt{} - x; }
    // (a + bφ)(c + dφ) = ac + bd + (ad + bc + bd)φ, from φ² = φ + 1.
    friend constexpr GoldenInt operator*(GoldenInt x, GoldenInt y) {
        const std::uint32_t a = U(x.a), b = U(x.b), c = U(y.a), d = U(y.b);
        return {Wrap(a * c + b * d), Wrap(a * d + b * (c + d))};
    }

    // x^n: one multiplied by x n times; one for n <= 0.
    static constexpr GoldenInt Power(GoldenInt x, int n) {
        GoldenInt result{1, 0};
        for (int i = 0; i < n; ++i) result = result * x;
        return result;
    }

  private:
    static constexpr std::uint32_t U(std::int32_t v) { return static_cast<std::uint32_t>(v); }
    static constexpr std::int32_t Wrap(std::uint32_t v) { return static_cast<std::int32_t>(v); }
};

constexpr GoldenInt kGoldenOne{1, 0};
constexpr GoldenInt kGoldenPhi{0, 1};
constexpr GoldenInt kGoldenSqrt5{-1, 2};  // 2φ − 1
