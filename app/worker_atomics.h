// Flags, slot states and counters shared by the worker's threads without
// locks: stores publish with release, loads see them with acquire.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

template <typename T>
T LoadAcquire(T& value) {
  return std::atomic_ref<T>(value).load(std::memory_order_acquire);
}

template <typename T>
void StoreRelease(T& value, std::type_identity_t<T> wanted) {
  std::atomic_ref<T>(value).store(wanted, std::memory_order_release);
}

template <typename T>
T ExchangeAcqRel(T& value, std::type_identity_t<T> wanted) {
  return std::atomic_ref<T>(value).exchange(wanted, std::memory_order_acq_rel);
}

inline void AddAcqRel(std::uint64_t& value, std::uint64_t amount) {
  std::atomic_ref<std::uint64_t>(value).fetch_add(amount, std::memory_order_acq_rel);
}

// Orders a thread's stores before its later loads, which acquire and
// release alone do not: a sleeper's "I wait" before its last look at what
// it waits for, a waker's change before its look at whether one sleeps.
inline void FullFence() { std::atomic_thread_fence(std::memory_order_seq_cst); }
