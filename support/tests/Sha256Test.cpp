#include "support/Sha256.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Hex(const uint8_t* bytes, size_t count) {
    std::string out;
    char two[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        out += two;
    }
    return out;
}

// Feeds the message in pieces of `piece` bytes so that block boundaries fall
// inside Update calls as well as between them.
std::string Digest(const std::string& message, size_t piece) {
    Tovanix::Sha256Context context;
    Tovanix::Sha256Init(&context);
    for (size_t at = 0; at < message.size(); at += piece) {
        Tovanix::Sha256Update(&context, message.data() + at, std::min(piece, message.size() - at));
    }
    uint8_t digest[32];
    Tovanix::Sha256Final(&context, digest);
    return Hex(digest, 32);
}

struct Vector {
    std::string message;
    const char* digest;
};

TEST(Sha256, StandardDigestsAcrossPaddingPaths) {
    const Vector vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 55 bytes: padding and length still fit the one block.
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        // 56 bytes: the length spills into a second block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        // 64 bytes: a full block, then a block of padding alone.
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    };
    for (const Vector& v : vectors) {
        for (size_t piece : {size_t(1), size_t(7), size_t(64), size_t(1000)}) {
            EXPECT_EQ(Digest(v.message, piece), v.digest) << v.message.size() << " bytes, pieces of " << piece;
        }
    }
}

TEST(Sha256, MillionBytesCountsEveryBlock) {
    EXPECT_EQ(Digest(std::string(1000000, 'a'), 4099),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, BitCountCarriesIntoHighWord) {
    Tovanix::Sha256Context context;
    Tovanix::Sha256Init(&context);
    context.bitLength[0] = 0xFFFFFE00u;  // one block short of the carry
    uint8_t block[64] = {};
    Tovanix::Sha256Update(&context, block, 64);
    EXPECT_EQ(context.bitLength[0], 0u);
    EXPECT_EQ(context.bitLength[1], 1u);
    EXPECT_EQ(context.dataLength, 0u);
}

}  // namespace
