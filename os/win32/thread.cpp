// Threads and sleeping.
#include <new>

#include "os/thread.h"
#include "os/win32/windows_fwd.h"

namespace os {
namespace {

// A Thread is the system's handle itself.
HANDLE NativeThread(Thread* thread) { return reinterpret_cast<HANDLE>(thread); }

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
  if (!thread || !::GetExitCodeThread(NativeThread(thread), &code)) return kUnknownExitCode;
  return code;
}

bool SetThreadPriority(Thread* thread, int priority) {
  return thread && ::SetThreadPriority(NativeThread(thread), priority);
}

void CloseThread(Thread* thread) {
  if (thread) ::CloseHandle(NativeThread(thread));
}

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace os
