// qvImageHolder: picks the decoder for a picture in memory from its first
// bytes, keeps the decoded picture and answers what painting needs.
#pragma once

#include <cstdint>

#include "image/image.h"

// Decoder codes kept in the holder.
inline constexpr std::uint32_t kImageTypeNone = 0;
inline constexpr std::uint32_t kImageTypeBmp = 1;
inline constexpr std::uint32_t kImageTypePsd = 2;
inline constexpr std::uint32_t kImageTypeQvf = 3;
inline constexpr std::uint32_t kImageTypeHg2 = 4;
inline constexpr std::uint32_t kImageTypeJpeg = 5;
inline constexpr std::uint32_t kImageTypeHg3 = 6;
inline constexpr std::uint32_t kImageTypePng = 7;
inline constexpr std::uint32_t kImageTypeWebP = 8;

class qvImageHolder {
 public:
  qvImageHolder() = default;
  qvImageHolder(const qvImageHolder&) = delete;
  qvImageHolder& operator=(const qvImageHolder&) = delete;
  ~qvImageHolder();

  // Decodes `block` with the first decoder whose probe accepts it (HG-3,
  // HG-2, PNG, JPEG, BMP, PSD, WebP, QVF, in that order); `frame` is the
  // frame id for the HG formats. Returns the pixels, or null when no
  // decoder accepts the data, the decoder fails or, with `expand`, the
  // picture cannot be put on its canvas; the holder is then empty and
  // keeps the type of the last decoder chosen.
  std::uint8_t* LoadFromMemory(const qvMemBlock* block, int expand, std::uint32_t frame);
  // Replaces the picture by one of its canvas size, the picture at its
  // offset and transparent black around it. 0, with the picture kept, for
  // a canvas over the size limit or a picture wholly off its canvas.
  int ExpandToCanvas();

  // The decoder code of a block (kImageTypeNone when no probe accepts it),
  // without decoding anything.
  static std::uint32_t ProbeType(const qvMemBlock* block);
  // "HG-3", "PNG" and so on; "none" for kImageTypeNone or unknown codes.
  static const char* TypeName(std::uint32_t type);

  qvImage* GetImage() const { return image_; }
  std::uint32_t GetImageType() const { return type_; }
  std::uint32_t GetStride() const;
  std::uint32_t GetBytesPerPixel() const;
  std::uint8_t* GetPixels() const;
  // The buffer size; either output may be null.
  std::uint32_t GetSize(std::uint32_t* width, std::uint32_t* height) const;

 private:
  void ReleaseImage();

  qvImage* image_ = nullptr;
  std::uint32_t type_ = kImageTypeNone;
};
