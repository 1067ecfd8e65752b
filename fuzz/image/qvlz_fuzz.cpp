// QVLZ decompression of hostile streams into an output of exactly the
// claimed size, and compression of the input in the mode its first byte
// picks, checked by decompressing it again.
#include "fuzz_heap.h"
#include "image/qvlz.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  EnsureFuzzHeap();
  const auto length = static_cast<std::uint32_t>(size);
  const std::uint32_t claimed = QvlzDecompress(data, length, nullptr, 0, nullptr, nullptr);
  if (claimed != 0 && claimed <= (1u << 24)) {
    std::vector<std::uint8_t> out(claimed);
    const std::uint32_t produced = QvlzDecompress(data, length, out.data(), claimed, nullptr, nullptr);
    if (produced != 0 && produced != claimed) __builtin_trap();
  }
  if (size < 1) return 0;
  const std::uint32_t mode = data[0] % kQvlzModeCount;
  const std::uint32_t stream_size = QvlzCompress(data, length, nullptr, 0, mode, nullptr, nullptr);
  std::vector<std::uint8_t> stream(stream_size);
  if (QvlzCompress(data, length, stream.data(), stream_size, mode, nullptr, nullptr) != stream_size) {
    __builtin_trap();
  }
  std::vector<std::uint8_t> back(size);
  if (QvlzDecompress(stream.data(), stream_size, back.data(), length, nullptr, nullptr) != length ||
      std::memcmp(back.data(), data, size) != 0) {
    __builtin_trap();
  }
  return 0;
}
