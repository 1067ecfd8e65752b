// The platform's windowing as the updater needs it: window classes and
// windows, posted messages and the message loop, one modal dialog, message
// boxes, screen metrics, painting a picture and icons.
//
// Three front ends implement it: the real Win32 windows, a terminal view
// and a script transcript (chosen with QV_UI=win32|terminal|script; the
// default is win32 on Windows and terminal elsewhere). Messages carry no
// parameters: every message is posted with both parameters 0.
#pragma once

#include <cstdint>

namespace ui {

struct Window;         // HWND on Windows, an emulated window elsewhere
struct Icon;           // HICON on Windows
struct DeviceContext;  // HDC on Windows

// System messages the procedures see; private ones start at kMsgUser.
inline constexpr std::uint32_t kMsgCreate = 1;
inline constexpr std::uint32_t kMsgDestroy = 2;
inline constexpr std::uint32_t kMsgPaint = 15;
inline constexpr std::uint32_t kMsgInitDialog = 0x110;
inline constexpr std::uint32_t kMsgUser = 0x400;

// Window styles, numerically equal to the Windows values.
inline constexpr std::uint32_t kStylePopup = 0x80000000u;
inline constexpr std::uint32_t kStyleVisible = 0x10000000u;
inline constexpr std::uint32_t kStyleBorder = 0x00800000u;
// The extended style that selects the plain frame computation.
inline constexpr std::uint32_t kNoExtendedStyle = 0xFFFFFFFFu;

// A window or dialog procedure. The front end does the system's default
// handling of every message after it returns.
using Procedure = void (*)(Window* window, std::uint32_t message);

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

enum class Buttons { kOk, kOkCancel };
enum class Answer { kOk, kCancel };

// A bottom-up picture of 3 or 4 bytes per pixel, rows `stride` bytes apart.
struct Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bytes_per_pixel = 0;
  std::uint32_t stride = 0;
  const void* pixels = nullptr;
};

// Where a copy stands, for front ends that show a live progress line.
struct Progress {
  std::uint64_t total_size = 0;
  std::uint64_t total_done = 0;
  const char16_t* file = nullptr;
};

struct ClassDescription {
  const char16_t* name = nullptr;
  Procedure procedure = nullptr;
  std::uint32_t style = 0;
  Icon* large_icon = nullptr;  // null: the system's application icon
  Icon* small_icon = nullptr;
};

// Chooses and starts the front end; false when none can run.
bool Start();
// Reports the process's exit code and stops the front end.
void Finish(int exit_code);

// The class atom, 0 when registration failed.
std::uint16_t RegisterWindowClass(const ClassDescription& description);
void UnregisterWindowClass(const char16_t* name);

// Icons from an .ico file: the number found; `large` and `small` receive
// the first icon in both sizes (each may be null in the result).
int ExtractIcons(const char16_t* file, Icon** large, Icon** small);
// An icon group of the program's resources, or null.
Icon* LoadProgramIcon(int resource);

// Width and height of the primary screen.
void GetScreenSize(std::int32_t* width, std::int32_t* height);
// Grows a client rectangle by the frame of `style`; false leaves it alone.
bool AdjustWindowRect(Rect* rect, std::uint32_t style, std::uint32_t extended_style,
                      bool has_menu);
bool GetWindowRect(Window* window, Rect* rect);
// Moves without resizing or changing the z-order.
bool MoveWindow(Window* window, std::int32_t left, std::int32_t top);
Window* GetParent(Window* window);

// Creates a top-level window; the procedure sees kMsgCreate before it
// returns. `frame` is the outer rectangle on the screen.
Window* CreateWindow(const char16_t* class_name, const char16_t* title, std::uint32_t style,
                     const Rect& frame);
void ShowWindow(Window* window);
// Paints at once what is invalid (a kMsgPaint to the procedure).
void UpdateWindow(Window* window);
void HideWindow(Window* window);
void DestroyWindow(Window* window);

// Safe from any thread; a message to a window that is gone is dropped.
void PostMessage(Window* window, std::uint32_t message);
void PostQuitMessage(int exit_code);
// Dispatches messages until the quit message; returns its exit code.
int RunMessageLoop();

// The progress dialog resource: its static text, and below it a bar and a
// line with the current file and the bytes done, which front ends with
// real windows fill from ShowProgress.
inline constexpr int kProgressDialogResource = 1003;
inline constexpr int kProgressTextItem = 1005;
inline constexpr int kProgressBarItem = 1006;
inline constexpr int kProgressFileItem = 1007;
// Runs a modal dialog owned by `parent` until EndDialog; its procedure sees
// kMsgInitDialog first. Returns the EndDialog result, -1 when it failed.
std::intptr_t RunDialog(int resource, Window* parent, Procedure procedure);
void SetItemText(Window* dialog, int item, const char16_t* text);
void EndDialog(Window* dialog, std::intptr_t result);

// A modal message box; safe from any thread (the caller waits).
Answer ShowMessageBox(Window* owner, const char16_t* text, const char16_t* caption,
                      Buttons buttons);

// Painting inside kMsgPaint, and outside it through the window's context.
DeviceContext* BeginPaint(Window* window);
void EndPaint(Window* window, DeviceContext* context);
DeviceContext* GetDeviceContext(Window* window);
void ReleaseDeviceContext(Window* window, DeviceContext* context);
// Draws the picture at 1:1 in the top left corner of the client area.
void DrawPicture(DeviceContext* context, const Picture& picture);

// Safe from any thread; the progress dialog shows it (front ends without
// a progress view ignore it).
void ShowProgress(Window* dialog, const Progress& progress);

}  // namespace ui
