// The holder's probe chain and the chosen decoder on hostile files.
#include "fuzz_heap.h"
#include "image/image_holder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  EnsureFuzzHeap();
  const qvMemBlock block = qvMemBlock::Borrow(data, static_cast<std::uint32_t>(size));
  qvImageHolder holder;
  if (holder.LoadFromMemory(&block, 0, 0) != nullptr) {
    qvImage* image = holder.GetImage();
    if (image->GetBytesPerPixel() == 4) image->FlattenOnColour(0xFFFFFF);
    image->FlipVertical();
  }
  return 0;
}
