#pragma once
// A catalogue for the program's own update: one entry for the program's identity, offering the
// demo catalogue's stand-in for a newer Velmar, or saying the program is current.
#include <filesystem>
#include <string>

#include "support/UpdateTestSupport.h"

namespace velmar::testing {

inline constexpr const char* kProgramZip = "velmar-program-0.2.0.zip";
inline constexpr const char* kProgramItem = "VelmarSetup-0.2.0.txt";
inline constexpr const char* kProgramText =
    "This is the demo server's stand-in for a newer Velmar. Nothing to install.\r\n";

// Writes catalog.json into `folder` and copies the program's package there; false on failure.
inline bool WriteProgramCatalogue(const std::string& folder, bool newer) {
  std::error_code error;
  std::filesystem::copy_file(DemoCatalog() + "/" + kProgramZip, folder + "/" + kProgramZip,
                             std::filesystem::copy_options::overwrite_existing, error);
  if (error) return false;
  const std::string catalogue = std::string(R"({"texte": "program catalogue", "tools": [
      {"serial": "S22222222", "versionValid": ")") +
                                (newer ? "0" : "1") +
                                R"(", "serverMsg": "Velmar 0.2.0",
       "software": {"version": "0.2.0", "package": ")" +
                                kProgramZip + R"(", "from": ["QL7-12"]}}]})";
  return WriteFileText(folder + "/catalog.json", catalogue);
}

}  // namespace velmar::testing
