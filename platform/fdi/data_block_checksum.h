// The checksum of a cabinet's data blocks (CFDATA csum), computed the way
// the cabinet decoders of this host compute it: the block's data, then its
// cbData and cbUncomp fields, each folded into 32-bit little-endian words.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fdi {

// XOR of `bytes` taken as little-endian 32-bit words, starting from `seed`;
// a tail of 1 to 3 bytes b0 [b1 [b2]] is folded in as b0<<16|b1<<8|b2 (3
// bytes), b0<<8|b1 (2) or b0 (1).
std::uint32_t ChecksumBytes(const unsigned char* bytes, std::size_t count, std::uint32_t seed);

// The csum a data block must carry: over its data with seed 0, then over
// the 4 bytes of its cbData and cbUncomp fields.
std::uint32_t DataBlockChecksum(const unsigned char* data, std::size_t count,
                                const unsigned char* sizes);

}  // namespace fdi
