// The confinement rules on any text: they never read outside it, and what
// they accept never leaves the folder. The input's byte pairs are UTF-16
// units, so every unit (separators, colons, controls, surrogates) occurs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "file/confine_rules.h"

namespace {

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

// Every component that `path` names is a valid name.
void RequireValidComponents(std::u16string_view path, bool allow_empty) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::u16string_view name = path.substr(start, end - start);
    if (name.empty() ? !allow_empty : confine::CheckName(name) != confine::Rule::kOk) std::abort();
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));

  if (confine::CheckName(text) == confine::Rule::kOk) {
    if (text.size() > confine::kNameLimit || text == u"." || text == u"..") std::abort();
    for (char16_t unit : text)
      if (unit < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(unit) != std::u16string_view::npos)
        std::abort();
  }
  if (confine::CheckRelativePath(text) == confine::Rule::kOk) {
    if (text.empty() || IsSeparator(text[0])) std::abort();
    RequireValidComponents(text, true);
  }
  for (confine::PathStyle style : {confine::PathStyle::kWindows, confine::PathStyle::kPosix}) {
    std::u16string normalised;
    if (confine::CheckFolderText(text, style, &normalised) != confine::Rule::kOk) continue;
    // A prefix of the text, trailing separators dropped, never a root.
    if (text.compare(0, normalised.size(), normalised) != 0 || IsSeparator(normalised.back()))
      std::abort();
    for (std::size_t i = normalised.size(); i < text.size(); ++i)
      if (!IsSeparator(text[i])) std::abort();
    // No step up or in place anywhere, and a last name below the root.
    std::size_t start = 0;
    while (start <= normalised.size()) {
      std::size_t end = start;
      while (end < normalised.size() && !IsSeparator(normalised[end])) ++end;
      std::u16string_view name = std::u16string_view(normalised).substr(start, end - start);
      if (name == u"." || name == u"..") std::abort();
      if (end == normalised.size() && (name.empty() || start == 0)) std::abort();
      start = end + 1;
    }
  }
  for (char16_t unit : text)
    if (confine::FoldCase(confine::FoldCase(unit)) != confine::FoldCase(unit)) std::abort();
  return 0;
}
