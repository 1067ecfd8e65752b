// The holder's probe chain and the chosen decoder on hostile files, with
// and without expansion to the canvas: the last byte chooses, the bytes
// before it are the file.
#include "fuzz_heap.h"
#include "image/image_holder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  EnsureFuzzHeap();
  if (size == 0) return 0;
  const int expand = data[size - 1] & 1;
  const qvMemBlock block = qvMemBlock::Borrow(data, static_cast<std::uint32_t>(size - 1));
  qvImageHolder holder;
  if (holder.LoadFromMemory(&block, expand, 0) != nullptr) {
    qvImage* image = holder.GetImage();
    if (image->GetBytesPerPixel() == 4) image->FlattenOnColour(0xFFFFFF);
    image->FlipVertical();
  }
  return 0;
}
