#include "image/hg3_writer.h"

#include "image/hg3_container.h"
#include "image/hg_planes.h"
#include "image/image_jpeg.h"
#include "image/image_webp.h"
#include "image/zlib_codec.h"
#include "base/private_heap.h"
#include "util/memory.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct ImageDeleter {
  void operator()(qvImage* image) const { image->Release(); }
};

void AppendLe32(Bytes& out, std::uint32_t value) {
  std::uint8_t b[4];
  WriteLe32(b, value);
  out.insert(out.end(), b, b + 4);
}

// Tags of one frame, chained in order of addition.
class TagWriter {
 public:
  explicit TagWriter(Bytes& out) : out_(out) {}

  void Add(const std::string& name, const Bytes& data) {
    if (last_ != kNone) WriteLe32(out_.data() + last_ + 8, static_cast<std::uint32_t>(out_.size() - last_));
    last_ = out_.size();
    char field[kHg3TagNameSize] = {};
    std::copy_n(name.begin(), std::min(name.size(), kHg3TagNameSize - 1), field);
    out_.insert(out_.end(), field, field + kHg3TagNameSize);
    AppendLe32(out_, 0);
    AppendLe32(out_, static_cast<std::uint32_t>(data.size()));
    out_.insert(out_.end(), data.begin(), data.end());
  }

 private:
  static constexpr std::size_t kNone = ~std::size_t{0};
  Bytes& out_;
  std::size_t last_ = kNone;
};

// Empty when zlib cannot start or the stream does not fit its bound.
std::optional<Bytes> Deflate(const Bytes& input) {
  Bytes packed(ZlibDeflateBound(static_cast<std::uint32_t>(input.size())));
  const std::uint32_t size = ZlibDeflate(packed.data(), static_cast<std::uint32_t>(packed.size()),
                                         input.data(), static_cast<std::uint32_t>(input.size()));
  if (size > packed.size()) return std::nullopt;
  packed.resize(size);
  return packed;
}

Bytes U32Data(std::uint32_t value) {
  Bytes data;
  AppendLe32(data, value);
  return data;
}

bool HasAlphaBelowOpaque(const qvImage& image) {
  if (image.GetBytesPerPixel() != 4) return false;
  for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
    const std::uint8_t* p = image.GetPixelAddress(0, y);
    for (std::uint32_t x = 0; x < image.GetWidth(); ++x, p += 4) {
      if (p[3] != 255) return true;
    }
  }
  return false;
}

// One "img%04d" block: rows [first_row, first_row + rows) counted from the
// bottom.
std::optional<Bytes> EncodeRowBlock(const qvImage& image, std::uint32_t bpp, std::uint32_t first_row,
                     std::uint32_t rows) {
  const HgRowTarget source{image.GetPixelAddress(0, 0), image.GetStride(), image.GetWidth(),
                           image.GetHeight(),          bpp,               first_row,
                           rows};
  const std::size_t length = std::size_t{image.GetWidth()} * bpp * rows;
  Bytes mapped(length);
  HgMapRows(source, image.GetBytesPerPixel(), mapped.data());
  Bytes planes((length + 3) / 4 * 4);
  HgSplitPlanes(mapped.data(), length, planes.data());
  Bytes literals;
  Bytes control;
  HgEncodeZeroRuns(planes.data(), planes.size(), literals, control);
  const std::optional<Bytes> packed_literals = Deflate(literals);
  const std::optional<Bytes> packed_control = Deflate(control);
  if (!packed_literals || !packed_control) return std::nullopt;
  Bytes data;
  AppendLe32(data, first_row);
  AppendLe32(data, rows);
  AppendLe32(data, static_cast<std::uint32_t>(packed_literals->size()));
  AppendLe32(data, static_cast<std::uint32_t>(literals.size()));
  AppendLe32(data, static_cast<std::uint32_t>(packed_control->size()));
  AppendLe32(data, static_cast<std::uint32_t>(control.size()));
  data.insert(data.end(), packed_literals->begin(), packed_literals->end());
  data.insert(data.end(), packed_control->begin(), packed_control->end());
  return data;
}

// A red-first copy of the picture with `bpp` bytes per pixel, the layout
// the WebP and JPEG savers read; null when its pixels cannot be had.
template <typename Codec>
std::unique_ptr<Codec, ImageDeleter> RedFirstCopy(const qvImage& image, std::uint32_t bpp) {
  std::unique_ptr<Codec, ImageDeleter> copy(new Codec);
  if (copy->CreateBlank(image.GetWidth(), image.GetHeight(), bpp) == 0) return nullptr;
  for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
    const std::uint8_t* in = image.GetPixelAddress(0, y);
    std::uint8_t* out = copy->GetPixelAddress(0, y);
    for (std::uint32_t x = 0; x < image.GetWidth(); ++x) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      if (bpp == 4) out[3] = in[3];
      in += image.GetBytesPerPixel();
      out += bpp;
    }
  }
  return copy;
}

// The saved file; empty when the saver refuses the picture.
std::optional<Bytes> SaveToBytes(qvImage& image) {
  qvMemBlock block;
  if (image.Save(&block, 0, 0, 0, 0) == 0) return std::nullopt;
  Bytes bytes(block.data, block.data + block.size);
  block.Release();
  return bytes;
}

