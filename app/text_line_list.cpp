#include "app/text_line_list.h"

#include <algorithm>
#include <cstring>

#include "file/native_file.h"
#include "system/private_heap.h"
#include "util/text_convert.h"
#include "util/text_search.h"
#include "util/wide_string.h"

void TextLineList::Append(const char16_t* text) { lines_.emplace_back(text ? text : u""); }

int TextLineList::Load(const char16_t* path) {
  qvFile file;
  if (!file.Open(path, QVFILE_READ | QVFILE_OPEN_EXISTING)) return 0;
  std::int32_t size = file.GetSize();
  if (size < 0) return 0;
  const auto length = static_cast<std::uint32_t>(size);
  // The buffer ends in zero bytes, which end the line reader's walk; every
  // line fits the line buffer, so none is cut.
  auto* bytes = static_cast<char*>(PrivateAlloc(0, std::size_t{length} + 8));
  auto* line = static_cast<char*>(PrivateAlloc(0, std::size_t{length} + 8));
  auto* wide = static_cast<char16_t*>(PrivateAlloc(0, (std::size_t{length} + 8) * 2));
  int result = 0;
  if (bytes && line && wide) {
    std::memset(bytes, 0, std::size_t{length} + 8);
    if (file.Read(bytes, length) == size) {
      file.Close();
      std::size_t offset = 0;
      while (offset < length) {
        int used = ReadTextLine(bytes + offset, line, std::size_t{length} + 8);
        if (used <= 0) break;
        offset += static_cast<std::size_t>(used);
        // One unit per UTF-8 sequence at most, so the line always fits.
        Utf8ToWide(line, wide, std::size_t{length} + 8);
        Append(wide);
      }
      result = 1;
    }
  }
  PrivateFree(wide);
  PrivateFree(line);
  PrivateFree(bytes);
  return result;
}

void TextLineList::SortUnique() {
  auto less = [](const std::u16string& a, const std::u16string& b) {
    return CompareWideNoCase(a.c_str(), b.c_str()) < 0;
  };
  std::stable_sort(lines_.begin(), lines_.end(), less);
  auto equal = [](const std::u16string& a, const std::u16string& b) {
    return CompareWideNoCase(a.c_str(), b.c_str()) == 0;
  };
  lines_.erase(std::unique(lines_.begin(), lines_.end(), equal), lines_.end());
}

int TextLineList::Save(const char16_t* path) const {
  qvFile file;
  if (!file.Open(path, QVFILE_WRITE | QVFILE_CREATE_ALWAYS)) return 0;
  std::string bytes;
  for (const std::u16string& text : lines_) {
    std::string utf8(text.size() * 3 + 1, '\0');
    utf8.resize(WideToUtf8(text.c_str(), utf8.data(), utf8.size()));
    bytes += utf8;
    bytes += "\r\n";
  }
  // qvFile writes at most 2 GiB at once; the log is far smaller.
  int result = bytes.empty() ||
               file.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())) ==
                   static_cast<std::int32_t>(bytes.size());
  file.Close();
  return result;
}
