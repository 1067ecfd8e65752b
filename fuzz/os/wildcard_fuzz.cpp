// Pattern and name split at the first zero byte; the matcher must finish
// quickly on any input and agree that "*" matches everything.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "os/posix/wildcard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1024) return 0;
  std::u16string pattern, name;
  std::u16string* target = &pattern;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && target == &pattern) {
      target = &name;
      continue;
    }
    *target += static_cast<char16_t>(data[i]);
  }
  os::posix::MatchWildcard(pattern, name);
  if (!os::posix::MatchWildcard(u"*", name)) std::abort();
  return 0;
}
