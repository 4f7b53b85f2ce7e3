// The history database as files on disk: what goes in comes out, in order; the report queue
// hands each report to one sender; pruning and schema versions; writer processes that start
// together or are killed half-way.
#include <gtest/gtest.h>

#include <tuple>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "history/HistoryStore.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

using testing::ScratchDir;

HistoryRecord Record(const std::string& serial, ReportState report = ReportState::None,
                     const std::string& version = "1.00") {
  HistoryRecord record;
  record.serial = serial;
  record.register_map = 2;
  record.version_before = version;
  record.version_after = "1.10";
  record.packages = {{"main-1.10.zip", 4096, std::string(64, 'a')},
                     {"db-eu.zip", 100, std::string(64, 'b')}};
  record.outcome = "PASS";
  record.status_text = "PASS";
  record.report = report;
  record.report_fields = {serial, version, "QL7-12", "db-eu.zip", "PASS"};
  return record;
}

// What the file says about itself, through SQLite and not the store: the first value of `sql`.
std::string Ask(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string value;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
      value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return value;
}

TEST(HistoryStore, RecordsComeBackWholeNewestFirstBySerialAndLimit) {
  ScratchDir dir;
  HistoryStore store;
  std::string error;
  ASSERT_TRUE(store.Open(dir.File("history.db"), error)) << error;
  HistoryRecord first = Record("A-1");
  first.time = "2026-01-02T03:04:05Z";
  first.program_version = "9.9";
  // Texts from the tool and the server are stored as bytes, quotes and all.
  first.outcome = "FAIL: LOAD_ETAPE_OPTIONS->EVENT_FIN_TRANSFERT_FAIL ' \" ;";
  ASSERT_GT(store.Add(first), 0);
  ASSERT_GT(store.Add(Record("B-2")), 0);
  HistoryRecord reset = Record("A-1");
  reset.kind = JobKind::FactoryReset;
  reset.packages.clear();
  ASSERT_GT(store.Add(reset), 0);

  const std::tuple<std::string, int, std::vector<std::string>> queries[] = {
      {"", 0, {"factory-reset A-1", "update B-2", "update A-1"}},
      {"A-1", 0, {"factory-reset A-1", "update A-1"}},
      {"", 2, {"factory-reset A-1", "update B-2"}},
      {"nobody", 0, {}},
  };
  for (const auto& [serial, limit, kinds_and_serials] : queries) {
    std::vector<std::string> got;
    for (const HistoryRecord& record : store.List(serial, limit))
      got.push_back(std::string(JobKindName(record.kind)) + " " + record.serial);
    EXPECT_EQ(got, kinds_and_serials) << serial << " " << limit;
  }

  const HistoryRecord oldest = store.List().back();
  EXPECT_EQ(std::tie(oldest.time, oldest.program_version, oldest.outcome, oldest.register_map),
            std::tie(first.time, first.program_version, first.outcome, first.register_map));
  ASSERT_EQ(oldest.packages.size(), 2u);
  EXPECT_EQ(std::tie(oldest.packages[1].name, oldest.packages[1].bytes, oldest.packages[1].sha256),
            std::tie(first.packages[1].name, first.packages[1].bytes, first.packages[1].sha256));
  EXPECT_TRUE(store.List().front().packages.empty());
  // The store's own clock, in UTC, when the caller gives none.
  EXPECT_EQ(store.List().front().time.size(), 20u);
  EXPECT_EQ(store.List().front().time.back(), 'Z');

  EXPECT_EQ(Ask(dir.File("history.db"), "PRAGMA journal_mode"), "wal");
  EXPECT_EQ(Ask(dir.File("history.db"), "PRAGMA user_version"),
            std::to_string(HistoryStore::kSchemaVersion));
}

TEST(HistoryStore, ReportsGoOutOldestFirstOnceEachAcrossConnections) {
  ScratchDir dir;
  HistoryStore one, two;
  std::string error;
  ASSERT_TRUE(one.Open(dir.File("history.db"), error)) << error;
  ASSERT_TRUE(two.Open(dir.File("history.db"), error)) << error;
  const int64_t first = one.Add(Record("A-1", ReportState::Pending, "1.00"));
  const int64_t sent = one.Add(Record("A-1", ReportState::Sent));
  const int64_t second = two.Add(Record("B-2", ReportState::Pending, "2.00"));
  // A report its own sender still holds is nobody else's.
  const int64_t held = two.Add(Record("C-3", ReportState::Sending));
  ASSERT_TRUE(first && sent && second && held);

  std::optional<HistoryRecord> claim = one.ClaimPendingReport();
  ASSERT_TRUE(claim);
  EXPECT_EQ(claim->id, first);
  EXPECT_EQ(claim->report_fields.version, "1.00");
  EXPECT_EQ(claim->report_fields.tool, "QL7-12");
  // The other process gets the next one, never the claimed one.
  std::optional<HistoryRecord> other = two.ClaimPendingReport();
  ASSERT_TRUE(other);
  EXPECT_EQ(other->id, second);
  EXPECT_FALSE(one.ClaimPendingReport()) << "nothing else waits";

  // Refused: it waits again, first in line. Accepted: gone for good.
  ASSERT_TRUE(one.FinishReport(first, false));
  ASSERT_TRUE(two.FinishReport(second, true));
  EXPECT_FALSE(two.FinishReport(second, false)) << "a finished claim cannot be undone";
  claim = two.ClaimPendingReport();
  ASSERT_TRUE(claim);
  EXPECT_EQ(claim->id, first);
  ASSERT_TRUE(two.FinishReport(first, true));
  EXPECT_FALSE(one.ClaimPendingReport());
  EXPECT_EQ(one.CountReports(ReportState::Sent), 3);
  EXPECT_EQ(one.CountReports(ReportState::Sending), 1);
}

