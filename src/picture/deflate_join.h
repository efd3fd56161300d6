// Joining raw deflate streams compressed independently (on several threads) into one stream, as
// parallel gzip tools do: every stream but the last loses its final-block mark and ends with an
// empty stored block, which brings the next stream to a byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// Where the last block of a complete raw deflate stream starts (the bit of its final-block mark)
// and the bit just after its end code, counted from bit 0 of data[0]; nothing when the stream is
// damaged or does not end within size bytes.
struct DeflateEnd {
    std::uint64_t finalHeaderBit = 0;
    std::uint64_t endBit = 0;
};
std::optional<DeflateEnd> FindDeflateEnd(const std::uint8_t* data, std::size_t size);

// Bytes an open stream may need beyond the complete one (the empty stored block).
inline constexpr std::size_t kDeflateOpenExtraBytes = 5;

// Turns the complete raw deflate stream in data[0, size) into one that more blocks may follow:
// clears the final mark, cuts what follows the last block and appends an empty stored block.
// data must hold size + kDeflateOpenExtraBytes bytes. The new size, or nothing for a damaged
// stream (data is then unchanged).
std::optional<std::size_t> OpenDeflateStream(std::uint8_t* data, std::size_t size);
