#include "tools/qvimg/picture_io.h"

#include "image/hg3_container.h"
#include "image/hg3_writer.h"
#include "image/image_bmp.h"
#include "image/image_hg2.h"
#include "image/image_jpeg.h"
#include "image/image_png.h"
#include "image/image_qvf.h"
#include "image/image_webp.h"
#include "tools/common/failure.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <utility>

namespace {

std::filesystem::path NativePath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

struct Releaser {
  void operator()(qvImage* image) const { image->Release(); }
};

struct OwnedBlock {
  qvMemBlock block;
  ~OwnedBlock() { block.Release(); }
};

bool IsHg(std::uint32_t type) { return type == kImageTypeHg2 || type == kImageTypeHg3; }

// The id of the index-th frame, or false when the chain is shorter.
bool FrameIdAt(const ByteVector& bytes, std::uint32_t type, std::uint32_t index,
               std::uint32_t* id) {
  if (type == kImageTypeHg2) {
    const qvMemBlock block =
        qvMemBlock::Borrow(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return qvImageHg2::FrameIdAt(&block, index, id) != 0;
  }
  const Hg3File file(bytes.data(), bytes.size());
  if (!file.HasMagic() || !file.HasValidHeaderSize()) return false;
  const std::size_t frame = file.FindFrameByIndex(index);
  if (frame == 0) return false;
  *id = file.FrameId(frame);
  return true;
}

// Swaps bytes 0 and 2 of every pixel.
void SwapRedBlue(qvImage* image) {
  image->SetChannelOrder(1);
  image->SwapRedBlue();
}

template <typename Saver>
bool SaveCopy(const qvImage& picture, ByteVector* out, std::string* error,
              void (*prepare)(Saver*, const EncodeOptions&), const EncodeOptions& options,
              std::uint32_t a = 0, std::uint32_t b = 0, std::uint32_t c = 0) {
  std::unique_ptr<Saver, Releaser> saver(new Saver);
  if (saver->CopyFrom(&picture) == 0) return Fail(error, "out of memory");
  if (prepare != nullptr) prepare(saver.get(), options);
  OwnedBlock block;
  if (saver->Save(&block.block, a, b, c, 0) == 0) return Fail(error, "the encoder failed");
  out->assign(block.block.data, block.block.data + block.block.size);
  return true;
}

void ToBgra(const qvImage& picture, ByteVector* out) {
  const std::uint32_t bpp = picture.GetBytesPerPixel();
  out->clear();
  out->reserve(std::size_t{picture.GetWidth()} * picture.GetHeight() * 4);
  for (std::uint32_t y = 0; y < picture.GetHeight(); ++y) {
    const std::uint8_t* p = picture.GetPixelAddress(0, y);
    for (std::uint32_t x = 0; x < picture.GetWidth(); ++x, p += bpp) {
      out->insert(out->end(), {p[0], p[1], p[2], static_cast<std::uint8_t>(bpp == 4 ? p[3] : 255)});
    }
  }
}

}  // namespace

bool ReadFileBytes(const std::string& path, ByteVector* bytes, std::string* error) {
  std::ifstream in(NativePath(path), std::ios::binary);
  if (!in) return Fail(error, "cannot open the file");
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return Fail(error, "cannot read the file");
  if (bytes->size() > 0xFFFFFFFFu) return Fail(error, "the file is larger than 4 GiB");
  return true;
}

bool WriteFileBytes(const std::string& path, const std::uint8_t* data, std::size_t size,
                    std::string* error) {
  std::ofstream out(NativePath(path), std::ios::binary | std::ios::trunc);
  if (!out) return Fail(error, "cannot create the file");
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) return Fail(error, "cannot write the file");
  return true;
}

std::vector<std::uint32_t> ListFrameIds(const ByteVector& bytes, std::uint32_t type,
                                        std::size_t limit) {
  std::vector<std::uint32_t> ids;
  if (!IsHg(type)) return ids;
  std::uint32_t id = 0;
  for (std::uint32_t index = 0; ids.size() < limit && FrameIdAt(bytes, type, index, &id); ++index) {
    ids.push_back(id);
  }
  return ids;
}

