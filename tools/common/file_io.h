// Files of a folder tree for the tools: opened without following links,
// read in chunks, written whole, and failures put into words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "os/file.h"

// Opens files below an open folder for reading; every folder on the way
// and the file itself are entered without following a link. The folder of
// the last file stays open for the next one, so that the files of one
// folder, met one after another, cost one opening each.
class TreeFiles {
 public:
  // `root` stays owned by the caller.
  explicit TreeFiles(os::Handle root) : root_(root) {}
  ~TreeFiles();
  TreeFiles(const TreeFiles&) = delete;
  TreeFiles& operator=(const TreeFiles&) = delete;

  // The file `relative` ('\' or '/' separated); kInvalidHandle with the
  // last error set.
  os::Handle Open(std::u16string_view relative);

 private:
  os::Handle root_;
  std::u16string folder_;
  os::Handle folder_handle_ = os::kInvalidHandle;
};

// Reads `file` from where it stands to its end in chunks of up to 1 MiB and
// hands each to `consume`. False on a read error (the last error tells) or
// when `consume` returns false.
bool ReadChunks(os::Handle file, const std::function<bool(const std::uint8_t*, std::size_t)>& consume);

// Reads a whole file (links followed, as the user named it) of up to
// `limit` bytes. False when it cannot be opened or read, or is larger.
bool ReadWholeFile(const std::u16string& path, std::string* bytes,
                   std::uint64_t limit = std::uint64_t{1} << 30);

// Writes all `size` bytes; false when the system takes fewer (the last
// error tells; a full disk that writes nothing is kErrorDiskFull).
bool WriteAll(os::Handle file, const void* data, std::size_t size);

// The folder part and the name of a path: "C:\games\a.txt" gives "C:\games"
// and "a.txt". A root keeps its separator ("C:\a" gives "C:\", "/a" gives
// "/"); a bare name lies in ".".
struct PathParts {
  std::u16string folder;
  std::u16string name;
};
PathParts SplitPath(std::u16string_view path);

// `name` in `folder`, with one separator between them: the kind the folder
// uses, else '\'.
std::u16string ChildPath(const std::u16string& folder, std::u16string_view name);

// The absolute form of `path` without trailing separators (a root keeps
// its own); empty when the system cannot tell.
std::u16string AbsolutePath(const std::u16string& path);

// The system's text for the last error, or for `code`, on one line.
std::string ErrorText(std::uint32_t code);
std::string LastErrorText();
