// Threads, critical sections, events and sleeping.
#include <new>

#include "os/thread.h"
#include "os/win32/windows_fwd.h"

namespace os {

// Thread and Event are the system handles themselves; a critical section
// needs storage of its own.
struct CriticalSection {
  CRITICAL_SECTION section;
};

namespace {

HANDLE NativeThread(Thread* thread) { return reinterpret_cast<HANDLE>(thread); }
HANDLE NativeEvent(Event* event) { return reinterpret_cast<HANDLE>(event); }

// The procedure and its argument travel to the new thread in a block that
// the thread itself frees, so closing the handle early is harmless.
struct StartBlock {
  ThreadProc proc;
  void* argument;
};

DWORD WINAPI ThreadEntry(LPVOID parameter) {
  StartBlock start = *static_cast<StartBlock*>(parameter);
  delete static_cast<StartBlock*>(parameter);
  start.proc(start.argument);
  return 0;
}

}  // namespace

Thread* StartThread(ThreadProc proc, void* argument, std::uint32_t* thread_id) {
  if (!proc) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* start = new (std::nothrow) StartBlock{proc, argument};
  if (!start) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  DWORD id = 0;
  HANDLE thread = ::CreateThread(nullptr, 0, ThreadEntry, start, 0, &id);
  if (!thread) {
    delete start;
    return nullptr;
  }
  if (thread_id) *thread_id = id;
  return reinterpret_cast<Thread*>(thread);
}

std::uint32_t GetThreadExitCode(Thread* thread) {
  DWORD code = 0;
  // A thread that cannot be asked is reported as ended, never as active, so
  // that a caller polling for the end does not poll forever.
  if (!thread || !::GetExitCodeThread(NativeThread(thread), &code)) return 0xFFFFFFFFu;
  return code;
}

bool SetThreadPriority(Thread* thread, int priority) {
  return thread && ::SetThreadPriority(NativeThread(thread), priority);
}

void CloseThread(Thread* thread) {
  if (thread) ::CloseHandle(NativeThread(thread));
}

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

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace os
