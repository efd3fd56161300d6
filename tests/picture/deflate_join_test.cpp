// Raw deflate streams of libdeflate, opened and followed by a final one, make one stream that zlib
// inflates to all their bytes: stored, fixed and dynamic blocks, one block or many.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "picture/deflate_join.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Compress(const Bytes& input, int level) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    Bytes out(libdeflate_deflate_compress_bound(compressor, input.size()) + kDeflateOpenExtraBytes);
    out.resize(libdeflate_deflate_compress(compressor, input.data(), input.size(), out.data(),
                                           out.size() - kDeflateOpenExtraBytes));
    libdeflate_free_compressor(compressor);
    return out;
}

// Raw inflate of the whole stream; false unless it ends exactly at the end of the bytes.
bool Inflate(Bytes stream, Bytes& out) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    out.assign(64 << 20, 0);
    z.next_in = stream.data();
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return result == Z_STREAM_END && z.avail_in == 0;
}

Bytes Sample(const std::string& kind, std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        if (kind == "random") bytes[i] = static_cast<std::uint8_t>(random());
        if (kind == "rows")
            bytes[i] = static_cast<std::uint8_t>(i % 3600 < 100 ? random() % 4 : i / 5000);
        if (kind == "text") bytes[i] = static_cast<std::uint8_t>("figure "[i % 7]);
    }
    return bytes;
}

}  // namespace

TEST(DeflateJoin, OpenedStreamsFollowedByAFinalOneInflateToAllTheirBytes) {
    const std::vector<Bytes> inputs = {
        {},
        Sample("text", 1, 1),
        Sample("text", 40, 2),        // fixed codes
        Sample("random", 100000, 3),  // stored blocks
        Sample("rows", 3000000, 4),   // many dynamic blocks
        Sample("random", 70000, 5),
        Sample("rows", 12345, 6),
    };
    for (const int level : {0, 1, 3, 6, 12}) {
        Bytes joined, expected;
        for (std::size_t n = 0; n < inputs.size(); ++n) {
            Bytes part = Compress(inputs[n], level);
            if (n + 1 < inputs.size()) {
                const std::size_t size = part.size();
                part.resize(size + kDeflateOpenExtraBytes);
                const auto open = OpenDeflateStream(part.data(), size);
                ASSERT_TRUE(open.has_value()) << "level " << level << ", part " << n;
                part.resize(*open);
            }
            joined.insert(joined.end(), part.begin(), part.end());
            expected.insert(expected.end(), inputs[n].begin(), inputs[n].end());
        }
        Bytes inflated;
        EXPECT_TRUE(Inflate(joined, inflated)) << "level " << level;
        EXPECT_TRUE(inflated == expected) << "level " << level;
    }
}

TEST(DeflateJoin, ADamagedStreamIsRefusedAndLeftAsItWas) {
    const Bytes whole = Compress(Sample("rows", 200000, 7), 6);
    Bytes truncated(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
    Bytes reserved = {0x07, 0, 0, 0, 0, 0};                           // block type 3
    Bytes badStored = {0x01, 0x05, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0};  // length without complement
    for (Bytes* damaged : {&truncated, &reserved, &badStored}) {
        const Bytes before = *damaged;
        const std::size_t size = damaged->size();
        damaged->resize(size + kDeflateOpenExtraBytes);
        EXPECT_FALSE(FindDeflateEnd(damaged->data(), size).has_value());
        EXPECT_FALSE(OpenDeflateStream(damaged->data(), size).has_value());
        EXPECT_TRUE(std::equal(before.begin(), before.end(), damaged->begin()));
    }
}
