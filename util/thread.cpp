#include "util/thread.h"

#include "os/sync.h"
#include "os/thread.h"

qvThread::~qvThread() { Destroy(); }

void qvThread::Entry(void* self) {
  auto* thread = static_cast<qvThread*>(self);
  thread->procedure_(thread, thread->argument_);
}

int qvThread::Start(void* argument, Procedure procedure) {
  if (handle_ || !procedure) return 0;
  argument_ = argument;
  procedure_ = procedure;
  handle_ = os::StartThread(&qvThread::Entry, this, &thread_id_);
  return handle_ ? 1 : 0;
}

void qvThread::SetPriority(int priority) {
  if (handle_) os::SetThreadPriority(handle_, priority);
}

int qvThread::AddLock(std::uint32_t key) {
  if (!locks_) locks_ = new std::map<std::uint32_t, os::CriticalSection*>;
  if (locks_->count(key)) return 0;
  os::CriticalSection* section = os::CreateCriticalSection();
  if (!section) return 0;
  (*locks_)[key] = section;
  return 1;
}

void qvThread::Lock(std::uint32_t key) {
  if (!locks_) return;
  auto found = locks_->find(key);
  if (found != locks_->end()) os::EnterCriticalSection(found->second);
}

void qvThread::Unlock(std::uint32_t key) {
  if (!locks_) return;
  auto found = locks_->find(key);
  if (found != locks_->end()) os::LeaveCriticalSection(found->second);
}

int qvThread::AddEvent(std::uint32_t key, int manual_reset, int initially_signalled) {
  if (!events_) events_ = new std::map<std::uint32_t, os::Event*>;
  if (events_->count(key)) return 0;
  os::Event* event = os::CreateEvent(manual_reset != 0, initially_signalled != 0);
  if (!event) return 0;
  (*events_)[key] = event;
  return 1;
}

namespace {

os::Event* FindEvent(const std::map<std::uint32_t, os::Event*>* events, std::uint32_t key) {
  if (!events) return nullptr;
  auto found = events->find(key);
  return found != events->end() ? found->second : nullptr;
}

}  // namespace

void qvThread::SetEvent(std::uint32_t key) {
  if (os::Event* event = FindEvent(events_, key)) os::SetEvent(event);
}

void qvThread::ResetEvent(std::uint32_t key) {
  if (os::Event* event = FindEvent(events_, key)) os::ResetEvent(event);
}

int qvThread::Wait(std::uint32_t key, std::uint32_t timeout_ms) {
  os::Event* event = FindEvent(events_, key);
  if (!event) return 0;
  return os::WaitForEvent(event, timeout_ms) == os::WaitResult::kSignalled ? 1 : 0;
}

void qvThread::WaitForExit() {
  if (!handle_) return;
  do {
    os::Sleep(1);
  } while (os::GetThreadExitCode(handle_) == os::kStillActive);
}

void qvThread::Destroy() {
  if (locks_) {
    for (auto& [key, section] : *locks_) os::DeleteCriticalSection(section);
    delete locks_;
    locks_ = nullptr;
  }
  if (events_) {
    for (auto& [key, event] : *events_) os::CloseEvent(event);
    delete events_;
    events_ = nullptr;
  }
  if (handle_) {
    os::CloseThread(handle_);
    handle_ = nullptr;
  }
  thread_id_ = 0;
}
