// Loads a fuzzed update description from a file, as the updater does, and
// chooses a language for a UI language taken from the input.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/update_info.h"
#include "base/private_heap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool heap = CreatePrivateHeap(1 << 20) == 1;
  // One file per process, so parallel fuzzing jobs do not share it.
  static const std::filesystem::path file =
      std::filesystem::temp_directory_path() /
      ("qv_update_info_fuzz_" + std::to_string(std::random_device{}()) + ".xml");
  static const std::u16string path = file.u16string();
  (void)heap;

  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  UpdateInfo info;
  UpdateInfoNotes notes;
  if (LoadUpdateInfoFrom(path.c_str(), &info, &notes)) {
    std::uint16_t ui = size >= 2 ? static_cast<std::uint16_t>(data[0] | data[1] << 8) : 1041;
    ChooseLanguageFor(&info, ui);
    for (const auto& entry : info.delete_list)
      if (entry.size() >= kDeleteEntryCapacity) __builtin_trap();
  }
  return 0;
}
