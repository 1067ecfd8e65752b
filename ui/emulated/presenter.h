// How an emulated front end shows what happens: the script transcript or
// the terminal view. The window system serialises every call.
#pragma once

#include <cstdint>
#include <string>

#include "ui/ui.h"

namespace ui {

enum class OwnerKind { kNone, kMain, kDialog };

class Presenter {
 public:
  virtual ~Presenter() = default;

  // `client` is the client area on the screen.
  virtual void WindowCreated(const std::u16string& title, const Rect& client) = 0;
  virtual Answer MessageBox(OwnerKind owner, const char16_t* caption, const char16_t* text,
                            Buttons buttons) = 0;
  // `frame` is the dialog's outer rectangle on the screen.
  virtual void DialogOpened(const std::u16string& text, const Rect& frame) = 0;
  virtual void DialogHidden() = 0;
  virtual void DialogEnded(std::intptr_t result) = 0;
  virtual void ShowProgress(const Progress& progress) = 0;
  // A picture drawn into the main window's client area.
  virtual void PictureDrawn(const Picture&) {}
  virtual void Exited(int exit_code) = 0;
};

// The screen of an emulated front end: QV_SCREEN=WxH, else 1920 x 1080.
void ReadScreenSize(std::int32_t* width, std::int32_t* height);

}  // namespace ui
