// qvImageJpeg: JPEG through libjpeg. Decodes to 3 bytes per pixel in red,
// green, blue order (channel order is left at 0) with rows padded to 4
// bytes.
#pragma once

#include "image/image.h"

class qvImageJpeg : public qvImage {
 public:
  qvImageJpeg() = default;

  // At least 11 bytes, the FF D8 marker and a readable header.
  static int Probe(const qvMemBlock* block);

  int Load(const qvMemBlock* block, std::uint32_t frame) override;
  // 3 bytes per pixel are written as RGB, 4 as CMYK, at the quality
  // setting. The block receives exactly the bytes written.
  int Save(qvMemBlock* block, std::uint32_t a, std::uint32_t b, std::uint32_t c,
           std::uint32_t d) override;

  void SetQuality(std::uint32_t quality) { quality_ = quality; }
  std::uint32_t GetQuality() const { return quality_; }

 protected:
  ~qvImageJpeg() override = default;

 private:
  std::uint32_t quality_ = 90;
};
