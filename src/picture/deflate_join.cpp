// The end of a deflate stream is found by walking its blocks: the codes are decoded (lengths and
// distances skipped, nothing written), since only the bits matter.
#include "picture/deflate_join.h"

#include <array>
#include <cstring>

namespace {

constexpr int kMaxCodeBits = 15;
constexpr int kFastBits = 10;
constexpr int kEndOfBlock = 256;
constexpr std::uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint8_t kDistanceExtraBits[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                 4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

class BitReader {
  public:
    BitReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_bits(8 * size) {}

    std::uint64_t Position() const { return m_bit; }
    bool Past() const { return m_bit > m_bits; }

    // The next bits (up to 32) without taking them; zeros beyond the data.
    std::uint32_t Peek(int count) const {
        std::uint64_t word = 0;
        const std::size_t byte = m_bit >> 3;
        const std::size_t size = m_bits >> 3;
        if (byte + 8 <= size) {
            std::memcpy(&word, m_data + byte, 8);  // little-endian machines only read here
        } else {
            for (std::size_t n = 0; byte + n < size && n < 8; ++n) {
                word |= std::uint64_t{m_data[byte + n]} << (8 * n);
            }
        }
        return static_cast<std::uint32_t>((word >> (m_bit & 7)) &
                                          ((std::uint64_t{1} << count) - 1));
    }
    std::uint32_t Take(int count) {
        const std::uint32_t value = Peek(count);
        m_bit += count;
        return value;
    }
    void Skip(std::uint64_t count) { m_bit += count; }
    void AlignToByte() { m_bit = (m_bit + 7) & ~std::uint64_t{7}; }

  private:
    const std::uint8_t* m_data;
    std::uint64_t m_bits;
    std::uint64_t m_bit = 0;
};

// A canonical Huffman code: a table for codes of up to kFastBits bits, the counts per length for
// the longer ones.
class HuffmanCode {
  public:
    // False for lengths that over-subscribe the code.
    bool Build(const std::uint8_t* lengths, int symbols) {
        m_count.fill(0);
        m_fast.fill(0);
        for (int s = 0; s < symbols; ++s) ++m_count[lengths[s]];
        int left = 1;
        for (int length = 1; length <= kMaxCodeBits; ++length) {
            left = 2 * left - m_count[length];
            if (left < 0) return false;
        }
        std::array<int, kMaxCodeBits + 2> offset{};
        std::array<std::uint32_t, kMaxCodeBits + 1> next{};
        std::uint32_t code = 0;
        for (int length = 1; length <= kMaxCodeBits; ++length) {
            offset[length + 1] = offset[length] + m_count[length];
            code = (code + m_count[length - 1] * (length > 1)) << 1;
            next[length] = code;
        }
        for (int s = 0; s < symbols; ++s) {
            const int length = lengths[s];
            if (length == 0) continue;
            m_symbol[offset[length]++] = static_cast<std::uint16_t>(s);
            const std::uint32_t reversed = Reverse(next[length]++, length);
            if (length > kFastBits) continue;
            for (std::uint32_t at = reversed; at < m_fast.size(); at += 1u << length) {
                m_fast[at] = static_cast<std::uint16_t>((s << 4) | length);
            }
        }
        return true;
    }

    // The next symbol, or -1 for a code that is not in the table.
    int Decode(BitReader& in) const {
        const std::uint16_t entry = m_fast[in.Peek(kFastBits)];
        if (entry != 0) {
            in.Skip(entry & 15);
            return entry >> 4;
        }
        int code = 0, first = 0, index = 0;
        for (int length = 1; length <= kMaxCodeBits; ++length) {
            code |= static_cast<int>(in.Take(1));
            const int count = m_count[length];
            if (code - count < first) return m_symbol[index + (code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

  private:
    static std::uint32_t Reverse(std::uint32_t code, int length) {
        std::uint32_t reversed = 0;
        for (int n = 0; n < length; ++n) reversed |= ((code >> n) & 1u) << (length - 1 - n);
        return reversed;
    }

    std::array<std::uint16_t, kMaxCodeBits + 1> m_count{};
    std::array<std::uint16_t, 320> m_symbol{};
    std::array<std::uint16_t, 1u << kFastBits> m_fast{};
};

// Walks the codes of one compressed block up to and including its end code.
bool SkipCodes(BitReader& in, const HuffmanCode& literals, const HuffmanCode& distances) {
    for (;;) {
        const int symbol = literals.Decode(in);
        if (symbol < 0 || in.Past()) return false;
        if (symbol == kEndOfBlock) return true;
        if (symbol < kEndOfBlock) continue;
        if (symbol - 257 >= 29) return false;
        in.Skip(kLengthExtraBits[symbol - 257]);
        const int distance = distances.Decode(in);
        if (distance < 0 || distance >= 30) return false;
        in.Skip(kDistanceExtraBits[distance]);
    }
}

bool ReadDynamicCodes(BitReader& in, HuffmanCode& literals, HuffmanCode& distances) {
    const int literalCount = static_cast<int>(in.Take(5)) + 257;
    const int distanceCount = static_cast<int>(in.Take(5)) + 1;
    const int lengthCodeCount = static_cast<int>(in.Take(4)) + 4;
    if (literalCount > 286 || distanceCount > 30) return false;
    std::uint8_t lengths[320] = {};
    for (int n = 0; n < lengthCodeCount; ++n) {
        lengths[kCodeLengthOrder[n]] = static_cast<std::uint8_t>(in.Take(3));
    }
    HuffmanCode lengthCode;
    if (!lengthCode.Build(lengths, 19)) return false;
    std::memset(lengths, 0, sizeof lengths);
    for (int n = 0; n < literalCount + distanceCount;) {
        int symbol = lengthCode.Decode(in);
        if (symbol < 0 || in.Past()) return false;
        if (symbol < 16) {
            lengths[n++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        std::uint8_t repeated = 0;
        int times = 0;
        if (symbol == 16) {
            if (n == 0) return false;
            repeated = lengths[n - 1];
            times = 3 + static_cast<int>(in.Take(2));
        } else {
            times =
                symbol == 17 ? 3 + static_cast<int>(in.Take(3)) : 11 + static_cast<int>(in.Take(7));
        }
        if (n + times > literalCount + distanceCount) return false;
        while (times-- > 0) lengths[n++] = repeated;
    }
    if (lengths[kEndOfBlock] == 0) return false;
    return literals.Build(lengths, literalCount) &&
           distances.Build(lengths + literalCount, distanceCount);
}

void BuildFixedCodes(HuffmanCode& literals, HuffmanCode& distances) {
    std::uint8_t lengths[288];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    literals.Build(lengths, 288);
    std::memset(lengths, 5, 30);
    distances.Build(lengths, 30);
}

}  // namespace

std::optional<DeflateEnd> FindDeflateEnd(const std::uint8_t* data, std::size_t size) {
    BitReader in(data, size);
    HuffmanCode literals, distances;
    for (;;) {
        const std::uint64_t header = in.Position();
        const bool final = in.Take(1) != 0;
        const std::uint32_t type = in.Take(2);
        if (type == 0) {
            in.AlignToByte();
            const std::uint32_t length = in.Take(16);
            if (in.Take(16) != (~length & 0xFFFF)) return std::nullopt;
            in.Skip(8 * std::uint64_t{length});
        } else if (type == 1) {
            BuildFixedCodes(literals, distances);
            if (!SkipCodes(in, literals, distances)) return std::nullopt;
        } else if (type == 2) {
            if (!ReadDynamicCodes(in, literals, distances) || !SkipCodes(in, literals, distances)) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
        if (in.Past()) return std::nullopt;
        if (final) return DeflateEnd{header, in.Position()};
    }
}

std::optional<std::size_t> OpenDeflateStream(std::uint8_t* data, std::size_t size) {
    const std::optional<DeflateEnd> end = FindDeflateEnd(data, size);
    if (!end) return std::nullopt;
    data[end->finalHeaderBit >> 3] &= static_cast<std::uint8_t>(~(1u << (end->finalHeaderBit & 7)));
    // An empty stored block: three zero header bits, zeros up to the byte boundary, then the
    // length 0 and its complement.
    const std::uint64_t headerEnd = end->endBit + 3;
    std::size_t bytes = static_cast<std::size_t>((headerEnd + 7) >> 3);
    const int used = static_cast<int>(end->endBit & 7);
    if (used != 0) data[end->endBit >> 3] &= static_cast<std::uint8_t>((1u << used) - 1);
    for (std::size_t at = static_cast<std::size_t>((end->endBit + 7) >> 3); at < bytes; ++at) {
        data[at] = 0;
    }
    const std::uint8_t marker[4] = {0, 0, 0xFF, 0xFF};
    std::memcpy(data + bytes, marker, sizeof marker);
    return bytes + sizeof marker;
}
