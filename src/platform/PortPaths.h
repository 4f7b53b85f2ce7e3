#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace velmar {

// The program identifies a serial port by an 8-bit number (stored in the configuration file).
// On Linux a number maps to a device path in this order:
//  1. a symlink "COM<n>" in the port directory (virtual tools, user-chosen fixed numbers),
//     when that directory is private to the user;
//  2. the fixed mapping /dev/ttyS<k> = k+1, /dev/ttyUSB<k> = 33+k, /dev/ttyACM<k> = 65+k, k < 32.
// This file is the only place that knows the mapping.

inline constexpr uint8_t kNoPort = 255;  // the "none" value of the configuration

// $VELMAR_PORT_DIR, else $XDG_RUNTIME_DIR/velmar/ports, else /tmp/velmar-<uid>/ports.
std::string PortDirectory();

// The port directory when the program may believe what it holds: created private when missing,
// otherwise used only when it (and, for the default locations, the "velmar" folder above it)
// is a real folder of this user that nobody else can write to. Nothing when it is not usable;
// then `problem` (when given) gets one line that says why.
std::optional<std::string> UsablePortDirectory(std::string* problem = nullptr);

// The one line the front ends show when the port directory is not usable.
std::string PortFolderIgnoredLine(const std::string& problem);

// "COM<n>", the name a port is shown and registered under.
std::string PortName(uint8_t number);

// Path of the "COM<n>" entry in the port directory (whether or not it exists).
std::string PortLinkPath(uint8_t number);

// Path of the "COM<n>.name" file that holds a registered port's friendly name.
std::string PortFriendlyNamePath(uint8_t number);

// The fixed system device path of a port number, if the number is in a fixed range.
std::optional<std::string> FixedDevicePath(uint8_t number);

// The port number of a system device path such as /dev/ttyUSB0, if it has one.
std::optional<uint8_t> FixedPortNumber(const std::string& device_path);

// The device to open for a port number. A number registered in the usable port directory
// belongs to its link: the link when its device is there, nothing while it dangles. Any other
// number: the fixed system device when it exists, else nothing.
std::optional<std::string> ResolvePortDevice(uint8_t number);

}  // namespace velmar
