#include "image/image_hg2.h"

#include "base/byte_order.h"
#include "image/hg3_container.h"
#include "image/zlib_codec.h"
#include "base/debug_log.h"
#include "base/private_heap.h"
#include "util/memory.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr std::uint32_t kFileHeaderSize = 12;
constexpr std::uint32_t kFrameHeaderSize = 36;
constexpr std::uint32_t kExtensionSize = 40;
// The extension of version 0x20 ends before the base point.
constexpr std::uint32_t kOldExtensionSize = 32;
constexpr std::uint32_t kWrittenHeaderSize = kFileHeaderSize + kFrameHeaderSize + kExtensionSize;
constexpr std::uint32_t kVersion10 = 0x10;
constexpr std::uint32_t kVersion20 = 0x20;
constexpr std::uint32_t kVersion25 = 0x25;
constexpr std::uint32_t kStreamSlack = 16;
constexpr std::uint64_t kPlaneSlack = 4096;
// The encoder codes at least this many bytes; the filler decodes to nothing.
constexpr std::uint64_t kMinCodedBytes = 1024;
constexpr std::uint64_t kMinSaveCapacity = 102400;

// The file's frame chain, checked against the block as it is walked.
class Hg2File {
 public:
  explicit Hg2File(const qvMemBlock& block) : data_(block.data), size_(block.size) {}

  bool HasMagic() const { return data_ != nullptr && size_ >= 4 && CompareBytes(data_, "HG-2", 4) == 0; }
  // 0, which is no version, for a file that ends before its version field.
  std::uint32_t Version() const { return size_ >= kFileHeaderSize ? ReadLe16(data_ + 8) : 0; }
  bool IsChained() const { return Version() == kVersion20 || Version() == kVersion25; }
  bool IsKnownVersion() const { return Version() == kVersion10 || IsChained(); }

  // Offset of the index-th frame of a chained file, or 0.
  std::size_t FrameAt(std::uint32_t index) const {
    std::size_t frame = FirstFrame();
    for (std::uint32_t i = 0; i < index && frame != 0; ++i) frame = NextFrame(frame);
    return frame;
  }
  // Offset of the first frame with `id` of a chained file, or 0.
  std::size_t FindFrame(std::uint32_t id) const {
    std::size_t frame = FirstFrame();
    while (frame != 0 && FrameId(frame) != id) frame = NextFrame(frame);
    return frame;
  }
  std::uint32_t FrameId(std::size_t frame) const {
    return ReadLe32(data_ + frame + kFrameHeaderSize + 4);
  }
  std::size_t size() const { return size_; }
  const std::uint8_t* data() const { return data_; }

 private:
  std::size_t ExtensionSize() const {
    return Version() == kVersion25 ? kExtensionSize : kOldExtensionSize;
  }
  bool FrameFits(std::uint64_t frame) const {
    return frame + kFrameHeaderSize + ExtensionSize() <= size_;
  }
  std::size_t FirstFrame() const { return FrameFits(kFileHeaderSize) ? kFileHeaderSize : 0; }
  // Next offsets are positive, so the walk always moves forward.
  std::size_t NextFrame(std::size_t frame) const {
    const std::uint32_t next = ReadLe32(data_ + frame + kFrameHeaderSize + 28);
    if (next == 0) return 0;
    const std::uint64_t offset = std::uint64_t{frame} + next;
    return FrameFits(offset) ? static_cast<std::size_t>(offset) : 0;
  }

  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace

// The fields of one frame that decoding needs.
struct qvImageHg2::FrameHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bytes_per_pixel = 0;
  std::uint32_t depth = 0;
  std::uint32_t literal_packed = 0;
  std::uint32_t literal_size = 0;
  std::uint32_t control_packed = 0;
  std::uint32_t control_size = 0;
  std::size_t payload = 0;
  std::uint32_t canvas_width = 0;
  std::uint32_t canvas_height = 0;
  std::uint32_t offset_x = 0;
  std::uint32_t offset_y = 0;
  std::uint32_t alpha_state = kAlphaUnknown;
  std::uint32_t base_x = 0;
  std::uint32_t base_y = 0;
};

