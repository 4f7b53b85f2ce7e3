#pragma once
#include <cstdint>
#include <string>

namespace velmar::toolsim {

// One pseudo-terminal pair playing the tool's USB serial adapter. The tool keeps the master
// side; the program opens the slave side by its path, as it would open a serial device.
// The slave is set to raw mode at once (no echo, no line editing, no character mapping) and
// held open by the tool, so that the master side works whether or not the program has the
// port open, just as a cable does. A pty has no parity and no real baud rate.
class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal() { Close(); }

  // 0 on success, -1 with a message.
  int Open(std::string* error);
  // Closing the master hangs up whoever has the slave open: their reads fail.
  void Close();

  bool IsOpen() const { return master_ >= 0; }
  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slave_path_; }

 private:
  int master_ = -1;
  int held_slave_ = -1;
  std::string slave_path_;
};

// The tool's entry in the port directory: a "COM<n>" link to the device and a "COM<n>.name"
// file with the adapter's friendly name. The name file is written first and the link made
// atomically, so that a port listing never sees the link without its name.
class PortRegistration {
 public:
  PortRegistration(std::string directory, uint8_t number, std::string friendly_name);

  // Fails when another live device holds the number; a dangling link (a tool that died) is
  // replaced.
  int CheckFree(std::string* error) const;
  int Register(const std::string& device_path, std::string* error);
  // Removes the link, then the name file.
  void Unregister();

  const std::string& LinkPath() const { return link_path_; }
  const std::string& NamePath() const { return name_path_; }

 private:
  std::string directory_;
  std::string link_path_;
  std::string name_path_;
  std::string friendly_name_;
};

}  // namespace velmar::toolsim
