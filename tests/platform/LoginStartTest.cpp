// Start at login through XDG autostart entries, in a temporary home and system folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/LoginStart.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The user's entry overrides the system's: switching off with a system entry present writes
// Hidden=true, without one it removes the user's file. The program's path is quoted the way
// Exec lines want it.
TEST(XdgLoginStart, TheUsersEntryWinsOverTheSystemOne) {
  struct Case {
    const char* name;
    bool system_entry;
    bool enable;
    const char* program;
    bool user_file;
    const char* exec_line;  // null: not checked
  };
  const Case cases[] = {
      {"on, plain path", false, true, "/usr/bin/velmar", true, "Exec=/usr/bin/velmar --tray\n"},
      {"on, path with a space and a percent", false, true, "/opt/my apps/v%1/velmar", true,
       "Exec=\"/opt/my apps/v%%1/velmar\" --tray\n"},
      {"on, path with a dollar", false, true, "/opt/a$b/velmar", true,
       "Exec=\"/opt/a\\\\$b/velmar\" --tray\n"},
      {"off without a system entry", false, false, "/usr/bin/velmar", false, nullptr},
      {"off over the system entry", true, false, "/usr/bin/velmar", true, "Hidden=true\n"},
      {"on over the system entry", true, true, "/usr/bin/velmar", true, "Exec=/usr/bin/velmar --tray\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScratchDir home;
    const fs::path system_dir = home.File("xdg-system/autostart");
    fs::create_directories(system_dir);
    if (c.system_entry) std::ofstream(system_dir / "velmar.desktop") << "[Desktop Entry]\nExec=velmar --tray\n";
    setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", ("relative:" + home.File("xdg-system")).c_str(), 1);
    LoginStart& login = SystemLoginStart();
    EXPECT_EQ(login.Enabled(), c.system_entry);

    ASSERT_TRUE(login.SetEnabled(!c.enable, c.program));  // from the other state
    ASSERT_TRUE(login.SetEnabled(c.enable, c.program));
    EXPECT_EQ(login.Enabled(), c.enable);
    const fs::path user = home.File("config/autostart/velmar.desktop");
    EXPECT_EQ(fs::exists(user), c.user_file);
    if (c.exec_line) {
      EXPECT_NE(Read(user).find(c.exec_line), std::string::npos) << Read(user);
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
