// qvImageHg3: decodes one frame of an HG-3 file into 4 bytes per pixel.
#pragma once

#include "image/hg_bit_reader.h"
#include "image/hg_planes.h"
#include "image/image.h"

struct Hg3Stdinfo;
class Hg3Frame;

class qvImageHg3 : public qvImage {
 public:
  qvImageHg3() = default;

  // Whether the block starts with the HG-3 magic.
  static int Probe(const qvMemBlock* block);

  // Decodes the frame whose id is `frame`.
  int Load(const qvMemBlock* block, std::uint32_t frame) override;
  // Decodes the index-th frame (by its id: the first frame sharing that id)
  // and reports the id.
  int LoadByIndex(const qvMemBlock* block, std::uint32_t index, std::uint32_t* frame_id) override;

 protected:
  ~qvImageHg3() override = default;

 private:
  int LoadFrame(const qvMemBlock& block, std::uint32_t id);
  int DecodeFrame(const Hg3Frame& frame, const Hg3Stdinfo& info);
  int DecodeWebP(const Hg3Frame& frame, const Hg3Stdinfo& info, std::uint32_t bpp);
  int DecodeJpeg(const Hg3Frame& frame, const Hg3Stdinfo& info, std::uint32_t bpp);
  int DecodeRowBlocks(const Hg3Frame& frame, const Hg3Stdinfo& info, std::uint32_t bpp);
  void ApplyTags(const Hg3Frame& frame);

  HgBitReader bits_;
  HgTables tables_;
};
