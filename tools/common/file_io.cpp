#include "tools/common/file_io.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "os/folders.h"
#include "os/tree.h"
#include "tools/common/utf.h"

namespace {

constexpr std::size_t kChunkBytes = 1 << 20;
constexpr std::uint32_t kErrorTextCapacity = 512;
constexpr std::uint32_t kFullPathCapacity = 1024;

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

}  // namespace

TreeFiles::~TreeFiles() {
  if (folder_handle_ != os::kInvalidHandle) os::CloseTreeFolder(folder_handle_);
}

os::Handle TreeFiles::Open(std::u16string_view relative) {
  const std::size_t cut = relative.find_last_of(u"\\/");
  const std::u16string_view folder = cut == std::u16string_view::npos ? u"" : relative.substr(0, cut);
  const std::u16string name(cut == std::u16string_view::npos ? relative : relative.substr(cut + 1));
  if (folder_handle_ == os::kInvalidHandle || folder != folder_) {
    if (folder_handle_ != os::kInvalidHandle) os::CloseTreeFolder(folder_handle_);
    folder_ = folder;
    folder_handle_ = os::OpenTreeFolder(root_, folder_.c_str(), false);
    if (folder_handle_ == os::kInvalidHandle) return os::kInvalidHandle;
  }
  return os::OpenFileIn(folder_handle_, name.c_str(), os::kFlagSequentialScan);
}

bool ReadChunks(os::Handle file,
                const std::function<bool(const std::uint8_t*, std::size_t)>& consume) {
  // Not cleared: a small file touches only the pages it fills.
  const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkBytes);
  for (;;) {
    std::uint32_t done = 0;
    if (!os::ReadFile(file, buffer.get(), static_cast<std::uint32_t>(kChunkBytes), &done))
      return false;
    if (done == 0) return true;
    if (!consume(buffer.get(), done)) return false;
  }
}

bool ReadWholeFile(const std::u16string& path, std::string* bytes, std::uint64_t limit) {
  bytes->clear();
  const os::Handle file =
      os::OpenFile(path.c_str(), os::kAccessRead, os::kShareRead, os::kOpenExisting, 0, 0);
  if (file == os::kInvalidHandle) return false;
  bool ok = ReadChunks(file, [&](const std::uint8_t* data, std::size_t length) {
    if (bytes->size() + length > limit) {
      os::SetLastError(os::kErrorNotEnoughMemory);
      return false;
    }
    bytes->append(reinterpret_cast<const char*>(data), length);
    return true;
  });
  const std::uint32_t code = os::GetLastError();
  os::CloseFile(file);
  os::SetLastError(code);
  return ok;
}

bool WriteAll(os::Handle file, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const auto count = static_cast<std::uint32_t>(std::min(size, kChunkBytes));
    std::uint32_t done = 0;
    if (!os::WriteFile(file, bytes, count, &done)) return false;
    if (done == 0) {
      os::SetLastError(os::kErrorDiskFull);
      return false;
    }
    bytes += done;
    size -= done;
  }
  return true;
}

PathParts SplitPath(std::u16string_view path) {
  const std::size_t cut = path.find_last_of(u"\\/");
  if (cut == std::u16string_view::npos) return {u".", std::u16string(path)};
  const bool root = cut == 0 || path[cut - 1] == u':';
  return {std::u16string(path.substr(0, root ? cut + 1 : cut)), std::u16string(path.substr(cut + 1))};
}

std::u16string ChildPath(const std::u16string& folder, std::u16string_view name) {
  // The folder's own kind of separator, so that a Linux path stays one.
  const std::size_t last = folder.find_last_of(u"\\/");
  const char16_t separator = last != std::u16string::npos ? folder[last] : u'\\';
  std::u16string path = folder;
  if (path.empty() || !IsSeparator(path.back())) path += separator;
  return path.append(name);
}

std::u16string AbsolutePath(const std::u16string& path) {
  std::u16string full(kFullPathCapacity, u'\0');
  const std::uint32_t length = os::GetFullPathName(path.c_str(), full.data(), kFullPathCapacity);
  full.resize(length);
  while (full.size() > 1 && IsSeparator(full.back()) && full[full.size() - 2] != u':') full.pop_back();
  return full;
}

std::string ErrorText(std::uint32_t code) {
  char16_t text[kErrorTextCapacity] = {};
  std::u16string line(text, os::GetErrorText(code, text, kErrorTextCapacity));
  while (!line.empty() && (line.back() == u'\n' || line.back() == u'\r' || line.back() == u' '))
    line.pop_back();
  return line.empty() ? "error " + std::to_string(code) : ToUtf8(line);
}

std::string LastErrorText() { return ErrorText(os::GetLastError()); }
