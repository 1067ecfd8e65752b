// The private heap every picture decoder allocates from, created once.
#pragma once

#include "base/private_heap.h"

inline void EnsureFuzzHeap() {
  static const int heap = CreatePrivateHeap(10 * 1024 * 1024);
  (void)heap;
}
