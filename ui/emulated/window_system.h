// A window system in memory for the front ends that have no real windows:
// classes, windows, a thread-safe posted-message queue, the modal dialog's
// nested loop and message boxes, with a Presenter showing the events.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ui/emulated/presenter.h"
#include "ui/frontend.h"

namespace ui {

class WindowSystem final : public Frontend {
 public:
  explicit WindowSystem(std::unique_ptr<Presenter> presenter);
  ~WindowSystem() override;

  void Finish(int exit_code) override;
  std::uint16_t RegisterWindowClass(const ClassDescription& description) override;
  void UnregisterWindowClass(const char16_t* name) override;
  int ExtractIcons(const char16_t* file, Icon** large, Icon** small) override;
  Icon* LoadProgramIcon(int resource) override;
  void GetScreenSize(std::int32_t* width, std::int32_t* height) override;
  bool AdjustWindowRect(Rect* rect, std::uint32_t style, std::uint32_t extended_style,
                        bool has_menu) override;
  bool GetWindowRect(Window* window, Rect* rect) override;
  bool MoveWindow(Window* window, std::int32_t left, std::int32_t top) override;
  Window* GetParent(Window* window) override;
  Window* CreateWindow(const char16_t* class_name, const char16_t* title, std::uint32_t style,
                       const Rect& frame) override;
  void ShowWindow(Window* window) override;
  void UpdateWindow(Window* window) override;
  void HideWindow(Window* window) override;
  void DestroyWindow(Window* window) override;
  void PostMessage(Window* window, std::uint32_t message) override;
  void PostQuitMessage(int exit_code) override;
  int RunMessageLoop() override;
  std::intptr_t RunDialog(int resource, Window* parent, Procedure procedure) override;
  void SetItemText(Window* dialog, int item, const char16_t* text) override;
  void EndDialog(Window* dialog, std::intptr_t result) override;
  Answer ShowMessageBox(Window* owner, const char16_t* text, const char16_t* caption,
                        Buttons buttons) override;
  DeviceContext* BeginPaint(Window* window) override;
  void EndPaint(Window* window, DeviceContext* context) override;
  DeviceContext* GetDeviceContext(Window* window) override;
  void ReleaseDeviceContext(Window* window, DeviceContext* context) override;
  void DrawPicture(DeviceContext* context, const Picture& picture) override;
  void ShowProgress(Window* dialog, const Progress& progress) override;

 private:
  struct ClassRecord {
    std::uint16_t atom;
    Procedure procedure;
  };
  using Message = std::pair<Window*, std::uint32_t>;

  bool IsLive(Window* window) const;
  // Waits for the next message. False when the quit message came (its
  // code is kept in quit_code_).
  bool NextMessage(Message* message);
  // The same, giving up after `idle` without a message.
  bool NextMessageWithin(Message* message, std::chrono::milliseconds idle);
  // While a box is open on the GUI thread its messages are dispatched, as
  // the system's box does; the box counts as closed once the queue has
  // stayed empty for a moment.
  void DispatchWhileBoxOpen();
  void Dispatch(const Message& message);
  OwnerKind KindOf(Window* owner) const;

  std::unique_ptr<Presenter> presenter_;
  std::mutex presenter_lock_;

  std::map<std::u16string, ClassRecord> classes_;
  std::uint16_t next_atom_ = 0xC000;
  // Windows are kept until the end, so a late post to one is harmless.
  std::vector<std::unique_ptr<Window>> windows_;

  std::thread::id gui_thread_;
  std::mutex queue_lock_;
  std::condition_variable queue_ready_;
  std::deque<Message> queue_;
  bool quit_posted_ = false;
  int quit_code_ = 0;
};

}  // namespace ui
