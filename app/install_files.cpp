#include "app/install_files.h"

#include <cstddef>
#include <cstring>

#include "app/update_info.h"
#include "file/native_file.h"
#include "base/debug_log.h"
#include "base/private_heap.h"
#include "base/format.h"
#include "util/path.h"
#include "util/shell_folder.h"
#include "base/text_convert.h"
#include "util/text_search.h"
#include "base/wide_string.h"

namespace {

// The all-users application-data folder in GetShellFolder's numbering.
constexpr int kCommonAppDataIndex = 8;
// The tags' contents: more bytes than this are refused.
constexpr std::size_t kRecordPathBytes = 520;
}  // namespace

int FormRecordPath(const UpdateInfo& info, char16_t* destination, std::size_t capacity) {
  if (confine::CheckPlainName(info.brand) != confine::Rule::kOk ||
      confine::CheckPlainName(info.app) != confine::Rule::kOk) {
    DebugLogW(u"install record: brand [%s] or app [%s] is not a plain name", info.brand, info.app);
    return 0;
  }
  char16_t folder[kInstallPathCapacity] = {};
  if (!GetShellFolder(kCommonAppDataIndex, folder, kInstallPathCapacity) || folder[0] == 0) {
    DebugLog("install record: no application-data folder");
    return 0;
  }
  char16_t file_name[kInfoNameCapacity + 8] = {};
  FormatWide(file_name, sizeof file_name / sizeof file_name[0], u"%s.xml", info.app);
  return JoinPath(destination, capacity, {folder, info.brand, file_name}) > 0;
}

int ReadInstallFolder(const char16_t* record_path, char16_t* destination, std::size_t capacity) {
  if (!destination || capacity == 0) return 0;
  destination[0] = 0;
  qvFile file;
  if (!file.Open(record_path, QVFILE_READ | QVFILE_OPEN_EXISTING)) return 0;
  std::int32_t size = file.GetSize();
  if (size < 0) return 0;
  std::size_t length = static_cast<std::size_t>(size);
  auto* bytes = static_cast<char*>(PrivateAlloc(0, length + 8));
  int result = 0;
  if (bytes) {
    std::memset(bytes, 0, length + 8);
    int open = -1, close = -1;
    if (file.Read(bytes, static_cast<std::uint32_t>(size)) == size) {
      open = FindBytes(bytes, "<path>");
      close = FindBytes(bytes, "</path>");
    }
    if (open >= 0 && close >= 0) {
      std::size_t first = static_cast<std::size_t>(open) + 6;
      std::size_t end = static_cast<std::size_t>(close);
      std::size_t count = end > first ? end - first : 0;
      if (count == 0) {
        DebugLog("install record: empty install path");
      } else if (count >= kRecordPathBytes) {
        DebugLog("install record: install path of %d bytes refused", static_cast<int>(count));
      } else {
        char text[kRecordPathBytes] = {};
        std::memcpy(text, bytes + first, count);
        // At most one unit per byte, so the conversion is never cut here.
        char16_t wide[kRecordPathBytes] = {};
        std::size_t units = Utf8ToWide(text, wide, kRecordPathBytes);
        // The conversion stops at a bad sequence; a path cut there would
        // name another folder, so it must convert back to the same bytes.
        char check[kRecordPathBytes * 3] = {};
        std::size_t back = WideToUtf8(wide, check, sizeof check);
        bool whole = back == count && std::memcmp(check, text, count) == 0;
        if (units > 0 && units < capacity && whole) {
          std::memcpy(destination, wide, (units + 1) * sizeof(char16_t));
          result = 1;
        } else {
          DebugLog("install record: install path does not fit");
        }
      }
    }
  }
  PrivateFree(bytes);
  file.Close();
  return result;
}

confine::Finding ListPatchData(const char16_t* data_folder, const confine::Tree& tree,
                               std::vector<std::u16string>* list) {
  confine::WalkLimits limits;
  limits.target_folder_units = tree.Path().size();
  limits.source_folder_units = WideLength(data_folder);
  confine::WalkResult walk = confine::WalkTree(data_folder, limits);
  for (const confine::Finding& finding : walk.findings) {
    // A folder that cannot be read adds nothing to copy, as before.
    if (finding.rule == confine::Rule::kMissing) {
      DebugLogW(u"data folder: cannot be read [%s]", finding.path.c_str());
      continue;
    }
    DebugLogW(u"data folder: refused [%s]", finding.path.c_str());
    return finding;
  }
  list->insert(list->end(), walk.files.begin(), walk.files.end());
  return {confine::Rule::kOk, {}};
}

void DeleteListedPaths(const confine::Tree& tree, const std::vector<std::u16string>& entries) {
  for (const std::u16string& entry : entries) {
    confine::DeleteResult result = tree.Delete(entry);
    if (result == confine::DeleteResult::kRefused)
      DebugLogW(u"delete list: entry refused [%s]", entry.c_str());
    else if (result == confine::DeleteResult::kIncomplete)
      DebugLogW(u"delete list: not everything could be removed [%s]", entry.c_str());
  }
}
