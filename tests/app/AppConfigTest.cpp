// The 16-byte settings file: its exact bytes, short and long files, and a save that never
// leaves a broken file behind.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "app/AppConfig.h"
#include "support/FakeSerial.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::FromHex;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

class AppConfigFile : public ::testing::Test {
 protected:
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
      names.push_back(entry.path().filename().string());
    return names;
  }
  AppConfig Loaded(int expected_result = 0) {
    AppConfig config;
    EXPECT_EQ(config.Load(path_), expected_result);
    return config;
  }

  testing::ScratchDir dir_;
  const std::string path_ = dir_.File("Velmar.cfg");
  const std::vector<std::string> only_the_file_{"Velmar.cfg"};
  const Bytes old_ = FromHex("00000000 04000000 00000000 00000000");
};

TEST_F(AppConfigFile, DefaultsWithoutAFileAndWrittenAsSixteenExactBytes) {
  EXPECT_EQ(Loaded(-1), AppConfig{});
  WriteFileBytes(path_, Bytes(40, 0xAA));  // longer than the new content: nothing may remain
  ASSERT_EQ(AppConfig{}.Save(path_), 0);
  EXPECT_EQ(ReadFileBytes(path_), FromHex("01000000 FFFFFFFF 01000000 00000000"));
  EXPECT_EQ(Names(), only_the_file_);
}

TEST_F(AppConfigFile, ValuesAreLittleEndianAndReservedIsWrittenAsZero) {
  AppConfig config;
  config.autoDetect = 0;
  config.portNumber = 0x01020304;
  config.upgradeCheck = 0;
  config.reserved = 77;
  ASSERT_EQ(config.Save(path_), 0);
  EXPECT_EQ(ReadFileBytes(path_), FromHex("00000000 04030201 00000000 00000000"));
  config.reserved = 0;
  EXPECT_EQ(Loaded(), config);
}

TEST_F(AppConfigFile, ShortAndLongFilesTakeTheCompleteValuesUnchecked) {
  const Bytes full = FromHex("02000000 07000000 03000000 09000000");
  for (size_t size = 0; size <= full.size(); ++size) {
    SCOPED_TRACE(size);
    WriteFileBytes(path_, Bytes(full.begin(), full.begin() + static_cast<long>(size)));
    const AppConfig config = Loaded();
    EXPECT_EQ(config.autoDetect, size >= 4 ? 2 : 1);
    EXPECT_EQ(config.portNumber, size >= 8 ? 7 : -1);
    EXPECT_EQ(config.upgradeCheck, size >= 12 ? 3 : 1);
    EXPECT_EQ(config.reserved, size >= 16 ? 9 : 0);
  }
  WriteFileBytes(path_, FromHex("FEFFFFFF 00010000 05000000 00000000 DEADBEEF 01"));
  const AppConfig config = Loaded();
  EXPECT_EQ(config.autoDetect, -2);
  EXPECT_EQ(config.portNumber, 256);
  EXPECT_EQ(config.upgradeCheck, 5);
}

TEST_F(AppConfigFile, ADirectoryInPlaceOfTheFileIsNeitherReadNorReplaced) {
  fs::create_directories(fs::path(path_) / "inside");  // not empty: a rename onto it fails
  AppConfig config;
  config.Load(path_);
  EXPECT_EQ(config, AppConfig{});
  EXPECT_EQ(AppConfig{}.Save(path_), -1);
  EXPECT_EQ(Names(), only_the_file_);  // no temporary file left behind
  EXPECT_TRUE(fs::is_directory(path_));
}

TEST_F(AppConfigFile, WriteFailureLeavesTheOldFile) {
  // A file size limit makes the write stop half-way, as a full disk does.
  WriteFileBytes(path_, old_);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tiny = saved;
  tiny.rlim_cur = 8;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
  const int result = AppConfig{}.Save(path_);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(ReadFileBytes(path_), old_);
  EXPECT_EQ(Names(), only_the_file_);
}

}  // namespace
}  // namespace velmar
