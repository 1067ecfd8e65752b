#include "image/image.h"

#include "base/debug_log.h"
#include "base/private_heap.h"
#include "util/memory.h"

#include <algorithm>

namespace {

void LogNoPixelBuffer() { DebugLogW(u"ピクセルイメージ用バッファの確保に失敗しました"); }

std::uint8_t* AllocatePixels(std::uint32_t size) {
  auto* block = static_cast<std::uint8_t*>(PrivateAlloc(0, size));
  if (block == nullptr) LogNoPixelBuffer();
  return block;
}

}  // namespace

int qvImage::Refuse(const char16_t* reason) {
  DebugLogW(u"%s", reason);
  return 0;
}

qvImage::~qvImage() {
  FreePixels();
  if (attributes_) {
    for (auto& entry : *attributes_) PrivateFree(entry.second);
  }
}

void qvImage::Release() {
  if (--references_ < 1) delete this;
}

int qvImage::Load(const qvMemBlock*, std::uint32_t) { return 0; }
int qvImage::LoadByIndex(const qvMemBlock*, std::uint32_t, std::uint32_t*) { return 0; }
int qvImage::Save(qvMemBlock*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
  return 0;
}

void qvImage::FreePixels() {
  PrivateFree(pixels_);
  pixels_ = nullptr;
  buffer_size_ = 0;
}

void* qvImage::EnsureBuffer(std::uint32_t size) {
  if (pixels_ != nullptr && buffer_size_ >= size) return pixels_;
  FreePixels();
  pixels_ = AllocatePixels(size);
  if (pixels_ == nullptr) return nullptr;
  buffer_size_ = size;
  return pixels_;
}

void* qvImage::PrepareUnpadded(std::uint32_t width, std::uint32_t height,
                               std::uint32_t bytes_per_pixel) {
  const auto size = PixelBytes(width, bytes_per_pixel, height);
  if (!size) return nullptr;
  SetWholePicture(width, height, bytes_per_pixel, width * bytes_per_pixel);
  return EnsureBuffer(*size);
}

