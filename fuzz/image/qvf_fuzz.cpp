// QVF decoding of hostile files, and saving what decodes.
#include "fuzz_heap.h"
#include "image/image_qvf.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  EnsureFuzzHeap();
  const qvMemBlock block = qvMemBlock::Borrow(data, static_cast<std::uint32_t>(size));
  auto* image = new qvImageQvf;
  if (image->Load(&block, 0) != 0 && image->GetBufferSize() <= 65536) {
    qvMemBlock saved;
    image->Save(&saved, 0, 0, 0, 0);
    saved.Release();
  }
  image->Release();
  return 0;
}
