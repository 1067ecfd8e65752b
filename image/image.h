// qvImage: an in-memory picture of 3 (blue, green, red) or 4 (plus alpha)
// bytes per pixel with the geometry the engine's formats carry. Each file
// format is a subclass overriding Load, LoadByIndex and Save; pictures are
// reference counted and freed only through Release.
#pragma once

#include "file/file_base.h"
#include "image/mem_block.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

struct qvRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

inline constexpr std::uint32_t kAlphaUnknown = 0;
inline constexpr std::uint32_t kAlphaOpaque = 1;
inline constexpr std::uint32_t kAlphaTransparent = 2;

class qvImage : public qvClassBase {
 public:
  static constexpr std::size_t kAttributeSize = 20;

  qvImage() = default;
  qvImage(const qvImage&) = delete;
  qvImage& operator=(const qvImage&) = delete;

  // Destroys the picture when the last reference goes.
  void Release();
  void AddReference() { ++references_; }

  // Decode from a block; `frame` selects the frame of multi-frame formats.
  virtual int Load(const qvMemBlock* block, std::uint32_t frame);
  // Decode the index-th frame of a multi-frame file and report its id.
  virtual int LoadByIndex(const qvMemBlock* block, std::uint32_t index, std::uint32_t* frame_id);
  // Encode into `block`, which afterwards owns a new buffer; a..d are
  // format options.
  virtual int Save(qvMemBlock* block, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                   std::uint32_t d);

  // Keeps a large enough buffer, else replaces it with `size` uncleared
  // bytes. Null when the heap refuses.
  void* EnsureBuffer(std::uint32_t size);
  // A zeroed picture with rows padded to 4 bytes. For fresh images.
  int CreateBlank(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel);
  // Copies a clipped rectangle of `source` to (dx, dy). Both pictures must
  // have the same bytes per pixel.
  int Blit(std::int32_t dx, std::int32_t dy, const qvImage* source, std::int32_t sx,
           std::int32_t sy, std::int32_t width, std::int32_t height);
  int CopyFrom(const qvImage* source);
  // 3 bytes per pixel become 4 with alpha 255. 0 when the heap refuses
  // (the picture is unchanged).
  int ExpandTo32();
  // Turns a red-first buffer (channel order 1) blue-first.
  void SwapRedBlue();
  // Composes 4 bytes per pixel over the opaque colour 0x00RRGGBB, leaving
  // 3 bytes per pixel. 0 when the heap refuses (the picture is unchanged).
  int FlattenOnColour(std::uint32_t colour);
  int FlipVertical();
  // Clamps `rect` to the picture (written back) and keeps only that part.
  // 0 for an empty rectangle or when the heap refuses.
  int Crop(qvRect* rect);
  // The smallest rectangle holding every pixel whose alpha is not 0; empty
  // (0, 0, 0, 0) when every pixel is transparent.
  int GetOpaqueBounds(qvRect* bounds) const;
  // Pixels with alpha 0 get colour 0.
  void ClearTransparentColour();
  // Whether some alpha is below 255; the answer is remembered.
  int HasTransparency();
  // Stores a 20-byte record under key mod 65536, replacing an older one.
  int SetAttribute(std::int32_t key, int kind, const void* record);
  // The record stored under `key`, or null.
  const std::uint8_t* GetAttribute(std::uint16_t key) const;

  // Returns the buffer size.
  std::uint32_t GetSize(std::uint32_t* width, std::uint32_t* height) const;
  std::uint32_t GetWidth() const { return width_; }
  std::uint32_t GetHeight() const { return height_; }
  void GetOffset(std::uint32_t* x, std::uint32_t* y) const;
  // Zero canvas dimensions read as the picture's own.
  void GetCanvasSize(std::uint32_t* width, std::uint32_t* height) const;
  void GetBase(std::uint32_t* x, std::uint32_t* y) const;
  std::uint32_t GetStride() const { return stride_; }
  std::uint32_t GetBytesPerPixel() const { return bytes_per_pixel_; }
  std::uint32_t GetBufferSize() const { return buffer_size_; }
  std::uint8_t* GetPixels() { return pixels_; }
  const std::uint8_t* GetPixels() const { return pixels_; }
  std::uint32_t GetAlphaState() const { return alpha_state_; }
  std::uint32_t GetCptype() const { return cptype_; }
  std::uint32_t GetChannelOrder() const { return channel_order_; }
  qvRect GetValidRect() const { return valid_; }
  // Address of pixel (x, y) counted from memory row 0; null outside.
  std::uint8_t* GetPixelAddress(std::uint32_t x, std::uint32_t y) const;
  // The same with y counted from the last memory row.
  std::uint8_t* GetPixelAddressFromBottom(std::uint32_t x, std::uint32_t y) const;

  void SetOffset(std::uint32_t x, std::uint32_t y);
  void SetCanvasSize(std::uint32_t width, std::uint32_t height);
  void SetBase(std::uint32_t x, std::uint32_t y);
  void SetChannelOrder(std::uint32_t order) { channel_order_ = order; }

 protected:
  virtual ~qvImage();

  // A load or save that stops here: logs `reason` and gives the failed
  // result, 0.
  static int Refuse(const char16_t* reason);

  // Describes a whole picture with an unpadded stride, then ensures
  // height x stride bytes. Null on overflow or when the heap refuses.
  void* PrepareUnpadded(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel);
  // Describes the decoded pixels as a whole picture: its size and row
  // layout, a canvas of the same size at offset 0, no base point, an alpha
  // state not yet known and a valid rectangle over all of it. Nothing of a
  // picture loaded before into the same image survives.
  void SetWholePicture(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel,
                       std::uint32_t stride);
  void FreePixels();

  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  std::uint8_t* pixels_ = nullptr;
  std::uint32_t buffer_size_ = 0;
  std::uint32_t stride_ = 0;
  std::uint32_t bytes_per_pixel_ = 0;
  std::uint32_t canvas_width_ = 0;
  std::uint32_t canvas_height_ = 0;
  std::uint32_t offset_x_ = 0;
  std::uint32_t offset_y_ = 0;
  std::uint32_t alpha_state_ = kAlphaUnknown;
  std::uint32_t base_x_ = 0;
  std::uint32_t base_y_ = 0;
  qvRect valid_;
  std::unique_ptr<std::map<std::uint16_t, std::uint8_t*>> attributes_;
  std::int32_t references_ = 1;
  std::uint32_t cptype_ = 0;
  std::uint32_t channel_order_ = 0;
};

// Largest pixel buffer a decoder accepts, in bytes.
inline constexpr std::uint64_t kMaxPixelBytes = std::uint64_t{1} << 29;

// The product a x b x c when it is at most kMaxPixelBytes, else nullopt.
// Sizes read from files go through here, so that no product can wrap
// around and pass for a small buffer.
constexpr std::optional<std::uint32_t> PixelBytes(std::uint64_t a, std::uint64_t b,
                                                  std::uint64_t c = 1) {
  std::uint64_t ab = 0, abc = 0;
  if (__builtin_mul_overflow(a, b, &ab) || __builtin_mul_overflow(ab, c, &abc) ||
      abc > kMaxPixelBytes) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(abc);
}

// Rounds a row length up to a multiple of 4 bytes.
constexpr std::uint64_t PaddedStride(std::uint64_t width, std::uint32_t bytes_per_pixel) {
  return (width * bytes_per_pixel + 3) & ~std::uint64_t{3};
}
