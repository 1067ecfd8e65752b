#include "app/install_transaction.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

#include "app/text_line_list.h"
#include "file/confine_rules.h"
#include "file/confined_tree.h"
#include "os/tree.h"
#include "os/tree_names.h"

namespace install {
namespace {

constexpr char16_t kLogKey[] = u"log";

// A folder of the tree held open for a few steps.
class Folder {
 public:
  Folder(const confine::Tree& tree, std::u16string_view relative, bool create)
      : handle_(os::OpenTreeFolder(tree.Root(), std::u16string(relative).c_str(), create)) {}
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder() {
    if (handle_ != os::kInvalidHandle) os::CloseTreeFolder(handle_);
  }
  os::Handle get() const { return handle_; }
  bool ok() const { return handle_ != os::kInvalidHandle; }

 private:
  os::Handle handle_;
};

// The parent of an entry below the tree, and the entry's name.
class Parent {
 public:
  Parent(const confine::Tree& tree, std::u16string_view relative)
      : handle_(tree.OpenParent(relative, false, &name_)) {}
  Parent(const Parent&) = delete;
  Parent& operator=(const Parent&) = delete;
  ~Parent() {
    if (handle_ != os::kInvalidHandle) os::CloseTreeFolder(handle_);
  }
  os::Handle get() const { return handle_; }
  const char16_t* name() const { return name_.c_str(); }
  bool ok() const { return handle_ != os::kInvalidHandle; }

 private:
  std::u16string name_;
  os::Handle handle_;
};

// The parents of one entry after another, each folder reached once for a
// run of entries in it (the switch moves files folder by folder).
class Parents {
 public:
  explicit Parents(const confine::Tree& tree) : tree_(tree) {}
  Parents(const Parents&) = delete;
  Parents& operator=(const Parents&) = delete;
  ~Parents() { Close(); }
  // Holds the parent of `relative` and its entry's name; false when the
  // parent cannot be opened.
  bool Reach(std::u16string_view relative) {
    std::u16string folder, name;
    os::ForEachComponent(relative, [&](std::u16string_view component) {
      if (!name.empty()) folder += (folder.empty() ? u"" : u"\\") + name;
      name = component;
      return true;
    });
    if (handle_ != os::kInvalidHandle && !name.empty() && folder == folder_) {
      name_ = name;
      return true;
    }
    Close();
    handle_ = tree_.OpenParent(relative, false, &name_);
    folder_ = folder;
    return handle_ != os::kInvalidHandle;
  }
  os::Handle get() const { return handle_; }
  const char16_t* name() const { return name_.c_str(); }
  // The parent below the tree, empty for the tree's own folder.
  const std::u16string& folder() const { return folder_; }

 private:
  void Close() {
    if (handle_ != os::kInvalidHandle) os::CloseTreeFolder(handle_);
    handle_ = os::kInvalidHandle;
  }

  const confine::Tree& tree_;
  std::u16string folder_;
  std::u16string name_;
  os::Handle handle_ = os::kInvalidHandle;
};

// The number that `key` holds after `prefix` (decimal, as the keys are
// written).
std::optional<std::size_t> NumberOfKey(std::u16string_view key, std::u16string_view prefix) {
  if (key.substr(0, prefix.size()) != prefix) return std::nullopt;
  key.remove_prefix(prefix.size());
  if (key.empty() || key.size() > 9 || (key.size() > 1 && key[0] == u'0')) return std::nullopt;
  std::size_t n = 0;
  for (const char16_t unit : key) {
    if (unit < u'0' || unit > u'9') return std::nullopt;
    n = n * 10 + static_cast<std::size_t>(unit - u'0');
  }
  return n;
}

std::u16string KeyOf(std::u16string_view prefix, std::size_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(prefix) + std::u16string(digits.begin(), digits.end());
}

// Staged files are named by their job, staged folders by "t" and their
// number.
constexpr std::u16string_view kTreePrefix = u"t";

// The components of `relative` joined by '\\', empty ones dropped.
std::u16string Normalised(std::u16string_view relative) {
  std::u16string joined;
  os::ForEachComponent(relative, [&](std::u16string_view name) {
    if (!joined.empty()) joined += u'\\';
    joined += name;
    return true;
  });
  return joined;
}

std::u16string Folded(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& unit : folded) unit = confine::FoldCase(unit);
  return folded;
}

Presence EntryPresence(os::Handle folder, const char16_t* name) {
  os::EntryInfo info;
  if (os::GetEntryInfo(folder, name, &info)) return Presence::kThere;
  return os::GetLastError() == os::kErrorFileNotFound ? Presence::kAbsent : Presence::kUnknown;
}

// Moves the old entry to `key` in the backup part. A link the system
// cannot move itself (it would move what the link points to) is removed as
// a link instead: nothing outside is touched, and a rollback leaves no link.
bool BackUp(const Parents& target, os::Handle backup, const char16_t* key) {
  if (os::RenameEntry(target.get(), target.name(), backup, key)) return true;
  return os::GetLastError() == os::kErrorStoppedOnSymlink &&
         os::DeleteEntry(target.get(), target.name());
}

}  // namespace