int qvImageHg2::Probe(const qvMemBlock* block) {
  return block != nullptr && Hg2File(*block).HasMagic() ? 1 : 0;
}

int qvImageHg2::FrameIdAt(const qvMemBlock* block, std::uint32_t index,
                          std::uint32_t* frame_id) {
  if (block == nullptr) return 0;
  const Hg2File file(*block);
  if (!file.HasMagic() || !file.IsKnownVersion()) return 0;
  if (!file.IsChained()) {
    if (index != 0) return 0;
    if (frame_id != nullptr) *frame_id = 0;
    return 1;
  }
  const std::size_t frame = file.FrameAt(index);
  if (frame == 0) return 0;
  if (frame_id != nullptr) *frame_id = file.FrameId(frame);
  return 1;
}

int qvImageHg2::Load(const qvMemBlock* block, std::uint32_t frame_id) {
  if (block == nullptr) return 0;
  const Hg2File file(*block);
  if (!file.HasMagic()) return Refuse(u"HG2 : ヘッダが違います");
  if (!file.IsKnownVersion()) return Refuse(u"HG2 : 未対応のバージョンです");
  const std::uint8_t* data = file.data();
  std::size_t at = 0;
  FrameHeader frame;
  if (file.IsChained()) {
    at = file.FindFrame(frame_id);
    if (at == 0) {
      DebugLogW(u"HG2(%d) : 対応するIDが見つかりません", static_cast<int>(frame_id));
      return 0;
    }
    const std::uint8_t* e = data + at + kFrameHeaderSize;
    const std::uint64_t payload = std::uint64_t{at} + kFrameHeaderSize + ReadLe32(e);
    if (payload > file.size()) return 0;
    frame.payload = static_cast<std::size_t>(payload);
    frame.canvas_width = ReadLe32(e + 8);
    frame.canvas_height = ReadLe32(e + 12);
    frame.offset_x = ReadLe32(e + 16);
    frame.offset_y = ReadLe32(e + 20);
    frame.alpha_state = ReadLe32(e + 24) != 0 ? kAlphaTransparent : kAlphaOpaque;
    if (file.Version() == kVersion25) {
      frame.base_x = ReadLe32(e + 32);
      frame.base_y = ReadLe32(e + 36);
    }
  } else {
    at = kFileHeaderSize;
    if (file.size() < kFileHeaderSize + kFrameHeaderSize) return 0;
    frame.payload = kFileHeaderSize + kFrameHeaderSize;
  }
  const std::uint8_t* f = data + at;
  frame.width = ReadLe32(f);
  frame.height = ReadLe32(f + 4);
  const auto bits = static_cast<std::int16_t>(ReadLe16(f + 8));
  frame.depth = ReadLe16(f + 10);
  frame.literal_packed = ReadLe32(f + 20);
  frame.literal_size = ReadLe32(f + 24);
  frame.control_packed = ReadLe32(f + 28);
  frame.control_size = ReadLe32(f + 32);
  if (!file.IsChained()) {
    frame.canvas_width = frame.width;
    frame.canvas_height = frame.height;
  }
  if (bits != 24 && bits != 32) return 0;
  frame.bytes_per_pixel = static_cast<std::uint32_t>(bits) / 8;
  if (frame.depth != 0 && (frame.depth < 4 || frame.depth > 8)) return 0;
  if (std::uint64_t{frame.literal_packed} + frame.control_packed > file.size() - frame.payload) {
    return 0;
  }
  return DecodeFrame(*block, frame);
}

int qvImageHg2::LoadByIndex(const qvMemBlock* block, std::uint32_t index,
                            std::uint32_t* frame_id) {
  if (block == nullptr) return 0;
  const Hg2File file(*block);
  std::uint32_t id = 0;
  if (file.HasMagic() && file.Version() == kVersion25) {
    if (FrameIdAt(block, index, &id) == 0) return 0;
  } else if (index != 0) {
    return 0;
  }
  if (Load(block, id) == 0) return 0;
  if (frame_id != nullptr) *frame_id = id;
  return 1;
}

