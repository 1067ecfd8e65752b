// Threads: detached pthreads with a shared record, so that the handle can
// be closed while the thread still runs.
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <new>

#include "os/file.h"
#include "os/posix/errno_map.h"
#include "os/thread.h"

namespace os {

struct Thread {
  ThreadProc proc;
  void* argument;
  std::atomic<std::uint32_t> exit_code{kStillActive};
  std::atomic<int> references{2};  // the handle and the running thread
};

namespace {

void Release(Thread* thread) {
  if (thread->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete thread;
}

void* Run(void* raw) {
  auto* thread = static_cast<Thread*>(raw);
  thread->proc(thread->argument);
  thread->exit_code.store(0, std::memory_order_release);
  Release(thread);
  return nullptr;
}

std::atomic<std::uint32_t> next_thread_id{1};

}  // namespace

Thread* StartThread(ThreadProc proc, void* argument, std::uint32_t* thread_id) {
  if (!proc) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  auto* thread = new (std::nothrow) Thread{proc, argument};
  if (!thread) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  std::uint32_t id = next_thread_id.fetch_add(1);
  pthread_t native;
  int error = pthread_create(&native, nullptr, Run, thread);
  if (error != 0) {
    delete thread;
    posix::SetErrnoError(error);
    return nullptr;
  }
  pthread_detach(native);
  if (thread_id) *thread_id = id;
  return thread;
}

std::uint32_t GetThreadExitCode(Thread* thread) {
  return thread ? thread->exit_code.load(std::memory_order_acquire) : kUnknownExitCode;
}

bool SetThreadPriority(Thread* thread, int priority) { return thread != nullptr; }

void CloseThread(Thread* thread) {
  if (thread) Release(thread);
}

void Sleep(std::uint32_t milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace os
