// An install as one transaction on the game folder: the game is either
// left as it was or ends up wholly new, whatever fails and even when the
// process dies half-way.
//
//   Begin       makes the work folder (the journal is first written by
//               the switch: a work folder without one holds nothing to put
//               back).
//   PlanStaging decides where each new file is staged: a folder that the
//               game lacks is staged whole, the other files one by one.
//   (copies)    the installer worker writes every new file complete and
//               flushed into the staged part (InstallWorker::SetStagingFolder);
//               no file of the game is touched meanwhile.
//   Switch      stages install.log, moves the delete entries aside, makes
//               missing folders, renames each staged file over its target,
//               the old file going to the backup part, and each staged
//               folder to its place; each step is in the journal before it
//               is done.
//   Commit      writes "committed" into the journal (the commit point) and
//               removes the work folder with the backups.
//   Rollback    puts everything back from the journal, before the commit.
//   Recover     at the next start, after a crash: rolls back or finishes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/install_journal.h"

namespace install {

// The first thing that failed: the system's error and the path it failed on
// (below the install folder; empty for the work folder).
struct Failure {
  std::uint32_t error = 0;
  std::u16string path;
};

// Every folder on the way to `relative`'s entry, parents first.
std::vector<std::u16string> FoldersAbove(std::u16string_view relative);

// Whether the folder `relative` can be entered (reached without links), is
// missing, or cannot be told: a link or a file in the way, or an error.
enum class Presence { kThere, kAbsent, kUnknown };
Presence FolderPresence(const confine::Tree& tree, const std::u16string& relative);

// `relative` below the tree's folder, for people to read.
std::u16string FullPath(const confine::Tree& tree, std::u16string_view relative);

// install.log below the install folder.
inline constexpr char16_t kLogPath[] = u"install.log";

enum class Recovery {
  kNothing,     // no work folder: nothing was interrupted
  kRolledBack,  // an interrupted install was undone
  kFinished,    // a committed one was finished, or only our own files were left
  kFailed,      // it could not be put in order; the journal stays
};

class Transaction {
 public:
  explicit Transaction(const confine::Tree& tree) : tree_(tree) {}
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Makes the work folder (which must not exist) and its parts, without a
  // journal yet. On failure what was made is removed.
  bool Begin();
  // Where the worker stages each job of `targets` (InstallWorker::
  // SetStagedPaths, by job index): a job below folders that the game lacks
  // goes into a staged copy of the topmost of them, which the switch moves
  // in with one rename; the other jobs get an empty path (a staged file of
  // their own). Folders whose names differ only in case stay out of it.
  std::vector<std::u16string> PlanStaging(const std::vector<std::u16string>& targets);

  // `deletions` are the delete entries, `targets` the destinations below the
  // install folder by job index (a job whose staged file is missing was kept
  // and is left alone), and `log_lines` the lines install.log gains: they
  // are merged into its old lines (sorted, each once), and the result is
  // staged like any file. An install.log that is there but cannot be read
  // fails the switch: its lines are never dropped.
  bool Switch(const std::vector<std::u16string>& deletions,
              const std::vector<std::u16string>& targets,
              const std::vector<std::u16string>& log_lines);
  // The commit point, then the clean-up (whose failure leaves only the work
  // folder, removed at the next start). False when the commit point could
  // not be written; the install must then be rolled back.
  bool Commit();
  // Undoes whatever Begin and Switch did. False when something could not
  // be put back; the journal then stays for the next start.
  bool Rollback();

  // What a new run does first: puts an interrupted install in order.
  static Recovery Recover(const confine::Tree& tree, Failure* failure);

  const Failure& LastFailure() const { return failure_; }

 private:
  bool Fail(std::u16string_view path);
  bool WriteState();
  bool StageLog(const std::vector<std::u16string>& log_lines);
  bool MoveDeletions(const std::vector<std::u16string>& deletions);
  bool ListSwitch(const std::vector<std::u16string>& targets);
  bool MakeFolders();
  bool PutFilesInPlace();
  bool RollBackFile(const JournalEntry& file);
  bool RollBackTree(const JournalEntry& tree);
  bool RemoveMadeFolder(const std::u16string& folder);
  bool RestoreDeletion(const JournalEntry& deletion);
  // Makes the work folder's entries durable; true when it is gone.
  bool FlushWorkFolder();
  bool RemoveWorkFolder();

  const confine::Tree& tree_;
  Journal journal_;
  std::vector<JournalEntry> trees_;  // planned: staged folder and its place
  bool begun_ = false;
  Failure failure_;
};

}  // namespace install
