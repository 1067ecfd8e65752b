// Start-up and shutdown of the engine library's process-wide services.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kFrameworkHeapSize = 10485760;  // 10 MiB

// Creates, when absent, the capabilities record (probed with `flags`) and
// the private heap. Always 1: a service that cannot be created is absent.
int StartFramework(std::uint32_t flags, std::int32_t dde_mode);
// Releases the private heap, the debug log and the capabilities record, in
// that order.
void EndFramework();
