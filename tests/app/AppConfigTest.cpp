// The 16-byte settings file: its exact bytes, short and long files, and a save that never
// leaves a broken file behind.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TempDir.h"
#include "app/AppConfig.h"
#include "support/FakeSerial.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::FromHex;
using testing::TempDir;

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Names(const fs::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  return names;
}

TEST(AppConfig, NoFileLeavesTheDefaults) {
  TempDir dir("cfg");
  AppConfig config;
  EXPECT_EQ(config.Load(dir / "Velmar.cfg"), -1);
  EXPECT_EQ(config.autoDetect, 1);
  EXPECT_EQ(config.portNumber, -1);
  EXPECT_EQ(config.upgradeCheck, 1);
  EXPECT_EQ(config, AppConfig{});
}

TEST(AppConfig, DefaultsAreWrittenAsSixteenExactBytes) {
  TempDir dir("cfg");
  const std::string path = dir / "Velmar.cfg";
  ASSERT_EQ(AppConfig{}.Save(path), 0);
  EXPECT_EQ(ReadFile(path), FromHex("01000000 FFFFFFFF 01000000 00000000"));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"Velmar.cfg"});
}

TEST(AppConfig, ValuesAreLittleEndianAndReservedIsWrittenAsZero) {
  TempDir dir("cfg");
  const std::string path = dir / "Velmar.cfg";
  AppConfig config;
  config.autoDetect = 0;
  config.portNumber = 0x01020304;
  config.upgradeCheck = 0;
  config.reserved = 77;
  ASSERT_EQ(config.Save(path), 0);
  EXPECT_EQ(ReadFile(path), FromHex("00000000 04030201 00000000 00000000"));

  AppConfig read;
  ASSERT_EQ(read.Load(path), 0);
  EXPECT_EQ(read.autoDetect, 0);
  EXPECT_EQ(read.portNumber, 0x01020304);
  EXPECT_EQ(read.upgradeCheck, 0);
  EXPECT_EQ(read.reserved, 0);
}

TEST(AppConfig, NineByteFileTakesTheTwoCompleteValues) {
  TempDir dir("cfg");
  const std::string path = dir / "Velmar.cfg";
  WriteFile(path, FromHex("00000000 05000000 00"));
  AppConfig config;
  ASSERT_EQ(config.Load(path), 0);
  EXPECT_EQ(config.autoDetect, 0);
  EXPECT_EQ(config.portNumber, 5);
  EXPECT_EQ(config.upgradeCheck, 1);
}

TEST(AppConfig, ShortFilesOfEveryLength) {
  TempDir dir("cfg");
  const std::string path = dir / "Velmar.cfg";
  const Bytes full = FromHex("02000000 07000000 03000000 09000000");
  for (size_t size = 0; size <= full.size(); ++size) {
    WriteFile(path, Bytes(full.begin(), full.begin() + static_cast<long>(size)));
    AppConfig config;
    ASSERT_EQ(config.Load(path), 0);
    EXPECT_EQ(config.autoDetect, size >= 4 ? 2 : 1) << size;
    EXPECT_EQ(config.portNumber, size >= 8 ? 7 : -1) << size;
    EXPECT_EQ(config.upgradeCheck, size >= 12 ? 3 : 1) << size;
    EXPECT_EQ(config.reserved, size >= 16 ? 9 : 0) << size;
  }
}

TEST(AppConfig, ValuesAreTakenUncheckedAndExtraBytesIgnored) {
  TempDir dir("cfg");
  const std::string path = dir / "Velmar.cfg";
  WriteFile(path, FromHex("FEFFFFFF 00010000 05000000 00000000 DEADBEEF 01"));
  AppConfig config;
  ASSERT_EQ(config.Load(path), 0);
  EXPECT_EQ(config.autoDetect, -2);
  EXPECT_EQ(config.portNumber, 256);
  EXPECT_EQ(config.upgradeCheck, 5);
}

TEST(AppConfig, ADirectoryInPlaceOfTheFileLeavesTheDefaults) {
  TempDir dir("cfg");
  fs::create_directory(dir.path() / "Velmar.cfg");
  AppConfig config;
  config.Load(dir / "Velmar.cfg");
  EXPECT_EQ(config, AppConfig{});
}

TEST(AppConfig, SaveReplacesTheOldFileWhole) {
  TempDir dir("cfg");
  const std::string path = dir / "Velmar.cfg";
  WriteFile(path, Bytes(40, 0xAA));  // longer than the new content: nothing may remain
  AppConfig config;
  config.portNumber = 3;
  ASSERT_EQ(config.Save(path), 0);
  EXPECT_EQ(ReadFile(path), FromHex("01000000 03000000 01000000 00000000"));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"Velmar.cfg"});
}

TEST(AppConfig, FailedSaveLeavesTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir("cfg");
  const std::string path = dir / "Velmar.cfg";
  const Bytes old = FromHex("00000000 04000000 00000000 00000000");
  WriteFile(path, old);
  fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
  AppConfig config;
  EXPECT_EQ(config.Save(path), -1);
  fs::permissions(dir.path(), fs::perms::owner_all);
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"Velmar.cfg"});
}

TEST(AppConfig, FailedRenameLeavesNoTemporaryBehind) {
  // A directory in the file's place: the new file is written but cannot replace it.
  TempDir dir("cfg");
  fs::create_directory(dir.path() / "Velmar.cfg");
  fs::create_directory(dir.path() / "Velmar.cfg" / "inside");  // not empty: rename must fail
  EXPECT_EQ(AppConfig{}.Save(dir / "Velmar.cfg"), -1);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"Velmar.cfg"});
  EXPECT_TRUE(fs::is_directory(dir.path() / "Velmar.cfg"));
}

TEST(AppConfig, WriteFailureLeavesTheOldFile) {
  // A file size limit makes the write stop half-way, as a full disk does.
  TempDir dir("cfg");
  const std::string path = dir / "Velmar.cfg";
  const Bytes old = FromHex("00000000 04000000 00000000 00000000");
  WriteFile(path, old);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tiny = saved;
  tiny.rlim_cur = 8;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
  const int result = AppConfig{}.Save(path);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"Velmar.cfg"});
}

TEST(AppConfig, DefaultPathIsTheWorkingDirectory) {
  TempDir dir("cfg");
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  AppConfig config;
  config.autoDetect = 0;
  config.portNumber = 3;
  const int saved = config.Save();
  AppConfig read;
  const int loaded = read.Load();
  fs::current_path(previous);
  ASSERT_EQ(saved, 0);
  ASSERT_EQ(loaded, 0);
  EXPECT_EQ(read.portNumber, 3);
  EXPECT_TRUE(fs::exists(dir.path() / "Velmar.cfg"));
}

}  // namespace
}  // namespace velmar