Presence FolderPresence(const confine::Tree& tree, const std::u16string& folder) {
  os::Handle handle = os::OpenTreeFolder(tree.Root(), folder.c_str(), false);
  if (handle != os::kInvalidHandle) {
    os::CloseTreeFolder(handle);
    return Presence::kThere;
  }
  const std::uint32_t error = os::GetLastError();
  return error == os::kErrorPathNotFound || error == os::kErrorFileNotFound ? Presence::kAbsent
                                                                            : Presence::kUnknown;
}

std::vector<std::u16string> FoldersAbove(std::u16string_view relative) {
  std::vector<std::u16string> folders;
  for (std::size_t i = 0; i < relative.size(); ++i)
    if (relative[i] == u'\\' || relative[i] == u'/') folders.emplace_back(relative.substr(0, i));
  return folders;
}

std::u16string FullPath(const confine::Tree& tree, std::u16string_view relative) {
  return relative.empty() ? tree.Path() : tree.Path() + u"\\" + std::u16string(relative);
}

bool Transaction::Fail(std::u16string_view path) {
  if (failure_.error == 0) {
    failure_.error = os::GetLastError();
    if (failure_.error == 0) failure_.error = os::kErrorInvalidHandle;
    failure_.path = path;
  }
  return false;
}

bool Transaction::WriteState() { return WriteJournal(tree_, journal_) || Fail(kJournalPath); }

bool Transaction::Begin() {
  Folder root(tree_, u"", false);
  if (!root.ok()) return Fail(u"");
  const Presence work = EntryPresence(root.get(), kWorkFolder);
  if (work != Presence::kAbsent) {
    if (work == Presence::kThere) os::SetLastError(os::kErrorAlreadyExists);
    return Fail(kWorkFolder);
  }
  if (!Folder(tree_, kWorkFolder, true).ok()) return Fail(kWorkFolder);
  begun_ = true;
  // The journal is first written by the switch: until then it would only
  // say "staging", which a work folder without one says as well (nothing
  // to put back).
  journal_ = Journal{};
  bool made = true;
  for (const char16_t* part : {kStagedFolder, kBackupFolder, kDeletedFolder})
    made = made && (Folder(tree_, part, true).ok() || Fail(part));
  if (!made && RemoveWorkFolder()) begun_ = false;
  return made;
}

