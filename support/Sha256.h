#pragma once

// SHA-256 (FIPS 180-4). The context is a plain record that callers feed
// directly: Sha256Init, any number of Sha256Update, one Sha256Final.

#include <cstddef>
#include <cstdint>

namespace Tovanix {

struct Sha256Context {
    uint8_t data[64];       // the current, partly filled message block
    uint32_t dataLength;    // bytes held in data
    uint32_t bitLength[2];  // bits already compressed: low word, high word
    uint32_t state[8];      // H0..H7
};

void Sha256Init(Sha256Context* context);
void Sha256Update(Sha256Context* context, const void* bytes, size_t count);
// The compression function applied to one 64-byte block.
void Sha256Transform(Sha256Context* context, const uint8_t block[64]);
// Pads, appends the bit count and writes the 32-byte digest.
void Sha256Final(Sha256Context* context, uint8_t digest[32]);

}  // namespace Tovanix
