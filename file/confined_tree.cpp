#include "file/confined_tree.h"

#include <algorithm>

#include "os/folders.h"
#include "os/system_folders.h"
#include "os/tree_names.h"
#include "util/shell_folder.h"

namespace confine {
namespace {

// The all-users application-data folder in GetShellFolder's numbering.
constexpr int kCommonAppDataIndex = 8;
constexpr std::uint32_t kFullPathCapacity = 1024;

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

// `path` and every folder above it, longest first: "C:\a\b", "C:\a", "C:\".
std::vector<std::u16string> SelfAndAncestors(const std::u16string& path) {
  std::vector<std::u16string> out{path};
  for (std::size_t i = path.size(); i-- > 0;) {
    if (!IsSeparator(path[i]) || i + 1 == path.size()) continue;
    // A root keeps its separator ("C:\", "/").
    bool root = i == 0 || path[i - 1] == u':';
    out.push_back(path.substr(0, root ? i + 1 : i));
  }
  return out;
}

std::vector<os::FileIdentity> IdentitiesOf(const std::vector<std::u16string>& paths) {
  std::vector<os::FileIdentity> out;
  for (const std::u16string& path : paths) {
    os::FileIdentity identity;
    if (os::GetPathIdentity(path.c_str(), &identity)) out.push_back(identity);
  }
  return out;
}

// Closes a folder without losing the error of the step before, which the
// caller is about to report.
void CloseKeepingError(os::Handle folder) {
  const std::uint32_t error = os::GetLastError();
  os::CloseTreeFolder(folder);
  os::SetLastError(error);
}

// After a failed step on an entry: a link in the way is refused like any
// link; any other failure is the system's and leaves the removal
// incomplete, never silently skipped.
DeleteResult RefusedIfLink() {
  return os::GetLastError() == os::kErrorStoppedOnSymlink ? DeleteResult::kRefused
                                                          : DeleteResult::kIncomplete;
}

bool Contains(const std::vector<os::FileIdentity>& identities, const os::FileIdentity& identity) {
  return std::find(identities.begin(), identities.end(), identity) != identities.end();
}

// What the system and every user own, and the folder the updater reads
// install records from.
Rule CheckSystemFolders(const std::u16string& path, const os::FileIdentity& identity) {
  os::SystemFolders system = os::GetSystemFolders();
  char16_t common_data[kShellFolderCapacity] = {};
  if (GetShellFolder(kCommonAppDataIndex, common_data, kShellFolderCapacity) && common_data[0])
    system.reserved.push_back(common_data);
  std::vector<os::FileIdentity> profile_parents = IdentitiesOf(system.profile_parents);
  if (Contains(IdentitiesOf(system.reserved), identity) || Contains(profile_parents, identity))
    return Rule::kSystemFolder;
  if (Contains(IdentitiesOf(system.profiles), identity)) return Rule::kUserProfile;
  std::vector<std::u16string> ancestors = SelfAndAncestors(path);
  os::FileIdentity parent;
  if (ancestors.size() > 1 && os::GetPathIdentity(ancestors[1].c_str(), &parent) &&
      Contains(profile_parents, parent))
    return Rule::kUserProfile;
  return Rule::kOk;
}

// The guarded folder and the folders above it; empty when there is none.
std::vector<os::FileIdentity> GuardedIdentities(const std::u16string& folder) {
  if (folder.empty()) return {};
  std::u16string full(kFullPathCapacity, u'\0');
  std::uint32_t length = os::GetFullPathName(folder.c_str(), full.data(), kFullPathCapacity);
  if (length == 0) return {};
  full.resize(length);
  while (full.size() > 1 && IsSeparator(full.back()) && full[full.size() - 2] != u':')
    full.pop_back();
  return IdentitiesOf(SelfAndAncestors(full));
}

}  // namespace

Tree::~Tree() { Close(); }

void Tree::Close() {
  ForgetParent();
  if (root_ != os::kInvalidHandle) os::CloseTreeFolder(root_);
  root_ = os::kInvalidHandle;
  path_.clear();
  guarded_.clear();
}

Rule Tree::Open(const char16_t* path, const TreePolicy& policy) {
  Close();
  std::u16string normalised;
  Rule rule = CheckFolderText(path ? path : u"", NativeStyle(), &normalised);
  if (rule != Rule::kOk) return rule;
  os::Handle root = os::OpenTreeRoot(normalised.c_str());
  if (root == os::kInvalidHandle)
    return os::GetLastError() == os::kErrorStoppedOnSymlink ? Rule::kRootIsLink : Rule::kMissing;
  os::FileIdentity identity;
  if (!os::GetFolderIdentity(root, &identity)) rule = Rule::kMissing;
  if (rule == Rule::kOk) rule = CheckSystemFolders(normalised, identity);
  std::vector<os::FileIdentity> guarded = GuardedIdentities(policy.guarded_folder);
  if (rule == Rule::kOk && !guarded.empty() &&
      Contains(IdentitiesOf(SelfAndAncestors(normalised)), guarded.front()))
    rule = Rule::kPatchFolder;
  if (rule != Rule::kOk) {
    os::CloseTreeFolder(root);
    return rule;
  }
  root_ = root;
  path_ = std::move(normalised);
  guarded_ = std::move(guarded);
  return Rule::kOk;
}

bool Tree::RelativeOf(std::u16string_view path, std::u16string* relative) const {
  if (!IsOpen() || path.size() <= path_.size() + 1 || path.compare(0, path_.size(), path_) != 0)
    return false;
  // A root such as "C:\" ends with its separator already.
  std::size_t start = IsSeparator(path_.back()) ? path_.size() : path_.size() + 1;
  if (start == path_.size() + 1 && !IsSeparator(path[path_.size()])) return false;
  *relative = path.substr(start);
  return !relative->empty();
}

os::Handle Tree::OpenParent(std::u16string_view relative, bool create, std::u16string* name) const {
  return OpenParentOf(relative, create, nullptr, name);
}

void Tree::ForgetParent() const {
  std::lock_guard<std::mutex> guard(parent_lock_);
  if (parent_ != os::kInvalidHandle) os::CloseTreeFolder(parent_);
  parent_ = os::kInvalidHandle;
  parent_path_.clear();
}

os::Handle Tree::OpenParentOf(std::u16string_view relative, bool create, bool* met_guarded,
                              std::u16string* name) const {
  const bool avoid_guarded = met_guarded != nullptr;
  std::vector<std::u16string> components;
  os::ForEachComponent(relative, [&](std::u16string_view component) {
    components.emplace_back(component);
    return true;
  });
  if (!IsOpen() || components.empty()) {
    os::SetLastError(IsOpen() ? os::kErrorInvalidName : os::kErrorInvalidHandle);
    return os::kInvalidHandle;
  }
  *name = components.back();
  components.pop_back();
  std::u16string path;
  for (const std::u16string& component : components) path += (path.empty() ? u"" : u"\\") + component;

  std::lock_guard<std::mutex> guard(parent_lock_);
  if (!avoid_guarded && parent_ != os::kInvalidHandle && path == parent_path_)
    return os::OpenTreeFolder(parent_, u"", false);
  os::Handle folder = os::OpenTreeFolder(root_, u"", false);
  for (const std::u16string& component : components) {
    if (folder == os::kInvalidHandle) break;
    os::Handle inner = os::OpenTreeFolder(folder, component.c_str(), create);
    os::CloseTreeFolder(folder);
    folder = inner;
    if (avoid_guarded && folder != os::kInvalidHandle && IsGuarded(folder, false)) {
      os::CloseTreeFolder(folder);
      *met_guarded = true;
      os::SetLastError(os::kErrorAccessDenied);
      return os::kInvalidHandle;
    }
  }
  if (folder != os::kInvalidHandle && !avoid_guarded) {
    if (parent_ != os::kInvalidHandle) os::CloseTreeFolder(parent_);
    parent_ = os::OpenTreeFolder(folder, u"", false);
    parent_path_ = std::move(path);
  }
  return folder;
}

bool Tree::IsGuarded(os::Handle folder, bool or_above) const {
  os::FileIdentity identity;
  if (guarded_.empty() || !os::GetFolderIdentity(folder, &identity)) return false;
  return or_above ? Contains(guarded_, identity) : identity == guarded_.front();
}

os::Handle Tree::OpenParentToRemove(std::u16string_view relative, std::u16string* name,
                                    DeleteResult* refusal) const {
  *refusal = DeleteResult::kRefused;
  if (CheckRelativePath(relative) != Rule::kOk) return os::kInvalidHandle;
  ForgetParent();
  bool met_guarded = false;
  os::Handle parent = OpenParentOf(relative, false, &met_guarded, name);
  if (parent != os::kInvalidHandle || met_guarded) return parent;
  // A link or a file on the way refuses; anything else (a folder that may
  // not be entered, a failing disk) is a failure of the system, not a
  // decision: what the entry names may well be there.
  const std::uint32_t error = os::GetLastError();
  if (error == os::kErrorPathNotFound)
    *refusal = DeleteResult::kAbsent;
  else if (error != os::kErrorStoppedOnSymlink && error != os::kErrorDirectory)
    *refusal = DeleteResult::kIncomplete;
  return parent;
}

DeleteResult Tree::Delete(std::u16string_view relative, bool read_only_too) const {
  std::u16string name;
  DeleteResult result;
  os::Handle parent = OpenParentToRemove(relative, &name, &result);
  if (parent == os::kInvalidHandle) return result;
  os::EntryInfo info;
  if (!os::GetEntryInfo(parent, name.c_str(), &info)) {
    result = os::GetLastError() == os::kErrorFileNotFound ? DeleteResult::kAbsent
                                                          : DeleteResult::kIncomplete;
  } else if (info.kind != os::EntryKind::kFolder) {
    if (read_only_too && (info.attributes & os::kAttrReadOnly))
      os::SetEntryAttributes(parent, name.c_str(), os::kAttrNormal);
    result = os::DeleteEntry(parent, name.c_str()) ? DeleteResult::kDeleted
                                                   : DeleteResult::kIncomplete;
  } else {
    os::Handle folder = os::OpenTreeFolder(parent, name.c_str(), false);
    if (folder == os::kInvalidHandle) {
      result = RefusedIfLink();
    } else if (IsGuarded(folder, true)) {
      result = DeleteResult::kRefused;
    } else {
      bool emptied = EmptyFolder(folder, 1, read_only_too);
      CloseKeepingError(folder);
      folder = os::kInvalidHandle;
      result = emptied && os::RemoveFolderIn(parent, name.c_str()) ? DeleteResult::kDeleted
                                                                   : DeleteResult::kIncomplete;
    }
    if (folder != os::kInvalidHandle) os::CloseTreeFolder(folder);
  }
  CloseKeepingError(parent);
  return result;
}

DeleteResult Tree::MoveAside(std::u16string_view relative, os::Handle to_folder,
                             const char16_t* to_name) const {
  std::u16string name;
  DeleteResult result;
  os::Handle parent = OpenParentToRemove(relative, &name, &result);
  if (parent == os::kInvalidHandle) return result;
  result = MoveEntryAside(parent, name.c_str(), to_folder, to_name);
  CloseKeepingError(parent);
  return result;
}

DeleteResult Tree::MoveEntryAside(os::Handle parent, const char16_t* name, os::Handle to_folder,
                                  const char16_t* to_name) const {
  os::EntryInfo info;
  if (!os::GetEntryInfo(parent, name, &info))
    return os::GetLastError() == os::kErrorFileNotFound ? DeleteResult::kAbsent
                                                        : DeleteResult::kIncomplete;
  if (info.kind == os::EntryKind::kFolder) {
    os::Handle folder = os::OpenTreeFolder(parent, name, false);
    if (folder == os::kInvalidHandle) return RefusedIfLink();
    const bool guarded = IsGuarded(folder, true);
    os::CloseTreeFolder(folder);
    if (guarded) return DeleteResult::kRefused;
  }
  // A rename would replace a file there: what was set aside before stays.
  os::EntryInfo taken;
  if (os::GetEntryInfo(to_folder, to_name, &taken)) {
    os::SetLastError(os::kErrorAlreadyExists);
    return DeleteResult::kIncomplete;
  }
  if (os::GetLastError() != os::kErrorFileNotFound) return DeleteResult::kIncomplete;
  if (os::RenameEntry(parent, name, to_folder, to_name)) return DeleteResult::kDeleted;
  if (os::GetLastError() != os::kErrorStoppedOnSymlink) return DeleteResult::kIncomplete;
  return os::DeleteEntry(parent, name) ? DeleteResult::kDeleted : RefusedIfLink();
}

bool Tree::EmptyFolder(os::Handle folder, int depth, bool read_only_too) const {
  std::vector<os::FolderEntry> entries;
  if (!os::ListFolder(folder, &entries)) return false;
  // The removal goes on past a failure, and the steps that succeed after it
  // may clear the thread's error: the first failure is the one reported.
  bool emptied = true;
  std::uint32_t first_error = 0;
  auto note = [&](bool done) {
    if (!done && emptied) first_error = os::GetLastError();
    emptied = emptied && done;
    return done;
  };
  for (const os::FolderEntry& entry : entries) {
    const char16_t* name = entry.name.c_str();
    if (entry.info.kind != os::EntryKind::kFolder) {
      if (read_only_too && (entry.info.attributes & os::kAttrReadOnly))
        os::SetEntryAttributes(folder, name, os::kAttrNormal);
      note(os::DeleteEntry(folder, name));
      continue;
    }
    os::Handle inner = depth < kMaxDepth ? os::OpenTreeFolder(folder, name, false) : os::kInvalidHandle;
    if (inner == os::kInvalidHandle || IsGuarded(inner, true)) {
      if (inner != os::kInvalidHandle) os::CloseTreeFolder(inner);
      note(false);
      continue;
    }
    bool inner_emptied = note(EmptyFolder(inner, depth + 1, read_only_too));
    os::CloseTreeFolder(inner);
    if (inner_emptied) note(os::RemoveFolderIn(folder, name));
  }
  if (!emptied) os::SetLastError(first_error);
  return emptied;
}

}  // namespace confine
