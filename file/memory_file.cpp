#include "file/memory_file.h"

#include "base/debug_log.h"
#include "base/private_heap.h"
#include "util/memory.h"

#include <algorithm>

namespace {

void LogNotOpen() { DebugLogW(u"qvMemFile : ファイルがオープンされていません"); }

}  // namespace

qvMemFile::~qvMemFile() {
  if (buffer_ != nullptr) Close();
}

int qvMemFile::Open(const char16_t* /*path*/, std::uint32_t /*flags*/) { return 1; }

int qvMemFile::Close() {
  if (buffer_ == nullptr) return 0;
  if (!shared_) PrivateFree(buffer_);
  buffer_ = nullptr;
  size_ = 0;
  return 1;
}

std::int32_t qvMemFile::Read(void* buffer, std::uint32_t count) {
  if (buffer_ == nullptr) {
    LogNotOpen();
    return -1;
  }
  if (position_ >= size_) return -1;
  const std::uint32_t n = std::min(count, size_ - position_);
  CopyBytes(buffer, buffer_ + position_, n);
  position_ += n;
  return static_cast<std::int32_t>(n);
}

std::int32_t qvMemFile::Write(const void* buffer, std::uint32_t count) {
  if (buffer_ == nullptr) {
    LogNotOpen();
    return -1;
  }
  Reserve(count);
  if (position_ >= size_) return 0;
  const std::uint32_t n = std::min(count, size_ - position_);
  CopyBytes(buffer_ + position_, buffer, n);
  position_ += n;
  return static_cast<std::int32_t>(n);
}

std::int32_t qvMemFile::GetPosition() {
  if (buffer_ == nullptr) return -1;
  return static_cast<std::int32_t>(position_);
}

std::int32_t qvMemFile::Seek(std::uint32_t position) {
  if (buffer_ == nullptr) return -1;
  // An empty block has no last byte; the position stays at 0.
  position_ = position < size_ ? position : (size_ > 0 ? size_ - 1 : 0);
  return static_cast<std::int32_t>(position_);
}

const char16_t* qvMemFile::GetName(char16_t* destination, std::size_t capacity) {
  if (buffer_ == nullptr) return nullptr;
  if (destination != nullptr && capacity > 0) {
    std::size_t i = 0;
    for (; i + 1 < capacity && name_[i] != 0; ++i) destination[i] = name_[i];
    destination[i] = 0;
  }
  return name_;
}

std::int32_t qvMemFile::GetSize() {
  if (buffer_ == nullptr) return -1;
  return static_cast<std::int32_t>(size_);
}

std::uint32_t qvMemFile::GetAttributes(const char16_t* /*path*/) { return 0; }

void qvMemFile::CopyName(const char16_t* name) {
  std::size_t i = 0;
  if (name != nullptr) {
    for (; i + 1 < kNameCapacity && name[i] != 0; ++i) name_[i] = name[i];
  }
  name_[i] = 0;
}

int qvMemFile::LoadFromFile(qvFileBase* source) {
  if (buffer_ != nullptr || source == nullptr) return 0;
  CopyName(source->GetName(nullptr, 0));
  const std::int32_t size = source->GetSize();
  if (size < 0) return 0;
  auto* block = static_cast<std::uint8_t*>(PrivateAlloc(0, static_cast<std::uint32_t>(size)));
  if (block == nullptr) return 0;
  source->Read(block, static_cast<std::uint32_t>(size));
  buffer_ = block;
  size_ = static_cast<std::uint32_t>(size);
  shared_ = false;
  return 1;
}

int qvMemFile::LoadFromMemory(const char16_t* name, const void* data, std::uint32_t count) {
  if (buffer_ != nullptr || data == nullptr) return 0;
  auto* block = static_cast<std::uint8_t*>(PrivateAlloc(0, count));
  if (block == nullptr) return 0;
  CopyName(name);
  CopyBytes(block, data, count);
  buffer_ = block;
  size_ = count;
  shared_ = false;
  return 1;
}

int qvMemFile::Allocate(std::uint32_t capacity) {
  if (buffer_ != nullptr) return 0;
  auto* block = static_cast<std::uint8_t*>(PrivateAlloc(0, capacity));
  if (block == nullptr) return 0;
  buffer_ = block;
  size_ = capacity;
  growth_step_ = capacity;
  position_ = 0;
  shared_ = false;
  return 1;
}

int qvMemFile::ShareFrom(const qvMemFile* other) {
  if (buffer_ != nullptr || other == nullptr) return 0;
  CopyName(other->name_);
  position_ = other->position_;
  buffer_ = other->buffer_;
  size_ = other->size_;
  shared_ = true;
  return 1;
}

int qvMemFile::GetData(void** data, std::uint32_t* length) const {
  if (buffer_ == nullptr) return 0;
  if (data != nullptr) *data = buffer_;
  if (length != nullptr) *length = position_;
  return 1;
}

void qvMemFile::Reserve(std::uint32_t count) {
  const std::uint64_t needed = std::uint64_t{position_} + count;
  if (size_ > needed || growth_step_ == 0 || shared_) return;
  std::uint64_t new_size = size_;
  while (new_size <= needed) new_size += growth_step_;
  if (new_size > 0xFFFFFFFFu) return;
  auto* block = static_cast<std::uint8_t*>(PrivateAlloc(0, static_cast<std::size_t>(new_size)));
  if (block == nullptr) return;
  ZeroBytes(block, static_cast<std::size_t>(new_size));
  CopyBytes(block, buffer_, size_);
  PrivateFree(buffer_);
  buffer_ = block;
  size_ = static_cast<std::uint32_t>(new_size);
}
