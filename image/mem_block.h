// qvMemBlock: the byte block every picture loader reads and every saver
// fills.
#pragma once

#include <cstdint>
#include <optional>

// `length` rounded up to a multiple of 8, the size of every block a saver
// hands out; nothing when that does not fit the block's 32-bit fields.
constexpr std::optional<std::uint32_t> RoundedBlockLength(std::uint64_t length) {
  const std::uint64_t rounded = (length + 7) & ~std::uint64_t{7};
  if (static_cast<std::uint32_t>(rounded) != rounded) return std::nullopt;
  return static_cast<std::uint32_t>(rounded);
}

struct qvMemBlock {
  std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
  std::uint32_t capacity = 0;
  std::uint32_t flag = 1;
  // 1: the block does not own data; 0: releasing the block frees it.
  std::uint32_t borrowed = 0;

  // A block that reads `size` bytes it does not own.
  static qvMemBlock Borrow(const void* data, std::uint32_t size);

  // Frees owned data and clears data, size and capacity.
  void Release();
  // Releases the block and gives it `length` bytes from `source` in a new
  // owned buffer rounded up to a multiple of 8 (padding cleared); size and
  // capacity are the rounded length. 0 when the heap refuses.
  int TakeCopyRoundedTo8(const void* source, std::uint32_t length);
  // Releases the block and makes it own `buffer` (a private-heap block).
  void Adopt(std::uint8_t* buffer, std::uint32_t size, std::uint32_t capacity);
};
