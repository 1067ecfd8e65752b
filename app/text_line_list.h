// TextLineList: the lines of install.log. Lines are kept whole whatever
// their length: the log is the record of what was installed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace confine {
class Tree;
}

class TextLineList {
 public:
  void Append(const char16_t* text);
  // A line that may hold zero units.
  void Append(const char16_t* text, std::size_t length);
  // Appends the UTF-8 lines of the file `relative` in a confined tree (CR
  // LF or a lone LF ends a line; a lone CR stays in the line). Bytes that
  // are not UTF-8, and zero bytes, are kept as lone surrogates
  // (util/lossless_utf8.h) and written back as they were. 0 for a missing
  // or unreadable file (nothing added), or a link of that name (never read
  // through).
  int Load(const confine::Tree& tree, const char16_t* relative);
  // A stable sort in the system's case-insensitive order (lstrcmpiW; see
  // os::CompareTextNoCase), then every line equal to the one before it is
  // dropped, so the earliest form stays.
  void SortUnique();
  // Writes each line as UTF-8 and CR LF into the file `relative` of a
  // confined tree, replacing it: the new file is written beside the old one
  // and renamed over it, so a link of that name is replaced, never written
  // through, and a failed write leaves the old file whole. 0 when it
  // cannot be written (a read-only file, a folder in the way).
  int Save(const confine::Tree& tree, const char16_t* relative) const;

  const std::vector<std::u16string>& Lines() const { return lines_; }

 private:
  std::vector<std::u16string> lines_;
};