std::optional<Bytes> AlphaPlane(const qvImage& image) {
  Bytes alpha;
  alpha.reserve(std::size_t{image.GetWidth()} * image.GetHeight());
  for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
    const std::uint8_t* p = image.GetPixelAddress(0, y);
    for (std::uint32_t x = 0; x < image.GetWidth(); ++x, p += 4) alpha.push_back(p[3]);
  }
  const std::optional<Bytes> packed = Deflate(alpha);
  if (!packed) return std::nullopt;
  Bytes data;
  AppendLe32(data, static_cast<std::uint32_t>(packed->size()));
  AppendLe32(data, static_cast<std::uint32_t>(alpha.size()));
  data.insert(data.end(), packed->begin(), packed->end());
  return data;
}

bool ValidFrame(const Hg3FrameSource& frame) {
  const qvImage* image = frame.image;
  if (image == nullptr || image->GetPixels() == nullptr || image->GetWidth() == 0 ||
      image->GetHeight() == 0) {
    return false;
  }
  const std::uint32_t bits = frame.options.bits_per_pixel;
  const std::uint32_t bpp = image->GetBytesPerPixel();
  // "img%04d" names allow 10000 row blocks.
  const std::uint32_t step = frame.options.rows_per_block;
  const std::uint32_t height = image->GetHeight();
  const bool names_suffice = frame.options.payload != Hg3Payload::kRowBlocks || step == 0 ||
                             (height - 1) / step < 10000;
  return (bits == 24 || bits == 32) && (bpp == 3 || bpp == 4) && names_suffice;
}

// False when a payload cannot be coded.
bool WriteFrame(const Hg3FrameSource& frame, Bytes& out) {
  const qvImage& image = *frame.image;
  const Hg3FrameOptions& options = frame.options;
  const std::uint32_t bpp = std::min(options.bits_per_pixel / 8, image.GetBytesPerPixel());
  const std::uint32_t width = image.GetWidth();
  const std::uint32_t height = image.GetHeight();

  AppendLe32(out, 0);
  AppendLe32(out, options.id);
  TagWriter tags(out);

  Bytes info;
  std::uint32_t canvas_width;
  std::uint32_t canvas_height;
  std::uint32_t offset_x;
  std::uint32_t offset_y;
  std::uint32_t base_x;
  std::uint32_t base_y;
  image.GetCanvasSize(&canvas_width, &canvas_height);
  image.GetOffset(&offset_x, &offset_y);
  image.GetBase(&base_x, &base_y);
  for (std::uint32_t v : {width, height, bpp * 8, offset_x, offset_y, canvas_width, canvas_height,
                          std::uint32_t{bpp == 4 && HasAlphaBelowOpaque(image)}, base_x, base_y}) {
    AppendLe32(info, v);
  }
  tags.Add("stdinfo", info);

  std::optional<std::uint32_t> imgmode = options.imgmode;
  switch (options.payload) {
    case Hg3Payload::kRowBlocks: {
      const std::uint32_t step = options.rows_per_block == 0 ? height : options.rows_per_block;
      char name[16];
      std::uint32_t n = 0;
      for (std::uint32_t first = 0; first < height; first += step, ++n) {
        std::snprintf(name, sizeof name, "img%04u", n);
        const std::optional<Bytes> block =
            EncodeRowBlock(image, bpp, first, std::min(step, height - first));
        if (!block) return false;
        tags.Add(name, *block);
      }
      break;
    }
    case Hg3Payload::kWebP: {
      auto webp = RedFirstCopy<qvImageWebP>(image, bpp);
      if (!webp) return false;
      webp->SetQuality(options.quality);
      const std::optional<Bytes> payload = SaveToBytes(*webp);
      if (!payload) return false;
      tags.Add("img_wbp", *payload);
      if (!imgmode) imgmode = 1;
      break;
    }
    case Hg3Payload::kJpeg: {
      auto jpeg = RedFirstCopy<qvImageJpeg>(image, 3);
      if (!jpeg) return false;
      jpeg->SetQuality(options.quality);
      const std::optional<Bytes> payload = SaveToBytes(*jpeg);
      if (!payload) return false;
      tags.Add("img_jpg", *payload);
      if (bpp == 4) {
        const std::optional<Bytes> alpha = AlphaPlane(image);
        if (!alpha) return false;
        tags.Add("img_al", *alpha);
      }
      break;
    }
  }
  if (options.cptype) tags.Add("cptype", U32Data(*options.cptype));
  if (imgmode) tags.Add("imgmode", U32Data(*imgmode));
  for (const Hg3Attribute& attribute : options.attributes) {
    tags.Add("ats" + std::to_string(attribute.key),
             Bytes(attribute.record, attribute.record + qvImage::kAttributeSize));
  }
  return true;
}

}  // namespace

int WriteHg3(const Hg3FrameSource* frames, std::size_t count, qvMemBlock* out) {
  if (frames == nullptr || count == 0 || out == nullptr) return 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!ValidFrame(frames[i])) return 0;
  }
  try {
    Bytes file = {'H', 'G', '-', '3'};
    AppendLe32(file, kHg3HeaderSize);
    AppendLe32(file, 0x300);
    std::size_t previous = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t start = file.size();
      if (i > 0) WriteLe32(file.data() + previous, static_cast<std::uint32_t>(start - previous));
      if (!WriteFrame(frames[i], file)) return 0;
      previous = start;
    }
    if (file.size() > 0xFFFFFFFFu) return 0;
    auto* buffer = static_cast<std::uint8_t*>(PrivateAlloc(0, file.size()));
    if (buffer == nullptr) return 0;
    CopyBytes(buffer, file.data(), file.size());
    const auto size = static_cast<std::uint32_t>(file.size());
    out->Adopt(buffer, size, size);
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}
