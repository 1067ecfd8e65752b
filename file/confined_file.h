// A file written into a confined tree (confined_tree.h) under a temporary
// name beside its destination, and renamed over the destination only when
// it is complete. The destination itself is never opened: a link there is
// replaced, never written through, and a file that fails or is abandoned
// half-way leaves the destination as it was.
#pragma once

#include <string>
#include <string_view>

#include "file/confined_tree.h"

namespace confine {

class StagedFile {
 public:
  enum class Step { kNone, kFolder, kFile };

  StagedFile() = default;
  ~StagedFile() { Discard(); }
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Reaches the folder of `relative` in `tree`, making missing folders, and
  // creates the temporary file there for writing (`flags` as for
  // os::CreateFileIn). A destination that is a folder or a read-only file is
  // refused with kErrorAccessDenied, as opening it for writing would be.
  // On failure FailedStep() tells whether the folder or the file failed;
  // the last error is set.
  bool Begin(const Tree& tree, std::u16string_view relative, std::uint32_t flags);
  // In a folder of the caller's own, which nothing else reads before the
  // caller is done with it (an install's work folder): the file is written
  // as `name` itself, which must not exist yet (kErrorFileExists), so that
  // Commit has nothing to rename. Until then Discard removes it as it
  // removes a temporary file.
  bool BeginInPlace(os::Handle folder, std::u16string_view name, std::uint32_t flags);
  Step FailedStep() const { return failed_; }
  // The temporary file's handle for writing and setting its times.
  os::Handle File() const { return file_; }

  // Flushes and closes the file, gives it `attributes`, renames it over the
  // destination (removing a link to a folder there first; a file begun in
  // place is already there) and flushes the folder's entries. The
  // temporary file is removed when the rename fails;
  // a failed flush of the folder after it fails the commit with the new
  // file in place. With `flush` false both flushes are left to the caller,
  // who makes many commits durable at once (os::FlushTreeFiles).
  bool Commit(std::uint32_t attributes, bool flush = true);
  // Closes and removes the temporary file; false when it is still there.
  bool Discard();

 private:
  bool CreateTemporary(std::uint32_t flags);
  // Begun in place: the file is written under its own name.
  bool InPlace() const { return temporary_ == name_; }
  void Release();

  os::Handle folder_ = os::kInvalidHandle;
  bool owns_folder_ = false;
  os::Handle file_ = os::kInvalidHandle;
  std::u16string name_;
  std::u16string temporary_;
  Step failed_ = Step::kNone;
};

}  // namespace confine
