#include "file/confine_walk.h"

#include <unordered_set>

#include "os/tree.h"

namespace confine {
namespace {

class Walker {
 public:
  Walker(const WalkLimits& limits, WalkResult* result) : limits_(limits), result_(result) {}

  void Walk(os::Handle folder, const std::u16string& prefix) {
    std::vector<os::FolderEntry> entries;
    if (!os::ListFolder(folder, &entries)) {
      Find(Rule::kMissing, prefix);
      return;
    }
    std::vector<bool> usable(entries.size());
    std::unordered_set<std::u16string> folded_names;
    for (std::size_t i = 0; i < entries.size(); ++i)
      usable[i] = Check(entries[i], prefix, &folded_names);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (!usable[i]) continue;
      std::u16string path = Join(prefix, entries[i].name);
      if (entries[i].info.kind == os::EntryKind::kFile) {
        result_->files.push_back(std::move(path));
        continue;
      }
      os::Handle inner = os::OpenTreeFolder(folder, entries[i].name.c_str(), false);
      if (inner == os::kInvalidHandle) {
        // Replaced by a link since it was listed, or unreadable.
        Find(os::GetLastError() == os::kErrorStoppedOnSymlink ? Rule::kLink : Rule::kMissing, path);
        continue;
      }
      Walk(inner, path);
      os::CloseTreeFolder(inner);
    }
  }

  void Find(Rule rule, std::u16string path) { result_->findings.push_back({rule, std::move(path)}); }

 private:
  static std::u16string Join(const std::u16string& prefix, const std::u16string& name) {
    return prefix.empty() ? name : prefix + u'\\' + name;
  }

  // Whether an entry may be copied (or, for a folder, entered); each
  // problem becomes a finding. `folded_names` holds the names met before
  // it in its folder, letter case folded.
  bool Check(const os::FolderEntry& entry, const std::u16string& prefix,
             std::unordered_set<std::u16string>* folded_names) {
    std::u16string path = Join(prefix, entry.name);
    const bool plain = entry.info.kind == os::EntryKind::kFile ||
                       entry.info.kind == os::EntryKind::kFolder;
    Rule rule = plain ? CheckName(entry.name) : Rule::kLink;
    if (rule == Rule::kOk && !FitsBelow(limits_.target_folder_units, path)) rule = Rule::kTooLong;
    if (rule == Rule::kOk && limits_.source_folder_units &&
        !FitsBelow(limits_.source_folder_units, path))
      rule = Rule::kTooLong;
    std::u16string folded = entry.name;
    for (char16_t& unit : folded) unit = FoldCase(unit);
    if (!folded_names->insert(std::move(folded)).second && rule == Rule::kOk)
      rule = Rule::kCaseCollision;
    if (rule == Rule::kOk) return true;
    Find(rule, std::move(path));
    return false;
  }

  const WalkLimits& limits_;
  WalkResult* result_;
};

}  // namespace

WalkResult WalkTree(const char16_t* folder, const WalkLimits& limits) {
  WalkResult result;
  Walker walker(limits, &result);
  os::Handle root = os::OpenTreeRoot(folder);
  if (root == os::kInvalidHandle) {
    walker.Find(os::GetLastError() == os::kErrorStoppedOnSymlink ? Rule::kLink : Rule::kMissing, u"");
    return result;
  }
  walker.Walk(root, u"");
  os::CloseTreeFolder(root);
  return result;
}

}  // namespace confine
