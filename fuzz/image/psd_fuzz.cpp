// PSD decoding of hostile files.
#include "fuzz_heap.h"
#include "image/image_psd.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  EnsureFuzzHeap();
  const qvMemBlock block = qvMemBlock::Borrow(data, static_cast<std::uint32_t>(size));
  auto* image = new qvImagePsd;
  if (image->Load(&block, 0) != 0) image->FlipVertical();
  image->Release();
  return 0;
}
