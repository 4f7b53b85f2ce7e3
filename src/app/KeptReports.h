#pragma once
#include <functional>

#include "history/HistoryStore.h"
#include "server/StatusReport.h"

namespace velmar {

// Sends the status reports kept in the history, oldest first, each claimed so that no other
// process sends it too, until one is refused or none is left. `send` is true when the server
// accepted the report (HTTP 200). How many were accepted.
int SendKeptReports(HistoryStore& history, const std::function<bool(const StatusReport&)>& send);

}  // namespace velmar
