// Start at login through XDG autostart entries, in a temporary home and system folder.
#include <gtest/gtest.h>

#include <tuple>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/LoginStart.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

// The user's entry overrides the system's: switching off with a system entry present writes
// Hidden=true, without one it removes the user's file. The program's path is quoted the way
// Exec lines want it.
TEST(XdgLoginStart, TheUsersEntryWinsOverTheSystemOne) {
  // A null Exec line is not checked.
  const std::tuple<const char*, bool, bool, const char*, bool, const char*> cases[] = {
      {"on, plain path", false, true, "/usr/bin/velmar", true, "Exec=/usr/bin/velmar --tray\n"},
      {"on, path with a space and a percent", false, true, "/opt/my apps/v%1/velmar", true,
       "Exec=\"/opt/my apps/v%%1/velmar\" --tray\n"},
      {"on, path with a dollar", false, true, "/opt/a$b/velmar", true,
       "Exec=\"/opt/a\\\\$b/velmar\" --tray\n"},
      {"off without a system entry", false, false, "/usr/bin/velmar", false, nullptr},
      {"off over the system entry", true, false, "/usr/bin/velmar", true, "Hidden=true\n"},
      {"on over the system entry", true, true, "/usr/bin/velmar", true, "Exec=/usr/bin/velmar --tray\n"},
  };
  for (const auto& [name, system_entry, enable, program, user_file, exec_line] : cases) {
    SCOPED_TRACE(name);
    testing::ScratchDir home;
    const fs::path system_dir = home.File("xdg-system/autostart");
    fs::create_directories(system_dir);
    if (system_entry) std::ofstream(system_dir / "velmar.desktop") << "[Desktop Entry]\nExec=velmar --tray\n";
    setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", ("relative:" + home.File("xdg-system")).c_str(), 1);
    LoginStart& login = SystemLoginStart();
    EXPECT_EQ(login.Enabled(), system_entry);

    ASSERT_TRUE(login.SetEnabled(!enable, program));  // from the other state
    ASSERT_TRUE(login.SetEnabled(enable, program));
    EXPECT_EQ(login.Enabled(), enable);
    const fs::path user = home.File("config/autostart/velmar.desktop");
    EXPECT_EQ(fs::exists(user), user_file);
    if (exec_line) {
      EXPECT_NE(testing::ReadFileText(user).find(exec_line), std::string::npos) << testing::ReadFileText(user);
    }
    EXPECT_FALSE(fs::exists(user.string() + ".tmp-" + std::to_string(getpid())));
  }
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_CONFIG_DIRS");
}

TEST(XdgLoginStart, AnUnwritableFolderOrABadProgramIsAFailureNotASuccess) {
  testing::ScratchDir home;
  std::ofstream(home.File("config")) << "a file where the folder should be";
  setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", home.File("none").c_str(), 1);
  EXPECT_FALSE(SystemLoginStart().SetEnabled(true, "/usr/bin/velmar"));
  setenv("XDG_CONFIG_HOME", home.File("ok").c_str(), 1);
  EXPECT_FALSE(SystemLoginStart().SetEnabled(true, "/usr/bin/velmar\nExec=rm -rf ~"));
  EXPECT_FALSE(SystemLoginStart().Enabled());
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_CONFIG_DIRS");
}

}  // namespace
}  // namespace velmar
