#pragma once
#include <string>

namespace velmar {

// The fields of one "setstatus" report as they were sent the first time, so that a report
// sent again later says exactly what the server would have heard then.
struct StatusReport {
  std::string serial;   // "s"
  std::string version;  // "v"
  std::string tool;     // "tool"
  std::string file;     // "f"
  std::string status;   // "status"
};

}  // namespace velmar
