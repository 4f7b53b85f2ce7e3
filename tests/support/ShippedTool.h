#pragma once
// The in-process virtual tool as the tests run it: a profile shipped with velmar-toolsim, on a
// given port number, restarting fast. Header only: the tests that use it link the tool library.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "VirtualTool.h"

namespace velmar::testing {

inline toolsim::VirtualToolOptions ShippedToolOptions(const std::string& profile, uint8_t port) {
  toolsim::VirtualToolOptions options;
  std::string error;
  EXPECT_EQ(toolsim::LoadProfile(toolsim::ShippedProfilePath(profile), &options.profile, &error), 0)
      << error;
  options.port_number = port;
  options.restart_delay = std::chrono::milliseconds(300);
  options.progress_interval = std::chrono::milliseconds(100);
  return options;
}

}  // namespace velmar::testing
