// Start-up and shutdown of the engine library's process-wide services.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kFrameworkHeapSize = 10485760;  // 10 MiB

// Brings up common controls and COM, then creates, when absent, the DDE
// link (for a DDE mode other than 0), the capabilities record (probed with
// `flags`), the private heap and the file server. Always 1: a service that
// cannot be created is absent.
int StartFramework(std::uint32_t flags, std::int32_t dde_mode);
// Releases the DDE link, the file server, the private heap, the debug log,
// the capabilities record and COM, in that order.
void EndFramework();
