#include "history/HistoryStore.h"

#include <sqlite3.h>

#include <chrono>

#include "platform/StateFolder.h"

#ifndef VELMAR_PROGRAM_VERSION
#define VELMAR_PROGRAM_VERSION "0"
#endif

namespace velmar {

namespace {

constexpr const char* kKindNames[] = {"update", "options-update", "factory-reset", "clock",
                                      "self-update"};
constexpr const char* kReportNames[] = {"none", "pending", "sending", "sent"};

// Schema 1. Later versions add steps after it in Migrate, never change it.
constexpr const char* kSchema1 = R"sql(
CREATE TABLE history(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  time TEXT NOT NULL,
  program_version TEXT NOT NULL,
  kind TEXT NOT NULL,
  serial TEXT NOT NULL,
  register_map INTEGER NOT NULL,
  version_before TEXT NOT NULL,
  version_after TEXT NOT NULL,
  outcome TEXT NOT NULL,
  status_text TEXT NOT NULL,
  report_state INTEGER NOT NULL,
  report_s TEXT NOT NULL,
  report_v TEXT NOT NULL,
  report_tool TEXT NOT NULL,
  report_f TEXT NOT NULL,
  report_status TEXT NOT NULL,
  claim_until INTEGER NOT NULL);
CREATE INDEX history_by_serial ON history(serial, id);
CREATE INDEX history_waiting ON history(id) WHERE report_state IN (1, 2);
CREATE TABLE packages(
  history_id INTEGER NOT NULL REFERENCES history(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  bytes INTEGER NOT NULL,
  sha256 TEXT NOT NULL,
  PRIMARY KEY(history_id, position)) WITHOUT ROWID;
)sql";

bool IsBusy(int code) {
  code &= 0xFF;
  return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

// SQLite answers "busy" or "locked" at once, without its busy handler, in a few places (the
// loser of two connections switching a new file to write-ahead logging together, a schema
// read racing its creation): those are tried again here, within the same bound.
template <typename Operation>
int WithinBusyBound(Operation operation) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(HistoryStore::kBusyMs);
  for (;;) {
    const int code = operation();
    if (!IsBusy(code) || std::chrono::steady_clock::now() >= deadline) return code;
    sqlite3_sleep(20);
  }
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    code_ = WithinBusyBound([&] { return sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); });
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return stmt_ != nullptr && code_ == SQLITE_OK; }
  Statement& Bind(int index, const std::string& text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Bind(int index, int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or the failure.
  int Step() {
    if (!Ok()) return code_ == SQLITE_OK ? SQLITE_ERROR : code_;
    return WithinBusyBound([&] {
      const int code = sqlite3_step(stmt_);
      if (IsBusy(code)) sqlite3_reset(stmt_);
      return code;
    });
  }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                : std::string();
  }
  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  int code_ = SQLITE_OK;
};

constexpr const char* kRecordColumns =
    "SELECT id, time, program_version, kind, serial, register_map, version_before, "
    "version_after, outcome, status_text, report_state, report_s, report_v, report_tool, "
    "report_f, report_status FROM history";

HistoryRecord ReadRecord(const Statement& row) {
  HistoryRecord record;
  record.id = row.Int(0);
  record.time = row.Text(1);
  record.program_version = row.Text(2);
  if (!JobKindFromName(row.Text(3), record.kind)) record.kind = JobKind::Update;
  record.serial = row.Text(4);
  record.register_map = static_cast<int>(row.Int(5));
  record.version_before = row.Text(6);
  record.version_after = row.Text(7);
  record.outcome = row.Text(8);
  record.status_text = row.Text(9);
  const int64_t state = row.Int(10);
  record.report = state >= 0 && state <= 3 ? static_cast<ReportState>(state) : ReportState::None;
  record.report_fields =
      StatusReport{row.Text(11), row.Text(12), row.Text(13), row.Text(14), row.Text(15)};
  return record;
}

}  // namespace

const char* JobKindName(JobKind kind) { return kKindNames[static_cast<int>(kind)]; }

bool JobKindFromName(const std::string& name, JobKind& kind) {
  for (int i = 0; i < 5; ++i) {
    if (name == kKindNames[i]) {
      kind = static_cast<JobKind>(i);
      return true;
    }
  }
  return false;
}

const char* ReportStateName(ReportState state) { return kReportNames[static_cast<int>(state)]; }

HistoryStore::~HistoryStore() { Close(); }

void HistoryStore::Close() {
  if (db_ != nullptr) sqlite3_close(db_);
  db_ = nullptr;
}

bool HistoryStore::Fail(const char* what) {
  last_error_ = std::string(what) + ": " + (db_ ? sqlite3_errmsg(db_) : "no database");
  return false;
}

