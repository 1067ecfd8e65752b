#include "app/text_line_list.h"

#include <algorithm>

#include "file/confined_file.h"
#include "os/text.h"
#include "util/lossless_utf8.h"

void TextLineList::Append(const char16_t* text) { lines_.emplace_back(text ? text : u""); }

void TextLineList::Append(const char16_t* text, std::size_t length) {
  lines_.emplace_back(text, length);
}

namespace {

// Splits the file's bytes into lines: CR LF or a lone LF ends one, a lone CR
// stays in it. Bytes that are not UTF-8 (and zero bytes) are kept as they
// are, so that lines of other programs survive the rewrite unchanged.
void AppendLinesOf(TextLineList* list, std::string_view bytes) {
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    const std::u16string text = DecodeUtf8Lossless(line);
    list->Append(text.data(), text.size());
  }
}

// Every line as UTF-8 and CR LF.
std::string LogBytes(const std::vector<std::u16string>& lines) {
  std::string bytes;
  for (const std::u16string& text : lines) {
    bytes += EncodeUtf8Lossless(text);
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
    std::string bytes(static_cast<std::size_t>(size), '\0');
    result = ReadWhole(file, bytes.data(), static_cast<std::uint32_t>(size));
    if (result) AppendLinesOf(this, bytes);
  }
  os::CloseFile(file);
  return result;
}

void TextLineList::SortUnique() { os::SortUniqueNoCase(&lines_); }

int TextLineList::Save(const confine::Tree& tree, const char16_t* relative) const {
  confine::StagedFile staged;
  return staged.Begin(tree, relative, 0) && WriteWhole(staged.File(), LogBytes(lines_)) &&
         staged.Commit(os::kAttrArchive);
}
