#include "app/SensorReport.h"

#include "platform/FileWrite.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "device/ToolDevice.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {


// Opens path for reading and writing, emptied, and held exclusively: a copy that another
// program holds locked is not touched, so the caller can go to the other place instead.
int CreateExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

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

}  // namespace

std::optional<std::string> UserDataFolder() {
  // Relative values are invalid by the desktop's rules and must be ignored.
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
    return std::string(data);
  const std::string home = HomeDirectory();
  if (home.empty()) return std::nullopt;
  return home + "/.local/share";
}

SensorReport::SensorReport(ToolDevice& device)
    : SensorReport(device, SensorReportPlaces{{}, UserDataFolder()}) {}

SensorReport::SensorReport(ToolDevice& device, SensorReportPlaces places)
    : device_(device), places_(std::move(places)) {}

std::string SensorReport::WorkingFilePath() const {
  if (places_.working_directory.empty()) return kFileName;
  return (fs::path(places_.working_directory) / kFileName).string();
}

std::string SensorReport::FilePath() const {
  if (!report_path_.empty()) return report_path_;
  std::error_code error;
  const fs::path absolute = fs::absolute(WorkingFilePath(), error);
  return error ? WorkingFilePath() : absolute.string();
}

int SensorReport::CreateReportFile() {
  const int fd = CreateExclusive(WorkingFilePath());
  if (fd >= 0) return fd;
  if (!places_.user_data_folder || places_.user_data_folder->empty()) return -1;
  const fs::path folder = fs::path(*places_.user_data_folder) / "Ostar" / "Korda";
  std::error_code error;
  fs::create_directories(folder, error);  // an existing folder is fine; failure shows below
  report_path_ = (folder / kFileName).string();
  return CreateExclusive(report_path_);
}

int SensorReport::Build() {
  ToolDeviceLock lock(device_);
  if (device_.Probe(kProbe) != 0) return 0;
  SensorRecordHeader header;
  if (device_.ReadSensorRecordCount(header) != 0 || header.info_stored == 0) return 0;

  report_path_.clear();
  const int fd = CreateReportFile();
  if (fd < 0) return 0;

  int result = 0;
  bool written = true;
  for (uint32_t i = 1; i <= header.record_count; ++i) {
    char text[kRecordCapacity] = {};
    if (device_.ReadSensorRecordText(static_cast<uint16_t>(i), text, sizeof text) != 0) {
      if (device_.Probe(kProbe) != 0) break;
      continue;
    }
    const size_t length = ::strnlen(text, sizeof text);
    if (length == 0) continue;
    if (!WriteAll(fd, text, length)) {
      written = false;
      break;
    }
    result = 1;
  }
  // A report that did not reach the disk must not be offered as if it had.
  if (::fsync(fd) != 0) written = false;
  if (::close(fd) != 0) written = false;
  return written ? result : 0;
}

}  // namespace velmar
