#include "support/picture_files.h"

#include "image/hg3_writer.h"
#include "image/image_hg2.h"
#include "image/image_qvf.h"

namespace qvtest {

namespace {

void AppendBe16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void AppendBe32(Bytes& out, std::uint32_t v) {
  AppendBe16(out, v >> 16);
  AppendBe16(out, v);
}

constexpr std::size_t kHg2Frame = 12;
constexpr std::size_t kHg2Extension = kHg2Frame + 36;
constexpr std::size_t kHg2Payload = kHg2Extension + 40;

}  // namespace

void PutLe16(Bytes& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  PutLe16(bytes, at, static_cast<std::uint16_t>(value));
  PutLe16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}
std::uint32_t GetLe32(const Bytes& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

std::vector<std::uint32_t> Words(const Bytes& bytes, std::size_t at, std::size_t count) {
  std::vector<std::uint32_t> words;
  for (std::size_t i = 0; i < count; ++i) words.push_back(GetLe32(bytes, at + 4 * i));
  return words;
}

Bytes BuildBmp(std::int32_t width, std::int32_t height, std::uint32_t bits, const Bytes& pixels,
               std::uint32_t header_size, std::uint32_t pixel_offset) {
  Bytes out(pixel_offset, 0);
  out[0] = 'B';
  out[1] = 'M';
  PutLe32(out, 2, static_cast<std::uint32_t>(pixel_offset + pixels.size()));
  PutLe32(out, 10, pixel_offset);
  PutLe32(out, 14, header_size);
  if (header_size == 12) {
    PutLe16(out, 18, static_cast<std::uint16_t>(width));
    PutLe16(out, 20, static_cast<std::uint16_t>(height));
    PutLe16(out, 22, 1);
    PutLe16(out, 24, static_cast<std::uint16_t>(bits));
  } else {
    PutLe32(out, 18, static_cast<std::uint32_t>(width));
    PutLe32(out, 22, static_cast<std::uint32_t>(height));
    PutLe16(out, 26, 1);
    PutLe16(out, 28, static_cast<std::uint16_t>(bits));
  }
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

Bytes BuildPsd(std::uint32_t width, std::uint32_t height, std::uint32_t channels,
               std::uint16_t compression, const Bytes& data) {
  Bytes out = {'8', 'B', 'P', 'S'};
  AppendBe16(out, 1);                 // version
  out.insert(out.end(), 6, 0);        // reserved
  AppendBe16(out, channels);
  AppendBe32(out, height);
  AppendBe32(out, width);
  AppendBe16(out, 8);                 // bits per channel
  AppendBe16(out, 3);                 // RGB
  AppendBe32(out, 0);                 // colour-mode data
  AppendBe32(out, 0);                 // image resources
  AppendBe32(out, 0);                 // layers and masks
  AppendBe16(out, compression);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes SaveHg2(qvImage& image, std::uint32_t frame_id, std::uint32_t base_x,
              std::uint32_t base_y) {
  auto hg2 = Make<qvImageHg2>();
  if (hg2->CopyFrom(&image) == 0) return {};
  OwnedBlock block;
  if (hg2->Save(&block.block, frame_id, base_x, base_y, 0) == 0) return {};
  return block.ToBytes();
}

Bytes SaveHg3(const qvImage& image) {
  const Hg3FrameSource frame{&image, {}};
  OwnedBlock block;
  if (WriteHg3(&frame, 1, &block.block) == 0) return {};
  return block.ToBytes();
}

Bytes SaveQvf(const qvImage& image) { return SaveAs<qvImageQvf>(image); }

Bytes Hg2AsVersion(const Bytes& saved, std::uint32_t version) {
  Bytes out(saved.begin(), saved.begin() + kHg2Extension);
  PutLe32(out, 8, version);
  if (version == 0x20) {
    out.insert(out.end(), saved.begin() + kHg2Extension, saved.begin() + kHg2Extension + 32);
    PutLe32(out, kHg2Extension, 32);
  }
  out.insert(out.end(), saved.begin() + kHg2Payload, saved.end());
  return out;
}

Bytes ChainHg2(const std::vector<Bytes>& saved) {
  Bytes out(saved.front().begin(), saved.front().begin() + kHg2Frame);
  for (std::size_t i = 0; i < saved.size(); ++i) {
    Bytes frame(saved[i].begin() + kHg2Frame, saved[i].end());
    if (i + 1 < saved.size()) PutLe32(frame, 36 + 28, static_cast<std::uint32_t>(frame.size()));
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

}  // namespace qvtest
