// HG-3 decoding of hostile files; the first input byte picks the frame.
#include "image/image_hg3.h"
#include "base/private_heap.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int heap = CreatePrivateHeap(10 * 1024 * 1024);
  (void)heap;
  if (size < 1) return 0;
  const qvMemBlock block = qvMemBlock::Borrow(data + 1, static_cast<std::uint32_t>(size - 1));
  auto* image = new qvImageHg3;
  std::uint32_t id = 0;
  // Huge pictures are only decoded; reshaping them would just slow the run.
  if (image->LoadByIndex(&block, data[0] & 3, &id) != 0 &&
      std::uint64_t{image->GetWidth()} * image->GetHeight() <= (1u << 22)) {
    image->FlattenOnColour(0xFFFFFF);
    image->FlipVertical();
  }
  image->Release();
  return 0;
}
