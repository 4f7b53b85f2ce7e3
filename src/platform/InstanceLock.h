#pragma once
#include <string>

namespace velmar {

// The single-instance guard of the desktop program: an advisory lock on a file in the user's
// runtime directory (on Windows, a named mutex whose name is the "path"), held for the life of
// the process. The system drops it when the process ends, however it ends, so a crashed
// instance never blocks the next start.
class InstanceLock {
 public:
  enum class Result {
    Acquired,        // this is the only instance
    AlreadyRunning,  // another process holds the lock
    Unavailable,     // the lock file could not be made: treated as a first instance
  };

  // The file named after the program's instance name in $XDG_RUNTIME_DIR/velmar, else in
  // /tmp/velmar-<uid>. The folder is used only when it is private to the user (see
  // PreparePrivateFolder); otherwise Acquire answers Unavailable and Problem says why.
  static std::string DefaultPath();

  explicit InstanceLock(std::string path = DefaultPath());
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  Result Acquire();
  const std::string& Path() const { return path_; }
  // Why the lock's folder was not used (one line), empty when it was.
  const std::string& Problem() const { return problem_; }

 private:
  std::string path_;
  std::string problem_;
  int fd_ = -1;
  void* handle_ = nullptr;  // Windows: the named mutex
};

}  // namespace velmar
