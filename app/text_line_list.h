// TextLineList: the lines of install.log. Lines are kept whole whatever
// their length: the log is the record of what was installed.
#pragma once

#include <string>
#include <vector>

class TextLineList {
 public:
  void Append(const char16_t* text);
  // Appends the UTF-8 lines of a file (CR LF or a lone LF ends a line; a
  // lone CR stays in the line). 0 for a missing or unreadable file, which
  // adds nothing.
  int Load(const char16_t* path);
  // A stable sort in case-insensitive order (letters folded, then unit by
  // unit), then every line equal to the one before it is dropped, so the
  // earliest form stays.
  void SortUnique();
  // Writes each line as UTF-8 and CR LF, replacing the file; 0 when it
  // cannot be opened.
  int Save(const char16_t* path) const;

  const std::vector<std::u16string>& Lines() const { return lines_; }

 private:
  std::vector<std::u16string> lines_;
};
