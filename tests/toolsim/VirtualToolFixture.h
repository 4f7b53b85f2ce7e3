#pragma once
// The virtual tool in process, registered in a temporary port directory for one test.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "ToolProfile.h"
#include "VirtualTool.h"
#include "support/Pty.h"

namespace velmar::toolsim::testing {

// A shipped profile on COM<port>, with restarts and start-up progress made quick.
inline VirtualToolOptions ToolOptions(const std::string& profile_name, uint8_t port) {
  using namespace std::chrono_literals;
  VirtualToolOptions options;
  std::string error;
  EXPECT_EQ(LoadProfile(ShippedProfilePath(profile_name), &options.profile, &error), 0) << error;
  options.port_number = port;
  options.restart_delay = 30ms;
  options.restart_grace = 20ms;
  options.progress_interval = 20ms;
  return options;
}

class VirtualToolFixture : public ::testing::Test {
 protected:
  void TearDown() override { tool_.reset(); }

  VirtualTool& Start(VirtualToolOptions options) {
    tool_ = std::make_unique<VirtualTool>(std::move(options));
    std::string error;
    EXPECT_EQ(tool_->Start(&error), 0) << error;
    return *tool_;
  }

  velmar::testing::TempPortDir dir_;  // also the program's port directory
  std::unique_ptr<VirtualTool> tool_;
};

}  // namespace velmar::toolsim::testing
