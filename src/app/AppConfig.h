#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace velmar {

// The program's three persisted settings, stored as four little-endian 32-bit values in a
// 16-byte file with nothing else in it. The file is read once at start and written at the end;
// the settings dialog changes only the values in memory.
struct AppConfig {
  static constexpr const char* kFileName = "Velmar.cfg";
  static constexpr size_t kFileSize = 16;

  int32_t autoDetect = 1;    // 1: the scanner looks for the adapter itself
  int32_t portNumber = -1;   // the user's port; -1: none (only the low 8 bits reach the port)
  int32_t upgradeCheck = 1;  // 1: ask the server for a newer program at start
  int32_t reserved = 0;      // written as 0, ignored when read

  // Reads the file at path (relative to the working directory by default). Values are taken
  // unchecked, in file order; a short file stops at the first incomplete value and the rest
  // keep what they held; bytes after the sixteenth are ignored. 0 when the file was opened
  // (whatever its length), -1 when it could not be opened and nothing changed.
  int Load(const std::string& path = kFileName);

  // Writes the 16 bytes (reserved as 0) to a new file beside path and renames it over path, so
  // a crash or a full disk leaves the old file whole. 0 on success, -1 when the old file (or
  // none) was left in place.
  int Save(const std::string& path = kFileName) const;

  // The file image of the values, with reserved written as 0.
  std::array<uint8_t, kFileSize> Encode() const;
  // Takes the values completed within size bytes, as Load does.
  void Decode(const uint8_t* bytes, size_t size);

  bool operator==(const AppConfig&) const = default;
};

}  // namespace velmar
