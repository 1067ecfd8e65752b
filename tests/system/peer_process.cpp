#include "peer_process.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace qvtest {

PeerProcess::PeerProcess(const std::filesystem::path& folder)
    : folder_(folder), peer_(ProgramBesideTest("dde_peer"), {folder.string()}) {
  if (!peer_.Started()) return;
  for (int i = 0; i < 2000 && !ready_; ++i) {
    ready_ = std::filesystem::exists(folder_ / "ready");
    if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

PeerProcess::~PeerProcess() {
  if (peer_.Started()) std::ofstream(folder_ / "stop") << "stop";
}

}  // namespace qvtest
