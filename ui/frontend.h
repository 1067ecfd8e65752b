// What a front end implements; ui.cpp forwards the free functions of ui.h
// to the one chosen at start.
#pragma once

#include <memory>

#include "ui/ui.h"

namespace ui {

class Frontend {
 public:
  virtual ~Frontend() = default;

  virtual void Finish(int exit_code) = 0;
  virtual std::uint16_t RegisterWindowClass(const ClassDescription& description) = 0;
  virtual void UnregisterWindowClass(const char16_t* name) = 0;
  virtual int ExtractIcons(const char16_t* file, Icon** large, Icon** small) = 0;
  virtual Icon* LoadProgramIcon(int resource) = 0;
  virtual void GetScreenSize(std::int32_t* width, std::int32_t* height) = 0;
  virtual bool AdjustWindowRect(Rect* rect, std::uint32_t style, std::uint32_t extended_style,
                                bool has_menu) = 0;
  virtual bool GetWindowRect(Window* window, Rect* rect) = 0;
  virtual bool MoveWindow(Window* window, std::int32_t left, std::int32_t top) = 0;
  virtual Window* GetParent(Window* window) = 0;
  virtual Window* CreateWindow(const char16_t* class_name, const char16_t* title,
                               std::uint32_t style, const Rect& frame) = 0;
  virtual void ShowWindow(Window* window) = 0;
  virtual void UpdateWindow(Window* window) = 0;
  virtual void HideWindow(Window* window) = 0;
  virtual void DestroyWindow(Window* window) = 0;
  virtual void PostMessage(Window* window, std::uint32_t message) = 0;
  virtual void PostQuitMessage(int exit_code) = 0;
  virtual int RunMessageLoop() = 0;
  virtual std::intptr_t RunDialog(int resource, Window* parent, Procedure procedure) = 0;
  virtual void SetItemText(Window* dialog, int item, const char16_t* text) = 0;
  virtual void EndDialog(Window* dialog, std::intptr_t result) = 0;
  virtual Answer ShowMessageBox(Window* owner, const char16_t* text, const char16_t* caption,
                                Buttons buttons) = 0;
  virtual DeviceContext* BeginPaint(Window* window) = 0;
  virtual void EndPaint(Window* window, DeviceContext* context) = 0;
  virtual DeviceContext* GetDeviceContext(Window* window) = 0;
  virtual void ReleaseDeviceContext(Window* window, DeviceContext* context) = 0;
  virtual void DrawPicture(DeviceContext* context, const Picture& picture) = 0;
  virtual void ShowProgress(Window* dialog, const Progress& progress) = 0;
};

// The front ends; each returns null where it cannot run.
std::unique_ptr<Frontend> MakeScriptFrontend();
std::unique_ptr<Frontend> MakeTerminalFrontend();
std::unique_ptr<Frontend> MakeWin32Frontend();

}  // namespace ui
