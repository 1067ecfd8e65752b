#include "app/updater/install_procedure.h"

#include <algorithm>
#include <string>

#include "app/install_files.h"
#include "app/install_worker.h"
#include "app/patch_check_texts.h"
#include "app/text_line_list.h"
#include "app/update_info.h"
#include "app/updater/messages.h"
#include "os/file.h"
#include "os/system.h"
#include "os/thread.h"
#include "system/debug_log.h"
#include "util/integer.h"
#include "util/path.h"

namespace {

char16_t g_install_folder[kInstallPathCapacity] = {};
// The install folder once accepted; every deletion and write goes through it.
confine::Tree g_install_tree;
// Set by UM_INSTALL_FAILED and never cleared; GUI thread only.
bool g_failure_mark = false;
InstallWorker* g_worker = nullptr;
// Tests set QV_TEST_REPORT_DELAY (milliseconds, at most a second) to make
// the worker pause after each progress report, so the progress dialog can
// be watched moving. Unset, nothing waits.
std::uint32_t g_report_delay = 0;
constexpr std::int32_t kMaxReportDelay = 1000;

constexpr std::intptr_t kDialogResult = 2;

void ShowInstallFolderError(ui::Window* main_window) {
  const LanguageRecord& texts = GetUpdateInfo().current;
  ui::ShowMessageBox(main_window, texts.error_inst, texts.wndtitle, ui::Buttons::kOk);
  ui::PostMessage(main_window, UM_CLOSE);
}

// Takes the install folder from the record when the rules accept it: the
// updater's own folder (the patch) must not be it or hold it, and it must
// be an ordinary folder of its own.
bool AcceptInstallFolder() {
  char16_t patch[kWorkingPathCapacity] = {};
  os::GetCurrentDirectory(patch, kWorkingPathCapacity);
  confine::Rule rule = g_install_tree.Open(g_install_folder, {patch});
  if (rule == confine::Rule::kOk) return true;
  DebugLogW(u"install folder refused [%s]", g_install_folder);
  DebugLog("install folder refused: %s", confine::RuleCode(rule));
  return false;
}

// A box naming what in the data folder cannot be installed.
void ShowPatchDataError(ui::Window* main_window, const confine::Finding& finding) {
  const LanguageRecord& texts = GetUpdateInfo().current;
  std::u16string text = PatchCheckTextFor(texts, finding.rule);
  text += u"\ndata";
  if (!finding.path.empty()) text += u"\\" + finding.path;
  ui::ShowMessageBox(main_window, text.c_str(), texts.wndtitle, ui::Buttons::kOk);
  ui::PostMessage(main_window, UM_CLOSE);
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
  confine::Finding finding = ListPatchData(data, g_install_tree, &info.copy_list);
  if (finding.rule == confine::Rule::kOk) return true;
  DebugLog("data folder refused: %s", confine::RuleCode(finding.rule));
  ShowPatchDataError(main_window, finding);
  return false;
}

// The part of a destination below the install folder, for display.
const char16_t* RelativeToInstallFolder(const char16_t* destination) {
  const std::u16string& folder = g_install_tree.Path();
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

// Deletions, install.log, then the worker; install.log is written before
// any file is copied and names every file the update installs.
void StartInstall(ui::Window* dialog) {
  UpdateInfo& info = GetUpdateInfo();
  const std::int32_t delay = ParseInteger(os::GetEnvironment("QV_TEST_REPORT_DELAY"));
  g_report_delay = static_cast<std::uint32_t>(std::clamp(delay, 0, kMaxReportDelay));
  TextLineList log_lines;
  DeleteListedPaths(g_install_tree, info.delete_list);
  log_lines.Load(g_install_tree, u"install.log");

  g_worker = new InstallWorker(3, 0);
  char16_t current[kWorkingPathCapacity] = {};
  os::GetCurrentDirectory(current, kWorkingPathCapacity);
  g_worker->SetVersionCheck(1);
  g_worker->SetDestinationTree(&g_install_tree);
  for (const std::u16string& entry : info.copy_list) {
    char16_t destination[kWorkingPathCapacity] = {};
    char16_t source[kWorkingPathCapacity] = {};
    JoinPath(destination, kWorkingPathCapacity, {g_install_tree.Path().c_str(), entry.c_str()});
    JoinPath(source, kWorkingPathCapacity, {current, entry.c_str()});
    // A path too long for the worker makes the run fail with its report.
    g_worker->Add(source, destination, 0);
    log_lines.Append((u"\"" + std::u16string(destination) + u"\"").c_str());
  }
  log_lines.SortUnique();
  log_lines.Save(g_install_tree, u"install.log");
  g_worker->Start(&InstallCallback, dialog, nullptr);
}

void FinishInstall(ui::Window* dialog) {
  const LanguageRecord& texts = GetUpdateInfo().current;
  ui::HideWindow(dialog);
  if (g_failure_mark)
    ui::ShowMessageBox(dialog, texts.error_copy, texts.title, ui::Buttons::kOk);
  else
    ui::ShowMessageBox(dialog, texts.success, texts.wndtitle, ui::Buttons::kOk);
  ui::PostMessage(dialog, UM_CLOSE);
}

void FailInstall(ui::Window* dialog) {
  const LanguageRecord& texts = GetUpdateInfo().current;
  g_failure_mark = true;
  ui::HideWindow(dialog);
  ui::ShowMessageBox(dialog, texts.error_copy, texts.title, ui::Buttons::kOk);
  ui::PostMessage(dialog, UM_CLOSE);
}

}  // namespace

void HandleConfirm(ui::Window* main_window) {
  UpdateInfo& info = GetUpdateInfo();
  if (ui::ShowMessageBox(main_window, info.current.intoro, info.current.wndtitle,
                         ui::Buttons::kOkCancel) != ui::Answer::kOk) {
    ui::PostMessage(main_window, UM_CLOSE);
    return;
  }
  char16_t record[kWorkingPathCapacity] = {};
  if (!FormRecordPath(info, record, kWorkingPathCapacity) ||
      !ReadInstallFolder(record, g_install_folder, kInstallPathCapacity) ||
      !AcceptInstallFolder()) {
    ShowInstallFolderError(main_window);
    return;
  }
  if (ListFilesToCopy(main_window)) ui::PostMessage(main_window, UM_REPAINT);
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
    default: break;
  }
}

void DestroyInstallWorker() {
  delete g_worker;
  g_worker = nullptr;
}