TEST(HistoryStore, PruningKeepsTheNewestAndEveryReportNotYetSent) {
  ScratchDir dir;
  HistoryStore store;
  std::string error;
  ASSERT_TRUE(store.Open(dir.File("history.db"), error)) << error;
  store.SetKeepRecords(5);
  for (int i = 0; i < 12; ++i) {
    const ReportState report = i == 1   ? ReportState::Pending
                               : i == 2 ? ReportState::Sending
                                        : ReportState::Sent;
    ASSERT_GT(store.Add(Record("S-" + std::to_string(i), report)), 0);
  }
  std::vector<std::string> kept;
  for (const HistoryRecord& record : store.List()) kept.push_back(record.serial);
  EXPECT_EQ(kept, (std::vector<std::string>{"S-11", "S-10", "S-9", "S-8", "S-7", "S-2", "S-1"}));
  EXPECT_EQ(Ask(dir.File("history.db"), "SELECT COUNT(*) FROM packages"), "14")
      << "their packages went with them";
}

// A newer schema and a file that is no database are left as they are; an empty file becomes one.
TEST(HistoryStore, FilesItCannotUseAreLeftAsTheyAre) {
  ScratchDir dir;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dir.File("newer.db").c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  std::ofstream(dir.File("junk.db"), std::ios::binary) << std::string(4096, 'x');
  std::ofstream(dir.File("empty.db"), std::ios::binary).flush();
  for (const std::string name : {"newer.db", "junk.db", "empty.db"}) {
    HistoryStore store;
    std::string error;
    const bool opens = name == "empty.db";
    EXPECT_EQ(store.Open(dir.File(name), error), opens) << name << ": " << error;
    EXPECT_EQ(store.Add(Record("A-1")) > 0, opens) << name << ": records only once open";
    EXPECT_EQ(error.empty(), opens) << name;
  }
  EXPECT_EQ(Ask(dir.File("newer.db"), "PRAGMA user_version"), "99");
  HistoryStore store;
  std::string error;
  EXPECT_FALSE(store.Open(dir.File("newer.db"), error));
  EXPECT_NE(error.find("newer"), std::string::npos) << error;
}

// Child processes report each committed record's id on a pipe and end by _exit.
void WriteIds(int fd, const std::string& path, int count) {
  HistoryStore store;
  std::string error;
  if (!store.Open(path, error)) _exit(2);
  for (int i = 0; i < count; ++i) {
    const int64_t id = store.Add(Record("K-" + std::to_string(i), ReportState::Pending));
    if (id == 0) _exit(3);
    if (write(fd, &id, sizeof id) != sizeof id) _exit(4);
  }
  _exit(0);
}

TEST(HistoryStore, AWriterKilledAtAnyMomentLeavesASoundFileWithEveryCommittedRecord) {
  ScratchDir dir;
  const std::string path = dir.File("history.db");
  // Each seed kills after a different number of commits and a different moment within the
  // next transaction; the checks hold wherever the kill lands.
  for (unsigned seed = 1; seed <= 6; ++seed) {
    int ids_pipe[2];
    ASSERT_EQ(pipe(ids_pipe), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ids_pipe[0]);
      WriteIds(ids_pipe[1], path, 1000);
    }
    close(ids_pipe[1]);
    const unsigned commits = 1 + (seed * 7919u) % 25;
    std::set<int64_t> committed;
    int64_t id = 0;
    while (committed.size() < commits && read(ids_pipe[0], &id, sizeof id) == sizeof id)
      committed.insert(id);
    std::this_thread::sleep_for(std::chrono::microseconds((seed * 1543u) % 4000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    while (read(ids_pipe[0], &id, sizeof id) == sizeof id) committed.insert(id);
    close(ids_pipe[0]);
    ASSERT_EQ(committed.size() >= commits, true) << "seed " << seed;

    HistoryStore store;
    std::string error;
    ASSERT_TRUE(store.Open(path, error)) << "seed " << seed << ": " << error;
    EXPECT_EQ(Ask(path, "PRAGMA integrity_check"), "ok") << "seed " << seed;
    for (int64_t committed_id : committed) {
      std::optional<HistoryRecord> record = store.Find(committed_id);
      ASSERT_TRUE(record) << "seed " << seed << " lost record " << committed_id;
      EXPECT_EQ(record->report, ReportState::Pending);
    }
    EXPECT_EQ(store.List().front().packages.size(), 2u) << "no record without its packages";
  }
}

TEST(HistoryStore, ProcessesOpeningANewFileTogetherAllRecord) {
  ScratchDir dir;
  constexpr int kProcesses = 6;
  for (int round = 0; round < 8; ++round) {
    const std::string path = dir.File("new-" + std::to_string(round) + ".db");
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        close(gate[1]);
        char byte;
        // Everyone starts when the gate closes.
        if (read(gate[0], &byte, 1) != 0) _exit(5);
        HistoryStore store;
        std::string error;
        if (!store.Open(path, error)) _exit(2);
        _exit(store.Add(Record("P-" + std::to_string(i))) > 0 ? 0 : 3);
      }
      children.push_back(child);
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t child : children) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << "round " << round << ": exit " << WEXITSTATUS(status);
    }
    HistoryStore store;
    std::string error;
    ASSERT_TRUE(store.Open(path, error)) << error;
    EXPECT_EQ(store.Count(), kProcesses) << "round " << round;
  }
}

}  // namespace
}  // namespace velmar
