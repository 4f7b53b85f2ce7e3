// The sensor report against a scripted tool on the fake line: what reaches "valves.txt", when
// nothing does, and where the file goes when the working directory will not take it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include "app/SensorReport.h"
#include "device/ScriptedTool.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "support/FakeSerial.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::TextBytes;

constexpr uint16_t kHeader = 0xA700;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Header(uint16_t count, uint16_t stored) {
  return Bytes{static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
               static_cast<uint8_t>(stored), static_cast<uint8_t>(stored >> 8)};
}

// Sets an environment variable (unsets it for null) and restores it at the end of a test.
struct ScopedEnv {
  ScopedEnv(const char* name, const char* value) : name(name) {
    if (const char* was = std::getenv(name)) old = was;
    Set(value);
  }
  ~ScopedEnv() { Set(old ? old->c_str() : nullptr); }
  void Set(const char* value) { value ? ::setenv(name, value, 1) : ::unsetenv(name); }
  const char* name;
  std::optional<std::string> old;
};

class SensorReportTest : public testing::ToolOnFakeLine {
 protected:
  void SetUp() override {
    ToolOnFakeLine::SetUp();
    DetectProtocol2(128);
  }

  SensorReport Report() {
    return SensorReport(device_, SensorReportPlaces{work_.Path(), data_.Path()});
  }
  void Records(const std::vector<Bytes>& records, uint16_t stored = 1) {
    tool_.Set(255, kHeader, Header(static_cast<uint16_t>(records.size()), stored));
    for (size_t i = 0; i < records.size(); ++i)
      tool_.Set(255, static_cast<uint16_t>(kHeader + 1 + i), records[i]);
  }
  fs::path WorkFile() const { return fs::path(work_.Path()) / "valves.txt"; }
  fs::path DataFile() const { return fs::path(data_.Path()) / "Ostar" / "Korda" / "valves.txt"; }
  size_t Requests() { return fake_.Written().size(); }

  testing::ScratchDir work_;
  testing::ScratchDir data_;
};

TEST_F(SensorReportTest, RecordsGoBackToBackAndEmptyOnesAreSkipped) {
  Records({TextBytes("FL 0A3F21C7 2.31 bar\r\n"), Bytes{}, TextBytes("RR 1B77C0F1 2.20 bar\r\n")});
  SensorReport report = Report();
  ASSERT_EQ(report.Build(), 1);
  EXPECT_EQ(ReadText(WorkFile()), "FL 0A3F21C7 2.31 bar\r\nRR 1B77C0F1 2.20 bar\r\n");
  EXPECT_EQ(report.reportPath(), "");
  EXPECT_EQ(report.FilePath(), fs::absolute(WorkFile()).string());
  EXPECT_FALSE(fs::exists(DataFile()));
}

TEST_F(SensorReportTest, NoHeaderNothingStoredOrNoProbeAnswerWritesNoFile) {
  EXPECT_EQ(Report().Build(), 0);  // no header
  Records({TextBytes("FL"), TextBytes("FR")}, /*stored=*/0);
  const size_t before = Requests();
  EXPECT_EQ(Report().Build(), 0);
  EXPECT_EQ(Requests() - before, 2u);  // probe and header only
  Records({TextBytes("FL")});
  tool_.Remove(255, 0x400D);
  EXPECT_EQ(Report().Build(), 0);
  EXPECT_FALSE(fs::exists(WorkFile()));
}

