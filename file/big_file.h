// qvBigFile: a read-only file over one member of a qvArchive. Members of an
// enciphered archive are deciphered block by block as they are read.
#pragma once

#include "file/archive.h"
#include "file/file_base.h"

class qvBigFile : public qvFileBase {
 public:
  explicit qvBigFile(qvArchive* archive) : archive_(archive) {}
  qvBigFile(const qvBigFile&) = delete;
  qvBigFile& operator=(const qvBigFile&) = delete;
  ~qvBigFile() override;

  int Open(const char16_t* name, std::uint32_t flags) override;
  int Close() override;
  // -1 also when the archive file cannot deliver the bytes; the position
  // is then unchanged.
  std::int32_t Read(void* buffer, std::uint32_t count) override;
  std::int32_t GetPosition() override;
  // A position at or past the end lands on the last byte and reports the
  // member size.
  std::int32_t Seek(std::uint32_t position) override;
  const char16_t* GetName(char16_t* destination, std::size_t capacity) override;
  std::int32_t GetSize() override;
  int Exists(const char16_t* name) override;
  std::uint32_t GetAttributes(const char16_t* path) override;

  // Seek with an origin: 0 from the member's start, 1 from the current
  // position. Any other origin is a calling error that ends the process.
  std::int32_t Move(std::int32_t distance, int origin);

 private:
  bool IsOpen() const;
  // Reads `count` bytes at absolute offset `offset`; false on a failed or
  // short read.
  bool ReadAt(std::uint64_t offset, void* destination, std::uint32_t count) const;
  std::int32_t ReadPlain(std::uint8_t* buffer, std::uint32_t amount);
  std::int32_t ReadEnciphered(std::uint8_t* buffer, std::uint32_t amount);
  std::int32_t FailRead(const char16_t* format);

  qvArchive* archive_;
  qvArchiveSlot* slot_ = nullptr;
  bool open_failed_ = false;
};
