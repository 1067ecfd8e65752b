// HgBitReader: the control-bit stream of the HG picture coding. Bits are
// taken least significant first; numbers are Elias-gamma codes.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

class HgBitReader {
 public:
  void Reset(const std::uint8_t* data, std::size_t size);

  // 0 or 1; 0 with failed() set past the end.
  unsigned ReadBit();
  // z zero bits, a one bit, then z bits (first most significant) as m:
  // the number 2^z + m. 0 with failed() set past the end or when the
  // number would not fit 32 bits.
  std::uint32_t ReadGamma() {
    Refill();
    // Codes of up to 12 bits, the common case, come from one table lookup.
    const std::uint16_t entry = kShortCodes[bits_ & (kShortCodes.size() - 1)];
    const unsigned length = entry & 15;
    if (entry != 0 && length <= count_) {
      Consume(length);
      return entry >> 4;
    }
    return ReadGammaSlow();
  }
  bool failed() const { return failed_; }

 private:
  static constexpr unsigned kPeekBits = 12;
  // For every 12-bit window, the gamma code that starts it when the code is
  // at most 12 bits long: value << 4 | length, or 0.
  static constexpr std::array<std::uint16_t, 1u << kPeekBits> kShortCodes = [] {
    std::array<std::uint16_t, 1u << kPeekBits> table{};
    for (unsigned window = 1; window < table.size(); ++window) {
      const unsigned zeros = static_cast<unsigned>(std::countr_zero(window));
      const unsigned length = 2 * zeros + 1;
      if (length > kPeekBits) continue;
      unsigned value = 1;
      for (unsigned i = 0; i < zeros; ++i) value = (value << 1) | ((window >> (zeros + 1 + i)) & 1);
      table[window] = static_cast<std::uint16_t>(value << 4 | length);
    }
    return table;
  }();

  // Tops the bit buffer up to at least 57 bits while bytes remain.
  void Refill() {
    if (count_ > 56) return;
    if (end_ - cursor_ >= 8) {
      std::uint64_t word;
      std::memcpy(&word, cursor_, 8);
      if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
      bits_ |= word << count_;
      cursor_ += (63 - count_) >> 3;
      count_ |= 56;
      return;
    }
    RefillTail();
  }
  void RefillTail();
  std::uint32_t ReadGammaSlow();
  void Consume(unsigned count) {
    bits_ >>= count;
    count_ -= count;
  }

  const std::uint8_t* cursor_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  std::uint64_t bits_ = 0;
  unsigned count_ = 0;
  bool failed_ = false;
};
