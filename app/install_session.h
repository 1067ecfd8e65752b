// One run of the updater on one install folder: the folder, the lock held
// on it, the plan (files to copy, entries to delete), the transaction with
// its journal, the worker, and how the run ends. The window procedures only
// show what it decides; tests drive it without any window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/install_preflight.h"
#include "app/install_transaction.h"
#include "app/install_worker.h"
#include "file/confined_tree.h"

struct UpdateInfo;

namespace os {
struct FolderLock;
}

// The process's exit code.
enum class RunExit : int {
  kApplied = 0,         // the patch was applied
  kFailed = 1,          // it failed; the game was left as it was
  kRefused = 2,         // cancelled, or refused before anything was touched
  kRecoveryFailed = 3,  // an install could not be undone or finished
};

class InstallSession {
 public:
  enum class Outcome {
    kApplied,      // committed
    kRolledBack,   // failed, and the game is as it was
    kNotRestored,  // failed, and the game could not be put back (journal kept)
  };

  InstallSession();
  ~InstallSession();
  InstallSession(const InstallSession&) = delete;
  InstallSession& operator=(const InstallSession&) = delete;

  // Takes `folder` as the install folder under the confinement rules;
  // `patch_folder` must stay out of reach.
  confine::Rule OpenInstallFolder(const char16_t* folder, const char16_t* patch_folder);
  const confine::Tree& Tree() const { return tree_; }

  // Takes the install folder's lock for the rest of the run (again only when
  // the folder changed). False when another updater holds it or it cannot
  // be taken.
  bool LockInstallFolder();
  // Puts an interrupted install in order; needs the lock.
  install::Recovery RecoverInterrupted(install::Failure* failure);

  // Whether the game shows that it runs (`mutex` or `confmutex`). A probe
  // that cannot tell counts as not running: the install itself then fails
  // safely on a file in use.
  static bool GameIsRunning(const UpdateInfo& info);

  // The checks after the confirmation, in this order: paths, access, room.
  // `data_folder` holds the copy list's files.
  install::Refusal Check(const std::u16string& data_folder,
                         const std::vector<std::u16string>& copy_list,
                         const std::vector<std::u16string>& delete_list);

  // Begins the transaction and starts the worker on the copy list. False
  // when either fails (FailureText says why); nothing of the game was touched.
  bool Start(const std::u16string& data_folder, const std::vector<std::u16string>& copy_list,
             const std::vector<std::u16string>& delete_list, WorkerCallback callback, void* user);

  // After the worker's finished report: switches and commits when the copies
  // succeeded, else (or when the switch fails) rolls back.
  Outcome Finish(bool copies_failed);

  // The text of a failure of the transaction's own steps (not the worker's),
  // in the worker's style: the path and the system's text; empty when none.
  std::u16string FailureText() const;

  // Set by the window procedures as the run goes; the process's exit code.
  RunExit exit = RunExit::kRefused;
  // A failure of the copy was reported; the error_copy box is shown once.
  bool failure_mark = false;
  bool failure_box_shown = false;
  // The worker's end report came while that box was open; it waits for it.
  bool failure_box_open = false;
  bool finish_waiting = false;

 private:
  void StopWorker();

  confine::Tree tree_;
  os::FolderLock* lock_ = nullptr;
  std::u16string locked_path_;
  std::unique_ptr<install::Transaction> transaction_;
  std::unique_ptr<InstallWorker> worker_;
  std::vector<std::u16string> copy_list_;
  std::vector<std::u16string> delete_list_;
  std::u16string start_failure_;
  bool started_ = false;
};
