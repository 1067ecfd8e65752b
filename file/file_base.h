// The abstract file every reader and writer of the engine goes through.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t QVFILE_READ = 0x1;
inline constexpr std::uint32_t QVFILE_WRITE = 0x2;
inline constexpr std::uint32_t QVFILE_OPEN_EXISTING = 0x100;
inline constexpr std::uint32_t QVFILE_CREATE_NEW = 0x200;
inline constexpr std::uint32_t QVFILE_CREATE_ALWAYS = 0x400;
inline constexpr std::uint32_t QVFILE_OPEN_ALWAYS = 0x800;

class qvClassBase {};

// Operations in fixed slot order. Sizes and positions are 32-bit; -1 marks
// a failure. The path-taking operations (GetSizeOf, Exists, GetAttributes,
// SetAttributes, Delete) do not depend on the object's open file.
class qvFileBase : public qvClassBase {
 public:
  virtual ~qvFileBase() = default;
  virtual int Open(const char16_t* path, std::uint32_t flags);
  virtual int Close();
  virtual std::int32_t Read(void* buffer, std::uint32_t count);
  virtual std::int32_t Write(const void* buffer, std::uint32_t count);
  virtual std::int32_t GetPosition();
  virtual std::int32_t Seek(std::uint32_t position);
  // Copies the name into `destination` (cut to `capacity` units) when it
  // is not null; returns the object's own copy, or null.
  virtual const char16_t* GetName(char16_t* destination, std::size_t capacity);
  virtual std::uint32_t GetSizeOf(const char16_t* path);
  virtual std::int32_t GetSize();
  virtual std::intptr_t GetHandle();
  virtual int Exists(const char16_t* path);
  virtual std::uint32_t GetAttributes(const char16_t* path);
  virtual int SetAttributes(const char16_t* path, std::uint32_t attributes);
  virtual int Delete(const char16_t* path, int force);
};
