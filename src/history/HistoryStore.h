#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryRecord.h"

struct sqlite3;

namespace velmar {

// The update history on this computer: one SQLite database shared by every Velmar process
// of the user (one per port may run at once). Write-ahead logging, one transaction per
// record, a bounded wait for other writers, and the schema's version in the file so that a
// later program can migrate it. Reports the server has not accepted yet stay in it as a
// queue, oldest first, and are never pruned.
class HistoryStore {
 public:
  static constexpr int kSchemaVersion = 1;
  static constexpr int64_t kKeepRecords = 10000;
  // How long a write waits for other processes before it gives up.
  static constexpr int kBusyMs = 10000;
  // A claimed report whose sender has not finished within this is taken as abandoned.
  static constexpr int kClaimLeaseSeconds = 600;
  static constexpr const char* kFileName = "history.db";

  HistoryStore() = default;
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Opens the database, creating or migrating it. False with `error` set; the store then
  // records nothing.
  bool Open(const std::string& path, std::string& error);
  // history.db in the user's state folder.
  bool OpenDefault(std::string& error);
  bool IsOpen() const { return db_ != nullptr; }
  const std::string& Path() const { return path_; }
  const std::string& LastError() const { return last_error_; }

  // Adds a record, its packages, and prunes, in one transaction; the record's id, 0 on
  // failure. A record added with ReportState::Sending is claimed by the caller, who ends the
  // claim with FinishReport.
  int64_t Add(const HistoryRecord& record);

  // Newest first; only the serial's when it is not empty; at most `limit` (0: all).
  std::vector<HistoryRecord> List(const std::string& serial = {}, int limit = 0);
  std::optional<HistoryRecord> Find(int64_t id);

  // Claims the oldest report waiting to be sent (or abandoned by a dead sender): nothing
  // when there is none. Only one process gets a given claim.
  std::optional<HistoryRecord> ClaimPendingReport();
  // Ends a claim: Sent when the server accepted the report, Pending again otherwise.
  bool FinishReport(int64_t id, bool accepted);
  int64_t CountReports(ReportState state);
  int64_t Count();

  // For tests and migrations: how many records pruning keeps.
  void SetKeepRecords(int64_t keep) { keep_ = keep; }

 private:
  bool Exec(const char* sql);
  bool Migrate(std::string& error);
  bool Begin();
  bool Commit();
  void Rollback();
  void Close();
  bool Fail(const char* what);

  sqlite3* db_ = nullptr;
  std::string path_;
  std::string last_error_;
  int64_t keep_ = kKeepRecords;
};

}  // namespace velmar