std::vector<std::u16string> Transaction::PlanStaging(const std::vector<std::u16string>& targets) {
  // The topmost folder above each job that the game lacks, asking about
  // each folder once.
  std::map<std::u16string, Presence> asked;
  std::vector<std::u16string> paths(targets.size()), roots(targets.size());
  std::map<std::u16string, std::vector<std::u16string>> spellings;  // by folded root
  std::set<std::u16string> named;  // folded paths of the jobs below new folders
  std::set<std::u16string> named_twice;  // folded roots of which a job names a path again
  for (std::size_t n = 0; n < targets.size(); ++n) {
    paths[n] = Normalised(targets[n]);
    for (std::size_t end = paths[n].find(u'\\'); end != std::u16string::npos;
         end = paths[n].find(u'\\', end + 1)) {
      const std::u16string folder = paths[n].substr(0, end);
      auto [known, fresh] = asked.try_emplace(folder, Presence::kUnknown);
      if (fresh) known->second = FolderPresence(tree_, folder);
      if (known->second == Presence::kThere) continue;
      // A folder that cannot be asked about is left to the switch, which
      // then reports it.
      if (known->second == Presence::kAbsent) roots[n] = folder;
      break;
    }
    if (roots[n].empty()) continue;
    const std::u16string root = Folded(roots[n]);
    if (!named.insert(Folded(paths[n])).second) named_twice.insert(root);
    std::vector<std::u16string>& spelled = spellings[root];
    if (std::find(spelled.begin(), spelled.end(), roots[n]) == spelled.end())
      spelled.push_back(roots[n]);
  }
  // Folders whose names differ only in case would be one folder on some
  // systems and two on others, and a file named twice cannot be written
  // twice into a staged folder, where each is written once: the jobs of
  // such folders are staged one by one.
  std::map<std::u16string, std::u16string> keys;  // by root
  trees_.clear();
  for (const auto& [folded, spelled] : spellings) {
    if (spelled.size() != 1 || named_twice.count(folded)) continue;
    keys[spelled.front()] = KeyOf(kTreePrefix, trees_.size());
    trees_.push_back({keys[spelled.front()], spelled.front()});
  }
  for (std::size_t n = 0; n < targets.size(); ++n) {
    // A job that names a new folder itself (a folder job) is that folder.
    auto own = keys.find(paths[n]);
    auto root = keys.find(roots[n]);
    if (own != keys.end()) paths[n] = own->second;
    else if (root != keys.end()) paths[n] = root->second + paths[n].substr(roots[n].size());
    else paths[n].clear();
  }
  return paths;
}

bool Transaction::StageLog(const std::vector<std::u16string>& log_lines) {
  TextLineList log;
  if (!log.Load(tree_, kLogPath)) {
    // A link of that name is never read through: it is replaced.
    Parent installed(tree_, kLogPath);
    os::EntryInfo info;
    if (!installed.ok()) return Fail(kLogPath);
    if (os::GetEntryInfo(installed.get(), installed.name(), &info)
            ? info.kind != os::EntryKind::kLink
            : os::GetLastError() != os::kErrorFileNotFound)
      return Fail(kLogPath);
  }
  for (const std::u16string& line : log_lines) log.Append(line.c_str());
  log.SortUnique();
  return log.Save(tree_, (std::u16string(kStagedFolder) + u"\\" + kLogKey).c_str()) ||
         Fail(kLogPath);
}

bool Transaction::Switch(const std::vector<std::u16string>& deletions,
                         const std::vector<std::u16string>& targets,
                         const std::vector<std::u16string>& log_lines) {
  if (!StageLog(log_lines)) return false;
  journal_.state = Journal::State::kSwitching;
  for (std::size_t k = 0; k < deletions.size(); ++k) {
    const std::string digits = std::to_string(k);
    journal_.deletions.push_back({std::u16string(digits.begin(), digits.end()), deletions[k]});
  }
  // Without delete entries nothing moves before the lists are complete,
  // and the journal is written once.
  return (deletions.empty() || (WriteState() && MoveDeletions(deletions))) &&
         ListSwitch(targets) && WriteState() && MakeFolders() && PutFilesInPlace();
}

bool Transaction::MoveDeletions(const std::vector<std::u16string>& deletions) {
  Folder deleted(tree_, kDeletedFolder, false);
  if (!deleted.ok()) return Fail(kDeletedFolder);
  for (std::size_t k = 0; k < deletions.size(); ++k) {
    const JournalEntry& entry = journal_.deletions[k];
    // Entries the rules refuse, or that are not there, stay out of it.
    if (tree_.MoveAside(entry.relative, deleted.get(), entry.key.c_str()) ==
        confine::DeleteResult::kIncomplete)
      return Fail(entry.relative);
  }
  return os::FlushTreeFolder(deleted.get()) || Fail(kDeletedFolder);
}

