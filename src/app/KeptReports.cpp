#include "app/KeptReports.h"

namespace velmar {

int SendKeptReports(HistoryStore& history, const std::function<bool(const StatusReport&)>& send) {
  int accepted = 0;
  while (std::optional<HistoryRecord> report = history.ClaimPendingReport()) {
    const bool ok = send(report->report_fields);
    history.FinishReport(report->id, ok);
    // The rest wait behind it, so that the server hears them in order.
    if (!ok) break;
    ++accepted;
  }
  return accepted;
}

}  // namespace velmar
