#include "ui/emulated/window_system.h"

#include <algorithm>

namespace ui {

// The emulated window. Fields other than `alive`, `visible` and the items
// never change after creation, so other threads may read them.
struct Window {
  bool is_dialog = false;
  Procedure procedure = nullptr;
  Window* parent = nullptr;
  std::u16string title;
  std::uint32_t style = 0;
  Rect frame;
  bool alive = true;
  bool visible = false;
  bool invalid = true;
  bool ended = false;
  std::intptr_t result = 0;
  std::map<int, std::u16string> items;
};

namespace {

constexpr char16_t kProgressTemplateText[] = u"アップデート中です。しばらくお待ちください。";
// The progress dialog's 159 x 22 dialog units at the 9-point font's base
// units (6 x 12 pixels), plus its modal frame.
constexpr std::int32_t kDialogWidth = 159 * 6 / 4 + 6;
constexpr std::int32_t kDialogHeight = 22 * 12 / 8 + 6;

std::int32_t BorderOf(std::uint32_t style) { return (style & kStyleBorder) ? 1 : 0; }

}  // namespace

WindowSystem::WindowSystem(std::unique_ptr<Presenter> presenter)
    : presenter_(std::move(presenter)), gui_thread_(std::this_thread::get_id()) {}

WindowSystem::~WindowSystem() = default;

void WindowSystem::Finish(int exit_code) {
  std::lock_guard<std::mutex> hold(presenter_lock_);
  presenter_->Exited(exit_code);
}

std::uint16_t WindowSystem::RegisterWindowClass(const ClassDescription& description) {
  if (!description.name || !description.procedure) return 0;
  std::u16string name(description.name);
  if (classes_.count(name)) return 0;
  std::uint16_t atom = next_atom_++;
  classes_[name] = ClassRecord{atom, description.procedure};
  return atom;
}

void WindowSystem::UnregisterWindowClass(const char16_t* name) {
  if (name) classes_.erase(name);
}

// Icons mean nothing without a screen; the window class gets none.
int WindowSystem::ExtractIcons(const char16_t*, Icon** large, Icon** small) {
  if (large) *large = nullptr;
  if (small) *small = nullptr;
  return 0;
}

Icon* WindowSystem::LoadProgramIcon(int) { return nullptr; }

void WindowSystem::GetScreenSize(std::int32_t* width, std::int32_t* height) {
  ReadScreenSize(width, height);
}

bool WindowSystem::AdjustWindowRect(Rect* rect, std::uint32_t style, std::uint32_t,
                                    bool has_menu) {
  if (!rect) return false;
  std::int32_t border = BorderOf(style);
  rect->left -= border;
  rect->top -= border;
  rect->right += border;
  rect->bottom += border;
  if (has_menu) rect->top -= 19;
  return true;
}

bool WindowSystem::IsLive(Window* window) const {
  return window && window->alive &&
         std::any_of(windows_.begin(), windows_.end(),
                     [window](const std::unique_ptr<Window>& w) { return w.get() == window; });
}

bool WindowSystem::GetWindowRect(Window* window, Rect* rect) {
  if (!IsLive(window) || !rect) return false;
  *rect = window->frame;
  return true;
}

bool WindowSystem::MoveWindow(Window* window, std::int32_t left, std::int32_t top) {
  if (!IsLive(window)) return false;
  Rect& frame = window->frame;
  frame.right += left - frame.left;
  frame.bottom += top - frame.top;
  frame.left = left;
  frame.top = top;
  return true;
}

Window* WindowSystem::GetParent(Window* window) {
  return IsLive(window) && IsLive(window->parent) ? window->parent : nullptr;
}

Window* WindowSystem::CreateWindow(const char16_t* class_name, const char16_t* title,
                                   std::uint32_t style, const Rect& frame) {
  auto found = class_name ? classes_.find(class_name) : classes_.end();
  if (found == classes_.end()) return nullptr;
  auto window = std::make_unique<Window>();
  window->procedure = found->second.procedure;
  window->title = title ? title : u"";
  window->style = style;
  window->frame = frame;
  window->visible = (style & kStyleVisible) != 0;
  Window* created = window.get();
  windows_.push_back(std::move(window));

  std::int32_t border = BorderOf(style);
  Rect client{frame.left + border, frame.top + border, frame.right - border,
              frame.bottom - border};
  {
    std::lock_guard<std::mutex> hold(presenter_lock_);
    presenter_->WindowCreated(created->title, client);
  }
  created->procedure(created, kMsgCreate);
  return created;
}

void WindowSystem::ShowWindow(Window* window) {
  if (!IsLive(window)) return;
  if (!window->visible) window->invalid = true;
  window->visible = true;
}

void WindowSystem::UpdateWindow(Window* window) {
  if (!IsLive(window) || !window->visible || !window->invalid) return;
  window->procedure(window, kMsgPaint);
  window->invalid = false;
}

void WindowSystem::HideWindow(Window* window) {
  if (!IsLive(window) || !window->visible) return;
  window->visible = false;
  if (!window->is_dialog) return;
  std::lock_guard<std::mutex> hold(presenter_lock_);
  presenter_->DialogHidden();
}

void WindowSystem::DestroyWindow(Window* window) {
  if (!IsLive(window)) return;
  // Owned windows go first, as the system does it.
  for (auto& other : windows_)
    if (other->alive && other->parent == window) DestroyWindow(other.get());
  window->procedure(window, kMsgDestroy);
  window->alive = false;
  window->visible = false;
}

void WindowSystem::PostMessage(Window* window, std::uint32_t message) {
  if (!window) return;
  {
    std::lock_guard<std::mutex> hold(queue_lock_);
    queue_.emplace_back(window, message);
  }
  queue_ready_.notify_one();
}

void WindowSystem::PostQuitMessage(int exit_code) {
  {
    std::lock_guard<std::mutex> hold(queue_lock_);
    quit_posted_ = true;
    quit_code_ = exit_code;
  }
  queue_ready_.notify_one();
}

// The quit message comes only once no posted message waits, as on Windows.
bool WindowSystem::NextMessage(Message* message) {
  std::unique_lock<std::mutex> hold(queue_lock_);
  queue_ready_.wait(hold, [this] { return !queue_.empty() || quit_posted_; });
  if (queue_.empty()) return false;
  *message = queue_.front();
  queue_.pop_front();
  return true;
}

bool WindowSystem::NextMessageWithin(Message* message, std::chrono::milliseconds idle) {
  std::unique_lock<std::mutex> hold(queue_lock_);
  if (!queue_ready_.wait_for(hold, idle, [this] { return !queue_.empty() || quit_posted_; }))
    return false;
  if (queue_.empty()) return false;
  *message = queue_.front();
  queue_.pop_front();
  return true;
}

void WindowSystem::DispatchWhileBoxOpen() {
  constexpr std::chrono::milliseconds kIdle{250};
  Message message;
  while (NextMessageWithin(&message, kIdle)) Dispatch(message);
}

void WindowSystem::Dispatch(const Message& message) {
  Window* window = message.first;
  if (!IsLive(window)) return;  // posted to a window that is gone
  window->procedure(window, message.second);
}

int WindowSystem::RunMessageLoop() {
  Message message;
  while (NextMessage(&message)) Dispatch(message);
  std::lock_guard<std::mutex> hold(queue_lock_);
  quit_posted_ = false;
  return quit_code_;
}

std::intptr_t WindowSystem::RunDialog(int resource, Window* parent, Procedure procedure) {
  if (resource != kProgressDialogResource || !procedure) return -1;
  auto window = std::make_unique<Window>();
  Window* dialog = window.get();
  dialog->is_dialog = true;
  dialog->procedure = procedure;
  dialog->parent = IsLive(parent) ? parent : nullptr;
  dialog->style = kStylePopup | kStyleVisible;
  dialog->frame = Rect{0, 0, kDialogWidth, kDialogHeight};
  dialog->visible = true;
  dialog->items[kProgressTextItem] = kProgressTemplateText;
  windows_.push_back(std::move(window));

  procedure(dialog, kMsgInitDialog);
  if (!dialog->ended) {
    std::lock_guard<std::mutex> hold(presenter_lock_);
    presenter_->DialogOpened(dialog->items[kProgressTextItem], dialog->frame);
  }

  // The nested loop: other windows' messages are dispatched too; a quit
  // message ends the dialog's loop and stays for the outer one.
  Message message;
  while (!dialog->ended) {
    if (!NextMessage(&message)) break;
    Dispatch(message);
  }
  std::intptr_t result = dialog->ended ? dialog->result : -1;
  DestroyWindow(dialog);
  return result;
}

void WindowSystem::SetItemText(Window* dialog, int item, const char16_t* text) {
  if (!IsLive(dialog) || !dialog->is_dialog || !dialog->items.count(item)) return;
  dialog->items[item] = text ? text : u"";
}

void WindowSystem::EndDialog(Window* dialog, std::intptr_t result) {
  if (!IsLive(dialog) || !dialog->is_dialog || dialog->ended) return;
  dialog->ended = true;
  dialog->result = result;
  std::lock_guard<std::mutex> hold(presenter_lock_);
  presenter_->DialogEnded(result);
}

OwnerKind WindowSystem::KindOf(Window* owner) const {
  if (!owner) return OwnerKind::kNone;
  return owner->is_dialog ? OwnerKind::kDialog : OwnerKind::kMain;
}

Answer WindowSystem::ShowMessageBox(Window* owner, const char16_t* text, const char16_t* caption,
                                    Buttons buttons) {
  Answer answer;
  {
    std::lock_guard<std::mutex> hold(presenter_lock_);
    answer = presenter_->MessageBox(KindOf(owner), caption ? caption : u"", text ? text : u"",
                                    buttons);
  }
  if (std::this_thread::get_id() == gui_thread_) DispatchWhileBoxOpen();
  return answer;
}

DeviceContext* WindowSystem::BeginPaint(Window* window) {
  if (!IsLive(window)) return nullptr;
  window->invalid = false;
  return reinterpret_cast<DeviceContext*>(window);
}

void WindowSystem::EndPaint(Window*, DeviceContext*) {}

DeviceContext* WindowSystem::GetDeviceContext(Window* window) {
  return IsLive(window) ? reinterpret_cast<DeviceContext*>(window) : nullptr;
}

void WindowSystem::ReleaseDeviceContext(Window*, DeviceContext*) {}

// There is no screen to draw on: the presenter is told what was drawn.
void WindowSystem::DrawPicture(DeviceContext* context, const Picture& picture) {
  if (!context) return;
  std::lock_guard<std::mutex> hold(presenter_lock_);
  presenter_->PictureDrawn(picture);
}

void WindowSystem::ShowProgress(Window*, const Progress& progress) {
  std::lock_guard<std::mutex> hold(presenter_lock_);
  presenter_->ShowProgress(progress);
}

}  // namespace ui
