#include "image/hg_bit_reader.h"

namespace {

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

void HgBitReader::RefillTail() {
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
