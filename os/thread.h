// Threads, critical sections, events and sleeping.
#pragma once

#include <cstdint>

namespace os {

struct Thread;           // a started system thread
struct CriticalSection;  // a recursive lock
struct Event;            // a manual- or auto-reset event

using ThreadProc = void (*)(void* argument);

inline constexpr std::uint32_t kStillActive = 259;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Starts `proc(argument)` at once with the default stack size. The thread's
// exit code is 0 once `proc` returns. Null on failure.
Thread* StartThread(ThreadProc proc, void* argument, std::uint32_t* thread_id);
// kStillActive while the thread runs, then its exit code.
std::uint32_t GetThreadExitCode(Thread* thread);
// Windows priority levels (-2 .. 2, 15, -15); the POSIX backend accepts
// and ignores them.
bool SetThreadPriority(Thread* thread, int priority);
// Releases the handle; does not stop the thread.
void CloseThread(Thread* thread);

CriticalSection* CreateCriticalSection();
void EnterCriticalSection(CriticalSection* section);
void LeaveCriticalSection(CriticalSection* section);
void DeleteCriticalSection(CriticalSection* section);

Event* CreateEvent(bool manual_reset, bool initially_signalled);
void SetEvent(Event* event);
void ResetEvent(Event* event);
enum class WaitResult { kSignalled, kTimeout, kFailed };
// Waits up to `timeout_ms` (kInfinite: without time-out). An auto-reset
// event is cleared by the wait that sees it signalled.
WaitResult WaitForEvent(Event* event, std::uint32_t timeout_ms);
void CloseEvent(Event* event);

void Sleep(std::uint32_t milliseconds);

}  // namespace os