bool Transaction::ListSwitch(const std::vector<std::u16string>& targets) {
  // One listing of the staged part tells which jobs left a file there and
  // which new folders were made, where asking for each would cost a system
  // call per file.
  Folder staged(tree_, kStagedFolder, false);
  std::vector<std::u16string> names;
  if (!staged.ok() || !os::ListFolderNames(staged.get(), &names)) return Fail(kStagedFolder);
  std::vector<bool> present(targets.size()), tree_present(trees_.size());
  for (const std::u16string& name : names) {
    const std::optional<std::size_t> n = NumberOfKey(name, u"");
    const std::optional<std::size_t> k = NumberOfKey(name, kTreePrefix);
    if (n && *n < targets.size()) present[*n] = true;
    if (k && *k < trees_.size()) tree_present[*k] = true;
  }
  std::vector<JournalEntry> files, trees;
  for (std::size_t n = 0; n < targets.size(); ++n)
    if (present[n]) files.push_back({KeyOf(u"", n), targets[n]});
  files.push_back({kLogKey, kLogPath});
  for (std::size_t k = 0; k < trees_.size(); ++k)
    if (tree_present[k]) trees.push_back(trees_[k]);
  // Each folder is asked about once, not once for every file below it.
  std::set<std::u16string> asked(journal_.folders.begin(), journal_.folders.end());
  for (const std::vector<JournalEntry>* moved : {&files, &trees}) {
    for (const JournalEntry& entry : *moved) {
      for (const std::u16string& folder : FoldersAbove(entry.relative)) {
        if (!asked.insert(folder).second) continue;
        const Presence there = FolderPresence(tree_, folder);
        if (there == Presence::kUnknown) return Fail(folder);
        if (there == Presence::kAbsent) journal_.folders.push_back(folder);
      }
    }
  }
  journal_.files = std::move(files);
  journal_.trees = std::move(trees);
  return true;
}

bool Transaction::MakeFolders() {
  for (const std::u16string& folder : journal_.folders)
    if (!Folder(tree_, folder, true).ok()) return Fail(folder);
  return true;
}

bool Transaction::PutFilesInPlace() {
  Folder staged(tree_, kStagedFolder, false);
  Folder backup(tree_, kBackupFolder, false);
  if (!staged.ok() || !backup.ok()) return Fail(kWorkFolder);
  std::vector<std::u16string> changed;  // the folders files went into
  Parents target(tree_);
  for (const JournalEntry& file : journal_.files) {
    if (!target.Reach(file.relative)) return Fail(file.relative);
    const Presence installed = EntryPresence(target.get(), target.name());
    if (installed == Presence::kUnknown) return Fail(file.relative);
    if (installed == Presence::kThere && !BackUp(target, backup.get(), file.key.c_str()))
      return Fail(file.relative);
    if (!os::RenameEntry(staged.get(), file.key.c_str(), target.get(), target.name()))
      return Fail(file.relative);
    if (changed.empty() || changed.back() != target.folder()) changed.push_back(target.folder());
  }
  // A new folder moves in whole; it never replaces what came meanwhile.
  for (const JournalEntry& tree : journal_.trees) {
    if (!target.Reach(tree.relative)) return Fail(tree.relative);
    const Presence installed = EntryPresence(target.get(), target.name());
    if (installed == Presence::kThere) os::SetLastError(os::kErrorAlreadyExists);
    if (installed != Presence::kAbsent ||
        !os::RenameEntry(staged.get(), tree.key.c_str(), target.get(), target.name()))
      return Fail(tree.relative);
    changed.push_back(target.folder());
  }
  // The folders are flushed together, after all the moves, not each after
  // its own: file systems write renames to their journal in the order they
  // were made, so after a power cut the moves that stay are a prefix of the
  // journal's list, which a rollback undoes like a crash at that point. The
  // commit point is written only after this flush.
  std::sort(changed.begin(), changed.end());
  changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
  // A batch of folders is held open at a time, so that a game of many
  // folders never runs out of handles.
  constexpr std::size_t kBatch = 64;
  for (std::size_t first = 0; first == 0 || first < changed.size(); first += kBatch) {
    std::vector<std::unique_ptr<Folder>> opened;
    std::vector<os::Handle> handles;
    if (first == 0) handles.push_back(backup.get());
    for (std::size_t k = first; k < changed.size() && k < first + kBatch; ++k) {
      opened.push_back(std::make_unique<Folder>(tree_, changed[k], false));
      if (!opened.back()->ok()) return Fail(changed[k]);
      handles.push_back(opened.back()->get());
    }
    if (!os::FlushTreeFolders(handles.data(), handles.size()))
      return Fail(first < changed.size() ? changed[first] : kBackupFolder);
  }
  return true;
}

