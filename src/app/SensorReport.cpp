#include "app/SensorReport.h"

#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "device/ToolDevice.h"
#include "platform/LocalFiles.h"

namespace velmar {

namespace fs = std::filesystem;

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

std::unique_ptr<OutputFile> SensorReport::CreateReportFile() {
  if (auto file = OutputFile::CreateExclusive(WorkingFilePath())) return file;
  if (!places_.user_data_folder || places_.user_data_folder->empty()) return nullptr;
  const fs::path folder = fs::path(*places_.user_data_folder) / "Ostar" / "Korda";
  std::error_code error;
  fs::create_directories(folder, error);  // an existing folder is fine; failure shows below
  report_path_ = (folder / kFileName).string();
  return OutputFile::CreateExclusive(report_path_);
}

int SensorReport::Build() {
  ToolDeviceLock lock(device_);
  if (device_.Probe(kProbe) != 0) return 0;
  SensorRecordHeader header;
  if (device_.ReadSensorRecordCount(header) != 0 || header.info_stored == 0) return 0;

  report_path_.clear();
  const auto file = CreateReportFile();
  if (!file) return 0;

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
    if (!file->Write(text, length)) {
      written = false;
      break;
    }
    result = 1;
  }
  // A report that did not reach the disk must not be offered as if it had.
  if (!file->Commit()) written = false;
  return written ? result : 0;
}

}  // namespace velmar