void qvImage::SetWholePicture(std::uint32_t width, std::uint32_t height,
                              std::uint32_t bytes_per_pixel, std::uint32_t stride) {
  width_ = width;
  height_ = height;
  bytes_per_pixel_ = bytes_per_pixel;
  stride_ = stride;
  canvas_width_ = width;
  canvas_height_ = height;
  offset_x_ = 0;
  offset_y_ = 0;
  base_x_ = 0;
  base_y_ = 0;
  alpha_state_ = kAlphaUnknown;
  valid_ = {0, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

int qvImage::CreateBlank(std::uint32_t width, std::uint32_t height,
                         std::uint32_t bytes_per_pixel) {
  if (bytes_per_pixel > 4) {
    AssertMessageW(u"不正な bpp です");
    EndProcessAfterAssert();
  }
  const std::uint64_t stride = PaddedStride(width, bytes_per_pixel);
  const auto size = PixelBytes(stride, height);
  if (!size) return 0;
  if (pixels_ == nullptr || buffer_size_ < *size) {
    FreePixels();
    pixels_ = AllocatePixels(*size);
    if (pixels_ == nullptr) return 0;
    buffer_size_ = *size;
  }
  ZeroBytes(pixels_, *size);
  width_ = width;
  height_ = height;
  stride_ = static_cast<std::uint32_t>(stride);
  bytes_per_pixel_ = bytes_per_pixel;
  valid_ = {0, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
  return 1;
}

int qvImage::Blit(std::int32_t dx, std::int32_t dy, const qvImage* source, std::int32_t sx,
                  std::int32_t sy, std::int32_t width, std::int32_t height) {
  if (source == nullptr || source->bytes_per_pixel_ != bytes_per_pixel_) return 0;
  if (pixels_ == nullptr || source->pixels_ == nullptr) return 0;
  // Source rectangle clipped to the source picture.
  std::int64_t left = std::max<std::int64_t>(sx, 0);
  std::int64_t top = std::max<std::int64_t>(sy, 0);
  const std::int64_t right = std::min<std::int64_t>(std::int64_t{sx} + width, source->width_);
  const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{sy} + height, source->height_);
  // A negative destination skips the source part that falls outside.
  std::int64_t x = dx;
  std::int64_t y = dy;
  if (x < 0) {
    left -= x;
    x = 0;
  }
  if (y < 0) {
    top -= y;
    y = 0;
  }
  const std::int64_t w = std::min<std::int64_t>(right - left, std::int64_t{width_} - x);
  const std::int64_t h = std::min<std::int64_t>(bottom - top, std::int64_t{height_} - y);
  if (w <= 0 || h <= 0) return 0;
  const std::size_t row_bytes = static_cast<std::size_t>(w) * bytes_per_pixel_;
  for (std::int64_t r = 0; r < h; ++r) {
    const std::uint8_t* from = source->pixels_ + (top + r) * source->stride_ +
                               left * source->bytes_per_pixel_;
    std::uint8_t* to = pixels_ + (y + r) * stride_ + x * bytes_per_pixel_;
    CopyBytes(to, from, row_bytes);
  }
  return 1;
}

int qvImage::CopyFrom(const qvImage* source) {
  if (source == nullptr || source->pixels_ == nullptr) return 0;
  if (EnsureBuffer(source->buffer_size_) == nullptr) return 0;
  CopyBytes(pixels_, source->pixels_, source->buffer_size_);
  width_ = source->width_;
  height_ = source->height_;
  stride_ = source->stride_;
  bytes_per_pixel_ = source->bytes_per_pixel_;
  buffer_size_ = source->buffer_size_;
  source->GetCanvasSize(&canvas_width_, &canvas_height_);
  offset_x_ = source->offset_x_;
  offset_y_ = source->offset_y_;
  base_x_ = source->base_x_;
  base_y_ = source->base_y_;
  alpha_state_ = source->alpha_state_;
  cptype_ = source->cptype_;
  valid_ = {0, 0, static_cast<std::int32_t>(width_), static_cast<std::int32_t>(height_)};
  return 1;
}

int qvImage::ExpandTo32() {
  if (bytes_per_pixel_ == 4) return 1;
  if (bytes_per_pixel_ != 3 || pixels_ == nullptr) return 0;
  const auto size = PixelBytes(width_, height_, 4);
  if (!size) return 0;
  std::uint8_t* expanded = AllocatePixels(*size);
  if (expanded == nullptr) return 0;
  std::uint8_t* out = expanded;
  for (std::uint32_t y = 0; y < height_; ++y) {
    const std::uint8_t* in = pixels_ + std::size_t{y} * stride_;
    for (std::uint32_t x = 0; x < width_; ++x, in += 3, out += 4) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
      out[3] = 255;
    }
  }
  PrivateFree(pixels_);
  pixels_ = expanded;
  buffer_size_ = *size;
  stride_ = width_ * 4;
  bytes_per_pixel_ = 4;
  return 1;
}

void qvImage::SwapRedBlue() {
  if (channel_order_ != 1) return;
  if (pixels_ != nullptr && bytes_per_pixel_ >= 3) {
    for (std::uint32_t y = 0; y < height_; ++y) {
      std::uint8_t* p = pixels_ + std::size_t{y} * stride_;
      for (std::uint32_t x = 0; x < width_; ++x, p += bytes_per_pixel_) std::swap(p[0], p[2]);
    }
  }
  channel_order_ = 0;
}

int qvImage::FlattenOnColour(std::uint32_t colour) {
  if (bytes_per_pixel_ != 4) return 1;
  if (pixels_ == nullptr) return 0;
  const std::uint64_t stride = PaddedStride(width_, 3);
  const auto size = PixelBytes(stride, height_);
  if (!size) return 0;
  std::uint8_t* flat = AllocatePixels(*size);
  if (flat == nullptr) return 0;
  const int c[3] = {static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                    static_cast<int>((colour >> 16) & 0xFF)};
  for (std::uint32_t y = 0; y < height_; ++y) {
    const std::uint8_t* in = pixels_ + std::size_t{y} * stride_;
    std::uint8_t* out = flat + y * stride;
    for (std::uint32_t x = 0; x < width_; ++x, in += 4, out += 3) {
      const int a = in[3];
      for (int k = 0; k < 3; ++k) {
        out[k] = static_cast<std::uint8_t>((((in[k] - c[k]) * a) >> 8) + c[k]);
      }
    }
    // Row padding is cleared so that the buffer holds no stale bytes.
    ZeroBytes(out, static_cast<std::size_t>(stride - std::uint64_t{width_} * 3));
  }
  PrivateFree(pixels_);
  pixels_ = flat;
  buffer_size_ = *size;
  stride_ = static_cast<std::uint32_t>(stride);
  bytes_per_pixel_ = 3;
  return 1;
}

int qvImage::FlipVertical() {
  if (pixels_ == nullptr || height_ < 2) return 1;
  auto* row = static_cast<std::uint8_t*>(PrivateAlloc(0, stride_));
  if (row == nullptr) return 0;
  for (std::uint32_t i = 0; i < height_ / 2; ++i) {
    std::uint8_t* a = pixels_ + std::size_t{i} * stride_;
    std::uint8_t* b = pixels_ + std::size_t{height_ - 1 - i} * stride_;
    CopyBytes(row, a, stride_);
    CopyBytes(a, b, stride_);
    CopyBytes(b, row, stride_);
  }
  PrivateFree(row);
  return 1;
}

int qvImage::Crop(qvRect* rect) {
  if (rect == nullptr) return 0;
  rect->left = std::max(rect->left, 0);
  rect->top = std::max(rect->top, 0);
  rect->right = static_cast<std::int32_t>(std::min<std::int64_t>(rect->right, width_));
  rect->bottom = static_cast<std::int32_t>(std::min<std::int64_t>(rect->bottom, height_));
  if (rect->left == 0 && rect->top == 0 && rect->right == static_cast<std::int64_t>(width_) &&
      rect->bottom == static_cast<std::int64_t>(height_)) {
    return 1;
  }
  if (rect->right <= rect->left || rect->bottom <= rect->top || pixels_ == nullptr) return 0;
  const auto new_width = static_cast<std::uint32_t>(rect->right - rect->left);
  const auto new_height = static_cast<std::uint32_t>(rect->bottom - rect->top);
  const std::uint64_t stride = PaddedStride(new_width, bytes_per_pixel_);
  const auto size = PixelBytes(stride, new_height);
  if (!size) return 0;
  std::uint8_t* cropped = AllocatePixels(*size);
  if (cropped == nullptr) return 0;
  ZeroBytes(cropped, *size);
  for (std::uint32_t y = 0; y < new_height; ++y) {
    CopyBytes(cropped + y * stride,
              pixels_ + std::size_t{rect->top + y} * stride_ +
                  std::size_t{static_cast<std::uint32_t>(rect->left)} * bytes_per_pixel_,
              std::size_t{new_width} * bytes_per_pixel_);
  }
  PrivateFree(pixels_);
  pixels_ = cropped;
  width_ = new_width;
  height_ = new_height;
  stride_ = static_cast<std::uint32_t>(stride);
  buffer_size_ = *size;
  valid_ = {0, 0, static_cast<std::int32_t>(new_width), static_cast<std::int32_t>(new_height)};
  return 1;
}

int qvImage::GetOpaqueBounds(qvRect* bounds) const {
  if (bounds == nullptr || pixels_ == nullptr || width_ == 0 || height_ == 0) return 0;
  *bounds = {0, 0, static_cast<std::int32_t>(width_), static_cast<std::int32_t>(height_)};
  if (bytes_per_pixel_ != 4) return 1;
  auto alpha = [this](std::uint32_t x, std::uint32_t y) {
    return pixels_[std::size_t{y} * stride_ + std::size_t{x} * 4 + 3];
  };
  auto column_used = [&](std::uint32_t x) {
    for (std::uint32_t y = 0; y < height_; ++y)
      if (alpha(x, y) != 0) return true;
    return false;
  };
  auto row_used = [&](std::uint32_t y, std::uint32_t left, std::uint32_t right) {
    for (std::uint32_t x = left; x < right; ++x)
      if (alpha(x, y) != 0) return true;
    return false;
  };
  std::uint32_t left = 0;
  while (left < width_ && !column_used(left)) ++left;
  if (left == width_) {
    *bounds = {};
    return 1;
  }
  std::uint32_t right = width_;
  while (!column_used(right - 1)) --right;
  std::uint32_t top = 0;
  while (!row_used(top, left, right)) ++top;
  std::uint32_t bottom = height_;
  while (!row_used(bottom - 1, left, right)) --bottom;
  *bounds = {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
             static_cast<std::int32_t>(right), static_cast<std::int32_t>(bottom)};
  return 1;
}

void qvImage::ClearTransparentColour() {
  if (bytes_per_pixel_ != 4 || pixels_ == nullptr) return;
  for (std::uint32_t y = 0; y < height_; ++y) {
    std::uint8_t* p = pixels_ + std::size_t{y} * stride_;
    for (std::uint32_t x = 0; x < width_; ++x, p += 4) {
      if (p[3] == 0) p[0] = p[1] = p[2] = 0;
    }
  }
}

int qvImage::HasTransparency() {
  if (bytes_per_pixel_ < 4 || pixels_ == nullptr) return 0;
  if (alpha_state_ != kAlphaUnknown) return alpha_state_ == kAlphaTransparent;
  for (std::uint32_t y = 0; y < height_; ++y) {
    const std::uint8_t* p = pixels_ + std::size_t{y} * stride_;
    for (std::uint32_t x = 0; x < width_; ++x, p += 4) {
      if (p[3] < 255) {
        alpha_state_ = kAlphaTransparent;
        return 1;
      }
    }
  }
  alpha_state_ = kAlphaOpaque;
  return 0;
}

int qvImage::SetAttribute(std::int32_t key, int kind, const void* record) {
  if (kind != 0 || record == nullptr) return 0;
  if (!attributes_) attributes_ = std::make_unique<std::map<std::uint16_t, std::uint8_t*>>();
  const auto k = static_cast<std::uint16_t>(static_cast<std::uint32_t>(key) & 0xFFFF);
  auto* copy = static_cast<std::uint8_t*>(PrivateAlloc(0, kAttributeSize));
  if (copy == nullptr) return 0;
  CopyBytes(copy, record, kAttributeSize);
  auto [it, inserted] = attributes_->try_emplace(k, copy);
  if (!inserted) {
    PrivateFree(it->second);
    it->second = copy;
  }
  return 1;
}

const std::uint8_t* qvImage::GetAttribute(std::uint16_t key) const {
  if (!attributes_) return nullptr;
  auto it = attributes_->find(key);
  return it == attributes_->end() ? nullptr : it->second;
}

std::uint32_t qvImage::GetSize(std::uint32_t* width, std::uint32_t* height) const {
  if (width != nullptr) *width = width_;
  if (height != nullptr) *height = height_;
  return buffer_size_;
}

void qvImage::GetOffset(std::uint32_t* x, std::uint32_t* y) const {
  if (x != nullptr) *x = offset_x_;
  if (y != nullptr) *y = offset_y_;
}

void qvImage::GetCanvasSize(std::uint32_t* width, std::uint32_t* height) const {
  if (width != nullptr) *width = canvas_width_ != 0 ? canvas_width_ : width_;
  if (height != nullptr) *height = canvas_height_ != 0 ? canvas_height_ : height_;
}

void qvImage::GetBase(std::uint32_t* x, std::uint32_t* y) const {
  if (x != nullptr) *x = base_x_;
  if (y != nullptr) *y = base_y_;
}

std::uint8_t* qvImage::GetPixelAddress(std::uint32_t x, std::uint32_t y) const {
  if (pixels_ == nullptr || x >= width_ || y >= height_) return nullptr;
  return pixels_ + std::size_t{y} * stride_ + std::size_t{x} * bytes_per_pixel_;
}

std::uint8_t* qvImage::GetPixelAddressFromBottom(std::uint32_t x, std::uint32_t y) const {
  if (y >= height_) return nullptr;
  return GetPixelAddress(x, height_ - 1 - y);
}

void qvImage::SetOffset(std::uint32_t x, std::uint32_t y) {
  offset_x_ = x;
  offset_y_ = y;
}

void qvImage::SetCanvasSize(std::uint32_t width, std::uint32_t height) {
  canvas_width_ = width;
  canvas_height_ = height;
}

void qvImage::SetBase(std::uint32_t x, std::uint32_t y) {
  base_x_ = x;
  base_y_ = y;
}
