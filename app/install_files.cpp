#include "app/install_files.h"

#include <cstddef>
#include <cstring>

#include "app/update_info.h"
#include "file/native_file.h"
#include "os/file.h"
#include "system/debug_log.h"
#include "system/private_heap.h"
#include "util/format.h"
#include "util/path.h"
#include "util/shell_folder.h"
#include "util/text_convert.h"
#include "util/text_search.h"

namespace {

// The all-users application-data folder in GetShellFolder's numbering.
constexpr int kCommonAppDataIndex = 8;
// The tags' contents: more bytes than this are refused.
constexpr std::size_t kRecordPathBytes = 520;
// Windows' reparse-point bit: junctions and symbolic links.
constexpr std::uint32_t kAttrReparsePoint = 0x400;

bool IsDotEntry(const char16_t* name) {
  return name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0));
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

int FormRecordPath(const UpdateInfo& info, char16_t* destination, std::size_t capacity) {
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
  if (!result) destination[0] = 0;
  return result;
}

void BuildCopyList(const char16_t* relative, std::vector<std::u16string>* list) {
  char16_t pattern[kWorkingPathCapacity] = {};
  if (!relative || relative[0] == 0) {
    std::memcpy(pattern, u"*.*", sizeof u"*.*");
  } else if (!JoinPath(pattern, kWorkingPathCapacity, {relative, u"*.*"})) {
    DebugLogW(u"copy list: folder path too long [%s]", relative);
    return;
  }
  os::FindData found;
  os::Handle search = os::FindFirst(pattern, &found);
  if (search == os::kInvalidHandle) return;
  do {
    if (IsDotEntry(found.name)) continue;
    std::u16string path;
    if (!relative || relative[0] == 0) {
      path = found.name;
    } else {
      path = relative;
      path += u'\\';
      path += found.name;
    }
    if (found.attributes & os::kAttrDirectory) {
      if (path.size() < kWorkingPathCapacity) BuildCopyList(path.c_str(), list);
    } else {
      list->push_back(std::move(path));
    }
  } while (os::FindNext(search, &found));
  os::FindClose(search);
}

void DeleteTree(const char16_t* pattern) {
  char16_t parent[kWorkingPathCapacity] = {};
  GetParentPath(pattern, parent, kWorkingPathCapacity);
  os::FindData found;
  os::Handle search = os::FindFirst(pattern, &found);
  if (search == os::kInvalidHandle) return;
  do {
    char16_t path[kWorkingPathCapacity] = {};
    if (!JoinPath(path, kWorkingPathCapacity, {parent, found.name})) continue;
    std::uint32_t attributes = os::GetFileAttributes(path);
    if (attributes == os::kInvalidAttributes) continue;
    if (attributes & os::kAttrDirectory) {
      if (IsDotEntry(found.name)) continue;
      if (!(attributes & kAttrReparsePoint) && !(found.attributes & kAttrReparsePoint)) {
        char16_t inner[kWorkingPathCapacity] = {};
        if (JoinPath(inner, kWorkingPathCapacity, {parent, found.name, u"*.*"}))
          DeleteTree(inner);
      }
      os::RemoveDirectory(path);
    } else {
      os::DeleteFile(path);
    }
  } while (os::FindNext(search, &found));
  os::FindClose(search);
}

bool IsSafeDeleteEntry(const char16_t* entry) {
  if (!entry || entry[0] == 0) return false;
  if (IsSeparator(entry[0])) return false;  // absolute, or a network path
  for (const char16_t* c = entry; *c; ++c)
    if (*c == u':') return false;  // drive-qualified, or a stream name
  const char16_t* component = entry;
  for (const char16_t* c = entry;; ++c) {
    if (*c == 0 || IsSeparator(*c)) {
      // ".." leaves the folder; a "." alone would name the folder itself.
      std::ptrdiff_t length = c - component;
      if ((length == 1 || length == 2) && component[0] == u'.' &&
          (length == 1 || component[1] == u'.'))
        return false;
      if (*c == 0) break;
      component = c + 1;
    }
  }
  return true;
}

void DeleteListedPaths(const char16_t* install_folder,
                       const std::vector<std::u16string>& entries) {
  for (const std::u16string& entry : entries) {
    if (!IsSafeDeleteEntry(entry.c_str())) {
      DebugLogW(u"delete list: entry outside the install folder skipped [%s]", entry.c_str());
      continue;
    }
    char16_t path[kWorkingPathCapacity] = {};
    if (!JoinPath(path, kWorkingPathCapacity, {install_folder, entry.c_str()})) continue;
    // Attributes that cannot be read count as a folder, so a wildcard entry
    // becomes "<entry>\*.*" and matches nothing.
    std::uint32_t attributes = os::GetFileAttributes(path);
    bool is_folder = attributes == os::kInvalidAttributes || (attributes & os::kAttrDirectory);
    bool is_link = attributes != os::kInvalidAttributes && (attributes & kAttrReparsePoint);
    if (is_folder && is_link) {
      os::RemoveDirectory(path);  // the link alone, never what it points to
      continue;
    }
    char16_t pattern[kWorkingPathCapacity] = {};
    if (is_folder) {
      if (!JoinPath(pattern, kWorkingPathCapacity, {path, u"*.*"})) continue;
    } else {
      std::memcpy(pattern, path, sizeof path);
    }
    DeleteTree(pattern);
    if (is_folder) os::RemoveDirectory(path);
  }
}
