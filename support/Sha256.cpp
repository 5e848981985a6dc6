#include "support/Sha256.h"

namespace Tovanix {
namespace {

constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t RotateRight(uint32_t value, int bits) { return (value >> bits) | (value << (32 - bits)); }

// Adds to the 64-bit bit count kept as two words.
void AddBits(Sha256Context* context, uint32_t bits) {
    if (context->bitLength[0] > 0xFFFFFFFFu - bits) ++context->bitLength[1];
    context->bitLength[0] += bits;
}

}  // namespace

void Sha256Init(Sha256Context* context) {
    context->dataLength = 0;
    context->bitLength[0] = 0;
    context->bitLength[1] = 0;
    context->state[0] = 0x6a09e667;
    context->state[1] = 0xbb67ae85;
    context->state[2] = 0x3c6ef372;
    context->state[3] = 0xa54ff53a;
    context->state[4] = 0x510e527f;
    context->state[5] = 0x9b05688c;
    context->state[6] = 0x1f83d9ab;
    context->state[7] = 0x5be0cd19;
}

void Sha256Transform(Sha256Context* context, const uint8_t block[64]) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
        w[i] = (uint32_t(block[i * 4]) << 24) | (uint32_t(block[i * 4 + 1]) << 16) |
               (uint32_t(block[i * 4 + 2]) << 8) | uint32_t(block[i * 4 + 3]);
    }
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = context->state[0], b = context->state[1], c = context->state[2], d = context->state[3];
    uint32_t e = context->state[4], f = context->state[5], g = context->state[6], h = context->state[7];
    for (int i = 0; i < 64; ++i) {
        uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
        uint32_t choose = (e & f) ^ (~e & g);
        uint32_t t1 = h + s1 + choose + kRoundConstants[i] + w[i];
        uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
        uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    context->state[0] += a;
    context->state[1] += b;
    context->state[2] += c;
    context->state[3] += d;
    context->state[4] += e;
    context->state[5] += f;
    context->state[6] += g;
    context->state[7] += h;
}

void Sha256Update(Sha256Context* context, const void* bytes, size_t count) {
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < count; ++i) {
        context->data[context->dataLength++] = in[i];
        if (context->dataLength == 64) {
            Sha256Transform(context, context->data);
            AddBits(context, 512);
            context->dataLength = 0;
        }
    }
}

void Sha256Final(Sha256Context* context, uint8_t digest[32]) {
    uint32_t held = context->dataLength;
    context->data[held] = 0x80;
    if (held > 55) {
        for (uint32_t i = held + 1; i < 64; ++i) context->data[i] = 0;
        Sha256Transform(context, context->data);
        for (int i = 0; i < 56; ++i) context->data[i] = 0;
    } else {
        for (uint32_t i = held + 1; i < 56; ++i) context->data[i] = 0;
    }
    AddBits(context, held * 8);
    uint32_t high = context->bitLength[1], low = context->bitLength[0];
    for (int i = 0; i < 4; ++i) {
        context->data[56 + i] = uint8_t(high >> (24 - 8 * i));
        context->data[60 + i] = uint8_t(low >> (24 - 8 * i));
    }
    Sha256Transform(context, context->data);
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 4; ++j) digest[i * 4 + j] = uint8_t(context->state[i] >> (24 - 8 * j));
    }
}

}  // namespace Tovanix
