#include "device/PortList.h"

#include <cstdlib>

namespace velmar {

namespace {

constexpr size_t kFriendlyNameCapacity = 255;

// The decimal number after "(COM", read as the C library reads a leading integer
// (0 when no digits follow; absurdly long digit runs saturate instead of overflowing).
int PortNumberAfterMarker(const std::string& name, size_t marker) {
  const long value = std::strtol(name.c_str() + marker + 4, nullptr, 10);
  if (value > 0x7FFFFFFF) return 0x7FFFFFFF;
  if (value < -0x7FFFFFFF) return -0x7FFFFFFF;
  return static_cast<int>(value);
}

}  // namespace

PortList::PortList(PortListing& listing) : listing_(listing) {}

void PortList::Enumerate() {
  entries_.clear();
  std::vector<std::string> names;
  if (!listing_.FriendlyNames(names)) return;
  for (std::string& name : names) {
    if (name.size() > kFriendlyNameCapacity) name.resize(kFriendlyNameCapacity);
    const size_t marker = name.find("(COM");
    if (marker == std::string::npos) continue;
    entries_.push_back(PortEntry{PortNumberAfterMarker(name, marker), name});
  }
}

int PortList::PortAt(int i) const {
  if (i < 0 || i >= Count()) return -1;
  return entries_[static_cast<size_t>(i)].number;
}

std::optional<std::string> PortList::NameAt(int i) const {
  if (i < 0 || i >= Count()) return std::nullopt;
  return entries_[static_cast<size_t>(i)].friendly_name;
}

bool PortList::Contains(int number) const {
  for (const PortEntry& entry : entries_)
    if (entry.number == number) return true;
  return false;
}

}  // namespace velmar
