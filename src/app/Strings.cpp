#include "app/Strings.h"

#include <atomic>
#include <cstddef>
#include <unordered_map>

namespace velmar {

namespace {

using StringTable = std::unordered_map<int, std::string>;

// The English texts, byte for byte as the tool's users know them (odd spacing included).
const StringTable& EnglishTable() {
  static const StringTable table = {
      {kStrAboutMenu, "&About TPMS tool..."},
      {kStrConnecting, "Connecting to the Internet server..."},
      {kStrServerUnreachable, "Unable to connect to the Internet server."},
      {kStrConnectionEstablished, "Connection established"},
      {kStrTransferComplete, "File transfert complete."},
      {kStrTransferFailed, "File transfert fail. Please try again."},
      {kStrUpdatingDevice, "Updating Device..."},
      {kStrInvalidFile, "Received invalid file."},
      {kStrSerialNumberError, "Device Serial number error. Please try again."},
      {kStrDeviceDisconnected, "Device Disconnected."},
      {kStrDownloadFailed, "Download file fail."},
      {kStrAskUpdate,
       "A NEW VERSION IS AVAILABLE FOR DOWNLOAD\r\nDo you want to update your device ?"},
      {kStrWaiting, "Waiting ..."},
      {kStrProxyDetected, "Proxy server detected. Need user login & Password"},
      {kStrAskOverwrite,
       "NO NEW SOFTWARE VERSION AVAILABLE.\n     Do you want to overwrite your device ?"},
      {kStrOverwriting, "Overwrite the device with the last available version"},
      {kStrDeviceDetected, "Device Detected."},
      {kStrPortOpenFailed, "Open serial communication port fail."},
      {kStrReadSerialFailed, "Read Device serial number fail."},
      {kStrReadSoftwareFailed, "Read Device software version fail."},
      {kStrReadBootFailed, "Read Device boot version fail."},
      {kStrReadHardwareFailed, "Read Device hardware version fail."},
      {kStrSearching, "Searching Device ..."},
      {kStrNoDeviceFound, "No Device found"},
      {kStrDoNotDisconnect, "Do not disconnect the device !"},
      {kStrAskProgramUpgrade,
       "A new version of Velmar software is available.\r\nDo you want to upgrade Velmar software "
       "tool ?"},
      {kStrUpdatingProgram, "Updating Velmar... Please wait."},
      {kStrEnableUpgrade, "Enable Velmar software upgrade"},
      {kStrAutomaticNoAdapter, "Configuration: Automatic Mode (No adapter found)"},
      {kStrAutomaticMode, "Configuration: Automatic Mode "},
      {kStrUserMode, "Configuration: User Mode "},
      {kStrCompatibilityError, "An error occured due to a compatibility issue."},
      {kStrDatabasesLoaded, "Database loading completed successfully."},
      {kStrLoadingOption, "Loading option : %1!s!"},
      {kStrUpToDate, "Congratulation ! Your tool is up to date."},
      {kStrModelSerialCaption, "%1!s! Serial Number:"},
      {kStrSerialCaption, "Device Serial Number:"},
      {kStrUpdateFailed, "Failed to update the device"},
      {kStrLoadingDatabase, "Loading database %1!d!/%2!d!.... Please wait."},
      {kStrReconnectTool, "Unplug and then reconnect your TPMS tool."},
      {kStrAskUpdateSdCard,
       "A NEW VERSION IS AVAILABLE FOR DOWNLOAD\r\nDo you want to update your device ? \r\n"
       "              (SD card is required)"},
      {kStrAskOverwriteSdCard,
       "NO NEW SOFTWARE VERSION AVAILABLE.\n     Do you want to overwrite your device ? \n"
       "                   (SD card is required)"},
      {kStrNeedSdCard,
       "Failed to update the device.\n Some options works on tools with SD cards only.\n Contact "
       "TPMS tool service department for retrofit or upgrade options."},

      {kStrAlreadyRunning, "Korda is still running !!!!"},
      {kStrWindowTitle, "Telvan Velmar V7.12"},
      {kStrNormalBanner, "Telvan Internet service"},
      {kStrPercentFormat, "%d %%"},
      {kStrPortSuffixFormat, " (COM%d)"},
      {kStrNoSensorInfo, "No sensor informations available"},
      {kStrAskShowSensorInfo, "Would you like to print stored TPM Sensor information ?"},
      {kStrInvalidPort, "Invalid communication port"},
      {kStrToolAnswered, "Device detected"},
      {kStrNoToolAnswered, "No device detected"},
      {kStrAskFactoryReset, "Do you really want to reset your TPMS tool ?"},
      {kStrAboutTitle, "About Velmar"},
      {kStrTrayTip, "Ostar TPMS"},
      {kStrTrayMaximize, "Maximize"},
      {kStrTrayExit, "Exit"},
      {kStrReportTab, "Report"},
      {kStrHideButton, "HIDE"},
      {kStrUpdateButton, "UPDATE DEVICE"},
      {kStrExitButton, "EXIT"},
      {kStrPrintSensorButton, "Print sensor info"},
      {kStrSettingsButton, "Settings"},
      {kStrNoSerialNumber, "------------------------------------"},
      {kStrSoftwareCaption, "Software version  :"},
      {kStrAvailableCaption, "Available version  :"},
      {kStrZeroPercent, "0 %"},
      {kStrWebCaption, "Web"},
      {kStrSettingsTitle, "Velmar Configuration"},
      {kStrAutoDetectBox, " Activate automatic detection."},
      {kStrAutoDetectHint, "(Recommended if you use our USB-RS232 adapter)"},
      {kStrSelectPort, "Select Communication Port :"},
      {kStrTestConnection, "Test Connection"},
      {kStrProgramGroup, "Velmar software "},
      {kStrResetGroup, "Factory reset"},
      {kStrResetCaption, "Reset your TPMS device to factory settings :"},
      {kStrFactoryResetButton, "Factory Reset"},
      {kStrApplyButton, "APPLY"},
      {kStrCancelButton, "Cancel"},
      {kStrOkButton, "OK"},
      {kStrProxyTitle, "Login and Password"},
      {kStrProxyPrompt,
       "Authentification is required . Please enter your login and your password."},
      {kStrLoginLabel, "Login :"},
      {kStrPasswordLabel, "Password :"},
      {kStrBootModeTitle, "Boot mode"},
      {kStrBootModeSteps,
       "To update this tool with the Korda software, put it into boot mode first:\r\n"
       "1. Switch the tool off.\r\n"
       "2. Press and hold the first key shown below, then press the second key.\r\n"
       "In boot mode the tool's screen shows:"},
      {kStrBootModeScreen, "BOOT Vx.xx\r\nUSB : CONNECTED\r\nSN:R710-XXXXX"},
  };
  return table;
}

const StringTable& TableOf(Language language) {
  switch (language) {
    case Language::English:
      break;
  }
  return EnglishTable();
}

std::atomic<Language> g_language{Language::English};

const std::string& EmptyText() {
  static const std::string empty;
  return empty;
}

// "%d" takes the value, "%%" gives one "%"; everything else is copied. Enough for the two
// printf-style label formats of the table, and safe whatever a translation puts there.
std::string FormatOneNumber(std::string_view pattern, long long value) {
  std::string out;
  bool used = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (pattern[i + 1] == 'd' && !used) {
        out += std::to_string(value);
        used = true;
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void SetLanguage(Language language) { g_language = language; }
Language CurrentLanguage() { return g_language; }

const std::string& LoadString(int id) {
  const StringTable& table = TableOf(g_language);
  if (auto it = table.find(id); it != table.end()) return it->second;
  const StringTable& english = EnglishTable();
  if (auto it = english.find(id); it != english.end()) return it->second;
  return EmptyText();
}

std::string FormatMessage(std::string_view pattern, std::initializer_list<MessageArg> args) {
  constexpr size_t kMaxFormatTag = 8;  // "!s!", "!d!", "!ld!"...: a longer run is no format tag
  std::string out;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size() || !IsDigit(pattern[i + 1]) || pattern[i + 1] == '0') {
      out += c;
      ++i;
      continue;
    }
    // %n with one or two digits (1..99).
    size_t j = i + 1;
    int number = pattern[j++] - '0';
    if (j < pattern.size() && IsDigit(pattern[j])) number = number * 10 + (pattern[j++] - '0');
    // An optional format tag (!s!, !d!); only its presence matters, the argument decides how it shows.
    if (j < pattern.size() && pattern[j] == '!') {
      const size_t close = pattern.find('!', j + 1);
      if (close != std::string_view::npos && close - j <= kMaxFormatTag) j = close + 1;
    }
    if (static_cast<size_t>(number) <= args.size()) out += (args.begin() + (number - 1))->Text();
    i = j;
  }
  return out;
}

std::string FormatMessage(int id, std::initializer_list<MessageArg> args) {
  return FormatMessage(std::string_view(LoadString(id)), args);
}

std::string PercentText(int percent) {
  return FormatOneNumber(LoadString(kStrPercentFormat), percent);
}

std::string PortSuffixText(int port) {
  return FormatOneNumber(LoadString(kStrPortSuffixFormat), port);
}

}  // namespace velmar
