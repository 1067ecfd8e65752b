#include "app/install_preflight.h"

#include <set>

#include "app/install_transaction.h"
#include "app/install_worker.h"
#include "file/confined_tree.h"
#include "os/volume.h"

namespace install {
namespace {

Refusal Refuse(Refusal::Kind kind, std::u16string path) { return {kind, std::move(path)}; }

// Whether a new file can be made in the existing folder `relative`; the
// probe leaves nothing behind, even when the updater is killed.
bool CanWriteIn(const confine::Tree& tree, const std::u16string& relative) {
  os::Handle folder = os::OpenTreeFolder(tree.Root(), relative.c_str(), false);
  if (folder == os::kInvalidHandle) return false;
  const bool made = os::ProbeNewFile(folder);
  const std::uint32_t error = os::GetLastError();
  os::CloseTreeFolder(folder);
  os::SetLastError(error);
  return made;
}

// The deepest folder on the way to `relative` that exists ("" the install
// folder itself), and whether it is the entry's own folder; false when a
// folder on the way cannot be entered (`blocked` names it).
bool NearestFolder(const confine::Tree& tree, const std::u16string& relative,
                   std::u16string* nearest, bool* own, std::u16string* blocked) {
  std::vector<std::u16string> folders = FoldersAbove(relative);
  *own = true;
  nearest->clear();
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    const Presence reach = FolderPresence(tree, *folder);
    if (reach == Presence::kThere) {
      *nearest = *folder;
      return true;
    }
    if (reach == Presence::kUnknown) *blocked = *folder;  // no file can pass it
    *own = false;
  }
  return blocked->empty();
}

// A file that is there and cannot be replaced: a read-only file or a folder.
bool IsUnreplaceable(const confine::Tree& tree, const std::u16string& relative) {
  std::u16string name;
  os::Handle parent = tree.OpenParent(relative, false, &name);
  if (parent == os::kInvalidHandle) return false;
  os::EntryInfo info;
  const bool there = os::GetEntryInfo(parent, name.c_str(), &info);
  os::CloseTreeFolder(parent);
  return there && (info.kind == os::EntryKind::kFolder ||
                   (info.kind == os::EntryKind::kFile && (info.attributes & os::kAttrReadOnly)));
}

}  // namespace

Refusal CheckPathsFit(const confine::Tree& tree, const std::u16string& data_folder,
                      const std::vector<std::u16string>& copy_list) {
  for (const std::u16string& entry : copy_list) {
    const std::u16string source = data_folder + u"\\" + entry;
    const std::u16string destination = FullPath(tree, entry);
    if (source.size() >= kWorkerPathCapacity) return Refuse(Refusal::Kind::kTooLong, source);
    if (destination.size() >= kWorkerPathCapacity)
      return Refuse(Refusal::Kind::kTooLong, destination);
  }
  return {};
}

Refusal CheckWriteAccess(const confine::Tree& tree, const std::vector<std::u16string>& copy_list,
                         const std::vector<std::u16string>& delete_list) {
  std::set<std::u16string> writable;
  auto check_folder = [&](const std::u16string& folder) {
    if (writable.count(folder)) return true;
    if (!CanWriteIn(tree, folder)) return false;
    writable.insert(folder);
    return true;
  };
  // The work folder is made in the install folder.
  if (!check_folder(u"")) return Refuse(Refusal::Kind::kNoAccess, tree.Path());
  std::vector<std::u16string> targets = copy_list;
  targets.emplace_back(kLogPath);
  for (const std::u16string& target : targets) {
    bool own = false;
    std::u16string folder, blocked;
    if (!NearestFolder(tree, target, &folder, &own, &blocked))
      return Refuse(Refusal::Kind::kNoAccess, FullPath(tree, blocked));
    if (!check_folder(folder)) return Refuse(Refusal::Kind::kNoAccess, FullPath(tree, folder));
    if (own && IsUnreplaceable(tree, target))
      return Refuse(Refusal::Kind::kNoAccess, FullPath(tree, target));
  }
  for (const std::u16string& entry : delete_list) {
    bool own = false;
    std::u16string folder, blocked;
    // An entry behind a link is skipped, never deleted; no need to write.
    if (NearestFolder(tree, entry, &folder, &own, &blocked) && own && !check_folder(folder)) return Refuse(Refusal::Kind::kNoAccess, FullPath(tree, folder));
  }
  return {};
}

Refusal CheckFreeSpace(const confine::Tree& tree, std::uint64_t bytes) {
  std::uint64_t available = 0;
  if (!os::GetFreeDiskSpace(tree.Path().c_str(), &available) || available < bytes)
    return Refuse(Refusal::Kind::kNoSpace, tree.Path());
  return {};
}

}  // namespace install
