// HgBitReader: the control-bit stream of the HG picture coding. Bits are
// taken least significant first; numbers are Elias-gamma codes. Everything
// is inline so that a reader copied into a local variable stays in
// registers in the decoding loops.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

class HgBitReader {
 public:
  void Reset(const std::uint8_t* data, std::size_t size) {
    cursor_ = data;
    end_ = data + size;
    bits_ = 0;
    count_ = 0;
    failed_ = false;
  }

  // 0 or 1; 0 with failed() set past the end.
  unsigned ReadBit() {
    Refill();
    if (count_ == 0) {
      failed_ = true;
      return 0;
    }
    const auto bit = static_cast<unsigned>(bits_ & 1);
    Consume(1);
    return bit;
  }
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
  // Two consecutive numbers whose codes together take at most 12 bits
  // (the common case of a short zero run and a short literal run) from one
  // table lookup. False, with nothing consumed, for any other pair.
  bool ReadGammaPair(std::uint32_t* first, std::uint32_t* second) {
    Refill();
    const std::uint16_t entry = kPairCodes[bits_ & (kPairCodes.size() - 1)];
    const unsigned length = entry & 15;
    if (entry == 0 || length > count_) return false;
    Consume(length);
    *first = entry >> 10;
    *second = (entry >> 4) & 63;
    return true;
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

  // For every 12-bit window, the two gamma codes that start it when both
  // fit: first << 10 | second << 4 | total length, or 0. Each value is
  // below 64, since a code of 11 bits at most leaves room for the other.
  static constexpr std::array<std::uint16_t, 1u << kPeekBits> kPairCodes = [] {
    std::array<std::uint16_t, 1u << kPeekBits> table{};
    for (unsigned window = 1; window < table.size(); ++window) {
      const std::uint16_t first = kShortCodes[window];
      const unsigned first_length = first & 15;
      if (first == 0) continue;
      const unsigned rest = window >> first_length;
      const std::uint16_t second = kShortCodes[rest];
      const unsigned length = first_length + (second & 15);
      if (rest == 0 || second == 0 || length > kPeekBits) continue;
      table[window] = static_cast<std::uint16_t>((first >> 4) << 10 | (second >> 4) << 4 | length);
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
  void RefillTail() {
    while (count_ <= 56 && cursor_ < end_) {
      bits_ |= std::uint64_t{*cursor_++} << count_;
      count_ += 8;
    }
  }
  // Bits past the end read as zeros, so a code is only valid when every
  // bit it uses lies before the end.
  std::uint32_t ReadGammaSlow() {
    const unsigned zeros = bits_ == 0 ? 64 : static_cast<unsigned>(std::countr_zero(bits_));
    if (zeros >= count_ || zeros > 31) {
      failed_ = true;
      return 0;
    }
    Consume(zeros + 1);
    Refill();
    if (zeros > count_) {
      failed_ = true;
      return 0;
    }
    std::uint32_t field = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << zeros) - 1));
    Consume(zeros);
    // The value bits come most significant first.
    std::uint32_t value = 1;
    for (unsigned i = 0; i < zeros; ++i, field >>= 1) value = (value << 1) | (field & 1);
    return value;
  }
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
