// qvImageWebP: WebP through libwebp. Decodes to 4 bytes per pixel in red,
// green, blue, alpha order (channel order is left at 0).
#pragma once

#include "image/image.h"

class qvImageWebP : public qvImage {
 public:
  qvImageWebP() = default;

  static int Probe(const qvMemBlock* block);

  int Load(const qvMemBlock* block, std::uint32_t frame) override;
  // Lossy encoding at the quality setting; byte 0 of a pixel is taken as
  // red. The block receives the file rounded up to a multiple of 8 bytes.
  int Save(qvMemBlock* block, std::uint32_t a, std::uint32_t b, std::uint32_t c,
           std::uint32_t d) override;

  void SetQuality(std::uint32_t quality) { quality_ = quality; }

 protected:
  ~qvImageWebP() override = default;

 private:
  std::uint32_t quality_ = 90;
};
