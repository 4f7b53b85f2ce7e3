#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace velmar::testing {

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};
using TempDir = ScratchDir;


// A program started by a test, with its stdout and stderr on pipes. The destructor stops it
// (SIGTERM, then SIGKILL after a deadline) so that no test leaves a process behind.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  bool Start(const std::vector<std::string>& argv);
  pid_t Pid() const { return pid_; }

  // Reads stdout up to the next line end; false when the deadline passes or stdout closes.
  bool ReadLine(std::string& line, std::chrono::milliseconds deadline);
  // Reads stdout (and stderr, so that neither pipe fills) until stdout closes.
  bool ReadAll(std::string& out, std::chrono::milliseconds deadline);
  // Sends `signal` and waits for the exit; the exit status as from waitpid, or -1 on time-out.
  int Stop(int signal, std::chrono::milliseconds deadline);
  // Waits for the process to end by itself; its exit code, or -1 when it did not end in time
  // or ended by a signal.
  int WaitExit(std::chrono::milliseconds deadline);
  // Everything written to stderr so far (drained without blocking).
  std::string Stderr();

 private:
  int WaitFor(std::chrono::milliseconds deadline);
  void Drain(int& fd, std::string& into);

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string outBuffer_;
  std::string errBuffer_;
};

}  // namespace velmar::testing
