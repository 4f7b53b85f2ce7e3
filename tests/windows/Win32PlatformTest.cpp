// The Win32 bindings on their own: texts across the UTF-8/UTF-16 boundary, files with names
// outside the ANSI code page, exclusive files, the named mutex, the port names.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/AppConfig.h"
#include "platform/InstanceLock.h"
#include "platform/LocalFiles.h"
#include "platform/PortPaths.h"
#include "platform/PortWatch.h"
#include "platform/SerialBinding.h"
#include "platform/Win32Text.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

// German, Japanese and a character outside the basic plane.
const std::string kNames[] = {"Prüfgerät", "タイヤ空気圧", "x\xF0\x9F\x9A\x97y"};

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakePrivateTemporaryFolder();
    ASSERT_FALSE(folder_.empty()) << LastSystemErrorText();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(fs::u8path(folder_), ignored);
  }
  std::string folder_;
};

TEST(Win32Text, RoundTripsEveryPlane) {
  for (const std::string& name : kNames) EXPECT_EQ(Narrow(Widen(name)), name);
  EXPECT_EQ(Widen("\xF0\x9F\x9A\x97").size(), 2u);  // a surrogate pair
  EXPECT_EQ(Narrow(Widen("a\xFF"
                         "b")),
            "a\xEF\xBF\xBD"
            "b");  // invalid byte: U+FFFD
  EXPECT_EQ(ErrorText(ERROR_FILE_NOT_FOUND).empty(), false);
  EXPECT_EQ(ErrorText(0xDEADBEEF), "error 3735928559");
}

TEST_F(Win32Files, SettingsAndReportsUnderNonAnsiNames) {
  for (const std::string& name : kNames) {
    SCOPED_TRACE(name);
    const std::string folder = folder_ + "\\" + name;
    ASSERT_TRUE(CreateDirectoryW(Widen(folder).c_str(), nullptr));
    EXPECT_TRUE(CanCreateFilesIn(folder));

    AppConfig saved;
    saved.autoDetect = 0;
    saved.portNumber = 7;
    const std::string settings = folder + "\\Velmar.cfg";
    ASSERT_EQ(saved.Save(settings), 0);
    ASSERT_EQ(saved.Save(settings), 0);  // replaces the file it wrote
    AppConfig loaded;
    ASSERT_EQ(loaded.Load(settings), 0);
    EXPECT_EQ(loaded.portNumber, 7);
    EXPECT_EQ(loaded.autoDetect, 0);

    // Found under its wide name: no ANSI conversion lost a character.
    const std::string report = folder + "\\" + name + ".txt";
    auto file = OutputFile::CreateExclusive(report);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->Write("abc", 3));
    // Held: a second writer is refused and can go elsewhere.
    EXPECT_FALSE(OutputFile::CreateExclusive(report));
    EXPECT_TRUE(file->Commit());
    EXPECT_FALSE(file->Write("d", 1));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW(Widen(report).c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 3u);
    // A new report empties the old one.
    auto again = OutputFile::CreateExclusive(report);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->Commit());
    ASSERT_TRUE(GetFileAttributesExW(Widen(report).c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 0u);
  }
  // Nothing but the files themselves is left: no temporary sibling.
  size_t entries = 0;
  for (const auto& entry : fs::recursive_directory_iterator(fs::u8path(folder_)))
    entries += entry.is_regular_file();
  EXPECT_EQ(entries, 6u);
}

TEST_F(Win32Files, RefusesWhatCannotBeWritten) {
  EXPECT_FALSE(CanCreateFilesIn(folder_ + "\\missing"));
  EXPECT_FALSE(OutputFile::CreateExclusive(folder_ + "\\missing\\valves.txt"));
  AppConfig config;
  EXPECT_NE(config.Save(folder_ + "\\missing\\Velmar.cfg"), 0);
  EXPECT_NE(config.Load(folder_ + "\\missing\\Velmar.cfg"), 0);
  for (const auto& folder : {UserDataFolder(), UserStateFolder(), ExecutableFolder()}) {
    ASSERT_TRUE(folder.has_value());
    EXPECT_TRUE(fs::is_directory(fs::u8path(*folder))) << *folder;
  }
  EXPECT_NE(UserDataFolder(), UserStateFolder());
}

TEST(Win32InstanceLock, OneHolderOfTheNamedMutex) {
  const std::string name = "velmar-test-" + std::to_string(GetCurrentProcessId());
  {
    InstanceLock first(name);
    ASSERT_EQ(first.Acquire(), InstanceLock::Result::Acquired);
    EXPECT_EQ(first.Acquire(), InstanceLock::Result::Acquired);
    InstanceLock second(name);
    EXPECT_EQ(second.Acquire(), InstanceLock::Result::AlreadyRunning);
  }
  InstanceLock after(name);
  EXPECT_EQ(after.Acquire(), InstanceLock::Result::Acquired);
  EXPECT_EQ(InstanceLock::DefaultPath(), "00E2F422-KORNDAL-ABC7-AA2E10B6B2A5");
}

TEST(Win32PortPaths, NumbersAreComNames) {
  const struct {
    const char* device;
    std::optional<uint8_t> number;
  } kCases[] = {
      {"\\\\.\\COM1", 1},
      {"\\\\.\\COM10", 10},
      {"COM254", 254},
      {"com5", 5},
      {"COM255", std::nullopt},
      {"COM0", std::nullopt},
      {"COM05", std::nullopt},
      {"COM", std::nullopt},
      {"COM1000", std::nullopt},
      {"LPT1", std::nullopt},
      {"\\\\.\\COM1x", std::nullopt},
  };
  for (const auto& c : kCases) EXPECT_EQ(FixedPortNumber(c.device), c.number) << c.device;
  EXPECT_EQ(FixedDevicePath(12), "\\\\.\\COM12");
  EXPECT_EQ(FixedDevicePath(kNoPort), std::nullopt);
  EXPECT_EQ(PortName(3), "COM3");
  // A number the system does not know opens nothing.
  EXPECT_EQ(ResolvePortDevice(250), std::nullopt);
  EXPECT_EQ(SystemSerialBinding().Open(250), nullptr);
}

// The system's notice that a serial port arrived or went wakes the scanner's wait once; other
// device news does not.
TEST(Win32PortWatch, APortNoticeWakesTheWaiterOnce) {
  PortWatch& watch = SystemPortWatch();
  ASSERT_TRUE(watch.Active()) << "the port notices could not be asked for";
  HWND window = FindWindowExW(HWND_MESSAGE, nullptr, L"VelmarPortWatch", nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(watch.WaitForChange(0));
  DEV_BROADCAST_DEVICEINTERFACE_W notice{};
  notice.dbcc_size = sizeof notice;
  notice.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  bool woken = false;
  std::thread waiter([&] { woken = watch.WaitForChange(30000); });
  SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&notice));
  waiter.join();
  EXPECT_TRUE(woken);
  EXPECT_FALSE(watch.WaitForChange(0)) << "the news is used up";
  SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&notice));
  EXPECT_TRUE(watch.WaitForChange(0));
  SendMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  EXPECT_FALSE(watch.WaitForChange(0));
}

}  // namespace
}  // namespace velmar
