// Locks and events between the threads of one process.
#pragma once

#include <cstdint>

namespace os {

struct CriticalSection;  // a recursive lock
struct Event;            // a manual- or auto-reset event

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

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

}  // namespace os