int qvImageHg2::DecodeFrame(const qvMemBlock& block, const FrameHeader& frame) {
  const std::uint32_t bpp = frame.bytes_per_pixel;
  const auto picture_bytes = PixelBytes(bpp, frame.width, frame.height);
  if (frame.width == 0 || frame.height == 0 || !picture_bytes) return 0;
  const std::uint64_t picture = *picture_bytes;
  const std::uint64_t area = picture + kPlaneSlack;
  if (frame.literal_size > area || !PlausibleUnpackedSize(frame.literal_packed, frame.literal_size) ||
      !PlausibleUnpackedSize(frame.control_packed, frame.control_size)) {
    return 0;
  }
  HeapBuffer literals = AllocateHeapBuffer(std::uint64_t{frame.literal_size} + kStreamSlack);
  if (!literals) return 0;
  const std::uint8_t* literal_stream = block.data + frame.payload;
  const std::uint8_t* control_stream = literal_stream + frame.literal_packed;
  if (ZlibInflate(literals.get(), frame.literal_size + kStreamSlack, literal_stream,
                  frame.literal_packed) != frame.literal_size) {
    return Refuse(u"qvImageHg2 : バイト領域のサイズが異常です");
  }
  HeapBuffer control = AllocateHeapBuffer(std::uint64_t{frame.control_size} + kStreamSlack);
  if (!control) return 0;
  if (ZlibInflate(control.get(), frame.control_size + kStreamSlack, control_stream,
                  frame.control_packed) != frame.control_size) {
    return Refuse(u"qvImageHg2 : ビット領域のサイズが異常です");
  }
  // The run total leads the control bits; a total that cannot cover the
  // picture fails before the plane areas are allocated for it.
  bits_.Reset(control.get(), frame.control_size);
  bits_.ReadBit();
  const std::uint64_t total = bits_.ReadGamma();
  if (bits_.failed() || total < picture || total > area) return 0;
  HeapBuffer work = AllocateHeapBuffer(2 * area);
  if (!work) return 0;
  std::uint8_t* planes = work.get();
  std::uint8_t* bytes = planes + area;

  bits_.Reset(control.get(), frame.control_size);
  const std::int64_t length = HgDecodeZeroRuns(bits_, literals.get(), frame.literal_size, planes,
                                               static_cast<std::size_t>(area), picture, area);
  bits_.Reset(nullptr, 0);
  if (length < 0 || length % 4 != 0) return 0;
  HgMergePlanes(tables_, planes, static_cast<std::size_t>(length), bytes);

  if (PrepareUnpadded(frame.width, frame.height, bpp) == nullptr) return 0;
  HgUnmapRows(bytes, {pixels_, stride_, frame.width, frame.height, bpp, 0, frame.height});
  if (frame.depth != 0) WidenChannels(frame.depth);

  canvas_width_ = frame.canvas_width;
  canvas_height_ = frame.canvas_height;
  offset_x_ = frame.offset_x;
  offset_y_ = frame.offset_y;
  base_x_ = frame.base_x;
  base_y_ = frame.base_y;
  alpha_state_ = frame.alpha_state;
  return 1;
}

// Moves n-bit values to the top of the byte and repeats their high bits
// below them, so that the largest n-bit value becomes 255.
void qvImageHg2::WidenChannels(std::uint32_t depth) {
  const unsigned up = 8 - depth;
  const unsigned down = 2 * depth - 8;
  for (std::uint32_t y = 0; y < height_; ++y) {
    std::uint8_t* row = pixels_ + std::size_t{y} * stride_;
    for (std::size_t i = 0; i < std::size_t{width_} * bytes_per_pixel_; ++i)
      row[i] = static_cast<std::uint8_t>(row[i] << up | row[i] >> down);
  }
}

