// The update history at its full size: a file already holding 10 000 records, then one
// update's record added at a time (each in its own transaction, pruned and flushed to disk as
// the programs do), the newest 50 listed, and a kept report claimed and finished. Prints the
// median and the slowest of each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "history/HistoryStore.h"
#include "support/UpdateTestSupport.h"

using namespace velmar;
using Steady = std::chrono::steady_clock;

namespace {

HistoryRecord UpdateRecord(int n) {
  HistoryRecord record;
  record.serial = "QL7-12-" + std::to_string(100000 + n % 50);
  record.register_map = 2;
  record.version_before = "1.00";
  record.version_after = "1.10";
  for (int i = 0; i < 8; ++i)
    record.packages.push_back({"package-" + std::to_string(i) + ".zip", 16384, std::string(64, 'c')});
  record.outcome = record.status_text = "PASS";
  record.report = ReportState::Sent;
  record.report_fields = {record.serial, "1.00", "QL7-12", "package-7.zip", "PASS"};
  return record;
}

void Print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-40s median %.2f ms, slowest %.2f ms (%zu runs)\n", what, ms[ms.size() / 2],
              ms.back(), ms.size());
}

}  // namespace

int main() {
  testing::ScratchDir dir;
  HistoryStore store;
  std::string error;
  if (!store.Open(dir.File("history.db"), error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  for (int n = 0; n < HistoryStore::kKeepRecords; ++n) store.Add(UpdateRecord(n));

  std::vector<double> add, list, claim;
  for (int n = 0; n < 200; ++n) {
    auto start = Steady::now();
    store.Add(UpdateRecord(n));
    add.push_back(std::chrono::duration<double, std::milli>(Steady::now() - start).count());

    start = Steady::now();
    const auto page = store.List({}, 50);
    list.push_back(std::chrono::duration<double, std::milli>(Steady::now() - start).count());
    if (page.size() != 50) return 1;

    HistoryRecord kept = UpdateRecord(n);
    kept.report = ReportState::Pending;
    store.Add(kept);
    start = Steady::now();
    const auto report = store.ClaimPendingReport();
    if (!report || !store.FinishReport(report->id, true)) return 1;
    claim.push_back(std::chrono::duration<double, std::milli>(Steady::now() - start).count());
  }
  std::printf("history of %lld records\n", static_cast<long long>(store.Count()));
  Print("add one update (8 packages)", add);
  Print("list the newest 50", list);
  Print("claim and finish a kept report", claim);
  return 0;
}
