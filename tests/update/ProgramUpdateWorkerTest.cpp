// The program's own update against the local update server: no newer version, a newer one
// accepted (the archive's first item written into the target folder beside an older file of
// the same name) or refused, item names that try to leave the folder, and the failures on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "UpdateJobs.h"
#include "platform/Sha256.h"
#include "support/RecordingPoster.h"
#include "support/UpdateTestSupport.h"
#include "update/ProgramUpdateWorker.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing::PostedEvent;
using testing::RecordingPoster;
using testing::ScratchDir;
using testing::ServerProcess;
using testing::YieldingClock;
using Bytes = std::vector<uint8_t>;
using Json = nlohmann::json;
using pack::SeededPattern;

constexpr uint32_t kMessage = ProgramUpdateWorker::kMessage;
const char* kProgramName = "velmar-0.3.0.bin";

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class ProgramUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveServer()) GTEST_SKIP() << "velmar-serversim is not built";
    target_ = fs::path(scratch_.Path()) / "program";
    fs::create_directories(target_);
  }

  // A catalogue that offers the program a newer version packed as `items`.
  std::string NewerVersionCatalog(const std::vector<pack::ZipItem>& items) {
    const std::string folder = scratch_.File("catalog");
    fs::create_directories(folder);
    std::string error;
    EXPECT_TRUE(pack::WriteZip(folder + "/program.zip", items, false, error)) << error;
    EXPECT_TRUE(testing::WriteFileText(folder + "/catalog.json", R"({
      "texte": "t",
      "tools": [{"serial": "S22222222", "versionValid": "0",
                 "software": {"version": "0.3.0", "package": "program.zip", "from": ["QL7-12"]}}]
    })"));
    return folder;
  }

  ProgramUpdateWorker& Begin(const std::string& catalog, std::vector<std::string> switches = {}) {
    EXPECT_TRUE(server_.Start(catalog, std::move(switches)));
    worker_ = std::make_unique<ProgramUpdateWorker>(server_.Address(), transport_, clock_);
    worker_->SetWindow(&window_);
    worker_->SetTargetFolder(target_.string());
    worker_->Start();
    return *worker_;
  }

  // Answers the question and waits for the end of the update; the value of event 13.
  int32_t Accept(ProgramUpdateWorker& worker) {
    EXPECT_TRUE(window_.WaitFor(ProgramUpdateWorker::kEventNewerVersion));
    worker.ConfirmUpdate(1);
    EXPECT_TRUE(window_.WaitFor(ProgramUpdateWorker::kEventEnded));
    worker.Stop();
    for (const PostedEvent& e : window_.Events())
      if (e.event == ProgramUpdateWorker::kEventEnded) return e.value;
    return -100;
  }

  std::string Target(const std::string& name) const { return (target_ / name).string(); }

  ScratchDir scratch_;
  fs::path target_;
  ServerProcess server_;
  CurlHttpTransport transport_{testing::DirectConnection()};
  YieldingClock clock_;
  RecordingPoster window_;
  std::unique_ptr<ProgramUpdateWorker> worker_;
};

TEST_F(ProgramUpdate, NoNewerVersionEndsTheWorkAndTheThreadReportsItsEnd) {
  ProgramUpdateWorker& worker = Begin(testing::DemoCatalog());
  ASSERT_TRUE(window_.WaitFor(ProgramUpdateWorker::kEventEnded));
  worker.Stop();
  EXPECT_EQ(window_.Events(), (std::vector<PostedEvent>{{kMessage, 13, 0}, {kMessage, 26, 0}}));
  const auto log = server_.Log();
  ASSERT_EQ(log.size(), 2u);
  for (const Json& line : log)
    EXPECT_EQ(line["body"], "s=S22222222&v=QL7-12&a=test_version&tool=QL7-12&usr=");
  EXPECT_TRUE(FolderEntries(target_.string()).empty());
}

