#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PrivateFolder.h"

namespace velmar {

namespace {

// The name the program's instances have always agreed on.
constexpr const char* kInstanceName = "00E2F422-KORNDAL-ABC7-AA2E10B6B2A5";

std::string RuntimeFolder() {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/velmar";
  return "/tmp/velmar-" + std::to_string(getuid());
}

}  // namespace

std::string InstanceLock::DefaultPath() { return RuntimeFolder() + "/" + kInstanceName + ".lock"; }

InstanceLock::InstanceLock(std::string path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) close(fd_);  // releases the lock; the file stays for the next start
}

InstanceLock::Result InstanceLock::Acquire() {
  if (fd_ >= 0) return Result::Acquired;
  const auto slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    // Private to the user: another user's lock file in a folder they made would keep this
    // program from ever starting.
    problem_ = PreparePrivateFolder(path_.substr(0, slash));
    if (!problem_.empty()) return Result::Unavailable;
  }
  const int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Result::Unavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    return error == EWOULDBLOCK ? Result::AlreadyRunning : Result::Unavailable;
  }
  fd_ = fd;
  return Result::Acquired;
}

}  // namespace velmar
