// qvImagePsd: the merged image of an 8-bit RGB Photoshop document, raw or
// PackBits, decoded to 4 bytes per pixel with alpha 255. The file's top row
// is stored in the last memory row. No saver.
#pragma once

#include "image/image.h"

class qvImagePsd : public qvImage {
 public:
  qvImagePsd() = default;

  // Whether the header checks and the walk over the sections succeed.
  static int Probe(const qvMemBlock* block);

  int Load(const qvMemBlock* block, std::uint32_t frame) override;

 protected:
  ~qvImagePsd() override = default;
};
