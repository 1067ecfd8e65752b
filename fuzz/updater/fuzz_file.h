// Writes fuzz input into one scratch file per process, for readers that
// take a path. The file lives in a folder of its own, which a confined tree
// can take as its folder (the temporary folder itself is refused).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/private_heap.h"

inline std::u16string FuzzFolder() {
  static const std::filesystem::path folder = [] {
    auto path = std::filesystem::temp_directory_path() / "qv-updater-fuzz";
    std::filesystem::create_directories(path);
    return path;
  }();
  return folder.u16string();
}

inline std::u16string WriteFuzzFile(const std::uint8_t* data, std::size_t size,
                                    const char16_t* name = u"input.bin") {
  static const bool heap = CreatePrivateHeap(1 << 20) != 0;
  (void)heap;
  const std::filesystem::path path = std::filesystem::path(FuzzFolder()) / name;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path.u16string();
}
