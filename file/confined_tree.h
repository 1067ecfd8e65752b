// A folder that a program works in and never leaves.
//
// The folder is accepted only under the rules of confine_rules.h and of the
// file system (it exists, is not a link, is not a system or profile folder,
// is not the guarded folder or inside it), and it is held open. Every path
// below it is reached one component at a time without following a link: a
// link on the way stops the operation, a link at the end is removed or
// replaced itself. Writing a file there goes through StagedFile
// (confined_file.h).
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "file/confine_rules.h"
#include "os/tree.h"

namespace confine {

struct TreePolicy {
  // The folder the program was started from (a patch's own folder), or
  // empty. The tree's folder must not be it or inside it; a folder that
  // holds it may be, but then no deletion ever reaches it.
  std::u16string guarded_folder;
};

enum class DeleteResult {
  kDeleted,     // it is gone
  kAbsent,      // there was nothing of that name
  kRefused,     // a path the rules refuse, a link on the way, or the guarded folder
  kIncomplete,  // something could not be removed (read-only, in use, too deep)
};

class Tree {
 public:
  // How deep a deletion descends below the folder it removes.
  static constexpr int kMaxDepth = 128;

  Tree() = default;
  ~Tree();
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // Takes `path` as the tree's folder. Refused (and nothing held) unless it
  // passes CheckFolderText in the system's style and names an existing
  // folder that is not a link, not a system folder, not a user's profile,
  // not the all-users application-data folder, and not the guarded folder
  // or a folder inside it.
  Rule Open(const char16_t* path, const TreePolicy& policy);
  void Close();

  bool IsOpen() const { return root_ != os::kInvalidHandle; }
  os::Handle Root() const { return root_; }
  // The folder's path as accepted, without trailing separators.
  const std::u16string& Path() const { return path_; }

  // The part of `path` below the folder: true when `path` is the folder's
  // path, one separator and more.
  bool RelativeOf(std::u16string_view path, std::u16string* relative) const;

  // Opens the folder that holds the last component of `relative`, reached
  // without links, and gives that component in `name`; with `create`,
  // missing folders are made. The caller closes it (os::CloseTreeFolder).
  // kInvalidHandle with the last error set when it cannot. The folder of
  // the last call is kept open, so that files of one folder, written one
  // after another, do not walk the tree each time.
  os::Handle OpenParent(std::u16string_view relative, bool create, std::u16string* name) const;

  // Deletes what `relative` names: a file, a link itself, or a folder with
  // everything in it (links inside are removed, never entered). Nothing is
  // touched when CheckRelativePath refuses the path, when a link is on the
  // way, or when it names the guarded folder or a folder that holds it.
  // With `read_only_too`, read-only files inside go as well (the
  // updater's own work folder).
  DeleteResult Delete(std::u16string_view relative, bool read_only_too = false) const;

  // Moves what `relative` names (a file, a link itself, or a folder whole)
  // to `to_name` in `to_folder`, under the same rules as Delete: kDeleted
  // when it was moved, kAbsent, kRefused, or kIncomplete with the last
  // error set when the rename failed or `to_name` is taken (nothing set
  // aside is ever replaced). A link the system cannot move
  // itself is deleted as a link instead (nothing is kept to put back), or
  // refused when it cannot be removed either.
  DeleteResult MoveAside(std::u16string_view relative, os::Handle to_folder,
                         const char16_t* to_name) const;

 private:
  // OpenParent that, given `met_guarded`, refuses to pass through the
  // guarded folder (kErrorAccessDenied, and *met_guarded set), so that a
  // refusal by rule is told apart from a failure of the system.
  os::Handle OpenParentOf(std::u16string_view relative, bool create, bool* met_guarded,
                          std::u16string* name) const;
  // Whether `folder` is the guarded folder, or with `or_above` one that
  // holds it.
  bool IsGuarded(os::Handle folder, bool or_above) const;
  // The folder that holds what `relative` names, under Delete's rules;
  // kInvalidHandle with the result to give otherwise.
  os::Handle OpenParentToRemove(std::u16string_view relative, std::u16string* name,
                                DeleteResult* refusal) const;
  DeleteResult MoveEntryAside(os::Handle parent, const char16_t* name, os::Handle to_folder,
                              const char16_t* to_name) const;
  bool EmptyFolder(os::Handle folder, int depth, bool read_only_too) const;
  // Drops the folder kept by OpenParent (a deletion may want it gone).
  void ForgetParent() const;

  os::Handle root_ = os::kInvalidHandle;
  std::u16string path_;
  // The guarded folder and every folder above it.
  std::vector<os::FileIdentity> guarded_;
  // The folder OpenParent opened last and its path below the root.
  mutable std::mutex parent_lock_;
  mutable os::Handle parent_ = os::kInvalidHandle;
  mutable std::u16string parent_path_;
};

}  // namespace confine
