// qvImageBmp: uncompressed 24- and 32-bit Windows bitmaps with a 40-byte
// info header or a 12-byte core header. Pixels are always read from offset
// 54, rows in file order (a bottom-up bitmap lies upside down in memory),
// and always come out as 4 bytes per pixel.
#pragma once

#include "image/image.h"

class qvImageBmp : public qvImage {
 public:
  static constexpr std::uint32_t kInfoHeaderSize = 40;
  static constexpr std::uint32_t kPixelOffset = 54;

  qvImageBmp();

  // "BM" and a bit count of 24 or 32 where a 40-byte info header keeps it.
  static int Probe(const qvMemBlock* block);

  int Load(const qvMemBlock* block, std::uint32_t frame) override;
  // Writes the memory rows in order behind a 54-byte header with a
  // positive height; 24-bit rows are padded to 4 bytes. The block receives
  // the file rounded up to a multiple of 8 bytes.
  int Save(qvMemBlock* block, std::uint32_t a, std::uint32_t b, std::uint32_t c,
           std::uint32_t d) override;

  // The info header of the last loaded file (a core header is converted).
  const std::uint8_t* GetInfoHeader() const { return info_; }

 protected:
  ~qvImageBmp() override = default;

 private:
  std::uint8_t info_[kInfoHeaderSize];
};