int qvImageHg2::Save(qvMemBlock* block, std::uint32_t frame_id, std::uint32_t base_x,
                     std::uint32_t base_y, std::uint32_t clear_transparent) {
  if (block == nullptr) return 0;
  block->Release();
  canvas_width_ = width_;
  canvas_height_ = height_;
  base_x_ = base_x;
  base_y_ = base_y;
  offset_x_ = 0;
  offset_y_ = 0;

  qvRect bounds;
  if (GetOpaqueBounds(&bounds) == 0) return 0;
  if (bounds.right <= bounds.left || bounds.bottom <= bounds.top) bounds = {0, 0, 2, 2};
  if (crop_ != 0 && Crop(&bounds) != 0) {
    offset_x_ = static_cast<std::uint32_t>(bounds.left);
    offset_y_ = static_cast<std::uint32_t>(bounds.top);
  }
  if (clear_transparent != 0) ClearTransparentColour();

  const std::uint32_t bpp = bytes_per_pixel_;
  const std::uint64_t picture = std::uint64_t{bpp} * width_ * height_;
  // The capacity also keeps both coded streams below 4 GiB: neither is
  // longer than the picture.
  const auto capacity =
      RoundedBlockLength(std::max<std::uint64_t>(2 * picture + kWrittenHeaderSize, kMinSaveCapacity));
  if (!capacity) return 0;
  HeapBuffer out = AllocateHeapBuffer(*capacity);
  if (!out) return 0;
  if (bpp != 3 && bpp != 4) return Refuse(u"この色数には対応していません");
  const std::uint32_t transparent = static_cast<std::uint32_t>(HasTransparency());

  // Delta coding and mapping, plane split and zero runs; the streams are
  // deflated into the output behind the header.
  const std::uint64_t coded = std::max(picture, kMinCodedBytes);
  HeapBuffer work = AllocateHeapBuffer(2 * (coded + 4));
  if (!work) return 0;
  std::uint8_t* bytes = work.get();
  std::uint8_t* planes = bytes + coded + 4;
  ZeroBytes(bytes, static_cast<std::size_t>(coded + 4));
  HgMapRows({pixels_, stride_, width_, height_, bpp, 0, height_}, bpp, bytes);
  const std::size_t plane_length = HgSplitPlanes(bytes, static_cast<std::size_t>(coded), planes);
  std::vector<std::uint8_t> literals;
  std::vector<std::uint8_t> control;
  try {
    HgEncodeZeroRuns(planes, plane_length, literals, control);
  } catch (const std::bad_alloc&) {
    return 0;
  }

  std::uint8_t* o = out.get();
  std::uint64_t written = kWrittenHeaderSize;
  std::uint32_t packed[2] = {};
  const std::vector<std::uint8_t>* streams[2] = {&literals, &control};
  for (int s = 0; s < 2; ++s) {
    const auto room = static_cast<std::uint32_t>(*capacity - written);
    packed[s] = ZlibDeflate(o + written, room, streams[s]->data(),
                            static_cast<std::uint32_t>(streams[s]->size()));
    // A stream that does not fit would leave the header naming bytes that
    // are not there.
    if (packed[s] == 0xFFFFFFFFu || packed[s] > room) return 0;
    written += packed[s];
  }

  CopyBytes(o, "HG-2", 4);
  WriteLe32(o + 4, kFileHeaderSize);
  WriteLe32(o + 8, kVersion25);
  std::uint8_t* f = o + kFileHeaderSize;
  WriteLe32(f, width_);
  WriteLe32(f + 4, height_);
  WriteLe16(f + 8, bpp * 8);
  WriteLe16(f + 10, 0);
  WriteLe32(f + 12, spare_[0]);
  WriteLe32(f + 16, spare_[1]);
  WriteLe32(f + 20, packed[0]);
  WriteLe32(f + 24, static_cast<std::uint32_t>(literals.size()));
  WriteLe32(f + 28, packed[1]);
  WriteLe32(f + 32, static_cast<std::uint32_t>(control.size()));
  std::uint8_t* e = f + kFrameHeaderSize;
  const std::uint32_t extension[10] = {kExtensionSize, frame_id,  canvas_width_, canvas_height_,
                                       offset_x_,      offset_y_, transparent,   0,
                                       base_x_,        base_y_};
  for (int i = 0; i < 10; ++i) WriteLe32(e + 4 * i, extension[i]);

  block->Adopt(out.release(), static_cast<std::uint32_t>(written), *capacity);
  return 1;
}
