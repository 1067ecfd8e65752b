// qvThread: one system thread with keyed locks and keyed events.
#pragma once

#include <cstdint>
#include <map>

namespace os {
struct Thread;
struct CriticalSection;
struct Event;
}  // namespace os

class qvThread {
 public:
  using Procedure = void (*)(qvThread* thread, void* argument);

  qvThread() = default;
  qvThread(const qvThread&) = delete;
  qvThread& operator=(const qvThread&) = delete;
  ~qvThread();

  int Start(void* argument, Procedure procedure);
  void SetPriority(int priority);

  int AddLock(std::uint32_t key);
  void Lock(std::uint32_t key);
  void Unlock(std::uint32_t key);

  int AddEvent(std::uint32_t key, int manual_reset, int initially_signalled);
  void SetEvent(std::uint32_t key);
  void ResetEvent(std::uint32_t key);
  int Wait(std::uint32_t key, std::uint32_t timeout_ms);

  void WaitForExit();
  void Destroy();

  std::uint32_t GetThreadId() const { return thread_id_; }

 private:
  static void Entry(void* self);

  os::Thread* handle_ = nullptr;
  std::uint32_t thread_id_ = 0;
  std::map<std::uint32_t, os::CriticalSection*>* locks_ = nullptr;
  std::map<std::uint32_t, os::Event*>* events_ = nullptr;
  void* argument_ = nullptr;
  Procedure procedure_ = nullptr;
};
