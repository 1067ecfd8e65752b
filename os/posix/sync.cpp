// Critical sections are recursive mutexes; an event is a flag guarded by a
// mutex, with a condition variable to wait on.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "os/sync.h"

namespace os {

struct CriticalSection {
  std::recursive_mutex mutex;
};

CriticalSection* CreateCriticalSection() { return new (std::nothrow) CriticalSection; }

void EnterCriticalSection(CriticalSection* section) {
  if (section) section->mutex.lock();
}

void LeaveCriticalSection(CriticalSection* section) {
  if (section) section->mutex.unlock();
}

void DeleteCriticalSection(CriticalSection* section) { delete section; }

struct Event {
  std::mutex mutex;
  std::condition_variable changed;
  bool manual_reset;
  bool signalled;
};

Event* CreateEvent(bool manual_reset, bool initially_signalled) {
  auto* event = new (std::nothrow) Event;
  if (!event) return nullptr;
  event->manual_reset = manual_reset;
  event->signalled = initially_signalled;
  return event;
}

void SetEvent(Event* event) {
  if (!event) return;
  {
    std::lock_guard<std::mutex> guard(event->mutex);
    event->signalled = true;
  }
  if (event->manual_reset) event->changed.notify_all();
  else event->changed.notify_one();
}

void ResetEvent(Event* event) {
  if (!event) return;
  std::lock_guard<std::mutex> guard(event->mutex);
  event->signalled = false;
}

WaitResult WaitForEvent(Event* event, std::uint32_t timeout_ms) {
  if (!event) return WaitResult::kFailed;
  std::unique_lock<std::mutex> lock(event->mutex);
  auto is_signalled = [event] { return event->signalled; };
  if (timeout_ms == kInfinite) {
    event->changed.wait(lock, is_signalled);
  } else if (!event->changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), is_signalled)) {
    return WaitResult::kTimeout;
  }
  if (!event->manual_reset) event->signalled = false;
  return WaitResult::kSignalled;
}

void CloseEvent(Event* event) { delete event; }

}  // namespace os