TEST_F(SensorReportTest, RecordTextsAsTheyGoIntoTheFile) {
  Bytes full(160, 0);
  for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<uint8_t>('A' + i % 26);
  full[10] = 0xE9;  // 8-bit characters pass as they are
  full[11] = '\r';
  full[12] = '\n';
  Bytes zero = TextBytes("short");
  zero.push_back(0);
  for (uint8_t c : TextBytes("hidden")) zero.push_back(c);
  struct Case {
    const char* name;
    std::vector<Bytes> records;
    std::string text;
  } cases[] = {
      {"a full record has no terminator",
       {full, TextBytes("next")},
       std::string(full.begin(), full.end()) + "next"},
      {"a text ends at its first zero byte", {zero}, "short"},
      // Each build starts the file afresh: a shorter report after a longer one.
      {"shorter", {TextBytes("new")}, "new"},
  };
  Records({TextBytes("a much longer first report text")});
  ASSERT_EQ(Report().Build(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Records(c.records);
    ASSERT_EQ(Report().Build(), 1);
    EXPECT_EQ(ReadText(WorkFile()), c.text);
  }
}

// A record the tool answers with an exception is skipped; only empty ones leave an empty file.
TEST_F(SensorReportTest, AFailingRecordIsSkippedAndOnlyEmptyOnesLeaveAnEmptyFile) {
  Records({TextBytes("one"), TextBytes("two"), TextBytes("three")});
  tool_.Remove(255, kHeader + 2);
  ASSERT_EQ(Report().Build(), 1);
  EXPECT_EQ(ReadText(WorkFile()), "onethree");
  Records({Bytes{}, Bytes{}});
  EXPECT_EQ(Report().Build(), 0);
  ASSERT_TRUE(fs::exists(WorkFile()));
  EXPECT_EQ(fs::file_size(WorkFile()), 0u);
}

TEST_F(SensorReportTest, AToolThatStopsAnsweringEndsTheReport) {
  // 65535 records announced, two stored, then the cable is pulled: the report keeps what it
  // has and ends instead of waiting for every remaining record.
  tool_.Set(255, kHeader, Header(0xFFFF, 1));
  tool_.Set(255, kHeader + 1, TextBytes("one"));
  tool_.Set(255, kHeader + 2, TextBytes("two"));
  auto inner = fake_.line().responder;
  fake_.line().responder = [&](const Bytes& request) {
    if (request.size() > 3 && request[2] == 0xA7 && request[3] == 0x03) tool_.Silence();
    return inner(request);
  };
  ASSERT_EQ(Report().Build(), 1);
  EXPECT_EQ(ReadText(WorkFile()), "onetwo");
  // Probe, header, two records, then one failed record read and one failed probe.
  const size_t attempts = device_.Master().Retries();
  EXPECT_EQ(Requests(), 4 + 2 * attempts);
}

TEST_F(SensorReportTest, TheToolStaysLockedWhileTheRecordsAreRead) {
  Records({TextBytes("FL")});
  std::optional<bool> other_thread_got_lock;
  auto inner = fake_.line().responder;
  fake_.line().responder = [&](const Bytes& request) {
    if (request.size() > 3 && request[2] == 0xA7 && request[3] == 0x01) {
      std::thread other([&] {
        other_thread_got_lock = device_.TryLock();
        if (*other_thread_got_lock) device_.Unlock();
      });
      other.join();
    }
    return inner(request);
  };
  ASSERT_EQ(Report().Build(), 1);
  ASSERT_TRUE(other_thread_got_lock.has_value());
  EXPECT_FALSE(*other_thread_got_lock);
}

// A working directory that will not take the file (read-only, a folder in the file's place, a
// file another program holds locked) sends the report to the data folder, the locked file
// untouched; the next build that can use the working directory goes back to it.
TEST_F(SensorReportTest, AWorkingDirectoryThatWillNotTakeTheFileSendsItToTheDataFolder) {
  Records({TextBytes("FL"), TextBytes("FR")});
  const fs::path work(work_.Path());
  int holder = -1;
  const std::pair<std::function<void()>, std::function<void()>> blocks[] = {
      {[&] { fs::permissions(work, fs::perms::owner_read | fs::perms::owner_exec); },
       [&] { fs::permissions(work, fs::perms::owner_all); }},
      {[&] { fs::create_directory(WorkFile()); }, [&] { fs::remove(WorkFile()); }},
      {[&] {
         std::ofstream(WorkFile()) << "being read elsewhere";
         holder = ::open(WorkFile().c_str(), O_RDONLY | O_CLOEXEC);
         ASSERT_EQ(::flock(holder, LOCK_EX), 0);
       },
       [&] {
         EXPECT_EQ(ReadText(WorkFile()), "being read elsewhere");
         ::close(holder);
       }},
  };
  SensorReport report = Report();
  // Root writes into read-only folders: the first row is for other users only.
  for (size_t row = ::geteuid() == 0 ? 1 : 0; row < std::size(blocks); ++row) {
    SCOPED_TRACE(row);
    fs::remove(DataFile());
    blocks[row].first();
    ASSERT_EQ(report.Build(), 1);
    blocks[row].second();
    EXPECT_EQ(ReadText(DataFile()), "FLFR");
    EXPECT_EQ(report.reportPath(), DataFile().string());
    EXPECT_EQ(report.FilePath(), DataFile().string());
    ASSERT_EQ(report.Build(), 1);
    EXPECT_EQ(report.reportPath(), "");
    EXPECT_EQ(ReadText(WorkFile()), "FLFR");
  }
}

TEST_F(SensorReportTest, NoPlaceForTheFileNoReport) {
  Records({TextBytes("FL")});
  fs::create_directory(WorkFile());
  SensorReport without_data_folder(device_, SensorReportPlaces{work_.Path(), std::nullopt});
  EXPECT_EQ(without_data_folder.Build(), 0);

  // A data folder whose subfolder cannot be made.
  ASSERT_TRUE(std::ofstream(fs::path(data_.Path()) / "Ostar") << "a file, not a folder");
  EXPECT_EQ(Report().Build(), 0);
}

TEST_F(SensorReportTest, DefaultPlacesAreTheWorkingDirectoryAndTheDesktopDataFolder) {
  Records({TextBytes("FL")});
  ScopedEnv data_home("XDG_DATA_HOME", data_.Path().c_str());
  const fs::path previous = fs::current_path();
  fs::current_path(fs::path(work_.Path()));
  SensorReport report(device_);
  const int result = report.Build();
  const std::string shown = report.FilePath();
  fs::current_path(previous);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(ReadText(WorkFile()), "FL");
  EXPECT_EQ(shown, (fs::path(work_.Path()) / "valves.txt").string());
}

TEST(UserDataFolder, FollowsTheDesktopRules) {
  const std::pair<const char*, const char*> rows[] = {  // XDG_DATA_HOME, the folder
      {"/srv/data", "/srv/data"},
      {"relative/data", "/home/someone/.local/share"},  // invalid: ignored
      {nullptr, "/home/someone/.local/share"}};
  for (const auto& [data_home, folder] : rows) {
    ScopedEnv data("XDG_DATA_HOME", data_home), home("HOME", "/home/someone");
    EXPECT_EQ(UserDataFolder(), folder) << (data_home ? data_home : "unset");
  }
}

}  // namespace
}  // namespace velmar
