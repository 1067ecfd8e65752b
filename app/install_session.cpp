#include "app/install_session.h"

#include "app/update_info.h"
#include "app/worker_messages.h"
#include "file/native_file.h"
#include "os/locks.h"
#include "base/debug_log.h"
#include "base/format.h"

namespace {

// Room for install.log, the journal and the work folder's entries besides
// the staged copies.
constexpr std::uint64_t kBookkeepingBytes = 1u << 20;
constexpr std::uint32_t kErrorTextCapacity = 4096;

// The worker's failure message for `format` with a path and the system's
// text for `code`.
std::u16string FormatFailure(const char16_t* format, const std::u16string& path,
                             std::uint32_t code) {
  std::u16string detail(kErrorTextCapacity, u'\0');
  if (os::GetErrorText(code, detail.data(), kErrorTextCapacity) == 0) detail[0] = 0;
  std::u16string text(kWorkerMessageCapacity, u'\0');
  FormatWide(text.data(), kWorkerMessageCapacity, InstallWorker::StripMessageId(format),
             path.c_str(), detail.c_str());
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  return text;
}

bool MutexExists(const char16_t* name) {
  bool exists = false;
  if (name[0] == 0) return false;
  if (!os::NamedMutexExists(name, &exists)) {
    DebugLogW(u"mutex [%s] cannot be probed", name);
    return false;
  }
  return exists;
}

}  // namespace

InstallSession::InstallSession() = default;

InstallSession::~InstallSession() {
  StopWorker();
  if (lock_) os::UnlockFolder(lock_);
}

confine::Rule InstallSession::OpenInstallFolder(const char16_t* folder,
                                                const char16_t* patch_folder) {
  return tree_.Open(folder, {patch_folder ? patch_folder : u""});
}

bool InstallSession::LockInstallFolder() {
  if (lock_ && locked_path_ == tree_.Path()) return true;
  if (lock_) os::UnlockFolder(lock_);
  lock_ = tree_.IsOpen() ? os::LockFolder(tree_.Path().c_str()) : nullptr;
  locked_path_ = lock_ ? tree_.Path() : u"";
  return lock_ != nullptr;
}

install::Recovery InstallSession::RecoverInterrupted(install::Failure* failure) {
  return install::Transaction::Recover(tree_, failure);
}

bool InstallSession::GameIsRunning(const UpdateInfo& info) {
  return MutexExists(info.mutex) || MutexExists(info.confmutex);
}

install::Refusal InstallSession::Check(const std::u16string& data_folder,
                                       const std::vector<std::u16string>& copy_list,
                                       const std::vector<std::u16string>& delete_list) {
  install::Refusal refusal = install::CheckPathsFit(tree_, data_folder, copy_list);
  if (refusal.kind == install::Refusal::Kind::kNone)
    refusal = install::CheckWriteAccess(tree_, copy_list, delete_list);
  if (refusal.kind != install::Refusal::Kind::kNone) return refusal;
  std::uint64_t bytes = kBookkeepingBytes;
  for (const std::u16string& entry : copy_list) {
    const std::u16string source = data_folder + u"\\" + entry;
    bytes += qvFile::GetSize64Of(source.c_str());
    bytes += 2 * (tree_.Path().size() + entry.size() + 4);  // its install.log line
  }
  bytes += qvFile::GetSize64Of(install::FullPath(tree_, install::kLogPath).c_str());
  return install::CheckFreeSpace(tree_, bytes);
}

bool InstallSession::Start(const std::u16string& data_folder,
                           const std::vector<std::u16string>& copy_list,
                           const std::vector<std::u16string>& delete_list,
                           WorkerCallback callback, void* user) {
  copy_list_ = copy_list;
  delete_list_ = delete_list;
  transaction_ = std::make_unique<install::Transaction>(tree_);
  if (!transaction_->Begin()) return false;
  worker_ = std::make_unique<InstallWorker>(3, 0);
  worker_->SetVersionCheck(1);
  worker_->SetDestinationTree(&tree_);
  worker_->SetStagingFolder(install::kStagedFolder);
  worker_->SetStagedPaths(transaction_->PlanStaging(copy_list));
  for (const std::u16string& entry : copy_list) {
    const std::u16string source = data_folder + u"\\" + entry;
    worker_->Add(source.c_str(), install::FullPath(tree_, entry).c_str(), 0);
  }
  started_ = worker_->Start(callback, user, nullptr) != 0;
  if (started_) return true;
  start_failure_ = FormatFailure(kThreadFailureFormat, tree_.Path(), 0);
  worker_.reset();
  return false;
}

InstallSession::Outcome InstallSession::Finish(bool copies_failed) {
  StopWorker();
  if (!transaction_) return Outcome::kRolledBack;
  if (started_ && !copies_failed) {
    std::vector<std::u16string> log_lines;
    for (const std::u16string& entry : copy_list_)
      log_lines.push_back(u"\"" + install::FullPath(tree_, entry) + u"\"");
    if (transaction_->Switch(delete_list_, copy_list_, log_lines) && transaction_->Commit())
      return Outcome::kApplied;
  }
  return transaction_->Rollback() ? Outcome::kRolledBack : Outcome::kNotRestored;
}

std::u16string InstallSession::FailureText() const {
  if (!start_failure_.empty()) return start_failure_;
  if (!transaction_ || transaction_->LastFailure().error == 0) return {};
  const install::Failure& failure = transaction_->LastFailure();
  return FormatFailure(kReplaceFailureFormat, install::FullPath(tree_, failure.path),
                       failure.error);
}

void InstallSession::StopWorker() { worker_.reset(); }
