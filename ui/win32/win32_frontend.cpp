// The real front end: Win32 windows, the dialog resource, message boxes
// and GDI painting. ui::Window is an HWND, ui::Icon an HICON and
// ui::DeviceContext an HDC.
#include "ui/frontend.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <map>

#include "ui/win32/progress_view.h"

// The system's A/W macros would rename the front end's own operations.
#undef CreateWindow
#undef PostMessage

namespace ui {

namespace {

HWND H(Window* window) { return reinterpret_cast<HWND>(window); }
Window* W(HWND window) { return reinterpret_cast<Window*>(window); }
const wchar_t* Text(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// The application's procedures: by class atom for windows, and the one
// modal dialog's.
std::map<ATOM, Procedure> g_class_procedures;
Procedure g_dialog_procedure = nullptr;
PAINTSTRUCT g_paint = {};

LRESULT CALLBACK WindowTrampoline(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto atom = static_cast<ATOM>(::GetClassLongPtrW(window, GCW_ATOM));
  auto found = g_class_procedures.find(atom);
  if (found != g_class_procedures.end()) found->second(W(window), message);
  // The system's default handling follows for every message.
  return ::DefWindowProcW(window, message, wparam, lparam);
}

INT_PTR CALLBACK DialogTrampoline(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG)
    StartProgressView(W(dialog));
  else if (HandleProgressTimer(W(dialog), message, wparam))
    return 0;
  if (g_dialog_procedure) g_dialog_procedure(W(dialog), message);
  return 0;
}

class Win32Frontend final : public Frontend {
 public:
  Win32Frontend() : instance_(::GetModuleHandleW(nullptr)) {
    ::InitCommonControls();
    com_ = SUCCEEDED(::CoInitialize(nullptr));
  }
  ~Win32Frontend() override {
    if (com_) ::CoUninitialize();
  }

  void Finish(int) override {}

  std::uint16_t RegisterWindowClass(const ClassDescription& description) override {
    WNDCLASSEXW record = {};
    record.cbSize = sizeof record;
    record.style = description.style;
    record.lpfnWndProc = &WindowTrampoline;
    record.hInstance = instance_;
    record.hIcon = description.large_icon ? reinterpret_cast<HICON>(description.large_icon)
                                          : ::LoadIconW(nullptr, IDI_APPLICATION);
    record.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    record.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    record.lpszClassName = Text(description.name);
    record.hIconSm = description.small_icon ? reinterpret_cast<HICON>(description.small_icon)
                                            : ::LoadIconW(nullptr, IDI_APPLICATION);
    ATOM atom = ::RegisterClassExW(&record);
    if (atom) g_class_procedures[atom] = description.procedure;
    return atom;
  }

  void UnregisterWindowClass(const char16_t* name) override {
    ::UnregisterClassW(Text(name), instance_);
  }

  int ExtractIcons(const char16_t* file, Icon** large, Icon** small) override {
    HICON large_icon = nullptr, small_icon = nullptr;
    UINT count = ::ExtractIconExW(Text(file), 0, &large_icon, &small_icon, 1);
    // UINT_MAX reports a missing file.
    if (count == static_cast<UINT>(-1)) count = 0;
    *large = reinterpret_cast<Icon*>(large_icon);
    *small = reinterpret_cast<Icon*>(small_icon);
    return static_cast<int>(count);
  }

  Icon* LoadProgramIcon(int resource) override {
    return reinterpret_cast<Icon*>(::LoadIconW(instance_, MAKEINTRESOURCEW(resource)));
  }

  void GetScreenSize(std::int32_t* width, std::int32_t* height) override {
    *width = ::GetSystemMetrics(SM_CXSCREEN);
    *height = ::GetSystemMetrics(SM_CYSCREEN);
  }

  bool AdjustWindowRect(Rect* rect, std::uint32_t style, std::uint32_t extended_style,
                        bool has_menu) override {
    RECT r{rect->left, rect->top, rect->right, rect->bottom};
    BOOL ok = extended_style != kNoExtendedStyle
                  ? ::AdjustWindowRectEx(&r, style, has_menu, extended_style)
                  : ::AdjustWindowRect(&r, style, has_menu);
    if (!ok) return false;
    *rect = Rect{r.left, r.top, r.right, r.bottom};
    return true;
  }

