#include "image/mem_block.h"

#include "base/private_heap.h"
#include "util/memory.h"

qvMemBlock qvMemBlock::Borrow(const void* data, std::uint32_t size) {
  qvMemBlock block;
  block.data = static_cast<std::uint8_t*>(const_cast<void*>(data));
  block.size = size;
  block.capacity = size;
  block.borrowed = 1;
  return block;
}

void qvMemBlock::Release() {
  if (borrowed == 0) PrivateFree(data);
  data = nullptr;
  size = 0;
  capacity = 0;
}

void qvMemBlock::Adopt(std::uint8_t* buffer, std::uint32_t new_size, std::uint32_t new_capacity) {
  Release();
  data = buffer;
  size = new_size;
  capacity = new_capacity;
  flag = 1;
  borrowed = 0;
}

int qvMemBlock::TakeCopyRoundedTo8(const void* source, std::uint32_t length) {
  Release();
  const auto rounded = RoundedBlockLength(length);
  if (!rounded) return 0;
  auto* buffer = static_cast<std::uint8_t*>(PrivateAlloc(0, *rounded));
  if (buffer == nullptr) return 0;
  CopyBytes(buffer, source, length);
  ZeroBytes(buffer + length, *rounded - length);
  Adopt(buffer, *rounded, *rounded);
  return 1;
}
