// qvImageQvf: the engine's raw-pixel picture format, a 12-byte header
// ("QVF\0", u16 width, height, stride and bytes per pixel) followed by the
// pixel buffer as one QVLZ stream. Rows keep the saving picture's memory
// order.
#pragma once

#include "image/image.h"

class qvImageQvf : public qvImage {
 public:
  qvImageQvf() = default;

  // Whether the block starts with "QVF" and a NUL byte.
  static int Probe(const qvMemBlock* block);

  int Load(const qvMemBlock* block, std::uint32_t frame) override;
  // Compresses the pixel buffer in every QVLZ mode and keeps the smallest
  // stream (the lower mode on ties). The block receives the file rounded up
  // to a multiple of 8 bytes. Fails for pictures whose width, height or
  // stride do not fit 16 bits.
  int Save(qvMemBlock* block, std::uint32_t a, std::uint32_t b, std::uint32_t c,
           std::uint32_t d) override;

 protected:
  ~qvImageQvf() override = default;
};
