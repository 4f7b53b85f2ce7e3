#pragma once
#include <cstdint>
#include <string>

#include "support/FakeSerial.h"

namespace velmar::testing {

// A temporary port directory, made the process's port directory ($VELMAR_PORT_DIR) for
// the life of the object.
class TempPortDir {
 public:
  TempPortDir();
  ~TempPortDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
  bool had_previous_ = false;
};

// The far end of a pseudo-terminal whose near end is registered as "COM<n>" in the port
// directory, so a SerialPort opens it by number. Plays the tool in tests.
class PtyPeer {
 public:
  explicit PtyPeer(uint8_t port_number);
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& device_path() const { return slave_path_; }
  int master_fd() const { return master_fd_; }
  bool ok() const { return master_fd_ >= 0; }

  void Send(const Bytes& bytes);
  // Waits until exactly n bytes arrived or the deadline passed; returns what arrived.
  Bytes Receive(size_t n, int deadline_ms = 5000);
  // Closes the far end, as a tool does when its USB adapter goes away; removes the link.
  void Hangup();

 private:
  uint8_t port_number_;
  int master_fd_ = -1;
  std::string slave_path_;
};

}  // namespace velmar::testing
