#pragma once

// MurmurHash3, the x86 32-bit and x64 128-bit variants of the published
// algorithm. Blocks are read as little-endian words, so the digests are the
// same on every machine.

#include <cstddef>
#include <cstdint>

namespace Tovanix {

uint32_t MurmurHash3_x86_32(const void* key, size_t length, uint32_t seed);

// out[0] and out[1] are the first and second 64-bit halves of the digest.
void MurmurHash3_x64_128(const void* key, size_t length, uint32_t seed, uint64_t out[2]);

}  // namespace Tovanix
