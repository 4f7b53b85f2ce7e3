#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// The program's user-visible texts, by number. Numbers below 1000 are the table's historic
// ids (the translations key on them); texts added for this program's own dialogs and
// captions use ids from 1001 up.

// Numbered messages.
inline constexpr int kStrAboutMenu = 101;
inline constexpr int kStrConnecting = 102;
inline constexpr int kStrServerUnreachable = 103;
inline constexpr int kStrConnectionEstablished = 104;
inline constexpr int kStrTransferComplete = 111;
inline constexpr int kStrTransferFailed = 112;
inline constexpr int kStrUpdatingDevice = 113;
inline constexpr int kStrInvalidFile = 114;
inline constexpr int kStrSerialNumberError = 117;
inline constexpr int kStrDeviceDisconnected = 118;
inline constexpr int kStrDownloadFailed = 119;
inline constexpr int kStrAskUpdate = 120;
inline constexpr int kStrWaiting = 122;
inline constexpr int kStrProxyDetected = 125;
inline constexpr int kStrAskOverwrite = 126;
inline constexpr int kStrOverwriting = 129;
inline constexpr int kStrDeviceDetected = 134;
inline constexpr int kStrPortOpenFailed = 135;
inline constexpr int kStrReadSerialFailed = 136;
inline constexpr int kStrReadSoftwareFailed = 137;
inline constexpr int kStrReadBootFailed = 138;
inline constexpr int kStrReadHardwareFailed = 139;
inline constexpr int kStrSearching = 140;
inline constexpr int kStrNoDeviceFound = 141;
inline constexpr int kStrDoNotDisconnect = 143;
inline constexpr int kStrAskProgramUpgrade = 148;
inline constexpr int kStrUpdatingProgram = 151;
inline constexpr int kStrEnableUpgrade = 154;
inline constexpr int kStrAutomaticNoAdapter = 160;
inline constexpr int kStrAutomaticMode = 161;
inline constexpr int kStrUserMode = 162;
inline constexpr int kStrCompatibilityError = 173;
inline constexpr int kStrDatabasesLoaded = 193;
// The program's own: a first-map tool has no database memory to load into.
inline constexpr int kStrDatabasesSkipped = 1062;
inline constexpr int kStrLoadingOption = 196;  // %1!s!: the option's package
inline constexpr int kStrUpToDate = 199;
inline constexpr int kStrModelSerialCaption = 204;  // %1!s!: the model number
inline constexpr int kStrSerialCaption = 205;
inline constexpr int kStrUpdateFailed = 206;
inline constexpr int kStrLoadingDatabase = 207;  // %1!d!/%2!d!: number and count
inline constexpr int kStrReconnectTool = 209;
inline constexpr int kStrAskUpdateSdCard = 210;
inline constexpr int kStrAskOverwriteSdCard = 211;
inline constexpr int kStrNeedSdCard = 216;

// The program's own texts: messages, titles and captions.
inline constexpr int kStrAlreadyRunning = 1001;
inline constexpr int kStrWindowTitle = 1002;
inline constexpr int kStrNormalBanner = 1003;
inline constexpr int kStrPercentFormat = 1004;     // "%d %%", see PercentText
inline constexpr int kStrPortSuffixFormat = 1005;  // " (COM%d)", see PortSuffixText
inline constexpr int kStrNoSensorInfo = 1006;
inline constexpr int kStrAskShowSensorInfo = 1007;
inline constexpr int kStrInvalidPort = 1008;
inline constexpr int kStrToolAnswered = 1009;
inline constexpr int kStrNoToolAnswered = 1010;
inline constexpr int kStrAskFactoryReset = 1011;
inline constexpr int kStrAboutTitle = 1012;
inline constexpr int kStrTrayTip = 1013;
inline constexpr int kStrTrayMaximize = 1014;
inline constexpr int kStrTrayExit = 1015;
inline constexpr int kStrReportTab = 1016;
inline constexpr int kStrHideButton = 1017;
inline constexpr int kStrUpdateButton = 1018;
inline constexpr int kStrExitButton = 1019;
inline constexpr int kStrPrintSensorButton = 1020;
inline constexpr int kStrSettingsButton = 1021;
inline constexpr int kStrNoSerialNumber = 1022;
inline constexpr int kStrSoftwareCaption = 1023;
inline constexpr int kStrAvailableCaption = 1024;
inline constexpr int kStrZeroPercent = 1025;
inline constexpr int kStrWebCaption = 1026;
inline constexpr int kStrSettingsTitle = 1027;
inline constexpr int kStrAutoDetectBox = 1028;
inline constexpr int kStrAutoDetectHint = 1029;
inline constexpr int kStrSelectPort = 1030;
inline constexpr int kStrTestConnection = 1031;
inline constexpr int kStrProgramGroup = 1032;
inline constexpr int kStrResetGroup = 1033;
inline constexpr int kStrResetCaption = 1034;
inline constexpr int kStrFactoryResetButton = 1035;
inline constexpr int kStrApplyButton = 1036;
inline constexpr int kStrCancelButton = 1037;
inline constexpr int kStrOkButton = 1038;
inline constexpr int kStrProxyTitle = 1039;
inline constexpr int kStrProxyPrompt = 1040;
inline constexpr int kStrLoginLabel = 1041;
inline constexpr int kStrPasswordLabel = 1042;
inline constexpr int kStrBootModeTitle = 1043;
inline constexpr int kStrBootModeSteps = 1044;
inline constexpr int kStrBootModeScreen = 1045;
inline constexpr int kStrLoginStartBox = 1060;
inline constexpr int kStrLoginStartFailed = 1061;
// The update history and the reports kept for the server.
inline constexpr int kStrReportKept = 1150;
inline constexpr int kStrOptionsOnlyButton = 1151;
inline constexpr int kStrAskOptionsOnly = 1152;  // %1!s!: the options, one a line
inline constexpr int kStrNoOptionsToLoad = 1153;
inline constexpr int kStrHistoryTab = 1154;
inline constexpr int kStrHistoryDate = 1155;
inline constexpr int kStrHistorySerial = 1156;
inline constexpr int kStrHistoryVersions = 1157;
inline constexpr int kStrHistoryOutcome = 1158;
inline constexpr int kStrHistoryReported = 1159;
inline constexpr int kStrReportSent = 1160;
inline constexpr int kStrReportPending = 1161;
inline constexpr int kStrProgramSaved = 1046;        // %1!s!: the new file's path
inline constexpr int kStrProgramDigest = 1047;       // %1!s!: its SHA-256
inline constexpr int kStrAskStartProgram = 1048;
inline constexpr int kStrProgramRunHint = 1049;
inline constexpr int kStrProgramInstallHint = 1050;
inline constexpr int kStrProgramStartFailed = 1051;  // %1!s!: why

