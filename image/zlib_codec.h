// One-call zlib inflate and deflate over caller buffers.
#pragma once

#include <cstdint>

// Inflates `source` into at most `capacity` bytes; output past the capacity
// is cut. When a step makes no progress the rest of the destination is
// cleared. Returns the bytes placed, or 0xFFFFFFFF when zlib cannot start.
std::uint32_t ZlibInflate(void* destination, std::uint32_t capacity, const void* source,
                          std::uint32_t source_length);

// Deflates at level 9. Returns the full compressed size, which may exceed
// `capacity` (only what fits is stored), or 0xFFFFFFFF when zlib cannot
// start or refuses the input.
std::uint32_t ZlibDeflate(void* destination, std::uint32_t capacity, const void* source,
                          std::uint32_t source_length);

// The worst-case deflate size of `length` input bytes.
std::uint32_t ZlibDeflateBound(std::uint32_t length);

// A zlib stream expands at most about 1032 times; a larger claim cannot be
// met and is refused before anything is allocated for it.
inline bool PlausibleUnpackedSize(std::uint32_t packed, std::uint32_t unpacked) {
  return unpacked <= std::uint64_t{packed} * 1032 + 64;
}
