// Start at login on Linux desktops: XDG autostart entries. The user's own entry
// ($XDG_CONFIG_HOME/autostart/velmar.desktop) takes the place of a system one of the same name
// ($XDG_CONFIG_DIRS/autostart/velmar.desktop, installed by the package); a user entry with
// Hidden=true switches the system one off.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/FileWrite.h"
#include "platform/LoginStart.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

constexpr const char* kEntryName = "velmar.desktop";
constexpr const char* kTrayArgument = "--tray";
constexpr size_t kMaxEntryBytes = 64 * 1024;

fs::path UserEntry() {
  const char* config_home = std::getenv("XDG_CONFIG_HOME");
  if (config_home && config_home[0] == '/') return fs::path(config_home) / "autostart" / kEntryName;
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') return {};
  return fs::path(home) / ".config" / "autostart" / kEntryName;
}

// The first system entry, in the order of $XDG_CONFIG_DIRS (default /etc/xdg).
fs::path SystemEntry() {
  const char* dirs = std::getenv("XDG_CONFIG_DIRS");
  std::istringstream list(dirs && dirs[0] ? dirs : "/etc/xdg");
  std::error_code error;
  for (std::string dir; std::getline(list, dir, ':');) {
    if (dir.empty() || dir[0] != '/') continue;  // relative entries are invalid there
    const fs::path entry = fs::path(dir) / "autostart" / kEntryName;
    if (fs::exists(entry, error)) return entry;
  }
  return {};
}

// Whether an entry that exists is switched off (Hidden=true, or GNOME's own key).
bool SwitchedOff(const fs::path& entry) {
  std::ifstream in(entry);
  std::string line;
  bool in_main_group = false;
  size_t read = 0;
  while (read < kMaxEntryBytes && std::getline(in, line)) {
    read += line.size() + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      in_main_group = line == "[Desktop Entry]";
      continue;
    }
    if (!in_main_group) continue;
    if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return true;
  }
  return false;
}

// One argument of an Exec line: quoted when it holds a reserved character, with the
// characters that stay special inside quotes escaped; then the escaping of a string value
// (a backslash doubled) and of field codes (% doubled).
std::string ExecArgument(const std::string& argument) {
  const bool quote = argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
  std::string quoted;
  for (char c : argument) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) quoted += '\\';
    quoted += c;
  }
  if (quote) quoted = '"' + quoted + '"';
  std::string value;
  for (char c : quoted) {
    if (c == '\\') value += '\\';
    if (c == '%') value += '%';
    value += c;
  }
  return value;
}

// Replaces `path` whole or not at all: a half-written entry would start nothing, or worse.
bool WriteEntry(const fs::path& path, const std::string& text) {
  const std::string temporary = path.string() + ".tmp-" + std::to_string(getpid());
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, text.data(), text.size());
  if (close(fd) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

class XdgLoginStart : public LoginStart {
 public:
  bool Enabled() override {
    std::error_code error;
    const fs::path user = UserEntry();
    if (!user.empty() && fs::exists(user, error)) return !SwitchedOff(user);
    const fs::path system = SystemEntry();
    return !system.empty() && !SwitchedOff(system);
  }

  bool SetEnabled(bool enabled, const std::string& program) override {
    const fs::path user = UserEntry();
    if (user.empty()) return false;
    std::error_code error;
    if (!enabled && SystemEntry().empty()) {
      fs::remove(user, error);
      return !error;
    }
    if (enabled && (program.empty() || program.find('\n') != std::string::npos)) return false;
    fs::create_directories(user.parent_path(), error);
    if (error) return false;
    std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Velmar\n"
        "Icon=velmar\n"
        "Terminal=false\n"
        "NoDisplay=true\n";
    if (enabled) {
      entry += "Exec=" + ExecArgument(program) + " " + kTrayArgument + "\n";
    } else {
      // Removing ours would bring the system entry back: say "not for me" instead.
      entry += "Exec=velmar " + std::string(kTrayArgument) + "\nHidden=true\n";
    }
    return WriteEntry(user, entry);
  }
};

}  // namespace

LoginStart& SystemLoginStart() {
  static XdgLoginStart login_start;
  return login_start;
}

}  // namespace velmar
