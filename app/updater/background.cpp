#include "app/updater/background.h"

#include <cstring>

#include "file/native_file.h"
#include "image/image_holder.h"
#include "image/mem_block.h"
#include "base/debug_log.h"
#include "base/private_heap.h"

namespace {

constexpr std::uint32_t kFallbackWidth = 640;
constexpr std::uint32_t kFallbackHeight = 480;

qvImageHolder* g_holder = nullptr;
qvImage* g_fallback = nullptr;
qvImage* g_padded = nullptr;  // the holder's picture with padded rows

// Device-independent bitmaps need rows padded to 4 bytes; a decoder may
// leave them packed. Null when the rows are padded already.
qvImage* PadRows(const qvImage* image) {
  if (image->GetStride() == PaddedStride(image->GetWidth(), image->GetBytesPerPixel()))
    return nullptr;
  auto* padded = new qvImage();
  if (!padded->CreateBlank(image->GetWidth(), image->GetHeight(), image->GetBytesPerPixel()) ||
      !padded->Blit(0, 0, image, 0, 0, static_cast<std::int32_t>(image->GetWidth()),
                    static_cast<std::int32_t>(image->GetHeight()))) {
    padded->Release();
    return nullptr;
  }
  return padded;
}

qvImageHolder* DecodeBackground(const char16_t* path) {
  qvFile file;
  if (!file.Open(path, QVFILE_READ | QVFILE_OPEN_EXISTING)) return nullptr;
  std::int32_t size = file.GetSize();
  qvImageHolder* holder = nullptr;
  void* bytes = size >= 0 ? PrivateAlloc(0, static_cast<std::size_t>(size)) : nullptr;
  if (bytes && file.Read(bytes, static_cast<std::uint32_t>(size)) == size) {
    qvMemBlock block = qvMemBlock::Borrow(bytes, static_cast<std::uint32_t>(size));
    holder = new qvImageHolder();
    // Painting takes 3 or 4 bytes per pixel; QVF's 1- and 2-byte pixels
    // have no colours to show.
    if (holder->LoadFromMemory(&block, 0, 0) && holder->GetBytesPerPixel() >= 3) {
      holder->GetImage()->FlattenOnColour(0xFFFFFF);
      holder->GetImage()->FlipVertical();
      g_padded = PadRows(holder->GetImage());
    } else {
      delete holder;
      holder = nullptr;
    }
  }
  PrivateFree(bytes);
  file.Close();
  return holder;
}

qvImage* MakeWhitePicture() {
  auto* image = new qvImage();
  if (!image->CreateBlank(kFallbackWidth, kFallbackHeight, 3)) {
    image->Release();
    return nullptr;
  }
  std::memset(image->GetPixels(), 0xFF, image->GetBufferSize());
  return image;
}

ui::Picture PictureOf(const qvImage* image) {
  ui::Picture picture;
  if (!image) return picture;
  picture.width = image->GetWidth();
  picture.height = image->GetHeight();
  picture.bytes_per_pixel = image->GetBytesPerPixel();
  picture.stride = image->GetStride();
  picture.pixels = image->GetPixels();
  return picture;
}

}  // namespace

bool LoadBackground() {
  ReleaseBackground();
  g_holder = DecodeBackground(u"updatebg.hg3");
  if (g_holder) return true;
  DebugLog("updatebg.hg3 could not be shown: white background");
  g_fallback = MakeWhitePicture();
  return false;
}

void ReleaseBackground() {
  delete g_holder;
  g_holder = nullptr;
  if (g_fallback) g_fallback->Release();
  g_fallback = nullptr;
  if (g_padded) g_padded->Release();
  g_padded = nullptr;
}

ui::Picture GetBackgroundPicture() {
  if (g_padded) return PictureOf(g_padded);
  if (g_holder) return PictureOf(g_holder->GetImage());
  if (g_fallback) return PictureOf(g_fallback);
  ui::Picture fallback;
  fallback.width = kFallbackWidth;
  fallback.height = kFallbackHeight;
  return fallback;
}

void PaintBackground(ui::DeviceContext* context) {
  ui::Picture picture = GetBackgroundPicture();
  if (context && picture.pixels) ui::DrawPicture(context, picture);
}
