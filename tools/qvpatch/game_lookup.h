// Finds the entries of an installed game the way the game finds them on
// Windows: a name matches without regard to letter case. An entry whose
// name matches exactly is preferred, so that on a system that tells case
// apart a leftover old name is told from the new one.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "os/tree.h"

struct FoundEntry {
  std::u16string path;  // as it is on disk, '\' separated
  os::EntryInfo info;
};

class GameLookup {
 public:
  // `root` stays owned by the caller and open while this is used.
  explicit GameLookup(os::Handle root) : root_(root) {}

  // The entry `relative` names ('\' or '/' separated); none when a part of
  // it is missing, is a link, or cannot be read.
  std::optional<FoundEntry> Find(const std::u16string& relative);

 private:
  const std::vector<os::FolderEntry>* List(const std::u16string& folder);

  os::Handle root_;
  std::map<std::u16string, std::vector<os::FolderEntry>> listings_;
};
