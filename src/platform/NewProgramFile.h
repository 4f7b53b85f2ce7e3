#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace velmar {

// A new version of this program, as saved in the user's folder.
struct SavedProgramFile {
  std::string path;
  bool executable = false;  // an ELF program or a "#!" script: given its owner's execute bit
  std::string sha256;       // of the saved bytes, 64 lower-case hex digits
};

// Saves `bytes` as a new file named `name` in `folder` (empty: the current folder). The name
// comes from the server and the folder is the user's: an existing file (or link) of that name
// is never replaced nor followed; the first free "stem-1.ext", "stem-2.ext", ... is used
// instead. Only an executable keeps its type as one; anything else stays data. On failure
// nothing is left behind and `error` (when given) says why.
std::optional<SavedProgramFile> SaveNewProgramFile(const std::string& folder,
                                                   const std::string& name,
                                                   std::span<const uint8_t> bytes,
                                                   std::string* error = nullptr);

// The names tried in turn for a new file called `name`: `name` itself (0), then
// "stem-1.ext", "stem-2.ext", ... up to kMaxNumberedNames; a leading dot is part of the stem.
inline constexpr int kMaxNumberedNames = 1000;
std::string NumberedProgramName(const std::string& name, int number);

// True when the bytes start like a program this system runs: an ELF image or a "#!" script.
bool LooksExecutable(std::span<const uint8_t> bytes);

// Starts the program at `path` on its own, detached from this process (which may then quit).
// True once it is running: a file that cannot be executed is a failure, with `error` saying
// why.
bool StartProgram(const std::string& path, std::string* error = nullptr);

}  // namespace velmar
