#include <cstddef>
#include <cstdint>
#include <string>

#include "os/posix/ui_language.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string override_value = text.substr(0, text.find('\0'));
  os::posix::LanguageIdFromLocale(text.c_str());
  os::posix::ChooseUiLanguage(override_value.c_str(), text.c_str(), nullptr, nullptr);
  return 0;
}
