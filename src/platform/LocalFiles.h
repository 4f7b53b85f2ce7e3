#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

// Files, folders and the console as the operating system offers them. Names are UTF-8 on
// every system.

// A file being written by this process alone.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Creates path or empties it, held so that no other program writes it meanwhile; null when
  // it cannot be created or another program holds it.
  static std::unique_ptr<OutputFile> CreateExclusive(const std::string& path);
  // False on the first failed write.
  virtual bool Write(const void* data, size_t size) = 0;
  // Flushes to the disk and closes: false when the bytes may not have reached it.
  virtual bool Commit() = 0;
};

// Replaces path with these bytes so that a crash leaves either the old or the new file: a
// fresh file beside it, flushed, then renamed over it.
bool ReplaceFileDurably(const std::string& path, const void* data, size_t size);

// The per-user data folder: $XDG_DATA_HOME when absolute, else ~/.local/share on Linux;
// the roaming application-data folder on Windows. Nothing when it cannot be told.
std::optional<std::string> UserDataFolder();

// The per-user folder for state that outlives a run but is not the user's data:
// $XDG_STATE_HOME when absolute, else ~/.local/state on Linux; the local application-data
// folder on Windows. Nothing when it cannot be told.
std::optional<std::string> UserStateFolder();

// The folder of this program's own file; nothing when it cannot be told.
std::optional<std::string> ExecutableFolder();

// A new folder only this user may use, under the system's temporary folder; empty on failure
// (then LastSystemErrorText says why).
std::string MakePrivateTemporaryFolder();

// True when this process may create files in folder.
bool CanCreateFilesIn(const std::string& folder);

// What keeps this user from opening a serial device, as a sentence the user can act on;
// empty when nothing does (or it cannot be told before opening).
std::string SerialPermissionProblem(const std::string& device_path);

// The text of the last failed system call of this thread.
std::string LastSystemErrorText();

// Standard output and input: whether a person's terminal is attached.
bool StandardOutputIsTerminal();
bool StandardInputIsTerminal();

// The program's arguments (without its name) in UTF-8, whatever the system's code page.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Makes the console show UTF-8 texts (a no-op where terminals already do).
void PrepareConsoleForUtf8();

}  // namespace velmar
