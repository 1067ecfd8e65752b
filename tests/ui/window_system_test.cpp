#include "ui/emulated/window_system.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

namespace {

// Keeps the rectangles the window system shows: a window's client area, a
// dialog's frame.
class GeometryPresenter final : public ui::Presenter {
 public:
  explicit GeometryPresenter(std::vector<ui::Rect>* shown) : shown_(shown) {}
  void WindowCreated(const std::u16string&, const ui::Rect& client) override {
    shown_->push_back(client);
  }
  ui::Answer MessageBox(ui::OwnerKind, const char16_t*, const char16_t*, ui::Buttons) override {
    return ui::Answer::kOk;
  }
  void DialogOpened(const std::u16string&, const ui::Rect& frame) override {
    shown_->push_back(frame);
  }
  void DialogHidden() override {}
  void DialogEnded(std::intptr_t) override {}
  void ShowProgress(const ui::Progress&) override {}
  void Exited(int) override {}

 private:
  std::vector<ui::Rect>* shown_;
};

std::tuple<int, int, int, int> Box(const ui::Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

ui::WindowSystem* g_system = nullptr;

void IgnoreMessages(ui::Window*, std::uint32_t) {}

// Ends the dialog from its own loop, once it has been shown.
void EndFromTheLoop(ui::Window* dialog, std::uint32_t message) {
  if (message == ui::kMsgInitDialog) g_system->PostMessage(dialog, ui::kMsgUser);
  if (message == ui::kMsgUser) g_system->EndDialog(dialog, 7);
}

TEST(WindowSystem, FramesClientAreasAndTheProgressDialog) {
  std::vector<ui::Rect> shown;
  ui::WindowSystem system(std::make_unique<GeometryPresenter>(&shown));
  g_system = &system;
  ui::ClassDescription description;
  description.name = u"main";
  description.procedure = &IgnoreMessages;
  ASSERT_NE(system.RegisterWindowClass(description), 0);

  // A borderless frame is its client area; a border adds a pixel on each
  // side, a menu bar 19 above.
  ui::Rect borderless{100, 50, 740, 530};
  ASSERT_TRUE(system.AdjustWindowRect(&borderless, ui::kStylePopup, ui::kNoExtendedStyle, false));
  EXPECT_EQ(Box(borderless), Box({100, 50, 740, 530}));
  ui::Rect with_menu = borderless;
  ASSERT_TRUE(system.AdjustWindowRect(&with_menu, ui::kStylePopup, ui::kNoExtendedStyle, true));
  EXPECT_EQ(Box(with_menu), Box({100, 31, 740, 530}));
  const std::uint32_t bordered = ui::kStylePopup | ui::kStyleBorder;
  ui::Rect frame = borderless;
  ASSERT_TRUE(system.AdjustWindowRect(&frame, bordered, ui::kNoExtendedStyle, false));
  EXPECT_EQ(Box(frame), Box({99, 49, 741, 531}));

  ui::Window* window = system.CreateWindow(u"main", u"t", bordered, frame);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(Box(shown[0]), Box(borderless));
  // A move keeps the size.
  ASSERT_TRUE(system.MoveWindow(window, 10, 20));
  ASSERT_TRUE(system.GetWindowRect(window, &frame));
  EXPECT_EQ(Box(frame), Box({10, 20, 652, 502}));

  // The progress dialog: 159 x 22 dialog units and its frame, at the
  // screen's corner until its procedure places it.
  EXPECT_EQ(system.RunDialog(ui::kProgressDialogResource, window, &EndFromTheLoop), 7);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(Box(shown[1]), Box({0, 0, 244, 39}));
}

}  // namespace
