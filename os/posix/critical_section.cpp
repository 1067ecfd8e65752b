#include <mutex>
#include <new>

#include "os/thread.h"

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

}  // namespace os
