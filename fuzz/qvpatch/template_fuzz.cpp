// Writes a delete list into the input taken as a description template.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/qvpatch/description_template.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<std::u16string> kEntries = {u"cache", u"scenario\\old.txt"};
  std::string description;
  std::string error;
  WriteDeleteList(std::string_view(reinterpret_cast<const char*>(data), size), kEntries,
                  &description, &error);
  WriteDeleteList(std::string_view(reinterpret_cast<const char*>(data), size), {}, &description,
                  &error);
  return 0;
}
