#include "image/image_hg3.h"

#include "image/hg3_container.h"
#include "image/image_jpeg.h"
#include "image/image_webp.h"
#include "image/zlib_codec.h"
#include "base/private_heap.h"
#include "util/integer.h"
#include "util/memory.h"

#include <algorithm>
#include <utility>
#include <vector>
#include <memory>
#include <new>
#include <string>

namespace {

// Slack behind the inflated streams, as the format's readers allow.
constexpr std::uint32_t kStreamSlack = 16;
// Room behind the plane and byte areas for padded run totals.
constexpr std::uint64_t kPlaneSlack = 4096;

// Blocks are independent and may overlap (a later block overwrites), or
// hold no row at all; but each must lie inside the picture, and together
// they must cover every row, so that no pixel is left unwritten.
bool CoversPicture(const std::vector<Hg3RowBlock>& blocks, std::uint32_t height) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
  spans.reserve(blocks.size());
  for (const Hg3RowBlock& block : blocks) {
    const std::uint64_t end = std::uint64_t{block.first_row} + block.rows;
    if (end > height) return false;
    if (block.rows != 0) spans.emplace_back(block.first_row, end);
  }
  std::sort(spans.begin(), spans.end());
  std::uint64_t covered = 0;
  for (const auto& [first, end] : spans) {
    if (first > covered) return false;
    covered = std::max(covered, end);
  }
  return covered == height;
}

struct ImageDeleter {
  void operator()(qvImage* image) const { image->Release(); }
};

}  // namespace

int qvImageHg3::Probe(const qvMemBlock* block) {
  return block != nullptr && Hg3File(block->data, block->size).HasMagic() ? 1 : 0;
}

int qvImageHg3::Load(const qvMemBlock* block, std::uint32_t frame) {
  if (block == nullptr) return 0;
  return LoadFrame(*block, frame);
}

int qvImageHg3::LoadByIndex(const qvMemBlock* block, std::uint32_t index,
                            std::uint32_t* frame_id) {
  if (block == nullptr) return 0;
  const Hg3File file(block->data, block->size);
  if (!file.HasMagic()) return 0;
  if (!file.HasValidHeaderSize()) return Refuse(u"HG3 : ヘッダサイズが違います");
  const std::size_t offset = file.FindFrameByIndex(index);
  if (offset == 0) return 0;
  const std::uint32_t id = file.FrameId(offset);
  if (LoadFrame(*block, id) == 0) return 0;
  if (frame_id != nullptr) *frame_id = id;
  return 1;
}

int qvImageHg3::LoadFrame(const qvMemBlock& block, std::uint32_t id) {
  const Hg3File file(block.data, block.size);
  if (!file.HasMagic()) return Refuse(u"HG3 : ヘッダが違います");
  if (!file.HasValidHeaderSize()) return Refuse(u"HG3 : ヘッダサイズが違います");
  try {
    const std::size_t offset = file.FindFrameById(id);
    if (offset == 0) return 0;
    Hg3Frame frame;
    Hg3Stdinfo info;
    if (!file.ReadFrame(offset, &frame) || !frame.ReadStdinfo(&info)) return 0;
    if (DecodeFrame(frame, info) == 0) return 0;
    ApplyTags(frame);
    SwapRedBlue();
    return 1;
  } catch (const std::bad_alloc&) {
    // The tag index and the decoders' work buffers are standard containers.
    return 0;
  }
}

int qvImageHg3::DecodeFrame(const Hg3Frame& frame, const Hg3Stdinfo& info) {
  const std::int16_t bits = static_cast<std::int16_t>(info.bits_per_pixel & 0xFFFF);
  if (bits != 24 && bits != 32) return 0;
  const std::uint32_t bpp = static_cast<std::uint32_t>(bits) / 8;
  if (info.width == 0 || info.height == 0 || !PixelBytes(info.width, info.height, bpp)) {
    return 0;
  }
  int decoded;
  if (frame.Find("img_wbp") != nullptr) {
    decoded = DecodeWebP(frame, info, bpp);
  } else if (frame.Find("img_jpg") != nullptr) {
    decoded = DecodeJpeg(frame, info, bpp);
  } else {
    decoded = DecodeRowBlocks(frame, info, bpp);
  }
  if (decoded == 0) return 0;
  canvas_width_ = info.canvas_width;
  canvas_height_ = info.canvas_height;
  offset_x_ = info.offset_x;
  offset_y_ = info.offset_y;
  alpha_state_ = info.transparent != 0 ? kAlphaTransparent : kAlphaOpaque;
  base_x_ = info.base_x;
  base_y_ = info.base_y;
  return bpp == 3 ? ExpandTo32() : 1;
}