// The languages the table is carried in. An id missing from a language's table falls back to
// the English text.
enum class Language { English, German, French, Japanese, Dutch };

void SetLanguage(Language language);
Language CurrentLanguage();

// The language of a locale name ("de_DE.UTF-8", "fr", "nl_BE@euro"); English for "C", "POSIX",
// an empty name and any language the table does not carry.
Language LanguageFromLocale(std::string_view locale);

// The language of the user's locale, gettext's way: the first carried entry of the LANGUAGE
// list, unless the locale (LC_ALL, else LC_MESSAGES, else LANG) is unset, "C" or "POSIX"; then
// that locale. The programs pass it to SetLanguage at start.
Language SystemLanguage();
// The same from any variable lookup (returns null for an unset variable), for the tests.
Language LanguageFromEnvironment(const std::function<const char*(const char*)>& getenv);

// Every id of the table (the English one), in ascending order.
std::vector<int> AllStringIds();
// A language's own text of an id, without the fallback to English; null when it has none.
const std::string* OwnText(Language language, int id);

// The text of an id in the current language; empty for an unknown id.
const std::string& LoadString(int id);

// One argument of a message: a text or a whole number.
class MessageArg {
 public:
  MessageArg(std::string_view text) : text_(text) {}                 // NOLINT: implicit by design
  MessageArg(const std::string& text) : text_(text) {}               // NOLINT
  MessageArg(const char* text) : text_(text ? text : "") {}          // NOLINT
  MessageArg(int value) : text_(std::to_string(value)) {}            // NOLINT
  MessageArg(long value) : text_(std::to_string(value)) {}           // NOLINT
  MessageArg(long long value) : text_(std::to_string(value)) {}      // NOLINT
  MessageArg(unsigned value) : text_(std::to_string(value)) {}       // NOLINT
  MessageArg(unsigned long value) : text_(std::to_string(value)) {}  // NOLINT
  MessageArg(unsigned long long value) : text_(std::to_string(value)) {}  // NOLINT

  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// Fills "%1!s!" and "%2!d!" style placeholders: %n (1..99) takes argument n, with an optional
// !s! (text) or !d! (decimal number) after it. A number argument is shown in decimal and a
// text as it is, whatever the letter. A placeholder without its argument is left empty; every
// other character, "%%" included, is copied unchanged.
std::string FormatMessage(std::string_view pattern, std::initializer_list<MessageArg> args);
std::string FormatMessage(int id, std::initializer_list<MessageArg> args);

template <typename... Args>
std::string FormatMessage(std::string_view pattern, const Args&... args) {
  return FormatMessage(pattern, {MessageArg(args)...});
}
template <typename... Args>
std::string FormatMessage(int id, const Args&... args) {
  return FormatMessage(id, {MessageArg(args)...});
}

// The percentage label of a progress bar ("42 %").
std::string PercentText(int percent);
// The port number after the port-mode text (" (COM3)").
std::string PortSuffixText(int port);

}  // namespace velmar