bool LoadPicture(const ByteVector& bytes, const FrameChoice& frame, bool expand, Picture* picture,
                 std::string* error) {
  const qvMemBlock block =
      qvMemBlock::Borrow(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  picture->type = qvImageHolder::ProbeType(&block);
  if (picture->type == kImageTypeNone) return Fail(error, "not a picture in a supported format");
  const std::string name = qvImageHolder::TypeName(picture->type);
  picture->frame_id = 0;
  if (IsHg(picture->type)) {
    if (frame.by_id) {
      picture->frame_id = frame.value;
    } else if (!FrameIdAt(bytes, picture->type, frame.value, &picture->frame_id)) {
      return Fail(error, name + " file has no frame at index " + std::to_string(frame.value));
    }
  } else if (frame.by_id || frame.value != 0) {
    return Fail(error, name + " pictures have a single frame");
  }
  if (picture->holder.LoadFromMemory(&block, expand ? 1 : 0, picture->frame_id) == nullptr) {
    if (IsHg(picture->type) && frame.by_id) {
      return Fail(error, "cannot decode the " + name + " frame with id " +
                             std::to_string(frame.value) + " (missing or damaged)");
    }
    return Fail(error, "cannot decode the " + name + " data (damaged or unsupported)");
  }
  // Bring every decoder's memory order to top row first, blue first.
  qvImage* image = picture->image();
  if (picture->type == kImageTypeBmp || picture->type == kImageTypePsd) image->FlipVertical();
  if (picture->type == kImageTypeJpeg || picture->type == kImageTypeWebP) SwapRedBlue(image);
  return true;
}

std::optional<OutputFormat> OutputFormatFor(const std::string& path) {
  std::string extension = NativePath(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const std::pair<const char*, OutputFormat> kExtensions[] = {
      {".png", OutputFormat::kPng},   {".bmp", OutputFormat::kBmp},
      {".jpg", OutputFormat::kJpeg},  {".jpeg", OutputFormat::kJpeg},
      {".webp", OutputFormat::kWebP}, {".qvf", OutputFormat::kQvf},
      {".hg2", OutputFormat::kHg2},   {".hg3", OutputFormat::kHg3},
      {".bgra", OutputFormat::kBgra},
  };
  for (const auto& [name, format] : kExtensions) {
    if (extension == name) return format;
  }
  return std::nullopt;
}

bool EncodePicture(Picture* picture, OutputFormat format, const EncodeOptions& options,
                   ByteVector* out, std::string* error) {
  qvImage* image = picture->image();
  // QVF also holds 1- and 2-byte pixels, whose channels have no meaning
  // any other format could take over: only QVF stores them as they are.
  const std::uint32_t bpp = image->GetBytesPerPixel();
  if (bpp != 3 && bpp != 4 && format != OutputFormat::kQvf) {
    return Fail(error, "the picture has " + std::to_string(bpp) +
                           " byte(s) per pixel and no colour channels; it can only be written "
                           "as .qvf");
  }
  if (options.flatten && image->GetBytesPerPixel() == 4 &&
      image->FlattenOnColour(*options.flatten) == 0) {
    return Fail(error, "out of memory");
  }
  switch (format) {
    case OutputFormat::kBgra:
      ToBgra(*image, out);
      return true;
    case OutputFormat::kPng:
      return SaveCopy<qvImagePng>(*image, out, error, nullptr, options);
    case OutputFormat::kQvf:
      return SaveCopy<qvImageQvf>(*image, out, error, nullptr, options);
    case OutputFormat::kBmp:
      // Bitmaps keep the bottom row first.
      return SaveCopy<qvImageBmp>(*image, out, error, [](qvImageBmp* bmp, const EncodeOptions&) {
        bmp->FlipVertical();
      }, options);
    case OutputFormat::kJpeg:
      // No alpha in JPEG: flatten on white unless told otherwise.
      if (image->GetBytesPerPixel() == 4 && image->FlattenOnColour(0xFFFFFF) == 0) {
        return Fail(error, "out of memory");
      }
      return SaveCopy<qvImageJpeg>(*image, out, error, [](qvImageJpeg* jpeg, const EncodeOptions& o) {
        jpeg->SetQuality(o.quality);
        SwapRedBlue(jpeg);
      }, options);
    case OutputFormat::kWebP:
      return SaveCopy<qvImageWebP>(*image, out, error, [](qvImageWebP* webp, const EncodeOptions& o) {
        webp->SetQuality(o.quality);
        SwapRedBlue(webp);
      }, options);
    case OutputFormat::kHg2: {
      // The encoder takes the picture as its canvas, so a frame placed on a
      // larger canvas is put there first; the base point survives.
      std::uint32_t base_x = 0, base_y = 0;
      image->GetBase(&base_x, &base_y);
      if (picture->holder.ExpandToCanvas() == 0) return Fail(error, "out of memory");
      return SaveCopy<qvImageHg2>(*picture->image(), out, error, nullptr, options,
                                  picture->frame_id, base_x, base_y);
    }
    case OutputFormat::kHg3: {
      Hg3FrameSource source;
      source.image = image;
      source.options.id = picture->frame_id;
      source.options.bits_per_pixel = image->GetBytesPerPixel() == 4 ? 32 : 24;
      OwnedBlock block;
      if (WriteHg3(&source, 1, &block.block) == 0) return Fail(error, "the encoder failed");
      out->assign(block.block.data, block.block.data + block.block.size);
      return true;
    }
  }
  return Fail(error, "unknown output format");
}
