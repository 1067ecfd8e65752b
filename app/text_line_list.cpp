#include "app/text_line_list.h"

#include <algorithm>
#include <cstring>

#include "file/confined_file.h"
#include "os/text.h"
#include "system/private_heap.h"
#include "util/text_convert.h"
#include "util/text_search.h"

void TextLineList::Append(const char16_t* text) { lines_.emplace_back(text ? text : u""); }

namespace {

// Reads a whole file of `length` bytes with `read` (into, count) and
// appends its lines; 0 when the read fails.
template <typename Read>
int AppendLinesOf(TextLineList* list, std::uint32_t length, Read read) {
  // The buffer ends in zero bytes, which end the line reader's walk; every
  // line fits the line buffer, so none is cut.
  auto* bytes = static_cast<char*>(PrivateAlloc(0, std::size_t{length} + 8));
  auto* line = static_cast<char*>(PrivateAlloc(0, std::size_t{length} + 8));
  auto* wide = static_cast<char16_t*>(PrivateAlloc(0, (std::size_t{length} + 8) * 2));
  int result = 0;
  if (bytes && line && wide) {
    std::memset(bytes, 0, std::size_t{length} + 8);
    if (read(bytes, length)) {
      std::size_t offset = 0;
      while (offset < length) {
        int used = ReadTextLine(bytes + offset, line, std::size_t{length} + 8);
        if (used <= 0) break;
        offset += static_cast<std::size_t>(used);
        // One unit per UTF-8 sequence at most, so the line always fits.
        Utf8ToWide(line, wide, std::size_t{length} + 8);
        list->Append(wide);
      }
      result = 1;
    }
  }
  PrivateFree(wide);
  PrivateFree(line);
  PrivateFree(bytes);
  return result;
}

// Every line as UTF-8 and CR LF.
std::string LogBytes(const std::vector<std::u16string>& lines) {
  std::string bytes;
  for (const std::u16string& text : lines) {
    std::string utf8(text.size() * 3 + 1, '\0');
    utf8.resize(WideToUtf8(text.c_str(), utf8.data(), utf8.size()));
    bytes += utf8;
    bytes += "\r\n";
  }
  return bytes;
}

bool ReadWhole(os::Handle file, char* into, std::uint32_t length) {
  std::uint32_t got = 0;
  while (got < length) {
    std::uint32_t step = 0;
    if (!os::ReadFile(file, into + got, length - got, &step) || step == 0) return false;
    got += step;
  }
  return true;
}

bool WriteWhole(os::Handle file, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    std::uint32_t step = 0;
    auto count = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
    if (!os::WriteFile(file, bytes.data() + written, count, &step) || step == 0) return false;
    written += step;
  }
  return true;
}

}  // namespace

int TextLineList::Load(const confine::Tree& tree, const char16_t* relative) {
  std::u16string name;
  os::Handle folder = tree.OpenParent(relative, false, &name);
  if (folder == os::kInvalidHandle) return 0;
  os::Handle file = os::OpenFileIn(folder, name.c_str(), 0);
  os::CloseTreeFolder(folder);
  if (file == os::kInvalidHandle) return 0;
  std::uint64_t size = 0;
  int result = 0;
  if (os::GetFileSize(file, &size) && size < 0x7FFFFFFF) {
    result = AppendLinesOf(this, static_cast<std::uint32_t>(size), [&](char* into, std::uint32_t length) {
      return ReadWhole(file, into, length);
    });
  }
  os::CloseFile(file);
  return result;
}

void TextLineList::SortUnique() {
  auto less = [](const std::u16string& a, const std::u16string& b) {
    return os::CompareTextNoCase(a.c_str(), b.c_str()) < 0;
  };
  std::stable_sort(lines_.begin(), lines_.end(), less);
  auto equal = [](const std::u16string& a, const std::u16string& b) {
    return os::CompareTextNoCase(a.c_str(), b.c_str()) == 0;
  };
  lines_.erase(std::unique(lines_.begin(), lines_.end(), equal), lines_.end());
}

int TextLineList::Save(const confine::Tree& tree, const char16_t* relative) const {
  confine::StagedFile staged;
  return staged.Begin(tree, relative, 0) && WriteWhole(staged.File(), LogBytes(lines_)) &&
         staged.Commit(os::kAttrArchive);
}
