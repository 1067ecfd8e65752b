// Writes HG-3 files: one or more frames, each with "stdinfo" and the
// pixels as lossless row blocks, a WebP payload or a JPEG payload with a
// separate alpha plane, plus optional "cptype", "imgmode" and attribute
// tags. qvImageHg3 reads every file it writes.
#pragma once

#include "image/image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

enum class Hg3Payload { kRowBlocks, kWebP, kJpeg };

struct Hg3Attribute {
  std::int32_t key = 0;
  std::uint8_t record[qvImage::kAttributeSize] = {};
};

struct Hg3FrameOptions {
  std::uint32_t id = 0;
  // 24 or 32; a picture of 3 bytes per pixel is always written as 24.
  std::uint32_t bits_per_pixel = 32;
  // Rows per "img%04d" block; 0 puts the whole picture in one block.
  std::uint32_t rows_per_block = 0;
  Hg3Payload payload = Hg3Payload::kRowBlocks;
  // Quality of the WebP and JPEG payloads.
  std::uint32_t quality = 90;
  std::optional<std::uint32_t> cptype;
  // Stored as is. Row blocks hold the pixels as they are in memory, so
  // imgmode 1 makes the reader swap red and blue. A WebP payload gets
  // imgmode 1 unless one is given here, which the reader needs to turn
  // its red-first pixels blue-first.
  std::optional<std::uint32_t> imgmode;
  std::vector<Hg3Attribute> attributes;
};

struct Hg3FrameSource {
  // 3 or 4 bytes per pixel, blue first. Offset, canvas size and base are
  // taken from the picture.
  const qvImage* image = nullptr;
  Hg3FrameOptions options;
};

// Writes the frames in order into `out`, which then owns exactly the
// file's bytes. 0 for an empty picture, bad options, a payload its coder
// refuses (a WebP or JPEG picture too wide for the format) or lack of memory.
int WriteHg3(const Hg3FrameSource* frames, std::size_t count, qvMemBlock* out);
