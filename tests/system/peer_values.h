// What the publishing peer puts into its capabilities record.
#pragma once

#include <cstdint>

namespace qvtest {

inline constexpr std::uint32_t kPeerDirectXNumber = 0x90003;
inline constexpr char16_t kPeerDirectXText[] = u"9.0c";
inline constexpr char kPeerVendor[] = "PeerVendor";
inline constexpr std::uint32_t kPeerFamily = 6;
inline constexpr std::uint32_t kPeerRegistryMhz = 3210;

}  // namespace qvtest
