// The patch folder being made. Everything is written into a staging folder
// beside the destination and renamed into place only at the end, so a run
// that fails leaves nothing half-made behind: no staging folder, and the
// destination as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "file/confined_tree.h"
#include "tools/common/file_io.h"
#include "tools/common/progress_meter.h"
#include "tools/qvpatch/sha256.h"

class PatchFolder {
 public:
  PatchFolder() = default;
  ~PatchFolder();
  PatchFolder(const PatchFolder&) = delete;
  PatchFolder& operator=(const PatchFolder&) = delete;

  // Makes the staging folder beside `destination` (absolute), creating the
  // folders above it as needed. A destination that holds anything is
  // refused unless `replace`; one that is a file or a link always is.
  bool Begin(const std::u16string& destination, bool replace, std::string* error);
  const std::u16string& StagingPath() const { return staging_.Path(); }

  bool WriteFile(std::u16string_view relative, std::string_view bytes, std::string* error);
  // Copies the file `source` of `sources` to `relative`, with `times`, and
  // gives the digest and count of the bytes copied.
  bool CopyFile(TreeFiles* sources, std::u16string_view source, std::u16string_view relative,
                const os::EntryInfo& times, ProgressMeter* meter, Sha256Digest* digest,
                std::uint64_t* size, std::string* error);
  // Makes the folder `relative` (and those above it).
  bool MakeFolder(std::u16string_view relative, std::string* error);

  // Renames the staging folder to the destination, replacing what was there.
  // An old destination that cannot be removed afterwards stays beside it,
  // renamed, and `warning` says where: the patch is made all the same.
  bool Place(std::string* error, std::string* warning);

 private:
  void RemoveStaging();

  confine::Tree staging_;
  os::Handle parent_ = os::kInvalidHandle;
  std::u16string parent_path_;
  std::u16string staging_name_;
  std::u16string destination_name_;
  bool destination_exists_ = false;
};

// Removes the folder `name` in the open folder `parent` with everything in
// it, links removed and never entered. `path` is its absolute path.
bool RemoveFolderTree(os::Handle parent, const std::u16string& path, const std::u16string& name);
