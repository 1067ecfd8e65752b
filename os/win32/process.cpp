// The running process: language, module path, environment, the
// critical-error mode, COM and common controls, the assertion box and exit.
#include <cstdio>
#include <list>
#include <map>
#include <mutex>
#include <string>

#include "os/process.h"
#include "os/win32/windows_fwd.h"

#include <commctrl.h>
#include <objbase.h>

namespace os {

namespace {

// A decimal language identifier, or 0 when the text is not one.
std::uint16_t ParseLanguage(const wchar_t* text) {
  std::uint32_t value = 0;
  if (!*text) return 0;
  for (; *text; ++text) {
    if (*text < L'0' || *text > L'9') return 0;
    value = value * 10 + static_cast<std::uint32_t>(*text - L'0');
    if (value > 0xFFFF) return 0;
  }
  return static_cast<std::uint16_t>(value);
}

std::wstring ToWide(const char* utf8) {
  int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), length);
  out.resize(static_cast<std::size_t>(length - 1));
  return out;
}

std::string ToUtf8(const wchar_t* wide) {
  int length = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), length, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(length - 1));
  return out;
}

// The process environment in UTF-16, whatever the C runtime's code page.
bool ReadVariable(const wchar_t* name, std::wstring* value) {
  for (DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0); needed != 0;) {
    value->assign(needed, L'\0');
    ::SetLastError(ERROR_SUCCESS);
    DWORD length = ::GetEnvironmentVariableW(name, value->data(), needed);
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (length < needed) {
      value->resize(length);
      return true;
    }
    needed = length;  // the value grew in between
  }
  return false;
}

void WriteToStandardError(const char16_t* caption, const char16_t* text) {
  std::string line = ToUtf8(win32::Wide(caption)) + ": " + ToUtf8(win32::Wide(text)) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace

std::uint16_t GetUserUiLanguage() {
  std::wstring value;
  if (ReadVariable(L"QV_UI_LANGUAGE", &value)) {
    if (std::uint16_t language = ParseLanguage(value.c_str())) return language;
  }
  return ::GetUserDefaultUILanguage();
}

std::uint32_t GetModulePath(char16_t* out, std::uint32_t capacity) {
  DWORD length = ::GetModuleFileNameW(nullptr, win32::Wide(out), out ? capacity : 0);
  return win32::FitLength(length, out, capacity);
}

const char* GetEnvironment(const char* name) {
  if (!name) return nullptr;
  std::wstring value;
  if (!ReadVariable(ToWide(name).c_str(), &value)) return nullptr;
  std::string utf8 = ToUtf8(value.c_str());

  // Returned texts stay valid for the life of the process: a changed value
  // gets a new entry and the old one is kept.
  static std::mutex lock;
  static std::map<std::string, std::list<std::string>> values;
  std::lock_guard<std::mutex> guard(lock);
  std::list<std::string>& history = values[name];
  if (history.empty() || history.back() != utf8) history.push_back(std::move(utf8));
  return history.back().c_str();
}

void ShowAssertBox(const char16_t* caption, const char16_t* text) {
  if (!caption) caption = u"";
  if (!text) text = u"";
  // Also on standard error, for consoles and for runs without a desktop.
  WriteToStandardError(caption, text);
  ::MessageBoxW(nullptr, win32::Wide(text), win32::Wide(caption), MB_ICONERROR | MB_OK);
}

std::uint32_t SetErrorMode(std::uint32_t mode) { return ::SetErrorMode(mode); }

void InitCommonControls() { ::InitCommonControls(); }

bool InitializeCom() { return SUCCEEDED(::CoInitialize(nullptr)); }

void UninitializeCom() { ::CoUninitialize(); }

void ExitProcess(std::uint32_t code) { ::ExitProcess(code); }

void TerminateProcess(std::uint32_t code) {
  ::TerminateProcess(::GetCurrentProcess(), code);
  ::ExitProcess(code);  // not reached: the call ends this process
}

}  // namespace os