  bool GetWindowRect(Window* window, Rect* rect) override {
    RECT r;
    if (!::GetWindowRect(H(window), &r)) return false;
    *rect = Rect{r.left, r.top, r.right, r.bottom};
    return true;
  }

  bool MoveWindow(Window* window, std::int32_t left, std::int32_t top) override {
    return ::SetWindowPos(H(window), nullptr, left, top, 0, 0,
                          SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != 0;
  }

  Window* GetParent(Window* window) override { return W(::GetParent(H(window))); }

  Window* CreateWindow(const char16_t* class_name, const char16_t* title, std::uint32_t style,
                       const Rect& frame) override {
    return W(::CreateWindowExW(0, Text(class_name), Text(title), style, frame.left, frame.top,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr,
                               nullptr, instance_, nullptr));
  }

  void ShowWindow(Window* window) override { ::ShowWindow(H(window), SW_SHOW); }
  void UpdateWindow(Window* window) override { ::UpdateWindow(H(window)); }
  void HideWindow(Window* window) override { ::ShowWindow(H(window), SW_HIDE); }
  void DestroyWindow(Window* window) override { ::DestroyWindow(H(window)); }

  void PostMessage(Window* window, std::uint32_t message) override {
    ::PostMessageW(H(window), message, 0, 0);
  }
  void PostQuitMessage(int exit_code) override { ::PostQuitMessage(exit_code); }

  int RunMessageLoop() override {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
  }

  std::intptr_t RunDialog(int resource, Window* parent, Procedure procedure) override {
    g_dialog_procedure = procedure;
    INT_PTR result = ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(resource), H(parent),
                                       &DialogTrampoline, 0);
    g_dialog_procedure = nullptr;
    return result;
  }

  void SetItemText(Window* dialog, int item, const char16_t* text) override {
    ::SetDlgItemTextW(H(dialog), item, Text(text));
  }

  void EndDialog(Window* dialog, std::intptr_t result) override {
    ::EndDialog(H(dialog), result);
  }

  Answer ShowMessageBox(Window* owner, const char16_t* text, const char16_t* caption,
                        Buttons buttons) override {
    UINT type = buttons == Buttons::kOkCancel ? MB_OKCANCEL : MB_OK;
    return ::MessageBoxW(H(owner), Text(text), Text(caption), type) == IDOK ? Answer::kOk
                                                                             : Answer::kCancel;
  }

  DeviceContext* BeginPaint(Window* window) override {
    return reinterpret_cast<DeviceContext*>(::BeginPaint(H(window), &g_paint));
  }
  void EndPaint(Window* window, DeviceContext*) override { ::EndPaint(H(window), &g_paint); }

  DeviceContext* GetDeviceContext(Window* window) override {
    return reinterpret_cast<DeviceContext*>(::GetDC(H(window)));
  }
  void ReleaseDeviceContext(Window* window, DeviceContext* context) override {
    ::ReleaseDC(H(window), reinterpret_cast<HDC>(context));
  }

  void DrawPicture(DeviceContext* context, const Picture& picture) override {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[1];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = static_cast<LONG>(picture.width);
    info.header.biHeight = static_cast<LONG>(picture.height);  // bottom-up rows
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(picture.bytes_per_pixel * 8);
    info.header.biCompression = BI_RGB;
    info.header.biSizeImage = picture.stride * picture.height;
    ::StretchDIBits(reinterpret_cast<HDC>(context), 0, 0, static_cast<int>(picture.width),
                    static_cast<int>(picture.height), 0, 0, static_cast<int>(picture.width),
                    static_cast<int>(picture.height), picture.pixels,
                    reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
  }

  void ShowProgress(Window*, const Progress& progress) override { ReportProgress(progress); }

 private:
  HINSTANCE instance_;
  bool com_ = false;
};

}  // namespace

std::unique_ptr<Frontend> MakeWin32Frontend() { return std::make_unique<Win32Frontend>(); }

}  // namespace ui
