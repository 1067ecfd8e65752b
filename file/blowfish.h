// Blowfish with 16 rounds, as used by enciphered archive members: each
// 8-byte block is two little-endian 32-bit halves (left first), and blocks
// are independent of each other.
#pragma once

#include <cstddef>
#include <cstdint>

struct BlowfishSchedule {
  std::uint32_t p[18];
  std::uint32_t s[4][256];
};

inline constexpr std::size_t kBlowfishMaxKeyBytes = 72;

// The standard key setup. Refuses (false, schedule untouched) an empty key
// or one longer than kBlowfishMaxKeyBytes.
bool BlowfishSetKey(BlowfishSchedule* schedule, const void* key, std::size_t length);

void BlowfishEncryptWords(const BlowfishSchedule& schedule, std::uint32_t* left,
                          std::uint32_t* right);
// Runs the P-array from P[17] down to P[0].
void BlowfishDecryptWords(const BlowfishSchedule& schedule, std::uint32_t* left,
                          std::uint32_t* right);

// In place over `blocks` whole 8-byte blocks.
void BlowfishEncipherBlocks(const BlowfishSchedule& schedule, void* data, std::size_t blocks);
void BlowfishDecipherBlocks(const BlowfishSchedule& schedule, void* data, std::size_t blocks);
