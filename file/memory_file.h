// qvMemFile: a file whose bytes live in one private-heap block. It reads a
// loaded or shared block, or collects written bytes in a block that grows.
#pragma once

#include "file/file_base.h"

class qvMemFile : public qvFileBase {
 public:
  static constexpr std::size_t kNameCapacity = 256;

  qvMemFile() = default;
  qvMemFile(const qvMemFile&) = delete;
  qvMemFile& operator=(const qvMemFile&) = delete;
  ~qvMemFile() override;

  // A memory file gets its bytes from the loading operations; Open only
  // reports success.
  int Open(const char16_t* path, std::uint32_t flags) override;
  int Close() override;
  // The end of the block reads as -1, not 0.
  std::int32_t Read(void* buffer, std::uint32_t count) override;
  std::int32_t Write(const void* buffer, std::uint32_t count) override;
  std::int32_t GetPosition() override;
  // A position past the end lands on the last byte.
  std::int32_t Seek(std::uint32_t position) override;
  const char16_t* GetName(char16_t* destination, std::size_t capacity) override;
  // For a file being written this is the block size; see GetData.
  std::int32_t GetSize() override;
  std::uint32_t GetAttributes(const char16_t* path) override;

  // Each loader refuses (0, nothing changed) when a block is present.
  int LoadFromFile(qvFileBase* source);
  int LoadFromMemory(const char16_t* name, const void* data, std::uint32_t count);
  // An empty block of `capacity` bytes for writing; it grows by the same
  // amount whenever a write would reach its end.
  int Allocate(std::uint32_t capacity);
  // Reads the block of `other`, which must outlive this object.
  int ShareFrom(const qvMemFile* other);
  // The block and the current position (the written length).
  int GetData(void** data, std::uint32_t* length) const;

 private:
  // Grows the block so that it holds more than position + count bytes.
  void Reserve(std::uint32_t count);
  void CopyName(const char16_t* name);

  char16_t name_[kNameCapacity] = {};
  std::uint32_t position_ = 0;
  std::uint8_t* buffer_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t growth_step_ = 0;
  bool shared_ = false;
};