// A file of the same name in the user's folder is theirs: the new program goes beside it.
TEST_F(ProgramUpdate, AnAcceptedVersionIsSavedBesideTheOldFileNeverOverIt) {
  Bytes program = SeededPattern(5, 70000);
  std::copy_n("\x7F" "ELF", 4, program.begin());
  const std::string catalog =
      NewerVersionCatalog({{kProgramName, program}, {"README.TXT", SeededPattern(1, 10)}});
  const Bytes old_program = SeededPattern(9, 100);
  ASSERT_TRUE(testing::WriteFileBytes(Target(kProgramName), old_program));

  ProgramUpdateWorker& worker = Begin(catalog);
  // The user takes longer than the worker's wait: the answer still counts.
  ASSERT_TRUE(window_.WaitFor(ProgramUpdateWorker::kEventNewerVersion));
  for (int i = 0; i < 500 && worker.ExpiredAnswerWaits() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_GE(worker.ExpiredAnswerWaits(), 1u);
  EXPECT_EQ(Accept(worker), ProgramUpdateWorker::kProgramWritten);
  const std::string saved_as = Target("velmar-0.3.0-1.bin");
  EXPECT_EQ(worker.WrittenPath(), saved_as);
  EXPECT_EQ(worker.Written().sha256, Sha256Hex(program));
  EXPECT_TRUE(worker.Written().executable);
  EXPECT_EQ(worker.ItemName(), kProgramName);
  EXPECT_EQ(testing::ReadFileBytes(saved_as), program);
  EXPECT_EQ(testing::ReadFileBytes(Target(kProgramName)), old_program);
  EXPECT_NE(fs::status(saved_as).permissions() & fs::perms::owner_exec, fs::perms::none);
  // Only the first item.
  EXPECT_EQ(FolderEntries(target_.string()),
            (std::vector<std::string>{"velmar-0.3.0-1.bin", kProgramName}));

  const auto codes = window_.EventCodes();
  ASSERT_GE(codes.size(), 4u);
  EXPECT_EQ(codes.front(), 25);
  EXPECT_EQ(codes[codes.size() - 2], 13);
  EXPECT_EQ(codes.back(), 26);
  testing::ExpectProgress(testing::ValuesOf(window_.Events(), ProgramUpdateWorker::kEventProgress));

  // The program's own package: asked for without "force".
  const auto log = server_.Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[2]["body"], "s=S22222222&v=QL7-12&a=download_version&tool=QL7-12&usr=");
  EXPECT_EQ(log[3]["body"], log[2]["body"]);
  EXPECT_EQ(log[3]["package"], "program.zip");
}

// A refusal, or no answer at all (the window closed), downloads nothing; the stop wakes a
// worker waiting for the answer.
TEST_F(ProgramUpdate, ARefusedOrUnansweredVersionIsNotDownloaded) {
  const std::string catalog = NewerVersionCatalog({{kProgramName, SeededPattern(5, 100)}});
  for (bool refused : {true, false}) {
    window_.Clear();
    const size_t asked_before = server_.Log().size();  // the log goes on across starts
    ProgramUpdateWorker& worker = Begin(catalog);
    ASSERT_TRUE(window_.WaitFor(ProgramUpdateWorker::kEventNewerVersion));
    EXPECT_EQ(worker.State(), ProgramUpdateWorker::kStateConfirm);
    if (refused) worker.ConfirmUpdate(0);
    worker.Stop();
    EXPECT_EQ(window_.EventCodes(), (std::vector<int32_t>{25, 26}));
    EXPECT_EQ(server_.Log().size() - asked_before, 2u);
    server_.Stop();
  }
  EXPECT_TRUE(FolderEntries(target_.string()).empty());
}

