// SHA-256 (FIPS 180-4): the strong hash that tells two game files apart
// when their sizes agree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256() { Reset(); }
  void Reset();
  void Update(const void* data, std::size_t size);
  // The digest of everything given since the last Reset; the object must
  // be Reset before it is used again.
  Sha256Digest Finish();

 private:
  void Compress(const std::uint8_t* block);

  std::uint32_t state_[8];
  std::uint8_t block_[64];
  std::size_t filled_ = 0;
  std::uint64_t length_ = 0;  // bytes
};

// Lower-case hexadecimal, 64 characters.
std::string ToHex(const Sha256Digest& digest);
// The digest of 64 hexadecimal characters (either case); false for any
// other text.
bool FromHex(std::string_view text, Sha256Digest* digest);
