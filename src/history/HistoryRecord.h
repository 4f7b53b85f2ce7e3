#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "server/StatusReport.h"

namespace velmar {

// What a record is about.
enum class JobKind { Update, OptionsUpdate, FactoryReset, Clock, SelfUpdate };

const char* JobKindName(JobKind kind);
// False for a name this program does not know (a newer program wrote it).
bool JobKindFromName(const std::string& name, JobKind& kind);

// Where the record's "setstatus" report stands. Sending is a claim by one process; a claim
// that outlives its lease is taken as abandoned (the process died) and may be taken again.
enum class ReportState : int { None = 0, Pending = 1, Sending = 2, Sent = 3 };

const char* ReportStateName(ReportState state);

// One package written into the tool, in the order of loading.
struct PackageEntry {
  std::string name;
  uint64_t bytes = 0;  // bytes written
  std::string sha256;  // of the bytes written, in order; lower-case hexadecimal
};

struct HistoryRecord {
  int64_t id = 0;               // given by the store
  std::string time;             // UTC, "YYYY-MM-DDTHH:MM:SSZ"; empty: the store's now
  std::string program_version;  // empty: this program's
  JobKind kind = JobKind::Update;
  std::string serial;
  int register_map = 0;
  std::string version_before;
  std::string version_after;
  std::vector<PackageEntry> packages;
  std::string outcome;      // "PASS", "FAIL" or the failure text
  std::string status_text;  // the "status" sent to the server; empty without a report
  ReportState report = ReportState::None;
  StatusReport report_fields;  // as first sent; meaningful when report is not None
};

}  // namespace velmar
