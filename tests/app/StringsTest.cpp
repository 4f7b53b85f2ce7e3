// The string table as the window's tests and the user see it: exact texts (line breaks and odd
// spacing included) and the placeholder filling.
#include <gtest/gtest.h>

#include <string>

#include "app/Strings.h"

namespace velmar {
namespace {

TEST(Strings, QuestionsKeepTheirLineBreaksAndSpacing) {
  EXPECT_EQ(LoadString(kStrAskUpdate),
            "A NEW VERSION IS AVAILABLE FOR DOWNLOAD\r\nDo you want to update your device ?");
  EXPECT_EQ(LoadString(kStrAskOverwrite),
            "NO NEW SOFTWARE VERSION AVAILABLE.\n     Do you want to overwrite your device ?");
  EXPECT_EQ(LoadString(kStrAskUpdateSdCard),
            "A NEW VERSION IS AVAILABLE FOR DOWNLOAD\r\nDo you want to update your device ? "
            "\r\n              (SD card is required)");
  EXPECT_EQ(LoadString(kStrAskOverwriteSdCard),
            "NO NEW SOFTWARE VERSION AVAILABLE.\n     Do you want to overwrite your device ? "
            "\n                   (SD card is required)");
  EXPECT_EQ(LoadString(kStrNeedSdCard),
            "Failed to update the device.\n Some options works on tools with SD cards only.\n "
            "Contact TPMS tool service department for retrofit or upgrade options.");
  EXPECT_EQ(LoadString(kStrAskProgramUpgrade),
            "A new version of Velmar software is available.\r\nDo you want to upgrade Velmar "
            "software tool ?");
  // The spacing counts: 14 spaces before the SD-card line of 210, 19 before that of 211.
  EXPECT_NE(LoadString(kStrAskUpdateSdCard).find("\r\n" + std::string(14, ' ') + "(SD"),
            std::string::npos);
  EXPECT_NE(LoadString(kStrAskOverwriteSdCard).find("\n" + std::string(19, ' ') + "(SD"),
            std::string::npos);
}

TEST(Strings, NumberedTextsByTheirHistoricIds) {
  const std::pair<int, const char*> expected[] = {
      {101, "&About TPMS tool..."},
      {102, "Connecting to the Internet server..."},
      {103, "Unable to connect to the Internet server."},
      {104, "Connection established"},
      {111, "File transfert complete."},
      {112, "File transfert fail. Please try again."},
      {113, "Updating Device..."},
      {114, "Received invalid file."},
      {117, "Device Serial number error. Please try again."},
      {118, "Device Disconnected."},
      {119, "Download file fail."},
      {122, "Waiting ..."},
      {125, "Proxy server detected. Need user login & Password"},
      {129, "Overwrite the device with the last available version"},
      {134, "Device Detected."},
      {135, "Open serial communication port fail."},
      {136, "Read Device serial number fail."},
      {137, "Read Device software version fail."},
      {138, "Read Device boot version fail."},
      {139, "Read Device hardware version fail."},
      {140, "Searching Device ..."},
      {141, "No Device found"},
      {143, "Do not disconnect the device !"},
      {151, "Updating Velmar... Please wait."},
      {154, "Enable Velmar software upgrade"},
      {160, "Configuration: Automatic Mode (No adapter found)"},
      {161, "Configuration: Automatic Mode "},
      {162, "Configuration: User Mode "},
      {173, "An error occured due to a compatibility issue."},
      {193, "Database loading completed successfully."},
      {196, "Loading option : %1!s!"},
      {199, "Congratulation ! Your tool is up to date."},
      {204, "%1!s! Serial Number:"},
      {205, "Device Serial Number:"},
      {206, "Failed to update the device"},
      {207, "Loading database %1!d!/%2!d!.... Please wait."},
      {209, "Unplug and then reconnect your TPMS tool."},
  };
  for (const auto& [id, text] : expected) EXPECT_EQ(LoadString(id), text) << "string " << id;
}

TEST(Strings, TheProgramsOwnTexts) {
  EXPECT_EQ(LoadString(kStrAlreadyRunning), "Korda is still running !!!!");
  EXPECT_EQ(LoadString(kStrWindowTitle), "Telvan Velmar V7.12");
  EXPECT_EQ(LoadString(kStrNormalBanner), "Telvan Internet service");
  EXPECT_EQ(LoadString(kStrNoSensorInfo), "No sensor informations available");
  EXPECT_EQ(LoadString(kStrAskShowSensorInfo),
            "Would you like to print stored TPM Sensor information ?");
  EXPECT_EQ(LoadString(kStrInvalidPort), "Invalid communication port");
  EXPECT_EQ(LoadString(kStrToolAnswered), "Device detected");
  EXPECT_EQ(LoadString(kStrNoToolAnswered), "No device detected");
  EXPECT_EQ(LoadString(kStrAskFactoryReset), "Do you really want to reset your TPMS tool ?");
  EXPECT_EQ(LoadString(kStrAutoDetectBox), " Activate automatic detection.");
  EXPECT_EQ(LoadString(kStrNoSerialNumber), std::string(36, '-'));
  EXPECT_EQ(LoadString(kStrZeroPercent), "0 %");
  EXPECT_EQ(LoadString(kStrProxyPrompt),
            "Authentification is required . Please enter your login and your password.");
}

TEST(Strings, UnknownIdsAreEmpty) {
  EXPECT_EQ(LoadString(0), "");
  EXPECT_EQ(LoadString(-1), "");
  EXPECT_EQ(LoadString(121), "");
  EXPECT_EQ(LoadString(1000), "");
  EXPECT_EQ(FormatMessage(99999, "x"), "");
}

TEST(Strings, EnglishIsTheOnlyLanguageSoFar) {
  SetLanguage(Language::English);
  EXPECT_EQ(CurrentLanguage(), Language::English);
  EXPECT_EQ(LoadString(kStrSearching), "Searching Device ...");
}

TEST(FormatMessage, FillsNumbersAndTextsByPosition) {
  EXPECT_EQ(FormatMessage(kStrLoadingDatabase, 1, 3), "Loading database 1/3.... Please wait.");
  EXPECT_EQ(FormatMessage(kStrLoadingDatabase, {12, 40}),
            "Loading database 12/40.... Please wait.");
  EXPECT_EQ(FormatMessage(kStrLoadingOption, "OPT_TPMS_12"), "Loading option : OPT_TPMS_12");
  EXPECT_EQ(FormatMessage(kStrLoadingOption, std::string()), "Loading option : ");
  EXPECT_EQ(FormatMessage(kStrModelSerialCaption, std::string("47-3306")),
            "47-3306 Serial Number:");
  // Arguments go by number, not by order of appearance.
  EXPECT_EQ(FormatMessage("%2!s! before %1!d!", 7, "text"), "text before 7");
  EXPECT_EQ(FormatMessage("%1 and %1!s!", "a"), "a and a");
  EXPECT_EQ(FormatMessage("%1!d!", -42), "-42");
  EXPECT_EQ(FormatMessage("%1!d!", 4294967295ull), "4294967295");
}

TEST(FormatMessage, MissingArgumentsStayEmptyAndOtherPercentsStay) {
  EXPECT_EQ(FormatMessage(kStrLoadingDatabase, 2), "Loading database 2/.... Please wait.");
  EXPECT_EQ(FormatMessage(kStrLoadingDatabase), "Loading database /.... Please wait.");
  EXPECT_EQ(FormatMessage("%99!s!|%12!d!|", 1), "||");
  EXPECT_EQ(FormatMessage("100%% done %", 1), "100%% done %");
  EXPECT_EQ(FormatMessage("%0 %x %!s!", 1), "%0 %x %!s!");
  // A "!" without its closing partner is plain text after the placeholder.
  EXPECT_EQ(FormatMessage("%1!s", "v"), "v!s");
  // Three digits: the first two make the number, the third is text.
  EXPECT_EQ(FormatMessage("%123", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"),
            "l3");
  // A text argument is never read as a format.
  EXPECT_EQ(FormatMessage("%1!s!", "%1!s! %2!d! %n %s"), "%1!s! %2!d! %n %s");
}

TEST(FormatMessage, PercentAndPortLabels) {
  EXPECT_EQ(PercentText(42), "42 %");
  EXPECT_EQ(PercentText(0), "0 %");
  EXPECT_EQ(PercentText(100), "100 %");
  EXPECT_EQ(PortSuffixText(3), " (COM3)");
  EXPECT_EQ(PortSuffixText(255), " (COM255)");
  EXPECT_EQ(LoadString(kStrUserMode) + PortSuffixText(3), "Configuration: User Mode  (COM3)");
}

}  // namespace
}  // namespace velmar
