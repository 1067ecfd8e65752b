// Starts the publishing peer beside the test executable and stops it again.
#pragma once

#include <filesystem>

#include "support/child_process.h"

namespace qvtest {

class PeerProcess {
 public:
  // Starts the peer and waits (up to 20 s) until it reports its service
  // registered; Ready() tells whether it did.
  explicit PeerProcess(const std::filesystem::path& folder);
  // Asks the peer to stop; the child then waits for its end.
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool Ready() const { return ready_; }

 private:
  std::filesystem::path folder_;
  ChildProcess peer_;
  bool ready_ = false;
};

}  // namespace qvtest
