#include "tools/qvpatch/game_tree.h"

#include <algorithm>

#include "file/confine_rules.h"
#include "tools/common/file_io.h"
#include "tools/common/utf.h"

namespace {

class Scanner {
 public:
  Scanner(GameTree* tree, std::string* error) : tree_(tree), error_(error) {}

  bool Scan(os::Handle folder, const std::u16string& prefix, int depth) {
    std::vector<os::FolderEntry> entries;
    if (!os::ListFolder(folder, &entries)) return Fail(prefix, "cannot be listed");
    std::sort(entries.begin(), entries.end(),
              [](const os::FolderEntry& a, const os::FolderEntry& b) { return NameLess(a.name, b.name); });
    for (os::FolderEntry& entry : entries) {
      std::u16string path = prefix.empty() ? entry.name : prefix + u'\\' + entry.name;
      const os::EntryKind kind = entry.info.kind;
      if (kind != os::EntryKind::kFile && kind != os::EntryKind::kFolder) {
        tree_->links.push_back(std::move(path));
        continue;
      }
      const std::size_t index = tree_->entries.size();
      tree_->entries.push_back({path, entry.info, false});
      if (kind == os::EntryKind::kFile) continue;
      if (depth + 1 >= kMaxGameDepth) return Fail(path, "nests too deep");
      const os::Handle inner = os::OpenTreeFolder(folder, entry.name.c_str(), false);
      if (inner == os::kInvalidHandle) {
        // Replaced by a link since it was listed.
        if (os::GetLastError() == os::kErrorStoppedOnSymlink) {
          tree_->entries.pop_back();
          tree_->links.push_back(std::move(path));
          continue;
        }
        return Fail(path, "cannot be opened");
      }
      const bool ok = Scan(inner, path, depth + 1);
      os::CloseTreeFolder(inner);
      if (!ok) return false;
      tree_->entries[index].empty = tree_->entries.size() == index + 1;
    }
    return true;
  }

  bool Fail(const std::u16string& path, const char* what) {
    *error_ = (path.empty() ? std::string("the folder") : "\"" + ToUtf8(path) + "\"") + " " + what +
              ": " + LastErrorText();
    return false;
  }

 private:
  GameTree* tree_;
  std::string* error_;
};

}  // namespace

bool NameLess(std::u16string_view a, std::u16string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const char16_t fa = confine::FoldCase(a[i]), fb = confine::FoldCase(b[i]);
    if (fa != fb) return fa < fb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::u16string FoldPath(std::u16string_view path) {
  std::u16string folded(path);
  for (char16_t& unit : folded) unit = confine::FoldCase(unit);
  return folded;
}

bool ScanGameTree(const std::u16string& folder, GameTree* tree, std::string* error) {
  *tree = {};
  const os::Handle root = os::OpenTreeRoot(folder.c_str());
  if (root == os::kInvalidHandle) {
    *error = "\"" + ToUtf8(folder) + "\" cannot be opened as a folder: " + LastErrorText();
    return false;
  }
  Scanner scanner(tree, error);
  const bool ok = scanner.Scan(root, u"", 0);
  os::CloseTreeFolder(root);
  if (!ok) *error = "\"" + ToUtf8(folder) + "\": " + *error;
  return ok;
}
