// HgBitReader: the control-bit stream of the HG picture coding. Bits are
// taken least significant first; numbers are Elias-gamma codes.
#pragma once

#include <cstddef>
#include <cstdint>

class HgBitReader {
 public:
  void Reset(const std::uint8_t* data, std::size_t size);

  // 0 or 1; 0 with failed() set past the end.
  unsigned ReadBit();
  // z zero bits, a one bit, then z bits (first most significant) as m:
  // the number 2^z + m. 0 with failed() set past the end or when the
  // number would not fit 32 bits.
  std::uint32_t ReadGamma();
  bool failed() const { return failed_; }

 private:
  // Tops the bit buffer up to at least 57 bits while bytes remain.
  void Refill();
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
