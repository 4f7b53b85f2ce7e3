#pragma once
#include <string>
#include <utility>
#include <vector>

#include "platform/PortListing.h"

namespace velmar::testing {

// A port listing that answers with the names a test gives it, or fails when told to.
class ScriptedPortListing : public PortListing {
 public:
  ScriptedPortListing() = default;
  explicit ScriptedPortListing(std::vector<std::string> names) : names(std::move(names)) {}

  bool FriendlyNames(std::vector<std::string>& out) override {
    ++calls;
    if (fails) return false;
    out = names;
    return true;
  }

  std::vector<std::string> names;
  bool fails = false;
  int calls = 0;  // how often the system was asked
};

}  // namespace velmar::testing