bool HistoryStore::Exec(const char* sql) {
  const int code =
      WithinBusyBound([&] { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); });
  return code == SQLITE_OK;
}

bool HistoryStore::Begin() { return Exec("BEGIN IMMEDIATE") || Fail("cannot start a write"); }

bool HistoryStore::Commit() {
  if (Exec("COMMIT")) return true;
  Fail("cannot commit");
  Rollback();
  return false;
}

void HistoryStore::Rollback() {
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool HistoryStore::OpenDefault(std::string& error) {
  const std::string folder = StateFolder(error);
  if (folder.empty()) return false;
  return Open(folder + "/" + kFileName, error);
}

bool HistoryStore::Open(const std::string& path, std::string& error) {
  Close();
  path_ = path;
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    error = "cannot open " + path + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
    Close();
    return false;
  }
  sqlite3_busy_timeout(db_, kBusyMs);
  std::string mode;
  {
    Statement wal(db_, "PRAGMA journal_mode=WAL");
    if (wal.Step() == SQLITE_ROW) mode = wal.Text(0);
  }
  // Every record must survive a crash or a power cut once it is committed.
  if (mode != "wal" || !Exec("PRAGMA synchronous=FULL") || !Exec("PRAGMA foreign_keys=ON")) {
    error = "cannot set up " + path + ": " + sqlite3_errmsg(db_);
    Close();
    return false;
  }
  if (!Migrate(error)) {
    Close();
    return false;
  }
  return true;
}

bool HistoryStore::Migrate(std::string& error) {
  if (!Begin()) {
    error = last_error_;
    return false;
  }
  int64_t version = -1;
  {
    Statement read(db_, "PRAGMA user_version");
    if (read.Step() == SQLITE_ROW) version = read.Int(0);
  }
  if (version < 0 || version > kSchemaVersion) {
    Rollback();
    error = version < 0 ? path_ + " is not a history database"
                        : path_ + " was written by a newer Velmar (schema " +
                              std::to_string(version) + "); it is left as it is";
    return false;
  }
  bool ok = true;
  if (version < 1) ok = Exec(kSchema1);
  // Later schema versions: `if (ok && version < 2) ok = Exec(kSchema2Changes);` and so on.
  if (ok && version != kSchemaVersion)
    ok = Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
  if (!ok) {
    error = path_ + ": cannot create its tables: " + sqlite3_errmsg(db_);
    Rollback();
    return false;
  }
  if (!Commit()) {
    error = last_error_;
    return false;
  }
  return true;
}

int64_t HistoryStore::Add(const HistoryRecord& record) {
  if (db_ == nullptr || !Begin()) return 0;
  Statement insert(
      db_,
      "INSERT INTO history(time, program_version, kind, serial, register_map, "
      "version_before, version_after, outcome, status_text, report_state, report_s, "
      "report_v, report_tool, report_f, report_status, claim_until) VALUES("
      "COALESCE(NULLIF(?1, ''), strftime('%Y-%m-%dT%H:%M:%SZ', 'now')), ?2, ?3, ?4, "
      "?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, "
      "CASE WHEN ?10 = 2 THEN CAST(strftime('%s', 'now') AS INTEGER) + ?16 ELSE 0 END)");
  insert.Bind(1, record.time)
      .Bind(2, record.program_version.empty() ? std::string(VELMAR_PROGRAM_VERSION)
                                              : record.program_version)
      .Bind(3, std::string(JobKindName(record.kind)))
      .Bind(4, record.serial)
      .Bind(5, int64_t{record.register_map})
      .Bind(6, record.version_before)
      .Bind(7, record.version_after)
      .Bind(8, record.outcome)
      .Bind(9, record.status_text)
      .Bind(10, int64_t{static_cast<int>(record.report)})
      .Bind(11, record.report_fields.serial)
      .Bind(12, record.report_fields.version)
      .Bind(13, record.report_fields.tool)
      .Bind(14, record.report_fields.file)
      .Bind(15, record.report_fields.status)
      .Bind(16, int64_t{kClaimLeaseSeconds});
  if (insert.Step() != SQLITE_DONE) {
    Fail("cannot add a record");
    Rollback();
    return 0;
  }
  const int64_t id = sqlite3_last_insert_rowid(db_);
  int64_t position = 0;
  for (const PackageEntry& package : record.packages) {
    Statement add(db_,
                  "INSERT INTO packages(history_id, position, name, bytes, sha256) "
                  "VALUES(?1, ?2, ?3, ?4, ?5)");
    add.Bind(1, id).Bind(2, position++).Bind(3, package.name);
    add.Bind(4, static_cast<int64_t>(package.bytes)).Bind(5, package.sha256);
    if (add.Step() != SQLITE_DONE) {
      Fail("cannot add a package");
      Rollback();
      return 0;
    }
  }
  // Beyond the newest records only reports still on their way to the server are kept.
  Statement prune(db_,
                  "DELETE FROM history WHERE report_state NOT IN (1, 2) AND id <= "
                  "(SELECT id FROM history ORDER BY id DESC LIMIT 1 OFFSET ?1)");
  prune.Bind(1, keep_);
  if (prune.Step() != SQLITE_DONE) {
    Fail("cannot prune");
    Rollback();
    return 0;
  }
  return Commit() ? id : 0;
}

