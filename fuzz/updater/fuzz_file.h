// Writes fuzz input into one scratch file per process, for readers that
// take a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "system/private_heap.h"

inline std::u16string WriteFuzzFile(const std::uint8_t* data, std::size_t size) {
  static const bool heap = CreatePrivateHeap(1 << 20) != 0;
  (void)heap;
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / "qv-updater-fuzz.bin";
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path.u16string();
}
