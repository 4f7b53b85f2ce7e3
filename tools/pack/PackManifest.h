#pragma once
#include <string>
#include <vector>

#include "ZipWriter.h"

namespace velmar::pack {

// One zip package of a manifest, its items already built.
struct PackageSpec {
  std::string zip;  // file name of the archive, relative to the output folder
  bool store = false;
  // The file is the single item's bytes, not an archive (a broken download, for tests).
  bool unzipped = false;
  std::vector<ZipItem> items;
};

// Reads a JSON manifest and builds every item it describes. Files named in it are taken
// relative to the manifest's folder. False with `error` (naming the package and item) when
// the manifest is malformed or an item cannot be built.
//
//   {"packages": [{"zip": "db-eu.zip", "compression": "deflate" | "store",
//                  "items": [{"name": "EU23-01-A.bin", "format": 101 | 100 | "raw",
//                             "header": {"word1": 1, "word2": 2, "block1": "text", ...},
//                             "checkByte": "good" | "bad",
//                             "sections": [{"address": "0x200000", "kind": 2, "name": "DB",
//                                           "pattern": {"seed": 7, "length": 4096}
//                                           | "file": "part.bin" | "hex": "00ff" | "text": "..."
//                                           | "empty": true (format 100 slot)}]},
//                            {"name": "README.TXT", "text": "..." | "file": ... | "hex": ...}]}]}
//
// An item without "format" is stored as given (bytes of "file", "hex" or "text").
// A package with "unzipped": true holds one item and is written as that item's bytes.
bool LoadManifest(const std::string& path, std::vector<PackageSpec>& packages,
                  std::string& error);
bool ParseManifest(const std::string& jsonText, const std::string& baseDir,
                   std::vector<PackageSpec>& packages, std::string& error);

// Writes every package into `outDir` (created when missing).
bool WritePackages(const std::vector<PackageSpec>& packages, const std::string& outDir,
                   std::string& error);

// Reads a whole file; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes);

}  // namespace velmar::pack
