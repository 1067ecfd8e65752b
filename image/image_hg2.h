// qvImageHg2: the older HG picture format. A fixed header ("HG-2", header
// size, version 0x10, 0x20 or 0x25) and a chain of frames, each one block
// of the lossless HG coding. 24-bit frames stay at 3 bytes per pixel; rows
// are stored top first. The encoder writes one-frame version 0x25 files.
#pragma once

#include "image/hg_bit_reader.h"
#include "image/hg_planes.h"
#include "image/image.h"

class qvImageHg2 : public qvImage {
 public:
  qvImageHg2() = default;

  // Whether the block starts with the HG-2 magic.
  static int Probe(const qvMemBlock* block);
  // The id of the index-th frame in chain order: version 0x10 has one frame
  // with id 0. 0 when the block is no HG-2 file or the chain ends first.
  static int FrameIdAt(const qvMemBlock* block, std::uint32_t index, std::uint32_t* frame_id);

  // Decodes the frame whose id is `frame` (version 0x10 ignores the id).
  int Load(const qvMemBlock* block, std::uint32_t frame) override;
  // Version 0x25: the index-th frame. Older versions: index 0 only, as
  // Load with id 0.
  int LoadByIndex(const qvMemBlock* block, std::uint32_t index, std::uint32_t* frame_id) override;
  // Writes a one-frame version 0x25 file: (block, frame id, base x, base
  // y, clear transparent colour). The picture is first cropped to its
  // opaque area (a fully transparent one to its top-left 2x2 pixels) and
  // keeps its former size as canvas. Fails with the block emptied for
  // pictures of other than 3 or 4 bytes per pixel, or when a compressed
  // stream does not fit the output.
  int Save(qvMemBlock* block, std::uint32_t frame_id, std::uint32_t base_x, std::uint32_t base_y,
           std::uint32_t clear_transparent) override;

 protected:
  ~qvImageHg2() override = default;

 private:
  struct FrameHeader;
  int DecodeFrame(const qvMemBlock& block, const FrameHeader& frame);
  void WidenChannels(std::uint32_t depth);

  HgBitReader bits_;
  HgTables tables_;
  // Written into the two spare header fields.
  std::uint32_t spare_[2] = {0, 0};
  std::uint32_t crop_ = 1;
};
