// The publishing side of the DDE tests: publishes a capabilities record with
// known values, creates "<folder>/ready" once its service is registered,
// and answers until "<folder>/stop" appears (or 30 s pass).
//
//   dde_peer <folder>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "os/dde.h"
#include "peer_values.h"
#include "system/caps.h"
#include "system/dde.h"
#include "base/private_heap.h"
#include "base/wide_string.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path folder(argv[1]);
  CreatePrivateHeap(1 << 20);
  qvDDE link;
  qvCaps caps(0, 1);  // registers the provider; no probes
  if (!link.IsReady() || qvCaps::Instance() != &caps) return 3;

  caps.directx_number = qvtest::kPeerDirectXNumber;
  CopyWide(caps.directx_text, 128, qvtest::kPeerDirectXText);
  std::strcpy(caps.cpu.vendor, qvtest::kPeerVendor);
  caps.cpu.family = qvtest::kPeerFamily;
  caps.cpu.registry_mhz = qvtest::kPeerRegistryMhz;

  std::ofstream(folder / "ready") << "ready";
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::filesystem::exists(folder / "stop") && std::chrono::steady_clock::now() < end)
    os::DdeDispatch(20);
  DestroyPrivateHeap();
  return 0;
}
