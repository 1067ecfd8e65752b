// Finds the entries of an installed game the way the game finds them on
// Windows: a name matches without regard to letter case. An entry whose
// name matches exactly is preferred, so that on a system that tells case
// apart a leftover old name is told from the new one.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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
  // One folder's entries, found by name in constant time: a folder of
  // many thousand files is looked up as often as it has files.
  struct Listing {
    std::vector<os::FolderEntry> entries;
    std::unordered_map<std::u16string, std::size_t> exact;
    std::unordered_map<std::u16string, std::size_t> folded;  // the first of each

    // The entry named exactly `name`, else one named so in another case.
    std::optional<std::size_t> Find(std::u16string_view name) const;
  };

  const Listing* List(const std::u16string& folder);

  os::Handle root_;
  std::map<std::u16string, Listing> listings_;
};