int qvImageHg3::DecodeWebP(const Hg3Frame& frame, const Hg3Stdinfo& info, std::uint32_t bpp) {
  const Hg3Tag* tag = frame.Find("img_wbp");
  const qvMemBlock payload = qvMemBlock::Borrow(tag->data, tag->size);
  std::unique_ptr<qvImage, ImageDeleter> webp(new qvImageWebP);
  if (webp->Load(&payload, 0) == 0) return 0;
  if (webp->GetWidth() != info.width || webp->GetHeight() != info.height) return 0;
  if (PrepareUnpadded(info.width, info.height, bpp) == nullptr) return 0;
  for (std::uint32_t y = 0; y < info.height; ++y) {
    const std::uint8_t* in = webp->GetPixelAddress(0, y);
    std::uint8_t* out = pixels_ + std::size_t{y} * stride_;
    if (bpp == 4) {
      CopyBytes(out, in, std::size_t{info.width} * 4);
      continue;
    }
    for (std::uint32_t x = 0; x < info.width; ++x, in += 4, out += 3) CopyBytes(out, in, 3);
  }
  return 1;
}

int qvImageHg3::DecodeJpeg(const Hg3Frame& frame, const Hg3Stdinfo& info, std::uint32_t bpp) {
  const Hg3Tag* tag = frame.Find("img_jpg");
  const qvMemBlock payload = qvMemBlock::Borrow(tag->data, tag->size);
  std::unique_ptr<qvImage, ImageDeleter> jpeg(new qvImageJpeg);
  if (jpeg->Load(&payload, 0) == 0) return 0;
  if (jpeg->GetWidth() != info.width || jpeg->GetHeight() != info.height ||
      jpeg->GetBytesPerPixel() != 3) {
    return 0;
  }
  if (PrepareUnpadded(info.width, info.height, bpp) == nullptr) return 0;
  for (std::uint32_t y = 0; y < info.height; ++y) {
    const std::uint8_t* in = jpeg->GetPixelAddress(0, y);
    std::uint8_t* out = pixels_ + std::size_t{y} * stride_;
    for (std::uint32_t x = 0; x < info.width; ++x, in += 3, out += bpp) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
      if (bpp == 4) out[3] = 255;
    }
  }
  const Hg3Tag* alpha = frame.Find("img_al");
  if (bpp != 4 || alpha == nullptr || alpha->size < kHg3AlphaHeaderSize) return 1;
  // A plane that does not match the picture leaves alpha at 255.
  const std::uint32_t packed = ReadLe32(alpha->data);
  const std::uint32_t unpacked = ReadLe32(alpha->data + 4);
  const std::uint64_t pixel_count = std::uint64_t{info.width} * info.height;
  if (unpacked != pixel_count || packed > alpha->size - kHg3AlphaHeaderSize ||
      !PlausibleUnpackedSize(packed, unpacked)) {
    return 1;
  }
  // Room behind the stated size, so that a stream producing more is seen
  // producing more.
  const std::uint32_t room = std::max<std::uint32_t>(unpacked, 1024) + kStreamSlack;
  HeapBuffer plane = AllocateHeapBuffer(room);
  if (!plane) return 1;
  if (ZlibInflate(plane.get(), room, alpha->data + kHg3AlphaHeaderSize, packed) != unpacked) {
    return 1;
  }
  const std::uint8_t* a = plane.get();
  for (std::uint32_t y = 0; y < info.height; ++y) {
    std::uint8_t* out = pixels_ + std::size_t{y} * stride_;
    for (std::uint32_t x = 0; x < info.width; ++x, out += 4) out[3] = *a++;
  }
  return 1;
}

