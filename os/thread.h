// Threads and sleeping.
#pragma once

#include <cstdint>

namespace os {

struct Thread;  // a started system thread

using ThreadProc = void (*)(void* argument);

inline constexpr std::uint32_t kStillActive = 259;
// What a thread that cannot be asked reports: ended, never active, so that
// a caller polling for the end does not poll forever.
inline constexpr std::uint32_t kUnknownExitCode = 0xFFFFFFFFu;

// Starts `proc(argument)` at once with the default stack size. The thread's
// exit code is 0 once `proc` returns. Null on failure.
Thread* StartThread(ThreadProc proc, void* argument, std::uint32_t* thread_id);
// kStillActive while the thread runs, then its exit code; kUnknownExitCode
// for a null thread.
std::uint32_t GetThreadExitCode(Thread* thread);
// Windows priority levels (-2 .. 2, 15, -15); the POSIX backend accepts
// and ignores them.
bool SetThreadPriority(Thread* thread, int priority);
// Releases the handle; does not stop the thread.
void CloseThread(Thread* thread);

void Sleep(std::uint32_t milliseconds);

}  // namespace os
