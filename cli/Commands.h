#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace velmar::cli {

// Where a command reads and writes: the result on `out`, the log and errors on `err` (the log
// goes to `out` without --json), questions read from `in`.
struct CliStreams {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool out_is_terminal = false;  // progress bars are drawn in place
  bool in_is_terminal = false;   // questions may be asked
};

// Runs one command line (the arguments after the program name); the exit code.
int RunCli(const std::vector<std::string>& args, const CliStreams& streams);

}  // namespace velmar::cli