int qvImageHg3::DecodeRowBlocks(const Hg3Frame& frame, const Hg3Stdinfo& info,
                                std::uint32_t bpp) {
  std::vector<Hg3RowBlock> blocks;
  if (!frame.CollectRowBlocks(&blocks)) return 0;
  const std::uint64_t area = std::uint64_t{bpp} * info.width * info.height + kPlaneSlack;
  if (!CoversPicture(blocks, info.height)) return 0;
  std::uint32_t largest_literals = 0;
  for (const Hg3RowBlock& block : blocks) {
    if (block.literal_size > area || !PlausibleUnpackedSize(block.literal_packed, block.literal_size) ||
        !PlausibleUnpackedSize(block.control_packed, block.control_size)) {
      return 0;
    }
    largest_literals = std::max(largest_literals, block.literal_size);
  }
  if (PrepareUnpadded(info.width, info.height, bpp) == nullptr) return 0;

  const std::uint64_t literal_area = std::uint64_t{largest_literals} + kStreamSlack;
  HeapBuffer work = AllocateHeapBuffer(literal_area + area + kHgScratchSize);
  if (!work) return 0;
  std::uint8_t* literals = work.get();
  std::uint8_t* planes = literals + literal_area;
  std::uint8_t* scratch = planes + area;
  const std::uint64_t row_bytes = std::uint64_t{bpp} * info.width;

  for (const Hg3RowBlock& block : blocks) {
    if (ZlibInflate(literals, block.literal_size + kStreamSlack, block.literal_stream,
                    block.literal_packed) != block.literal_size) {
      return Refuse(u"qvImageHg3 : バイト領域のサイズが異常です");
    }
    HeapBuffer control = AllocateHeapBuffer(std::uint64_t{block.control_size} + kStreamSlack);
    if (!control) return 0;
    if (ZlibInflate(control.get(), block.control_size + kStreamSlack, block.control_stream,
                    block.control_packed) != block.control_size) {
      return Refuse(u"qvImageHg3 : ビット領域のサイズが異常です");
    }
    bits_.Reset(control.get(), block.control_size);
    // A block's run total covers its own rows, and at most the whole
    // picture plus the padding the plane area has room for.
    const std::uint64_t needed = row_bytes * block.rows;
    const std::int64_t length =
        HgDecodeZeroRuns(bits_, literals, block.literal_size, planes, static_cast<std::size_t>(area),
                         needed, area);
    bits_.Reset(nullptr, 0);
    if (length < 0 || length % 4 != 0) return 0;
    HgMergeAndUnmap(tables_, planes, static_cast<std::size_t>(length), scratch,
                    {pixels_, stride_, info.width, info.height, bpp, block.first_row, block.rows});
  }
  return 1;
}

void qvImageHg3::ApplyTags(const Hg3Frame& frame) {
  bool jpeg_seen = false;
  bool mode_seen = false;
  for (const Hg3Tag& tag : frame.tags) {
    if (tag.name == "cptype") {
      if (tag.size >= 4) cptype_ = ReadLe32(tag.data);
    } else if (tag.name == "imgmode") {
      if (tag.size >= 4) channel_order_ = ReadLe32(tag.data);
      mode_seen = true;
    } else if (tag.name == "img_jpg" || tag.name == "img_jpa") {
      jpeg_seen = true;
    } else if (tag.name.starts_with("ats")) {
      const std::string number(tag.name.substr(3));
      int end = 0;
      std::int32_t key = 0;
      if (ParseIntegerA(number.c_str(), &end, &key) == 0) continue;
      // A short record is completed with zeros.
      std::uint8_t record[kAttributeSize] = {};
      CopyBytes(record, tag.data, std::min<std::size_t>(tag.size, kAttributeSize));
      SetAttribute(key, 0, record);
    }
  }
  if (jpeg_seen && !mode_seen) channel_order_ = 1;
}
