#include "app/updater/install_procedure.h"

#include <algorithm>
#include <string>

#include "app/install_files.h"
#include "app/install_session.h"
#include "app/install_worker.h"
#include "app/patch_check_texts.h"
#include "app/text_line_list.h"
#include "app/update_info.h"
#include "app/updater/messages.h"
#include "os/file.h"
#include "os/folders.h"
#include "os/process.h"
#include "os/thread.h"
#include "base/debug_log.h"
#include "util/integer.h"
#include "util/path.h"

namespace {

char16_t g_install_folder[kInstallPathCapacity] = {};
// The run's install session: the install folder, its lock, the plan, the
// transaction and the worker. GUI thread only, except that the worker's
// callback reads nothing of it.
InstallSession* g_session = nullptr;
// The data folder, once entered.
std::u16string g_data_folder;
// Tests set QV_TEST_REPORT_DELAY (milliseconds, at most a second) to make
// the worker pause after each progress report, so the progress dialog can
// be watched moving. Unset, nothing waits.
std::uint32_t g_report_delay = 0;
constexpr std::int32_t kMaxReportDelay = 1000;

constexpr std::intptr_t kDialogResult = 2;

InstallSession& Session() {
  if (!g_session) g_session = new InstallSession;
  return *g_session;
}

// A box owned by the main window that ends the run before anything was
// touched.
void RefuseRun(ui::Window* main_window, const std::u16string& text) {
  ui::ShowMessageBox(main_window, text.c_str(), GetUpdateInfo().current.wndtitle, ui::Buttons::kOk);
  Session().exit = RunExit::kRefused;
  ui::PostMessage(main_window, UM_CLOSE);
}

void ShowInstallFolderError(ui::Window* main_window) {
  RefuseRun(main_window, GetUpdateInfo().current.error_inst);
}

// The updater's own folder (the patch) must not be the install folder or
// inside it, and the install folder must be an ordinary folder of its own.
bool AcceptInstallFolder() {
  char16_t patch[kWorkingPathCapacity] = {};
  os::GetCurrentDirectory(patch, kWorkingPathCapacity);
  confine::Rule rule = Session().OpenInstallFolder(g_install_folder, patch);
  if (rule == confine::Rule::kOk) return true;
  DebugLogW(u"install folder refused [%s]", g_install_folder);
  DebugLog("install folder refused: %s", confine::RuleCode(rule));
  return false;
}

bool FindInstallFolder() {
  char16_t record[kWorkingPathCapacity] = {};
  return FormRecordPath(GetUpdateInfo(), record, kWorkingPathCapacity) &&
         ReadInstallFolder(record, g_install_folder, kInstallPathCapacity) && AcceptInstallFolder();
}

// With the install folder locked: an install that a crash or a power cut
// interrupted is undone (or finished) first, and the player is told so.
// False when it cannot be put in order; the run then ends.
bool RecoverInterruptedInstall(ui::Window* main_window) {
  install::Failure failure;
  const install::Recovery recovery = Session().RecoverInterrupted(&failure);
  const LanguageRecord& texts = GetUpdateInfo().current;
  if (recovery == install::Recovery::kNothing) return true;
  if (recovery != install::Recovery::kFailed) {
    ui::ShowMessageBox(main_window, texts.recovered, texts.wndtitle, ui::Buttons::kOk);
    return true;
  }
  DebugLogW(u"recovery failed [%s]", failure.path.c_str());
  std::u16string text = texts.error_recovery;
  text += u"\n" + install::FullPath(Session().Tree(), failure.path);
  ui::ShowMessageBox(main_window, text.c_str(), texts.title, ui::Buttons::kOk);
  Session().exit = RunExit::kRecoveryFailed;
  ui::PostMessage(main_window, UM_CLOSE);
  return false;
}

// Before the confirmation, when the install folder can be had and locked.
bool RecoverBeforeConfirmation(ui::Window* main_window) {
  if (!FindInstallFolder() || !Session().LockInstallFolder()) return true;
  return RecoverInterruptedInstall(main_window);
}

// A box naming what in the data folder cannot be installed.
void ShowPatchDataError(ui::Window* main_window, const confine::Finding& finding) {
  const LanguageRecord& texts = GetUpdateInfo().current;
  std::u16string text = PatchCheckTextFor(texts, finding.rule);
  text += u"\ndata";
  if (!finding.path.empty()) text += u"\\" + finding.path;
  RefuseRun(main_window, text);
}

// Enters the data folder beside the updater for the rest of the run and
// lists its files, or refuses the run (false) when one of them cannot be
// installed whole. When the folder cannot be entered nothing is listed: the
// updater's own files must never be taken for the patch's.
bool ListFilesToCopy(ui::Window* main_window) {
  UpdateInfo& info = GetUpdateInfo();
  char16_t current[kWorkingPathCapacity] = {};
  char16_t data[kWorkingPathCapacity] = {};
  if (!os::GetCurrentDirectory(current, kWorkingPathCapacity) ||
      !JoinPath(data, kWorkingPathCapacity, {current, u"data"}) ||
      !os::SetCurrentDirectory(data)) {
    DebugLog("data folder not found: nothing to copy");
    return true;
  }
  g_data_folder = data;
  confine::Finding finding = ListPatchData(data, Session().Tree(), &info.copy_list);
  if (finding.rule == confine::Rule::kOk) return true;
  DebugLog("data folder refused: %s", confine::RuleCode(finding.rule));
  ShowPatchDataError(main_window, finding);
  return false;
}

// The checks after the confirmation, before anything is touched: no other
// updater on the folder, the game not running (OK retries, Cancel ends),
// every path fits, everything may be written, and there is room.
bool CheckBeforeInstall(ui::Window* main_window) {
  const UpdateInfo& info = GetUpdateInfo();
  const LanguageRecord& texts = info.current;
  if (!Session().LockInstallFolder()) {
    RefuseRun(main_window, texts.error_busy);
    return false;
  }
  // The lock may be new: another updater held the folder at the start and
  // has ended since, perhaps killed half-way. What it left is put in order
  // before anything else; when the lock was held since then, this finds
  // nothing.
  if (!RecoverInterruptedInstall(main_window)) return false;
  while (InstallSession::GameIsRunning(info)) {
    if (ui::ShowMessageBox(main_window, texts.error_running, texts.wndtitle,
                           ui::Buttons::kOkCancel) != ui::Answer::kOk) {
      Session().exit = RunExit::kRefused;
      ui::PostMessage(main_window, UM_CLOSE);
      return false;
    }
  }
  const install::Refusal refusal = Session().Check(g_data_folder, info.copy_list, info.delete_list);
  const char16_t* text = nullptr;
  switch (refusal.kind) {
    case install::Refusal::Kind::kNone: return true;
    case install::Refusal::Kind::kTooLong: text = texts.error_length; break;
    case install::Refusal::Kind::kNoAccess: text = texts.error_access; break;
    case install::Refusal::Kind::kNoSpace: text = texts.error_space; break;
  }
  DebugLogW(u"install refused [%s]", refusal.path.c_str());
  RefuseRun(main_window, std::u16string(text) + u"\n" + refusal.path);
  return false;
}

// The part of a destination below the install folder, for display.
const char16_t* RelativeToInstallFolder(const char16_t* destination) {
  const std::u16string& folder = Session().Tree().Path();
  std::u16string_view path(destination);
  if (!folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
      path[folder.size()] == u'\\')
    return destination + folder.size() + 1;
  return destination;
}

// Callback of the installer worker, on any of its threads: it only posts
// messages, shows the worker's failure box and passes progress on.
std::int32_t InstallCallback(void* user, WorkerStatus* status) {
  auto* dialog = static_cast<ui::Window*>(user);
  if (status->finished) {
    ui::PostMessage(dialog, UM_INSTALL_DONE);
    return 1;
  }
  if (status->failed) {
    ui::ShowMessageBox(dialog, status->message, GetUpdateInfo().current.title, ui::Buttons::kOk);
    ui::PostMessage(dialog, UM_INSTALL_FAILED);
    return 0;
  }
  ui::Progress progress;
  progress.total_size = status->total_size;
  progress.total_done = status->total_done;
  progress.file = RelativeToInstallFolder(status->destination);
  ui::ShowProgress(dialog, progress);
  if (g_report_delay) os::Sleep(g_report_delay);
  return 1;
}

void CenterOnParent(ui::Window* dialog) {
  ui::Window* parent = ui::GetParent(dialog);
  ui::Rect outer, inner;
  if (!parent || !ui::GetWindowRect(parent, &outer) || !ui::GetWindowRect(dialog, &inner)) return;
  std::int32_t width = inner.right - inner.left;
  std::int32_t height = inner.bottom - inner.top;
  ui::MoveWindow(dialog, outer.left + ((outer.right - outer.left) - width) / 2,
                 outer.top + ((outer.bottom - outer.top) - height) / 2);
}

// Begins the transaction and starts the copies; they go to the work
// folder, and the game is changed only once every one of them is there.
void StartInstall(ui::Window* dialog) {
  UpdateInfo& info = GetUpdateInfo();
  const std::int32_t delay = ParseInteger(os::GetEnvironment("QV_TEST_REPORT_DELAY"));
  g_report_delay = static_cast<std::uint32_t>(std::clamp(delay, 0, kMaxReportDelay));
  if (!Session().Start(g_data_folder, info.copy_list, info.delete_list, &InstallCallback, dialog))
    ui::PostMessage(dialog, UM_INSTALL_DONE);
}

// The Parts' failure box after a failed copy, shown once however the
// failure was reported.
void ShowCopyFailure(ui::Window* dialog) {
  const LanguageRecord& texts = GetUpdateInfo().current;
  if (Session().failure_box_shown) return;
  Session().failure_box_shown = true;
  ui::ShowMessageBox(dialog, texts.error_copy, texts.title, ui::Buttons::kOk);
}

// The worker has ended: the new game is switched in and committed, or
// everything is put back as it was.
void FinishInstall(ui::Window* dialog) {
  InstallSession& session = Session();
  if (session.failure_box_open) {
    session.finish_waiting = true;
    return;
  }
  const LanguageRecord& texts = GetUpdateInfo().current;
  ui::HideWindow(dialog);
  const InstallSession::Outcome outcome = session.Finish(session.failure_mark);
  if (outcome == InstallSession::Outcome::kApplied) {
    session.exit = RunExit::kApplied;
    ui::ShowMessageBox(dialog, texts.success, texts.wndtitle, ui::Buttons::kOk);
  } else {
    // A failure of the install's own steps has its box as the worker's do.
    const std::u16string failure = session.failure_mark ? u"" : session.FailureText();
    if (!failure.empty())
      ui::ShowMessageBox(dialog, failure.c_str(), texts.title, ui::Buttons::kOk);
    ShowCopyFailure(dialog);
    const bool restored = outcome == InstallSession::Outcome::kRolledBack;
    session.exit = restored ? RunExit::kFailed : RunExit::kRecoveryFailed;
    ui::ShowMessageBox(dialog, restored ? texts.unchanged : texts.error_restore, texts.title,
                       ui::Buttons::kOk);
  }
  ui::PostMessage(dialog, UM_CLOSE);
}

// The worker's failure: its box has been shown; the rest waits until it
// has wound down (UM_INSTALL_DONE). That report may come while error_copy
// is open, through the box's own message loop: it is held until the box is
// answered, so that the rollback and its box come after, not over it.
void FailInstall(ui::Window* dialog) {
  InstallSession& session = Session();
  session.failure_mark = true;
  ui::HideWindow(dialog);
  session.failure_box_open = true;
  ShowCopyFailure(dialog);
  session.failure_box_open = false;
  if (session.finish_waiting) {
    session.finish_waiting = false;
    FinishInstall(dialog);
  }
}

}  // namespace

