// Reading any supported picture through the image holder into the order a
// viewer sees (top row first, blue first), and writing it in a format
// chosen by file extension.
#pragma once

#include "image/image_holder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using ByteVector = std::vector<std::uint8_t>;

// Which frame of an HG-2 or HG-3 file: by position in the chain or by id.
struct FrameChoice {
  bool by_id = false;
  std::uint32_t value = 0;
};

struct Picture {
  qvImageHolder holder;
  std::uint32_t type = kImageTypeNone;
  std::uint32_t frame_id = 0;
  qvImage* image() const { return holder.GetImage(); }
};

enum class OutputFormat { kPng, kBmp, kJpeg, kWebP, kQvf, kHg2, kHg3, kBgra };

struct EncodeOptions {
  std::optional<std::uint32_t> flatten;  // 0xRRGGBB
  std::uint32_t quality = 90;
};

// Each function below returns false on failure with the reason for the
// user in `error`.

bool ReadFileBytes(const std::string& path, ByteVector* bytes, std::string* error);
bool WriteFileBytes(const std::string& path, const std::uint8_t* data, std::size_t size,
                    std::string* error);

// The ids of the frames of an HG-2 or HG-3 file in chain order (at most
// `limit`); empty for other formats.
std::vector<std::uint32_t> ListFrameIds(const ByteVector& bytes, std::uint32_t type,
                                        std::size_t limit);

// Decodes `bytes`.
bool LoadPicture(const ByteVector& bytes, const FrameChoice& frame, bool expand, Picture* picture,
                 std::string* error);

// The format named by the path's extension (case does not matter).
std::optional<OutputFormat> OutputFormatFor(const std::string& path);

// Encodes the picture. The picture may be changed on the way (flattened,
// expanded to its canvas). Pictures of 1 or 2 bytes per pixel can only be
// written as QVF.
bool EncodePicture(Picture* picture, OutputFormat format, const EncodeOptions& options,
                   ByteVector* out, std::string* error);
