// Hand-built BMP, PSD and HG-2 files for the picture tests, for the cases
// the savers never write.
#pragma once

#include "support/image_test_support.h"

#include <cstdint>
#include <vector>

namespace qvtest {

// A BMP with a 40-byte (or 12-byte core) header and the pixel data placed
// at `pixel_offset`; the offset field says the same.
Bytes BuildBmp(std::int32_t width, std::int32_t height, std::uint32_t bits, const Bytes& pixels,
               std::uint32_t header_size = 40, std::uint32_t pixel_offset = 54);

// A PSD header and empty sections, then the compression field and `data`.
Bytes BuildPsd(std::uint32_t width, std::uint32_t height, std::uint32_t channels,
               std::uint16_t compression, const Bytes& data);

// The HG-2 file `image` saves to (frame id, base), or empty on failure.
Bytes SaveHg2(qvImage& image, std::uint32_t frame_id = 0, std::uint32_t base_x = 0,
              std::uint32_t base_y = 0);
// The one-frame HG-3 file WriteHg3 makes of `image`, and the QVF file
// (which keeps 1 and 2 bytes per pixel too); empty on failure.
Bytes SaveHg3(const qvImage& image);
Bytes SaveQvf(const qvImage& image);
// The one frame of a saved version 0x25 file rewritten as version 0x10 or
// 0x20 (whose extension ends before the base point).
Bytes Hg2AsVersion(const Bytes& saved, std::uint32_t version);
// Saved one-frame version 0x25 files chained into one file.
Bytes ChainHg2(const std::vector<Bytes>& saved);

void PutLe16(Bytes& bytes, std::size_t at, std::uint16_t value);
void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value);
std::uint32_t GetLe32(const Bytes& bytes, std::size_t at);
// `count` little-endian 32-bit words of `bytes` from `at` on.
std::vector<std::uint32_t> Words(const Bytes& bytes, std::size_t at, std::size_t count);

}  // namespace qvtest