void HandleConfirm(ui::Window* main_window) {
  UpdateInfo& info = GetUpdateInfo();
  if (!RecoverBeforeConfirmation(main_window)) return;
  if (ui::ShowMessageBox(main_window, info.current.intoro, info.current.wndtitle,
                         ui::Buttons::kOkCancel) != ui::Answer::kOk) {
    Session().exit = RunExit::kRefused;
    ui::PostMessage(main_window, UM_CLOSE);
    return;
  }
  if (!FindInstallFolder()) {
    ShowInstallFolderError(main_window);
    return;
  }
  if (ListFilesToCopy(main_window) && CheckBeforeInstall(main_window))
    ui::PostMessage(main_window, UM_REPAINT);
}

void ProgressDialogProcedure(ui::Window* dialog, std::uint32_t message) {
  switch (message) {
    case ui::kMsgInitDialog:
      CenterOnParent(dialog);
      ui::SetItemText(dialog, ui::kProgressTextItem, GetUpdateInfo().current.copying);
      ui::PostMessage(dialog, UM_START_INSTALL);
      break;
    case UM_START_INSTALL: StartInstall(dialog); break;
    case UM_INSTALL_DONE: FinishInstall(dialog); break;
    case UM_INSTALL_FAILED: FailInstall(dialog); break;
    case UM_CLOSE:
      ui::PostMessage(ui::GetParent(dialog), UM_CLOSE);
      ui::EndDialog(dialog, kDialogResult);
      break;
  }
}

int EndInstallSession() {
  const int code = g_session ? static_cast<int>(g_session->exit) : static_cast<int>(RunExit::kRefused);
  delete g_session;
  g_session = nullptr;
  return code;
}
