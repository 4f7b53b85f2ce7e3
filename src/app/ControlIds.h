#pragma once

namespace velmar {

// The main window's controls, by the ids the window logic addresses them with.
namespace control {
inline constexpr int kHide = 1;
inline constexpr int kExit = 2;
inline constexpr int kDownloadBar = 1000;
inline constexpr int kTransferBar = 1001;
inline constexpr int kSerialNumber = 1003;
inline constexpr int kSoftwareVersion = 1004;
inline constexpr int kAvailableVersion = 1006;
inline constexpr int kDownloadPercent = 1007;
inline constexpr int kTransferPercent = 1008;
inline constexpr int kBanner = 1012;
inline constexpr int kUpdateDevice = 1017;
inline constexpr int kLinkButton = 1018;
inline constexpr int kSettings = 1023;
inline constexpr int kPortModeText = 1024;
inline constexpr int kPrintSensorInfo = 1025;
inline constexpr int kTabStrip = 1054;
inline constexpr int kStatusLog = 1056;
inline constexpr int kSerialCaption = 1096;
// Beside UPDATE DEVICE, enabled with it.
inline constexpr int kUpdateOptionsOnly = 1097;
}  // namespace control

// Window messages: the worker that posts them, or the window's own requests.
namespace message {
inline constexpr unsigned kPortScanner = 2025;
inline constexpr unsigned kOptionsOnlyUpdate = 2036;
inline constexpr unsigned kFactoryReset = 2046;
inline constexpr unsigned kVersionCheck = 2048;
inline constexpr unsigned kDownload = 2049;
inline constexpr unsigned kProgramUpdate = 2050;
}  // namespace message

// The window's two timers.
namespace timer {
inline constexpr int kSequencer = 1;  // 1000 ms: one step of the update sequencer
inline constexpr int kBlink = 2;      // 1000 ms: the blinking warning banner
inline constexpr unsigned kPeriodMs = 1000;
}  // namespace timer

}  // namespace velmar
