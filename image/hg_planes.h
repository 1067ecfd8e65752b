// The lossless pixel coding shared by the HG picture formats. Decoding runs
// zero-run decoding -> plane merge -> unmapping and delta decoding; the
// encoder runs the inverse steps in the opposite order.
#pragma once

#include "image/hg_bit_reader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Spreading tables of the plane merge: the bit pairs of a byte moved to the
// low two bits of four bytes, shifted by 6, 4, 2 and 0.
struct HgTables {
  HgTables();
  std::uint32_t s6[256];
  std::uint32_t s4[256];
  std::uint32_t s2[256];
  std::uint32_t s0[256];
};

// The byte unmapping: even v -> v / 2, odd v -> 255 - v / 2.
constexpr std::uint8_t HgUnmapByte(std::uint8_t v) {
  return static_cast<std::uint8_t>((v >> 1) ^ (0u - (v & 1u)));
}
// Its inverse: d < 128 -> 2d, else 2 (255 - d) + 1.
constexpr std::uint8_t HgMapByte(std::uint8_t d) {
  return static_cast<std::uint8_t>(d < 128 ? 2 * d : 2 * (255 - d) + 1);
}

// Zero-run decoding into `out`. The total length read from the stream must
// lie in [min_total, max_total] and fit `capacity`; every run must stay
// inside `out` and the literal bytes. Returns the bytes written or skipped,
// or -1 for a malformed stream.
std::int64_t HgDecodeZeroRuns(HgBitReader& bits, const std::uint8_t* literals,
                              std::size_t literal_count, std::uint8_t* out, std::size_t capacity,
                              std::uint64_t min_total, std::uint64_t max_total);

// Merges four planes of length / 4 bytes each into `length` bytes.
void HgMergePlanes(const HgTables& tables, const std::uint8_t* planes, std::size_t length,
                   std::uint8_t* out);
// The same for the groups [first, first + count) only: 4 x count bytes.
void HgMergeGroups(const HgTables& tables, const std::uint8_t* planes, std::size_t length,
                   std::size_t first, std::size_t count, std::uint8_t* out);

// Where the rows of a block go: the picture's rows, bytes per pixel, and the
// block's first row counted from the bottom with its row count. The caller
// guarantees first_row + rows <= height.
struct HgRowTarget {
  std::uint8_t* pixels;
  std::size_t stride;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t bytes_per_pixel;
  std::uint32_t first_row;
  std::uint32_t rows;
};

// Unmapping and delta decoding of rows x width x bytes_per_pixel bytes.
void HgUnmapRows(const std::uint8_t* bytes, const HgRowTarget& target);
// The same for the stretch [begin, begin + count) of the block's bytes;
// stretches must be decoded in order.
void HgUnmapStretch(const std::uint8_t* bytes, std::size_t begin, std::size_t count,
                    const HgRowTarget& target);

inline constexpr std::size_t kHgScratchSize = 64 * 1024;
// Plane merge, unmapping and delta decoding of a whole block through a
// small cache-friendly `scratch` area of kHgScratchSize bytes, instead of
// a merged copy of the block. `length` (the zero-run output) covers at
// least the target's rows.
void HgMergeAndUnmap(const HgTables& tables, const std::uint8_t* planes, std::size_t length,
                     std::uint8_t* scratch, const HgRowTarget& target);

// Encoder side.

// The byte stream that HgUnmapRows turns back into the target's rows.
// `source_bpp` is the step between source pixels (>= bytes_per_pixel), so
// that 3 coded bytes can be taken from 4-byte pixels.
void HgMapRows(const HgRowTarget& source, std::uint32_t source_bpp, std::uint8_t* bytes);

// Splits `length` bytes into four planes of ceil(length / 4) bytes each
// (missing bytes count as 0). Returns the planes' total length.
std::size_t HgSplitPlanes(const std::uint8_t* bytes, std::size_t length, std::uint8_t* planes);

// Zero-run encoding of `length` bytes: literal bytes and control bits.
void HgEncodeZeroRuns(const std::uint8_t* planes, std::size_t length,
                      std::vector<std::uint8_t>& literals, std::vector<std::uint8_t>& control);
