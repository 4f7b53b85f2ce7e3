#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/LocalFiles.h"

namespace velmar {

class ToolDevice;

// Where the report may be written: first the working directory, then a folder of the user's
// own data.
struct SensorReportPlaces {
  // The directory of the first choice; empty: the process's current working directory.
  std::string working_directory;
  // The per-user data folder ($XDG_DATA_HOME, else ~/.local/share); nothing when it cannot be
  // told. The report then goes to <folder>/Ostar/Korda.
  std::optional<std::string> user_data_folder;
};


// The sensor records stored in the tool, one after the other in "valves.txt", exactly as the
// tool sends them. Showing the file is the view's job (View::ShowSensorReport with FilePath).
class SensorReport {
 public:
  static constexpr const char* kFileName = "valves.txt";
  static constexpr uint16_t kProbe = 13;
  static constexpr size_t kRecordCapacity = 200;

  // Uses the working directory and UserDataFolder().
  explicit SensorReport(ToolDevice& device);
  SensorReport(ToolDevice& device, SensorReportPlaces places);

  // Writes the report with the tool locked throughout. A record that cannot be read is
  // skipped; when the tool then no longer answers the probe either, it has gone away and the
  // report ends there instead of waiting out the time-outs of every record left (up to 65535).
  // 1 when at least one record text reached
  // the file, else 0 (no tool answer, no information stored, no file could be created, every
  // record empty, or the file could not be written).
  int Build();

  // The data-folder path when the report had to go there; empty when the working directory
  // took it.
  const std::string& reportPath() const { return report_path_; }
  // The file the last Build wrote (absolute), for the viewer.
  std::string FilePath() const;

 private:
  // Creates (truncating) the report file, trying the two places in order; null when neither
  // works.
  std::unique_ptr<OutputFile> CreateReportFile();
  std::string WorkingFilePath() const;

  ToolDevice& device_;
  SensorReportPlaces places_;
  std::string report_path_;
};

}  // namespace velmar
