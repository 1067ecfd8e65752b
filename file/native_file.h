// qvFile: a thin, unbuffered wrapper around one native file handle.
#pragma once

#include "file/file_base.h"

inline constexpr std::size_t kFileNameCapacity = 256;

class qvFile : public qvFileBase {
 public:
  qvFile() = default;
  qvFile(const qvFile&) = delete;
  qvFile& operator=(const qvFile&) = delete;
  ~qvFile() override;

  // Refuses (0) a path that does not fit the 256-unit name field.
  int Open(const char16_t* path, std::uint32_t flags) override;
  // 0 when the system reports a failed close; the handle is let go of
  // either way.
  int Close() override;
  std::int32_t Read(void* buffer, std::uint32_t count) override;
  std::int32_t Write(const void* buffer, std::uint32_t count) override;
  std::int32_t GetPosition() override;
  std::int32_t Seek(std::uint32_t position) override;
  const char16_t* GetName(char16_t* destination, std::size_t capacity) override;
  std::uint32_t GetSizeOf(const char16_t* path) override;
  std::int32_t GetSize() override;
  std::intptr_t GetHandle() override;
  int Exists(const char16_t* path) override;
  std::uint32_t GetAttributes(const char16_t* path) override;
  int SetAttributes(const char16_t* path, std::uint32_t attributes) override;
  int Delete(const char16_t* path, int force) override;

  static std::uint64_t GetSize64Of(const char16_t* path);

 private:
  // Read and Write on an open handle: the mode check (`wrong_mode` asserts
  // with the name), then one system call, whose failure logs `failed` with
  // the error; the position moves by what was transferred.
  template <typename SystemCall>
  std::int32_t Transfer(std::uint32_t mode, const char16_t* wrong_mode, const void* buffer,
                        std::uint32_t count, SystemCall call, const char16_t* failed);

  std::uint32_t flags_ = 0xFFFFFFFFu;
  std::intptr_t handle_ = -1;
  char16_t name_[kFileNameCapacity] = {};
  std::uint32_t position_ = 0;
};
