// qvImagePng: PNG through libpng, read from and written to a memory file.
// Pictures with alpha load as 4 bytes per pixel (blue, green, red, alpha),
// others as 3 with rows padded to 4 bytes.
#pragma once

#include "image/image.h"

class qvMemFile;

class qvImagePng : public qvImage {
 public:
  qvImagePng() = default;

  static int Probe(const qvMemBlock* block);

  int Load(const qvMemBlock* block, std::uint32_t frame) override;
  // Writes 8-bit RGB or RGBA; the block receives the file rounded up to a
  // multiple of 8 bytes.
  int Save(qvMemBlock* block, std::uint32_t a, std::uint32_t b, std::uint32_t c,
           std::uint32_t d) override;

  // When set, Save first crops to the opaque area.
  void SetCrop(std::uint32_t crop) { crop_ = crop; }

 protected:
  ~qvImagePng() override;

 private:
  int Decode();
  int Encode(qvMemBlock* block);

  // The memory file of the running Load or Save (their local), else null.
  qvMemFile* file_ = nullptr;
  std::uint32_t crop_ = 0;
};
