#include "tools/qvpatch/patch_plan.h"

#include <cstdio>
#include <unordered_map>

#include "tools/common/utf.h"
#include "tools/qvpatch/file_digest.h"
#include "util/version_info.h"

namespace {

using Index = std::unordered_map<std::u16string, const GameEntry*>;

Index IndexByPath(const GameTree& tree) {
  Index index;
  for (const GameEntry& entry : tree.entries) index.emplace(entry.path, &entry);
  return index;
}

const GameEntry* Find(const Index& index, const std::u16string& path, os::EntryKind kind) {
  const auto found = index.find(path);
  return found != index.end() && found->second->info.kind == kind ? found->second : nullptr;
}

std::string Quote(const std::u16string& path) { return "\"" + ToUtf8(path) + "\""; }

bool IsBelow(const std::u16string& path, const std::u16string& folder) {
  return path.size() > folder.size() && path[folder.size()] == u'\\' &&
         path.compare(0, folder.size(), folder) == 0;
}

// Everything in the old tree that the new one does not have as the same
// kind under the same name; a folder that goes is one entry.
void PlanDeletions(const GameTree& old_tree, const Index& new_index, PatchPlan* plan) {
  std::u16string gone_folder;
  for (const GameEntry& entry : old_tree.entries) {
    if (!gone_folder.empty() && IsBelow(entry.path, gone_folder)) continue;
    if (Find(new_index, entry.path, entry.info.kind)) continue;
    plan->deletions.push_back(entry.path);
    if (entry.info.kind == os::EntryKind::kFolder) gone_folder = entry.path;
  }
}

// A name that changes only in letter case is deleted and shipped anew: on
// Windows the copy alone would keep the old name.
void WarnCaseChanges(const GameTree& new_tree, PatchPlan* plan) {
  std::unordered_map<std::u16string, const GameEntry*> folded;
  for (const GameEntry& entry : new_tree.entries) folded.emplace(FoldPath(entry.path), &entry);
  for (const std::u16string& gone : plan->deletions) {
    const auto found = folded.find(FoldPath(gone));
    if (found == folded.end()) continue;
    plan->warnings.push_back(Quote(gone) + " becomes " + Quote(found->second->path) +
                             ", a change of letter case only: the patch deletes the old name "
                             "and ships the new one whole");
  }
}

void WarnLinksAndEmptyFolders(const PlanInput& input, const Index& old_index, PatchPlan* plan) {
  for (const std::u16string& link : input.old_tree->links)
    plan->warnings.push_back("old tree: " + Quote(link) +
                             " is a link or a special file: not followed, left alone");
  for (const std::u16string& link : input.new_tree->links)
    plan->warnings.push_back("new tree: " + Quote(link) +
                             " is a link or a special file: not followed, not shipped");
  for (const GameEntry& entry : input.new_tree->entries) {
    if (entry.info.kind != os::EntryKind::kFolder || !entry.empty) continue;
    if (Find(old_index, entry.path, os::EntryKind::kFolder)) continue;
    plan->warnings.push_back("the empty folder " + Quote(entry.path) +
                             " is new: the updater does not make empty folders");
  }
}

bool IsProgram(const std::u16string& path) {
  const std::size_t dot = path.find_last_of(u".\\");
  if (dot == std::u16string::npos || path[dot] != u'.') return false;
  std::u16string extension = path.substr(dot + 1);
  for (char16_t& unit : extension)
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  return extension == u"exe" || extension == u"dll";
}

std::string VersionText(const VersionInfo& info) {
  char text[48];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", info.version[3], info.version[2],
                info.version[1], info.version[0]);
  return text;
}

// The updater keeps an installed program whose version is higher.
void WarnOlderVersion(const PlanInput& input, const std::u16string& path, PatchPlan* plan) {
  if (!IsProgram(path)) return;
  VersionInfo old_version{}, new_version{};
  if (!ReadVersionInfo((input.old_folder + u'\\' + path).c_str(), &old_version) ||
      !ReadVersionInfo((input.new_folder + u'\\' + path).c_str(), &new_version))
    return;
  if (old_version.Number() <= new_version.Number()) return;
  plan->warnings.push_back(Quote(path) + " has version " + VersionText(new_version) +
                           ", lower than the old tree's " + VersionText(old_version) +
                           ": the updater keeps the installed file");
}

class Comparer {
 public:
  Comparer(const PlanInput& input, ProgressMeter* meter, std::string* error)
      : meter_(meter),
        error_(error),
        old_root_(os::OpenTreeRoot(input.old_folder.c_str())),
        new_root_(os::OpenTreeRoot(input.new_folder.c_str())),
        old_files_(old_root_),
        new_files_(new_root_) {}
  ~Comparer() {
    if (old_root_ != os::kInvalidHandle) os::CloseTreeFolder(old_root_);
    if (new_root_ != os::kInvalidHandle) os::CloseTreeFolder(new_root_);
  }

  // Whether the two files of `path`, both of `size` bytes, hold the same
  // bytes; `digest` receives the new file's.
  bool Same(const std::u16string& path, std::uint64_t size, Sha256Digest* digest, bool* same) {
    Sha256Digest old_digest;
    std::uint64_t old_size = 0, new_size = 0;
    if (!HashTreeFile(&old_files_, path, meter_, &old_digest, &old_size, error_) ||
        !HashTreeFile(&new_files_, path, meter_, digest, &new_size, error_))
      return false;
    if (old_size != size || new_size != size) {
      *error_ = Quote(path) + " changed while it was compared";
      return false;
    }
    *same = old_digest == *digest;
    return true;
  }

 private:
  ProgressMeter* meter_;
  std::string* error_;
  // The roots are closed before the files' folders: each handle stands on
  // its own.
  os::Handle old_root_;
  os::Handle new_root_;
  TreeFiles old_files_;
  TreeFiles new_files_;
};

}  // namespace

bool PlanPatch(const PlanInput& input, ProgressMeter* meter, PatchPlan* plan, std::string* error) {
  *plan = {};
  const Index old_index = IndexByPath(*input.old_tree);
  const Index new_index = IndexByPath(*input.new_tree);
  PlanDeletions(*input.old_tree, new_index, plan);
  WarnCaseChanges(*input.new_tree, plan);
  WarnLinksAndEmptyFolders(input, old_index, plan);

  std::uint64_t compare_bytes = 0;
  for (const GameEntry& entry : input.new_tree->entries) {
    if (entry.info.kind != os::EntryKind::kFile) continue;
    const GameEntry* old_file = Find(old_index, entry.path, os::EntryKind::kFile);
    if (old_file && old_file->info.size == entry.info.size) compare_bytes += 2 * entry.info.size;
  }

  meter->Begin("comparing", compare_bytes);
  Comparer comparer(input, meter, error);
  for (const GameEntry& entry : input.new_tree->entries) {
    if (entry.info.kind != os::EntryKind::kFile) continue;
    PlannedFile file;
    file.entry = &entry;
    const GameEntry* old_file = Find(old_index, entry.path, os::EntryKind::kFile);
    bool same = false;
    if (old_file && old_file->info.size == entry.info.size &&
        !comparer.Same(entry.path, entry.info.size, &file.digest, &same))
      return false;
    file.hashed = same;
    file.ship = !same;
    if (same) {
      ++plan->unchanged;
    } else {
      ++(old_file ? plan->changed : plan->added);
      plan->ship_bytes += entry.info.size;
      if (old_file) WarnOlderVersion(input, entry.path, plan);
    }
    plan->files.push_back(file);
  }
  meter->End();
  return true;
}
