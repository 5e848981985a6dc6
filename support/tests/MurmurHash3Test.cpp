#include "support/MurmurHash3.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using Tovanix::MurmurHash3_x64_128;
using Tovanix::MurmurHash3_x86_32;

// The self-check of the algorithm's published test suite: hash the keys
// {}, {0}, {0,1}, ... {0..254} with seed 256 - length, hash the
// concatenated digests with seed 0 and take the first four bytes
// (little-endian). It reaches every tail length and many block counts.
uint32_t VerificationValue(bool wide) {
    const size_t digestBytes = wide ? 16 : 4;
    uint8_t key[256];
    uint8_t digests[256 * 16];
    for (int i = 0; i < 256; ++i) {
        key[i] = uint8_t(i);
        uint32_t seed = uint32_t(256 - i);
        if (wide) {
            uint64_t out[2];
            MurmurHash3_x64_128(key, size_t(i), seed, out);
            std::memcpy(digests + i * digestBytes, out, 16);
        } else {
            uint32_t out = MurmurHash3_x86_32(key, size_t(i), seed);
            std::memcpy(digests + i * digestBytes, &out, 4);
        }
    }
    if (wide) {
        uint64_t out[2];
        MurmurHash3_x64_128(digests, 256 * digestBytes, 0, out);
        return uint32_t(out[0]);
    }
    return MurmurHash3_x86_32(digests, 256 * digestBytes, 0);
}

TEST(MurmurHash3, PublishedVerificationValues) {
    EXPECT_EQ(VerificationValue(false), 0xB0F57EE3u);
    EXPECT_EQ(VerificationValue(true), 0x6384BA69u);
}

TEST(MurmurHash3, X86_32KnownDigests) {
    struct Case {
        std::string key;
        uint32_t seed;
        uint32_t digest;
    };
    const Case cases[] = {
        {"", 0, 0},
        {"", 1, 0x514E28B7u},
        {"", 0xFFFFFFFFu, 0x81F16F39u},
        {std::string(4, '\0'), 0, 0x2362F9DEu},
        {"aaaa", 0x9747B28Cu, 0x5A97808Au},
        {"Hello, world!", 0x9747B28Cu, 0x24884CBAu},
        {"The quick brown fox jumps over the lazy dog", 0x9747B28Cu, 0x2FA826CDu},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MurmurHash3_x86_32(c.key.data(), c.key.size(), c.seed), c.digest) << '"' << c.key << '"';
    }
}

TEST(MurmurHash3, X64_128EmptyKeyWithSeedZeroIsZero) {
    uint64_t out[2] = {1, 1};
    MurmurHash3_x64_128("", 0, 0, out);
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(out[1], 0u);
}

}  // namespace
