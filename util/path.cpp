#include "util/path.h"

#include "os/file.h"
#include "os/find.h"
#include "os/folders.h"
#include "base/wide_string.h"

namespace {

constexpr std::size_t kPathCapacity = 260;

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

bool IsBareDrive(const char16_t* path) {
  const char16_t letter = path[0];
  const bool is_letter = (letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z');
  return is_letter && path[1] == u':' && path[2] == 0;
}

// Index of the last '\' or '/', or -1.
std::ptrdiff_t LastSeparator(const char16_t* path) {
  std::ptrdiff_t last = -1;
  for (std::ptrdiff_t i = 0; path[i]; ++i)
    if (IsSeparator(path[i])) last = i;
  return last;
}

}  // namespace

int JoinPath(char16_t* destination, std::size_t capacity,
             std::initializer_list<const char16_t*> pieces) {
  if (!destination || capacity == 0) return 0;
  if (pieces.size() == 0) {
    destination[0] = 0;
    return 0;
  }

  std::size_t length = 0;
  auto append = [&](const char16_t* text, std::size_t count) {
    if (length + count >= capacity) return false;
    for (std::size_t i = 0; i < count; ++i) destination[length++] = text[i];
    return true;
  };

  // The first piece may be the destination itself; it is copied onto itself.
  auto piece = pieces.begin();
  std::size_t first_length = WideLength(*piece);
  // The first piece loses every trailing backslash, even a root's.
  while (first_length > 0 && (*piece)[first_length - 1] == u'\\') --first_length;
  bool fits = append(*piece, first_length);

  // Each further piece gets one separator; a single trailing backslash of the
  // result is dropped again, so an empty piece adds nothing.
  for (++piece; fits && piece != pieces.end(); ++piece) {
    std::size_t piece_length = WideLength(*piece);
    if (piece_length == 0) continue;
    if ((*piece)[piece_length - 1] == u'\\') --piece_length;
    fits = append(u"\\", 1) && append(*piece, piece_length);
  }

  if (!fits) {
    destination[0] = 0;
    return 0;
  }
  destination[length] = 0;
  return static_cast<int>(length);
}

int GetParentPath(const char16_t* path, char16_t* destination, std::size_t capacity) {
  if (!destination || capacity == 0) return 0;
  // The path is measured before anything is written, so that it may be the
  // destination itself.
  const std::ptrdiff_t separator = path ? LastSeparator(path) : -1;
  if (separator <= 0 || static_cast<std::size_t>(separator) >= capacity) {
    destination[0] = 0;
    return 0;
  }
  const auto length = static_cast<std::size_t>(separator);
  for (std::size_t i = 0; i < length; ++i) destination[i] = path[i];
  destination[length] = 0;
  return 1;
}

int GetPathKind(const char16_t* path) {
  if (!path) return 0;
  os::FindData found;
  const os::Handle search = os::FindFirst(path, &found);
  if (search == os::kInvalidHandle) return 0;
  os::FindClose(search);
  return (found.attributes & os::kAttrDirectory) ? 2 : 1;
}

int CreateDirectoryTree(const char16_t* path, int is_file) {
  if (!path) return 0;
  if (IsBareDrive(path)) return 1;

  char16_t folder[kPathCapacity];
  if (is_file) {
    // A file name without a folder part lives in a folder that exists: the
    // current one or the root.
    if (LastSeparator(path) <= 0) return 1;
    if (!GetParentPath(path, folder, kPathCapacity)) return 0;
    if (IsBareDrive(folder)) return 1;
  } else if (!CopyWide(folder, kPathCapacity, path)) {
    return 0;
  }

  switch (GetPathKind(folder)) {
    case 2: return 1;
    case 1: return 0;
    default: break;
  }

  char16_t parent[kPathCapacity];
  if (GetParentPath(folder, parent, kPathCapacity) && !CreateDirectoryTree(parent, 0))
    return 0;
  if (os::CreateDirectory(folder)) return 1;
  // Someone else may have made it meanwhile, or the path ends in a separator
  // that the lookup above could not see through.
  const std::uint32_t attributes = os::GetFileAttributes(folder);
  return attributes != os::kInvalidAttributes && (attributes & os::kAttrDirectory) ? 1 : 0;
}

const char16_t* GetExtension(const char16_t* path) {
  if (!path) return u"";
  const char16_t* dot = nullptr;
  const char16_t* end = path;
  for (; *end; ++end) {
    if (*end == u'.') dot = end;
    else if (IsSeparator(*end)) dot = nullptr;
  }
  return dot ? dot + 1 : end;
}