bool Transaction::Commit() {
  Journal committed;
  committed.state = Journal::State::kCommitted;
  if (!WriteJournal(tree_, committed)) return Fail(kJournalPath);
  journal_ = committed;
  RemoveWorkFolder();
  begun_ = false;
  return true;
}

bool Transaction::Rollback() {
  if (!begun_) return true;
  if (journal_.state == Journal::State::kSwitching) {
    // A commit point that failed half-way may be on the disk: the journal
    // must say "switching" again before anything moves back.
    if (!WriteState()) return false;
    for (auto file = journal_.files.rbegin(); file != journal_.files.rend(); ++file)
      if (!RollBackFile(*file)) return false;
    for (auto tree = journal_.trees.rbegin(); tree != journal_.trees.rend(); ++tree)
      if (!RollBackTree(*tree)) return false;
    for (auto folder = journal_.folders.rbegin(); folder != journal_.folders.rend(); ++folder)
      if (!RemoveMadeFolder(*folder)) return false;
    for (auto deletion = journal_.deletions.rbegin(); deletion != journal_.deletions.rend();
         ++deletion)
      if (!RestoreDeletion(*deletion)) return false;
  }
  if (!RemoveWorkFolder()) return false;
  begun_ = false;
  return true;
}

// The states a file passes through, forwards: staged (old file in place),
// old file in the backup, new file in place. Backwards the new file goes
// back to the staged part first, so every state tells what is left to do.
bool Transaction::RollBackFile(const JournalEntry& file) {
  Folder staged(tree_, kStagedFolder, false);
  Folder backup(tree_, kBackupFolder, false);
  if (!staged.ok() || !backup.ok()) return Fail(kWorkFolder);
  const Presence is_staged = EntryPresence(staged.get(), file.key.c_str());
  const Presence backed_up = EntryPresence(backup.get(), file.key.c_str());
  if (is_staged == Presence::kUnknown || backed_up == Presence::kUnknown) return Fail(kWorkFolder);
  if (is_staged == Presence::kThere && backed_up == Presence::kAbsent) return true;
  Parent target(tree_, file.relative);
  if (!target.ok()) return Fail(file.relative);
  if (is_staged == Presence::kAbsent) {
    const Presence installed = EntryPresence(target.get(), target.name());
    if (installed == Presence::kUnknown) return Fail(file.relative);
    if (installed == Presence::kThere &&
        !os::RenameEntry(target.get(), target.name(), staged.get(), file.key.c_str()))
      return Fail(file.relative);
  }
  if (backed_up == Presence::kThere &&
      !os::RenameEntry(backup.get(), file.key.c_str(), target.get(), target.name()))
    return Fail(file.relative);
  return os::FlushTreeFolder(target.get()) || Fail(file.relative);
}

// A new folder that moved in goes back to the staged part, which goes with
// the work folder.
bool Transaction::RollBackTree(const JournalEntry& tree) {
  Folder staged(tree_, kStagedFolder, false);
  if (!staged.ok()) return Fail(kWorkFolder);
  const Presence is_staged = EntryPresence(staged.get(), tree.key.c_str());
  if (is_staged == Presence::kUnknown) return Fail(kWorkFolder);
  if (is_staged == Presence::kThere) return true;
  Parent target(tree_, tree.relative);
  if (!target.ok()) return Fail(tree.relative);
  const Presence installed = EntryPresence(target.get(), target.name());
  if (installed == Presence::kUnknown) return Fail(tree.relative);
  if (installed == Presence::kAbsent) return true;
  return (os::RenameEntry(target.get(), target.name(), staged.get(), tree.key.c_str()) &&
          os::FlushTreeFolder(target.get())) ||
         Fail(tree.relative);
}

