#include "app/updater/main_window.h"

#include "app/install_session.h"
#include "app/update_info.h"
#include "app/updater/background.h"
#include "app/updater/install_procedure.h"
#include "app/updater/messages.h"
#include "base/debug_log.h"
#include "system/framework.h"
#include "base/format.h"

namespace {

// StartFramework's probes: every capability, no DDE link.
constexpr std::uint32_t kFrameworkFlags = 127;

void ChooseIcons(ui::Icon** large, ui::Icon** small) {
  *large = *small = nullptr;
  if (ui::ExtractIcons(u"icon.ico", large, small) == 0 || !*large) {
    *large = ui::LoadProgramIcon(kLargeIconGroup);
    *small = ui::LoadProgramIcon(kSmallIconGroup);
  }
}

std::uint16_t RegisterMainClass() {
  ui::ClassDescription description;
  description.name = kMainWindowClass;
  description.procedure = &MainWindowProcedure;
  description.style = kMainClassStyle;
  ChooseIcons(&description.large_icon, &description.small_icon);
  return ui::RegisterWindowClass(description);
}

void CreateMainWindow() {
  char16_t title[kWindowTitleCapacity] = {};
  FormatWide(title, kWindowTitleCapacity, u"%s", GetUpdateInfo().current.wndtitle);
  ui::Picture picture = GetBackgroundPicture();
  ui::Rect rect{0, 0, static_cast<std::int32_t>(picture.width),
                static_cast<std::int32_t>(picture.height)};
  CenteredWindowRect(&rect, kMainWindowStyle, 0, false);
  ui::Window* window = ui::CreateWindow(kMainWindowClass, title, kMainWindowStyle, rect);
  ui::ShowWindow(window);
  ui::UpdateWindow(window);
}

}  // namespace

void MainWindowProcedure(ui::Window* window, std::uint32_t message) {
  switch (message) {
    case ui::kMsgCreate: ui::PostMessage(window, UM_CONFIRM); break;
    case ui::kMsgDestroy: ui::PostQuitMessage(0); break;
    case ui::kMsgPaint: {
      ui::DeviceContext* context = ui::BeginPaint(window);
      PaintBackground(context);
      ui::EndPaint(window, context);
      break;
    }
    case UM_CLOSE: ui::DestroyWindow(window); break;
    case UM_CONFIRM: HandleConfirm(window); break;
    case UM_OPEN_PROGRESS:
      ui::RunDialog(ui::kProgressDialogResource, window, &ProgressDialogProcedure);
      break;
    case UM_REPAINT: {
      // The confirmation box has just closed over the window: paint now,
      // before the modal dialog takes over the loop.
      ui::DeviceContext* context = ui::GetDeviceContext(window);
      PaintBackground(context);
      ui::ReleaseDeviceContext(window, context);
      ui::PostMessage(window, UM_OPEN_PROGRESS);
      break;
    }
  }
}

void CenteredWindowRect(ui::Rect* rect, std::uint32_t style, std::uint32_t extended_style,
                        bool has_menu) {
  if (!rect) {
    AssertMessage("rect");
    EndProcessAfterAssert();
  }
  std::int32_t screen_width = 0, screen_height = 0;
  ui::GetScreenSize(&screen_width, &screen_height);
  std::int32_t width = rect->right, height = rect->bottom;
  ui::Rect centred;
  centred.left = (screen_width - width) / 2;
  centred.top = (screen_height - height) / 2;
  centred.right = centred.left + width;
  centred.bottom = centred.top + height;
  if (ui::AdjustWindowRect(&centred, style, extended_style, has_menu)) *rect = centred;
}

int RunUpdater() {
  StartFramework(kFrameworkFlags, 0);
  if (!ui::Start()) {
    EndFramework();
    return 0;
  }
  const int refused = static_cast<int>(RunExit::kRefused);
  if (!LoadUpdateInfo()) {
    ui::ShowMessageBox(nullptr, u"updateinfo.xml was not found.", u"error", ui::Buttons::kOk);
    EndFramework();
    ui::Finish(refused);
    return refused;
  }
  if (!ChooseLanguage()) {
    ui::ShowMessageBox(nullptr, GetUpdateInfo().current.language, u"error", ui::Buttons::kOk);
    EndFramework();
    ui::Finish(refused);
    return refused;
  }
  LoadBackground();
  std::uint16_t atom = RegisterMainClass();
  CreateMainWindow();
  ui::RunMessageLoop();

  const int exit_code = EndInstallSession();
  ReleaseBackground();
  EndFramework();
  if (atom) ui::UnregisterWindowClass(kMainWindowClass);
  ui::Finish(exit_code);
  return exit_code;
}
