#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/LocalFiles.h"

namespace velmar {

namespace {

bool WriteWhole(int fd, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

class PosixOutputFile : public OutputFile {
 public:
  explicit PosixOutputFile(int fd) : fd_(fd) {}
  ~PosixOutputFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Write(const void* data, size_t size) override {
    return fd_ >= 0 && WriteWhole(fd_, data, size);
  }
  bool Commit() override {
    if (fd_ < 0) return false;
    bool ok = ::fsync(fd_) == 0;
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr)
    return found->pw_dir;
  return {};
}

// Makes a rename durable; a failure here only weakens that, so it is not reported.
void SyncDirectoryOf(const std::string& path) {
  std::filesystem::path directory = std::filesystem::path(path).parent_path();
  if (directory.empty()) directory = ".";
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::CreateExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  // A copy another program holds locked is not touched, so the caller can go elsewhere.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixOutputFile>(fd);
}

bool ReplaceFileDurably(const std::string& path, const void* data, size_t size) {
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(attempt);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = WriteWhole(fd, data, size);
  ok = (::fsync(fd) == 0) && ok;
  ok = (::close(fd) == 0) && ok;
  if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) {
    SyncDirectoryOf(path);
    return true;
  }
  ::unlink(temporary.c_str());
  return false;
}

std::optional<std::string> UserDataFolder() {
  // Relative values are invalid by the desktop's rules and must be ignored.
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
    return std::string(data);
  const std::string home = HomeDirectory();
  if (home.empty()) return std::nullopt;
  return home + "/.local/share";
}

std::optional<std::string> UserStateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
    return std::string(state);
  const std::string home = HomeDirectory();
  if (home.empty()) return std::nullopt;
  return home + "/.local/state";
}

std::optional<std::string> ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || !program.has_parent_path()) return std::nullopt;
  return program.parent_path().string();
}

std::string MakePrivateTemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmar-cli-XXXXXX";
  if (!::mkdtemp(pattern.data())) return {};
  return pattern;
}

bool CanCreateFilesIn(const std::string& folder) {
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string SerialPermissionProblem(const std::string& device_path) {
  if (::access(device_path.c_str(), R_OK | W_OK) == 0) return {};
  if (errno == EACCES || errno == EPERM) {
    return "no permission to open " + device_path +
           ": add your user to the dialout group (sudo adduser $USER dialout), then log in again";
  }
  return {};
}

std::string LastSystemErrorText() { return std::strerror(errno); }

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
void PrepareConsoleForUtf8() {}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace velmar
