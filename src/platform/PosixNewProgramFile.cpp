#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/FileWrite.h"
#include "platform/NewProgramFile.h"
#include "platform/Sha256.h"

extern char** environ;

namespace velmar {

namespace {

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool LooksExecutable(std::span<const uint8_t> bytes) {
  static const uint8_t kElf[] = {0x7F, 'E', 'L', 'F'};
  if (bytes.size() >= 4 && std::memcmp(bytes.data(), kElf, 4) == 0) return true;
  return bytes.size() >= 2 && bytes[0] == '#' && bytes[1] == '!';
}

std::optional<SavedProgramFile> SaveNewProgramFile(const std::string& folder,
                                                   const std::string& name,
                                                   std::span<const uint8_t> bytes,
                                                   std::string* error) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    Fail(error, "the file name \"" + name + "\" is not usable");
    return std::nullopt;
  }
  const std::string base = folder.empty() ? std::string() : folder + "/";
  std::string path;
  int fd = -1;
  for (int number = 0; number <= kMaxNumberedNames && fd < 0; ++number) {
    path = base + (number == 0 ? name : NumberedProgramName(name, number));
    // O_EXCL: never an existing file, and never through a link planted under the name.
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) {
      Fail(error, path + ": " + std::strerror(errno));
      return std::nullopt;
    }
  }
  if (fd < 0) {
    Fail(error, "no free name for " + name + " in " + (folder.empty() ? "." : folder));
    return std::nullopt;
  }
  SavedProgramFile saved;
  saved.path = path;
  saved.executable = LooksExecutable(bytes);
  bool ok = WriteAll(fd, bytes.data(), bytes.size());
  if (!ok) Fail(error, path + ": " + std::strerror(errno));
  if (ok && saved.executable) {
    // Only the owner's execute bit; the rest follows the user's umask as for any new file.
    struct stat info {};
    ok = fstat(fd, &info) == 0 && fchmod(fd, (info.st_mode & 07777) | S_IXUSR) == 0;
    if (!ok) Fail(error, path + ": " + std::strerror(errno));
  }
  if (ok && fsync(fd) != 0) ok = Fail(error, path + ": " + std::strerror(errno));
  if (close(fd) != 0 && ok) ok = Fail(error, path + ": " + std::strerror(errno));
  if (!ok) {
    unlink(path.c_str());  // ours: made exclusively above
    return std::nullopt;
  }
  saved.sha256 = Sha256Hex(bytes);
  return saved;
}

bool StartProgram(const std::string& path, std::string* error) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own session: the new program outlives this one and its terminal's hang-up.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  std::string program = path;
  char* argv[] = {program.data(), nullptr};
  pid_t pid = -1;
  // glibc reports a failed exec (missing, not executable, unknown format) as the result.
  const int result = posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) return Fail(error, path + ": " + std::strerror(result));
  return true;
}

}  // namespace velmar