std::vector<HistoryRecord> HistoryStore::List(const std::string& serial, int limit) {
  std::vector<HistoryRecord> records;
  if (db_ == nullptr) return records;
  const std::string sql = std::string(kRecordColumns) +
                          (serial.empty() ? "" : " WHERE serial = ?1") +
                          " ORDER BY id DESC LIMIT ?2";
  Statement rows(db_, sql.c_str());
  if (!serial.empty()) rows.Bind(1, serial);
  rows.Bind(2, limit > 0 ? int64_t{limit} : int64_t{-1});
  int code;
  while ((code = rows.Step()) == SQLITE_ROW) records.push_back(ReadRecord(rows));
  if (code != SQLITE_DONE) Fail("cannot list the history");
  for (HistoryRecord& record : records) {
    Statement packages(db_,
                       "SELECT name, bytes, sha256 FROM packages WHERE history_id = ?1 "
                       "ORDER BY position");
    packages.Bind(1, record.id);
    while (packages.Step() == SQLITE_ROW) {
      record.packages.push_back(
          PackageEntry{packages.Text(0), static_cast<uint64_t>(packages.Int(1)), packages.Text(2)});
    }
  }
  return records;
}

std::optional<HistoryRecord> HistoryStore::Find(int64_t id) {
  if (db_ == nullptr) return std::nullopt;
  const std::string sql = std::string(kRecordColumns) + " WHERE id = ?1";
  Statement row(db_, sql.c_str());
  row.Bind(1, id);
  if (row.Step() != SQLITE_ROW) return std::nullopt;
  return ReadRecord(row);
}

std::optional<HistoryRecord> HistoryStore::ClaimPendingReport() {
  if (db_ == nullptr || !Begin()) return std::nullopt;
  int64_t id = 0;
  {
    Statement oldest(db_,
                     "SELECT id FROM history WHERE report_state = 1 OR (report_state = 2 AND "
                     "claim_until < CAST(strftime('%s', 'now') AS INTEGER)) ORDER BY id LIMIT 1");
    if (oldest.Step() == SQLITE_ROW) id = oldest.Int(0);
  }
  if (id != 0) {
    Statement claim(db_,
                    "UPDATE history SET report_state = 2, claim_until = "
                    "CAST(strftime('%s', 'now') AS INTEGER) + ?2 WHERE id = ?1");
    claim.Bind(1, id).Bind(2, int64_t{kClaimLeaseSeconds});
    if (claim.Step() != SQLITE_DONE) {
      Fail("cannot claim a report");
      Rollback();
      return std::nullopt;
    }
  }
  if (!Commit() || id == 0) return std::nullopt;
  return Find(id);
}

bool HistoryStore::FinishReport(int64_t id, bool accepted) {
  if (db_ == nullptr || !Begin()) return false;
  Statement finish(db_,
                   "UPDATE history SET report_state = ?2, claim_until = 0 "
                   "WHERE id = ?1 AND report_state = 2");
  finish.Bind(1, id).Bind(
      2, int64_t{static_cast<int>(accepted ? ReportState::Sent : ReportState::Pending)});
  if (finish.Step() != SQLITE_DONE) {
    Fail("cannot end a report's claim");
    Rollback();
    return false;
  }
  // No row: the claim was not ours (any more), and its state stays as the holder leaves it.
  const bool ours = sqlite3_changes(db_) == 1;
  return Commit() && ours;
}

int64_t HistoryStore::CountReports(ReportState state) {
  if (db_ == nullptr) return 0;
  Statement count(db_, "SELECT COUNT(*) FROM history WHERE report_state = ?1");
  count.Bind(1, int64_t{static_cast<int>(state)});
  return count.Step() == SQLITE_ROW ? count.Int(0) : 0;
}

int64_t HistoryStore::Count() {
  if (db_ == nullptr) return 0;
  Statement count(db_, "SELECT COUNT(*) FROM history");
  return count.Step() == SQLITE_ROW ? count.Int(0) : 0;
}

}  // namespace velmar
