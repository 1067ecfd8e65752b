// Critical sections and events.
#include <new>

#include "os/sync.h"
#include "os/win32/windows_fwd.h"

namespace os {

// An Event is the system's handle itself; a critical section needs storage
// of its own.
struct CriticalSection {
  CRITICAL_SECTION section;
};

namespace {

HANDLE NativeEvent(Event* event) { return reinterpret_cast<HANDLE>(event); }

}  // namespace

CriticalSection* CreateCriticalSection() {
  auto* section = new (std::nothrow) CriticalSection;
  if (section) ::InitializeCriticalSection(&section->section);
  return section;
}

void EnterCriticalSection(CriticalSection* section) {
  if (section) ::EnterCriticalSection(&section->section);
}

void LeaveCriticalSection(CriticalSection* section) {
  if (section) ::LeaveCriticalSection(&section->section);
}

void DeleteCriticalSection(CriticalSection* section) {
  if (!section) return;
  ::DeleteCriticalSection(&section->section);
  delete section;
}

Event* CreateEvent(bool manual_reset, bool initially_signalled) {
  return reinterpret_cast<Event*>(
      ::CreateEventW(nullptr, manual_reset, initially_signalled, nullptr));
}

void SetEvent(Event* event) {
  if (event) ::SetEvent(NativeEvent(event));
}

void ResetEvent(Event* event) {
  if (event) ::ResetEvent(NativeEvent(event));
}

WaitResult WaitForEvent(Event* event, std::uint32_t timeout_ms) {
  if (!event) return WaitResult::kFailed;
  switch (::WaitForSingleObject(NativeEvent(event), timeout_ms)) {
    case WAIT_OBJECT_0: return WaitResult::kSignalled;
    case WAIT_TIMEOUT: return WaitResult::kTimeout;
    default: return WaitResult::kFailed;
  }
}

void CloseEvent(Event* event) {
  if (event) ::CloseHandle(NativeEvent(event));
}

}  // namespace os