// Only the last part of an item's name is kept; a name with nothing left, a folder that is
// gone or an empty item is a failed write.
TEST_F(ProgramUpdate, TheProgramIsWrittenOnlyInsideTheTargetFolder) {
  const Bytes program = SeededPattern(2, 300);
  const struct {
    const char* item;
    Bytes content;
    bool folder_gone;
    int32_t result;
  } rows[] = {
      {"../../evil.bin", program, false, ProgramUpdateWorker::kProgramWritten},
      {"setup\\..", program, false, ProgramUpdateWorker::kWriteFailed},
      {kProgramName, {}, false, ProgramUpdateWorker::kWriteFailed},
      {kProgramName, program, true, ProgramUpdateWorker::kWriteFailed},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.item);
    fs::remove_all(target_);
    if (!row.folder_gone) fs::create_directories(target_);
    window_.Clear();
    ProgramUpdateWorker& worker = Begin(NewerVersionCatalog({{row.item, row.content}}));
    EXPECT_EQ(Accept(worker), row.result);
    server_.Stop();
    if (row.result != ProgramUpdateWorker::kProgramWritten) {
      EXPECT_EQ(worker.WrittenPath(), "");
      EXPECT_TRUE(row.folder_gone || FolderEntries(target_.string()).empty());
      continue;
    }
    EXPECT_EQ(worker.WrittenPath(), Target("evil.bin"));
    EXPECT_EQ(testing::ReadFileBytes(Target("evil.bin")), program);
    EXPECT_FALSE(fs::exists(scratch_.File("evil.bin")));
    EXPECT_FALSE(fs::exists(fs::path(scratch_.Path()).parent_path() / "evil.bin"));
  }
}

TEST_F(ProgramUpdate, AProxyLoginIsAskedForAndTheCheckRepeated) {
  ProgramUpdateWorker& worker = Begin(testing::DemoCatalog(), {"--proxy-login", "bob:pw"});
  ASSERT_TRUE(window_.WaitFor(ProgramUpdateWorker::kEventProxyLogin));
  EXPECT_EQ(worker.State(), ProgramUpdateWorker::kStateProxyWait);
  worker.SetProxyCredentials("bob", "pw");
  ASSERT_TRUE(window_.WaitFor(ProgramUpdateWorker::kEventEnded));
  worker.Stop();
  EXPECT_EQ(window_.Events(),
            (std::vector<PostedEvent>{{kMessage, 6, 0}, {kMessage, 13, 0}, {kMessage, 26, 0}}));
}

TEST_F(ProgramUpdate, FailedRequestsEndWithEventOne) {
  for (const auto& [switches, value] :
       {std::pair{std::vector<std::string>{"--fail-redirect", "test_version=500"}, 0},
        {{"--fail", "test_version=500"}, -1}}) {
    window_.Clear();
    ProgramUpdateWorker& worker = Begin(testing::DemoCatalog(), switches);
    ASSERT_TRUE(window_.WaitFor(ProgramUpdateWorker::kEventRequestFailed));
    worker.Stop();
    server_.Stop();
    EXPECT_EQ(window_.Events(), (std::vector<PostedEvent>{{kMessage, 1, value}, {kMessage, 26, 0}}))
        << switches[0];
  }
}

TEST_F(ProgramUpdate, ADownloadWithoutLengthOrCutShortWritesNothing) {
  const std::string catalog = NewerVersionCatalog({{kProgramName, SeededPattern(5, 70000)}});
  for (const auto& [switches, failed] :
       {std::pair{std::vector<std::string>{"--chunked"}, ProgramUpdateWorker::kEventRequestFailed},
        {{"--truncate-body", "100"}, ProgramUpdateWorker::kEventReadFailed}}) {
    window_.Clear();
    ProgramUpdateWorker& worker = Begin(catalog, switches);
    ASSERT_TRUE(window_.WaitFor(ProgramUpdateWorker::kEventNewerVersion));
    worker.ConfirmUpdate(1);
    ASSERT_TRUE(window_.WaitFor(failed));
    worker.Stop();
    server_.Stop();
    EXPECT_EQ(window_.EventCodes().back(), 26);
  }
  EXPECT_TRUE(FolderEntries(target_.string()).empty());
}

TEST(ProgramItemName, OnlyTheLastPartOfTheNameIsKept) {
  const std::pair<const char*, const char*> cases[] = {
      {"velmar.exe", "velmar.exe"},
      {"setup\\bin\\velmar.exe", "velmar.exe"},
      {"../../etc/passwd", "passwd"},
      {"..\\..\\velmar.exe", "velmar.exe"},
      {"/abs/path", "path"},
      {"", ""},
      {"folder/", ""},
      {"a/..", ""},
      {".", ""},
      {"...", "..."},
  };
  for (const auto& [name, kept] : cases)
    EXPECT_EQ(ProgramUpdateWorker::SafeItemName(name), kept) << name;
}

}  // namespace
}  // namespace velmar
