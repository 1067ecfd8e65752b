// What is checked after the confirmation and before anything is touched:
// that every path fits, that every file and folder the install changes may
// be written, and that the game's volume has room for the staged copies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace confine {
class Tree;
}

namespace install {

struct Refusal {
  enum class Kind { kNone, kTooLong, kNoAccess, kNoSpace };
  Kind kind = Kind::kNone;
  std::u16string path;  // the offending path, in full
};

// Every joined source (below `data_folder`) and destination (below the
// tree) must fit a worker's path field; the first that does not is named.
Refusal CheckPathsFit(const confine::Tree& tree, const std::u16string& data_folder,
                      const std::vector<std::u16string>& copy_list);

// The install folder and every folder that gets a file or loses an entry
// must take a new file (probed with one that is removed at once), and no
// file to replace (install.log included) may be read-only or a folder.
Refusal CheckWriteAccess(const confine::Tree& tree, const std::vector<std::u16string>& copy_list,
                         const std::vector<std::u16string>& delete_list);

// The volume of the install folder must hold `bytes` more.
Refusal CheckFreeSpace(const confine::Tree& tree, std::uint64_t bytes);

}  // namespace install
