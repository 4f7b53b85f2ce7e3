#pragma once
#include <string>

namespace velmar {

// Whether the desktop program starts, in the tray, when the user logs in. Kept where the
// system looks for it (not in the configuration file, whose 16 bytes stay as they are).
class LoginStart {
 public:
  virtual ~LoginStart() = default;
  virtual bool Enabled() = 0;
  // Starts `program` with an argument (so it comes up in the tray) at each login, or no
  // longer. False when that could not be stored.
  virtual bool SetEnabled(bool enabled, const std::string& program) = 0;
};

// The mechanism of this operating system: on Linux the user's XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/velmar.desktop), which overrides the one the package installs.
LoginStart& SystemLoginStart();

}  // namespace velmar
