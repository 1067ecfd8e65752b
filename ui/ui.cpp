#include "ui/ui.h"

#include <cstring>

#include "os/process.h"
#include "ui/frontend.h"

namespace ui {

namespace {

std::unique_ptr<Frontend>& Active() {
  static std::unique_ptr<Frontend> frontend;
  return frontend;
}

std::unique_ptr<Frontend> MakeChosen() {
  const char* name = os::GetEnvironment("QV_UI");
  if (name && std::strcmp(name, "script") == 0) return MakeScriptFrontend();
  if (name && std::strcmp(name, "terminal") == 0) return MakeTerminalFrontend();
  if (auto win32 = MakeWin32Frontend()) return win32;
  return MakeTerminalFrontend();
}

}  // namespace

bool Start() {
  if (!Active()) Active() = MakeChosen();
  return Active() != nullptr;
}

void Finish(int exit_code) {
  if (!Active()) return;
  Active()->Finish(exit_code);
  Active().reset();
}

// Every call below is a programming error before Start; they then do
// nothing and answer as a failing system call would.
#define QV_UI_FORWARD(fallback, call) \
  do {                                \
    if (!Active()) return fallback;   \
    return Active()->call;            \
  } while (0)

std::uint16_t RegisterWindowClass(const ClassDescription& description) {
  QV_UI_FORWARD(0, RegisterWindowClass(description));
}
void UnregisterWindowClass(const char16_t* name) { QV_UI_FORWARD(, UnregisterWindowClass(name)); }
int ExtractIcons(const char16_t* file, Icon** large, Icon** small) {
  QV_UI_FORWARD(0, ExtractIcons(file, large, small));
}
Icon* LoadProgramIcon(int resource) { QV_UI_FORWARD(nullptr, LoadProgramIcon(resource)); }
void GetScreenSize(std::int32_t* width, std::int32_t* height) {
  QV_UI_FORWARD(, GetScreenSize(width, height));
}
bool AdjustWindowRect(Rect* rect, std::uint32_t style, std::uint32_t extended_style,
                      bool has_menu) {
  QV_UI_FORWARD(false, AdjustWindowRect(rect, style, extended_style, has_menu));
}
bool GetWindowRect(Window* window, Rect* rect) { QV_UI_FORWARD(false, GetWindowRect(window, rect)); }
bool MoveWindow(Window* window, std::int32_t left, std::int32_t top) {
  QV_UI_FORWARD(false, MoveWindow(window, left, top));
}
Window* GetParent(Window* window) { QV_UI_FORWARD(nullptr, GetParent(window)); }
Window* CreateWindow(const char16_t* class_name, const char16_t* title, std::uint32_t style,
                     const Rect& frame) {
  QV_UI_FORWARD(nullptr, CreateWindow(class_name, title, style, frame));
}
void ShowWindow(Window* window) { QV_UI_FORWARD(, ShowWindow(window)); }
void UpdateWindow(Window* window) { QV_UI_FORWARD(, UpdateWindow(window)); }
void HideWindow(Window* window) { QV_UI_FORWARD(, HideWindow(window)); }
void DestroyWindow(Window* window) { QV_UI_FORWARD(, DestroyWindow(window)); }
void PostMessage(Window* window, std::uint32_t message) {
  QV_UI_FORWARD(, PostMessage(window, message));
}
void PostQuitMessage(int exit_code) { QV_UI_FORWARD(, PostQuitMessage(exit_code)); }
int RunMessageLoop() { QV_UI_FORWARD(0, RunMessageLoop()); }
std::intptr_t RunDialog(int resource, Window* parent, Procedure procedure) {
  QV_UI_FORWARD(-1, RunDialog(resource, parent, procedure));
}
void SetItemText(Window* dialog, int item, const char16_t* text) {
  QV_UI_FORWARD(, SetItemText(dialog, item, text));
}
void EndDialog(Window* dialog, std::intptr_t result) { QV_UI_FORWARD(, EndDialog(dialog, result)); }
Answer ShowMessageBox(Window* owner, const char16_t* text, const char16_t* caption,
                      Buttons buttons) {
  QV_UI_FORWARD(Answer::kCancel, ShowMessageBox(owner, text, caption, buttons));
}
DeviceContext* BeginPaint(Window* window) { QV_UI_FORWARD(nullptr, BeginPaint(window)); }
void EndPaint(Window* window, DeviceContext* context) {
  QV_UI_FORWARD(, EndPaint(window, context));
}
DeviceContext* GetDeviceContext(Window* window) {
  QV_UI_FORWARD(nullptr, GetDeviceContext(window));
}
void ReleaseDeviceContext(Window* window, DeviceContext* context) {
  QV_UI_FORWARD(, ReleaseDeviceContext(window, context));
}
void DrawPicture(DeviceContext* context, const Picture& picture) {
  // Bitmaps of fewer bytes per pixel would need a colour table.
  if (picture.bytes_per_pixel != 3 && picture.bytes_per_pixel != 4) return;
  QV_UI_FORWARD(, DrawPicture(context, picture));
}
void ShowProgress(Window* dialog, const Progress& progress) {
  QV_UI_FORWARD(, ShowProgress(dialog, progress));
}

#undef QV_UI_FORWARD

}  // namespace ui