// A folder the install made goes only when it is empty again: what was put
// there meanwhile, or what a damaged journal names, is never deleted.
bool Transaction::RemoveMadeFolder(const std::u16string& folder) {
  {
    Folder made(tree_, folder, false);
    std::vector<os::FolderEntry> entries;
    if (!made.ok()) {
      const std::uint32_t error = os::GetLastError();
      return error == os::kErrorPathNotFound || error == os::kErrorFileNotFound || Fail(folder);
    }
    if (!os::ListFolder(made.get(), &entries)) return Fail(folder);
    if (!entries.empty()) return true;
  }
  const confine::DeleteResult removed = tree_.Delete(folder);
  return removed == confine::DeleteResult::kDeleted || removed == confine::DeleteResult::kAbsent ||
         Fail(folder);
}

bool Transaction::RestoreDeletion(const JournalEntry& deletion) {
  Folder deleted(tree_, kDeletedFolder, false);
  if (!deleted.ok()) return Fail(kDeletedFolder);
  const Presence moved = EntryPresence(deleted.get(), deletion.key.c_str());
  if (moved == Presence::kUnknown) return Fail(kDeletedFolder);
  if (moved == Presence::kAbsent) return true;
  Parent target(tree_, deletion.relative);
  if (!target.ok() ||
      !os::RenameEntry(deleted.get(), deletion.key.c_str(), target.get(), target.name()) ||
      !os::FlushTreeFolder(target.get()))
    return Fail(deletion.relative);
  return true;
}

bool Transaction::FlushWorkFolder() {
  // Closed again before the folder goes: Windows removes no open folder.
  Folder work(tree_, kWorkFolder, false);
  return !work.ok() ? os::GetLastError() == os::kErrorPathNotFound
                    : os::FlushTreeFolder(work.get());
}

bool Transaction::RemoveWorkFolder() {
  auto gone = [](confine::DeleteResult removed) {
    return removed == confine::DeleteResult::kDeleted || removed == confine::DeleteResult::kAbsent;
  };
  // The journal goes first, and for good: a work folder without one holds
  // nothing to put back, while a journal whose parts are half removed
  // could not be followed at the next start. A committed journal asks for
  // nothing but this clean-up, so it may outlive any of its parts.
  // A second pass takes what a passing failure (a scanner holding a file)
  // left; what still stays is removed at the next start.
  const bool committed = journal_.state == Journal::State::kCommitted;
  for (int pass = 0; pass < 2; ++pass) {
    if (!gone(tree_.Delete(kJournalPath, true)) || !(committed || FlushWorkFolder())) continue;
    if (gone(tree_.Delete(kWorkFolder, true))) return true;
  }
  return Fail(kWorkFolder);
}

Recovery Transaction::Recover(const confine::Tree& tree, Failure* failure) {
  Transaction transaction(tree);
  Recovery outcome = Recovery::kFinished;
  {
    Folder root(tree, u"", false);
    const Presence work = root.ok() ? EntryPresence(root.get(), kWorkFolder) : Presence::kUnknown;
    if (work == Presence::kAbsent) return Recovery::kNothing;
    if (work == Presence::kUnknown) {
      transaction.Fail(kWorkFolder);
      *failure = transaction.failure_;
      return Recovery::kFailed;
    }
  }
  transaction.begun_ = true;
  switch (ReadJournal(tree, &transaction.journal_)) {
    case JournalRead::kRead:
      if (transaction.journal_.state == Journal::State::kSwitching) outcome = Recovery::kRolledBack;
      break;
    case JournalRead::kAbsent: break;  // before the journal or after the clean-up began
    case JournalRead::kDamaged:
      os::SetLastError(os::kErrorInvalidParameter);
      transaction.Fail(kJournalPath);
      *failure = transaction.failure_;
      return Recovery::kFailed;
    case JournalRead::kFailed:
      transaction.Fail(kJournalPath);
      *failure = transaction.failure_;
      return Recovery::kFailed;
  }
  if (transaction.journal_.state == Journal::State::kCommitted) transaction.journal_ = Journal{};
  if (transaction.Rollback()) return outcome;
  *failure = transaction.failure_;
  return Recovery::kFailed;
}

}  // namespace install
