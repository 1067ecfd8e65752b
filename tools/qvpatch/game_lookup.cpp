#include "tools/qvpatch/game_lookup.h"

#include "os/tree_names.h"
#include "tools/qvpatch/game_tree.h"

const GameLookup::Listing* GameLookup::List(const std::u16string& folder) {
  const auto cached = listings_.find(folder);
  if (cached != listings_.end()) return &cached->second;
  Listing listing;
  const os::Handle handle = os::OpenTreeFolder(root_, folder.c_str(), false);
  if (handle == os::kInvalidHandle) return nullptr;
  const bool listed = os::ListFolder(handle, &listing.entries);
  os::CloseTreeFolder(handle);
  if (!listed) return nullptr;
  for (std::size_t i = 0; i < listing.entries.size(); ++i) {
    listing.exact.emplace(listing.entries[i].name, i);
    listing.folded.emplace(FoldPath(listing.entries[i].name), i);
  }
  return &listings_.emplace(folder, std::move(listing)).first->second;
}

std::optional<std::size_t> GameLookup::Listing::Find(std::u16string_view name) const {
  auto found = exact.find(std::u16string(name));
  if (found != exact.end()) return found->second;
  found = folded.find(FoldPath(name));
  if (found != folded.end()) return found->second;
  return std::nullopt;
}

std::optional<FoundEntry> GameLookup::Find(const std::u16string& relative) {
  FoundEntry found;
  found.info.kind = os::EntryKind::kFolder;
  bool ok = os::ForEachComponent(relative, [&](std::u16string_view name) {
    if (found.info.kind != os::EntryKind::kFolder) return false;
    const Listing* listing = List(found.path);
    if (!listing) return false;
    const std::optional<std::size_t> index = listing->Find(name);
    if (!index) return false;
    const os::FolderEntry& match = listing->entries[*index];
    found.path += (found.path.empty() ? u"" : u"\\") + match.name;
    found.info = match.info;
    return true;
  });
  if (!ok || found.path.empty()) return std::nullopt;
  return found;
}
