#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velmar::pack {

struct ZipItem {
  std::string name;
  std::vector<uint8_t> data;
};

// Writes `items` in order into a new zip file at `path` (replacing it), deflated unless `store`.
// Every item gets the same fixed modification time, so that the same input always gives the
// same archive bytes. False with `error` set on failure; no partial file is left behind.
bool WriteZip(const std::string& path, const std::vector<ZipItem>& items, bool store,
              std::string& error);

}  // namespace velmar::pack
