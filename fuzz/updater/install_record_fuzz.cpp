// The install record: any bytes give a folder that fits or a refusal.
#include <cstring>

#include "app/install_files.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string path = WriteFuzzFile(data, size);
  char16_t folder[kInstallPathCapacity + 1];
  folder[kInstallPathCapacity] = u'#';
  if (ReadInstallFolder(path.c_str(), folder, kInstallPathCapacity)) {
    std::size_t length = 0;
    while (folder[length]) ++length;
    if (length == 0 || length >= kInstallPathCapacity) __builtin_trap();
  } else if (folder[0] != 0) {
    __builtin_trap();
  }
  if (folder[kInstallPathCapacity] != u'#') __builtin_trap();
  return 0;
}
