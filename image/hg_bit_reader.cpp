#include "image/hg_bit_reader.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr unsigned kPeekBits = 12;

// For every 12-bit window, the gamma code that starts it when the code is
// at most 12 bits long: value << 4 | length, or 0.
constexpr std::array<std::uint16_t, 1u << kPeekBits> kShortCodes = [] {
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

std::uint32_t ReverseBits(std::uint32_t v, unsigned count) {
  std::uint32_t r = 0;
  for (unsigned i = 0; i < count; ++i, v >>= 1) r = (r << 1) | (v & 1);
  return r;
}

}  // namespace

void HgBitReader::Reset(const std::uint8_t* data, std::size_t size) {
  cursor_ = data;
  end_ = data + size;
  bits_ = 0;
  count_ = 0;
  failed_ = false;
}

void HgBitReader::Refill() {
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
  while (count_ <= 56 && cursor_ < end_) {
    bits_ |= std::uint64_t{*cursor_++} << count_;
    count_ += 8;
  }
}

unsigned HgBitReader::ReadBit() {
  Refill();
  if (count_ == 0) {
    failed_ = true;
    return 0;
  }
  const unsigned bit = static_cast<unsigned>(bits_ & 1);
  Consume(1);
  return bit;
}

std::uint32_t HgBitReader::ReadGamma() {
  Refill();
  const std::uint16_t entry = kShortCodes[bits_ & ((1u << kPeekBits) - 1)];
  const unsigned length = entry & 15;
  if (entry != 0 && length <= count_) {
    Consume(length);
    return entry >> 4;
  }
  return ReadGammaSlow();
}

std::uint32_t HgBitReader::ReadGammaSlow() {
  // Bits past the end read as zeros, so a code is only valid when every
  // bit it uses lies before the end.
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
  const auto field = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << zeros) - 1));
  Consume(zeros);
  return static_cast<std::uint32_t>((std::uint64_t{1} << zeros) | ReverseBits(field, zeros));
}
