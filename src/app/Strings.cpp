#include "app/Strings.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <optional>

#include "app/StringTables_p.h"

namespace velmar {

namespace {

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
      {kStrDatabasesSkipped, "This tool has no database memory: databases skipped."},
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
      {kStrLoginStartBox, "Start Velmar at login"},
      {kStrLoginStartFailed, "Velmar could not be set to start at login."},
      {kStrBootModeScreen, "BOOT Vx.xx\r\nUSB : CONNECTED\r\nSN:R710-XXXXX"},
      {kStrReportKept, "Status report kept, it will be sent later."},
      {kStrOptionsOnlyButton, "Update options only"},
      {kStrAskOptionsOnly, "Load these options into the tool?\r\n%1!s!"},
      {kStrNoOptionsToLoad, "No option to load: the tool has no active option that the server offers."},
      {kStrHistoryTab, "History"},
      {kStrHistoryDate, "Date (UTC)"},
      {kStrHistorySerial, "Serial number"},
      {kStrHistoryVersions, "Versions"},
      {kStrHistoryOutcome, "Outcome"},
      {kStrHistoryReported, "Reported"},
      {kStrReportSent, "Yes"},
      {kStrReportPending, "Pending"},
      {kStrProgramDigest, "SHA-256: %1!s!"},
      {kStrProgramSaved, "The new version is saved as %1!s!"},
      {kStrAskStartProgram, "Start the new version now? This program closes once it has started."},
      {kStrProgramRunHint, "To upgrade, quit this program and start the new file."},
      {kStrProgramInstallHint, "This file is not a program: install it or open it to upgrade."},
      {kStrProgramStartFailed, "The new version could not be started: %1!s!"},
  };
  return table;
}

const StringTable& TableOf(Language language) {
  switch (language) {
    case Language::English:
      break;
    case Language::German:
      return GermanTable();
    case Language::French:
      return FrenchTable();
    case Language::Japanese:
      return JapaneseTable();
    case Language::Dutch:
      return DutchTable();
  }
  return EnglishTable();
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// "C", "POSIX" and their "C.UTF-8" forms: the program's untranslated texts.
bool IsPlainLocale(std::string_view locale) {
  const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
  return name.empty() || name == "C" || name == "POSIX";
}

// The language of a locale name, or nothing when the table does not carry it.
std::optional<Language> CarriedLanguage(std::string_view locale) {
  // The language code runs up to the territory, encoding or modifier ("nl_BE.UTF-8@euro").
  const std::string_view code = locale.substr(0, locale.find_first_of("_-.@"));
  if (code.size() < 2 || code.size() > 3) return std::nullopt;
  std::string lower;
  for (char c : code) lower += Lower(c);
  if (lower == "en") return Language::English;
  if (lower == "de") return Language::German;
  if (lower == "fr") return Language::French;
  if (lower == "ja") return Language::Japanese;
  if (lower == "nl") return Language::Dutch;
  return std::nullopt;
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

Language LanguageFromLocale(std::string_view locale) {
  return CarriedLanguage(locale).value_or(Language::English);
}

Language LanguageFromEnvironment(const std::function<const char*(const char*)>& getenv) {
  auto value = [&](const char* name) -> std::string_view {
    const char* text = getenv(name);
    return text ? std::string_view(text) : std::string_view();
  };
  std::string_view locale = value("LC_ALL");
  if (locale.empty()) locale = value("LC_MESSAGES");
  if (locale.empty()) locale = value("LANG");
  // As gettext does, a plain C locale means untranslated whatever LANGUAGE says, so that
  // LC_ALL=C gives English output everywhere.
  if (IsPlainLocale(locale)) return Language::English;
  // LANGUAGE is a list of preferences ("nl:de:en"); the first one the table carries wins.
  std::string_view list = value("LANGUAGE");
  while (!list.empty()) {
    const size_t colon = list.find(':');
    if (auto language = CarriedLanguage(list.substr(0, colon))) return *language;
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
  }
  return LanguageFromLocale(locale);
}

Language SystemLanguage() {
  return LanguageFromEnvironment([](const char* name) { return std::getenv(name); });
}

std::vector<int> AllStringIds() {
  std::vector<int> ids;
  ids.reserve(EnglishTable().size());
  for (const auto& entry : EnglishTable()) ids.push_back(entry.first);
  std::sort(ids.begin(), ids.end());
  return ids;
}

const std::string* OwnText(Language language, int id) {
  const StringTable& table = TableOf(language);
  const auto it = table.find(id);
  return it == table.end() ? nullptr : &it->second;
}

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
    // An optional format tag (!s!, !d!); only its presence matters, the argument decides how it
    // shows.
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
