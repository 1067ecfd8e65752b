// qvImagePng: probing and decoding hostile files.
#include "image/image_png.h"
#include "base/private_heap.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int heap = CreatePrivateHeap(10 * 1024 * 1024);
  (void)heap;
  const qvMemBlock block = qvMemBlock::Borrow(data, static_cast<std::uint32_t>(size));
  qvImagePng::Probe(&block);
  auto* image = new qvImagePng;
  if (image->Load(&block, 0) != 0) image->ExpandTo32();
  image->Release();
  return 0;
}
