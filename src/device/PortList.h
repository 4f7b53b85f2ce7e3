#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/PortListing.h"

namespace velmar {

struct PortEntry {
  int number = 0;
  std::string friendly_name;
};

// The serial ports present on the computer, in the order the system lists them. Only names
// that carry "(COM" followed by the port number are listed.
class PortList {
 public:
  explicit PortList(PortListing& listing = SystemPortListing());

  void Enumerate();
  int Count() const { return static_cast<int>(entries_.size()); }
  int PortAt(int i) const;
  std::optional<std::string> NameAt(int i) const;
  bool Contains(int number) const;
  const std::vector<PortEntry>& Entries() const { return entries_; }

 private:
  PortListing& listing_;
  std::vector<PortEntry> entries_;
};

}  // namespace velmar
