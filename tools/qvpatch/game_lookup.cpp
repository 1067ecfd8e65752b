#include "tools/qvpatch/game_lookup.h"

#include "os/tree_names.h"
#include "tools/qvpatch/game_tree.h"

const std::vector<os::FolderEntry>* GameLookup::List(const std::u16string& folder) {
  const auto cached = listings_.find(folder);
  if (cached != listings_.end()) return &cached->second;
  std::vector<os::FolderEntry> entries;
  const os::Handle handle = os::OpenTreeFolder(root_, folder.c_str(), false);
  if (handle == os::kInvalidHandle) return nullptr;
  const bool listed = os::ListFolder(handle, &entries);
  os::CloseTreeFolder(handle);
  if (!listed) return nullptr;
  return &listings_.emplace(folder, std::move(entries)).first->second;
}

std::optional<FoundEntry> GameLookup::Find(const std::u16string& relative) {
  FoundEntry found;
  found.info.kind = os::EntryKind::kFolder;
  bool ok = os::ForEachComponent(relative, [&](std::u16string_view name) {
    if (found.info.kind != os::EntryKind::kFolder) return false;
    const std::vector<os::FolderEntry>* entries = List(found.path);
    if (!entries) return false;
    const os::FolderEntry* match = nullptr;
    const std::u16string folded = FoldPath(name);
    for (const os::FolderEntry& entry : *entries) {
      if (entry.name == name) {
        match = &entry;
        break;
      }
      if (!match && FoldPath(entry.name) == folded) match = &entry;
    }
    if (!match) return false;
    found.path += (found.path.empty() ? u"" : u"\\") + match->name;
    found.info = match->info;
    return true;
  });
  if (!ok || found.path.empty()) return std::nullopt;
  return found;
}
