#pragma once
#include <string>
#include <vector>

namespace velmar {

// The serial ports present on this computer, each as a friendly name that ends in
// " (COM<n>)", the way the port list expects them. In a stable order: registered ports of the
// port directory by number, then the system's serial devices by number.
class PortListing {
 public:
  virtual ~PortListing() = default;
  // False when the operating system could not be asked.
  virtual bool FriendlyNames(std::vector<std::string>& names) = 0;
};

// The listing of this operating system: the port directory and /sys/class/tty on Linux.
PortListing& SystemPortListing();

}  // namespace velmar
