// HG-2 decoding of hostile files; the first input byte picks the frame.
#include "fuzz_heap.h"
#include "image/image_hg2.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  EnsureFuzzHeap();
  if (size < 1) return 0;
  const qvMemBlock block = qvMemBlock::Borrow(data + 1, static_cast<std::uint32_t>(size - 1));
  auto* image = new qvImageHg2;
  std::uint32_t id = 0;
  if (image->LoadByIndex(&block, data[0] & 3, &id) != 0 && image->GetBufferSize() <= (1u << 20)) {
    // What the encoder makes of a decoded frame must decode again.
    qvMemBlock saved;
    if (image->Save(&saved, id, 0, 0, data[0] & 4) != 0) {
      auto* again = new qvImageHg2;
      if (again->Load(&saved, id) == 0) __builtin_trap();
      again->Release();
    }
    saved.Release();
  }
  image->Release();
  return 0;
}
